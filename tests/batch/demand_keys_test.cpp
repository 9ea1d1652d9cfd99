#include "batch/demand_keys.h"

#include <gtest/gtest.h>

#include <map>
#include <sstream>

namespace mrp::batch {
namespace {

TEST(DemandKeys, Fnv1a64OfKnownTexts) {
  EXPECT_EQ(fnv1a64(""), 0xcbf29ce484222325ull);
  EXPECT_EQ(fnv1a64("a"), 0xaf63dc4c8601ec8cull);
  EXPECT_EQ(fnv1a64("foobar"), 0x85944171f73967e8ull);
}

TEST(DemandKeys, ShardsTogetherHoldEveryKeyOnce) {
  std::vector<std::string> keys;
  for (int k = 0; k < 1000; ++k) keys.push_back("B\xC3\xA4r-" + std::to_string(k));
  for (std::uint64_t count : {1u, 2u, 4u, 7u}) {
    std::map<std::string, int> seen;
    for (std::uint64_t index = 1; index <= count; ++index) {
      const auto shard = keysOfShard(keys, {index, count});
      if (count > 1) {
        EXPECT_GT(shard.size(), 1000 / count / 2) << index << "/" << count;
      }
      for (const std::string& key : shard) ++seen[key];
    }
    EXPECT_EQ(seen.size(), keys.size()) << count;
    for (const auto& [key, times] : seen) EXPECT_EQ(times, 1) << key;
  }
}

TEST(DemandKeys, KeysFileOneALine) {
  std::istringstream file("WW1958\r\n\nPUMPE-4711\nmit Leerzeichen \n");
  EXPECT_EQ(keysFrom(file), (std::vector<std::string>{"WW1958", "PUMPE-4711", "mit Leerzeichen "}));
}

TEST(DemandKeys, KeysLeftKeepTheirOrder) {
  EXPECT_EQ(keysLeft({"C", "A", "B", "D"}, {"A", "D"}), (std::vector<std::string>{"C", "B"}));
}

}  // namespace
}  // namespace mrp::batch
