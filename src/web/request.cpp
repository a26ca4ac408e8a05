#include "web/request.h"

#include <algorithm>
#include <charconv>
#include <cstring>

namespace tikora::web {
namespace {

bool IsBlank(char c) { return static_cast<unsigned char>(c) <= ' '; }

char AsciiLower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

bool EqualsNoCase(std::string_view a, std::string_view b) {
  return a.size() == b.size() &&
         std::equal(a.begin(), a.end(), b.begin(),
                    [](char x, char y) { return AsciiLower(x) == AsciiLower(y); });
}

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

std::string_view TrimView(std::string_view text) {
  while (!text.empty() && IsBlank(text.front())) text.remove_prefix(1);
  while (!text.empty() && IsBlank(text.back())) text.remove_suffix(1);
  return text;
}

// Splits `text` at every `separator`.
std::vector<std::string_view> Split(std::string_view text, char separator) {
  std::vector<std::string_view> pieces;
  for (;;) {
    const std::size_t at = text.find(separator);
    pieces.push_back(text.substr(0, at));
    if (at == std::string_view::npos) return pieces;
    text.remove_prefix(at + 1);
  }
}

// The media type of a Content-Type value, lower case, without parameters.
std::string MediaType(std::string_view content_type) {
  std::string type(TrimView(content_type.substr(0, content_type.find(';'))));
  std::transform(type.begin(), type.end(), type.begin(), AsciiLower);
  return type;
}

// The parameter `name` of a header value such as `form-data; name="x"; filename="y"`, unquoted.
// Quoted values may hold ';' and backslash escapes.
std::optional<std::string> HeaderParameter(std::string_view value, std::string_view name) {
  std::size_t pos = value.find(';');
  while (pos != std::string_view::npos) {
    ++pos;
    while (pos < value.size() && IsBlank(value[pos])) ++pos;
    const std::size_t eq = value.find('=', pos);
    if (eq == std::string_view::npos) return std::nullopt;
    const std::string_view key = TrimView(value.substr(pos, eq - pos));
    std::string result;
    std::size_t i = eq + 1;
    while (i < value.size() && IsBlank(value[i])) ++i;
    if (i < value.size() && value[i] == '"') {
      for (++i; i < value.size() && value[i] != '"'; ++i) {
        if (value[i] == '\\' && i + 1 < value.size()) ++i;
        result += value[i];
      }
      if (i < value.size()) ++i;  // closing quote
    } else {
      const std::size_t end = std::min(value.find(';', i), value.size());
      result = std::string(TrimView(value.substr(i, end - i)));
      i = end;
    }
    if (EqualsNoCase(key, name)) return result;
    pos = value.find(';', i);
  }
  return std::nullopt;
}

std::string ReadBody(const Environment& env, const BodyReader& reader, std::size_t max_body) {
  const auto it = env.find("CONTENT_LENGTH");
  const std::string_view text = it == env.end() ? std::string_view{} : TrimView(it->second);
  if (text.empty()) return {};
  std::size_t length = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), length);
  if (error == std::errc::result_out_of_range) throw RequestError(413, "Request body too large");
  if (error != std::errc{} || end != text.data() + text.size()) {
    throw RequestError(400, "Invalid CONTENT_LENGTH");
  }
  if (length > max_body) throw RequestError(413, "Request body too large");
  std::string body(length, '\0');
  std::size_t filled = 0;
  while (filled < length) {
    const std::size_t got = reader(body.data() + filled, length - filled);
    if (got == 0) throw RequestError(400, "Request body shorter than CONTENT_LENGTH");
    filled += got;
  }
  return body;
}

}  // namespace

Environment EnvironmentFromArray(const char* const* entries) {
  Environment env;
  for (; entries && *entries; ++entries) {
    const std::string_view entry(*entries);
    const std::size_t eq = entry.find('=');
    if (eq == std::string_view::npos) continue;
    env.emplace(std::string(entry.substr(0, eq)), std::string(entry.substr(eq + 1)));
  }
  return env;
}

BodyReader StringBody(std::string body) {
  return [body = std::move(body), offset = std::size_t{0}](char* buffer, std::size_t size) mutable {
    const std::size_t n = std::min(size, body.size() - offset);
    std::memcpy(buffer, body.data() + offset, n);
    offset += n;
    return n;
  };
}

std::string TrimBlanks(std::string_view text) { return std::string(TrimView(text)); }

std::string UrlDecode(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (c == '+') {
      out += ' ';
    } else if (c == '%' && i + 2 < text.size() && HexValue(text[i + 1]) >= 0 &&
               HexValue(text[i + 2]) >= 0) {
      out += static_cast<char>(HexValue(text[i + 1]) * 16 + HexValue(text[i + 2]));
      i += 2;
    } else {
      out += c;
    }
  }
  return out;
}

