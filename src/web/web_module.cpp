#include "web/web_module.h"

#include <stdexcept>

#include "core/language.h"
#include "engine/errors.h"

namespace tikora::web {
namespace {

std::unique_ptr<engine::Table> MakeTable(engine::Database& db, const char* file) {
  auto table = std::make_unique<engine::Table>(db, file);
  engine::OpenTable(*table);
  return table;
}

}  // namespace

std::string TemplateFileName(PageKind page) {
  switch (page) {
    case PageKind::Login: return "TIKFiles/login.html";
    case PageKind::Main: return "TIKFiles/main.html";
    case PageKind::TimeSheet: return "TIKFiles/timesheet.html";
  }
  throw std::logic_error("unknown page");
}

TDM::TDM(TConfig& config) : config_(config) {
  std::error_code ec;
  data_directory_ = std::filesystem::is_directory(config_.DataPath, ec)
                        ? config_.DataPath
                        : config_.ProgramFolder() + kDataFolderName;
}

TDM::~TDM() = default;

std::filesystem::path TDM::TemplatePath(PageKind page) const {
  return std::filesystem::path(config_.ProgramFolder()) / TemplateFileName(page);
}

void TDM::FirstExecRequest() {
  if (DBActive()) return;
  SetDBActive();
  secure_.SetSecuritySwitch(true);
  SetTranslationLanguage(config_.Language,
                         LanguageFilePath(config_.ProgramFolder(), config_.Language));
}

void TDM::SetDBActive() {
  auto db = std::make_unique<engine::Database>(data_directory_);
  auto time_hist = std::make_unique<engine::Table>(*db, "TimeHist.DAT");
  time_hist->SetFilter("[End Time] = NULL");
  time_hist->SetFiltered(true);
  engine::OpenTable(*time_hist);
  accounts_ = MakeTable(*db, "Accounts.DAT");
  job_codes_ = MakeTable(*db, "JobCodes.DAT");
  clients_ = MakeTable(*db, "Clients.DAT");
  items_ = MakeTable(*db, "Items.Dat");
  time_hist_ = std::move(time_hist);
  database_ = std::move(db);
}

engine::Database& TDM::Database() {
  if (!database_) throw std::logic_error("the database is not connected");
  return *database_;
}

engine::Table& TDM::TimeHist() {
  if (!time_hist_) throw std::logic_error("the database is not connected");
  return *time_hist_;
}

engine::Query& TDM::Prepared(const std::string& sql) {
  std::unique_ptr<engine::Query>& query = prepared_[sql];
  if (!query) {
    query = std::make_unique<engine::Query>(Database());
    query->SetSql(sql);
  }
  return *query;
}

std::vector<std::string> TDM::ColumnValues(engine::Table* table, const std::string& field) {
  if (table == nullptr) throw std::logic_error("the database is not connected");
  std::vector<std::string> values;
  if (!table->Active()) {
    throw engine::EngineError(engine::kErrTableClosed,
                              "Table '" + table->TableName() + "' is not open");
  }
  table->Refresh();
  for (table->First(); !table->Eof(); table->Next())
    values.push_back(table->FieldValue(field).AsText());
  return values;
}

std::vector<std::string> TDM::ChargeAccounts() {
  return ColumnValues(accounts_.get(), "Charge Account");
}
std::vector<std::string> TDM::JobCodes() { return ColumnValues(job_codes_.get(), "Job Code"); }
std::vector<std::string> TDM::Clients() { return ColumnValues(clients_.get(), "ClientID"); }
std::vector<std::string> TDM::Items() { return ColumnValues(items_.get(), "ItemID"); }

std::optional<StoredLogin> TDM::FindLogin(std::string_view login) {
  engine::Table security(Database(), "Security.DAT");
  engine::OpenTable(security);
  if (!security.Active())
    throw engine::EngineError(engine::kErrTableClosed, "Table 'Security.DAT' is not open");
  if (!security.FindKey({engine::Value::Text(std::string(login))})) return std::nullopt;
  return StoredLogin{security.FieldValue("LoginID").AsText(),
                     security.FieldValue("Password").AsText()};
}

void TDM::StorePassword(std::string_view login_id, const std::string& password_hash) {
  engine::Table security(Database(), "Security.DAT");
  engine::OpenTable(security);
  if (!security.Active())
    throw engine::EngineError(engine::kErrTableClosed, "Table 'Security.DAT' is not open");
  if (!security.FindKey({engine::Value::Text(std::string(login_id))})) return;
  security.Edit();
  security.SetFieldValue("Password", engine::Value::Text(password_hash));
  security.Post();
}

}  // namespace tikora::web
