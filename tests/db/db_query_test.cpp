#include "db/db_query.h"

#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "db/connection.h"
#include "db/database_error.h"
#include "platform/odbc_environment.h"
#include "support/test_database.h"

namespace mrp {
namespace {

using test::Backend;
using test::TestDatabase;
using Rows = std::vector<std::vector<std::string>>;

constexpr std::int32_t kCapacity = 129;
constexpr double kMarch1st2006 = 38777.0;
constexpr double kSecond = 1.1574074074074073e-05;

template <class Call>
HRESULT codeOf(Call call) {
  try {
    call();
  } catch (const DatabaseError& error) {
    return error.code();
  }
  return 0;
}

class DbQueryTest : public testing::TestWithParam<Backend> {
 protected:
  void SetUp() override {
    db_ = std::make_unique<TestDatabase>(GetParam());
    connection_ = db_->connect();
    query_ = std::make_unique<DbQuery>(*connection_);
  }
  void TearDown() override {
    connection_->close();
    query_.reset();
  }

  bool onSQLite() const { return GetParam() == Backend::SQLite; }
  std::string text(std::int32_t column) {
    std::array<char, kCapacity> buffer{};
    EXPECT_TRUE(query_->getText(column, buffer.data(), kCapacity));
    return buffer.data();
  }

