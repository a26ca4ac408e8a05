#include "core/regional.h"

#include <clocale>
#include <langinfo.h>

namespace tikora {
namespace {

// The first character of `format` that is not a strftime conversion or a digit, e.g. "/" in
// "%m/%d/%y"; `fallback` when there is none.
std::string FirstSeparator(const std::string& format, const char* fallback) {
  for (std::size_t i = 0; i < format.size(); ++i) {
    if (format[i] == '%') {
      ++i;
      continue;
    }
    return std::string(1, format[i]);
  }
  return fallback;
}

// Widens every two-digit year conversion of a strftime date format to four digits.
std::string WithFourDigitYear(std::string format) {
  for (std::size_t i = 0; i + 1 < format.size(); ++i) {
    if (format[i] == '%' && format[i + 1] == 'y') format[i + 1] = 'Y';
    if (format[i] == '%') ++i;
  }
  return format;
}

}  // namespace

RegionalSettings CurrentRegionalSettings() {
  RegionalSettings r;
  const std::string t_fmt = nl_langinfo(T_FMT);
  const std::string d_fmt = nl_langinfo(D_FMT);
  // "%T" and "%R" are shorthands for "%H:%M:%S" and "%H:%M".
  r.time_separator = (t_fmt == "%T" || t_fmt == "%R") ? ":" : FirstSeparator(t_fmt, ":");
  r.date_separator = (d_fmt == "%D") ? "/" : FirstSeparator(d_fmt, "/");
  r.short_date_format = WithFourDigitYear(d_fmt == "%D" ? "%m/%d/%y" : d_fmt);
  if (r.short_date_format.empty()) r.short_date_format = "%m/%d/%Y";
  const lconv* lc = localeconv();
  r.decimal_separator = (lc && lc->decimal_point && *lc->decimal_point) ? lc->decimal_point : ".";
  const char* am = nl_langinfo(AM_STR);
  const char* pm = nl_langinfo(PM_STR);
  r.am_designator = (am && *am) ? am : "AM";
  r.pm_designator = (pm && *pm) ? pm : "PM";
  // A 12-hour clock shows "%I" (01-12) or "%r"; a 24-hour clock "%H", "%T" or "%R".
  r.uses_24_hour_clock = t_fmt.find("%I") == std::string::npos &&
                         t_fmt.find("%l") == std::string::npos && t_fmt != "%r";
  return r;
}

}  // namespace tikora
