#include "core/datetime.h"

#include <cmath>
#include <ctime>
#include <stdexcept>

#include <fmt/format.h>

namespace tikora {
namespace {

// Days from 0001-01-01 (proleptic Gregorian) to 1899-12-30.
constexpr std::int64_t kEpochOffset = 693593;

// Days since 0001-01-01 of a calendar date, day 0 being 0001-01-01.
std::int64_t DaysFromCivil(int y, int m, int d) {
  // Howard Hinnant's algorithm, shifted so that the count starts at 0001-01-01.
  y -= m <= 2;
  const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
  const unsigned yoe = static_cast<unsigned>(y - era * 400);
  const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + static_cast<std::int64_t>(doe) - 719468 + 719162;
}

CalendarDate CivilFromDays(std::int64_t z) {
  z += 719468 - 719162;
  const std::int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  const unsigned doe = static_cast<unsigned>(z - era * 146097);
  const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const std::int64_t y = static_cast<std::int64_t>(yoe) + era * 400;
  const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const unsigned mp = (5 * doy + 2) / 153;
  const unsigned d = doy - (153 * mp + 2) / 5 + 1;
  const unsigned m = mp < 10 ? mp + 3 : mp - 9;
  return {static_cast<int>(y + (m <= 2)), static_cast<int>(m), static_cast<int>(d)};
}

// Splits a value into whole days and milliseconds of the day (0 .. kMsPerDay-1), honouring the
// convention that the fraction of a negative value is the time of day in absolute terms.
struct DayAndMs {
  std::int64_t day;
  std::int64_t ms;
};

DayAndMs Split(DateTime value) {
  double whole = std::trunc(value.days);
  double frac = std::fabs(value.days - whole);
  auto ms = static_cast<std::int64_t>(std::llround(frac * static_cast<double>(kMsPerDay)));
  auto day = static_cast<std::int64_t>(whole);
  if (ms >= kMsPerDay) {  // rounding carried into the next day
    ms -= kMsPerDay;
    day += value.days < 0 ? -1 : 1;
  }
  return {day, ms};
}

DateTime Join(std::int64_t day, std::int64_t ms) {
  double frac = static_cast<double>(ms) / static_cast<double>(kMsPerDay);
  return DateTime(day >= 0 ? static_cast<double>(day) + frac : static_cast<double>(day) - frac);
}

}  // namespace

bool IsLeapYear(int year) { return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0; }

int DaysInMonth(int year, int month) {
  static constexpr int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  if (month < 1 || month > 12) return 0;
  return month == 2 && IsLeapYear(year) ? 29 : kDays[month - 1];
}

std::optional<DateTime> TryEncodeDate(int year, int month, int day) {
  if (year < 1 || year > 9999 || month < 1 || month > 12 || day < 1 ||
      day > DaysInMonth(year, month))
    return std::nullopt;
  return DateTime(static_cast<double>(DaysFromCivil(year, month, day) - kEpochOffset));
}

std::optional<DateTime> TryEncodeTime(int hour, int minute, int second, int millisecond) {
  if (hour < 0 || hour > 23 || minute < 0 || minute > 59 || second < 0 || second > 59 ||
      millisecond < 0 || millisecond > 999)
    return std::nullopt;
  std::int64_t ms = ((hour * 60LL + minute) * 60 + second) * 1000 + millisecond;
  return Join(0, ms);
}

DateTime EncodeDate(int year, int month, int day) {
  if (auto v = TryEncodeDate(year, month, day)) return *v;
  throw std::invalid_argument(fmt::format("invalid date {:04}-{:02}-{:02}", year, month, day));
}

DateTime EncodeTime(int hour, int minute, int second, int millisecond) {
  if (auto v = TryEncodeTime(hour, minute, second, millisecond)) return *v;
  throw std::invalid_argument(
      fmt::format("invalid time {:02}:{:02}:{:02}.{:03}", hour, minute, second, millisecond));
}

DateTime EncodeDateTime(const CalendarDate& date, const TimeOfDay& time) {
  DateTime d = EncodeDate(date.year, date.month, date.day);
  DateTime t = EncodeTime(time.hour, time.minute, time.second, time.millisecond);
  return Join(static_cast<std::int64_t>(d.days), Split(t).ms);
}

CalendarDate DecodeDate(DateTime value) { return CivilFromDays(Split(value).day + kEpochOffset); }

TimeOfDay DecodeTime(DateTime value) {
  std::int64_t ms = Split(value).ms;
  TimeOfDay t;
  t.millisecond = static_cast<int>(ms % 1000);
  ms /= 1000;
  t.second = static_cast<int>(ms % 60);
  ms /= 60;
  t.minute = static_cast<int>(ms % 60);
  t.hour = static_cast<int>(ms / 60);
  return t;
}

DateTime DatePart(DateTime value) { return DateTime(static_cast<double>(Split(value).day)); }
DateTime TimePart(DateTime value) { return Join(0, Split(value).ms); }

std::int64_t ToMilliseconds(DateTime value) {
  DayAndMs s = Split(value);
  return s.day * kMsPerDay + (s.day >= 0 ? s.ms : -s.ms);
}

DateTime FromMilliseconds(std::int64_t ms) {
  return DateTime(static_cast<double>(ms) / static_cast<double>(kMsPerDay));
}

int DayOfWeek(DateTime value) {
  // 1899-12-30 was a Saturday (7).
  std::int64_t d = Split(value).day;
  int r = static_cast<int>(((d % 7) + 7 + 6) % 7);  // 0 = Sunday
  return r + 1;
}

DateTime Now() {
  timespec ts{};
  clock_gettime(CLOCK_REALTIME, &ts);
  std::tm tm{};
  time_t secs = ts.tv_sec;
  localtime_r(&secs, &tm);
  DateTime d = EncodeDate(tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday);
  int second = tm.tm_sec > 59 ? 59 : tm.tm_sec;  // leap second
  std::int64_t ms = ((tm.tm_hour * 60LL + tm.tm_min) * 60 + second) * 1000 + ts.tv_nsec / 1'000'000;
  return Join(static_cast<std::int64_t>(d.days), ms);
}

DateTime Today() { return DatePart(Now()); }

std::string FormatIsoDate(DateTime value) {
  CalendarDate d = DecodeDate(value);
  return fmt::format("{:04}-{:02}-{:02}", d.year, d.month, d.day);
}

std::string FormatIsoTime(DateTime value) {
  TimeOfDay t = DecodeTime(value);
  return fmt::format("{:02}:{:02}:{:02}.{:03}", t.hour, t.minute, t.second, t.millisecond);
}

std::string FormatIsoTimestamp(DateTime value) {
  return FormatIsoDate(value) + ' ' + FormatIsoTime(value);
}

namespace {

// A small cursor over ISO text: digits of fixed width and literal characters.
struct IsoReader {
  std::string_view s;
  std::size_t pos = 0;

