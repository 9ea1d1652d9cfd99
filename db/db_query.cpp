#include "db/db_query.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <map>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "db/connection.h"
#include "db/database_error.h"
#include "db/value_conversions.h"
#include "platform/ole_date.h"
#include "platform/text_encoding.h"

namespace mrp {
namespace {

constexpr std::int32_t kDefaultParameterSize = 16;

/// How a column is read, decided once per result from its SQL type.
enum class ColumnRead { Integer, Double, Date, Text, Unsupported };

ColumnRead readFor(SQLLEN sqlType) {
  switch (sqlType) {
    case SQL_INTEGER:
    case SQL_SMALLINT:
    case SQL_TINYINT:
    case SQL_BIT:
      return ColumnRead::Integer;
    case SQL_DOUBLE:
    case SQL_FLOAT:
    case SQL_REAL:
    case SQL_NUMERIC:
    case SQL_DECIMAL:
      return ColumnRead::Double;
    case SQL_TYPE_TIMESTAMP:
    case SQL_TYPE_DATE:
    case SQL_TIMESTAMP:
    case SQL_DATE:
      return ColumnRead::Date;
    case SQL_CHAR:
    case SQL_VARCHAR:
    case SQL_LONGVARCHAR:
    case SQL_WCHAR:
    case SQL_WVARCHAR:
    case SQL_WLONGVARCHAR:
      return ColumnRead::Text;
    default:
      return ColumnRead::Unsupported;
  }
}

/// The SQL type of a parameter from the kind of its value; other kinds take
/// the type of the parameter before them (`previous`, 0 for the first).
SQLSMALLINT sqlTypeFor(VARTYPE kind, SQLSMALLINT previous) {
  switch (kind) {
    case VT_I2:
    case VT_UI1:
      return SQL_SMALLINT;
    case VT_I4:
      return SQL_INTEGER;
    case VT_R4:
      return SQL_REAL;
    case VT_R8:
    case VT_DATE:
      return SQL_DOUBLE;
    case VT_BSTR:
      return SQL_VARCHAR;
    case VT_BOOL:
      return SQL_BIT;
    default:
      return previous != 0 ? previous : SQL_VARCHAR;
  }
}

/// One bound parameter: its SQL type and declared size, fixed when the
/// statement is prepared, and the buffers its value is sent from.
struct BoundParameter {
  SQLSMALLINT sqlType = 0;
  SQLULEN size = 1;
  SQLINTEGER integer = 0;
  double real = 0.0;
  std::string text;  // UTF-8
  SQLLEN indicator = 0;
};

}  // namespace

struct DbQuery::State {
  explicit State(Connection& c) : connection(c) {}

  Connection& connection;
  odbc::StatementHandle statement;
  std::uint64_t session = 0;

  std::u16string commandText;  // "" after construction and every prepare
  bool prepared = false;       // commandText is prepared on the statement

  std::vector<VARIANT> paramValues;
  std::vector<std::int32_t> paramSizes;
  std::vector<BoundParameter> bound;

  enum class RowSet { None, Open, Closed } rowSet = RowSet::None;
  bool cursorOpen = false;
  std::vector<ColumnRead> columnReads;  // of the current result
  std::vector<VARIANT> columnValues;    // the current row
  /// The current row as the driver hands it, as text; nothing for NULL.
  /// The strings are kept from row to row, so reading allocates only for a
  /// longer value.
  std::vector<std::optional<std::string>> rowTexts;

  /// Rows whose values the driver cut at a NUL (see noteValuesCutAtNul): the
  /// values as they read, and per column whether it was cut. `pendingCuts`
  /// were found for the next statement, `cuts` apply to the current result.
  using RowValues = std::vector<std::optional<std::string>>;
  using CutRows = std::multimap<RowValues, std::vector<bool>>;
  CutRows pendingCuts;
  CutRows cuts;

  /// The arrays of a block read.
  struct BoundColumn {
    BlockColumn kind;
    SQLLEN width;               // bytes per row
    std::vector<char> values;   // rows x width
    std::vector<SQLLEN> indicators;
  };
  std::vector<BoundColumn> blockColumns;
  std::vector<SQLUSMALLINT> rowStatus;
  SQLULEN rowsFetched = 0;
  bool blocksOpen = false;

