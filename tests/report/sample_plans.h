// Plans built by hand for the report's tests.
#pragma once

#include <cstdint>
#include <vector>

#include "lotsizing/lot_plan.h"

namespace mrp::test {

/// Wagner and Whitin's 12 daily periods from 2027-01-04 with their optimal
/// lots. The stored costs are half the periods' costs, as with a currency
/// factor of 2: the report must show the stored ones (114 ... 154, total 864).
inline LotPlan ww1958Plan() {
  const std::int32_t due[] = {69, 29, 36, 61, 61, 26, 34, 67, 45, 67, 79, 56};
  const std::int32_t lot[] = {98, 0, 97, 0, 121, 0, 0, 112, 0, 67, 135, 0};
  const double kosten[] = {114, 0, 163, 0, 192, 0, 0, 131, 0, 110, 154, 0};
  LotPlan plan;
  for (int p = 0; p < 12; ++p) {
    const OleDate start = 46391.0 + p;
    plan.periods.push_back({start, due[p], lot[p], 0, 2 * kosten[p]});
    if (lot[p] != 0) plan.lots.push_back({start, lot[p], kosten[p]});
  }
  return plan;
}

}  // namespace mrp::test
