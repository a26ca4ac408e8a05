#include "admin/commands.h"

#include <filesystem>
#include <map>
#include <memory>
#include <ostream>
#include <system_error>

#include "admin/backup_timer.h"
#include "admin/data_access.h"
#include "admin/data_commands.h"
#include "admin/data_module.h"
#include "admin/demo_data.h"
#include "admin/services.h"
#include "admin/upgrade.h"
#include "core/config.h"
#include "core/language.h"
#include "core/system_helpers.h"
#include "engine/errors.h"
#include "engine/maintenance.h"

namespace tikora::admin {
namespace fs = std::filesystem;
namespace {

const char* const kCommands[] = {"create-data", "check", "upgrade", "backup",
                                 "restore",     "sync",  "prune-backups"};

// Messages to a stream; questions answered with the fixed choice of --yes / --no.
class StreamPrompter : public Prompter {
 public:
  StreamPrompter(std::ostream& err, bool answer_yes) : err_(err), yes_(answer_yes) {}
  Answer Ask(const std::string& text, const std::string& caption, Buttons buttons) override {
    Answer a = Answer::Cancel;
    switch (buttons) {
      case Buttons::Ok: a = Answer::Ok; break;
      case Buttons::OkCancel: a = yes_ ? Answer::Ok : Answer::Cancel; break;
      case Buttons::YesNo:
      case Buttons::YesNoCancel: a = yes_ ? Answer::Yes : Answer::No; break;
      case Buttons::AbortRetryIgnore: a = yes_ ? Answer::Retry : Answer::Abort; break;
      case Buttons::RetryCancel: a = yes_ ? Answer::Retry : Answer::Cancel; break;
    }
    err_ << Prefix(caption) << text << " (answered " << (yes_ ? "yes" : "no") << ")\n";
    return a;
  }
  void Show(const std::string& text, const std::string& caption, MessageKind kind) override {
    const char* word = kind == MessageKind::Error ? "error: " : kind == MessageKind::Warning ? "warning: " : "";
    err_ << word << Prefix(caption) << text << "\n";
  }
  bool Input(const std::string& text, const std::string& caption, std::string& value) override {
    err_ << Prefix(caption) << text << " [" << value << "] (answered "
         << (yes_ ? "with the proposal" : "cancel") << ")\n";
    return yes_;
  }

 private:
  static std::string Prefix(const std::string& caption) { return caption.empty() ? "" : caption + ": "; }
  std::ostream& err_;
  bool yes_;
};

struct Options {
  std::string command;
  std::string program_folder;
  std::string layout = "current";
  bool demo = false;
  bool yes = false;
  std::vector<std::string> positional;
  std::map<std::string, std::string> values;  // options of the data commands
};

// Returns an error text, or empty text when the arguments are fine.
std::string Parse(const std::vector<std::string>& args, Options& o) {
  bool answered = false;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    auto value = [&](std::string& target) {
      if (i + 1 >= args.size()) return false;
      target = args[++i];
      return true;
    };
    if (a == "--program-folder") {
      if (!value(o.program_folder)) return "--program-folder needs a folder";
    } else if (a == "--layout") {
      if (!value(o.layout)) return "--layout needs 1.0 or current";
    } else if (a == "--demo") {
      o.demo = true;
    } else if (a == "--yes" || a == "--no") {
      if (answered && o.yes != (a == "--yes")) return "--yes and --no exclude each other";
      o.yes = a == "--yes";
      answered = true;
    } else if (IsDataCommandOption(a)) {
      if (!value(o.values[a])) return a + " needs a value";
    } else if (a == "--help" || a == "help") {
      o.command = "--help";
    } else if (a.rfind("--", 0) == 0) {
      return "unknown option '" + a + "'";
    } else if (o.command.empty()) {
      o.command = a;
    } else {
      o.positional.push_back(a);
    }
  }
  return {};
}

// The configuration of the program folder, loaded with the administrator's services; null when
// the data files are missing (Load has said so).
std::unique_ptr<TConfig> LoadConfig(Prompter& prompter) {
  auto config = std::make_unique<TConfig>(ConfigVariant::Administrator,
                                          AdminConfigServices(prompter), prompter);
  if (!config->Load()) return nullptr;
  SetTranslationLanguage(config->Language,
                         LanguageFilePath(config->ProgramFolder(), config->Language));
  return config;
}

int CreateData(const Options& o, std::ostream& out, std::ostream& err) {
  using engine::Layout;
  if (o.layout != "1.0" && o.layout != "current") {
    err << "tikoradmin: --layout must be 1.0 or current\n";
    return 1;
  }
  if (o.demo && o.layout != "current") {
    err << "tikoradmin: --demo needs the current layout\n";
    return 1;
  }
  const fs::path data = fs::path(ProgramFolder()) / "TIKData";
  std::error_code ec;
  fs::create_directories(data, ec);
  if (ec) {
    err << "tikoradmin: cannot create " << data.string() << ": " << ec.message() << "\n";
    return 1;
  }
  auto written = engine::CreateDataTables(data.string(), o.layout == "1.0" ? Layout::Base : Layout::Current);
  for (const auto& f : written) err << "created " << (data / f).string() << "\n";
  if (written.empty()) err << "every table of " << data.string() << " is already there\n";
  if (!o.demo) return 0;

  engine::Database db(data.string());
  std::vector<DemoLogin> logins = FillDemoData(db);
  err << "demonstration data written to the tables that were empty\n";
  if (logins.empty()) {
    err << "the log-in table already held rows: no log-ins or passwords were made\n";
  } else {
    err << "log-ins and their passwords (shown only now):\n";
    for (const auto& l : logins) out << l.login_id << "\t" << l.password << "\n";
  }
  return 0;
}

int Check(Prompter& prompter, std::ostream& err) {
  auto config = LoadConfig(prompter);
  if (!config) return 1;
  AdminSecurity* security = SecurityOf(*config);
  err << "every table file is present in " << config->DataPath << "\n";
  err << "security file checked; the security switch is "
      << (security != nullptr && security->Secure().SecuritySwitch() ? "on" : "off") << "\n";
  return 0;
}

int Upgrade(Prompter& prompter, std::ostream& err) {
  auto config = LoadConfig(prompter);
  if (!config) return 1;
  engine::Database db(config->DataPath);
  UpgradeReport report = UpdateDatabase(db, prompter);
  for (const auto& t : report.upgraded) err << "upgraded " << t << "\n";
  if (report.upgraded.empty() && !report.update_failed && report.errors.empty())
    err << "every table is at its current version\n";
  return report.update_failed || !report.errors.empty() ? 1 : 0;
}

int Backup(Prompter& prompter) {
  auto config = LoadConfig(prompter);
  if (!config) return 1;
  return DataAccessOf(*config)->BackupData(/*silent=*/false).ok ? 0 : 1;
}

int Restore(const Options& o, Prompter& prompter, std::ostream& err) {
  if (o.positional.size() != 1) {
    err << "tikoradmin: restore needs the archive to restore\n";
    return 1;
  }
  auto config = LoadConfig(prompter);
  if (!config) return 1;
  RestoreOutcome r = DataAccessOf(*config)->RestoreData(o.positional[0]);
  switch (r.result) {
    case RestoreOutcome::Result::Restored: return 0;
    case RestoreOutcome::Result::NoSuchFile: err << "error: no archive " << o.positional[0] << "\n"; return 1;
    case RestoreOutcome::Result::Cancelled: err << "nothing restored (answer --yes to restore)\n"; return 1;
    case RestoreOutcome::Result::Failed: return 1;
  }
  return 1;
}

int Sync(Prompter& prompter, std::ostream& err) {
  auto config = LoadConfig(prompter);
  if (!config) return 1;
  ManualBackupTimer timer;  // a headless run makes no automatic backups
  TDM dm(*config, *DataAccessOf(*config), SecurityOf(*config)->Secure(), prompter, timer,
         TDMOptions{0, /*synchronise_at_start=*/false});
  TDM::SyncOutcome s = dm.SynchData();
  err << "time records sent: " << s.records_sent << "\n";
  for (const auto& m : s.masters_replaced) err << "taken from the network: " << m << "\n";
  return s.sent_ok && s.masters_ok ? 0 : 1;
}

int PruneBackups(Prompter& prompter, std::ostream& err) {
  auto config = LoadConfig(prompter);
  if (!config) return 1;
  if (!config->AutoBackup) err << "automatic backups are off: no backup is removed\n";
  for (const auto& name : PruneOldBackups(*config, Today())) err << "removed " << name << "\n";
  return 0;
}

}  // namespace

