#include <sys/resource.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <iostream>
#include <sstream>

#include "bench_modes.h"
#include "db/statement.h"
#include "support/child_process.h"

namespace mrp::bench {

double Stopwatch::lap() {
  const auto now = std::chrono::steady_clock::now();
  const std::chrono::duration<double, std::milli> elapsed = now - start_;
  start_ = now;
  return elapsed.count();
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
  std::cout.flush();  // before the child's output on the same descriptors
  std::fflush(stdout);
  test::ChildOptions child;
  child.argv = {"lotsizing_bench"};
  child.argv.insert(child.argv.end(), args.begin(), args.end());
  child.program = "/proc/self/exe";
  child.in = child.err = test::Stream::inherited();
  if (!output) child.out = test::Stream::inherited();
  try {
    test::ChildResult result = test::runChild(child);
    if (output) *output = std::move(result.out);
    return result.signal == 0 ? result.exitStatus : 1;
  } catch (const std::exception& error) {
    std::fprintf(stderr, "%s\n", error.what());
    return 1;
  }
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
