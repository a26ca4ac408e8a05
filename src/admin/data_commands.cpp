#include "admin/data_commands.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <memory>
#include <ostream>
#include <stdexcept>

#include "admin/archive_moves.h"
#include "admin/backup_timer.h"
#include "admin/csv_transfer.h"
#include "admin/data_access.h"
#include "admin/data_module.h"
#include "admin/invoicing.h"
#include "admin/record_cursor.h"
#include "admin/record_operations.h"
#include "admin/report_data.h"
#include "admin/report_runs.h"
#include "admin/services.h"
#include "core/config.h"
#include "core/language.h"
#include "core/system_helpers.h"
#include "core/text_helpers.h"
#include "engine/schema.h"
#include "report/definition.h"
#include "report/headless.h"
#include "report/renderers.h"

namespace tikora::admin {
namespace {

// The loaded configuration and a data module over its data folder.
struct Session {
  std::unique_ptr<TConfig> config;
  ManualBackupTimer timer;
  std::unique_ptr<TDM> dm;
  TDataAccess* access = nullptr;
  bool security_on = false;
};

std::unique_ptr<Session> OpenSession(Prompter& prompter) {
  auto s = std::make_unique<Session>();
  s->config = std::make_unique<TConfig>(ConfigVariant::Administrator, AdminConfigServices(prompter),
                                        prompter);
  if (!s->config->Load()) return nullptr;
  SetTranslationLanguage(s->config->Language,
                         LanguageFilePath(s->config->ProgramFolder(), s->config->Language));
  s->access = DataAccessOf(*s->config);
  AdminSecurity* security = SecurityOf(*s->config);
  s->security_on = security->Secure().SecuritySwitch();
  s->dm = std::make_unique<TDM>(*s->config, *s->access, security->Secure(), prompter, s->timer,
                                TDMOptions{0, /*synchronise_at_start=*/false});
  return s;
}

engine::Table& TableByName(TDM& dm, const std::string& name) {
  for (engine::Table* t :
       {&dm.tblAccts(), &dm.tblClient(), &dm.tblJobs(), &dm.tblHist(), &dm.tblArchive(),
        &dm.tblInvoices(), &dm.tblEst(), &dm.tblExp(), &dm.tblItems(), &dm.tblReports(),
        &dm.tblWGrp(), &dm.tblUsers(), &dm.tblSecure()}) {
    // Table objects are named by file ("TimeHist.DAT"); the table name alone is enough here.
    if (engine::SameName(t->TableName(), name) ||
        engine::SameName(StripExtension(t->TableName()), name)) {
      if (!t->Active()) t->Open();
      return *t;
    }
  }
  throw std::runtime_error("no table named '" + name + "'");
}

std::string Option(const DataCommandArgs& a, const std::string& name) {
  auto it = a.options.find(name);
  return it == a.options.end() ? std::string() : it->second;
}

DateTime RequiredDate(const DataCommandArgs& a, const std::string& name) {
  const std::string text = Option(a, name);
  if (text.empty()) throw std::runtime_error(a.command + " needs " + name + " yyyy-MM-dd");
  return ParseIsoDate(text);
}

// The period (--from and --to, both needed unless `default_period` stands in for a missing one)
// and the list choices of a command.
ReportChoices Choices(const DataCommandArgs& a, bool security_on,
                      const ReportChoices* default_period = nullptr) {
  ReportChoices c;
  auto date = [&](const char* name, DateTime fallback) {
    return default_period != nullptr && Option(a, name).empty() ? fallback : RequiredDate(a, name);
  };
  c.from = date("--from", default_period ? default_period->from : DateTime());
  c.to = date("--to", default_period ? default_period->to : DateTime());
  c.account = Option(a, "--account");
  c.job_code = Option(a, "--job");
  c.client = Option(a, "--client");
  c.security_on = security_on;
  return c;
}

void NeedPositional(const DataCommandArgs& a, std::size_t n, const char* what) {
  if (a.positional.size() != n) throw std::runtime_error(a.command + " needs " + what);
}

int ExportCsv(const DataCommandArgs& a, Session& s, std::ostream& err) {
  NeedPositional(a, 2, "TABLE FILE");
  engine::Table& t = TableByName(*s.dm, a.positional[0]);
  if (!CsvDefaultFileNameOfTable(t.Definition().name)) {
    err << "error: the " << t.Definition().name << " table is not exported\n";
    return 1;
  }
  TableCursor cursor(t);
  const auto n = ExportCsvFile(cursor, s.config->CSVFieldSeparator, a.positional[1]);
  err << n << " records written to " << a.positional[1] << "\n";
  return 0;
}

int ImportCsv(const DataCommandArgs& a, Session& s, Prompter& prompter, std::ostream& err) {
  NeedPositional(a, 2, "TABLE FILE");
  engine::Table& t = TableByName(*s.dm, a.positional[0]);
  TableCursor cursor(t);
  CsvImportOutcome r =
      ImportCsvFile(s.dm->Db(), {t.Schema()}, cursor, a.positional[1], s.config->CSVFieldSeparator);
  if (!r.ok) {
    prompter.Show(r.message, "Error", MessageKind::Error);
    return 1;
  }
  err << r.records << " records imported into " << t.Definition().name << "\n";
  return 0;
}

int Move(const DataCommandArgs& a, Session& s, Prompter& prompter, std::ostream& err) {
  ArchiveSwitch direction;
  direction.Set(a.command == "unarchive");
  const DateTime from = RequiredDate(a, "--from");
  const DateTime to = RequiredDate(a, "--to");
  MoveOutcome r =
      MoveByDateRange(direction.Source(*s.dm), direction.Destination(*s.dm), from, to, prompter);
  if (!r.ok) return 1;
  err << r.moved << " records moved to " << direction.Destination(*s.dm).Definition().name << "\n";
  return 0;
}

int RunSql(const DataCommandArgs& a, Session& s, std::ostream& out) {
  NeedPositional(a, 1, "FILE");
  engine::Query& q = s.dm->Qry1();
  if (!OpenSqlFile(q, a.positional[0]))
    throw std::runtime_error(a.positional[0] + " " + TranslateMessage("does not exist"));
  QueryCursor cursor(q);
  out << ExportCsvText(cursor, s.config->CSVFieldSeparator);
  return 0;
}

int TimeSheetData(const DataCommandArgs& a, Session& s, std::ostream& out) {
  const std::string report = Option(a, "--report");
  if (report != "1" && report != "2" && report != "3")
    throw std::runtime_error("timesheet-data needs --report 1, 2 or 3");
  FillTimeSheet(*s.dm, *s.access, *s.config, std::stoi(report), Choices(a, s.security_on));
  TableCursor cursor(s.dm->tblmemTS());
  out << ExportCsvText(cursor, s.config->CSVFieldSeparator);
  return 0;
}

// Answers the invoice number's input box with --number when given.
class NumberPrompter : public Prompter {
 public:
  NumberPrompter(Prompter& inner, std::string number) : inner_(inner), number_(std::move(number)) {}
  Answer Ask(const std::string& t, const std::string& c, Buttons b) override {
    return inner_.Ask(t, c, b);
  }
  void Show(const std::string& t, const std::string& c, MessageKind k) override {
    inner_.Show(t, c, k);
  }
  bool Input(const std::string& t, const std::string& c, std::string& value) override {
    if (number_.empty()) return inner_.Input(t, c, value);
    value = number_;
    return true;
  }

