#include "support/private_postgres.h"

#include <unistd.h>

#include <filesystem>
#include <stdexcept>
#include <vector>

#include "support/helpers.h"
#include "support/process.h"
#include "support/test_database.h"

namespace mrp::test {
namespace {

/// The folder of the server programs of the installed PostgreSQL.
std::string serverPrograms() {
  for (const auto& entry : std::filesystem::directory_iterator("/usr/lib/postgresql")) {
    if (std::filesystem::exists(entry.path() / "bin" / "initdb")) return (entry.path() / "bin").string();
  }
  throw std::runtime_error("no PostgreSQL server programs in /usr/lib/postgresql");
}

/// `argv`, as the cluster's owner: `postgres` when the tests run as root.
void runAsOwner(std::vector<std::string> argv) {
  if (::geteuid() == 0) argv.insert(argv.begin(), {"runuser", "-u", "postgres", "--"});
  const RunResult result = runCommand(argv);
  if (result.exitStatus != 0) throw std::runtime_error(argv.front() + " failed: " + result.err + result.out);
}

}  // namespace

PrivatePostgres::PrivatePostgres() : folder_(scratchFolder() + "/own" + std::to_string(::getpid())) {
  std::filesystem::create_directories(folder_ + "/data");
  if (::geteuid() == 0) runCommand({"chown", "-R", "postgres:", folder_});
  runAsOwner({serverPrograms() + "/initdb", "-D", folder_ + "/data", "-U", "postgres", "-A", "trust", "-E",
              "UTF8", "--locale=C.UTF-8"});
  start();
  const RunResult created = runCommand(
      {"psql", "-X", "-q", "-h", folder_, "-U", "postgres", "-d", "postgres", "-c", "create database plan"});
  if (created.exitStatus != 0) throw std::runtime_error("create database: " + created.err);
  exec(readFile(std::string(LOTSIZING_SOURCE_DIR) + "/sql/schema.sql"));
}

PrivatePostgres::~PrivatePostgres() {
  try {
    stop();
  } catch (const std::exception&) {
    // Removed below all the same.
  }
  std::filesystem::remove_all(folder_);
}

void PrivatePostgres::start() {
  runAsOwner({serverPrograms() + "/pg_ctl", "-D", folder_ + "/data", "-l", folder_ + "/server.log", "-w",
              "-o", "-c listen_addresses='' -c unix_socket_directories='" + folder_ + "' -c fsync=off",
              "start"});
  running_ = true;
}

void PrivatePostgres::stop() {
  if (!running_) return;
  runAsOwner({serverPrograms() + "/pg_ctl", "-D", folder_ + "/data", "-m", "fast", "-w", "stop"});
  running_ = false;
}

void PrivatePostgres::exec(std::string_view sql) {
  const RunResult result = runCommand(
      {"psql", "-X", "-q", "-v", "ON_ERROR_STOP=1", "-h", folder_, "-U", "postgres", "-d", "plan"}, sql);
  if (result.exitStatus != 0) throw std::runtime_error("psql: " + result.err);
}

std::string PrivatePostgres::dataSourceName() const {
  return "lsz_pg;Servername=" + folder_ + ";Port=5432;Database=plan";
}

}  // namespace mrp::test
