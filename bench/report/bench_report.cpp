// Report benchmarks, each against a baseline doing the least the same output needs, in the same
// run. Runs headless (offscreen platform).
//
//   bench_report [OUTPUT_FOLDER]      (default: a temporary folder, removed afterwards)
//
// 1. The shipped detail report over enough time records for about 100 pages: layout, PDF and
//    HTML; baseline: drawing the same texts at the same places with a bare QPainter on a
//    QPdfWriter (PDF), and writing them as positioned HTML without any layout (HTML).
// 2. The shipped weekly time sheet over the in-memory time sheet table of a year for 50 users
//    (52 weeks x 50 user rows, each with seven day columns): layout and PDF, same baseline.
#include <QFont>
#include <QGuiApplication>
#include <QPageSize>
#include <QPainter>
#include <QPdfWriter>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "core/datetime.h"
#include "report/renderers.h"
#include "report/report.h"

using namespace tikora;
using namespace tikora::report;
using Clock = std::chrono::steady_clock;

namespace {

double Seconds(Clock::time_point since) { return std::chrono::duration<double>(Clock::now() - since).count(); }

void Print(const char* what, double ours, double baseline) {
  std::printf("| %-56s | %9.3f | %9.3f | %6.2fx |\n", what, ours, baseline, baseline > 0 ? ours / baseline : 0.0);
  std::fflush(stdout);
}

void SetVariables() {
  const std::pair<const char*, const char*> globals[] = {
      {"varDateFrom", "01/01/2024"}, {"varDateTo", "12/31/2024"},      {"varHeading", "Orvane Consulting"},
      {"varLogin", ""},              {"varTermCharge", "Charge Account"}, {"varTermProject", "Job Code"},
      {"varTermClient", "Client"},   {"varCurrencyStr", "$"},          {"varGroupBy1", "User"}};
  for (const auto& [name, value] : globals) Report::SetGlobalVariable(name, value);
}

// The baseline: the same texts at the same places, drawn without layout or expressions.
double BarePdf(const PageModel& model, const std::string& path) {
  const auto start = Clock::now();
  QPdfWriter writer(QString::fromStdString(path));
  writer.setResolution(1200);
  writer.setPageSize(QPageSize(QPageSize::A4));
  writer.setPageMargins(QMarginsF(0, 0, 0, 0));
  QPainter painter(&writer);
  const double dots = 1200 / 25.4;
  for (std::size_t p = 0; p < model.pages.size(); ++p) {
    if (p > 0) writer.newPage();
    for (const PageItem& i : model.pages[p].items) {
      if (i.kind != ObjectKind::Text) continue;
      QFont font(QString::fromStdString(i.font_family));
      font.setPointSizeF(i.font_size);
      painter.setFont(font);
      painter.drawText(QPointF(i.x * dots, (i.y + 4) * dots), QString::fromStdString(i.text));
    }
  }
  painter.end();
  return Seconds(start);
}

double BareHtml(const PageModel& model) {
  const auto start = Clock::now();
  std::string out;
  for (const Page& page : model.pages) {
    out += "<div class=\"page\">";
    for (const PageItem& i : page.items) {
      if (i.kind != ObjectKind::Text) continue;
      out += "<div style=\"left:" + std::to_string(i.x) + "mm;top:" + std::to_string(i.y) + "mm\">" + i.text + "</div>";
    }
    out += "</div>";
  }
  volatile std::size_t keep = out.size();
  (void)keep;
  return Seconds(start);
}

void Measure(const char* name, Report& report, const std::string& folder) {
  auto start = Clock::now();
  const PageModel model = report.BuildPages();
  const double layout = Seconds(start);
  start = Clock::now();
  WritePdf(model, folder + "/" + name + ".pdf");
  const double pdf = Seconds(start);
  const double bare_pdf = BarePdf(model, folder + "/" + name + "-bare.pdf");
  start = Clock::now();
  WriteTextFile(folder + "/" + name + ".html", ExportHtml(model));
  const double html = Seconds(start);
  const double bare_html = BareHtml(model);
  std::printf("%s: %zu pages\n", name, model.pages.size());
  Print("layout + PDF", layout + pdf, bare_pdf);
  Print("  of which layout", layout, bare_pdf);
  Print("layout + HTML", layout + html, bare_html);
}

void DetailReport(const std::string& folder) {
  MemoryRowSource rows({{"User ID", FieldKind::Text}, {"Account", FieldKind::Text}, {"Job_Code", FieldKind::Text},
                        {"ClientID", FieldKind::Text}, {"Start Time", FieldKind::DateTime},
                        {"End Time", FieldKind::DateTime}, {"Hours", FieldKind::Number}, {"Comments", FieldKind::Text}});
  const double first = EncodeDate(2024, 1, 1).days;
  for (int i = 0; i < 3100; ++i) {
    const double start = first + i / 12 + (8 + i % 12 * 0.75) / 24.0;
    const double hours = 0.5 + (i % 5) * 0.25;
    rows.AddRow({Value::Text("user" + std::to_string(i % 50)), Value::Text("ACC" + std::to_string(i % 17)),
                 Value::Text("JOB" + std::to_string(i % 7)), Value::Text("CL" + std::to_string(i % 9)),
                 Value::Date(DateTime(start)), Value::Date(DateTime(start + hours / 24)), Value::Float(hours),
                 Value::Text(i % 10 == 0 ? "A longer comment that wraps onto a second line of the detail report"
                                         : "Routine work")});
  }
  Report report;
  if (!report.LoadFromFile(std::string(TIKORA_SOURCE_DIR) + "/install/TIKReports/rDetailProjDate.frf")) {
    throw ReportError("rDetailProjDate.frf is missing");
  }
  report.SetTitle("Detail Time Report for period");
  report.BindDataSource(kMasterDataSet, &rows);
  Measure("detail", report, folder);
}

void TimeSheet(const std::string& folder) {
  MemoryRowSource rows({{"ID", FieldKind::Number}, {"Account", FieldKind::Text}, {"Code", FieldKind::Text},
                        {"Su", FieldKind::Number}, {"Mo", FieldKind::Number}, {"Tu", FieldKind::Number},
                        {"We", FieldKind::Number}, {"Th", FieldKind::Number}, {"Fr", FieldKind::Number},
                        {"Sa", FieldKind::Number}, {"ClientID", FieldKind::Text}, {"WeekStart", FieldKind::DateTime}});
  const double first = EncodeDate(2023, 12, 31).days;  // a Sunday
  for (int week = 0; week < 52; ++week) {
    for (int user = 0; user < 50; ++user) {
      // ID, Account (the row's label), Code (empty), Su..Sa (weekends empty), ClientID, WeekStart
      std::vector<Value> row(12);
      row[0] = Value::Integer(week * 50 + user);
      row[1] = Value::Text("user" + std::to_string(user));
      for (int d = 1; d <= 5; ++d) row[static_cast<std::size_t>(3 + d)] = Value::Float(7.5 + (user + d) % 4 * 0.25);
      row[11] = Value::Date(DateTime(first + 7 * week));
      rows.AddRow(std::move(row));
    }
  }
  Report report;
  if (!report.LoadFromFile(std::string(TIKORA_SOURCE_DIR) + "/install/TIKReports/rTimeSheet.frf")) {
    throw ReportError("rTimeSheet.frf is missing");
  }
  report.BindDataSource(kMasterDataSet, &rows);
  Measure("timesheet", report, folder);
}

}  // namespace

int main(int argc, char** argv) {
  setenv("QT_QPA_PLATFORM", "offscreen", 0);
  QGuiApplication app(argc, argv);
  namespace fs = std::filesystem;
  const bool temporary = argc < 2;
  const std::string folder = temporary ? (fs::temp_directory_path() / "tikora-bench-report").string() : argv[1];
  fs::create_directories(folder);
  SetVariables();
  std::printf("| %-56s | %9s | %9s | %7s |\n", "measurement", "ours (s)", "base (s)", "ratio");
  try {
    DetailReport(folder);
    TimeSheet(folder);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "%s\n", e.what());
    return 1;
  }
  if (temporary) fs::remove_all(folder);
  return 0;
}
