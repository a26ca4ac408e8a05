#include "core/text_helpers.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <cwctype>
#include <optional>
#include <system_error>
#include <vector>

#include <fmt/format.h>

#include "core/regional.h"

namespace tikora {
namespace {

// ---------------------------------------------------------------------------------------------
// Small text tools

bool IsDigit(char c) {
  return c >= '0' && c <= '9';
}

// Blanks and control characters (what the CSV rules and the number readers trim).
bool IsBlankOrControl(char c) {
  return static_cast<unsigned char>(c) <= ' ';
}

std::string_view Trim(std::string_view t) {
  while (!t.empty() && IsBlankOrControl(t.front())) t.remove_prefix(1);
  while (!t.empty() && IsBlankOrControl(t.back())) t.remove_suffix(1);
  return t;
}

char AsciiLower(char c) {
  return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

// Position of `needle` in `haystack` with ASCII letters compared caselessly (SQL keywords).
std::size_t FindAsciiNoCase(std::string_view haystack, std::string_view needle) {
  if (needle.size() > haystack.size()) return std::string_view::npos;
  for (std::size_t i = 0; i + needle.size() <= haystack.size(); ++i) {
    std::size_t k = 0;
    while (k < needle.size() && AsciiLower(haystack[i + k]) == AsciiLower(needle[k])) ++k;
    if (k == needle.size()) return i;
  }
  return std::string_view::npos;
}

// One decoded UTF-8 character: its code point and its length in bytes. A byte that does not
// start a valid sequence decodes alone, to a value above the Unicode range that equals only
// itself, so that invalid text still compares byte for byte.
struct Utf8Char {
  char32_t code;
  std::size_t length;
};

constexpr char32_t kInvalidByte = 0x200000;

bool IsContinuation(char c) {
  return (static_cast<unsigned char>(c) & 0xC0) == 0x80;
}

Utf8Char DecodeAt(std::string_view s, std::size_t i) {
  const auto lead = static_cast<unsigned char>(s[i]);
  if (lead < 0x80) return {lead, 1};
  std::size_t length = 0;
  char32_t code = 0, minimum = 0;
  if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2, code = lead & 0x1F, minimum = 0x80;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3, code = lead & 0x0F, minimum = 0x800;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4, code = lead & 0x07, minimum = 0x10000;
  } else {
    return {kInvalidByte + lead, 1};
  }
  if (i + length > s.size()) return {kInvalidByte + lead, 1};
  for (std::size_t k = 1; k < length; ++k) {
    if (!IsContinuation(s[i + k])) return {kInvalidByte + lead, 1};
    code = (code << 6) | (static_cast<unsigned char>(s[i + k]) & 0x3F);
  }
  if (code < minimum || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF))
    return {kInvalidByte + lead, 1};
  return {code, length};
}

// The caseless form of one character: ASCII always, other letters through the locale.
char32_t Fold(char32_t c) {
  if (c < 0x80) return static_cast<char32_t>(AsciiLower(static_cast<char>(c)));
  if (c > 0x10FFFF) return c;
  return static_cast<char32_t>(std::towlower(static_cast<std::wint_t>(c)));
}

// Whether `text` at byte `i` begins with `search`, compared caselessly character by character;
// on success `*matched` is the length of the match in `text`, in bytes.
bool MatchNoCaseAt(std::string_view text, std::size_t i, std::string_view search,
                   std::size_t* matched) {
  std::size_t ti = i, si = 0;
  while (si < search.size()) {
    if (ti >= text.size()) return false;
    const Utf8Char a = DecodeAt(text, ti), b = DecodeAt(search, si);
    if (a.code != b.code && Fold(a.code) != Fold(b.code)) return false;
    ti += a.length;
    si += b.length;
  }
  *matched = ti - i;
  return true;
}

bool EqualsNoCase(std::string_view a, std::string_view b) {
  std::size_t matched = 0;
  return MatchNoCaseAt(a, 0, b, &matched) && matched == a.size();
}

// The first character (all its bytes) of a text.
std::string_view FirstCharacter(std::string_view s) {
  if (s.empty()) return s;
  return s.substr(0, DecodeAt(s, 0).length);
}

std::string Quoted(std::string_view text) {
  return "'" + std::string(text) + "'";
}

// ---------------------------------------------------------------------------------------------
// Numbers

// A whole text as a double in C notation ("-1.5", "2e3", "inf"); nullopt when any of it is left
// over or the number is out of range.
std::optional<double> ReadCNumber(std::string_view text) {
  if (!text.empty() && text.front() == '+') {
    text.remove_prefix(1);
    if (!text.empty() && text.front() == '-') return std::nullopt;
  }
  if (text.empty()) return std::nullopt;
  double value = 0;
  const char* end = text.data() + text.size();
  auto [ptr, ec] = std::from_chars(text.data(), end, value, std::chars_format::general);
  if (ec != std::errc() || ptr != end) return std::nullopt;
  return value;
}

// The text with every regional decimal separator written as ".".
std::string WithDotDecimal(std::string_view text, const std::string& separator) {
  std::string out(text);
  if (separator.empty() || separator == ".") return out;
  for (std::size_t p = out.find(separator); p != std::string::npos; p = out.find(separator, p + 1))
    out.replace(p, separator.size(), ".");
  return out;
}

// ---------------------------------------------------------------------------------------------
// Dates and times

// Adds whole days to a value, keeping its time of day also across the epoch (where the fraction
// of a negative value counts as the absolute time of day, datetime.h).
DateTime AddDays(DateTime value, int days) {
  const double shifted = value.days + days;
  if (value.days >= 0 && shifted >= 0) return DateTime(shifted);
  const double day = DatePart(value).days + days;
  const double time = TimePart(value).days;
  return DateTime(day >= 0 ? day + time : day - time);
}

// Reads one to `max` digits after optional blanks; `*count` receives the number of digits.
std::optional<int> ReadNumber(std::string_view s, std::size_t& pos, std::size_t max,
                              std::size_t* count = nullptr) {
  while (pos < s.size() && (s[pos] == ' ' || s[pos] == '\t')) ++pos;
  const std::size_t start = pos;
  int value = 0;
  while (pos < s.size() && pos - start < max && IsDigit(s[pos]))
    value = value * 10 + (s[pos++] - '0');
  if (pos == start) return std::nullopt;
  if (count != nullptr) *count = pos - start;
  return value;
}

// Reads a short date at the start of `s` in the normalised strftime `format` (regional.h);
// `pos` is left after the date.
std::optional<DateTime> ReadShortDate(std::string_view s, std::string_view format,
                                      std::size_t& pos) {
  std::optional<int> day, month, year;
  for (std::size_t f = 0; f < format.size(); ++f) {
    char c = format[f];
    if (c == '%' && f + 1 < format.size()) {
      c = format[++f];
      if (c == 'd' || c == 'm') {
        auto v = ReadNumber(s, pos, 2);
        if (!v) return std::nullopt;
        (c == 'd' ? day : month) = v;
        continue;
      }
      if (c == 'Y') {
        std::size_t digits = 0;
        auto v = ReadNumber(s, pos, 4, &digits);
        if (!v) return std::nullopt;
        year = digits <= 2 ? (*v < 50 ? 2000 + *v : 1900 + *v) : *v;
        continue;
      }
      // "%%" and anything unexpected: the character itself.
    }
    if (c == ' ') {
      while (pos < s.size() && (s[pos] == ' ' || s[pos] == '\t')) ++pos;
    } else if (pos < s.size() && s[pos] == c) {
      ++pos;
    } else {
      return std::nullopt;
    }
  }
  if (!day || !month || !year) return std::nullopt;
  return TryEncodeDate(*year, *month, *day);
}

struct Designator {
  std::string_view text;
  bool pm;
};

// Reads a time of day: hours, separator, minutes, optionally separator and seconds, with an
// AM/PM designator before or after (blanks between allowed). `separators` and `designators`
// list what is accepted.
std::optional<DateTime> ReadTime(std::string_view text,
                                 const std::vector<std::string_view>& separators,
                                 std::vector<Designator> designators) {
  std::string_view t = Trim(text);
  // Longest designators first, so that "p.m." is not taken for a "p".
  std::stable_sort(
      designators.begin(), designators.end(),
      [](const Designator& a, const Designator& b) { return a.text.size() > b.text.size(); });
  std::optional<bool> pm;
  for (const Designator& d : designators) {
    if (d.text.empty() || d.text.size() >= t.size()) continue;
    if (EqualsNoCase(t.substr(t.size() - d.text.size()), d.text)) {
      pm = d.pm;
      t = Trim(t.substr(0, t.size() - d.text.size()));
      break;
    }
    if (EqualsNoCase(t.substr(0, d.text.size()), d.text)) {
      pm = d.pm;
      t = Trim(t.substr(d.text.size()));
      break;
    }
  }
  std::size_t pos = 0;
  auto separator = [&]() {
    for (std::string_view sep : separators) {
      if (!sep.empty() && t.substr(pos, sep.size()) == sep) {
        pos += sep.size();
        return true;
      }
    }
    return false;
  };
  auto digits = [&]() -> std::optional<int> {
    if (pos >= t.size() || !IsDigit(t[pos])) return std::nullopt;
    return ReadNumber(t, pos, 2);
  };
  auto hour = digits();
  if (!hour || !separator()) return std::nullopt;
  auto minute = digits();
  if (!minute) return std::nullopt;
  int second = 0;
  if (pos < t.size()) {
    if (!separator()) return std::nullopt;
    auto s = digits();
    if (!s) return std::nullopt;
    second = *s;
  }
  if (pos != t.size()) return std::nullopt;
  int h = *hour;
  if (pm) {
    if (h > 12) return std::nullopt;
    if (*pm && h < 12) h += 12;
    if (!*pm && h == 12) h = 0;
  }
  return TryEncodeTime(h, *minute, second);
}

std::optional<DateTime> ReadLocaleTime(std::string_view text, const RegionalSettings& r) {
  return ReadTime(text, {r.time_separator, ":"},
                  {{r.am_designator, false}, {r.pm_designator, true}, {"AM", false}, {"PM", true}});
}

std::string ShortDate(DateTime value, const RegionalSettings& r) {
  const CalendarDate d = DecodeDate(value);
  std::string out;
  const std::string& format = r.short_date_format;
  for (std::size_t f = 0; f < format.size(); ++f) {
    if (format[f] == '%' && f + 1 < format.size()) {
      switch (format[++f]) {
        case 'd':
          out += fmt::format("{:02}", d.day);
          continue;
        case 'm':
          out += fmt::format("{:02}", d.month);
          continue;
        case 'Y':
          out += fmt::format("{:04}", d.year);
          continue;
        default:
          break;  // "%%": the character itself
      }
    }
    out += format[f];
  }
  return out;
}

std::string LocaleTime(DateTime value, const RegionalSettings& r) {
  const TimeOfDay t = DecodeTime(value);
  const std::string& sep = r.time_separator;
  if (r.uses_24_hour_clock)
    return fmt::format("{:02}{}{:02}{}{:02}", t.hour, sep, t.minute, sep, t.second);
  const int hour = t.hour % 12 == 0 ? 12 : t.hour % 12;
  return fmt::format("{:02}{}{:02}{}{:02} {}", hour, sep, t.minute, sep, t.second,
                     t.hour < 12 ? r.am_designator : r.pm_designator);
}

constexpr std::array<const char*, 7> kDayNames = {"Sunday",   "Monday", "Tuesday", "Wednesday",
                                                  "Thursday", "Friday", "Saturday"};

}  // namespace

