#include "core/ini_file.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <filesystem>
#include <optional>
#include <string>

#include "core/core_test_support.h"
#include "locale_guard.h"

namespace tikora {
namespace {

namespace fs = std::filesystem;
using test::ReadText;
using test::TempFolder;
using test::WriteText;

std::string WithoutBlankLines(const std::string& text) {
  std::string out;
  std::size_t start = 0;
  while (start < text.size()) {
    std::size_t end = std::min(text.find('\n', start), text.size());
    if (end > start) out.append(text, start, end - start).push_back('\n');
    start = end + 1;
  }
  return out;
}

constexpr const char* kSample =
    "; settings of one station\n"
    "\n"
    "[Defaults]\n"
    "; last charge account\n"
    "LastAcct =  ACME-01  \n"
    "Padded=\"  kept  \"\n"
    "Quote=\"\"\n"
    "Empty=\n"
    "lastacct=second occurrence\n"
    "NoEquals line\n"
    "[Options]\n"
    "Round=0,25\n"
    "\t Language = German\r\n"
    "[defaults]\n"
    "Late=merged\n";

TEST(IniDocumentTest, ReadsStringsWithWindowsRules) {
  const IniDocument ini = IniDocument::FromText(kSample);
  struct Case {
    const char* section;
    const char* key;
    std::optional<std::string> expected;
  };
  const Case cases[] = {
      {"Defaults", "LastAcct", "ACME-01"},          // value trimmed
      {"DEFAULTS", "lastACCT", "ACME-01"},          // names ignore case; first occurrence wins
      {" Defaults ", " LastAcct ", "ACME-01"},      // blanks around names do not count
      {"Defaults", "Padded", "  kept  "},           // quotes keep the blanks
      {"Defaults", "Quote", ""},                    // "" is an empty value
      {"Defaults", "Empty", ""},                    // present but empty
      {"Defaults", "Late", "merged"},               // a repeated section adds to the first
      {"Options", "Language", "German"},            // CR LF line end, indented key
      {"Defaults", "NoEquals line", std::nullopt},  // not a key
      {"Defaults", "Missing", std::nullopt},
      {"Missing", "LastAcct", std::nullopt},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.section) + "/" + c.key);
    EXPECT_EQ(ini.Value(c.section, c.key), c.expected);
    EXPECT_EQ(ini.ReadString(c.section, c.key, "fallback"), c.expected.value_or("fallback"));
  }
  EXPECT_TRUE(ini.SectionExists("options"));
  EXPECT_FALSE(ini.SectionExists("Checks"));
}

TEST(IniDocumentTest, NumbersThatDoNotParseGiveTheDefault) {
  struct Case {
    const char* text;
    std::optional<int> integer;
    std::optional<double> real;
  };
  const Case cases[] = {
      {"12", 12, 12.0},
      {"  -5 ", -5, -5.0},
      {"+3", 3, 3.0},
      {"0x1F", 31, std::nullopt},
      {"$ff", 255, std::nullopt},
      {"2147483647", 2147483647, 2147483647.0},
      {"-2147483648", -2147483647 - 1, -2147483648.0},
      {"2147483648", std::nullopt, 2147483648.0},
      {"1.5", std::nullopt, 1.5},
      {"1,5", std::nullopt, 1.5},
      {"-0,25", std::nullopt, -0.25},
      {"1e3", std::nullopt, 1000.0},
      {"", std::nullopt, std::nullopt},
      {"abc", std::nullopt, std::nullopt},
      {"12abc", std::nullopt, std::nullopt},
      {"1 2", std::nullopt, std::nullopt},
      {"--1", std::nullopt, std::nullopt},
      {"+-1", std::nullopt, std::nullopt},
      {"0x", std::nullopt, std::nullopt},
      {"1.234,5", std::nullopt, std::nullopt},
      {"nan", std::nullopt, std::nullopt},
      {"inf", std::nullopt, std::nullopt},
      {"1e999", std::nullopt, std::nullopt},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string("\"") + c.text + "\"");
    EXPECT_EQ(ParseIniInteger(c.text), c.integer);
    EXPECT_EQ(ParseIniFloat(c.text), c.real);
    const IniDocument ini = IniDocument::FromText(std::string("[S]\nK=") + c.text + "\n");
    EXPECT_EQ(ini.ReadInteger("S", "K", 77), c.integer.value_or(77));
    EXPECT_EQ(ini.ReadFloat("S", "K", 7.5), c.real.value_or(7.5));
  }
}

