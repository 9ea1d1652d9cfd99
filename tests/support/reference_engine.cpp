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
std::optional<double> firstFactor(const LoadedDemand& plan, std::int32_t code) {
  for (const ConversionFactor& factor : plan.conversionFactors) {
    if (factor.code == code) return factor.factor;
  }
  return std::nullopt;
}

/// A factor that divides: positive, finite and normal (a subnormal one loses
/// the digits of whatever it divides or multiplies).
bool positiveNormal(const std::optional<double>& factor) {
  return factor && *factor > 0.0 && std::isnormal(*factor);
}

/// The latest due quantity in calendar order; null when there is none.
const DueQuantity* latestDue(const LoadedDemand& plan) {
  const DueQuantity* latest = nullptr;
  for (const DueQuantity& due : plan.dueQuantities) {
    if (!latest || linearDays(due.date) > linearDays(latest->date)) latest = &due;
  }
  return latest;
}

/// The raw sum of every period.
std::vector<std::int64_t> periodSums(const LoadedDemand& plan) {
  std::vector<std::int64_t> sums;
  for (const DueQuantity& due : plan.dueQuantities) {
    const std::int32_t index = periodIndex(plan, due.date);
    while (static_cast<std::int32_t>(sums.size()) <= index) sums.push_back(0);
    sums.back() += due.quantity;
  }
  return sums;
}

/// The lot grid of every period, truncated; nothing when a period has none
/// from 1 to 2^31 - 1 or a period sum is beyond 32 bits, with the reasons.
std::optional<std::vector<std::int32_t>> lotGrids(const LoadedDemand& plan,
                                                  const std::vector<std::int64_t>& sums,
                                                  std::set<Refusal>& reasons) {
  std::vector<std::int32_t> grids;
  for (std::size_t j = 0; j < sums.size(); ++j) {
    if (!fitsInt32(sums[j])) reasons.insert(Refusal::PeriodSum);
    const std::optional<double> grid =
        parameterEntry(plan.parameters, kLosRaster, static_cast<std::int32_t>(j));
    if (!grid) {
      reasons.insert(Refusal::LotGridMissing);
    } else if (!(*grid >= 1.0 && *grid < kGridLimit)) {
      reasons.insert(Refusal::LotGridInvalid);
    } else {
      grids.push_back(static_cast<std::int32_t>(*grid));
    }
  }
  if (!reasons.empty()) return std::nullopt;
  return grids;
}

/// The checks made before any period: the reasons found; `refused` also set
/// for a header problem that the loading reported.
std::set<Refusal> checkDemand(const LoadedDemand& plan, bool& refused) {
  std::set<Refusal> reasons;
  refused = !plan.startDate || !plan.periodLength;
  if (plan.periodLength && *plan.periodLength < 1) reasons.insert(Refusal::PeriodLength);
  const std::optional<double> interestYear = firstFactor(plan, kZinsJahr);
  if (!interestYear) {
    reasons.insert(Refusal::InterestYearMissing);
  } else if (!positiveNormal(interestYear)) {
    reasons.insert(Refusal::InterestYearInvalid);
  }
  const std::optional<double> currency = firstFactor(plan, kWaehrung);
  if (!currency) {
    reasons.insert(Refusal::CurrencyMissing);
  } else if (!positiveNormal(currency)) {
    reasons.insert(Refusal::CurrencyInvalid);
  }
  refused = refused || !reasons.empty();
  return reasons;
}

/// The rows of the lots other than 0; nothing when a cost comes out not finite.
std::optional<std::vector<Lot>> storedRows(const std::vector<PlanningPeriod>& periods, double currency) {
  std::vector<Lot> lots;
  for (const PlanningPeriod& period : periods) {
    if (period.lotSize == 0) continue;
    const double cost = period.cost / currency;
    if (!std::isfinite(cost)) return std::nullopt;
    lots.push_back(Lot{period.start, period.lotSize, cost});
  }
  return lots;
}

/// The whole matrix from `valueAt(period, code)`.
template <typename Table>
CostMatrix fillCostMatrix(std::vector<PlanningPeriod>& periods, const Table& valueAt, double interestYear,
                          double periodLength) {
  const std::size_t n = periods.size();
  CostMatrix matrix(n);
  std::vector<double> rates(n);
  for (std::size_t t = 0; t < n; ++t) {
    rates[t] = valueAt(t, kWagnisZinssatz) + valueAt(t, kKapitalbindungsZinssatz);
  }
  // The minimum of each column over the rows filled so far, kept as the rows
  // come: the diagonal of the next row needs the one of the column before. The
  // row that holds it is the column's order period as selectOrderPeriod finds
  // it, searched here while the row is at hand: a walk down a column of a
  // large matrix, held by rows, would miss the cache at every entry.
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
      // Strict: on equal costs the earliest order period stays; NaN never wins.
      if (i == 0 || columnMinimum[l] > row[l]) {
        columnMinimum[l] = row[l];
        periods[l].orderPeriod = static_cast<std::int32_t>(i);
      }
    }
  }
  return matrix;
}

}  // namespace

