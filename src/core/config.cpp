#include "core/config.h"

#include <cmath>
#include <filesystem>
#include <limits>
#include <system_error>

#include "core/ini_file.h"
#include "core/regional.h"
#include "core/system_helpers.h"

namespace tikora {
namespace {

constexpr const char* kDefaults = "Defaults";
constexpr const char* kChecks = "Checks";
constexpr const char* kOptions = "Options";

// Plain settings: read with a default, written back as they are. Settings with rules of their
// own (paths, terms, separator, day of week, dates, old keys) are handled by name below.
struct TextKey {
  const char* section;
  const char* key;
  std::string TConfig::*field;
  const char* fallback;
};
struct BoolKey {
  const char* section;
  const char* key;
  bool TConfig::*field;
  bool fallback;
};
struct SmallIntKey {
  const char* section;
  const char* key;
  std::int16_t TConfig::*field;
  std::int16_t fallback;
};
struct RealKey {
  const char* section;
  const char* key;
  double TConfig::*field;
  double fallback;
};

// ---- Program settings file ----

constexpr TextKey kStationText[] = {
    {kDefaults, "LastAcct", &TConfig::LastAcct, ""},
    {kDefaults, "LastAcctCode", &TConfig::LastAcctCode, ""},
    {kDefaults, "LastClient", &TConfig::LastClient, ""},
    {kDefaults, "ExportDir", &TConfig::ExportDir, "A:\\"},
    {kDefaults, "Heading", &TConfig::Heading, ""},
    {kDefaults, "DayStart", &TConfig::DayStart, ""},
    {kDefaults, "LunchStart", &TConfig::LunchStart, ""},
    {kDefaults, "LunchEnd", &TConfig::LunchEnd, ""},
    {kDefaults, "DayEnd", &TConfig::DayEnd, ""},
    {kDefaults, "HolHrs", &TConfig::HolHrs, "8"},
    {kDefaults, "LastLogin", &TConfig::LastLogin, "Administrator"},
    {kOptions, "Language", &TConfig::Language, "English"},
};

constexpr BoolKey kStationBool[] = {
    {kDefaults, "ShowTips", &TConfig::ShowTips, true},
    {kDefaults, "Tray", &TConfig::Tray, false},
    {kDefaults, "StartUp", &TConfig::StartUp, false},
    {kDefaults, "StartMin", &TConfig::StartMin, false},
    {kDefaults, "AutoOut", &TConfig::AutoOut, false},
    {kDefaults, "POClose", &TConfig::POClose, false},
    {kDefaults, "PunchInOnStart", &TConfig::PunchInOnStart, false},
    {kDefaults, "OnTop", &TConfig::OnTop, false},
    {kChecks, "OldStartupChecked", &TConfig::OldStartupChecked, false},
    {kOptions, "AutoFill", &TConfig::AutoFill, true},
    {kOptions, "PunchOutJob", &TConfig::PunchOutJob, false},
    {kOptions, "ClearFieldsOnNewAcct", &TConfig::ClearFieldsOnNewAcct, false},
    {kOptions, "Rounding", &TConfig::Rounding, true},
    {kOptions, "RoundUp", &TConfig::RoundUp, false},
    {kOptions, "DefaultPrevWeek", &TConfig::DefaultPrevWeek, false},
    {kOptions, "AllowPrintedEdits", &TConfig::AllowPrintedEdits, true},
    {kOptions, "ShowSplash", &TConfig::ShowSplash, true},
    {kOptions, "NewExpenseRecordAfterSave", &TConfig::NewExpenseRecordAfterSave, false},
    {kOptions, "ClearFieldsOnNewExpenseRecord", &TConfig::ClearFieldsOnNewExpenseRecord, false},
};

constexpr SmallIntKey kStationSmallInt[] = {
    {kDefaults, "StartingTip", &TConfig::StartingTip, 1},
    {kDefaults, "LastTable", &TConfig::LastTable, 0},
    {kDefaults, "LastReport", &TConfig::LastReport, 0},
    {kOptions, "ProjUpdateInterval", &TConfig::ProjUpdateInterval, 60},
};

constexpr RealKey kStationReal[] = {
    {kDefaults, "Round", &TConfig::Round, 0.001},
};

// ---- Data settings file (all in section "Options") ----

constexpr TextKey kDataText[] = {
    {kOptions, "IPAddr", &TConfig::IPAddr, "127.0.0.1"},
};

constexpr BoolKey kDataBool[] = {
    {kOptions, "ClientVis", &TConfig::ClientVis, true},
    {kOptions, "JobCodeVis", &TConfig::JobCodeVis, true},
    {kOptions, "ItemVis", &TConfig::ItemVis, true},
    {kOptions, "AllowManualTimeEdits", &TConfig::AllowManualTimeEdits, true},
    {kOptions, "AllowDateChange", &TConfig::AllowDateChange, true},
    {kOptions, "AutoBackup", &TConfig::AutoBackup, false},
    {kOptions, "AllowSynchEdits", &TConfig::AllowSynchEdits, true},
    {kOptions, "LimitToWkgrp", &TConfig::LimitToWkgrp, false},
    {kOptions, "DataReadOnly", &TConfig::DataReadOnly, false},
    {kOptions, "LogTimeHistoryChanges", &TConfig::LogTimeHistoryChanges, false},
    {kOptions, "ArchiveAfterInvoice", &TConfig::ArchiveAfterInvoice, false},
    {kOptions, "ForceJobCode", &TConfig::ForceJobCode, false},
    {kOptions, "ForceClient", &TConfig::ForceClient, false},
    {kOptions, "AllowMultPunchIn", &TConfig::AllowMultPunchIn, true},
};

// Settings that the web program never reads: for it they are always on.
constexpr BoolKey kDataBoolAdministratorOnly[] = {
    {kOptions, "ForceLogin", &TConfig::ForceLogin, false},
    {kOptions, "SimultaneousBilling", &TConfig::SimultaneousBilling, false},
};
constexpr BoolKey kStationBoolAdministratorOnly[] = {
    {kOptions, "IDInPullDowns", &TConfig::IDInPullDowns, false},
};

constexpr SmallIntKey kDataSmallInt[] = {
    {kOptions, "BackupTimerInterval", &TConfig::BackupTimerInterval, 60},
    {kOptions, "BackupDays", &TConfig::BackupDays, 30},
    {kOptions, "ProjRank", &TConfig::ProjRank, 1},
    {kOptions, "JobCodeRank", &TConfig::JobCodeRank, 2},
    {kOptions, "ClientRank", &TConfig::ClientRank, 3},
};

constexpr RealKey kDataReal[] = {
    {kOptions, "MinBill", &TConfig::MinBill, 0.0},
};

// The three words for the kinds of codes: an empty value means the default word.
constexpr TextKey kTerms[] = {
    {kOptions, "ChargeAccountTerm", &TConfig::ChargeAccountTerm, "Charge Account"},
    {kOptions, "AccountCodeTerm", &TConfig::AccountCodeTerm, "Job Code"},
    {kOptions, "ClientTerm", &TConfig::ClientTerm, "Client"},
};

// A 16-bit setting: a stored number outside the field's range reads as the default instead of
// wrapping around to some unrelated value.
std::int16_t ReadSmallInt(const IniDocument& ini, const SmallIntKey& k) {
  const int value = ini.ReadInteger(k.section, k.key, k.fallback);
  if (value < std::numeric_limits<std::int16_t>::min() ||
      value > std::numeric_limits<std::int16_t>::max()) {
    return k.fallback;
  }
  return static_cast<std::int16_t>(value);
}

// "DayOfWeek": a value above 7 (or below 0, which an unsigned field would see as huge) gives 1.
std::uint16_t ReadDayOfWeek(const IniDocument& ini) {
  const int value = ini.ReadInteger(kDefaults, "DayOfWeek", 1);
  return value < 0 || value > 7 ? 1 : static_cast<std::uint16_t>(value);
}

// "CSVFieldSeparator": the first character; an empty value keeps ",".
char ReadSeparator(const IniDocument& ini) {
  const std::string value = ini.ReadString(kOptions, "CSVFieldSeparator", ",");
  return value.empty() ? ',' : value.front();
}

// A date stored as whole days; the fraction of a DateTime is dropped when writing.
long long WholeDays(DateTime value) { return static_cast<long long>(std::trunc(value.days)); }

template <typename Key, std::size_t N, typename Read>
void ReadAll(TConfig& config, const Key (&keys)[N], Read read) {
  for (const Key& k : keys) config.*(k.field) = read(k);
}

}  // namespace

TConfig::TConfig(ConfigVariant variant, ConfigServices services, Prompter& prompter)
    : variant_(variant),
      services_(std::move(services)),
      prompter_(prompter),
      program_folder_(tikora::ProgramFolder()) {
  UserFolder = SpecialFolder(kAppDataFolder, prompter_) + kUserFolderName;
  UserIniFile = UserFolder + kSettingsFileName;
  std::error_code ec;
  std::filesystem::create_directories(UserFolder, ec);  // a failure shows when it is written

  DataPath = program_folder_ + kDataFolderName;
  DataBackupPath = WithTrailingDelimiter(DataPath + "Backup");
  NetSynchDataPath = DefaultNetSynchDataPath();
  if (variant_ == ConfigVariant::Administrator) {
    ReportsPath = DefaultReportsPath();
  } else {
    ForceLogin = SimultaneousBilling = IDInPullDowns = true;
  }
}

TConfig::~TConfig() {
  secure_.reset();
  data_access_.reset();
}

std::string TConfig::StationIniFile() const { return program_folder_ + kSettingsFileName; }
std::string TConfig::DataIniFile() const { return DataPath + kSettingsFileName; }
std::string TConfig::DefaultNetSynchDataPath() const { return program_folder_ + "Data/"; }
std::string TConfig::DefaultReportsPath() const { return program_folder_ + kReportsFolderName; }

bool TConfig::Load() {
  secure_.reset();
  data_access_.reset();
  if (services_.make_data_access) data_access_ = services_.make_data_access(*this);
  if (services_.make_security) secure_ = services_.make_security(*this);

  LoadStationOptions();
  Uses24HourClock = CurrentRegionalSettings().uses_24_hour_clock;
  CurrentUserId = CurrentUserName();
  LoadDataOptions();

  if (variant_ != ConfigVariant::Administrator || !data_access_) return true;
  if (!data_access_->DataFilesPresent()) {
    prompter_.Show("At least some data files are missing from " + DataPath +
                       ". Attempt re-installation. Application Terminating.",
                   "Error", MessageKind::Error);
    return false;
  }
  if (secure_) {
    secure_->CheckSecurityFile();
    secure_->LoadSecuritySwitch();
  }
  return true;
}

void TConfig::LoadStationOptions() {
  // UserFolder and UserIniFile were set when the configuration was created.
  DataPath = program_folder_ + kDataFolderName;

  const IniFile file(StationIniFile());
  const IniDocument ini = file.Read();
  ReadAll(*this, kStationText, [&](const TextKey& k) { return ini.ReadString(k.section, k.key, k.fallback); });
  ReadAll(*this, kStationBool, [&](const BoolKey& k) { return ini.ReadBool(k.section, k.key, k.fallback); });
  ReadAll(*this, kStationSmallInt, [&](const SmallIntKey& k) { return ReadSmallInt(ini, k); });
  ReadAll(*this, kStationReal, [&](const RealKey& k) { return ini.ReadFloat(k.section, k.key, k.fallback); });
  if (variant_ == ConfigVariant::Administrator) {
    ReadAll(*this, kStationBoolAdministratorOnly,
            [&](const BoolKey& k) { return ini.ReadBool(k.section, k.key, k.fallback); });
  }
  DayOfWeek = ReadDayOfWeek(ini);
  CSVFieldSeparator = ReadSeparator(ini);
  LastSynchDate = DateTime(ini.ReadInteger(kOptions, "LastSynchDate", 0));

  // The old key "NetDataPath" moves to "NetSynchDataPath"; its value is used as stored.
  const std::string old_net_path = ini.ReadString(kOptions, "NetDataPath", "");
  if (!old_net_path.empty()) {
    NetSynchDataPath = old_net_path;
    // Both programs move the key; when the file cannot be written the value is still in use.
    file.Update([&](IniDocument& d) {
      d.WriteString(kOptions, "NetSynchDataPath", old_net_path);
      d.DeleteKey(kOptions, "NetDataPath");
      return true;
    });
  } else {
    NetSynchDataPath =
        WithTrailingDelimiter(ini.ReadString(kOptions, "NetSynchDataPath", DefaultNetSynchDataPath()));
  }
}

void TConfig::LoadDataOptions() {
  const IniFile file(DataIniFile());
  const IniDocument ini = file.Read();
  ReadAll(*this, kDataText, [&](const TextKey& k) { return ini.ReadString(k.section, k.key, k.fallback); });
  ReadAll(*this, kDataBool, [&](const BoolKey& k) { return ini.ReadBool(k.section, k.key, k.fallback); });
  ReadAll(*this, kDataSmallInt, [&](const SmallIntKey& k) { return ReadSmallInt(ini, k); });
  ReadAll(*this, kDataReal, [&](const RealKey& k) { return ini.ReadFloat(k.section, k.key, k.fallback); });
  ReadAll(*this, kTerms, [&](const TextKey& k) {
    std::string term = ini.ReadString(k.section, k.key, k.fallback);
    return term.empty() ? std::string(k.fallback) : term;
  });
  if (variant_ == ConfigVariant::Administrator) {
    ReadAll(*this, kDataBoolAdministratorOnly,
            [&](const BoolKey& k) { return ini.ReadBool(k.section, k.key, k.fallback); });
    std::string reports = ini.ReadString(kOptions, "ReportsPath", DefaultReportsPath());
    ReportsPath = WithTrailingDelimiter(reports.empty() ? DefaultReportsPath() : reports);
  }
  Synchronize = ini.ReadInteger(kOptions, "Synchronize", 0);
  SynchTime = DateTime(ini.ReadFloat(kOptions, "SynchTime", 0.0));
  DataBackupPath = WithTrailingDelimiter(ini.ReadString(kOptions, "DataBackupPath", DataPath + "Backup"));

  // The old switches "SynchOnStart" and "SynchOnShutDown" become "Synchronize" (1 and 2, the
  // latter winning) and leave the file; "Synchronize" is written by the next SaveDataOptions.
  SynchOnStart = ini.ReadBool(kOptions, "SynchOnStart", false);
  SynchOnShutDown = ini.ReadBool(kOptions, "SynchOnShutDown", false);
  if (SynchOnStart || SynchOnShutDown) {
    file.Update([](IniDocument& d) {
      d.DeleteKey(kOptions, "SynchOnStart");
      d.DeleteKey(kOptions, "SynchOnShutDown");
      return true;
    });
    if (SynchOnStart) Synchronize = 1;
    if (SynchOnShutDown) Synchronize = 2;
  }
}

bool TConfig::SaveStationOptions() {
  if (variant_ != ConfigVariant::Administrator) return false;
  return IniFile(StationIniFile()).Update([this](IniDocument& d) {
    for (const TextKey& k : kStationText) d.WriteString(k.section, k.key, this->*(k.field));
    for (const BoolKey& k : kStationBool) d.WriteBool(k.section, k.key, this->*(k.field));
    for (const BoolKey& k : kStationBoolAdministratorOnly) d.WriteBool(k.section, k.key, this->*(k.field));
    for (const SmallIntKey& k : kStationSmallInt) d.WriteInteger(k.section, k.key, this->*(k.field));
    for (const RealKey& k : kStationReal) d.WriteFloat(k.section, k.key, this->*(k.field));
    d.WriteInteger(kDefaults, "DayOfWeek", DayOfWeek);
    d.WriteString(kOptions, "CSVFieldSeparator", std::string(1, CSVFieldSeparator));
    d.WriteInteger(kOptions, "LastSynchDate", WholeDays(LastSynchDate));
    d.WriteString(kOptions, "NetSynchDataPath", NetSynchDataPath);
    d.WriteString(kOptions, "DataPath", DataPath);
    d.WriteString(kOptions, "IPAddr", IPAddr);
    return true;
  });
}

bool TConfig::SaveDataOptions() {
  if (variant_ != ConfigVariant::Administrator) return false;
  return IniFile(DataIniFile()).Update([this](IniDocument& d) {
    for (const TextKey& k : kDataText) d.WriteString(k.section, k.key, this->*(k.field));
    for (const TextKey& k : kTerms) d.WriteString(k.section, k.key, this->*(k.field));
    for (const BoolKey& k : kDataBool) d.WriteBool(k.section, k.key, this->*(k.field));
    for (const BoolKey& k : kDataBoolAdministratorOnly) d.WriteBool(k.section, k.key, this->*(k.field));
    for (const SmallIntKey& k : kDataSmallInt) d.WriteInteger(k.section, k.key, this->*(k.field));
    for (const RealKey& k : kDataReal) d.WriteFloat(k.section, k.key, this->*(k.field));
    d.WriteInteger(kOptions, "Synchronize", Synchronize);
    d.WriteFloat(kOptions, "SynchTime", SynchTime.days);
    d.WriteString(kOptions, "DataBackupPath", DataBackupPath);
    // The default folder is stored as empty text, so that a moved installation follows it.
    d.WriteString(kOptions, "ReportsPath", ReportsPath == DefaultReportsPath() ? "" : ReportsPath);
    return true;
  });
}

int TConfig::ReadUserInteger(const std::string& key, int fallback) const {
  if (variant_ != ConfigVariant::Administrator) return fallback;
  return IniFile(UserIniFile).ReadInteger(kOptions, key, fallback);
}

bool TConfig::IsAdministrator() const { return Rights == "A"; }

}  // namespace tikora