 private:
  Prompter& inner_;
  std::string number_;
};

int Invoice(const DataCommandArgs& a, Session& s, Prompter& prompter, std::ostream& out,
            std::ostream& err) {
  NumberPrompter answers(prompter, Option(a, "--number"));
  InvoicePreparation p =
      PrepareInvoice(*s.dm, *s.config, Choices(a, s.security_on), answers, Today());
  if (!p.accepted) {
    if (p.error.empty()) err << "no invoice (answer --yes or give --number to accept one)\n";
    return 1;
  }
  out << p.number << "\n";
  err << "invoice " << p.number << ": " << p.time_records << " time records, " << p.expenses
      << " expenses\n";
  return 0;
}

const char* const kReportFormats[] = {"pdf", "html", "csv", "txt", "rtf"};

// The period and choices of a report run: --from and --to when given, else the week the reports
// window starts with.
ReportChoices ReportRunChoices(const DataCommandArgs& a, const Session& s) {
  const ReportChoices week = DefaultReportPeriod(*s.config, Today());
  ReportChoices c = Choices(a, s.security_on, &week);
  if (c.to.days < c.from.days) throw std::runtime_error("report: --to is before --from");
  return c;
}

// The visible catalogue entry with `id`, as the reports window lists it.
ReportListEntry CatalogueEntry(Session& s, std::int64_t id) {
  std::vector<ReportListEntry> list;
  s.access->FillReportList(list);
  auto it = std::find_if(list.begin(), list.end(),
                         [id](const ReportListEntry& e) { return e.report_id == id; });
  if (it == list.end())
    throw std::runtime_error("the report catalogue lists no report with ID " + std::to_string(id));
  return *it;
}

std::int64_t ReportId(const std::string& text) {
  std::int64_t id = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), id);
  if (text.empty() || error != std::errc() || end != text.data() + text.size() || id < 0)
    throw std::runtime_error("report: --id needs a report ID number");
  return id;
}

