// The data problems found while a demand is loaded. Each is printed as one
// error-banner line on standard error and loading goes on. All message texts
// live here; texts from the database and the demand key are converted to code
// page 850, numbers use the message number format (6 significant digits).
//
// The messages (<...> stands for a value):
//   UmrechnungsFaktoren existieren nicht!
//   Unbekannte Umrechnung: <name>
//   Bedarf existiert nicht: <key>
//   Parameter existieren nicht!
//   Unerlaubter Parameter: <name> Parameter: <value> (inklusiv UmrechnungsFaktor: <factor>):
//     Nur ganzzahliger Parameter ist hier erlaubt!                           (one line)
//   Unbekannter Parameter: <name>
//   Termine existieren nicht!
//   Unlesbare Spalte in <table>: <column> ist NULL oder nicht lesbar (<id>: <value>, ...):
//     Zeile ausgelassen!                                                     (one line)
//     several columns: "<column>, <column> sind"; without a readable identity the
//     parenthesis is left out; for the demand header the row is kept, so the
//     closing ": Zeile ausgelassen!" is left out too
//   PeriodenLänge außerhalb des Wertebereichs: <days> (inklusiv UmrechnungsFaktor: <factor>)
#pragma once

#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/variant.h"

namespace mrp {

/// A row of an input table whose needed columns could not be read: the table,
/// the columns that were NULL or of another kind, and the readable columns that
/// identify the row (column name and value as text, in the order given).
struct UnreadableRow {
  std::string_view table;
  std::vector<std::string_view> columns;
  std::vector<std::pair<std::string_view, std::string>> identity;
};

void reportNoConversionFactors();
void reportUnknownConversion(const std::string& name);
void reportMissingDemand(const char* demandKey);
void reportNoParameters();
/// A lot grid `value` (already multiplied by `factor`) that is not a whole number.
void reportFractionalLotGrid(const std::string& name, double value, double factor);
void reportUnknownParameter(const std::string& name);
void reportNoDueQuantities();
/// A row left out because of `row.columns`.
void reportSkippedRow(const UnreadableRow& row);
/// The demand header with unreadable columns; the header itself counts.
void reportIncompleteHeader(const UnreadableRow& row);
/// A period length in days that no 32-bit signed integer holds.
void reportPeriodLengthOutOfRange(double days, double factor);

/// The text of an unreadable-row message (UTF-8, before the console conversion).
std::string unreadableRowText(const UnreadableRow& row, bool rowSkipped);
/// An OleDate as "YYYY-MM-DD HH:MM:SS", to identify a row in a message.
std::string formatOleDate(OleDate date);

}  // namespace mrp
