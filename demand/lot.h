// One row of `LosGröße`: a lot of a demand as it is stored.
#pragma once

#include <cstdint>

#include "platform/ole_date.h"

namespace mrp {

struct Lot {
  OleDate date = 0.0;  // start of the order period (the column Termin)
  std::int32_t lotSize = 0;
  double cost = 0.0;  // the lot's cost divided by the currency factor (Kosten)
};

}  // namespace mrp
