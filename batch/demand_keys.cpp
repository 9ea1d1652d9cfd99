#include "batch/demand_keys.h"

#include <array>

#include "db/db_query.h"

namespace mrp::batch {

std::vector<std::string> allDemandKeys(Connection& connection) {
  DbQuery query(connection);
  query.prepare(0);
  // A key with a NUL in it names no demand a run could load: it is left out
  // rather than read as its beginning, which may be another demand's key.
  query.noteValuesCutAtNul("select Bedarf,instr(Bedarf,char(0)) from Bedarf where instr(Bedarf,char(0))>0");
  std::vector<std::string> keys;
  std::string key;
  for (bool row = query.open("select Bedarf from Bedarf order by Bedarf"); row; row = query.open(nullptr)) {
    if (query.columnKind(0) == VT_BSTR && query.getText(0, key)) keys.push_back(key);
  }
  return keys;
}

std::vector<std::string> keysFrom(std::istream& in) {
  std::vector<std::string> keys;
  for (std::string line; std::getline(in, line);) {
    if (line.ends_with('\r')) line.pop_back();
    if (!line.empty()) keys.push_back(line);
  }
  return keys;
}

std::uint64_t fnv1a64(std::string_view bytes) noexcept {
  std::uint64_t hash = 0xcbf29ce484222325ull;
  for (const char byte : bytes) {
    hash ^= static_cast<unsigned char>(byte);
    hash *= 0x100000001b3ull;
  }
  return hash;
}

std::vector<std::string> keysOfShard(const std::vector<std::string>& keys, const Shard& shard) {
  std::vector<std::string> mine;
  for (const std::string& key : keys) {
    if (fnv1a64(key) % shard.count == shard.index - 1) mine.push_back(key);
  }
  return mine;
}

std::vector<std::string> keysLeft(const std::vector<std::string>& keys, const std::set<std::string>& done) {
  std::vector<std::string> left;
  for (const std::string& key : keys) {
    if (!done.contains(key)) left.push_back(key);
  }
  return left;
}

}  // namespace mrp::batch
