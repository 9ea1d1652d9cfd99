// The log of a batch: one entry per demand, then a summary; text a person
// reads later, or JSON Lines for other programs. UTF-8, one line per entry,
// each line ended; every entry is flushed as it is written, from any worker.
//
// Text:
//   <time> batch started: <n> demands, <jobs> jobs[, dry run]
//   <time> "<key>" planned|refused|failed lots=<n> cost=<c> periods=<n> ms=<t>
//   <time> "<key>" message: <text>                (each message of that demand)
//   <time> summary: planned=<n> refused=<n> failed=<n> lots=<n> elapsed=<s>s rate=<r>/s[, interrupted]
// JSON Lines: {"time":..,"event":"start"|"demand"|"summary", ...} with the same fields,
// a demand's messages as the array "messages".
// <time> is ISO 8601 in UTC with milliseconds; a key is written as a JSON string.
#pragma once

#include <chrono>
#include <cstddef>
#include <mutex>
#include <ostream>
#include <set>
#include <string>
#include <vector>

namespace mrp::batch {

enum class Outcome { Planned, Refused, Failed };

struct DemandOutcome {
  std::string key;
  Outcome outcome = Outcome::Failed;
  std::size_t lots = 0;
  double cost = 0.0;  // the stored costs added up
  std::size_t periods = 0;
  double milliseconds = 0.0;
  /// The demand's data problems and refusal reasons, and for a failure its
  /// error, as the single-demand program reports them (UTF-8).
  std::vector<std::string> messages;
};

struct BatchSummary {
  std::size_t planned = 0;
  std::size_t refused = 0;
  std::size_t failed = 0;
  std::size_t lots = 0;
  double seconds = 0.0;
  bool interrupted = false;
};

class BatchLog {
 public:
  BatchLog(std::ostream& out, bool json) : out_(out), json_(json) {}

  void started(std::size_t demands, unsigned jobs, bool dryRun);
  void demand(const DemandOutcome& outcome);
  void summary(const BatchSummary& summary);

 private:
  void write(const std::string& line);

  std::mutex mutex_;
  std::ostream& out_;
  bool json_;
};

const char* outcomeName(Outcome outcome) noexcept;
/// `text` as a JSON string, quotes included.
std::string jsonString(const std::string& text);
/// Now as "YYYY-MM-DDTHH:MM:SS.mmmZ".
std::string isoTimeNow();

/// The keys that the latest batch recorded in a log (text or JSON) planned or
/// refused: what a resumed batch leaves out.
std::set<std::string> keysDoneInLatestBatch(std::istream& log);

}  // namespace mrp::batch
