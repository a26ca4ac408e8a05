// The template filter: copies a page template to the output and replaces its tags.
//
// A tag is `%NAME%` or `#NAME#`, where NAME is an identifier (a letter or underscore, then
// letters, digits and underscores), optionally followed by parameters in parentheses:
// `%LIST(accounts, 3)%`. Anything else is plain text, so "50%", "#1" and "#fff;" stay as written.
//
// Each tag is offered to the page's handler first. A tag the handler leaves alone is replaced by
// a built-in tag marked reserved, else by the equally named request variable (escaped), else by
// any other built-in tag; a tag nobody knows stays in the output as written. Handlers run in the
// order their tags appear, so a tag may depend on what an earlier tag's handler did.
#pragma once

#include <filesystem>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <string_view>

#include "web/request.h"

namespace tikora::web {

struct Tag {
  std::string name;        // upper case; tag names are not case-sensitive
  std::string parameters;  // the text between the parentheses as written; empty without them
  std::string_view text;   // the whole tag as written, delimiters included
};

// Returns the HTML that replaces the tag, or nullopt when the handler does not handle it. The
// text is written as is: the handler escapes every value it puts into it.
using TagHandler = std::function<std::optional<std::string>(const Tag& tag)>;

struct BuiltinTag {
  std::string html;
  // A reserved tag cannot be replaced through a request variable of the same name: tags that
  // carry the session's token or the program's own address are reserved.
  bool reserved = false;
};
// Keyed by upper-case tag name.
using BuiltinTags = std::map<std::string, BuiltinTag, std::less<>>;

// The built-in tags of every page:
//   SCRIPT_NAME  the program's own address, for form actions and links (reserved)
//   CSRF_TOKEN   the hidden form field that carries the session's request token (reserved)
BuiltinTags StandardBuiltinTags(const Request& request, std::string_view csrf_token);

// Filters `text`. `request` may be null (no request-variable fallback).
std::string FilterTemplate(std::string_view text, const TagHandler& handler,
                           const Request* request, const BuiltinTags& builtins);

// The whole text of a template file. Throws std::runtime_error when it cannot be read.
std::string ReadTemplateFile(const std::filesystem::path& path);

}  // namespace tikora::web
