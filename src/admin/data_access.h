// The administrator's data services: backup and restore of the data folder, look-ups, the pick
// lists of the windows as plain data, printed marking, log-in tracking and the presence check of
// the installation's table files.
//
// One TDataAccess exists per run, created by TConfig::Load through its factory and owned by the
// configuration. It works on the data module's database while a data module exists (TDM attaches
// itself), else on a database of its own over the data folder (headless commands).
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "core/config.h"
#include "core/datetime.h"
#include "core/prompter.h"
#include "engine/database.h"

namespace tikora::admin {

class TDM;

// What the services take from the world; tests replace it.
struct AdminEnvironment {
  std::function<std::string()> user_name;  // the system user (CurrentUserName by default)
  std::function<DateTime()> now;           // local wall-clock time (Now by default)
  static AdminEnvironment System();
};

// The installation's table files, in the order the presence check looks for them.
const std::vector<std::string>& InstallationTableFiles();

// One item of a pick list with three columns; column 1 is always empty. The first item of every
// fill is the empty item, so the user can pick nothing.
struct PickItem {
  std::string column0;
  std::string column1;
  std::string column2;
  bool operator==(const PickItem&) const = default;
};

// An entry of the report list: the title shown and the ReportID attached to it.
struct ReportListEntry {
  std::string title;
  std::int64_t report_id = 0;
  bool operator==(const ReportListEntry&) const = default;
};

struct BackupOutcome {
  bool ok = false;
  std::string archive;  // the archive written (or that could not be written)
  std::string error;    // why not, when !ok
};

struct RestoreOutcome {
  enum class Result { NoSuchFile, Cancelled, Restored, Failed };
  Result result = Result::NoSuchFile;
  std::vector<std::string> restored;  // files put in place
  std::vector<std::string> skipped;   // entries of other kinds, left out
  std::string error;
};

class TDataAccess : public DataAccessService {
 public:
  TDataAccess(TConfig& config, Prompter& prompter, AdminEnvironment env = AdminEnvironment::System());
  ~TDataAccess() override;
  TDataAccess(const TDataAccess&) = delete;
  TDataAccess& operator=(const TDataAccess&) = delete;

  // The data module registers itself while it exists; its database is then the one used.
  void AttachDataModule(TDM* dm) { dm_ = dm; }
  TDM* DataModule() const { return dm_; }
  const AdminEnvironment& Environment() const { return env_; }
  Prompter& prompter() const { return prompter_; }

  // The folder of the tables: the data module's database folder, else the configured DataPath.
  std::string DataDirectory() const;

  // Backs the data folder up into BackupFolder() + "yyyy-MM-dd_hh-nn-ss.zip": every table file
  // (a consistent snapshot taken while other programs may write), other "*.DAT" and "*.IDX"
  // files and the data settings file. Unless `silent`, reports the archive written. A backup
  // that fails is always reported, also when silent, with the reason.
  BackupOutcome BackupData(bool silent);
  // The folder backups go to: "DataBackupPath", else DataPath + "Backup/".
  std::string BackupFolder() const;

  // Restores an archive made by BackupData (or elsewhere) over the data folder after the user
  // confirms. The archive is extracted into a scratch folder, every table file in it is checked,
  // and only then are the files put in place, all or nothing, while this program holds every
  // replaced table exclusively. Only the kinds of file a backup holds ("*.DAT", "*.IDX",
  // "Tikora.ini") are restored; other entries (a security file, scripts) are left out. The data
  // module's tables are closed meanwhile and always opened again at the end.
  RestoreOutcome RestoreData(const std::string& archive_path);

  std::string GetAccountDescription(const std::string& code);
  std::string GetReportFileName(const std::string& title);
  // Appends the visible reports in catalogue order; `list` is not cleared first.
  void FillReportList(std::vector<ReportListEntry>& list);

  // Pick lists. With "IDInPullDowns" the items are ordered by code and show the code in column
  // 0 and the description (or name) in column 2; without it they are ordered by description and
  // show it in column 0 and the code in column 2. Only active rows are listed. A failure shows
  // its message and leaves the list as far as it got.
  //
  // Accounts: without "IDInPullDowns" an account without a description is left out with a
  // message; with `restrict_to_client` and a client given, only that client's accounts.
  void FillAccountCombo(std::vector<PickItem>& items, const std::string& client,
                        bool restrict_to_client);
  // Job codes of `charge_account` when at least one job code names it, else every active one.
  void FillJobCodeCombo(std::vector<PickItem>& items, const std::string& charge_account);
  void FillClientCombo(std::vector<PickItem>& items);
  // Every user found in the time records.
  void FillUserList(std::vector<std::string>& list);

  // Marks the records of the report just prepared (the configuration's ReportFilter) printed;
  // the statement's :Date1 and :Date2 get the two days given (time of day dropped).
  // Returns the number of records marked.
  std::int64_t MarkPrinted(DateTime first_day, DateTime day_after);

  // The start and end of work of the system user (cut to 30 characters) in the Users table.
  void RecordLogin();
  void RecordLogout();

  bool DataFilesPresent() override;

  // The database the services work on.
  engine::Database& Db();

 private:
  void FillPickList(std::vector<PickItem>& items, const std::string& table,
                    const std::string& code_field, const std::string& text_field,
                    const std::string& text_index, const std::string& filter,
                    const std::function<bool(const std::string& code, const std::string& text,
                                             const std::string& client)>& keep);
  void StampUser(bool login);
  std::string LoginName() const;

  TConfig& config_;
  Prompter& prompter_;
  AdminEnvironment env_;
  TDM* dm_ = nullptr;
  std::unique_ptr<engine::Database> own_db_;
};

// Removes backups older than "BackupDays" from DataPath + "Backup/" when "AutoBackup" is on:
// every "*.zip" file (not folder) whose last write is strictly before midnight of `today` minus
// BackupDays days. A file that cannot be removed is skipped silently. Returns the names removed.
std::vector<std::string> PruneOldBackups(const TConfig& config, DateTime today);

// The user name as stored in Users.LoginID: the first 30 characters (UTF-8 aware).
std::string CutToCharacters(const std::string& text, std::size_t characters);

// An SQL text literal: single quotes, inner single quotes doubled.
std::string SqlLiteral(const std::string& text);

}  // namespace tikora::admin
