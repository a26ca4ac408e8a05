// The timer that drives the automatic backup. The data module only starts and stops it; the
// window program drives it with a QTimer, headless runs and tests with ManualBackupTimer.
#pragma once

#include <algorithm>
#include <cstdint>
#include <functional>

namespace tikora::admin {

class BackupTimer {
 public:
  virtual ~BackupTimer() = default;
  // Calls `on_tick` every `interval_ms` milliseconds (> 0) from now on, counting afresh.
  virtual void Start(std::int64_t interval_ms, std::function<void()> on_tick) = 0;
  // No more ticks until the next Start.
  virtual void Stop() = 0;
};

// A timer whose time passes only when told: Advance(ms) fires every tick due in that span.
class ManualBackupTimer : public BackupTimer {
 public:
  void Start(std::int64_t interval_ms, std::function<void()> on_tick) override {
    interval_ms_ = interval_ms;
    on_tick_ = std::move(on_tick);
    elapsed_ms_ = 0;
    running_ = interval_ms > 0;
  }
  void Stop() override { running_ = false; }

  // Lets `ms` milliseconds pass; returns the number of ticks fired.
  int Advance(std::int64_t ms) {
    int ticks = 0;
    while (running_ && ms > 0) {
      std::int64_t step = std::min(ms, interval_ms_ - elapsed_ms_);
      elapsed_ms_ += step;
      ms -= step;
      if (elapsed_ms_ >= interval_ms_) {
        elapsed_ms_ = 0;
        ++ticks;
        if (on_tick_) on_tick_();
      }
    }
    return ticks;
  }
  bool Running() const { return running_; }
  std::int64_t Interval() const { return interval_ms_; }

 private:
  std::int64_t interval_ms_ = 0;
  std::int64_t elapsed_ms_ = 0;
  bool running_ = false;
  std::function<void()> on_tick_;
};

}  // namespace tikora::admin
