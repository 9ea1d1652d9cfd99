// DemandPlan: the record of one planning run for one demand (`Bedarf`).
//
// Construction binds the demand key as the one statement parameter and loads,
// in this order, the conversion factor catalogue, the demand header, the
// time-phased parameters and the due quantities. Data problems are printed in
// the error banner and loading goes on; only database failures raise. The
// engine (`compute`) and the storage (`store`) are operations of the plan,
// defined in lotsizing/, and work on its fields directly.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "db/db_query.h"
#include "demand/parameter_code.h"
#include "platform/variant.h"

namespace mrp {

/// Texts read from the database keep at most this many bytes.
inline constexpr std::int32_t kTextCapacity = 129;

/// One row of `UmrechnungsFaktor`.
struct ConversionFactor {
  std::int32_t code = 0;
  double factor = 0.0;
  std::string description;
};

/// One row of `Parameter`: from `period` on (0-based), code `code` has `value`
/// (already multiplied by its conversion factors).
struct ParameterEntry {
  std::int32_t period = 0;
  std::int32_t code = 0;
  double value = 0.0;
};

/// One row of `Termin`.
struct DueQuantity {
  VARIANT date;  // OleDate rounded to whole seconds, or empty
  std::int32_t quantity = 0;
};

/// One planning period, created by `compute`.
struct PlanningPeriod {
  VARIANT start;                 // OleDate of the period's first moment
  std::int32_t demand = 0;       // quantity due, then rounded to the lot grid
  std::int32_t lotSize = 0;      // lot ordered in this period, 0 for none
  std::int32_t orderPeriod = 0;  // order period of the cheapest plan up to here
  double cost = 0.0;             // cost of the lot ordered here, 0.0 for none
};

class DemandPlan : public DbQuery {
 public:
  /// Loads the demand `demandKey` from the shared connection. The key text
  /// must outlive the plan.
  explicit DemandPlan(const char* demandKey);
  /// An unloaded plan without a database statement, for filling by hand in
  /// tests of the engine; the program itself never makes one.
  static std::unique_ptr<DemandPlan> detached(const char* demandKey);

  /// Factor of the first catalogue entry with `code`, 0.0 when there is none.
  double factorFor(std::int32_t code) const;

  // The engine (lotsizing/).
  /// Checks that the demand can be planned, buckets and rounds the due
  /// quantities, builds both tables and assigns the lots. Raises `PlanRefused`
  /// after printing the problems when the demand cannot be planned.
  void compute();
  std::int32_t periodIndex(const VARIANT& date) const;
  VARIANT periodStart(std::int32_t index) const;
  double parameterValue(std::int32_t code, std::int32_t period) const;
  void buildPeriodCostTable();
  void buildCostMatrix();
  double selectOrderPeriod(std::int32_t period);
  void assignLots();
  /// Prints one error-banner line per reason the demand cannot be planned and
  /// raises `PlanRefused` when there is any.
  void checkPlannable() const;

  // Result storage (lotsizing/).
  /// Replaces the demand's rows in `LosGröße` by one row per lot, in one
  /// serializable transaction.
  void store();

  // The plan's data, read and written directly by the engine and its tests.
  std::vector<ConversionFactor> conversionFactors;
  std::vector<ParameterEntry> parameters;
  std::vector<DueQuantity> dueQuantities;
  std::vector<PlanningPeriod> periods;
  std::string description;
  const char* demandKey = nullptr;
  VARIANT startDate;
  std::int32_t periodLength = 0;
  /// Whether a header row was found, and whether its start date and period
  /// length could be read.
  bool headerFound = false;
  bool startDateRead = false;
  bool periodLengthRead = false;
  /// n x 5 values, the value of code c in period p at p * 5 + c.
  std::vector<double> periodCostTable;
  /// n x n entries, row-major; only i <= l is written.
  std::unique_ptr<double[]> costMatrix;

  std::int32_t periodCount() const { return static_cast<std::int32_t>(periods.size()); }
  double& matrixEntry(std::int32_t row, std::int32_t column) {
    return costMatrix[static_cast<std::size_t>(row) * periods.size() + column];
  }

 private:
  DemandPlan(const char* demandKey, Detached);
  void loadConversionFactors();
  bool loadHeader();
  /// periodLength := header length times the PeriodenLänge factor, truncated.
  void setPeriodLength(std::int32_t headerLength);
  void loadParameters();
  void loadParameterRow();
  void loadDueQuantities();
};

}  // namespace mrp
