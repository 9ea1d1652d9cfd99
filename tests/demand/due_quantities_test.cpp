// Loading of the due quantities (Termin) from given rows.
#include <gtest/gtest.h>

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

constexpr double kSecond = 1.0 / 86400.0;

/// The loaded due quantities as (date, quantity) pairs.
std::vector<std::pair<OleDate, std::int32_t>> dueQuantities(const LoadedDemand& plan) {
  std::vector<std::pair<OleDate, std::int32_t>> loaded;
  for (const DueQuantity& due : plan.dueQuantities) loaded.emplace_back(due.date, due.quantity);
  return loaded;
}

GivenDemand demandWithDueRows(std::vector<test::GivenRow> rows) {
  GivenDemand demand = test::plainDemand();
  demand.parameterRows = {{1, "WagnisZinssatz", 1.0}};
  demand.dueRows = std::move(rows);
  return demand;
}

// Quantities are not checked here, and rows of one date all count.
TEST(DueQuantities, EveryReadableRowIsKeptInTheGivenOrder) {
  GivenDemand demand = demandWithDueRows({{Date{kMarch1st2024 + 0.5}, 10},
                                          {Date{kMarch1st2024 + 0.5 + kSecond}, 0},
                                          {Date{kMarch1st2024 + 1 + 8.0 / 24.0}, -5},
                                          {Date{kMarch1st2024 + 2}, 2147483647},
                                          {Date{kMarch1st2024 + 2}, 7}});
  const auto [plan, messages] = test::load(demand);
  EXPECT_EQ(messages, Lines{});
  EXPECT_EQ(dueQuantities(plan),
            (std::vector<std::pair<OleDate, std::int32_t>>{{kMarch1st2024 + 0.5, 10},
                                                           {kMarch1st2024 + 0.5 + kSecond, 0},
                                                           {kMarch1st2024 + 1 + 8.0 / 24.0, -5},
                                                           {kMarch1st2024 + 2, 2147483647},
                                                           {kMarch1st2024 + 2, 7}}));
}

TEST(DueQuantities, NoRowsIsReportedOnce) {
  GivenDemand demand = demandWithDueRows({});
  const auto [plan, messages] = test::load(demand);
  EXPECT_EQ(messages, Lines{"Termine existieren nicht!"});
  EXPECT_TRUE(plan.dueQuantities.empty());
}

// A row whose date or quantity is NULL, of another kind or not wholly what it
// claims is left out; a readable date identifies it.
TEST(DueQuantities, RowsWithUnreadableColumnsAreReportedAndLeftOut) {
  GivenDemand demand = demandWithDueRows({
      {kNull, 8},
      {kNull, kNull},
      {Date{kMarch1st2024 + 0.25}, kNull},  // nothing to inherit from a row before
      {Date{kMarch1st2024 + 1}, 4},
      {Date{kMarch1st2024 + 2}, kNull},
      {"2024-03-03 00:00:00", 5},
      {Unreadable{}, 6},
      {Date{kMarch1st2024 + 3}, Unreadable{}},
      {Date{kMarch1st2024 + 4}, 9.0},
  });
  const auto [plan, messages] = test::load(demand);
  EXPECT_EQ(dueQuantities(plan), (std::vector<std::pair<OleDate, std::int32_t>>{{kMarch1st2024 + 1, 4}}));
  const std::string row = "Unlesbare Spalte in Termin: ";
  const std::string date = row + "Termin ist NULL oder nicht lesbar: Zeile ausgelassen!";
  const std::string menge = row + "Menge ist NULL oder nicht lesbar (Termin: 2024-03-0";
  EXPECT_EQ(
      messages,
      (Lines{date, row + "Termin, Menge sind NULL oder nicht lesbar: Zeile ausgelassen!",
             menge + "1 06:00:00): Zeile ausgelassen!", menge + "3 00:00:00): Zeile ausgelassen!", date, date,
             menge + "4 00:00:00): Zeile ausgelassen!", menge + "5 00:00:00): Zeile ausgelassen!"}));
}

}  // namespace
}  // namespace mrp
