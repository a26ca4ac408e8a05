#include "web/web_queries.h"

#include <algorithm>
#include <array>
#include <fstream>
#include <optional>

#include "core/text_helpers.h"
#include "engine/value.h"
#include "web/fragments.h"

namespace tikora::web {
namespace {

using engine::Value;

// The hours of the first day of the week: day 1 is the weekday that `first_day` names
// (0 Sunday ... 6 Saturday; 7 behaves as 0).
int DayOfSheetWeek(DateTime start, int first_day) {
  const int weekday = tikora::DayOfWeek(start);  // 1 Sunday ... 7 Saturday
  return (((weekday - 1 - first_day) % 7) + 7) % 7 + 1;
}

// A sheet field as CsvField reads it back: quoted when it holds the separator or a quote.
std::string SheetField(const std::string& value) {
  if (value.find_first_of(";\"") == std::string::npos) return value;
  std::string quoted = "\"";
  for (char c : value) {
    if (c == '"') quoted += '"';
    quoted += c;
  }
  return quoted + "\"";
}

std::vector<std::string> DefaultRows(const std::string& path) {
  std::vector<std::string> rows;
  std::ifstream file(path);
  std::string line;
  while (std::getline(file, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.find_first_not_of(" \t") == std::string::npos) continue;
    rows.push_back(CsvReplaceField(line, ";;;;;;;", ';', 3));
  }
  return rows;
}

}  // namespace

std::string UserKey(std::string_view user) {
  std::size_t end = 0;
  int characters = 0;
  while (end < user.size() && characters < kUserIdLength) {
    ++end;
    while (end < user.size() && (static_cast<unsigned char>(user[end]) & 0xC0) == 0x80) ++end;
    ++characters;
  }
  return std::string(user.substr(0, end));
}

std::string DefaultTimeSheetPath(const TConfig& config) {
  return config.ProgramFolder() + "DefaultTSheet.csv";
}

double TDataAccess::DayTotal(bool current_account_only, DateTime day) {
  TConfig& config = dm_.Config();
  const bool own_only =
      RuleApplies(Rule::WebShowsOnlyOwnRecords, dm_.Secure().SecuritySwitch(), config.Rights);
  std::string sql =
      "Select Sum([End Time]-[Start Time]) As ElapsedTime From TimeHist"
      " where [Start Time] >= :DayStart And [Start Time] < :DayEnd And [End Time] <> Null";
  // A unary plus keeps SQLite from picking the user or account index (a few distinct values over
  // millions of rows) in place of the "Start Time" range, which selects one day.
  if (own_only) sql += " And +[User ID] = :UserId";
  if (current_account_only) sql += " And +[Account] = :Account";

  engine::Query& query = dm_.Prepared(sql);
  const DateTime first = DatePart(day);
  query.SetParam("DayStart", Value::Date(first));
  query.SetParam("DayEnd", Value::Date(DateTime(first.days + 1)));
  if (own_only) query.SetParam("UserId", Value::Text(UserKey(config.CurrentUserId)));
  if (current_account_only) query.SetParam("Account", Value::Text(config.LastAcct));
  query.Open();
  double total = 0;
  if (query.RecordCount() > 0) total = query.FieldValue(0).AsFloat() / 3600000.0 / 24.0;
  query.Close();
  return total;
}

void TDataAccess::LoadTimeSheet(std::vector<std::string>& rows, DateTime first_date) {
  TConfig& config = dm_.Config();
  // The week's "Start Time" range chooses the index (the unary plus keeps the user's from it).
  // DISTINCT keeps the result read-only (each row carries its ID, so no row is merged): a live
  // result would open a cursor over the whole history.
  engine::Query& query = dm_.Prepared(
      "SELECT DISTINCT ID,Account,Job_Code,ClientID,[Start Time],[End Time],Comments"
      " FROM TimeHist WHERE +[User ID] = :UserId AND CAST([Start Time] AS TIME) = '00:00'"
      " AND [Start Time] >= :FirstDate AND [Start Time] < :EndDate AND [End Time] <> NULL"
      " ORDER BY Account,Job_Code,ClientID,[Start Time],ID");
  const DateTime first = DatePart(first_date);
  query.SetParam("UserId", Value::Text(UserKey(config.CurrentUserId)));
  query.SetParam("FirstDate", Value::Date(first));
  query.SetParam("EndDate", Value::Date(DateTime(first.days + 7)));
  query.Open();

  if (query.RecordCount() == 0) {
    query.Close();
    rows = DefaultRows(DefaultTimeSheetPath(config));
    while (rows.size() < static_cast<std::size_t>(kSheetRows)) rows.emplace_back(kEmptySheetRow);
    return;
  }

  // One row per group (charge account, job code, client, compared exactly); the hours of a day
  // are the sum of the group's entries on it, so that the sheet shows, and a save posts back,
  // every one of them. The comment is the one of the group's last entry.
  struct SheetGroup {
    std::string account, job_code, client, comment;
    std::array<std::optional<std::int64_t>, 7> milliseconds;  // per day of the sheet's week
  };
  std::vector<SheetGroup> groups;
  for (query.First(); !query.Eof(); query.Next()) {
    const std::string account = query.FieldValue("Account").AsText();
    const std::string job_code = query.FieldValue("Job_Code").AsText();
    const std::string client = query.FieldValue("ClientID").AsText();
    auto group = std::find_if(groups.begin(), groups.end(), [&](const SheetGroup& g) {
      return g.account == account && g.job_code == job_code && g.client == client;
    });
    if (group == groups.end()) group = groups.insert(groups.end(), {account, job_code, client, {}, {}});

    const DateTime start = query.FieldValue("Start Time").AsDateTime();
    const DateTime end = query.FieldValue("End Time").AsDateTime();
    const auto day = static_cast<std::size_t>(DayOfSheetWeek(start, config.DayOfWeek % 7) - 1);
    group->milliseconds[day] =
        group->milliseconds[day].value_or(0) + ToMilliseconds(end) - ToMilliseconds(start);
    group->comment = query.FieldValue("Comments").AsText();
  }
  query.Close();

  // More groups than the sheet's rows: the sheet grows, so that no hours are hidden.
  rows.assign(std::max(groups.size(), static_cast<std::size_t>(kSheetRows)),
              std::string(kEmptySheetRow));
  for (std::size_t row = 0; row < groups.size(); ++row) {
    const SheetGroup& group = groups[row];
    std::string& line = rows[row];
    line = CsvReplaceField(line, SheetField(group.account), ';', 0);
    line = CsvReplaceField(line, SheetField(group.job_code), ';', 1);
    line = CsvReplaceField(line, SheetField(group.client), ';', 2);
    for (int day = 0; day < 7; ++day) {
      const std::optional<std::int64_t>& ms = group.milliseconds[static_cast<std::size_t>(day)];
      if (!ms) continue;
      line = CsvReplaceField(line, FormatLocaleFloat(static_cast<double>(*ms) / 3600000.0), ';',
                             day + 3);
    }
    line = CsvReplaceField(line, SheetField(group.comment), ';', 10);
  }
}

std::int64_t TDataAccess::FindOpenEntry(std::string_view account) {
  // One statement, so the answer is consistent while other processes punch: a search over the
  // cursor would read its rows one by one while they change.
  engine::Query& query = dm_.Prepared(
      "SELECT MIN(ID) AS ID FROM TimeHist"
      " WHERE [Account] = :Account AND [End Time] = NULL AND [User ID] = :UserId");
  query.SetParam("Account", Value::Text(std::string(account)));
  query.SetParam("UserId", Value::Text(UserKey(dm_.Config().CurrentUserId)));
  query.Open();
  std::int64_t id = 0;
  if (query.RecordCount() > 0 && !query.FieldValue(0).IsNull()) id = query.FieldValue(0).AsInteger();
  query.Close();
  return id;
}

DateTime TDataAccess::EntryStartTime(std::int64_t id) {
  // An aggregate: the result is read-only and opens no cursor over the history.
  engine::Query& query =
      dm_.Prepared("SELECT MIN([Start Time]) AS StartTime FROM TimeHist WHERE ID = :ID");
  query.SetParam("ID", Value::Integer(id));
  query.Open();
  DateTime start;
  if (query.RecordCount() > 0 && !query.FieldValue(0).IsNull())
    start = query.FieldValue(0).AsDateTime();
  query.Close();
  return start;
}

}  // namespace tikora::web
