// The headless sub-commands of tikoradmin, for scripts and cron jobs: no display is needed.
//
//   create-data [--layout 1.0|current] [--demo]   write the table files of the data folder
//   check                                         data files present, security file in order
//   upgrade                                       bring old tables to the current layouts
//   backup                                        ZIP archive of the data folder
//   restore FILE                                  put an archive's tables back (asks first)
//   sync                                          synchronise with the network copy
//   prune-backups                                 remove expired backup archives
// and the data commands of data_commands.h (export-csv, import-csv, archive, unarchive, sql,
// timesheet-data, invoice).
// Every command takes --program-folder DIR; questions are answered by --yes or --no (default: the
// answer that changes nothing). Messages go to standard error; the exit status is 0 on success
// and 1 on failure.
#pragma once

#include <iosfwd>
#include <string>
#include <vector>

namespace tikora::admin {

// The usage text that --help prints.
std::string CommandUsage();

// True when `args` (without the program name) name a headless command or ask for help.
bool IsHeadlessCommand(const std::vector<std::string>& args);

// Runs the command in `args` (without the program name). `out` receives what a script reads
// (the help text, the generated demo passwords), `err` every message. Returns the exit status.
int RunAdminCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

}  // namespace tikora::admin
