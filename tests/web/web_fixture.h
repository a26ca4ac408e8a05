// A program folder for in-process request tests: the thirteen tables in TIKData/, a few charge
// accounts, job codes, clients, items and log-ins, settings files, and page templates small
// enough that a test reads the value of each tag. Requests go in as CGI environment and body, the
// response comes out; the clock is the test's.
#pragma once

#include <gtest/gtest.h>
#include <sqlite3.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <regex>
#include <string>
#include <utility>
#include <vector>

#include "core/datetime.h"
#include "core/password.h"
#include "core/text_helpers.h"
#include "core/system_helpers.h"
#include "engine/database.h"
#include "engine/maintenance.h"
#include "engine/query.h"
#include "engine/table.h"
#include "web/dispatch.h"
#include "web/request.h"
#include "web/response.h"

namespace tikora::web::test {

namespace fs = std::filesystem;
using Fields = std::vector<std::pair<std::string, std::string>>;

inline std::string FormEncode(const Fields& fields) {
  std::string body;
  for (const auto& [name, value] : fields) {
    if (!body.empty()) body += '&';
    body += name + '=';
    for (unsigned char c : value) {
      if (std::isalnum(c) || c == '-' || c == '_' || c == '.' || c == ':') {
        body += static_cast<char>(c);
      } else {
        static const char* hex = "0123456789ABCDEF";
        body += '%';
        body += hex[c >> 4];
        body += hex[c & 15];
      }
    }
  }
  return body;
}

// The session's form token in a page.
inline std::string FormToken(const std::string& body) {
  std::smatch match;
  static const std::regex pattern("name=\"csrf_token\" value=\"([0-9a-f]*)\"");
  return std::regex_search(body, match, pattern) ? match[1].str() : std::string();
}

// A stored time entry, as the tests compare it.
struct Entry {
  std::string user, account, job_code, client, start, end, comments, item;
  std::int64_t num_items = 0;
  bool operator==(const Entry&) const = default;
};

class WebTest : public ::testing::Test {
 protected:
  // Templates that show each tag between bars, so that tests can find its value.
  static constexpr const char* kLoginTemplate = "LOGIN|%STATUS_MESSAGE%|%DATE%|%CSRF_TOKEN%|";
  static constexpr const char* kMainTemplate =
      "MAIN|%STATUS_MESSAGE%|user=%LOGINID%|date=%DATE%|%TIK_DATE%|%INPUT_TIK_DATE%|"
      "%CHANGE_DATE%|%CSRF_TOKEN%|<select>%ACCOUNT_SELECT_LIST%</select>|in=%IN_TIME%|"
      "elapsed=%ELAPSED_TIME%|account=%ACCOUNT_TOTAL%|day=%DAY_TIME_TOTAL%|";
  static constexpr const char* kSheetTemplate =
      "SHEET|%STATUS_MESSAGE%|date=%DATE%|week=%WEEK_START_DATE%|%DAY1%,%DAY2%,%DAY3%,%DAY4%,"
      "%DAY5%,%DAY6%,%DAY7%|%CSRF_TOKEN%|%TIME_SHEET_GRID%";

  void SetUp() override {
    char pattern[] = "/tmp/tikora-web-XXXXXX";
    folder_ = mkdtemp(pattern);
    folder_ += "/";
    SetProgramFolder(folder_);
    fs::create_directories(folder_ + "TIKData");
    fs::create_directories(folder_ + "TIKFiles");
    engine::CreateDataTables(folder_ + "TIKData", engine::Layout::Current);
    WriteTemplates(kLoginTemplate, kMainTemplate, kSheetTemplate);
    Settings({});
    now_ = At("2024-03-06 10:00");  // a Wednesday

    engine::Database db(folder_ + "TIKData");
    AddRows(db, "Accounts.DAT", "Charge Account", {"ADMIN", "WEBSITE"});
    AddRows(db, "JobCodes.DAT", "Job Code", {"DESIGN", "PROGRAM"});
    AddRows(db, "Clients.DAT", "ClientID", {"ACME", "GLOBEX"});
    AddRows(db, "Items.Dat", "ItemID", {"KM"});
    engine::Table security(db, "Security.DAT");
    security.Open();
    for (const auto& [login, password] :
         std::vector<std::pair<std::string, std::string>>{{"Administrator", "adm1n"},
                                                          {"alice", "secret"},
                                                          {"bob", "0"}}) {
      security.Append();
      security.SetFieldValue("LoginID", engine::Value::Text(login));
      security.SetFieldValue("Password", engine::Value::Text(HashPassword(password)));
      security.Post();
    }
  }

  void TearDown() override {
    program_.reset();
    SetProgramFolder("");
    fs::remove_all(folder_);
  }

  static DateTime At(const std::string& timestamp) { return *ParseIsoTimestampText(timestamp); }

  // Runs raw SQL on the TimeHist file, past the engine (triggers that refuse writes, clean-ups);
  // true when every statement ran.
  bool ExecOnTimeHist(const std::string& sql) const {
    sqlite3* db = nullptr;
    bool ok = sqlite3_open((folder_ + "TIKData/TimeHist.DAT").c_str(), &db) == SQLITE_OK &&
              sqlite3_exec(db, sql.c_str(), nullptr, nullptr, nullptr) == SQLITE_OK;
    sqlite3_close(db);
    return ok;
  }

  void WriteTemplates(const std::string& login, const std::string& main, const std::string& sheet) {
    std::ofstream(folder_ + "TIKFiles/login.html") << login;
    std::ofstream(folder_ + "TIKFiles/main.html") << main;
    std::ofstream(folder_ + "TIKFiles/timesheet.html") << sheet;
  }

