// One row of `LosGröße`: a lot of a demand as it is stored.
#pragma once

#include <cstdint>

#include "platform/ole_date.h"

namespace mrp {

struct Lot {
  OleDate termin = 0.0;  // start of the order period
  std::int32_t lotSize = 0;
  double kosten = 0.0;  // the lot's cost divided by the currency factor
};

}  // namespace mrp
