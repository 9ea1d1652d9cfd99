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
  const double rate = s.seconds > 0.0 ? static_cast<double>(s.planned + s.refused + s.failed) / s.seconds : 0.0;
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

bool isHighSurrogate(char32_t unit) noexcept { return unit >= 0xD800 && unit <= 0xDBFF; }
bool isLowSurrogate(char32_t unit) noexcept { return unit >= 0xDC00 && unit <= 0xDFFF; }

/// The four hex digits at the start of `text`; nothing when there are not four.
std::optional<char16_t> hexUnit(std::string_view text) {
  unsigned value = 0;
  if (text.size() < 4) return std::nullopt;
  const auto [end, error] = std::from_chars(text.data(), text.data() + 4, value, 16);
  if (error != std::errc{} || end != text.data() + 4) return std::nullopt;
  return static_cast<char16_t>(value);
}

/// The character of a \u escape whose four digits start `text` (a surrogate
/// pair takes the next escape too) as UTF-8, and how many bytes it took;
/// nothing for a lone surrogate or digits that are not four hex digits.
std::optional<std::string> unicodeEscape(std::string_view text, std::size_t& used) {
  const std::optional<char16_t> unit = hexUnit(text);
  if (!unit || isLowSurrogate(*unit)) return std::nullopt;
  if (!isHighSurrogate(*unit)) {
    used = 4;
    return utf16ToUtf8(std::u16string(1, *unit));
  }
  if (!text.substr(4).starts_with("\\u")) return std::nullopt;
  const std::optional<char16_t> low = hexUnit(text.substr(6));
  if (!low || !isLowSurrogate(*low)) return std::nullopt;
  used = 10;
  return utf16ToUtf8(std::u16string{*unit, *low});
}

/// The JSON string at the start of `text` (which begins with a quote),
/// unescaped, and how many bytes it took. False when it is none: a control
/// character or bytes that are not UTF-8 inside, an unknown escape, a \u
/// without four hex digits, a surrogate that is not half of a pair, no
/// closing quote.
bool readJsonString(std::string_view text, std::string& value, std::size_t& used) {
  if (!text.starts_with('"')) return false;
  value.clear();
  for (std::size_t i = 1; i < text.size();) {
    const char c = text[i];
    if (c == '"') {
      used = i + 1;
      // Escapes are ASCII: the string is UTF-8 when its raw bytes are.
      return isValidUtf8(text.substr(1, i - 1));
    }
    if (static_cast<unsigned char>(c) < 0x20) return false;
    if (c != '\\') {
      value.push_back(c);
      ++i;
      continue;
    }
    if (i + 1 >= text.size()) return false;
    const char kind = text[i + 1];
    i += 2;
    switch (kind) {
      case '"': case '\\': case '/': value.push_back(kind); break;
      case 'b': value.push_back('\b'); break;
      case 'f': value.push_back('\f'); break;
      case 'n': value.push_back('\n'); break;
      case 'r': value.push_back('\r'); break;
      case 't': value.push_back('\t'); break;
      case 'u': {
        std::size_t digits = 0;
        const std::optional<std::string> character = unicodeEscape(text.substr(i), digits);
        if (!character) return false;
        value += *character;
        i += digits;
        break;
      }
      default: return false;
    }
  }
  return false;
}

/// What one line of a log says to a resumed batch.
struct LogLine {
  enum class Kind { Malformed, Start, Done, Other } kind = Kind::Malformed;
  std::string key;  // of a demand planned or refused
};

LogLine textLine(std::string_view line) {
  using Kind = LogLine::Kind;
  const auto space = line.find(' ');
  if (space == std::string_view::npos) return {};
  const std::string_view rest = line.substr(space + 1);
  if (rest.starts_with("batch started: ")) return {Kind::Start, {}};
  if (rest.starts_with("summary: ") || rest.starts_with("summary codes: ") || rest.starts_with("keys file line "))
    return {Kind::Other, {}};
  std::string key;
  std::size_t used = 0;
  if (!readJsonString(rest, key, used)) return {};
  const std::string_view after = rest.substr(used);
  if (after.starts_with(" planned ") || after.starts_with(" refused ")) return {Kind::Done, std::move(key)};
  // A failed demand, or a message line ("message: " in the logs of earlier versions).
  for (const std::string_view word : {" failed ", " warning ", " reason ", " error ", " message: "}) {
    if (after.starts_with(word)) return {Kind::Other, {}};
  }
  return {};
}

