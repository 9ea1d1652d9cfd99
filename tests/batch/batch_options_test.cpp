#include "batch/batch_options.h"

#include <gtest/gtest.h>

namespace mrp::batch {
namespace {

TEST(BatchOptions, DefaultsAndEveryOption) {
  const BatchOptions plain = parseBatchOptions({"Lager"}, 4);
  EXPECT_EQ(plain.dataSource, "Lager");
  EXPECT_EQ(plain.jobs, 4u);
  EXPECT_FALSE(plain.keysFile || plain.shard || plain.logFile || plain.json || plain.dryRun || plain.resume);
  EXPECT_EQ(parseBatchOptions({"Lager"}, 0).jobs, 1u) << "no core count known";

  const BatchOptions all = parseBatchOptions({"--jobs", "8", "--keys", "-", "Lager", "--shard", "2/4",
                                              "--log", "nacht.log", "--json", "--dry-run", "--resume"},
                                             2);
  EXPECT_EQ(all.dataSource, "Lager");
  EXPECT_EQ(all.jobs, 8u);
  EXPECT_EQ(all.keysFile, "-");
  ASSERT_TRUE(all.shard);
  EXPECT_EQ(all.shard->index, 2u);
  EXPECT_EQ(all.shard->count, 4u);
  EXPECT_EQ(all.logFile, "nacht.log");
  EXPECT_TRUE(all.json && all.dryRun && all.resume);
}

TEST(BatchOptions, UsageErrors) {
  const std::vector<std::vector<std::string>> wrong = {
      {},                       // no data source
      {"A", "B"},               // two
      {"A", "--jobs"},          // a value missing
      {"A", "--jobs", "0"},     // no worker
      {"A", "--jobs", "2x"},    // partly a number
      {"A", "--shard", "3/2"},  // K beyond N
      {"A", "--shard", "0/2"},  // K counts from 1
      {"A", "--shard", "2"},    // not K/N
      {"A", "--frobnicate"},    // unknown
      {"A", "--resume"},        // nothing to resume from
  };
  for (const auto& arguments : wrong) {
    EXPECT_THROW(parseBatchOptions(arguments, 2), UsageError) << testing::PrintToString(arguments);
  }
}

}  // namespace
}  // namespace mrp::batch
