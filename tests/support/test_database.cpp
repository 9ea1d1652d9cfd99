#include "support/test_database.h"

#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <exception>
#include <filesystem>
#include <mutex>
#include <ostream>
#include <stdexcept>
#include <utility>

#include "db/connection.h"
#include "platform/odbc_environment.h"
#include "support/helpers.h"
#include "support/process.h"

namespace mrp::test {
namespace {

constexpr char kUnitSeparator = '\x1f';
constexpr char kRecordSeparator = '\x1e';

std::string workDir() {
  if (const char* dir = std::getenv("LOTSIZING_TEST_WORK_DIR"); dir && *dir) return dir;
  return LOTSIZING_TEST_WORK_DIR;
}

/// A name unique among all test processes of this fixture run.
std::string uniqueName() {
  static std::atomic<int> counter{0};
  return "t" + std::to_string(::getpid()) + "_" + std::to_string(counter++);
}

std::string postgresSocketDir() { return scratchFolder() + "/sock"; }

std::vector<std::string> sqliteCommand(const std::string& file) {
  return {"sqlite3", "-batch", "-bail", "-noheader", "-list", "-nullvalue", "<NULL>",
          "-separator", std::string(1, kUnitSeparator), "-newline",
          std::string(1, kRecordSeparator), file};
}

std::vector<std::string> psqlCommand(const std::string& database) {
  return {"psql", "-X", "-q", "-A", "-t", "-v", "ON_ERROR_STOP=1", "-P", "null=<NULL>",
          "-F", std::string(1, kUnitSeparator), "-R", std::string(1, kRecordSeparator),
          "-h", postgresSocketDir(), "-p", "5432", "-U", "postgres", "-d", database};
}

// psql takes its client encoding from the locale, which may be unset.
const EnvironmentOverrides kPsqlEnvironment = {{"PGCLIENTENCODING", "UTF8"}};

[[noreturn]] void clientFailed(const std::string& client, std::string_view sql,
                               const std::string& errors) {
  throw std::runtime_error(client + " failed on \"" + std::string(sql) + "\": " + errors);
}

std::vector<std::string> split(std::string_view text, char separator) {
  std::vector<std::string> parts;
  std::size_t begin = 0;
  for (;;) {
    const std::size_t end = text.find(separator, begin);
    parts.emplace_back(text.substr(begin, end - begin));
    if (end == std::string_view::npos) return parts;
    begin = end + 1;
  }
}

}  // namespace

/// One psql connected to one database, serving request after request. Each
/// request behaves like a psql started for it alone: ON_ERROR_STOP ends psql at
/// the first failing statement (the request throws, the next one starts a new
/// psql), and behind the statements a transaction they left open is rolled
/// back and the session reset (settings, temporary tables, advisory locks),
/// before psql prints the end mark that closes the request's output. A
/// connection that the server has closed meanwhile (psql only learns of it
/// with the next statement) is opened anew before the request's statements.
class PsqlSession {
 public:
  explicit PsqlSession(std::string database) : database_(std::move(database)) {}

  /// What psql prints for `sql`.
  std::string run(std::string_view sql) {
    static constexpr std::string_view kAlive = "@@lotsizing-test: connected@@\n";
    static constexpr std::string_view kEndMark = "@@lotsizing-test: end of request@@\n";
    static constexpr auto kTimeout = std::chrono::minutes(2);
    std::string request = "select where false;\n\\echo ";
    request += kAlive;
    request += sql;
    request += "\n;\nrollback;\ndiscard all;\n\\echo ";
    request += kEndMark;
    std::lock_guard lock(mutex_);
    for (int attempt = 1;; ++attempt) {
      if (!psql_ || !psql_->running())
        psql_ = std::make_unique<Coprocess>(psqlCommand(database_), kPsqlEnvironment);
      Coprocess::Reply reply = psql_->exchange(request, kEndMark, kTimeout);
      if (reply.ended) psql_.reset();
      if (!reply.out.starts_with(kAlive)) {
        if (reply.ended && attempt == 1) continue;  // none of `sql` has run
        clientFailed("psql", sql, reply.err);
      }
      if (reply.ended && reply.exitStatus != 0) clientFailed("psql", sql, reply.err);
      return reply.out.substr(kAlive.size());
    }
  }

