// The report command paints; one offscreen QGuiApplication serves the whole test run, as it
// would serve one run of the program.
#include <gtest/gtest.h>

#include <memory>

#include "report/headless.h"

namespace {

class GuiEnvironment : public ::testing::Environment {
 public:
  void SetUp() override { gui_ = std::make_unique<tikora::report::HeadlessGui>(); }
  void TearDown() override { gui_.reset(); }

 private:
  std::unique_ptr<tikora::report::HeadlessGui> gui_;
};

[[maybe_unused]] ::testing::Environment* const kGuiEnvironment =
    ::testing::AddGlobalTestEnvironment(new GuiEnvironment);

}  // namespace
