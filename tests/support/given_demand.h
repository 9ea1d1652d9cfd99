// A demand's input rows given in the test: the loading reads them as it reads
// a database, without one. Each table is handed out as GivenRows when the
// loading asks for it; an ask out of the source's order, or a second one, is
// a test failure.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <string_view>
#include <utility>
#include <variant>
#include <vector>

#include "demand/demand_loader.h"
#include "demand/demand_source.h"
#include "demand/loaded_demand.h"
#include "demand/message_sink.h"
#include "support/given_rows.h"

namespace mrp::test {

/// A NULL value.
inline constexpr std::monostate kNull{};

/// 2024-03-01 as an OleDate.
inline constexpr OleDate kMarch1st2024 = 45352.0;

class GivenDemand final : public DemandSource {
 public:
  /// The tables in the order the loading asks for them.
  enum class Table { ConversionFactors, Header, Parameters, DueQuantities };

  /// Umrechnung, UmrechnungsFaktor, Beschreibung.
  std::vector<GivenRow> factorRows;
  /// StartTermin, PeriodenLänge, Beschreibung.
  std::vector<GivenRow> headerRows;
  /// Periode, Parameter, Wert; in the order the statement would give them.
  std::vector<GivenRow> parameterRows;
  /// Termin, Menge; in the order the statement would give them.
  std::vector<GivenRow> dueRows;

  Rows& conversionFactors() override { return handOut(Table::ConversionFactors, factorRows); }
  Rows& header() override { return handOut(Table::Header, headerRows); }
  Rows& parameters() override { return handOut(Table::Parameters, parameterRows); }
  Rows& dueQuantities() override { return handOut(Table::DueQuantities, dueRows); }

  /// The tables asked for so far, in order.
  const std::vector<Table>& asked() const noexcept { return asked_; }

 private:
  Rows& handOut(Table table, const std::vector<GivenRow>& rows) {
    if (!asked_.empty() && asked_.back() >= table) {
      ADD_FAILURE() << name(table) << " asked for after " << name(asked_.back());
    }
    asked_.push_back(table);
    current_ = GivenRows(rows);
    return current_;
  }

  static const char* name(Table table) {
    static const char* const names[] = {"UmrechnungsFaktor", "Bedarf", "Parameter", "Termin"};
    return names[static_cast<int>(table)];
  }

  std::vector<Table> asked_;
  GivenRows current_;
};

/// A demand starting 2024-03-01 with periods of one day and nothing else.
inline GivenDemand plainDemand() {
  GivenDemand demand;
  demand.factorRows = {{"PeriodenLänge", 1.0, kNull}};
  demand.headerRows = {{Date{kMarch1st2024}, 1, kNull}};
  return demand;
}

/// What loading a given demand gives: the plan and the message lines.
struct Loaded {
  LoadedDemand plan;
  std::vector<std::string> messages;
};

/// Loads `demand` as the demand `key`.
inline Loaded load(GivenDemand& demand, std::string_view key = "B") {
  MessageList sink;
  LoadedDemand plan = loadDemand(key, demand, sink);
  return {std::move(plan), sink.lines()};
}

}  // namespace mrp::test
