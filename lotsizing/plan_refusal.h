// The outcome of a demand that cannot be planned.
#pragma once

namespace mrp {

/// Raised by `DemandPlan::compute` when the demand cannot be planned. Its
/// reasons have been printed in the error banner already; nothing was computed
/// or stored.
class PlanRefused {};

}  // namespace mrp