// ---------------------------------------------------------------------------------------------
// Dates and weeks

std::string IsoDate(DateTime value) {
  return FormatIsoDate(value);
}

DateTime ParseIsoDate(std::string_view text) {
  if (auto v = ParseIsoDateText(text)) return *v;
  throw ConversionError(Quoted(text) + " is not a valid date (yyyy-MM-dd)");
}

DateTime StartOfWeek(int first_day, DateTime value) {
  const int first = ((first_day % 7) + 7) % 7;  // 0 = Sunday
  const int d = DayOfWeek(value);               // 1 = Sunday
  const int back = first < d ? d - first - 1 : d - first + 6;
  return AddDays(value, -back);
}

std::string ShortDayName(int day) {
  if (day < 1 || day > 7) return {};
  return std::string(kDayNames[static_cast<std::size_t>(day - 1)], 3);
}

std::string DayName(int n, int length) {
  if (n >= 8) n %= 7;
  if (n < 1 || n > 7 || length <= 0) return {};
  std::string name = kDayNames[static_cast<std::size_t>(n - 1)];
  return name.substr(0, static_cast<std::size_t>(length));
}

// ---------------------------------------------------------------------------------------------
// Times

bool Is24HourClock() {
  return CurrentRegionalSettings().uses_24_hour_clock;
}

