// The data behind the reports: the filter condition of custom runs, the weekly time sheet table
// filled from the time records, the weekday columns of the time sheet definition (as data), the
// printed marking after a build and the report functions the engine calls back.
//
// Values placed in conditions are SQL string literals in double quotes with inner double quotes
// doubled, so a code holding a quote can neither break nor change the statement.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "core/config.h"
#include "core/datetime.h"
#include "engine/value.h"
#include "report/expression.h"

namespace tikora::report {
class Report;
}

namespace tikora::admin {

class TDM;
class TDataAccess;

// What the reports window chose: the period (From and To days, both included) and the IDs picked
// in the charge account, job code and client lists (empty: no choice).
struct ReportChoices {
  DateTime from;
  DateTime to;
  std::string account;
  std::string job_code;
  std::string client;
  // The user condition applies when the security switch is on.
  bool security_on = false;
};

// "text" as an SQL string literal in double quotes, inner double quotes doubled.
std::string SqlQuoted(const std::string& text);

// The condition a custom run adds to its statement, also stored in config.ReportFilter: the user
// (security on: "[User ID] = " + the first 15 characters of CurrentUserId), the account, job
// code and client choices, and — when `sql` names "TimeHist" or "Archive" (case as written) —
// "[Start Time] Between 'From' And 'To+1' And [End Time] <> Null". Empty when nothing applies.
std::string BuildReportFilter(TConfig& config, const std::string& sql,
                              const ReportChoices& choices);

// Time sheet reports: 1 by charge account, 2 by job code, 3 by charge account and job code.
inline constexpr int kTimeSheetByAccount = 1;
inline constexpr int kTimeSheetByJobCode = 2;
inline constexpr int kTimeSheetByAccountAndCode = 3;

// The statement a fill runs (its SELECT line, a line break, " WHERE " + condition + ORDER BY) and
// its condition, which is also what config.ReportFilter receives.
struct TimeSheetStatement {
  std::string sql;
  std::string condition;
  bool uses_date_params = false;  // reports 2 and 3 bind :Date1 and :Date2
};
TimeSheetStatement TimeSheetSql(const TConfig& config, int report_id, const ReportChoices& choices);

// The hours one time record adds to the columns of its row: the start day's column gets the
// hours up to the end — or, for an entry that runs past exactly one midnight, up to that
// midnight, with the rest going to the end day's column. Entries that end two or more days
// later count entirely on the start day.
struct DayHours {
  int weekday;  // 1 Sunday ... 7 Saturday
  double hours;
};
std::vector<DayHours> SplitAtMidnight(DateTime start, DateTime end);

// The two-letter column of a weekday (1 Sunday ... 7 Saturday): "Su" ... "Sa".
std::string DayColumnName(int weekday);

// Empties the in-memory time sheet table of `dm` and fills it for `report_id` from the finished
// time records of the period; sets config.ReportFilter. Rows are labelled with the charge
// account's description (else its ID, else "Unknown"; report 2: the job code or "N/A"), keyed
// by label (and code) and the start of the week (configured DayOfWeek); a stored label that
// begins with the looked-up label counts as the same row. Returns the time records summed.
std::int64_t FillTimeSheet(TDM& dm, TDataAccess& access, TConfig& config, int report_id,
                           const ReportChoices& choices);
std::int64_t FillTimeSheetByAccount(TDM& dm, TDataAccess& access, TConfig& config,
                                    const ReportChoices& choices);
std::int64_t FillTimeSheetByJobCode(TDM& dm, TDataAccess& access, TConfig& config,
                                    const ReportChoices& choices);
std::int64_t FillTimeSheetByAccountAndCode(TDM& dm, TDataAccess& access, TConfig& config,
                                           const ReportChoices& choices);

// Variables and object texts of the time sheet definition, to apply to a loaded definition.
struct TimeSheetColumns {
  std::vector<std::pair<std::string, std::string>> variables;     // name, value
  std::vector<std::pair<std::string, std::string>> object_texts;  // object name, text
  std::vector<std::string> shown_bands;                           // report 3's charge groups
};
// The weekday variables "varWDay1".."varWDay7" in week order from DayOfWeek, the day objects
// "FldDay"n / "FldSumDay"n (and "FldGrpDay"n for report 3) with FormatDec of the day column
// (inside FracRound when Rounding is on), the group-by term variables and, for report 3,
// "FldAccountOrCode" and the charge group bands.
TimeSheetColumns SetDayColumns(const TConfig& config, int report_id);
// Sets the variables (as the report's global variables) and the texts of the objects the
// definition has; objects it lacks are skipped; shows the named bands.
void ApplyTimeSheetColumns(report::Report& report, const TimeSheetColumns& columns);

// The report functions FracRound, FormatTime, FormatDate, FormatCurr and FormatDec (names
// compared without regard to case); other names leave the result as it is. The first argument
// is evaluated by the engine; the others are ignored.
void ReportUserFunction(const TConfig& config, const std::string& name, const std::string& arg1,
                        const std::string& arg2, const std::string& arg3, engine::Value& result,
                        const report::EvaluateText& evaluate);
report::UserFunction MakeReportUserFunction(const TConfig& config);

// Formatting behind the report functions, in the process locale. Grouping uses the locale's
// thousands separator, or "," ("." with a comma decimal separator) when the locale has none.
double FracRound(const TConfig& config, double hours);
std::string FormatDec(double value);                                       // "#,##0.00"
std::string FormatCurr(double value, const std::string& currency_symbol);  // symbol + "#,##0.00"
std::string LocaleCurrencySymbol();
std::string FormatShortTime(DateTime value);  // hours and minutes, regional separator

// Wires a loaded time sheet report: title from "varStrTitle" before each object, the report
// functions, and the printed marking of the period when the pages have been built.
void ConnectTimeSheetReport(report::Report& report, TDataAccess& access, const TConfig& config,
                            const ReportChoices& choices);

}  // namespace tikora::admin
