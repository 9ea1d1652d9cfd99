// Reading the demand header (Bedarf) and the period length from given rows.
#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "support/given_demand.h"

namespace mrp {
namespace {

using test::Date;
using test::GivenDemand;
using test::kMarch1st2024;
using test::kNull;
using test::Unreadable;
using Lines = std::vector<std::string>;
using Table = GivenDemand::Table;

/// A demand with a factor, a parameter and a due quantity, so that only the
/// header can give messages.
GivenDemand demandWithHeader(test::GivenRow header, std::optional<double> periodFactor) {
  GivenDemand demand;
  demand.factorRows = {{"ZinsJahr", 360.0, kNull}};
  if (periodFactor) demand.factorRows.push_back({"PeriodenLänge", *periodFactor, kNull});
  demand.headerRows = {std::move(header)};
  demand.parameterRows = {{1, "WagnisZinssatz", 2.0}};
  demand.dueRows = {{Date{kMarch1st2024 + 1}, 3}};
  return demand;
}

TEST(DemandHeader, DemandWithoutAnyRowsGivesTwoMessagesInOrder) {
  GivenDemand demand;
  const auto [plan, messages] = test::load(demand, "NICHTS");
  EXPECT_EQ(messages, (Lines{"UmrechnungsFaktoren existieren nicht!", "Bedarf existiert nicht: NICHTS"}));
  EXPECT_FALSE(plan.headerFound);
  EXPECT_FALSE(plan.startDate.has_value());
  EXPECT_FALSE(plan.periodLength.has_value());
  EXPECT_TRUE(plan.conversionFactors.empty());
  EXPECT_TRUE(plan.parameters.empty());
  EXPECT_TRUE(plan.dueQuantities.empty());
}

TEST(DemandHeader, MissingHeaderStopsLoadingAfterTheFactors) {
  GivenDemand demand = demandWithHeader({}, 7.0);
  demand.headerRows.clear();
  const auto [plan, messages] = test::load(demand, "Größe");
  EXPECT_EQ(messages, Lines{"Bedarf existiert nicht: Größe"});
  EXPECT_EQ(demand.asked(), (std::vector<Table>{Table::ConversionFactors, Table::Header}));
  EXPECT_EQ(plan.conversionFactors.size(), 2u);
  EXPECT_TRUE(plan.parameters.empty());
  EXPECT_TRUE(plan.dueQuantities.empty());
  EXPECT_FALSE(plan.headerFound);
}

TEST(DemandHeader, ReadsTheFirstRowsStartDateLengthAndDescription) {
  GivenDemand demand = demandWithHeader({Date{kMarch1st2024 + 0.5}, 2, "Kreiselpumpe Größe 4"}, 7.0);
  demand.headerRows.push_back({Date{kMarch1st2024 + 9}, 3, "zweite Zeile"});
  const auto [plan, messages] = test::load(demand);
  EXPECT_EQ(messages, Lines{});
  EXPECT_EQ(demand.asked(), (std::vector<Table>{Table::ConversionFactors, Table::Header, Table::Parameters,
                                                Table::DueQuantities}));
  EXPECT_TRUE(plan.headerFound);
  EXPECT_EQ(plan.startDate, kMarch1st2024 + 0.5);
  EXPECT_EQ(plan.periodLength, 14);
  EXPECT_EQ(plan.description, "Kreiselpumpe Größe 4");
  EXPECT_EQ(plan.parameters.size(), 1u);
  EXPECT_EQ(plan.dueQuantities.size(), 1u);
}

TEST(DemandHeader, PeriodLengthIsHeaderLengthTimesFactorTruncatedWhereThatFits) {
  struct Case {
    std::int32_t length;
    std::optional<double> factor;  // none: no PeriodenLänge row
    std::optional<std::int32_t> expected;
    Lines messages;
  };
  const Case cases[] = {
      {1, 7.0, 7, {}},
      {3, 1.5, 4, {}},
      {2, 7.0, 14, {}},
      {3, 0.5, 1, {}},
      {5, {}, 0, {}},
      {-3, 1.5, -4, {}},
      {0, 7.0, 0, {}},
      {2000000000,
       1.5,
       {},
       {"PeriodenLänge außerhalb des Wertebereichs: 3e+009 (inklusiv UmrechnungsFaktor: 1.5)"}},
  };
  for (const Case& c : cases) {
    GivenDemand demand = demandWithHeader({Date{kMarch1st2024}, c.length, kNull}, c.factor);
    const auto [plan, messages] = test::load(demand);
    EXPECT_EQ(plan.periodLength, c.expected) << c.length;
    EXPECT_EQ(plan.startDate, kMarch1st2024) << c.length;
    EXPECT_EQ(messages, c.messages) << c.length;
  }
}

// The header row counts even when columns could not be read; the rest loads.
TEST(DemandHeader, UnreadableColumnsAreReportedAndTheRestStillLoads) {
  struct Case {
    const char* key;
    test::GivenRow header;
    bool startRead;
    bool lengthRead;
    std::string message;
  };
  const std::string prefix = "Unlesbare Spalte in Bedarf: ";
  const Case cases[] = {
      {"S", {kNull, 1, kNull}, false, true, prefix + "StartTermin ist NULL oder nicht lesbar (Bedarf: S)"},
      {"L",
       {Date{kMarch1st2024}, kNull, kNull},
       true,
       false,
       prefix + "PeriodenLänge ist NULL oder nicht lesbar (Bedarf: L)"},
      {"SL",
       {kNull, kNull, kNull},
       false,
       false,
       prefix + "StartTermin, PeriodenLänge sind NULL oder nicht lesbar (Bedarf: SL)"},
      {"U",
       {Unreadable{}, 1, kNull},
       false,
       true,
       prefix + "StartTermin ist NULL oder nicht lesbar (Bedarf: U)"},
      {"P",
       {Date{kMarch1st2024}, Unreadable{}, kNull},
       true,
       false,
       prefix + "PeriodenLänge ist NULL oder nicht lesbar (Bedarf: P)"},
      {"Größe",
       {"2024-03-01 00:00:00", 2.5, "x"},
       false,
       false,
       prefix + "StartTermin, PeriodenLänge sind NULL oder nicht lesbar (Bedarf: Größe)"},
  };
  for (const Case& c : cases) {
    GivenDemand demand = demandWithHeader(c.header, 7.0);
    const auto [plan, messages] = test::load(demand, c.key);
    EXPECT_EQ(messages, Lines{c.message}) << c.key;
    EXPECT_TRUE(plan.headerFound) << c.key;
    EXPECT_EQ(plan.startDate.has_value(), c.startRead) << c.key;
    EXPECT_EQ(plan.periodLength, c.lengthRead ? std::optional<std::int32_t>(7) : std::nullopt) << c.key;
    EXPECT_EQ(plan.description, c.key == std::string("Größe") ? "x" : "") << c.key;
    EXPECT_EQ(plan.parameters.size(), 1u) << c.key;
    EXPECT_EQ(plan.dueQuantities.size(), 1u) << c.key;
  }
}

}  // namespace
}  // namespace mrp
