#include "demand/data_problems.h"

#include <functional>
#include <string>

#include <gtest/gtest.h>

#include "demand/stderr_capture.h"
#include "driver/console.h"

namespace mrp {
namespace {

using test::banner;
using test::StderrCapture;

struct MessageCase {
  const char* label;
  std::function<void()> report;
  std::string expected;  // the text between the banner marks, code page 850
};

TEST(DataProblems, MessagesAreExactCodePage850BannerLines) {
  const MessageCase cases[] = {
      {"no factors", [] { reportNoConversionFactors(); }, "UmrechnungsFaktoren existieren nicht!"},
      {"unknown conversion", [] { reportUnknownConversion("Rüstkosten "); },
       "Unbekannte Umrechnung: R\x81stkosten "},
      {"missing demand", [] { reportMissingDemand("Größe-1"); },
       "Bedarf existiert nicht: Gr\x94\xE1" "e-1"},
      {"missing demand, empty key", [] { reportMissingDemand(""); }, "Bedarf existiert nicht: "},
      {"no parameters", [] { reportNoParameters(); }, "Parameter existieren nicht!"},
      {"fractional lot grid", [] { reportFractionalLotGrid("LosRaster", 2.5, 1.0); },
       "Unerlaubter Parameter: LosRaster Parameter: 2.5 (inklusiv UmrechnungsFaktor: 1): "
       "Nur ganzzahliger Parameter ist hier erlaubt!"},
      {"lot grid beyond 32 bits", [] { reportFractionalLotGrid("LosRaster", 5e9, 1000000.0); },
       "Unerlaubter Parameter: LosRaster Parameter: 5e+009 (inklusiv UmrechnungsFaktor: 1e+006): "
       "Nur ganzzahliger Parameter ist hier erlaubt!"},
      {"unknown parameter", [] { reportUnknownParameter("Währung"); },
       "Unbekannter Parameter: W\x84hrung"},
      {"unknown parameter, empty name", [] { reportUnknownParameter(""); },
       "Unbekannter Parameter: "},
      {"no due quantities", [] { reportNoDueQuantities(); }, "Termine existieren nicht!"},
      {"skipped row",
       [] { reportSkippedRow({"UmrechnungsFaktor", {"UmrechnungsFaktor"}, {{"Umrechnung", "Währung"}}}); },
       "Unlesbare Spalte in UmrechnungsFaktor: UmrechnungsFaktor ist NULL oder nicht lesbar "
       "(Umrechnung: W\x84hrung): Zeile ausgelassen!"},
      {"incomplete header",
       [] { reportIncompleteHeader({"Bedarf", {"PeriodenLänge"}, {{"Bedarf", "B1"}}}); },
       "Unlesbare Spalte in Bedarf: PeriodenL\x84nge ist NULL oder nicht lesbar (Bedarf: B1)"},
      {"period length out of range", [] { reportPeriodLengthOutOfRange(3e9, 1.5); },
       "PeriodenL\x84nge au\xE1" "erhalb des Wertebereichs: 3e+009 (inklusiv UmrechnungsFaktor: 1.5)"},
  };
  for (const MessageCase& c : cases) {
    StderrCapture capture;
    c.report();
    EXPECT_EQ(capture.text(), banner(c.expected)) << c.label;
  }
}

TEST(DataProblems, UnreadableRowTextNamesColumnsAndIdentity) {
  struct Case {
    UnreadableRow row;
    bool skipped;
    std::string expected;
  };
  const Case cases[] = {
      {{"Termin", {"Menge"}, {{"Termin", "2024-03-01 12:00:00"}}}, true,
       "Unlesbare Spalte in Termin: Menge ist NULL oder nicht lesbar (Termin: 2024-03-01 12:00:00): "
       "Zeile ausgelassen!"},
      {{"Termin", {"Termin", "Menge"}, {}}, true,
       "Unlesbare Spalte in Termin: Termin, Menge sind NULL oder nicht lesbar: Zeile ausgelassen!"},
      {{"Parameter", {"Wert"}, {{"Parameter", "LosRaster"}, {"Periode", "3"}}}, true,
       "Unlesbare Spalte in Parameter: Wert ist NULL oder nicht lesbar "
       "(Parameter: LosRaster, Periode: 3): Zeile ausgelassen!"},
      {{"Bedarf", {"StartTermin", "PeriodenLänge"}, {{"Bedarf", "K"}}}, false,
       "Unlesbare Spalte in Bedarf: StartTermin, PeriodenLänge sind NULL oder nicht lesbar (Bedarf: K)"},
  };
  for (const Case& c : cases) EXPECT_EQ(unreadableRowText(c.row, c.skipped), c.expected);
}

TEST(DataProblems, FormatOleDateGivesCalendarDateAndTime) {
  struct Case {
    OleDate date;
    const char* expected;
  };
  const Case cases[] = {
      {0.0, "1899-12-30 00:00:00"},
      {45352.5, "2024-03-01 12:00:00"},
      {45352.5 + 1.0 / 86400.0, "2024-03-01 12:00:01"},
      {45351.0, "2024-02-29 00:00:00"},
      {45352.0 - 1e-9, "2024-03-01 00:00:00"},  // rounds up into the next day
      {-1.25, "1899-12-29 06:00:00"},           // before the epoch the fraction is still the time
      {2958465.0, "9999-12-31 00:00:00"},
  };
  for (const Case& c : cases) EXPECT_EQ(formatOleDate(c.date), c.expected) << c.date;
}

}  // namespace
}  // namespace mrp
