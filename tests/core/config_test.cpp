#include "core/config.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "core/core_test_support.h"
#include "core/ini_file.h"
#include "core/system_helpers.h"
#include "scripted_prompter.h"

namespace tikora {
namespace {

namespace fs = std::filesystem;
using test::ReadText;
using test::ScopedEnv;
using test::TempFolder;
using test::WriteText;

// An installation in a temporary folder: program folder with TIKData/, and a home of its own.
class ConfigTest : public ::testing::Test {
 protected:
  ConfigTest()
      : home_("HOME", folder_.File("home")), xdg_("XDG_CONFIG_HOME", folder_.File("config")) {
    SetProgramFolder(folder_.File("program"));
    fs::create_directories(folder_.File("program/TIKData"));
  }
  ~ConfigTest() override { SetProgramFolder(""); }

  std::string Program() const { return folder_.File("program") + "/"; }
  std::string StationFile() const { return Program() + "Tikora.ini"; }
  std::string DataFile() const { return Program() + "TIKData/Tikora.ini"; }

  std::unique_ptr<TConfig> Loaded(ConfigVariant variant, const std::string& station = "",
                                  const std::string& data = "") {
    if (!station.empty()) WriteText(StationFile(), station);
    if (!data.empty()) WriteText(DataFile(), data);
    auto config = std::make_unique<TConfig>(variant, ConfigServices{}, prompter_);
    EXPECT_TRUE(config->Load());
    return config;
  }

