// The Wagner-Whitin dynamic programme: the cheapest order periods and the lots.
//
// Entry M[i][l] (i <= l) of the cost matrix is the cost of the cheapest plan
// for periods 0 to l whose last lot is ordered in period i and covers periods i
// to l: M[i][i] = F(i - 1) + K_i, with F(l) the minimum of column l (F(-1) = 0),
// and M[i][l] = M[i][l-1] + ((q_l * (u_i / Z)) * L) * S with
// S = 0.0 + r_i + ... + r_(l-1), r_t = risk rate + capital rate of period t.
// Each entry has this fixed order of operations, so results are reproducible to
// the bit. On equal costs the earliest order period wins; NaN never wins.
// Filling costs O(n^2) time and n^2 doubles for n periods.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "lotsizing/lot_plan.h"

namespace mrp {

class PeriodCostTable;
class PlanProblems;

/// n x n doubles, row-major; only entries with row <= column are filled.
class CostMatrix {
 public:
  explicit CostMatrix(std::size_t n);
  double at(std::size_t row, std::size_t column) const noexcept { return values_[row * n_ + column]; }
  double* row(std::size_t row) noexcept { return &values_[row * n_]; }
  std::size_t size() const noexcept { return n_; }

 private:
  std::size_t n_;
  std::unique_ptr<double[]> values_;
};

/// Fills the matrix for `periods` (their rounded demand) and sets each
/// period's `orderPeriod`: the order period of the cheapest plan up to it.
CostMatrix buildCostMatrix(std::vector<PlanningPeriod>& periods, const PeriodCostTable& table,
                           double interestYear, double periodLength);

/// Walks back from the last period along the order periods and sets each lot's
/// size and cost; notes lots whose size or cost cannot be stored.
void assignLots(std::vector<PlanningPeriod>& periods, const CostMatrix& matrix,
                PlanProblems& problems);

}  // namespace mrp
