// Report data: filter conditions, the weekly time sheet fills, the day columns and the report
// functions.
#include "admin/report_data.h"

#include <charconv>
#include <cmath>

#include "admin_fixture.h"
#include "core/text_helpers.h"
#include "locale_guard.h"
#include "report/report.h"

namespace tikora::admin::test {
namespace {

DateTime At(const std::string& text) {
  return *ParseIsoTimestampText(text);
}

class TimeSheetTest : public AdminTest {
 protected:
  void SetUp() override {
    AdminTest::SetUp();
    StartDataModule();
  }
  void Account(const std::string& id, const std::string& description) {
    dm_->tblAccts().Append();
    dm_->tblAccts().SetFieldValue("Charge Account", Value::Text(id));
    if (!description.empty())
      dm_->tblAccts().SetFieldValue("Description", Value::Text(description));
    dm_->tblAccts().Post();
  }
  std::int64_t Time(const std::string& account, const std::string& start, const std::string& end,
                    const std::string& job = "") {
    return AddTime(dm_->tblHist(), "ann", account, start, end, job);
  }
  ReportChoices Period(const std::string& from, const std::string& to) {
    ReportChoices c;
    c.from = ParseIsoDate(from);
    c.to = ParseIsoDate(to);
    return c;
  }
  // Rows of the time sheet table as "label|code|weekstart|Su..Sa hours rounded to 0.001".
  std::vector<std::string> Rows() {
    std::vector<std::string> out;
    engine::Table& t = dm_->tblmemTS();
    t.SetIndexName("");
    for (t.First(); !t.Eof(); t.Next()) {
      std::string row = t.FieldValue("Account").AsText() + "|" + t.FieldValue("Code").AsText() +
                        "|" + IsoDate(t.FieldValue("WeekStart").AsDateTime());
      for (const char* d : {"Su", "Mo", "Tu", "We", "Th", "Fr", "Sa"}) {
        const Value v = t.FieldValue(d);
        char buf[32];
        const auto end =
            std::to_chars(buf, buf + sizeof buf, std::round(v.AsFloat() * 1000) / 1000).ptr;
        row += "|" + (v.IsNull() ? std::string() : std::string(buf, end));
      }
      out.push_back(row);
    }
    return out;
  }
};

TEST(SplitAtMidnightTest, EntriesPastOneMidnightSplitExactlyThere) {
  struct Case {
    const char* start;
    const char* end;
    std::vector<std::pair<int, double>> parts;  // weekday, hours
  };
  const Case cases[] = {
      // Tuesday 22:00 to Wednesday 01:30.
      {"2024-03-05 22:00:00", "2024-03-06 01:30:00", {{3, 2.0}, {4, 1.5}}},
      // Monday 09:00 to the Wednesday after: all on Monday.
      {"2024-03-04 09:00:00", "2024-03-06 10:00:00", {{2, 49.0}}},
      {"2024-03-04 09:00:00", "2024-03-04 17:15:00", {{2, 8.25}}},
      // Ending exactly at midnight: nothing on the next day.
      {"2024-03-09 23:00:00", "2024-03-10 00:00:00", {{7, 1.0}, {1, 0.0}}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.start);
    const auto parts = SplitAtMidnight(At(c.start), At(c.end));
    ASSERT_EQ(parts.size(), c.parts.size());
    for (std::size_t i = 0; i < parts.size(); ++i) {
      EXPECT_EQ(parts[i].weekday, c.parts[i].first);
      EXPECT_DOUBLE_EQ(parts[i].hours, c.parts[i].second);
    }
  }
}

TEST_F(TimeSheetTest, ConditionsQuoteValuesAndNameTheDatesOnlyForTimeTables) {
  ReportChoices c = Period("2024-03-01", "2024-03-31");
  EXPECT_EQ(BuildReportFilter(*config_, "SELECT * FROM Expenses", c), "");
  EXPECT_EQ(BuildReportFilter(*config_, "SELECT * FROM Archive", c),
            "[Start Time] Between '2024-03-01' And '2024-04-01' And [End Time] <> Null");
  c.account = "A\"1";
  c.client = "C1";
  c.security_on = true;
  config_->CurrentUserId = "a-very-long-user-name";
  EXPECT_EQ(BuildReportFilter(*config_, "SELECT * FROM Invoices", c),
            "[User ID] = \"a-very-long-use\" AND [Account] = \"A\"\"1\" AND [ClientID] = \"C1\"");
  EXPECT_EQ(config_->ReportFilter, BuildReportFilter(*config_, "x", c));

  EXPECT_EQ(
      TimeSheetSql(*config_, kTimeSheetByJobCode, Period("2024-03-01", "2024-03-31")).condition,
      "[Start Time] Between :Date1 And :Date2 AND [End Time] <> Null");
  const TimeSheetStatement s3 = TimeSheetSql(*config_, kTimeSheetByAccountAndCode, c);
  EXPECT_EQ(
      s3.condition,
      "[User ID] = \"a-very-long-use\" AND  [Account] = \"A\"\"1\" AND [ClientID] = \"C1\" AND "
      "[Start Time] Between :Date1 And :Date2 And [End Time] <> Null");
  EXPECT_EQ(s3.sql.substr(s3.sql.size() - 25), " Order By WeekStart, 1, 2");
}

TEST_F(TimeSheetTest, ByAccountSplitsAtMidnightIntoTheWeekOfTheStart) {
  Account("DEV", "Development");
  config_->DayOfWeek = 1;                                     // weeks start on Monday
  Time("DEV", "2024-03-05 22:00:00", "2024-03-06 01:30:00");  // Tue -> Wed
  Time("DEV", "2024-03-10 22:00:00", "2024-03-11 02:00:00");  // Sun -> Mon of the next week
  Time("DEV", "2024-03-11 09:00:00", "");                     // still running: never reported
  Time("DEV", "2024-03-12 09:00:00", "2024-03-12 10:00:00");  // after the period
  ReportChoices c = Period("2024-03-04", "2024-03-11");
  EXPECT_EQ(FillTimeSheetByAccount(*dm_, *access_, *config_, c), 2);
  EXPECT_EQ(Rows(), (std::vector<std::string>{"Development||2024-03-04|2|2|2|1.5|||"}));
  // The records summed are exactly the ones marked printed.
  EXPECT_EQ(access_->MarkPrinted(c.from, DateTime(c.to.days + 1)), 2);
}

TEST_F(TimeSheetTest, SundayStartsTheWeekWithDayOfWeekZero) {
  Account("DEV", "Development");
  config_->DayOfWeek = 0;
  Time("DEV", "2024-03-10 22:00:00", "2024-03-11 02:00:00");  // Sun -> Mon
  Time("DEV", "2024-03-09 10:00:00", "2024-03-09 12:00:00");  // Saturday before
  FillTimeSheetByAccount(*dm_, *access_, *config_, Period("2024-03-01", "2024-03-31"));
  EXPECT_EQ(Rows(), (std::vector<std::string>{"Development||2024-03-03|||||||2",
                                              "Development||2024-03-10|2|2|||||"}));
}

TEST_F(TimeSheetTest, LabelsFallBackToTheIdThenUnknownAndNA) {
  Account("NODESC", "");
  config_->DayOfWeek = 1;
  Time("NODESC", "2024-03-04 09:00:00", "2024-03-04 10:00:00");
  Time("GHOST", "2024-03-04 11:00:00", "2024-03-04 12:00:00");
  Time("", "2024-03-04 13:00:00", "2024-03-04 14:00:00");
  FillTimeSheetByAccount(*dm_, *access_, *config_, Period("2024-03-04", "2024-03-10"));
  EXPECT_EQ(Rows(),
            (std::vector<std::string>{"NODESC||2024-03-04||1|||||", "GHOST||2024-03-04||1|||||",
                                      "Unknown||2024-03-04||1|||||"}));
  FillTimeSheetByJobCode(*dm_, *access_, *config_, Period("2024-03-04", "2024-03-10"));
  EXPECT_EQ(Rows(), (std::vector<std::string>{"N/A||2024-03-04||3|||||"}));
  Time("NODESC", "2024-03-05 09:00:00", "2024-03-05 09:30:00", "CODE");
  FillTimeSheetByAccountAndCode(*dm_, *access_, *config_, Period("2024-03-04", "2024-03-10"));
  EXPECT_EQ(Rows(), (std::vector<std::string>{
                        "NODESC|N/A|2024-03-04||1|||||", "GHOST|N/A|2024-03-04||1|||||",
                        "Unknown|N/A|2024-03-04||1|||||", "NODESC|CODE|2024-03-04|||0.5||||"}));
}

TEST_F(TimeSheetTest, ALabelThatBeginsAnEarlierRowSharesIt) {
  Account("A1", "Dev");
  Account("A2", "Development");
  config_->DayOfWeek = 1;
  // The longer description comes first: the shorter one matches it as a prefix.
  Time("A2", "2024-03-04 09:00:00", "2024-03-04 10:00:00");
  Time("A1", "2024-03-05 09:00:00", "2024-03-05 10:00:00");
  FillTimeSheetByAccount(*dm_, *access_, *config_, Period("2024-03-04", "2024-03-10"));
  EXPECT_EQ(Rows(), (std::vector<std::string>{"Development||2024-03-04||1|1||||"}));
  // The other way round they stay apart.
  Time("A1", "2024-03-11 09:00:00", "2024-03-11 10:00:00");
  Time("A2", "2024-03-12 09:00:00", "2024-03-12 10:00:00");
  FillTimeSheetByAccount(*dm_, *access_, *config_, Period("2024-03-11", "2024-03-17"));
  EXPECT_EQ(Rows(), (std::vector<std::string>{"Dev||2024-03-11||1|||||",
                                              "Development||2024-03-11|||1||||"}));
}

TEST_F(TimeSheetTest, QuotesInChoicesCannotBreakTheStatement) {
  Account("DEV", "Development");
  Time("DEV", "2024-03-04 09:00:00", "2024-03-04 10:00:00");
  ReportChoices c = Period("2024-03-04", "2024-03-10");
  c.account = "X\" OR \"1\"=\"1";
  for (int report : {1, 2, 3}) {
    SCOPED_TRACE(report);
    EXPECT_EQ(FillTimeSheet(*dm_, *access_, *config_, report, c), 0);
  }
}

TEST(DayColumnsTest, WeekOrderAndRounding) {
  TConfig config(ConfigVariant::Administrator);
  struct Case {
    int day_of_week;
    std::string first;
    std::string last;
  };
  for (const Case& c :
       {Case{1, "Mo", "Su"}, Case{0, "Su", "Sa"}, Case{7, "Su", "Sa"}, Case{6, "Sa", "Fr"}}) {
    SCOPED_TRACE(c.day_of_week);
    config.DayOfWeek = static_cast<std::uint16_t>(c.day_of_week);
    const TimeSheetColumns cols = SetDayColumns(config, 1);
    std::map<std::string, std::string> vars(cols.variables.begin(), cols.variables.end());
    EXPECT_EQ(vars["varWDay1"], c.first);
    EXPECT_EQ(vars["varWDay7"], c.last);
  }
  config.DayOfWeek = 1;
  config.Rounding = true;
  TimeSheetColumns r = SetDayColumns(config, 3);
  std::map<std::string, std::string> texts(r.object_texts.begin(), r.object_texts.end());
  EXPECT_EQ(texts["FldDay1"], "[FormatDec(FracRound(Mo))]");
  EXPECT_EQ(texts["FldSumDay1"], "[FormatDec(Sum([FracRound(Mo)]))]");
  EXPECT_EQ(texts["FldGrpDay7"], "[FormatDec(Sum([FracRound(Su)]))]");
  EXPECT_EQ(texts["FldAccountOrCode"], "[Code]");
  config.Rounding = false;
  TimeSheetColumns plain = SetDayColumns(config, 1);
  std::map<std::string, std::string> ptexts(plain.object_texts.begin(), plain.object_texts.end());
  EXPECT_EQ(ptexts["FldSumDay1"], "[FormatDec(Sum([Mo]))]");
  EXPECT_EQ(ptexts.count("FldGrpDay1"), 0u);
}

TEST(ReportFunctionsTest, FracRoundFollowsTheSettings) {
  TConfig config(ConfigVariant::Administrator);
  struct Case {
    bool rounding, up;
    double unit, hours, expected;
  };
  const Case cases[] = {
      {true, false, 0.25, 1.3, 1.25},  {true, false, 0.25, 1.375, 1.5},
      {true, false, 0.25, 1.125, 1.0}, {true, true, 0.25, 1.3, 1.5},
      {true, false, 0.0, 7.7, 0.0},    {false, false, 0.25, 1.3, 1.3},
  };
  for (const auto& c : cases) {
    config.Rounding = c.rounding;
    config.RoundUp = c.up;
    config.Round = c.unit;
    EXPECT_DOUBLE_EQ(FracRound(config, c.hours), c.expected) << c.hours << " unit " << c.unit;
  }
}

TEST(ReportFunctionsTest, CallbackServesItsFiveNamesInAnyCase) {
  tikora::test::ScopedLocale c_locale("C.UTF-8");
  ASSERT_TRUE(c_locale.ok());
  TConfig config(ConfigVariant::Administrator);
  config.Rounding = true;
  config.Round = 0.25;
  config.RoundUp = false;
  auto evaluate = [](const std::string& text) {
    if (text == "Empty") return Value::Null();
    if (text == "Word") return Value::Text("abc");
    return Value::Float(std::stod(text));
  };
  struct Case {
    const char* name;
    const char* arg;
    Value expected;
  };
  const Case cases[] = {
      {"formatdec", "1234.5", Value::Text("1,234.50")},
      {"FormatDec", "Empty", Value::Text("0.00")},
      {"FormatDec", "-0.005", Value::Text("-0.01")},
      {"FRACROUND", "1.3", Value::Float(1.25)},
      {"FormatDate", "45351", Value::Text("02/29/2024")},
      {"FormatTime", "0.75", Value::Text("18:00")},
      {"NotOurs", "1", Value::Text("engine's")},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    Value result = Value::Text("engine's");
    ReportUserFunction(config, c.name, c.arg, "ignored", "", result, evaluate);
    EXPECT_EQ(result, c.expected);
  }
  EXPECT_EQ(FormatCurr(1234.5, "$"), "$1,234.50");
  EXPECT_EQ(FormatCurr(0.125, "$"), "$0.13");
  Value result;
  EXPECT_THROW(ReportUserFunction(config, "FormatDec", "Word", "", "", result, evaluate),
               ConversionError);

  tikora::test::ScopedLocale german("de_DE.UTF-8");
  if (!german.ok()) GTEST_SKIP() << "de_DE.UTF-8 is not installed";
  EXPECT_EQ(FormatDec(1234567.891), "1.234.567,89");
}

TEST_F(TimeSheetTest, BuildingTheConnectedReportMarksTheSummedRecordsPrinted) {
  Account("DEV", "Development");
  Time("DEV", "2024-03-04 09:00:00", "2024-03-04 10:00:00");
  Time("DEV", "2024-03-20 09:00:00", "2024-03-20 10:00:00");
  const ReportChoices c = Period("2024-03-01", "2024-03-10");
  FillTimeSheetByJobCode(*dm_, *access_, *config_, c);
  report::Report rep;
  ConnectTimeSheetReport(rep, *access_, *config_, c);
  EXPECT_EQ(CountRows(data_, "TimeHist", "[Printed] = True"), 0);
  rep.BuildPages();
  EXPECT_EQ(CountRows(data_, "TimeHist", "[Printed] = True"), 1);
}

TEST_F(TimeSheetTest, AppliedColumnsReachALoadedDefinition) {
  report::Report rep;
  config_->DayOfWeek = 1;
  config_->Rounding = false;
  ApplyTimeSheetColumns(rep,
                        SetDayColumns(*config_, 1));  // objects the definition lacks are skipped
  EXPECT_EQ(report::Report::GlobalVariable("varWDay1"), Value::Text("Mo"));
  EXPECT_EQ(report::Report::GlobalVariable("varGroupBy1"), Value::Text("Charge Account"));
}

}  // namespace
}  // namespace tikora::admin::test
