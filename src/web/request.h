// One HTTP request as the web program sees it, decoded from the CGI meta-variables and the body.
//
// Request variables come from the query string first, then from the body (urlencoded or
// multipart), in the order they were sent. Names match without regard to letter case and the
// first occurrence of a name counts. Uploaded files of a multipart body are kept apart from the
// variables. Cookies are separate as well.
#pragma once

#include <cstddef>
#include <functional>
#include <map>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace tikora::web {

// The largest body accepted; a longer one is refused before it is read.
inline constexpr std::size_t kMaxRequestBody = 10u * 1024u * 1024u;

// CGI meta-variables (REQUEST_METHOD, QUERY_STRING, CONTENT_TYPE, HTTP_COOKIE, ...) by name.
using Environment = std::map<std::string, std::string, std::less<>>;

// The environment of a "NAME=value" array ended by a null pointer (environ, FastCGI envp).
Environment EnvironmentFromArray(const char* const* entries);

// Reads at most `size` bytes of the request body into `buffer`; returns the number read, 0 at the
// end of the input.
using BodyReader = std::function<std::size_t(char* buffer, std::size_t size)>;

// A reader over a body held in memory (tests, and callers that have the body already).
BodyReader StringBody(std::string body);

// A request the program refuses to decode. `status` is the HTTP status to answer with:
// 400 malformed, 405 method not allowed, 413 body too large.
class RequestError : public std::runtime_error {
 public:
  RequestError(int status, const std::string& what) : std::runtime_error(what), status_(status) {}
  int status() const noexcept { return status_; }

 private:
  int status_;
};

struct UploadedFile {
  std::string field_name;
  std::string file_name;     // as the browser sent it; never use it as a path
  std::string content_type;
  std::string data;
};

// Removes leading and trailing blanks and control characters.
std::string TrimBlanks(std::string_view text);

// Decodes %XX escapes and, in form encoding, '+' as a blank. Malformed escapes stay as written.
std::string UrlDecode(std::string_view text);

class Request {
 public:
  using Variable = std::pair<std::string, std::string>;

  Request() = default;

  // Decodes a request. Allowed methods are GET, POST and PUT; the body (of POST and PUT) is read
  // as CONTENT_LENGTH says and must not exceed `max_body`. Throws RequestError.
  static Request Decode(Environment env, const BodyReader& body,
                        std::size_t max_body = kMaxRequestBody);

  // The trimmed value of the first variable called `name` (any letter case); `default_value`
  // when there is none or its trimmed value is empty.
  std::string RequestValue(std::string_view name, std::string_view default_value = {}) const;

  const std::vector<Variable>& Variables() const { return variables_; }
  const std::vector<UploadedFile>& Files() const { return files_; }

  // The first cookie called exactly `name`.
  std::optional<std::string> Cookie(std::string_view name) const;

  // A CGI meta-variable; empty when absent.
  std::string Env(std::string_view name) const;

  const std::string& Method() const { return method_; }
  std::string ScriptName() const { return Env("SCRIPT_NAME"); }
  std::string RemoteAddress() const { return Env("REMOTE_ADDR"); }
  // Whether the browser reached the server over HTTPS (HTTPS=on or 1, or REQUEST_SCHEME=https).
  bool IsHttps() const;

  // Building by hand, for handlers under test.
  void AddVariable(std::string name, std::string value);
  void SetEnv(std::string name, std::string value) { env_[std::move(name)] = std::move(value); }
  void SetMethod(std::string method) { method_ = std::move(method); }

 private:
  void AddForm(std::string_view urlencoded);
  void AddMultipart(std::string_view body, std::string_view content_type);
  void AddCookies(std::string_view header);

  Environment env_;
  std::string method_ = "GET";
  std::vector<Variable> variables_;
  std::vector<UploadedFile> files_;
  std::vector<std::pair<std::string, std::string>> cookies_;
};

}  // namespace tikora::web
