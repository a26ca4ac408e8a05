// The web program: program start, the request cycle and the dispatch on "Action" and "Page".
//
// One request, in order:
//   1. the settings are read (each request sees the administrator's latest changes) and the
//      session named by the cookie is resumed; its user and rights letter are the request's;
//   2. "Action" = "logout" ends the session and shows the login page;
//   3. "Page" = "Login" checks the posted "loginid" and "password"; a wrong one is reported
//      ("Invalid Password<BR><BR>") and the login page shown; a correct one renews the session and
//      stores the user and the rights letter in it;
//   4. the first rule that matches:
//        "Page" empty                     the login page
//        "Action" = "bill" (any case)     the main page, nothing punched
//        "Action" = "tsheet" (any case)   the time sheet page
//        "Page" = "TSheet"                SaveTimeSheet, then the main page
//        "Page" = "Main"                  PostMainPage (punch in or out), then the main page
//        none of these                    nothing but the problems reported
//      The last four need a logged-in session, else the login page is shown. A post that writes
//      (punch, time sheet, log-out) must come by POST with the session's form token, else it is
//      refused with status 403 and nothing is written.
// Bad input answers 400 with a message naming the field above the page.
#pragma once

#include <functional>

#include "core/config.h"
#include "core/datetime.h"
#include "web/request.h"
#include "web/response.h"
#include "web/session.h"
#include "web/web_module.h"

namespace tikora::web {

// The local time now; tests give their own.
using WebClock = std::function<DateTime()>;

class WebProgram {
 public:
  // Program start: loads the web settings of ProgramFolder() and creates the data module. Nothing
  // else is touched until a request needs it.
  explicit WebProgram(WebClock clock = {});
  WebProgram(const WebProgram&) = delete;
  WebProgram& operator=(const WebProgram&) = delete;

  // Answers one request.
  Response ExecRequest(const Request& request);

  TConfig& Config() { return config_; }
  TDM& DataModule() { return dm_; }

 private:
  WebClock clock_;
  TConfig config_;
  TDM dm_;
  SessionStore sessions_;
  bool settings_fresh_ = false;
};

}  // namespace tikora::web
