// The run driver: the whole control flow of one run of the program.
#pragma once

#include <string>

namespace mrp {

/// Runs the job for the arguments `<ODBC-Verbindung> <Bedarf>` and returns the
/// exit status: 0 when every step ran, 1 on every failure path.
int runLotSizing(int argc, char** argv);

}  // namespace mrp