// Runs a catalogue entry (--id) or a definition file (--file) and writes its pages.
int RunReportCommand(const DataCommandArgs& a, Session& s, Prompter& prompter, std::ostream& err) {
  const std::string id = Option(a, "--id");
  const std::string file = Option(a, "--file");
  std::string format = Option(a, "--format");
  std::transform(format.begin(), format.end(), format.begin(),
                 [](unsigned char ch) { return static_cast<char>(std::tolower(ch)); });
  const std::string out = Option(a, "--out");
  if (id.empty() == file.empty()) throw std::runtime_error("report needs --id N or --file F");
  if (std::find(std::begin(kReportFormats), std::end(kReportFormats), format) ==
      std::end(kReportFormats))
    throw std::runtime_error("report needs --format pdf, html, csv, txt or rtf");
  if (out.empty()) throw std::runtime_error("report needs --out FILE");
  // Checked before anything runs: an invoice is numbered and stamped by the run itself.
  const ReportChoices choices = ReportRunChoices(a, s);

  const report::HeadlessGui gui;  // exact font metrics, and the PDF writer
  NumberPrompter answers(prompter, Option(a, "--number"));
  ReportRunner runner(*s.dm, *s.access, *s.config, answers);
  std::optional<report::PageModel> pages;
  if (!id.empty()) {
    const ReportListEntry entry = CatalogueEntry(s, ReportId(id));
    pages = runner.RunReport(entry.report_id, entry.title, choices, Today());
  } else {
    pages = runner.RunCustomReport(file, /*with_subreport=*/false, choices);
  }
  if (!pages) return 1;  // the reason has been shown
  report::WriteReport(*pages, format, out);
  err << pages->pages.size() << (pages->pages.size() == 1 ? " page" : " pages") << " of \""
      << pages->title << "\" written to " << out << "\n";
  return 0;
}

}  // namespace

const std::vector<std::string>& DataCommandNames() {
  static const std::vector<std::string> names = {
      "export-csv", "import-csv", "archive", "unarchive", "sql", "timesheet-data", "invoice",
      "report"};
  return names;
}

bool IsDataCommandOption(const std::string& option) {
  for (const char* o : {"--from", "--to", "--account", "--job", "--client", "--report", "--number",
                        "--id", "--file", "--format", "--out"})
    if (option == o) return true;
  return false;
}

int RunDataCommand(const DataCommandArgs& a, Prompter& prompter, std::ostream& out,
                   std::ostream& err) {
  auto session = OpenSession(prompter);
  if (!session) return 1;
  Session& s = *session;
  const std::string& c = a.command;
  if (c == "export-csv") return ExportCsv(a, s, err);
  if (c == "import-csv") return ImportCsv(a, s, prompter, err);
  if (c == "archive" || c == "unarchive") return Move(a, s, prompter, err);
  if (c == "sql") return RunSql(a, s, out);
  if (c == "timesheet-data") return TimeSheetData(a, s, out);
  if (c == "invoice") return Invoice(a, s, prompter, out, err);
  if (c == "report") return RunReportCommand(a, s, prompter, err);
  err << "tikoradmin: unknown command '" << c << "'\n";
  return 1;
}

std::string DataCommandUsage() {
  return "  export-csv TABLE FILE\n"
         "                     write a table as CSV (configured separator, no header)\n"
         "  import-csv TABLE FILE\n"
         "                     append the lines of a CSV file to a table, all or nothing\n"
         "  archive --from D --to D\n"
         "                     move time records starting in the period to the archive\n"
         "  unarchive --from D --to D\n"
         "                     move archived records starting in the period back\n"
         "  sql FILE           run the statement of an SQL file; the result as CSV\n"
         "  timesheet-data --report 1|2|3 --from D --to D [--account A] [--job J] [--client C]\n"
         "                     the weekly time sheet rows (1 by charge account, 2 by job code,\n"
         "                     3 by both) as CSV\n"
         "  invoice --from D --to D [--account A] [--job J] [--client C] [--number N]\n"
         "                     stamp the next invoice number (--yes accepts the proposal, or\n"
         "                     --number gives one) on the period's time records and expenses\n"
         "  report (--id N | --file F) [--from D] [--to D] [--account A] [--job J] [--client C]\n"
         "         --format pdf|html|csv|txt|rtf --out FILE [--number N]\n"
         "                     run the report catalogue entry N (or the definition file F) over\n"
         "                     the period (default: the current week) and write its pages;\n"
         "                     the time sheets mark their records printed, the invoice (entry 7)\n"
         "                     is numbered as with invoice\n"
         "                     Dates D are yyyy-MM-dd.\n";
}

}  // namespace tikora::admin
