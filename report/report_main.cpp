// The entry of lotsizing-report: options, one read-only run, the table and
// the picture. Output is UTF-8 with '\n' line ends. Standard error carries one
// line per message: the data problems, refusal reasons and warnings of the
// demand, each as "<code>: <text>" with the text as the library words it, a
// failure of the run the same way, and the program's own messages (usage,
// files), which are English.
#include "report/report_main.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fstream>
#include <iostream>
#include <new>
#include <optional>
#include <variant>

#include "cli/connection_string.h"
#include "cli/guarded_run.h"
#include "cli/run_failure.h"
#include "db/connection.h"
#include "db/database_error.h"
#include "db/odbc_environment.h"
#include "demand/message_sink.h"
#include "lotsizing/demand_run.h"
#include "lotsizing/lot_plan.h"
#include "platform/character_locale.h"
#include "platform/text_encoding.h"
#include "report/plan_report.h"
#include "report/plan_svg.h"
#include "report/plan_table.h"
#include "report/report_options.h"

namespace mrp::report {
namespace {

// The exit statuses, as lotsizing-batch counts them where they apply.
constexpr int kShown = 0;
constexpr int kRefused = 1;
constexpr int kUsage = 2;
constexpr int kFailed = 3;  // the database, memory or an output failed
constexpr const char* kProgram = "lotsizing-report";

/// One message as a line on standard error.
void printMessage(MessageCode code, std::string_view text) {
  std::cerr << codeName(code) << ": " << text << '\n' << std::flush;
}

/// Each message of the run as one line on standard error, as it comes.
class StandardErrorSink final : public MessageSink {
 public:
  void message(MessageCode code, std::string_view line) override { printMessage(code, line); }
};

/// A demand that was not planned: refused for its data, or the run failed.
enum class NotPlanned { Refused, Failed };
using ReportOutcome = std::variant<PlanReport, NotPlanned>;

/// Loads and plans the demand over a connection of its own that only reads;
/// a planned demand's warnings follow its data problems. Raises DatabaseError.
ReportOutcome planReport(const OdbcEnvironment& environment, const ReportOptions& options) {
  Connection connection(environment, connectionStringFor(options.dataSource));
  StandardErrorSink sink;
  // The warnings of a planned demand come with the plan, after its data problems.
  const DemandRun run = planDemand(connection, options.demandKey, sink, Storing::DryRun);
  connection.close();
  if (!run.plan) return NotPlanned::Refused;
  return makePlanReport(run.demand.demandKey, run.demand.periodLength.value_or(0), *run.plan);
}

/// The report, or why there is none; a failure has gone to standard error.
ReportOutcome planReportGuarded(const OdbcEnvironment& environment, const ReportOptions& options) {
  return runGuarded([&] { return planReport(environment, options); },
                    [](const Failure& failure) -> ReportOutcome {
                      const Message message = failureMessage(failure);
                      printMessage(message.code, message.text);
                      return NotPlanned::Failed;
                    });
}

bool writeSvgFile(const std::string& path, const PlanReport& report) {
  std::ofstream file(path, std::ios::binary | std::ios::trunc);
  if (file) writePlanSvg(file, report);
  if (file) file.close();
  if (file) return true;
  std::cerr << kProgram << ": cannot write " << path << ": " << std::strerror(errno) << '\n';
  return false;
}

int run(const ReportOptions& options) {
  const std::unique_ptr<OdbcEnvironment> environment = OdbcEnvironment::allocate();
  if (!environment) {
    std::cerr << kProgram << ": the ODBC environment cannot be set up\n";
    return kFailed;
  }
  const ReportOutcome outcome = planReportGuarded(*environment, options);
  if (const NotPlanned* notPlanned = std::get_if<NotPlanned>(&outcome))
    return *notPlanned == NotPlanned::Refused ? kRefused : kFailed;
  const PlanReport& report = std::get<PlanReport>(outcome);
  writePlanTable(std::cout, report);
  if (!std::cout.flush()) {
    std::cerr << kProgram << ": cannot write the table: " << std::strerror(errno) << '\n';
    return kFailed;
  }
  if (options.svgFile && !writeSvgFile(*options.svgFile, report)) return kFailed;
  return kShown;
}

int runReportProgram(int argc, char** argv) {
  // Drivers convert texts in the locale that the environment names; cron and
  // systemd name none.
  requireUtf8CharacterType();
  const std::string programName = argc > 0 && argv[0] ? argv[0] : kProgram;
  ReportOptions options;
  try {
    options = parseReportOptions(std::vector<std::string>(argv + std::min(argc, 1), argv + argc));
  } catch (const UsageError& error) {
    std::cerr << kProgram << ": " << error.what() << '\n' << usageLine(programName);
    return kUsage;
  }
  if (options.help) {
    std::cout << helpText(programName) << std::flush;
    return std::cout ? kShown : kFailed;
  }
  if (options.version) {
    std::cout << kProgram << ' ' << LOTSIZING_VERSION << '\n' << std::flush;
    return std::cout ? kShown : kFailed;
  }
  return run(options);
}

}  // namespace

int runLotSizingReport(int argc, char** argv) {
  // The last resort: whatever escapes (memory running out outside the
  // planning, say) ends the program with one line, not with an abort.
  return runGuarded(
      [&] { return runReportProgram(argc, argv); },
      [](const Failure& failure) {
        std::cerr << kProgram << ": unexpected failure: "
                  << (failure.kind == Failure::Kind::OutOfMemory ? "out of memory" : failure.text) << '\n';
        return kFailed;
      });
}

}  // namespace mrp::report
