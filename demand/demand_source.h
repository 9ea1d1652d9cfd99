// Where a demand's input rows come from: the rows of its four input tables,
// whatever reads them (a statement per table and demand, a stream of many
// demands' rows, or rows a test gives).
#pragma once

#include "db/rows.h"

namespace mrp {

/// The rows of one demand, one table after the other; each is asked for once,
/// in this order, and read to its end (or left) before the next is asked for.
class DemandSource {
 public:
  /// `UmrechnungsFaktor`: Umrechnung, UmrechnungsFaktor, Beschreibung.
  virtual Rows& conversionFactors() = 0;
  /// `Bedarf`: StartTermin, PeriodenLänge, Beschreibung.
  virtual Rows& header() = 0;
  /// `Parameter`: Periode, Parameter, Wert; grouped by name, ascending by
  /// period within a name.
  virtual Rows& parameters() = 0;
  /// `Termin`: Termin, Menge; ascending by date.
  virtual Rows& dueQuantities() = 0;

 protected:
  ~DemandSource() = default;
};

}  // namespace mrp
