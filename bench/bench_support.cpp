#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <stdlib.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <fstream>
#include <iostream>
#include <sstream>
#include <stdexcept>

#include "bench_modes.h"
#include "db/statement.h"

namespace mrp::bench {

double Stopwatch::lap() {
  const auto now = std::chrono::steady_clock::now();
  const std::chrono::duration<double, std::milli> elapsed = now - start_;
  start_ = now;
  return elapsed.count();
}

ScratchFolder::ScratchFolder() {
  std::string pattern = (std::filesystem::temp_directory_path() / "lsz-bench.XXXXXX").string();
  if (mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("cannot create a scratch folder");
  path_ = pattern;
}

ScratchFolder::~ScratchFolder() {
  std::error_code ignored;
  if (!keep_) std::filesystem::remove_all(path_, ignored);
}

void execute(Connection& connection, const std::string& statement) {
  Statement(connection).execute(statement);
}

std::vector<std::string> schemaStatements(const std::string& schemaFile) {
  std::ifstream file(std::string(LOTSIZING_SOURCE_DIR) + "/sql/" + schemaFile);
  std::stringstream text;
  // "set names" is for the mariadb client; over ODBC the data source's
  // CHARSET says it, and Connector/ODBC refuses the statement.
  for (std::string line; std::getline(file, line);) {
    if (!line.starts_with("--") && !line.starts_with("set names")) text << line << "\n";
  }
  std::vector<std::string> statements;
  for (std::string statement; std::getline(text, statement, ';');) {
    if (statement.find_first_not_of(" \n") != std::string::npos) statements.push_back(statement);
  }
  return statements;
}

double peakResidentMiB() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return static_cast<double>(usage.ru_maxrss) / 1024.0;  // Linux counts KiB
}

int runChild(const Arguments& args, std::string* output) {
  std::cout.flush();
  std::fflush(stdout);
  std::vector<std::string> argv{"lotsizing_bench"};
  argv.insert(argv.end(), args.begin(), args.end());
  std::vector<char*> pointers;
  for (std::string& arg : argv) pointers.push_back(arg.data());
  pointers.push_back(nullptr);

  int pipeEnds[2] = {-1, -1};
  if (output && pipe(pipeEnds) != 0) {
    std::perror("pipe");
    return 1;
  }
  const pid_t child = fork();
  if (child < 0) {
    std::perror("fork");
    return 1;
  }
  if (child == 0) {
    if (output) {
      dup2(pipeEnds[1], STDOUT_FILENO);
      close(pipeEnds[0]);
      close(pipeEnds[1]);
    }
    execv("/proc/self/exe", pointers.data());
    std::perror("execv");
    _exit(127);
  }
  if (output) {
    close(pipeEnds[1]);
    char buffer[4096];
    for (ssize_t n; (n = read(pipeEnds[0], buffer, sizeof buffer)) != 0;) {
      if (n > 0) output->append(buffer, static_cast<std::size_t>(n));
      else if (errno != EINTR) break;
    }
    close(pipeEnds[0]);
  }
  int status = 0;
  while (waitpid(child, &status, 0) < 0) {
    if (errno != EINTR) return 1;
  }
  return WIFEXITED(status) ? WEXITSTATUS(status) : 1;
}

std::string option(const Arguments& args, std::string_view name, std::string_view fallback) {
  const auto found = std::find(args.begin(), args.end(), name);
  if (found == args.end() || found + 1 == args.end()) return std::string(fallback);
  return *(found + 1);
}

bool hasFlag(const Arguments& args, std::string_view name) {
  return std::find(args.begin(), args.end(), name) != args.end();
}

}  // namespace mrp::bench
