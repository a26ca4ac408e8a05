// Showing the three pages and reporting problems above them.
//
// A page is its template file with every tag filled by the page's tag handler; tags a handler
// leaves alone fall back to the built-in tags and request variables (template_filter.h).
// Problems found while the request is handled are collected by ReportProblem and written where
// the page's STATUS_MESSAGE tag stands, or before the page when its template has no such tag, or
// alone when the request shows no page. Each is followed by the "Back" and "Main" links.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/config.h"
#include "core/datetime.h"
#include "web/request.h"
#include "web/response.h"
#include "web/session.h"
#include "web/template_filter.h"
#include "web/web_module.h"

namespace tikora::web {

// The state of one request while it is handled.
struct WebRequest {
  const Request& request;
  TDM& dm;
  Session& session;
  DateTime now;             // the local time the request is handled at
  DateTime working_date;    // "Dte" (main page), or the first day of the week (time sheet)
  Response response;
  std::vector<std::string> problems;  // HTML, each with its links, not yet written
  // The start of the user's open entry on `open_entry_account`, once looked up for a page.
  std::optional<std::string> open_entry_account;
  std::optional<DateTime> open_entry_start;

  TConfig& Config() { return dm.Config(); }
};

// The links written after every problem: back to the previous page, and the program itself.
std::string ProblemLinks(std::string_view script_name);

// Notes a problem. `message_html` is written as is: escape every variable part of it.
void ReportProblem(WebRequest& web, std::string_view message_html);

// The problems not yet written, with their links; afterwards none is pending.
std::string TakeProblems(WebRequest& web);

// Writes the page to the response (the data module must be active for the main and time sheet
// pages).
void ShowPage(WebRequest& web, PageKind page);

// "hh:nn:ss" of a duration in days, with the locale's time separator; the hours are whole hours of
// at least two digits, so a day or more shows as such ("80:00:00"); a negative one shows as zero.
std::string FormatDuration(double days);

// The first day of the time sheet week that holds `date`.
DateTime SheetWeekStart(const TConfig& config, DateTime date);

// The tag handlers of the pages; nullopt for a tag they do not handle.
std::optional<std::string> ffLoginHttpEntry(WebRequest& web, const Tag& tag);
std::optional<std::string> ffMainHttpEntry(WebRequest& web, const Tag& tag);
std::optional<std::string> ffTimeSheetHttpEntry(WebRequest& web, const Tag& tag);

}  // namespace tikora::web
