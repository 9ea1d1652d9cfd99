#include "support/test_database.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cstdlib>
#include <filesystem>
#include <ostream>
#include <stdexcept>

#include "db/connection.h"
#include "platform/odbc_environment.h"
#include "support/helpers.h"

extern char** environ;

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

/// Runs `argv` with stdin from `inPath`, stdout into `outPath` and stderr into
/// `errPath`; the exit status (-1 when it did not end normally).
int runProgram(const std::vector<std::string>& argv, const std::string& inPath,
               const std::string& outPath, const std::string& errPath) {
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, inPath.c_str(), O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 1, outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                   0644);
  posix_spawn_file_actions_addopen(&actions, 2, errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                   0644);
  std::vector<char*> args;
  for (const auto& arg : argv) args.push_back(const_cast<char*>(arg.c_str()));
  args.push_back(nullptr);
  pid_t pid = 0;
  const int spawned = posix_spawnp(&pid, args[0], &actions, nullptr, args.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  if (spawned != 0) throw std::runtime_error("cannot start " + argv[0]);
  int status = 0;
  while (::waitpid(pid, &status, 0) < 0) {
  }
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
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
  const std::string base = scratchFolder() + "/" + uniqueName();
  const std::string inPath = base + ".sql";
  const std::string outPath = base + ".out";
  const std::string errPath = base + ".err";
  std::vector<std::string> argv;
  if (backend_ == Backend::SQLite) {
    writeFile(inPath, std::string(sql) + ";\n");
    argv = {"sqlite3", "-batch", "-bail", "-noheader", "-list", "-nullvalue", "<NULL>",
            "-separator", std::string(1, kUnitSeparator), "-newline",
            std::string(1, kRecordSeparator), database};
  } else {
    // psql takes its client encoding from the locale, which may be unset.
    writeFile(inPath, "\\encoding UTF8\n" + std::string(sql) + ";\n");
    argv = {"psql", "-X", "-q", "-A", "-t", "-v", "ON_ERROR_STOP=1", "-P", "null=<NULL>",
            "-F", std::string(1, kUnitSeparator), "-R", std::string(1, kRecordSeparator),
            "-h", postgresSocketDir(), "-p", "5432", "-U", "postgres", "-d", database};
  }
  const int status = runProgram(argv, inPath, outPath, errPath);
  std::string output = readFile(outPath);
  const std::string errors = readFile(errPath);
  for (const auto& path : {inPath, outPath, errPath}) std::filesystem::remove(path);
  if (status != 0)
    throw std::runtime_error(argv[0] + " failed on \"" + std::string(sql) + "\": " + errors);
  return output;
}

}  // namespace mrp::test
