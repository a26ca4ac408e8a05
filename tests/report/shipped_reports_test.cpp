// The shipped definitions of install/TIKReports over a fixed data folder: every report runs its
// own statement (with the period condition the reports window adds) and its text, CSV and HTML
// exports match the golden files in tests/report/golden/.
//
// After an intended change, regenerate the golden files and review the difference:
//   TIKORA_REGENERATE_GOLDEN=1 build/tests/report/tikora_report_tests --gtest_filter='ShippedReports*'
// With TIKORA_REPORT_PDF_DIR=<folder> the test also writes each report as a PDF there, to look at.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <stdlib.h>

#include <QString>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>

#include "core/text_helpers.h"
#include "engine/database.h"
#include "engine/maintenance.h"
#include "engine/query.h"
#include "engine/schema.h"
#include "engine/table.h"
#include "locale_guard.h"
#include "report/renderers.h"
#include "report_fixture.h"

namespace tikora::report::test {
namespace {

namespace fs = std::filesystem;

const std::string kReports = std::string(TIKORA_SOURCE_DIR) + "/install/TIKReports/";
const std::string kGolden = std::string(TIKORA_SOURCE_DIR) + "/tests/report/golden/";
constexpr const char* kInvoice = "2024000001";
// The period condition the reports window adds for 2024-06-03 to 2024-06-14 without other filters.
constexpr const char* kPeriod = "[Start Time] Between '2024-06-03' And '2024-06-15' And [End Time] <> Null";

Value At(int day, int hour, int minute) {  // a time in June 2024
  return Value::Date(DateTime(EncodeDate(2024, 6, day).days + (hour * 60 + minute) / 1440.0));
}

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

class ShippedReports : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!locale_.ok()) GTEST_SKIP() << "C.UTF-8 is not installed";
    char tmpl[] = "/tmp/tikora-reports-XXXXXX";
    dir_ = mkdtemp(tmpl);
    engine::CreateDataTables(dir_, engine::Layout::Current);
    db_ = std::make_unique<engine::Database>(dir_);
    FillData();
    Report::ClearGlobalVariables();
    const std::pair<const char*, const char*> globals[] = {
        {"varDateFrom", "06/03/2024"}, {"varDateTo", "06/14/2024"},   {"varHeading", "Orvane Consulting"},
        {"varLogin", ""},              {"varTermCharge", "Charge Account"}, {"varTermProject", "Job Code"},
        {"varTermClient", "Client"},   {"varCurrencyStr", "$"}};
    for (const auto& [name, value] : globals) Report::SetGlobalVariable(name, value);
  }
  void TearDown() override {
    db_.reset();
    if (!dir_.empty()) fs::remove_all(dir_);
  }

  using Row = std::vector<std::pair<const char*, Value>>;
  void Insert(const char* table, const std::vector<Row>& rows) {
    engine::Table t(*db_, table);
    t.Open();
    for (const Row& row : rows) {
      t.Append();
      for (const auto& [field, value] : row) t.SetFieldValue(field, value);
      t.Post();
    }
  }

  void FillData() {
    using V = Value;
    Insert("Accounts", {{{"Charge Account", V::Text("WEB01")}, {"Description", V::Text("Web shop")}, {"Rate", V::Float(85)}},
                        {{"Charge Account", V::Text("INT")}, {"Description", V::Text("Internal")}, {"Rate", V::Float(0)}},
                        {{"Charge Account", V::Text("MNT")}, {"Rate", V::Float(60)}}});
    Insert("JobCodes", {{{"Job Code", V::Text("DEV")}, {"Description", V::Text("Development")}},
                        {{"Job Code", V::Text("DES")}, {"Description", V::Text("Design & layout")}},
                        {{"Job Code", V::Text("ADM")}, {"Description", V::Text("Administration")}}});
    struct Rec {
      const char* user;
      const char* account;
      const char* job;
      int day, h1, m1, day2, h2, m2;
      const char* comment;
      bool invoiced;
    };
    const Rec recs[] = {
        {"jsmith", "WEB01", "DEV", 3, 8, 30, 3, 12, 0, "Checkout page", true},
        {"jsmith", "WEB01", "DES", 3, 13, 0, 3, 17, 15, "Product images <new> & banners", true},
        {"amiller", "INT", "ADM", 4, 9, 0, 4, 10, 30, "", false},
        {"amiller", "WEB01", "DEV", 5, 22, 0, 6, 1, 30, "Night deployment of the release with a long comment that "
                                                        "has to wrap over more than one line in the detail reports",
         true},
        {"jsmith", "MNT", "", 7, 14, 0, 7, 15, 45, "Server updates", false},
        {"jsmith", "WEB01", "DEV", 10, 8, 0, 10, 16, 30, "Payment provider", true},
        {"amiller", "INT", "ADM", 11, 9, 15, 11, 11, 0, "Planning", false},
        {"amiller", "MNT", "DEV", 13, 10, 0, 13, 12, 20, "Backups", false},
        {"jsmith", "WEB01", "DEV", 17, 8, 0, 17, 9, 0, "After the period", true},
    };
    std::vector<Row> rows;
    for (const Rec& r : recs) {
      rows.push_back({{"User ID", V::Text(r.user)}, {"Account", V::Text(r.account)}, {"Job_Code", V::Text(r.job)},
                      {"ClientID", V::Text("ACME")}, {"Start Time", At(r.day, r.h1, r.m1)},
                      {"End Time", At(r.day2, r.h2, r.m2)}, {"Comments", V::Text(r.comment)},
                      {"Invoice", r.invoiced ? V::Text(kInvoice) : V()}});
    }
    // Still punched in: never reported.
    rows.push_back({{"User ID", V::Text("amiller")}, {"Account", V::Text("WEB01")}, {"Start Time", At(14, 9, 0)}});
    Insert("TimeHist", rows);
    Insert("Expenses", {{{"UserID", V::Text("jsmith")}, {"Account", V::Text("WEB01")}, {"JobCode", V::Text("DEV")},
                         {"Description", V::Text("Train ticket")}, {"Amount", V::Float(48.6)},
                         {"ExpenseDate", At(5, 0, 0)}, {"Invoice", V::Text(kInvoice)}},
                        {{"UserID", V::Text("jsmith")}, {"Account", V::Text("WEB01")}, {"JobCode", V::Text("DES")},
                         {"Description", V::Text("Stock photos")}, {"Amount", V::Float(1250)},
                         {"ExpenseDate", At(10, 0, 0)}, {"Invoice", V::Text(kInvoice)}},
                        {{"UserID", V::Text("amiller")}, {"Account", V::Text("INT")}, {"JobCode", V::Text("ADM")},
                         {"Description", V::Text("Not invoiced")}, {"Amount", V::Float(9.99)},
                         {"ExpenseDate", At(6, 0, 0)}}});
  }

  void Prepare(Report& report, const std::string& file) {
    ASSERT_TRUE(report.LoadFromFile(kReports + file)) << file;
    report.clock = [] { return DateTime(EncodeDate(2024, 6, 17).days + 10 / 24.0); };
  }

  // The golden files of one report: name.txt, name.csv, name.html.
  void CheckGolden(const std::string& name, const PageModel& model) {
    const std::pair<std::string, std::string> outputs[] = {
        {name + ".txt", ExportText(model)}, {name + ".csv", ExportCsv(model)}, {name + ".html", ExportHtml(model)}};
    if (const char* pdf_dir = getenv("TIKORA_REPORT_PDF_DIR")) WritePdf(model, std::string(pdf_dir) + "/" + name + ".pdf");
    for (const auto& [file, content] : outputs) {
      SCOPED_TRACE(file);
      if (getenv("TIKORA_REGENERATE_GOLDEN") != nullptr) {
        fs::create_directories(kGolden);
        WriteTextFile(kGolden + file, content);
        continue;
      }
      ASSERT_TRUE(fs::exists(kGolden + file)) << "missing golden file; see the top of this file";
      EXPECT_EQ(content, ReadFile(kGolden + file));
    }
  }

  // A custom run as the reports window makes it: the definition's SQL with the period added.
  PageModel RunCustom(const std::string& file, const std::string& title) {
    Report report;
    Prepare(report, file);
    report.SetTitle(title);
    engine::Query query(*db_);
    QueryRowSource rows(query);
    report.BindDataSource(kMasterDataSet, &rows);
    const auto sql = report.Variable("SQL");
    EXPECT_TRUE(sql.has_value());
    query.SetSql(AddSqlCondition(sql.value_or(""), kPeriod));
    query.Open();
    return report.BuildPages();
  }

  tikora::test::ScopedLocale locale_{"C.UTF-8"};
  std::string dir_;
  std::unique_ptr<engine::Database> db_;
};

