// The three programs work on every driver whatever locale the process gets:
// cron and systemd start them without any, and a LANG may name a locale that
// is not installed or one with an 8-bit code set. The console bytes and the
// rows are those of a run under the tests' own environment.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <filesystem>
#include <regex>
#include <string>
#include <vector>

#include "support/helpers.h"
#include "support/process.h"
#include "support/test_database.h"

namespace mrp {
namespace {

using test::Backend;
using test::RunResult;
using test::TestDatabase;
using Rows = std::vector<std::vector<std::string>>;

/// The variables every child keeps: the data sources and, in the sanitizer
/// build, what the sanitizers need.
std::vector<std::string> keptVariables() {
  std::vector<std::string> kept;
  for (const char* name :
       {"ODBCINI", "ODBCSYSINI", "ASAN_OPTIONS", "LSAN_OPTIONS", "UBSAN_OPTIONS", "LD_PRELOAD"}) {
    if (const char* value = getenv(name)) kept.push_back(std::string(name) + "=" + value);
  }
  return kept;
}

/// A German locale with ISO-8859-1, compiled into a folder of the test's
/// (LOCPATH) from the installed sources; empty when they are not installed.
std::string latin1LocaleFolder() {
  const std::string folder = test::scratchFolder() + "/locales";
  if (std::filesystem::exists(folder + "/de_DE.ISO-8859-1")) return folder;
  if (!std::filesystem::exists("/usr/share/i18n/locales/de_DE")) return {};
  std::filesystem::create_directories(folder);
  const RunResult made =
      test::runCommand({"localedef", "-i", "de_DE", "-f", "ISO-8859-1", folder + "/de_DE.ISO-8859-1"});
  return made.exitStatus == 0 ? folder : std::string();
}

/// The locale settings to try, each a list of variables.
std::vector<std::vector<std::string>> localeSettings() {
  std::vector<std::vector<std::string>> settings = {{},
                                                    {"LANG=C"},
                                                    {"LANG=POSIX"},
                                                    {"LC_ALL=C"},
                                                    {"LANG=xx_YY.UTF-8"},
                                                    {"LC_ALL=de_DE.ISO-8859-1"},
                                                    {"LANG=C.UTF-8", "LC_CTYPE=C"}};
  const std::string folder = latin1LocaleFolder();
  EXPECT_FALSE(folder.empty()) << "no 8-bit locale could be made (the package locales has its sources)";
  if (!folder.empty()) settings.push_back({"LOCPATH=" + folder, "LANG=de_DE.ISO-8859-1"});
  return settings;
}

/// `argv` run under only the kept variables and `locale`.
RunResult runUnder(const std::vector<std::string>& locale, const std::vector<std::string>& argv) {
  test::ChildOptions child;
  child.argv = argv;
  child.replaceEnvironment = true;
  std::vector<std::string> variables = keptVariables();
  variables.insert(variables.end(), locale.begin(), locale.end());
  for (const std::string& variable : variables) {
    const auto equals = variable.find('=');
    child.environment.emplace_back(variable.substr(0, equals), variable.substr(equals + 1));
  }
  return test::runChild(child);
}

/// A batch log without what differs from run to run: times and durations.
std::string withoutTimes(const std::string& log) {
  static const std::regex times(R"(\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d\.\d{3}Z|ms=[0-9.]+|elapsed=.*)");
  return std::regex_replace(log, times, "");
}

class AnyLocale : public testing::TestWithParam<Backend> {};

TEST_P(AnyLocale, EveryProgramWritesTheSameBytesAndRows) {
  TestDatabase db(GetParam());
  db.exec(test::exampleData());
  db.exec(
      "insert into Bedarf values ('Mängel','2024-01-01 00:00:00',1,'Prüfung');"
      "insert into UmrechnungsFaktor(Bedarf,Umrechnung,UmrechnungsFaktor) values "
      "('Mängel','PeriodenLänge',1),('Mängel','ZinsJahr',360),('Mängel','Währung',1),"
      "('Mängel','LosRaster',1),('Mängel','RüstKosten',1),('Mängel','Zinsjahr',1);"
      "insert into Parameter(Bedarf,Periode,Parameter,Wert) values "
      "('Mängel',1,'LosRaster',2.5),('Mängel',1,'RüstKosten',40),('Mängel',1,'Größe',1);"
      "insert into Termin(Bedarf,Termin,Menge) values "
      "('Mängel','2024-01-01 08:00:00',3),('Mängel','2024-01-03 08:00:00',4);");
  const std::string dsn = db.dataSourceName();
  const std::vector<std::vector<std::string>> commands = {
      {LOTSIZING_BINARY, dsn, "WW1958"},
      {LOTSIZING_BINARY, dsn, "M\xC3\xA4ngel"},
      {LOTSIZING_BATCH_BINARY, dsn, "--jobs", "1"},
      {LOTSIZING_REPORT_BINARY, dsn, "M\xC3\xA4ngel"},
      {LOTSIZING_REPORT_BINARY, dsn, "PUMPE-4711"},
  };
  const auto rowsNow = [&] {
    return db.rows("select Bedarf,Termin,LosGröße,Kosten from LosGröße order by Bedarf,Termin");
  };
  std::vector<RunResult> expected;
  for (const auto& command : commands) expected.push_back(test::runCommand(command));
  const Rows expectedRows = rowsNow();
  ASSERT_EQ(expected[0].exitStatus, 0) << expected[0].err;
  ASSERT_NE(expected[1].err.find("Unbekannter Parameter: Gr\x94\xE1"
                                 "e"),
            std::string::npos)
      << expected[1].err;

  for (const auto& locale : localeSettings()) {
    SCOPED_TRACE("env -i " + testing::PrintToString(locale));
    for (std::size_t c = 0; c < commands.size(); ++c) {
      const RunResult run = runUnder(locale, commands[c]);
      EXPECT_EQ(run.exitStatus, expected[c].exitStatus) << commands[c][0] << ": " << run.err;
      EXPECT_EQ(withoutTimes(run.out), withoutTimes(expected[c].out)) << commands[c][0];
      EXPECT_EQ(run.err, expected[c].err) << commands[c][0];
    }
    EXPECT_EQ(rowsNow(), expectedRows);
  }
}

INSTANTIATE_TEST_SUITE_P(Drivers, AnyLocale, testing::ValuesIn(test::allBackends()),
                         [](const auto& info) { return test::backendName(info.param); });

}  // namespace
}  // namespace mrp
