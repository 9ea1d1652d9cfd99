#include "campaign.h"

#include <atomic>
#include <cstdio>
#include <fstream>
#include <memory>
#include <mutex>
#include <ostream>
#include <stdexcept>
#include <thread>
#include <vector>

#include "batch_case.h"
#include "database_generator.h"
#include "db/odbc_environment.h"
#include "fuzz_case.h"
#include "sqlite_file.h"
#include "support/helpers.h"
#include "support/scratch_folder.h"

namespace mrp::fuzz {
namespace {

using Clock = std::chrono::steady_clock;

constexpr std::size_t kDataSourceBytes = 119;  // the program cuts its first argument here

/// Collects the outcomes of all threads, prints violations and keeps failing databases.
class Reporter {
 public:
  Reporter(const CampaignOptions& options, const std::string& schema, std::filesystem::path odbcIni,
           std::ostream& out)
      : options_(options), schema_(schema), odbcIni_(std::move(odbcIni)), out_(out) {}

  void record(const CaseOutcome& outcome) {
    std::lock_guard lock(mutex_);
    count(outcome);
    if (!outcome.violations.empty()) report(outcome, keptReproduction(outcome));
  }

  std::uint64_t failed() const { return failed_; }

  void summarize(Clock::duration took) const {
    const double seconds = std::chrono::duration<double>(took).count();
    const std::uint64_t seeds = passed_ + failed_;
    char timing[160];
    std::snprintf(timing, sizeof timing, "%.1f s, %.1f seeds per second; slowest run: seed %llu, %.2f s",
                  seconds, seconds > 0 ? static_cast<double>(seeds) / seconds : 0.0,
                  static_cast<unsigned long long>(slowestSeed_),
                  std::chrono::duration<double>(slowest_).count());
    out_ << "seeds " << options_.from << " to " << options_.to << ": exit status 0: " << succeeded_
         << ", exit status 1: " << refused_ << ", other or killed: " << (seeds - succeeded_ - refused_)
         << "; " << timing << '\n'
         << passed_ << " passed, " << failed_ << " failed" << std::endl;
  }

 private:
  void count(const CaseOutcome& outcome) {
    (outcome.violations.empty() ? passed_ : failed_) += 1;
    if (!outcome.timedOut && outcome.exitStatus == 0) ++succeeded_;
    if (!outcome.timedOut && outcome.exitStatus == 1) ++refused_;
    if (outcome.elapsed > slowest_) {
      slowest_ = outcome.elapsed;
      slowestSeed_ = outcome.seed;
    }
  }

  /// One line per violation, on the output and in the keep folder's README.
  void report(const CaseOutcome& outcome, const std::string& reproduction) {
    std::ofstream readme(options_.keep / "README", std::ios::app);
    if (!headed_) {
      readme << "== lotsizing_fuzz --from " << options_.from << " --to " << options_.to << '\n';
      headed_ = true;
    }
    for (const std::string& violation : outcome.violations) {
      const std::string line =
          "seed " + std::to_string(outcome.seed) + ": " + violation + "; reproduce: " + reproduction;
      out_ << line << std::endl;
      readme << line << '\n';
    }
  }

  /// The reproduction of the kept database; a note instead when it could not be kept.
  std::string keptReproduction(const CaseOutcome& outcome) {
    try {
      return keep(outcome);
    } catch (const std::exception& error) {
      return std::string("(database not kept: ") + error.what() + ")";
    }
  }

  /// Puts the seed's database, as generated, into the keep folder; the reproduction.
  std::string keep(const CaseOutcome& outcome) {
    std::filesystem::create_directories(options_.keep);
    const std::filesystem::path keptIni = std::filesystem::absolute(options_.keep / "odbc.ini");
    if (!std::filesystem::exists(keptIni)) std::filesystem::copy_file(odbcIni_, keptIni);
    if (options_.mode == CampaignOptions::Mode::Batch) {
      return keepBatchCase({options_.program, schema_, options_.keep}, outcome.seed, options_.keep, keptIni);
    }
    const std::filesystem::path keptDb =
        std::filesystem::absolute(options_.keep / ("seed-" + std::to_string(outcome.seed) + ".db"));
    removeDatabase(keptDb);
    generateDatabase(outcome.seed, keptDb, schema_);
    const std::string dataSource = dataSourceFor(keptDb);
    std::string reproduction = "ODBCINI=" + shellQuoted(keptIni.string()) + " " +
                               shellQuoted(options_.program) + " " + shellQuoted(dataSource) + " " +
                               shellQuoted(outcome.runKey);
    if (dataSource.size() > kDataSourceBytes)
      reproduction += "  (path too long for the program: move the file)";
    return reproduction;
  }