  TempFolder folder_;
  ScopedEnv home_;
  ScopedEnv xdg_;
  test::ScriptedPrompter prompter_;
};

const ConfigVariant kBothVariants[] = {ConfigVariant::Administrator, ConfigVariant::Web};

TEST_F(ConfigTest, WithoutAnyFileEverySettingHasItsDefault) {
  for (ConfigVariant variant : kBothVariants) {
    const bool web = variant == ConfigVariant::Web;
    SCOPED_TRACE(web ? "web" : "administrator");
    const auto c = Loaded(variant);

    EXPECT_EQ(c->UserFolder, folder_.File("config") + "/Orvane/");
    EXPECT_EQ(c->UserIniFile, folder_.File("config") + "/Orvane/Tikora.ini");
    EXPECT_TRUE(fs::is_directory(c->UserFolder));
    EXPECT_EQ(c->DataPath, Program() + "TIKData/");
    EXPECT_EQ(c->DataBackupPath, Program() + "TIKData/Backup/");
    EXPECT_EQ(c->NetSynchDataPath, Program() + "Data/");
    EXPECT_EQ(c->ReportsPath, web ? "" : Program() + "TIKReports/");

    EXPECT_EQ(c->LastLogin, "Administrator");
    EXPECT_EQ(c->ChargeAccountTerm, "Charge Account");
    EXPECT_EQ(c->AccountCodeTerm, "Job Code");
    EXPECT_EQ(c->ClientTerm, "Client");
    EXPECT_EQ(c->IPAddr, "127.0.0.1");
    EXPECT_EQ(c->CurrentUserId, CurrentUserName());
    EXPECT_EQ(c->ExportDir, "A:\\");
    EXPECT_EQ(c->LastAcct + c->LastAcctCode + c->LastClient + c->Heading, "");
    EXPECT_EQ(c->DayStart + c->LunchStart + c->LunchEnd + c->DayEnd, "");
    EXPECT_EQ(c->HolHrs, "8");
    EXPECT_EQ(c->Language, "English");
    EXPECT_EQ(c->Rights, "");
    EXPECT_EQ(c->CSVFieldSeparator, ',');
    EXPECT_EQ(c->StartingTip, 1);
    EXPECT_EQ(c->ProjRank, 1);
    EXPECT_EQ(c->JobCodeRank, 2);
    EXPECT_EQ(c->ClientRank, 3);
    EXPECT_EQ(c->LastTable, 0);
    EXPECT_EQ(c->LastReport, 0);
    EXPECT_EQ(c->DayOfWeek, 1);  // the week starts on Monday
    EXPECT_EQ(c->BackupDays, 30);
    EXPECT_EQ(c->ProjUpdateInterval, 60);
    EXPECT_EQ(c->BackupTimerInterval, 60);
    EXPECT_EQ(c->Synchronize, 0);
    EXPECT_EQ(c->LastSynchDate, DateTime(0));
    EXPECT_EQ(c->SynchTime, DateTime(0));
    EXPECT_EQ(c->Round, 0.001);
    EXPECT_EQ(c->MinBill, 0.0);

    const std::vector<std::pair<const char*, bool>> on = {
        {"ShowTips", c->ShowTips},       {"AllowDateChange", c->AllowDateChange},
        {"AllowMultPunchIn", c->AllowMultPunchIn}, {"JobCodeVis", c->JobCodeVis},
        {"ClientVis", c->ClientVis},     {"ItemVis", c->ItemVis},
        {"AllowManualTimeEdits", c->AllowManualTimeEdits}, {"AutoFill", c->AutoFill},
        {"AllowSynchEdits", c->AllowSynchEdits}, {"AllowPrintedEdits", c->AllowPrintedEdits},
        {"ShowSplash", c->ShowSplash},   {"Rounding", c->Rounding}};
    for (const auto& [name, value] : on) EXPECT_TRUE(value) << name;
    const std::vector<std::pair<const char*, bool>> off = {
        {"NewExpenseRecordAfterSave", c->NewExpenseRecordAfterSave},
        {"ClearFieldsOnNewExpenseRecord", c->ClearFieldsOnNewExpenseRecord},
        {"ArchiveAfterInvoice", c->ArchiveAfterInvoice},
        {"LogTimeHistoryChanges", c->LogTimeHistoryChanges},
        {"OldStartupChecked", c->OldStartupChecked}, {"ClearFieldsOnNewAcct", c->ClearFieldsOnNewAcct},
        {"ForceJobCode", c->ForceJobCode}, {"ForceClient", c->ForceClient},
        {"DataReadOnly", c->DataReadOnly}, {"SynchOnStart", c->SynchOnStart},
        {"SynchOnShutDown", c->SynchOnShutDown}, {"LimitToWkgrp", c->LimitToWkgrp},
        {"DefaultPrevWeek", c->DefaultPrevWeek}, {"Tray", c->Tray}, {"StartUp", c->StartUp},
        {"StartMin", c->StartMin}, {"AutoOut", c->AutoOut}, {"PunchOutJob", c->PunchOutJob},
        {"POClose", c->POClose}, {"PunchInOnStart", c->PunchInOnStart}, {"OnTop", c->OnTop},
        {"RoundUp", c->RoundUp}, {"AutoBackup", c->AutoBackup}};
    for (const auto& [name, value] : off) EXPECT_FALSE(value) << name;
    // The web program never reads these three: for it they are always on.
    EXPECT_EQ(c->ForceLogin, web);
    EXPECT_EQ(c->SimultaneousBilling, web);
    EXPECT_EQ(c->IDInPullDowns, web);

    // Loading wrote nothing.
    EXPECT_FALSE(fs::exists(StationFile()));
    EXPECT_FALSE(fs::exists(DataFile()));
  }
  EXPECT_TRUE(prompter_.Texts().empty());
}

TEST_F(ConfigTest, LoadRules) {
  struct Case {
    const char* name;
    const char* station;  // program settings file
    const char* data;     // data settings file
    std::function<void(const TConfig&)> check;
  };
  const Case cases[] = {
      {"empty terms mean the default words", "",
       "[Options]\nChargeAccountTerm=\nAccountCodeTerm=  \nClientTerm=Customer\n",
       [](const TConfig& c) {
         EXPECT_EQ(c.ChargeAccountTerm, "Charge Account");
         EXPECT_EQ(c.AccountCodeTerm, "Job Code");
         EXPECT_EQ(c.ClientTerm, "Customer");
       }},
      {"DayOfWeek 9 gives Monday", "[Defaults]\nDayOfWeek=9\n", "",
       [](const TConfig& c) { EXPECT_EQ(c.DayOfWeek, 1); }},
      {"DayOfWeek 0 is Sunday", "[Defaults]\nDayOfWeek=0\n", "",
       [](const TConfig& c) { EXPECT_EQ(c.DayOfWeek, 0); }},
      {"DayOfWeek 7 is kept", "[Defaults]\nDayOfWeek=7\n", "",
       [](const TConfig& c) { EXPECT_EQ(c.DayOfWeek, 7); }},
      {"negative DayOfWeek gives Monday", "[Defaults]\nDayOfWeek=-1\n", "",
       [](const TConfig& c) { EXPECT_EQ(c.DayOfWeek, 1); }},
      {"separator is the first character", "[Options]\nCSVFieldSeparator=;|\n", "",
       [](const TConfig& c) { EXPECT_EQ(c.CSVFieldSeparator, ';'); }},
      {"empty separator keeps the comma", "[Options]\nCSVFieldSeparator=\n", "",
       [](const TConfig& c) { EXPECT_EQ(c.CSVFieldSeparator, ','); }},
      {"quoted tab separator", "[Options]\nCSVFieldSeparator=\"\t\"\n", "",
       [](const TConfig& c) { EXPECT_EQ(c.CSVFieldSeparator, '\t'); }},
      {"numbers that are not numbers give defaults",
       "[Defaults]\nStartingTip=many\nRound=x\nLastTable=70000\n[Options]\nLastSynchDate=1.5.2024\n",
       "[Options]\nBackupDays=abc\nProjRank=\nMinBill=1..5\nSynchronize=one\n",
       [](const TConfig& c) {
         EXPECT_EQ(c.StartingTip, 1);
         EXPECT_EQ(c.Round, 0.001);
         EXPECT_EQ(c.LastTable, 0);  // beyond 16 bits: the default, not a wrapped number
         EXPECT_EQ(c.LastSynchDate, DateTime(0));
         EXPECT_EQ(c.BackupDays, 30);
         EXPECT_EQ(c.ProjRank, 1);
         EXPECT_EQ(c.MinBill, 0.0);
         EXPECT_EQ(c.Synchronize, 0);
       }},
      {"reals with a comma or a point", "[Defaults]\nRound=0,25\n",
       "[Options]\nMinBill=1.5\nSynchTime=0,75\n",
       [](const TConfig& c) {
         EXPECT_EQ(c.Round, 0.25);
         EXPECT_EQ(c.MinBill, 1.5);
         EXPECT_EQ(c.SynchTime, DateTime(0.75));
       }},
      {"paths get a trailing delimiter",
       "[Options]\nNetSynchDataPath= /net/tik \n",
       "[Options]\nDataBackupPath=/backups\t\nReportsPath=/reports\n",
       [](const TConfig& c) {
         EXPECT_EQ(c.NetSynchDataPath, "/net/tik/");
         EXPECT_EQ(c.DataBackupPath, "/backups/");
         EXPECT_EQ(c.ReportsPath, c.Variant() == ConfigVariant::Web ? "" : "/reports/");
       }},
      {"empty ReportsPath is the default folder", "", "[Options]\nReportsPath=\n",
       [](const TConfig& c) {
         EXPECT_EQ(c.ReportsPath, c.Variant() == ConfigVariant::Web ? "" : c.DefaultReportsPath());
       }},
      {"web ignores ForceLogin and friends",
       "[Options]\nIDInPullDowns=0\n", "[Options]\nForceLogin=0\nSimultaneousBilling=0\n",
       [](const TConfig& c) {
         const bool web = c.Variant() == ConfigVariant::Web;
         EXPECT_EQ(c.ForceLogin, web);
         EXPECT_EQ(c.SimultaneousBilling, web);
         EXPECT_EQ(c.IDInPullDowns, web);
       }},
      {"values of both files", "[defaults]\nlastacct=ACME\nLastSynchDate=\n[Options]\nLastSynchDate=45000\nLanguage=French\n",
       "[OPTIONS]\nSynchronize=3\nBackupDays=-5\nIPAddr=10.0.0.1\n",
       [](const TConfig& c) {
         EXPECT_EQ(c.LastAcct, "ACME");
         EXPECT_EQ(c.LastSynchDate, DateTime(45000));
         EXPECT_EQ(c.Language, "French");
         EXPECT_EQ(c.Synchronize, 3);
         EXPECT_EQ(c.BackupDays, -5);
         EXPECT_EQ(c.IPAddr, "10.0.0.1");
       }},
  };
  for (const Case& test_case : cases) {
    for (ConfigVariant variant : kBothVariants) {
      SCOPED_TRACE(std::string(test_case.name) +
                   (variant == ConfigVariant::Web ? " (web)" : " (administrator)"));
      fs::remove(StationFile());
      fs::remove(DataFile());
      test_case.check(*Loaded(variant, test_case.station, test_case.data));
    }
  }
}

TEST_F(ConfigTest, OldNetDataPathMovesToNetSynchDataPath) {
  for (ConfigVariant variant : kBothVariants) {
    WriteText(StationFile(), "[Options]\nNetDataPath=/srv/old share\nAutoFill=0\n");
    const auto config = Loaded(variant);
    EXPECT_EQ(config->NetSynchDataPath, "/srv/old share");  // as stored: no delimiter added
    const IniDocument after = IniFile(StationFile()).Read();
    EXPECT_EQ(after.Value("Options", "NetSynchDataPath"), "/srv/old share");
    EXPECT_FALSE(after.ValueExists("Options", "NetDataPath"));
    EXPECT_EQ(after.Value("Options", "AutoFill"), "0");
  }
}

TEST_F(ConfigTest, OldSynchSwitchesBecomeSynchronize) {
  const struct {
    const char* start;
    const char* shutdown;
    int expected;
    bool keys_removed;
  } cases[] = {
      {"1", "1", 2, true}, {"1", "0", 1, true}, {"0", "1", 2, true}, {"0", "0", 3, false},
  };
  for (const auto& c : cases) {
    for (ConfigVariant variant : kBothVariants) {
      SCOPED_TRACE(std::string(c.start) + c.shutdown);
      const std::string data = std::string("[Options]\nSynchronize=3\nSynchOnStart=") + c.start +
                               "\nSynchOnShutDown=" + c.shutdown + "\n";
      const auto config = Loaded(variant, "", data);
      EXPECT_EQ(config->Synchronize, c.expected);
      const IniDocument after = IniFile(DataFile()).Read();
      EXPECT_EQ(after.ValueExists("Options", "SynchOnStart"), !c.keys_removed);
      EXPECT_EQ(after.ValueExists("Options", "SynchOnShutDown"), !c.keys_removed);
      EXPECT_EQ(after.Value("Options", "Synchronize"), "3");  // stored only by the next save
    }
  }
}

TEST_F(ConfigTest, SavedSettingsLoadBackAndForeignKeysStay) {
  WriteText(StationFile(), "; station comment\n[Defaults]\nCustom=keep\n[Window]\nTop=5\n");
  WriteText(DataFile(), "[Options]\nSynchOnStart=1\n; data comment\nExtra=also kept\n");
  {
    TConfig config(ConfigVariant::Administrator, {}, prompter_);
    ASSERT_TRUE(config.Load());
    config.LastAcct = "ACME";
    config.Heading = "  Week of  ";
    config.DayOfWeek = 0;
    config.CSVFieldSeparator = ';';
    config.Round = 0.25;
    config.LastSynchDate = DateTime(45000.8);
    config.Language = "French";
    config.IDInPullDowns = true;
    config.OnTop = true;
    config.ShowTips = false;
    config.StartingTip = -3;
    config.NetSynchDataPath = "/net/";
    config.ChargeAccountTerm = "Project";
    config.ForceLogin = true;
    config.MinBill = 0.5;
    config.SynchTime = DateTime(0.5);
    config.BackupDays = 7;
    config.AllowMultPunchIn = false;
    config.DataBackupPath = "/backups/";
    ASSERT_TRUE(config.SaveStationOptions());
    ASSERT_TRUE(config.SaveDataOptions());
  }
  const auto c = Loaded(ConfigVariant::Administrator);
  EXPECT_EQ(c->LastAcct, "ACME");
  EXPECT_EQ(c->Heading, "  Week of  ");
  EXPECT_EQ(c->DayOfWeek, 0);
  EXPECT_EQ(c->CSVFieldSeparator, ';');
  EXPECT_EQ(c->Round, 0.25);
  EXPECT_EQ(c->LastSynchDate, DateTime(45000));  // whole days only
  EXPECT_EQ(c->Language, "French");
  EXPECT_TRUE(c->IDInPullDowns);
  EXPECT_TRUE(c->OnTop);
  EXPECT_FALSE(c->ShowTips);
  EXPECT_EQ(c->StartingTip, -3);
  EXPECT_EQ(c->NetSynchDataPath, "/net/");
  EXPECT_EQ(c->ChargeAccountTerm, "Project");
  EXPECT_TRUE(c->ForceLogin);
  EXPECT_EQ(c->MinBill, 0.5);
  EXPECT_EQ(c->SynchTime, DateTime(0.5));
  EXPECT_EQ(c->BackupDays, 7);
  EXPECT_FALSE(c->AllowMultPunchIn);
  EXPECT_EQ(c->DataBackupPath, "/backups/");
  EXPECT_EQ(c->Synchronize, 1);  // from the old switch, now stored as "Synchronize"
  EXPECT_EQ(c->ReportsPath, c->DefaultReportsPath());

  const IniDocument station = IniFile(StationFile()).Read();
  const IniDocument data = IniFile(DataFile()).Read();
  EXPECT_EQ(station.Value("Defaults", "Custom"), "keep");
  EXPECT_EQ(station.Value("Window", "Top"), "5");
  EXPECT_EQ(station.Value("Options", "DataPath"), Program() + "TIKData/");
  EXPECT_EQ(station.Value("Options", "IPAddr"), "127.0.0.1");
  EXPECT_EQ(station.Value("Options", "LastSynchDate"), "45000");
  EXPECT_FALSE(station.ValueExists("Options", "NetDataPath"));
  EXPECT_EQ(data.Value("Options", "Extra"), "also kept");
  EXPECT_EQ(data.Value("Options", "ReportsPath"), "");  // the default folder is stored empty
  EXPECT_EQ(data.Value("Options", "Synchronize"), "1");
  EXPECT_FALSE(data.ValueExists("Options", "SynchOnStart"));
  EXPECT_FALSE(data.ValueExists("Options", "SynchOnShutDown"));
  EXPECT_NE(ReadText(StationFile()).find("; station comment"), std::string::npos);
  EXPECT_NE(ReadText(DataFile()).find("; data comment"), std::string::npos);
}

TEST_F(ConfigTest, ReportsPathOtherThanTheDefaultIsStoredAsIs) {
  TConfig config(ConfigVariant::Administrator, {}, prompter_);
  ASSERT_TRUE(config.Load());
  config.ReportsPath = "/srv/reports/";
  ASSERT_TRUE(config.SaveDataOptions());
  EXPECT_EQ(IniFile(DataFile()).ReadString("Options", "ReportsPath", "?"), "/srv/reports/");
}

TEST_F(ConfigTest, WebVariantNeverSaves) {
  TConfig config(ConfigVariant::Web, {}, prompter_);
  ASSERT_TRUE(config.Load());
  WriteText(folder_.File("config/Orvane/Tikora.ini"), "[Options]\nLastTable=4\n");
  EXPECT_FALSE(config.SaveStationOptions());
  EXPECT_FALSE(config.SaveDataOptions());
  EXPECT_EQ(config.ReadUserInteger("LastTable", 9), 9);
  EXPECT_FALSE(fs::exists(StationFile()));
  EXPECT_FALSE(fs::exists(DataFile()));
}

TEST_F(ConfigTest, ReadUserIntegerReadsTheUserFile) {
  TConfig config(ConfigVariant::Administrator, {}, prompter_);
  WriteText(config.UserIniFile, "[Options]\nLastTable=4\nBad=x\n[frmTables]\nTop=10\n");
  EXPECT_EQ(config.ReadUserInteger("LastTable", 0), 4);
  EXPECT_EQ(config.ReadUserInteger("Bad", 2), 2);
  EXPECT_EQ(config.ReadUserInteger("Top", 1), 1);  // only section "Options"
}

TEST_F(ConfigTest, IsAdministratorOnlyForRightsA) {
  TConfig config(ConfigVariant::Administrator, {}, prompter_);
  const struct {
    const char* rights;
    bool administrator;
  } cases[] = {{"A", true}, {"S", false}, {"U", false}, {"", false}, {"a", false}};
  for (const auto& c : cases) {
    config.Rights = c.rights;
    EXPECT_EQ(config.IsAdministrator(), c.administrator) << c.rights;
  }
}

// ---- Services created by Load ----------------------------------------------------------------

struct ServiceLog {
  bool data_files_present = true;
  std::vector<std::string> calls;
};

class FakeDataAccess : public DataAccessService {
 public:
  explicit FakeDataAccess(ServiceLog& log) : log_(log) {}
  ~FakeDataAccess() override { log_.calls.push_back("free data access"); }
  bool DataFilesPresent() override {
    log_.calls.push_back("DataFilesPresent");
    return log_.data_files_present;
  }

