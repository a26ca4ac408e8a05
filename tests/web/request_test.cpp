#include "web/request.h"

#include <gtest/gtest.h>

#include <string>

namespace tikora::web {
namespace {

Request Post(std::string content_type, std::string body, std::string query = "") {
  Environment env{{"REQUEST_METHOD", "POST"},
                  {"QUERY_STRING", std::move(query)},
                  {"CONTENT_TYPE", std::move(content_type)},
                  {"CONTENT_LENGTH", std::to_string(body.size())}};
  return Request::Decode(std::move(env), StringBody(std::move(body)));
}

Request Get(std::string query) {
  return Request::Decode({{"REQUEST_METHOD", "GET"}, {"QUERY_STRING", std::move(query)}},
                         StringBody(""));
}

struct ValueCase {
  const char* name;
  const char* expected;  // with the default "DEF"
};

void ExpectValues(const Request& request, std::initializer_list<ValueCase> cases) {
  for (const ValueCase& c : cases) {
    EXPECT_EQ(request.RequestValue(c.name, "DEF"), c.expected) << "variable " << c.name;
  }
}

TEST(Request, QueryStringDecodingAndLookupRules) {
  const Request request = Get(
      "Page=Main&page=Other&b=x+y&c=%41%62%2B%25&bad=%zz%4&blank=+++&empty=&noequals"
      "&Dup=+&dup=second&pad=%20%09v+a%20&&=orphan&utf=%C3%A9");
  ExpectValues(request, {
                            {"Page", "Main"},     // first occurrence wins
                            {"PAGE", "Main"},     // names ignore letter case
                            {"b", "x y"},         // '+' is a blank
                            {"c", "Ab+%"},        // %XX escapes
                            {"bad", "%zz%4"},     // malformed escapes stay as written
                            {"blank", "DEF"},     // only blanks: absent
                            {"empty", "DEF"},
                            {"noequals", "DEF"},
                            {"dup", "DEF"},       // the first, blank, occurrence counts
                            {"pad", "v a"},       // trimmed, inner blanks kept
                            {"utf", "\xC3\xA9"},
                            {"missing", "DEF"},
                        });
  EXPECT_EQ(request.RequestValue("", "DEF"), "orphan");
  EXPECT_EQ(request.Method(), "GET");
}

TEST(Request, UrlencodedBodyComesAfterTheQueryString) {
  const Request request = Post("Application/X-WWW-Form-Urlencoded; charset=UTF-8",
                               "Action=bill&loginid=+J%20Doe+&password=a%26b%3Dc&Page=Body",
                               "Page=Query");
  ExpectValues(request, {{"Page", "Query"},
                         {"action", "bill"},
                         {"LoginID", "J Doe"},
                         {"password", "a&b=c"}});
  ASSERT_EQ(request.Variables().size(), 5u);
  EXPECT_EQ(request.Variables()[0].first, "Page");
  EXPECT_EQ(request.Variables()[4].second, "Body");
}

TEST(Request, MultipartFieldsAndFiles) {
  const std::string body =
      "preamble text\r\n"
      "--AaB03x\r\n"
      "Content-Disposition: form-data; name=\"Page\"\r\n\r\n"
      "  TSheet \r\n"
      "--AaB03x\r\n"
      "content-disposition: form-data; name=\"upload\"; filename=\"a;b \\\"c\\\".csv\"\r\n"
      "Content-Type: text/csv\r\n\r\n"
      "x;y\r\n--not the boundary\r\n1;2\r\n"
      "--AaB03x\r\n"
      "Content-Disposition: form-data; name=\"Empty\"\r\n\r\n"
      "\r\n"
      "--AaB03x--\r\n"
      "epilogue";
  const Request request = Post("multipart/form-data; boundary=\"AaB03x\"", body);
  ExpectValues(request, {{"page", "TSheet"}, {"empty", "DEF"}, {"upload", "DEF"}});
  ASSERT_EQ(request.Files().size(), 1u);
  const UploadedFile& file = request.Files()[0];
  EXPECT_EQ(file.field_name, "upload");
  EXPECT_EQ(file.file_name, "a;b \"c\".csv");
  EXPECT_EQ(file.content_type, "text/csv");
  EXPECT_EQ(file.data, "x;y\r\n--not the boundary\r\n1;2");
}

TEST(Request, RefusedRequests) {
  struct Case {
    const char* label;
    Environment env;
    std::string body;
    int status;
  };
  const std::string multipart = "multipart/form-data; boundary=XY";
  const Case cases[] = {
      {"method not allowed", {{"REQUEST_METHOD", "DELETE"}}, "", 405},
      {"length not a number", {{"REQUEST_METHOD", "POST"}, {"CONTENT_LENGTH", "12a"}}, "", 400},
      {"negative length", {{"REQUEST_METHOD", "POST"}, {"CONTENT_LENGTH", "-1"}}, "", 400},
      {"body shorter than its length",
       {{"REQUEST_METHOD", "POST"}, {"CONTENT_LENGTH", "10"}}, "abc", 400},
      {"body over the limit",
       {{"REQUEST_METHOD", "POST"}, {"CONTENT_LENGTH", std::to_string(kMaxRequestBody + 1)}}, "", 413},
      {"length out of range",
       {{"REQUEST_METHOD", "POST"}, {"CONTENT_LENGTH", "99999999999999999999999"}}, "", 413},
      {"multipart without boundary",
       {{"REQUEST_METHOD", "POST"}, {"CONTENT_TYPE", "multipart/form-data"}},
       "--XY", 400},
      {"multipart never closed",
       {{"REQUEST_METHOD", "POST"}, {"CONTENT_TYPE", multipart}},
       "--XY\r\nContent-Disposition: form-data; name=a\r\n\r\n", 400},
      {"multipart without delimiter",
       {{"REQUEST_METHOD", "POST"}, {"CONTENT_TYPE", multipart}},
       "a=b&c", 400},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.label);
    bool body_read = false;
    const BodyReader reader = [&, inner = StringBody(c.body)](char* buffer, std::size_t size) {
      body_read = true;
      return inner(buffer, size);
    };
    Environment env = c.env;  // the length of the body unless the case sets one
    env.try_emplace("CONTENT_LENGTH", std::to_string(c.body.size()));
    try {
      Request::Decode(env, reader);
      ADD_FAILURE() << "decoded";
    } catch (const RequestError& error) {
      EXPECT_EQ(error.status(), c.status);
      if (c.status == 413) {
        EXPECT_FALSE(body_read) << "an oversized body is not read";
      }
    }
  }
}

TEST(Request, BodyLimitIsInclusive) {
  const std::string body(64, 'a');
  Environment env{{"REQUEST_METHOD", "PUT"}, {"CONTENT_LENGTH", "64"}};
  EXPECT_NO_THROW(Request::Decode(env, StringBody(body), 64));
  EXPECT_THROW(Request::Decode(env, StringBody(body), 63), RequestError);
}

TEST(Request, Cookies) {
  const Request request = Request::Decode(
      {{"HTTP_COOKIE", "theme=dark;TIKSESSION=abc ; tiksession=lower; TIKSESSION=second; q=\"v w\"; junk"}},
      StringBody(""));
  EXPECT_EQ(request.Cookie("TIKSESSION"), "abc");
  EXPECT_EQ(request.Cookie("tiksession"), "lower");
  EXPECT_EQ(request.Cookie("q"), "v w");
  EXPECT_EQ(request.Cookie("theme"), "dark");
  EXPECT_FALSE(request.Cookie("junk"));
  EXPECT_FALSE(request.Cookie("other"));
  EXPECT_EQ(request.RequestValue("theme"), "") << "cookies are not request variables";
}

TEST(Request, ServerFacts) {
  struct Case {
    Environment env;
    bool https;
  };
  const Case cases[] = {
      {{}, false},
      {{{"HTTPS", "on"}}, true},
      {{{"HTTPS", "ON"}}, true},
      {{{"HTTPS", "1"}}, true},
      {{{"HTTPS", "off"}}, false},
      {{{"REQUEST_SCHEME", "https"}}, true},
      {{{"REQUEST_SCHEME", "http"}}, false},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(Request::Decode(c.env, StringBody("")).IsHttps(), c.https);
  }
  const Request request = Request::Decode(
      {{"SCRIPT_NAME", "/cgi-bin/tikoraweb"}, {"REMOTE_ADDR", "192.0.2.7"}}, StringBody(""));
  EXPECT_EQ(request.ScriptName(), "/cgi-bin/tikoraweb");
  EXPECT_EQ(request.RemoteAddress(), "192.0.2.7");
  EXPECT_EQ(request.Method(), "GET");
}

TEST(Request, EnvironmentFromArray) {
  const char* const entries[] = {"A=1", "B==2", "NOEQUALS", "C=", nullptr};
  const Environment env = EnvironmentFromArray(entries);
  EXPECT_EQ(env, (Environment{{"A", "1"}, {"B", "=2"}, {"C", ""}}));
}

}  // namespace
}  // namespace tikora::web
