// One status line on a terminal, updated in place: done of total, planned,
// refused, failed, demands per second and the time left. Writes nothing when
// its stream is not a terminal. When the log goes to the same terminal, the
// status line is cleared before each log line and drawn again below it.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdio>
#include <functional>
#include <mutex>

#include "batch/batch_log.h"

namespace mrp::batch {

class Progress {
 public:
  /// Shows progress on `stream` when `enabled` (a terminal); `sharesTerminal`
  /// when the log is written to that terminal too.
  Progress(std::FILE* stream, bool enabled, std::size_t total, bool sharesTerminal = false);
  /// Counts a demand; `writeLog` writes its log entry, above the status line.
  void record(Outcome outcome, const std::function<void()>& writeLog = {});
  /// Ends the status line.
  void finish();

 private:
  void show(bool force);

  std::mutex mutex_;
  std::FILE* stream_;
  bool enabled_;
  bool sharesTerminal_;
  bool lineShown_ = false;
  std::size_t total_;
  std::size_t done_ = 0;
  std::size_t planned_ = 0;
  std::size_t refused_ = 0;
  std::size_t failed_ = 0;
  std::chrono::steady_clock::time_point start_ = std::chrono::steady_clock::now();
  std::chrono::steady_clock::time_point shown_{};
};

/// Whether the two descriptors are one terminal.
bool sameTerminal(int first, int second) noexcept;

}  // namespace mrp::batch
