#include "report/plan_table.h"

#include <cmath>
#include <cstdio>

#include "platform/text_encoding.h"
#include "report/text_table.h"

namespace mrp::report {
namespace {

constexpr std::int64_t kSecondsPerDay = 86400;
/// From here on a cost is written in exponent form.
constexpr double kLargestFixedCost = 1e15;

std::string quantity(std::int64_t value) { return std::to_string(value); }

std::vector<std::string> periodRow(const PeriodLine& period, StartPrecision precision) {
  return {quantity(period.number),       formatStart(period.start, precision),
          quantity(period.due),          period.lot != 0 ? quantity(period.lot) : "-",
          quantity(period.stockCarried), period.lotCost ? formatCost(*period.lotCost) : "-"};
}

std::vector<std::string> totalsRow(const PlanReport& report) {
  return {
      "Summe", "", quantity(report.totalDue), quantity(report.totalLots), "", formatCost(report.totalCost)};
}

}  // namespace

StartPrecision startPrecisionFor(const std::vector<PeriodLine>& periods) {
  StartPrecision precision = StartPrecision::Day;
  for (const PeriodLine& period : periods) {
    const CalendarTime time = calendarFromOleDate(period.start, kSecondsPerDay);
    if (time.second != 0) return StartPrecision::Second;
    if (time.hour != 0 || time.minute != 0) precision = StartPrecision::Minute;
  }
  return precision;
}

std::string formatStart(OleDate start, StartPrecision precision) {
  const CalendarTime t = calendarFromOleDate(start, kSecondsPerDay);
  const auto year = static_cast<long long>(t.year);
  char text[64];
  switch (precision) {
    case StartPrecision::Day:
      std::snprintf(text, sizeof text, "%04lld-%02u-%02u", year, t.month, t.day);
      break;
    case StartPrecision::Minute:
      std::snprintf(text, sizeof text, "%04lld-%02u-%02u %02u:%02u", year, t.month, t.day, t.hour, t.minute);
      break;
    case StartPrecision::Second:
      std::snprintf(text, sizeof text, "%04lld-%02u-%02u %02u:%02u:%02u", year, t.month, t.day, t.hour,
                    t.minute, t.second);
      break;
  }
  return text;
}

std::string formatCost(double cost) {
  // %.2e prints inf and nan as they are.
  const bool fixed = std::isfinite(cost) && std::fabs(cost) < kLargestFixedCost;
  // A cost that rounds to zero is shown without its sign.
  if (fixed && std::fabs(cost) < 0.005) cost = 0.0;
  char text[64];
  std::snprintf(text, sizeof text, fixed ? "%.2f" : "%.2e", cost);
  return text;
}

std::string formatPeriodLength(std::int32_t days) {
  return std::to_string(days) + (days == 1 ? " Tag" : " Tage");
}

std::string formatPeriodLengthDative(std::int32_t days) {
  return std::to_string(days) + (days == 1 ? " Tag" : " Tagen");
}

void writePlanTable(std::ostream& out, const PlanReport& report) {
  out << "Bedarf: " << withoutControlCharacters(report.demandKey)
      << "   Periodenlänge: " << formatPeriodLength(report.periodLength)
      << "   Perioden: " << report.periods.size() << "\n\n";
  TextTable table({"Periode", "Beginn", "Fällig", "Los", "Bestand", "Kosten"},
                  {Align::Right, Align::Left, Align::Right, Align::Right, Align::Right, Align::Right});
  const StartPrecision precision = startPrecisionFor(report.periods);
  for (const PeriodLine& period : report.periods) table.addRow(periodRow(period, precision));
  table.addRule();
  table.addRow(totalsRow(report));
  table.write(out);
  out << "Lose: " << report.lotCount << '\n';
}

}  // namespace mrp::report
