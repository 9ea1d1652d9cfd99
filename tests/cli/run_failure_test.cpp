#include "cli/run_failure.h"

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
  for (const auto& c : cases)
    EXPECT_EQ(databaseFailure(c.error), (Message{MessageCode::DatabaseError, c.text})) << c.name;
}

// The guard hands each kind of failure on, and each has its message.
TEST(RunFailure, TheGuardTurnsEveryFailureIntoItsMessage) {
  const auto messageOf = [](auto fail) {
    return runGuarded(
        [&]() -> Message {
          fail();
          return {};
        },
        [](const Failure& failure) { return failureMessage(failure); });
  };
  EXPECT_EQ(messageOf([] { throw DatabaseError(E_FAIL, u"weg", "08S01"); }),
            (Message{MessageCode::DatabaseError, "SQLSTATE 08S01: weg"}));
  EXPECT_EQ(messageOf([] { throw std::bad_alloc(); }),
            (Message{MessageCode::OutOfMemory, "Nicht genug Arbeitsspeicher"}));
  EXPECT_EQ(messageOf([] { throw std::logic_error("the lots do not match\nthe periods"); }),
            (Message{MessageCode::InternalError, "the lots do not match the periods"}));
  EXPECT_EQ(messageOf([] { throw 7; }), (Message{MessageCode::InternalError, "unknown failure"}));
  EXPECT_EQ(runGuarded([] { return 5; }, [](const Failure&) { return 1; }), 5)
      << "no failure, the body's result";
}

}  // namespace
}  // namespace mrp
