// Preparing an invoice run: the next invoice number is proposed and recorded, the administrator
// accepts or changes it, and it is stamped on the finished time records and the expenses of the
// period that match the report choices. The WHERE texts for the invoice definition's main and
// sub-report statements are left in the data module's report queries.
#pragma once

#include <cstdint>
#include <string>

#include "admin/report_data.h"
#include "core/config.h"
#include "core/datetime.h"
#include "core/prompter.h"

namespace tikora::admin {

class TDM;

// The number that follows `last` (the greatest stored invoice number; empty counts as
// "0000000000"): the year of `today` followed by the whole number after the first four
// characters of `last`, plus one, written with at least six digits. So "2023000041" is followed
// by "2024000042" in 2024, and "2024009999" by "2024010000". Throws ConversionError when the
// characters after the year are not a whole number.
std::string ProposeInvoiceNumber(const std::string& last, DateTime today);

// The expense condition of an invoice: "[ExpenseDate] Between 'From' And 'To'" (an expense dated
// on the To date belongs to the period, one dated the day after does not), then the user (security
// on), "[Account] = ", "[JobCode] = " and "[ClientID] = " choices.
std::string InvoiceExpenseCondition(const TConfig& config, const ReportChoices& choices);

struct InvoicePreparation {
  bool accepted = false;
  std::string proposal;           // the number proposed (and recorded in Invoices)
  std::string number;             // the number stamped, when accepted
  std::string report_where;       // " WHERE Invoice = ..." + line break
  std::string subreport_where;    // " WHERE Invoice = ... AND <expenses> ORDER BY Account, JobCode"
  std::int64_t time_records = 0;  // time records stamped
  std::int64_t expenses = 0;      // expenses stamped
  std::string error;              // why not, when a step failed (also shown)
};

// Proposes the next number; when time records already carry it, asks "This invoice has been
// printed before.  Continue?" (Yes/No), otherwise records it in Invoices; then asks for the
// number in the input box "Accept Invoice". Cancel at either question stamps nothing. Accepted:
// stamps time records and expenses, sets config.ReportFilter (BuildReportFilter of the stamping
// statement) and the texts of dm.qryReport() and dm.qrySubReport().
InvoicePreparation PrepareInvoice(TDM& dm, TConfig& config, const ReportChoices& choices,
                                  Prompter& prompter, DateTime today);

}  // namespace tikora::admin
