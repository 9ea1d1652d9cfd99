// Reading many demands at once: the rows of a chunk of demands, one query per
// input table for all of them, in one read transaction. Each demand then loads
// from its own rows as it would from its own statements: the same values, the
// same order (rows that tie in the statements' order come in the order the
// database keeps them, as an index on the key gives them), the same messages.
//
// A chunk of some hundred demands costs four round trips instead of four per
// demand, and a database without indexes is scanned once per chunk and table,
// not once per demand.
#pragma once

#include <map>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "db/rows.h"
#include "demand/demand_source.h"

namespace mrp {

class Connection;

/// A date as it was read (an OleDate is a double too).
struct StoredDate {
  Read<OleDate> value;
};
/// One value as it was read, with the kind it was read as.
using StoredRead = std::variant<Read<std::int32_t>, Read<double>, StoredDate, Read<std::string>>;
using StoredRow = std::vector<StoredRead>;

/// Rows kept in memory, read again as they were read from the database.
class StoredRows final : public Rows {
 public:
  explicit StoredRows(std::span<const StoredRow> rows) : rows_(rows) {}

  bool next() override { return ++current_ < rows_.size(); }
  Read<std::int32_t> integer(std::size_t column) const override { return read<std::int32_t>(column); }
  Read<double> real(std::size_t column) const override { return read<double>(column); }
  Read<OleDate> date(std::size_t column) const override;
  Read<std::string_view> text(std::size_t column) const override;

 private:
  template <class T>
  Read<T> read(std::size_t column) const {
    const StoredRead& value = rows_[current_].at(column);
    if (const auto* kept = std::get_if<Read<T>>(&value)) return *kept;
    return NoValue::OtherKind;
  }

  std::span<const StoredRow> rows_;
  std::size_t current_ = static_cast<std::size_t>(-1);  // before the first row
};

class DemandChunk {
 public:
  /// Reads the rows of the demands `keys` (no key twice) over `connection`, in
  /// one read transaction. Raises `DatabaseError`.
  DemandChunk(Connection& connection, std::span<const std::string> keys);

  /// The rows of the chunk's demand `key`, one source per loading.
  class Demand;
  Demand demand(const std::string& key) const;
  /// The rows read, of all four tables.
  std::size_t rows() const noexcept;

  /// The rows of one table, grouped by demand.
  struct Table {
    std::vector<StoredRow> rows;
    std::map<std::string, std::pair<std::size_t, std::size_t>, std::less<>> ranges;  // key: [first, last)
    std::span<const StoredRow> of(const std::string& key) const;
  };

 private:
  std::vector<Table> tables_;  // factors, headers, parameters, due quantities
};

class DemandChunk::Demand final : public DemandSource {
 public:
  Demand(const DemandChunk& chunk, const std::string& key);
  Rows& conversionFactors() override { return rows_[0]; }
  Rows& header() override { return rows_[1]; }
  Rows& parameters() override { return rows_[2]; }
  Rows& dueQuantities() override { return rows_[3]; }

 private:
  std::vector<StoredRows> rows_;
};

}  // namespace mrp
