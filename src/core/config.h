// The settings of both programs and the run-time identity of their user.
//
// Settings live in three ini files, all named "Tikora.ini":
//   program settings file  ProgramFolder() + "Tikora.ini"  sections "Defaults", "Checks", "Options"
//   data settings file     DataPath + "Tikora.ini"         section "Options"
//   user settings file     UserFolder + "Tikora.ini"       one section per window, "Options"
// The administrator reads and writes them; the web program only reads them, apart from moving
// two kinds of outdated keys out of the way. Each read or write opens its file and closes it.
//
// Paths end in "/". Every program has exactly one TConfig, created first and freed last.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "core/datetime.h"
#include "core/prompter.h"

namespace tikora {

class TConfig;

// The two programs read the settings slightly differently.
enum class ConfigVariant {
  Administrator,  // reads and writes everything
  Web,            // read-only; ForceLogin, SimultaneousBilling, IDInPullDowns are always true
};

// What Load needs from the data access service of a program.
class DataAccessService {
 public:
  virtual ~DataAccessService() = default;
  // All table files of the data folder are there.
  virtual bool DataFilesPresent() = 0;
};

// What Load needs from the security object of a program.
class SecurityService {
 public:
  virtual ~SecurityService() = default;
  // Creates or replaces the security file of the data folder as needed.
  virtual void CheckSecurityFile() = 0;
  // Reads the security switch from that file.
  virtual void LoadSecuritySwitch() = 0;
};

// Each program wires its own services; Load calls the factories (with the TConfig being loaded)
// and TConfig owns what they return. A missing factory skips the steps that need its service.
struct ConfigServices {
  std::function<std::unique_ptr<DataAccessService>(TConfig&)> make_data_access;
  std::function<std::unique_ptr<SecurityService>(TConfig&)> make_security;
};

// Names of the settings files and of the per-user folder below the application data folder.
inline constexpr const char* kSettingsFileName = "Tikora.ini";
inline constexpr const char* kUserFolderName = "Orvane/";
inline constexpr const char* kDataFolderName = "TIKData/";
inline constexpr const char* kReportsFolderName = "TIKReports/";

class TConfig {
 public:
  // Sets UserFolder and UserIniFile and creates the user folder (with missing parents). The
  // program folder is ProgramFolder() (system_helpers.h) at this moment. Settings hold their
  // defaults until Load.
  explicit TConfig(ConfigVariant variant, ConfigServices services = {},
                   Prompter& prompter = DefaultPrompter());
  ~TConfig();
  TConfig(const TConfig&) = delete;
  TConfig& operator=(const TConfig&) = delete;

  ConfigVariant Variant() const { return variant_; }
  // The program folder this configuration was created with, ending in "/".
  const std::string& ProgramFolder() const { return program_folder_; }

  // Creates the services, reads the program settings file, works out the 24-hour clock and the
  // user name, reads the data settings file. The administrator variant then checks that the data
  // files are present: if so it checks the security file and reads the switch; if not it shows
  // "At least some data files are missing from " + DataPath + ". Attempt re-installation.
  // Application Terminating." (caption "Error") and returns false: the program must end.
  [[nodiscard]] bool Load();
  void LoadStationOptions();
  void LoadDataOptions();

  // Administrator only (the web variant writes nothing and returns false). True when the file
  // was written.
  bool SaveStationOptions();
  bool SaveDataOptions();
  // The integer of `key` in section "Options" of the user settings file (administrator only; the
  // web variant returns `fallback`).
  int ReadUserInteger(const std::string& key, int fallback) const;

  // Rights is "A".
  bool IsAdministrator() const;

  // The services created by Load; null before Load or when no factory was given.
  DataAccessService* DataAccess() const { return data_access_.get(); }
  SecurityService* Secure() const { return secure_.get(); }

  // Full names of the program and data settings files.
  std::string StationIniFile() const;
  std::string DataIniFile() const;
  // Defaults that depend on the program folder.
  std::string DefaultNetSynchDataPath() const;  // ProgramFolder + "Data/"
  std::string DefaultReportsPath() const;       // ProgramFolder + "TIKReports/"