  std::unique_ptr<TestDatabase> db_;
  std::unique_ptr<Connection> connection_;
  std::unique_ptr<DbQuery> query_;
};

TEST_P(DbQueryTest, ReadsColumnsAsTheKindsOfTheirSqlTypes) {
  db_->exec("insert into Bedarf values ('A','2006-03-01 12:00:00',7,'Text')");
  db_->exec("insert into LosGröße values ('A',38777.5,10,2.5)");
  DbQuery& q = *query_;
  q.prepare(0);
  ASSERT_TRUE(q.open("select StartTermin,PeriodenLänge,Beschreibung,Bedarf from Bedarf"));
  EXPECT_EQ(q.columnKind(0), VT_DATE);
  EXPECT_EQ(q.columnKind(1), VT_I4);
  EXPECT_EQ(q.columnKind(2), VT_BSTR);
  EXPECT_EQ(q.columnKind(3), VT_BSTR);
  ASSERT_TRUE(q.open("select Termin,LosGröße,Kosten from LosGröße"));
  EXPECT_EQ(q.columnKind(0), VT_R8);
  EXPECT_EQ(q.columnKind(1), VT_I4);
  EXPECT_EQ(q.columnKind(2), VT_R8);
  double termin = 0.0, kosten = 0.0;
  std::int32_t size = 0;
  EXPECT_TRUE(q.getDouble(0, termin));
  EXPECT_TRUE(q.getInteger(1, size));
  EXPECT_TRUE(q.getDouble(2, kosten));
  EXPECT_EQ(termin, 38777.5);
  EXPECT_EQ(size, 10);
  EXPECT_EQ(kosten, 2.5);
}

TEST_P(DbQueryTest, NullColumnsAndWrongKindsLeaveEveryTargetUnchanged) {
  db_->exec("insert into Bedarf values ('A',NULL,NULL,NULL)");
  db_->exec("insert into LosGröße values ('A',NULL,NULL,NULL)");
  db_->exec("insert into LosGröße values ('B',1.5,3,2.5)");
  DbQuery& q = *query_;
  q.prepare(0);

  ASSERT_TRUE(q.open("select StartTermin,PeriodenLänge,Beschreibung from Bedarf"));
  char buffer[kCapacity] = "unchanged";
  std::int32_t integer = -1;
  double real = -1.0;
  VARIANT date = VARIANT::int32(-1);
  for (std::int32_t column = 0; column < 3; ++column) {
    EXPECT_EQ(q.columnKind(column), VT_NULL);
    EXPECT_FALSE(q.getText(column, buffer, kCapacity));
    EXPECT_FALSE(q.getInteger(column, integer));
    EXPECT_FALSE(q.getDouble(column, real));
    EXPECT_FALSE(q.getDate(column, date));
  }
  ASSERT_TRUE(q.open("select Termin,LosGröße,Kosten from LosGröße where Bedarf='A'"));
  EXPECT_FALSE(q.getDouble(0, real));
  EXPECT_FALSE(q.getInteger(1, integer));

  // Columns of another kind than the getter reads: true, target unchanged.
  ASSERT_TRUE(q.open("select Termin,LosGröße,Bedarf from LosGröße where Bedarf='B'"));
  EXPECT_TRUE(q.getInteger(0, integer));  // double column
  EXPECT_TRUE(q.getDate(0, date));        // a double is no date
  EXPECT_TRUE(q.getDouble(1, real));      // integer column
  EXPECT_TRUE(q.getText(1, buffer, kCapacity));
  EXPECT_TRUE(q.getInteger(2, integer));  // text column
  EXPECT_STREQ(buffer, "unchanged");
  EXPECT_EQ(integer, -1);
  EXPECT_EQ(real, -1.0);
  EXPECT_EQ(date, VARIANT::int32(-1));
}

TEST_P(DbQueryTest, SameTextRunsAgainWithTheNewValues) {
  DbQuery& q = *query_;
  q.prepare(3);
  q.bindText(0, "A", 1);
  q.bindDouble(1, 1.5);
  q.bindInteger(2, 10);
  const char* insert = "insert into LosGröße(Bedarf,Termin,LosGröße,Kosten)values(?,?,?,0)";
  q.execute(insert);
  q.bindDouble(1, 2.5);
  q.bindInteger(2, 20);
  q.execute(insert);
  q.bindText(0, "B", 1);
  q.execute(insert);
  EXPECT_EQ(db_->rows("select Bedarf,Termin,LosGröße from LosGröße order by Bedarf,Termin"),
            (Rows{{"A", "1.5", "10"}, {"A", "2.5", "20"}, {"B", "2.5", "20"}}));
}

TEST_P(DbQueryTest, AnotherTextUsesTheValuesBoundBefore) {
  db_->exec("insert into Bedarf(Bedarf,PeriodenLänge) values ('K1',1),('K2',2)");
  db_->exec("insert into Termin(Bedarf,Menge) values ('K2',5)");
  DbQuery& q = *query_;
  q.prepare(1);
  q.bindText(0, "K2", 2);
  ASSERT_TRUE(q.open("select PeriodenLänge from Bedarf where Bedarf=?"));
  std::int32_t value = 0;
  EXPECT_TRUE(q.getInteger(0, value));
  EXPECT_EQ(value, 2);
  ASSERT_TRUE(q.open("select Menge from Termin where Bedarf=?"));
  EXPECT_TRUE(q.getInteger(0, value));
  EXPECT_EQ(value, 5);
  q.execute("delete from Termin where Bedarf=?");
  EXPECT_TRUE(db_->rows("select * from Termin").empty());
}

TEST_P(DbQueryTest, ParametersReachTheDriverWithTheirTypes) {
  DbQuery& q = *query_;
  q.prepare(4);
  q.bindText(0, "Maß", 4);
  q.bindDouble(1, 0.1 + 0.2);  // not 0.3: only an exact double compares equal below
  q.bindInteger(2, 2147483647);
  q.bindDouble(3, -1.5);
  q.execute("insert into LosGröße(Bedarf,Termin,LosGröße,Kosten)values(?,?,?,?)");
  const std::string doubleType = GetParam() == Backend::MariaDB ? "double" : "double precision";
  EXPECT_EQ(db_->rows("select Bedarf,case when Termin=cast(0.1 as " + doubleType + ")+cast(0.2 as " +
                      doubleType + ") then 'exact' else 'inexact' end,LosGröße,Kosten from LosGröße"),
            (Rows{{"Maß", "exact", "2147483647", "-1.5"}}));
  if (onSQLite()) {  // SQLite keeps the type a value was bound with
    ASSERT_TRUE(q.open("select typeof(?),typeof(?),typeof(?),typeof(?)"));
    EXPECT_EQ(text(0), "text");
    EXPECT_EQ(text(1), "real");
    EXPECT_EQ(text(2), "integer");
    EXPECT_EQ(text(3), "real");
  }
}

TEST_P(DbQueryTest, DeclaredSizeIsKeptWhenALongerTextIsBoundLater) {
  DbQuery& q = *query_;
  q.prepare(1);
  q.bindText(0, "AB", 2);
  const char* insert = "insert into Bedarf(Bedarf) values (?)";
  q.execute(insert);
  q.bindText(0, "ABCDEFGH", 8);  // the declared size stays 2
  q.execute(insert);
  // Whatever the driver makes of the longer value, the run goes on and the
  // first value is stored whole.
  const Rows rows = db_->rows("select Bedarf from Bedarf order by Bedarf");
  ASSERT_EQ(rows.size(), 2u);
  EXPECT_EQ(rows[0][0], "AB");
}

TEST_P(DbQueryTest, ReadsRowsForwardUntilPastTheLastRow) {
  db_->exec("insert into Termin values ('A','2006-03-02 00:00:00',2),('A','2006-03-01 00:00:00',1),"
            "('A','2006-03-03 00:00:00',3),('B','2006-03-01 00:00:00',9)");
  DbQuery& q = *query_;
  q.prepare(1);
  q.bindText(0, "A", 1);
  std::vector<std::int32_t> seen;
  for (bool row = q.open("select Termin,Menge from Termin where Bedarf=? order by Termin asc"); row;
       row = q.open(nullptr)) {
    std::int32_t menge = 0;
    EXPECT_TRUE(q.getInteger(1, menge));
    seen.push_back(menge);
  }
  EXPECT_EQ(seen, (std::vector<std::int32_t>{1, 2, 3}));
  EXPECT_FALSE(q.open(nullptr));  // stays closed
  // A new open with a text starts from the first row again.
  ASSERT_TRUE(q.open("select Termin,Menge from Termin where Bedarf=? order by Termin asc"));
  std::int32_t menge = 0;
  EXPECT_TRUE(q.getInteger(1, menge));
  EXPECT_EQ(menge, 1);
}

TEST_P(DbQueryTest, QueryWithoutRowsKeepsThePreviousRowAndStaysClosed) {
  db_->exec("insert into Bedarf(Bedarf,PeriodenLänge) values ('A',4)");
  DbQuery& q = *query_;
  q.prepare(0);
  ASSERT_TRUE(q.open("select PeriodenLänge from Bedarf"));
  EXPECT_FALSE(q.open("select PeriodenLänge from Bedarf where Bedarf='none'"));
  EXPECT_FALSE(q.open(nullptr));
  std::int32_t value = 0;
  EXPECT_TRUE(q.getInteger(0, value));
  EXPECT_EQ(value, 4);
  // A statement without a result set does not count as a row either.
  EXPECT_FALSE(q.open("delete from Termin"));
}

TEST_P(DbQueryTest, OpenNextRowBeforeAnyQueryRaisesEPointer) {
  EXPECT_EQ(codeOf([&] { query_->open(nullptr); }), E_POINTER);
}

TEST_P(DbQueryTest, TextIsCutAtACharacterBoundaryBeforeTheCapacity) {
  const std::string ascii(200, 'a');
  const std::string umlauts = std::string(127, 'b') + "öx";  // ö spans bytes 128 and 129
  db_->exec("insert into Bedarf(Bedarf,Beschreibung) values ('A','" + ascii + "'),('B','" +
            umlauts + "'),('C','')");
  DbQuery& q = *query_;
  q.prepare(0);
  ASSERT_TRUE(q.open("select Beschreibung from Bedarf order by Bedarf"));
  std::array<char, kCapacity + 1> buffer;
  buffer.fill('#');
  EXPECT_TRUE(q.getText(0, buffer.data(), kCapacity));
  EXPECT_EQ(std::string(buffer.data()), ascii.substr(0, 128));
  EXPECT_EQ(buffer[kCapacity], '#');  // nothing written behind the capacity
  ASSERT_TRUE(q.open(nullptr));
  buffer.fill('#');
  EXPECT_TRUE(q.getText(0, buffer.data(), kCapacity));
  EXPECT_EQ(std::string(buffer.data()), std::string(127, 'b'));
  for (std::size_t i = 127; i < kCapacity; ++i) EXPECT_EQ(buffer[i], '\0') << i;
  ASSERT_TRUE(q.open(nullptr));
  EXPECT_EQ(text(0), "");
}

TEST_P(DbQueryTest, LongTextsAreReadWhole) {
  std::string longText;
  for (int i = 0; i < 300; ++i) longText += "Größe-";
  db_->exec("create table Langtext (Text varchar(2000))");
  db_->exec("insert into Langtext values ('" + longText.substr(0, 1000) + "')");
  DbQuery& q = *query_;
  q.prepare(0);
  ASSERT_TRUE(q.open("select Text from Langtext"));
  std::vector<char> buffer(4000, '#');
  EXPECT_TRUE(q.getText(0, buffer.data(), static_cast<std::int32_t>(buffer.size())));
  EXPECT_EQ(std::string(buffer.data()), longText.substr(0, 1000));
  std::string whole = "unchanged";
  EXPECT_TRUE(q.getText(0, whole));
  EXPECT_EQ(whole, longText.substr(0, 1000));
  // NULL and other kinds leave the target as it is.
  ASSERT_TRUE(q.open("select Text, 1 from Langtext union all select NULL, 2 from Langtext order by 2"));
  ASSERT_TRUE(q.open(nullptr));
  EXPECT_FALSE(q.getText(0, whole));
  EXPECT_TRUE(q.getText(1, whole));
  EXPECT_EQ(whole, longText.substr(0, 1000));
}

TEST_P(DbQueryTest, UmlautsInNamesAndValuesCrossBothWays) {
  db_->exec("insert into Parameter(Bedarf,Periode,Parameter,Wert) values ('Bäckerei',1,'RüstKosten',2)");
  DbQuery& q = *query_;
  q.prepare(1);
  q.bindText(0, "Bäckerei", static_cast<std::int32_t>(std::strlen("Bäckerei")));
  ASSERT_TRUE(q.open("select Periode,Parameter,Wert from Parameter where Bedarf=? order by Parameter,Periode asc"));
  EXPECT_EQ(text(1), "RüstKosten");

  q.prepare(4);
  q.bindText(0, "Größe", 7);
  q.bindDouble(1, 1.0);
  q.bindInteger(2, 3);
  q.bindDouble(3, 4.5);
  q.execute("insert into LosGröße(Bedarf,Termin,LosGröße,Kosten)values(?,?,?,?)");
  EXPECT_EQ(db_->rows("select Bedarf,LosGröße from LosGröße"), (Rows{{"Größe", "3"}}));
}

TEST_P(DbQueryTest, DatesAreRoundedToWholeSeconds) {
  db_->exec("insert into Termin values ('A','2006-03-01 12:00:00.4',1),"
            "('A','2006-03-01 12:00:00.6',2),('A','2006-03-01 23:59:59.7',3)");
  DbQuery& q = *query_;
  q.prepare(0);
  const double expected[] = {kMarch1st2006 + 0.5, kMarch1st2006 + 43201 * kSecond,
                             kMarch1st2006 + 1.0};
  std::size_t i = 0;
  for (bool row = q.open("select Termin from Termin order by Termin"); row; row = q.open(nullptr)) {
    VARIANT target;  // empty: becomes a double
    EXPECT_TRUE(q.getDate(0, target));
    EXPECT_EQ(target.vt, VT_R8);
    EXPECT_NEAR(target.dblVal, expected[i], 1e-10) << i;
    VARIANT dateTarget = VARIANT::date(0.0);  // a date stays a date
    EXPECT_TRUE(q.getDate(0, dateTarget));
    EXPECT_EQ(dateTarget.vt, VT_DATE);
    EXPECT_EQ(dateTarget.dblVal, target.dblVal);
    ++i;
  }
  EXPECT_EQ(i, 3u);
}

TEST_P(DbQueryTest, FailingStatementRaisesWithTheDriverMessage) {
  DbQuery& q = *query_;
  q.prepare(0);
  try {
    q.execute("insert into NoSuchTable values (1)");
    FAIL() << "no error raised";
  } catch (const DatabaseError& error) {
    EXPECT_EQ(error.code(), E_FAIL);
    ASSERT_TRUE(error.description().has_value());
    EXPECT_GT(error.description()->size(), 0u);
    EXPECT_EQ(error.sqlState().size(), 5u);
  }
  // The query is usable afterwards.
  db_->exec("insert into Bedarf(Bedarf) values ('A')");
  EXPECT_TRUE(q.open("select Bedarf from Bedarf"));
}

TEST_P(DbQueryTest, ManyRowsAreReadInOrder) {
  // MariaDB stops a recursion at 1000 rows unless the session allows more.
  const std::string allowDeepRecursion =
      GetParam() == Backend::MariaDB ? "set max_recursive_iterations=20000;" : "";
  db_->exec(allowDeepRecursion +
      "insert into Termin(Bedarf,Termin,Menge) with recursive n(i) as (select 1 union all select "
      "i+1 from n where i<20000) select 'A', null, i from n");
  DbQuery& q = *query_;
  q.prepare(0);
  std::int32_t rows = 0;
  for (bool row = q.open("select Bedarf,Termin,Menge from Termin order by Menge"); row; row = q.open(nullptr)) {
    ++rows;
    std::int32_t menge = 0;
    ASSERT_TRUE(q.getInteger(2, menge)) << rows;
    ASSERT_EQ(menge, rows);
    ASSERT_EQ(q.columnKind(1), VT_NULL) << rows;
    ASSERT_EQ(text(0), "A") << rows;
  }
  EXPECT_EQ(rows, 20000);
}

TEST_P(DbQueryTest, TextsWithAnEmbeddedNulAreUnreadable) {
  const bool onPostgreSQL = GetParam() == Backend::PostgreSQL || GetParam() == Backend::PostgreSQLAnsi;
  if (onPostgreSQL) GTEST_SKIP() << "PostgreSQL keeps no NUL in a text";
  const std::string cut = onSQLite() ? "'a'||char(0)||'b'" : "concat('a',char(0),'b')";
  db_->exec("insert into Bedarf(Bedarf,Beschreibung) values ('A'," + cut + "),('B','ab'),('C'," + cut + ")");
  DbQuery& q = *query_;
  q.prepare(0);
  // The SQLite driver hands `a<NUL>b` as `a`: only this query finds such values there.
  EXPECT_EQ(q.noteValuesCutAtNul("select Bedarf,Beschreibung,instr(Bedarf,char(0)),"
                                 "instr(Beschreibung,char(0)) from Bedarf where "
                                 "instr(Bedarf,char(0))>0 or instr(Beschreibung,char(0))>0"),
            onSQLite());
  std::vector<VARTYPE> kinds;
  std::vector<std::string> keys;
  for (bool row = q.open("select Bedarf,Beschreibung from Bedarf order by Bedarf"); row; row = q.open(nullptr)) {
    keys.push_back(text(0));
    kinds.push_back(q.columnKind(1));
  }
  EXPECT_EQ(keys, (std::vector<std::string>{"A", "B", "C"}));
  EXPECT_EQ(kinds, (std::vector<VARTYPE>{VT_UNSUPPORTED, VT_BSTR, VT_UNSUPPORTED}));
  // What was found holds for that one query only.
  ASSERT_TRUE(q.open("select Beschreibung from Bedarf where Bedarf='B'"));
  EXPECT_EQ(text(0), "ab");
}

TEST_P(DbQueryTest, ClosedConnectionMakesStatementsFailButRowCopiesStayReadable) {
  db_->exec("insert into Bedarf(Bedarf,PeriodenLänge) values ('A',4)");
  DbQuery& q = *query_;
  q.prepare(0);
  ASSERT_TRUE(q.open("select PeriodenLänge from Bedarf"));
  connection_->close();
  std::int32_t value = 0;
  EXPECT_TRUE(q.getInteger(0, value));
  EXPECT_EQ(value, 4);
  EXPECT_EQ(codeOf([&] { q.open("select 1"); }), E_POINTER);
  query_.reset();  // destroying it after the close is safe
}

INSTANTIATE_TEST_SUITE_P(Drivers, DbQueryTest, testing::ValuesIn(test::allBackends()),
                         [](const auto& info) { return test::backendName(info.param); });

TEST(DbQueryWithoutConnection, ConstructionOnAClosedConnectionRaisesEPointer) {
  TestDatabase db(Backend::SQLite);
  const auto connection = db.connect();
  connection->close();
  EXPECT_EQ(codeOf([&] { DbQuery q(*connection); }), E_POINTER);
}

}  // namespace
}  // namespace mrp
