// The Wagner-Whitin dynamic programme: the cheapest order periods and the lots.
//
// Let M[i][l] (i <= l) be the cost of the cheapest plan for periods 0 to l
// whose last lot is ordered in period i and covers periods i to l, and F(l) the
// minimum of column l (F(-1) = 0). Then M[i][i] = F(i - 1) + K_i and
// M[i][l] = M[i][l-1] + ((q_l * (u_i / Z)) * L) * S with
// S = 0.0 + r_i + ... + r_(l-1), r_t = risk rate + capital rate of period t.
// Every entry has this fixed order of operations, so results are reproducible
// to the bit. The order period of column l is the first row holding its
// minimum under strict comparison: on equal costs the earliest period wins,
// NaN never wins (a NaN in row 0 stays).
//
// The matrix itself is never held: rows are filled in ascending order and each
// column's minimum is kept as the rows come, and the lot that covers periods c
// to b (c the order period of b) costs M[c][b] - F(c - 1) = F(b) - F(c - 1).
// So the programme needs the column minima, their rows and the row being
// filled: O(n) memory for n periods, O(n^2) time. Rows are filled in blocks
// whose lanes run side by side; each column's minimum is still updated in
// ascending row order.
#pragma once

#include <cstdint>
#include <vector>

#include "lotsizing/lot_plan.h"

namespace mrp {

class PeriodCostTable;
class PlanProblems;

/// F(l) for every period l, the cost of the cheapest plan for periods 0 to l;
/// sets each period's `orderPeriod`. `periods` hold their rounded demand.
std::vector<double> cheapestPlanCosts(std::vector<PlanningPeriod>& periods, const PeriodCostTable& table,
                                      double interestYear, double periodLength);

/// Walks back from the last period along the order periods and sets each lot's
/// size and cost F(last) - F(order - 1); notes lots whose size or cost cannot
/// be stored.
void assignLots(std::vector<PlanningPeriod>& periods, const std::vector<double>& cheapest,
                PlanProblems& problems);

}  // namespace mrp
