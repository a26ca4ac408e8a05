// Moving time records between the time history ("TimeHist") and the archive ("Archive"), by
// date range or for chosen rows. Archiving and unarchiving are the same move with source and
// destination exchanged. Every field is carried over except the record number, which the
// destination assigns anew, so invoice numbers, printed and billable flags, items and the
// synchronisation flag survive a round trip. A move is all or nothing: it runs in one
// transaction over both tables and is rolled back on the first error.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "admin/record_cursor.h"
#include "core/datetime.h"
#include "core/prompter.h"
#include "engine/table.h"

namespace tikora::admin {

class TDM;

// The data manager's unarchive switch: off moves TimeHist -> Archive, on Archive -> TimeHist.
// Each command sets it before it starts; it keeps the last value.
class ArchiveSwitch {
 public:
  bool Unarchive() const { return unarchive_; }
  void Set(bool unarchive) { unarchive_ = unarchive; }
  engine::Table& Source(TDM& dm) const;
  engine::Table& Destination(TDM& dm) const;

 private:
  bool unarchive_ = false;
};

// The dates the archive dialog proposes: From = today - 730 days, To = today - 365 days.
struct ArchiveDates {
  DateTime from;
  DateTime to;
};
ArchiveDates ProposedArchiveDates(DateTime today);

// The filter of a date-range move: "([Start Time] >= 'from') AND ([Start Time] <= 'to')", with
// ") AND " + `previous` in place of the closing ")" when the source already had a filter. A
// record qualifies when it starts at or after From's midnight and at or before To's midnight.
std::string ArchiveFilter(DateTime from, DateTime to, const std::string& previous);

struct MoveOutcome {
  bool ok = true;
  std::int64_t moved = 0;
  std::string error;  // the error's own message, shown through the prompter
};

// Copies every field of the current record of `source` (except the auto-numbered one) into a
// new record of `destination` and posts it.
void CopyTimeRecord(const engine::Table& source, engine::Table& destination);

// Moves the records of `source` starting between From and To (see ArchiveFilter). On error the
// message is shown and nothing moves. Either way the source gets back its own filter (the
// destination's filter text and switch, as the data manager has it; normally none) and is open.
MoveOutcome MoveByDateRange(engine::Table& source, engine::Table& destination, DateTime from,
                            DateTime to, Prompter& prompter);

// Moves the rows of `source` at the given bookmarks, in that order. No rows: nothing happens.
MoveOutcome MoveSelected(engine::Table& source, engine::Table& destination,
                         const std::vector<engine::Bookmark>& rows, Prompter& prompter);

// The confirmation of a move of selected rows: "Archive selected records?" or "Unarchive
// selected records?" (translated). Returns true on OK.
bool ConfirmMoveSelected(bool unarchive, Prompter& prompter);

}  // namespace tikora::admin
