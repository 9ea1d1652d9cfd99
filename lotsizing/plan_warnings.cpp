#include "lotsizing/plan_warnings.h"

#include <cmath>
#include <cstddef>
#include <string>
#include <vector>

#include "demand/loaded_demand.h"
#include "demand/message_sink.h"
#include "platform/number_format.h"
#include "platform/ole_date.h"

namespace mrp {
namespace {

/// The cost parameters whose missing factor makes them 0. The factors whose
/// absence refuses a demand (ZinsJahr, Währung, PeriodenLänge, LosRaster) have
/// messages of their own.
constexpr ParameterCode kCostParameters[] = {kRuestKosten, kStueckKosten, kKapitalbindungsZinssatz,
                                             kWagnisZinssatz};

/// " (und <n> weitere)" when `more` is not 0.
std::string andMore(std::size_t more) {
  return more == 0 ? std::string() : " (und " + std::to_string(more) + " weitere)";
}

void warnMissingFactors(const LoadedDemand& demand, MessageSink& sink) {
  for (const ParameterCode code : kCostParameters) {
    if (demand.hasFactor(code)) continue;
    const std::string name(kParameterNames[code]);
    sink.message(MessageCode::FactorMissing, "UmrechnungsFaktor existiert nicht: " + name +
                                                 ": Jeder Parameter " + name + " zählt als 0!");
  }
}

/// The loading multiplied setup and unit costs by their factor and by the
/// currency factor; the message shows the value with its own factor only, as
/// the planner entered it times that factor.
void warnNegativeCosts(const LoadedDemand& demand, MessageSink& sink) {
  const double currency = demand.factorFor(kWaehrung);
  for (const ParameterEntry& entry : demand.parameters) {
    if ((entry.code != kRuestKosten && entry.code != kStueckKosten) || !(entry.value < 0.0)) continue;
    sink.message(MessageCode::NegativeCost,
                 "Negative Kosten: " + std::string(kParameterNames[entry.code]) + " " +
                     formatNumber(entry.value / currency) +
                     " (inklusiv UmrechnungsFaktor: " + formatNumber(demand.factorFor(entry.code)) +
                     ") ab Periode " + std::to_string(std::int64_t{entry.period} + 1));
  }
}

void warnNegativeQuantities(const LoadedDemand& demand, MessageSink& sink) {
  const DueQuantity* first = nullptr;
  std::size_t count = 0;
  for (const DueQuantity& due : demand.dueQuantities) {
    if (due.quantity >= 0) continue;
    if (!first) first = &due;
    ++count;
  }
  if (!first) return;
  sink.message(MessageCode::NegativeQuantity, "Negative Menge: " + std::to_string(first->quantity) +
                                                  " zum Termin " + formatOleDate(first->date) +
                                                  andMore(count - 1));
}

/// Due dates come in time order; gaps are measured in whole days on the
/// linear day scale, so that dates before 1899-12-30 count as well. Dates are
/// years 1 to 9999 at most, so a gap always fits.
void warnDueDateGaps(const LoadedDemand& demand, MessageSink& sink) {
  const std::vector<DueQuantity>& dues = demand.dueQuantities;
  std::size_t firstGap = 0;
  std::int64_t firstGapDays = 0;
  std::size_t count = 0;
  for (std::size_t i = 1; i < dues.size(); ++i) {
    const double days = std::floor(linearDays(dues[i].date) - linearDays(dues[i - 1].date));
    if (!(days > static_cast<double>(kLongestDueDateGap))) continue;
    if (count++ == 0) {
      firstGap = i;
      firstGapDays = static_cast<std::int64_t>(days);
    }
  }
  if (count == 0) return;
  sink.message(MessageCode::DueDateGap, "Termin " + formatOleDate(dues[firstGap].date) + " liegt " +
                                            std::to_string(firstGapDays) + " Tage nach dem vorigen Termin " +
                                            formatOleDate(dues[firstGap - 1].date) + andMore(count - 1));
}

}  // namespace

void reportPlanWarnings(const LoadedDemand& demand, MessageSink& sink) {
  warnMissingFactors(demand, sink);
  warnNegativeCosts(demand, sink);
  warnNegativeQuantities(demand, sink);
  warnDueDateGaps(demand, sink);
}

}  // namespace mrp
