#include "web/template_filter.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "web/session.h"

namespace tikora::web {
namespace {

// Handles DATE, and LIST by echoing its parameters; leaves every other tag alone.
std::optional<std::string> PageHandler(const Tag& tag) {
  if (tag.name == "DATE") return "2024-03-01";
  if (tag.name == "LIST") return "[" + tag.parameters + "]";
  return std::nullopt;
}

TEST(TemplateFilter, TagsAndFallbacks) {
  Request request;
  request.AddVariable("Account", " Acme <&> \"Co\" ");
  request.AddVariable("script_name", "https://elsewhere.example/");
  request.AddVariable("greeting", "from the request");
  request.AddVariable("Blank", "   ");
  const BuiltinTags builtins = {
      {"SCRIPT_NAME", {"/cgi-bin/tikoraweb", true}},
      {"GREETING", {"built-in greeting", false}},
      {"BLANK", {"built-in blank", false}},
      {"VERSION", {"1.0", false}},
  };
  struct Case {
    const char* text;
    const char* expected;
  };
  const Case cases[] = {
      {"%DATE%", "2024-03-01"},
      {"#DATE#", "2024-03-01"},
      {"<b>%date%</b> #Date#", "<b>2024-03-01</b> 2024-03-01"},
      {"%LIST(a, 'b')%", "[a, 'b']"},
      {"#LIST (x)#", "[x]"},
      {"%LIST()%", "[]"},
      {"%ACCOUNT%", "Acme &lt;&amp;&gt; &quot;Co&quot;"},  // request variable, escaped
      {"%SCRIPT_NAME%", "/cgi-bin/tikoraweb"},            // reserved: the request cannot set it
      {"%GREETING%", "from the request"},                 // the request comes before built-ins
      {"%BLANK%", "built-in blank"},                      // a blank request value is absent
      {"#version#", "1.0"},
      {"%UNKNOWN% #Nope(1)#", "%UNKNOWN% #Nope(1)#"},    // nobody knows it: stays as written
      // Text that is not a tag stays as written.
      {"50% off, 100%", "50% off, 100%"},
      {"item #1 of #2", "item #1 of #2"},
      {"color: #fff; a#b c", "color: #fff; a#b c"},
      {"%DATE#", "%DATE#"},
      {"%DA TE%", "%DA TE%"},
      {"%LIST(a%", "%LIST(a%"},
      {"%LIST(a)b%", "%LIST(a)b%"},
      {"#LIST(a#b)#", "#LIST(a#b)#"},
      {"%LIST(a\nb)%", "%LIST(a\nb)%"},
      {"%", "%"},
      {"#", "#"},
      {"", ""},
      // Adjacent and overlapping candidates.
      {"%%DATE%%", "%2024-03-01%"},
      {"%DATE%DATE%", "2024-03-01DATE%"},
      {"5%DATE%", "52024-03-01"},
      {"%_x1%", "%_x1%"},
      {"%1x%", "%1x%"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(FilterTemplate(c.text, PageHandler, &request, builtins), c.expected)
        << "template: " << c.text;
  }
}

TEST(TemplateFilter, HandlersRunInTemplateOrderWithTheirTag) {
  std::vector<std::string> seen;
  std::string last_account;
  const TagHandler handler = [&](const Tag& tag) -> std::optional<std::string> {
    seen.push_back(std::string(tag.text) + "=" + tag.name + "(" + tag.parameters + ")");
    if (tag.name == "SELECT") {
      last_account = tag.parameters;
      return "";
    }
    if (tag.name == "CURRENT") return last_account;
    return std::nullopt;
  };
  const std::string out =
      FilterTemplate("#current# %Select(B2)% #CURRENT# %other%", handler, nullptr, {});
  EXPECT_EQ(out, "  B2 %other%");
  EXPECT_EQ(seen, (std::vector<std::string>{"#current#=CURRENT()", "%Select(B2)%=SELECT(B2)",
                                            "#CURRENT#=CURRENT()", "%other%=OTHER()"}));
}

TEST(TemplateFilter, StandardBuiltinTags) {
  Request request;
  request.SetEnv("SCRIPT_NAME", "/cgi-bin/t\"k");
  request.AddVariable("csrf_token", "forged");
  const BuiltinTags builtins = StandardBuiltinTags(request, "ab<12");
  EXPECT_EQ(FilterTemplate("<form action=\"%SCRIPT_NAME%\">%CSRF_TOKEN%", nullptr, &request, builtins),
            "<form action=\"/cgi-bin/t&quot;k\"><input type=\"hidden\" name=\"csrf_token\" "
            "value=\"ab&lt;12\">");
}

TEST(TemplateFilter, ReadTemplateFile) {
  const auto path = std::filesystem::temp_directory_path() / "tikora_template_test.html";
  const std::string text = std::string("<p>%DATE%</p>\r\n\0tail", 20);
  std::ofstream(path, std::ios::binary) << text;
  EXPECT_EQ(ReadTemplateFile(path), text);
  std::filesystem::remove(path);
  EXPECT_THROW(ReadTemplateFile(path), std::runtime_error);
}

}  // namespace
}  // namespace tikora::web
