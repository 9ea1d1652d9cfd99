#include "batch/chunk_sizer.h"

#include <algorithm>

namespace mrp::batch {
namespace {

std::size_t ceilingOf(std::size_t count, std::size_t per) { return (count + per - 1) / per; }

}  // namespace

ChunkSizer::ChunkSizer(std::size_t keys, unsigned jobs)
    : keys_(keys),
      jobs_(std::max(jobs, 1u)),
      first_(std::clamp<std::size_t>(keys / (jobs_ * 2), 1, kFirstGuess)) {}

std::size_t ChunkSizer::next() const {
  const std::size_t demands = demands_.load();
  const std::size_t rest = keys_ - std::min(keys_, first_ * jobs_);
  if (demands == 0 || rest == 0) return first_;
  const std::size_t rowsPerDemand = std::max<std::size_t>(rows_.load() / demands, 1);
  const std::size_t most = std::clamp(kRowsInHand / jobs_ / rowsPerDemand, std::size_t{1}, kMostDemands);
  const std::size_t chunks = ceilingOf(ceilingOf(rest, most), jobs_) * jobs_;
  return ceilingOf(rest, chunks);
}

void ChunkSizer::learn(std::size_t demands, std::size_t rows) {
  if (rows == 0) return;
  rows_ += rows;
  demands_ += demands;
}

}  // namespace mrp::batch