 private:
  ServiceLog& log_;
};

class FakeSecurity : public SecurityService {
 public:
  explicit FakeSecurity(ServiceLog& log) : log_(log) {}
  ~FakeSecurity() override { log_.calls.push_back("free security"); }
  void CheckSecurityFile() override { log_.calls.push_back("CheckSecurityFile"); }
  void LoadSecuritySwitch() override { log_.calls.push_back("LoadSecuritySwitch"); }

 private:
  ServiceLog& log_;
};

ConfigServices FakeServices(ServiceLog& log) {
  return {[&log](TConfig& config) {
            // The services are made before any setting is read.
            log.calls.push_back("make data access, Language=" + config.Language);
            return std::make_unique<FakeDataAccess>(log);
          },
          [&log](TConfig&) {
            log.calls.push_back("make security");
            return std::make_unique<FakeSecurity>(log);
          }};
}

TEST_F(ConfigTest, AdministratorChecksDataFilesThenSecurity) {
  WriteText(StationFile(), "[Options]\nLanguage=French\n");
  ServiceLog log;
  {
    TConfig config(ConfigVariant::Administrator, FakeServices(log), prompter_);
    EXPECT_TRUE(config.Load());
    EXPECT_EQ(config.Language, "French");
    EXPECT_NE(config.Secure(), nullptr);
  }
  EXPECT_EQ(log.calls, (std::vector<std::string>{
                           "make data access, Language=English", "make security",
                           "DataFilesPresent", "CheckSecurityFile", "LoadSecuritySwitch",
                           "free security", "free data access"}));
  EXPECT_TRUE(prompter_.Texts().empty());
}

TEST_F(ConfigTest, MissingDataFilesEndTheAdministratorProgram) {
  ServiceLog log;
  log.data_files_present = false;
  TConfig config(ConfigVariant::Administrator, FakeServices(log), prompter_);
  EXPECT_FALSE(config.Load());
  ASSERT_EQ(prompter_.Messages().size(), 1u);
  EXPECT_EQ(prompter_.Messages()[0].text,
            "At least some data files are missing from " + Program() +
                "TIKData/. Attempt re-installation. Application Terminating.");
  EXPECT_EQ(prompter_.Messages()[0].caption, "Error");
  EXPECT_EQ(std::count(log.calls.begin(), log.calls.end(), "CheckSecurityFile"), 0);
  EXPECT_EQ(std::count(log.calls.begin(), log.calls.end(), "LoadSecuritySwitch"), 0);
}

TEST_F(ConfigTest, WebVariantDoesNotCheckDataFilesOrSecurity) {
  ServiceLog log;
  log.data_files_present = false;
  TConfig config(ConfigVariant::Web, FakeServices(log), prompter_);
  EXPECT_TRUE(config.Load());
  EXPECT_EQ(log.calls, (std::vector<std::string>{"make data access, Language=English",
                                                 "make security"}));
  EXPECT_TRUE(prompter_.Texts().empty());
}

}  // namespace
}  // namespace tikora
