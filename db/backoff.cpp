#include "db/backoff.h"

#include <algorithm>
#include <thread>

namespace mrp {

using std::chrono::milliseconds;
using std::chrono::steady_clock;

Backoff::Backoff(milliseconds first, milliseconds longest, milliseconds budget)
    : next_(first), longest_(longest), deadline_(steady_clock::now() + budget) {}

bool Backoff::spent() const noexcept { return steady_clock::now() >= deadline_; }

void Backoff::pause(const std::function<bool()>& stopped) {
  if (!random_) random_.emplace(std::random_device{}());
  std::uniform_int_distribution<milliseconds::rep> draw(next_.count() / 2, next_.count());
  const auto until = std::min(steady_clock::now() + milliseconds(draw(*random_)), deadline_);
  next_ = std::min(next_ * 2, longest_);
  // A stop is seen within a tenth of a second.
  constexpr milliseconds kSlice{100};
  while (!(stopped && stopped()) && steady_clock::now() < until)
    std::this_thread::sleep_for(std::min<steady_clock::duration>(kSlice, until - steady_clock::now()));
}

}  // namespace mrp
