// Which demands a batch plans: every key of `Bedarf` in key order, or the keys
// of a file, optionally one shard of them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "batch/batch_options.h"

namespace mrp {
class Connection;
}

namespace mrp::batch {

/// Why a line of a keys file is no key.
enum class KeyProblem {
  NulByte,  // the database would see another key, or a cut one
  NotUtf8,  // no text of the database can hold it
};
/// "contains a NUL byte" or "is not valid UTF-8".
const char* problemText(KeyProblem problem) noexcept;

/// A line of a keys file that is no key.
struct RejectedLine {
  std::size_t number = 0;  // from 1, empty lines counted
  std::string text;        // the line's bytes, without its line end
  KeyProblem problem = KeyProblem::NulByte;
};

struct KeysFile {
  std::vector<std::string> keys;       // in the file's order
  std::vector<RejectedLine> rejected;  // in the file's order
};

/// The whole content of the keys file `path` ("-": standard input). Raises
/// UsageError with the reason when it cannot be opened or read to its end.
std::string readKeysFile(const std::string& path);
/// The keys of a keys file's content: one a line; a carriage return before
/// the line end is dropped, empty lines are skipped, a line with a NUL byte or
/// one that is not UTF-8 is rejected.
KeysFile keysFrom(std::string_view content);

/// FNV-1a 64 of the key's bytes: the same on every machine, so that N
/// machines split one database without talking to each other.
std::uint64_t fnv1a64(std::string_view bytes) noexcept;
/// The keys of `shard`, in their order.
std::vector<std::string> keysOfShard(const std::vector<std::string>& keys, const Shard& shard);
/// The keys and the rejected lines (by their bytes) of `shard`: the shards
/// report each rejected line once between them.
KeysFile keysOfShard(const KeysFile& file, const Shard& shard);
/// The keys not in `done`, in their order.
std::vector<std::string> keysLeft(const std::vector<std::string>& keys, const std::set<std::string>& done);

}  // namespace mrp::batch
