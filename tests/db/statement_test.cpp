#include "db/statement.h"

#include <gtest/gtest.h>

#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "db/connection.h"
#include "db/database_error.h"
#include "support/test_database.h"

namespace mrp {
namespace {

using test::Backend;
using test::TestDatabase;
using Rows = std::vector<std::vector<std::string>>;

constexpr double kMarch1st2006 = 38777.0;
constexpr double kSecond = 1.1574074074074073e-05;
/// Row by row, and in blocks of bound rows: every read must give the same.
constexpr std::size_t kModes[] = {1, 64};

template <class Call>
HRESULT codeOf(Call call) {
  try {
    call();
  } catch (const DatabaseError& error) {
    return error.code();
  }
  return 0;
}

class StatementTest : public testing::TestWithParam<Backend> {
 protected:
  void SetUp() override {
    db_ = std::make_unique<TestDatabase>(GetParam());
    connection_ = db_->connect();
    statement_ = std::make_unique<Statement>(*connection_);
  }
  void TearDown() override {
    statement_.reset();
    connection_->close();
  }

  bool onSQLite() const { return GetParam() == Backend::SQLite; }

  std::unique_ptr<TestDatabase> db_;
  std::unique_ptr<Connection> connection_;
  std::unique_ptr<Statement> statement_;
};

// Each column reads as the kind of its SQL type; another kind, or NULL, says
// why there is no value.
TEST_P(StatementTest, ReadsTheKindOfEachColumnAndSaysWhyThereIsNone) {
  db_->exec("insert into Bedarf values ('A','2006-03-01 12:00:00',7,'Text'),('B',NULL,NULL,NULL)");
  for (const std::size_t rows : kModes) {
    SCOPED_TRACE(rows);
    Statement& s = *statement_;
    s.query("select StartTermin,PeriodenLänge,Beschreibung,Bedarf from Bedarf order by Bedarf", {}, rows);
    ASSERT_TRUE(s.next());
    EXPECT_EQ(*s.date(0), kMarch1st2006 + 0.5);
    EXPECT_EQ(*s.integer(1), 7);
    EXPECT_EQ(*s.text(2), "Text");
    EXPECT_EQ(s.integer(0).why(), NoValue::OtherKind);  // a date is no integer
    EXPECT_EQ(s.real(1).why(), NoValue::OtherKind);     // an integer is no double
    EXPECT_EQ(s.date(2).why(), NoValue::OtherKind);     // a text is no date
    EXPECT_EQ(s.text(1).why(), NoValue::OtherKind);
    ASSERT_TRUE(s.next());
    EXPECT_EQ(s.date(0).why(), NoValue::Null);
    EXPECT_EQ(s.integer(1).why(), NoValue::Null);
    EXPECT_EQ(s.text(2).why(), NoValue::Null);
    EXPECT_FALSE(s.next());
    EXPECT_FALSE(s.next()) << "stays at the end";
  }
  db_->exec("insert into LosGröße values ('A',38777.5,10,2.5)");
  statement_->query("select Termin,LosGröße,Kosten from LosGröße");
  ASSERT_TRUE(statement_->next());
  EXPECT_EQ(*statement_->real(0), 38777.5);
  EXPECT_EQ(*statement_->integer(1), 10);
  EXPECT_EQ(*statement_->real(2), 2.5);
}

TEST_P(StatementTest, ParametersReachTheDriverWithTheirTypes) {
  const char* insert = "insert into LosGröße(Bedarf,Termin,LosGröße,Kosten)values(?,?,?,?)";
  statement_->execute(insert, {"Maß", 0.1 + 0.2, 2147483647, -1.5});  // 0.1 + 0.2: only exact compares equal
  statement_->execute(insert, {"Maß", 2.5, 20, 1.25});                // the same text runs again
  const std::string doubleType = GetParam() == Backend::MariaDB ? "double" : "double precision";
  EXPECT_EQ(
      db_->rows("select Bedarf,case when Termin=cast(0.1 as " + doubleType + ")+cast(0.2 as " + doubleType +
                ") then 'exact' else 'inexact' end,LosGröße,Kosten from LosGröße order by LosGröße desc"),
      (Rows{{"Maß", "exact", "2147483647", "-1.5"}, {"Maß", "inexact", "20", "1.25"}}));
  if (onSQLite()) {  // SQLite keeps the type a value was bound with
    statement_->query("select typeof(?),typeof(?),typeof(?)", {"x", 1.5, 3});
    ASSERT_TRUE(statement_->next());
    EXPECT_EQ(*statement_->text(0), "text");
    EXPECT_EQ(*statement_->text(1), "real");
    EXPECT_EQ(*statement_->text(2), "integer");
  }
}

TEST_P(StatementTest, RowsComeForwardAndAQueryStartsOver) {
  db_->exec(
      "insert into Termin values ('A','2006-03-02 00:00:00',2),('A','2006-03-01 00:00:00',1),"
      "('A','2006-03-03 00:00:00',3),('B','2006-03-01 00:00:00',9)");
  Statement& s = *statement_;
  for (int round = 0; round < 2; ++round) {
    s.query("select Termin,Menge from Termin where Bedarf=? order by Termin asc", {"A"});
    std::vector<std::int32_t> seen;
    while (s.next()) seen.push_back(*s.integer(1));
    EXPECT_EQ(seen, (std::vector<std::int32_t>{1, 2, 3}));
  }
  s.query("select Menge from Termin where Bedarf='none'");
  EXPECT_FALSE(s.next());
  s.execute("delete from Termin where Bedarf=?", {"B"});
  EXPECT_FALSE(s.next()) << "a statement that returns no rows has none to read";
  EXPECT_EQ(db_->rows("select count(*) from Termin"), (Rows{{"3"}}));
}

TEST_P(StatementTest, ReadingWithoutARowOrBeyondTheColumnsIsAMistake) {
  Statement& s = *statement_;
  EXPECT_THROW(s.integer(0), std::logic_error) << "before any query";
  db_->exec("insert into Bedarf(Bedarf) values ('A')");
  s.query("select Bedarf from Bedarf");
  EXPECT_THROW(s.text(0), std::logic_error) << "before the first row";
  ASSERT_TRUE(s.next());
  EXPECT_THROW(s.text(1), std::logic_error);
  EXPECT_FALSE(s.next());
  EXPECT_THROW(s.text(0), std::logic_error) << "after the last row";
}

// Texts of any length, umlauts both ways; bound rows read a text longer than
// their arrays again whole.
TEST_P(StatementTest, TextsAreReadWholeAndUmlautsCrossBothWays) {
  std::string longText;
  for (int i = 0; i < 300; ++i) longText += "Größe-";
  db_->exec("create table Langtext (Text varchar(2000))");
  db_->exec("insert into Langtext values ('" + longText.substr(0, 1000) + "'),(NULL),('ä')");
  for (const std::size_t rows : kModes) {
    statement_->query("select Text from Langtext", {}, rows);
    std::vector<std::string> seen;
    while (statement_->next()) seen.push_back(std::string(statement_->text(0).optional().value_or("<NULL>")));
    EXPECT_EQ(seen, (std::vector<std::string>{longText.substr(0, 1000), "<NULL>", "ä"})) << rows;
  }
  statement_->execute("insert into LosGröße(Bedarf,Termin,LosGröße,Kosten)values(?,1,3,4.5)", {"Bäckerei"});
  EXPECT_EQ(db_->rows("select Bedarf from LosGröße"), (Rows{{"Bäckerei"}}));
}

TEST_P(StatementTest, DatesAreRoundedToWholeSeconds) {
  db_->exec(
      "insert into Termin values ('A','2006-03-01 12:00:00.4',1),"
      "('A','2006-03-01 12:00:00.6',2),('A','2006-03-01 23:59:59.7',3)");
  const double expected[] = {kMarch1st2006 + 0.5, kMarch1st2006 + 43201 * kSecond, kMarch1st2006 + 1.0};
  for (const std::size_t rows : kModes) {
    statement_->query("select Termin from Termin order by Menge", {}, rows);
    for (const double date : expected) {
      ASSERT_TRUE(statement_->next());
      EXPECT_NEAR(*statement_->date(0), date, 1e-10) << rows;
    }
    EXPECT_FALSE(statement_->next());
  }
}

TEST_P(StatementTest, AFailingStatementRaisesWithTheDriversMessageAndTheStatementGoesOn) {
  try {
    statement_->execute("insert into NoSuchTable values (1)");
    FAIL() << "no error raised";
  } catch (const DatabaseError& error) {
    EXPECT_EQ(error.code(), E_FAIL);
    ASSERT_TRUE(error.description().has_value());
    EXPECT_GT(error.description()->size(), 0u);
    EXPECT_EQ(error.sqlState().size(), 5u);
    EXPECT_EQ(error.kind(), FailureKind::Statement);
  }
  db_->exec("insert into Bedarf(Bedarf) values ('A')");
  statement_->query("select Bedarf from Bedarf");
  EXPECT_TRUE(statement_->next());
}

// MariaDB's driver hands dates and signed whole numbers read in blocks as C
// values, converted without a check: a date the server keeps out of the
// calendar (a zero date, a month 0, February 30) and an unsigned number beyond
// 2^31 must still have no value, as when read row by row as text.
TEST_P(StatementTest, ValuesOutsideTheirRangeHaveNoValueInBlocksToo) {
  if (GetParam() != Backend::MariaDB) GTEST_SKIP() << "only MariaDB keeps such dates and unsigned columns";
  db_->exec(
      "create table Grenzen (n integer, d datetime(6), i integer, u integer unsigned, k smallint);"
      "set session sql_mode='ALLOW_INVALID_DATES';"
      "insert into Grenzen values (1,'0000-00-00 00:00:00',-2147483648,4000000000,-32768),"
      "(2,'2024-00-10 00:00:00',2147483647,2147483647,32767),(3,'2024-02-30 08:00:00',0,0,0),"
      "(4,'9999-12-31 23:59:59.4',NULL,NULL,NULL),(5,'0001-01-01 00:00:00',7,7,7)");
  struct Expected {
    std::optional<double> date;
    std::optional<std::int32_t> i, u, k;
  };
  const Expected expected[] = {
      {std::nullopt, -2147483647 - 1, std::nullopt, -32768},
      {std::nullopt, 2147483647, 2147483647, 32767},
      {std::nullopt, 0, 0, 0},
      {2958465.0 + 86399 * kSecond, std::nullopt, std::nullopt, std::nullopt},
      {-693593.0, 7, 7, 7},
  };
  for (const std::size_t rows : kModes) {
    SCOPED_TRACE(rows);
    statement_->query("select d,i,u,k from Grenzen order by n", {}, rows);
    for (const Expected& row : expected) {
      ASSERT_TRUE(statement_->next());
      const Read<double> date = statement_->date(0);
      ASSERT_EQ(date.hasValue(), row.date.has_value()) << (date ? *date : 0.0);
      if (row.date) EXPECT_NEAR(*date, *row.date, 1e-9);
      EXPECT_EQ(statement_->integer(1).optional(), row.i);
      EXPECT_EQ(statement_->integer(2).optional(), row.u);
      EXPECT_EQ(statement_->integer(3).optional(), row.k);
      EXPECT_EQ(statement_->text(1).why(), row.i ? NoValue::OtherKind : NoValue::Null);
    }
    EXPECT_FALSE(statement_->next());
  }
}

// Every row of a long result, each value checked, row by row and in blocks.
TEST_P(StatementTest, ManyRowsAreReadInOrder) {
  // MariaDB stops a recursion at 1000 rows unless the session allows more.
  const std::string allowDeepRecursion =
      GetParam() == Backend::MariaDB ? "set max_recursive_iterations=20000;" : "";
  db_->exec(allowDeepRecursion +
            "insert into Termin(Bedarf,Termin,Menge) with recursive n(i) as (select 1 union all select "
            "i+1 from n where i<20000) select 'A', null, i from n");
  for (const std::size_t rows : kModes) {
    statement_->query("select Bedarf,Termin,Menge from Termin order by Menge", {}, rows);
    std::int32_t count = 0;
    while (statement_->next()) {
      ++count;
      ASSERT_EQ(*statement_->integer(2), count) << rows;
      ASSERT_EQ(statement_->date(1).why(), NoValue::Null) << count;
      ASSERT_EQ(*statement_->text(0), "A") << count;
    }
    EXPECT_EQ(count, 20000) << rows;
  }
}

// A value with a NUL inside is not the text it claims to be. The SQLite driver
// hands `a<NUL>b` as `a`: there only the probe finds such values.
TEST_P(StatementTest, TextsWithAnEmbeddedNulAreUnreadable) {
  if (GetParam() == Backend::PostgreSQL || GetParam() == Backend::PostgreSQLAnsi) {
    GTEST_SKIP() << "PostgreSQL keeps no NUL in a text";
  }
  const std::string cut = onSQLite() ? "'a'||char(0)||'b'" : "concat('a',char(0),'b')";
  db_->exec("insert into Bedarf(Bedarf,Beschreibung) values ('A'," + cut + "),('B','ab'),('C'," + cut + ")");
  for (const std::size_t rows : kModes) {
    Statement& s = *statement_;
    EXPECT_EQ(
        s.noteValuesCutAtNul("select Bedarf,Beschreibung,instr(Bedarf,char(0)),instr(Beschreibung,char(0)) "
                             "from Bedarf where instr(Bedarf,char(0))>0 or instr(Beschreibung,char(0))>0"),
        onSQLite());
    s.query("select Bedarf,Beschreibung from Bedarf order by Bedarf", {}, rows);
    std::vector<std::string> seen;
    while (s.next()) {
      const Read<std::string_view> description = s.text(1);
      seen.push_back(std::string(*s.text(0)) + ":" +
                     (description ? std::string(*description) : "unreadable"));
      if (!description) {
        EXPECT_EQ(description.why(), NoValue::Unreadable);
      }
    }
    EXPECT_EQ(seen, (std::vector<std::string>{"A:unreadable", "B:ab", "C:unreadable"})) << rows;
    // What was found holds for that one query only.
    s.query("select Beschreibung from Bedarf where Bedarf='B'");
    ASSERT_TRUE(s.next());
    EXPECT_EQ(*s.text(0), "ab");
  }
}

TEST_P(StatementTest, AClosedConnectionMakesItsStatementsFail) {
  connection_->close();
  EXPECT_EQ(codeOf([&] { statement_->query("select 1"); }), E_POINTER);
  EXPECT_EQ(codeOf([&] { Statement another(*connection_); }), E_POINTER);
  statement_.reset();  // destroying it after the close is safe
}

INSTANTIATE_TEST_SUITE_P(Drivers, StatementTest, testing::ValuesIn(test::allBackends()),
                         [](const auto& info) { return test::backendName(info.param); });

}  // namespace
}  // namespace mrp