  bool AtEnd() const { return pos >= s.size(); }
  bool Literal(char c) {
    if (pos < s.size() && s[pos] == c) {
      ++pos;
      return true;
    }
    return false;
  }
  // Reads between min and max digits.
  std::optional<int> Digits(std::size_t min, std::size_t max, std::size_t* count = nullptr) {
    std::size_t start = pos;
    int v = 0;
    while (pos < s.size() && pos - start < max && s[pos] >= '0' && s[pos] <= '9')
      v = v * 10 + (s[pos++] - '0');
    if (pos - start < min) return std::nullopt;
    if (count) *count = pos - start;
    return v;
  }
};

std::string_view Trim(std::string_view t) {
  while (!t.empty() && (t.front() == ' ' || t.front() == '\t')) t.remove_prefix(1);
  while (!t.empty() && (t.back() == ' ' || t.back() == '\t')) t.remove_suffix(1);
  return t;
}

std::optional<DateTime> ReadDate(IsoReader& r) {
  auto y = r.Digits(4, 4);
  if (!y || !r.Literal('-')) return std::nullopt;
  auto m = r.Digits(1, 2);
  if (!m || !r.Literal('-')) return std::nullopt;
  auto d = r.Digits(1, 2);
  if (!d) return std::nullopt;
  return TryEncodeDate(*y, *m, *d);
}

// Milliseconds of the day, or nullopt.
std::optional<std::int64_t> ReadTime(IsoReader& r) {
  auto h = r.Digits(1, 2);
  if (!h || !r.Literal(':')) return std::nullopt;
  auto mi = r.Digits(2, 2);
  if (!mi) return std::nullopt;
  int sec = 0;
  double frac = 0;
  if (r.Literal(':')) {
    auto s = r.Digits(2, 2);
    if (!s) return std::nullopt;
    sec = *s;
    if (r.Literal('.')) {
      std::size_t start = r.pos;
      while (!r.AtEnd() && r.s[r.pos] >= '0' && r.s[r.pos] <= '9') ++r.pos;
      if (r.pos == start) return std::nullopt;
      // Digits after the point, read without the locale (std::stod would want a comma in some).
      double scale = 0.1;
      for (std::size_t i = start; i < r.pos; ++i, scale /= 10) frac += (r.s[i] - '0') * scale;
    }
  }
  if (*h > 23 || *mi > 59 || sec > 59) return std::nullopt;
  std::int64_t ms = ((*h * 60LL + *mi) * 60 + sec) * 1000 + std::llround(frac * 1000);
  if (ms >= kMsPerDay) ms = kMsPerDay - 1;  // 23:59:59.9996 stays on its day
  return ms;
}

}  // namespace

std::optional<DateTime> ParseIsoDateText(std::string_view text) {
  IsoReader r{Trim(text)};
  auto d = ReadDate(r);
  if (!d || !r.AtEnd()) return std::nullopt;
  return d;
}

std::optional<DateTime> ParseIsoTimeText(std::string_view text) {
  IsoReader r{Trim(text)};
  auto ms = ReadTime(r);
  if (!ms || !r.AtEnd()) return std::nullopt;
  return Join(0, *ms);
}

std::optional<DateTime> ParseIsoTimestampText(std::string_view text) {
  IsoReader r{Trim(text)};
  auto d = ReadDate(r);
  if (!d) return std::nullopt;
  if (r.AtEnd()) return d;
  if (!r.Literal(' ') && !r.Literal('T')) return std::nullopt;
  auto ms = ReadTime(r);
  if (!ms || !r.AtEnd()) return std::nullopt;
  return Join(static_cast<std::int64_t>(d->days), *ms);
}

}  // namespace tikora
