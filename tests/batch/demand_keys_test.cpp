#include "batch/demand_keys.h"

#include <gtest/gtest.h>

#include <map>

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
  const KeysFile file = keysFrom("WW1958\r\n\nPUMPE-4711\nmit Leerzeichen \nCR\rmitten\r\r\nletzte");
  EXPECT_EQ(file.keys,
            (std::vector<std::string>{"WW1958", "PUMPE-4711", "mit Leerzeichen ", "CR\rmitten\r", "letzte"}));
  EXPECT_TRUE(file.rejected.empty());
}

// A line with a NUL byte or one that is not UTF-8 is no key: it would plan (and
// delete the rows of) a different demand, or a key no database can hold.
TEST(DemandKeys, LinesThatAreNoKeyAreRejectedWithTheirNumbers) {
  const std::string text = std::string("WW1958\0junk\n", 12) + "\nM\xE4ngel\r\nPUMPE-4711\n\xC3\xA4\xC3\n" +
                           std::string("\0", 1) + "\n\xED\xA0\x80\nOK\xC3\xA4";
  const KeysFile file = keysFrom(text);
  EXPECT_EQ(file.keys, (std::vector<std::string>{"PUMPE-4711", "OK\xC3\xA4"}));
  ASSERT_EQ(file.rejected.size(), 5u);
  const std::vector<RejectedLine> expected = {{1, std::string("WW1958\0junk", 11), KeyProblem::NulByte},
                                              {3, "M\xE4ngel", KeyProblem::NotUtf8},
                                              {5, "\xC3\xA4\xC3", KeyProblem::NotUtf8},
                                              {6, std::string("\0", 1), KeyProblem::NulByte},
                                              {7, "\xED\xA0\x80", KeyProblem::NotUtf8}};
  for (std::size_t i = 0; i < expected.size(); ++i) {
    EXPECT_EQ(file.rejected[i].number, expected[i].number) << i;
    EXPECT_EQ(file.rejected[i].text, expected[i].text) << i;
    EXPECT_EQ(file.rejected[i].problem, expected[i].problem) << i;
  }
}

TEST(DemandKeys, RejectedLinesFallIntoOneShardEach) {
  std::string text;
  for (int k = 0; k < 40; ++k) text += "Bad\xFF" + std::to_string(k) + "\n";
  const KeysFile file = keysFrom(text);
  ASSERT_EQ(file.rejected.size(), 40u);
  std::map<std::size_t, int> seen;
  for (std::uint64_t index = 1; index <= 3; ++index) {
    for (const RejectedLine& line : keysOfShard(file, {index, 3}).rejected) ++seen[line.number];
  }
  EXPECT_EQ(seen.size(), 40u);
  for (const auto& [number, times] : seen) EXPECT_EQ(times, 1) << number;
}

TEST(DemandKeys, KeysLeftKeepTheirOrder) {
  EXPECT_EQ(keysLeft({"C", "A", "B", "D"}, {"A", "D"}), (std::vector<std::string>{"C", "B"}));
}

}  // namespace
}  // namespace mrp::batch
