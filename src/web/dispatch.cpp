#include "web/dispatch.h"

#include <algorithm>
#include <cctype>
#include <string>

#include "core/language.h"
#include "core/password.h"
#include "core/text_helpers.h"
#include "web/html.h"
#include "web/input.h"
#include "web/pages.h"
#include "web/punch.h"
#include "web/time_sheet.h"

namespace tikora::web {
namespace {

constexpr const char* kInvalidPassword = "Invalid Password<BR><BR>";

std::string LowerCase(std::string text) {
  std::transform(text.begin(), text.end(), text.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return text;
}

bool BodyMethod(const Request& request) {
  return request.Method() == "POST" || request.Method() == "PUT";
}

// A post that writes must come with a body and carry the session's form token.
bool MayWrite(const WebRequest& web) {
  return BodyMethod(web.request) && web.session.LoggedIn() &&
         CsrfTokenMatches(web.session, web.request);
}

void RefuseWrite(WebRequest& web) {
  ReportProblem(web, HtmlEscape(TranslateMessage(
                         "This form has expired. Please load the page again and repeat the entry.")));
  web.response.SetStatus(403);
}

// The working date of the main page: "Dte", else today. An unreadable "Dte" is reported and
// today is used.
DateTime MainWorkingDate(WebRequest& web) {
  const std::string dte = web.request.RequestValue("Dte");
  if (dte.empty()) return DatePart(web.now);
  try {
    return RequiredDate(web.request, "Dte");
  } catch (const BadInput& error) {
    ReportProblem(web, HtmlEscape(error.what()));
    web.response.SetStatus(400);
    return DatePart(web.now);
  }
}

// The first day of the time sheet week: the week holding "Dte", else the week that
// WEEK_START_DATE names.
DateTime SheetWorkingDate(WebRequest& web) {
  const TConfig& config = web.Config();
  if (web.request.RequestValue("Dte").empty()) {
    const DateTime today = DatePart(web.now);
    return SheetWeekStart(config, config.DefaultPrevWeek ? DateTime(today.days - 7) : today);
  }
  return SheetWeekStart(config, MainWorkingDate(web));
}

class RequestCycle {
 public:
  RequestCycle(WebRequest& web, SessionStore& sessions) : web_(web), sessions_(sessions) {}

  void Run() {
    const std::string action = LowerCase(web_.request.RequestValue("Action"));
    const std::string page = web_.request.RequestValue("Page");
    if (action == "logout") return Logout();
    if (page == "Login" && !CheckLogin()) return ShowPage(web_, PageKind::Login);
    if (page.empty()) return ShowPage(web_, PageKind::Login);

    const bool needs_user =
        action == "bill" || action == "tsheet" || page == "TSheet" || page == "Main";
    if (needs_user && !web_.session.LoggedIn()) return ShowPage(web_, PageKind::Login);
    if (!needs_user) {
      web_.response.Write(TakeProblems(web_));
      return;
    }

    web_.dm.FirstExecRequest();
    if (action == "tsheet") {
      web_.working_date = SheetWorkingDate(web_);
      return ShowPage(web_, PageKind::TimeSheet);
    }
    web_.working_date = MainWorkingDate(web_);
    if (action == "bill") return ShowPage(web_, PageKind::Main);

    const bool writes = page == "TSheet" || !web_.request.RequestValue("InTime").empty();
    if (writes && !MayWrite(web_)) {
      RefuseWrite(web_);
      return ShowPage(web_, PageKind::Main);
    }
    try {
      if (page == "TSheet") return SaveTimeSheet(web_);
      return PostMainPage(web_);
    } catch (const BadInput& error) {
      ReportProblem(web_, HtmlEscape(error.what()));
      web_.response.SetStatus(400);
      web_.response.ClearBody();
      ShowPage(web_, PageKind::Main);
    }
  }

 private:
  // The log-in check of "loginid" and "password" (each "0" when absent). A correct log-in gives
  // the session a new id and token and stores the user and the rights letter in it.
  bool CheckLogin() {
    if (!BodyMethod(web_.request)) {
      // A password in the address would be kept in server logs and the browser's history.
      ReportProblem(web_, HtmlEscape(TranslateMessage("Please sign in with the form of this page.")));
      web_.response.SetStatus(405);
      return false;
    }
    const std::string login = web_.request.RequestValue("loginid", "0");
    const std::string password = web_.request.RequestValue("password", "0");
    web_.dm.FirstExecRequest();
    std::string stored_id;
    const LoginResult result =
        CheckPasswordWith(login, password, [&](std::string_view id) {
          std::optional<StoredLogin> row = web_.dm.FindLogin(id);
          if (row) stored_id = row->login_id;
          return row;
        });
    if (!result.ok) {
      ReportProblem(web_, kInvalidPassword);
      return false;
    }
    if (result.rehash) web_.dm.StorePassword(stored_id, *result.rehash);
    sessions_.SweepExpired();
    sessions_.Renew(web_.session);
    web_.session.user = result.user_id;
    web_.session.rights = result.rights;
    TConfig& config = web_.Config();
    config.CurrentUserId = result.user_id;
    config.Rights = result.rights;
    return true;
  }

  void Logout() {
    if (web_.session.LoggedIn()) {
      if (!BodyMethod(web_.request) || !CsrfTokenMatches(web_.session, web_.request)) {
        RefuseWrite(web_);
        web_.dm.FirstExecRequest();
        web_.working_date = DatePart(web_.now);
        return ShowPage(web_, PageKind::Main);
      }
      sessions_.Destroy(web_.session.id);
      web_.response.AddHeader("Set-Cookie", ExpiredSessionCookie(web_.request.IsHttps()));
    }
    web_.session = sessions_.Create();
    web_.Config().CurrentUserId = "www";
    web_.Config().Rights.clear();
    ShowPage(web_, PageKind::Login);
  }

  WebRequest& web_;
  SessionStore& sessions_;
};

}  // namespace

WebProgram::WebProgram(WebClock clock)
    : clock_(clock ? std::move(clock) : WebClock([] { return Now(); })),
      config_(ConfigVariant::Web),
      dm_(config_),
      sessions_(config_.ProgramFolder() + "Temp/") {
  (void)config_.Load();  // the web variant always carries on
  settings_fresh_ = true;
}

Response WebProgram::ExecRequest(const Request& request) {
  if (!settings_fresh_) {
    config_.LoadStationOptions();
    config_.LoadDataOptions();
  }
  settings_fresh_ = false;
  SetTranslationLanguage(config_.Language,
                         LanguageFilePath(config_.ProgramFolder(), config_.Language));

  Session session = sessions_.Resume(request);
  config_.CurrentUserId = session.LoggedIn() ? session.user : "www";
  config_.Rights = session.rights;

  WebRequest web{request, dm_, session, clock_(), DateTime(), Response(), {}, {}, {}};
  web.working_date = DatePart(web.now);
  RequestCycle(web, sessions_).Run();

  // Only a logged-in session is kept: a visitor who has not logged in leaves no file behind, and
  // a session logged out while this request ran stays ended.
  if (web.session.LoggedIn() && sessions_.Save(web.session))
    web.response.AddHeader("Set-Cookie", SessionCookie(web.session, request.IsHttps()));
  return std::move(web.response);
}

}  // namespace tikora::web
