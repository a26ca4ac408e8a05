// Running catalogue entries over the shipped definitions: which definition and title each entry
// gets, the filters, the time sheet's totals, the invoice and the failures a user sees.
#include "admin/report_runs.h"

#include <algorithm>

#include "admin_fixture.h"
#include "core/text_helpers.h"
#include "report/report.h"

namespace tikora::admin::test {
namespace {

// Every printed text of a build, one per line, pages in order.
std::string AllText(const report::PageModel& model) {
  std::string out;
  for (const auto& page : model.pages)
    for (const auto& item : page.items)
      if (item.kind == report::ObjectKind::Text) out += item.text + "\n";
  return out;
}

// The texts of the objects named `name`, in print order.
std::vector<std::string> Texts(const report::PageModel& model, const std::string& name) {
  std::vector<std::string> out;
  for (const auto& page : model.pages)
    for (const auto& item : page.items)
      if (item.name == name) out.push_back(item.text);
  return out;
}

class ReportRunTest : public AdminTest {
 protected:
  void SetUp() override {
    AdminTest::SetUp();
    fs::copy(fs::path(TIKORA_SOURCE_DIR) / "install" / "TIKReports", program_ + "TIKReports",
             fs::copy_options::recursive);
    config_->ReportsPath = program_ + "TIKReports/";
    config_->DayOfWeek = 1;  // weeks start on Monday
    StartDataModule();
    report::Report::ClearGlobalVariables();
    AddRow(data_, "Accounts", {{"Charge Account", Value::Text("WEB")},
                               {"Description", Value::Text("Web shop")},
                               {"Rate", Value::Float(80)}});
    AddRow(data_, "Accounts", {{"Charge Account", Value::Text("OPS")},
                               {"Description", Value::Text("Operations")},
                               {"Rate", Value::Float(50)}});
    // Monday 4 March 2024: 1 h 10 min on WEB; Tuesday: 2 h on OPS; the week after: 1 h on WEB.
    AddTime(dm_->tblHist(), "ann", "WEB", "2024-03-04 09:00:00", "2024-03-04 10:10:00", "DEV");
    AddTime(dm_->tblHist(), "bob", "OPS", "2024-03-05 13:00:00", "2024-03-05 15:00:00", "RUN");
    AddTime(dm_->tblHist(), "ann", "WEB", "2024-03-11 09:00:00", "2024-03-11 10:00:00", "DEV");
    runner_ = std::make_unique<ReportRunner>(*dm_, *access_, *config_, prompter_);
  }
  void TearDown() override {
    runner_.reset();
    report::Report::ClearGlobalVariables();
    AdminTest::TearDown();
  }
  static ReportChoices Period(const char* from, const char* to) {
    ReportChoices c;
    c.from = ParseIsoDate(from);
    c.to = ParseIsoDate(to);
    return c;
  }
  std::vector<std::string> Errors() const {
    std::vector<std::string> out;
    for (const auto& m : prompter_.Messages()) out.push_back(m.text);
    return out;
  }

