// The database reads of the web pages: the summed time of a day, the whole-day entries of a week
// for the time sheet, and the look-ups of a user's open entry and of an entry's start.
//
// Every value reaches the engine as a parameter, never spliced into the statement text, so a user
// ID or charge account holding quotes reads like any other. Days are half-open ranges: an entry
// starting at midnight belongs to that day only, never also to the day before.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "core/config.h"
#include "core/datetime.h"
#include "web/web_module.h"

namespace tikora::web {

// Time entries store at most this many characters of a user ID; a user is compared on them.
inline constexpr int kUserIdLength = 15;

// The first kUserIdLength characters (UTF-8 characters) of `user`.
std::string UserKey(std::string_view user);

// The file of default time sheet rows, read by the web program and written by the administrator:
// ProgramFolder + "DefaultTSheet.csv", one row per line, fields charge account, job code and
// client separated by ";" (anything after the third field is ignored).
std::string DefaultTimeSheetPath(const TConfig& config);

// An empty sheet row: eleven empty fields.
inline constexpr std::string_view kEmptySheetRow = ";;;;;;;;;;";

// The reads work on the module's time history cursor and its query object, as the current user
// of the module's configuration (CurrentUserId, Rights, LastAcct).
class TDataAccess {
 public:
  explicit TDataAccess(TDM& dm) : dm_(dm) {}

  // The summed duration of the closed entries that start on `day`, as a fraction of a day; 0
  // when there are none. Only the current user's entries unless the rights letter is "A"; only
  // those of LastAcct when `current_account_only`.
  double DayTotal(bool current_account_only, DateTime day);

  // Replaces `rows` by the sheet rows of the current user's week starting on `first_date` (seven
  // days): one row per charge account, job code and client of the closed entries that start at
  // midnight, the hours of each day in fields 3 to 9 (by weekday, day 1 being the weekday that
  // DayOfWeek names; the sum of the group's entries of that day), the comment of the group's last
  // entry in field 10, at least kSheetRows rows.
  // A week without such entries gets the rows of the default time sheet file (accounts, job codes
  // and clients, no hours), then empty rows up to kSheetRows.
  void LoadTimeSheet(std::vector<std::string>& rows, DateTime first_date);

  // The ID of the current user's open entry on `account`, or 0.
  std::int64_t FindOpenEntry(std::string_view account);

  // The "Start Time" of the entry `id`, or 0 when there is none.
  DateTime EntryStartTime(std::int64_t id);

 private:
  TDM& dm_;
};

}  // namespace tikora::web
