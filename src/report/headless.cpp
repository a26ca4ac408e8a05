#include "report/headless.h"

#include <QGuiApplication>
#include <QtGlobal>
#include <cstdlib>

namespace tikora::report {
namespace {

QtMessageHandler previous_handler = nullptr;

// While the application starts, Qt warns about a missing runtime folder (no login session, as
// under cron or CI); a headless command never uses that folder, so the warning is only noise.
void QuietStartHandler(QtMsgType type, const QMessageLogContext& context, const QString& message) {
  if (message.startsWith(QStringLiteral("QStandardPaths: "))) return;
  if (previous_handler != nullptr) previous_handler(type, context, message);
}

}  // namespace

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
  previous_handler = qInstallMessageHandler(QuietStartHandler);
  static QGuiApplication* app = new QGuiApplication(argc, argv);
  qInstallMessageHandler(previous_handler);
  (void)app;
}

}  // namespace tikora::report