  const CampaignOptions& options_;
  const std::string& schema_;
  std::filesystem::path odbcIni_;
  std::ostream& out_;
  std::mutex mutex_;
  bool headed_ = false;  // whether this campaign has written its heading into the README
  std::uint64_t passed_ = 0;
  std::uint64_t failed_ = 0;
  std::uint64_t succeeded_ = 0;
  std::uint64_t refused_ = 0;
  std::chrono::milliseconds slowest_{0};
  std::uint64_t slowestSeed_ = 0;
};

/// Runs one seed; a failure of the fuzzer itself counts as a violation of the seed.
CaseOutcome runGuarded(const CaseSetup& setup, CampaignOptions::Mode mode, std::uint64_t seed) {
  try {
    return mode == CampaignOptions::Mode::Batch ? runBatchCase(setup, seed) : runCase(setup, seed);
  } catch (const std::exception& error) {
    CaseOutcome outcome;
    outcome.seed = seed;
    outcome.violations.push_back(std::string("the fuzzer failed: ") + error.what());
    return outcome;
  }
}

bool validUtf8(const std::string& text) {
  for (std::size_t i = 0; i < text.size();) {
    const auto lead = static_cast<unsigned char>(text[i]);
    const std::size_t length = lead < 0x80                   ? 1
                               : lead >= 0xC2 && lead < 0xE0 ? 2
                               : lead >= 0xE0 && lead < 0xF0 ? 3
                               : lead >= 0xF0 && lead < 0xF5 ? 4
                                                             : 0;
    if (length == 0 || i + length > text.size()) return false;
    for (std::size_t k = 1; k < length; ++k) {
      if ((static_cast<unsigned char>(text[i + k]) & 0xC0) != 0x80) return false;
    }
    i += length;
  }
  return true;
}

}  // namespace

std::string shellQuoted(const std::string& text) {
  const bool utf8 = validUtf8(text);
  bool plain = utf8;
  for (const char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte < 0x20 || byte == 0x7f || c == '\'') plain = false;
  }
  if (plain) return "'" + text + "'";
  std::string quoted = "$'";
  for (const char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    if (c == '\'' || c == '\\') {
      quoted += '\\';
      quoted += c;
    } else if (byte < 0x20 || byte == 0x7f || (byte >= 0x80 && !utf8)) {
      char escape[8];
      std::snprintf(escape, sizeof escape, "\\x%02x", byte);
      quoted += escape;
    } else {
      quoted += c;
    }
  }
  return quoted + "'";
}

std::uint64_t runCampaign(const CampaignOptions& options, std::ostream& out) {
  const std::string schema = test::readFile(options.schemaFile);
  if (schema.empty()) throw std::runtime_error("cannot read " + options.schemaFile.string());
  const test::ScratchFolder scratch("lszf");
  const std::filesystem::path odbcIni = prepareOdbcIni(scratch.path());
  // Allocated once ODBCINI names the campaign's odbc.ini: the driver manager reads it once.
  const std::unique_ptr<OdbcEnvironment> environment = OdbcEnvironment::allocate();
  if (!environment) throw std::runtime_error("cannot allocate an ODBC environment");
  const CaseSetup setup{options.program, schema, scratch.path(), environment.get()};
  Reporter reporter(options, schema, odbcIni, out);

  const Clock::time_point start = Clock::now();
  std::atomic<std::uint64_t> next{options.from};
  const auto work = [&] {
    for (std::uint64_t seed = next++; seed <= options.to; seed = next++)
      reporter.record(runGuarded(setup, options.mode, seed));
  };
  {
    std::vector<std::jthread> workers;
    for (unsigned i = 0; i < options.jobs; ++i) workers.emplace_back(work);
  }
  reporter.summarize(Clock::now() - start);
  return reporter.failed();
}

}  // namespace mrp::fuzz
