// The queries that find the values the SQLite driver cuts at an embedded NUL
// (see Statement::noteValuesCutAtNul): that driver hands `40<NUL>9` as 40, so
// only SQLite itself can tell. They are SQLite's SQL (instr, char) and take the
// demand keys as their parameters, like the loading statements.
#pragma once

#include <span>
#include <string>
#include <string_view>

namespace mrp {

/// A table the loading reads and the columns its statement reads, in order.
struct InputColumns {
  std::string_view table;
  std::span<const std::string_view> columns;
};

inline constexpr std::string_view kFactorColumnNames[] = {"Umrechnung", "UmrechnungsFaktor", "Beschreibung"};
inline constexpr std::string_view kHeaderColumnNames[] = {"StartTermin", "PeriodenLänge", "Beschreibung"};
inline constexpr std::string_view kParameterColumnNames[] = {"Periode", "Parameter", "Wert"};
inline constexpr std::string_view kDueQuantityColumnNames[] = {"Termin", "Menge"};

inline constexpr InputColumns kFactorColumns{"UmrechnungsFaktor", kFactorColumnNames};
inline constexpr InputColumns kHeaderColumns{"Bedarf", kHeaderColumnNames};
inline constexpr InputColumns kParameterColumns{"Parameter", kParameterColumnNames};
inline constexpr InputColumns kDueQuantityColumns{"Termin", kDueQuantityColumnNames};

/// The condition on the key of `keys` demands (as many "?"): "Bedarf=?" for one.
std::string keysCondition(std::size_t keys);
/// The most keys one statement names: each is a parameter, and this stays well
/// below the 32,766 parameters SQLite takes, the least of the databases here.
inline constexpr std::size_t kMostKeysPerStatement = 5'000;

/// The rows of `input` of `keys` demands (as many "?") that hold a NUL in one
/// of its columns: the columns (after the key when `withKey`), then per column
/// its NUL's position (0 for none).
std::string cutValuesProbe(const InputColumns& input, std::size_t keys = 1, bool withKey = false);

/// One row, one column: how many rows of `keys` demands (as many "?") in the
/// four input tables hold a NUL in a column the loading reads. One statement
/// instead of four when, as nearly always, there is none.
std::string cutValuesCount(std::size_t keys = 1);

}  // namespace mrp
