#include "admin/report_data.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <clocale>
#include <cmath>
#include <cstdio>
#include <map>

#include "admin/data_access.h"
#include "admin/data_module.h"
#include "core/regional.h"
#include "core/text_helpers.h"
#include "engine/errors.h"
#include "engine/query.h"
#include "engine/schema.h"
#include "engine/table.h"
#include "report/report.h"

namespace tikora::admin {
namespace {

using engine::Value;

std::string UserCondition(const TConfig& config, const ReportChoices& c) {
  if (!c.security_on) return {};
  return "[User ID] = " + SqlQuoted(CutToCharacters(config.CurrentUserId, 15));
}

std::string Choice(const std::string& field, const std::string& id) {
  return id.empty() ? std::string() : field + " = " + SqlQuoted(id);
}

// "'From' And 'To+1'": the period as date literals, To made exclusive of the next day.
std::string PeriodLiterals(const ReportChoices& c) {
  return "'" + IsoDate(DatePart(c.from)) + "' And '" + IsoDate(DateTime(DatePart(c.to).days + 1)) +
         "'";
}

bool Contains(const std::string& text, const char* part) {
  return text.find(part) != std::string::npos;
}

// The decimal and grouping characters of the process locale.
struct NumberPunctuation {
  std::string decimal;
  std::string thousands;
};
NumberPunctuation CurrentPunctuation() {
  const std::lconv* lc = std::localeconv();
  NumberPunctuation p;
  p.decimal = lc->decimal_point != nullptr && *lc->decimal_point ? lc->decimal_point : ".";
  p.thousands = lc->thousands_sep != nullptr ? lc->thousands_sep : "";
  if (p.thousands.empty()) p.thousands = p.decimal == "," ? "." : ",";
  return p;
}

// "#,##0.00" of a number already rounded to whole cents.
std::string GroupedCents(long long cents) {
  const NumberPunctuation p = CurrentPunctuation();
  const bool negative = cents < 0;
  const unsigned long long abs_cents = negative ? 0ULL - static_cast<unsigned long long>(cents)
                                                : static_cast<unsigned long long>(cents);
  std::string whole = std::to_string(abs_cents / 100);
  std::string grouped;
  for (std::size_t i = 0; i < whole.size(); ++i) {
    if (i > 0 && (whole.size() - i) % 3 == 0) grouped += p.thousands;
    grouped += whole[i];
  }
  char frac[4];
  std::snprintf(frac, sizeof frac, "%02llu", abs_cents % 100);
  return (negative ? "-" : "") + grouped + p.decimal + frac;
}

long long RoundHalfAway(double x) {
  return std::llround(x);
}

double ArgumentNumber(const Value& v) {
  switch (v.kind()) {
    case Value::Kind::Null:
      return 0.0;
    case Value::Kind::Text: {
      const std::string t = v.AsText();
      if (t.find_first_not_of(" \t") == std::string::npos) return 0.0;
      return ParseLocaleFloat(t);
    }
    case Value::Kind::DateTime:
      return v.AsDateTime().days;
    default:
      return v.AsFloat();
  }
}

bool SameNoCase(const std::string& a, const char* b) {
  return engine::SameName(a, b);
}

}  // namespace

std::string SqlQuoted(const std::string& text) {
  std::string out = "\"";
  for (char c : text) {
    if (c == '"') out += '"';
    out += c;
  }
  return out + "\"";
}

std::string BuildReportFilter(TConfig& config, const std::string& sql, const ReportChoices& c) {
  config.ReportFilter.clear();
  std::string filter;
  for (const std::string& part :
       {UserCondition(config, c), Choice("[Account]", c.account), Choice("[Job_Code]", c.job_code),
        Choice("[ClientID]", c.client)}) {
    if (!part.empty()) filter = AndJoin(filter, part);
  }
  if (Contains(sql, "TimeHist") || Contains(sql, "Archive"))
    filter =
        AndJoin(filter, "[Start Time] Between " + PeriodLiterals(c) + " And [End Time] <> Null");
  config.ReportFilter = filter;
  return filter;
}

TimeSheetStatement TimeSheetSql(const TConfig& config, int report_id, const ReportChoices& c) {
  TimeSheetStatement s;
  std::string select, cond, order;
  auto add = [&cond](const std::string& part) {
    if (!part.empty()) cond = AndJoin(cond, part);
  };
  switch (report_id) {
    case kTimeSheetByAccount:
      select =
          "Select [Account], [Start Time] , [End Time], [Start Time] AS WeekStart From TimeHist";
      add(UserCondition(config, c));
      add(Choice("[Account]", c.account));
      add(Choice("[Job_Code]", c.job_code));
      add(Choice("[ClientID]", c.client));
      add("[Start Time] Between " + PeriodLiterals(c) + " And [End Time] <> Null");
      order = " Order By WeekStart, 1";
      break;
    case kTimeSheetByJobCode:
      select =
          "Select [Job_Code] As Job_Code,[Start Time],[End Time],[Start Time] AS WeekStart From "
          "TimeHist";
      add("[Start Time] Between :Date1 And :Date2");
      add(UserCondition(config, c));
      add(Choice("[Account]", c.account));
      add(Choice("[Job_Code]", c.job_code));
      add(Choice("[ClientID]", c.client));
      add("[End Time] <> Null");
      order = " Order By WeekStart, 1";
      s.uses_date_params = true;
      break;
    case kTimeSheetByAccountAndCode:
      select =
          "Select [Account],[Job_Code] As Job_Code,[Start Time],[End Time],[Start Time] AS "
          "WeekStart From TimeHist";
      add(UserCondition(config, c));
      if (!c.account.empty()) add(" [Account] = " + SqlQuoted(c.account));
      add(Choice("[Job_Code]", c.job_code));
      add(Choice("[ClientID]", c.client));
      add("[Start Time] Between :Date1 And :Date2 And [End Time] <> Null");
      order = " Order By WeekStart, 1, 2";
      s.uses_date_params = true;
      break;
    default:
      throw std::invalid_argument("time sheet report " + std::to_string(report_id) +
                                  " does not exist (1, 2 or 3)");
  }
  s.condition = cond;
  s.sql = select + "\n WHERE " + cond + order;
  return s;
}

std::vector<DayHours> SplitAtMidnight(DateTime start, DateTime end) {
  const std::int64_t start_ms = ToMilliseconds(start);
  const std::int64_t end_ms = ToMilliseconds(end);
  const DateTime start_day = DatePart(start);
  const DateTime end_day = DatePart(end);
  constexpr double kMsPerHour = 3'600'000.0;
  if (end_day.days == start_day.days + 1) {
    const std::int64_t midnight = ToMilliseconds(end_day);
    return {{DayOfWeek(start), static_cast<double>(midnight - start_ms) / kMsPerHour},
            {DayOfWeek(end), static_cast<double>(end_ms - midnight) / kMsPerHour}};
  }
  return {{DayOfWeek(start), static_cast<double>(end_ms - start_ms) / kMsPerHour}};
}

std::string DayColumnName(int weekday) {
  return ShortDayName(weekday).substr(0, 2);
}

namespace {

// One row of the time sheet while it is being summed.
struct SheetRow {
  std::string label;
  std::string code;
  double week = 0;  // day number of the week's first day
  std::array<double, 7> hours{};
  std::array<bool, 7> used{};
};

int CompareNoCase(const std::string& a, const std::string& b) {
  const std::size_t n = std::min(a.size(), b.size());
  for (std::size_t i = 0; i < n; ++i) {
    const int ca = std::tolower(static_cast<unsigned char>(a[i]));
    const int cb = std::tolower(static_cast<unsigned char>(b[i]));
    if (ca != cb) return ca < cb ? -1 : 1;
  }
  return a.size() == b.size() ? 0 : (a.size() < b.size() ? -1 : 1);
}

bool StartsWith(const std::string& text, const std::string& prefix) {
  return text.compare(0, prefix.size(), prefix) == 0;
}

// The rows of the time sheet with the look-up the fill uses: within a week, the first row in the
// table's index order whose label (and code) begins with the looked-up text. The index orders by
// label and code without regard to case ("Account") or by code alone ("Code"), then by the order
// rows were added.
class SheetRows {
 public:
  explicit SheetRows(bool order_by_label) : order_by_label_(order_by_label) {}