TEST_F(ShippedReports, CustomRunsMatchTheirGoldenFiles) {
  const std::pair<const char*, const char*> reports[] = {
      {"rDetailProjDate.frf", "Detail Time Report for period"},
      {"rProjectSummary.frf", "Detail Time Report by Charge Account and Date"},
      {"rProjCodeSummary.frf", "Summary by Charge Account and Job Code"},
      {"rPerWeek.frf", "Per Week Report"},
      {"rProject.frf", "Report By Charge Account and Job Code"},
      {"rProjSummUser.frf", "Summary Time Report by Charge Account and User"},
  };
  for (const auto& [file, title] : reports) {
    SCOPED_TRACE(file);
    const PageModel model = RunCustom(file, title);
    const std::string text = ExportText(model);
    // Every report totals the eight completed records of the period: 27 h 5 min.
    EXPECT_THAT(text, ::testing::HasSubstr("Total hours for period"));
    EXPECT_THAT(text, ::testing::HasSubstr("27.08"));
    EXPECT_THAT(text, ::testing::Not(::testing::HasSubstr("After the period")));
    CheckGolden(fs::path(file).stem().string(), model);
  }
}

TEST_F(ShippedReports, InvoiceSelectsTheStampedRowsAndExpenses) {
  Report report;
  Prepare(report, "rInvoice.frf");
  engine::Query query(*db_), sub_query(*db_);
  QueryRowSource rows(query), expenses(sub_query);
  report.BindDataSource(kMasterDataSet, &rows);
  report.BindDataSource(kDetailDataSet, &expenses);
  const std::string where = std::string(" WHERE Invoice = \"") + kInvoice + "\"\n";
  query.SetSql(AddSqlCondition(report.Variable("SQL").value_or("") + where, kPeriod));
  sub_query.SetSql(report.Variable("SubSQL").value_or("") + where +
                   " AND [ExpenseDate] Between '2024-06-03' And '2024-06-15' ORDER BY Account, JobCode");
  query.Open();
  sub_query.Open();
  const PageModel model = report.BuildPages();
  const std::string text = ExportText(model);
  // 3.5 + 4.25 + 3.5 + 8.5 hours at $85, and two expenses of $1,298.60.
  EXPECT_THAT(text, ::testing::HasSubstr("Invoice no. 2024000001"));
  EXPECT_THAT(text, ::testing::HasSubstr("$1,298.60"));
  EXPECT_THAT(text, ::testing::HasSubstr("$1,678.75"));
  EXPECT_THAT(text, ::testing::HasSubstr("$2,977.35"));
  EXPECT_THAT(text, ::testing::Not(::testing::HasSubstr("Not invoiced")));
  CheckGolden("rInvoice", model);
}

