// Reading rows: the typed values of the current row of a result, whatever
// produces the rows (a statement on the database, or rows a test gives).
//
// A value is read as the kind its column has (decided by the column's SQL
// type: a 32-bit integer, a double, a date, a text); a read gives the value
// or why there is none: NULL, a column of another kind, or a value that is not
// wholly what its column claims (a number or date only partly one, an embedded
// NUL, PostgreSQL's infinite timestamps).
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string_view>
#include <utility>
#include <variant>

#include "platform/ole_date.h"

namespace mrp {

/// Why a column holds no value of the kind asked for.
enum class NoValue { Null, OtherKind, Unreadable };

/// The value of a column, or why there is none.
template <class T>
class Read {
 public:
  Read(T value) : state_(std::move(value)) {}  // NOLINT: a value reads as itself
  Read(NoValue why) : state_(why) {}           // NOLINT: and so does its absence

  bool hasValue() const noexcept { return state_.index() == 0; }
  explicit operator bool() const noexcept { return hasValue(); }
  /// The value; std::bad_variant_access when there is none.
  const T& operator*() const { return std::get<0>(state_); }
  const T* operator->() const { return &std::get<0>(state_); }
  /// Why there is no value; std::bad_variant_access when there is one.
  NoValue why() const { return std::get<1>(state_); }
  std::optional<T> optional() const { return hasValue() ? std::optional<T>(**this) : std::nullopt; }

 private:
  std::variant<T, NoValue> state_;
};

/// Rows read forward, one at a time. Columns count from 0.
class Rows {
 public:
  /// Moves to the next row; false when there is none.
  virtual bool next() = 0;
  virtual Read<std::int32_t> integer(std::size_t column) const = 0;
  virtual Read<double> real(std::size_t column) const = 0;
  /// A date rounded to whole seconds (and then to 10 decimals of a day).
  virtual Read<OleDate> date(std::size_t column) const = 0;
  /// A text (UTF-8), whole however long; valid until the next row.
  virtual Read<std::string_view> text(std::size_t column) const = 0;

 protected:
  ~Rows() = default;
};

}  // namespace mrp