  std::unique_ptr<ReportRunner> runner_;
  const DateTime today_ = EncodeDate(2024, 4, 2);
};

TEST_F(ReportRunTest, EveryBuiltInEntryRunsItsDefinitionUnderItsTitle) {
  config_->ChargeAccountTerm = "Project";
  config_->AccountCodeTerm = "Task";
  struct Case {
    std::int64_t id;
    const char* title;  // empty: the definition's own
    std::string shows;  // a text the report must print for the fixture (numbers as the locale writes them)
  };
  const Case cases[] = {
      {1, "Hours for period", "Web shop"},
      {2, "Hours for period", "RUN"},
      {3, "Hours for period", "Operations"},
      {4, "Detail Time Report for period", "bob"},
      {5, "Detail Time Report by Project and Date", "Operations"},
      {6, "Summary by Project and Task", "RUN"},
      {8, "Per Week Report", FormatDec(25.0 / 6)},  // both weeks: 3 h 10 min, then 1 h
      {9, "Report By Project and Task", "DEV"},
      {10, "Summary Time Report by Project and User", "ann"},
  };
  const ReportChoices march = Period("2024-03-01", "2024-03-31");
  for (const auto& c : cases) {
    SCOPED_TRACE(c.id);
    std::optional<report::PageModel> pages = runner_->RunReport(c.id, "ignored", march, today_);
    ASSERT_TRUE(pages) << ::testing::PrintToString(Errors());
    EXPECT_GE(pages->pages.size(), 1u);
    if (c.id > 3) {  // time sheets take their title from varStrTitle at print time
      EXPECT_EQ(pages->title, c.title);
    }
    EXPECT_NE(AllText(*pages).find(c.shows), std::string::npos) << AllText(*pages);
  }
  EXPECT_TRUE(Errors().empty());
}

TEST_F(ReportRunTest, ACustomEntryRunsItsFileUnderItsBaseNameAndFiltersApply) {
  // Entry 4 runs its fixed definition whatever FileName says; entry 11 runs its FileName.
  fs::copy_file(config_->ReportsPath + "rDetailProjDate.frf", config_->ReportsPath + "Mine.frf");
  AddRow(data_, "Reports", {{"ReportID", Value::Integer(11)},
                            {"ReportTitle", Value::Text("My detail")},
                            {"FileName", Value::Text("Mine.frf")},
                            {"Visible", Value::Boolean(true)}});
  ReportChoices web = Period("2024-03-01", "2024-03-31");
  web.account = "WEB";
  auto pages = runner_->RunReport(11, "My detail", web, today_);
  ASSERT_TRUE(pages) << ::testing::PrintToString(Errors());
  EXPECT_EQ(pages->title, "Mine");
  const std::string text = AllText(*pages);
  EXPECT_NE(text.find("ann"), std::string::npos);
  EXPECT_EQ(text.find("bob"), std::string::npos);  // OPS is filtered out
  EXPECT_EQ(config_->ReportFilter,
            "[Account] = \"WEB\" AND [Start Time] Between '2024-03-01' And '2024-04-01' And "
            "[End Time] <> Null");
  EXPECT_FALSE(dm_->qryReport().Active());

  // The period's upper day is inclusive: the second week's record is outside 1-10 March.
  auto first_week = runner_->RunReport(4, "", Period("2024-03-01", "2024-03-10"), today_);
  ASSERT_TRUE(first_week);
  const std::string week_text = AllText(*first_week);
  EXPECT_NE(week_text.find(FormatShortDate(EncodeDate(2024, 3, 5))), std::string::npos);
  EXPECT_EQ(week_text.find(FormatShortDate(EncodeDate(2024, 3, 11))), std::string::npos);
}

TEST_F(ReportRunTest, FailuresAreShownWithTheirOwnTextAndRunNothing) {
  const ReportChoices march = Period("2024-03-01", "2024-03-31");
  // A custom title without a catalogue row points at the reports folder itself.
  EXPECT_FALSE(runner_->RunReport(12, "No such entry", march, today_));
  // A definition without its SQL variable.
  report::Report empty;
  empty.SaveToFile(config_->ReportsPath + "NoSql.frf");
  EXPECT_FALSE(runner_->RunCustomReport(config_->ReportsPath + "NoSql.frf", false, march));
  // A statement the database rejects.
  report::Report bad;
  bad.definition().variables.push_back({"SQL", "Select Nonsense From NoSuchTable"});
  bad.SaveToFile(config_->ReportsPath + "Bad.frf");
  EXPECT_FALSE(runner_->RunCustomReport(config_->ReportsPath + "Bad.frf", false, march));
  // The time sheet's definition missing.
  fs::remove(config_->ReportsPath + "rTimeSheet.frf");
  EXPECT_FALSE(runner_->RunReport(1, "", march, today_));

  const std::vector<std::string> errors = Errors();
  ASSERT_EQ(errors.size(), 4u);
  EXPECT_EQ(errors[0], "Could not find report file: " + config_->ReportsPath);
  EXPECT_NE(errors[1].find("SQL"), std::string::npos);
  EXPECT_NE(errors[2].find("NoSuchTable"), std::string::npos);
  EXPECT_EQ(errors[3], "Could not find report file: " + config_->ReportsPath + "rTimeSheet.frf");
  EXPECT_FALSE(dm_->qryReport().Active());
  // Nothing was marked printed by the time sheet that could not be printed.
  EXPECT_EQ(CountRows(data_, "TimeHist", "[Printed] = True"), 0);
}

TEST_F(ReportRunTest, TimeSheetTotalsAddTheFiguresAsPrintedAndCaptionsFollowEachRun) {
  config_->Rounding = true;
  config_->RoundUp = false;
  config_->Round = 0.5;  // 1 h 10 min prints as 1.00
  const ReportChoices first_week = Period("2024-03-04", "2024-03-10");
  // Report 3 first, so that its captions would be left behind for report 1.
  ASSERT_TRUE(runner_->RunReport(3, "", first_week, today_));
  auto pages = runner_->RunReport(1, "", first_week, today_);
  ASSERT_TRUE(pages) << ::testing::PrintToString(Errors());
  EXPECT_EQ(Texts(*pages, "FldRowTotal"), (std::vector<std::string>{FormatDec(2), FormatDec(1)}));
  EXPECT_EQ(Texts(*pages, "FldSumTotal"), std::vector<std::string>{FormatDec(3)});
  EXPECT_EQ(Texts(*pages, "FldGrandTotal"), std::vector<std::string>{FormatDec(3)});
  const std::string text = AllText(*pages);
  EXPECT_EQ(text.find("Charge Account / "), std::string::npos) << text;
  EXPECT_EQ(pages->title, "Hours for period " + FormatShortDate(first_week.from) + " - " +
                              FormatShortDate(first_week.to));
  // Building the pages marked the two summed records printed, not the next week's.
  EXPECT_EQ(CountRows(data_, "TimeHist", "[Printed] = True"), 2);
}

TEST_F(ReportRunTest, TheInvoicePrintsTheStampedTimeAndExpenses) {
  AddRow(data_, "Expenses", {{"Account", Value::Text("WEB")},
                             {"ExpenseDate", Value::Text("2024-03-31")},
                             {"Description", Value::Text("Train fare")},
                             {"Amount", Value::Float(42.5)}});
  ReportChoices web = Period("2024-03-01", "2024-03-31");
  web.account = "WEB";

  prompter_.QueueInput(std::nullopt);  // cancelled: nothing stamped, nothing run
  EXPECT_FALSE(runner_->RunReport(kInvoiceReport, "", web, today_));
  EXPECT_EQ(CountRows(data_, "TimeHist", "[Invoice] <> Null"), 0);

  prompter_.QueueInput("2024000777");
  auto pages = runner_->RunReport(kInvoiceReport, "", web, today_);
  ASSERT_TRUE(pages) << ::testing::PrintToString(Errors());
  const std::string text = AllText(*pages);
  EXPECT_NE(text.find("2024000777"), std::string::npos) << text;
  EXPECT_NE(text.find("Train fare"), std::string::npos);
  EXPECT_EQ(text.find("Operations"), std::string::npos);
  EXPECT_EQ(CountRows(data_, "TimeHist", "[Invoice] = '2024000777'"), 2);
  // Two WEB records of 70 and 60 minutes at 80 an hour, and the fare.
  EXPECT_NE(text.find(FormatDec(130.0 / 60 * 80)), std::string::npos) << text;
  EXPECT_NE(text.find(FormatDec(42.5)), std::string::npos);
}

}  // namespace
}  // namespace tikora::admin::test
