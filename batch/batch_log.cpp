#include "batch/batch_log.h"

#include <cerrno>
#include <charconv>
#include <cstdio>
#include <ctime>
#include <optional>
#include <sstream>
#include <system_error>
#include <utility>

#include "platform/text_encoding.h"

namespace mrp::batch {
namespace {

std::string number(double value) {
  char text[32];
  std::snprintf(text, sizeof text, "%.10g", value);
  return text;
}

std::string milliseconds(double value) {
  char text[32];
  std::snprintf(text, sizeof text, "%.1f", value);
  return text;
}

/// The elapsed seconds ("%.2f") and the demands per second ("%.1f") of a summary.
std::pair<std::string, std::string> pace(const BatchSummary& s) {
  const double rate =
      s.seconds > 0.0 ? static_cast<double>(s.planned + s.refused + s.failed) / s.seconds : 0.0;
  char seconds[64];
  std::snprintf(seconds, sizeof seconds, "%.2f", s.seconds);
  char perSecond[64];
  std::snprintf(perSecond, sizeof perSecond, "%.1f", rate);
  return {seconds, perSecond};
}

void appendEscapedByte(std::string& out, unsigned char byte) {
  char escaped[8];
  std::snprintf(escaped, sizeof escaped, "\\u%04x", byte);
  out += escaped;
}

}  // namespace

const char* messageWord(Outcome outcome) noexcept {
  switch (outcome) {
    case Outcome::Planned:
      return "warning";
    case Outcome::Refused:
      return "reason";
    case Outcome::Failed:
      return "error";
  }
  return "error";
}

const char* messagesName(Outcome outcome) noexcept {
  switch (outcome) {
    case Outcome::Planned:
      return "warnings";
    case Outcome::Refused:
      return "reasons";
    case Outcome::Failed:
      return "errors";
  }
  return "errors";
}

const char* outcomeName(Outcome outcome) noexcept {
  switch (outcome) {
    case Outcome::Planned:
      return "planned";
    case Outcome::Refused:
      return "refused";
    case Outcome::Failed:
      return "failed";
  }
  return "failed";
}

std::string jsonString(std::string_view text) {
  std::string out = "\"";
  while (!text.empty()) {
    const std::size_t length = utf8CharacterLength(text);
    const auto byte = static_cast<unsigned char>(text[0]);
    if (length == 0 || byte < 0x20 || byte == 0x7F) {
      appendEscapedByte(out, byte);
      text.remove_prefix(1);
      continue;
    }
    if (byte == '"' || byte == '\\') out += '\\';
    out.append(text.substr(0, length));
    text.remove_prefix(length);
  }
  return out + "\"";
}

std::string isoTimeNow() {
  const auto now = std::chrono::system_clock::now();
  const std::time_t seconds = std::chrono::system_clock::to_time_t(now);
  const auto millis =
      std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch()).count() % 1000;
  std::tm utc{};
  gmtime_r(&seconds, &utc);
  char text[96];
  std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02d.%03dZ", utc.tm_year + 1900, utc.tm_mon + 1,
                utc.tm_mday, utc.tm_hour, utc.tm_min, utc.tm_sec, static_cast<int>(millis));
  return text;
}

void BatchLog::write(const std::string& line) {
  const std::lock_guard lock(mutex_);
  if (failed_.load()) return;
  errno = 0;
  out_ << line << '\n' << std::flush;
  if (out_) return;
  const int error = errno;
  failed_.store(true);
  if (onFailure_)
    onFailure_(error != 0 ? std::error_code(error, std::generic_category()).message() : "unknown error");
}

void BatchLog::started(const BatchStart& start) {
  const std::string time = isoTimeNow();
  if (json_) {
    write("{\"time\":\"" + time + "\",\"event\":\"start\",\"demands\":" + std::to_string(start.demands) +
          ",\"jobs\":" + std::to_string(start.jobs) + ",\"dryRun\":" + (start.dryRun ? "true" : "false") +
          ",\"resume\":" + (start.resume ? "true" : "false") +
          ",\"skipped\":" + std::to_string(start.skipped) + "}");
  } else {
    write(time + " batch started: " + std::to_string(start.demands) + " demands, " +
          std::to_string(start.jobs) + " jobs" + (start.dryRun ? ", dry run" : "") +
          (start.resume ? ", resume: " + std::to_string(start.skipped) + " skipped as done" : ""));
  }
}

void BatchLog::rejected(const RejectedLine& line) {
  const std::string time = isoTimeNow();
  if (json_) {
    write("{\"time\":\"" + time + "\",\"event\":\"rejected\",\"line\":" + std::to_string(line.number) +
          ",\"text\":" + jsonString(line.text) + ",\"reason\":\"" + problemText(line.problem) + "\"}");
  } else {
    write(time + " keys file line " + std::to_string(line.number) + " rejected: " + jsonString(line.text) +
          " " + problemText(line.problem));
  }
}

