#include "demand/message_code.h"

namespace mrp {

std::string_view codeName(MessageCode code) noexcept {
  switch (code) {
    case MessageCode::NoConversionFactors:
      return "no-conversion-factors";
    case MessageCode::UnknownConversion:
      return "unknown-conversion";
    case MessageCode::DemandMissing:
      return "demand-missing";
    case MessageCode::NoParameters:
      return "no-parameters";
    case MessageCode::ParameterNotWhole:
      return "parameter-not-whole";
    case MessageCode::UnknownParameter:
      return "unknown-parameter";
    case MessageCode::NoDueQuantities:
      return "no-due-quantities";
    case MessageCode::UnreadableValue:
      return "unreadable-value";
    case MessageCode::PeriodLengthInvalid:
      return "period-length-invalid";
    case MessageCode::InterestYearMissing:
      return "interest-year-missing";
    case MessageCode::InterestYearInvalid:
      return "interest-year-invalid";
    case MessageCode::CurrencyMissing:
      return "currency-missing";
    case MessageCode::CurrencyInvalid:
      return "currency-invalid";
    case MessageCode::LotGridMissing:
      return "lot-grid-missing";
    case MessageCode::LotGridInvalid:
      return "lot-grid-invalid";
    case MessageCode::QuantityOutOfRange:
      return "quantity-out-of-range";
    case MessageCode::LotCostNotFinite:
      return "lot-cost-not-finite";
    case MessageCode::TooManyPeriods:
      return "too-many-periods";
    case MessageCode::FactorMissing:
      return "factor-missing";
    case MessageCode::NegativeCost:
      return "negative-cost";
    case MessageCode::NegativeQuantity:
      return "negative-quantity";
    case MessageCode::DueDateGap:
      return "due-date-gap";
    case MessageCode::DatabaseError:
      return "database-error";
    case MessageCode::OutOfMemory:
      return "out-of-memory";
    case MessageCode::InternalError:
      return "internal-error";
  }
  return "internal-error";
}

bool isPlanWarning(MessageCode code) noexcept {
  switch (code) {
    case MessageCode::FactorMissing:
    case MessageCode::NegativeCost:
    case MessageCode::NegativeQuantity:
    case MessageCode::DueDateGap:
      return true;
    default:
      return false;
  }
}

}  // namespace mrp
