// Row sources over engine objects, the PDF writer and the exporters.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <stdlib.h>

#include <QImage>
#include <array>
#include <cstdio>
#include <filesystem>
#include <memory>

#include "engine/database.h"
#include "engine/query.h"
#include "engine/schema.h"
#include "engine/table.h"
#include "locale_guard.h"
#include "report/renderers.h"
#include "report_fixture.h"

namespace tikora::report::test {
namespace {

namespace fs = std::filesystem;
using ::testing::ElementsAre;
using ::testing::HasSubstr;

class TempDir {
 public:
  TempDir() {
    char tmpl[] = "/tmp/tikora-report-XXXXXX";
    path_ = mkdtemp(tmpl);
  }
  ~TempDir() { fs::remove_all(path_); }
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  const std::string& path() const { return path_; }

 private:
  std::string path_;
};

std::string Shell(const std::string& command) {
  std::string out;
  FILE* pipe = popen(command.c_str(), "r");
  if (pipe == nullptr) return out;
  std::array<char, 4096> buf{};
  std::size_t n = 0;
  while ((n = fread(buf.data(), 1, buf.size(), pipe)) > 0) out.append(buf.data(), n);
  pclose(pipe);
  return out;
}

// ---- Row sources

class RowSourceTest : public ::testing::Test {
 protected:
  void SetUp() override {
    db_ = std::make_unique<engine::Database>(dir_.path());
    db_->CreateTempTable(engine::MemTimeSheetDef());
    table_ = std::make_unique<engine::Table>(*db_, "memTimeSheet");
    table_->Open(engine::OpenMode::Exclusive);
    const struct {
      const char* account;
      double mo;
      bool has_mo;
    } rows[] = {{"Beta", 2.5, true}, {"Alpha", 0, false}, {"Alpha", 1.25, true}};
    for (const auto& r : rows) {
      table_->Append();
      table_->SetFieldValue("Account", Value::Text(r.account));
      if (r.has_mo) table_->SetFieldValue("Mo", Value::Float(r.mo));
      table_->SetFieldValue("WeekStart", Value::Date(DateTime(45446)));  // 2024-06-03
      table_->Post();
    }
  }
  void TearDown() override {
    table_.reset();
    db_.reset();
  }

  // Account, Mo and Sum(Mo) of whatever the source delivers.
  std::vector<std::string> Print(RowSource& source) {
    Report report;
    report.definition().bands.push_back(MakeBand(BandType::MasterData, 5, {Text("", 0, 60, "[Account] [Mo]")}));
    report.definition().bands.push_back(MakeBand(BandType::Summary, 5, {Text("", 0, 60, "[Sum(Mo)] [Count()]")}));
    report.BindDataSource(kMasterDataSet, &source);
    return PageTexts(report.BuildPages().pages.at(0));
  }

