// One seed of the batch campaign: generate its database (database_generator.h)
// and its hostile keys file and logs (batch_inputs.h), run lotsizing-batch
// three times on them - text log on standard output; --json --resume on the
// JSON log; --resume (half of the time a dry run) on the text log - and check
// each run (batch_checks.h).
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>

#include "fuzz_case.h"

namespace mrp::fuzz {

/// `setup.program` is the built lotsizing-batch.
CaseOutcome runBatchCase(const CaseSetup& setup, std::uint64_t seed);

/// Writes the files of `seed` as they were before its runs into `folder`, with
/// a script that repeats the runs; returns the command that runs the script.
std::string keepBatchCase(const CaseSetup& setup, std::uint64_t seed, const std::filesystem::path& folder,
                          const std::filesystem::path& odbcIni);

}  // namespace mrp::fuzz
