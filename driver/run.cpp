// The run sequence: start message, argument check, database line, platform
// initialisation, the guarded job and the closing message. Only this routine
// catches the failures of the job; every path releases the console texts
// before it returns.
#include "driver/run.h"

#include <cstdio>
#include <iostream>
#include <new>
#include <optional>
#include <string>

#include "db/connection.h"
#include "demand/demand_plan.h"
#include "driver/com_error.h"
#include "driver/console.h"
#include "lotsizing/plan_refusal.h"
#include "platform/odbc_environment.h"

namespace mrp {
namespace {

constexpr int kExitSuccess = 0;
constexpr int kExitFailure = 1;

/// The job between opening and closing the connection. The plan is local here
/// so that a failure destroys it while leaving, before anything is reported.
void runJob(const std::string& connectionString, const char* demandKey) {
  openConnection(connectionString.c_str());
  std::optional<DemandPlan> plan;
  plan.emplace(demandKey);
  plan->compute();
  plan->store();
  closeConnection();
  plan.reset();
}

int finishFailed(const char* programName) {
  newLine(std::cout);
  std::cout << programName << "\a: Fehlerhaft beendet!";
  releaseConsoleTexts();
  return kExitFailure;
}

int finishSucceeded(const char* programName) {
  newLine(std::cout);
  std::cout << programName << ": Erfolgreich abgeschlossen.";
  releaseConsoleTexts();
  return kExitSuccess;
}

}  // namespace

std::string connectionStringFor(const char* dataSourceName) {
  char text[4 + 119 + 1];
  std::snprintf(text, sizeof text, "DSN=%.119s", dataSourceName ? dataSourceName : "");
  return text;
}

int runLotSizing(int argc, char** argv) {
  setUpConsoleStreams();
  const char* programName = argc > 0 && argv[0] ? argv[0] : "";
  std::cout << programName << ": Gestartet";

  if (argc <= 2) {
    printErrorBanner(orNothing(consoleText(
        0, programName, ": Aufruf mit 2 Argument(en): <ODBC-Verbindung> <Bedarf>", "", "", "", "")));
    return finishFailed(programName);
  }
  const char* dataSourceName = argv[1];
  const char* demandKey = argv[2];

  newLine(std::cout);
  std::cout << orNothing(consoleText(0, "Datenbank: ", dataSourceName, "   Bedarf: ", demandKey, "", ""));
  const std::string connectionString = connectionStringFor(dataSourceName);

  if (!initialisePlatform()) return finishFailed(programName);

  try {
    runJob(connectionString, demandKey);
  } catch (const _com_error& error) {
    reportComError(error);
    return finishFailed(programName);
  } catch (const PlanRefused&) {
    // The reasons have been printed in the error banner already.
    return finishFailed(programName);
  } catch (const std::bad_alloc&) {
    printErrorBanner("Nicht genug Arbeitsspeicher");
    return finishFailed(programName);
  }

  uninitialisePlatform();
  return finishSucceeded(programName);
}

}  // namespace mrp
