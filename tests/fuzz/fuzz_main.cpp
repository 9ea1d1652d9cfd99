// lotsizing_fuzz: runs the built lotsizing program on generated hostile
// planning databases, one per seed, and checks what every run must keep; with
// --mode batch, lotsizing-batch on such a database with hostile keys files and
// logs for --resume.
//
//   lotsizing_fuzz [--mode single|batch] [--from S] [--to E] [--keep DIR] [--program PATH] [--jobs N]
//
// Exit status 0 when every seed passed, 1 when any failed, 2 on a usage error.
// Needs the data source lsz_sqlite: from the odbc.ini in ODBCINI, or else its own.
#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <optional>
#include <stdexcept>
#include <string>

#include "campaign.h"

namespace {

using mrp::fuzz::CampaignOptions;

constexpr const char* kUsage =
    "usage: lotsizing_fuzz [--mode single|batch] [--from S] [--to E] [--keep DIR] [--program PATH] [--jobs "
    "N]";

std::uint64_t number(const std::string& text) {
  std::size_t used = 0;
  const unsigned long long value = std::stoull(text, &used);
  if (used != text.size() || text.front() == '-') throw std::invalid_argument(text);
  return value;
}

CampaignOptions defaults() {
  CampaignOptions options;
  options.schemaFile = std::filesystem::path(LOTSIZING_SOURCE_DIR) / "sql" / "schema.sql";
  return options;
}

/// The options of the command line; nothing when they are not understood.
std::optional<CampaignOptions> parse(int argc, char** argv) {
  CampaignOptions options = defaults();
  for (int i = 1; i < argc; i += 2) {
    if (i + 1 >= argc) return std::nullopt;
    const std::string name = argv[i];
    const std::string value = argv[i + 1];
    if (name == "--mode" && (value == "single" || value == "batch")) {
      options.mode = value == "batch" ? CampaignOptions::Mode::Batch : CampaignOptions::Mode::Single;
    } else if (name == "--from") {
      options.from = number(value);
    } else if (name == "--to") {
      options.to = number(value);
    } else if (name == "--keep") {
      options.keep = value;
    } else if (name == "--program") {
      options.program = value;
    } else if (name == "--jobs") {
      options.jobs = static_cast<unsigned>(number(value));
    } else {
      return std::nullopt;
    }
  }
  if (options.program.empty()) {
    options.program =
        options.mode == CampaignOptions::Mode::Batch ? LOTSIZING_BATCH_BINARY : LOTSIZING_BINARY;
  }
  // Argument 0 of every run, and the reproductions, name the program by its full path.
  options.program = std::filesystem::absolute(options.program).string();
  if (options.jobs == 0 || options.from > options.to) return std::nullopt;
  return options;
}

}  // namespace

int main(int argc, char** argv) {
  std::optional<CampaignOptions> options;
  try {
    options = parse(argc, argv);
  } catch (const std::exception&) {
    options.reset();
  }
  if (!options) {
    std::cerr << kUsage << '\n';
    return 2;
  }
  try {
    return mrp::fuzz::runCampaign(*options, std::cout) == 0 ? EXIT_SUCCESS : EXIT_FAILURE;
  } catch (const std::exception& error) {
    std::cerr << "lotsizing_fuzz: " << error.what() << '\n';
    return 2;
  }
}
