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
// Costs are written with the fewest digits that read back as the very same
// double, so the table can be checked against the stored rows.
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

/// The shortest decimal text that reads back as `cost` exactly: 864, 0.1,
/// 245.28472222222226.
std::string formatCost(double cost);

/// "1 Tag", "7 Tage".
std::string formatPeriodLength(std::int32_t days);

/// Writes the header line, a blank line, the table and its totals.
void writePlanTable(std::ostream& out, const PlanReport& report);

}  // namespace mrp::report
