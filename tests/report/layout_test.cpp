// Definitions, variables, callbacks and the banded layout.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <QString>
#include <cmath>
#include <filesystem>
#include <fstream>

#include "locale_guard.h"
#include "report_fixture.h"

namespace tikora::report::test {
namespace {

using ::testing::ElementsAre;

// Rows 1..n with Hours = the row number and Account "G<k>" in groups of `group_size`.
MemoryRowSource NumberedRows(int n, int group_size) {
  MemoryRowSource rows({{"Account", FieldKind::Text}, {"Hours", FieldKind::Number}});
  for (int i = 1; i <= n; ++i) {
    rows.AddRow({Value::Text("G" + std::to_string((i - 1) / group_size + 1)), Value::Integer(i)});
  }
  return rows;
}

// A page 100 mm high with 10 mm margins, a 10 mm page header and footer: six 10 mm bands fit.
Definition SmallPages() {
  Definition def;
  def.page = PageSetup{100, 100, 10, 10, 10, 10};
  def.bands.push_back(MakeBand(BandType::PageHeader, 10, {Text("", 0, 40, "Hours")}));
  def.bands.push_back(
      MakeBand(BandType::PageFooter, 10, {Text("Foot", 0, 80, "Page [Page] of [TotalPages]: [Sum(Hours)]")}));
  return def;
}

class LayoutTest : public ::testing::Test {
 protected:
  void SetUp() override { Report::ClearGlobalVariables(); }
  tikora::test::ScopedLocale locale_{"C.UTF-8"};
};

TEST_F(LayoutTest, NestedGroupsPrintTheirTotals) {
  MemoryRowSource rows = HoursByAccount();
  Report report;
  Definition& def = report.definition();
  def.bands.push_back(MakeBand(BandType::PageHeader, 6, {Text("", 0, 40, "Hours by account")}));
  Band outer = MakeBand(BandType::GroupHeader, 6, {Text("", 0, 60, "== [IIF(Account = 'Gamma', 'late', 'early')]")});
  outer.condition = "IIF(Account = 'Gamma', 'late', 'early')";
  Band inner = MakeBand(BandType::GroupHeader, 6, {Text("", 0, 60, "[Account]")});
  inner.condition = "[Account]";
  def.bands.push_back(outer);
  def.bands.push_back(inner);
  def.bands.push_back(MakeBand(BandType::MasterData, 5, {Text("", 10, 30, "[Line]. [Hours]")}));
  // The first footer closes the innermost group.
  def.bands.push_back(MakeBand(BandType::GroupFooter, 6, {Text("", 0, 60, "Total [Account]: [Sum(Hours)]")}));
  def.bands.push_back(MakeBand(BandType::GroupFooter, 6, {Text("", 0, 60, "== [Sum(Hours)] in [Count()]")}));
  def.bands.push_back(MakeBand(BandType::Summary, 6, {Text("", 0, 60, "All: [Sum(Hours)] in [Count()] rows")}));
  def.bands.push_back(MakeBand(BandType::ReportTitle, 6, {Text("", 0, 60, "[Count()] rows")}));  // first, whatever its place
  report.BindDataSource(kMasterDataSet, &rows);

  const PageModel model = report.BuildPages();
  ASSERT_EQ(model.pages.size(), 1u);
  EXPECT_THAT(PageTexts(model.pages[0]),
              ElementsAre("5 rows", "Hours by account", "== early", "Alpha", "1. 1.5", "2. 2.25", "Total Alpha: 3.75",
                          "Beta", "3. 4", "Total Beta: 4", "== 7.75 in 3", "== late", "Gamma", "4. 0", "5. 0.5",
                          "Total Gamma: 0.5", "== 0.5 in 2", "All: 8.25 in 5 rows"));
}

TEST_F(LayoutTest, PagesBreakBetweenBandsAndFootersSumTheirPage) {
  MemoryRowSource rows = NumberedRows(20, 100);
  Report report;
  report.definition() = SmallPages();
  report.definition().bands.push_back(MakeBand(BandType::MasterData, 10, {Text("", 0, 30, "[Hours]")}));
  int ends = 0;
  report.on_end_of_document = [&](Report&) { ++ends; };
  report.BindDataSource(kMasterDataSet, &rows);

  const PageModel model = report.BuildPages();
  EXPECT_EQ(ends, 1);  // also when a first pass counted the pages
  ASSERT_EQ(model.pages.size(), 4u);
  const char* footers[] = {"Page 1 of 4: 21", "Page 2 of 4: 57", "Page 3 of 4: 93", "Page 4 of 4: 39"};
  for (std::size_t p = 0; p < 4; ++p) {
    SCOPED_TRACE(p);
    const Page& page = model.pages[p];
    EXPECT_EQ(PageTexts(page).front(), "Hours");
    EXPECT_EQ(PageTexts(page).back(), footers[p]);
    for (const PageItem& item : page.items) {
      if (item.name == "Foot") {
        EXPECT_DOUBLE_EQ(item.y, 80);  // at the foot of the page
      } else {
        EXPECT_LE(item.y + 10, 80 + 1e-9) << item.text;  // no band runs into the footer
      }
    }
  }
  EXPECT_EQ(PageTexts(model.pages[3]).size(), 4u);  // header, rows 19 and 20, footer
}

TEST_F(LayoutTest, GroupHeaderKeptWithItsFirstRow) {
  // Groups of four: the second header would be the sixth band of page 1.
  for (bool keep : {false, true}) {
    SCOPED_TRACE(keep);
    MemoryRowSource rows = NumberedRows(12, 4);
    Report report;
    report.definition() = SmallPages();
    Band header = MakeBand(BandType::GroupHeader, 10, {Text("", 0, 40, "== [Account]")});
    header.condition = "Account";
    header.keep_with_next = keep;
    report.definition().bands.push_back(header);
    report.definition().bands.push_back(MakeBand(BandType::MasterData, 10, {Text("", 0, 30, "[Hours]")}));
    report.BindDataSource(kMasterDataSet, &rows);
    const PageModel model = report.BuildPages();
    const std::vector<std::string> first = PageTexts(model.pages.at(0));
    const std::string last_band = first[first.size() - 2];  // before the page footer
    EXPECT_EQ(last_band, keep ? "4" : "== G2");
    EXPECT_EQ(PageTexts(model.pages.at(1))[1], keep ? "== G2" : "5");
  }
}

TEST_F(LayoutTest, GroupsOnNewPagesAndHiddenBands) {
  MemoryRowSource rows = NumberedRows(6, 2);
  Report report;
  report.definition() = SmallPages();
  Band header = MakeBand(BandType::GroupHeader, 10, {Text("", 0, 40, "== [Account]")}, "GroupHeaderAccount");
  header.condition = "Account";
  header.new_page_before = true;
  report.definition().bands.push_back(header);
  report.definition().bands.push_back(MakeBand(BandType::MasterData, 10, {Text("FldHours", 0, 30, "[Hours]")}));
  report.BindDataSource(kMasterDataSet, &rows);
  EXPECT_EQ(report.BuildPages().pages.size(), 3u);

  // Hiding the group header removes its group; objects change their text by name.
  ASSERT_TRUE(report.SetVisible("GroupHeaderAccount", false));
  ASSERT_TRUE(report.SetObjectText("FldHours", "h=[Hours * 10]"));
  EXPECT_FALSE(report.SetObjectText("NoSuchObject", "x"));
  const PageModel model = report.BuildPages();
  ASSERT_EQ(model.pages.size(), 1u);
  EXPECT_EQ(PageTexts(model.pages[0])[1], "h=10");
}

TEST_F(LayoutTest, StretchingTextGrowsItsBand) {
  MemoryRowSource rows({{"Comments", FieldKind::Text}});
  rows.AddRow({Value::Text("one two three four five six seven eight nine ten eleven twelve thirteen")});
  rows.AddRow({Value::Text("short")});
  Report report;
  Band data = MakeBand(BandType::MasterData, 5, {Text("", 0, 25, "[Comments]")});
  data.objects[0].stretch = true;
  report.definition().bands.push_back(data);
  report.BindDataSource(kMasterDataSet, &rows);
  const PageModel model = report.BuildPages();
  const auto& items = model.pages.at(0).items;
  ASSERT_EQ(items.size(), 2u);
  EXPECT_NE(items[0].text.find('\n'), std::string::npos);
  EXPECT_GT(items[0].height, 10);
  EXPECT_GE(items[1].y, items[0].y + items[0].height - 1e-9);
  EXPECT_EQ(items[1].text, "short");
}

TEST_F(LayoutTest, DetailRowsFollowTheMasterRows) {
  MemoryRowSource master = HoursByAccount();
  MemoryRowSource expenses({{"Description", FieldKind::Text}, {"Amount", FieldKind::Number}});
  expenses.AddRow({Value::Text("Train"), Value::Float(12.5)});
  expenses.AddRow({Value::Text("Hotel"), Value::Integer(80)});
  Report report;
  Definition& def = report.definition();
  def.bands.push_back(MakeBand(BandType::Summary, 5, {Text("", 0, 60, "Hours [Sum(Hours)] + [Sum(Amount, 'frDBDataSet2')]")}));
  def.bands.push_back(MakeBand(BandType::MasterData, 5, {Text("", 0, 30, "[Account]")}));
  def.bands.push_back(MakeBand(BandType::DetailHeader, 5, {Text("", 0, 30, "Expenses")}));
  def.bands.push_back(MakeBand(BandType::DetailData, 5, {Text("", 0, 60, "[Description] [Amount]")}));
  def.bands.push_back(MakeBand(BandType::DetailFooter, 5, {Text("", 0, 60, "[Count()] for [Sum(Amount)]")}));
  report.BindDataSource(kMasterDataSet, &master);
  report.BindDataSource(kDetailDataSet, &expenses);
  EXPECT_THAT(PageTexts(report.BuildPages().pages.at(0)),
              ElementsAre("Alpha", "Alpha", "Beta", "Gamma", "Gamma", "Expenses", "Train 12.5", "Hotel 80",
                          "2 for 92.5", "Hours 8.25 + 92.5"));

  // Without detail rows the detail bands are left out; without master rows the summary stays.
  expenses.ClearRows();
  master.ClearRows();
  EXPECT_THAT(PageTexts(report.BuildPages().pages.at(0)), ElementsAre("Hours 0 + 0"));
}

// A user-function handler in the way the reports window serves its functions: names compared
// without regard to case, arguments evaluated through the service, unknown names left alone.
struct Call {
  std::string name, arg1, arg2;
  bool operator==(const Call&) const = default;
};

void ServeFunctions(Report& report, std::vector<Call>& calls) {
  report.on_user_function = [&calls](const std::string& name, const std::string& arg1, const std::string& arg2,
                                     const std::string&, Value& result, const EvaluateText& evaluate) {
    calls.push_back({name, arg1, arg2});
    const QString n = QString::fromStdString(name);
    if (n.compare("HalfRound", Qt::CaseInsensitive) == 0) {
      result = Value::Float(std::round(ValueToNumber(evaluate(arg1)) * 2) / 2);
    } else if (n.compare("FormatDec", Qt::CaseInsensitive) == 0) {
      result = Value::Text(FormatNumberPattern("#,##0.00", ValueToNumber(evaluate(arg1))));
    }
  };
}

TEST_F(LayoutTest, UserFunctionsGetArgumentTextsAndEvaluateInTheirContext) {
  struct Case {
    const char* text;
    std::vector<std::string> printed;  // per master row
    std::vector<Call> first_row_calls;
  };
  const Case cases[] = {
      // nested: the outer call gets the inner call's text; evaluating it calls back again
      {"[FormatDec(HalfRound(Hours))]",
       {"1.50", "2.50", "4.00", "0.00", "0.50"},
       {{"FormatDec", "HalfRound(Hours)", ""}, {"HalfRound", "Hours", ""}}},
      // names as written; the second argument arrives unevaluated
      {"[formatdec([Hours] * 1000, 1 / 0)]",
       {"1,500.00", "2,250.00", "4,000.00", "0.00", "500.00"},
       {{"formatdec", "[Hours] * 1000", "1 / 0"}}},
      // nobody serves the name: the engine's empty result stays
      {"<[Nope(Account)]>", {"<>", "<>", "<>", "<>", "<>"}, {{"Nope", "Account", ""}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    MemoryRowSource rows = HoursByAccount();
    Report report;
    std::vector<Call> calls;
    ServeFunctions(report, calls);
    report.definition().bands.push_back(MakeBand(BandType::MasterData, 5, {Text("", 0, 60, c.text)}));
    report.BindDataSource(kMasterDataSet, &rows);
    EXPECT_EQ(PageTexts(report.BuildPages().pages.at(0)), c.printed);
    ASSERT_GE(calls.size(), c.first_row_calls.size());
    EXPECT_EQ(std::vector<Call>(calls.begin(), calls.begin() + static_cast<long>(c.first_row_calls.size())),
              c.first_row_calls);
  }
}

TEST_F(LayoutTest, UserFunctionsSeeTheAggregateScopeOfTheirBand) {
  MemoryRowSource rows = HoursByAccount();
  Report report;
  std::vector<Call> calls;
  ServeFunctions(report, calls);
  Band header = MakeBand(BandType::GroupHeader, 5, {Text("", 0, 60, "[Account]: [FormatDec(Sum([HalfRound(Hours)]))]")});
  header.condition = "Account";
  report.definition().bands.push_back(header);
  report.definition().bands.push_back(MakeBand(BandType::MasterData, 5, {}));
  report.definition().bands.push_back(MakeBand(BandType::Summary, 5, {Text("", 0, 60, "[FormatDec(Sum(Hours) * 1000)]")}));
  report.BindDataSource(kMasterDataSet, &rows);
  EXPECT_THAT(PageTexts(report.BuildPages().pages.at(0)),
              ElementsAre("Alpha: 4.00", "Beta: 4.00", "Gamma: 0.50", "8,250.00"));
}

TEST_F(LayoutTest, BeforePrintCallbackMayChangeOrHideObjects) {
  MemoryRowSource rows = HoursByAccount();
  Report report;
  report.definition().SetVariable("varStrTitle", "Hours of [varWho]");
  Report::SetGlobalVariable("varWho", "Ann");
  report.definition().bands.push_back(MakeBand(
      BandType::MasterData, 5, {Text("FldAccount", 0, 30, "[Account]"), Text("FldHours", 30, 30, "[Hours]")}));
  std::vector<std::string> seen;
  report.on_before_print = [&](Report& r, PrintingObject& o) {
    seen.push_back(o.name + "=" + o.text);
    r.SetTitle(FormatValue(r.VariableValue("varStrTitle")));
    if (o.name == "FldHours") o.visible = o.text != "0";
    if (o.name == "FldAccount") o.text += ":";
  };
  report.BindDataSource(kMasterDataSet, &rows);
  const PageModel model = report.BuildPages();
  EXPECT_EQ(model.title, "Hours of Ann");
  EXPECT_EQ(seen.at(0), "FldAccount=Alpha");
  EXPECT_EQ(seen.at(1), "FldHours=1.5");
  EXPECT_THAT(PageTexts(model.pages.at(0)),
              ElementsAre("Alpha:", "1.5", "Alpha:", "2.25", "Beta:", "4", "Gamma:", "Gamma:", "0.5"));
}

TEST_F(LayoutTest, VariablesGlobalBeforeDefinition) {
  Report report;
  report.definition().SetVariable("SQL", "Select * From TimeHist");
  report.definition().SetVariable("varDateFrom", "placeholder");
  report.definition().SetVariable("varPeriod", "[varDateFrom] to [varDateTo]");
  EXPECT_EQ(report.Variable("SQL"), "Select * From TimeHist");
  EXPECT_EQ(report.Variable("varPeriod"), "[varDateFrom] to [varDateTo]");  // the text as defined
  EXPECT_FALSE(report.Variable("varDateTo").has_value());                     // globals are not the definition's

  Report::SetGlobalVariable("varDateFrom", "06/03/2024");
  Report::SetGlobalVariable("varDateTo", "06/09/2024");
  Report other;  // globals are shared by every instance
  other.definition().SetVariable("varPeriod", "[varDateFrom] to [varDateTo]");
  EXPECT_EQ(FormatValue(other.VariableValue("varPeriod")), "06/03/2024 to 06/09/2024");
  EXPECT_EQ(FormatValue(report.Evaluate("varPeriod + '!'")), "06/03/2024 to 06/09/2024!");
  report.SetTitle("Per Week Report");
  EXPECT_EQ(FormatValue(report.Evaluate("Title")), "Per Week Report");
  EXPECT_THROW(report.VariableValue("varMissing"), ReportError);

  // A variable that refers to itself fails instead of recursing without end.
  report.definition().SetVariable("varLoop", "[varLoop]");
  EXPECT_THROW(report.Evaluate("varLoop"), ReportError);
}

class DefinitionFileTest : public LayoutTest {
 protected:
  void SetUp() override {
    char tmpl[] = "/tmp/tikora-report-XXXXXX";
    dir_ = mkdtemp(tmpl);
  }
  void TearDown() override { std::filesystem::remove_all(dir_); }
  std::string Write(const std::string& name, const std::string& content) {
    const std::string path = dir_ + "/" + name;
    std::ofstream(path) << content;
    return path;
  }
  std::string dir_;
};

TEST_F(DefinitionFileTest, SavedDefinitionLoadsAsItWasSaved) {
  Report report;
  Definition& def = report.definition();
  def.title = "Per Week Report";
  def.page = PageSetup{297, 210, 10, 11, 12, 13};
  def.SetVariable("SQL", "Select [Account], \"x\" <> 'y' & z From TimeHist\nOrder By 1");
  Band group = MakeBand(BandType::GroupHeader, 7.5, {Text("Grp", 1, 50, "[Account] & <b>", Align::Center)},
                        "GroupHeaderCharge");
  group.condition = "Account";
  group.visible = false;
  group.new_page_before = true;
  group.keep_with_next = true;
  group.objects[0].bold = true;
  group.objects[0].stretch = true;
  group.objects[0].font_size = 8.5;
  def.bands.push_back(group);
  ReportObject line;
  line.kind = ObjectKind::Line;
  line.x = 0, line.y = 5, line.width = 180;
  ReportObject box;
  box.kind = ObjectKind::Rect;
  box.width = 180, box.height = 5, box.fill = "#eeeeee", box.pen = 0;
  def.bands.push_back(MakeBand(BandType::MasterData, 5, {box, line, Text("Fld", 0, 30, "[Hours]", Align::Right)}));

  const std::string path = dir_ + "/r.frf";
  report.SaveToFile(path);
  Report loaded;
  ASSERT_TRUE(loaded.LoadFromFile(path));
  EXPECT_EQ(DefinitionToXml(loaded.definition()), DefinitionToXml(def));
  EXPECT_EQ(loaded.definition().variables, def.variables);
  EXPECT_EQ(loaded.definition().bands[1].objects[1].width, 180);
  EXPECT_EQ(loaded.definition().bands[0].objects[0].text, "[Account] & <b>");

  loaded.Clear();
  EXPECT_TRUE(loaded.definition().bands.empty());
  EXPECT_FALSE(loaded.LoadFromFile(dir_ + "/missing.frf"));
}

TEST_F(DefinitionFileTest, DamagedDefinitionsAreRefused) {
  struct Case {
    const char* xml;
    const char* message;
  };
  const Case cases[] = {
      {"not xml", "Not a report definition"},
      {"<other/>", "Not a report definition"},
      {"<tikora-report/>", "format version is missing"},
      {"<tikora-report format=\"2\"/>", "written by a newer program"},
      {"<tikora-report format=\"1\">\n<band type=\"sideways\"/></tikora-report>", "line 2: unknown band type"},
      {"<tikora-report format=\"1\"><band type=\"summary\" height=\"x\"/></tikora-report>", "is not a number"},
      {"<tikora-report format=\"1\"><page width=\"20\" left=\"10\" right=\"10\"/></tikora-report>", "no room"},
      {"<tikora-report format=\"1\"><band type=\"summary\"><text>unclosed</band></tikora-report>", "line 1"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.xml);
    Report report;
    try {
      report.LoadFromFile(Write("bad.frf", c.xml));
      ADD_FAILURE() << "loaded";
    } catch (const ReportError& e) {
      EXPECT_NE(std::string(e.what()).find(c.message), std::string::npos) << e.what();
    }
  }
}

}  // namespace
}  // namespace tikora::report::test