// The in-memory time sheet table as the time-sheet fill leaves it: one row per week and charge
// account (with `by_code`, per charge account and job code), hours in the weekday columns.
// `first_day` is the first day of the first week in June 2024 (2 a Sunday, 3 a Monday).
void FillTimeSheet(engine::Database& db, engine::Table& table, int first_day, bool by_code) {
  db.CreateTempTable(engine::MemTimeSheetDef());
  table.Open(engine::OpenMode::Exclusive);
  table.SetIndexName("Account");
  struct Entry {
    const char* account;
    const char* code;
    int week;  // 0 or 1
    const char* day;
    double hours;
  };
  const Entry entries[] = {
      {"Web shop", "DEV", 0, "Mo", 3.5},  {"Web shop", "DEV", 0, "We", 2.0 - 0.941 / 3600},
      {"Web shop", "DEV", 0, "Th", 1.5},  {"Web shop", "DES", 0, "Mo", 4.25},
      {"Internal", "ADM", 0, "Tu", 1.5},  {"MNT", "N/A", 0, "Fr", 1.75},
      {"Web shop", "DEV", 1, "Mo", 8.5},  {"Internal", "ADM", 1, "Tu", 1.75},
      {"MNT", "DEV", 1, "Th", 2 + 1 / 3.0},
  };
  for (const Entry& e : entries) {
    const Value week = Value::Date(EncodeDate(2024, 6, first_day + 7 * e.week));
    const std::string code = by_code ? e.code : "";
    if (!table.Locate("Account;Code;WeekStart", {Value::Text(e.account), code.empty() ? Value() : Value::Text(code), week})) {
      table.Append();
      table.SetFieldValue("Account", Value::Text(e.account));
      if (!code.empty()) table.SetFieldValue("Code", Value::Text(code));
      table.SetFieldValue("WeekStart", week);
    } else {
      table.Edit();
    }
    table.SetFieldValue(e.day, Value::Float(table.FieldValue(e.day).AsFloat() + e.hours));
    table.Post();
  }
}

