// A campaign: every seed of a range as one case (fuzz_case.h), several at a
// time. Each violation is printed as one line with the seed and a one-line
// reproduction; the database of a failing seed is generated once more, as it
// was before the run, into the keep folder, with the odbc.ini the reproduction
// names and a README listing the lines. At the end: counts and timing, then
// "N passed, M failed".
#pragma once

#include <cstdint>
#include <filesystem>
#include <iosfwd>
#include <string>

namespace mrp::fuzz {

struct CampaignOptions {
  /// Single: lotsizing plans one demand per seed. Batch: lotsizing-batch runs
  /// on hostile keys files and logs (batch_case.h).
  enum class Mode { Single, Batch };
  Mode mode = Mode::Single;
  std::uint64_t from = 1;
  std::uint64_t to = 100;
  std::filesystem::path keep = "fuzz-failures";
  std::string program;
  std::filesystem::path schemaFile;
  unsigned jobs = 1;
};

/// Runs the campaign, reporting to `out`; the number of failed seeds.
std::uint64_t runCampaign(const CampaignOptions& options, std::ostream& out);

/// `text` as one shell word on one line: '...' or, with control bytes or quotes, $'...'.
std::string shellQuoted(const std::string& text);

}  // namespace mrp::fuzz
