#include "admin/data_access.h"

#include <sys/stat.h>

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <map>
#include <system_error>

#include "admin/data_module.h"
#include "admin/table_files.h"
#include "core/language.h"
#include "core/system_helpers.h"
#include "engine/errors.h"
#include "engine/query.h"
#include "engine/schema.h"
#include "engine/table.h"

namespace tikora::admin {
namespace fs = std::filesystem;
using engine::Value;

namespace {

std::string WithSlash(std::string path) {
  if (!path.empty() && path.back() != '/') path += '/';
  return path;
}

// "yyyy-MM-dd_hh-nn-ss" of a moment.
std::string BackupStamp(DateTime moment) {
  CalendarDate d = DecodeDate(moment);
  TimeOfDay t = DecodeTime(moment);
  char buf[32];
  std::snprintf(buf, sizeof buf, "%04d-%02d-%02d_%02d-%02d-%02d", d.year, d.month, d.day, t.hour,
                t.minute, t.second);
  return buf;
}

// The local wall-clock time of a file's last write.
DateTime LastWriteTime(const struct stat& st) {
  std::tm local{};
  time_t seconds = st.st_mtim.tv_sec;
  localtime_r(&seconds, &local);
  return EncodeDateTime({local.tm_year + 1900, local.tm_mon + 1, local.tm_mday},
                        {local.tm_hour, local.tm_min, local.tm_sec,
                         static_cast<int>(st.st_mtim.tv_nsec / 1'000'000)});
}

}  // namespace

AdminEnvironment AdminEnvironment::System() {
  return {[] { return CurrentUserName(); }, [] { return Now(); }};
}

const std::vector<std::string>& InstallationTableFiles() {
  static const std::vector<std::string> names = {
      "Accounts.DAT", "TimeHist.DAT", "Archive.DAT",  "JobCodes.DAT", "Clients.DAT",
      "WorkGrp.Dat",  "Estimate.Dat", "Expenses.Dat", "Security.Dat", "Invoices.Dat",
      "Items.Dat",    "Reports.Dat",  "Users.Dat"};
  return names;
}

std::string CutToCharacters(const std::string& text, std::size_t characters) {
  std::size_t count = 0;
  for (std::size_t i = 0; i < text.size(); ++i) {
    // A UTF-8 character starts at every byte that is not a continuation byte.
    if ((static_cast<unsigned char>(text[i]) & 0xC0) != 0x80) {
      if (count == characters) return text.substr(0, i);
      ++count;
    }
  }
  return text;
}

std::string SqlLiteral(const std::string& text) {
  std::string out = "'";
  for (char c : text) {
    out += c;
    if (c == '\'') out += '\'';
  }
  return out + "'";
}

TDataAccess::TDataAccess(TConfig& config, Prompter& prompter, AdminEnvironment env)
    : config_(config), prompter_(prompter), env_(std::move(env)) {}

TDataAccess::~TDataAccess() = default;

std::string TDataAccess::DataDirectory() const {
  return dm_ != nullptr ? WithSlash(dm_->DatabaseDirectory()) : WithSlash(config_.DataPath);
}

engine::Database& TDataAccess::Db() {
  if (dm_ != nullptr) return dm_->Db();
  if (!own_db_) own_db_ = std::make_unique<engine::Database>(DataDirectory());
  return *own_db_;
}

// ---- Backup and restore -----------------------------------------------------------------------

std::string TDataAccess::BackupFolder() const {
  std::string folder = WithTrailingDelimiter(config_.DataBackupPath);
  return folder.empty() ? WithSlash(config_.DataPath) + "Backup/" : folder;
}

BackupOutcome TDataAccess::BackupData(bool silent) {
  BackupOutcome outcome;
  const std::string folder = BackupFolder();
  outcome.archive = folder + BackupStamp(env_.now()) + ".zip";
  try {
    std::error_code ec;
    fs::create_directories(folder, ec);
    if (ec) throw TableFileError("Cannot create " + folder + ": " + ec.message());
    // Our own attachments would only delay writers; the snapshot opens the files itself.
    if (dm_ != nullptr) dm_->Db().DetachIdle();
    const std::string data_dir = DataDirectory();
    ScratchFolder scratch(folder, ".backup-");
    std::vector<std::string> copied = SnapshotFiles(data_dir, BackupFileNames(data_dir), scratch.path());
    std::vector<ArchiveEntry> entries;
    for (const auto& name : copied) entries.push_back({name, (fs::path(scratch.path()) / name).string()});
    WriteZipArchive(outcome.archive, entries);
    outcome.ok = true;
  } catch (const std::exception& e) {
    outcome.error = e.what();
  }
  if (!outcome.ok) {
    prompter_.Show(TranslateMessage("Data backup failed:") + " " + outcome.error, "Error",
                   MessageKind::Error);
  } else if (!silent) {
    prompter_.Show(TranslateMessage("Data backup up to ") + outcome.archive + ".", "Information",
                   MessageKind::Information);
  }
  return outcome;
}

RestoreOutcome TDataAccess::RestoreData(const std::string& archive_path) {
  RestoreOutcome outcome;
  std::error_code ec;
  if (!fs::is_regular_file(archive_path, ec)) return outcome;
  const std::string data_dir = DataDirectory();
  const std::string question = TranslateMessage("Are you sure you want to overwrite your existing data in ") +
                               data_dir + " " + TranslateMessage("with this archived data?");
  if (prompter_.Ask(question, "Confirm", Buttons::OkCancel) != Answer::Ok) {
    outcome.result = RestoreOutcome::Result::Cancelled;
    return outcome;
  }

  if (dm_ != nullptr) dm_->Disconnect();
  if (own_db_) own_db_.reset();
  std::string shown;
  try {
    ScratchFolder scratch(data_dir, ".restore-");
    std::vector<std::string> names;
    try {
      names = ExtractZipArchive(archive_path, scratch.path());
    } catch (const TableFileError& e) {
      throw TableFileError(TranslateMessage("Error in Extract.") + " " + e.what());
    }
    // One file per name, ignoring letter case (the later entry wins, as on extraction).
    std::map<std::string, std::string> by_key;
    for (const auto& n : names) {
      if (!IsTableFileName(n) && !engine::SameName(fs::path(n).extension().string(), ".IDX") &&
          !engine::SameName(n, kSettingsFileName)) {
        outcome.skipped.push_back(n);
        continue;
      }
      std::string key = n;
      std::transform(key.begin(), key.end(), key.begin(), [](unsigned char c) { return std::tolower(c); });
      by_key[key] = n;
    }
    std::vector<Replacement> replacements;
    for (const auto& [key, name] : by_key) {
      const std::string path = (fs::path(scratch.path()) / name).string();
      if (IsTableFileName(name) && engine::CurrentTableDef(fs::path(name).stem().string())) {
        std::string problem = CheckTableFile(path);
        if (!problem.empty())
          throw TableFileError(TranslateMessage("Not all tables could be restored.") + " " + problem);
      }
      replacements.push_back({name, path});
    }
    try {
      ReplaceFiles(data_dir, replacements);
    } catch (const TableFileError& e) {
      throw TableFileError(TranslateMessage("Could not close database, data files may be open.") +
                           " " + e.what());
    }
    for (const auto& r : replacements) outcome.restored.push_back(r.target_name);
    outcome.result = RestoreOutcome::Result::Restored;
  } catch (const std::exception& e) {
    outcome.result = RestoreOutcome::Result::Failed;
    outcome.error = e.what();
  }
  if (dm_ != nullptr) {
    try {
      dm_->SetDBActive();
    } catch (const std::exception& e) {
      if (outcome.error.empty()) outcome.error = e.what();
      outcome.result = RestoreOutcome::Result::Failed;
    }
  }
  if (outcome.result == RestoreOutcome::Result::Restored) {
    prompter_.Show(TranslateMessage("Data restored."), "Information", MessageKind::Information);
  } else {
    prompter_.Show(outcome.error, "Error", MessageKind::Error);
  }
  return outcome;
}

// ---- Look-ups ---------------------------------------------------------------------------------

std::string TDataAccess::GetAccountDescription(const std::string& code) {
  engine::Table accounts(Db(), "Accounts");
  accounts.Open();
  accounts.SetIndexName("");
  if (!accounts.FindKey({Value::Text(code)})) return {};
  return accounts.FieldValue("Description").AsText();
}

std::string TDataAccess::GetReportFileName(const std::string& title) {
  engine::Table reports(Db(), "Reports");
  reports.Open();
  reports.SetIndexName("");
  if (!reports.FindKey({Value::Text(title)})) return {};
  return reports.FieldValue("FileName").AsText();
}

void TDataAccess::FillReportList(std::vector<ReportListEntry>& list) {
  engine::Query q(Db());
  q.SetSql("SELECT * FROM Reports WHERE (Visible = True) ORDER BY Position");
  q.Open();
  for (q.First(); !q.Eof(); q.Next())
    list.push_back({q.FieldValue("ReportTitle").AsText(), q.FieldValue("ReportID").AsInteger()});
  q.Close();
}

void TDataAccess::FillPickList(
    std::vector<PickItem>& items, const std::string& table, const std::string& code_field,
    const std::string& text_field, const std::string& text_index, const std::string& filter,
    const std::function<bool(const std::string&, const std::string&, const std::string&)>& keep) {
  items.clear();
  try {
    engine::Table t(Db(), table);
    t.Open();
    t.Refresh();
    t.SetIndexName(config_.IDInPullDowns ? "" : text_index);
    t.SetFilter(filter);
    t.SetFiltered(true);
    items.push_back({});
    const bool has_client = t.Definition().FindField("Client") != nullptr;
    for (t.First(); !t.Eof(); t.Next()) {
      std::string code = t.FieldValue(code_field).AsText();
      std::string text = t.FieldValue(text_field).AsText();
      std::string client = has_client ? t.FieldValue("Client").AsText() : std::string();
      if (!keep(code, text, client)) continue;
      if (config_.IDInPullDowns) {
        items.push_back({code, "", text});
      } else {
        items.push_back({text, "", code});
      }
    }
  } catch (const std::exception& e) {
    prompter_.Show(e.what(), "Error", MessageKind::Error);
  }
}

void TDataAccess::FillAccountCombo(std::vector<PickItem>& items, const std::string& client,
                                   bool restrict_to_client) {
  FillPickList(items, "Accounts", "Charge Account", "Description", "Description", "Active=TRUE",
               [&](const std::string& code, const std::string& text, const std::string& owner) {
                 if (!config_.IDInPullDowns && text.empty()) {
                   prompter_.Show(config_.ChargeAccountTerm + ":" + code + " " +
                                      TranslateMessage("has no associated description"),
                                  "Information", MessageKind::Information);
                   return false;
                 }
                 return !(restrict_to_client && !client.empty() && owner != client);
               });
}

void TDataAccess::FillJobCodeCombo(std::vector<PickItem>& items, const std::string& charge_account) {
  std::string filter = "Active=TRUE";
  if (!charge_account.empty()) {
    try {
      engine::Table jobs(Db(), "JobCodes");
      jobs.Open();
      if (jobs.Locate("ChargeAccount", {Value::Text(charge_account)}))
        filter += " AND ChargeAccount=" + SqlLiteral(charge_account);
    } catch (const std::exception& e) {
      items.clear();
      prompter_.Show(e.what(), "Error", MessageKind::Error);
      return;
    }
  }
  FillPickList(items, "JobCodes", "Job Code", "Description", "Description", filter,
               [](const std::string&, const std::string&, const std::string&) { return true; });
}

void TDataAccess::FillClientCombo(std::vector<PickItem>& items) {
  FillPickList(items, "Clients", "ClientID", "Name", "Name", "Active=TRUE",
               [](const std::string&, const std::string&, const std::string&) { return true; });
}

void TDataAccess::FillUserList(std::vector<std::string>& list) {
  list.clear();
  engine::Query q(Db());
  q.SetSql("SELECT [User ID] FROM TimeHist GROUP BY [User ID]");
  q.Open();
  for (q.First(); !q.Eof(); q.Next()) list.push_back(q.FieldValue(0).AsText());
  q.Close();
}

std::int64_t TDataAccess::MarkPrinted(DateTime first_day, DateTime day_after) {
  const std::string& filter = config_.ReportFilter;
  if (filter.empty()) return 0;
  engine::Query q(Db());
  q.SetSql("UPDATE TimeHist SET Printed = True WHERE " + filter);
  if (filter.find(":Date1") != std::string::npos && filter.find(":Date2") != std::string::npos) {
    q.SetParam("Date1", Value::Date(DatePart(first_day)));
    q.SetParam("Date2", Value::Date(DatePart(day_after)));
  }
  return q.ExecSQL();
}

// ---- Log-in tracking ----------------------------------------------------------------------------

std::string TDataAccess::LoginName() const { return CutToCharacters(env_.user_name(), 30); }

void TDataAccess::StampUser(bool login) {
  const std::string user = LoginName();
  engine::Table users(Db(), "Users");
  users.Open();
  users.SetIndexName("");
  if (users.FindKey({Value::Text(user)})) {
    users.Edit();
  } else {
    users.Append();
  }
  users.SetFieldValue("LoginID", Value::Text(user));
  if (login) {
    users.SetFieldValue("LastIn", Value::Date(env_.now()));
    users.SetFieldValue("LastOut", Value::Null());
  } else {
    users.SetFieldValue("LastOut", Value::Date(env_.now()));
  }
  users.Post();
  users.FlushBuffers();
}

void TDataAccess::RecordLogin() { StampUser(true); }

void TDataAccess::RecordLogout() {
  if (dm_ == nullptr) return;  // only while the data module exists
  StampUser(false);
}

bool TDataAccess::DataFilesPresent() {
  const std::string dir = WithSlash(config_.DataPath);
  std::error_code ec;
  for (const auto& name : InstallationTableFiles()) {
    if (fs::is_regular_file(dir + name, ec)) continue;
    bool found = false;  // the engine finds table files in any letter case
    for (const auto& e : fs::directory_iterator(dir, ec)) {
      if (engine::SameName(e.path().filename().string(), name) && e.is_regular_file(ec)) {
        found = true;
        break;
      }
    }
    if (!found) return false;
  }
  return true;
}

// ---- Pruning ------------------------------------------------------------------------------------

std::vector<std::string> PruneOldBackups(const TConfig& config, DateTime today) {
  std::vector<std::string> removed;
  if (!config.AutoBackup) return removed;
  const std::string folder = WithSlash(config.DataPath) + "Backup/";
  std::error_code ec;
  if (!fs::is_directory(folder, ec)) return removed;
  const DateTime limit(DatePart(today).days - config.BackupDays);
  for (const auto& e : fs::directory_iterator(folder, ec)) {
    const std::string name = e.path().filename().string();
    if (name.size() < 4 || !engine::SameName(name.substr(name.size() - 4), ".zip")) continue;
    struct stat st {};
    if (::stat(e.path().c_str(), &st) != 0 || S_ISDIR(st.st_mode)) continue;
    if (limit > LastWriteTime(st) && fs::remove(e.path(), ec)) removed.push_back(name);
  }
  std::sort(removed.begin(), removed.end());
  return removed;
}

}  // namespace tikora::admin
