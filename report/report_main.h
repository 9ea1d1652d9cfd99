// lotsizing-report: plans one demand and shows the plan, as a table on
// standard output and, on request, as an SVG picture; writes nothing to the
// database.
#pragma once

namespace mrp::report {

/// Runs the program; returns its exit status: 0 when the demand was planned
/// and shown, 1 when it was refused, the database (or an output) failed or
/// anything else went wrong, 2 for a usage error. Throws nothing.
int runLotSizingReport(int argc, char** argv);

}  // namespace mrp::report
