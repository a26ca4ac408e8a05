// Shared main of every test executable: the process locale comes from the environment (ctest
// runs some suites under a comma-decimal locale and a daylight-saving time zone).
#include <clocale>
#include <ctime>

#include <gtest/gtest.h>

int main(int argc, char** argv) {
  std::setlocale(LC_ALL, "");
  tzset();
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