const std::vector<RefusalMessage>& refusalMessages() {
  static const std::vector<RefusalMessage> messages{
      {Refusal::PeriodLength, "Unerlaubte PeriodenLänge: ", false},
      {Refusal::InterestYearMissing, "UmrechnungsFaktor existiert nicht: ZinsJahr", true},
      {Refusal::InterestYearInvalid, "Unerlaubter UmrechnungsFaktor: ZinsJahr ", false},
      {Refusal::CurrencyMissing, "UmrechnungsFaktor existiert nicht: Währung", true},
      {Refusal::CurrencyInvalid, "Unerlaubter UmrechnungsFaktor: Währung ", false},
      {Refusal::TooManyPeriods, "Zu viele Perioden: ", false},
      {Refusal::PeriodSum, "Mengensumme außerhalb des Wertebereichs: ", false},
      {Refusal::LotGridMissing, "LosRaster existiert nicht in Periode ", false},
      {Refusal::LotGridInvalid, "Unerlaubter LosRaster: ", false},
      {Refusal::RoundedQuantity, "Gerundete Menge außerhalb des Wertebereichs: ", false},
      {Refusal::LotSize, "Losgröße außerhalb des Wertebereichs: ", false},
      {Refusal::LotCost, "Loskosten nicht endlich: ", false}};
  return messages;
}

std::int32_t periodIndex(const LoadedDemand& plan, OleDate date) {
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

OleDate periodStart(const LoadedDemand& plan, std::int32_t index) {
  if (index == 0) return *plan.startDate;
  double day = linearDays(*plan.startDate);
  for (std::int32_t k = 0; k < index; ++k) day = day + *plan.periodLength;
  return oleDateFromLinear(day);
}

std::optional<double> parameterEntry(const std::vector<ParameterEntry>& entries, std::int32_t code,
                                     std::int32_t period) {
  std::optional<double> result;
  for (const ParameterEntry& entry : entries) {
    if (entry.code != code) continue;
    if (entry.period > period) break;
    result = entry.value;
  }
  return result;
}

double parameterValue(const std::vector<ParameterEntry>& entries, std::int32_t code, std::int32_t period) {
  return parameterEntry(entries, code, period).value_or(0.0);
}

RoundedPeriods roundedPeriods(const LoadedDemand& plan) {
  RoundedPeriods result;
  const DueQuantity* latest = latestDue(plan);
  if (latest && periodIndex(plan, latest->date) >= kMostPeriods) {
    result.reasons.insert(Refusal::TooManyPeriods);
    return result;
  }
  const std::vector<std::int64_t> sums = periodSums(plan);
  const std::optional<std::vector<std::int32_t>> grids = lotGrids(plan, sums, result.reasons);
  if (!grids) return result;
  std::int64_t carry = 0;
  for (std::size_t j = 0; j < sums.size(); ++j) {
    const std::int32_t grid = (*grids)[j];
    std::int64_t quantity = sums[j] - carry;
    if (quantity < 0) {
      carry = -quantity;
      quantity = 0;
    } else {
      carry = 0;
    }
    const std::int64_t remainder = quantity % grid;
    if (remainder != 0) {
      quantity += grid - remainder;
      carry = grid - remainder;
    }
    if (!fitsInt32(quantity)) result.reasons.insert(Refusal::RoundedQuantity);
    const auto period = static_cast<std::int32_t>(j);
    result.periods.push_back(
        PlanningPeriod{.start = periodStart(plan, period), .demand = static_cast<std::int32_t>(quantity)});
  }
  if (!result.reasons.empty()) result.periods.clear();
  return result;
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

CostMatrix::CostMatrix(std::size_t n) : n_(n), values_(std::make_unique_for_overwrite<double[]>(n * n)) {}

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

LotProblems assignLots(std::vector<PlanningPeriod>& periods, const CostMatrix& matrix) {
  LotProblems problems;
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
      problems.sizeOutOfRange = true;
    }
    if (!std::isfinite(periods[order].cost)) problems.costNotFinite = true;
    last = order - 1;
  }
  return problems;
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

ReferencePlan referencePlan(const LoadedDemand& plan) {
  ReferencePlan result;
  if (!plan.headerFound) return result;
  bool refused = false;
  result.reasons = checkDemand(plan, refused);
  if (refused) return result;

  RoundedPeriods rounded = roundedPeriods(plan);
  if (!rounded.reasons.empty()) {
    result.reasons = std::move(rounded.reasons);
    return result;
  }
  std::vector<PlanningPeriod>& periods = rounded.periods;
  if (periods.empty()) {
    result.lots.emplace();
    return result;
  }
  const double interestYear = *firstFactor(plan, kZinsJahr);
  const CostMatrix matrix = buildCostMatrix(periods, parameterTable(plan.parameters, periods.size()),
                                            interestYear, *plan.periodLength);
  const LotProblems problems = assignLots(periods, matrix);
  if (problems.sizeOutOfRange) result.reasons.insert(Refusal::LotSize);
  if (problems.costNotFinite) result.reasons.insert(Refusal::LotCost);
  if (problems.any()) return result;
  result.lots = storedRows(periods, *firstFactor(plan, kWaehrung));
  if (!result.lots) result.reasons.insert(Refusal::LotCost);
  return result;
}

}  // namespace mrp::test
