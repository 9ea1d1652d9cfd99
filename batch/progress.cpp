#include "batch/progress.h"

#include <sys/stat.h>
#include <unistd.h>

namespace mrp::batch {

Progress::Progress(std::FILE* stream, bool enabled, std::size_t total, bool sharesTerminal)
    : stream_(stream), enabled_(enabled), sharesTerminal_(enabled && sharesTerminal), total_(total) {}

void Progress::record(Outcome outcome, const std::function<void()>& writeLog) {
  const std::lock_guard lock(mutex_);
  if (sharesTerminal_ && lineShown_) {
    std::fputs("\r\x1b[K", stream_);  // the log line takes the status line's place
    std::fflush(stream_);
    lineShown_ = false;
  }
  if (writeLog) writeLog();
  if (!enabled_) return;
  ++done_;
  if (outcome == Outcome::Planned) ++planned_;
  if (outcome == Outcome::Refused) ++refused_;
  if (outcome == Outcome::Failed) ++failed_;
  show(done_ == total_ || sharesTerminal_);
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
  lineShown_ = true;
}

bool sameTerminal(int first, int second) noexcept {
  struct stat a {};
  struct stat b {};
  return isatty(first) && isatty(second) && fstat(first, &a) == 0 && fstat(second, &b) == 0 &&
         a.st_rdev == b.st_rdev;
}

}  // namespace mrp::batch
