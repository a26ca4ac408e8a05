// A buffered HTTP response: status, headers and body are collected while the request is handled
// and written once at the end, in the CGI form ("Status:" line, headers, blank line, body).
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace tikora::web {

// The pages load their scripts, styles and images from the program's own site only. Inline
// scripts stay allowed because the page fragments carry inline handlers ("onclick=newWindow();")
// and "javascript:" links; every value written into a page is escaped.
inline constexpr const char* kContentSecurityPolicy =
    "default-src 'self'; script-src 'self' 'unsafe-inline'; style-src 'self' 'unsafe-inline'; "
    "img-src 'self' data:; object-src 'none'; base-uri 'none'; form-action 'self'; "
    "frame-ancestors 'none'";

// The reason phrase of a status code ("OK", "Not Found", ...); "Unknown" for others.
std::string_view StatusText(int status);

class Response {
 public:
  // Status 200 with the headers every page carries: Content-Type text/html in UTF-8, the content
  // security policy, Cache-Control: no-store and a few hardening headers.
  Response();

  int Status() const { return status_; }
  void SetStatus(int status) { status_ = status; }

  // Replaces every header of that name (any letter case) by one. Names and values holding a line
  // break or other control character are refused with std::invalid_argument.
  void SetHeader(std::string_view name, std::string_view value);
  // Adds a header even when one of the name exists (Set-Cookie).
  void AddHeader(std::string_view name, std::string_view value);
  // The first header of that name.
  std::optional<std::string> Header(std::string_view name) const;
  void RemoveHeader(std::string_view name);

  void Write(std::string_view text) { body_ += text; }
  const std::string& Body() const { return body_; }
  void ClearBody() { body_.clear(); }

  // The whole response in CGI form, with a Content-Length header.
  std::string Serialize() const;

 private:
  int status_ = 200;
  std::vector<std::pair<std::string, std::string>> headers_;
  std::string body_;
};

// A short page for a failed request: the status, its reason phrase and nothing else. Details of
// the failure belong on standard error, never in the page.
Response ErrorResponse(int status);

}  // namespace tikora::web
