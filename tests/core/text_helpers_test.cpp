#include "core/text_helpers.h"

#include <cctype>
#include <cfloat>
#include <cmath>
#include <limits>
#include <optional>
#include <string>
#include <vector>

#include <fmt/format.h>
#include <gtest/gtest.h>

#include "core/datetime.h"
#include "locale_guard.h"

namespace tikora {
namespace {

using test::ScopedLocale;

// Sets a locale for one test, or skips the test when the locale is not installed.
#define TIKORA_USE_LOCALE(name)      \
  ScopedLocale scoped_locale_(name); \
  if (!scoped_locale_.ok()) GTEST_SKIP() << "locale " << (name) << " is not installed"

DateTime At(int y, int mo, int d, int h = 0, int mi = 0, int s = 0) {
  return EncodeDateTime({y, mo, d}, {h, mi, s, 0});
}

// ---------------------------------------------------------------------------------------------
// Dates and weeks

TEST(IsoDate, WritesYearMonthDayWithDashes) {
  EXPECT_EQ(IsoDate(At(2024, 3, 5)), "2024-03-05");
  EXPECT_EQ(IsoDate(At(2024, 12, 31, 23, 59, 59)), "2024-12-31");
  EXPECT_EQ(IsoDate(DateTime(0)), "1899-12-30");
  EXPECT_EQ(IsoDate(At(1, 1, 1)), "0001-01-01");
  EXPECT_EQ(IsoDate(At(9999, 12, 31)), "9999-12-31");
}

TEST(IsoDate, IsTheSameTextOnEveryLocale) {
  for (const char* name : {"C", "C.UTF-8", "de_DE.UTF-8", "en_US.UTF-8"}) {
    ScopedLocale locale(name);
    if (!locale.ok()) continue;
    SCOPED_TRACE(name);
    EXPECT_EQ(IsoDate(At(2023, 1, 9, 13, 30)), "2023-01-09");
    EXPECT_EQ(IsoDate(At(1999, 11, 30)), "1999-11-30");
  }
}

TEST(ParseIsoDate, ReadsWhatIsoDateWrites) {
  EXPECT_EQ(ParseIsoDate("2024-03-05"), At(2024, 3, 5));
  EXPECT_EQ(ParseIsoDate(" 2024-02-29 "), At(2024, 2, 29));
  for (DateTime d : {At(1900, 1, 1), At(2000, 2, 29), At(2099, 12, 31)})
    EXPECT_EQ(ParseIsoDate(IsoDate(d)), d);
}

TEST(ParseIsoDate, RejectsOtherTextWithAConversionError) {
  for (const char* text :
       {"", "2024-02-30", "31.12.2024", "12/31/2024", "2024-13-01", "today", "2024-01-01x"}) {
    SCOPED_TRACE(text);
    EXPECT_THROW(ParseIsoDate(text), ConversionError);
  }
  try {
    ParseIsoDate("2024-02-30");
    FAIL() << "no exception";
  } catch (const std::runtime_error& e) {  // ConversionError is a runtime_error
    EXPECT_NE(std::string(e.what()).find("2024-02-30"), std::string::npos) << e.what();
  }
}

struct WeekCase {
  int first_day;
  DateTime date;
  DateTime start;
};

TEST(StartOfWeek, FindsTheLatestFirstDayOnOrBefore) {
  // 2024-01-01 was a Monday.
  const WeekCase cases[] = {
      {1, At(2024, 1, 3), At(2024, 1, 1)},    // Wednesday -> Monday two days earlier
      {1, At(2024, 1, 1), At(2024, 1, 1)},    // Monday -> itself
      {1, At(2024, 1, 7), At(2024, 1, 1)},    // Sunday -> Monday six days earlier
      {0, At(2024, 1, 7), At(2024, 1, 7)},    // Sunday first: Sunday -> itself
      {0, At(2024, 1, 6), At(2023, 12, 31)},  // Saturday -> Sunday before, across the year
      {6, At(2024, 1, 6), At(2024, 1, 6)},    // Saturday first: Saturday -> itself
      {6, At(2024, 1, 5), At(2023, 12, 30)},  // Friday -> the Saturday six days earlier
      {3, At(2024, 3, 1), At(2024, 2, 28)},   // Wednesday first, across 29 February
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(::testing::Message() << "first " << c.first_day << " date " << IsoDate(c.date));
    EXPECT_EQ(StartOfWeek(c.first_day, c.date), c.start);
  }
}

TEST(StartOfWeek, CarriesTheTimeOfDayOver) {
  EXPECT_EQ(StartOfWeek(1, At(2024, 1, 4, 14, 30)), At(2024, 1, 1, 14, 30));
}

TEST(StartOfWeek, EveryFirstDayAndWeekdayGivesADayOfTheRightWeekdayWithinSixDays) {
  for (int first = 0; first <= 6; ++first) {
    for (int offset = 0; offset < 14; ++offset) {
      const DateTime date = At(2024, 6, 1 + offset, 8, 15);
      const DateTime start = StartOfWeek(first, date);
      EXPECT_EQ(DayOfWeek(start), first + 1);
      const double back = date.days - start.days;
      EXPECT_GE(back, 0);
      EXPECT_LE(back, 6);
      EXPECT_EQ(DecodeTime(start), (TimeOfDay{8, 15, 0, 0}));
    }
  }
}

TEST(StartOfWeek, KeepsTheTimeOfDayAcrossTheEpoch) {
  // 1899-12-31 (a Sunday) 06:00; the Wednesday before is 1899-12-27, a negative value.
  const DateTime start = StartOfWeek(3, At(1899, 12, 31, 6, 0));
  EXPECT_EQ(DecodeDate(start), (CalendarDate{1899, 12, 27}));
  EXPECT_EQ(DecodeTime(start), (TimeOfDay{6, 0, 0, 0}));
}

TEST(ShortDayName, NamesOneToSevenFromSunday) {
  const char* expected[] = {"", "Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat", ""};
  for (int n = 0; n <= 8; ++n) EXPECT_EQ(ShortDayName(n), expected[n]) << n;
  EXPECT_EQ(ShortDayName(-1), "");
}

struct DayNameCase {
  int n, length;
  const char* name;
};

TEST(DayName, CutsTheEnglishNameAndWrapsNumbersFromEight) {
  const DayNameCase cases[] = {
      {1, 3, "Sun"}, {2, 2, "Mo"},     {3, 10, "Tuesday"}, {4, 9, "Wednesday"},
      {5, 1, "T"},   {6, 6, "Friday"}, {7, 8, "Saturday"}, {8, 3, "Sun"},
      {14, 3, ""},   {9, 2, "Mo"},     {13, 2, "Fr"},      {0, 3, ""},
      {-1, 3, ""},   {3, 0, ""},       {2, -1, ""},        {15, 2, "Su"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(::testing::Message() << c.n << ", " << c.length);
    EXPECT_EQ(DayName(c.n, c.length), c.name);
  }
  // The time sheet header with Monday as first day: DayName(DayOfWeek + n, 2) for n = 1..7.
  std::string header;
  for (int n = 1; n <= 7; ++n) header += DayName(1 + n, 2) + " ";
  EXPECT_EQ(header, "Mo Tu We Th Fr Sa Su ");
}

// ---------------------------------------------------------------------------------------------
// Times

TEST(Is24HourClock, FollowsTheLocaleTimeFormat) {
  {
    ScopedLocale locale("C");
    EXPECT_TRUE(Is24HourClock());
  }
  {
    ScopedLocale locale("de_DE.UTF-8");
    if (locale.ok()) {
      EXPECT_TRUE(Is24HourClock());
    }
  }
  {
    ScopedLocale locale("en_US.UTF-8");
    if (locale.ok()) {
      EXPECT_FALSE(Is24HourClock());
    }
  }
}

TEST(FormatHourMinute, WritesTwoDigitHoursAndMinutesWithAColon) {
  EXPECT_EQ(FormatHourMinute(EncodeTime(9, 5, 0)), "09:05");
  EXPECT_EQ(FormatHourMinute(EncodeTime(23, 59, 59)), "23:59");
  EXPECT_EQ(FormatHourMinute(DateTime(0)), "00:00");
  EXPECT_EQ(FormatHourMinute(At(2024, 5, 6, 17, 45)), "17:45");
  TIKORA_USE_LOCALE("en_US.UTF-8");  // the locale's 12-hour clock plays no part
  EXPECT_EQ(FormatHourMinute(EncodeTime(21, 5, 0)), "21:05");
}

TEST(ParseHourMinute, ReadsHoursAndMinutes) {
  EXPECT_EQ(ParseHourMinute(""), DateTime(0));
  EXPECT_EQ(ParseHourMinute("  "), DateTime(0));
  EXPECT_EQ(ParseHourMinute("09:05"), EncodeTime(9, 5, 0));
  EXPECT_EQ(ParseHourMinute("9:05"), EncodeTime(9, 5, 0));
  EXPECT_EQ(ParseHourMinute("23:59"), EncodeTime(23, 59, 0));
  EXPECT_EQ(ParseHourMinute("00:00"), DateTime(0));
  EXPECT_EQ(ParseHourMinute("07:30:15"), EncodeTime(7, 30, 15));
  EXPECT_EQ(ParseHourMinute("9:05 pm"), EncodeTime(21, 5, 0));
  EXPECT_EQ(ParseHourMinute("12:10 AM"), EncodeTime(0, 10, 0));
  for (DateTime t : {EncodeTime(0, 1, 0), EncodeTime(12, 0, 0), EncodeTime(18, 42, 0)})
    EXPECT_EQ(ParseHourMinute(FormatHourMinute(t)), t);
}

TEST(ParseHourMinute, RejectsOtherTextWithAConversionError) {
  for (const char* text : {"9", "24:00", "09:60", "ab:cd", "9.30", "9:5x", "13:00 PM", ":30"}) {
    SCOPED_TRACE(text);
    EXPECT_THROW(ParseHourMinute(text), ConversionError);
  }
}

struct NormalizeCase {
  const char* typed;
  const char* twenty_four;
  const char* twelve;
};

TEST(NormalizeTimeText, CleansTypedTimesInBothModes) {
  TIKORA_USE_LOCALE("C.UTF-8");
  const NormalizeCase cases[] = {
      // The documented examples.
      {"9", "09:00:00", "09:00:00 AM"},
      {"9 30", "09:30:00", "09:30:00 AM"},
      {"11:59 pm", "11:59:00", "11:59:00 PM"},
      {"24:00", "00:00:00", "24:00:00 AM"},
      {"930", "93:00:00", "93:00:00 AM"},
      {":30", "30:00:00", "30:00:00 AM"},
      {"", "01:00:00", "01:00:00 AM"},
      // More of the same rules.
      {"12:30:45", "12:30:45", "12:30:45 AM"},
      {"1:2:3", "01:02:03", "01:02:03 AM"},
      {"123456", "12:34:56", "12:34:56 AM"},
      {"1234567", "12:34:56", "12:34:56 AM"},  // a fourth group is dropped
      {"9::30", "09:30:00", "09:30:00 AM"},    // empty groups take no place
      {"7 P", "07:00:00", "07:00:00 PM"},
      {"7 am", "07:00:00", "07:00:00 AM"},
      {"p 7 a", "07:00:00", "07:00:00 AM"},  // the last designator letter wins
      {"9pm", "09:00:00", "09:00:00 PM"},
      {"11:59PM", "11:59:00", "11:59:00 PM"},
      {"x", "01:00:00", "01:00:00 AM"},
      {"08.15", "08:15:00", "08:15:00 AM"},
      {"24", "00:00:00", "24:00:00 AM"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.typed);
    EXPECT_EQ(NormalizeTimeText(c.typed, false), c.twenty_four);
    EXPECT_EQ(NormalizeTimeText(c.typed, true), c.twelve);
  }
}

TEST(NormalizeTimeText, UsesTheRegionalSeparatorAndDesignators) {
  TIKORA_USE_LOCALE("de_DE.UTF-8");  // ":" and no designators of its own: "AM" and "PM"
  EXPECT_EQ(NormalizeTimeText("8 15", false), "08:15:00");
  EXPECT_EQ(NormalizeTimeText("8 15 p", true), "08:15:00 PM");
}

struct RoundCase {
  bool up;
  double value, unit, result;
};

TEST(RoundToMultiple, RoundsToTheNearestOrNextMultiple) {
  const RoundCase cases[] = {
      {false, 1.125, 0.25, 1.0},  // half to even (4.5 -> 4)
      {true, 1.125, 0.25, 1.25},  // up
      {false, 1.375, 0.25, 1.5},  // half to even (5.5 -> 6)
      {false, 1.1, 0.25, 1.0},   {false, 1.2, 0.25, 1.25}, {true, 1.01, 0.25, 1.25},
      {true, 1.0, 0.25, 1.0},    {false, 2.5, 1, 2},       {false, 3.5, 1, 4},
      {false, -2.5, 1, -2},      {true, -1.1, 1, -1},      {false, 7.3, 0, 0},
      {true, 7.3, 0, 0},         {false, 0, 0, 0},         {true, 1.1, 0.1, 1.1},
      {true, 0.7, 0.1, 0.7},     {false, 0.35, 0.1, 0.4},  {false, 8.0, 0.5, 8.0},
      {false, 0.1, 1, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(::testing::Message() << (c.up ? "up " : "") << c.value << " by " << c.unit);
    EXPECT_DOUBLE_EQ(RoundToMultiple(c.up, c.value, c.unit), c.result);
  }
  EXPECT_FALSE(std::signbit(RoundToMultiple(false, -0.1, 1)));  // 0, not -0
}

// ---------------------------------------------------------------------------------------------
// Text

TEST(RightStr, TakesTheLastCharacters) {
  EXPECT_EQ(RightStr("20240017", 4), "0017");
  EXPECT_EQ(RightStr("ab", 5), "ab");
  EXPECT_EQ(RightStr("abc", 3), "abc");
  EXPECT_EQ(RightStr("abc", 0), "");
  EXPECT_EQ(RightStr("abc", -2), "");
  EXPECT_EQ(RightStr("", 3), "");
  EXPECT_EQ(RightStr("Müller", 5), "üller");  // a character, not a byte
  EXPECT_EQ(RightStr("Maß", 1), "ß");
  EXPECT_EQ(RightStr("a\xff", 1), "\xff");  // an invalid byte counts as one character
}

struct FirstNumberCase {
  const char* text;
  double value;
};

TEST(FirstNumber, ReadsTheFirstRunOfDigits) {
  TIKORA_USE_LOCALE("C.UTF-8");
  const FirstNumberCase cases[] = {
      {"", 0},        {"abc", 0},         {"12", 12},
      {"12 min", 12}, {"  -3.5h ", -3.5}, {"about 7.25 h", 7.25},
      {"x 15,5", 15}, {"0030", 30},       {"every 5 to 10", 5},
      {".5", 0.5},    {"1e5", 1},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    EXPECT_DOUBLE_EQ(FirstNumber(c.text), c.value);
  }
}

TEST(FirstNumber, RejectsARunThatIsNoNumber) {
  TIKORA_USE_LOCALE("C.UTF-8");
  // "ca. 7 h": the first run is the "." after "ca".
  for (const char* text : {"1-2", "-", "a - b", "1.2.3", "--5", "ca. 7 h"}) {
    SCOPED_TRACE(text);
    EXPECT_THROW(FirstNumber(text), ConversionError);
  }
}

TEST(FirstNumber, UsesTheRegionalDecimalSeparator) {
  TIKORA_USE_LOCALE("de_DE.UTF-8");
  EXPECT_DOUBLE_EQ(FirstNumber("15,5 h"), 15.5);
  EXPECT_DOUBLE_EQ(FirstNumber("ca. 7,25"), 7.25);
  EXPECT_DOUBLE_EQ(FirstNumber("-0,5"), -0.5);
  EXPECT_DOUBLE_EQ(FirstNumber("1.5"), 1);  // "." is no decimal separator here
  EXPECT_THROW(FirstNumber("1,2,3"), ConversionError);
}

TEST(CrLfToBlank, ReplacesEachPairByOneBlank) {
  EXPECT_EQ(CrLfToBlank("a\r\nb\r\n\r\nc"), "a b  c");
  EXPECT_EQ(CrLfToBlank("a\nb\rc\n\r"), "a\nb\rc\n\r");  // lone ones stay
  EXPECT_EQ(CrLfToBlank(""), "");
}

TEST(DoubleToSingleQuotes, ReplacesEveryDoubleQuote) {
  EXPECT_EQ(DoubleToSingleQuotes("say \"hi\""), "say 'hi'");
  EXPECT_EQ(DoubleToSingleQuotes("no quotes"), "no quotes");
}

struct PosCase {
  const char* sub;
  const char* text;
  std::size_t start, position;
};

TEST(PosFrom, FindsTheFirstOccurrenceAtOrAfterTheStart) {
  const PosCase cases[] = {
      {"b", "abcb", 0, 2},  {"b", "abcb", 1, 2}, {"b", "abcb", 2, 2},    {"b", "abcb", 3, 4},
      {"b", "abcb", 4, 4},  {"b", "abcb", 5, 0}, {"x", "abc", 1, 0},     {"", "abc", 1, 0},
      {"cb", "abcb", 1, 3}, {"B", "abcb", 1, 0}, {"abcb", "abcb", 1, 1}, {"abcbc", "abcb", 1, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(::testing::Message() << c.sub << " in " << c.text << " from " << c.start);
    EXPECT_EQ(PosFrom(c.sub, c.text, c.start), c.position);
  }
}

TEST(ReplaceFirstNoCase, ReplacesOnlyTheFirstOccurrenceIgnoringCase) {
  EXPECT_EQ(ReplaceFirstNoCase("Hello World", "WORLD", "There", 1), "Hello There");
  EXPECT_EQ(ReplaceFirstNoCase("abc ABC abc", "abc", "x", 1), "x ABC abc");
  EXPECT_EQ(ReplaceFirstNoCase("abc ABC abc", "abc", "x", 2), "abc x abc");
  EXPECT_EQ(ReplaceFirstNoCase("abc ABC abc", "abc", "x", 0), "x ABC abc");
  EXPECT_EQ(ReplaceFirstNoCase("abc", "zz", "x", 1), "abc");
  EXPECT_EQ(ReplaceFirstNoCase("abc", "", "x", 1), "abc");
  EXPECT_EQ(ReplaceFirstNoCase("abc", "c", "x", 9), "abc");
  EXPECT_EQ(ReplaceFirstNoCase("MiXeD CaSe", "mixed", "plain", 1), "plain CaSe");
}

TEST(ReplaceFirstNoCase, KeepsUtf8Whole) {
  TIKORA_USE_LOCALE("C.UTF-8");
  EXPECT_EQ(ReplaceFirstNoCase("Größe ÄRGER", "ärger", "Freude", 1), "Größe Freude");
  EXPECT_EQ(ReplaceFirstNoCase("straße STRASSE", "STRASSE", "x", 1), "straße x");
  // A search text that is part of a multi-byte character never matches inside it.
  EXPECT_EQ(ReplaceFirstNoCase("ä", "\xa4", "x", 1), "ä");
  EXPECT_EQ(ReplaceFirstNoCase("aäb", "b", "x", 3), "aäx");  // a start inside "ä"
}

struct CsvCase {
  const char* line;
  char separator;
  int index;
  const char* field;
};

TEST(CsvField, ReadsFieldsAsThePartDescribes) {
  const CsvCase cases[] = {
      // The documented examples.
      {"a,\"b,c\",d", ',', 1, "b,c"},
      {"\"say \"\"hi\"\"\"", ',', 0, "say \"hi\""},
      {"a,b", ',', 5, ""},
      // More.
      {"a,\"b,c\",d", ',', 0, "a"},
      {"a,\"b,c\",d", ',', 2, "d"},
      {"a,\"b,c\",d", ',', 3, ""},
      {"a,b", ',', 2, ""},
      {"a,", ',', 1, ""},
      {"a,,c", ',', 1, ""},
      {"", ',', 0, ""},
      {" a , b ", ',', 1, "b"},
      {"\ta\r\n", ',', 0, "a"},
      {"\"\"", ',', 0, ""},
      {"\"", ',', 0, ""},
      {"\" padded \",x", ',', 0, "padded"},
      {"\"x,y\",z", ',', 1, "z"},
      {"\"a\"\"b,c\",d", ',', 0, "a\"b,c"},  // "" inside quotes keeps them open
      {"\"a\"\"b,c\",d", ',', 1, "d"},
      {"acc;job;cli;1,5;;;;;;;note", ';', 3, "1,5"},
      {"acc;job;cli;1,5;;;;;;;note", ';', 10, "note"},
      {"a;\"b;c\";d", ';', 1, "b;c"},
      {"a,b", ',', -1, ""},
      {"1\t2\t3", '\t', 2, "3"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(::testing::Message() << c.line << " [" << c.index << "]");
    EXPECT_EQ(CsvField(c.line, c.separator, c.index), c.field);
  }
}

TEST(CsvField, ReadsBackWhatTheExportWrites) {
  // CSV files: values enclosed in double quotes, separated by the separator alone.
  const std::vector<std::string> values = {"plain", "with, comma", "", "  padded", "ümlaut"};
  std::string line;
  for (std::size_t i = 0; i < values.size(); ++i)
    line += (i ? "," : "") + ("\"" + values[i] + "\"");
  EXPECT_EQ(CsvField(line, ',', 0), "plain");
  EXPECT_EQ(CsvField(line, ',', 1), "with, comma");
  EXPECT_EQ(CsvField(line, ',', 2), "");
  EXPECT_EQ(CsvField(line, ',', 3), "padded");
  EXPECT_EQ(CsvField(line, ',', 4), "ümlaut");
  EXPECT_EQ(CsvField(line, ',', 5), "");
}

struct ReplaceCase {
  const char* line;
  const char* value;
  int index;
  const char* result;
};

TEST(CsvReplaceField, ReplacesOneFieldWithoutQuoteHandling) {
  const ReplaceCase cases[] = {
      {"a;b;c", "X", 1, "a;X;c"},
      {"a;b;c", "X", 0, "X;b;c"},
      {"a;b;c", "X", 2, "a;b;X"},
      {"a;b;c", "X", 3, "a;b;cX"},
      {"a;b;c", "X", 5, "a;b;cX"},
      {"", "X", 0, "X"},
      {";;", "X", 1, ";X;"},
      {"a;b;c", "", 1, "a;;c"},
      {"\"a;b\";c", "X", 1, "\"a;X;c"},  // no quote handling
      {"acc;job;cli;1;2;3;4;5;6;7;note", ";;;;;;;", 3, "acc;job;cli;;;;;;;;;2;3;4;5;6;7;note"},
      {"a;b;c", "X", -1, "X;b;c"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(::testing::Message() << c.line << " [" << c.index << "] = " << c.value);
    EXPECT_EQ(CsvReplaceField(c.line, c.value, ';', c.index), c.result);
  }
}

TEST(CsvReplaceField, EmptiesTheHoursOfADefaultTimeSheetRow) {
  // Default time sheet rows: a row "account;job;client" gets seven separators as field 3.
  const std::string row = CsvReplaceField("ACC;JOB;CLI", ";;;;;;;", ';', 3);
  EXPECT_EQ(CsvField(row, ';', 0), "ACC");
  EXPECT_EQ(CsvField(row, ';', 2), "CLI");
  for (int i = 3; i <= 10; ++i) EXPECT_EQ(CsvField(row, ';', i), "") << i;
}

TEST(AndJoin, JoinsWithAndUnlessTheFirstIsEmpty) {
  EXPECT_EQ(AndJoin("a = 1", "b = 2"), "a = 1 AND b = 2");
  EXPECT_EQ(AndJoin("", "b = 2"), "b = 2");
  EXPECT_EQ(AndJoin("a = 1", ""), "a = 1 AND ");
  EXPECT_EQ(AndJoin("", ""), "");
}

struct SqlCase {
  const char* sql;
  const char* condition;
  const char* result;
};

TEST(AddSqlCondition, AddsTheConditionToTheWhereClause) {
  const SqlCase cases[] = {
      {"SELECT * FROM T", "", "SELECT * FROM T"},
      {"SELECT * FROM T", "a=1", "SELECT * FROM T WHERE a=1"},
      {"SELECT * FROM T WHERE b=2", "a=1", "SELECT * FROM T WHERE b=2 AND a=1"},
      {"SELECT * FROM T WHERE b=2 ORDER BY c", "a=1",
       "SELECT * FROM T WHERE b=2  AND a=1 ORDER BY c"},
      {"SELECT * FROM T ORDER BY c", "a=1", "SELECT * FROM T  WHERE a=1 ORDER BY c"},
      {"SELECT a, COUNT(*) FROM T GROUP BY a HAVING COUNT(*) > 1 ORDER BY a", "b=2",
       "SELECT a, COUNT(*) FROM T  WHERE b=2 GROUP BY a HAVING COUNT(*) > 1 ORDER BY a"},
      {"SELECT a FROM T where b=2 group by a", "c=3",
       "SELECT a FROM T where b=2  AND c=3 group by a"},
      {"SELECT a FROM T HAVING x ORDER BY a", "c=3",
       "SELECT a FROM T  WHERE c=3 HAVING x ORDER BY a"},
      {"ORDER BY a", "c=3", " WHERE c=3ORDER BY a"},  // keyword at the very start
      {"SELECT * FROM T WHERE\nb=2", "a=1", "SELECT * FROM T WHERE\nb=2 WHERE a=1"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.sql);
    EXPECT_EQ(AddSqlCondition(c.sql, c.condition), c.result);
  }
}

// ---------------------------------------------------------------------------------------------
// Locale-aware texts, in each installed locale

class LocaleTexts : public ::testing::TestWithParam<const char*> {
 protected:
  void SetUp() override {
    locale_.emplace(GetParam());
    if (!locale_->ok()) GTEST_SKIP() << "locale " << GetParam() << " is not installed";
  }
  void TearDown() override { locale_.reset(); }

 private:
  std::optional<ScopedLocale> locale_;
};

INSTANTIATE_TEST_SUITE_P(Locales, LocaleTexts,
                         ::testing::Values("C", "C.UTF-8", "de_DE.UTF-8", "en_US.UTF-8"),
                         [](const ::testing::TestParamInfo<const char*>& param_info) {
                           std::string name = param_info.param;
                           for (char& c : name)
                             if (!std::isalnum(static_cast<unsigned char>(c))) c = '_';
                           return name;
                         });

const DateTime kDates[] = {At(2024, 12, 31), At(2024, 1, 2),  At(1999, 2, 28), At(1950, 6, 15),
                           At(2049, 7, 4),   At(1900, 3, 1),  At(1, 1, 1),     At(9999, 12, 31),
                           At(1899, 12, 30), At(1899, 12, 29)};

TEST_P(LocaleTexts, ShortDatesRoundTripWithFourDigitYears) {
  for (DateTime d : kDates) {
    const std::string text = FormatShortDate(d);
    SCOPED_TRACE(text);
    const CalendarDate c = DecodeDate(d);
    EXPECT_NE(text.find(fmt::format("{:04}", c.year)), std::string::npos);
    EXPECT_EQ(ParseShortDate(text), d);
    EXPECT_EQ(ParseShortDate(" " + text + " "), d);
  }
}

TEST_P(LocaleTexts, LocaleTimesRoundTrip) {
  for (int h : {0, 1, 9, 11, 12, 13, 23}) {
    const DateTime t = EncodeTime(h, 7, 59);
    const std::string text = FormatLocaleTime(t);
    SCOPED_TRACE(text);
    EXPECT_EQ(ParseLocaleTime(text), t);
  }
}

TEST_P(LocaleTexts, LocaleDateTimesRoundTripAndOmitMidnight) {
  const DateTime midnight = At(2024, 3, 31);
  EXPECT_EQ(FormatLocaleDateTime(midnight), FormatShortDate(midnight));
  EXPECT_EQ(ParseLocaleDateTime(FormatLocaleDateTime(midnight)), midnight);
  for (DateTime v : {At(2024, 3, 31, 2, 30, 1), At(2024, 10, 27, 23, 59, 59),
                     At(1899, 12, 29, 6, 0, 0), At(1970, 1, 1, 12, 0, 0)}) {
    const std::string text = FormatLocaleDateTime(v);
    SCOPED_TRACE(text);
    EXPECT_EQ(text, FormatShortDate(v) + " " + FormatLocaleTime(v));
    EXPECT_EQ(ParseLocaleDateTime(text), v);
  }
  EXPECT_THROW(ParseLocaleDateTime(FormatShortDate(midnight) + "x"), ConversionError);
  EXPECT_THROW(ParseLocaleDateTime(FormatShortDate(midnight) + " 25:00"), ConversionError);
  EXPECT_THROW(ParseLocaleDateTime(""), ConversionError);
}

TEST_P(LocaleTexts, FloatsRoundTripExactly) {
  const double values[] = {0,
                           1,
                           -1,
                           1.5,
                           0.1,
                           0.1 + 0.2,
                           1.0 / 3,
                           -2.75,
                           1e20,
                           1.5e-7,
                           123456789.125,
                           DBL_MAX,
                           DBL_MIN,
                           DBL_TRUE_MIN,
                           std::numeric_limits<double>::infinity()};
  for (double v : values) {
    const std::string text = FormatLocaleFloat(v);
    SCOPED_TRACE(text);
    EXPECT_EQ(ParseLocaleFloat(text), v);
    EXPECT_EQ(text.find(' '), std::string::npos);
  }
  EXPECT_TRUE(std::isnan(ParseLocaleFloat(FormatLocaleFloat(std::nan("")))));
  EXPECT_DOUBLE_EQ(ParseLocaleFloat("2.5"), 2.5);  // "." is always accepted
  EXPECT_DOUBLE_EQ(ParseLocaleFloat(" +4 "), 4);
  for (const char* text : {"", "abc", "1.2.3", "1e999", "+-1", "1 000"}) {
    SCOPED_TRACE(text);
    EXPECT_THROW(ParseLocaleFloat(text), ConversionError);
  }
}

TEST_P(LocaleTexts, ParseErrorsAreConversionErrorsNamingTheText) {
  for (const char* text : {"", "tomorrow", "99/99/9999", "31.31.2024", "2024-01-01x"}) {
    SCOPED_TRACE(text);
    EXPECT_THROW(ParseShortDate(text), ConversionError);
  }
  for (const char* text : {"", "25:00", "12:60", "noon", "13:00 PM", "9"}) {
    SCOPED_TRACE(text);
    EXPECT_THROW(ParseLocaleTime(text), ConversionError);
  }
  try {
    ParseShortDate("no date here");
    FAIL() << "no exception";
  } catch (const ConversionError& e) {
    EXPECT_NE(std::string(e.what()).find("no date here"), std::string::npos) << e.what();
  }
}

// Fixed texts per locale.

TEST(FormatShortDate, WritesTheLocaleOrderWithFourDigitYears) {
  {
    TIKORA_USE_LOCALE("C");
    EXPECT_EQ(FormatShortDate(At(2024, 12, 31, 15, 0)), "12/31/2024");
    EXPECT_EQ(FormatShortDate(At(5, 1, 2)), "01/02/0005");
  }
  {
    TIKORA_USE_LOCALE("de_DE.UTF-8");
    EXPECT_EQ(FormatShortDate(At(2024, 12, 31)), "31.12.2024");
  }
  {
    TIKORA_USE_LOCALE("en_US.UTF-8");
    EXPECT_EQ(FormatShortDate(At(2024, 3, 5)), "03/05/2024");
  }
}

TEST(ParseShortDate, MapsTwoDigitYearsTo1950To2049) {
  {
    TIKORA_USE_LOCALE("C");
    EXPECT_EQ(ParseShortDate("12/31/24"), At(2024, 12, 31));
    EXPECT_EQ(ParseShortDate("1/2/50"), At(1950, 1, 2));
    EXPECT_EQ(ParseShortDate("1/2/49"), At(2049, 1, 2));
    EXPECT_EQ(ParseShortDate("1/2/00"), At(2000, 1, 2));
    EXPECT_EQ(ParseShortDate("1/2/0099"), At(99, 1, 2));
  }
  {
    TIKORA_USE_LOCALE("de_DE.UTF-8");
    EXPECT_EQ(ParseShortDate("31.12.99"), At(1999, 12, 31));
    EXPECT_EQ(ParseShortDate("1.2.2024"), At(2024, 2, 1));
    EXPECT_THROW(ParseShortDate("12/31/2024"), ConversionError);
    EXPECT_THROW(ParseShortDate("29.02.2023"), ConversionError);
  }
}

TEST(FormatLocaleTime, UsesTheLocaleClock) {
  const DateTime afternoon = EncodeTime(14, 5, 9);
  {
    TIKORA_USE_LOCALE("C");
    EXPECT_EQ(FormatLocaleTime(afternoon), "14:05:09");
    EXPECT_EQ(FormatLocaleDateTime(At(2024, 1, 2, 14, 5, 9)), "01/02/2024 14:05:09");
    EXPECT_EQ(FormatLocaleDateTime(At(2024, 1, 2)), "01/02/2024");
  }
  {
    TIKORA_USE_LOCALE("de_DE.UTF-8");
    EXPECT_EQ(FormatLocaleTime(afternoon), "14:05:09");
    EXPECT_EQ(FormatLocaleDateTime(At(2024, 1, 2, 8, 0)), "02.01.2024 08:00:00");
  }
  {
    TIKORA_USE_LOCALE("en_US.UTF-8");
    EXPECT_EQ(FormatLocaleTime(afternoon), "02:05:09 PM");
    EXPECT_EQ(FormatLocaleTime(DateTime(0)), "12:00:00 AM");
    EXPECT_EQ(FormatLocaleTime(EncodeTime(12, 0, 0)), "12:00:00 PM");
    EXPECT_EQ(ParseLocaleTime("2:05 pm"), EncodeTime(14, 5, 0));
    EXPECT_EQ(ParseLocaleTime("14:05"), EncodeTime(14, 5, 0));  // a 24-hour text is read too
  }
}

TEST(FormatLocaleFloat, UsesTheRegionalDecimalSeparatorOnly) {
  {
    TIKORA_USE_LOCALE("C");
    EXPECT_EQ(FormatLocaleFloat(1.5), "1.5");
    EXPECT_EQ(FormatLocaleFloat(0.1), "0.1");
    EXPECT_EQ(FormatLocaleFloat(1234567.25), "1234567.25");
    EXPECT_EQ(FormatLocaleFloat(3), "3");
    EXPECT_THROW(ParseLocaleFloat("1,5"), ConversionError);
  }
  {
    TIKORA_USE_LOCALE("de_DE.UTF-8");
    EXPECT_EQ(FormatLocaleFloat(1.5), "1,5");
    EXPECT_EQ(FormatLocaleFloat(-1234567.25), "-1234567,25");
    EXPECT_DOUBLE_EQ(ParseLocaleFloat("1,5"), 1.5);
    EXPECT_DOUBLE_EQ(ParseLocaleFloat("1.5"), 1.5);
    EXPECT_THROW(ParseLocaleFloat("1.234,5"), ConversionError);
  }
  {
    TIKORA_USE_LOCALE("en_US.UTF-8");
    EXPECT_EQ(FormatLocaleFloat(1234567.25), "1234567.25");  // no thousands separators
  }
}

}  // namespace
}  // namespace tikora
