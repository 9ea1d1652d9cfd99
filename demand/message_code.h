// The stable codes of a demand's messages: every data problem, refusal
// reason, warning and failure a run can report has one, so that a batch log
// can be counted and searched by code while the German texts stay free to
// name the values involved. A code is lower-case words joined by dashes and
// never changes its meaning; README.md and the man pages list each with its
// message.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace mrp {

enum class MessageCode : std::uint8_t {
  // Data problems found while loading: the row is left out or the value taken
  // as it stands, and planning goes on.
  NoConversionFactors,
  UnknownConversion,
  DemandMissing,
  NoParameters,
  ParameterNotWhole,
  UnknownParameter,
  NoDueQuantities,
  UnreadableValue,
  // Reasons a demand cannot be planned at all.
  PeriodLengthInvalid,
  InterestYearMissing,
  InterestYearInvalid,
  CurrencyMissing,
  CurrencyInvalid,
  LotGridMissing,
  LotGridInvalid,
  QuantityOutOfRange,
  LotCostNotFinite,
  TooManyPeriods,
  // Data a plan takes as it stands although a planner should look at it.
  FactorMissing,
  NegativeCost,
  NegativeQuantity,
  DueDateGap,
  // A run that failed: its demand keeps its old rows.
  DatabaseError,
  OutOfMemory,
  InternalError,
};

/// The last code: every code lies between MessageCode{} and this one.
inline constexpr MessageCode kLastMessageCode = MessageCode::InternalError;

/// The code as it is written in logs and reports, e.g. "factor-missing".
std::string_view codeName(MessageCode code) noexcept;

/// Whether `code` is a warning about data the plan takes as it stands. The
/// single-demand program has always planned such data without a word and
/// prints none of these; the batch and the report show them.
bool isPlanWarning(MessageCode code) noexcept;

/// One message of a run: its code and its line of UTF-8 text.
struct Message {
  MessageCode code{};
  std::string text;

  friend bool operator==(const Message&, const Message&) = default;
};

}  // namespace mrp
