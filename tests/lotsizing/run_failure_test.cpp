#include "lotsizing/run_failure.h"

#include <gtest/gtest.h>

#include <optional>
#include <stdexcept>
#include <string>

#include "db/database_error.h"
#include "support/helpers.h"

namespace mrp {
namespace {

// A database failure names its SQLSTATE and the driver's text on one line,
// not the failure code the single-demand program prints.
TEST(RunFailure, ADatabaseFailureNamesItsSqlStateAndTheDriversText) {
  const struct {
    const char* name;
    DatabaseError error;
    std::string text;
  } cases[] = {
      {"a constraint", DatabaseError(E_FAIL, u"duplicate key value\nviolates \"pk\"", "23505", 7),
       "SQLSTATE 23505: duplicate key value violates \"pk\""},
      {"no description", DatabaseError(E_FAIL, std::nullopt, "08001"), "SQLSTATE 08001: <Null>"},
      {"no SQLSTATE: the error's own line", DatabaseError(E_POINTER), "Unknown error 0x80004003: <Null>"},
  };
  for (const auto& c : cases) EXPECT_EQ(databaseFailure(c.error), (Message{MessageCode::DatabaseError, c.text})) << c.name;
}

TEST(RunFailure, MemoryAndOtherFailuresHaveTheirOwnCodes) {
  EXPECT_EQ(memoryFailure(), (Message{MessageCode::OutOfMemory, "Nicht genug Arbeitsspeicher"}));
  EXPECT_EQ(otherFailure(std::logic_error("the lots do not match\nthe periods")),
            (Message{MessageCode::InternalError, "the lots do not match the periods"}));
}

}  // namespace
}  // namespace mrp