std::string FormatHourMinute(DateTime value) {
  const TimeOfDay t = DecodeTime(value);
  return fmt::format("{:02}:{:02}", t.hour, t.minute);
}

DateTime ParseHourMinute(std::string_view text) {
  if (Trim(text).empty()) return DateTime(0);
  if (auto v = ReadTime(text, {":"}, {{"AM", false}, {"PM", true}})) return *v;
  throw ConversionError(Quoted(text) + " is not a valid time (hh:mm)");
}

std::string NormalizeTimeText(std::string_view text, bool twelve_hour) {
  const RegionalSettings r = CurrentRegionalSettings();
  const std::string& sep = r.time_separator;
  const std::string_view am_letter = FirstCharacter(r.am_designator);
  const std::string_view pm_letter = FirstCharacter(r.pm_designator);

  std::vector<std::string> groups;  // hours, minutes, seconds as read
  std::string group;                // the group being read
  std::string marker;               // the designator typed, if any
  auto close_group = [&]() {
    if (group.empty()) return;  // an empty group never takes a place
    if (groups.size() < 3) groups.push_back(group);
    group.clear();
  };
  for (std::size_t i = 0; i < text.size();) {
    if (IsDigit(text[i])) {
      group += text[i++];
      if (group.size() == 2) close_group();
      continue;
    }
    if (!sep.empty() && text.substr(i, sep.size()) == sep) {
      close_group();
      i += sep.size();
      continue;
    }
    close_group();
    const std::string_view ch = text.substr(i, DecodeAt(text, i).length);
    if (EqualsNoCase(ch, am_letter))
      marker = r.am_designator;
    else if (EqualsNoCase(ch, pm_letter))
      marker = r.pm_designator;
    i += ch.size();
  }
  close_group();

  auto part = [&](std::size_t n, const char* missing) {
    if (n >= groups.size()) return std::string(missing);
    return groups[n].size() == 1 ? "0" + groups[n] : groups[n];
  };
  std::string hours = part(0, "01");
  if (!twelve_hour && hours == "24") hours = "00";
  std::string out = hours + sep + part(1, "00") + sep + part(2, "00");
  if (twelve_hour) out += " " + (marker.empty() ? r.am_designator : marker);
  return out;
}