TEST(IniDocumentTest, BooleansAreIntegers) {
  const struct {
    const char* text;
    bool fallback;
    bool expected;
  } cases[] = {
      {"1", false, true}, {"0", true, false}, {"2", false, true}, {"-1", false, true},
      {"true", false, false}, {"true", true, true}, {"", true, true}, {"yes", false, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    const IniDocument ini = IniDocument::FromText(std::string("[S]\nB=") + c.text);
    EXPECT_EQ(ini.ReadBool("S", "B", c.fallback), c.expected);
  }
  IniDocument ini;
  ASSERT_TRUE(ini.WriteBool("S", "On", true));
  ASSERT_TRUE(ini.WriteBool("S", "Off", false));
  EXPECT_EQ(ini.ToText(), "[S]\nOn=1\nOff=0\n");
}

TEST(IniDocumentTest, WrittenValuesReadBackUnchanged) {
  const std::string values[] = {"plain",      "  leading", "trailing\t", "\"quoted\"", "\"",
                                "",           "a=b;c#d",   "[not a section]", "\"x\" ",
                                "Ümlaut ß €"};
  IniDocument ini;
  for (std::size_t i = 0; i < std::size(values); ++i) {
    ASSERT_TRUE(ini.WriteString("S", "K" + std::to_string(i), values[i]));
  }
  const IniDocument reread = IniDocument::FromText(ini.ToText());
  for (std::size_t i = 0; i < std::size(values); ++i) {
    SCOPED_TRACE("[" + values[i] + "]");
    EXPECT_EQ(ini.Value("S", "K" + std::to_string(i)), values[i]);
    EXPECT_EQ(reread.Value("S", "K" + std::to_string(i)), values[i]);
  }
}

TEST(IniDocumentTest, LineBreaksInAValueCannotAddKeys) {
  IniDocument ini;
  ASSERT_TRUE(ini.WriteString("Options", "Heading", "Week\n[Options]\r\nDataPath=/etc"));
  const IniDocument reread = IniDocument::FromText(ini.ToText());
  EXPECT_EQ(reread.Value("Options", "Heading"), "Week [Options]  DataPath=/etc");
  EXPECT_FALSE(reread.ValueExists("Options", "DataPath"));
}

TEST(IniDocumentTest, NamesAFileCannotHoldAreRefused) {
  const struct {
    const char* section;
    const char* key;
  } cases[] = {{"", "K"},        {"S", ""},     {"a]b", "K"},   {"S", "a=b"},  {"S", ";K"},
               {"S", "#K"},      {"S", "[K"},   {"S\nT", "K"},  {"S", "K\rL"}, {"  ", "K"}};
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.section) + "/" + c.key);
    IniDocument ini;
    EXPECT_FALSE(ini.WriteString(c.section, c.key, "v"));
    EXPECT_EQ(ini.ToText(), "");
  }
}

TEST(IniDocumentTest, EditsKeepOtherKeysAndComments) {
  IniDocument ini = IniDocument::FromText(
      "; file comment\n"
      "\n"
      "[Options]\n"
      "; about Unknown\n"
      "Unknown=keep me\n"
      "Old=1\n"
      "[Other]\n"
      "X=1\n"
      "; closing remark\n");
  ASSERT_TRUE(ini.WriteString("options", "Language", "French"));
  ASSERT_TRUE(ini.WriteString("OPTIONS", "unknown", "changed"));
  EXPECT_TRUE(ini.DeleteKey("Options", "Old"));
  EXPECT_FALSE(ini.DeleteKey("Options", "Old"));
  const std::string text = ini.ToText();
  for (const char* kept : {"; file comment", "; about Unknown", "; closing remark", "[Other]", "X=1"}) {
    EXPECT_NE(text.find(kept), std::string::npos) << kept << " missing from\n" << text;
  }
  const IniDocument reread = IniDocument::FromText(text);
  EXPECT_EQ(reread.Value("Options", "Unknown"), "changed");
  EXPECT_EQ(reread.Value("Options", "Language"), "French");
  EXPECT_FALSE(reread.ValueExists("Options", "Old"));
  EXPECT_EQ(reread.KeyNames("Options"), (std::vector<std::string>{"Unknown", "Language"}));
  // Parsing what was written and writing it again changes nothing.
  EXPECT_EQ(reread.ToText(), text);
}

TEST(IniDocumentTest, WritingARepeatedKeyLeavesOne) {
  IniDocument ini = IniDocument::FromText("[S]\nK=first\nk=second\n");
  ASSERT_TRUE(ini.WriteString("S", "K", "new"));
  EXPECT_EQ(IniDocument::FromText(ini.ToText()).KeyNames("S"), std::vector<std::string>{"K"});
  EXPECT_EQ(ini.Value("S", "K"), "new");
}

TEST(IniDocumentTest, RealsAreWrittenWithAPointInEveryLocale) {
  test::ScopedLocale german("de_DE.UTF-8");
  if (!german.ok()) GTEST_SKIP() << "de_DE.UTF-8 is not installed";
  IniDocument ini;
  ASSERT_TRUE(ini.WriteFloat("Defaults", "Round", 0.001));
  ASSERT_TRUE(ini.WriteFloat("Defaults", "MinBill", 1.5));
  ASSERT_TRUE(ini.WriteFloat("Defaults", "Big", 123456789.125));
  EXPECT_EQ(ini.ToText(), "[Defaults]\nRound=0.001\nMinBill=1.5\nBig=123456789.125\n");
  const IniDocument reread = IniDocument::FromText(ini.ToText());
  EXPECT_EQ(reread.ReadFloat("Defaults", "Round", 0), 0.001);
  EXPECT_EQ(reread.ReadFloat("Defaults", "Big", 0), 123456789.125);
}

