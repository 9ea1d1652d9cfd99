// The oracle of a run: what the program must make of the demand, worked out
// beside it. The fuzzer loads the demand itself, with the library's loader
// over an ODBC connection of its own to the same data source, so that it sees
// what the program sees, and plans it with the reference steps of
// tests/support/reference_engine.h, which share none of the engine's walks.
// A run then must:
//   - succeed exactly when the reference plans the demand, and store exactly
//     the reference's rows (Termin, LosGröße, Kosten), bit for bit, in order;
//   - be refused when the reference refuses, and give after the loading's
//     messages on standard error exactly the reference's kinds of reasons
//     (each line one of the refusal messages of README.md, every kind the
//     reference found among them);
//   - fail with the loading's failure when the loading failed;
//   - write the loading's data problems on standard error, in order, each
//     framed, before anything else there; a success writes nothing more.
#pragma once

#include <optional>
#include <set>
#include <string>
#include <vector>

#include "invariants.h"
#include "lotsizing/lot_plan.h"
#include "support/reference_engine.h"

namespace mrp {
class OdbcEnvironment;
}

namespace mrp::fuzz {

struct Expectation {
  /// The data problems of the loading, in order, as the program's sink gets them.
  std::vector<std::string> loadingMessages;
  /// The database failure that ended the loading; none when it loaded.
  std::optional<std::string> loadingFailure;
  /// The rows a success stores, in period order; nothing when the reference refuses.
  std::optional<std::vector<Lot>> lots;
  /// The kinds of the refusal's messages; none for a planned demand.
  std::set<test::Refusal> reasons;
};

/// Loads `demandKey` through the data source `dataSource` (connecting as the
/// program does) and plans it with the reference.
Expectation expectRun(const OdbcEnvironment& environment, const std::string& dataSource,
                      const std::string& demandKey);

/// One line per way the run departs from `expected`; nothing for runs that did
/// not end with 0 or 1 (the invariants report those).
std::vector<std::string> findDepartures(const Observation& observation, const Expectation& expected);

}  // namespace mrp::fuzz