  tikora::test::ScopedLocale locale_{"C.UTF-8"};
  TempDir dir_;
  std::unique_ptr<engine::Database> db_;
  std::unique_ptr<engine::Table> table_;
};

TEST_F(RowSourceTest, TableRowsInIndexOrderWithEmptyNumbersAsZero) {
  table_->SetIndexName("Account");
  table_->Last();
  const engine::Bookmark before = table_->GetBookmark();
  TableRowSource source(*table_);
  EXPECT_THAT(Print(source), ElementsAre("Alpha 0", "Alpha 1.25", "Beta 2.5", "3.75 3"));
  EXPECT_EQ(table_->GetBookmark(), before);  // the cursor stays where it was
  EXPECT_EQ(source.KindOf(source.FindField("weekstart")), FieldKind::DateTime);
  EXPECT_EQ(source.KindOf(source.FindField("Account")), FieldKind::Text);

  table_->Close();
  EXPECT_THAT(Print(source), ElementsAre("0 0"));  // a closed table delivers nothing
}

TEST_F(RowSourceTest, QueryRowsAreReadWhenTheBuildStarts) {
  engine::Query query(*db_);
  QueryRowSource source(query);
  Report report;
  report.definition().bands.push_back(MakeBand(BandType::MasterData, 5, {Text("", 0, 60, "[Account] [Mo]")}));
  report.BindDataSource(kMasterDataSet, &source);  // bound before the query runs
  query.SetSql("SELECT Account, Mo FROM memTimeSheet WHERE Account = 'Alpha' ORDER BY ID");
  query.Open();
  EXPECT_THAT(PageTexts(report.BuildPages().pages.at(0)), ElementsAre("Alpha 0", "Alpha 1.25"));
  query.Close();
  EXPECT_TRUE(report.BuildPages().pages.at(0).items.empty());
}

// ---- PDF

TEST(PdfOutput, TotalsAndPageCountInThePdf) {
  tikora::test::ScopedLocale locale("C.UTF-8");
  if (Shell("command -v pdftotext").empty()) GTEST_SKIP() << "pdftotext is not installed";
  MemoryRowSource rows({{"Hours", FieldKind::Number}});
  for (int i = 1; i <= 18; ++i) rows.AddRow({Value::Integer(i)});
  Report report;
  Definition& def = report.definition();
  def.page = PageSetup{100, 100, 10, 10, 10, 10};
  def.bands.push_back(MakeBand(BandType::ReportTitle, 10, {Text("", 0, 80, "Hours for period")}));
  def.bands.push_back(MakeBand(BandType::MasterData, 10, {Text("", 0, 30, "Row [Hours]")}));
  def.bands.push_back(MakeBand(BandType::PageFooter, 10, {Text("", 0, 80, "Page [Page] of [TotalPages] sum [Sum(Hours)]")}));
  def.bands.push_back(MakeBand(BandType::Summary, 10, {Text("", 0, 80, "Grand total [Sum(Hours)]")}));
  report.BindDataSource(kMasterDataSet, &rows);
  report.SetTitle("Hours for period");
  const PageModel model = report.BuildPages();

  TempDir dir;
  const std::string pdf = dir.path() + "/hours.pdf";
  WritePdf(model, pdf);
  const std::string text = Shell("pdftotext -layout '" + pdf + "' -");
  EXPECT_THAT(text, HasSubstr("Hours for period"));
  EXPECT_THAT(text, HasSubstr("Grand total 171"));
  EXPECT_THAT(text, HasSubstr("Page 1 of 3 sum 21"));  // rows 1 to 6 below the title
  EXPECT_THAT(text, HasSubstr("Page 3 of 3 sum 80"));  // rows 14 to 18
  EXPECT_THAT(Shell("pdfinfo '" + pdf + "'"), HasSubstr("Pages:           3"));
  EXPECT_THAT(Shell("pdfinfo '" + pdf + "'"), ::testing::ContainsRegex("Title: +Hours for period"));

  // The same routine paints pictures: the title leaves dark pixels near the top left corner.
  const QImage image = RenderPageImage(model.pages[0], 72);
  int dark = 0;
  for (int y = 28; y < 57 && y < image.height(); ++y) {
    for (int x = 28; x < 150 && x < image.width(); ++x) dark += qGray(image.pixel(x, y)) < 128;
  }
  EXPECT_GT(dark, 20);
}

TEST(PdfOutput, UnwritablePathIsAnError) {
  PageModel model;
  model.pages.resize(1);
  EXPECT_THROW(WritePdf(model, "/nonexistent-folder/x.pdf"), ReportError);
}

// ---- Exporters

PageItem Item(double x, double y, double width, const std::string& text, Align align = Align::Left,
              bool bold = false) {
  PageItem i;
  i.x = x, i.y = y, i.width = width, i.height = 5;
  i.text = text;
  i.align = align;
  i.bold = bold;
  i.font_family = "Sans Serif";
  return i;
}

// Two pages: a heading, a header row with a right-aligned column, two rows (one with
// characters that need quoting or escaping), a rule; then a total.
PageModel Fixture() {
  PageModel m;
  m.title = "Hours & more";
  m.pages.resize(2);
  auto& p1 = m.pages[0].items;
  p1.push_back(Item(15, 12, 100, "Time report", Align::Left, true));
  p1.push_back(Item(15, 20, 40, "Account"));
  p1.push_back(Item(55, 20, 20, "Hours", Align::Right));
  p1.push_back(Item(15, 26, 40, "Alpha; \"A\""));
  p1.push_back(Item(55, 26.4, 20, "3.75", Align::Right));
  p1.push_back(Item(15, 32, 40, "Bäta {b}"));
  p1.push_back(Item(55, 32, 20, "4", Align::Right));
  PageItem rule;
  rule.kind = ObjectKind::Line;
  rule.x = 15, rule.y = 38, rule.width = 60;
  p1.push_back(rule);
  auto& p2 = m.pages[1].items;
  p2.push_back(Item(15, 12, 40, "Total <all>"));
  p2.push_back(Item(55, 12, 20, "7.75", Align::Right));
  p2.push_back(Item(15, 30, 40, "two\nlines"));
  return m;
}

TEST(Exporters, PlainTextColumns) {
  EXPECT_EQ(ExportText(Fixture()),
            "Time report\n"
            "Account                  Hours\n"
            "Alpha; \"A\"                3.75\n"
            "Bäta {b}                     4\n"
            "\f"
            "Total <all>               7.75\n"
            "\n"
            "two\n"
            "lines\n");
}

TEST(Exporters, CsvWithSemicolons) {
  EXPECT_EQ(ExportCsv(Fixture()),
            "Time report\r\n"
            "Account;Hours\r\n"
            "\"Alpha; \"\"A\"\"\";3.75\r\n"
            "Bäta {b};4\r\n"
            "Total <all>;7.75\r\n"
            "two\r\n"
            "lines\r\n");
}

TEST(Exporters, HtmlPagesWithEscapedTexts) {
  const std::string html = ExportHtml(Fixture());
  EXPECT_THAT(html, HasSubstr("<title>Hours &amp; more</title>"));
  EXPECT_THAT(html, HasSubstr(">Total &lt;all&gt;</div>"));
  EXPECT_THAT(html, HasSubstr(">Alpha; &quot;A&quot;</div>"));
  EXPECT_THAT(html, HasSubstr("left:55mm;top:26.4mm;width:20mm;font-size:10pt"));
  EXPECT_THAT(html, HasSubstr("text-align:right"));
  EXPECT_THAT(html, HasSubstr("<line x1=\"15\" y1=\"38\" x2=\"75\" y2=\"38\""));
  std::size_t pages = 0;
  for (std::size_t at = 0; (at = html.find("class=\"page\"", at)) != std::string::npos; ++at) ++pages;
  EXPECT_EQ(pages, 2u);
}

TEST(Exporters, RtfRowsWithTabStopsAndPageBreaks) {
  const std::string rtf = ExportRtf(Fixture());
  EXPECT_EQ(rtf.rfind("{\\rtf1", 0), 0u);
  EXPECT_EQ(rtf.back(), '\n');
  EXPECT_THAT(rtf, HasSubstr("\\b Time report\\par"));
  EXPECT_THAT(rtf, HasSubstr("\\tqr\\tx3373"));  // right edge of "Hours": 59.5 mm
  EXPECT_THAT(rtf, HasSubstr("B\\u228?ta \\{b\\}"));
  EXPECT_THAT(rtf, HasSubstr("\\page\n"));
  int depth = 0;
  for (std::size_t i = 0; i < rtf.size(); ++i) {
    if (rtf[i] == '\\') ++i;  // escaped character
    else if (rtf[i] == '{') ++depth;
    else if (rtf[i] == '}') --depth;
    ASSERT_GE(depth, 0);
  }
  EXPECT_EQ(depth, 0);
}

TEST(Exporters, FilesAreWrittenWhole) {
  TempDir dir;
  WriteTextFile(dir.path() + "/out.csv", "a;b\r\n");
  EXPECT_EQ(Shell("cat '" + dir.path() + "/out.csv'"), "a;b\r\n");
  EXPECT_THROW(WriteTextFile("/nonexistent-folder/out.csv", "x"), ReportError);
  WriteReport(Fixture(), "CSV", dir.path() + "/fixture.csv");
  EXPECT_EQ(Shell("cat '" + dir.path() + "/fixture.csv'"), ExportCsv(Fixture()));
  EXPECT_THROW(WriteReport(Fixture(), "doc", dir.path() + "/fixture.doc"), ReportError);
}

}  // namespace
}  // namespace tikora::report::test
