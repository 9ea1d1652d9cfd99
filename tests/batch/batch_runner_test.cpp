#include "batch/batch_runner.h"

#include <gtest/gtest.h>

#include <atomic>
#include <stdexcept>

#include "db/odbc_environment.h"

namespace mrp::batch {
namespace {

// An exception that leaves a worker's thread would abort the process: it
// reaches the caller instead, and the other workers take no more keys.
TEST(BatchRunner, AnExceptionFromAWorkerReachesTheCaller) {
  const std::unique_ptr<OdbcEnvironment> environment = OdbcEnvironment::allocate();
  ASSERT_TRUE(environment);
  const std::vector<std::string> keys(64, "K");
  const std::atomic<bool> stop{false};
  std::atomic<int> outcomes{0};
  const BatchRun run{"DSN=lsz_no_such_source", 4, Storing::DryRun};
  EXPECT_THROW(runBatch(*environment, run, keys, stop,
                        [&](const DemandOutcome&) {
                          ++outcomes;
                          throw std::runtime_error("the listener fails");
                        }),
               std::runtime_error);
  EXPECT_LE(outcomes.load(), 4) << "one outcome per worker at most";
}

}  // namespace
}  // namespace mrp::batch
