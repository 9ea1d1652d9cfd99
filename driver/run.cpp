// The run sequence: start message, argument check, database line, ODBC
// environment, the guarded job and the closing message. Only this routine
// catches the failures of the job.
#include "driver/run.h"

#include <cstdio>
#include <exception>
#include <iostream>
#include <new>

#include "cli/connection_string.h"
#include "cli/guarded_run.h"
#include "db/connection.h"
#include "db/database_error.h"
#include "db/odbc_environment.h"
#include "driver/console.h"
#include "lotsizing/demand_run.h"
#include "platform/character_locale.h"

namespace mrp {
namespace {

constexpr int kExitSuccess = 0;
constexpr int kExitFailure = 1;

/// The job between opening and closing the connection; false when the demand
/// was refused.
bool runJob(const OdbcEnvironment& environment, const std::string& connectionString, const char* demandKey) {
  Connection connection(environment, connectionString);
  ConsoleSink sink;
  if (!planDemand(connection, demandKey, sink).plan) return false;
  connection.close();
  return true;
}

int finishFailed(const char* programName) {
  newLine(std::cout);
  std::cout << programName << "\a: Fehlerhaft beendet!" << std::flush;
  return kExitFailure;
}

int finishSucceeded(const char* programName) {
  newLine(std::cout);
  std::cout << programName << ": Erfolgreich abgeschlossen." << std::flush;
  return kExitSuccess;
}

/// Runs the job; reports a failure in one banner line. True when the demand
/// was planned and stored.
bool runJobGuarded(const OdbcEnvironment& environment, const std::string& connectionString,
                   const char* demandKey) {
  // A refused demand's reasons have been written already.
  return runGuarded([&] { return runJob(environment, connectionString, demandKey); },
                    [](const Failure& failure) {
                      printErrorBanner(failure.kind == Failure::Kind::OutOfMemory
                                           ? "Nicht genug Arbeitsspeicher"
                                           : failure.text);
                      return false;
                    });
}

}  // namespace

int runLotSizing(int argc, char** argv) {
  setUpConsoleStreams();
  // Drivers convert texts in the locale that the environment names; cron and
  // systemd name none.
  requireUtf8CharacterType();
  const char* programName = argc > 0 && argv[0] ? argv[0] : "";
  std::cout << programName << ": Gestartet" << std::flush;

  if (argc <= 2) {
    printErrorBanner(std::string(programName) + ": Aufruf mit 2 Argument(en): <ODBC-Verbindung> <Bedarf>");
    return finishFailed(programName);
  }
  const char* dataSourceName = argv[1];
  const char* demandKey = argv[2];

  printProgress(std::string("Datenbank: ") + dataSourceName + "   Bedarf: " + demandKey);
  const std::string connectionString = connectionStringFor(dataSourceName);

  std::unique_ptr<OdbcEnvironment> environment = OdbcEnvironment::allocate();
  if (!environment) return finishFailed(programName);
  if (!runJobGuarded(*environment, connectionString, demandKey)) return finishFailed(programName);
  environment.reset();
  return finishSucceeded(programName);
}

}  // namespace mrp
