// The labels of tests/CMakeLists.txt come from what a test's text names; a
// test that reaches a database its label does not grant must fail at once,
// not only when no fixture happens to run beside it.
#include "support/test_database.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <stdexcept>

namespace mrp::test {
namespace {

TEST(TestDatabaseLabel, ADatabaseTheLabelDoesNotGrantIsRefused) {
  const char* label = std::getenv("LOTSIZING_TEST_LABEL");
  const std::string granted = label ? label : "";
  setenv("LOTSIZING_TEST_LABEL", "unit", 1);
  EXPECT_THROW(TestDatabase(Backend::SQLite), std::logic_error);
  setenv("LOTSIZING_TEST_LABEL", granted.c_str(), 1);
  TestDatabase allowed(Backend::SQLite);
  EXPECT_TRUE(allowed.rows("select * from Bedarf").empty());
}

}  // namespace
}  // namespace mrp::test
