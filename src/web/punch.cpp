#include "web/punch.h"

#include <cmath>
#include <cstdint>
#include <optional>
#include <string>

#include "core/language.h"
#include "engine/errors.h"
#include "web/html.h"
#include "web/input.h"
#include "web/web_queries.h"

namespace tikora::web {
namespace {

using engine::Value;

// The largest number of items a time entry holds.
constexpr std::int64_t kMaxItems = 65535;

DateTime At(DateTime day, DateTime time_of_day) {
  return FromMilliseconds(ToMilliseconds(DatePart(day)) + ToMilliseconds(time_of_day));
}

Value TextOrNull(const std::string& text) {
  return text.empty() ? Value::Null() : Value::Text(text);
}

std::string RequiredAccount(const Request& request) {
  std::string account = request.RequestValue("Account");
  if (account.empty()) throw BadInput("Account", "The field Account needs a charge account.");
  return account;
}

void ReportMissing(WebRequest& web, const std::string& term) {
  ReportProblem(web, HtmlEscape(TranslateMessage("You are missing a") + " " + term + "."));
}

// Positions the time history cursor on the open entry `id`; nullptr when it is no longer open.
engine::Table* PositionOn(WebRequest& web, std::int64_t id) {
  engine::Table& table = web.dm.TimeHist();
  table.Refresh();  // entries punched since the cursor was opened
  return table.FindKey({Value::Integer(id)}) ? &table : nullptr;
}

// Runs `punch` in one write transaction over the time history, so that the open entry it looks
// up cannot be appended, closed or changed by another request before it writes. On failure the
// cursor's pending insert or edit is cancelled (a FastCGI process keeps the cursor for its later
// requests, which could not punch while it stays in insert or edit state) and the transaction is
// rolled back; the error goes on to the caller.
template <typename Punch>
void InTimeHistoryTransaction(WebRequest& web, Punch&& punch) {
  engine::Database& db = web.dm.Database();
  db.StartTransaction({"TimeHist"});
  try {
    punch();
    db.Commit();
  } catch (...) {
    web.dm.TimeHist().Cancel();
    if (db.InTransaction()) db.Rollback();
    throw;
  }
  web.dm.TimeHist().FlushBuffers();
}

}  // namespace

void PostMainPage(WebRequest& web) {
  const std::string in_time = web.request.RequestValue("InTime");
  const std::string out_time = web.request.RequestValue("OutTime");
  if (!in_time.empty() && out_time.empty()) {
    PunchIn(web);
  } else if (!in_time.empty()) {
    PunchOut(web);
  }
  ShowPage(web, PageKind::Main);
}

void PunchIn(WebRequest& web) {
  const Request& request = web.request;
  TConfig& config = web.Config();
  const std::string account = RequiredAccount(request);
  const std::string job_code = request.RequestValue("JobCode");
  const std::string client = request.RequestValue("Client");
  const DateTime day = RequiredDate(request, "TIKDate");
  const DateTime in_time = TimeOfDayValue(request, "InTime");

  if (job_code.empty() && config.ForceJobCode) return ReportMissing(web, config.AccountCodeTerm);
  if (client.empty() && config.ForceClient) return ReportMissing(web, config.ClientTerm);

  InTimeHistoryTransaction(web, [&] {
    const std::int64_t entry = TDataAccess(web.dm).FindOpenEntry(account);
    if (entry != 0 && !config.AllowMultPunchIn) {
      ReportProblem(web, HtmlEscape(TranslateMessage("Cannot punch in more than once.")));
      return;
    }
    engine::Table& table = web.dm.TimeHist();
    if (entry != 0 && PositionOn(web, entry) != nullptr) {
      table.Edit();  // the new punch-in restarts the open entry
    } else {
      table.Append();
    }
    table.SetFieldValue("Start Time", Value::Date(At(day, in_time)));
    table.SetFieldValue("User ID", Value::Text(UserKey(config.CurrentUserId)));
    table.SetFieldValue("Account", Value::Text(account));
    table.SetFieldValue("Job_Code", TextOrNull(job_code));
    table.SetFieldValue("ClientID", TextOrNull(client));
    table.Post();
  });
}

void PunchOut(WebRequest& web) {
  const Request& request = web.request;
  TConfig& config = web.Config();
  const std::string account = RequiredAccount(request);
  const DateTime day = DatePart(RequiredDate(request, "TIKDate"));
  (void)TimeOfDayValue(request, "InTime");  // checked like every value; the stored start counts
  const DateTime out_time = TimeOfDayValue(request, "OutTime");
  const std::string item = request.RequestValue("Item");
  const std::optional<std::int64_t> amount = WholeNumber(request, "Amount", 0, kMaxItems);
  const std::string comments = request.RequestValue("Comments");

  InTimeHistoryTransaction(web, [&] {
    const std::int64_t entry = TDataAccess(web.dm).FindOpenEntry(account);
    engine::Table* table = entry == 0 ? nullptr : PositionOn(web, entry);
    if (table == nullptr) return;  // no open entry: nothing to end, no message
    const DateTime start = table->FieldValue("Start Time").AsDateTime();

    DateTime end = FromMilliseconds(ToMilliseconds(day) + ToMilliseconds(out_time));
    if (config.MinBill > 0) {
      // The minimum is charged from the stored start, so that an entry over midnight or a page
      // showing an outdated start cannot stretch it.
      const double hours = (At(day, TimePart(web.now)).days - start.days) * 24.0;
      if (hours < config.MinBill)
        end = FromMilliseconds(ToMilliseconds(start) + std::llround(config.MinBill * 3600000.0));
    }
    if (end < start) {
      ReportProblem(web, HtmlEscape(TranslateMessage("The end time lies before the start time.")) +
                             " (" + HtmlEscape(FormatIsoTimestamp(start).substr(0, 16)) + ")");
      web.response.SetStatus(400);
      return;
    }

    table->Edit();
    table->SetFieldValue("Item", TextOrNull(item));
    table->SetFieldValue("NumItems", amount ? Value::Integer(*amount) : Value::Null());
    table->SetFieldValue("Comments", TextOrNull(comments));
    table->SetFieldValue("End Time", Value::Date(end));
    table->Post();
  });
}

}  // namespace tikora::web
