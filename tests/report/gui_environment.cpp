// Text measuring and painting need a QGuiApplication; the suite runs headless on the offscreen
// platform. The application lives for the whole test run.
#include <QGuiApplication>
#include <cstdlib>
#include <memory>

#include <gtest/gtest.h>

namespace {

class GuiEnvironment : public ::testing::Environment {
 public:
  void SetUp() override {
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    app_ = std::make_unique<QGuiApplication>(argc_, argv_);
  }
  void TearDown() override { app_.reset(); }

 private:
  int argc_ = 1;
  char name_[32] = "tikora_report_tests";
  char* argv_[2] = {name_, nullptr};
  std::unique_ptr<QGuiApplication> app_;
};

[[maybe_unused]] ::testing::Environment* const kGuiEnvironment =
    ::testing::AddGlobalTestEnvironment(new GuiEnvironment);

}  // namespace
