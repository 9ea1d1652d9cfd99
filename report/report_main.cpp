// The entry of lotsizing-report: options, one read-only run, the table and
// the picture. Output is UTF-8 with '\n' line ends. Standard error carries one
// line per message: the data problems and refusal reasons of the demand as the
// loading and the engine word them, a database failure as its report, and the
// program's own messages (usage, files), which are English.
#include "report/report_main.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fstream>
#include <iostream>
#include <new>
#include <optional>

#include "db/connection.h"
#include "db/database_error.h"
#include "lotsizing/demand_run.h"
#include "demand/message_sink.h"
#include "demand/parameter_code.h"
#include "lotsizing/lot_plan.h"
#include "platform/character_locale.h"
#include "db/odbc_environment.h"
#include "platform/text_encoding.h"
#include "report/plan_report.h"
#include "report/plan_svg.h"
#include "report/plan_table.h"
#include "report/report_options.h"

namespace mrp::report {
namespace {

constexpr int kShown = 0;
constexpr int kNotShown = 1;
constexpr int kUsage = 2;
constexpr const char* kProgram = "lotsizing-report";

/// Each message of the run as one line on standard error.
class StandardErrorSink final : public MessageSink {
 public:
  void message(std::string_view line) override { std::cerr << line << '\n' << std::flush; }
};

/// Names the cost factors the demand lacks. The plan counts a missing factor
/// as 0 and goes on without a word: setup costs or holding costs vanish, or an
/// interest rate. The factors whose absence refuses the demand have their own
/// messages, and a demand without any factor has one already.
void noteMissingCostFactors(const DemandPlan& demand) {
  if (!demand.headerFound || demand.conversionFactors.empty()) return;
  for (const ParameterCode code : {kRuestKosten, kStueckKosten, kKapitalbindungsZinssatz, kWagnisZinssatz}) {
    if (!demand.hasFactor(code))
      std::cerr << kProgram << ": note: no conversion factor " << kParameterNames[code]
                << ": every " << kParameterNames[code] << " counts as 0\n";
  }
}

/// Loads and plans the demand over a connection of its own that only reads.
/// Nothing when the demand was refused. Raises DatabaseError.
std::optional<PlanReport> planReport(const OdbcEnvironment& environment, const ReportOptions& options) {
  Connection connection(environment, "DSN=" + options.dataSource);
  StandardErrorSink sink;
  const DemandRun run = planDemand(connection, options.demandKey, sink, Storing::DryRun);
  noteMissingCostFactors(run.demand);
  connection.close();
  if (!run.plan) return std::nullopt;
  return makePlanReport(run.demand.demandKey, run.demand.periodLength.value_or(0), *run.plan);
}

/// The report, or nothing after its failure went to standard error.
std::optional<PlanReport> planReportGuarded(const OdbcEnvironment& environment, const ReportOptions& options) {
  try {
    return planReport(environment, options);
  } catch (const DatabaseError& error) {
    std::cerr << error.what() << '\n';
  } catch (const std::bad_alloc&) {
    std::cerr << "Nicht genug Arbeitsspeicher\n";
  } catch (const std::exception& error) {
    std::cerr << error.what() << '\n';
  }
  return std::nullopt;
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
    return kNotShown;
  }
  const std::optional<PlanReport> report = planReportGuarded(*environment, options);
  if (!report) return kNotShown;
  writePlanTable(std::cout, *report);
  if (!std::cout.flush()) {
    std::cerr << kProgram << ": cannot write the table: " << std::strerror(errno) << '\n';
    return kNotShown;
  }
  if (options.svgFile && !writeSvgFile(*options.svgFile, *report)) return kNotShown;
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
    std::cout << helpText(programName);
    return kShown;
  }
  return run(options);
}

}  // namespace

int runLotSizingReport(int argc, char** argv) {
  // The last resort: whatever escapes (memory running out outside the
  // planning, say) ends the program with one line, not with an abort.
  try {
    return runReportProgram(argc, argv);
  } catch (const std::bad_alloc&) {
    std::cerr << kProgram << ": unexpected failure: out of memory\n";
  } catch (const std::exception& error) {
    std::cerr << kProgram << ": unexpected failure: " << withoutControlCharacters(error.what()) << '\n';
  } catch (...) {
    std::cerr << kProgram << ": unexpected failure\n";
  }
  return kNotShown;
}

}  // namespace mrp::report
