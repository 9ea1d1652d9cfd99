// Loading a DemandPlan from a scratch database: one fresh database per test,
// the shared connection opened on it, rows inserted as SQL and the messages of
// the loading captured from standard error.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "db/connection.h"
#include "demand/demand_plan.h"
#include "demand/stderr_capture.h"
#include "support/test_database.h"

namespace mrp::test {

class LoadingTest {
 protected:
  void openDatabase(Backend backend) {
    db_ = std::make_unique<TestDatabase>(backend);
    db_->connectShared();
  }
  void closeDatabase() {
    closeConnection();
    db_.reset();
  }

  /// Opens the shared connection anew: the SQLite driver keeps the column
  /// types of a table it has seen, so a table re-created with other types
  /// needs a new connection.
  void reconnect() { db_->connectShared(); }

  void exec(const std::string& sql) { db_->exec(sql); }
  bool onSQLite() const { return db_->backend() == Backend::SQLite; }

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

  /// Loads the plan for `key` (which must outlive it) and keeps its messages.
  std::unique_ptr<DemandPlan> load(const char* key) {
    StderrCapture capture;
    auto plan = std::make_unique<DemandPlan>(key);
    messages_ = capture.text();
    return plan;
  }
  const std::string& messages() const { return messages_; }

 private:
  std::unique_ptr<TestDatabase> db_;
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
