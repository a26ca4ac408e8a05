#include "web/template_filter.h"

#include <fstream>
#include <sstream>
#include <stdexcept>

#include "web/html.h"
#include "web/session.h"

namespace tikora::web {
namespace {

bool IsIdentifierStart(char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_';
}
bool IsIdentifierChar(char c) { return IsIdentifierStart(c) || (c >= '0' && c <= '9'); }

char AsciiUpper(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c; }

// Parses a tag starting at text[start] (a '%' or '#'); returns it with its length, or nullopt
// when the text there is not a tag.
std::optional<Tag> ParseTag(std::string_view text, std::size_t start) {
  const char delimiter = text[start];
  std::size_t pos = start + 1;
  if (pos >= text.size() || !IsIdentifierStart(text[pos])) return std::nullopt;
  Tag tag;
  while (pos < text.size() && IsIdentifierChar(text[pos])) tag.name += AsciiUpper(text[pos++]);
  std::size_t after_name = pos;
  while (after_name < text.size() && text[after_name] == ' ') ++after_name;
  if (after_name < text.size() && text[after_name] == '(') {
    const std::size_t close = text.find_first_of(std::string{')', delimiter, '\n'}, after_name + 1);
    if (close == std::string_view::npos || text[close] != ')') return std::nullopt;
    tag.parameters = std::string(text.substr(after_name + 1, close - after_name - 1));
    pos = close + 1;
  }
  if (pos >= text.size() || text[pos] != delimiter) return std::nullopt;
  tag.text = text.substr(start, pos + 1 - start);
  return tag;
}

std::optional<std::string> Builtin(const BuiltinTags& builtins, const std::string& name,
                                   bool reserved) {
  const auto it = builtins.find(name);
  if (it == builtins.end() || it->second.reserved != reserved) return std::nullopt;
  return it->second.html;
}

std::string Replacement(const Tag& tag, const TagHandler& handler, const Request* request,
                        const BuiltinTags& builtins) {
  if (handler) {
    if (std::optional<std::string> html = handler(tag)) return *std::move(html);
  }
  if (auto html = Builtin(builtins, tag.name, true)) return *std::move(html);
  if (request) {
    const std::string value = request->RequestValue(tag.name);
    if (!value.empty()) return HtmlEscape(value);
  }
  if (auto html = Builtin(builtins, tag.name, false)) return *std::move(html);
  return std::string(tag.text);
}

}  // namespace

BuiltinTags StandardBuiltinTags(const Request& request, std::string_view csrf_token) {
  BuiltinTags tags;
  tags["SCRIPT_NAME"] = {HtmlEscape(request.ScriptName()), true};
  tags["CSRF_TOKEN"] = {"<input type=\"hidden\" name=\"" + std::string(kCsrfFieldName) +
                            "\" value=\"" + HtmlEscape(csrf_token) + "\">",
                        true};
  return tags;
}

std::string FilterTemplate(std::string_view text, const TagHandler& handler,
                           const Request* request, const BuiltinTags& builtins) {
  std::string out;
  out.reserve(text.size());
  std::size_t pos = 0;
  while (pos < text.size()) {
    const std::size_t mark = text.find_first_of("%#", pos);
    if (mark == std::string_view::npos) {
      out += text.substr(pos);
      break;
    }
    out += text.substr(pos, mark - pos);
    if (const std::optional<Tag> tag = ParseTag(text, mark)) {
      out += Replacement(*tag, handler, request, builtins);
      pos = mark + tag->text.size();
    } else {
      out += text[mark];
      pos = mark + 1;
    }
  }
  return out;
}

std::string ReadTemplateFile(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) throw std::runtime_error("Cannot read the template " + path.string());
  std::ostringstream text;
  text << in.rdbuf();
  if (in.bad()) throw std::runtime_error("Cannot read the template " + path.string());
  return text.str();
}

}  // namespace tikora::web
