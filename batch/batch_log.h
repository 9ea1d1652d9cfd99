// The log of a batch: one entry per demand, then a summary; text a person
// reads later, or JSON Lines for other programs. UTF-8, one line per entry,
// each line ended; every entry is flushed as it is written, from any worker.
//
// Text:
//   <time> batch started: <n> demands, <jobs> jobs[, dry run][, resume: <s> skipped as done]
//   <time> keys file line <n> rejected: "<line>" contains a NUL byte|is not valid UTF-8
//   <time> "<key>" planned|refused|failed lots=<n> cost=<c> periods=<n> ms=<t>[ warnings=<n>]
//   <time> "<key>" warning|reason|error <code>: <text>   (each message of that demand)
//   <time> summary codes: <code>=<n> ...          (when any demand had a message)
//   <time> summary: planned=<n> refused=<n> failed=<n> lots=<n>[ would-store=<n>] warned=<n> elapsed=<s>s
//          rate=<r>/s[, interrupted: <why>]       (one line; would-store in a dry run, lots=0 then)
// A planned demand's messages are its warnings (warnings=<n> counts them), a
// refused demand's the reasons, a failed demand's its error; the word before
// the code is never an outcome, so a reader tells the entries apart by the
// word after the key. The summary's codes count, per code, the demands with a
// message of that code.
// JSON Lines: {"time":..,"event":"start"|"rejected"|"demand"|"summary", ...} with the
// same fields; a demand's message texts as the array "messages" and the
// messages with their codes as "warnings" (planned), "reasons" (refused) or
// "errors" (failed): [{"code":..,"text":..}, ...]; the summary's codes as the
// object "codes": {"<code>":<n>, ...}.
// <time> is ISO 8601 in UTC with milliseconds; keys and rejected lines are
// written as JSON strings. Whatever the input, the log stays UTF-8: a byte that
// is no part of a UTF-8 character is written \u00XX in a JSON string (a
// character from U+0080 up is always written as itself, so the escape stands
// for the byte) and as U+FFFD in a text message.
#pragma once

#include <atomic>
#include <chrono>
#include <cstddef>
#include <functional>
#include <map>
#include <mutex>
#include <ostream>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "batch/demand_keys.h"
#include "demand/message_code.h"

namespace mrp::batch {

enum class Outcome { Planned, Refused, Failed };

struct DemandOutcome {
  std::string key;
  Outcome outcome = Outcome::Failed;
  std::size_t lots = 0;
  double cost = 0.0;  // the stored costs added up
  std::size_t periods = 0;
  double milliseconds = 0.0;
  /// With their codes: the demand's data problems and refusal reasons, for a
  /// planned demand also the warnings about its data, and for a failure its
  /// error (UTF-8).
  std::vector<Message> messages;
};

struct BatchSummary {
  std::size_t planned = 0;
  std::size_t refused = 0;
  std::size_t failed = 0;
  std::size_t lots = 0;  // stored; in a dry run, the lots that would have been
  bool dryRun = false;
  double seconds = 0.0;
  bool interrupted = false;          // keys were left
  bool databaseUnreachable = false;  // because the database stayed out of reach
  std::string stopReason;            // why keys were left, for a person
  /// The planned demands with at least one message.
  std::size_t warned = 0;
  /// Per code, the demands with at least one message of that code.
  std::map<MessageCode, std::size_t> codes;

  /// Counts `outcome`: its outcome, its lots, and its messages' codes.
  void count(const DemandOutcome& outcome);
};

/// How a batch starts: what its first entry says.
struct BatchStart {
  std::size_t demands = 0;  // to plan
  unsigned jobs = 1;
  bool dryRun = false;
  bool resume = false;
  std::size_t skipped = 0;  // left out by --resume as done
};

/// Told once, by the writer whose write failed, why (the system's text).
using LogFailureListener = std::function<void(const std::string& reason)>;

class BatchLog {
 public:
  BatchLog(std::ostream& out, bool json, LogFailureListener onFailure = {})
      : out_(out), json_(json), onFailure_(std::move(onFailure)) {}

  void started(const BatchStart& start);
  void rejected(const RejectedLine& line);
  void demand(const DemandOutcome& outcome);
  void summary(const BatchSummary& summary);

  /// Whether a write failed. The log takes no entry after that: a broken
  /// stream may have taken part of a line, and what follows would be lost.
  bool failed() const noexcept { return failed_.load(); }

 private:
  void write(const std::string& line);

  std::mutex mutex_;
  std::ostream& out_;
  bool json_;
  LogFailureListener onFailure_;
  std::atomic<bool> failed_{false};
};

const char* outcomeName(Outcome outcome) noexcept;
/// The word before the code of a demand's message in the text log:
/// "warning" (planned), "reason" (refused), "error" (failed).
const char* messageWord(Outcome outcome) noexcept;
/// The JSON field of a demand's messages with their codes: "warnings",
/// "reasons" or "errors".
const char* messagesName(Outcome outcome) noexcept;
/// `text` as a JSON string, quotes included, always UTF-8: a byte that is no
/// part of a UTF-8 character becomes \u00XX, control characters are escaped.
std::string jsonString(std::string_view text);
/// Now as "YYYY-MM-DDTHH:MM:SS.mmmZ".
std::string isoTimeNow();
/// The summary as the text log writes it, without the time:
/// "summary: planned=<n> ... rate=<r>/s[, interrupted: <why>]".
std::string summaryText(const BatchSummary& summary);
/// The summary's counts per code, without the time:
/// "summary codes: <code>=<n> ...", in the order of the codes.
std::string summaryCodesText(const BatchSummary& summary);

}  // namespace mrp::batch
