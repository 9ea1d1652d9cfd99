#include "batch/progress.h"

namespace mrp::batch {

Progress::Progress(std::FILE* stream, bool enabled, std::size_t total)
    : stream_(stream), enabled_(enabled), total_(total) {}

void Progress::record(Outcome outcome) {
  if (!enabled_) return;
  const std::lock_guard lock(mutex_);
  ++done_;
  if (outcome == Outcome::Planned) ++planned_;
  if (outcome == Outcome::Refused) ++refused_;
  if (outcome == Outcome::Failed) ++failed_;
  show(done_ == total_);
}

void Progress::finish() {
  if (!enabled_) return;
  const std::lock_guard lock(mutex_);
  show(true);
  std::fputc('\n', stream_);
  std::fflush(stream_);
}

void Progress::show(bool force) {
  const auto now = std::chrono::steady_clock::now();
  // A few updates a second are enough for a person, and cheap for the workers.
  if (!force && now - shown_ < std::chrono::milliseconds(200)) return;
  shown_ = now;
  const double seconds = std::chrono::duration<double>(now - start_).count();
  const double rate = seconds > 0.0 ? static_cast<double>(done_) / seconds : 0.0;
  const double left = rate > 0.0 ? static_cast<double>(total_ - done_) / rate : 0.0;
  std::fprintf(stream_, "\r%zu/%zu done, %zu planned, %zu refused, %zu failed, %.1f/s, %dm%02ds left\x1b[K",
               done_, total_, planned_, refused_, failed_, rate, static_cast<int>(left) / 60,
               static_cast<int>(left) % 60);
  std::fflush(stream_);
}

}  // namespace mrp::batch
