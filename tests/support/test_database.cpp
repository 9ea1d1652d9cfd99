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
#include "db/odbc_environment.h"
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

/// The folder that the fixture `odbc` made: the SQLite template, the servers' sockets.
std::string fixtureFolder() {
  std::string folder = readFile(workDir() + "/scratch");
  while (!folder.empty() && (folder.back() == '\n' || folder.back() == ' ')) folder.pop_back();
  if (folder.empty())
    throw std::runtime_error("no test databases: run the tests through ctest (fixtures odbc, databases)");
  return folder;
}

/// What the test's label (ctest sets LOTSIZING_TEST_LABEL) grants, least first.
enum class Need { Nothing, SQLite, Servers };

/// Throws when the test's label does not grant `need`: the labels of
/// tests/CMakeLists.txt come from what a test's text names, and a test that
/// reaches a database by a way unseen there must fail at once, not only when
/// it happens to run beside the fixture.
void requireLabel(Need need) {
  const char* label = std::getenv("LOTSIZING_TEST_LABEL");
  if (!label || !*label) return;  // run by hand
  const std::string granted = label;
  const Need grants = granted == "database" ? Need::Servers
                      : granted == "sqlite" ? Need::SQLite
                                            : Need::Nothing;
  if (grants >= need) return;
  throw std::logic_error(
      "a test labelled `" + granted + "` uses " +
      (need == Need::Servers ? "the database servers" : "SQLite") +
      ": name the backend (Backend::...) in the test's own text, so that tests/CMakeLists.txt "
      "labels it `" +
      (need == Need::Servers ? "database" : "sqlite") + "`");
}

std::string postgresSocketDir() { return serverFolder() + "/sock"; }

std::vector<std::string> sqliteCommand(const std::string& file) {
  return {"sqlite3",
          "-batch",
          "-bail",
          "-noheader",
          "-list",
          "-nullvalue",
          "<NULL>",
          "-separator",
          std::string(1, kUnitSeparator),
          "-newline",
          std::string(1, kRecordSeparator),
          file};
}

std::vector<std::string> psqlCommand(const std::string& database) {
  return {"psql",
          "-X",
          "-q",
          "-A",
          "-t",
          "-v",
          "ON_ERROR_STOP=1",
          "-P",
          "null=<NULL>",
          "-F",
          std::string(1, kUnitSeparator),
          "-R",
          std::string(1, kRecordSeparator),
          "-h",
          postgresSocketDir(),
          "-p",
          "5432",
          "-U",
          "postgres",
          "-d",
          database};
}

std::string mariadbSocket() { return serverFolder() + "/msock/mariadb.sock"; }

/// The mariadb client, printing results as XML: its only output format that
/// keeps NULL apart from the text "NULL" and tabs and line ends in texts intact.
/// utf8mb4 whatever the locale.
std::vector<std::string> mariadbCommand(const std::string& database) {
  std::vector<std::string> command = {
      "mariadb", "--no-defaults", "--batch", "--xml", "--default-character-set=utf8mb4",
      "-S",      mariadbSocket(), "-u",      "root"};
  if (!database.empty()) command.push_back(database);
  return command;
}

/// The client's output for `sql`; throws when a statement fails.
std::string runMariadb(const std::string& database, std::string_view sql);

/// The texts of an XML output of the mariadb client, rows as records and
/// fields as units, NULL as "<NULL>", as sqlite3 and psql print them.
std::string recordsFromMariadbXml(std::string_view xml);

// psql takes its client encoding from the locale, which may be unset.
const EnvironmentOverrides kPsqlEnvironment = {{"PGCLIENTENCODING", "UTF8"}};

[[noreturn]] void clientFailed(const std::string& client, std::string_view sql, const std::string& errors) {
  throw std::runtime_error(client + " failed on \"" + std::string(sql) + "\": " + errors);
}

std::string runMariadb(const std::string& database, std::string_view sql) {
  const RunResult result = runCommand(mariadbCommand(database), std::string(sql) + ";\n");
  if (result.exitStatus != 0) clientFailed("mariadb", sql, result.err);
  return recordsFromMariadbXml(result.out);
}

std::string xmlUnescaped(std::string_view text) {
  static constexpr std::pair<std::string_view, char> kEntities[] = {
      {"&lt;", '<'}, {"&gt;", '>'}, {"&quot;", '"'}, {"&apos;", '\''}, {"&amp;", '&'}};
  std::string plain;
  for (std::size_t i = 0; i < text.size();) {
    bool replaced = false;
    for (const auto& [entity, character] : kEntities) {
      if (text.substr(i, entity.size()) == entity) {
        plain += character;
        i += entity.size();
        replaced = true;
        break;
      }
    }
    if (!replaced) plain += text[i++];
  }
  return plain;
}

