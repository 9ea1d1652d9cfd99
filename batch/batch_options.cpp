#include "batch/batch_options.h"

#include <charconv>

namespace mrp::batch {
namespace {

/// The whole number `text` spells, at least `least`.
std::uint64_t wholeNumber(const std::string& text, const std::string& what, std::uint64_t least) {
  std::uint64_t value = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (error != std::errc{} || end != text.data() + text.size() || value < least)
    throw UsageError(what + " must be a whole number of " + std::to_string(least) + " or more: " + text);
  return value;
}

std::uint64_t positiveNumber(const std::string& text, const std::string& what) {
  return wholeNumber(text, what, 1);
}

/// A week is longer than any outage worth waiting for, and keeps the deadline
/// arithmetic far from overflowing.
constexpr std::uint64_t kLongestWait = 7 * 24 * 3600;

Shard shardOf(const std::string& text) {
  const auto slash = text.find('/');
  if (slash == std::string::npos) throw UsageError("--shard takes K/N, e.g. 2/4: " + text);
  Shard shard{positiveNumber(text.substr(0, slash), "K of --shard K/N"),
              positiveNumber(text.substr(slash + 1), "N of --shard K/N")};
  if (shard.index > shard.count) throw UsageError("--shard K/N needs K <= N: " + text);
  return shard;
}

}  // namespace

BatchOptions parseBatchOptions(const std::vector<std::string>& arguments, unsigned cores) {
  BatchOptions options;
  options.jobs = cores == 0 ? 1 : cores;
  std::vector<std::string> positional;
  for (std::size_t i = 0; i < arguments.size(); ++i) {
    const std::string& argument = arguments[i];
    const auto value = [&]() -> const std::string& {
      if (i + 1 >= arguments.size()) throw UsageError(argument + " needs a value");
      return arguments[++i];
    };
    if (argument == "--keys") {
      options.keysFile = value();
    } else if (argument == "--shard") {
      options.shard = shardOf(value());
    } else if (argument == "--jobs") {
      options.jobs = static_cast<unsigned>(positiveNumber(value(), "--jobs"));
    } else if (argument == "--log") {
      options.logFile = value();
    } else if (argument == "--json") {
      options.json = true;
    } else if (argument == "--dry-run") {
      options.dryRun = true;
    } else if (argument == "--resume") {
      options.resume = true;
    } else if (argument == "--wait-for-database") {
      const std::uint64_t seconds = wholeNumber(value(), "--wait-for-database", 0);
      if (seconds > kLongestWait)
        throw UsageError("--wait-for-database waits at most a week: " + arguments[i]);
      options.waitForDatabase = std::chrono::seconds(seconds);
    } else if (argument == "--help" || argument == "-h") {
      options.help = true;
    } else if (argument == "--version") {
      options.version = true;
    } else if (argument.starts_with("-") && argument != "-") {
      throw UsageError("unknown option " + argument);
    } else {
      positional.push_back(argument);
    }
  }
  if (options.help || options.version) return options;
  if (positional.size() != 1) throw UsageError("one ODBC data source is needed");
  options.dataSource = positional.front();
  if (options.resume && !options.logFile) throw UsageError("--resume reads the log: give --log FILE");
  return options;
}

std::string versionText() { return std::string("lotsizing-batch ") + LOTSIZING_VERSION + "\n"; }

std::string usageText(const std::string& programName) {
  return "usage: " + programName +
         " <ODBC-Verbindung> [options]\n"
         "  --keys FILE    plan the keys in FILE, one a line (- for standard input);\n"
         "                 default: every key of Bedarf, in key order\n"
         "  --shard K/N    plan only the keys whose FNV-1a 64 hash modulo N is K-1\n"
         "  --jobs N       N workers, each with its own connection (default: cores)\n"
         "  --log FILE     append the log to FILE (default: standard output)\n"
         "  --json         write the log as JSON Lines\n"
         "  --dry-run      plan and log, write nothing\n"
         "  --resume       skip the keys that the batches since the last one that was\n"
         "                 no resume planned or refused (the log of --log FILE)\n"
         "  --wait-for-database SECONDS\n"
         "                 wait this long for a database that cannot be reached,\n"
         "                 then stop as after an interrupt (default: 300)\n"
         "  -h, --help     show this and end\n"
         "  --version      show the version and end\n"
         "Exit status: 0 every demand planned (warnings or not); 1 some refused for\n"
         "their data, none failed; 2 usage or setup error; 3 some failed, the log could\n"
         "not be written or the database stayed out of reach; 130/143 interrupted by\n"
         "SIGINT/SIGTERM.\n";
}

}  // namespace mrp::batch