  void bindBlocks(const std::vector<BlockColumn>& columns, std::size_t blockRows);
  /// The text of a block's value; nothing for NULL, a cut text or a row the
  /// driver could not read.
  std::optional<std::string_view> blockText(std::size_t row, std::size_t column) const;
  bool fetchBlock();
  void closeBlocks();

  ~State() {
    // SQLDisconnect has freed the statements of a closed session already.
    if (connection.session() != session) {
      statement.forget();
    } else {
      connection.delist(statement.get());
    }
  }

  /// The statement handle, E_POINTER when the connection it was made on has
  /// been closed since.
  SQLHSTMT handle() const {
    if (connection.session() != session) throw DatabaseError(E_POINTER);
    return statement.get();
  }
  void check(SQLRETURN rc, bool noDataAllowed = false) const {
    statement.check(rc, noDataAllowed);
  }

  void closeCursor() {
    if (!cursorOpen) return;
    cursorOpen = false;
    check(SQLFreeStmt(handle(), SQL_CLOSE));
  }

  void useStatementText(const char* text);
  void createParameters();
  void sendParameters();
  void run(const char* text);
  bool fetchRow();
  void describeColumns();
  void loadRow();
  /// The columns of the current row that the driver cut at a NUL, taken from
  /// `cuts`; empty when it cut none.
  std::vector<bool> takeCutColumns();
  void convertColumn(std::size_t column, bool cut, VARIANT& value);
  void assignDate(std::size_t column, std::string_view text, VARIANT& value);
  /// Reads column `column` as the text the driver has for it into `text`;
  /// false for NULL.
  bool readValueText(SQLUSMALLINT column, std::string& text);
  /// Whether the driver hands the date in `column` of row `row` (1-based, of
  /// the current block) as an infinite double.
  bool isInfiniteDate(SQLSETPOSIROW row, SQLUSMALLINT column);
  static void markUnreadable(VARIANT& value);
};

void DbQuery::State::useStatementText(const char* text) {
  std::u16string wanted = utf8ToUtf16(text);
  if (wanted != commandText || !prepared) {
    closeCursor();
    commandText = std::move(wanted);
    prepared = false;
    check(SQLPrepareW(handle(), odbc::wide(commandText),
                      static_cast<SQLINTEGER>(commandText.size())));
    prepared = true;
    createParameters();
  }
  sendParameters();
}

void DbQuery::State::createParameters() {
  check(SQLFreeStmt(handle(), SQL_RESET_PARAMS));
  bound.assign(paramValues.size(), BoundParameter{});
  SQLSMALLINT previous = 0;
  for (std::size_t i = 0; i < bound.size(); ++i) {
    bound[i].sqlType = previous = sqlTypeFor(paramValues[i].vt, previous);
    bound[i].size = static_cast<SQLULEN>(std::max(paramSizes[i], 1));
  }
}

void DbQuery::State::sendParameters() {
  for (std::size_t i = 0; i < bound.size(); ++i) {
    const VARIANT& value = paramValues[i];
    BoundParameter& p = bound[i];
    // Texts go as UTF-8 bytes: every driver here takes SQL_C_CHAR, while the
    // PostgreSQL ANSI driver refuses wide-character parameters.
    SQLSMALLINT cType = SQL_C_CHAR;
    SQLPOINTER buffer = nullptr;
    SQLLEN bufferLength = 0;
    switch (value.vt) {
      case VT_I4:
      case VT_I2:
      case VT_UI1:
      case VT_BOOL:
      case VT_ERROR:
        p.integer = value.lVal;
        cType = SQL_C_SLONG;
        buffer = &p.integer;
        p.indicator = 0;
        break;
      case VT_R8:
      case VT_R4:
      case VT_DATE:
        p.real = value.dblVal;
        cType = SQL_C_DOUBLE;
        buffer = &p.real;
        p.indicator = 0;
        break;
      case VT_BSTR:
        p.text = utf16ToUtf8(value.bstrVal);
        buffer = p.text.data();
        bufferLength = static_cast<SQLLEN>(p.text.size());
        p.indicator = bufferLength;
        break;
      default:  // empty, NULL and kinds without a database type are sent as NULL
        p.indicator = SQL_NULL_DATA;
        break;
    }
    check(SQLBindParameter(handle(), static_cast<SQLUSMALLINT>(i + 1), SQL_PARAM_INPUT, cType,
                           p.sqlType, p.sqlType == SQL_VARCHAR ? p.size : 0, 0, buffer,
                           bufferLength, &p.indicator));
  }
}

void DbQuery::State::run(const char* text) {
  if (text == nullptr) throw DatabaseError(E_POINTER);
  closeBlocks();
  closeCursor();
  cuts = std::exchange(pendingCuts, {});
  useStatementText(text);
  const SQLRETURN rc = SQLExecute(handle());
  check(rc, true);  // SQL_NO_DATA: a searched update or delete that hit no row
  cursorOpen = rc != SQL_NO_DATA;
}

bool DbQuery::State::fetchRow() {
  const SQLRETURN rc = SQLFetch(handle());
  check(rc, true);
  return rc != SQL_NO_DATA;
}

void DbQuery::State::describeColumns() {
  SQLSMALLINT count = 0;
  check(SQLNumResultCols(handle(), &count));
  columnReads.resize(static_cast<std::size_t>(count));
  for (SQLSMALLINT c = 0; c < count; ++c) {
    SQLLEN type = 0;
    check(SQLColAttributeW(handle(), static_cast<SQLUSMALLINT>(c + 1), SQL_DESC_CONCISE_TYPE,
                           nullptr, 0, nullptr, &type));
    columnReads[static_cast<std::size_t>(c)] = readFor(type);
  }
}

void DbQuery::State::loadRow() {
  rowTexts.resize(columnValues.size());
  for (std::size_t c = 0; c < columnValues.size(); ++c) {
    std::optional<std::string>& text = rowTexts[c];
    if (!text) text.emplace();
    if (!readValueText(static_cast<SQLUSMALLINT>(c + 1), *text)) text.reset();
  }
  const std::vector<bool> cut = takeCutColumns();
  for (std::size_t c = 0; c < columnValues.size(); ++c) {
    convertColumn(c, !cut.empty() && cut[c], columnValues[c]);
  }
}

std::vector<bool> DbQuery::State::takeCutColumns() {
  if (cuts.empty()) return {};
  const auto found = cuts.find(rowTexts);
  if (found == cuts.end()) return {};
  std::vector<bool> cut = std::move(found->second);
  cuts.erase(found);
  return cut;
}

namespace {

/// What psqlODBC hands for PostgreSQL's timestamp infinity: the last second
/// of the calendar, which is also a date of its own.
constexpr CalendarTime kInfinityStandIn{9999, 12, 31, 23, 59, 59, 0};

}  // namespace

void DbQuery::State::convertColumn(std::size_t column, bool cut, VARIANT& value) {
  const std::optional<std::string>& text = rowTexts[column];
  if (!text) {
    value = VARIANT::null();
    return;
  }
  // A value with a NUL inside is not the text, number or date it claims to be.
  if (cut || text->find('\0') != std::string::npos) {
    markUnreadable(value);
    return;
  }
  switch (columnReads[column]) {
    case ColumnRead::Text:
      value.bstrVal = utf8ToUtf16(*text);
      value.vt = VT_BSTR;
      value.lVal = 0;
      value.dblVal = 0.0;
      return;
    case ColumnRead::Integer:
      if (const std::optional<std::int32_t> n = parseInt32Text(*text)) {
        assignInt32(value, *n);
        return;
      }
      break;
    case ColumnRead::Double:
      if (const std::optional<double> x = parseNumberText(*text)) {
        if (value.vt != VT_R8) value = VARIANT::real(*x);
        value.dblVal = *x;
        return;
      }
      break;
    case ColumnRead::Date:
      assignDate(column, *text, value);
      return;
    case ColumnRead::Unsupported:
      break;
  }
  // Not exactly a value of the column's kind, or a kind no getter reads.
  markUnreadable(value);
}

void DbQuery::State::assignDate(std::size_t column, std::string_view text, VARIANT& value) {
  const std::optional<CalendarTime> time = parseCalendarTime(text);
  if (!time || (*time == kInfinityStandIn && connection.hasInfiniteDates() &&
                isInfiniteDate(1, static_cast<SQLUSMALLINT>(column + 1)))) {
    markUnreadable(value);
    return;
  }
  value = VARIANT::date(oleDateFromCalendar(*time));
}

bool DbQuery::State::readValueText(SQLUSMALLINT column, std::string& text) {
  // Every value is read as the text the driver has for it and parsed here:
  // drivers convert to C values leniently (SQLite's driver reads the text
  // "7abc" as 7, wraps 2147483648 into a 32-bit integer, takes a date with
  // trailing text, and reads past the end of a time without seconds), so only
  // the text shows whether a value is exactly one of the kind asked for.
  // Texts come as UTF-8 (SQL_C_CHAR): every driver here gives it, while the
  // PostgreSQL ANSI driver has no wide characters to give. The lengths the
  // driver reports keep an embedded NUL in the text.
  text.clear();
  std::array<char, 256> chunk{};
  for (;;) {
    SQLLEN indicator = 0;
    const SQLRETURN rc = SQLGetData(handle(), column, SQL_C_CHAR, chunk.data(),
                                    static_cast<SQLLEN>(chunk.size()), &indicator);
    check(rc, true);
    if (rc == SQL_NO_DATA) return true;  // all of it was read before
    if (indicator == SQL_NULL_DATA) return false;
    const std::size_t room = chunk.size() - 1;  // one byte for the terminator
    const bool whole = indicator != SQL_NO_TOTAL && static_cast<std::size_t>(indicator) <= room;
    text.append(chunk.data(), whole ? static_cast<std::size_t>(indicator) : room);
    if (whole) return true;
  }
}

bool DbQuery::State::isInfiniteDate(SQLSETPOSIROW row, SQLUSMALLINT column) {
  // psqlODBC converts PostgreSQL's text to a double with strtod, which reads
  // "infinity" as infinite and a date as its year; positioning on the row
  // lets the column be read once more.
  check(SQLSetPos(handle(), row, SQL_POSITION, SQL_LOCK_NO_CHANGE));
  double number = 0.0;
  SQLLEN indicator = 0;
  check(SQLGetData(handle(), column, SQL_C_DOUBLE, &number, sizeof number, &indicator));
  return indicator != SQL_NULL_DATA && std::isinf(number);
}

void DbQuery::State::markUnreadable(VARIANT& value) {
  value.clear();
  value.vt = VT_UNSUPPORTED;
}

DbQuery::DbQuery(Connection& connection) : state_(std::make_unique<State>(connection)) {
  if (!connection.isOpen()) throw DatabaseError(E_POINTER);
  state_->statement = odbc::StatementHandle(connection.handle());
  state_->session = connection.session();
  connection.enlist(state_->statement.get());
}

DbQuery::~DbQuery() = default;

namespace {

/// Index in range of a vector of `size` elements, or E_INVALIDARG.
std::size_t checkedIndex(std::int32_t index, std::size_t size) {
  if (index < 0 || static_cast<std::size_t>(index) >= size) throw DatabaseError(E_INVALIDARG);
  return static_cast<std::size_t>(index);
}

}  // namespace

void DbQuery::prepare(std::int32_t paramCount) {
  State& s = *state_;
  if (paramCount < 0) throw DatabaseError(E_INVALIDARG);
  s.commandText.clear();
  s.prepared = false;
  s.paramValues.assign(static_cast<std::size_t>(paramCount), VARIANT{});
  s.paramSizes.assign(static_cast<std::size_t>(paramCount), kDefaultParameterSize);
}

void DbQuery::bindText(std::int32_t index, const char* text, std::int32_t size) {
  State& s = *state_;
  const std::size_t i = checkedIndex(index, s.paramValues.size());
  // A null text binds an empty one, as an absent string converts to "".
  s.paramValues[i] = VARIANT::text(utf8ToUtf16(text ? text : ""));
  if (s.commandText.empty()) s.paramSizes[i] = size;
}

void DbQuery::bindDouble(std::int32_t index, double value) {
  State& s = *state_;
  assignDouble(s.paramValues[checkedIndex(index, s.paramValues.size())], value);
}

void DbQuery::bindInteger(std::int32_t index, std::int32_t value) {
  State& s = *state_;
  assignInt32(s.paramValues[checkedIndex(index, s.paramValues.size())], value);
}

void DbQuery::execute(const char* statement) {
  State& s = *state_;
  s.run(statement);
  s.closeCursor();  // rows of a statement run by execute are not read
  if (s.rowSet == State::RowSet::Open) s.rowSet = State::RowSet::Closed;
}

namespace {

/// Rows per parameter array: large enough that the calls no longer count.
constexpr std::size_t kRowsPerParameterArray = 1000;

/// The buffers of one parameter column for `rows` rows.
struct ParameterArray {
  SQLSMALLINT cType = SQL_C_DOUBLE;
  SQLSMALLINT sqlType = SQL_DOUBLE;
  SQLULEN size = 0;
  SQLLEN width = 0;           // bytes per row of a text
  std::string texts;          // rows x UTF-8 text and terminator, for a text column
  const void* numbers = nullptr;
  std::vector<SQLLEN> indicators;

