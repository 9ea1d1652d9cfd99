#include "lotsizing/wagner_whitin.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstddef>
#include <limits>

#include "demand/parameter_code.h"
#include "lotsizing/period_cost_table.h"
#include "lotsizing/plan_checks.h"

namespace mrp {
namespace {

/// Rows filled side by side. Each lane does a row's additions and
/// multiplications in the row's own order, so the lanes change no bit.
/// Four lanes make one vector register of AVX2; a block is four of them, so
/// that four independent chains of additions hide each other's latency (16
/// rows side by side measured fastest).
constexpr std::size_t kWidth = 4;
constexpr std::size_t kVectors = 4;
constexpr std::size_t kLanes = kWidth * kVectors;
using Lanes = double __attribute__((vector_size(kWidth * sizeof(double))));
using LaneMask = long long __attribute__((vector_size(kWidth * sizeof(long long))));

/// What every row of the programme reads.
struct Inputs {
  std::vector<double> quantities;      // q_l
  std::vector<double> rates;           // r_t
  std::vector<double> setupCosts;      // K_i
  std::vector<double> holdingPerUnit;  // u_i / Z
  double length;                       // L
};

Inputs inputsOf(const std::vector<PlanningPeriod>& periods, const PeriodCostTable& table, double interestYear,
                double periodLength) {
  const std::size_t n = periods.size();
  Inputs in{std::vector<double>(n), std::vector<double>(n), std::vector<double>(n), std::vector<double>(n),
            periodLength};
  for (std::size_t t = 0; t < n; ++t) {
    in.quantities[t] = periods[t].demand;
    in.rates[t] = table.at(t, kWagnisZinssatz) + table.at(t, kKapitalbindungsZinssatz);
    in.setupCosts[t] = table.at(t, kRuestKosten);
    in.holdingPerUnit[t] = table.at(t, kStueckKosten) / interestYear;
  }
  return in;
}

/// The column minima F and the rows that hold them.
struct ColumnMinima {
  std::vector<double> cost;
  std::vector<std::int32_t> row;

  /// Row `i` offers `value` for column `l`; rows come in ascending order.
  void offer(std::size_t l, std::size_t i, double value) {
    // Strict: on equal costs the earlier row stays; NaN never wins, but row 0
    // sets the start, NaN or not.
    if (i == 0 || cost[l] > value) {
      cost[l] = value;
      row[l] = static_cast<std::int32_t>(i);
    }
  }
};

/// The block of rows first .. first + lanes - 1, filled side by side.
class RowBlock {
 public:
  RowBlock(const Inputs& in, std::size_t first, std::size_t lanes) : in_(in), first_(first), lanes_(lanes) {}

  /// Columns first .. first + lanes - 1: a row starts at its diagonal, which
  /// needs the minimum of the column before, complete only once the rows above
  /// it in the block have offered theirs. So column by column, row by row.
  void fillTriangle(ColumnMinima& minima) {
    for (std::size_t k = 0; k < lanes_; ++k) {
      const std::size_t l = first_ + k;
      for (std::size_t j = 0; j < k; ++j) advance(j, l);
      cost_[k] = l == 0 ? in_.setupCosts[0] : minima.cost[l - 1] + in_.setupCosts[l];
      rateSum_[k] = 0.0;
      for (std::size_t j = 0; j <= k; ++j) minima.offer(l, first_ + j, cost_[j]);
    }
  }

