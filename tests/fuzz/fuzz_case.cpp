#include "fuzz_case.h"

#include "database_generator.h"
#include "invariants.h"
#include "plan_oracle.h"
#include "sqlite_file.h"

namespace mrp::fuzz {
namespace {

/// What the database held before the run.
struct BeforeRun {
  LotRows rows;
  bool headerExists = false;
};

BeforeRun inspect(const std::filesystem::path& file, const std::string& key) {
  SqliteFile db(file);  // closed again before the program opens the file
  return {readLotRows(db, key), hasHeader(db, key)};
}

LotRows rowsAfter(const std::filesystem::path& file, const std::string& key) {
  SqliteFile db(file);
  return readLotRows(db, key);
}

/// Removes the case's database however the case ends.
class CaseDatabase {
 public:
  explicit CaseDatabase(std::filesystem::path file) : file_(std::move(file)) { removeDatabase(file_); }
  ~CaseDatabase() { removeDatabase(file_); }
  CaseDatabase(const CaseDatabase&) = delete;
  CaseDatabase& operator=(const CaseDatabase&) = delete;
  const std::filesystem::path& file() const noexcept { return file_; }

 private:
  std::filesystem::path file_;
};

}  // namespace

std::string dataSourceFor(const std::filesystem::path& file) {
  return "lsz_sqlite;Database=" + file.string();
}

test::ChildResult runProgram(const CaseSetup& setup, std::vector<std::string> argv) {
  test::ChildOptions options;
  options.argv = std::move(argv);
  options.program = setup.program;
  options.in = test::Stream::null();
  options.timeLimit = setup.timeLimit;
  return test::runChild(options);
}

CaseOutcome runCase(const CaseSetup& setup, std::uint64_t seed) {
  const CaseDatabase database(setup.folder / ("s" + std::to_string(seed) + ".db"));
  const GeneratedDatabase generated = generateDatabase(seed, database.file(), setup.schema);
  const BeforeRun before = inspect(database.file(), generated.runKey);
  const std::string dataSource = dataSourceFor(database.file());
  const Expectation expected = expectRun(*setup.environment, dataSource, generated.runKey);

  Observation observation;
  observation.programName = setup.program;
  observation.dataSource = dataSource;
  observation.demandKey = generated.runKey;
  observation.run = runProgram(setup, {setup.program, dataSource, generated.runKey});
  observation.headerExists = before.headerExists;
  observation.before = before.rows;
  observation.after = rowsAfter(database.file(), generated.runKey);

  CaseOutcome outcome;
  outcome.seed = seed;
  outcome.runKey = generated.runKey;
  outcome.exitStatus = observation.run.exitStatus;
  outcome.timedOut = observation.run.timedOut;
  outcome.elapsed = observation.run.elapsed;
  outcome.violations = findViolations(observation);
  for (std::string& departure : findDepartures(observation, expected))
    outcome.violations.push_back(std::move(departure));
  return outcome;
}

}  // namespace mrp::fuzz
