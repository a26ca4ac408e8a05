#include "report/headless.h"

#include <QGuiApplication>
#include <cstdlib>

namespace tikora::report {

void EnsureGuiApplication() {
  if (QCoreApplication::instance() != nullptr) return;
  // The platform is forced: a headless command must behave the same with or without a display.
  setenv("QT_QPA_PLATFORM", "offscreen", 1);
  // Qt keeps references to argc and argv for the application's life, so both are static.
  static int argc = 1;
  static char name[] = "tikora";
  static char* argv[] = {name, nullptr};
  // Never deleted: destroying the application during static destruction is unsafe, and the
  // pointer stays reachable, so it is no leak.
  static QGuiApplication* app = new QGuiApplication(argc, argv);
  (void)app;
}

}  // namespace tikora::report