double RoundToMultiple(bool round_up, double value, double unit) {
  if (unit == 0) return 0;
  double q = value / unit;
  // Snap a quotient that is a whole or half number but for binary representation error.
  const double twice = 2 * q, nearest_half = std::round(twice);
  if (std::fabs(twice - nearest_half) <= 2e-9 * std::max(1.0, std::fabs(q))) q = nearest_half / 2;
  double whole;
  if (round_up) {
    whole = std::ceil(q);
  } else {
    const double below = std::floor(q), rest = q - below;
    if (rest > 0.5)
      whole = below + 1;
    else if (rest < 0.5)
      whole = below;
    else
      whole = std::fmod(below, 2.0) == 0 ? below : below + 1;
  }
  if (whole == 0) return 0;  // no "-0"
  return whole * unit;
}

// ---------------------------------------------------------------------------------------------
// Text

std::string RightStr(std::string_view text, int n) {
  if (n <= 0) return {};
  std::vector<std::size_t> starts;  // where each character begins
  for (std::size_t i = 0; i < text.size(); i += DecodeAt(text, i).length) starts.push_back(i);
  const auto count = static_cast<std::size_t>(n);
  if (count >= starts.size()) return std::string(text);
  return std::string(text.substr(starts[starts.size() - count]));
}

