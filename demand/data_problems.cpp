#include "demand/data_problems.h"

#include "platform/number_format.h"

namespace mrp {
namespace {

std::string joined(const std::vector<std::string_view>& parts) {
  std::string text;
  for (std::string_view part : parts) {
    if (!text.empty()) text += ", ";
    text += part;
  }
  return text;
}

}  // namespace

void DataProblems::noConversionFactors() {
  report(MessageCode::NoConversionFactors, "UmrechnungsFaktoren existieren nicht!");
}

void DataProblems::unknownConversion(const std::string& name) {
  report(MessageCode::UnknownConversion, "Unbekannte Umrechnung: " + name);
}

void DataProblems::missingDemand(std::string_view demandKey) {
  report(MessageCode::DemandMissing, "Bedarf existiert nicht: " + std::string(demandKey));
}

void DataProblems::noParameters() { report(MessageCode::NoParameters, "Parameter existieren nicht!"); }

void DataProblems::fractionalLotGrid(const std::string& name, double value, double factor) {
  report(MessageCode::ParameterNotWhole, "Unerlaubter Parameter: " + name +
                                             " Parameter: " + formatNumber(value) +
                                             " (inklusiv UmrechnungsFaktor: " + formatNumber(factor) +
                                             "): Nur ganzzahliger Parameter ist hier erlaubt!");
}

void DataProblems::unknownParameter(const std::string& name) {
  report(MessageCode::UnknownParameter, "Unbekannter Parameter: " + name);
}

void DataProblems::noDueQuantities() { report(MessageCode::NoDueQuantities, "Termine existieren nicht!"); }

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

void DataProblems::skippedRow(const UnreadableRow& row) {
  report(MessageCode::UnreadableValue, unreadableRowText(row, true));
}

void DataProblems::incompleteHeader(const UnreadableRow& row) {
  report(MessageCode::UnreadableValue, unreadableRowText(row, false));
}

void DataProblems::periodLengthOutOfRange(double days, double factor) {
  report(MessageCode::PeriodLengthInvalid,
         "PeriodenLänge außerhalb des Wertebereichs: " + formatNumber(days) +
             " (inklusiv UmrechnungsFaktor: " + formatNumber(factor) + ")");
}

}  // namespace mrp
