// A seeded source of random choices. The standard fixes every bit that
// std::mt19937_64 puts out, but not what its distributions make of it, so the
// choices below use only the raw output: a seed gives the same database on
// every platform and build. For the same reason every draw is a statement of
// its own: the operands of one expression and the arguments of one call are
// evaluated in an order the compiler chooses.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <random>
#include <vector>

namespace mrp::fuzz {

class Random {
 public:
  explicit Random(std::uint64_t seed) : engine_(seed) {}

  /// 0 to n - 1; n must be positive.
  std::uint64_t below(std::uint64_t n) { return engine_() % n; }
  /// lo to hi, both included.
  std::int64_t between(std::int64_t lo, std::int64_t hi) {
    return lo + static_cast<std::int64_t>(below(static_cast<std::uint64_t>(hi - lo) + 1));
  }
  /// True with probability p.
  bool chance(double p) { return static_cast<double>(engine_() >> 11) * 0x1.0p-53 < p; }

  template <class T>
  const T& pick(const std::vector<T>& items) {
    return items[below(items.size())];
  }
  template <class T>
  T pick(std::initializer_list<T> items) {
    return items.begin()[below(items.size())];
  }
  template <class T>
  void shuffle(std::vector<T>& items) {
    for (std::size_t i = items.size(); i > 1; --i) std::swap(items[i - 1], items[below(i)]);
  }

 private:
  std::mt19937_64 engine_;
};

}  // namespace mrp::fuzz
