// What every run of the program must keep, whatever the database holds (as
// README.md promises it):
//   - it ends within the time limit with exit status 0 or 1;
//   - standard error is empty or a sequence of lines, each "\n", the opening
//     mark, a text without control bytes and the closing mark;
//   - standard output holds the progress lines and nothing else:
//     "<argv0>: Gestartet", "\nDatenbank: <data source>   Bedarf: <key>" (code
//     page 850) and "\n" and the closing message that matches the exit status;
//     no output ends with a line end;
//   - a failure (exit status 1) says why on standard error;
//   - a demand without header row is refused;
//   - after a success every stored row of the demand has a finite Termin and
//     Kosten and a lot size that is a whole number of at least 0 (old rows
//     carry values that are none of these, so none may be left);
//   - after a failure the demand's rows are exactly as they were;
//   - the rows of every other demand never change.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "sqlite_file.h"
#include "support/child_process.h"

namespace mrp::fuzz {

/// The LosGröße table in rowid order, split by demand key.
struct LotRows {
  std::vector<SqlRow> planned;  // (Termin, LosGröße, Kosten) of the planned key
  std::vector<SqlRow> others;   // (Bedarf, Termin, LosGröße, Kosten) of every other key
};

LotRows readLotRows(SqliteFile& db, const std::string& key);
bool hasHeader(SqliteFile& db, const std::string& key);

/// The frame of every line on standard error.
inline constexpr std::string_view kBannerOpen = "______>>>>>>>>>______ \a";
inline constexpr std::string_view kBannerClose = " ______<<<<<<<<<______";

struct Observation {
  std::string programName;  // argument 0 of the run
  std::string dataSource;   // argument 1
  std::string demandKey;    // argument 2
  test::ChildResult run;
  bool headerExists = false;
  LotRows before;
  LotRows after;
};

/// One line per broken invariant; empty when the run kept them all.
std::vector<std::string> findViolations(const Observation& observation);

/// The row as "(value, value, ...)".
std::string rowText(const SqlRow& row);

/// `text` on one line: control bytes and backslashes escaped, cut after `maxBytes`.
std::string printable(std::string_view text, std::size_t maxBytes = 200);

}  // namespace mrp::fuzz
