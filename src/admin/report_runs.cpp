#include "admin/report_runs.h"

#include <exception>

#include "admin/data_access.h"
#include "admin/data_module.h"
#include "admin/invoicing.h"
#include "core/language.h"
#include "core/system_helpers.h"
#include "core/text_helpers.h"
#include "engine/query.h"
#include "report/row_source.h"

namespace tikora::admin {
namespace {

// Closes the report queries when a custom run ends, however it ends.
class QueriesClosed {
 public:
  explicit QueriesClosed(TDM& dm) : dm_(dm) {}
  ~QueriesClosed() {
    dm_.qryReport().Close();
    dm_.qrySubReport().Close();
  }
  QueriesClosed(const QueriesClosed&) = delete;
  QueriesClosed& operator=(const QueriesClosed&) = delete;

 private:
  TDM& dm_;
};

// Binds a data source to a report for the length of one build.
class BoundSource {
 public:
  BoundSource(report::Report& r, const char* name, report::RowSource& source) : r_(r), name_(name) {
    r_.BindDataSource(name_, &source);
  }
  ~BoundSource() { r_.BindDataSource(name_, nullptr); }
  BoundSource(const BoundSource&) = delete;
  BoundSource& operator=(const BoundSource&) = delete;

 private:
  report::Report& r_;
  const char* name_;
};

}  // namespace

std::string BuiltInReportFile(std::int64_t report_id) {
  switch (report_id) {
    case 1:
    case 2:
    case 3: return "rTimeSheet.frf";
    case 4: return "rDetailProjDate.frf";
    case 5: return "rProjectSummary.frf";
    case 6: return "rProjCodeSummary.frf";
    case 7: return "rInvoice.frf";
    case 8: return "rPerWeek.frf";
    case 9: return "rProject.frf";
    case 10: return "rProjSummUser.frf";
    default: return {};
  }
}

std::string CatalogueReportTitle(const TConfig& config, std::int64_t report_id,
                                 const std::string& file_name) {
  const std::string& charge = config.ChargeAccountTerm;
  const std::string& job = config.AccountCodeTerm;
  switch (report_id) {
    case 1:
    case 2:
    case 3: return kTimeSheetTitle;
    case 4: return "Detail Time Report for period";
    case 5: return "Detail Time Report by " + charge + " and Date";
    case 6: return "Summary by " + charge + " and " + job;
    case kInvoiceReport: return {};
    case 8: return "Per Week Report";
    case 9: return "Report By " + charge + " and " + job;
    case 10: return "Summary Time Report by " + charge + " and User";
    default: return FileBaseName(file_name);
  }
}

std::string ReportUserName(const TConfig& config, bool security_on) {
  return security_on ? config.CurrentUserId : std::string();
}

ReportChoices DefaultReportPeriod(const TConfig& config, DateTime today) {
  const DateTime day = config.DefaultPrevWeek ? DateTime(DatePart(today).days - 7) : DatePart(today);
  ReportChoices c;
  c.from = DatePart(StartOfWeek(config.DayOfWeek, day));
  c.to = DateTime(c.from.days + 6);
  return c;
}

ReportRunner::ReportRunner(TDM& dm, TDataAccess& access, TConfig& config, Prompter& prompter)
    : dm_(dm), access_(access), config_(config), prompter_(prompter) {}

std::optional<report::PageModel> ReportRunner::Failed(const std::string& message) {
  prompter_.Show(message, "Error", MessageKind::Error);
  return std::nullopt;
}

bool ReportRunner::Load(report::Report& report, const std::string& path) {
  if (report.LoadFromFile(path)) return true;
  prompter_.Show(TranslateMessage("Could not find report file:") + " " + path, "",
                 MessageKind::Error);
  return false;
}

void ReportRunner::SetReportVariables(const ReportChoices& choices) {
  using report::Report;
  const std::string user = ReportUserName(config_, choices.security_on);
  Report::SetGlobalVariable("varDateFrom", FormatShortDate(DatePart(choices.from)));
  Report::SetGlobalVariable("varDateTo", FormatShortDate(DatePart(choices.to)));
  Report::SetGlobalVariable("varHeading", config_.Heading);
  Report::SetGlobalVariable("varLogin", user.empty() ? std::string() : "User: " + user);
  Report::SetGlobalVariable("varTermCharge", config_.ChargeAccountTerm);
  Report::SetGlobalVariable("varTermProject", config_.AccountCodeTerm);
  Report::SetGlobalVariable("varTermClient", config_.ClientTerm);
  Report::SetGlobalVariable("varCurrencyStr", LocaleCurrencySymbol());
}

std::optional<report::PageModel> ReportRunner::RunReport(std::int64_t report_id,
                                                         const std::string& entry_title,
                                                         const ReportChoices& choices,
                                                         DateTime today) {
  dm_.qryReport().SetSql("");
  dm_.qrySubReport().SetSql("");
  if (report_id >= kTimeSheetByAccount && report_id <= kTimeSheetByAccountAndCode)
    return RunTimeSheet(static_cast<int>(report_id), choices);
  if (report_id == kInvoiceReport) return RunInvoice(choices, today);
  std::string file = BuiltInReportFile(report_id);
  if (file.empty()) {
    try {
      file = access_.GetReportFileName(entry_title);
    } catch (const std::exception& e) {
      return Failed(e.what());
    }
  }
  return RunCustomReport(config_.ReportsPath + file, /*with_subreport=*/false, choices,
                         CatalogueReportTitle(config_, report_id, file));
}

std::optional<report::PageModel> ReportRunner::RunInvoice(const ReportChoices& choices,
                                                          DateTime today) {
  InvoicePreparation p = PrepareInvoice(dm_, config_, choices, prompter_, today);
  if (!p.accepted) return std::nullopt;  // cancelled, or the failure has been shown
  // The invoice prints under its definition's own title, never one left by an earlier run.
  custom_report_.SetTitle("");
  return RunCustomReport(config_.ReportsPath + BuiltInReportFile(kInvoiceReport),
                         /*with_subreport=*/true, choices);
}

std::optional<report::PageModel> ReportRunner::RunCustomReport(const std::string& path,
                                                               bool with_subreport,
                                                               const ReportChoices& choices,
                                                               const std::string& title) {
  engine::Query& main_query = dm_.qryReport();
  engine::Query& sub_query = dm_.qrySubReport();
  QueriesClosed closed(dm_);
  try {
    report::Report& r = custom_report_;
    report::QueryRowSource main_rows(main_query);
    report::QueryRowSource sub_rows(sub_query);
    BoundSource bound_main(r, report::kMasterDataSet, main_rows);
    BoundSource bound_sub(r, report::kDetailDataSet, sub_rows);
    if (!Load(r, path)) return std::nullopt;
    if (!title.empty()) r.SetTitle(title);
    r.on_user_function = MakeReportUserFunction(config_);
    r.on_before_print = nullptr;
    r.on_end_of_document = nullptr;

    const std::optional<std::string> sql = r.Variable("SQL");
    if (!sql) throw report::ReportError("The report " + path + " defines no variable SQL");
    std::string text = *sql;
    if (with_subreport) text += main_query.Sql();
    main_query.SetSql(AddSqlCondition(text, BuildReportFilter(config_, text, choices)));
    if (with_subreport) {
      const std::optional<std::string> sub_sql = r.Variable("SubSQL");
      if (!sub_sql) throw report::ReportError("The report " + path + " defines no variable SubSQL");
      sub_query.SetSql(*sub_sql + sub_query.Sql());
    }
    SetReportVariables(choices);
    main_query.Open();
    if (with_subreport) sub_query.Open();
    return r.BuildPages();
  } catch (const std::exception& e) {
    return Failed(e.what());
  }
}

std::optional<report::PageModel> ReportRunner::RunTimeSheet(int report_id,
                                                            const ReportChoices& choices) {
  try {
    const TimeSheetColumns columns = SetDayColumns(config_, report_id);
    FillTimeSheet(dm_, access_, config_, report_id, choices);
    report::Report& r = time_sheet_report_;
    r.SetTitle(kTimeSheetTitle);
    const std::string path = config_.ReportsPath + BuiltInReportFile(report_id);
    if (!Load(r, path)) return std::nullopt;
    ApplyTimeSheetColumns(r, columns);
    SetReportVariables(choices);
    report::TableRowSource rows(dm_.tblmemTS());
    BoundSource bound(r, report::kMasterDataSet, rows);
    ConnectTimeSheetReport(r, access_, config_, choices);
    return r.BuildPages();
  } catch (const std::exception& e) {
    return Failed(e.what());
  }
}

}  // namespace tikora::admin
