#include "demand/data_problems.h"

#include <cmath>
#include <cstdint>
#include <cstdio>

#include "driver/console.h"

namespace mrp {
namespace {

/// A UTF-8 text in code page 850 (slot 0); an empty text gives an empty part.
std::string toConsole(const std::string& text) {
  return std::string(orNothing(consoleText(0, text.c_str(), "", "", "", "", "")));
}

std::string joined(const std::vector<std::string_view>& parts) {
  std::string text;
  for (std::string_view part : parts) {
    if (!text.empty()) text += ", ";
    text += part;
  }
  return text;
}

/// Civil date of a day count since 1970-01-01 (proleptic Gregorian calendar).
void civilFromDays(std::int64_t days, int& year, int& month, int& day) {
  days += 719468;
  const std::int64_t era = (days >= 0 ? days : days - 146096) / 146097;
  const std::int64_t dayOfEra = days - era * 146097;
  const std::int64_t yearOfEra =
      (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
  const std::int64_t dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
  const std::int64_t monthIndex = (5 * dayOfYear + 2) / 153;
  day = static_cast<int>(dayOfYear - (153 * monthIndex + 2) / 5 + 1);
  month = static_cast<int>(monthIndex < 10 ? monthIndex + 3 : monthIndex - 9);
  year = static_cast<int>(yearOfEra + era * 400 + (month <= 2 ? 1 : 0));
}

}  // namespace

void reportNoConversionFactors() { printErrorBanner("UmrechnungsFaktoren existieren nicht!"); }

void reportUnknownConversion(const std::string& name) {
  printErrorBanner("Unbekannte Umrechnung: " + toConsole(name));
}

void reportMissingDemand(const char* demandKey) {
  printErrorBanner("Bedarf existiert nicht: " + toConsole(demandKey));
}

void reportNoParameters() { printErrorBanner("Parameter existieren nicht!"); }

void reportFractionalLotGrid(const std::string& name, double value, double factor) {
  printErrorBanner("Unerlaubter Parameter: " + toConsole(name) + " Parameter: " +
                   formatNumber(value) + " (inklusiv UmrechnungsFaktor: " + formatNumber(factor) +
                   "): Nur ganzzahliger Parameter ist hier erlaubt!");
}

void reportUnknownParameter(const std::string& name) {
  printErrorBanner("Unbekannter Parameter: " + toConsole(name));
}

void reportNoDueQuantities() { printErrorBanner("Termine existieren nicht!"); }

std::string unreadableRowText(const UnreadableRow& row, bool rowSkipped) {
  std::string text = "Unlesbare Spalte in ";
  text += row.table;
  text += ": ";
  text += joined(row.columns);
  text += row.columns.size() > 1 ? " sind" : " ist";
  text += " NULL oder nicht lesbar";
  if (!row.identity.empty()) {
    text += " (";
    for (std::size_t i = 0; i < row.identity.size(); ++i) {
      if (i > 0) text += ", ";
      text += row.identity[i].first;
      text += ": ";
      text += row.identity[i].second;
    }
    text += ")";
  }
  if (rowSkipped) text += ": Zeile ausgelassen!";
  return text;
}

void reportSkippedRow(const UnreadableRow& row) {
  printErrorBanner(toConsole(unreadableRowText(row, true)));
}

void reportIncompleteHeader(const UnreadableRow& row) {
  printErrorBanner(toConsole(unreadableRowText(row, false)));
}

void reportPeriodLengthOutOfRange(double days, double factor) {
  printErrorBanner(toConsole("PeriodenLänge außerhalb des Wertebereichs: " + formatNumber(days) +
                             " (inklusiv UmrechnungsFaktor: " + formatNumber(factor) + ")"));
}

std::string formatOleDate(OleDate date) {
  if (!std::isfinite(date) || std::fabs(date) > 1e9) return formatNumber(date);
  // An OleDate counts whole days from 1899-12-30 (25569 days before 1970-01-01);
  // the fraction is the time of day, also for days before 1899-12-30.
  const double wholeDays = std::trunc(date);
  std::int64_t days = static_cast<std::int64_t>(wholeDays);
  std::int64_t seconds = std::llround(std::fabs(date - wholeDays) * 86400.0);
  if (seconds >= 86400) {
    seconds -= 86400;
    days += date < 0 ? -1 : 1;
  }
  int year = 0;
  int month = 0;
  int day = 0;
  civilFromDays(days - 25569, year, month, day);
  char buffer[64];
  std::snprintf(buffer, sizeof buffer, "%04d-%02d-%02d %02d:%02d:%02d", year, month, day,
                static_cast<int>(seconds / 3600), static_cast<int>(seconds / 60 % 60),
                static_cast<int>(seconds % 60));
  return buffer;
}

}  // namespace mrp
