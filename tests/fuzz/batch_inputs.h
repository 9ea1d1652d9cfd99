// Hostile inputs of lotsizing-batch for one seed of the batch campaign: a keys
// file and two logs (text and JSON) for --resume.
//
// The keys file mixes keys of the database with near and unknown ones,
// duplicates, overlong keys (up to a few thousand bytes), lines with a NUL byte
// or bytes that are not UTF-8, blank lines and carriage returns. Each log
// holds an earlier batch, then the latest one: valid entries (keys written with
// every escape JSON allows, surrogate pairs among them) between lines that are
// none (malformed escapes, lone surrogates, cut JSON, binary junk, huge lines).
// The same seed gives the same bytes.
#pragma once

#include <cstdint>
#include <set>
#include <string>
#include <vector>

namespace mrp::fuzz {

struct ResumeLog {
  std::string bytes;
  /// Keys that valid entries of the latest batch record as planned or refused:
  /// a resumed batch must leave them out.
  std::set<std::string> done;
};

struct BatchInputs {
  std::string keysFile;  // its bytes
  ResumeLog textLog;
  ResumeLog jsonLog;
  unsigned jobs = 1;
  bool dryRun = false;  // for the text log's resumed run
};

/// The inputs of `seed` for a database whose demands have `demandKeys`.
BatchInputs hostileBatchInputs(std::uint64_t seed, const std::vector<std::string>& demandKeys);

/// The keys that a keys file's bytes name, as the documentation promises:
/// one a line, a carriage return before the line end dropped, empty lines
/// skipped; a line with a NUL byte or bytes that are not UTF-8 is rejected.
struct KeysFileLines {
  std::vector<std::string> keys;
  std::vector<std::size_t> rejected;  // line numbers, from 1
};
KeysFileLines linesOfKeysFile(const std::string& bytes);

}  // namespace mrp::fuzz
