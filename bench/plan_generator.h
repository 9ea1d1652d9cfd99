// Generated demands for the engine benchmark: a loaded demand as the database
// would deliver it, without a database.
#pragma once

#include <cstdint>

#include "demand/loaded_demand.h"

namespace mrp::bench {

/// A plannable demand of `periods` periods of a random length of 1 to 14 days
/// with about `duePerPeriod` due quantities each (in date order, a few
/// negative), time-phased setup and unit costs, interest rates and lot grids.
LoadedDemand generatedDemand(std::uint32_t seed, std::int32_t periods, std::int32_t duePerPeriod);

}  // namespace mrp::bench
