#include "admin/data_commands.h"

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
#include "admin/services.h"
#include "core/config.h"
#include "core/language.h"
#include "core/system_helpers.h"
#include "core/text_helpers.h"
#include "engine/schema.h"

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

ReportChoices Choices(const DataCommandArgs& a, bool security_on) {
  ReportChoices c;
  c.from = RequiredDate(a, "--from");
  c.to = RequiredDate(a, "--to");
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

}  // namespace

const std::vector<std::string>& DataCommandNames() {
  static const std::vector<std::string> names = {
      "export-csv", "import-csv", "archive", "unarchive", "sql", "timesheet-data", "invoice"};
  return names;
}

bool IsDataCommandOption(const std::string& option) {
  for (const char* o : {"--from", "--to", "--account", "--job", "--client", "--report", "--number"})
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
         "                     Dates D are yyyy-MM-dd.\n";
}

}  // namespace tikora::admin
