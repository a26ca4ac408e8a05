// The administrator's data module: every table and query the windows use, and the rules that
// protect time records whatever window edits them.
//
// Creating a TDM runs the start sequence: backup timer set, database on the data folder, upgrade
// of old tables, tables opened, start of work recorded, in-memory time sheet table created, and
// synchronisation with the network copy when the security switch is on and "Synchronize" is 1.
// Destroying it stops the timer and records the end of work.
//
// Rules on TimeHist (tblHist):
//   - with the security switch on, records marked Synch (unless "AllowSynchEdits") or Printed
//     (unless "AllowPrintedEdits") cannot enter editing; the refusal is silent (kErrAborted);
//   - with "LogTimeHistoryChanges", every change appends lines to "TimeHist.log" in the data
//     folder: ",edited from," and ",edited to," for an edit, ",added," for an insert,
//     ",deleted," for a delete;
//   - an edit that meets a locked record asks whether to try again (without limit), one that
//     meets a record changed since it was read says so, refreshes and tries again.
// Deleting or renaming a charge account, job code or client that time records use asks whether
// the time records should follow.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "admin/backup_timer.h"
#include "admin/data_access.h"
#include "core/config.h"
#include "core/prompter.h"
#include "core/security.h"
#include "engine/database.h"
#include "engine/query.h"
#include "engine/table.h"

namespace tikora::admin {

// What the edit markers of tblHist say about the record being posted.
enum class EditKind { None = 0, Inserting = 1, Editing = 2 };

// Texts of the edit-error dialog (not translated).
inline constexpr const char* kRecordLockedMessage =
    "The record you are trying to edit is currently locked,do you want to try to edit this "
    "record again?";
inline constexpr const char* kTableLockedMessage =
    "The table you are trying to edit is currently locked,do you want to try to edit this record "
    "again?";
inline constexpr const char* kRecordChangedMessage =
    "The record you are trying to edit has been modified sinceit was last retrieved, the record "
    "will now be refreshed";

struct TDMOptions {
  int busy_timeout_ms = 0;            // > 0 replaces the engine's wait for locked data
  bool synchronise_at_start = true;   // false: a caller that synchronises itself
};

class TDM {
 public:
  // Runs the start sequence.
  TDM(TConfig& config, TDataAccess& access, TSecure& secure, Prompter& prompter,
      BackupTimer& timer, TDMOptions options = {});
  ~TDM();
  TDM(const TDM&) = delete;
  TDM& operator=(const TDM&) = delete;

  engine::Database& Db() { return *db_; }
  const std::string& DatabaseDirectory() const { return directory_; }
  // The change log: the configured data folder + "TimeHist.log".
  std::string ChangeLogPath() const;

  engine::Table& tblHist() { return *tblHist_; }
  engine::Table& tblAccts() { return *tblAccts_; }
  engine::Table& tblJobs() { return *tblJobs_; }
  engine::Table& tblClient() { return *tblClient_; }
  engine::Table& tblArchive() { return *tblArchive_; }
  engine::Table& tblEst() { return *tblEst_; }
  engine::Table& tblExp() { return *tblExp_; }
  engine::Table& tblInvoices() { return *tblInvoices_; }
  engine::Table& tblItems() { return *tblItems_; }
  engine::Table& tblReports() { return *tblReports_; }
  engine::Table& tblUsers() { return *tblUsers_; }
  engine::Table& tblWGrp() { return *tblWGrp_; }
  engine::Table& tblSecure() { return *tblSecure_; }
  engine::Table& tblmemTS() { return *tblmemTS_; }
  engine::Query& Qry1() { return *Qry1_; }
  engine::Query& Qry2() { return *Qry2_; }
  engine::Query& qryReport() { return *qryReport_; }
  engine::Query& qrySubReport() { return *qrySubReport_; }
  engine::Query& qryRefInteg() { return *qryRefInteg_; }

  // Opens the tables of the data folder (OpenTable: damaged tables are repaired, old formats
  // converted) in the module's order; tblSecure is not opened.
  void SetDBActive();
  // Closes every table and query of the data folder and lets go of their files; the in-memory
  // time sheet table stays.
  void Disconnect();

  // Sets the backup timer from "BackupTimerInterval" (minutes) and "AutoBackup". An interval of
  // zero or less never fires.
  void RefreshControls();
  // The timer's tick: a silent backup when "AutoBackup" is on.
  void Timer1Timer();

  // Sends finished, unsent time records to the network copy ("NetSynchDataPath") in one
  // transaction on each side, then replaces the local charge accounts, job codes, clients and
  // work groups with the network's, all or nothing. Ends with the tables open again.
  struct SyncOutcome {
    bool sent_ok = true;           // the records went over (or there were none)
    std::int64_t records_sent = 0;
    bool masters_ok = true;        // the master tables were replaced (or none existed there)
    std::vector<std::string> masters_replaced;
    std::string error;             // the first failure, as shown
  };
  SyncOutcome SynchData();

  EditKind CurrentEditKind() const { return edit_kind_; }

 private:
  void DataModuleCreate(const TDMOptions& options);
  void CreateComponents();
  void WireTimeHistory();
  void WireMasterTable(engine::Table& table, const std::string& key_field,
                      const std::string& hist_field, const std::string& delete_question,
                      const std::string& update_question);
  void LogRecord(const std::string& kind, const engine::Table& table);
  engine::EditErrorAction HandleEditError(engine::Table& table, const engine::EngineError& error,
                                          engine::EditOperation op);
  bool TimeRecordsUse(const std::string& hist_field, const std::string& value);
  std::vector<engine::Table*> DataTables();
  bool SendRecords(engine::Database& sync_db, SyncOutcome& outcome);
  void ReplaceMasters(const std::string& net_dir, SyncOutcome& outcome);

  TConfig& config_;
  TDataAccess& access_;
  TSecure& secure_;
  Prompter& prompter_;
  BackupTimer& timer_;
  std::string directory_;
  EditKind edit_kind_ = EditKind::None;
  bool synchronising_ = false;  // the Synch flag is being set by SynchData

  std::unique_ptr<engine::Database> db_;
  std::unique_ptr<engine::Table> tblHist_, tblAccts_, tblJobs_, tblClient_, tblArchive_, tblEst_,
      tblExp_, tblInvoices_, tblItems_, tblReports_, tblUsers_, tblWGrp_, tblSecure_, tblmemTS_;
  std::unique_ptr<engine::Query> Qry1_, Qry2_, qryReport_, qrySubReport_, qryRefInteg_;
};

// One line of the change log, without the line end: the moment in the regional short date and
// long time format, the kind (",added," ...), the user, "," and every field of the record as its
// display text in double quotes, joined by commas. Line breaks inside a value become blanks so
// that a record is always one line.
std::string ChangeLogLine(DateTime moment, const std::string& kind, const std::string& user,
                          const engine::Table& record);

}  // namespace tikora::admin
