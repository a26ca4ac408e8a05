// Running the report catalogue: what the reports window does when Print or Preview is pressed,
// without widgets, so that the window and the headless `report` command share one path.
//
// A run ends in a page model (to preview, print, or write as PDF/HTML/CSV/text/RTF) or in
// nothing, when it was cancelled or failed; every failure has been shown through the prompter
// with its own text by then, and the report queries are closed again.
//
// Catalogue entries 1 to 10 are built in and run their fixed definition whatever the entry's
// FileName says: 1-3 the weekly time sheets (filled into the in-memory table, then marked
// printed once their pages are built), 7 the invoice (numbered and stamped first), the others
// custom runs of their definition's own SQL with the window's filters added. Any other ID runs
// the definition its FileName names.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "admin/report_data.h"
#include "core/config.h"
#include "core/datetime.h"
#include "core/prompter.h"
#include "report/page_model.h"
#include "report/report.h"

namespace tikora::admin {

class TDM;
class TDataAccess;

inline constexpr int kInvoiceReport = 7;
inline constexpr const char* kTimeSheetTitle = "Hours for period";

// The definition file of a built-in entry (1 to 10) inside the reports folder; empty for others.
std::string BuiltInReportFile(std::int64_t report_id);

// The title a catalogue entry gives the engine: the fixed titles of entries 1-6 and 8-10 (with
// the configured terms), empty for the invoice (its definition's own title stands), and the file
// name without folder and extension for any other entry.
std::string CatalogueReportTitle(const TConfig& config, std::int64_t report_id,
                                 const std::string& file_name);

// The name shown as "User: " + name in reports: the current user when the security switch is on,
// empty otherwise.
std::string ReportUserName(const TConfig& config, bool security_on);

// The period the reports window starts with: the week containing today (or, with DefaultPrevWeek,
// the week before), starting on the configured first day.
ReportChoices DefaultReportPeriod(const TConfig& config, DateTime today);

class ReportRunner {
 public:
  // `prompter` shows the messages and asks the invoice's questions.
  ReportRunner(TDM& dm, TDataAccess& access, TConfig& config, Prompter& prompter);

  // Runs the catalogue entry `report_id` listed under `entry_title` (the title finds the FileName
  // of a custom entry). `today` dates the invoice number.
  std::optional<report::PageModel> RunReport(std::int64_t report_id, const std::string& entry_title,
                                             const ReportChoices& choices, DateTime today);

  // Runs one definition file with its own "SQL" (and, with a sub-report, its "SubSQL" after the
  // WHERE text the invoice step left in the sub-report query). The title is set when not empty.
  std::optional<report::PageModel> RunCustomReport(const std::string& path, bool with_subreport,
                                                   const ReportChoices& choices,
                                                   const std::string& title = {});

  // The weekly time sheet 1, 2 or 3 over the period and choices.
  std::optional<report::PageModel> RunTimeSheet(int report_id, const ReportChoices& choices);

  // Sets the global report variables every definition may use: varDateFrom, varDateTo,
  // varHeading, varLogin, varTermCharge, varTermProject, varTermClient, varCurrencyStr.
  void SetReportVariables(const ReportChoices& choices);

 private:
  std::optional<report::PageModel> Failed(const std::string& message);
  std::optional<report::PageModel> RunInvoice(const ReportChoices& choices, DateTime today);
  // Loads a definition; a missing file is shown ("Could not find report file: " + path).
  bool Load(report::Report& report, const std::string& path);

  TDM& dm_;
  TDataAccess& access_;
  TConfig& config_;
  Prompter& prompter_;
  report::Report custom_report_;      // custom runs and the invoice
  report::Report time_sheet_report_;  // the weekly time sheets
};

}  // namespace tikora::admin