std::string CommandUsage() {
  return "Usage: tikoradmin COMMAND [--program-folder DIR] [--yes|--no] [options]\n"
         "\n"
         "Commands (no display needed):\n"
         "  create-data [--layout 1.0|current] [--demo]\n"
         "                     write the table files of the data folder (DIR/TIKData/); existing\n"
         "                     files are kept; --demo fills empty tables with demonstration data\n"
         "                     and prints the generated log-in passwords once\n"
         "  check              check that every table file is there and the security file\n"
         "  upgrade            bring the tables of an older installation to the current layouts\n"
         "  backup             write a ZIP archive of the data folder into the backup folder\n"
         "  restore FILE       put the tables of an archive back (asks first: --yes)\n"
         "  sync               send finished time records to the network copy and take its\n"
         "                     charge accounts, job codes, clients and work groups\n"
         "  prune-backups      remove backup archives older than the days to keep\n"
         + DataCommandUsage() +
         "  --help             show this text\n"
         "\n"
         "--program-folder DIR   the installation folder (default: the folder of this program)\n"
         "--yes, --no            the answer to every question (default: the one that changes\n"
         "                       nothing)\n"
         "Messages go to standard error. Exit status: 0 on success, 1 on failure.\n";
}

bool IsHeadlessCommand(const std::vector<std::string>& args) {
  for (const auto& a : args) {
    if (a == "--help" || a == "help") return true;
    for (const char* c : kCommands)
      if (a == c) return true;
    for (const auto& c : DataCommandNames())
      if (a == c) return true;
  }
  return false;
}

int RunAdminCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
  Options o;
  std::string problem = Parse(args, o);
  if (!problem.empty() || o.command.empty()) {
    if (!problem.empty()) err << "tikoradmin: " << problem << "\n";
    err << CommandUsage();
    return 1;
  }
  if (o.command == "--help") {
    out << CommandUsage();
    return 0;
  }
  SetProgramFolder(o.program_folder);
  StreamPrompter prompter(err, o.yes);
  try {
    if (o.command == "create-data") return CreateData(o, out, err);
    if (o.command == "check") return Check(prompter, err);
    if (o.command == "upgrade") return Upgrade(prompter, err);
    if (o.command == "backup") return Backup(prompter);
    if (o.command == "restore") return Restore(o, prompter, err);
    if (o.command == "sync") return Sync(prompter, err);
    if (o.command == "prune-backups") return PruneBackups(prompter, err);
    for (const auto& c : DataCommandNames())
      if (o.command == c) return RunDataCommand({o.command, o.positional, o.values}, prompter, out, err);
  } catch (const std::exception& e) {
    err << "tikoradmin: " << e.what() << "\n";
    return 1;
  }
  err << "tikoradmin: unknown command '" << o.command << "'\n" << CommandUsage();
  return 1;
}

}  // namespace tikora::admin
