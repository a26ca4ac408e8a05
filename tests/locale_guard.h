// A test's own locale: sets the process locale for the lifetime of the guard and restores the
// previous one afterwards. Suites run under C.UTF-8 and de_DE.UTF-8 (see tests/test_main.cpp),
// so a test that needs a particular locale sets it itself:
//
//   tikora::test::ScopedLocale locale("de_DE.UTF-8");
//   if (!locale.ok()) GTEST_SKIP() << "locale de_DE.UTF-8 is not installed";
#pragma once

#include <clocale>
#include <string>

namespace tikora::test {

class ScopedLocale {
 public:
  explicit ScopedLocale(const char* name) {
    const char* current = std::setlocale(LC_ALL, nullptr);
    previous_ = current != nullptr ? current : "C";
    ok_ = std::setlocale(LC_ALL, name) != nullptr;
  }
  ~ScopedLocale() { std::setlocale(LC_ALL, previous_.c_str()); }

  ScopedLocale(const ScopedLocale&) = delete;
  ScopedLocale& operator=(const ScopedLocale&) = delete;

  // False when the locale is not installed; the process locale is then unchanged.
  bool ok() const { return ok_; }

 private:
  std::string previous_;  // setlocale's answer may be overwritten by the next call: keep a copy
  bool ok_ = false;
};

}  // namespace tikora::test
