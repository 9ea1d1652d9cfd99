// The plan of one demand as a picture: a self-contained SVG file (UTF-8, no
// scripts, fonts or images from elsewhere) that a browser or an image viewer
// shows as it is.
//
// Per period a bar of the quantity due (class "due") and, where a lot is
// ordered, a bar of the lot beside it (class "lot", another colour); the
// stock carried as a step line (class "stock"); the period starts as dates
// under the time axis, a sparse choice of them when there are many periods; a
// quantity axis with round ticks; a legend; and a title with the demand key
// and the total cost. The file grows linearly with the periods: with
// thousands of them the bars become thin, the labels stay few.
#pragma once

#include <ostream>
#include <string>
#include <string_view>

#include "report/plan_report.h"

namespace mrp::report {

/// `text` (UTF-8) as XML character data or attribute value: the markup
/// characters escaped, control characters made blanks, malformed UTF-8 and the
/// non-characters U+FFFE and U+FFFF made U+FFFD, so that any text keeps the
/// file well-formed.
std::string xmlText(std::string_view text);

/// Writes the picture of `report`.
void writePlanSvg(std::ostream& out, const PlanReport& report);

}  // namespace mrp::report
