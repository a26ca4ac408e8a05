#include "core/security.h"

#include <gtest/gtest.h>

#include "scripted_prompter.h"

#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

namespace tikora {
namespace {

namespace fs = std::filesystem;

class SecurityFileTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() /
           ("tikora_sec_" + std::to_string(std::random_device{}()) + "_" +
            ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::create_directories(dir_);
  }
  void TearDown() override { fs::remove_all(dir_); }

  fs::path File() const { return dir_ / "tikora.sec"; }
  void WriteFile(const std::string& bytes) const {
    std::ofstream(File(), std::ios::binary) << bytes;
  }
  std::string ReadFile() const {
    std::string bytes(fs::file_size(File()), '\0');
    std::ifstream(File(), std::ios::binary).read(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    return bytes;
  }
  bool LoadedSwitch() const {
    TSecure secure;
    secure.SetSecuritySwitch(true);
    LoadSecuritySwitch(secure, dir_);
    return secure.SecuritySwitch();
  }

  fs::path dir_;
  test::ScriptedPrompter prompter_;
  Translator translate_ = [](const std::string& text) { return "[xx] " + text; };
};

// A record as written by a program: length byte, version text, switch, padding to `size`.
std::string Record(const std::string& version, char security_switch, std::size_t size = 54) {
  std::string bytes(1, static_cast<char>(version.size()));
  bytes += version;
  bytes += security_switch;
  bytes.resize(size, '\0');
  return bytes;
}

const std::string kFreshRecord = Record("2.00", '\0');

TEST_F(SecurityFileTest, MissingFileIsCreatedCurrentAndOff) {
  CheckSecurityFile(dir_, prompter_, translate_);
  EXPECT_EQ(ReadFile(), kFreshRecord);
  EXPECT_EQ(ReadFile().size(), 54u);
  EXPECT_TRUE(prompter_.Texts().empty());
  EXPECT_FALSE(LoadedSwitch());
}

TEST_F(SecurityFileTest, MessagePassesTheProgramTranslationByDefault) {
  WriteFile(Record("9.99", '\1'));
  CheckSecurityFile(dir_, prompter_);  // the process language is English: the text as defined
  ASSERT_EQ(prompter_.Texts().size(), 1u);
  EXPECT_EQ(prompter_.Texts()[0], kSecurityResetMessage);
}

TEST_F(SecurityFileTest, ExistingFilesByVersion) {
  struct Case {
    const char* label;
    std::string contents;
    bool message;    // the reset message is shown (once)
    bool replaced;   // the file is a fresh current record afterwards
    bool switch_on;  // the switch as loaded afterwards
  };
  const Case cases[] = {
      {"current, on", Record("2.00", '\1'), false, false, true},
      {"current, off", Record("2.00", '\0'), false, false, false},
      {"older 1.00 file of 38 bytes", Record("1.00", '\1', 38), false, true, false},
      {"unknown higher version", Record("3.00", '\1'), true, true, false},
      {"unknown lower version", Record("0.90", '\1'), true, true, false},
      {"length byte not 4", Record("2.0", '\1'), true, true, false},
      {"garbage", std::string(54, '\xff'), true, true, false},
      {"empty file", "", true, true, false},
      {"current but cut before the switch", Record("2.00", '\1', 5), false, false, false},
      {"current, cut after the switch", Record("2.00", '\1', 6), false, false, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.label);
    test::ScriptedPrompter prompter;
    WriteFile(c.contents);
    CheckSecurityFile(dir_, prompter, translate_);
    if (c.message) {
      ASSERT_EQ(prompter.Texts().size(), 1u);
      EXPECT_EQ(prompter.Texts()[0],
                "[xx] The storage of password information has changed in the new version of "
                "Tikora.  Because of this your passwords have been reset to the default values.  "
                "We apologize for any inconvenience.");
    } else {
      EXPECT_TRUE(prompter.Texts().empty());
    }
    EXPECT_EQ(ReadFile(), c.replaced ? kFreshRecord : c.contents);
    EXPECT_EQ(LoadedSwitch(), c.switch_on);
  }
}

TEST_F(SecurityFileTest, LoadingNeverCreatesTheFile) {
  EXPECT_FALSE(LoadedSwitch());
  EXPECT_FALSE(fs::exists(File()));
}

TEST_F(SecurityFileTest, SaveChangesOnlyTheSwitchByte) {
  std::string record = Record("2.00", '\0');
  record[30] = 'x';  // bytes a later version might use stay as they are
  WriteFile(record);
  TSecure secure;
  secure.SetSecuritySwitch(true);
  SaveSecuritySwitch(secure, dir_);
  record[5] = '\1';
  EXPECT_EQ(ReadFile(), record);
  EXPECT_TRUE(LoadedSwitch());

  secure.SetSecuritySwitch(false);
  SaveSecuritySwitch(secure, dir_);
  EXPECT_FALSE(LoadedSwitch());
  EXPECT_EQ(ReadFile().size(), 54u);
}

TEST_F(SecurityFileTest, SaveOnMissingOrShortFileWritesACurrentRecord) {
  for (const bool file_present : {false, true}) {
    SCOPED_TRACE(file_present ? "short file" : "missing file");
    fs::remove(File());
    if (file_present) WriteFile(Record("2.00", '\0', 3));
    TSecure secure;
    secure.SetSecuritySwitch(true);
    SaveSecuritySwitch(secure, dir_);
    EXPECT_EQ(ReadFile(), Record("2.00", '\1'));
    test::ScriptedPrompter prompter;
    CheckSecurityFile(dir_, prompter, translate_);  // the next start keeps it
    EXPECT_TRUE(prompter.Texts().empty());
    EXPECT_TRUE(LoadedSwitch());
  }
}

TEST(SecurityVersionText, LengthByteIsBoundedByTheBuffer) {
  EXPECT_EQ(SecurityFileVersion({}), "");
  EXPECT_EQ(SecurityFileVersion({4, '2', '.', '0', '0', 1}), "2.00");
  EXPECT_EQ(SecurityFileVersion({200, 'a', 'b'}), "ab");
  EXPECT_EQ(SecurityFileVersion({0, 'a'}), "");
}

TEST(Rights, LetterComesFromTheExactLoginId) {
  const std::pair<const char*, const char*> cases[] = {
      {"Administrator", "A"}, {"administrator", "U"}, {"Superuser", "S"},
      {"SUPERUSER", "U"},     {"Administrator ", "U"}, {"jdoe", "U"}, {"", "U"},
  };
  for (const auto& [login, rights] : cases) EXPECT_EQ(RightsForLogin(login), rights) << login;
  EXPECT_TRUE(IsAdministrator("A"));
  for (const char* other : {"S", "U", "", "a", "AA"}) EXPECT_FALSE(IsAdministrator(other)) << other;
}

TEST(Rights, RulesByRightsAndSwitch) {
  // Columns: rights "A", "S", "U", "" with the switch on, then the same with the switch off.
  struct Case {
    Rule rule;
    const char* label;
    bool on[4];
    bool off[4];
  };
  const Case cases[] = {
      {Rule::SynchronisedRecordsLocked, "synch locked", {1, 1, 1, 1}, {0, 0, 0, 0}},
      {Rule::PrintedRecordsLocked, "printed locked", {1, 1, 1, 1}, {0, 0, 0, 0}},
      {Rule::ReportsOnlyOwnRecords, "own reports", {0, 1, 1, 1}, {0, 0, 0, 0}},
      {Rule::ReportsListAllUsers, "all users", {1, 0, 0, 0}, {0, 0, 0, 0}},
      {Rule::HideCustomReports, "hide custom", {0, 0, 1, 0}, {0, 0, 0, 0}},
      {Rule::WebShowsOnlyOwnRecords, "web own", {0, 1, 1, 1}, {0, 1, 1, 1}},
      {Rule::SynchroniseAtStart, "sync at start (option off)", {0, 0, 0, 0}, {0, 0, 0, 0}},
      {Rule::TimeHistoryReadOnly, "read-only (option off)", {0, 0, 0, 0}, {0, 0, 0, 0}},
  };
  const char* const rights[] = {"A", "S", "U", ""};
  for (const Case& c : cases) {
    for (int i = 0; i < 4; ++i) {
      SCOPED_TRACE(std::string(c.label) + " rights '" + rights[i] + "'");
      EXPECT_EQ(RuleApplies(c.rule, true, rights[i]), c.on[i]);
      EXPECT_EQ(RuleApplies(c.rule, false, rights[i]), c.off[i]);
    }
  }
}

TEST(Rights, OptionsLiftOrEnableRules) {
  RuleOptions options;
  options.allow_synch_edits = true;
  options.allow_printed_edits = true;
  EXPECT_FALSE(RuleApplies(Rule::SynchronisedRecordsLocked, true, "U", options));
  EXPECT_FALSE(RuleApplies(Rule::PrintedRecordsLocked, true, "U", options));

  options = {};
  options.synchronize = true;
  EXPECT_FALSE(RuleApplies(Rule::SynchroniseAtStart, false, "", options));
  EXPECT_TRUE(RuleApplies(Rule::SynchroniseAtStart, true, "", options));

  options = {};
  options.data_read_only = true;
  EXPECT_TRUE(RuleApplies(Rule::TimeHistoryReadOnly, true, "", options));
  EXPECT_TRUE(RuleApplies(Rule::TimeHistoryReadOnly, true, "S", options));
  EXPECT_FALSE(RuleApplies(Rule::TimeHistoryReadOnly, true, "A", options));
  EXPECT_FALSE(RuleApplies(Rule::TimeHistoryReadOnly, false, "", options));
}

}  // namespace
}  // namespace tikora
