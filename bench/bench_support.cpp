#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <iostream>

#include "bench_modes.h"

namespace mrp::bench {

double Stopwatch::lap() {
  const auto now = std::chrono::steady_clock::now();
  const std::chrono::duration<double, std::milli> elapsed = now - start_;
  start_ = now;
  return elapsed.count();
}

double peakResidentMiB() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return static_cast<double>(usage.ru_maxrss) / 1024.0;  // Linux counts KiB
}

int runChild(const Arguments& args) {
  std::cout.flush();
  std::vector<std::string> argv{"lotsizing_bench"};
  argv.insert(argv.end(), args.begin(), args.end());
  std::vector<char*> pointers;
  for (std::string& arg : argv) pointers.push_back(arg.data());
  pointers.push_back(nullptr);

  const pid_t child = fork();
  if (child < 0) {
    std::perror("fork");
    return 1;
  }
  if (child == 0) {
    execv("/proc/self/exe", pointers.data());
    std::perror("execv");
    _exit(127);
  }
  int status = 0;
  if (waitpid(child, &status, 0) < 0) return 1;
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