  /// The columns right of the triangle, all rows of the block at once. Far
  /// right of its rows a block seldom beats a column's minimum: one comparison
  /// of all lanes tells, and only then are the lanes offered one by one.
  __attribute__((target_clones("avx2", "default"))) void fillRest(ColumnMinima& minima) {
    Lanes cost[kVectors];
    Lanes rateSum[kVectors];
    Lanes holding[kVectors];
    for (std::size_t k = 0; k < kLanes; ++k) {
      // A lane without a row is NaN, which beats no minimum.
      cost[k / kWidth][k % kWidth] = k < lanes_ ? cost_[k] : std::numeric_limits<double>::quiet_NaN();
      rateSum[k / kWidth][k % kWidth] = rateSum_[k];
      holding[k / kWidth][k % kWidth] = k < lanes_ ? in_.holdingPerUnit[first_ + k] : 0.0;
    }
    const std::size_t n = in_.quantities.size();
    for (std::size_t l = first_ + lanes_; l < n; ++l) {
      const double rate = in_.rates[l - 1];
      const double quantity = in_.quantities[l];
      LaneMask better{};
      for (std::size_t v = 0; v < kVectors; ++v) {
        rateSum[v] += rate;
        cost[v] = cost[v] + ((quantity * holding[v]) * in_.length) * rateSum[v];
        better |= minima.cost[l] > cost[v];
      }
      // Row 0 sets every column's first minimum, so the first block offers all.
      if (first_ == 0 || (better[0] | better[1] | better[2] | better[3]) != 0) {
        for (std::size_t k = 0; k < lanes_; ++k) minima.offer(l, first_ + k, cost[k / kWidth][k % kWidth]);
      }
    }
  }

 private:
  /// Row first + j moves on to column l.
  void advance(std::size_t j, std::size_t l) {
    rateSum_[j] += in_.rates[l - 1];
    cost_[j] = cost_[j] + ((in_.quantities[l] * in_.holdingPerUnit[first_ + j]) * in_.length) * rateSum_[j];
  }

  const Inputs& in_;
  std::size_t first_;
  std::size_t lanes_;
  std::array<double, kLanes> cost_{};
  std::array<double, kLanes> rateSum_{};
};

/// A lot that cannot be stored: its size or its cost is out of range.
struct BadLot {
  std::int32_t period;
  std::int64_t size;
  double cost;
};

}  // namespace

std::vector<double> cheapestPlanCosts(std::vector<PlanningPeriod>& periods, const PeriodCostTable& table,
                                      double interestYear, double periodLength) {
  const Inputs in = inputsOf(periods, table, interestYear, periodLength);
  const std::size_t n = periods.size();
  ColumnMinima minima{std::vector<double>(n), std::vector<std::int32_t>(n)};
  for (std::size_t first = 0; first < n; first += kLanes) {
    RowBlock block(in, first, std::min(kLanes, n - first));
    block.fillTriangle(minima);
    block.fillRest(minima);
  }
  for (std::size_t l = 0; l < n; ++l) periods[l].orderPeriod = minima.row[l];
  return std::move(minima.cost);
}

void assignLots(std::vector<PlanningPeriod>& periods, const std::vector<double>& cheapest,
                PlanProblems& problems) {
  // A lot is found from its last period back to its order period; the lots
  // themselves come from the last period back to period 0.
  std::vector<BadLot> badLots;
  for (auto last = static_cast<std::int32_t>(periods.size()) - 1; last >= 0;) {
    const std::int32_t order = periods[last].orderPeriod;
    std::int64_t lot = 0;
    for (std::int32_t t = last; t >= order; --t) {
      periods[t].lotSize = 0;
      periods[t].cost = 0.0;
      lot += periods[t].demand;
    }
    // The cheapest plan up to `last` less that up to the period before the
    // order period. M[order][last] is F(last): `order` holds that minimum.
    PlanningPeriod& ordered = periods[order];
    const double before = order == 0 ? 0.0 : cheapest[order - 1];
    ordered.cost = cheapest[last] - before;
    if (fitsInt32(lot)) ordered.lotSize = static_cast<std::int32_t>(lot);
    if (!fitsInt32(lot) || !std::isfinite(ordered.cost)) {
      badLots.push_back({order, lot, ordered.cost});
    }
    last = order - 1;
  }
  std::for_each(badLots.rbegin(), badLots.rend(), [&problems](const BadLot& bad) {
    if (!fitsInt32(bad.size)) problems.lotSizeOutOfRange(bad.size, bad.period);
    if (!std::isfinite(bad.cost)) problems.lotCostNotFinite(bad.cost, bad.period);
  });
}

}  // namespace mrp