std::string recordsFromMariadbXml(std::string_view xml) {
  static constexpr std::string_view kRowEnd = "</row>", kField = "<field ", kNil = "/>",
                                    kFieldEnd = "</field>";
  std::string records;
  for (std::size_t row = xml.find("<row>"); row != std::string_view::npos; row = xml.find("<row>", row)) {
    const std::size_t rowEnd = xml.find(kRowEnd, row);
    bool firstField = true;
    for (std::size_t field = xml.find(kField, row); field < rowEnd; field = xml.find(kField, field)) {
      if (!firstField) records += kUnitSeparator;
      firstField = false;
      const std::size_t tagEnd = xml.find('>', field);
      if (xml.substr(tagEnd - 1, 2) == kNil) {
        records += "<NULL>";
        field = tagEnd;
        continue;
      }
      const std::size_t valueEnd = xml.find(kFieldEnd, tagEnd);
      records += xmlUnescaped(xml.substr(tagEnd + 1, valueEnd - tagEnd - 1));
      field = valueEnd;
    }
    records += kRecordSeparator;
    row = rowEnd;
  }
  return records;
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

std::string serverFolder() {
  requireLabel(Need::Servers);
  return fixtureFolder();
}

std::vector<Backend> allBackends() {
  return {Backend::SQLite, Backend::PostgreSQL, Backend::PostgreSQLAnsi, Backend::MariaDB};
}

std::string backendName(Backend backend) {
  switch (backend) {
    case Backend::SQLite:
      return "SQLite";
    case Backend::PostgreSQL:
      return "PostgreSQL";
    case Backend::PostgreSQLAnsi:
      return "PostgreSQLAnsi";
    case Backend::MariaDB:
      return "MariaDB";
  }
  return "?";
}

void PrintTo(Backend backend, std::ostream* out) { *out << backendName(backend); }

TestDatabase::TestDatabase(Backend backend) : backend_(backend) {
  requireLabel(backend_ == Backend::SQLite ? Need::SQLite : Need::Servers);
  if (backend_ == Backend::SQLite) {
    name_ = scratchFolder() + "/" + uniqueName() + ".db";
    std::filesystem::copy_file(fixtureFolder() + "/template.db", name_);
  } else if (backend_ == Backend::MariaDB) {
    name_ = "lsz_" + uniqueName();
    runMariadb("", "create database " + name_ + ";\nuse " + name_ + ";\n" +
                       readFile(std::string(LOTSIZING_SOURCE_DIR) + "/sql/schema-mariadb.sql"));
  } else {
    name_ = "lsz_" + uniqueName();
    // FILE_COPY copies the template's few files; the default (WAL_LOG) writes
    // every page through the WAL and takes about four times as long.
    maintenanceSession().run("create database " + name_ + " template lsz_template strategy file_copy");
  }
}

TestDatabase::~TestDatabase() {
  try {
    if (backend_ == Backend::SQLite) {
      std::filesystem::remove(name_);
    } else if (backend_ == Backend::MariaDB) {
      runMariadb("", "drop database if exists " + name_);
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
    case Backend::SQLite:
      return "lsz_sqlite;Database=" + name_;
    case Backend::PostgreSQL:
      return "lsz_pg;Database=" + name_;
    case Backend::PostgreSQLAnsi:
      return "lsz_pg_ansi;Database=" + name_;
    case Backend::MariaDB:
      return "lsz_maria;Database=" + name_;
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

TestDatabase::Batch::Batch(TestDatabase& db) : db_(db), uncaughtExceptions_(std::uncaught_exceptions()) {
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

void TestDatabase::refuseLotsWhere(std::string_view name, std::string_view condition,
                                   std::string_view message) {
  const std::string trigger(name), when(condition), text(message);
  switch (backend_) {
    case Backend::SQLite:
      exec("create trigger " + trigger + " before insert on LosGröße when " + when +
           " begin select raise(abort, '" + text + "'); end");
      return;
    case Backend::MariaDB:
      // The body's ';' would end the statement for the client: another delimiter.
      exec("delimiter $$\ncreate trigger " + trigger + " before insert on LosGröße for each row if " + when +
           " then signal sqlstate '45000' set message_text = '" + text + "'; end if$$\n" + "delimiter ;\n");
      return;
    case Backend::PostgreSQL:
    case Backend::PostgreSQLAnsi:
      exec("create function " + trigger + "() returns trigger language plpgsql as $$ begin if " + when +
           " then raise exception '" + text + "'; end if; return new; end $$;" + "create trigger " + trigger +
           " before insert on LosGröße for each row " + "execute function " + trigger + "()");
      return;
  }
}

std::vector<std::vector<std::string>> TestDatabase::rows(std::string_view sql) {
  runBatch();
  std::string output = runClient(sql);
  while (!output.empty() && (output.back() == '\n' || output.back() == kRecordSeparator)) output.pop_back();
  std::vector<std::vector<std::string>> result;
  if (output.empty()) return result;
  for (const auto& record : split(output, kRecordSeparator)) result.push_back(split(record, kUnitSeparator));
  return result;
}

std::string TestDatabase::runClient(std::string_view sql) {
  if (backend_ == Backend::MariaDB) return runMariadb(name_, sql);
  if (backend_ != Backend::SQLite) {
    if (!psql_) psql_ = std::make_unique<PsqlSession>(name_);
    return psql_->run(sql);
  }
  const RunResult result = runCommand(sqliteCommand(name_), std::string(sql) + ";\n");
  if (result.exitStatus != 0) clientFailed("sqlite3", sql, result.err);
  return result.out;
}

std::string exampleData() { return readFile(std::string(LOTSIZING_SOURCE_DIR) + "/sql/example_data.sql"); }

}  // namespace mrp::test
