// Painting and exact text metrics need a QGuiApplication. Headless programs (the administrator's
// commands) start one on the offscreen platform, so no display is needed and none is used.
#pragma once

#include <memory>

class QGuiApplication;

namespace tikora::report {

// While it lives, a QGuiApplication on the offscreen platform exists: the one it started, or the
// one the process already had (then it does nothing). Create it on the main thread.
class HeadlessGui {
 public:
  HeadlessGui();
  ~HeadlessGui();
  HeadlessGui(const HeadlessGui&) = delete;
  HeadlessGui& operator=(const HeadlessGui&) = delete;

 private:
  std::unique_ptr<QGuiApplication> app_;
};

}  // namespace tikora::report
