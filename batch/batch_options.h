// The command line of lotsizing-batch.
#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "cli/usage_error.h"

namespace mrp::batch {

/// A share of the keys: those whose FNV-1a 64 hash modulo `count` is `index - 1`.
struct Shard {
  std::uint64_t index = 1;  // 1 .. count
  std::uint64_t count = 1;
};

struct BatchOptions {
  std::string dataSource;
  std::optional<std::string> keysFile;  // "-": standard input
  std::optional<Shard> shard;
  unsigned jobs = 1;
  std::optional<std::string> logFile;  // none: standard output
  bool json = false;
  bool dryRun = false;
  bool resume = false;
  /// How long to wait for a database that cannot be reached.
  std::chrono::seconds waitForDatabase{300};
  /// --help or --version: print and end, nothing else is needed.
  bool help = false;
  bool version = false;
};

/// The options of `arguments` (behind the program name); `cores` is the
/// default number of jobs. Raises UsageError.
BatchOptions parseBatchOptions(const std::vector<std::string>& arguments, unsigned cores);

/// "lotsizing-batch <version>".
std::string versionText();

/// The usage text, one option a line.
std::string usageText(const std::string& programName);

}  // namespace mrp::batch
