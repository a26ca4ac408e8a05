// Punching in and out from the main page's form ("Page" = "Main").
//
// Form fields: "Account", "JobCode", "Client", "InTime" and "OutTime" (hh:nn), "TIKDate"
// (yyyy-MM-dd), and at punch-out "Item", "Amount" and "Comments". All entries are written under the
// current user of the configuration. Unreadable values are bad input (input.h), checked before
// anything is written.
#pragma once

#include "web/pages.h"

namespace tikora::web {

// Punches in when "InTime" is set and "OutTime" is empty, punches out when both are set, and
// then shows the main page.
void PostMainPage(WebRequest& web);

// Starts an entry on "Account" at "TIKDate" + "InTime". A missing job code or client that the
// settings force is reported and nothing is written. When the user already has an open entry on
// that charge account, the punch-in is refused ("Cannot punch in more than once.") unless
// AllowMultPunchIn is on, in which case the open entry is restarted. An open entry on another
// charge account never stands in the way. The look-up and the write are one transaction, so two
// punch-ins at once cannot both append. A write the database refuses is rolled back, leaves the
// time history cursor ready for the next request, and is thrown on.
void PunchIn(WebRequest& web);

// Ends the user's open entry on "Account" at "TIKDate" + "OutTime" and stores "Item", "Amount" and
// "Comments" with it. With MinBill > 0 an entry shorter than MinBill hours by the clock ends at
// its stored start + MinBill instead ("InTime" is checked but not used). Without an open entry
// (also one closed by another request meanwhile) nothing happens; an end before the entry's start
// is reported and nothing is written. One transaction, as for PunchIn.
void PunchOut(WebRequest& web);

}  // namespace tikora::web
