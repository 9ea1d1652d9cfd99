// What every run of lotsizing-batch must keep, whatever its keys file and its
// log for --resume hold (as README.md promises it):
//   - it ends within the time limit with a documented exit status (0 to 4),
//     never killed by a signal;
//   - standard error is UTF-8, every line a message of the program;
//   - every line of the keys file with a NUL byte or bytes that are not UTF-8
//     is named on standard error, and then the exit status is not 0;
//   - what the run adds to its log is UTF-8, one entry a line, each starting
//     with its time (text) or a JSON value (--json);
//   - every key the run logs an outcome for is exactly a key line of the keys
//     file, and a resumed run takes none that valid entries of the latest
//     batch in the log planned or refused;
//   - rows change only for keys the run planned, none in a dry run.
#pragma once

#include <map>
#include <set>
#include <string>
#include <vector>

#include "batch_inputs.h"
#include "sqlite_file.h"
#include "support/child_process.h"

namespace mrp::fuzz {

/// The LosGröße rows of every key, each key's rows in rowid order. A key that
/// is no text is named by its description after a byte 0x01.
using LotsByKey = std::map<std::string, std::vector<SqlRow>>;
LotsByKey lotsByKey(SqliteFile& db);

struct BatchObservation {
  std::string name;  // which run, for the messages
  test::ChildResult run;
  bool json = false;
  bool dryRun = false;
  std::string written;                          // what the run added to its log
  KeysFileLines keysFile;                       // what its keys file names
  const std::set<std::string>* done = nullptr;  // for --resume: what it must leave out
  LotsByKey before;
  LotsByKey after;
};

/// One line per broken invariant, each starting with the run's name.
std::vector<std::string> findBatchViolations(const BatchObservation& observation);

}  // namespace mrp::fuzz
