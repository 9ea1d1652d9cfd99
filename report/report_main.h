// lotsizing-report: plans one demand and shows the plan, as a table on
// standard output and, on request, as an SVG picture; writes nothing to the
// database.
#pragma once

namespace mrp::report {

/// Runs the program; returns its exit status, as lotsizing-batch counts them
/// where they apply: 0 when the demand was planned and shown (with or without
/// warnings), 1 when it was refused for its data, 2 for a usage error, 3 when
/// the database failed, memory ran out in the run or an output could not be
/// written, 4 when anything else went wrong. Throws nothing.
int runLotSizingReport(int argc, char** argv);

}  // namespace mrp::report
