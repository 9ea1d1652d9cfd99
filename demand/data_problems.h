// The data problems found while a demand is loaded. Each is handed to the
// run's message sink as one line with its code and loading goes on. All
// message texts live here; numbers use the message number format (6
// significant digits).
//
// The messages (<...> stands for a value) and their codes:
//   UmrechnungsFaktoren existieren nicht!                        no-conversion-factors
//   Unbekannte Umrechnung: <name>                                unknown-conversion
//   Bedarf existiert nicht: <key>                                demand-missing
//   Parameter existieren nicht!                                  no-parameters
//   Unerlaubter Parameter: <name> Parameter: <value> (inklusiv UmrechnungsFaktor: <factor>):
//     Nur ganzzahliger Parameter ist hier erlaubt!   (one line)  parameter-not-whole
//   Unbekannter Parameter: <name>                                unknown-parameter
//   Termine existieren nicht!                                    no-due-quantities
//   Unlesbare Spalte in <table>: <column> ist NULL oder nicht lesbar (<id>: <value>, ...):
//     Zeile ausgelassen!                             (one line)  unreadable-value
//     several columns: "<column>, <column> sind"; without a readable identity the
//     parenthesis is left out; for the demand header the row is kept, so the
//     closing ": Zeile ausgelassen!" is left out too
//   PeriodenLänge außerhalb des Wertebereichs: <days> (inklusiv UmrechnungsFaktor: <factor>)
//                                                                period-length-invalid
#pragma once

#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "demand/message_sink.h"
#include "platform/text_encoding.h"

namespace mrp {

/// A row of an input table whose needed columns could not be read: the table,
/// the columns that were NULL or of another kind, and the readable columns that
/// identify the row (column name and value as text, in the order given).
struct UnreadableRow {
  std::string_view table;
  std::vector<std::string_view> columns;
  std::vector<std::pair<std::string_view, std::string>> identity;
};

class DataProblems {
 public:
  explicit DataProblems(MessageSink& sink) noexcept : sink_(sink) {}

  void noConversionFactors();
  void unknownConversion(const std::string& name);
  void missingDemand(std::string_view demandKey);
  void noParameters();
  /// A lot grid `value` (already multiplied by `factor`) that is not a whole number.
  void fractionalLotGrid(const std::string& name, double value, double factor);
  void unknownParameter(const std::string& name);
  void noDueQuantities();
  /// A row left out because of `row.columns`.
  void skippedRow(const UnreadableRow& row);
  /// The demand header with unreadable columns; the header itself counts.
  void incompleteHeader(const UnreadableRow& row);
  /// A period length in days that no 32-bit signed integer holds.
  void periodLengthOutOfRange(double days, double factor);

 private:
  /// Hands `line` on with its code and its control characters (from keys and
  /// names read from the database) made spaces: one message, one line.
  void report(MessageCode code, std::string_view line) {
    sink_.message(code, withoutControlCharacters(line));
  }

  MessageSink& sink_;
};

/// The text of an unreadable-row message.
std::string unreadableRowText(const UnreadableRow& row, bool rowSkipped);

}  // namespace mrp
