#include "engine/sql_datetime_literal.h"

#include <fmt/format.h>

namespace tikora::engine::sql {
namespace {

// Reads 1..max_digits decimal digits at pos; the count read goes to *digits.
std::optional<int> ReadNumber(std::string_view text, std::size_t& pos, int max_digits, int* digits = nullptr) {
  int value = 0;
  int count = 0;
  while (pos < text.size() && count < max_digits && text[pos] >= '0' && text[pos] <= '9') {
    value = value * 10 + (text[pos] - '0');
    ++pos;
    ++count;
  }
  if (count == 0) return std::nullopt;
  if (digits) *digits = count;
  return value;
}

bool Accept(std::string_view text, std::size_t& pos, char c) {
  if (pos < text.size() && text[pos] == c) {
    ++pos;
    return true;
  }
  return false;
}

bool IsLeap(int year) { return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0; }

int DaysIn(int year, int month) {
  static constexpr int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  return month == 2 && IsLeap(year) ? 29 : kDays[month - 1];
}

bool ReadDate(std::string_view text, std::size_t& pos, DateTimeLiteral& out) {
  int year_digits = 0;
  auto year = ReadNumber(text, pos, 4, &year_digits);
  if (!year || year_digits != 4 || !Accept(text, pos, '-')) return false;
  auto month = ReadNumber(text, pos, 2);
  if (!month || !Accept(text, pos, '-')) return false;
  auto day = ReadNumber(text, pos, 2);
  if (!day) return false;
  if (*year < 1 || *month < 1 || *month > 12 || *day < 1 || *day > DaysIn(*year, *month)) return false;
  out.has_date = true;
  out.year = *year;
  out.month = *month;
  out.day = *day;
  return true;
}

bool ReadTime(std::string_view text, std::size_t& pos, DateTimeLiteral& out) {
  auto hour = ReadNumber(text, pos, 2);
  if (!hour || !Accept(text, pos, ':')) return false;
  auto minute = ReadNumber(text, pos, 2);
  if (!minute) return false;
  int second = 0;
  int millisecond = 0;
  if (Accept(text, pos, ':')) {
    auto s = ReadNumber(text, pos, 2);
    if (!s) return false;
    second = *s;
    if (Accept(text, pos, '.')) {
      int digits = 0;
      auto fraction = ReadNumber(text, pos, 3, &digits);
      if (!fraction) return false;
      millisecond = *fraction * (digits == 1 ? 100 : digits == 2 ? 10 : 1);
    }
  }
  if (*hour > 23 || *minute > 59 || second > 59) return false;
  out.has_time = true;
  out.hour = *hour;
  out.minute = *minute;
  out.second = second;
  out.millisecond = millisecond;
  return true;
}

std::string_view Trim(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
  return s;
}

}  // namespace

std::optional<DateTimeLiteral> ParseDateTimeLiteral(std::string_view text) {
  text = Trim(text);
  DateTimeLiteral out;
  std::size_t pos = 0;
  // A date begins with four digits and '-'; a time has ':' within its first three characters.
  const bool looks_like_time = text.substr(0, 3).find(':') != std::string_view::npos;
  if (looks_like_time) {
    if (!ReadTime(text, pos, out)) return std::nullopt;
  } else {
    if (!ReadDate(text, pos, out)) return std::nullopt;
    if (pos < text.size()) {
      if (!Accept(text, pos, ' ') && !Accept(text, pos, 'T')) return std::nullopt;
      while (Accept(text, pos, ' ')) {
      }
      if (!ReadTime(text, pos, out)) return std::nullopt;
    }
  }
  if (pos != text.size()) return std::nullopt;
  return out;
}

std::optional<std::string> StorageFormOf(std::string_view text, FieldType type) {
  auto v = ParseDateTimeLiteral(text);
  if (!v) return std::nullopt;
  switch (type) {
    case FieldType::Date:
      if (!v->has_date || (v->has_time && !v->IsMidnight())) return std::nullopt;
      return fmt::format("{:04}-{:02}-{:02}", v->year, v->month, v->day);
    case FieldType::Time:
      if (v->has_date) return std::nullopt;
      return fmt::format("{:02}:{:02}:{:02}.{:03}", v->hour, v->minute, v->second, v->millisecond);
    case FieldType::Timestamp:
      if (!v->has_date) return std::nullopt;
      return fmt::format("{:04}-{:02}-{:02} {:02}:{:02}:{:02}.{:03}", v->year, v->month, v->day,
                         v->hour, v->minute, v->second, v->millisecond);
    default:
      return std::nullopt;
  }
}

}  // namespace tikora::engine::sql
