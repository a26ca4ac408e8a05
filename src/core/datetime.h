// The shared date-time value of both programs.
//
// A DateTime is a real number of days since 1899-12-30 00:00, local wall-clock time; the whole
// part is the day, the fraction the time of day (0.5 is noon). Values before the epoch follow the
// same convention as the stored data of older installations: the whole part counts days backwards
// and the *absolute* fraction is the time of day, so -1.25 is 1899-12-29 06:00.
//
// Time zones play no part: a value is what a wall clock showed. Conversions to text and from
// calendar fields are exact to the millisecond; every decoding rounds to the nearest millisecond
// first so that 0.999999... never shows as 23:59:59.999 of the day before.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace tikora {

struct DateTime {
  double days = 0.0;

  constexpr DateTime() = default;
  constexpr explicit DateTime(double d) : days(d) {}
  constexpr auto operator<=>(const DateTime&) const = default;
};

struct CalendarDate {
  int year = 1899, month = 12, day = 30;
  auto operator<=>(const CalendarDate&) const = default;
};

struct TimeOfDay {
  int hour = 0, minute = 0, second = 0, millisecond = 0;
  auto operator<=>(const TimeOfDay&) const = default;
};

inline constexpr std::int64_t kMsPerDay = 86'400'000;

// Calendar fields -> value. Return nullopt when a field is out of range (month 13, 30 February,
// hour 24, year outside 1..9999).
std::optional<DateTime> TryEncodeDate(int year, int month, int day);
std::optional<DateTime> TryEncodeTime(int hour, int minute, int second, int millisecond = 0);
// As above, but throw std::invalid_argument for fields out of range.
DateTime EncodeDate(int year, int month, int day);
DateTime EncodeTime(int hour, int minute, int second, int millisecond = 0);
DateTime EncodeDateTime(const CalendarDate& date, const TimeOfDay& time);

CalendarDate DecodeDate(DateTime value);
TimeOfDay DecodeTime(DateTime value);

// The whole day (time of day dropped) and the time of day alone (a value in [0, 1)).
DateTime DatePart(DateTime value);
DateTime TimePart(DateTime value);
// Whole milliseconds since the epoch, signed; the exact representation used for arithmetic.
std::int64_t ToMilliseconds(DateTime value);
DateTime FromMilliseconds(std::int64_t ms);

// 1 = Sunday ... 7 = Saturday.
int DayOfWeek(DateTime value);
bool IsLeapYear(int year);
int DaysInMonth(int year, int month);

// The local wall-clock time now, and today at midnight.
DateTime Now();
DateTime Today();

// ISO texts, independent of the locale:
//   date "yyyy-MM-dd", time "hh:mm:ss.zzz", timestamp "yyyy-MM-dd hh:mm:ss.zzz".
std::string FormatIsoDate(DateTime value);
std::string FormatIsoTime(DateTime value);
std::string FormatIsoTimestamp(DateTime value);

// Readers of ISO texts. Dates take "yyyy-MM-dd"; times take "hh:mm", "hh:mm:ss" or
// "hh:mm:ss.z..." (fraction of one to three digits, or more which are rounded); timestamps take a
// date, optionally followed by a blank or "T" and a time. Surrounding blanks are allowed; anything
// else, or a field out of range, gives nullopt.
std::optional<DateTime> ParseIsoDateText(std::string_view text);
std::optional<DateTime> ParseIsoTimeText(std::string_view text);
std::optional<DateTime> ParseIsoTimestampText(std::string_view text);

}  // namespace tikora
