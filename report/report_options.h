// The command line of lotsizing-report: a data source, a demand key and
// optionally a file for the picture of the plan; or --help or --version.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "cli/usage_error.h"

namespace mrp::report {

struct ReportOptions {
  std::string dataSource;
  std::string demandKey;
  std::optional<std::string> svgFile;
  bool help = false;     // --help: print the usage and do nothing else
  bool version = false;  // --version: print the program's version and do nothing else
};

/// The options of `arguments` (behind the program name). Options may stand
/// anywhere; `--svg FILE` and `--svg=FILE` are the same; after `--` every
/// argument is positional. Exactly two positional arguments unless `--help`
/// or `--version`.
/// Raises UsageError.
ReportOptions parseReportOptions(const std::vector<std::string>& arguments);

/// The usage line, ended by a line end.
std::string usageLine(const std::string& programName);

/// The usage line and one line per argument and option.
std::string helpText(const std::string& programName);

}  // namespace mrp::report
