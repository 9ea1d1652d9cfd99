#include "batch/resume_log.h"

#include <charconv>
#include <optional>
#include <string_view>

#include "platform/text_encoding.h"

namespace mrp::batch {
namespace {

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
      case '"':
      case '\\':
      case '/':
        value.push_back(kind);
        break;
      case 'b':
        value.push_back('\b');
        break;
      case 'f':
        value.push_back('\f');
        break;
      case 'n':
        value.push_back('\n');
        break;
      case 'r':
        value.push_back('\r');
        break;
      case 't':
        value.push_back('\t');
        break;
      case 'u': {
        std::size_t digits = 0;
        const std::optional<std::string> character = unicodeEscape(text.substr(i), digits);
        if (!character) return false;
        value += *character;
        i += digits;
        break;
      }
      default:
        return false;
    }
  }
  return false;
}

/// What one line of a log says to a resumed batch.
struct LogLine {
  enum class Kind { Malformed, Start, Done, Other } kind = Kind::Malformed;
  std::string key;      // Done: the demand planned or refused
  bool resume = false;  // Start: the batch resumed a chain
  bool dryRun = false;  // Start: the batch stored nothing
};

/// A start line's flags, from what follows "batch started: " (", dry run",
/// ", resume ..."), or a JSON start entry's.
LogLine startLine(bool resume, bool dryRun) {
  LogLine start;
  start.kind = LogLine::Kind::Start;
  start.resume = resume;
  start.dryRun = dryRun;
  return start;
}

/// The outcome word of a demand entry: what follows the key up to the next blank.
std::string_view firstWord(std::string_view text) { return text.substr(0, text.find(' ')); }

LogLine textLine(std::string_view line) {
  using Kind = LogLine::Kind;
  const auto space = line.find(' ');
  if (space == std::string_view::npos) return {};
  const std::string_view rest = line.substr(space + 1);
  if (rest.starts_with("batch started: ")) {
    // The flags follow the counts, comma-separated: "<n> demands, <j> jobs[, dry run][, resume: ...]".
    const std::string_view flags =
        rest.substr(rest.find(" jobs") == std::string_view::npos ? 0 : rest.find(" jobs"));
    return startLine(flags.find(", resume") != std::string_view::npos,
                     flags.find(", dry run") != std::string_view::npos);
  }
  if (rest.starts_with("summary") || rest.starts_with("keys file line ")) return {Kind::Other, {}};
  std::string key;
  std::size_t used = 0;
  if (!readJsonString(rest, key, used) || !rest.substr(used).starts_with(' ')) return {};
  const std::string_view word = firstWord(rest.substr(used + 1));
  if (word == "planned" || word == "refused") return {Kind::Done, std::move(key)};
  // A failed demand, or a line of a demand's messages ("message:" in the logs
  // of earlier versions).
  for (const std::string_view other : {"failed", "warning", "reason", "error", "message:"}) {
    if (word == other) return {Kind::Other, {}};
  }
  return {};
}

// Inside a JSON string every quote is escaped, so a key or message cannot fake
// the unescaped members that these look for.
LogLine jsonLine(std::string_view line) {
  using Kind = LogLine::Kind;
  const auto has = [line](std::string_view part) { return line.find(part) != std::string_view::npos; };
  if (!line.ends_with('}')) return {};  // cut
  if (has("\"event\":\"start\"")) return startLine(has("\"resume\":true"), has("\"dryRun\":true"));
  if (has("\"event\":\"summary\"") || has("\"event\":\"rejected\"")) return {Kind::Other, {}};
  const auto at = line.find("\"key\":");
  std::string key;
  std::size_t used = 0;
  if (!has("\"event\":\"demand\"") || at == std::string_view::npos ||
      !readJsonString(line.substr(at + 6), key, used))
    return {};
  if (has("\"outcome\":\"planned\"") || has("\"outcome\":\"refused\"")) return {Kind::Done, std::move(key)};
  if (has("\"outcome\":\"failed\"")) return {Kind::Other, {}};
  return {};
}

}  // namespace

std::set<std::string> keysDoneInChain(std::istream& log, std::vector<std::size_t>& malformedLines) {
  std::set<std::string> done;
  bool dryRun = false;  // the batch whose entries follow stored nothing
  std::size_t number = 0;
  for (std::string line; std::getline(log, line);) {
    ++number;
    LogLine read = line.starts_with('{') ? jsonLine(line) : textLine(line);
    switch (read.kind) {
      case LogLine::Kind::Malformed:
        malformedLines.push_back(number);
        break;
      case LogLine::Kind::Start:
        dryRun = read.dryRun;
        if (!read.resume && !read.dryRun) done.clear();  // a new chain begins
        break;
      case LogLine::Kind::Done:
        if (!dryRun) done.insert(std::move(read.key));
        break;
      case LogLine::Kind::Other:
        break;
    }
  }
  return done;
}

}  // namespace mrp::batch
