// Reading one row of an input table while noting which needed columns could not
// be read: NULL, of another kind, or not wholly what they claim. Such a row is
// reported by the loading step and left out. Costs nothing beyond the reads
// for a readable row (no allocation).
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "db/rows.h"
#include "demand/data_problems.h"

namespace mrp {

class RowReader {
 public:
  /// Reads the current row of `rows`, a row of `table`; both must outlive the reader.
  RowReader(const Rows& rows, std::string_view table) noexcept : rows_(rows) { problem_.table = table; }

  /// A text column, cut to at most 128 bytes at a character boundary.
  std::optional<std::string> text(std::size_t column, std::string_view name);
  /// A text column that may be missing: NULL, another kind or an unreadable
  /// text gives "".
  std::string optionalText(std::size_t column);
  std::optional<std::int32_t> integer(std::size_t column, std::string_view name);
  std::optional<double> real(std::size_t column, std::string_view name);
  /// A date column rounded to whole seconds.
  std::optional<OleDate> date(std::size_t column, std::string_view name);

  /// Notes column `name` as unreadable although it was read.
  void markUnreadable(std::string_view name) { problem_.columns.push_back(name); }
  /// Adds a readable column that identifies the row in the message.
  void identify(std::string_view column, std::string value) {
    problem_.identity.emplace_back(column, std::move(value));
  }

  /// True while every needed column could be read.
  bool complete() const noexcept { return problem_.columns.empty(); }
  const UnreadableRow& problem() const noexcept { return problem_; }

 private:
  /// The value of `read`; nothing, with `name` noted, when there is none.
  template <class T>
  std::optional<T> needed(const Read<T>& read, std::string_view name) {
    if (!read) markUnreadable(name);
    return read.optional();
  }

  const Rows& rows_;
  UnreadableRow problem_;
};

/// `value` truncated toward zero, when that is a 32-bit signed integer;
/// nothing for values outside that range and for not-a-number.
std::optional<std::int32_t> truncateToInt32(double value) noexcept;

}  // namespace mrp