double FirstNumber(std::string_view text) {
  const std::string decimal = CurrentRegionalSettings().decimal_separator;
  const std::string_view t = Trim(text);
  auto run_char = [&](std::size_t i) -> std::size_t {
    if (IsDigit(t[i]) || t[i] == '-') return 1;
    if (!decimal.empty() && t.substr(i, decimal.size()) == decimal) return decimal.size();
    return 0;
  };
  std::size_t start = 0;
  while (start < t.size() && run_char(start) == 0) ++start;
  if (start == t.size()) return 0;
  std::size_t end = start;
  while (end < t.size()) {
    const std::size_t n = run_char(end);
    if (n == 0) break;
    end += n;
  }
  const std::string_view run = t.substr(start, end - start);
  if (auto v = ReadCNumber(WithDotDecimal(run, decimal))) return *v;
  throw ConversionError(Quoted(run) + " (in " + Quoted(text) + ") is not a valid number");
}

std::string CrLfToBlank(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') {
      out += ' ';
      ++i;
    } else {
      out += text[i];
    }
  }
  return out;
}

std::string DoubleToSingleQuotes(std::string_view text) {
  std::string out(text);
  std::replace(out.begin(), out.end(), '"', '\'');
  return out;
}

std::size_t PosFrom(std::string_view sub, std::string_view text, std::size_t start) {
  if (sub.empty()) return 0;
  const std::size_t from = start == 0 ? 0 : start - 1;
  if (from >= text.size()) return 0;
  const std::size_t p = text.find(sub, from);
  return p == std::string_view::npos ? 0 : p + 1;
}

std::string ReplaceFirstNoCase(std::string_view text, std::string_view search,
                               std::string_view replacement, std::size_t start) {
  if (search.empty()) return std::string(text);
  // Both texts as caseless characters; the text's also with their byte offsets (one past the
  // last = the text's size), so that a match begins and ends on character boundaries only.
  std::vector<char32_t> wanted;
  for (std::size_t i = 0; i < search.size();) {
    const Utf8Char c = DecodeAt(search, i);
    wanted.push_back(Fold(c.code));
    i += c.length;
  }
  std::vector<char32_t> chars;
  std::vector<std::size_t> offsets;
  for (std::size_t i = 0; i < text.size();) {
    const Utf8Char c = DecodeAt(text, i);
    chars.push_back(Fold(c.code));
    offsets.push_back(i);
    i += c.length;
  }
  offsets.push_back(text.size());
  const std::size_t from = start == 0 ? 0 : start - 1;  // a start inside a character moves on
  for (std::size_t k = 0; k + wanted.size() <= chars.size(); ++k) {
    if (offsets[k] < from) continue;
    if (!std::equal(wanted.begin(), wanted.end(), chars.begin() + static_cast<std::ptrdiff_t>(k)))
      continue;
    std::string out(text.substr(0, offsets[k]));
    out += replacement;
    out += text.substr(offsets[k + wanted.size()]);
    return out;
  }
  return std::string(text);
}

std::string CsvField(std::string_view line, char separator, int index) {
  if (index < 0) return {};
  const std::size_t n = line.size();
  std::size_t i = 0;
  // 1. Skip `index` fields: separators outside quotes end them; "" is passed over as a pair.
  bool quoted = false;
  for (int passed = 0; passed < index; ++i) {
    if (i >= n) return {};
    const char c = line[i];
    if (c == '"') {
      if (i + 1 < n && line[i + 1] == '"')
        ++i;
      else
        quoted = !quoted;
    } else if (c == separator && !quoted) {
      ++passed;
    }
  }
  // 2. Collect up to the next separator outside quotes; "" gives one quote, a single quote
  //    flips the state and is kept.
  std::string value;
  quoted = false;
  for (; i < n; ++i) {
    const char c = line[i];
    if (c == '"') {
      if (i + 1 < n && line[i + 1] == '"')
        ++i;
      else
        quoted = !quoted;
      value += '"';
    } else if (c == separator && !quoted) {
      break;
    } else {
      value += c;
    }
  }
  // 3. Surrounding quotes go (a lone quote leaves nothing), 4. then blanks and control characters.
  std::string_view v = value;
  if (!v.empty() && v.front() == '"' && v.back() == '"')
    v = v.size() == 1 ? std::string_view() : v.substr(1, v.size() - 2);
  return std::string(Trim(v));
}

