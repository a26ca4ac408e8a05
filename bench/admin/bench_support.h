// What the administrator benchmarks share: timing, one table row per measurement, raw SQLite.
#pragma once

#include <sqlite3.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace tikora::bench {

using Clock = std::chrono::steady_clock;

inline double Seconds(Clock::time_point since) {
  return std::chrono::duration<double>(Clock::now() - since).count();
}

// One Markdown table row: what, our seconds, the baseline's seconds (named) and the ratio. The
// widths keep each benchmark's table aligned.
inline void Report(const char* what, double ours_s, double baseline_s, const char* baseline,
                   int what_width, int number_width) {
  std::printf("| %-*s | %*.3f | %*.3f (%s) | %5.2fx |\n", what_width, what, number_width, ours_s,
              number_width, baseline_s, baseline, baseline_s > 0 ? ours_s / baseline_s : 0.0);
  std::fflush(stdout);
}

// Runs SQL on a raw connection; a failure ends the benchmark with the statement's start.
inline void Exec(sqlite3* db, const std::string& sql) {
  char* err = nullptr;
  if (sqlite3_exec(db, sql.c_str(), nullptr, nullptr, &err) != SQLITE_OK) {
    std::fprintf(stderr, "%s: %s\n", sql.substr(0, 80).c_str(), err ? err : "?");
    std::exit(1);
  }
}

}  // namespace tikora::bench
