// One hostile planning database per seed.
//
// Every database has sql/schema.sql loaded and 2 to 5 demands. About half of
// them are sane with a mutation or two (so that runs succeed and the storing
// path is exercised); the others are hostile throughout: wrong kinds, NULLs,
// edge values, near names, duplicate and missing rows, missing headers. Every
// demand has old LosGröße rows, each with at least one value the program never
// stores (NULL, a text, a blob, a negative lot or an infinite number), so that
// an old row left behind after a successful run shows in the stored rows.
// The same seed gives the same file contents.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace mrp::fuzz {

struct GeneratedDatabase {
  std::vector<std::string> demandKeys;  // keys that have rows of their own
  std::string runKey;                   // the key to plan; now and then one without a header
};

/// Writes the database of `seed` into the new file `file`; `schema` is the
/// text of sql/schema.sql.
GeneratedDatabase generateDatabase(std::uint64_t seed, const std::filesystem::path& file,
                                   const std::string& schema);

}  // namespace mrp::fuzz