// Inside a JSON string every quote is escaped, so a key cannot fake the
// unescaped "event":"start" that these look for.
LogLine jsonLine(std::string_view line) {
  using Kind = LogLine::Kind;
  const auto has = [line](std::string_view part) { return line.find(part) != std::string_view::npos; };
  if (!line.ends_with('}')) return {};  // cut
  if (has("\"event\":\"start\"")) return {Kind::Start, {}};
  if (has("\"event\":\"summary\"") || has("\"event\":\"rejected\"")) return {Kind::Other, {}};
  const auto at = line.find("\"key\":");
  std::string key;
  std::size_t used = 0;
  if (!has("\"event\":\"demand\"") || at == std::string_view::npos || !readJsonString(line.substr(at + 6), key, used))
    return {};
  if (has("\"outcome\":\"planned\"") || has("\"outcome\":\"refused\"")) return {Kind::Done, std::move(key)};
  if (has("\"outcome\":\"failed\"")) return {Kind::Other, {}};
  return {};
}

}  // namespace

const char* messageWord(Outcome outcome) noexcept {
  switch (outcome) {
    case Outcome::Planned: return "warning";
    case Outcome::Refused: return "reason";
    case Outcome::Failed: return "error";
  }
  return "error";
}

const char* messagesName(Outcome outcome) noexcept {
  switch (outcome) {
    case Outcome::Planned: return "warnings";
    case Outcome::Refused: return "reasons";
    case Outcome::Failed: return "errors";
  }
  return "errors";
}

const char* outcomeName(Outcome outcome) noexcept {
  switch (outcome) {
    case Outcome::Planned: return "planned";
    case Outcome::Refused: return "refused";
    case Outcome::Failed: return "failed";
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
  if (failed_.load()) return;
  errno = 0;
  out_ << line << '\n' << std::flush;
  if (out_) return;
  const int error = errno;
  failed_.store(true);
  if (onFailure_) onFailure_(error != 0 ? std::error_code(error, std::generic_category()).message() : "unknown error");
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

void BatchLog::rejected(const RejectedLine& line) {
  const std::string time = isoTimeNow();
  if (json_) {
    write("{\"time\":\"" + time + "\",\"event\":\"rejected\",\"line\":" + std::to_string(line.number) +
          ",\"text\":" + jsonString(line.text) + ",\"reason\":\"" + problemText(line.problem) + "\"}");
  } else {
    write(time + " keys file line " + std::to_string(line.number) + " rejected: " + jsonString(line.text) + " " +
          problemText(line.problem));
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
    for (std::size_t i = 0; i < o.messages.size(); ++i) entry << (i ? "," : "") << jsonString(o.messages[i].text);
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
    case Outcome::Planned: ++planned; break;
    case Outcome::Refused: ++refused; break;
    case Outcome::Failed: ++failed; break;
  }
  if (outcome.outcome == Outcome::Planned && !outcome.messages.empty()) ++warned;
  std::set<MessageCode> seen;
  for (const Message& message : outcome.messages) {
    if (seen.insert(message.code).second) ++codes[message.code];
  }
}

std::string summaryText(const BatchSummary& s) {
  const auto [seconds, perSecond] = pace(s);
  return "summary: planned=" + std::to_string(s.planned) + " refused=" + std::to_string(s.refused) +
         " failed=" + std::to_string(s.failed) + " lots=" + std::to_string(s.lots) +
         " warned=" + std::to_string(s.warned) + " elapsed=" + seconds + "s rate=" + perSecond + "/s" +
         (s.interrupted ? ", interrupted" : "");
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
        ",\"lots\":" + std::to_string(s.lots) + ",\"warned\":" + std::to_string(s.warned) +
        ",\"seconds\":" + seconds + ",\"perSecond\":" + perSecond +
        ",\"interrupted\":" + (s.interrupted ? "true" : "false") + ",\"codes\":{" + codes + "}}");
}

std::set<std::string> keysDoneInLatestBatch(std::istream& log, std::vector<std::size_t>& malformedLines) {
  std::set<std::string> done;
  std::size_t number = 0;
  for (std::string line; std::getline(log, line);) {
    ++number;
    LogLine read = line.starts_with('{') ? jsonLine(line) : textLine(line);
    switch (read.kind) {
      case LogLine::Kind::Malformed: malformedLines.push_back(number); break;
      case LogLine::Kind::Start: done.clear(); break;  // an earlier batch's keys do not count
      case LogLine::Kind::Done: done.insert(std::move(read.key)); break;
      case LogLine::Kind::Other: break;
    }
  }
  return done;
}

}  // namespace mrp::batch
