#include "admin/data_module.h"

#include <filesystem>
#include <system_error>

#include "admin/upgrade.h"
#include "core/language.h"
#include "core/system_helpers.h"
#include "core/text_helpers.h"
#include "engine/errors.h"
#include "engine/schema.h"

namespace tikora::admin {
namespace fs = std::filesystem;
using engine::EditErrorAction;
using engine::EditOperation;
using engine::EngineError;
using engine::FieldType;
using engine::Table;
using engine::Value;

namespace {

std::string DisplayText(FieldType type, const Value& v) {
  if (v.IsNull()) return {};
  switch (type) {
    case FieldType::Boolean: return v.AsBoolean() ? "True" : "False";
    case FieldType::Date: return FormatShortDate(v.AsDateTime());
    case FieldType::Time: return FormatLocaleTime(v.AsDateTime());
    case FieldType::Timestamp: return FormatLocaleDateTime(v.AsDateTime());
    case FieldType::Float:
    case FieldType::Currency: return FormatLocaleFloat(v.AsFloat());
    case FieldType::Word:
    case FieldType::Integer:
    case FieldType::AutoInc: return std::to_string(v.AsInteger());
    default: break;
  }
  std::string text = v.AsText();
  for (char& c : text)
    if (c == '\r' || c == '\n') c = ' ';
  return text;
}

// Messages of the cascades (translated when asked).
constexpr const char* kDeleteAccountQuestion =
    "Do you wish to delete all time records of this project as well?";
constexpr const char* kDeleteJobCodeQuestion =
    "Do you wish to delete all time records of this Job Code as well?";
constexpr const char* kDeleteClientQuestion =
    "Do you wish to delete all time records of this Client as well?";
constexpr const char* kUpdateAccountQuestion =
    "Do you wish to update all time records of this project as well?";
constexpr const char* kUpdateJobCodeQuestion =
    "Do you wish to update all time records of this Job Code as well?";
constexpr const char* kUpdateClientQuestion =
    "Do you wish to update all time records of this Client as well?";

}  // namespace

std::string ChangeLogLine(DateTime moment, const std::string& kind, const std::string& user,
                          const Table& record) {
  std::string line = FormatShortDate(moment) + " " + FormatLocaleTime(moment) + kind + user + ",";
  const auto& fields = record.Definition().fields;
  for (std::size_t i = 0; i < fields.size(); ++i) {
    if (i > 0) line += ",";
    line += "\"" + DisplayText(fields[i].type, record.FieldValue(static_cast<int>(i))) + "\"";
  }
  return line;
}

TDM::TDM(TConfig& config, TDataAccess& access, TSecure& secure, Prompter& prompter,
         BackupTimer& timer, TDMOptions options)
    : config_(config), access_(access), secure_(secure), prompter_(prompter), timer_(timer) {
  access_.AttachDataModule(this);
  try {
    DataModuleCreate(options);
  } catch (...) {
    timer_.Stop();
    access_.AttachDataModule(nullptr);
    throw;
  }
}

TDM::~TDM() {
  timer_.Stop();
  try {
    access_.RecordLogout();
  } catch (const std::exception& e) {
    prompter_.Show(e.what(), "Error", MessageKind::Error);
  }
  access_.AttachDataModule(nullptr);
}

std::string TDM::ChangeLogPath() const {
  std::string dir = config_.DataPath;
  if (!dir.empty() && dir.back() != '/') dir += '/';
  return dir + "TimeHist.log";
}

void TDM::DataModuleCreate(const TDMOptions& options) {
  RefreshControls();
  std::error_code ec;
  directory_ = config_.DataPath;
  if (directory_.empty() || !fs::is_directory(directory_, ec))
    directory_ = config_.ProgramFolder() + "Data";
  db_ = std::make_unique<engine::Database>(directory_);
  if (options.busy_timeout_ms > 0) db_->SetBusyTimeout(options.busy_timeout_ms);
  // Tables are not encrypted here, so no engine password is given; the engine keeps its
  // temporary files in SQLite's own place.
  UpdateDatabase(*db_, prompter_);
  CreateComponents();
  SetDBActive();
  try {
    access_.RecordLogin();
  } catch (const std::exception& e) {
    prompter_.Show(e.what(), "Error", MessageKind::Error);
  }
  db_->CreateTempTable(engine::MemTimeSheetDef());
  tblmemTS_ = std::make_unique<Table>(*db_, "memTimeSheet");
  tblmemTS_->Open(engine::OpenMode::Exclusive);
  if (options.synchronise_at_start && secure_.SecuritySwitch() && config_.Synchronize == 1)
    SynchData();
  edit_kind_ = EditKind::None;
}

void TDM::CreateComponents() {
  auto table = [&](const char* file) { return std::make_unique<Table>(*db_, file); };
  tblHist_ = table("TimeHist.DAT");
  tblAccts_ = table("Accounts.DAT");
  tblJobs_ = table("JobCodes.DAT");
  tblClient_ = table("Clients.DAT");
  tblArchive_ = table("Archive.DAT");
  tblEst_ = table("Estimate.DAT");
  tblExp_ = table("Expenses.DAT");
  tblInvoices_ = table("Invoices.DAT");
  tblItems_ = table("Items.DAT");
  tblReports_ = table("Reports.DAT");
  tblUsers_ = table("Users.DAT");
  tblWGrp_ = table("WorkGrp.Dat");
  tblSecure_ = table("Security.DAT");
  auto query = [&] { return std::make_unique<engine::Query>(*db_); };
  Qry1_ = query();
  Qry2_ = query();
  qryReport_ = query();
  qrySubReport_ = query();
  qryRefInteg_ = query();
  tblHist_->SetFilterOptions({/*case_insensitive=*/true, /*no_partial_compare=*/true});
  WireTimeHistory();
  WireMasterTable(*tblAccts_, "Charge Account", "Account", kDeleteAccountQuestion,
                  kUpdateAccountQuestion);
  WireMasterTable(*tblJobs_, "Job Code", "Job_Code", kDeleteJobCodeQuestion,
                  kUpdateJobCodeQuestion);
  WireMasterTable(*tblClient_, "ClientID", "ClientID", kDeleteClientQuestion,
                  kUpdateClientQuestion);
}

std::vector<Table*> TDM::DataTables() {
  return {tblHist_.get(),     tblAccts_.get(),  tblJobs_.get(),   tblClient_.get(),
          tblArchive_.get(),  tblEst_.get(),    tblExp_.get(),    tblInvoices_.get(),
          tblItems_.get(),    tblReports_.get(), tblWGrp_.get(),  tblUsers_.get(),
          tblSecure_.get()};
}

void TDM::SetDBActive() {
  for (Table* t : DataTables()) {
    if (t == tblSecure_.get()) continue;
    engine::OpenTable(*t);
  }
}

void TDM::Disconnect() {
  for (auto* q : {Qry1_.get(), Qry2_.get(), qryReport_.get(), qrySubReport_.get(), qryRefInteg_.get()})
    if (q != nullptr) q->Close();
  for (Table* t : DataTables())
    if (t != nullptr) t->Close();
  db_->DetachIdle();
  // The files may be replaced before the next SetDBActive: forget what was read from them.
  for (const auto& name : engine::DataTableNames()) {
    try {
      db_->InvalidateDefinition(db_->ResolveTable(name));
    } catch (const EngineError&) {
      // a missing table has nothing cached
    }
  }
}

// ---- Backup timer -------------------------------------------------------------------------------

void TDM::RefreshControls() {
  const std::int64_t interval_ms = std::int64_t{config_.BackupTimerInterval} * 60000;
  if (config_.AutoBackup && interval_ms > 0) {
    timer_.Start(interval_ms, [this] { Timer1Timer(); });
  } else {
    timer_.Stop();
  }
}

void TDM::Timer1Timer() {
  if (config_.AutoBackup) access_.BackupData(/*silent=*/true);
}

// ---- Rules on time records ----------------------------------------------------------------------

void TDM::LogRecord(const std::string& kind, const Table& table) {
  if (!config_.LogTimeHistoryChanges) return;
  const AdminEnvironment& env = access_.Environment();
  AppendLine(ChangeLogPath(), ChangeLogLine(env.now(), kind, env.user_name(), table), prompter_);
}

void TDM::WireTimeHistory() {
  Table& h = *tblHist_;
  h.BeforeEdit = [this](Table& t) {
    if (secure_.SecuritySwitch() && !synchronising_) {
      if ((!config_.AllowSynchEdits && t.FieldValue("Synch").AsBoolean()) ||
          (!config_.AllowPrintedEdits && t.FieldValue("Printed").AsBoolean()))
        throw EngineError(engine::kErrAborted, "Operation aborted");
    }
    LogRecord(",edited from,", t);
  };
  h.BeforeInsert = [this](Table&) { edit_kind_ = EditKind::Inserting; };
  h.AfterEdit = [this](Table&) { edit_kind_ = EditKind::Editing; };
  h.BeforePost = [this](Table& t) {
    const char* kind = edit_kind_ == EditKind::Inserting ? ",added,"
                       : edit_kind_ == EditKind::Editing ? ",edited to,"
                                                         : ",unknown,";
    LogRecord(kind, t);
    edit_kind_ = EditKind::None;
  };
  h.BeforeDelete = [this](Table& t) { LogRecord(",deleted,", t); };
  h.OnEditError = [this](Table& t, const EngineError& e, EditOperation op) {
    return HandleEditError(t, e, op);
  };
}

EditErrorAction TDM::HandleEditError(Table& table, const EngineError& error, EditOperation op) {
  switch (error.code()) {
    case engine::kErrRecordLocked:
      return prompter_.Ask(kRecordLockedMessage, "Warning", Buttons::YesNo) == Answer::Yes
                 ? EditErrorAction::Retry
                 : EditErrorAction::Abort;
    case engine::kErrAccessDenied:
      return prompter_.Ask(kTableLockedMessage, "Warning", Buttons::YesNo) == Answer::Yes
                 ? EditErrorAction::Retry
                 : EditErrorAction::Abort;
    case engine::kErrRecordChanged:
    case engine::kErrRecordDeleted:
      prompter_.Show(kRecordChangedMessage, "Warning", MessageKind::Warning);
      if (op == EditOperation::Edit) {
        // Re-read the view; editing is tried again on the record now current.
        table.Refresh();
        return table.IsEmpty() ? EditErrorAction::Abort : EditErrorAction::Retry;
      }
      if (op == EditOperation::Delete) return EditErrorAction::Abort;  // already gone
      return EditErrorAction::RefreshRetry;
    default:
      break;
  }
  if (op != EditOperation::Edit) return EditErrorAction::Fail;  // the window shows it
  prompter_.Show(error.what(), "Error", MessageKind::Error);
  return EditErrorAction::Abort;
}

// ---- Cascades from charge accounts, job codes and clients ---------------------------------------

bool TDM::TimeRecordsUse(const std::string& hist_field, const std::string& value) {
  engine::Query q(*db_);
  q.SetSql("SELECT ID FROM TimeHist WHERE [" + hist_field + "] = " + SqlLiteral(value));
  q.Open();
  bool used = q.RecordCount() > 0;
  q.Close();
  return used;
}

void TDM::WireMasterTable(Table& table, const std::string& key_field, const std::string& hist_field,
                          const std::string& delete_question, const std::string& update_question) {
  table.BeforeDelete = [=, this](Table& t) {
    const std::string key = t.FieldValue(key_field).AsText();
    if (!TimeRecordsUse(hist_field, key)) return;
    if (prompter_.Ask(TranslateMessage(delete_question), "Confirm", Buttons::YesNo) != Answer::Yes)
      return;
    qryRefInteg_->SetSql("DELETE FROM TimeHist WHERE " + hist_field + " = " + SqlLiteral(key));
    qryRefInteg_->ExecSQL();
    if (tblHist_->Active() && tblHist_->state() == engine::TableState::Browse) tblHist_->Refresh();
  };
  table.OnFieldChange = [=, this](Table& t, const engine::FieldDef& field, const Value& old_value,
                                  const Value& new_value) {
    if (!engine::SameName(field.name, key_field) || t.state() != engine::TableState::Edit) return true;
    const std::string old_key = old_value.AsText();
    const std::string new_key = new_value.AsText();
    if (old_key == new_key || !TimeRecordsUse(hist_field, old_key)) return true;
    if (prompter_.Ask(TranslateMessage(update_question), "Confirm", Buttons::YesNo) == Answer::Yes) {
      qryRefInteg_->SetSql("UPDATE TimeHist SET " + hist_field + " = " + SqlLiteral(new_key) +
                           " WHERE " + hist_field + " = " + SqlLiteral(old_key));
      qryRefInteg_->ExecSQL();
      if (tblHist_->Active() && tblHist_->state() == engine::TableState::Browse) tblHist_->Refresh();
    }
    return true;
  };
}

}  // namespace tikora::admin