  // ---- Settings, in declaration order -------------------------------------------------------
  std::string UserIniFile;        // UserFolder + "Tikora.ini"
  std::string LastLogin = "Administrator";
  std::string ChargeAccountTerm = "Charge Account";
  std::string AccountCodeTerm = "Job Code";
  std::string ClientTerm = "Client";
  std::string IPAddr = "127.0.0.1";
  std::string CurrentUserId;      // run time: user under which time entries are read and written
  std::string ExportDir = "A:\\";
  std::string LastAcct;
  std::string LastAcctCode;
  std::string LastClient;
  std::string Heading;
  std::string DayStart, LunchStart, LunchEnd, DayEnd;  // working day times, as typed
  std::string HolHrs = "8";
  std::string NetSynchDataPath;   // network folder of the shared data for synchronisation
  std::string DataPath;           // ProgramFolder + "TIKData/" at load
  std::string DataBackupPath;     // default DataPath + "Backup/"
  std::string ReportsPath;        // administrator only; default ProgramFolder + "TIKReports/"
  std::string UserFolder;         // the application data folder + "Orvane/"
  std::string Language = "English";
  std::string ReportFilter;       // run time: WHERE condition of the report last prepared
  // Run time: "A" administrator, "S" superuser, "U" user; empty before a login.
  std::string Rights;
  char CSVFieldSeparator = ',';
  std::int16_t StartingTip = 1;
  std::int16_t ProjRank = 1, JobCodeRank = 2, ClientRank = 3;
  std::int16_t LastTable = 0;
  std::int16_t LastReport = 0;
  // First day of the week: 0 Sunday, 1 Monday ... 6 Saturday (7 behaves as 0).
  std::uint16_t DayOfWeek = 1;
  std::int16_t BackupDays = 30;          // days to keep old backups
  std::int16_t ProjUpdateInterval = 60;  // seconds
  std::int16_t BackupTimerInterval = 60; // minutes between automatic backups
  // 0 none, 1 on program start, 2 on program close, 3 daily, 4 weekly.
  std::int32_t Synchronize = 0;
  bool ShowTips = true;
  bool NewExpenseRecordAfterSave = false;
  bool ClearFieldsOnNewExpenseRecord = false;
  bool SimultaneousBilling = false;
  bool ArchiveAfterInvoice = false;
  bool AllowDateChange = true;
  bool LogTimeHistoryChanges = false;
  bool OldStartupChecked = false;
  bool ClearFieldsOnNewAcct = false;
  bool AllowMultPunchIn = true;
  bool ForceJobCode = false;
  bool ForceClient = false;
  bool JobCodeVis = true;
  bool ClientVis = true;
  bool ItemVis = true;
  bool AllowManualTimeEdits = true;
  bool IDInPullDowns = false;
  bool AutoFill = true;
  bool DataReadOnly = false;
  bool SynchOnStart = false;
  bool SynchOnShutDown = false;
  bool AllowSynchEdits = true;
  bool ForceLogin = false;
  bool LimitToWkgrp = false;
  bool DefaultPrevWeek = false;
  bool AllowPrintedEdits = true;
  bool Tray = false;
  bool StartUp = false;
  bool StartMin = false;
  bool AutoOut = false;
  bool PunchOutJob = false;
  bool POClose = false;
  bool PunchInOnStart = false;
  bool OnTop = false;
  bool Uses24HourClock = true;  // derived from the locale at load
  bool ShowSplash = true;
  bool Rounding = true;
  bool RoundUp = false;
  bool AutoBackup = false;
  DateTime LastSynchDate;       // a whole day
  DateTime SynchTime;           // a time of day
  double Round = 0.001;         // rounding unit on reports, in hours
  double MinBill = 0.0;         // minimum billing time, in hours

 private:
  ConfigVariant variant_;
  ConfigServices services_;
  Prompter& prompter_;
  std::string program_folder_;
  // Declared before secure_ so that the security object is freed first.
  std::unique_ptr<DataAccessService> data_access_;
  std::unique_ptr<SecurityService> secure_;
};

}  // namespace tikora
