// Date, time and text helpers shared by both programs plus the locale-aware
// conversions that CSV files and reports use for dates, times and numbers.
//
// Every function is free, keeps no state and returns a new value. Text is UTF-8 in std::string.
// Positions count from 1 and are byte positions; 0 means "not found". Functions that cut text by
// a number of characters (RightStr, DayName) count UTF-8 characters, so they never split one.
//
// Whatever depends on the regional settings (time and date separators, AM and PM designators,
// decimal separator, 12- or 24-hour clock) is read from CurrentRegionalSettings() (regional.h),
// that is the POSIX locale of the process, at every call. In the C locale these are ":", "/",
// "AM", "PM", "." and a 24-hour clock.
//
// Text that cannot be converted raises ConversionError, whose message quotes the text.
#pragma once

#include <cstddef>
#include <stdexcept>
#include <string>
#include <string_view>

#include "core/datetime.h"

namespace tikora {

// Text that is not a valid date, time or number. what() names the offending text, e.g.
// "'31.02.2024' is not a valid date".
class ConversionError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// ---------------------------------------------------------------------------------------------
// Dates and weeks

// The date as "yyyy-MM-dd", whatever the locale (the SQL date literals use it).
std::string IsoDate(DateTime value);

// Reads "yyyy-MM-dd" (surrounding blanks allowed; the locale is not consulted).
// Throws ConversionError for anything else, including impossible dates.
DateTime ParseIsoDate(std::string_view text);

// The latest day on or before `value` whose weekday is `first_day` (0 = Sunday ... 6 = Saturday;
// other numbers are taken modulo 7). The time of day of `value` is carried over.
DateTime StartOfWeek(int first_day, DateTime value);

// "Sun" ... "Sat" for 1 ... 7; empty for any other number.
std::string ShortDayName(int day);

// n >= 8 is first reduced modulo 7; 1 ... 7 give "Sunday" ... "Saturday" cut to their first
// `length` characters; anything else (0, negative) gives empty text. DayName(8, 3) == "Sun".
std::string DayName(int n, int length);

// ---------------------------------------------------------------------------------------------
// Times

// True when the locale's time format uses a 24-hour clock; false for a 12-hour clock or when
// the locale has no time format.
bool Is24HourClock();

// The time of day as "hh:mm" (00-23, colon), e.g. "09:05".
std::string FormatHourMinute(DateTime value);

// Empty (or blank) text gives 0 (midnight). Otherwise "h:mm" or "h:mm:ss" with ":" (the locale
// is not consulted), hours 0-23, optionally followed by "AM" or "PM" (any case), which then
// makes the hours 1-12 of a 12-hour clock. Returns the time of day (a value in [0, 1)).
// Throws ConversionError for anything else.
DateTime ParseHourMinute(std::string_view text);

// Cleans a time typed by the user: up to three groups of at most two
// digits become "hh<sep>mm<sep>ss" with the regional time separator, plus " " and the AM or PM
// designator in twelve-hour mode. No ranges are checked ("930" gives "93:00:00"). A letter that
// starts the AM or PM designator sets the marker when no digit group is open; the letter itself
// closes an open group first, so "9pm" and "9 pm" both mark PM.
std::string NormalizeTimeText(std::string_view text, bool twelve_hour);

// 0 when `unit` is 0; otherwise value / unit rounded to a whole number — up (ceiling) when
// `round_up`, else to the nearest with halves to the even neighbour — times `unit`.
// A quotient within 1e-9 (relative) of a whole or half number is taken as exactly that number,
// so that decimal inputs such as 1.1 / 0.1 do not round up to 12 because of binary fractions.
double RoundToMultiple(bool round_up, double value, double unit);

// ---------------------------------------------------------------------------------------------
// Text

// The last `n` characters (UTF-8 characters), the whole text when shorter, empty when n <= 0.
std::string RightStr(std::string_view text, int n);

// The first run of digits, regional decimal separators and "-" in the text, read as a number
// with the regional decimal separator; 0 when there is no such character. A run that is no
// number ("1-2", "-", also the "." of "ca. 7 h" in the C locale) throws ConversionError. With a
// comma locale "7,5 h" gives 7.5; in the C locale the same text gives 7.
double FirstNumber(std::string_view text);

// Every "\r\n" pair replaced by one blank.
std::string CrLfToBlank(std::string_view text);

// Every double quote replaced by a single quote.
std::string DoubleToSingleQuotes(std::string_view text);

// Position (from 1) of the first occurrence of `sub` in `text` at or after `start` (0 counts as
// 1); 0 when there is none or `sub` is empty.
std::size_t PosFrom(std::string_view sub, std::string_view text, std::size_t start);

// `text` with the first occurrence of `search` at or after byte position `start` (0 counts as 1)
// replaced by `replacement`, letters compared without regard to case; `text` unchanged when there
// is none or `search` is empty. ASCII letters always compare caselessly; other letters do in a
// UTF-8 locale (towlower of each character). Matches begin and end on character boundaries
// (a start inside a character moves on to the next one), so UTF-8 sequences are never split.
std::string ReplaceFirstNoCase(std::string_view text, std::string_view search,
                               std::string_view replacement, std::size_t start);

// Field number `index` (0 = first) of a delimited line, with double quotes grouping text and ""
// standing for one quote inside a field; surrounding quotes, blanks and control characters are
// removed. A line with fewer fields (or a negative index) gives empty text.
//   CsvField("a,\"b,c\",d", ',', 1) == "b,c";  CsvField("\"say \"\"hi\"\"\"", ',', 0) == "say
//   \"hi\""
std::string CsvField(std::string_view line, char separator, int index);

// The line with field number `index` replaced by `value`, without any quote handling: the line
// up to and including its index-th separator (the whole line when it has fewer), the value, then
// the rest of the line from the separator that ended the old field. A negative index is taken
// as 0. CsvReplaceField("a;b;c", "X", ';', 1) == "a;X;c".
std::string CsvReplaceField(std::string_view line, std::string_view value, char separator,
                            int index);

// a + " AND " + b when a is not empty, else b.
std::string AndJoin(std::string_view a, std::string_view b);

// The SQL statement with `condition` added to its WHERE clause:
// " WHERE " + condition, or " AND " + condition when the statement has "WHERE ", placed before
// the first "GROUP BY ", else "HAVING ", else "ORDER BY " (keywords found ignoring case), or at
// the end. An empty condition leaves the statement unchanged.
std::string AddSqlCondition(std::string_view sql, std::string_view condition);

// ---------------------------------------------------------------------------------------------
// Locale-aware texts of dates, times and numbers (CSV files, reports, settings)

// The date in the locale's short date format (RegionalSettings::short_date_format), always with
// a four-digit year: "12/31/2024" in C and en_US, "31.12.2024" in de_DE.
std::string FormatShortDate(DateTime value);

// Reads a date in the locale's short date format. Day and month take one or two digits, the year
// one to four: one or two digits map to 1950-2049 ("24" is 2024, "50" is 1950), three or four are
// the year itself. Blanks around the text and before each number are allowed.
// Throws ConversionError for other text or impossible dates.
DateTime ParseShortDate(std::string_view text);

// The time of day as hours, minutes and seconds with the regional time separator, two digits
// each: "14:05:09" on a 24-hour clock, "02:05:09 PM" (designator after a blank) on a 12-hour one.
// Milliseconds are dropped.
std::string FormatLocaleTime(DateTime value);

// Reads "h<sep>mm" or "h<sep>mm<sep>ss" (sep: the regional time separator, or ":"), optionally
// followed by the regional AM/PM designator or "AM"/"PM" (any case), which makes the hours 1-12
// (12 AM is midnight). Without a designator hours are 0-23. Returns the time of day in [0, 1).
// Throws ConversionError for other text.
DateTime ParseLocaleTime(std::string_view text);

// FormatShortDate, a blank and FormatLocaleTime; only the date when the time of day (to the
// millisecond) is midnight.
std::string FormatLocaleDateTime(DateTime value);

// A short date, optionally followed by blanks and a time as ParseLocaleTime reads it.
// Throws ConversionError for other text.
DateTime ParseLocaleDateTime(std::string_view text);

// The shortest text that reads back to the same double, with the regional decimal separator and
// no thousands separators: 1.5 is "1,5" in de_DE; 1e+20 stays in exponent form; infinities and
// NaN give "inf", "-inf" and "nan".
std::string FormatLocaleFloat(double value);

// Reads a number written with the regional decimal separator or with "."; an optional sign,
// exponent and surrounding blanks are allowed, thousands separators are not.
// Throws ConversionError for other text and for numbers out of the double range.
double ParseLocaleFloat(std::string_view text);

}  // namespace tikora