TEST(IniDocumentTest, OddTextStillParses) {
  const struct {
    std::string text;
    const char* section;
    const char* key;
    const char* expected;
  } cases[] = {
      {"\xEF\xBB\xBF[S]\nK=v\n", "S", "K", "v"},                       // byte-order mark
      {std::string("[S]\nK=v\0w\nL=x\n", 14), "S", "L", "x"},           // NUL byte
      {"[S]\rK=v\r\nL=x", "S", "L", "x"},                                // old Mac line ends
      {"[S]\n[T\nK=v\n", "S", "K", "v"},                                 // unclosed section
      {"[S]\n[ \n T]\nK=v\n", "S", "K", "v"},                           // split section
      {"[S]\n=x\n]\n[]\nK=v\n", "", "K", "v"},                          // empty names
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    const IniDocument ini = IniDocument::FromText(c.text);
    EXPECT_EQ(ini.ReadString(c.section, c.key, "?"), c.expected);
    // Saving what was read keeps it, apart from blank lines.
    EXPECT_EQ(WithoutBlankLines(IniDocument::FromText(ini.ToText()).ToText()),
              WithoutBlankLines(ini.ToText()));
  }
}

TEST(IniDocumentTest, LinesThatMeanNothingAreKeptAsComments) {
  IniDocument ini = IniDocument::FromText(
      "[S]\n"
      "; about K\n"
      "stray words\n"
      "K=v\n"
      "[unclosed\n"
      "; the end\n");
  ASSERT_TRUE(ini.WriteString("S", "K", "w"));
  EXPECT_EQ(WithoutBlankLines(ini.ToText()),
            "[S]\n; about K\n;stray words\nK=w\n;[unclosed\n; the end\n");
}

// ---- IniFile: one open per call, atomic replacement -----------------------------------------

TEST(IniFileTest, MissingFileReadsDefaultsAndIsNotCreatedByReadsOrDeletes) {
  TempFolder folder;
  const IniFile file(folder.File("Tikora.ini"));
  EXPECT_EQ(file.ReadString("Options", "Language", "English"), "English");
  EXPECT_EQ(file.ReadInteger("Options", "Synchronize", 3), 3);
  EXPECT_TRUE(file.DeleteKey("Options", "SynchOnStart"));
  EXPECT_FALSE(fs::exists(file.FileName()));
}

TEST(IniFileTest, WritesReplaceTheFileAndKeepTheRest) {
  TempFolder folder;
  const std::string name = folder.File("Tikora.ini");
  WriteText(name, "; kept\n[Options]\nUnknown=1\nLanguage=English\n");
  ::chmod(name.c_str(), 0640);
  const IniFile file(name);

  ASSERT_TRUE(file.WriteString("Options", "Language", "French"));
  ASSERT_TRUE(file.WriteFloat("Options", "SynchTime", 0.75));
  ASSERT_TRUE(file.DeleteKey("Options", "Unknown"));

  const std::string text = ReadText(name);
  EXPECT_EQ(text.find("; kept"), 0u) << text;
  EXPECT_EQ(text.find("Unknown"), std::string::npos) << text;
  EXPECT_EQ(file.ReadString("Options", "Language", ""), "French");
  EXPECT_EQ(file.ReadFloat("Options", "SynchTime", 0), 0.75);
  struct stat info {};
  ASSERT_EQ(::stat(name.c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 0777, 0640u);
  // Nothing is left behind in the folder but the file itself.
  EXPECT_EQ(std::distance(fs::directory_iterator(folder.path()), fs::directory_iterator()), 1);
}

TEST(IniFileTest, FailedWritesLeaveTheFileAlone) {
  TempFolder folder;
  EXPECT_FALSE(IniFile(folder.File("missing/Tikora.ini")).WriteString("S", "K", "v"));
  EXPECT_FALSE(fs::exists(folder.File("missing")));

  const std::string name = folder.File("Tikora.ini");
  WriteText(name, "[S]\nK=old\n");
  EXPECT_FALSE(IniFile(name).Update([](IniDocument& d) {
    d.WriteString("S", "K", "new");
    return false;  // the edit gives up
  }));
  EXPECT_FALSE(IniFile(name).WriteString("S", "bad=key", "v"));
  EXPECT_EQ(ReadText(name), "[S]\nK=old\n");
}

TEST(IniFileTest, WritingThroughASymbolicLinkKeepsTheLink) {
  TempFolder folder;
  WriteText(folder.File("real.ini"), "[S]\nK=old\n");
  fs::create_symlink(folder.File("real.ini"), folder.File("link.ini"));
  ASSERT_TRUE(IniFile(folder.File("link.ini")).WriteString("S", "K", "new"));
  EXPECT_TRUE(fs::is_symlink(folder.File("link.ini")));
  EXPECT_EQ(ReadText(folder.File("real.ini")), "[S]\nK=new\n");
}

}  // namespace
}  // namespace tikora
