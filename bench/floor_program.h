// The floor of a whole-database batch: what a plain ODBC program needs to read
// every input row once and to write as many lots, with nothing planned.
#pragma once

#include <cstdint>
#include <string>

namespace mrp::bench {

/// The key of the benchmark's demand number `demand`: B0000000, B0000001, ...
std::string floorKey(std::int64_t demand);

struct FloorResult {
  std::int64_t rowsRead = 0;
  double readMs = 0;
  double writeMs = 0;
};

/// Reads the four input tables in the order the batch needs them (one ordered
/// query per table, rows fetched in bound arrays), then replaces the whole of
/// LosGröße by `lots` rows spread over the keys of `demands` demands (one
/// delete, parameter arrays, one transaction). Throws std::runtime_error.
FloorResult runFloor(const std::string& connectionString, std::int64_t lots, std::int64_t demands);

}  // namespace mrp::bench
