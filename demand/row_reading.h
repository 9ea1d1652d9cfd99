// Reading one row of an input table while noting which needed columns could not
// be read.
//
// The query getters leave their target unchanged for a NULL column and for a
// value of another kind; reading on with a reused buffer would silently repeat
// the previous row's value. `RowReader` looks at the column's kind first: a
// needed column that is NULL or of another kind gives no value and is noted, so
// that the loading step can report the row and leave it out. Costs nothing
// beyond the getters for a readable row (no allocation).
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "db/db_query.h"
#include "demand/data_problems.h"
#include "platform/variant.h"

namespace mrp {

class RowReader {
 public:
  /// Reads the current row of `query`, a row of `table`; both must outlive the reader.
  RowReader(DbQuery& query, std::string_view table) noexcept : query_(query) {
    problem_.table = table;
  }

  /// A text column, cut to at most 128 bytes at a character boundary.
  std::optional<std::string> text(std::int32_t column, std::string_view name);
  /// A text column that may be missing: NULL or another kind gives "".
  std::string optionalText(std::int32_t column);
  std::optional<std::int32_t> integer(std::int32_t column, std::string_view name);
  std::optional<double> real(std::int32_t column, std::string_view name);
  /// A date column rounded to whole seconds.
  std::optional<OleDate> date(std::int32_t column, std::string_view name);

  /// Notes column `name` as unreadable although its kind was right.
  void markUnreadable(std::string_view name) { problem_.columns.push_back(name); }
  /// Adds a readable column that identifies the row in the message.
  void identify(std::string_view column, std::string value) {
    problem_.identity.emplace_back(column, std::move(value));
  }

  /// True while every needed column could be read.
  bool complete() const noexcept { return problem_.columns.empty(); }
  const UnreadableRow& problem() const noexcept { return problem_; }

 private:
  /// True when `column` holds a value of `kind`; otherwise notes `name`.
  bool holds(std::int32_t column, VARTYPE kind, std::string_view name);

  DbQuery& query_;
  UnreadableRow problem_;
};

/// `value` truncated toward zero, when that is a 32-bit signed integer;
/// nothing for values outside that range and for not-a-number.
std::optional<std::int32_t> truncateToInt32(double value) noexcept;

}  // namespace mrp
