#include "support/reference_engine.h"

#include <cmath>
#include <cstdint>

#include "platform/ole_date.h"

namespace mrp::test {
namespace {

/// The most periods a demand may have.
constexpr std::int32_t kMostPeriods = 200'000;
/// Grids at or above this do not fit a 32-bit integer once truncated.
constexpr double kGridLimit = 2147483648.0;

bool fitsInt32(std::int64_t value) { return value >= INT32_MIN && value <= INT32_MAX; }

/// The factor of the first catalogue entry with `code`.
std::optional<double> firstFactor(const DemandPlan& plan, std::int32_t code) {
  for (const ConversionFactor& factor : plan.conversionFactors) {
    if (factor.code == code) return factor.factor;
  }
  return std::nullopt;
}

bool positiveFinite(const std::optional<double>& factor) {
  return factor && *factor > 0.0 && std::isfinite(*factor);
}

/// The latest due quantity in calendar order; null when there is none.
const DueQuantity* latestDue(const DemandPlan& plan) {
  const DueQuantity* latest = nullptr;
  for (const DueQuantity& due : plan.dueQuantities) {
    if (!latest || linearDays(due.date) > linearDays(latest->date)) latest = &due;
  }
  return latest;
}

/// The raw sum of every period; nothing beyond kMostPeriods periods.
std::optional<std::vector<std::int64_t>> periodSums(const DemandPlan& plan) {
  const DueQuantity* latest = latestDue(plan);
  if (latest && periodIndex(plan, latest->date) >= kMostPeriods) return std::nullopt;
  std::vector<std::int64_t> sums;
  for (const DueQuantity& due : plan.dueQuantities) {
    const std::int32_t index = periodIndex(plan, due.date);
    while (static_cast<std::int32_t>(sums.size()) <= index) sums.push_back(0);
    sums.back() += due.quantity;
  }
  return sums;
}

/// The lot grid of `period`, truncated; nothing when it is not from 1 to 2^31 - 1.
std::optional<std::int32_t> lotGrid(const DemandPlan& plan, std::int32_t period) {
  const double grid = parameterValue(plan.parameters, kLosRaster, period);
  if (!(grid >= 1.0 && grid < kGridLimit)) return std::nullopt;
  return static_cast<std::int32_t>(grid);
}

/// The whole matrix from `valueAt(period, code)`.
template <typename Table>
CostMatrix fillCostMatrix(std::vector<PlanningPeriod>& periods, const Table& valueAt,
                          double interestYear, double periodLength) {
  const std::size_t n = periods.size();
  CostMatrix matrix(n);
  std::vector<double> rates(n);
  for (std::size_t t = 0; t < n; ++t) {
    rates[t] = valueAt(t, kWagnisZinssatz) + valueAt(t, kKapitalbindungsZinssatz);
  }
  // The minimum of each column over the rows filled so far, kept as the rows
  // come: the diagonal of the next row needs the one of the column before.
  std::vector<double> columnMinimum(n);
  for (std::size_t i = 0; i < n; ++i) {
    double* row = matrix.row(i);
    const double setupCost = valueAt(i, kRuestKosten);
    row[i] = i == 0 ? setupCost : columnMinimum[i - 1] + setupCost;
    const double holdingPerUnit = valueAt(i, kStueckKosten) / interestYear;
    // S of an entry is that of its left neighbour plus one rate: the same
    // additions in the same order as summing afresh.
    double rateSum = 0.0;
    for (std::size_t l = i + 1; l < n; ++l) {
      rateSum += rates[l - 1];
      row[l] = row[l - 1] + ((periods[l].demand * holdingPerUnit) * periodLength) * rateSum;
    }
    for (std::size_t l = i; l < n; ++l) {
      if (i == 0 || columnMinimum[l] > row[l]) columnMinimum[l] = row[l];
    }
  }
  for (std::size_t l = 0; l < n; ++l) {
    periods[l].orderPeriod = selectOrderPeriod(matrix, static_cast<std::int32_t>(l));
  }
  return matrix;
}

}  // namespace

std::int32_t periodIndex(const DemandPlan& plan, OleDate date) {
  const double length = *plan.periodLength;
  const double moment = linearDays(date);
  double start = linearDays(*plan.startDate);
  std::int32_t index = 0;
  while (start + length <= moment) {
    start = start + length;
    ++index;
  }
  return index;
}

OleDate periodStart(const DemandPlan& plan, std::int32_t index) {
  if (index == 0) return *plan.startDate;
  double day = linearDays(*plan.startDate);
  for (std::int32_t k = 0; k < index; ++k) day = day + *plan.periodLength;
  return oleDateFromLinear(day);
}

double parameterValue(const std::vector<ParameterEntry>& entries, std::int32_t code,
                      std::int32_t period) {
  double result = 0.0;
  for (const ParameterEntry& entry : entries) {
    if (entry.code != code) continue;
    if (entry.period > period) break;
    result = entry.value;
  }
  return result;
}

std::optional<std::vector<PlanningPeriod>> roundedPeriods(const DemandPlan& plan) {
  const std::optional<std::vector<std::int64_t>> sums = periodSums(plan);
  if (!sums) return std::nullopt;
  std::vector<PlanningPeriod> periods;
  std::int64_t carry = 0;
  for (std::size_t j = 0; j < sums->size(); ++j) {
    const auto period = static_cast<std::int32_t>(j);
    const std::optional<std::int32_t> grid = lotGrid(plan, period);
    if (!grid || !fitsInt32((*sums)[j])) return std::nullopt;
    std::int64_t quantity = (*sums)[j] - carry;
    if (quantity < 0) {
      carry = -quantity;
      quantity = 0;
    } else {
      carry = 0;
    }
    const std::int64_t remainder = quantity % *grid;
    if (remainder != 0) {
      quantity += *grid - remainder;
      carry = *grid - remainder;
    }
    if (!fitsInt32(quantity)) return std::nullopt;
    periods.push_back(PlanningPeriod{.start = periodStart(plan, period),
                                     .demand = static_cast<std::int32_t>(quantity)});
  }
  return periods;
}

ParameterTable parameterTable(const std::vector<ParameterEntry>& entries, std::size_t periods) {
  ParameterTable table(periods);
  for (std::size_t p = 0; p < periods; ++p) {
    for (std::int32_t code = 0; code < kParameterCodes; ++code) {
      table[p][static_cast<std::size_t>(code)] = parameterValue(entries, code, static_cast<std::int32_t>(p));
    }
  }
  return table;
}

CostMatrix::CostMatrix(std::size_t n)
    : n_(n), values_(std::make_unique_for_overwrite<double[]>(n * n)) {}

CostMatrix buildCostMatrix(std::vector<PlanningPeriod>& periods, const PeriodCostTable& table,
                           double interestYear, double periodLength) {
  const auto valueAt = [&table](std::size_t t, std::int32_t code) { return table.at(t, code); };
  return fillCostMatrix(periods, valueAt, interestYear, periodLength);
}

CostMatrix buildCostMatrix(std::vector<PlanningPeriod>& periods, const ParameterTable& table,
                           double interestYear, double periodLength) {
  const auto valueAt = [&table](std::size_t t, std::int32_t code) {
    return table[t][static_cast<std::size_t>(code)];
  };
  return fillCostMatrix(periods, valueAt, interestYear, periodLength);
}

bool assignLots(std::vector<PlanningPeriod>& periods, const CostMatrix& matrix) {
  bool storable = true;
  for (auto last = static_cast<std::int32_t>(periods.size()) - 1; last >= 0;) {
    const std::int32_t order = periods[last].orderPeriod;
    std::int64_t lot = 0;
    for (std::int32_t t = last; t >= order; --t) {
      periods[t].lotSize = 0;
      periods[t].cost = 0.0;
      lot += periods[t].demand;
    }
    const double before =
        order == 0 ? 0.0 : matrix.at(static_cast<std::size_t>(periods[order - 1].orderPeriod), order - 1);
    periods[order].cost = matrix.at(static_cast<std::size_t>(order), last) - before;
    if (fitsInt32(lot)) {
      periods[order].lotSize = static_cast<std::int32_t>(lot);
    } else {
      storable = false;
    }
    if (!std::isfinite(periods[order].cost)) storable = false;
    last = order - 1;
  }
  return storable;
}

std::int32_t selectOrderPeriod(const CostMatrix& matrix, std::int32_t period) {
  std::int32_t order = 0;
  double minimum = matrix.at(0, period);
  for (std::int32_t i = 0; i <= period; ++i) {
    // Strict: on equal costs the earliest order period stays; NaN never wins.
    if (minimum > matrix.at(i, period)) {
      order = i;
      minimum = matrix.at(i, period);
    }
  }
  return order;
}

std::optional<std::vector<Lot>> plannedLots(const DemandPlan& plan) {
  if (!plan.headerFound || !plan.startDate || !plan.periodLength || *plan.periodLength < 1) {
    return std::nullopt;
  }
  const std::optional<double> interestYear = firstFactor(plan, kZinsJahr);
  const std::optional<double> currency = firstFactor(plan, kWaehrung);
  if (!positiveFinite(interestYear) || !positiveFinite(currency)) return std::nullopt;

  std::optional<std::vector<PlanningPeriod>> periods = roundedPeriods(plan);
  if (!periods) return std::nullopt;
  std::vector<Lot> lots;
  if (periods->empty()) return lots;
  const CostMatrix matrix = buildCostMatrix(*periods, parameterTable(plan.parameters, periods->size()),
                                            *interestYear, *plan.periodLength);
  if (!assignLots(*periods, matrix)) return std::nullopt;
  for (const PlanningPeriod& period : *periods) {
    if (period.lotSize == 0) continue;
    const double kosten = period.cost / *currency;
    if (!std::isfinite(kosten)) return std::nullopt;
    lots.push_back(Lot{period.start, period.lotSize, kosten});
  }
  return lots;
}

}  // namespace mrp::test
