#include "batch_case.h"

#include <fstream>
#include <stdexcept>
#include <vector>

#include "batch_checks.h"
#include "batch_inputs.h"
#include "campaign.h"
#include "database_generator.h"
#include "support/helpers.h"

namespace mrp::fuzz {
namespace {

/// The files of one seed.
struct CaseFiles {
  std::filesystem::path database;
  std::filesystem::path keys;
  std::filesystem::path textLog;
  std::filesystem::path jsonLog;
};

CaseFiles filesIn(const std::filesystem::path& folder, const std::string& stem) {
  return {folder / (stem + ".db"), folder / (stem + ".keys"), folder / (stem + ".log"),
          folder / (stem + ".jsonl")};
}

/// Generates the database, the keys file and the logs of `seed`.
BatchInputs writeInputs(const CaseSetup& setup, std::uint64_t seed, const CaseFiles& files) {
  removeDatabase(files.database);
  const GeneratedDatabase generated = generateDatabase(seed, files.database, setup.schema);
  BatchInputs inputs = hostileBatchInputs(seed, generated.demandKeys);
  test::writeFile(files.keys, inputs.keysFile);
  test::writeFile(files.textLog, inputs.textLog.bytes);
  test::writeFile(files.jsonLog, inputs.jsonLog.bytes);
  return inputs;
}

/// One run of the batch: its options and where its log goes.
struct RunPlan {
  std::string name;
  std::vector<std::string> options;
  const std::filesystem::path* log = nullptr;  // none: standard output
  const ResumeLog* resumed = nullptr;
  bool json = false;
  bool dryRun = false;
};

std::vector<RunPlan> plansFor(const BatchInputs& inputs, const CaseFiles& files) {
  const std::string jobs = std::to_string(inputs.jobs);
  const std::string keys = files.keys.string();
  std::vector<RunPlan> plans = {
      {"run 1 (text log on standard output)",
       {"--keys", keys, "--jobs", jobs},
       nullptr,
       nullptr,
       false,
       false},
      {"run 2 (--json --resume)",
       {"--keys", keys, "--jobs", jobs, "--json", "--resume", "--log", files.jsonLog.string()},
       &files.jsonLog,
       &inputs.jsonLog,
       true,
       false},
      {inputs.dryRun ? "run 3 (--resume --dry-run)" : "run 3 (--resume)",
       {"--keys", keys, "--jobs", jobs, "--resume", "--log", files.textLog.string()},
       &files.textLog,
       &inputs.textLog,
       false,
       inputs.dryRun},
  };
  if (inputs.dryRun) plans.back().options.push_back("--dry-run");
  return plans;
}

LotsByKey lotsIn(const std::filesystem::path& database) {
  SqliteFile db(database);  // closed again before the program opens the file
  return lotsByKey(db);
}

/// Runs `plan` and checks it; adds its violations to `outcome`.
void runAndCheck(const CaseSetup& setup, const CaseFiles& files, const BatchInputs& inputs,
                 const RunPlan& plan, CaseOutcome& outcome) {
  BatchObservation observation;
  observation.name = plan.name;
  observation.json = plan.json;
  observation.dryRun = plan.dryRun;
  observation.keysFile = linesOfKeysFile(inputs.keysFile);
  observation.done = plan.resumed ? &plan.resumed->done : nullptr;
  observation.before = lotsIn(files.database);
  std::vector<std::string> argv = {setup.program, dataSourceFor(files.database)};
  argv.insert(argv.end(), plan.options.begin(), plan.options.end());
  observation.run = runProgram(setup, argv);
  observation.after = lotsIn(files.database);
  if (plan.log) {
    const std::string log = test::readFile(*plan.log);
    const std::string& preset = plan.resumed->bytes;
    if (!log.starts_with(preset))
      outcome.violations.push_back(plan.name + ": the log's earlier lines changed");
    observation.written = log.substr(std::min(preset.size(), log.size()));
  } else {
    observation.written = observation.run.out;
  }
  for (std::string& violation : findBatchViolations(observation))
    outcome.violations.push_back(std::move(violation));
  if (outcome.exitStatus < 0 || observation.run.exitStatus > 1)
    outcome.exitStatus = observation.run.exitStatus;
  outcome.timedOut = outcome.timedOut || observation.run.timedOut;
  outcome.elapsed += observation.run.elapsed;
}

/// Removes the case's files however the case ends.
class CaseFolder {
 public:
  explicit CaseFolder(CaseFiles files) : files_(std::move(files)) {}
  ~CaseFolder() {
    removeDatabase(files_.database);
    std::error_code ignored;
    for (const auto* file : {&files_.keys, &files_.textLog, &files_.jsonLog})
      std::filesystem::remove(*file, ignored);
  }
  CaseFolder(const CaseFolder&) = delete;
  CaseFolder& operator=(const CaseFolder&) = delete;
  const CaseFiles& files() const noexcept { return files_; }

 private:
  CaseFiles files_;
};

}  // namespace

CaseOutcome runBatchCase(const CaseSetup& setup, std::uint64_t seed) {
  const CaseFolder folder(filesIn(setup.folder, "b" + std::to_string(seed)));
  const BatchInputs inputs = writeInputs(setup, seed, folder.files());
  CaseOutcome outcome;
  outcome.seed = seed;
  for (const RunPlan& plan : plansFor(inputs, folder.files()))
    runAndCheck(setup, folder.files(), inputs, plan, outcome);
  return outcome;
}

std::string keepBatchCase(const CaseSetup& setup, std::uint64_t seed, const std::filesystem::path& folder,
                          const std::filesystem::path& odbcIni) {
  std::filesystem::create_directories(folder);
  const CaseFiles files = filesIn(std::filesystem::absolute(folder), "batch-seed-" + std::to_string(seed));
  const BatchInputs inputs = writeInputs(setup, seed, files);
  const std::filesystem::path script =
      files.database.parent_path() / ("batch-seed-" + std::to_string(seed) + ".sh");
  std::ofstream out(script, std::ios::trunc);
  out << "#!/bin/sh\n# The runs of lotsizing_fuzz --mode batch, seed " << seed
      << ", in order. They change the database and append to the logs: run lotsizing_fuzz again for fresh "
         "files.\n"
      << "export ODBCINI=" << shellQuoted(odbcIni.string()) << "\n";
  for (const RunPlan& plan : plansFor(inputs, files)) {
    out << "# " << plan.name << "\n"
        << shellQuoted(setup.program) << " " << shellQuoted(dataSourceFor(files.database));
    for (const std::string& option : plan.options) out << " " << shellQuoted(option);
    out << "\necho \"exit status $?\"\n";
  }
  out.close();
  if (!out) throw std::runtime_error("cannot write " + script.string());
  return "sh " + shellQuoted(script.string());
}

}  // namespace mrp::fuzz
