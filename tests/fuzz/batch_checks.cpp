#include "batch_checks.h"

#include <algorithm>
#include <optional>
#include <string_view>

#include "invariants.h"
#include "support/json_check.h"

namespace mrp::fuzz {
namespace {

using Violations = std::vector<std::string>;

std::vector<std::string_view> linesOf(std::string_view text) {
  std::vector<std::string_view> lines;
  for (std::size_t begin = 0; begin < text.size();) {
    const std::size_t end = std::min(text.find('\n', begin), text.size());
    lines.push_back(text.substr(begin, end - begin));
    begin = end + 1;
  }
  return lines;
}

void appendUtf8(std::string& out, char32_t c) {
  if (c < 0x80) {
    out += static_cast<char>(c);
  } else if (c < 0x800) {
    out += static_cast<char>(0xC0 | (c >> 6));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else if (c < 0x10000) {
    out += static_cast<char>(0xE0 | (c >> 12));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (c >> 18));
    out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  }
}

/// The JSON string at the start of `text` decoded, and the bytes it took; the
/// program wrote it, so a malformed one is nothing.
std::optional<std::string> jsonStringAt(std::string_view text, std::size_t& used) {
  if (text.empty() || text[0] != '"') return std::nullopt;
  std::string value;
  for (std::size_t i = 1; i < text.size(); ++i) {
    if (text[i] == '"') {
      used = i + 1;
      return value;
    }
    if (text[i] != '\\') {
      value += text[i];
      continue;
    }
    if (++i >= text.size()) return std::nullopt;
    const char kind = text[i];
    const std::string_view shortForms = "\"\\/bfnrt";
    const std::string_view meanings = "\"\\/\b\f\n\r\t";
    if (const auto at = shortForms.find(kind); at != std::string_view::npos) {
      value += meanings[at];
      continue;
    }
    if (kind != 'u' || i + 4 >= text.size()) return std::nullopt;
    char32_t unit = static_cast<char32_t>(std::stoul(std::string(text.substr(i + 1, 4)), nullptr, 16));
    i += 4;
    if (unit >= 0xD800 && unit <= 0xDBFF && text.substr(i + 1, 2) == "\\u") {
      const auto low = static_cast<char32_t>(std::stoul(std::string(text.substr(i + 3, 4)), nullptr, 16));
      unit = 0x10000 + ((unit - 0xD800) << 10) + (low - 0xDC00);
      i += 6;
    }
    appendUtf8(value, unit);
  }
  return std::nullopt;
}

/// A demand's entry in the log: its key and its outcome.
struct LoggedDemand {
  std::string key;
  std::string outcome;
};

std::vector<LoggedDemand> loggedDemands(const std::vector<std::string_view>& lines, bool json) {
  std::vector<LoggedDemand> demands;
  for (const std::string_view line : lines) {
    std::size_t used = 0;
    if (json) {
      const auto at = line.find("\"key\":");
      const auto outcome = line.find("\"outcome\":\"");
      if (at == std::string_view::npos || outcome == std::string_view::npos) continue;
      const std::string_view rest = line.substr(outcome + 11);
      if (auto key = jsonStringAt(line.substr(at + 6), used)) {
        demands.push_back({std::move(*key), std::string(rest.substr(0, rest.find('"')))});
      }
      continue;
    }
    const auto space = line.find(' ');
    if (space == std::string_view::npos) continue;
    const auto key = jsonStringAt(line.substr(space + 1), used);
    if (!key) continue;
    const std::string_view rest = line.substr(space + 1 + used);
    for (const char* outcome : {"planned", "refused", "failed"}) {
      if (rest.starts_with(std::string(" ") + outcome + " ")) demands.push_back({*key, outcome});
    }
  }
  return demands;
}

bool isTimeStamp(std::string_view text) {
  // YYYY-MM-DDTHH:MM:SS.mmmZ
  constexpr std::string_view shape = "dddd-dd-ddTdd:dd:dd.dddZ";
  if (text.size() < shape.size()) return false;
  for (std::size_t i = 0; i < shape.size(); ++i) {
    if (shape[i] == 'd' ? text[i] < '0' || text[i] > '9' : text[i] != shape[i]) return false;
  }
  return true;
}

void checkExit(const BatchObservation& o, Violations& found) {
  if (o.run.timedOut) {
    found.push_back(o.name + ": ran longer than the time limit and was killed");
  } else if (o.run.exitStatus < 0 || o.run.exitStatus > 4) {
    found.push_back(o.name + ": exit status " + std::to_string(o.run.exitStatus) + "; standard error ends: " +
                    printable(o.run.err.substr(o.run.err.size() > 300 ? o.run.err.size() - 300 : 0)));
  }
}

void checkStandardError(const BatchObservation& o, Violations& found) {
  if (!test::isUtf8(o.run.err))
    found.push_back(o.name + ": standard error is not UTF-8: " + printable(o.run.err));
  for (const std::string_view line : linesOf(o.run.err)) {
    if (!line.starts_with("lotsizing-batch: ")) {
      found.push_back(o.name + ": a line of standard error is no message of the program: " + printable(line));
      break;
    }
  }
  for (const std::size_t number : o.keysFile.rejected) {
    if (o.run.err.find("lotsizing-batch: keys file line " + std::to_string(number) + " rejected: ") ==
        std::string::npos) {
      found.push_back(o.name + ": line " + std::to_string(number) +
                      " of the keys file is not named as rejected");
    }
  }
  if (!o.keysFile.rejected.empty() && o.run.exitStatus == 0) {
    found.push_back(o.name + ": exit status 0 although lines of the keys file were rejected");
  }
}

void checkLog(const BatchObservation& o, const std::vector<std::string_view>& lines, Violations& found) {
  if (!test::isUtf8(o.written)) found.push_back(o.name + ": the log is not UTF-8");
  if (!o.written.empty() && o.written.back() != '\n')
    found.push_back(o.name + ": the log's last line is not ended");
  for (const std::string_view line : lines) {
    const bool fits = o.json ? test::isJson(line) : isTimeStamp(line);
    if (!fits) {
      found.push_back(o.name +
                      (o.json ? ": a line of the log is no JSON: " : ": a line of the log has no time: ") +
                      printable(line));
      break;
    }
  }
}

void checkTakenKeys(const BatchObservation& o, const std::vector<LoggedDemand>& taken, Violations& found) {
  for (const LoggedDemand& demand : taken) {
    if (std::find(o.keysFile.keys.begin(), o.keysFile.keys.end(), demand.key) == o.keysFile.keys.end()) {
      found.push_back(o.name + ": took a key that is no line of the keys file: " + printable(demand.key));
    }
    if (o.done && o.done->contains(demand.key)) {
      found.push_back(o.name + ": took a key that the log's latest batch had done: " + printable(demand.key));
    }
  }
}

void checkRows(const BatchObservation& o, const std::vector<std::string>& planned, Violations& found) {
  static const std::vector<SqlRow> none;
  std::set<std::string> keys;
  for (const auto& [key, rows] : o.before) keys.insert(key);
  for (const auto& [key, rows] : o.after) keys.insert(key);
  for (const std::string& key : keys) {
    const auto before = o.before.find(key);
    const auto after = o.after.find(key);
    const bool changed =
        (before == o.before.end() ? none : before->second) != (after == o.after.end() ? none : after->second);
    if (!changed) continue;
    if (o.dryRun) {
      found.push_back(o.name + ": a dry run changed the rows of " + printable(key));
    } else if (std::find(planned.begin(), planned.end(), key) == planned.end()) {
      found.push_back(o.name + ": the rows of a key it did not plan changed: " + printable(key));
    }
  }
}

}  // namespace

LotsByKey lotsByKey(SqliteFile& db) {
  LotsByKey lots;
  for (SqlRow& row : db.rows("select Bedarf, Termin, LosGröße, Kosten from LosGröße order by rowid")) {
    const std::string key = row[0].kind == SqlValue::Kind::Text ? row[0].bytes : "\x01" + describe(row[0]);
    lots[key].push_back(std::move(row));
  }
  return lots;
}

std::vector<std::string> findBatchViolations(const BatchObservation& o) {
  Violations found;
  checkExit(o, found);
  checkStandardError(o, found);
  const std::vector<std::string_view> lines = linesOf(o.written);
  checkLog(o, lines, found);
  const std::vector<LoggedDemand> taken = loggedDemands(lines, o.json);
  checkTakenKeys(o, taken, found);
  std::vector<std::string> planned;
  for (const LoggedDemand& demand : taken) {
    if (demand.outcome == "planned") planned.push_back(demand.key);
  }
  checkRows(o, planned, found);
  return found;
}

}  // namespace mrp::fuzz
