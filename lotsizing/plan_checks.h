// Why a demand cannot be planned, and how the engine refuses it.
//
// The engine refuses a demand whose data would make the computation hang,
// divide by zero, overflow a 32-bit quantity or produce costs that are not
// finite. Every problem becomes one line for the run's message sink; a refused
// demand gets no lots, so nothing reaches the database. Problems that the
// loading has reported already (no header, an unreadable start date or period
// length) refuse the demand without a further line.
//
// All message texts live in plan_checks.cpp. Numbers use the message number
// format (6 significant digits); periods are counted from 1 as the database
// counts them. The messages (<...> stands for a value, each one line) and
// their codes:
//   Unerlaubte PeriodenLänge: <days> Tage (inklusiv UmrechnungsFaktor: <factor>):
//     Nur PeriodenLänge ab einem Tag ist hier erlaubt!                   period-length-invalid
//   UmrechnungsFaktor existiert nicht: ZinsJahr                          interest-year-missing
//   Unerlaubter UmrechnungsFaktor: ZinsJahr <factor>: Nur positiver endlicher Faktor ist hier erlaubt!
//                                                                        interest-year-invalid
//   UmrechnungsFaktor existiert nicht: Währung                           currency-missing
//   Unerlaubter UmrechnungsFaktor: Währung <factor>: Nur positiver endlicher Faktor ist hier erlaubt!
//                                                                        currency-invalid
//   LosRaster existiert nicht in Periode <p>  ("in Periode <p> bis <q>") lot-grid-missing
//   Unerlaubter LosRaster: <value> in Periode <p>: Nur LosRaster von 1 bis 2147483647 ist hier erlaubt!
//                                 (also "in Periode <p> bis <q>")        lot-grid-invalid
//   Mengensumme außerhalb des Wertebereichs: <sum> in Periode <p>        quantity-out-of-range
//   Gerundete Menge außerhalb des Wertebereichs: <quantity> in Periode <p>   quantity-out-of-range
//   Losgröße außerhalb des Wertebereichs: <lot> in Periode <p>           quantity-out-of-range
//   Loskosten nicht endlich: <cost> in Periode <p>                       lot-cost-not-finite
//   Zu viele Perioden: <n> bis zum Termin <YYYY-MM-DD HH:MM:SS>: Nur bis 200000 Perioden ist hier erlaubt!
//                                                                        too-many-periods
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "demand/message_code.h"

namespace mrp {

struct LoadedDemand;
class MessageSink;

/// The messages of a refusal, collected while a step runs; empty when the
/// step found nothing wrong.
class PlanProblems {
 public:
  bool empty() const noexcept { return messages_.empty(); }
  const std::vector<Message>& messages() const noexcept { return messages_; }

  /// A header problem the loading has reported already: refuses, prints nothing.
  void addReported() { reportedElsewhere_ = true; }
  bool any() const noexcept { return reportedElsewhere_ || !messages_.empty(); }

  void periodLengthBelowOneDay(std::int32_t days, double factor);
  void interestYearMissing();
  void interestYearInvalid(double factor);
  void currencyMissing();
  void currencyInvalid(double factor);
  /// No `LosRaster` entry holds in periods `first` to `last` (0-based).
  void lotGridMissing(std::int32_t first, std::int32_t last);
  /// The `LosRaster` `value` holding in periods `first` to `last` (0-based)
  /// does not truncate to a grid of 1 or more.
  void lotGridInvalid(double value, std::int32_t first, std::int32_t last);
  void periodSumOutOfRange(std::int64_t sum, std::int32_t period);
  void roundedQuantityOutOfRange(std::int64_t quantity, std::int32_t period);
  void lotSizeOutOfRange(std::int64_t lot, std::int32_t period);
  void lotCostNotFinite(double cost, std::int32_t period);
  /// The due quantities reach up to `lastDue`, `periods` periods from the start.
  void tooManyPeriods(std::int64_t periods, double lastDue);

 private:
  void add(MessageCode code, std::string line);

  std::vector<Message> messages_;
  bool reportedElsewhere_ = false;
};

/// The problems that keep `plan` from being planned at all: no header, an
/// unreadable start date, a period length below one day or unreadable, an
/// interest year or currency factor missing or not a positive, finite, normal
/// double (zero, negative, infinite, NaN or subnormal).
PlanProblems checkPlannable(const LoadedDemand& plan);

/// When `problems` holds any: hands its messages to `sink` and returns true.
bool refuseIfAny(const PlanProblems& problems, MessageSink& sink);

/// The most periods a demand may have: a horizon of 200,000 periods (548 years of
/// daily periods) is far beyond any planning, while a placeholder due date in
/// year 9999 would make millions.
inline constexpr std::int64_t kMostPeriods = 200'000;

/// Whether `value` fits a 32-bit signed integer.
constexpr bool fitsInt32(std::int64_t value) noexcept { return value >= INT32_MIN && value <= INT32_MAX; }

}  // namespace mrp
