#include "admin/invoicing.h"

#include <charconv>
#include <cstdio>

#include "admin/data_access.h"
#include "admin/data_module.h"
#include "core/language.h"
#include "core/text_helpers.h"
#include "engine/errors.h"
#include "engine/query.h"

namespace tikora::admin {

std::string ProposeInvoiceNumber(const std::string& last_stored, DateTime today) {
  const std::string last = last_stored.empty() ? std::string("0000000000") : last_stored;
  const std::string tail = last.size() > 4 ? last.substr(4) : std::string();
  unsigned long long sequence = 0;
  auto [end, ec] = std::from_chars(tail.data(), tail.data() + tail.size(), sequence);
  if (tail.empty() || ec != std::errc() || end != tail.data() + tail.size())
    throw ConversionError("'" + tail + "' is not a valid integer value");
  char buf[48];
  std::snprintf(buf, sizeof buf, "%04d%06llu", DecodeDate(today).year, sequence + 1);
  return buf;
}

std::string InvoiceExpenseCondition(const TConfig& config, const ReportChoices& c) {
  std::string cond = "[ExpenseDate] Between '" + IsoDate(DatePart(c.from)) + "' And '" +
                     IsoDate(DatePart(c.to)) + "'";
  if (c.security_on)
    cond = AndJoin(cond, "[UserID] = " + SqlQuoted(CutToCharacters(config.CurrentUserId, 15)));
  if (!c.account.empty()) cond = AndJoin(cond, "[Account] = " + SqlQuoted(c.account));
  if (!c.job_code.empty()) cond = AndJoin(cond, "[JobCode] = " + SqlQuoted(c.job_code));
  if (!c.client.empty()) cond = AndJoin(cond, "[ClientID] = " + SqlQuoted(c.client));
  return cond;
}

namespace {

bool HasRows(engine::Query& q, const std::string& sql) {
  q.Close();
  q.SetSql(sql);
  q.Open();
  const bool any = q.RecordCount() > 0;
  q.Close();
  return any;
}

std::int64_t Execute(engine::Query& q, const std::string& sql) {
  q.Close();
  q.SetSql(sql);
  return q.ExecSQL();
}

}  // namespace

InvoicePreparation PrepareInvoice(TDM& dm, TConfig& config, const ReportChoices& choices,
                                  Prompter& prompter, DateTime today) {
  InvoicePreparation prep;
  engine::Query& q = dm.Qry1();
  try {
    q.Close();
    q.SetSql("SELECT Invoice from Invoices ORDER BY Invoice DESC NOCASE");
    q.Open();
    std::string last;
    if (q.RecordCount() > 0) {
      q.First();
      last = q.FieldValue("Invoice").AsText();
    }
    q.Close();
    prep.proposal = ProposeInvoiceNumber(last, today);
    const std::string quoted = SqlQuoted(prep.proposal);

    if (HasRows(q, "SELECT Invoice From TimeHist WHERE Invoice = " + quoted)) {
      if (prompter.Ask(TranslateMessage("This invoice has been printed before.  Continue?"),
                       "Confirm", Buttons::YesNo) != Answer::Yes)
        return prep;
    } else if (!HasRows(q, "SELECT Invoice From Invoices WHERE Invoice = " + quoted)) {
      Execute(q, "INSERT INTO Invoices (Invoice) Values(" + quoted + ")");
    }

    std::string number = prep.proposal;
    if (!prompter.Input(TranslateMessage("Accept Invoice or enter new one"),
                        TranslateMessage("Accept Invoice"), number))
      return prep;
    prep.number = number;
    const std::string enclosed = SqlQuoted(number);

    const std::string update_hist = "UPDATE TimeHist SET Invoice = " + enclosed;
    const std::string filter = BuildReportFilter(config, update_hist, choices);
    prep.time_records = Execute(q, update_hist + "\n WHERE " + filter);

    const std::string expenses = InvoiceExpenseCondition(config, choices);
    prep.expenses =
        Execute(q, "UPDATE Expenses SET Invoice = " + enclosed + "\n WHERE " + expenses);

    prep.report_where = " WHERE Invoice = " + enclosed + "\n";
    prep.subreport_where =
        " WHERE Invoice = " + enclosed + " AND " + expenses + " ORDER BY Account, JobCode";
    dm.qryReport().SetSql(prep.report_where);
    dm.qrySubReport().SetSql(prep.subreport_where);
    prep.accepted = true;
  } catch (const std::exception& e) {
    q.Close();
    prep.accepted = false;
    prep.error = e.what();
    prompter.Show(e.what(), "Error", MessageKind::Error);
  }
  return prep;
}

}  // namespace tikora::admin
