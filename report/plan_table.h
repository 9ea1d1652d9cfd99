// The plan of one demand as a text table on standard output.
//
//   Bedarf: WW1958   Periodenlänge: 1 Tag   Perioden: 12
//
//   Periode  Beginn      Fällig  Los  Bestand  Kosten
//   -------  ----------  ------  ---  -------  ------
//         1  2027-01-04      69   98       29     114
//         2  2027-01-05      29    -        0       -
//   ...
//   -------  ----------  ------  ---  -------  ------
//     Summe                 ...  ...              864
//   Lose: 6
//
// One line per planning period: its number from 1, its start, the quantity
// due after rounding, the lot ordered in it ("-" for none), the stock carried
// to the next period and the lot's cost as stored in `LosGröße` ("-" for none).
// Costs are written with two decimals, as a planner reads money; the total is
// the stored costs added, rounded once.
#pragma once

#include <ostream>
#include <string>
#include <vector>

#include "report/plan_report.h"

namespace mrp::report {

/// How much of the period starts the table shows: the day alone while every
/// start is at midnight, else the time of day to the minute, or to the second
/// when any start has seconds. Starts are rounded to whole seconds.
enum class StartPrecision { Day, Minute, Second };

StartPrecision startPrecisionFor(const std::vector<PeriodLine>& periods);

/// "YYYY-MM-DD", with " HH:MM" or " HH:MM:SS" as `precision` says.
std::string formatStart(OleDate start, StartPrecision precision);

/// `cost` with two decimals: 864.00, 0.10, 245.28, never "-0.00". Beyond
/// 1e15, where two decimals would stand behind a row of meaningless digits,
/// in exponent form with two decimals (1.00e+300); inf, -inf or nan when it
/// is no number (a total whose sum overflowed).
std::string formatCost(double cost);

/// "1 Tag", "7 Tage": the nominative, as in "Periodenlänge: 7 Tage".
std::string formatPeriodLength(std::int32_t days);

/// "1 Tag", "7 Tagen": the dative, as in "12 Perioden zu 7 Tagen".
std::string formatPeriodLengthDative(std::int32_t days);

/// Writes the header line, a blank line, the table and its totals.
void writePlanTable(std::ostream& out, const PlanReport& report);

}  // namespace mrp::report
