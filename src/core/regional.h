// Regional settings of the running process, read from its POSIX locale.
//
// Programs call setlocale(LC_ALL, "") at start, so these follow LANG / LC_* of the environment.
// Every value is read on each call (no caching): tests switch locales inside one process.
// In the C locale the values are ":" for times, "/" for dates, "." for decimals, "AM" and "PM",
// a 24-hour clock and the short date format "%m/%d/%Y".
#pragma once

#include <string>

namespace tikora {

struct RegionalSettings {
  // Between hours, minutes and seconds, e.g. ":": the ASCII punctuation character between the
  // hour and the minute of the locale's time format; ":" when there is none such.
  std::string time_separator;
  // Between the fields of the short date, e.g. "/" or "."; same rules as above, "/" by default.
  std::string date_separator;
  std::string decimal_separator;  // e.g. "." or ","; never empty
  std::string am_designator;      // e.g. "AM"; never empty (falls back to "AM")
  std::string pm_designator;      // e.g. "PM"; never empty (falls back to "PM")
  // The locale's short date format as a strftime pattern with a four-digit year ("%d.%m.%Y"):
  // a two-digit year would lose the century in files and reports. Normalised so that it holds
  // exactly one each of "%d", "%m" and "%Y", literal text and possibly "%%" — nothing else
  // (flags, "E"/"O" modifiers and "%e" are reduced to those; "%D" and "%F" are spelled out).
  // A locale whose date format names months or weekdays falls back to "%Y-%m-%d".
  std::string short_date_format;
  // The locale's time format shows hours 00-23. False for a 12-hour clock ("%I", "%l", "%r")
  // and when the locale has no time format at all.
  bool uses_24_hour_clock = true;
};

// The settings of the process locale (nl_langinfo, localeconv), read afresh at every call.
RegionalSettings CurrentRegionalSettings();

// What a locale states, as nl_langinfo and localeconv give it (empty when it states nothing).
struct LocaleFormats {
  std::string time_format;       // T_FMT, e.g. "%H:%M:%S", "%T" or "%r"
  std::string time_format_ampm;  // T_FMT_AMPM, what "%r" stands for, e.g. "%I:%M:%S %p"
  std::string date_format;       // D_FMT, e.g. "%m/%d/%y"
  std::string decimal_point;     // e.g. ","
  std::string am, pm;            // AM_STR, PM_STR
};

// The settings that a locale stating `formats` gives; CurrentRegionalSettings() is this applied
// to the process locale. Lets tests cover locales that are not installed.
RegionalSettings RegionalSettingsFrom(const LocaleFormats& formats);

}  // namespace tikora
