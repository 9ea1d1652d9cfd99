// Pauses between attempts at something that may succeed later: a transaction
// the database gave up, a connection to a server that is restarting.
#pragma once

#include <chrono>
#include <functional>
#include <optional>
#include <random>

namespace mrp {

/// Pauses that double from `first` up to `longest`, each drawn at random from
/// its upper half (competing sessions do not retry in lockstep), until
/// `budget` has passed since construction.
class Backoff {
 public:
  Backoff(std::chrono::milliseconds first, std::chrono::milliseconds longest,
          std::chrono::milliseconds budget);

  /// Whether the budget has passed.
  bool spent() const noexcept;
  /// Waits before the next attempt, never past the end of the budget; returns
  /// early once `stopped` says so.
  void pause(const std::function<bool()>& stopped = {});

 private:
  std::chrono::milliseconds next_;
  std::chrono::milliseconds longest_;
  std::chrono::steady_clock::time_point deadline_;
  std::optional<std::minstd_rand> random_;  // seeded at the first pause only
};

}  // namespace mrp
