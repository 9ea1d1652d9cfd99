// The checks that keep the engine from running on data it cannot plan, and the
// texts of every refusal (listed in plan_checks.h).
#include "lotsizing/plan_checks.h"

#include <cmath>
#include <utility>

#include "demand/loaded_demand.h"
#include "demand/message_sink.h"
#include "platform/number_format.h"
#include "platform/ole_date.h"

namespace mrp {
namespace {

/// "in Periode <p>" or "in Periode <p> bis <q>", counted from 1.
std::string periodRange(std::int32_t first, std::int32_t last) {
  std::string text = "in Periode " + std::to_string(std::int64_t{first} + 1);
  if (last != first) text += " bis " + std::to_string(std::int64_t{last} + 1);
  return text;
}

std::string inPeriod(std::int32_t period) { return periodRange(period, period); }

std::string number(std::int64_t value) { return formatNumber(static_cast<double>(value)); }

/// A factor the costs can be multiplied and divided by without losing digits:
/// positive, finite and normal (a subnormal double keeps fewer than 53 bits).
bool isUsableFactor(double factor) { return factor > 0.0 && std::isnormal(factor); }

}  // namespace

void PlanProblems::add(MessageCode code, std::string line) {
  messages_.push_back(Message{code, std::move(line)});
}

void PlanProblems::periodLengthBelowOneDay(std::int32_t days, double factor) {
  add(MessageCode::PeriodLengthInvalid, "Unerlaubte PeriodenLänge: " + number(days) +
                                            " Tage (inklusiv UmrechnungsFaktor: " + formatNumber(factor) +
                                            "): Nur PeriodenLänge ab einem Tag ist hier erlaubt!");
}

void PlanProblems::interestYearMissing() {
  add(MessageCode::InterestYearMissing, "UmrechnungsFaktor existiert nicht: ZinsJahr");
}

void PlanProblems::interestYearInvalid(double factor) {
  add(MessageCode::InterestYearInvalid, "Unerlaubter UmrechnungsFaktor: ZinsJahr " + formatNumber(factor) +
                                            ": Nur positiver endlicher Faktor ist hier erlaubt!");
}

void PlanProblems::currencyMissing() {
  add(MessageCode::CurrencyMissing, "UmrechnungsFaktor existiert nicht: Währung");
}

void PlanProblems::currencyInvalid(double factor) {
  add(MessageCode::CurrencyInvalid, "Unerlaubter UmrechnungsFaktor: Währung " + formatNumber(factor) +
                                        ": Nur positiver endlicher Faktor ist hier erlaubt!");
}

void PlanProblems::lotGridMissing(std::int32_t first, std::int32_t last) {
  add(MessageCode::LotGridMissing, "LosRaster existiert nicht " + periodRange(first, last));
}

void PlanProblems::lotGridInvalid(double value, std::int32_t first, std::int32_t last) {
  add(MessageCode::LotGridInvalid, "Unerlaubter LosRaster: " + formatNumber(value) + " " +
                                       periodRange(first, last) +
                                       ": Nur LosRaster von 1 bis 2147483647 ist hier erlaubt!");
}

void PlanProblems::periodSumOutOfRange(std::int64_t sum, std::int32_t period) {
  add(MessageCode::QuantityOutOfRange,
      "Mengensumme außerhalb des Wertebereichs: " + number(sum) + " " + inPeriod(period));
}

void PlanProblems::roundedQuantityOutOfRange(std::int64_t quantity, std::int32_t period) {
  add(MessageCode::QuantityOutOfRange,
      "Gerundete Menge außerhalb des Wertebereichs: " + number(quantity) + " " + inPeriod(period));
}

void PlanProblems::lotSizeOutOfRange(std::int64_t lot, std::int32_t period) {
  add(MessageCode::QuantityOutOfRange,
      "Losgröße außerhalb des Wertebereichs: " + number(lot) + " " + inPeriod(period));
}

void PlanProblems::lotCostNotFinite(double cost, std::int32_t period) {
  add(MessageCode::LotCostNotFinite,
      "Loskosten nicht endlich: " + formatNumber(cost) + " " + inPeriod(period));
}

void PlanProblems::tooManyPeriods(std::int64_t periods, double lastDue) {
  add(MessageCode::TooManyPeriods, "Zu viele Perioden: " + std::to_string(periods) + " bis zum Termin " +
                                       formatOleDate(lastDue) + ": Nur bis " + std::to_string(kMostPeriods) +
                                       " Perioden ist hier erlaubt!");
}

PlanProblems checkPlannable(const LoadedDemand& plan) {
  PlanProblems problems;
  // Without a header there is nothing to check; the loading said so already.
  if (!plan.headerFound) {
    problems.addReported();
    return problems;
  }

  if (!plan.startDate) problems.addReported();
  if (!plan.periodLength) {
    problems.addReported();
  } else if (*plan.periodLength < 1) {
    // Periods are found by adding the length until the date is passed, which
    // never ends with a length below one day.
    problems.periodLengthBelowOneDay(*plan.periodLength, plan.factorFor(kPeriodenLaenge));
  }

  // The holding cost divides the unit cost by the interest year: dividing by a
  // subnormal one makes any ordinary holding cost infinite.
  const double interestYear = plan.factorFor(kZinsJahr);
  if (!plan.hasFactor(kZinsJahr)) {
    problems.interestYearMissing();
  } else if (!isUsableFactor(interestYear)) {
    problems.interestYearInvalid(interestYear);
  }

  // Loading multiplies the costs by the currency factor and storing divides
  // by it: a negative one turns every cost round and the dearest plan wins,
  // and costs times a subnormal one lose their digits (120 comes back for 142.05).
  const double currency = plan.factorFor(kWaehrung);
  if (!plan.hasFactor(kWaehrung)) {
    problems.currencyMissing();
  } else if (!isUsableFactor(currency)) {
    problems.currencyInvalid(currency);
  }
  return problems;
}

bool refuseIfAny(const PlanProblems& problems, MessageSink& sink) {
  if (!problems.any()) return false;
  for (const Message& message : problems.messages()) sink.message(message.code, message.text);
  return true;
}

}  // namespace mrp
