// Saving a posted time sheet ("Page" = "TSheet").
//
// Form fields: "TSDate" (a day of the week; the week is the one holding it, starting on the
// weekday DayOfWeek names), and per row r (0 to 9, more while the form carries further rows)
// "Account"r, "JobCode"r, "Client"r, "D"d r (hours of day d = 1..7) and "Comments"r, and the group
// the grid showed in the row: "OrigAccount"r, "OrigJobCode"r, "OrigClient"r.
#pragma once

#include "web/pages.h"

namespace tikora::web {

// Checks every cell first: an unreadable "TSDate" or hours that are not a number from 0 to 24 are
// bad input and nothing is stored. Rows with a charge account are then stored by group (charge
// account, job code, client): the user's whole-day entries of the week of each group that a row
// posts or showed get the hours its rows post, day by day. A day whose posted hours equal the
// stored total is left alone (invoice numbers, marks, items and comments stay); otherwise its first
// entry takes the new hours and the row's comment, further entries are deleted and further cells
// (two rows of one group) appended; a cleared cell deletes the day's entries. A row showing another
// group than it loaded moves that group's hours; a list the page hides keeps the loaded value.
// Rows linked by their groups share one transaction. A change or deletion of an invoiced entry,
// or of a synchronised or printed one that the settings lock, is refused: that transaction is
// rolled back and reported, like one the database refuses, and the other rows are stored. Shows
// the main page afterwards.
void SaveTimeSheet(WebRequest& web);

}  // namespace tikora::web
