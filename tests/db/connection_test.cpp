#include "db/connection.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <atomic>
#include <chrono>
#include <memory>
#include <thread>
#include <vector>

#include "db/database_error.h"
#include "db/odbc_environment.h"
#include "db/statement.h"
#include "db/transaction.h"
#include "platform/text_encoding.h"
#include "support/helpers.h"
#include "support/process.h"
#include "support/test_database.h"

namespace mrp {
namespace {

using test::Backend;
using test::TestDatabase;

class ConnectionTest : public testing::TestWithParam<Backend> {};

TEST_P(ConnectionTest, OpensAndCloses) {
  TestDatabase db(GetParam());
  const std::unique_ptr<Connection> connection = db.connect();
  EXPECT_TRUE(connection->isOpen());
  connection->close();
  EXPECT_FALSE(connection->isOpen());
  connection->close();  // on a closed connection: nothing happens
  EXPECT_FALSE(connection->isOpen());
}

TEST_P(ConnectionTest, TestDatabaseRoundTripsRowsThroughTheClient) {
  TestDatabase db(GetParam());
  db.exec("insert into Bedarf(Bedarf,PeriodenLänge,Beschreibung) values ('A',7,'Größe'),('B',NULL,'x')");
  const auto rows = db.rows("select Bedarf,PeriodenLänge,Beschreibung from Bedarf order by Bedarf");
  const std::vector<std::vector<std::string>> expected{{"A", "7", "Größe"}, {"B", "<NULL>", "x"}};
  EXPECT_EQ(rows, expected);
  EXPECT_TRUE(db.rows("select Bedarf from Bedarf where Bedarf='none'").empty());
  EXPECT_THROW(db.exec("insert into NoSuchTable values (1)"), std::runtime_error);
}

TEST_P(ConnectionTest, DatabasesAreIsolated) {
  TestDatabase first(GetParam());
  TestDatabase second(GetParam());
  first.exec("insert into Bedarf(Bedarf) values ('A')");
  EXPECT_EQ(first.rows("select count(*) from Bedarf"), (std::vector<std::vector<std::string>>{{"1"}}));
  EXPECT_EQ(second.rows("select count(*) from Bedarf"), (std::vector<std::vector<std::string>>{{"0"}}));
}

TEST_P(ConnectionTest, TwoConnectionsAtOnceEachReachTheirOwnDatabase) {
  TestDatabase first(GetParam());
  TestDatabase second(GetParam());
  first.exec("insert into Bedarf(Bedarf) values ('on first')");
  second.exec("insert into Bedarf(Bedarf) values ('on second')");
  const auto onFirst = first.connect();
  const auto onSecond = second.connect();
  Statement fromFirst(*onFirst);
  Statement fromSecond(*onSecond);
  fromFirst.query("select Bedarf from Bedarf");
  fromSecond.query("select Bedarf from Bedarf");
  ASSERT_TRUE(fromFirst.next());
  ASSERT_TRUE(fromSecond.next());
  EXPECT_EQ(*fromFirst.text(0), "on first");
  EXPECT_EQ(*fromSecond.text(0), "on second");
}

// Threads of one environment connecting at the same moment: psqlODBC sets the
// process locale while it connects, which must not overlap with another
// connect (under AddressSanitizer an overlap shows as a use after free).
TEST_P(ConnectionTest, ManyThreadsConnectAtOnce) {
  // A locale of its own: the driver then switches the process locale between
  // two names, and setlocale frees the one it replaces.
  ::setenv("LC_ALL", "C.UTF-8", 1);
  TestDatabase db(GetParam());
  std::atomic<int> opened{0};
  std::atomic<int> failed{0};
  std::vector<std::thread> threads;
  for (int t = 0; t < 8; ++t) {
    threads.emplace_back([&] {
      for (int c = 0; c < 10; ++c) {
        try {  // an exception leaving a thread would end the process before the check
          db.connect()->close();
          ++opened;
        } catch (const std::exception&) {
          ++failed;
        }
      }
    });
  }
  for (std::thread& thread : threads) thread.join();
  EXPECT_EQ(failed.load(), 0);
  EXPECT_EQ(opened.load(), 80);
}

INSTANTIATE_TEST_SUITE_P(Drivers, ConnectionTest, testing::ValuesIn(test::allBackends()),
                         [](const auto& info) { return test::backendName(info.param); });

// After the server ended the session in the middle of a transaction, every
// failure on the connection is a lost connection, whatever the driver calls it
// (psqlODBC: "internal SAVEPOINT failed", MariaDB: "Server has gone away" with
// HY001), and never a statement's own error or a lack of memory.
class SessionEnded : public testing::TestWithParam<Backend> {};

TEST_P(SessionEnded, EveryFailureAfterwardsIsALostConnection) {
  TestDatabase db(GetParam());
  const auto connection = db.connect();
  const bool maria = GetParam() == Backend::MariaDB;
  Statement query(*connection);
  query.query(maria ? "select cast(connection_id() as char)"
                    : "select cast(pg_backend_pid() as varchar(20))");
  ASSERT_TRUE(query.next());
  const std::string session(*query.text(0));
  const std::string end = maria ? std::string("kill connection ") + session
                                : std::string("select pg_terminate_backend(") + session + ")";
  std::vector<std::string> failures;
  for (int attempt = 0; attempt < 3; ++attempt) {
    try {
      runTransaction(
          *connection, Isolation::ReadCommitted,
          [&] {
            query.execute("delete from LosGröße where Bedarf=?", {"A"});
            if (attempt == 0) db.exec(end);
            query.execute("delete from LosGröße where Bedarf=?", {"A"});
          },
          std::chrono::milliseconds(0));
      ADD_FAILURE() << "attempt " << attempt << " succeeded";
    } catch (const DatabaseError& error) {
      EXPECT_EQ(failureKind(error, *connection), FailureKind::ConnectionLost)
          << error.sqlState() << " " << error.nativeError() << " " << error.what();
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Servers, SessionEnded,
                         testing::Values(Backend::PostgreSQL, Backend::PostgreSQLAnsi, Backend::MariaDB),
                         [](const auto& info) { return test::backendName(info.param); });

TEST(ConnectionFailure, RaisesWithTheDriverManagerMessage) {
  struct Case {
    std::string dataSource;
    const char* sqlState;
  };
  const Case cases[] = {
      {"lsz_no_such_source", "IM002"},   // not configured
      {std::string(200, 'd'), "IM012"},  // longer than the driver manager allows
  };
  for (const auto& c : cases) {
    try {
      Connection connection(test::odbcEnvironment(), "DSN=" + c.dataSource);
      ADD_FAILURE() << "no error for " << c.dataSource;
    } catch (const DatabaseError& error) {
      EXPECT_EQ(error.code(), E_FAIL);
      EXPECT_EQ(error.sqlState(), c.sqlState);
      ASSERT_TRUE(error.description().has_value());
      EXPECT_NE(utf16ToUtf8(*error.description()).find("Driver Manager"), std::string::npos);
    }
  }
}

TEST(ConnectionFailure, UnknownDataSourceEndsTheProgramWithOneErrorReport) {
  for (const std::string& dataSource : {std::string("lsz_no_such_source"), std::string(200, 'd')}) {
    const test::RunResult result = test::runProgram({dataSource, "A"});
    EXPECT_EQ(result.exitStatus, 1);
    EXPECT_EQ(test::count(result.err, "______>>>>>>>>>______"), 1u) << result.err;
    EXPECT_TRUE(result.out.ends_with("\a: Fehlerhaft beendet!")) << result.out;
    EXPECT_EQ(test::count(result.out, "Erfolgreich"), 0u);
  }
}

}  // namespace
}  // namespace mrp
