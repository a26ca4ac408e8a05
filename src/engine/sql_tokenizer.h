// Tokenizer of the engine's SQL dialect (statements and table filters).
//
// The dialect differs from SQLite's own lexical rules in two ways that matter:
//   - [Name With Blanks] is an identifier; "text" in double quotes is a string value, like 'text'.
//   - :Name is a named parameter.
// Every token records its byte offset in the source text so that errors can name the position.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace tikora::engine::sql {

enum class TokenType {
  Identifier,  // bare name: letters, digits, '_' (keywords are identifiers until the parser asks)
  Bracketed,   // [name]: always a name, never a keyword
  String,      // 'text' or "text"; value has the doubled quotes undone
  Number,      // 12, 12.5, .5, 1e3 (always '.' as the decimal point)
  Parameter,   // :Name; value is the name without the colon
  Symbol,      // = <> != < <= > >= + - * / % || ( ) , . ;
  End,
};

struct Token {
  TokenType type = TokenType::End;
  std::string value;        // decoded text (see TokenType); the symbol itself for Symbol
  std::size_t offset = 0;   // byte offset in the source text
  std::size_t length = 0;   // bytes of source text the token covers
};

// Splits text into tokens, the last one of type End. Comments (-- to end of line, /* ... */)
// and white space separate tokens. Throws EngineError(kErrSqlSyntax) for text that is no token
// (an unterminated string or bracket, a stray character, a NUL byte).
std::vector<Token> Tokenize(std::string_view text);

// 1-based character position of a byte offset (UTF-8 continuation bytes do not count).
std::size_t CharacterPosition(std::string_view text, std::size_t offset);

// The EngineError(kErrSqlSyntax) message for an unexpected token:
//   Syntax error at position 17 near "FORM"
std::string SyntaxErrorMessage(std::string_view text, const Token& token);

// Throws EngineError(kErrSqlSyntax) with "<what> at position N".
[[noreturn]] void ThrowAt(std::string_view text, std::size_t offset, std::string_view what);

// True when a and b are equal ignoring ASCII letter case.
bool EqualsNoCase(std::string_view a, std::string_view b);

}  // namespace tikora::engine::sql
