#include "report/plan_svg.h"

#include <gtest/gtest.h>

#include <sstream>

#include "report/chart_scale.h"
#include "report/sample_plans.h"
#include "support/helpers.h"

namespace mrp::report {
namespace {

using test::count;

std::string svgOf(const PlanReport& report) {
  std::ostringstream out;
  writePlanSvg(out, report);
  return out.str();
}

TEST(PlanSvg, OneDueBarPerPeriodOneLotBarPerLotAndKeyAndCostInTheTitle) {
  const std::string svg = svgOf(makePlanReport("WW1958", 1, test::ww1958Plan()));
  EXPECT_TRUE(svg.starts_with("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<svg ")) << svg;
  EXPECT_TRUE(svg.ends_with("</svg>\n"));
  EXPECT_EQ(count(svg, "class=\"due\""), 12u);
  EXPECT_EQ(count(svg, "class=\"lot\""), 6u);
  EXPECT_EQ(count(svg, "<polyline class=\"stock\""), 1u);
  EXPECT_NE(svg.find("<title>Bedarf WW1958 \xE2\x80\x93 Gesamtkosten 864.00</title>"), std::string::npos);
  EXPECT_NE(svg.find(">12 Perioden zu 1 Tag, 6 Lose</text>"), std::string::npos);
  EXPECT_EQ(count(svg, ">2027-01-"), 12u) << "few periods: every start is labelled";
}

// "zu" takes the dative: "Perioden zu 7 Tagen"; one period and one lot are
// singular.
TEST(PlanSvg, TheSubtitleInGermanAndTheTotalCostWithTwoDecimals) {
  LotPlan plan;
  plan.periods.push_back({46391.0, 40, 40, 0, 284.1});
  plan.lots.push_back({46391.0, 40, 142.05});
  const std::string one = svgOf(makePlanReport("EINS", 7, plan));
  EXPECT_NE(one.find(">1 Periode zu 7 Tagen, 1 Los</text>"), std::string::npos) << one;
  EXPECT_NE(one.find("Gesamtkosten 142.05</title>"), std::string::npos) << one;
  plan.periods.push_back({46398.0, 0, 0, 0, 0.0});
  const std::string two = svgOf(makePlanReport("ZWEI", 7, plan));
  EXPECT_NE(two.find(">2 Perioden zu 7 Tagen, 1 Los</text>"), std::string::npos) << two;
}

TEST(PlanSvg, APlanWithoutPeriodsIsStillAPicture) {
  const std::string svg = svgOf(makePlanReport("LEER", 1, LotPlan{}));
  EXPECT_EQ(count(svg, "class=\"due\""), 0u);
  EXPECT_EQ(count(svg, "<polyline"), 0u);
  EXPECT_NE(svg.find("keine Perioden"), std::string::npos);
  EXPECT_TRUE(svg.ends_with("</svg>\n"));
}

TEST(PlanSvg, AnyTextBecomesWellFormedXml) {
  const struct {
    std::string text;
    std::string xml;
  } cases[] = {
      {"Rohr <DN 50> & \"Bogen\" 'x'", "Rohr &lt;DN 50&gt; &amp; &quot;Bogen&quot; &apos;x&apos;"},
      {"M\xC3\xA4ngel", "M\xC3\xA4ngel"},
      {"a\nb\tc\x01", "a b c "},
      {"kaputt\xC3(", "kaputt\xEF\xBF\xBD("},
      {"\xEF\xBF\xBF", "\xEF\xBF\xBD"},
  };
  for (const auto& c : cases) EXPECT_EQ(xmlText(c.text), c.xml) << c.text;
}

TEST(ChartScale, RoundTicksAroundTheValuesAndSparseDateLabels) {
  const struct {
    double least, most, low, high, step;
  } axes[] = {{0, 135, 0, 150, 25},     {0, 0, 0, 1, 1},       {0, 4, 0, 4, 1},
              {-30, 100, -50, 100, 25}, {5, 500, 0, 500, 100}, {0, 1e6, 0, 1e6, 2e5}};
  for (const auto& a : axes) {
    const QuantityAxis axis = quantityAxis(a.least, a.most);
    EXPECT_EQ((std::vector{axis.low, axis.high, axis.step}), (std::vector{a.low, a.high, a.step})) << a.most;
  }
  const struct {
    double slot;
    std::size_t every;
  } labels[] = {{72.5, 1}, {17.4, 2}, {5.0, 5}, {0.174, 200}, {0.0, 1}};
  for (const auto& l : labels) EXPECT_EQ(labelEvery(l.slot, 22.0), l.every) << l.slot;
}

}  // namespace
}  // namespace mrp::report