  /// Where the values are; the texts move with the array, so asked for last.
  void* values() { return cType == SQL_C_CHAR ? texts.data() : const_cast<void*>(numbers); }
};

ParameterArray parameterArray(const DbQuery::RowParameter& parameter, std::size_t first,
                              std::size_t rows) {
  ParameterArray array;
  if (const auto* text = std::get_if<std::string>(&parameter)) {
    array.cType = SQL_C_CHAR;
    array.sqlType = SQL_VARCHAR;
    array.size = std::max<SQLULEN>(text->size(), 1);
    array.width = static_cast<SQLLEN>(text->size() + 1);
    for (std::size_t r = 0; r < rows; ++r) array.texts += *text + '\0';
    array.indicators.assign(rows, static_cast<SQLLEN>(text->size()));
  } else if (const auto* reals = std::get_if<std::span<const double>>(&parameter)) {
    array.numbers = reals->data() + first;
    array.indicators.assign(rows, 0);
  } else {
    array.cType = SQL_C_SLONG;
    array.sqlType = SQL_INTEGER;
    array.numbers = std::get<std::span<const std::int32_t>>(parameter).data() + first;
    array.indicators.assign(rows, 0);
  }
  return array;
}

}  // namespace

void DbQuery::executeRows(const char* statement, std::size_t rows,
                          const std::vector<RowParameter>& parameters) {
  State& s = *state_;
  if (statement == nullptr) throw DatabaseError(E_POINTER);
  s.closeBlocks();
  s.closeCursor();
  s.commandText = utf8ToUtf16(statement);
  s.prepared = false;  // the positional parameters are bound anew by the next statement
  s.check(SQLPrepareW(s.handle(), odbc::wide(s.commandText), static_cast<SQLINTEGER>(s.commandText.size())));
  s.check(SQLFreeStmt(s.handle(), SQL_RESET_PARAMS));
  SQLSetStmtAttr(s.handle(), SQL_ATTR_PARAM_BIND_TYPE, reinterpret_cast<SQLPOINTER>(SQL_PARAM_BIND_BY_COLUMN), 0);
  SQLSetStmtAttr(s.handle(), SQL_ATTR_PARAMSET_SIZE, reinterpret_cast<SQLPOINTER>(std::min(rows, kRowsPerParameterArray)), 0);
  SQLULEN perCall = 1;
  if (!odbc::succeeded(SQLGetStmtAttr(s.handle(), SQL_ATTR_PARAMSET_SIZE, &perCall, 0, nullptr)) || perCall == 0)
    perCall = 1;
  std::vector<SQLUSMALLINT> status(perCall);
  SQLULEN processed = 0;
  s.check(SQLSetStmtAttr(s.handle(), SQL_ATTR_PARAM_STATUS_PTR, status.data(), 0));
  s.check(SQLSetStmtAttr(s.handle(), SQL_ATTR_PARAMS_PROCESSED_PTR, &processed, 0));
  for (std::size_t first = 0; first < rows; first += perCall) {
    const std::size_t count = std::min<std::size_t>(perCall, rows - first);
    if (count != perCall)
      s.check(SQLSetStmtAttr(s.handle(), SQL_ATTR_PARAMSET_SIZE, reinterpret_cast<SQLPOINTER>(count), 0));
    std::vector<ParameterArray> arrays;
    for (const RowParameter& parameter : parameters) arrays.push_back(parameterArray(parameter, first, count));
    for (std::size_t c = 0; c < arrays.size(); ++c) {
      ParameterArray& array = arrays[c];
      s.check(SQLBindParameter(s.handle(), static_cast<SQLUSMALLINT>(c + 1), SQL_PARAM_INPUT, array.cType,
                               array.sqlType, array.size, 0, array.values(), array.width,
                               array.indicators.data()));
    }
    std::fill(status.begin(), status.end(), SQL_PARAM_UNUSED);
    const SQLRETURN rc = SQLExecute(s.handle());
    s.check(rc, true);  // SQL_NO_DATA: nothing was changed, no failure
    for (std::size_t r = 0; r < count; ++r) {
      if (status[r] == SQL_PARAM_ERROR) odbc::raiseFailure(SQL_HANDLE_STMT, s.handle());
    }
    if (rc != SQL_NO_DATA) s.check(SQLFreeStmt(s.handle(), SQL_CLOSE));
  }
  // The statement takes single rows again.
  s.check(SQLFreeStmt(s.handle(), SQL_RESET_PARAMS));
  s.check(SQLSetStmtAttr(s.handle(), SQL_ATTR_PARAMSET_SIZE, reinterpret_cast<SQLPOINTER>(1), 0));
  s.check(SQLSetStmtAttr(s.handle(), SQL_ATTR_PARAM_STATUS_PTR, nullptr, 0));
  s.check(SQLSetStmtAttr(s.handle(), SQL_ATTR_PARAMS_PROCESSED_PTR, nullptr, 0));
}

bool DbQuery::open(const char* statement) {
  State& s = *state_;
  if (statement == nullptr) {
    if (s.rowSet == State::RowSet::None) throw DatabaseError(E_POINTER);
    if (s.rowSet == State::RowSet::Closed) return false;
    if (!s.fetchRow()) {
      s.closeCursor();
      s.rowSet = State::RowSet::Closed;
      return false;
    }
    s.loadRow();
    return true;
  }
  s.rowSet = State::RowSet::Closed;
  s.run(statement);
  if (!s.cursorOpen) return false;
  s.describeColumns();
  if (s.columnReads.empty() || !s.fetchRow()) {
    s.closeCursor();
    return false;  // the previous row stays as it was
  }
  s.columnValues.assign(s.columnReads.size(), VARIANT{});
  s.rowSet = State::RowSet::Open;
  s.loadRow();
  return true;
}

namespace {

const VARIANT& columnValue(const std::vector<VARIANT>& values, std::int32_t column) {
  return values[checkedIndex(column, values.size())];
}

}  // namespace

bool DbQuery::getText(std::int32_t column, char* buffer, std::int32_t capacity) {
  State& s = *state_;
  const VARIANT& v = columnValue(s.columnValues, column);
  if (v.vt == VT_NULL) return false;
  if (v.vt != VT_BSTR || buffer == nullptr || capacity <= 0) return true;
  const std::string narrow = utf16ToUtf8(v.bstrVal);
  // At most capacity-1 bytes, never ending inside a character; zeros behind.
  const std::string_view kept =
      cutAtCharBoundary(narrow, static_cast<std::size_t>(capacity) - 1);
  std::memcpy(buffer, kept.data(), kept.size());
  std::memset(buffer + kept.size(), 0, static_cast<std::size_t>(capacity) - kept.size());
  return true;
}

bool DbQuery::getText(std::int32_t column, std::string& target) {
  State& s = *state_;
  const VARIANT& v = columnValue(s.columnValues, column);
  if (v.vt == VT_NULL) return false;
  if (v.vt == VT_BSTR) target = utf16ToUtf8(v.bstrVal);
  return true;
}

bool DbQuery::getInteger(std::int32_t column, std::int32_t& target) {
  State& s = *state_;
  const VARIANT& v = columnValue(s.columnValues, column);
  if (v.vt == VT_NULL) return false;
  if (v.vt == VT_I4) target = asInt32(v);
  return true;
}

bool DbQuery::getDouble(std::int32_t column, double& target) {
  State& s = *state_;
  const VARIANT& v = columnValue(s.columnValues, column);
  if (v.vt == VT_NULL) return false;
  if (v.vt == VT_R8) target = v.dblVal;
  return true;
}

bool DbQuery::getDate(std::int32_t column, VARIANT& target) {
  State& s = *state_;
  const VARIANT& v = columnValue(s.columnValues, column);
  if (v.vt == VT_NULL) return false;
  if (v.vt == VT_DATE) assignDouble(target, roundToDecimals(roundToSecond(asDouble(v)), 10));
  return true;
}

namespace {

constexpr SQLLEN kValueTextWidth = 40;  // digits of any 64-bit integer and more

bool isKind(ColumnRead read, DbQuery::BlockColumn kind) {
  return read == (kind == DbQuery::BlockColumn::Date ? ColumnRead::Date : ColumnRead::Integer);
}

}  // namespace

void DbQuery::State::bindBlocks(const std::vector<BlockColumn>& columns, std::size_t blockRows) {
  // Ask for the rows per block; a driver may take fewer (01S02), so read back
  // what it took.
  SQLSetStmtAttr(handle(), SQL_ATTR_ROW_BIND_TYPE, reinterpret_cast<SQLPOINTER>(SQL_BIND_BY_COLUMN), 0);
  SQLSetStmtAttr(handle(), SQL_ATTR_ROW_ARRAY_SIZE, reinterpret_cast<SQLPOINTER>(blockRows), 0);
  SQLULEN taken = 1;
  if (!odbc::succeeded(SQLGetStmtAttr(handle(), SQL_ATTR_ROW_ARRAY_SIZE, &taken, 0, nullptr)) ||
      taken == 0)
    taken = 1;
  rowStatus.assign(taken, SQL_ROW_SUCCESS);
  check(SQLSetStmtAttr(handle(), SQL_ATTR_ROW_STATUS_PTR, rowStatus.data(), 0));
  check(SQLSetStmtAttr(handle(), SQL_ATTR_ROWS_FETCHED_PTR, &rowsFetched, 0));
  blockColumns.clear();
  for (std::size_t c = 0; c < columns.size(); ++c) {
    BoundColumn& column = blockColumns.emplace_back();
    column.kind = columns[c];
    column.width = kValueTextWidth;
    column.values.assign(taken * static_cast<std::size_t>(column.width), 0);
    column.indicators.assign(taken, 0);
    check(SQLBindCol(handle(), static_cast<SQLUSMALLINT>(c + 1), SQL_C_CHAR, column.values.data(),
                     column.width, column.indicators.data()));
  }
  blocksOpen = true;
}

bool DbQuery::State::fetchBlock() {
  rowsFetched = 0;
  const SQLRETURN rc = SQLFetch(handle());
  check(rc, true);
  if (rc == SQL_NO_DATA || rowsFetched == 0) {
    closeBlocks();
    return false;
  }
  return true;
}

void DbQuery::State::closeBlocks() {
  if (!blocksOpen) return;
  blocksOpen = false;
  closeCursor();
  // The statement reads row by row again.
  check(SQLFreeStmt(handle(), SQL_UNBIND));
  check(SQLSetStmtAttr(handle(), SQL_ATTR_ROW_ARRAY_SIZE, reinterpret_cast<SQLPOINTER>(1), 0));
  check(SQLSetStmtAttr(handle(), SQL_ATTR_ROW_STATUS_PTR, nullptr, 0));
  check(SQLSetStmtAttr(handle(), SQL_ATTR_ROWS_FETCHED_PTR, nullptr, 0));
  rowsFetched = 0;
}

DbQuery::BlockStart DbQuery::openBlocks(const char* statement, const std::vector<BlockColumn>& columns,
                                        std::size_t blockRows) {
  State& s = *state_;
  s.closeBlocks();
  s.rowSet = State::RowSet::Closed;
  s.run(statement);
  if (!s.cursorOpen) return BlockStart::NoRows;
  s.describeColumns();
  bool kindsFit = s.columnReads.size() == columns.size();
  for (std::size_t c = 0; kindsFit && c < columns.size(); ++c) kindsFit = isKind(s.columnReads[c], columns[c]);
  if (!kindsFit) {
    s.closeCursor();
    return BlockStart::OtherKinds;
  }
  s.bindBlocks(columns, std::max<std::size_t>(blockRows, 1));
  return s.fetchBlock() ? BlockStart::Rows : BlockStart::NoRows;
}

bool DbQuery::nextBlock() {
  State& s = *state_;
  if (!s.blocksOpen) return false;
  return s.fetchBlock();
}

std::size_t DbQuery::blockRows() const noexcept { return state_->blocksOpen ? state_->rowsFetched : 0; }

std::optional<std::string_view> DbQuery::State::blockText(std::size_t row, std::size_t column) const {
  const BoundColumn& bound = blockColumns.at(column);
  const SQLLEN length = bound.indicators.at(row);
  const auto status = rowStatus.at(row);
  // A text that filled the buffer was cut: it is no date and no 32-bit integer.
  if (length == SQL_NULL_DATA || length < 0 || length >= bound.width ||
      (status != SQL_ROW_SUCCESS && status != SQL_ROW_SUCCESS_WITH_INFO))
    return std::nullopt;
  return std::string_view(bound.values.data() + row * static_cast<std::size_t>(bound.width),
                          static_cast<std::size_t>(length));
}

std::optional<OleDate> DbQuery::blockDate(std::size_t row, std::size_t column) const {
  State& s = *state_;
  const std::optional<std::string_view> text = s.blockText(row, column);
  if (!text) return std::nullopt;
  const std::optional<CalendarTime> time = parseCalendarTime(*text);
  if (!time) return std::nullopt;
  if (*time == kInfinityStandIn && s.connection.hasInfiniteDates() &&
      s.isInfiniteDate(static_cast<SQLSETPOSIROW>(row + 1), static_cast<SQLUSMALLINT>(column + 1)))
    return std::nullopt;
  return roundToDecimals(roundToSecond(oleDateFromCalendar(*time)), 10);
}

std::optional<std::int32_t> DbQuery::blockInteger(std::size_t row, std::size_t column) const {
  const std::optional<std::string_view> text = state_->blockText(row, column);
  return text ? parseInt32Text(*text) : std::nullopt;
}

bool DbQuery::cutsTextsAtNul() const noexcept { return state_->connection.cutsTextsAtNul(); }

bool DbQuery::noteValuesCutAtNul(const char* probe) {
  State& s = *state_;
  s.pendingCuts.clear();
  if (!s.connection.cutsTextsAtNul()) return false;
  s.rowSet = State::RowSet::Closed;
  s.run(probe);
  if (!s.cursorOpen) return false;
  s.describeColumns();
  const std::size_t values = s.columnReads.size() / 2;
  std::string flag;
  while (s.fetchRow()) {
    State::RowValues row(values);
    std::vector<bool> cut(values);
    for (std::size_t c = 0; c < values; ++c) {
      row[c].emplace();
      if (!s.readValueText(static_cast<SQLUSMALLINT>(c + 1), *row[c])) row[c].reset();
    }
    for (std::size_t c = 0; c < values; ++c) {
      cut[c] = s.readValueText(static_cast<SQLUSMALLINT>(values + c + 1), flag) &&
               parseNumberText(flag).value_or(0.0) != 0.0;
    }
    s.pendingCuts.emplace(std::move(row), std::move(cut));
  }
  s.closeCursor();
  return !s.pendingCuts.empty();
}

VARTYPE DbQuery::columnKind(std::int32_t column) const {
  const State& s = *state_;
  return columnValue(s.columnValues, column).vt;
}

}  // namespace mrp
