#include "batch/batch_log.h"

#include <cstdio>
#include <ctime>
#include <sstream>

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

/// The JSON string at the start of `text` (which begins with a quote),
/// unescaped, and how many bytes it took; nothing when it is not one.
bool readJsonString(std::string_view text, std::string& value, std::size_t& used) {
  if (text.empty() || text[0] != '"') return false;
  value.clear();
  for (std::size_t i = 1; i < text.size(); ++i) {
    const char c = text[i];
    if (c == '"') {
      used = i + 1;
      return true;
    }
    if (c != '\\') {
      value.push_back(c);
      continue;
    }
    if (++i >= text.size()) return false;
    switch (text[i]) {
      case 'n': value.push_back('\n'); break;
      case 't': value.push_back('\t'); break;
      case 'r': value.push_back('\r'); break;
      case 'b': value.push_back('\b'); break;
      case 'f': value.push_back('\f'); break;
      case 'u': {
        if (i + 4 >= text.size()) return false;
        const unsigned code = static_cast<unsigned>(std::stoul(std::string(text.substr(i + 1, 4)), nullptr, 16));
        i += 4;
        value += utf16ToUtf8(std::u16string(1, static_cast<char16_t>(code)));
        break;
      }
      default: value.push_back(text[i]);
    }
  }
  return false;
}

}  // namespace

const char* outcomeName(Outcome outcome) noexcept {
  switch (outcome) {
    case Outcome::Planned: return "planned";
    case Outcome::Refused: return "refused";
    case Outcome::Failed: return "failed";
  }
  return "failed";
}

std::string jsonString(const std::string& text) {
  std::string out = "\"";
  for (const char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    if (c == '"' || c == '\\') {
      out += '\\';
      out += c;
    } else if (byte < 0x20 || byte == 0x7F) {
      char escaped[8];
      std::snprintf(escaped, sizeof escaped, "\\u%04x", byte);
      out += escaped;
    } else {
      out += c;
    }
  }
  return out + "\"";
}

std::string isoTimeNow() {
  const auto now = std::chrono::system_clock::now();
  const std::time_t seconds = std::chrono::system_clock::to_time_t(now);
  const auto millis = std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch()).count() % 1000;
  std::tm utc{};
  gmtime_r(&seconds, &utc);
  char text[96];
  std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02d.%03dZ", utc.tm_year + 1900, utc.tm_mon + 1,
                utc.tm_mday, utc.tm_hour, utc.tm_min, utc.tm_sec, static_cast<int>(millis));
  return text;
}

void BatchLog::write(const std::string& line) {
  const std::lock_guard lock(mutex_);
  out_ << line << '\n' << std::flush;
}

void BatchLog::started(std::size_t demands, unsigned jobs, bool dryRun) {
  const std::string time = isoTimeNow();
  if (json_) {
    write("{\"time\":\"" + time + "\",\"event\":\"start\",\"demands\":" + std::to_string(demands) +
          ",\"jobs\":" + std::to_string(jobs) + ",\"dryRun\":" + (dryRun ? "true" : "false") + "}");
  } else {
    write(time + " batch started: " + std::to_string(demands) + " demands, " + std::to_string(jobs) +
          " jobs" + (dryRun ? ", dry run" : ""));
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
    for (std::size_t i = 0; i < o.messages.size(); ++i) entry << (i ? "," : "") << jsonString(o.messages[i]);
    entry << "]}";
    write(entry.str());
    return;
  }
  const std::string prefix = time + " " + jsonString(o.key);
  entry << prefix << " " << outcomeName(o.outcome) << " lots=" << o.lots << " cost=" << number(o.cost)
        << " periods=" << o.periods << " ms=" << milliseconds(o.milliseconds);
  for (const std::string& message : o.messages) {
    entry << "\n" << prefix << " message: " << withoutControlCharacters(message);
  }
  write(entry.str());
}

void BatchLog::summary(const BatchSummary& s) {
  const std::string time = isoTimeNow();
  const double rate = s.seconds > 0.0 ? static_cast<double>(s.planned + s.refused + s.failed) / s.seconds : 0.0;
  char figures[64];
  std::snprintf(figures, sizeof figures, "%.2f", s.seconds);
  char perSecond[64];
  std::snprintf(perSecond, sizeof perSecond, "%.1f", rate);
  if (json_) {
    write("{\"time\":\"" + time + "\",\"event\":\"summary\",\"planned\":" + std::to_string(s.planned) +
          ",\"refused\":" + std::to_string(s.refused) + ",\"failed\":" + std::to_string(s.failed) +
          ",\"lots\":" + std::to_string(s.lots) + ",\"seconds\":" + figures + ",\"perSecond\":" + perSecond +
          ",\"interrupted\":" + (s.interrupted ? "true" : "false") + "}");
  } else {
    write(time + " summary: planned=" + std::to_string(s.planned) + " refused=" + std::to_string(s.refused) +
          " failed=" + std::to_string(s.failed) + " lots=" + std::to_string(s.lots) + " elapsed=" + figures +
          "s rate=" + perSecond + "/s" + (s.interrupted ? ", interrupted" : ""));
  }
}

std::set<std::string> keysDoneInLatestBatch(std::istream& log) {
  std::set<std::string> done;
  for (std::string line; std::getline(log, line);) {
    const bool json = line.starts_with("{");
    if (line.find(json ? "\"event\":\"start\"" : " batch started: ") != std::string::npos) {
      done.clear();  // an earlier batch's keys do not count
      continue;
    }
    std::string key;
    std::size_t used = 0;
    if (json) {
      const auto at = line.find("\"key\":");
      if (at == std::string::npos || !readJsonString(std::string_view(line).substr(at + 6), key, used)) continue;
      if (line.find("\"outcome\":\"planned\"") != std::string::npos ||
          line.find("\"outcome\":\"refused\"") != std::string::npos)
        done.insert(key);
      continue;
    }
    const auto space = line.find(' ');
    if (space == std::string::npos || !readJsonString(std::string_view(line).substr(space + 1), key, used)) continue;
    const std::string_view rest = std::string_view(line).substr(space + 1 + used);
    if (rest.starts_with(" planned ") || rest.starts_with(" refused ")) done.insert(key);
  }
  return done;
}

}  // namespace mrp::batch
