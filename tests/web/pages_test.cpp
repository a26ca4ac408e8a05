// Values the page handlers format.
#include "web/pages.h"

#include <gtest/gtest.h>

#include "core/regional.h"

namespace tikora::web {
namespace {

TEST(FormatDuration, WholeHoursOfAtLeastTwoDigits) {
  const std::string s = CurrentRegionalSettings().time_separator;
  const struct {
    double hours;
    std::string shown;
  } cases[] = {
      {0, "00" + s + "00" + s + "00"},
      {1.5, "01" + s + "30" + s + "00"},
      {23 + 59.0 / 60 + 59.0 / 3600, "23" + s + "59" + s + "59"},
      {24, "24" + s + "00" + s + "00"},  // a whole day is not shown as nothing
      {80, "80" + s + "00" + s + "00"},  // an administrator's day total of all users
      {100 + 1.0 / 3600, "100" + s + "00" + s + "01"},
      {-2, "00" + s + "00" + s + "00"},  // a start in the future
  };
  for (const auto& c : cases) EXPECT_EQ(FormatDuration(c.hours / 24), c.shown) << c.hours;
}

}  // namespace
}  // namespace tikora::web
