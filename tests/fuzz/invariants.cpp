#include "invariants.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "platform/text_encoding.h"

namespace mrp::fuzz {
namespace {

using Violations = std::vector<std::string>;

bool isControl(char c) {
  const auto byte = static_cast<unsigned char>(c);
  return byte < 0x20 || byte == 0x7f;
}

void checkExit(const test::ChildResult& run, Violations& found) {
  if (run.timedOut) {
    found.push_back("ran longer than the time limit and was killed");
  } else if (run.exitStatus != 0 && run.exitStatus != 1) {
    found.push_back("exit status " + std::to_string(run.exitStatus) + "; standard error ends: " +
                    printable(run.err.substr(run.err.size() > 300 ? run.err.size() - 300 : 0)));
  }
}

/// Empty when `line` (one line of standard error without its line end) is one framed message.
std::string bannerProblem(std::string_view line) {
  if (line.size() < kBannerOpen.size() + kBannerClose.size() || !line.starts_with(kBannerOpen) ||
      !line.ends_with(kBannerClose)) {
    return "a line of standard error is not one framed message";
  }
  const std::string_view text =
      line.substr(kBannerOpen.size(), line.size() - kBannerOpen.size() - kBannerClose.size());
  for (const char c : text) {
    if (isControl(c)) return "a message on standard error holds a control byte";
  }
  return {};
}

void checkStandardError(const std::string& err, Violations& found) {
  if (err.empty()) return;
  if (err.front() != '\n') {
    found.push_back("standard error does not start with a line end: " + printable(err));
    return;
  }
  for (std::size_t begin = 1; begin <= err.size();) {
    const std::size_t end = std::min(err.find('\n', begin), err.size());
    const std::string_view line = std::string_view(err).substr(begin, end - begin);
    if (const std::string problem = bannerProblem(line); !problem.empty()) {
      found.push_back(problem + ": " + printable(line));
      return;
    }
    begin = end + 1;
  }
}

/// `text` (UTF-8) with each control character as a space: C0, DEL, C1
/// (U+0080 to U+009F) and the line and paragraph separators U+2028, U+2029.
std::string controlsAsSpaces(std::string_view text) {
  std::string out;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const auto byte = static_cast<unsigned char>(text[i]);
    const auto next = [&](std::size_t k) {
      return i + k < text.size() ? static_cast<unsigned char>(text[i + k]) : 0;
    };
    if (byte < 0x20 || byte == 0x7F) {
      out += ' ';
    } else if (byte == 0xC2 && next(1) >= 0x80 && next(1) <= 0x9F) {
      out += ' ';
      i += 1;
    } else if (byte == 0xE2 && next(1) == 0x80 && (next(2) == 0xA8 || next(2) == 0xA9)) {
      out += ' ';
      i += 2;
    } else {
      out += text[i];
    }
  }
  return out;
}

/// Standard output of a run that ended with `exitStatus` 0 or 1: the progress lines alone.
std::string expectedStandardOutput(const Observation& observation, int exitStatus) {
  const std::string& program = observation.programName;
  const std::string closing =
      exitStatus == 0 ? program + ": Erfolgreich abgeschlossen." : program + "\a: Fehlerhaft beendet!";
  return program + ": Gestartet\n" +
         utf8ToCp850(controlsAsSpaces("Datenbank: " + observation.dataSource +
                                      "   Bedarf: " + observation.demandKey)) +
         "\n" + closing;
}

void checkStandardOutput(const Observation& observation, Violations& found) {
  const std::string& out = observation.run.out;
  const int status = observation.run.exitStatus;
  if (!observation.run.timedOut && (status == 0 || status == 1)) {
    const std::string expected = expectedStandardOutput(observation, status);
    if (out != expected) {
      found.push_back("standard output is not the progress lines for exit status " + std::to_string(status) +
                      " alone: " + printable(out, 400) + " instead of " + printable(expected, 400));
    }
  } else if (const std::string started = observation.programName + ": Gestartet";
             !out.starts_with(started) || (out.size() > started.size() && out[started.size()] != '\n')) {
    // Killed or crashed: what it wrote must still begin as a run begins.
    found.push_back("standard output does not start with the start message: " + printable(out));
  }
  for (const std::string* stream : {&out, &observation.run.err}) {
    if (!stream->empty() && (stream->back() == '\n' || stream->back() == '\r')) {
      found.push_back(std::string(stream == &out ? "standard output" : "standard error") +
                      " ends with a line end");
    }
  }
}

bool finiteNumber(const SqlValue& value) {
  if (value.kind == SqlValue::Kind::Integer) return true;
  return value.kind == SqlValue::Kind::Real && std::isfinite(value.real);
}

bool wholeNotNegative(const SqlValue& value) {
  return value.kind == SqlValue::Kind::Integer && value.integer >= 0;
}

void checkStoredRows(const std::vector<SqlRow>& rows, Violations& found) {
  for (const SqlRow& row : rows) {
    if (!finiteNumber(row[0]) || !wholeNotNegative(row[1]) || !finiteNumber(row[2])) {
      found.push_back("success stored a row (Termin, LosGröße, Kosten) that is not a plannable lot: " +
                      rowText(row));
      return;
    }
  }
}

/// `text` (already on one line) cut to a length that fits a report line.
std::string shortened(const std::string& text) {
  return text.size() > 160 ? text.substr(0, 160) + "..." : text;
}

/// The first row where `before` and `after` differ, described; empty when equal.
std::string firstDifference(const std::vector<SqlRow>& before, const std::vector<SqlRow>& after) {
  for (std::size_t i = 0; i < std::max(before.size(), after.size()); ++i) {
    if (i < before.size() && i < after.size() && before[i] == after[i]) continue;
    const std::string was = i < before.size() ? rowText(before[i]) : "none";
    const std::string is = i < after.size() ? rowText(after[i]) : "none";
    return std::to_string(before.size()) + " rows before, " + std::to_string(after.size()) + " after; row " +
           std::to_string(i + 1) + " was " + shortened(was) + ", is " + shortened(is);
  }
  return {};
}

void checkRows(const Observation& observation, Violations& found) {
  if (const std::string change = firstDifference(observation.before.others, observation.after.others);
      !change.empty()) {
    found.push_back("rows of other demands changed: " + change);
  }
  const int status = observation.run.timedOut ? -1 : observation.run.exitStatus;
  if (status == 1) {
    if (const std::string change = firstDifference(observation.before.planned, observation.after.planned);
        !change.empty()) {
      found.push_back("failure changed the demand's rows: " + change);
    }
  } else if (status == 0) {
    checkStoredRows(observation.after.planned, found);
  }
}

void checkOutcome(const Observation& observation, Violations& found) {
  const test::ChildResult& run = observation.run;
  if (run.timedOut) return;
  if (run.exitStatus == 1 && run.err.empty())
    found.push_back("exit status 1 without a message on standard error");
  if (run.exitStatus == 0 && !observation.headerExists)
    found.push_back("a demand without header row was planned");
}

}  // namespace

