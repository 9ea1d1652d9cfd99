#include "db/odbc_handle.h"

#include <gtest/gtest.h>

#include <string>

namespace mrp::odbc {
namespace {

TEST(OutOfMemory, HY001FromAnyDriverAndSQLitesSeventhErrorFromSQLiteOnly) {
  const struct {
    const char* sqlState;
    std::int32_t nativeError;
    std::u16string text;
    bool outOfMemory;
  } cases[] = {
      {"HY001", 0, u"[unixODBC][Driver Manager]Memory allocation error", true},
      {"HY001", 1, u"", true},
      {"HY000", 7, u"[SQLite]unknown error (7)", true},
      {"S1000", 7, u"[SQLite]out of memory (7)\n[SQLite]second record", true},
      {"HY000", 1, u"[SQLite]no such table: Bedarf (1)", false},
      {"HY000", 7, u"[ma-3.1.15]Unknown error 7", false},
      {"HY000", 7, u"out of memory [SQLite]", false},
      {"HY000", 7, u"", false},
      // MariaDB's driver reports a connection gone with HY001 too.
      {"HY001", 2006, u"[ma-3.1.15]Server has gone away", false},
      {"HY001", 2013, u"[ma-3.1.15]Lost connection to server during query", false},
  };
  for (const auto& c : cases) {
    Diagnostics diagnostics;
    diagnostics.sqlState = c.sqlState;
    diagnostics.nativeError = c.nativeError;
    if (!c.text.empty()) diagnostics.text = c.text;
    EXPECT_EQ(isOutOfMemory(diagnostics), c.outOfMemory) << c.sqlState << " " << c.nativeError;
  }
}

}  // namespace
}  // namespace mrp::odbc
