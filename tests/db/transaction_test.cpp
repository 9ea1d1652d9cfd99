#include "db/transaction.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <memory>
#include <stdexcept>
#include <thread>

#include "db/connection.h"
#include "db/database_error.h"
#include "db/statement.h"
#include "support/test_database.h"

namespace mrp {
namespace {

using test::Backend;
using test::TestDatabase;
using Rows = std::vector<std::vector<std::string>>;

class TransactionTest : public testing::TestWithParam<Backend> {
 protected:
  void SetUp() override {
    db_ = std::make_unique<TestDatabase>(GetParam());
    connection_ = db_->connect();
    query_ = std::make_unique<Statement>(*connection_);
  }
  void TearDown() override {
    connection_->close();
    query_.reset();
  }

  void insertLot(const char* key, std::int32_t size) {
    query_->execute("insert into LosGröße(Bedarf,Termin,LosGröße,Kosten)values(?,0,?,0)", {key, size});
  }
  Rows lots() { return db_->rows("select Bedarf,LosGröße from LosGröße order by Bedarf"); }

  /// A trigger that fails every insert of a negative lot size.
  void rejectNegativeLots() { db_->refuseLotsWhere("NoNegativeLots", "new.LosGröße < 0", "negative lot"); }

  std::unique_ptr<TestDatabase> db_;
  std::unique_ptr<Connection> connection_;
  std::unique_ptr<Statement> query_;
};

TEST_P(TransactionTest, CommitsTheWorkAndLeavesAutocommitOn) {
  runTransaction(*connection_, Isolation::Serializable, [&] {
    insertLot("A", 1);
    insertLot("B", 2);
  });
  EXPECT_EQ(lots(), (Rows{{"A", "1"}, {"B", "2"}}));
  insertLot("C", 3);  // autocommit again: visible to another session at once
  EXPECT_EQ(lots().size(), 3u);
}

TEST_P(TransactionTest, RollsBackEverythingWhenAStatementFails) {
  rejectNegativeLots();
  insertLot("A", 1);
  try {
    runTransaction(*connection_, Isolation::Serializable, [&] {
      query_->execute("delete from LosGröße");
      insertLot("B", 2);
      insertLot("C", -1);  // fails in the trigger
    });
    FAIL() << "no error raised";
  } catch (const DatabaseError& error) {
    EXPECT_EQ(error.code(), E_FAIL);
  }
  EXPECT_EQ(lots(), (Rows{{"A", "1"}}));
  insertLot("D", 4);  // autocommit is on again, nothing half done is committed with it
  EXPECT_EQ(lots(), (Rows{{"A", "1"}, {"D", "4"}}));
}

TEST_P(TransactionTest, RollsBackWhenTheWorkRaisesSomethingElse) {
  EXPECT_THROW(runTransaction(*connection_, Isolation::Serializable,
                              [&] {
                                insertLot("A", 1);
                                throw std::runtime_error("refused");
                              }),
               std::runtime_error);
  EXPECT_TRUE(lots().empty());
}

INSTANTIATE_TEST_SUITE_P(Drivers, TransactionTest, testing::ValuesIn(test::allBackends()),
                         [](const auto& info) { return test::backendName(info.param); });

// A serializable writer whose snapshot is stale fails with 40001 where the
// database keeps snapshots (PostgreSQL). SQLite serialises writers with a lock,
// and MariaDB's serializable reads lock the rows, so there the other writer
// waits instead.
class SerializationRetry : public TransactionTest {};

TEST_P(SerializationRetry, RetriesAfterASerializationFailure) {
  insertLot("A", 1);
  int attempts = 0;
  runTransaction(*connection_, Isolation::Serializable, [&] {
    ++attempts;
    query_->query("select LosGröße from LosGröße");  // takes the snapshot
    ASSERT_TRUE(query_->next());
    if (attempts == 1)  // another session changes the row and commits first
      db_->exec("update LosGröße set LosGröße=LosGröße+100");
    query_->execute("update LosGröße set LosGröße=LosGröße+1");
  });
  EXPECT_EQ(attempts, 2);
  EXPECT_EQ(lots(), (Rows{{"A", "102"}}));
}

TEST_P(SerializationRetry, GivesUpWhenItsTimeBudgetIsSpent) {
  insertLot("A", 1);
  int attempts = 0;
  try {
    runTransaction(
        *connection_, Isolation::Serializable,
        [&] {
          ++attempts;
          query_->query("select LosGröße from LosGröße");
          ASSERT_TRUE(query_->next());
          db_->exec("update LosGröße set LosGröße=LosGröße+100");
          query_->execute("update LosGröße set LosGröße=LosGröße+1");
        },
        std::chrono::milliseconds(300));
    FAIL() << "no error raised";
  } catch (const DatabaseError& error) {
    EXPECT_EQ(error.sqlState(), "40001");
  }
  EXPECT_GT(attempts, 1);
  EXPECT_LT(attempts, 30);
  EXPECT_EQ(lots(), (Rows{{"A", std::to_string(1 + 100 * attempts)}}));
}

INSTANTIATE_TEST_SUITE_P(Snapshots, SerializationRetry,
                         testing::Values(Backend::PostgreSQL, Backend::PostgreSQLAnsi),
                         [](const auto& info) { return test::backendName(info.param); });

// Two sessions that lock two rows in opposite order: MariaDB ends the
// deadlock by rolling back the transaction that wrote less, ours, which is
// then run again.
TEST(DeadlockRetry, OnMariaDBTheTransactionThatLostIsRunAgain) {
  TestDatabase db(Backend::MariaDB);
  db.exec("insert into LosGröße values ('A',0,1,0),('B',0,1,0)");
  const auto mine = db.connect();
  const auto other = db.connect();
  std::atomic<bool> mineHoldsA{false};
  std::atomic<bool> otherHoldsB{false};
  const auto waitFor = [](const std::atomic<bool>& flag) {
    while (!flag.load()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  };
  std::thread otherSession([&] {
    Statement query(*other);
    runTransaction(*other, Isolation::ReadCommitted, [&] {
      // More rows written: the other session is the one MariaDB keeps.
      for (int i = 0; i < 20; ++i) query.execute("insert into LosGröße values ('Z',0,0,0)");
      query.execute("update LosGröße set LosGröße=LosGröße+10 where Bedarf='B'");
      otherHoldsB = true;
      waitFor(mineHoldsA);
      query.execute("update LosGröße set LosGröße=LosGröße+10 where Bedarf='A'");
    });
  });
  Statement query(*mine);
  int attempts = 0;
  std::string firstState;
  runTransaction(*mine, Isolation::ReadCommitted, [&] {
    ++attempts;
    query.execute("update LosGröße set LosGröße=LosGröße+1 where Bedarf='A'");
    mineHoldsA = true;
    waitFor(otherHoldsB);
    query.execute("update LosGröße set LosGröße=LosGröße+1 where Bedarf='B'");
  });
  otherSession.join();
  EXPECT_EQ(attempts, 2);
  EXPECT_EQ(db.rows("select Bedarf,LosGröße from LosGröße where Bedarf<>'Z' order by Bedarf"),
            (Rows{{"A", "12"}, {"B", "12"}}));
}

TEST(TransactionWithoutConnection, RaisesEPointer) {
  TestDatabase db(Backend::SQLite);
  const auto connection = db.connect();
  connection->close();
  try {
    runTransaction(*connection, Isolation::Serializable, [] {});
    FAIL() << "no error raised";
  } catch (const DatabaseError& error) {
    EXPECT_EQ(error.code(), E_POINTER);
  }
}

}  // namespace
}  // namespace mrp
