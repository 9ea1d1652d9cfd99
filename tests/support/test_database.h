// Scratch databases for the tests: each TestDatabase is a fresh database with
// sql/schema.sql loaded, on SQLite (a new file) or on the throw-away PostgreSQL
// cluster (CREATE DATABASE ... TEMPLATE), dropped again by the destructor. Tests
// may therefore run in parallel (ctest -j).
//
// Needs the ctest fixture tests/support/databases.sh (it writes the odbc.ini
// that ODBCINI points to and starts the cluster). exec and rows go through the
// command-line clients sqlite3 and psql, not through ODBC, so they see the data
// as stored (texts as UTF-8) independent of the code under test.
//
// Each exec or rows on SQLite starts sqlite3. On PostgreSQL one psql per
// database serves them all (starting psql costs more than most statements);
// every call still behaves like a psql of its own: a failing statement ends
// it, an open transaction is rolled back and the session reset afterwards.
#pragma once

#include <iosfwd>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace mrp::test {

enum class Backend { SQLite, PostgreSQL };

class PsqlSession;  // one psql kept running (test_database.cpp)

class TestDatabase {
 public:
  explicit TestDatabase(Backend backend);
  ~TestDatabase();
  TestDatabase(const TestDatabase&) = delete;
  TestDatabase& operator=(const TestDatabase&) = delete;

  Backend backend() const noexcept { return backend_; }
  /// Argument 1 of the program: "DSN=" + this connects to this database.
  std::string dataSourceName() const;
  /// Runs one or more statements (separated by ';'); throws std::runtime_error
  /// with the client's message when one fails.
  void exec(std::string_view sql);
  /// The rows of a query as texts in the client's format, NULL as "<NULL>".
  std::vector<std::vector<std::string>> rows(std::string_view sql);
  /// Opens the shared connection on this database.
  void connectShared() const;

 private:
  /// Runs `sql` on this database; the client's output.
  std::string runClient(std::string_view sql);

  Backend backend_;
  std::string name_;  // SQLite: the file path; PostgreSQL: the database name
  std::unique_ptr<PsqlSession> psql_;  // PostgreSQL, once used
};

/// Both backends, for INSTANTIATE_TEST_SUITE_P.
std::vector<Backend> allBackends();
/// "SQLite" or "PostgreSQL"; usable as test name suffix.
std::string backendName(Backend backend);
/// Lets GoogleTest print a Backend by name.
void PrintTo(Backend backend, std::ostream* out);

/// The scratch folder of the running fixture (short, under /tmp).
std::string scratchFolder();

}  // namespace mrp::test
