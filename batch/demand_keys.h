// Which demands a batch plans: every key of `Bedarf` in key order, or the keys
// of a file, optionally one shard of them.
#pragma once

#include <cstdint>
#include <istream>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "batch/batch_options.h"

namespace mrp {
class Connection;
}

namespace mrp::batch {

/// Every key of `Bedarf`, in the database's key order.
std::vector<std::string> allDemandKeys(Connection& connection);
/// One key a line; a carriage return before the line end is dropped, empty
/// lines are skipped.
std::vector<std::string> keysFrom(std::istream& in);

/// FNV-1a 64 of the key's bytes: the same on every machine, so that N
/// machines split one database without talking to each other.
std::uint64_t fnv1a64(std::string_view bytes) noexcept;
/// The keys of `shard`, in their order.
std::vector<std::string> keysOfShard(const std::vector<std::string>& keys, const Shard& shard);
/// The keys not in `done`, in their order.
std::vector<std::string> keysLeft(const std::vector<std::string>& keys, const std::set<std::string>& done);

}  // namespace mrp::batch
