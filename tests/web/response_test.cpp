#include "web/response.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <sstream>
#include <stdexcept>
#include <string>

#include "web/cgi_main.h"
#include "web/html.h"

namespace tikora::web {
namespace {

TEST(HtmlEscape, TextAndAttributeSafe) {
  const std::pair<const char*, const char*> cases[] = {
      {"", ""},
      {"plain text 123", "plain text 123"},
      {"<script>alert('x')</script>", "&lt;script&gt;alert(&#39;x&#39;)&lt;/script&gt;"},
      {"\" onmouseover=\"x", "&quot; onmouseover=&quot;x"},
      {"a & b &amp;", "a &amp; b &amp;amp;"},
      {"caf\xC3\xA9 %DATE%", "caf\xC3\xA9 %DATE%"},
  };
  for (const auto& [text, expected] : cases) EXPECT_EQ(HtmlEscape(text), expected) << text;
}

TEST(Response, SerializedInCgiFormWithSafeDefaults) {
  Response response;
  response.Write("<p>hi</p>");
  response.AddHeader("Set-Cookie", "a=1");
  response.AddHeader("Set-Cookie", "b=2");
  response.SetHeader("content-type", "text/plain; charset=utf-8");  // replaces, any letter case
  response.SetHeader("Content-Length", "999");                      // never trusted
  const std::string text = response.Serialize();
  EXPECT_TRUE(text.starts_with("Status: 200 OK\r\n")) << text;
  EXPECT_TRUE(text.ends_with("\r\nContent-Length: 9\r\n\r\n<p>hi</p>")) << text;
  EXPECT_NE(text.find("\r\ncontent-type: text/plain; charset=utf-8\r\n"), std::string::npos);
  EXPECT_EQ(text.find("text/html"), std::string::npos);
  EXPECT_NE(text.find("\r\nSet-Cookie: a=1\r\nSet-Cookie: b=2\r\n"), std::string::npos);
  EXPECT_NE(text.find("\r\nCache-Control: no-store\r\n"), std::string::npos);
  EXPECT_NE(text.find(std::string("\r\nContent-Security-Policy: ") + kContentSecurityPolicy + "\r\n"),
            std::string::npos);
  EXPECT_EQ(Response().Header("Content-Type"), "text/html; charset=utf-8");
}

TEST(Response, HeaderInjectionIsRefused) {
  Response response;
  using Header = std::pair<std::string, std::string>;
  const Header refused[] = {{"X-A", "v\r\nSet-Cookie: x=1"}, {"X-A", "v\nx"},
                            {"X-A", std::string("v\0x", 3)}, {"X A", "v"},
                            {"X-A:", "v"}, {"", "v"}};
  for (const auto& [name, value] : refused) {
    EXPECT_THROW(response.SetHeader(name, value), std::invalid_argument) << name;
  }
  EXPECT_THROW(response.AddHeader("Set-Cookie", "a=1\r\nb"), std::invalid_argument);
  EXPECT_NO_THROW(response.SetHeader("X-A", "tab\tok"));
}

TEST(Response, ErrorPageIsShort) {
  for (const int status : {400, 405, 413, 500}) {
    const Response response = ErrorResponse(status);
    EXPECT_EQ(response.Status(), status);
    const std::string text = response.Serialize();
    EXPECT_TRUE(text.starts_with("Status: " + std::to_string(status) + " " +
                                 std::string(StatusText(status)) + "\r\n"))
        << text;
    EXPECT_LT(response.Body().size(), 300u);
  }
}

Environment PostEnv(const std::string& body) {
  return {{"REQUEST_METHOD", "POST"},
          {"CONTENT_TYPE", "application/x-www-form-urlencoded"},
          {"CONTENT_LENGTH", std::to_string(body.size())}};
}

TEST(RequestLoop, EscapedErrorsBecomeAShort500) {
  const Handler echo = [](const Request& request) {
    if (request.RequestValue("fail") == "std") throw std::runtime_error("table Accounts.DAT closed");
    if (request.RequestValue("fail") == "other") throw 42;
    Response response;
    response.Write("hello " + HtmlEscape(request.RequestValue("name")));
    return response;
  };
  struct Case {
    const char* body;
    int status;
    const char* logged;  // expected in the log; nullptr: the log stays empty
  };
  const Case cases[] = {
      {"name=Jo", 200, nullptr},
      {"fail=std", 500, "table Accounts.DAT closed"},
      {"fail=other", 500, "unknown error"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.body);
    std::ostringstream log;
    const Response response = AnswerRequest(PostEnv(c.body), StringBody(c.body), echo, log);
    EXPECT_EQ(response.Status(), c.status);
    if (c.logged) {
      EXPECT_NE(log.str().find(c.logged), std::string::npos) << log.str();
      EXPECT_EQ(response.Serialize().find(c.logged), std::string::npos) << "details stay out";
    } else {
      EXPECT_EQ(log.str(), "");
      EXPECT_EQ(response.Body(), "hello Jo");
    }
  }
  std::ostringstream log;
  Environment too_big = PostEnv("");
  too_big["CONTENT_LENGTH"] = std::to_string(kMaxRequestBody + 1);
  EXPECT_EQ(AnswerRequest(too_big, StringBody(""), echo, log).Status(), 413);
  EXPECT_NE(log.str().find("too large"), std::string::npos);
}

TEST(RequestLoop, CgiRequestReadsStandardInputAndWritesOnce) {
  const std::string body = "name=%3Cb%3E";
  std::FILE* in = std::tmpfile();
  std::FILE* out = std::tmpfile();
  ASSERT_TRUE(in && out);
  std::fputs(body.c_str(), in);
  std::rewind(in);
  const Handler handler = [](const Request& request) {
    Response response;
    response.Write(HtmlEscape(request.RequestValue("name")));
    return response;
  };
  std::ostringstream log;
  EXPECT_EQ(RunCgiRequest(handler, PostEnv(body), in, out, log), 0);
  std::rewind(out);
  std::string written(4096, '\0');
  written.resize(std::fread(written.data(), 1, written.size(), out));
  std::fclose(in);
  std::fclose(out);
  EXPECT_TRUE(written.starts_with("Status: 200 OK\r\n")) << written;
  EXPECT_TRUE(written.ends_with("\r\n\r\n&lt;b&gt;")) << written;
}

}  // namespace
}  // namespace tikora::web