 private:
  std::mutex mutex_;
  std::string database_;
  std::unique_ptr<Coprocess> psql_;
};

namespace {

/// The session on the maintenance database that creates and drops the test
/// databases of this process.
PsqlSession& maintenanceSession() {
  static PsqlSession session("postgres");
  return session;
}

}  // namespace

std::string scratchFolder() {
  std::string folder = readFile(workDir() + "/scratch");
  while (!folder.empty() && (folder.back() == '\n' || folder.back() == ' ')) folder.pop_back();
  if (folder.empty())
    throw std::runtime_error("no test databases: run the tests through ctest (fixture databases)");
  return folder;
}

std::vector<Backend> allBackends() {
  return {Backend::SQLite, Backend::PostgreSQL, Backend::PostgreSQLAnsi};
}

std::string backendName(Backend backend) {
  switch (backend) {
    case Backend::SQLite: return "SQLite";
    case Backend::PostgreSQL: return "PostgreSQL";
    case Backend::PostgreSQLAnsi: return "PostgreSQLAnsi";
  }
  return "?";
}

void PrintTo(Backend backend, std::ostream* out) { *out << backendName(backend); }

TestDatabase::TestDatabase(Backend backend) : backend_(backend) {
  if (backend_ == Backend::SQLite) {
    name_ = scratchFolder() + "/" + uniqueName() + ".db";
    std::filesystem::copy_file(scratchFolder() + "/template.db", name_);
  } else {
    name_ = "lsz_" + uniqueName();
    // FILE_COPY copies the template's few files; the default (WAL_LOG) writes
    // every page through the WAL and takes about four times as long.
    maintenanceSession().run("create database " + name_ +
                             " template lsz_template strategy file_copy");
  }
}

TestDatabase::~TestDatabase() {
  try {
    if (backend_ == Backend::SQLite) {
      std::filesystem::remove(name_);
    } else {
      psql_.reset();
      maintenanceSession().run("drop database if exists " + name_ + " with (force)");
    }
  } catch (...) {
    // The fixture removes whatever is left when it stops.
  }
}

std::string TestDatabase::dataSourceName() const {
  switch (backend_) {
    case Backend::SQLite: return "lsz_sqlite;Database=" + name_;
    case Backend::PostgreSQL: return "lsz_pg;Database=" + name_;
    case Backend::PostgreSQLAnsi: return "lsz_pg_ansi;Database=" + name_;
  }
  return {};
}

const OdbcEnvironment& odbcEnvironment() {
  static const std::unique_ptr<OdbcEnvironment> environment = [] {
    auto made = OdbcEnvironment::allocate();
    if (!made) throw std::runtime_error("cannot allocate the ODBC environment");
    return made;
  }();
  return *environment;
}

std::unique_ptr<Connection> TestDatabase::connect() const {
  return std::make_unique<Connection>(odbcEnvironment(), "DSN=" + dataSourceName());
}

void TestDatabase::exec(std::string_view sql) {
  if (batching_) {
    batched_ += sql;
    batched_ += "\n;\n";
    return;
  }
  runClient(sql);
}

TestDatabase::Batch::Batch(TestDatabase& db)
    : db_(db), uncaughtExceptions_(std::uncaught_exceptions()) {
  if (db_.batching_) throw std::logic_error("a Batch of this database is running already");
  db_.batching_ = true;
}

TestDatabase::Batch::~Batch() noexcept(false) {
  db_.batching_ = false;
  if (std::uncaught_exceptions() > uncaughtExceptions_) {
    db_.batched_.clear();
    return;
  }
  db_.runBatch();
}

void TestDatabase::Batch::run() { db_.runBatch(); }

void TestDatabase::runBatch() {
  if (batched_.empty()) return;
  const std::string statements = std::exchange(batched_, {});
  runClient(statements);
}

std::vector<std::vector<std::string>> TestDatabase::rows(std::string_view sql) {
  runBatch();
  std::string output = runClient(sql);
  while (!output.empty() && (output.back() == '\n' || output.back() == kRecordSeparator))
    output.pop_back();
  std::vector<std::vector<std::string>> result;
  if (output.empty()) return result;
  for (const auto& record : split(output, kRecordSeparator))
    result.push_back(split(record, kUnitSeparator));
  return result;
}

std::string TestDatabase::runClient(std::string_view sql) {
  if (backend_ != Backend::SQLite) {
    if (!psql_) psql_ = std::make_unique<PsqlSession>(name_);
    return psql_->run(sql);
  }
  const RunResult result = runCommand(sqliteCommand(name_), std::string(sql) + ";\n");
  if (result.exitStatus != 0) clientFailed("sqlite3", sql, result.err);
  return result.out;
}

}  // namespace mrp::test
