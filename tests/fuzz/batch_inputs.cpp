#include "batch_inputs.h"

#include <cstdio>

#include "hostile_values.h"
#include "random_source.h"
#include "support/json_check.h"

namespace mrp::fuzz {
namespace {

constexpr const char* kTime = "2026-12-07T02:00:00.000Z";

/// The code point of the UTF-8 character at `text[at]` (valid UTF-8), and its length.
char32_t decodeUtf8(const std::string& text, std::size_t at, std::size_t& length) {
  const auto lead = static_cast<unsigned char>(text[at]);
  length = lead < 0x80 ? 1 : lead < 0xE0 ? 2 : lead < 0xF0 ? 3 : 4;
  char32_t value = length == 1 ? lead : lead & (0xFF >> (length + 1));
  for (std::size_t k = 1; k < length; ++k)
    value = (value << 6) | (static_cast<unsigned char>(text[at + k]) & 0x3F);
  return value;
}

std::string hexEscape(Random& random, unsigned unit) {
  char text[8];
  std::snprintf(text, sizeof text, random.chance(0.5) ? "\\u%04x" : "\\u%04X", unit);
  return text;
}

/// `key` (valid UTF-8) as a JSON string, each character written one of the ways
/// JSON allows: as itself, as \uXXXX in either case (a surrogate pair beyond
/// U+FFFF), or with its short escape.
std::string anyJsonString(Random& random, const std::string& key) {
  std::string out = "\"";
  for (std::size_t at = 0, length = 0; at < key.size(); at += length) {
    const char32_t c = decodeUtf8(key, at, length);
    const bool escape = c < 0x20 || c == '"' || c == '\\' || random.chance(c < 0x80 ? 0.25 : 0.5);
    if (!escape) {
      out += key.substr(at, length);
    } else if (c == '"' || c == '\\' || (c == '/' && random.chance(0.5))) {
      out += '\\';
      out += static_cast<char>(c);
    } else if (c == '\n' && random.chance(0.5)) {
      out += "\\n";
    } else if (c == '\t' && random.chance(0.5)) {
      out += "\\t";
    } else if (c >= 0x10000) {
      out += hexEscape(random, 0xD800 + ((c - 0x10000) >> 10)) +
             hexEscape(random, 0xDC00 + ((c - 0x10000) & 0x3FF));
    } else {
      out += hexEscape(random, static_cast<unsigned>(c));
    }
  }
  return out + "\"";
}

/// One line of a keys file, without its line end.
std::string keysFileLine(Random& random, const std::vector<std::string>& keys,
                         const std::vector<std::string>& earlier) {
  const std::string& key = random.pick(keys);
  switch (random.below(20)) {
    case 0:
      return nearName(random, key);
    case 1:
      return key + std::string(1, '\0') + "junk";
    case 2:
      return std::string(1, '\0') + key;
    case 3:
      return key + random.pick<std::string>({"\xFF", "\xC3", "\xED\xA0\x80", "\xC0\xAF", "\xF4\x90\x80\x80"});
    case 4:
      return random.pick<std::string>({"M\xE4ngel",
                                       "Gr\xF6\xDF"
                                       "e",
                                       "\x80"});
    case 5:
      return std::string(static_cast<std::size_t>(random.between(129, 4000)), random.pick({'K', ' ', '\t'}));
    case 6:
      return "NO-SUCH-" + std::to_string(random.below(1000));
    case 7:
      return earlier.empty() ? key : random.pick(earlier);
    case 8:
      return random.pick<std::string>({"", "\r", " ", "\xF0\x9F\x98\x80 Pumpe", "a\\b\"c/"});
    case 9:
      return randomText(random, 30);
    case 10:
      return key + "\r";
    case 11:
      return key + " \xF0\x9F\x93\xA6";  // a character beyond U+FFFF
    default:
      return key;  // most lines name a demand of the database
  }
}

std::string keysFileOf(Random& random, const std::vector<std::string>& keys) {
  std::string file;
  std::vector<std::string> lines;
  for (std::int64_t count = random.between(3, 25); count > 0; --count) {
    lines.push_back(keysFileLine(random, keys, lines));
    file += lines.back() + (random.chance(0.3) ? "\r\n" : "\n");
  }
  if (random.chance(0.3)) file.pop_back();  // the last line unended (or ending in a bare CR)
  return file;
}

/// A line that is no entry of the log, in the style of `json` logs or text ones.
std::string malformedLine(Random& random, bool json, const std::string& key) {
  const std::string badKey = random.pick<std::string>(
      {"\"\\uZZZZ\"", "\"\\u12\"", "\"\\ud800\"", "\"\\udc00\\ud800\"", "\"\\ud83d\\u0041\"", "\"\\q\"",
       "\"tab\there\"", "\"\xFF\"", "\"unclosed", "\"\\u00e\""});
  const std::string planned = " planned lots=1 cost=1 periods=1 ms=1.0";
  switch (random.below(6)) {
    case 0:
      return json ? "{\"time\":\"" + std::string(kTime) + "\",\"event\":\"demand\",\"key\":" + badKey +
                        ",\"outcome\":\"planned\",\"lots\":1,\"messages\":[]}"
                  : std::string(kTime) + " " + badKey + planned;
    case 1: {  // a valid entry cut before its end (JSON only: a text entry cut after its outcome still
               // counts)
      const std::string entry = "{\"time\":\"" + std::string(kTime) +
                                "\",\"event\":\"demand\",\"key\":" + anyJsonString(random, key) +
                                ",\"outcome\":\"planned\",\"lots\":1}";
      return json ? entry.substr(0, static_cast<std::size_t>(
                                        random.between(1, static_cast<std::int64_t>(entry.size()) - 1)))
                  : std::string(kTime) + " " + badKey + planned;
    }
    case 2: {  // binary junk without a line end
      std::string junk;
      for (std::int64_t n = random.between(1, 200); n > 0; --n) {
        const char byte = static_cast<char>(random.below(256));
        junk += byte == '\n' ? '\0' : byte;
      }
      return "\x01" + junk;
    }
    case 3:
      return std::string(
          static_cast<std::size_t>(random.between(10000, random.chance(0.1) ? 2000000 : 200000)), 'x');
    case 4:
      return "";
    default:  // no key at all, or one without its quotes
      return json ? "{\"event\":\"demand\",\"outcome\":\"planned\"}"
                  : std::string(kTime) + " WW1958 planned lots=1";
  }
}

std::string entry(Random& random, bool json, const std::string& key, const std::string& outcome) {
  const std::string encoded = anyJsonString(random, key);
  if (json) {
    return "{\"time\":\"" + std::string(kTime) + "\",\"event\":\"demand\",\"key\":" + encoded +
           ",\"outcome\":\"" + outcome + "\",\"lots\":0,\"cost\":0,\"periods\":0,\"ms\":0.1,\"messages\":[]}";
  }
  return std::string(kTime) + " " + encoded + " " + outcome + " lots=0 cost=0 periods=0 ms=0.1";
}

std::string startLine(bool json) {
  return json ? "{\"time\":\"" + std::string(kTime) +
                    "\",\"event\":\"start\",\"demands\":1,\"jobs\":1,\"dryRun\":false}"
              : std::string(kTime) + " batch started: 1 demands, 1 jobs";
}

/// An earlier batch, then the latest with valid entries for some of `keys` and lines that are none.
ResumeLog resumeLogOf(Random& random, bool json, const std::vector<std::string>& keys) {
  ResumeLog log;
  if (keys.empty()) return log;
  log.bytes += startLine(json) + "\n" + entry(random, json, random.pick(keys), "planned") + "\n";
  log.bytes += startLine(json) + "\n";
  for (std::int64_t count = random.between(1, 12); count > 0; --count) {
    const std::string& key = random.pick(keys);
    if (random.chance(0.4)) {
      log.bytes += malformedLine(random, json, key) + "\n";
      continue;
    }
    const std::string outcome = random.pick<std::string>({"planned", "refused", "failed"});
    log.bytes += entry(random, json, key, outcome) + "\n";
    if (outcome != "failed") log.done.insert(key);
  }
  return log;
}

}  // namespace

KeysFileLines linesOfKeysFile(const std::string& bytes) {
  KeysFileLines lines;
  std::size_t number = 0;
  for (std::size_t begin = 0; begin < bytes.size();) {
    const std::size_t end = std::min(bytes.find('\n', begin), bytes.size());
    std::string line = bytes.substr(begin, end - begin);
    begin = end + 1;
    ++number;
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.empty()) continue;
    if (line.find('\0') != std::string::npos || !test::isUtf8(line)) {
      lines.rejected.push_back(number);
    } else {
      lines.keys.push_back(line);
    }
  }
  return lines;
}

BatchInputs hostileBatchInputs(std::uint64_t seed, const std::vector<std::string>& demandKeys) {
  // Its own stream, apart from the database generator's.
  Random random(seed * 0x9E3779B97F4A7C15ull + 0xBA7C4ull);
  BatchInputs inputs;
  inputs.keysFile = keysFileOf(random, demandKeys);
  const std::vector<std::string> keys = linesOfKeysFile(inputs.keysFile).keys;
  inputs.textLog = resumeLogOf(random, false, keys);
  inputs.jsonLog = resumeLogOf(random, true, keys);
  inputs.jobs = static_cast<unsigned>(random.between(1, 3));
  inputs.dryRun = random.chance(0.5);
  return inputs;
}

}  // namespace mrp::fuzz
