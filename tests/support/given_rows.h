// Rows a test gives, for the steps that read rows without a database: each
// value is NULL, a value of one kind, or a value that is not wholly what its
// column claims.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <variant>
#include <vector>

#include "db/rows.h"

namespace mrp::test {

/// A date, to tell it from a double.
struct Date {
  OleDate value;
};
/// A value that is not wholly what its column claims (partly a number, say).
struct Unreadable {};
/// One value: NULL (std::monostate), an integer, a double, a date, a text.
using Value = std::variant<std::monostate, std::int32_t, double, Date, std::string, Unreadable>;
using GivenRow = std::vector<Value>;

class GivenRows final : public Rows {
 public:
  GivenRows() = default;
  explicit GivenRows(std::vector<GivenRow> rows) : rows_(std::move(rows)) {}

  bool next() override { return ++current_ < rows_.size(); }
  Read<std::int32_t> integer(std::size_t column) const override { return read<std::int32_t>(column); }
  Read<double> real(std::size_t column) const override { return read<double>(column); }
  Read<OleDate> date(std::size_t column) const override {
    const Value& value = at(column);
    if (const auto* date = std::get_if<Date>(&value)) return date->value;
    return why(value);
  }
  Read<std::string_view> text(std::size_t column) const override {
    const Value& value = at(column);
    if (const auto* text = std::get_if<std::string>(&value)) return std::string_view(*text);
    return why(value);
  }

 private:
  const Value& at(std::size_t column) const { return rows_.at(current_).at(column); }
  static NoValue why(const Value& value) {
    if (std::holds_alternative<std::monostate>(value)) return NoValue::Null;
    if (std::holds_alternative<Unreadable>(value)) return NoValue::Unreadable;
    return NoValue::OtherKind;
  }
  template <class T>
  Read<T> read(std::size_t column) const {
    const Value& value = at(column);
    if (const auto* kind = std::get_if<T>(&value)) return *kind;
    return why(value);
  }

  std::vector<GivenRow> rows_;
  std::size_t current_ = static_cast<std::size_t>(-1);  // before the first row
};

}  // namespace mrp::test
