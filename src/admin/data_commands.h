// The headless data commands of tikoradmin: CSV export and import, archive moves, SQL files,
// time sheet data and invoicing, each run on the data module of the program folder.
//
//   export-csv TABLE FILE          import-csv TABLE FILE
//   archive --from D --to D        unarchive --from D --to D
//   sql FILE                       (the result as CSV on standard output)
//   timesheet-data --report 1|2|3 --from D --to D [--account A] [--job J] [--client C]
//   invoice --from D --to D [--account A] [--job J] [--client C] [--number N]
//   report (--id N | --file F) [--from D] [--to D] [...choices] --format F --out FILE
// Dates are yyyy-MM-dd. CSV output uses the configured separator and the export's layout.
#pragma once

#include <iosfwd>
#include <map>
#include <string>
#include <vector>

#include "core/prompter.h"

namespace tikora::admin {

// The command names handled here.
const std::vector<std::string>& DataCommandNames();
// Options that take a value ("--from", "--to", "--account", "--job", "--client", "--report",
// "--number", "--id", "--file", "--format", "--out").
bool IsDataCommandOption(const std::string& option);

struct DataCommandArgs {
  std::string command;
  std::vector<std::string> positional;
  std::map<std::string, std::string> options;  // "--from" -> "2024-01-01"
};

// Runs one data command; `prompter` answers questions as --yes / --no say. Returns the exit
// status (0 success, 1 failure).
int RunDataCommand(const DataCommandArgs& args, Prompter& prompter, std::ostream& out,
                   std::ostream& err);

// The usage lines of the data commands.
std::string DataCommandUsage();

}  // namespace tikora::admin
