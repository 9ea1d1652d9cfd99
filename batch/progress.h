// One status line on a terminal, updated in place: done of total, planned,
// refused, failed, demands per second and the time left. Writes nothing when
// its stream is not a terminal.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdio>
#include <mutex>

#include "batch/batch_log.h"

namespace mrp::batch {

class Progress {
 public:
  /// Shows progress on `stream` when `enabled` (a terminal).
  Progress(std::FILE* stream, bool enabled, std::size_t total);
  void record(Outcome outcome);
  /// Ends the status line.
  void finish();

 private:
  void show(bool force);

  std::mutex mutex_;
  std::FILE* stream_;
  bool enabled_;
  std::size_t total_;
  std::size_t done_ = 0;
  std::size_t planned_ = 0;
  std::size_t refused_ = 0;
  std::size_t failed_ = 0;
  std::chrono::steady_clock::time_point start_ = std::chrono::steady_clock::now();
  std::chrono::steady_clock::time_point shown_{};
};

}  // namespace mrp::batch
