// Loading a DemandPlan from a scratch database: one fresh database per test, a
// connection opened on it, rows inserted as SQL (sent to the database client
// together, in one call, when the loading needs them) and the messages of the
// loading collected as the console shows them.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "db/connection.h"
#include "planning_db/demand_queries.h"
#include "demand/demand_plan.h"
#include "demand/message_sink.h"
#include "support/helpers.h"
#include "platform/text_encoding.h"
#include "support/test_database.h"

namespace mrp::test {

class LoadingTest {
 protected:
  void openDatabase(Backend backend) {
    db_ = std::make_unique<TestDatabase>(backend);
    connection_ = db_->connect();
  }
  void closeDatabase() {
    connection_.reset();
    db_.reset();
  }

  /// Opens the connection anew: the SQLite driver keeps the column types of a
  /// table it has seen, so a table re-created with other types needs a new
  /// connection.
  void reconnect() {
    flush();
    connection_ = db_->connect();
  }

  /// Statements are collected and sent in one client call before the next load.
  void exec(const std::string& sql) { pending_ += sql + ";\n"; }
  /// The connection, after the statements collected so far have been sent.
  Connection& connection() {
    flush();
    return *connection_;
  }
  void flush() {
    if (pending_.empty()) return;
    db_->exec(pending_);
    pending_.clear();
  }
  bool onSQLite() const { return db_->backend() == Backend::SQLite; }
  /// SQLite and MariaDB sort NULL before every value, PostgreSQL after.
  bool nullsSortFirst() const { return onSQLite() || db_->backend() == Backend::MariaDB; }
  bool onPostgreSQL() const {
    return db_->backend() == Backend::PostgreSQL || db_->backend() == Backend::PostgreSQLAnsi;
  }
  /// An SQL expression for the text `before`, a NUL and `after`; PostgreSQL
  /// keeps no NUL in a text, so there is none there.
  std::optional<std::string> textWithNul(const std::string& before, const std::string& after) const {
    if (onPostgreSQL()) return std::nullopt;
    if (onSQLite()) return "('" + before + "'||char(0)||'" + after + "')";
    return "concat('" + before + "',char(0),'" + after + "')";
  }

  // Row inserts; the arguments are SQL literals ("NULL", "'text'", "2.5").
  void header(const std::string& key, const std::string& start, const std::string& length,
              const std::string& description = "NULL") {
    exec("insert into Bedarf(Bedarf,StartTermin,PeriodenLänge,Beschreibung) values ('" + key +
         "'," + start + "," + length + "," + description + ")");
  }
  void factor(const std::string& key, const std::string& name, const std::string& value,
              const std::string& description = "NULL") {
    exec("insert into UmrechnungsFaktor(Bedarf,Umrechnung,UmrechnungsFaktor,Beschreibung) values ('" +
         key + "'," + name + "," + value + "," + description + ")");
  }
  void parameter(const std::string& key, const std::string& periode, const std::string& name,
                 const std::string& wert) {
    exec("insert into Parameter(Bedarf,Periode,Parameter,Wert) values ('" + key + "'," + periode +
         "," + name + "," + wert + ")");
  }
  void due(const std::string& key, const std::string& termin, const std::string& menge) {
    exec("insert into Termin(Bedarf,Termin,Menge) values ('" + key + "'," + termin + "," + menge +
         ")");
  }
  /// A header starting 2024-03-01 with one period of one day.
  void plainHeader(const std::string& key) {
    header(key, "'2024-03-01 00:00:00'", "1");
    factor(key, "'PeriodenLänge'", "1.0");
  }

  /// Loads the plan for `key` and keeps its messages as the console shows
  /// them: each in an error banner, in code page 850.
  std::unique_ptr<DemandPlan> load(const std::string& key) {
    flush();
    MessageList sink;
    auto plan = std::make_unique<DemandPlan>(loadDemand(*connection_, key, sink));
    messages_.clear();
    for (const std::string& line : sink.lines()) messages_ += banner(utf8ToCp850(line));
    return plan;
  }
  const std::string& messages() const { return messages_; }

 private:
  std::unique_ptr<TestDatabase> db_;
  std::unique_ptr<Connection> connection_;
  std::string pending_;
  std::string messages_;
};

/// Tests on the SQLite database only.
class SQLiteLoading : public ::testing::Test, public LoadingTest {
 protected:
  void SetUp() override { openDatabase(Backend::SQLite); }
  void TearDown() override { closeDatabase(); }
};

/// Tests run on both backends.
class BackendLoading : public ::testing::TestWithParam<Backend>, public LoadingTest {
 protected:
  void SetUp() override { openDatabase(GetParam()); }
  void TearDown() override { closeDatabase(); }
};

inline std::string backendSuffix(const ::testing::TestParamInfo<Backend>& info) {
  return backendName(info.param);
}

/// 2024-03-01 as an OleDate.
inline constexpr OleDate kMarch1st2024 = 45352.0;

}  // namespace mrp::test
