#include "support/plan_builder.h"

#include <algorithm>
#include <cmath>
#include <random>
#include <utility>

namespace mrp::test {

PlanBuilder::PlanBuilder(std::string demandKey) : demandKey_(std::move(demandKey)) {
  factor(kZinsJahr, 1.0);
  factor(kWaehrung, 1.0);
  parameter(kLosRaster, 0, 1.0);
}

PlanBuilder& PlanBuilder::header(OleDate startDate, std::int32_t periodLength) {
  startDate_ = startDate;
  periodLength_ = periodLength;
  return *this;
}

PlanBuilder& PlanBuilder::factor(std::int32_t code, double value) {
  std::erase_if(factors_, [code](const ConversionFactor& f) { return f.code == code; });
  factors_.push_back(ConversionFactor{code, value, {}});
  return *this;
}

PlanBuilder& PlanBuilder::clearParameter(std::int32_t code) {
  std::erase_if(parameters_, [code](const ParameterEntry& e) { return e.code == code; });
  return *this;
}

PlanBuilder& PlanBuilder::parameter(std::int32_t code, std::int32_t period, double value) {
  parameters_.push_back(ParameterEntry{period, code, value});
  return *this;
}

PlanBuilder& PlanBuilder::perPeriod(std::int32_t code, const std::vector<double>& values) {
  clearParameter(code);
  for (std::size_t p = 0; p < values.size(); ++p) {
    parameter(code, static_cast<std::int32_t>(p), values[p]);
  }
  return *this;
}

PlanBuilder& PlanBuilder::due(OleDate date, std::int32_t quantity) {
  dueQuantities_.push_back(DueQuantity{date, quantity});
  return *this;
}

PlanBuilder& PlanBuilder::periodQuantities(const std::vector<std::int32_t>& quantities) {
  for (std::size_t p = 0; p < quantities.size(); ++p) {
    due(startDate_ + (static_cast<double>(p) + 0.5) * periodLength_, quantities[p]);
  }
  return *this;
}

PlanBuilder& PlanBuilder::holdingCost(double perUnitAndPeriod) {
  factor(kZinsJahr, 1.0);
  clearParameter(kStueckKosten).parameter(kStueckKosten, 0, 1.0);
  clearParameter(kKapitalbindungsZinssatz)
      .parameter(kKapitalbindungsZinssatz, 0, perUnitAndPeriod / periodLength_);
  return clearParameter(kWagnisZinssatz);
}

LoadedDemand PlanBuilder::build() const {
  LoadedDemand plan;
  plan.demandKey = demandKey_;
  plan.headerFound = true;
  plan.startDate = startDate_;
  plan.periodLength = periodLength_;
  plan.conversionFactors = factors_;
  // The loading delivers parameters grouped by code, each in period order.
  plan.parameters = parameters_;
  std::stable_sort(plan.parameters.begin(), plan.parameters.end(),
                   [](const ParameterEntry& a, const ParameterEntry& b) {
                     return a.code != b.code ? a.code < b.code : a.period < b.period;
                   });
  plan.dueQuantities = dueQuantities_;
  return plan;
}

namespace {

/// Entries of `code` at random periods from 0 on, values from `values`.
template <typename Values>
void randomTimeline(PlanBuilder& builder, std::mt19937& random, std::int32_t code, std::int32_t periods,
                    Values values) {
  builder.clearParameter(code);
  std::uniform_int_distribution<std::int32_t> gap(1, std::max(1, periods / 8));
  // Sometimes the first entry comes later than period 0 (the value is 0.0
  // before it), and sometimes two entries share a period.
  std::int32_t period = random() % 4 == 0 ? gap(random) : 0;
  while (period < periods) {
    builder.parameter(code, period, values(random));
    if (random() % 10 == 0) builder.parameter(code, period, values(random));
    period += gap(random);
  }
}

}  // namespace

PlanBuilder PlanBuilder::random(std::uint32_t seed, std::int32_t periods, std::int32_t duePerPeriod) {
  std::mt19937 random(seed);
  PlanBuilder builder;
  const std::int32_t length = std::uniform_int_distribution<std::int32_t>(1, 14)(random);
  // Summed period starts differ from start + k * L in the last bits only where
  // the sum crosses a power of two: so the start is fractional and sometimes
  // tiny (many crossings) or just below day 65536 (2079-06-06).
  const double fraction = std::uniform_real_distribution<double>(0.0, 1.0)(random);
  const double bases[] = {45292.0, 0.0, 65536.0 - static_cast<double>(periods) * length / 2};
  const double start = bases[random() % 3] + fraction;
  builder.header(start, length).factor(kZinsJahr, 360.0);

  randomTimeline(builder, random, kRuestKosten, periods,
                 [](std::mt19937& r) { return std::uniform_real_distribution<double>(20, 500)(r); });
  randomTimeline(builder, random, kStueckKosten, periods,
                 [](std::mt19937& r) { return std::uniform_real_distribution<double>(1, 100)(r); });
  randomTimeline(builder, random, kKapitalbindungsZinssatz, periods,
                 [](std::mt19937& r) { return std::uniform_real_distribution<double>(0, 0.2)(r); });
  randomTimeline(builder, random, kWagnisZinssatz, periods,
                 [](std::mt19937& r) { return std::uniform_real_distribution<double>(0, 0.1)(r); });
  // Lot grids from period 0 on, some of them fractional (truncated when used).
  builder.clearParameter(kLosRaster);
  std::uniform_int_distribution<std::int32_t> grid(1, 12);
  for (std::int32_t p = 0; p < periods; p += 1 + static_cast<std::int32_t>(random() % 50)) {
    builder.parameter(kLosRaster, p, grid(random) + (random() % 3 == 0 ? 0.9 : 0.0));
  }

  // Due dates: random offsets, with some exactly on a period boundary (by
  // summed lengths) and some before the start date.
  std::vector<double> dates;
  std::uniform_real_distribution<double> offset(-2.0 * length, static_cast<double>(periods) * length);
  const auto count = static_cast<std::int64_t>(periods) * duePerPeriod;
  for (std::int64_t i = 0; i < count; ++i) {
    double date = start + offset(random);
    if (random() % 8 == 0) {
      date = start;
      const auto steps = random() % static_cast<std::uint32_t>(periods);
      for (std::uint32_t k = 0; k < steps; ++k) date = date + length;
    }
    dates.push_back(std::max(date, start - 2.0 * length));
  }
  std::sort(dates.begin(), dates.end());
  std::uniform_int_distribution<std::int32_t> quantity(-20, 400);
  for (double date : dates) builder.due(date, quantity(random));
  return builder;
}

}  // namespace mrp::test