std::string CsvReplaceField(std::string_view line, std::string_view value, char separator,
                            int index) {
  std::size_t from = 0;  // just after the index-th separator
  for (int passed = 0; passed < index; ++passed) {
    const std::size_t p = line.find(separator, from);
    if (p == std::string_view::npos) return std::string(line) + std::string(value);
    from = p + 1;
  }
  std::string out(line.substr(0, from));
  out += value;
  const std::size_t rest = line.find(separator, from);
  if (rest != std::string_view::npos) out += line.substr(rest);
  return out;
}

std::string AndJoin(std::string_view a, std::string_view b) {
  if (a.empty()) return std::string(b);
  return std::string(a) + " AND " + std::string(b);
}

std::string AddSqlCondition(std::string_view sql, std::string_view condition) {
  if (condition.empty()) return std::string(sql);
  const std::size_t where = FindAsciiNoCase(sql, "WHERE ");
  const std::size_t group_by = FindAsciiNoCase(sql, "GROUP BY ");
  const std::size_t having = FindAsciiNoCase(sql, "HAVING ");
  const std::size_t order_by = FindAsciiNoCase(sql, "ORDER BY ");
  constexpr auto npos = std::string_view::npos;
  const std::size_t insert = group_by != npos ? group_by : having != npos ? having : order_by;
  const std::string connector = where != npos ? " AND " : " WHERE ";
  if (insert == npos) return std::string(sql) + connector + std::string(condition);
  // The character before the keyword (normally a blank) stands on both sides of the insertion.
  std::string out(sql.substr(0, insert));
  out += connector;
  out += condition;
  out += sql.substr(insert == 0 ? 0 : insert - 1);
  return out;
}

// ---------------------------------------------------------------------------------------------
// Locale-aware texts

std::string FormatShortDate(DateTime value) {
  return ShortDate(value, CurrentRegionalSettings());
}

DateTime ParseShortDate(std::string_view text) {
  const RegionalSettings r = CurrentRegionalSettings();
  const std::string_view t = Trim(text);
  std::size_t pos = 0;
  auto v = ReadShortDate(t, r.short_date_format, pos);
  if (v && pos == t.size()) return *v;
  throw ConversionError(Quoted(text) + " is not a valid date");
}

std::string FormatLocaleTime(DateTime value) {
  return LocaleTime(value, CurrentRegionalSettings());
}

DateTime ParseLocaleTime(std::string_view text) {
  if (auto v = ReadLocaleTime(text, CurrentRegionalSettings())) return *v;
  throw ConversionError(Quoted(text) + " is not a valid time");
}

std::string FormatLocaleDateTime(DateTime value) {
  const RegionalSettings r = CurrentRegionalSettings();
  std::string out = ShortDate(value, r);
  if (DecodeTime(value) != TimeOfDay{}) out += " " + LocaleTime(value, r);
  return out;
}

DateTime ParseLocaleDateTime(std::string_view text) {
  const RegionalSettings r = CurrentRegionalSettings();
  const std::string_view t = Trim(text);
  std::size_t pos = 0;
  if (auto date = ReadShortDate(t, r.short_date_format, pos)) {
    if (pos == t.size()) return *date;
    if (t[pos] == ' ' || t[pos] == '\t') {
      if (auto time = ReadLocaleTime(t.substr(pos), r))
        return EncodeDateTime(DecodeDate(*date), DecodeTime(*time));
    }
  }
  throw ConversionError(Quoted(text) + " is not a valid date and time");
}

std::string FormatLocaleFloat(double value) {
  std::array<char, 64> buffer{};
  const auto result = std::to_chars(buffer.data(), buffer.data() + buffer.size(), value);
  std::string text(buffer.data(), result.ptr);
  const std::string decimal = CurrentRegionalSettings().decimal_separator;
  if (decimal != ".") {
    const std::size_t dot = text.find('.');
    if (dot != std::string::npos) text.replace(dot, 1, decimal);
  }
  return text;
}

double ParseLocaleFloat(std::string_view text) {
  const std::string decimal = CurrentRegionalSettings().decimal_separator;
  if (auto v = ReadCNumber(WithDotDecimal(Trim(text), decimal))) return *v;
  throw ConversionError(Quoted(text) + " is not a valid number");
}

}  // namespace tikora
