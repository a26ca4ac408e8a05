#include "engine/sql_tokenizer.h"

#include <algorithm>

#include <fmt/format.h>

#include "engine/errors.h"

namespace tikora::engine::sql {
namespace {

bool IsAsciiDigit(char c) { return c >= '0' && c <= '9'; }
bool IsAsciiLetter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }
// Bytes of multi-byte UTF-8 sequences count as letters, so names in other scripts work.
bool IsNameStart(char c) { return IsAsciiLetter(c) || c == '_' || static_cast<unsigned char>(c) >= 0x80; }
bool IsNameChar(char c) { return IsNameStart(c) || IsAsciiDigit(c); }
bool IsSpace(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\f' || c == '\v'; }

class Tokenizer {
 public:
  explicit Tokenizer(std::string_view text) : text_(text) {}

  std::vector<Token> Run() {
    std::vector<Token> tokens;
    for (;;) {
      SkipSpaceAndComments();
      if (pos_ >= text_.size()) break;
      tokens.push_back(Next());
    }
    tokens.push_back(Token{TokenType::End, "", text_.size(), 0});
    return tokens;
  }

 private:
  char At(std::size_t i) const { return i < text_.size() ? text_[i] : '\0'; }

  void SkipSpaceAndComments() {
    while (pos_ < text_.size()) {
      const char c = text_[pos_];
      if (IsSpace(c)) {
        ++pos_;
      } else if (c == '-' && At(pos_ + 1) == '-') {
        while (pos_ < text_.size() && text_[pos_] != '\n') ++pos_;
      } else if (c == '/' && At(pos_ + 1) == '*') {
        const std::size_t end = text_.find("*/", pos_ + 2);
        if (end == std::string_view::npos) ThrowAt(text_, pos_, "Unterminated comment");
        pos_ = end + 2;
      } else {
        return;
      }
    }
  }

  Token Make(TokenType type, std::string value, std::size_t start) {
    return Token{type, std::move(value), start, pos_ - start};
  }

  Token Next() {
    const std::size_t start = pos_;
    const char c = text_[pos_];
    if (c == '\0') ThrowAt(text_, start, "Invalid character (NUL)");
    if (IsNameStart(c)) {
      while (pos_ < text_.size() && IsNameChar(text_[pos_])) ++pos_;
      return Make(TokenType::Identifier, std::string(text_.substr(start, pos_ - start)), start);
    }
    if (IsAsciiDigit(c) || (c == '.' && IsAsciiDigit(At(pos_ + 1)))) return ReadNumber(start);
    if (c == '\'' || c == '"') return ReadQuoted(start, c);
    if (c == '[') return ReadBracketed(start);
    if (c == ':' && IsNameChar(At(pos_ + 1))) {
      ++pos_;
      while (pos_ < text_.size() && IsNameChar(text_[pos_])) ++pos_;
      return Make(TokenType::Parameter, std::string(text_.substr(start + 1, pos_ - start - 1)), start);
    }
    return ReadSymbol(start);
  }

  Token ReadNumber(std::size_t start) {
    while (IsAsciiDigit(At(pos_))) ++pos_;
    if (At(pos_) == '.') {
      ++pos_;
      while (IsAsciiDigit(At(pos_))) ++pos_;
    }
    if ((At(pos_) == 'e' || At(pos_) == 'E') &&
        (IsAsciiDigit(At(pos_ + 1)) ||
         ((At(pos_ + 1) == '+' || At(pos_ + 1) == '-') && IsAsciiDigit(At(pos_ + 2))))) {
      pos_ += 2;
      while (IsAsciiDigit(At(pos_))) ++pos_;
    }
    if (IsNameChar(At(pos_))) ThrowAt(text_, start, fmt::format("Invalid number \"{}\"",
                                                                 text_.substr(start, pos_ + 1 - start)));
    return Make(TokenType::Number, std::string(text_.substr(start, pos_ - start)), start);
  }

  // 'it''s' and "say ""hi""": the quote character doubled stands for itself.
  Token ReadQuoted(std::size_t start, char quote) {
    std::string value;
    ++pos_;
    for (;;) {
      if (pos_ >= text_.size()) ThrowAt(text_, start, "Unterminated string");
      const char c = text_[pos_];
      if (c == '\0') ThrowAt(text_, pos_, "Invalid character (NUL)");
      if (c == quote) {
        if (At(pos_ + 1) != quote) break;
        ++pos_;
      }
      value += c;
      ++pos_;
    }
    ++pos_;
    return Make(TokenType::String, std::move(value), start);
  }

  Token ReadBracketed(std::size_t start) {
    const std::size_t end = text_.find(']', pos_ + 1);
    if (end == std::string_view::npos) ThrowAt(text_, start, "Unterminated name");
    std::string value(text_.substr(pos_ + 1, end - pos_ - 1));
    if (value.find('\0') != std::string::npos) ThrowAt(text_, start, "Invalid character (NUL)");
    pos_ = end + 1;
    return Make(TokenType::Bracketed, std::move(value), start);
  }

  Token ReadSymbol(std::size_t start) {
    static constexpr std::string_view kTwoChar[] = {"<>", "!=", "<=", ">=", "||"};
    for (std::string_view two : kTwoChar) {
      if (text_.substr(pos_, 2) == two) {
        pos_ += 2;
        return Make(TokenType::Symbol, std::string(two), start);
      }
    }
    static constexpr std::string_view kOneChar = "=<>+-*/%(),.;";
    if (kOneChar.find(text_[pos_]) != std::string_view::npos) {
      ++pos_;
      return Make(TokenType::Symbol, std::string(1, text_[start]), start);
    }
    // Take the whole UTF-8 sequence so the message shows a readable character.
    ++pos_;
    while (pos_ < text_.size() && (static_cast<unsigned char>(text_[pos_]) & 0xC0) == 0x80) ++pos_;
    Token bad = Make(TokenType::Symbol, std::string(text_.substr(start, pos_ - start)), start);
    throw EngineError(kErrSqlSyntax, SyntaxErrorMessage(text_, bad));
  }

  std::string_view text_;
  std::size_t pos_ = 0;
};

}  // namespace

std::vector<Token> Tokenize(std::string_view text) { return Tokenizer(text).Run(); }

std::size_t CharacterPosition(std::string_view text, std::size_t offset) {
  std::size_t position = 1;
  for (std::size_t i = 0; i < offset && i < text.size(); ++i)
    if ((static_cast<unsigned char>(text[i]) & 0xC0) != 0x80) ++position;
  return position;
}

std::string SyntaxErrorMessage(std::string_view text, const Token& token) {
  const std::size_t position = CharacterPosition(text, token.offset);
  if (token.type == TokenType::End)
    return fmt::format("Syntax error at position {}: unexpected end of text", position);
  constexpr std::size_t kMaxShown = 40;
  std::size_t length = std::min(token.length, kMaxShown);
  // Cut long tokens at a character boundary, never inside a UTF-8 sequence.
  while (length < token.length && length > 0 &&
         (static_cast<unsigned char>(text[token.offset + length]) & 0xC0) == 0x80)
    --length;
  std::string_view shown = text.substr(token.offset, length);
  return fmt::format("Syntax error at position {} near \"{}\"", position, shown);
}

void ThrowAt(std::string_view text, std::size_t offset, std::string_view what) {
  throw EngineError(kErrSqlSyntax,
                    fmt::format("{} at position {}", what, CharacterPosition(text, offset)));
}

bool EqualsNoCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    char x = a[i], y = b[i];
    if (x >= 'A' && x <= 'Z') x = static_cast<char>(x - 'A' + 'a');
    if (y >= 'A' && y <= 'Z') y = static_cast<char>(y - 'A' + 'a');
    if (x != y) return false;
  }
  return true;
}

}  // namespace tikora::engine::sql
