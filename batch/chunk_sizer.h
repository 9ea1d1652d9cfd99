// How many demands a worker of the batch claims at once.
#pragma once

#include <atomic>
#include <cstddef>

#include "planning_db/cut_values.h"

namespace mrp::batch {

/// Each worker's first chunk is a guess (kFirstGuess demands, fewer for a
/// small batch, so that every worker gets two chunks at least). The demands
/// after them are cut into chunks of equal size, as many as are needed for
/// each to hold at most its worker's share of kRowsInHand input rows (learnt
/// from the chunks read so far) and kMostDemands demands, rounded up to a
/// multiple of the workers, so that they finish together. So few chunks,
/// because a database without indexes scans a whole table for each of a
/// chunk's statements; and the chunks in hand, whose rows the drivers also
/// keep whole, take a bounded memory whatever the size of the database, of its
/// demands or the number of workers. Safe to use from every worker at once.
class ChunkSizer {
 public:
  static constexpr std::size_t kRowsInHand = 1'200'000;
  static constexpr std::size_t kFirstGuess = 500;
  /// A chunk's keys are parameters of each of its statements.
  static constexpr std::size_t kMostDemands = kMostKeysPerStatement;

  /// Sizes for a batch of `keys` demands and `jobs` workers.
  ChunkSizer(std::size_t keys, unsigned jobs);

  /// Demands for the next claim, at least 1 (the claim takes fewer when fewer are left).
  std::size_t next() const;
  /// Notes that a chunk of `demands` demands read `rows` input rows; a chunk
  /// not read together (0 rows) teaches nothing.
  void learn(std::size_t demands, std::size_t rows);

 private:
  const std::size_t keys_;
  const std::size_t jobs_;
  const std::size_t first_;
  std::atomic<std::size_t> demands_{0};
  std::atomic<std::size_t> rows_{0};
};

}  // namespace mrp::batch
