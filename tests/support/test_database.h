// Scratch databases for the tests: each TestDatabase is a fresh database with
// the schema loaded, on SQLite (a new file), on the throw-away PostgreSQL
// cluster (CREATE DATABASE ... TEMPLATE) or on the throw-away MariaDB server
// (CREATE DATABASE, then sql/schema-mariadb.sql), dropped again by the
// destructor. Tests may therefore run in parallel (ctest -j).
//
// Needs the ctest fixtures of tests/support/databases.sh: `odbc` writes the
// odbc.ini that ODBCINI points to and the SQLite template, `databases` starts
// the servers. A test labelled `sqlite` gets only the first and may use only
// SQLite; a `unit` test gets neither (tests/CMakeLists.txt). SQLite files live
// in the test process's scratch folder. exec and rows go through the
// command-line clients sqlite3, psql and mariadb, not through ODBC, so they see
// the data as stored (texts as UTF-8) independent of the code under test.
//
// Each exec or rows on SQLite or MariaDB starts the client. On PostgreSQL one psql per
// database serves them all (starting psql costs more than most statements);
// every call still behaves like a psql of its own: a failing statement ends
// it, an open transaction is rolled back and the session reset afterwards.
#pragma once

#include <iosfwd>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "support/scratch_folder.h"

namespace mrp {
class Connection;
class OdbcEnvironment;
}  // namespace mrp

namespace mrp::test {

/// The ODBC environment of the test process, made on first use.
const OdbcEnvironment& odbcEnvironment();

/// SQLite through its ODBC driver; PostgreSQL through psqlODBC's Unicode or
/// ANSI driver (one cluster, the same databases); MariaDB through MariaDB
/// Connector/ODBC.
enum class Backend { SQLite, PostgreSQL, PostgreSQLAnsi, MariaDB };

class PsqlSession;  // one psql kept running (test_database.cpp)

class TestDatabase {
 public:
  explicit TestDatabase(Backend backend);
  ~TestDatabase();
  TestDatabase(const TestDatabase&) = delete;
  TestDatabase& operator=(const TestDatabase&) = delete;

  Backend backend() const noexcept { return backend_; }
  /// SQLite: the file path; the servers: the database name.
  const std::string& name() const noexcept { return name_; }
  /// Argument 1 of the program: "DSN=" + this connects to this database.
  std::string dataSourceName() const;
  /// Runs one or more statements (separated by ';'); throws std::runtime_error
  /// with the client's message when one fails. In a Batch: only collects them.
  void exec(std::string_view sql);

  /// Statements run together: while a Batch of a database lives, its exec only
  /// collects the statements; run() - or the end of the Batch - runs them all
  /// in one client call, in order, stopping at the first failing one like
  /// exec. rows() runs the collected statements first. For tests that insert
  /// many rows through helpers, one exec each:
  ///   { TestDatabase::Batch batch(db); header("B1", ...); due("B1", ...); }
  class Batch {
   public:
    explicit Batch(TestDatabase& db);
    /// Runs what is left, unless the scope is left by an exception.
    ~Batch() noexcept(false);
    Batch(const Batch&) = delete;
    Batch& operator=(const Batch&) = delete;
    /// Runs what was collected so far; the batch goes on.
    void run();

   private:
    TestDatabase& db_;
    int uncaughtExceptions_;
  };

  /// Adds a trigger `name` that fails every insert into LosGröße whose new
  /// row meets `condition` (columns as new.<name>), with `message` as the
  /// database's error text.
  void refuseLotsWhere(std::string_view name, std::string_view condition, std::string_view message);

  /// The rows of a query as texts in the client's format, NULL as "<NULL>".
  std::vector<std::vector<std::string>> rows(std::string_view sql);
  /// A new connection to this database.
  std::unique_ptr<Connection> connect() const;

 private:
  /// Runs `sql` on this database; the client's output.
  std::string runClient(std::string_view sql);
  void runBatch();

  Backend backend_;
  std::string name_;                   // SQLite: the file path; the servers: the database name
  std::unique_ptr<PsqlSession> psql_;  // PostgreSQL, once used
  bool batching_ = false;
  std::string batched_;  // the statements of the running Batch
};

/// Every backend, for INSTANTIATE_TEST_SUITE_P.
std::vector<Backend> allBackends();
/// The backend's name, usable as test name suffix.
std::string backendName(Backend backend);
/// Lets GoogleTest print a Backend by name.
void PrintTo(Backend backend, std::ostream* out);

/// The folder of the fixture's database servers, for their sockets and logs.
std::string serverFolder();

/// The statements of the bundled example demands (sql/example_data.sql).
std::string exampleData();

}  // namespace mrp::test