LotRows readLotRows(SqliteFile& db, const std::string& key) {
  LotRows rows;
  for (SqlRow& row : db.rows("select Bedarf, Termin, LosGröße, Kosten from LosGröße order by rowid")) {
    if (row[0].isText(key)) {
      rows.planned.push_back(SqlRow(row.begin() + 1, row.end()));
    } else {
      rows.others.push_back(std::move(row));
    }
  }
  return rows;
}

bool hasHeader(SqliteFile& db, const std::string& key) {
  return !db.rows("select 1 from Bedarf where Bedarf = ?1", {SqlValue::text(key)}).empty();
}

std::string rowText(const SqlRow& row) {
  std::string text = "(";
  for (std::size_t i = 0; i < row.size(); ++i) text += (i ? ", " : "") + describe(row[i]);
  return text + ")";
}

std::vector<std::string> findViolations(const Observation& observation) {
  Violations found;
  checkExit(observation.run, found);
  checkStandardError(observation.run.err, found);
  checkStandardOutput(observation, found);
  checkOutcome(observation, found);
  checkRows(observation, found);
  return found;
}

std::string printable(std::string_view text, std::size_t maxBytes) {
  std::string result;
  for (const char c : text.substr(0, maxBytes)) {
    if (isControl(c) || c == '\\') {
      char escape[8];
      std::snprintf(escape, sizeof escape, "\\x%02x", static_cast<unsigned char>(c));
      result += escape;
    } else {
      result += c;
    }
  }
  if (text.size() > maxBytes) result += "...";
  return result;
}

}  // namespace mrp::fuzz
