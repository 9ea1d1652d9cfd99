#include "report/report_options.h"

namespace mrp::report {

ReportOptions parseReportOptions(const std::vector<std::string>& arguments) {
  ReportOptions options;
  std::vector<std::string> positional;
  bool optionsEnded = false;
  for (std::size_t i = 0; i < arguments.size(); ++i) {
    const std::string& argument = arguments[i];
    if (optionsEnded || !argument.starts_with("-") || argument == "-") {
      positional.push_back(argument);
    } else if (argument == "--") {
      optionsEnded = true;
    } else if (argument == "--help" || argument == "-h") {
      options.help = true;
    } else if (argument == "--version") {
      options.version = true;
    } else if (argument == "--svg") {
      if (i + 1 >= arguments.size()) throw UsageError("--svg needs a file name");
      options.svgFile = arguments[++i];
    } else if (argument.starts_with("--svg=")) {
      options.svgFile = argument.substr(6);
    } else {
      throw UsageError("unknown option " + argument);
    }
  }
  if (options.help || options.version) return options;
  if (options.svgFile && options.svgFile->empty()) throw UsageError("--svg needs a file name");
  if (positional.size() != 2) throw UsageError("two arguments are needed: the data source and the demand");
  options.dataSource = positional[0];
  options.demandKey = positional[1];
  return options;
}

std::string usageLine(const std::string& programName) {
  return "usage: " + programName + " <ODBC-Verbindung> <Bedarf> [--svg FILE]\n";
}

std::string helpText(const std::string& programName) {
  return usageLine(programName) +
         "Plans one demand and prints its plan as a table; writes nothing to the database.\n"
         "  <ODBC-Verbindung>  the ODBC data source (connects with DSN=<name>)\n"
         "  <Bedarf>           the key of the demand\n"
         "  --svg FILE         also draw the plan as an SVG picture into FILE\n"
         "  --help             print this text\n"
         "  --version          print the program's version\n"
         "Exit status: 0 shown, 1 refused for its data, 2 usage error,\n"
         "3 database failure or an output that cannot be written.\n";
}

}  // namespace mrp::report
