#include "batch/chunk_sizer.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstddef>
#include <numeric>
#include <vector>

namespace mrp::batch {
namespace {

/// The chunks `jobs` workers claim from `keys` demands of `rowsPerDemand`
/// input rows each: every worker claims its first chunk before any is read,
/// then the workers claim in turn, each after reading its last chunk.
std::vector<std::size_t> claims(std::size_t keys, unsigned jobs, std::size_t rowsPerDemand) {
  ChunkSizer sizer(keys, jobs);
  std::vector<std::size_t> sizes;
  std::size_t left = keys;
  const auto claim = [&] {
    sizes.push_back(std::min(sizer.next(), left));
    left -= sizes.back();
  };
  for (unsigned j = 0; j < jobs && left > 0; ++j) claim();
  for (std::size_t next = 0; left > 0; ++next) {
    sizer.learn(sizes[next], sizes[next] * rowsPerDemand);
    claim();
  }
  return sizes;
}

TEST(ChunkSizer, CutsTheDemandsAfterTheFirstChunksEvenlyAmongTheWorkers) {
  struct Case {
    std::size_t keys;
    unsigned jobs;
    std::size_t rowsPerDemand;
    std::vector<std::size_t> expected;
  };
  const Case cases[] = {
      {10'000, 2, 114, {500, 500, 4500, 4500}},  // a table without indexes is scanned four times
      {10'000, 1, 114, {500, 4750, 4750}},       // at most 5,000 demands a chunk
      {30, 4, 20, {3, 3, 3, 3, 5, 5, 5, 3}},     // two chunks at least for every worker
      {206, 1, 20, {103, 103}},
      {1, 8, 20, {1}},  // more workers than demands
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.keys << " keys, " << c.jobs << " jobs, " << c.rowsPerDemand
                                    << " rows");
    EXPECT_EQ(claims(c.keys, c.jobs, c.rowsPerDemand), c.expected);
  }
}

// Whatever the demands, the chunks in hand hold about kRowsInHand rows
// together once their size is known, and never more than kMostDemands demands.
TEST(ChunkSizer, KeepsTheRowsInHandBounded) {
  for (const unsigned jobs : {1u, 2u, 16u}) {
    for (const std::size_t rowsPerDemand :
         {std::size_t{1}, std::size_t{22}, std::size_t{5'000}, std::size_t{3'000'000}}) {
      SCOPED_TRACE(testing::Message() << jobs << " jobs, " << rowsPerDemand << " rows");
      const std::vector<std::size_t> sizes = claims(1'000'000, jobs, rowsPerDemand);
      EXPECT_EQ(std::accumulate(sizes.begin(), sizes.end(), std::size_t{0}), 1'000'000u);
      const auto later = sizes.begin() + jobs;
      const std::size_t largest = *std::max_element(later, sizes.end());
      EXPECT_GE(*std::min_element(sizes.begin(), sizes.end()), 1u);
      EXPECT_LE(largest, ChunkSizer::kMostDemands);
      EXPECT_LE(largest * rowsPerDemand * jobs, std::max(ChunkSizer::kRowsInHand, rowsPerDemand * jobs));
    }
  }
}

}  // namespace
}  // namespace mrp::batch
