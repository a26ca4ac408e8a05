#include "core/datetime.h"

#include <gtest/gtest.h>

namespace tikora {
namespace {

struct DateCase {
  int y, m, d;
  double days;
};

TEST(DateTime, CalendarDatesMapToDaysSinceEpoch) {
  const DateCase cases[] = {
      {1899, 12, 30, 0},     {1899, 12, 31, 1},    {1900, 1, 1, 2},     {1900, 3, 1, 61},
      {1899, 12, 29, -1},    {2000, 2, 29, 36585}, {2023, 1, 31, 44957}, {1, 1, 1, -693593},
      {9999, 12, 31, 2958465},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(::testing::Message() << c.y << "-" << c.m << "-" << c.d);
    EXPECT_EQ(EncodeDate(c.y, c.m, c.d).days, c.days);
    EXPECT_EQ(DecodeDate(DateTime(c.days)), (CalendarDate{c.y, c.m, c.d}));
  }
}

TEST(DateTime, RejectsFieldsOutOfRange) {
  EXPECT_FALSE(TryEncodeDate(2023, 2, 29));
  EXPECT_TRUE(TryEncodeDate(2024, 2, 29));
  EXPECT_FALSE(TryEncodeDate(1900, 2, 29));
  EXPECT_FALSE(TryEncodeDate(2023, 13, 1));
  EXPECT_FALSE(TryEncodeDate(0, 1, 1));
  EXPECT_FALSE(TryEncodeTime(24, 0, 0));
  EXPECT_FALSE(TryEncodeTime(23, 60, 0));
  EXPECT_THROW(EncodeDate(2023, 4, 31), std::invalid_argument);
}

TEST(DateTime, TimeOfDayRoundTripsToTheMillisecond) {
  for (int ms : {0, 1, 499, 500, 999}) {
    for (auto [h, m, s] : {std::tuple{0, 0, 0}, {9, 5, 0}, {12, 0, 0}, {23, 59, 59}}) {
      DateTime v = EncodeDateTime({2023, 3, 26}, {h, m, s, ms});
      EXPECT_EQ(DecodeTime(v), (TimeOfDay{h, m, s, ms}));
      EXPECT_EQ(DecodeDate(v), (CalendarDate{2023, 3, 26}));
    }
  }
  // A value a hair below midnight rounds to midnight of the next day, not 23:59:59.999.
  DateTime almost(1.0 - 1e-12);
  EXPECT_EQ(DecodeDate(almost), (CalendarDate{1899, 12, 31}));
  EXPECT_EQ(DecodeTime(almost), (TimeOfDay{0, 0, 0, 0}));
}

TEST(DateTime, NegativeValuesCarryTheTimeOfDayAsAbsoluteFraction) {
  DateTime v(-1.25);
  EXPECT_EQ(DecodeDate(v), (CalendarDate{1899, 12, 29}));
  EXPECT_EQ(DecodeTime(v), (TimeOfDay{6, 0, 0, 0}));
  EXPECT_EQ(EncodeDateTime({1899, 12, 29}, {6, 0, 0, 0}).days, -1.25);
}

TEST(DateTime, DayOfWeekCountsFromSunday) {
  EXPECT_EQ(DayOfWeek(EncodeDate(1899, 12, 30)), 7);  // Saturday
  EXPECT_EQ(DayOfWeek(EncodeDate(2023, 1, 1)), 1);    // Sunday
  EXPECT_EQ(DayOfWeek(EncodeDate(2023, 1, 4)), 4);    // Wednesday
  EXPECT_EQ(DayOfWeek(EncodeDate(1899, 12, 24)), 1);  // Sunday, before the epoch
}

TEST(DateTime, IsoTextRoundTrip) {
  DateTime v = EncodeDateTime({2023, 1, 31}, {7, 8, 9, 12});
  EXPECT_EQ(FormatIsoDate(v), "2023-01-31");
  EXPECT_EQ(FormatIsoTime(v), "07:08:09.012");
  EXPECT_EQ(FormatIsoTimestamp(v), "2023-01-31 07:08:09.012");
  EXPECT_EQ(ParseIsoTimestampText("2023-01-31 07:08:09.012"), v);
  EXPECT_EQ(ParseIsoTimestampText("2023-01-31T07:08:09.012"), v);
  EXPECT_EQ(ParseIsoTimestampText("2023-01-31"), EncodeDate(2023, 1, 31));
  EXPECT_EQ(ParseIsoDateText(" 2023-1-5 "), EncodeDate(2023, 1, 5));
  EXPECT_EQ(ParseIsoTimeText("9:05"), EncodeTime(9, 5, 0));
  EXPECT_EQ(ParseIsoTimeText("23:59:59.9996"), EncodeTime(23, 59, 59, 999));
}

TEST(DateTime, IsoTextRejectsMalformedInput) {
  for (const char* bad : {"", "2023", "2023-02-30", "23-01-01", "2023-01-01x", "2023/01/01",
                          "2023-01-01 25:00", "2023-01-01 10:5", "2023-01-01 10:00:00."}) {
    SCOPED_TRACE(bad);
    EXPECT_FALSE(ParseIsoTimestampText(bad));
  }
  EXPECT_FALSE(ParseIsoDateText("2023-01-01 10:00"));
  EXPECT_FALSE(ParseIsoTimeText("24:00"));
}

TEST(DateTime, MillisecondArithmeticIsExact) {
  DateTime a = EncodeDateTime({2023, 3, 26}, {1, 0, 0, 0});
  DateTime b = EncodeDateTime({2023, 3, 26}, {4, 30, 0, 0});
  EXPECT_EQ(ToMilliseconds(b) - ToMilliseconds(a), 3 * 3600000 + 1800000);
  EXPECT_EQ(FromMilliseconds(ToMilliseconds(b)), b);
  EXPECT_EQ(DatePart(b), EncodeDate(2023, 3, 26));
  EXPECT_EQ(TimePart(b), EncodeTime(4, 30, 0));
}

}  // namespace
}  // namespace tikora
