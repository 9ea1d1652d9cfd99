#include "db/connection.h"

#include <gtest/gtest.h>

#include "driver/com_error.h"
#include "platform/odbc_environment.h"
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

INSTANTIATE_TEST_SUITE_P(Drivers, ConnectionTest, testing::ValuesIn(test::allBackends()),
                         [](const auto& info) { return test::backendName(info.param); });

}  // namespace
}  // namespace mrp
