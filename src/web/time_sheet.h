// Saving a posted time sheet ("Page" = "TSheet").
//
// Form fields: "TSDate" (a day of the week; the week is the one holding it, starting on the
// weekday DayOfWeek names), and per row r (0 to 9, more while the form carries further rows)
// "Account"r, "JobCode"r, "Client"r, "D"d r (hours of day d = 1..7) and "Comments"r.
#pragma once

#include "web/pages.h"

namespace tikora::web {

// Checks every cell first: an unreadable "TSDate" or hours that are not a number from 0 to 24 are
// bad input and nothing is stored. Then each row with a charge account is stored in a transaction
// of its own: the user's whole-day entries of the week for the row's charge account, job code and
// client are replaced by one entry per filled cell (starting at midnight of its day, lasting the
// hours entered, with the row's comment), so a sheet posted back unchanged stores nothing twice and
// a cleared cell removes that day's hours. A row the database refuses is reported and rolled back;
// the other rows are stored. Shows the main page afterwards.
void SaveTimeSheet(WebRequest& web);

}  // namespace tikora::web
