// Regional settings of the running process, read from its POSIX locale.
//
// Programs call setlocale(LC_ALL, "") at start, so these follow LANG / LC_* of the environment.
// Every value is read on each call (no caching): tests switch locales inside one process.
// In the C locale the values are ":" for times, "/" for dates, "." for decimals, "AM" and "PM".
#pragma once

#include <string>

namespace tikora {

struct RegionalSettings {
  std::string time_separator;     // between hours, minutes and seconds, e.g. ":"
  std::string date_separator;     // between the fields of the short date, e.g. "/" or "."
  std::string decimal_separator;  // e.g. "." or ","
  std::string am_designator;      // e.g. "AM"; never empty (falls back to "AM")
  std::string pm_designator;      // e.g. "PM"; never empty (falls back to "PM")
  // The locale's short date format as a strftime pattern with a four-digit year ("%d.%m.%Y"):
  // a two-digit year would lose the century in files and reports.
  std::string short_date_format;
  bool uses_24_hour_clock = true;  // the locale's time format shows hours 00-23
};

RegionalSettings CurrentRegionalSettings();

}  // namespace tikora
