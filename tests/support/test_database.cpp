#include "support/test_database.h"

#include <unistd.h>

#include <atomic>
#include <cstdlib>
#include <filesystem>
#include <ostream>
#include <stdexcept>

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

std::string scratchFolder() {
  std::string folder = readFile(workDir() + "/scratch");
  while (!folder.empty() && (folder.back() == '\n' || folder.back() == ' ')) folder.pop_back();
  if (folder.empty())
    throw std::runtime_error("no test databases: run the tests through ctest (fixture databases)");
  return folder;
}

std::vector<Backend> allBackends() { return {Backend::SQLite, Backend::PostgreSQL}; }

std::string backendName(Backend backend) {
  return backend == Backend::SQLite ? "SQLite" : "PostgreSQL";
}

void PrintTo(Backend backend, std::ostream* out) { *out << backendName(backend); }

TestDatabase::TestDatabase(Backend backend) : backend_(backend) {
  if (backend_ == Backend::SQLite) {
    name_ = scratchFolder() + "/" + uniqueName() + ".db";
    std::filesystem::copy_file(scratchFolder() + "/template.db", name_);
  } else {
    name_ = "lsz_" + uniqueName();
    runClient("create database " + name_ + " template lsz_template", "postgres");
  }
}

TestDatabase::~TestDatabase() {
  try {
    if (backend_ == Backend::SQLite) {
      std::filesystem::remove(name_);
    } else {
      runClient("drop database if exists " + name_ + " with (force)", "postgres");
    }
  } catch (...) {
    // The fixture removes whatever is left when it stops.
  }
}

std::string TestDatabase::dataSourceName() const {
  return backend_ == Backend::SQLite ? "lsz_sqlite;Database=" + name_
                                     : "lsz_pg;Database=" + name_;
}

void TestDatabase::connectShared() const {
  initialisePlatform();
  openConnection(("DSN=" + dataSourceName()).c_str());
}

void TestDatabase::exec(std::string_view sql) { runClient(sql, name_); }

std::vector<std::vector<std::string>> TestDatabase::rows(std::string_view sql) {
  std::string output = runClient(sql, name_);
  while (!output.empty() && (output.back() == '\n' || output.back() == kRecordSeparator))
    output.pop_back();
  std::vector<std::vector<std::string>> result;
  if (output.empty()) return result;
  for (const auto& record : split(output, kRecordSeparator))
    result.push_back(split(record, kUnitSeparator));
  return result;
}

std::string TestDatabase::runClient(std::string_view sql, const std::string& database) const {
  const std::string input = std::string(sql) + ";\n";
  std::vector<std::string> argv;
  EnvironmentOverrides environment;
  if (backend_ == Backend::SQLite) {
    argv = {"sqlite3", "-batch", "-bail", "-noheader", "-list", "-nullvalue", "<NULL>",
            "-separator", std::string(1, kUnitSeparator), "-newline",
            std::string(1, kRecordSeparator), database};
  } else {
    // psql takes its client encoding from the locale, which may be unset.
    environment = {{"PGCLIENTENCODING", "UTF8"}};
    argv = {"psql", "-X", "-q", "-A", "-t", "-v", "ON_ERROR_STOP=1", "-P", "null=<NULL>",
            "-F", std::string(1, kUnitSeparator), "-R", std::string(1, kRecordSeparator),
            "-h", postgresSocketDir(), "-p", "5432", "-U", "postgres", "-d", database};
  }
  const RunResult result = runCommand(argv, input, environment);
  if (result.exitStatus != 0)
    throw std::runtime_error(argv[0] + " failed on \"" + std::string(sql) + "\": " + result.err);
  return result.out;
}

}  // namespace mrp::test
