#include "web/time_sheet.h"

#include <array>
#include <cmath>
#include <optional>
#include <string>
#include <vector>

#include "web/fragments.h"
#include "web/html.h"
#include "web/input.h"
#include "web/web_queries.h"

namespace tikora::web {
namespace {

using engine::Value;

// Rows beyond the first ten are read while the form carries them, up to this many.
constexpr int kMaxPostedRows = 100;

struct SheetRow {
  std::string account, job_code, client, comment;
  std::array<std::optional<double>, 7> hours;
};

Value TextOrNull(const std::string& text) {
  return text.empty() ? Value::Null() : Value::Text(text);
}

std::vector<SheetRow> ReadRows(const Request& request) {
  std::vector<SheetRow> rows;
  for (int r = 0; r < kMaxPostedRows; ++r) {
    const std::string suffix = std::to_string(r);
    const std::string account = request.RequestValue("Account" + suffix);
    if (account.empty()) {
      if (r >= kSheetRows && request.RequestValue("D1" + suffix).empty()) break;
      continue;
    }
    SheetRow row{account, request.RequestValue("JobCode" + suffix),
                 request.RequestValue("Client" + suffix), request.RequestValue("Comments" + suffix),
                 {}};
    for (int d = 1; d <= 7; ++d) row.hours[d - 1] = Hours(request, "D" + std::to_string(d) + suffix);
    rows.push_back(std::move(row));
  }
  return rows;
}

// "[Field] = :Param" for a value, "[Field] = NULL" for none (an empty value is stored as none).
std::string Matches(const std::string& field, const std::string& param, const std::string& value) {
  return value.empty() ? " AND +[" + field + "] = NULL" : " AND +[" + field + "] = :" + param;
}

void StoreRow(TDM& dm, const SheetRow& row, DateTime first_day) {
  const std::string user = UserKey(dm.Config().CurrentUserId);
  // The week's "Start Time" range chooses the index; a unary plus keeps the others from it.
  engine::Query& query = dm.Prepared("DELETE FROM TimeHist WHERE +[User ID] = :UserId AND +[Account] = :Account" +
               Matches("Job_Code", "JobCode", row.job_code) +
               Matches("ClientID", "ClientID", row.client) +
               " AND CAST([Start Time] AS TIME) = '00:00' AND [Start Time] >= :FirstDate"
               " AND [Start Time] < :EndDate AND [End Time] <> NULL");
  query.SetParam("UserId", Value::Text(user));
  query.SetParam("Account", Value::Text(row.account));
  if (!row.job_code.empty()) query.SetParam("JobCode", Value::Text(row.job_code));
  if (!row.client.empty()) query.SetParam("ClientID", Value::Text(row.client));
  query.SetParam("FirstDate", Value::Date(first_day));
  query.SetParam("EndDate", Value::Date(DateTime(first_day.days + 7)));
  query.ExecSQL();

  engine::Query& insert = dm.Prepared(
      "INSERT INTO TimeHist ([User ID], Account, Job_Code, [Start Time], [End Time], Comments,"
      " ClientID) VALUES (:UserId, :Account, :JobCode, :StartTime, :EndTime, :Comments,"
      " :ClientID)");
  for (int d = 0; d < 7; ++d) {
    if (!row.hours[static_cast<std::size_t>(d)]) continue;
    const std::int64_t start = ToMilliseconds(first_day) + d * kMsPerDay;
    const std::int64_t length = std::llround(*row.hours[static_cast<std::size_t>(d)] * 3600000.0);
    insert.SetParam("UserId", Value::Text(user));
    insert.SetParam("Account", Value::Text(row.account));
    insert.SetParam("JobCode", TextOrNull(row.job_code));
    insert.SetParam("StartTime", Value::Date(FromMilliseconds(start)));
    insert.SetParam("EndTime", Value::Date(FromMilliseconds(start + length)));
    insert.SetParam("Comments", TextOrNull(row.comment));
    insert.SetParam("ClientID", TextOrNull(row.client));
    insert.ExecSQL();
  }
}

// The first day of the posted week. All seven days must lie in the years 1 to 9999, the dates
// the engine stores: a day of the year 10000 would be written as a text that no reader takes
// back, and outside the week's own range.
DateTime PostedWeekStart(WebRequest& web) {
  const DateTime first_day = SheetWeekStart(web.Config(), RequiredDate(web.request, "TSDate"));
  if (first_day < EncodeDate(1, 1, 1) || DateTime(first_day.days + 6) > EncodeDate(9999, 12, 31)) {
    throw BadInput("TSDate", "The field TSDate holds '" + web.request.RequestValue("TSDate") +
                                 "', which is not a date of a week within the years 1 to 9999.");
  }
  return first_day;
}

}  // namespace

void SaveTimeSheet(WebRequest& web) {
  const DateTime first_day = PostedWeekStart(web);
  const std::vector<SheetRow> rows = ReadRows(web.request);

  engine::Database& db = web.dm.Database();
  for (const auto& row : rows) {
    try {
      db.StartTransaction({"TimeHist"});
      StoreRow(web.dm, row, first_day);
      db.Commit();
    } catch (const std::exception& error) {
      if (db.InTransaction()) db.Rollback();
      ReportProblem(web, HtmlEscape(error.what()));
    }
  }
  ShowPage(web, PageKind::Main);
}

}  // namespace tikora::web
