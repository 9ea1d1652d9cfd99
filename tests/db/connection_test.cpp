#include "db/connection.h"

#include <gtest/gtest.h>

#include "db/db_query.h"
#include "driver/com_error.h"
#include "platform/text_encoding.h"
#include "platform/odbc_environment.h"
#include "support/process.h"
#include "support/test_database.h"

namespace mrp {
namespace {

using test::Backend;
using test::TestDatabase;

class ConnectionTest : public testing::TestWithParam<Backend> {
 protected:
  void SetUp() override { ASSERT_TRUE(initialisePlatform()); }
  void TearDown() override { closeConnection(); }
};

TEST_P(ConnectionTest, OpensAndClosesTheSharedConnection) {
  TestDatabase db(GetParam());
  db.connectShared();
  EXPECT_TRUE(connectionIsOpen());
  EXPECT_NE(sharedConnection(), nullptr);
  closeConnection();
  EXPECT_FALSE(connectionIsOpen());
  closeConnection();  // on a closed connection: nothing happens
  EXPECT_FALSE(connectionIsOpen());
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

TEST_P(ConnectionTest, SecondOpenReplacesTheFirstConnection) {
  TestDatabase first(GetParam());
  TestDatabase second(GetParam());
  second.exec("insert into Bedarf(Bedarf) values ('on second')");
  first.connectShared();
  second.connectShared();
  EXPECT_TRUE(connectionIsOpen());
  DbQuery query;
  query.prepare(0);
  EXPECT_TRUE(query.open("select Bedarf from Bedarf"));
}

INSTANTIATE_TEST_SUITE_P(Drivers, ConnectionTest, testing::ValuesIn(test::allBackends()),
                         [](const auto& info) { return test::backendName(info.param); });

std::size_t count(const std::string& text, const std::string& part) {
  std::size_t n = 0;
  for (auto at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++n;
  return n;
}

bool endsWith(const std::string& text, const std::string& end) {
  return text.size() >= end.size() && text.compare(text.size() - end.size(), end.size(), end) == 0;
}

TEST(ConnectionFailure, RaisesWithTheDriverManagerMessage) {
  ASSERT_TRUE(initialisePlatform());
  struct Case {
    std::string dataSource;
    const char* sqlState;
  };
  const Case cases[] = {
      {"lsz_no_such_source", "IM002"},        // not configured
      {std::string(200, 'd'), "IM012"},       // longer than the driver manager allows
  };
  for (const auto& c : cases) {
    try {
      openConnection(("DSN=" + c.dataSource).c_str());
      ADD_FAILURE() << "no error for " << c.dataSource;
    } catch (const _com_error& error) {
      EXPECT_EQ(error.code(), E_FAIL);
      EXPECT_EQ(error.sqlState(), c.sqlState);
      ASSERT_FALSE(error.descriptionText().isNull());
      EXPECT_NE(utf16ToUtf8(*error.descriptionText().wide()).find("Driver Manager"),
                std::string::npos);
    }
    EXPECT_FALSE(connectionIsOpen());
    closeConnection();  // on a connection that never opened: nothing happens
  }
}

TEST(ConnectionFailure, UnknownDataSourceEndsTheProgramWithOneErrorReport) {
  for (const std::string& dataSource : {std::string("lsz_no_such_source"), std::string(200, 'd')}) {
    const test::RunResult result = test::runProgram({dataSource, "A"});
    EXPECT_EQ(result.exitStatus, 1);
    EXPECT_EQ(count(result.err, "______>>>>>>>>>______"), 1u) << result.err;
    EXPECT_TRUE(endsWith(result.out, "\a: Fehlerhaft beendet!")) << result.out;
    EXPECT_EQ(count(result.out, "Erfolgreich"), 0u);
  }
}

TEST(ConnectionWithoutObject, CloseDoesNothing) {
  // A fresh process, so that no earlier test has made a connection object.
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(
      {
        closeConnection();
        std::exit(sharedConnection() == nullptr && !connectionIsOpen() ? 0 : 1);
      },
      testing::ExitedWithCode(0), "");
}

}  // namespace
}  // namespace mrp
