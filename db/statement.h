// Statement: the system's one way of talking SQL to the database.
//
// One ODBC statement on a connection. Statements are texts with "?"
// placeholders, their parameters given by position with each run; a text is
// prepared again only when it changes. A query's rows are read with next()
// and the typed reads of Rows, either one row per driver call or in blocks of
// bound row arrays (one call per block) - the reads are the same. A statement
// that returns no rows can also run once per row of parameter arrays.
//
// Every value is read as the text the driver has for it and parsed here, all
// of it: drivers convert to C values leniently (SQLite's driver reads "7abc"
// as 7 and wraps 2147483648), so only the text shows whether a value is
// exactly one of its column's kind. Read in blocks from MariaDB, whose server
// sends binary values of the column's own type, the dates and the signed
// whole numbers come as C values instead: formatting them as text in the
// driver costs more than all else the reading does. Its driver hands a zero
// date ('0000-00-00') then as NULL; every other date is checked as a text's. Every failing ODBC call raises
// `DatabaseError` carrying the diagnostic records (std::bad_alloc when the
// driver ran out of memory); using the statement wrongly (a read without a
// row, a column beyond the result) raises std::logic_error.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "db/rows.h"

namespace mrp {

class Connection;

/// A positional parameter: a text (UTF-8), a 32-bit integer or a double.
using Parameter = std::variant<std::string_view, std::int32_t, double>;
/// One column of parameter arrays: the same text in every row, or one text,
/// double or integer per row.
using ParameterColumn = std::variant<std::string_view, std::span<const std::string>, std::span<const double>,
                                     std::span<const std::int32_t>>;

class Statement final : public Rows {
 public:
  /// A statement on `connection`, which must outlive it; E_POINTER when the
  /// connection is not open.
  explicit Statement(Connection& connection);
  ~Statement();
  Statement(const Statement&) = delete;
  Statement& operator=(const Statement&) = delete;

  /// Runs `sql`, a statement that returns no rows (or whose rows are not read).
  void execute(std::string_view sql, const std::vector<Parameter>& parameters = {});
  /// Runs the query `sql`; its rows follow with next(). `blockRows` above 1
  /// fetches that many rows per driver call (fewer where the driver takes
  /// fewer).
  void query(std::string_view sql, const std::vector<Parameter>& parameters = {},
             std::size_t blockRows = 1);
  /// Runs `sql` once per row of `columns` (all spans of `rows` values), in row
  /// order, in parameter arrays of up to 1,000 rows (one row per call where the
  /// driver takes none). A row that fails raises like `execute`.
  void executeRows(std::string_view sql, std::size_t rows, const std::vector<ParameterColumn>& columns);

  bool next() override;
  Read<std::int32_t> integer(std::size_t column) const override;
  Read<double> real(std::size_t column) const override;
  Read<OleDate> date(std::size_t column) const override;
  Read<std::string_view> text(std::size_t column) const override;

  /// For a driver that hands a text only up to an embedded NUL (see
  /// Connection::cutsTextsAtNul): runs `probe`, a query that lists the rows
  /// of the next query holding a NUL - that query's columns followed by one
  /// column per column, nonzero where its value holds a NUL. Each row found
  /// makes the flagged columns unreadable in one row of that query that reads
  /// as the same values (rows reading alike cannot be told apart, nor need
  /// they be). True when it found any. Other drivers hand every byte: nothing
  /// runs, false.
  bool noteValuesCutAtNul(std::string_view probe, const std::vector<Parameter>& parameters = {});

 private:
  struct State;
  std::unique_ptr<State> state_;
};

}  // namespace mrp
