// Fills demand plans by hand, for the engine's tests.
//
// A new builder describes a plannable demand: a header read with start date
// 45292 (2024-01-01) and a period length of 1 day, the factors ZinsJahr 1 and
// Währung 1, and a lot grid of 1 from period 0 on. Setters replace or add to
// that; `build` makes the plan. Parameter entries and due quantities keep the
// order in which they were added (the loading's order: parameters by code and
// period, due quantities by date).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "demand/loaded_demand.h"

namespace mrp::test {

class PlanBuilder {
 public:
  explicit PlanBuilder(std::string demandKey = "TEST");

  PlanBuilder& header(OleDate startDate, std::int32_t periodLength);
  /// Sets the factor of `code`, replacing an earlier one.
  PlanBuilder& factor(std::int32_t code, double value);
  /// Removes every parameter entry of `code` (the default lot grid, say).
  PlanBuilder& clearParameter(std::int32_t code);
  /// Adds an entry: `code` has `value` from `period` (0-based) on.
  PlanBuilder& parameter(std::int32_t code, std::int32_t period, double value);
  /// One entry per period: `values[p]` from period p on.
  PlanBuilder& perPeriod(std::int32_t code, const std::vector<double>& values);
  PlanBuilder& due(OleDate date, std::int32_t quantity);
  /// One due quantity per period, dated in the middle of that period.
  PlanBuilder& periodQuantities(const std::vector<std::int32_t>& quantities);
  /// Unit cost 1, interest year 1 and a capital rate of `perUnitAndPeriod`
  /// divided by the period length: holding one unit over one period costs
  /// `perUnitAndPeriod`. Uses the period length set so far (call `header` first).
  PlanBuilder& holdingCost(double perUnitAndPeriod);

  LoadedDemand build() const;

  /// A random demand: `periods` periods of a random length from a fractional
  /// start date, about `duePerPeriod` due quantities per period in date order
  /// (some on period boundaries, some before the start, a few negative) and
  /// time-phased costs, rates and lot grids.
  static PlanBuilder random(std::uint32_t seed, std::int32_t periods, std::int32_t duePerPeriod);

 private:
  std::string demandKey_;
  OleDate startDate_ = 45292.0;
  std::int32_t periodLength_ = 1;
  std::vector<ConversionFactor> factors_;
  std::vector<ParameterEntry> parameters_;
  std::vector<DueQuantity> dueQuantities_;
};

}  // namespace mrp::test
