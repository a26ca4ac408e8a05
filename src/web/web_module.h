// The web data module: the database of the data folder, the tables the pages read and write, the
// query objects of the web reads (one per statement, translated once per process), the security
// switch and the three page templates.
//
// A process has one TDM. Creating it touches nothing on disk; the first request that needs data
// runs FirstExecRequest, which connects the database and opens the tables. Under FastCGI that
// happens once per process, and cursors are refreshed before each use so that every request sees
// what other processes wrote.
//
// The time history cursor shows only the open entries (those whose "End Time" is empty): they are
// all the pages look up or edit through the cursor, and a cursor over the whole table would read
// every row id of a history of millions of entries at each request. Closed entries are read and
// written through queries.
#pragma once

#include <cstdint>
#include <filesystem>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/config.h"
#include "core/password.h"
#include "core/security.h"
#include "engine/database.h"
#include "engine/query.h"
#include "engine/table.h"

namespace tikora::web {

enum class PageKind { Login, Main, TimeSheet };

// The template file of a page, relative to the program folder: "TIKFiles/login.html", ...
std::string TemplateFileName(PageKind page);

class TDM {
 public:
  // Names the data folder (DataPath when it exists, else ProgramFolder + "TIKData/") and the
  // templates; connects nothing.
  explicit TDM(TConfig& config);
  ~TDM();
  TDM(const TDM&) = delete;
  TDM& operator=(const TDM&) = delete;

  // Once per process, before the first request that needs data: the database is connected and "TimeHist.DAT", "Accounts.DAT", "JobCodes.DAT", "Clients.DAT" and
  // "Items.Dat" are opened with OpenTable (a table that fails to open for another reason than
  // damage or an old format stays closed, and using it is an error), the security switch goes on
  // and the language file is named. Later calls do nothing.
  void FirstExecRequest();
  bool DBActive() const { return database_ != nullptr; }

  TConfig& Config() { return config_; }
  TSecure& Secure() { return secure_; }
  const std::string& DataDirectory() const { return data_directory_; }
  std::filesystem::path TemplatePath(PageKind page) const;

  // Valid after FirstExecRequest.
  engine::Database& Database();
  engine::Table& TimeHist();
  // A query object for `sql`, translated once per process and kept for later requests (under
  // FastCGI the same few statements run at every request). Parameters are set by the caller.
  engine::Query& Prepared(const std::string& sql);

  // Every value of `field` in "Accounts.DAT", "JobCodes.DAT", "Clients.DAT" or "Items.Dat", in
  // primary index order, read afresh.
  std::vector<std::string> ChargeAccounts();
  std::vector<std::string> JobCodes();
  std::vector<std::string> Clients();
  std::vector<std::string> Items();

  // The log-in row of `login` in "Security.DAT" (exact key match), which is opened for the look-up
  // and closed again. Throws EngineError when the table cannot be opened.
  std::optional<StoredLogin> FindLogin(std::string_view login);
  // Replaces the stored password of the row `login_id` with `password_hash`.
  void StorePassword(std::string_view login_id, const std::string& password_hash);

 private:
  void SetDBActive();
  std::vector<std::string> ColumnValues(engine::Table* table, const std::string& field);

  TConfig& config_;
  TSecure secure_;
  std::string data_directory_;
  std::unique_ptr<engine::Database> database_;
  std::unique_ptr<engine::Table> time_hist_;
  std::unique_ptr<engine::Table> accounts_;
  std::unique_ptr<engine::Table> job_codes_;
  std::unique_ptr<engine::Table> clients_;
  std::unique_ptr<engine::Table> items_;
  std::map<std::string, std::unique_ptr<engine::Query>> prepared_;
};

}  // namespace tikora::web
