#include "core/regional.h"

#include <clocale>
#include <string>

#include <gtest/gtest.h>

#include "locale_guard.h"

namespace tikora {
namespace {

using test::ScopedLocale;

struct LocaleCase {
  const char* locale;
  const char* time_separator;
  const char* date_separator;
  const char* decimal_separator;
  const char* am;
  const char* pm;
  const char* short_date_format;
  bool uses_24_hour_clock;
};

TEST(RegionalSettings, ComeFromTheProcessLocale) {
  const LocaleCase cases[] = {
      {"C", ":", "/", ".", "AM", "PM", "%m/%d/%Y", true},
      {"POSIX", ":", "/", ".", "AM", "PM", "%m/%d/%Y", true},
      {"C.UTF-8", ":", "/", ".", "AM", "PM", "%m/%d/%Y", true},
      // de_DE has no AM/PM strings of its own: the defaults stand in.
      {"de_DE.UTF-8", ":", ".", ",", "AM", "PM", "%d.%m.%Y", true},
      // en_US writes times with "%r", a 12-hour clock.
      {"en_US.UTF-8", ":", "/", ".", "AM", "PM", "%m/%d/%Y", false},
  };
  for (const auto& c : cases) {
    ScopedLocale locale(c.locale);
    if (!locale.ok()) continue;
    SCOPED_TRACE(c.locale);
    const RegionalSettings r = CurrentRegionalSettings();
    EXPECT_EQ(r.time_separator, c.time_separator);
    EXPECT_EQ(r.date_separator, c.date_separator);
    EXPECT_EQ(r.decimal_separator, c.decimal_separator);
    EXPECT_EQ(r.am_designator, c.am);
    EXPECT_EQ(r.pm_designator, c.pm);
    EXPECT_EQ(r.short_date_format, c.short_date_format);
    EXPECT_EQ(r.uses_24_hour_clock, c.uses_24_hour_clock);
  }
}

TEST(RegionalSettings, AreReadAgainAtEveryCall) {
  ScopedLocale c_locale("C");
  EXPECT_EQ(CurrentRegionalSettings().decimal_separator, ".");
  {
    ScopedLocale german("de_DE.UTF-8");
    if (!german.ok()) GTEST_SKIP() << "locale de_DE.UTF-8 is not installed";
    EXPECT_EQ(CurrentRegionalSettings().decimal_separator, ",");
  }
  EXPECT_EQ(CurrentRegionalSettings().decimal_separator, ".");
}

TEST(RegionalSettings, ShortDateFormatHoldsDayMonthAndFourDigitYearOnly) {
  for (const char* name : {"C", "C.UTF-8", "de_DE.UTF-8", "en_US.UTF-8"}) {
    ScopedLocale locale(name);
    if (!locale.ok()) continue;
    SCOPED_TRACE(name);
    const std::string f = CurrentRegionalSettings().short_date_format;
    EXPECT_NE(f.find("%d"), std::string::npos);
    EXPECT_NE(f.find("%m"), std::string::npos);
    EXPECT_NE(f.find("%Y"), std::string::npos);
    EXPECT_EQ(f.find("%y"), std::string::npos);
  }
}

TEST(ScopedLocale, RestoresThePreviousLocaleAndReportsAMissingOne) {
  const std::string before = std::setlocale(LC_ALL, nullptr);
  {
    ScopedLocale missing("xx_NO.SUCH-LOCALE");
    EXPECT_FALSE(missing.ok());
    EXPECT_EQ(std::setlocale(LC_ALL, nullptr), before);
  }
  {
    ScopedLocale c_locale("C");
    EXPECT_TRUE(c_locale.ok());
  }
  EXPECT_EQ(std::setlocale(LC_ALL, nullptr), before);
}

}  // namespace
}  // namespace tikora

namespace tikora {
namespace {

struct FormatsCase {
  const char* what;
  LocaleFormats formats;
  const char* time_separator;
  const char* date_separator;
  const char* short_date_format;
  bool uses_24_hour_clock;
};

TEST(RegionalSettingsFrom, ReducesLocaleFormatsToWhatTikoraUses) {
  const FormatsCase cases[] = {
      {"C", {"%H:%M:%S", "%I:%M:%S %p", "%m/%d/%y", ".", "AM", "PM"}, ":", "/", "%m/%d/%Y", true},
      {"de_DE", {"%T", "", "%d.%m.%Y", ",", "", ""}, ":", ".", "%d.%m.%Y", true},
      {"en_US", {"%r", "%I:%M:%S %p", "%m/%d/%Y", ".", "AM", "PM"}, ":", "/", "%m/%d/%Y", false},
      {"en_GB", {"%T", "%l:%M:%S %P %Z", "%d/%m/%y", ".", "am", "pm"}, ":", "/", "%d/%m/%Y", true},
      {"fi_FI", {"%H.%M.%S", "", "%d.%m.%Y", ",", "", ""}, ".", ".", "%d.%m.%Y", true},
      {"ja_JP",
       {"%H時%M分%S秒", "%p%I時%M分%S秒", "%Y年%m月%d日", ".", "午前", "午後"},
       ":",
       "/",
       "%Y年%m月%d日",
       true},
      {"ko_KR",
       {"%H시 %M분 %S초", "%p %I시 %M분 %S초", "%Y년 %m월 %d일", ".", "오전", "오후"},
       ":",
       "/",
       "%Y년 %m월 %d일",
       true},
      {"%r without T_FMT_AMPM", {"%r", "", "%D", ".", "", ""}, ":", "/", "%m/%d/%Y", false},
      {"%F and %R", {"%R", "", "%F", ".", "", ""}, ":", "-", "%Y-%m-%d", true},
      {"flags and modifiers",
       {"%-k:%OM", "", "%e.%-m.%Ey", ".", "", ""},
       ":",
       ".",
       "%d.%m.%Y",
       true},
      {"%C%y", {"%l:%M %p", "", "%d/%m/%C%y", ".", "", ""}, ":", "/", "%d/%m/%Y", false},
      {"month names", {"%H:%M", "", "%a %b %e %Y", ".", "", ""}, ":", "/", "%Y-%m-%d", true},
      {"a percent sign", {"%H:%M", "", "%d%%%m%%%Y", ".", "", ""}, ":", "%", "%d%%%m%%%Y", true},
      {"nothing stated", {"", "", "", "", "", ""}, ":", "/", "%m/%d/%Y", false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    const RegionalSettings r = RegionalSettingsFrom(c.formats);
    EXPECT_EQ(r.time_separator, c.time_separator);
    EXPECT_EQ(r.date_separator, c.date_separator);
    EXPECT_EQ(r.short_date_format, c.short_date_format);
    EXPECT_EQ(r.uses_24_hour_clock, c.uses_24_hour_clock);
    EXPECT_FALSE(r.decimal_separator.empty());
    EXPECT_FALSE(r.am_designator.empty());
    EXPECT_FALSE(r.pm_designator.empty());
  }
  EXPECT_EQ(RegionalSettingsFrom({"%T", "", "%d.%m.%Y", ",", "", ""}).decimal_separator, ",");
  EXPECT_EQ(RegionalSettingsFrom({"%T", "", "%d.%m.%Y", "", "", ""}).decimal_separator, ".");
  EXPECT_EQ(RegionalSettingsFrom({"%T", "", "", "", "午前", "午後"}).pm_designator, "午後");
}

}  // namespace
}  // namespace tikora