  SheetRow& Find(const std::string& label, const std::string& code, double week) {
    std::vector<std::size_t>& in_week = weeks_[week];
    const std::size_t none = rows_.size();
    std::size_t best = none;
    for (std::size_t i : in_week) {
      const SheetRow& r = rows_[i];
      if (!StartsWith(r.label, label) || !StartsWith(r.code, code)) continue;
      if (best == none || Before(r, i, rows_[best], best)) best = i;
    }
    if (best != none) return rows_[best];
    rows_.push_back({label, code, week, {}, {}});
    in_week.push_back(rows_.size() - 1);
    return rows_.back();
  }
  const std::vector<SheetRow>& rows() const { return rows_; }

 private:
  bool Before(const SheetRow& a, std::size_t ia, const SheetRow& b, std::size_t ib) const {
    if (order_by_label_) {
      if (int c = CompareNoCase(a.label, b.label); c != 0) return c < 0;
    }
    if (int c = CompareNoCase(a.code, b.code); c != 0) return c < 0;
    return ia < ib;
  }

  bool order_by_label_;
  std::vector<SheetRow> rows_;  // in the order they were added
  std::map<double, std::vector<std::size_t>> weeks_;
};

}  // namespace

std::int64_t FillTimeSheet(TDM& dm, TDataAccess& access, TConfig& config, int report_id,
                           const ReportChoices& c) {
  const TimeSheetStatement st = TimeSheetSql(config, report_id, c);
  const bool by_code = report_id == kTimeSheetByJobCode;
  const bool with_code = report_id == kTimeSheetByAccountAndCode;

  engine::Query& q = dm.Qry1();
  q.Close();
  q.SetSql(st.sql);
  if (st.uses_date_params) {
    q.SetParam("Date1", Value::Date(DatePart(c.from)));
    q.SetParam("Date2", Value::Date(DateTime(DatePart(c.to).days + 1)));
  }
  config.ReportFilter = st.condition;
  q.Open();

  std::map<std::string, std::string> labels;  // account ID -> label
  auto account_label = [&](const std::string& id) {
    auto it = labels.find(id);
    if (it != labels.end()) return it->second;
    std::string label = id.empty() ? std::string() : access.GetAccountDescription(id);
    if (label.empty()) label = id.empty() ? "Unknown" : id;
    labels.emplace(id, label);
    return label;
  };
  auto code_or_na = [](const std::string& code) {
    return code.empty() ? std::string("N/A") : code;
  };

  const int start_col = q.FieldIndex("Start Time");
  const int end_col = q.FieldIndex("End Time");
  const int account_col = by_code ? -1 : q.FieldIndex("Account");
  const int code_col = by_code || with_code ? q.FieldIndex("Job_Code") : -1;
  const int first_day = config.DayOfWeek % 7;

  // Summed in memory, then written: the rows and their look-up behave as the table's would.
  SheetRows sheet_rows(/*order_by_label=*/!by_code);
  std::int64_t records = 0;
  for (q.First(); !q.Eof(); q.Next()) {
    const DateTime start = q.FieldValue(start_col).AsDateTime();
    const DateTime end = q.FieldValue(end_col).AsDateTime();
    const std::string label = by_code ? code_or_na(q.FieldValue(code_col).AsText())
                                      : account_label(q.FieldValue(account_col).AsText());
    const std::string code = with_code ? code_or_na(q.FieldValue(code_col).AsText()) : "";
    SheetRow& row = sheet_rows.Find(label, code, DatePart(StartOfWeek(first_day, start)).days);
    for (const DayHours& part : SplitAtMidnight(start, end)) {
      const auto day = static_cast<std::size_t>(part.weekday - 1);
      row.hours[day] += part.hours;
      row.used[day] = true;
    }
    ++records;
  }
  q.Close();

  engine::Table& sheet = dm.tblmemTS();
  sheet.Close();
  dm.Db().CreateTempTable(engine::MemTimeSheetDef());
  sheet.Open(engine::OpenMode::Exclusive);
  sheet.SetIndexName(by_code ? "Code" : "Account");
  for (const SheetRow& row : sheet_rows.rows()) {
    sheet.Append();
    sheet.SetFieldValue("Account", Value::Text(row.label));
    if (with_code) sheet.SetFieldValue("Code", Value::Text(row.code));
    sheet.SetFieldValue("WeekStart", Value::Date(DateTime(row.week)));
    for (int d = 0; d < 7; ++d) {
      if (row.used[static_cast<std::size_t>(d)])
        sheet.SetFieldValue(DayColumnName(d + 1),
                            Value::Float(row.hours[static_cast<std::size_t>(d)]));
    }
    sheet.Post();
  }
  sheet.First();
  return records;
}

std::int64_t FillTimeSheetByAccount(TDM& dm, TDataAccess& access, TConfig& config,
                                    const ReportChoices& c) {
  return FillTimeSheet(dm, access, config, kTimeSheetByAccount, c);
}
std::int64_t FillTimeSheetByJobCode(TDM& dm, TDataAccess& access, TConfig& config,
                                    const ReportChoices& c) {
  return FillTimeSheet(dm, access, config, kTimeSheetByJobCode, c);
}
std::int64_t FillTimeSheetByAccountAndCode(TDM& dm, TDataAccess& access, TConfig& config,
                                           const ReportChoices& c) {
  return FillTimeSheet(dm, access, config, kTimeSheetByAccountAndCode, c);
}

TimeSheetColumns SetDayColumns(const TConfig& config, int report_id) {
  TimeSheetColumns out;
  // Both group captions are set on every run: global variables outlive a run, and a caption left
  // by the previous report would otherwise head this one.
  const bool both = report_id == kTimeSheetByAccountAndCode;
  const std::string& first_group =
      report_id == kTimeSheetByAccount ? config.ChargeAccountTerm : config.AccountCodeTerm;
  out.variables.emplace_back("varGroupBy1", first_group);
  out.variables.emplace_back("varGroupBy2", both ? config.AccountCodeTerm : std::string());
  if (both) {
    out.object_texts.emplace_back("FldAccountOrCode", "[Code]");
    out.shown_bands = {"GroupHeaderCharge", "GroupFooterCharge"};
  }
  int d = config.DayOfWeek;
  std::string week_expr;  // the row's hours: the sum of the day expressions
  for (int n = 1; n <= 7; ++n) {
    ++d;
    const int weekday = d / 8 + d % 8;
    const std::string name = DayColumnName(weekday);
    const std::string expr = config.Rounding ? "FracRound(" + name + ")" : name;
    const std::string sum = "[FormatDec(Sum([" + expr + "]))]";
    out.variables.emplace_back("varWDay" + std::to_string(n), name);
    out.object_texts.emplace_back("FldDay" + std::to_string(n), "[FormatDec(" + expr + ")]");
    out.object_texts.emplace_back("FldSumDay" + std::to_string(n), sum);
    if (both) out.object_texts.emplace_back("FldGrpDay" + std::to_string(n), sum);
    week_expr += (n == 1 ? "" : " + ") + expr;
  }
  // The totals add the days as printed, so a row or week total always equals the sum of the
  // (rounded) figures beside it.
  const std::string week_sum = "[FormatDec(Sum([" + week_expr + "]))]";
  out.object_texts.emplace_back("FldRowTotal", "[FormatDec(" + week_expr + ")]");
  out.object_texts.emplace_back("FldSumTotal", week_sum);
  out.object_texts.emplace_back("FldGrandTotal", week_sum);
  if (both) out.object_texts.emplace_back("FldGrpTotal", week_sum);
  return out;
}

void ApplyTimeSheetColumns(report::Report& report, const TimeSheetColumns& columns) {
  for (const auto& [name, value] : columns.variables)
    report::Report::SetGlobalVariable(name, value);
  for (const auto& [object, text] : columns.object_texts) report.SetObjectText(object, text);
  for (const auto& band : columns.shown_bands) report.SetVisible(band, true);
}

double FracRound(const TConfig& config, double hours) {
  if (!config.Rounding) return hours;
  return RoundToMultiple(config.RoundUp, hours, config.Round);
}

std::string FormatDec(double value) {
  return GroupedCents(RoundHalfAway(value * 100.0));
}

std::string FormatCurr(double value, const std::string& currency_symbol) {
  // A currency amount holds four decimals (halves to even); the pattern shows two.
  const double fixed = std::nearbyint(value * 10000.0);
  return currency_symbol + GroupedCents(RoundHalfAway(fixed / 100.0));
}

std::string LocaleCurrencySymbol() {
  const std::lconv* lc = std::localeconv();
  return lc->currency_symbol != nullptr ? lc->currency_symbol : "";
}

std::string FormatShortTime(DateTime value) {
  const RegionalSettings rs = CurrentRegionalSettings();
  const TimeOfDay t = DecodeTime(value);
  char buf[32];
  if (rs.uses_24_hour_clock) {
    std::snprintf(buf, sizeof buf, "%02d%s%02d", t.hour, rs.time_separator.c_str(), t.minute);
    return buf;
  }
  const int hour12 = t.hour % 12 == 0 ? 12 : t.hour % 12;
  std::snprintf(buf, sizeof buf, "%d%s%02d ", hour12, rs.time_separator.c_str(), t.minute);
  return buf + (t.hour < 12 ? rs.am_designator : rs.pm_designator);
}

void ReportUserFunction(const TConfig& config, const std::string& name, const std::string& arg1,
                        const std::string& /*arg2*/, const std::string& /*arg3*/, Value& result,
                        const report::EvaluateText& evaluate) {
  enum class Fn { FracRound, FormatTime, FormatDate, FormatCurr, FormatDec };
  Fn fn;
  if (SameNoCase(name, "FracRound"))
    fn = Fn::FracRound;
  else if (SameNoCase(name, "FormatTime"))
    fn = Fn::FormatTime;
  else if (SameNoCase(name, "FormatDate"))
    fn = Fn::FormatDate;
  else if (SameNoCase(name, "FormatCurr"))
    fn = Fn::FormatCurr;
  else if (SameNoCase(name, "FormatDec"))
    fn = Fn::FormatDec;
  else
    return;
  const double x = ArgumentNumber(evaluate(arg1));
  switch (fn) {
    case Fn::FracRound:
      result = Value::Float(FracRound(config, x));
      break;
    case Fn::FormatTime:
      result = Value::Text(FormatShortTime(DateTime(x)));
      break;
    case Fn::FormatDate:
      result = Value::Text(FormatShortDate(DateTime(x)));
      break;
    case Fn::FormatCurr:
      result = Value::Text(FormatCurr(x, LocaleCurrencySymbol()));
      break;
    case Fn::FormatDec:
      result = Value::Text(FormatDec(x));
      break;
  }
}

report::UserFunction MakeReportUserFunction(const TConfig& config) {
  return [&config](const std::string& name, const std::string& a1, const std::string& a2,
                   const std::string& a3, Value& result, const report::EvaluateText& evaluate) {
    ReportUserFunction(config, name, a1, a2, a3, result, evaluate);
  };
}

void ConnectTimeSheetReport(report::Report& report, TDataAccess& access, const TConfig& config,
                            const ReportChoices& choices) {
  report.on_user_function = MakeReportUserFunction(config);
  report.on_before_print = [](report::Report& r, report::PrintingObject&) {
    if (r.Variable("varStrTitle") || report::Report::GlobalVariable("varStrTitle"))
      r.SetTitle(r.VariableValue("varStrTitle").AsText());
  };
  const DateTime first = DatePart(choices.from);
  const DateTime day_after(DatePart(choices.to).days + 1);
  report.on_end_of_document = [&access, first, day_after](report::Report&) {
    access.MarkPrinted(first, day_after);
  };
}

}  // namespace tikora::admin
