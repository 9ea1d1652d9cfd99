// The first step of the engine: planning periods from the due quantities.
//
// Periods have equal length and begin at the demand's start date; period k
// starts at start + L + L + ... (k additions of L in doubles), and a date on a
// boundary belongs to the later period, a date before the start to period 0.
// The periods run without gaps from period 0 to the period of the last due
// date. Each period's quantity is then raised to a multiple of the lot grid
// valid in it, the surplus being taken off the following periods.
//
// Cost: one forward walk over the due quantities (which come in ascending date
// order) and the periods, O(due quantities + periods + parameter entries).
#pragma once

#include <vector>

#include "lotsizing/lot_plan.h"

namespace mrp {

struct LoadedDemand;
class PlanProblems;

/// The periods of the demand's due quantities, with quantities rounded to the
/// lot grid. Requires a start date and a period length of at least one day.
/// Notes in `problems` when the due dates reach beyond `kMostPeriods` periods
/// (before a single period is made), when a period's sum or rounded quantity
/// leaves the 32-bit range or a period has no lot grid of at least 1; the
/// periods are then of no use.
std::vector<PlanningPeriod> createRoundedPeriods(const LoadedDemand& demand, PlanProblems& problems);

}  // namespace mrp