TEST_F(ShippedReports, TimeSheetByChargeAccount) {
  engine::Table table(*db_, "memTimeSheet");
  FillTimeSheet(*db_, table, 2, false);
  TableRowSource rows(table);
  Report report;
  Prepare(report, "rTimeSheet.frf");
  report.SetTitle("Hours for period");
  Report::SetGlobalVariable("varGroupBy1", "Charge Account");
  report.BindDataSource(kMasterDataSet, &rows);
  report.on_before_print = [](Report& r, PrintingObject&) {
    r.SetTitle(FormatValue(r.VariableValue("varStrTitle")));
  };
  const PageModel model = report.BuildPages();
  EXPECT_EQ(model.title, "Hours for period 06/03/2024 - 06/14/2024");
  EXPECT_THAT(ExportText(model), ::testing::HasSubstr("27.08"));
  CheckGolden("rTimeSheet-by-account", model);
}

TEST_F(ShippedReports, TimeSheetByChargeAccountAndJobCodeWithUserFunctions) {
  engine::Table table(*db_, "memTimeSheet");
  FillTimeSheet(*db_, table, 3, true);
  TableRowSource rows(table);
  Report report;
  Prepare(report, "rTimeSheet.frf");
  Report::SetGlobalVariable("varGroupBy2", "Job Code");
  // What the time-sheet run writes for a week starting on Monday with rounding to a quarter hour.
  ASSERT_TRUE(report.SetObjectText("FldAccountOrCode", "[Code]"));
  ASSERT_TRUE(report.SetVisible("GroupHeaderCharge", true));
  ASSERT_TRUE(report.SetVisible("GroupFooterCharge", true));
  const char* days[] = {"Mo", "Tu", "We", "Th", "Fr", "Sa", "Su"};
  for (int n = 1; n <= 7; ++n) {
    const std::string day = days[n - 1], expr = "FracRound(" + day + ")";
    Report::SetGlobalVariable("varWDay" + std::to_string(n), day);
    ASSERT_TRUE(report.SetObjectText("FldDay" + std::to_string(n), "[FormatDec(" + expr + ")]"));
    ASSERT_TRUE(report.SetObjectText("FldSumDay" + std::to_string(n), "[FormatDec(Sum([" + expr + "]))]"));
    ASSERT_TRUE(report.SetObjectText("FldGrpDay" + std::to_string(n), "[FormatDec(Sum([" + expr + "]))]"));
  }
  report.on_user_function = [](const std::string& name, const std::string& arg1, const std::string&,
                               const std::string&, Value& result, const EvaluateText& evaluate) {
    const double x = ValueToNumber(evaluate(arg1));
    if (QString::fromStdString(name).compare("FracRound", Qt::CaseInsensitive) == 0) {
      result = Value::Float(RoundToMultiple(false, x, 0.25));
    } else if (QString::fromStdString(name).compare("FormatDec", Qt::CaseInsensitive) == 0) {
      result = Value::Text(FormatNumberPattern("#,##0.00", x));
    }
  };
  report.BindDataSource(kMasterDataSet, &rows);
  const PageModel model = report.BuildPages();
  const std::string text = ExportText(model);
  EXPECT_THAT(text, ::testing::HasSubstr("Charge Account / Job Code"));
  EXPECT_THAT(text, ::testing::HasSubstr("2.25"));  // 2 h 20 min rounded to a quarter hour
  CheckGolden("rTimeSheet-by-account-and-code", model);
}

}  // namespace
}  // namespace tikora::report::test
