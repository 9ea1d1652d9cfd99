// The scale-out recipes of docs/ run the way their engines run them: the
// Kubernetes CronJob's container command once per completion index of its
// Indexed Job, the Slurm script once per task of its array, each with the
// built lotsizing-batch in place of /usr/bin/lotsizing-batch, against one
// SQLite planning database named by the data source the recipes name. Their
// shards together must plan every demand exactly once, and a shard whose
// demands are refused for their data counts as done.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <map>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "support/helpers.h"
#include "support/process.h"
#include "support/test_database.h"

namespace mrp {
namespace {

using test::EnvironmentOverrides;
using test::RunResult;
using test::TestDatabase;

const std::string kInstalledProgram = "/usr/bin/lotsizing-batch";
const std::string kRefusedKey = "OHNE-ZINSJAHR";

std::string docsFile(const std::string& name) { return std::string(LOTSIZING_SOURCE_DIR) + "/docs/" + name; }

/// `text` with every `from` replaced by `to`.
std::string replaceAll(std::string text, const std::string& from, const std::string& to) {
  for (auto at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size()))
    text.replace(at, from.size(), to);
  return text;
}

/// `environment` with `name` set to `value`, replacing an earlier setting.
void setVariable(EnvironmentOverrides& environment, const std::string& name, const std::string& value) {
  for (auto& [existing, old] : environment) {
    if (existing == name) {
      old = value;
      return;
    }
  }
  environment.emplace_back(name, value);
}

/// Thirty plannable demands and one that is refused (no interest year).
std::vector<std::string> fillPlanningDatabase(TestDatabase& db) {
  std::vector<std::string> keys;
  std::string sql;
  const auto demand = [&](const std::string& key, bool interestYear) {
    keys.push_back(key);
    sql += "insert into Bedarf values ('" + key + "','2027-01-04 00:00:00',1,NULL);";
    sql += "insert into UmrechnungsFaktor(Bedarf,Umrechnung,UmrechnungsFaktor) values ('" + key +
           "','PeriodenLänge',1),('" + key + "','Währung',1),('" + key + "','RüstKosten',1),('" + key +
           "','StückKosten',1),('" + key + "','LosRaster',1),('" + key + "','KapitalbindungsZinssatz',1)" +
           (interestYear ? ",('" + key + "','ZinsJahr',360);" : ";");
    sql += "insert into Parameter(Bedarf,Periode,Parameter,Wert) values ('" + key +
           "',1,'RüstKosten',50),('" + key + "',1,'StückKosten',360),('" + key + "',1,'LosRaster',1),('" +
           key + "',1,'KapitalbindungsZinssatz',0.5);";
    for (int day = 4; day < 12; ++day) {
      sql += "insert into Termin(Bedarf,Termin,Menge) values ('" + key + "','2027-01-" +
             (day < 10 ? "0" : "") + std::to_string(day) + " 08:00:00'," + std::to_string(5 + day * 7 % 13) +
             ");";
    }
  };
  for (int n = 1; n <= 30; ++n) demand("D" + std::to_string(100 + n), true);
  demand(kRefusedKey, false);
  db.exec(sql);
  return keys;
}

/// An odbc.ini naming `db` as the data source Lager, which the recipes plan.
std::string dataSourceFile(const TestDatabase& db) {
  const std::string path = test::scratchFolder() + "/scale_out_" + std::to_string(::getpid()) + ".ini";
  test::writeFile(path, "[Lager]\nDriver = lsz SQLite3\nDatabase = " + db.name() + "\nTimeout = 100000\n");
  return path;
}

/// Counts the outcomes of every demand in a text log: key -> outcome -> times.
/// The keys here hold no quote or escape.
void countOutcomes(const std::string& log, std::map<std::string, std::map<std::string, int>>& outcomes) {
  static const std::regex entry(R"re(^\S+ "([^"]*)" (planned|refused|failed) )re");
  std::istringstream lines(log);
  std::smatch match;
  for (std::string line; std::getline(lines, line);) {
    if (std::regex_search(line, match, entry)) ++outcomes[match[1]][match[2]];
  }
}

/// Every demand planned exactly once over all shards, the refused one refused
/// once, and the lots of every planned demand stored.
void expectEveryDemandOnce(const std::map<std::string, std::map<std::string, int>>& outcomes,
                           const std::vector<std::string>& keys, TestDatabase& db) {
  std::set<std::string> planned;
  for (const std::string& key : keys) {
    const std::map<std::string, int> expected = {{key == kRefusedKey ? "refused" : "planned", 1}};
    const auto found = outcomes.find(key);
    EXPECT_TRUE(found != outcomes.end() && found->second == expected)
        << key << " was not handled exactly once";
    if (key != kRefusedKey) planned.insert(key);
  }
  EXPECT_EQ(outcomes.size(), keys.size());
  std::set<std::string> stored;
  for (const auto& row : db.rows("select distinct Bedarf from LosGröße")) stored.insert(row.at(0));
  EXPECT_EQ(stored, planned);
}

/// How the CronJob's Indexed Job runs its pods, read with python3-yaml.
struct IndexedJob {
  std::string completionMode;
  int completions = 0;
  int parallelism = 0;
  std::vector<std::string> command;  // the container's command and args
  EnvironmentOverrides environment;  // the container's env
};

/// Prints the fields of the job as NUL-separated name and value pairs.
constexpr const char* kReadCronJob = R"(
import sys, yaml
cronjob = yaml.safe_load(open(sys.argv[1]))
assert cronjob["kind"] == "CronJob", cronjob["kind"]
job = cronjob["spec"]["jobTemplate"]["spec"]
[container] = job["template"]["spec"]["containers"]
fields = [("mode", job.get("completionMode", "NonIndexed")),
          ("completions", job["completions"]), ("parallelism", job["parallelism"])]
fields += [("arg", arg) for arg in container.get("command", []) + container.get("args", [])]
fields += [("env", variable["name"] + "=" + variable["value"]) for variable in container.get("env", [])]
sys.stdout.write("".join(f"{name}\0{value}\0" for name, value in fields))
)";

IndexedJob readCronJob(const std::string& manifest) {
  // Debian's python3 with python3-yaml, whatever python3 comes first on the PATH.
  const RunResult read = test::runCommand({"/usr/bin/python3", "-c", kReadCronJob, manifest});
  if (read.exitStatus != 0) throw std::runtime_error("cannot read " + manifest + ": " + read.err);
  IndexedJob job;
  std::istringstream fields(read.out);
  for (std::string name, value; std::getline(fields, name, '\0') && std::getline(fields, value, '\0');) {
    if (name == "mode") job.completionMode = value;
    if (name == "completions") job.completions = std::stoi(value);
    if (name == "parallelism") job.parallelism = std::stoi(value);
    if (name == "arg") job.command.push_back(value);
    if (name == "env") {
      const auto equals = value.find('=');
      job.environment.emplace_back(value.substr(0, equals), value.substr(equals + 1));
    }
  }
  return job;
}

TEST(ScaleOut, KubernetesIndexedJobPlansEveryDemandOnce) {
  const IndexedJob job = readCronJob(docsFile("kubernetes-cronjob.yaml"));
  EXPECT_EQ(job.completionMode, "Indexed");
  ASSERT_GE(job.completions, 2);
  EXPECT_EQ(job.parallelism, job.completions);
  ASSERT_FALSE(job.command.empty());

  std::vector<std::string> command;
  bool namesProgram = false;
  for (const std::string& arg : job.command) {
    namesProgram = namesProgram || arg.find(kInstalledProgram) != std::string::npos;
    command.push_back(replaceAll(arg, kInstalledProgram, LOTSIZING_BATCH_BINARY));
  }
  ASSERT_TRUE(namesProgram) << "the container command does not run " << kInstalledProgram;

  TestDatabase db(test::Backend::SQLite);
  const std::vector<std::string> keys = fillPlanningDatabase(db);
  EnvironmentOverrides environment = job.environment;
  // The data sources of the mounted Secret.
  setVariable(environment, "ODBCINI", dataSourceFile(db));
  std::map<std::string, std::map<std::string, int>> outcomes;
  for (int index = 0; index < job.completions; ++index) {
    setVariable(environment, "JOB_COMPLETION_INDEX", std::to_string(index));
    const RunResult pod = test::runCommand(command, {}, environment);
    EXPECT_EQ(pod.exitStatus, 0) << "index " << index << ": " << pod.err;
    countOutcomes(pod.out, outcomes);
  }
  expectEveryDemandOnce(outcomes, keys, db);
}

/// The value of `#SBATCH --<option>=<value>` in `script`; empty without one.
std::string sbatchOption(const std::string& script, const std::string& option) {
  const std::regex line("(^|\n)#SBATCH --" + option + "=(\\S+)");
  std::smatch match;
  return std::regex_search(script, match, line) ? match[2].str() : std::string();
}

TEST(ScaleOut, SlurmJobArrayPlansEveryDemandOnce) {
  const std::string original = test::readFile(docsFile("slurm-array.sh"));
  ASSERT_NE(original.find(kInstalledProgram), std::string::npos)
      << "the script does not run " << kInstalledProgram;
  std::smatch range;
  const std::string array = sbatchOption(original, "array");
  ASSERT_TRUE(std::regex_match(array, range, std::regex("1-([0-9]+)"))) << "#SBATCH --array=" << array;
  const int tasks = std::stoi(range[1]);
  ASSERT_GE(tasks, 2);

  const std::string script = test::scratchFolder() + "/slurm_array_" + std::to_string(::getpid()) + ".sh";
  test::writeFile(script, replaceAll(original, kInstalledProgram, LOTSIZING_BATCH_BINARY));
  ASSERT_EQ(::chmod(script.c_str(), 0755), 0);

  TestDatabase db(test::Backend::SQLite);
  const std::vector<std::string> keys = fillPlanningDatabase(db);
  // What Slurm sets for a task of the array.
  EnvironmentOverrides environment = {{"ODBCINI", dataSourceFile(db)},
                                      {"SLURM_ARRAY_JOB_ID", "4711"},
                                      {"SLURM_ARRAY_TASK_COUNT", std::to_string(tasks)},
                                      {"SLURM_ARRAY_TASK_MIN", "1"},
                                      {"SLURM_ARRAY_TASK_MAX", std::to_string(tasks)}};
  if (const std::string cpus = sbatchOption(original, "cpus-per-task"); !cpus.empty())
    setVariable(environment, "SLURM_CPUS_PER_TASK", cpus);
  std::map<std::string, std::map<std::string, int>> outcomes;
  for (int task = 1; task <= tasks; ++task) {
    setVariable(environment, "SLURM_ARRAY_TASK_ID", std::to_string(task));
    const RunResult run = test::runCommand({script}, {}, environment);
    EXPECT_EQ(run.exitStatus, 0) << "task " << task << ": " << run.err;
    countOutcomes(run.out, outcomes);
  }
  ::unlink(script.c_str());
  expectEveryDemandOnce(outcomes, keys, db);
}

}  // namespace
}  // namespace mrp
