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
#include <stdexcept>
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
/// The values of one column as they were read, of the kind they were read as.
/// A chunk keeps its rows column by column: a due quantity then takes 24 bytes.
using StoredColumn = std::variant<std::vector<Read<std::int32_t>>, std::vector<Read<double>>,
                                  std::vector<StoredDate>, std::vector<Read<std::string>>>;

/// Rows kept in memory, read again as they were read from the database: the
/// rows [first, first + count) of `columns`.
class StoredRows final : public Rows {
 public:
  StoredRows(std::span<const StoredColumn> columns, std::size_t first, std::size_t count)
      : columns_(columns), first_(first), count_(count) {}

  bool next() override { return ++current_ < count_; }
  Read<std::int32_t> integer(std::size_t column) const override { return read<std::int32_t>(column); }
  Read<double> real(std::size_t column) const override { return read<double>(column); }
  Read<OleDate> date(std::size_t column) const override;
  Read<std::string_view> text(std::size_t column) const override;

 private:
  /// The current row's value of `column`; nothing when the column is of another kind.
  template <class T>
  const T* value(std::size_t column) const {
    if (current_ >= count_) throw std::logic_error("a value read without a current row");
    if (column >= columns_.size()) throw std::logic_error("a value read beyond the columns of the rows");
    const auto* values = std::get_if<std::vector<T>>(&columns_[column]);
    return values ? &(*values)[first_ + current_] : nullptr;
  }
  template <class T>
  Read<T> read(std::size_t column) const {
    if (const Read<T>* kept = value<Read<T>>(column)) return *kept;
    return NoValue::OtherKind;
  }

  std::span<const StoredColumn> columns_;
  std::size_t first_;
  std::size_t count_;
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
    std::vector<StoredColumn> columns;
    std::size_t rows = 0;
    std::map<std::string, std::pair<std::size_t, std::size_t>, std::less<>> ranges;  // key: rows [first, last)
    StoredRows of(const std::string& key) const;
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