  // Writes the [Options] keys to the program and the data settings file; "DayOfWeek" goes to
  // [Defaults]. Read at the next request.
  void Settings(const std::map<std::string, std::string>& options) {
    std::string defaults = "[Defaults]\n", section = "[Options]\n";
    for (const auto& [key, value] : options)
      (key == "DayOfWeek" || key == "LastAcct" ? defaults : section) += key + "=" + value + "\n";
    std::ofstream(folder_ + "Tikora.ini") << defaults << section;
    std::ofstream(folder_ + "TIKData/Tikora.ini") << section;
  }

  static void AddRows(engine::Database& db, const std::string& table, const std::string& field,
                      const std::vector<std::string>& values) {
    engine::Table t(db, table);
    t.Open();
    for (const auto& value : values) {
      t.Append();
      t.SetFieldValue(field, engine::Value::Text(value));
      t.Post();
    }
  }

  WebProgram& Program() {
    if (!program_) program_ = std::make_unique<WebProgram>([this] { return now_; });
    return *program_;
  }

  // One request. `cookie` is the session id ("" for none).
  Response Send(const std::string& method, const Fields& fields, const std::string& cookie = "") {
    Environment env{{"REQUEST_METHOD", method}, {"SCRIPT_NAME", "/tikoraweb"}};
    std::string body;
    if (method == "GET") {
      env["QUERY_STRING"] = FormEncode(fields);
    } else {
      body = FormEncode(fields);
      env["CONTENT_TYPE"] = "application/x-www-form-urlencoded";
      env["CONTENT_LENGTH"] = std::to_string(body.size());
    }
    if (!cookie.empty()) env["HTTP_COOKIE"] = "TIKSESSION=" + cookie;
    const Request request = Request::Decode(env, StringBody(body));
    return Program().ExecRequest(request);
  }

  // Logs in; the session's cookie and form token are kept for Post and Get.
  Response LogIn(const std::string& login, const std::string& password,
                 const std::string& action = "Bill") {
    Response response = Send("POST", {{"Page", "Login"}, {"loginid", login},
                                      {"password", password}, {"Action", action}});
    cookie_ = CookieOf(response);
    token_ = TokenOf(response.Body());
    return response;
  }

  // A form post of the logged-in session, with its token.
  Response Post(Fields fields) {
    fields.emplace_back("csrf_token", token_);
    return Send("POST", fields, cookie_);
  }
  Response Get(const Fields& fields) { return Send("GET", fields, cookie_); }

  Response PunchIn(const std::string& account, const std::string& time, Fields more = {}) {
    Fields fields{{"Page", "Main"}, {"Account", account}, {"InTime", time},
                  {"TIKDate", IsoDate(now_)}};
    fields.insert(fields.end(), more.begin(), more.end());
    return Post(fields);
  }
  Response PunchOut(const std::string& account, const std::string& in, const std::string& out,
                    Fields more = {}) {
    Fields fields{{"Page", "Main"}, {"Account", account}, {"InTime", in}, {"OutTime", out},
                  {"TIKDate", IsoDate(now_)}};
    fields.insert(fields.end(), more.begin(), more.end());
    return Post(fields);
  }

  static std::string CookieOf(const Response& response) {
    const std::string header = response.Header("Set-Cookie").value_or("");
    const std::size_t eq = header.find('='), end = header.find(';');
    return eq == std::string::npos ? std::string() : header.substr(eq + 1, end - eq - 1);
  }
  static std::string TokenOf(const std::string& body) { return FormToken(body); }
  // The text after "name=" up to the next bar, in a page of the bar templates.
  static std::string Part(const std::string& body, const std::string& name) {
    const std::size_t start = body.find(name + "=");
    if (start == std::string::npos) return "<missing " + name + ">";
    const std::size_t from = start + name.size() + 1;
    return body.substr(from, body.find('|', from) - from);
  }

  // Every time entry, in ID order.
  std::vector<Entry> Entries() {
    engine::Database db(folder_ + "TIKData");
    engine::Table t(db, "TimeHist.DAT");
    t.Open();
    std::vector<Entry> entries;
    auto text = [&](const char* field) { return t.FieldValue(field).AsText(); };
    auto stamp = [&](const char* field) {
      return t.FieldValue(field).IsNull() ? std::string()
                                          : FormatIsoTimestamp(t.FieldValue(field).AsDateTime()).substr(0, 16);
    };
    for (t.First(); !t.Eof(); t.Next()) {
      entries.push_back({text("User ID"), text("Account"), text("Job_Code"), text("ClientID"),
                         stamp("Start Time"), stamp("End Time"), text("Comments"), text("Item"),
                         t.FieldValue("NumItems").AsInteger()});
    }
    return entries;
  }

  // Adds a closed or open entry directly.
  void AddEntry(const std::string& user, const std::string& account, const std::string& start,
                const std::string& end, const std::string& job_code = "") {
    engine::Database db(folder_ + "TIKData");
    engine::Table t(db, "TimeHist.DAT");
    t.Open();
    t.Append();
    t.SetFieldValue("User ID", engine::Value::Text(user));
    t.SetFieldValue("Account", engine::Value::Text(account));
    if (!job_code.empty()) t.SetFieldValue("Job_Code", engine::Value::Text(job_code));
    t.SetFieldValue("Start Time", engine::Value::Date(At(start)));
    if (!end.empty()) t.SetFieldValue("End Time", engine::Value::Date(At(end)));
    t.Post();
  }

  std::string folder_;
  DateTime now_;
  std::string cookie_, token_;
  std::unique_ptr<WebProgram> program_;
};

}  // namespace tikora::web::test
