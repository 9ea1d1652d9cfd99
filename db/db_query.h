// DbQuery: the system's one way of talking SQL to the database.
//
// One ODBC statement on a connection, positional parameters whose
// values survive from statement to statement, and a copy of the current row.
// Statements are texts with "?" placeholders; parameters and columns are
// addressed by 0-based position. The statement is prepared again only when its
// text changes; parameter values are sent again on every run.
//
// Calling order: prepare(n), one bind per parameter, then execute(text) or
// open(text) followed by getters and open(nullptr) while rows come.
// Every failing ODBC call raises `DatabaseError` carrying the diagnostic records.
//
// A value that is not wholly what its column claims is of a kind no getter
// reads (VT_UNSUPPORTED): a number or date that is only partly one, any value
// with an embedded NUL, and PostgreSQL's infinite timestamps.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <variant>
#include <vector>

#include "platform/variant.h"

namespace mrp {

class Connection;

class DbQuery {
 public:
  /// Attaches a statement to `connection`, which must outlive the query;
  /// E_POINTER when it is not open.
  explicit DbQuery(Connection& connection);
  ~DbQuery();
  DbQuery(const DbQuery&) = delete;
  DbQuery& operator=(const DbQuery&) = delete;

  /// Starts a new statement with `paramCount` positional parameters (all empty,
  /// declared size 16); the statement text becomes empty.
  void prepare(std::int32_t paramCount);
  /// Parameter `index` := text. `size` becomes its declared size while no
  /// statement text is set.
  void bindText(std::int32_t index, const char* text, std::int32_t size);
  void bindDouble(std::int32_t index, double value);
  void bindInteger(std::int32_t index, std::int32_t value);

  /// Runs a statement that returns no rows.
  void execute(const char* statement);
  /// With a text: runs the query and loads its first row. With null: loads the
  /// next row. True when a row is loaded.
  bool open(const char* statement);

  /// Getters on the current row: false for NULL (target unchanged); true and
  /// the target unchanged for a value of another kind.
  bool getText(std::int32_t column, char* buffer, std::int32_t capacity);
  /// The whole text, however long.
  bool getText(std::int32_t column, std::string& target);
  bool getInteger(std::int32_t column, std::int32_t& target);
  bool getDouble(std::int32_t column, double& target);
  /// Reads a date rounded to whole seconds into `target` (assignDouble rule).
  bool getDate(std::int32_t column, VARIANT& target);

  /// Kind of column `column` of the current row (VT_NULL for NULL).
  VARTYPE columnKind(std::int32_t column) const;

  /// Whether the driver hands a text only up to an embedded NUL, in every C
  /// type and with that length (the SQLite driver: `40<NUL>9` reads as 40).
  bool cutsTextsAtNul() const noexcept;
  /// On such a driver: runs `probe`, a query that lists the rows of the next
  /// open(statement) holding a NUL, with that statement's columns followed by
  /// one column per column, nonzero where its value holds a NUL. Each row
  /// found makes the flagged columns unreadable in one row of that result
  /// that reads as the same values (rows reading alike cannot be told apart,
  /// nor need they be). True when it found any; openBlocks applies none, so
  /// read such a result row by row. Other drivers hand every byte: nothing
  /// runs, false.
  bool noteValuesCutAtNul(const char* probe);

  /// One column of parameters for `executeRows`: the same text in every row,
  /// or one double or one integer per row.
  using RowParameter =
      std::variant<std::string, std::span<const double>, std::span<const std::int32_t>>;
  /// Runs `statement` once per row of `parameters` (all spans of `rows`
  /// values), in row order, as few driver calls as it takes: parameter arrays
  /// (SQL_ATTR_PARAMSET_SIZE) of up to 1,000 rows, one row per call where the
  /// driver takes none. A row that fails raises like `execute`. The positional
  /// parameters bound before are unbound afterwards.
  void executeRows(const char* statement, std::size_t rows,
                   const std::vector<RowParameter>& parameters);

  // Reading a long result in blocks of rows, its columns bound to arrays
  // (SQL_ATTR_ROW_ARRAY_SIZE): one driver call per block instead of one per
  // value. A driver without row arrays gets one row per block.

  /// How a column is read in blocks: as a date, or as the text of a number.
  enum class BlockColumn { Date, Integer };
  enum class BlockStart { Rows, NoRows, OtherKinds };
  /// Runs `statement` (positional parameters as bound) and loads its first
  /// block of at most `blockRows` rows. OtherKinds, with nothing read, when a
  /// column's SQL type is not of the kind asked for.
  BlockStart openBlocks(const char* statement, const std::vector<BlockColumn>& columns,
                        std::size_t blockRows);
  /// Loads the next block; false when no row is left (the blocks are closed).
  bool nextBlock();
  /// Rows in the current block.
  std::size_t blockRows() const noexcept;
  /// A date of the current block, rounded to whole seconds as getDate rounds;
  /// nothing for NULL and for a row the driver could not convert.
  std::optional<OleDate> blockDate(std::size_t row, std::size_t column) const;
  /// A 32-bit integer of the current block, only when the column's text is
  /// exactly one (as the getters read numbers); nothing otherwise.
  std::optional<std::int32_t> blockInteger(std::size_t row, std::size_t column) const;

 private:
  struct State;
  std::unique_ptr<State> state_;
};

}  // namespace mrp
