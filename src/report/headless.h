// Painting and exact text metrics need a QGuiApplication. Headless programs (the administrator's
// commands) start one on the offscreen platform, so no display is needed and none is used.
#pragma once

namespace tikora::report {

// Starts a QGuiApplication on the offscreen platform when the process has no application object
// yet; it lives for the rest of the process. Must be called from the main thread. Does nothing
// when a (GUI) application already runs.
void EnsureGuiApplication();

}  // namespace tikora::report
