#include "web/pages.h"

#include <cmath>
#include <cstdint>

#include "core/regional.h"
#include "core/text_helpers.h"
#include "web/fragments.h"
#include "web/html.h"
#include "web/web_queries.h"

namespace tikora::web {
namespace {

std::string TwoDigits(std::int64_t value) {
  return value < 10 ? "0" + std::to_string(value) : std::to_string(value);
}

std::string UserShown(const WebRequest& web) {
  return HtmlEscape(web.session.LoggedIn() ? web.session.user : web.request.RequestValue("loginid", "0"));
}

// The moment the running entry's clock measures to: the working date at the current time of day.
// A posted "OutTime" does not move it: an entry still running after a punch-out was not closed
// (the end lay before its start, say), and the page's script ticks on from this value as from now.
DateTime ElapsedUntil(const WebRequest& web) {
  return FromMilliseconds(ToMilliseconds(DatePart(web.working_date)) + ToMilliseconds(TimePart(web.now)));
}

// The start of the current user's open entry on LastAcct, or nullopt; looked up once per account
// and request (IN_TIME and ELAPSED_TIME both need it).
std::optional<DateTime> OpenEntryStart(WebRequest& web) {
  const std::string& account = web.Config().LastAcct;
  if (web.open_entry_account != account) {
    TDataAccess data(web.dm);
    const std::int64_t entry = data.FindOpenEntry(account);
    web.open_entry_start =
        entry == 0 ? std::nullopt : std::optional<DateTime>(data.EntryStartTime(entry));
    web.open_entry_account = account;
  }
  return web.open_entry_start;
}

}  // namespace

std::string ProblemLinks(std::string_view script_name) {
  return "<P><A HREF=\"javascript:history.back(-1)\">Back</A> <A HREF=\"" +
         HtmlEscape(script_name) + "\">Main</A>";
}

void ReportProblem(WebRequest& web, std::string_view message_html) {
  web.problems.push_back(std::string(message_html) + ProblemLinks(web.request.ScriptName()));
}

std::string TakeProblems(WebRequest& web) {
  std::string html;
  for (const auto& problem : web.problems) html += problem;
  web.problems.clear();
  return html;
}

std::string FormatDuration(double days) {
  std::int64_t seconds = std::llround(days * 86400.0);
  if (seconds < 0) seconds = 0;
  const std::string separator = CurrentRegionalSettings().time_separator;
  return TwoDigits(seconds / 3600) + separator + TwoDigits(seconds / 60 % 60) + separator +
         TwoDigits(seconds % 60);
}

DateTime SheetWeekStart(const TConfig& config, DateTime date) {
  return DatePart(StartOfWeek(config.DayOfWeek % 7, date));
}

void ShowPage(WebRequest& web, PageKind page) {
  const std::string text = ReadTemplateFile(web.dm.TemplatePath(page));
  const TagHandler handler = [&](const Tag& tag) -> std::optional<std::string> {
    if (tag.name == "STATUS_MESSAGE") return TakeProblems(web);
    switch (page) {
      case PageKind::Login: return ffLoginHttpEntry(web, tag);
      case PageKind::Main: return ffMainHttpEntry(web, tag);
      case PageKind::TimeSheet: return ffTimeSheetHttpEntry(web, tag);
    }
    return std::nullopt;
  };
  const std::string html = FilterTemplate(
      text, handler, &web.request, StandardBuiltinTags(web.request, web.session.csrf_token));
  web.response.Write(TakeProblems(web));  // a template without STATUS_MESSAGE
  web.response.Write(html);
}

std::optional<std::string> ffLoginHttpEntry(WebRequest& web, const Tag& tag) {
  if (tag.name == "DATE") return IsoDate(web.now);
  if (tag.name == "TITLE") return std::string();
  return std::nullopt;
}

std::optional<std::string> ffMainHttpEntry(WebRequest& web, const Tag& tag) {
  TConfig& config = web.Config();
  const std::string& name = tag.name;
  const std::string date = IsoDate(web.working_date);
  if (name == "DATE") return date;
  if (name == "TIK_DATE") {
    if (config.AllowDateChange) return std::string();
    return "<INPUT type=\"hidden\" size=\"-1\" value=\"" + date + "\" name=\"TIKDate\"> ";
  }
  if (name == "INPUT_TIK_DATE") {
    if (config.AllowDateChange) return "<INPUT size=\"10\" value=\"" + date + "\" name=\"TIKDate\">";
    return "<B>" + date + "</B>";
  }
  if (name == "CHANGE_DATE") {
    if (!config.AllowDateChange) return std::string();
    return "onclick=\"newWindow();\" href=\"javascript: void 0\"";
  }
  if (name == "TITLE") return std::string();
  if (name == "LOGINID") return UserShown(web);
  if (name == "CHARGE_ACCOUNT_TERM") return HtmlEscape(config.ChargeAccountTerm);
  if (name == "ACCOUNT_SELECT_LIST") {
    const std::string select = web.request.RequestValue("Account", config.LastAcct);
    return AccountOptions(config, web.dm.ChargeAccounts(), false, select);
  }
  if (name == "JOBCODE_SELECT_LIST") {
    return SelectBlock(config.AccountCodeTerm, "JobCode",
                       JobCodeOptions(config, web.dm.JobCodes(), config.LastAcctCode));
  }
  if (name == "CLIENT_SELECT_LIST") {
    return SelectBlock(config.ClientTerm, "Client",
                       ClientOptions(config, web.dm.Clients(), config.LastClient));
  }
  if (name == "ITEM_SELECT_LIST") return ItemRows(config, web.dm.Items());
  if (name == "IN_TIME" || name == "ELAPSED_TIME") {
    const std::optional<DateTime> start = OpenEntryStart(web);
    if (name == "IN_TIME") return start ? FormatHourMinute(*start) : std::string();
    return FormatDuration(start ? ElapsedUntil(web).days - start->days : 0.0);
  }
  if (name == "COMMENTS") return HtmlEscape(web.request.RequestValue("Comments"));
  if (name == "ACCOUNT_TOTAL") return FormatDuration(TDataAccess(web.dm).DayTotal(true, web.working_date));
  if (name == "DAY_TIME_TOTAL") return FormatDuration(TDataAccess(web.dm).DayTotal(false, web.working_date));
  return std::nullopt;
}

std::optional<std::string> ffTimeSheetHttpEntry(WebRequest& web, const Tag& tag) {
  TConfig& config = web.Config();
  const std::string& name = tag.name;
  if (name == "DATE") return IsoDate(web.working_date);
  if (name == "WEEK_START_DATE") {
    const DateTime today = DatePart(web.now);
    return IsoDate(SheetWeekStart(config, config.DefaultPrevWeek ? DateTime(today.days - 7) : today));
  }
  if (name == "TITLE") return std::string();
  if (name == "LOGINID") return UserShown(web);
  if (name == "CHARGE_ACCOUNT_TERM") return HtmlEscape(config.ChargeAccountTerm);
  if (name == "JOB_CODE_TERM") return HtmlEscape(config.AccountCodeTerm);
  if (name == "CLIENT_TERM") return HtmlEscape(config.ClientTerm);
  if (name.size() == 4 && name.starts_with("DAY") && name[3] >= '1' && name[3] <= '7')
    return DayName(config.DayOfWeek % 7 + (name[3] - '0'), 2);
  if (name == "TIME_SHEET_GRID") {
    std::vector<std::string> rows;
    TDataAccess(web.dm).LoadTimeSheet(rows, web.working_date);
    const LookupLists lists{web.dm.ChargeAccounts(), web.dm.JobCodes(), web.dm.Clients()};
    return TimeSheetGrid(config, lists, rows);
  }
  return std::nullopt;
}

}  // namespace tikora::web