Request Request::Decode(Environment env, const BodyReader& body, std::size_t max_body) {
  Request request;
  request.env_ = std::move(env);
  request.method_ = request.Env("REQUEST_METHOD");
  if (request.method_.empty()) request.method_ = "GET";
  if (request.method_ != "GET" && request.method_ != "POST" && request.method_ != "PUT") {
    throw RequestError(405, "Method not allowed: " + request.method_);
  }
  request.AddForm(request.Env("QUERY_STRING"));
  if (request.method_ != "GET") {
    const std::string text = ReadBody(request.env_, body, max_body);
    const std::string content_type = request.Env("CONTENT_TYPE");
    const std::string media_type = MediaType(content_type);
    if (media_type == "application/x-www-form-urlencoded") {
      request.AddForm(text);
    } else if (media_type == "multipart/form-data") {
      request.AddMultipart(text, content_type);
    }
  }
  request.AddCookies(request.Env("HTTP_COOKIE"));
  return request;
}

std::string Request::RequestValue(std::string_view name, std::string_view default_value) const {
  for (const auto& [key, value] : variables_) {
    if (!EqualsNoCase(key, name)) continue;
    const std::string_view trimmed = TrimView(value);
    return std::string(trimmed.empty() ? default_value : trimmed);
  }
  return std::string(default_value);
}

std::optional<std::string> Request::Cookie(std::string_view name) const {
  for (const auto& [key, value] : cookies_) {
    if (key == name) return value;
  }
  return std::nullopt;
}

std::string Request::Env(std::string_view name) const {
  const auto it = env_.find(name);
  return it == env_.end() ? std::string() : it->second;
}

bool Request::IsHttps() const {
  const std::string https = Env("HTTPS");
  return EqualsNoCase(https, "on") || https == "1" || EqualsNoCase(Env("REQUEST_SCHEME"), "https");
}

void Request::AddVariable(std::string name, std::string value) {
  variables_.emplace_back(std::move(name), std::move(value));
}

void Request::AddForm(std::string_view urlencoded) {
  for (const std::string_view piece : Split(urlencoded, '&')) {
    if (piece.empty()) continue;
    const std::size_t eq = piece.find('=');
    AddVariable(UrlDecode(piece.substr(0, eq)),
                eq == std::string_view::npos ? std::string() : UrlDecode(piece.substr(eq + 1)));
  }
}

void Request::AddMultipart(std::string_view body, std::string_view content_type) {
  const std::optional<std::string> boundary = HeaderParameter(content_type, "boundary");
  if (!boundary || boundary->empty()) throw RequestError(400, "Multipart body without boundary");
  const std::string delimiter = "--" + *boundary;
  const std::string next_part = "\r\n" + delimiter;

  std::size_t pos;
  if (body.starts_with(delimiter)) {
    pos = delimiter.size();
  } else {
    pos = body.find(next_part);  // after a preamble
    if (pos == std::string_view::npos) throw RequestError(400, "Malformed multipart body");
    pos += next_part.size();
  }
  for (;;) {
    if (body.substr(pos, 2) == "--") return;  // the closing delimiter
    while (pos < body.size() && (body[pos] == ' ' || body[pos] == '\t')) ++pos;
    if (body.substr(pos, 2) != "\r\n") throw RequestError(400, "Malformed multipart body");
    pos += 2;
    const std::size_t headers_end = body.find("\r\n\r\n", pos);
    const std::size_t content_end =
        headers_end == std::string_view::npos ? headers_end : body.find(next_part, headers_end + 4);
    if (content_end == std::string_view::npos) throw RequestError(400, "Malformed multipart body");

    std::string disposition;
    std::string part_type;
    for (const std::string_view line : Split(body.substr(pos, headers_end - pos), '\n')) {
      const std::size_t colon = line.find(':');
      if (colon == std::string_view::npos) continue;
      const std::string_view header = TrimView(line.substr(0, colon));
      const std::string_view value = TrimView(line.substr(colon + 1));
      if (EqualsNoCase(header, "Content-Disposition")) disposition = value;
      if (EqualsNoCase(header, "Content-Type")) part_type = value;
    }
    const std::string_view content = body.substr(headers_end + 4, content_end - headers_end - 4);
    const std::optional<std::string> name = HeaderParameter(disposition, "name");
    const std::optional<std::string> file_name = HeaderParameter(disposition, "filename");
    if (name && file_name) {
      files_.push_back({*name, *file_name, part_type, std::string(content)});
    } else if (name) {
      AddVariable(*name, std::string(content));
    }
    pos = content_end + next_part.size();
  }
}

void Request::AddCookies(std::string_view header) {
  for (const std::string_view piece : Split(header, ';')) {
    const std::size_t eq = piece.find('=');
    if (eq == std::string_view::npos) continue;
    const std::string_view name = TrimView(piece.substr(0, eq));
    std::string_view value = TrimView(piece.substr(eq + 1));
    if (value.size() >= 2 && value.front() == '"' && value.back() == '"') {
      value = value.substr(1, value.size() - 2);
    }
    if (!name.empty()) cookies_.emplace_back(std::string(name), std::string(value));
  }
}

}  // namespace tikora::web
