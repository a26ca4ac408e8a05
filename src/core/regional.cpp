#include "core/regional.h"

#include <langinfo.h>
#include <clocale>

#include <string_view>
#include <vector>

namespace tikora {
namespace {

// One piece of a strftime pattern: a conversion (its letter, flags and modifiers dropped) or a
// run of literal text.
struct Token {
  char conversion = 0;  // 0 for literal text
  std::string text;     // the literal text
};

// Splits a strftime pattern into tokens, spelling out the shorthands %T, %R, %r, %D and %F
// ("%r" becomes `ampm_format`). "%%" becomes the literal "%".
std::vector<Token> Tokenize(std::string_view format, std::string_view ampm_format, int depth = 0) {
  std::vector<Token> tokens;
  auto literal = [&tokens](std::string_view text) {
    if (text.empty()) return;
    if (tokens.empty() || tokens.back().conversion != 0) tokens.push_back(Token{});
    tokens.back().text.append(text);
  };
  auto expand = [&](std::string_view sub) {
    for (Token& t : Tokenize(sub, ampm_format, depth + 1)) {
      if (t.conversion == 0)
        literal(t.text);
      else
        tokens.push_back(std::move(t));
    }
  };
  for (std::size_t i = 0; i < format.size(); ++i) {
    if (format[i] != '%') {
      literal(format.substr(i, 1));
      continue;
    }
    std::size_t j = i + 1;
    while (j < format.size() && std::string_view("_-0^#").find(format[j]) != std::string_view::npos)
      ++j;
    while (j < format.size() && format[j] >= '0' && format[j] <= '9') ++j;
    while (j < format.size() && (format[j] == 'E' || format[j] == 'O')) ++j;
    if (j >= format.size()) {  // a dangling "%": keep it as text
      literal(format.substr(i));
      break;
    }
    const char c = format[j];
    i = j;
    if (c == '%') {
      literal("%");
    } else if (depth < 2 && c == 'T') {
      expand("%H:%M:%S");
    } else if (depth < 2 && c == 'R') {
      expand("%H:%M");
    } else if (depth < 2 && c == 'r') {
      expand(ampm_format.empty() ? std::string_view("%I:%M:%S %p") : ampm_format);
    } else if (depth < 2 && c == 'D') {
      expand("%m/%d/%y");
    } else if (depth < 2 && c == 'F') {
      expand("%Y-%m-%d");
    } else {
      tokens.push_back(Token{c, {}});
    }
  }
  return tokens;
}

// True when `text` is one ASCII punctuation character, which can stand between numbers.
// (Letters such as the "時" of "%H時%M分" cannot: such locales get the default separator.)
bool IsSeparatorCharacter(std::string_view text) {
  if (text.size() != 1) return false;
  const char c = text[0];
  return c > ' ' && c < 0x7f && !(c >= '0' && c <= '9') && !(c >= 'A' && c <= 'Z') &&
         !(c >= 'a' && c <= 'z');
}

// The literal text right after the first conversion in `accepted`, when a second conversion
// follows it and the text is a separator character; `fallback` otherwise.
std::string SeparatorAfter(const std::vector<Token>& tokens, std::string_view accepted,
                           const char* fallback) {
  for (std::size_t i = 0; i < tokens.size(); ++i) {
    if (tokens[i].conversion == 0 || accepted.find(tokens[i].conversion) == std::string_view::npos)
      continue;
    if (i + 2 < tokens.size() && tokens[i + 1].conversion == 0 && tokens[i + 2].conversion != 0 &&
        IsSeparatorCharacter(tokens[i + 1].text))
      return tokens[i + 1].text;
    break;
  }
  return fallback;
}

// The short date format reduced to %d, %m and %Y (see regional.h).
std::string NormaliseShortDate(const std::vector<Token>& tokens) {
  std::string out;
  int days = 0, months = 0, years = 0;
  for (std::size_t i = 0; i < tokens.size(); ++i) {
    const Token& t = tokens[i];
    switch (t.conversion) {
      case 0:
        for (char c : t.text) out += c == '%' ? std::string("%%") : std::string(1, c);
        break;
      case 'd':
      case 'e':
        out += "%d";
        ++days;
        break;
      case 'm':
        out += "%m";
        ++months;
        break;
      case 'C':  // "%C%y" is a four-digit year in two halves
        if (i + 1 >= tokens.size() || tokens[i + 1].conversion != 'y') return "%Y-%m-%d";
        ++i;
        [[fallthrough]];
      case 'y':
      case 'Y':
      case 'G':
        out += "%Y";
        ++years;
        break;
      default:
        return "%Y-%m-%d";
    }
  }
  if (days != 1 || months != 1 || years != 1) return "%Y-%m-%d";
  return out;
}

std::string OrDefault(const char* value, const char* fallback) {
  return (value != nullptr && *value != '\0') ? value : fallback;
}

}  // namespace

RegionalSettings RegionalSettingsFrom(const LocaleFormats& f) {
  RegionalSettings r;
  const std::string d_fmt = f.date_format.empty() ? "%m/%d/%y" : f.date_format;
  const std::vector<Token> time_tokens = Tokenize(f.time_format, f.time_format_ampm);
  const std::vector<Token> date_tokens = Tokenize(d_fmt, f.time_format_ampm);

  r.time_separator = SeparatorAfter(time_tokens, "HIkl", ":");
  r.date_separator = SeparatorAfter(date_tokens, "dempyYCG", "/");
  r.short_date_format = NormaliseShortDate(date_tokens);
  r.decimal_separator = f.decimal_point.empty() ? "." : f.decimal_point;
  r.am_designator = f.am.empty() ? "AM" : f.am;
  r.pm_designator = f.pm.empty() ? "PM" : f.pm;

  // A 12-hour clock shows "%I" or "%l" (01-12, also behind "%r"); a 24-hour clock "%H" or "%k".
  bool twelve = false, twenty_four = false;
  for (const Token& t : time_tokens) {
    twelve = twelve || t.conversion == 'I' || t.conversion == 'l';
    twenty_four = twenty_four || t.conversion == 'H' || t.conversion == 'k';
  }
  r.uses_24_hour_clock = !f.time_format.empty() && (twenty_four || !twelve);
  return r;
}

RegionalSettings CurrentRegionalSettings() {
  LocaleFormats f;
  f.time_format = OrDefault(nl_langinfo(T_FMT), "");
  f.time_format_ampm = OrDefault(nl_langinfo(T_FMT_AMPM), "");
  f.date_format = OrDefault(nl_langinfo(D_FMT), "");
  const lconv* lc = localeconv();
  f.decimal_point = lc != nullptr ? OrDefault(lc->decimal_point, "") : "";
  f.am = OrDefault(nl_langinfo(AM_STR), "");
  f.pm = OrDefault(nl_langinfo(PM_STR), "");
  return RegionalSettingsFrom(f);
}

}  // namespace tikora
