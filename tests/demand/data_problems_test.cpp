#include "demand/data_problems.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "demand/message_sink.h"
#include "support/helpers.h"

namespace mrp {
namespace {

struct MessageCase {
  const char* label;
  std::function<void(DataProblems&)> report;
  MessageCode code;
  std::string expected;  // one line of UTF-8
};

TEST(DataProblems, EachProblemIsOneLineWithItsCodeForTheSink) {
  using enum MessageCode;
  const MessageCase cases[] = {
      {"no factors", [](DataProblems& p) { p.noConversionFactors(); }, NoConversionFactors,
       "UmrechnungsFaktoren existieren nicht!"},
      {"unknown conversion", [](DataProblems& p) { p.unknownConversion("Rüstkosten "); }, UnknownConversion,
       "Unbekannte Umrechnung: Rüstkosten "},
      {"missing demand", [](DataProblems& p) { p.missingDemand("Größe-1"); }, DemandMissing,
       "Bedarf existiert nicht: Größe-1"},
      {"missing demand, empty key", [](DataProblems& p) { p.missingDemand(""); }, DemandMissing,
       "Bedarf existiert nicht: "},
      {"no parameters", [](DataProblems& p) { p.noParameters(); }, NoParameters,
       "Parameter existieren nicht!"},
      {"fractional lot grid", [](DataProblems& p) { p.fractionalLotGrid("LosRaster", 2.5, 1.0); },
       ParameterNotWhole,
       "Unerlaubter Parameter: LosRaster Parameter: 2.5 (inklusiv UmrechnungsFaktor: 1): "
       "Nur ganzzahliger Parameter ist hier erlaubt!"},
      {"lot grid beyond 32 bits", [](DataProblems& p) { p.fractionalLotGrid("LosRaster", 5e9, 1000000.0); },
       ParameterNotWhole,
       "Unerlaubter Parameter: LosRaster Parameter: 5e+009 (inklusiv UmrechnungsFaktor: 1e+006): "
       "Nur ganzzahliger Parameter ist hier erlaubt!"},
      {"unknown parameter", [](DataProblems& p) { p.unknownParameter("Währung"); }, UnknownParameter,
       "Unbekannter Parameter: Währung"},
      {"unknown parameter, empty name", [](DataProblems& p) { p.unknownParameter(""); }, UnknownParameter,
       "Unbekannter Parameter: "},
      {"no due quantities", [](DataProblems& p) { p.noDueQuantities(); }, NoDueQuantities,
       "Termine existieren nicht!"},
      {"skipped row",
       [](DataProblems& p) {
         p.skippedRow({"UmrechnungsFaktor", {"UmrechnungsFaktor"}, {{"Umrechnung", "Währung"}}});
       },
       UnreadableValue,
       "Unlesbare Spalte in UmrechnungsFaktor: UmrechnungsFaktor ist NULL oder nicht lesbar "
       "(Umrechnung: Währung): Zeile ausgelassen!"},
      {"incomplete header",
       [](DataProblems& p) {
         p.incompleteHeader({"Bedarf", {"PeriodenLänge"}, {{"Bedarf", "B1"}}});
       },
       UnreadableValue, "Unlesbare Spalte in Bedarf: PeriodenLänge ist NULL oder nicht lesbar (Bedarf: B1)"},
      {"control characters in a name", [](DataProblems& p) { p.unknownParameter("R\u00fcst\nKosten\t"); },
       UnknownParameter, "Unbekannter Parameter: R\u00fcst Kosten "},
      {"control characters in a key", [](DataProblems& p) { p.missingDemand("B\r\n7"); }, DemandMissing,
       "Bedarf existiert nicht: B  7"},
      {"period length out of range", [](DataProblems& p) { p.periodLengthOutOfRange(3e9, 1.5); },
       PeriodLengthInvalid,
       "PeriodenLänge außerhalb des Wertebereichs: 3e+009 (inklusiv UmrechnungsFaktor: 1.5)"},
  };
  for (const MessageCase& c : cases) {
    MessageList sink;
    DataProblems problems(sink);
    c.report(problems);
    EXPECT_EQ(sink.messages, (std::vector<Message>{{c.code, c.expected}})) << c.label;
  }
}

TEST(DataProblems, UnreadableRowTextNamesColumnsAndIdentity) {
  struct Case {
    UnreadableRow row;
    bool skipped;
    std::string expected;
  };
  const Case cases[] = {
      {{"Termin", {"Menge"}, {{"Termin", "2024-03-01 12:00:00"}}},
       true,
       "Unlesbare Spalte in Termin: Menge ist NULL oder nicht lesbar (Termin: 2024-03-01 12:00:00): "
       "Zeile ausgelassen!"},
      {{"Termin", {"Termin", "Menge"}, {}},
       true,
       "Unlesbare Spalte in Termin: Termin, Menge sind NULL oder nicht lesbar: Zeile ausgelassen!"},
      {{"Parameter", {"Wert"}, {{"Parameter", "LosRaster"}, {"Periode", "3"}}},
       true,
       "Unlesbare Spalte in Parameter: Wert ist NULL oder nicht lesbar "
       "(Parameter: LosRaster, Periode: 3): Zeile ausgelassen!"},
      {{"Bedarf", {"StartTermin", "PeriodenLänge"}, {{"Bedarf", "K"}}},
       false,
       "Unlesbare Spalte in Bedarf: StartTermin, PeriodenLänge sind NULL oder nicht lesbar (Bedarf: K)"},
  };
  for (const Case& c : cases) EXPECT_EQ(unreadableRowText(c.row, c.skipped), c.expected);
}

}  // namespace
}  // namespace mrp