void BatchLog::demand(const DemandOutcome& o) {
  const std::string time = isoTimeNow();
  std::ostringstream entry;
  if (json_) {
    entry << "{\"time\":\"" << time << "\",\"event\":\"demand\",\"key\":" << jsonString(o.key)
          << ",\"outcome\":\"" << outcomeName(o.outcome) << "\",\"lots\":" << o.lots
          << ",\"cost\":" << number(o.cost) << ",\"periods\":" << o.periods
          << ",\"ms\":" << milliseconds(o.milliseconds) << ",\"messages\":[";
    for (std::size_t i = 0; i < o.messages.size(); ++i)
      entry << (i ? "," : "") << jsonString(o.messages[i].text);
    entry << "],\"" << messagesName(o.outcome) << "\":[";
    for (std::size_t i = 0; i < o.messages.size(); ++i) {
      entry << (i ? "," : "") << "{\"code\":\"" << codeName(o.messages[i].code)
            << "\",\"text\":" << jsonString(o.messages[i].text) << "}";
    }
    entry << "]}";
    write(entry.str());
    return;
  }
  const std::string prefix = time + " " + jsonString(o.key);
  entry << prefix << " " << outcomeName(o.outcome) << " lots=" << o.lots << " cost=" << number(o.cost)
        << " periods=" << o.periods << " ms=" << milliseconds(o.milliseconds);
  if (o.outcome == Outcome::Planned && !o.messages.empty()) entry << " warnings=" << o.messages.size();
  for (const Message& message : o.messages) {
    entry << "\n"
          << prefix << " " << messageWord(o.outcome) << " " << codeName(message.code) << ": "
          << withoutControlCharacters(validUtf8(message.text));
  }
  write(entry.str());
}

void BatchSummary::count(const DemandOutcome& outcome) {
  switch (outcome.outcome) {
    case Outcome::Planned:
      ++planned;
      break;
    case Outcome::Refused:
      ++refused;
      break;
    case Outcome::Failed:
      ++failed;
      break;
  }
  if (outcome.outcome == Outcome::Planned && !outcome.messages.empty()) ++warned;
  std::set<MessageCode> seen;
  for (const Message& message : outcome.messages) {
    if (seen.insert(message.code).second) ++codes[message.code];
  }
}

std::string summaryText(const BatchSummary& s) {
  const auto [seconds, perSecond] = pace(s);
  const std::string lots = s.dryRun ? "0 would-store=" + std::to_string(s.lots) : std::to_string(s.lots);
  return "summary: planned=" + std::to_string(s.planned) + " refused=" + std::to_string(s.refused) +
         " failed=" + std::to_string(s.failed) + " lots=" + lots + " warned=" + std::to_string(s.warned) +
         " elapsed=" + seconds + "s rate=" + perSecond + "/s" +
         (s.interrupted ? ", interrupted: " + validUtf8(s.stopReason) : "");
}

std::string summaryCodesText(const BatchSummary& s) {
  std::string text = "summary codes:";
  for (const auto& [code, demands] : s.codes) {
    text += " " + std::string(codeName(code)) + "=" + std::to_string(demands);
  }
  return text;
}

void BatchLog::summary(const BatchSummary& s) {
  const std::string time = isoTimeNow();
  if (!json_) {
    // The counts per code come first, so that the summary stays the log's last line.
    write((s.codes.empty() ? "" : time + " " + summaryCodesText(s) + "\n") + time + " " + summaryText(s));
    return;
  }
  std::string codes;
  for (const auto& [code, demands] : s.codes) {
    codes += (codes.empty() ? "\"" : ",\"") + std::string(codeName(code)) + "\":" + std::to_string(demands);
  }
  const auto [seconds, perSecond] = pace(s);
  write("{\"time\":\"" + time + "\",\"event\":\"summary\",\"planned\":" + std::to_string(s.planned) +
        ",\"refused\":" + std::to_string(s.refused) + ",\"failed\":" + std::to_string(s.failed) +
        ",\"lots\":" + std::to_string(s.dryRun ? 0 : s.lots) +
        (s.dryRun ? ",\"wouldStore\":" + std::to_string(s.lots) : std::string()) +
        ",\"warned\":" + std::to_string(s.warned) + ",\"seconds\":" + seconds +
        ",\"perSecond\":" + perSecond + ",\"interrupted\":" + (s.interrupted ? "true" : "false") +
        (s.interrupted ? ",\"stopReason\":" + jsonString(s.stopReason) : std::string()) + ",\"codes\":{" +
        codes + "}}");
}

}  // namespace mrp::batch
