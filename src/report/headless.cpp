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

// Qt keeps references to argc and argv for the application's life.
int argc = 1;
char name[] = "tikora";
char* argv[] = {name, nullptr};

}  // namespace

HeadlessGui::HeadlessGui() {
  if (QCoreApplication::instance() != nullptr) return;
  // The platform is forced: a headless command must behave the same with or without a display.
  setenv("QT_QPA_PLATFORM", "offscreen", 1);
  previous_handler = qInstallMessageHandler(QuietStartHandler);
  app_ = std::make_unique<QGuiApplication>(argc, argv);
  qInstallMessageHandler(previous_handler);
}

HeadlessGui::~HeadlessGui() = default;

}  // namespace tikora::report
