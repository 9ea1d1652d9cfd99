#include "db/statement.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <map>
#include <optional>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "db/connection.h"
#include "db/database_error.h"
#include "db/odbc_handle.h"
#include "db/value_conversions.h"
#include "platform/ole_date.h"
#include "platform/text_encoding.h"

namespace mrp {
namespace {

/// The kind of a result column, decided once per result from its SQL type.
enum class Kind { Integer, Double, Date, Text, Other };

Kind kindOf(SQLLEN sqlType) {
  switch (sqlType) {
    case SQL_INTEGER:
    case SQL_SMALLINT:
    case SQL_TINYINT:
    case SQL_BIT:
      return Kind::Integer;
    case SQL_DOUBLE:
    case SQL_FLOAT:
    case SQL_REAL:
    case SQL_NUMERIC:
    case SQL_DECIMAL:
      return Kind::Double;
    case SQL_TYPE_TIMESTAMP:
    case SQL_TYPE_DATE:
    case SQL_TIMESTAMP:
    case SQL_DATE:
      return Kind::Date;
    case SQL_CHAR:
    case SQL_VARCHAR:
    case SQL_LONGVARCHAR:
    case SQL_WCHAR:
    case SQL_WVARCHAR:
    case SQL_WLONGVARCHAR:
      return Kind::Text;
    default:
      return Kind::Other;
  }
}

/// What psqlODBC hands for PostgreSQL's timestamp infinity: the last second
/// of the calendar, which is also a date of its own.
constexpr CalendarTime kInfinityStandIn{9999, 12, 31, 23, 59, 59, 0};

/// Bytes per row of a bound number or date: the text of any of them and more.
constexpr SQLLEN kValueTextWidth = 64;
/// Bytes per row of a bound text at most; a longer one is read again whole.
constexpr SQLLEN kLongestBoundText = 1024;
/// Rows per parameter array: large enough that the calls no longer count.
constexpr std::size_t kRowsPerParameterArray = 1000;

/// One bound parameter and the buffers its value is sent from.
struct BoundParameter {
  SQLINTEGER integer = 0;
  double real = 0.0;
  std::string text;
  SQLLEN indicator = 0;
};

/// The buffers of one parameter column for `rows` rows.
struct ParameterArray {
  SQLSMALLINT cType = SQL_C_DOUBLE;
  SQLSMALLINT sqlType = SQL_DOUBLE;
  SQLULEN size = 0;
  SQLLEN width = 0;   // bytes per row of a text
  std::string texts;  // rows x UTF-8 text and terminator, for a text column
  const void* numbers = nullptr;
  std::vector<SQLLEN> indicators;

  /// Where the values are; the texts move with the array, so asked for last.
  void* values() { return cType == SQL_C_CHAR ? texts.data() : const_cast<void*>(numbers); }
};

ParameterArray parameterArray(const ParameterColumn& column, std::size_t first, std::size_t rows) {
  ParameterArray array;
  if (const auto* text = std::get_if<std::string_view>(&column)) {
    array.cType = SQL_C_CHAR;
    array.sqlType = SQL_VARCHAR;
    array.size = std::max<SQLULEN>(text->size(), 1);
    array.width = static_cast<SQLLEN>(text->size() + 1);
    for (std::size_t r = 0; r < rows; ++r) {
      array.texts += *text;
      array.texts += '\0';
    }
    array.indicators.assign(rows, static_cast<SQLLEN>(text->size()));
  } else if (const auto* texts = std::get_if<std::span<const std::string>>(&column)) {
    // One array of rows x (the longest text and its terminator).
    const std::span<const std::string> part = texts->subspan(first, rows);
    std::size_t longest = 0;
    for (const std::string& text : part) longest = std::max(longest, text.size());
    array.cType = SQL_C_CHAR;
    array.sqlType = SQL_VARCHAR;
    array.size = std::max<SQLULEN>(longest, 1);
    array.width = static_cast<SQLLEN>(longest + 1);
    array.texts.assign(rows * static_cast<std::size_t>(array.width), '\0');
    for (std::size_t r = 0; r < rows; ++r) {
      array.texts.replace(r * static_cast<std::size_t>(array.width), part[r].size(), part[r]);
      array.indicators.push_back(static_cast<SQLLEN>(part[r].size()));
    }
  } else if (const auto* reals = std::get_if<std::span<const double>>(&column)) {
    array.numbers = reals->data() + first;
    array.indicators.assign(rows, 0);
  } else {
    array.cType = SQL_C_SLONG;
    array.sqlType = SQL_INTEGER;
    array.numbers = std::get<std::span<const std::int32_t>>(column).data() + first;
    array.indicators.assign(rows, 0);
  }
  return array;
}

}  // namespace

struct Statement::State {
  explicit State(Connection& c) : connection(c) {}

  Connection& connection;
  odbc::StatementHandle statement;
  std::uint64_t session = 0;

  std::u16string preparedText;  // prepared on the statement when `prepared`
  bool prepared = false;
  std::vector<BoundParameter> parameters;

  bool cursorOpen = false;
  std::vector<Kind> kinds;       // of the current result's columns
  std::vector<SQLLEN> sqlTypes;  // of the current result's columns
  bool onRow = false;            // a row of the current result is current

  /// Row by row: the current row's values as the driver hands them, as text;
  /// nothing for NULL. Kept from row to row, so reading allocates only for a
  /// longer value.
  std::vector<std::optional<std::string>> rowTexts;

  /// In blocks: each column bound to an array of texts, or of C values where
  /// the driver converts them exactly (see typedCType).
  struct BoundColumn {
    SQLSMALLINT cType = SQL_C_CHAR;
    SQLLEN width = 0;          // bytes per row
    std::vector<char> values;  // rows x width
    std::vector<SQLLEN> indicators;
  };
  std::size_t blockSize = 1;  // rows per driver call; 1: row by row
  std::vector<BoundColumn> blockColumns;
  std::vector<SQLUSMALLINT> rowStatus;
  SQLULEN rowsFetched = 0;
  std::size_t blockRow = 0;  // the current row within the block
  /// A bound text longer than its array's width, read again whole.
  mutable std::map<std::size_t, std::string> longTexts;

  /// Rows whose values the driver cut at a NUL (see noteValuesCutAtNul): the
  /// values as they read, and per column whether it was cut. `pendingCuts`
  /// were found for the next query, `cuts` apply to the current result.
  using RowValues = std::vector<std::optional<std::string>>;
  using CutRows = std::multimap<RowValues, std::vector<bool>>;
  CutRows pendingCuts;
  CutRows cuts;
  std::vector<bool> cutColumns;  // of the current row; empty when none

  ~State() {
    // SQLDisconnect has freed the statements of a closed session already.
    if (connection.state().session != session) {
      statement.forget();
    } else {
      connection.state().delist(statement.get());
    }
  }

  /// The statement handle, E_POINTER when the connection it was made on has
  /// been closed since.
  SQLHSTMT handle() const {
    if (connection.state().session != session) throw DatabaseError(E_POINTER);
    return statement.get();
  }
  void check(SQLRETURN rc, bool noDataAllowed = false) const { statement.check(rc, noDataAllowed); }

  void close();
  void prepare(std::string_view sql);
  void bind(const std::vector<Parameter>& values);
  void run(std::string_view sql, const std::vector<Parameter>& values);
  void describeColumns();
  void bindBlocks(std::size_t rows);
  void unbindBlocks();
  bool fetch();
  SQLSMALLINT typedCType(std::size_t column) const;
  bool readRowText(SQLUSMALLINT column, std::string& text) const;
  void readRow();
  void findCutColumns();
  bool isInfinite(std::size_t column) const;

  /// The text of a column of the current row as the driver hands it; nothing
  /// for NULL or a row the driver could not read (`readable` false then).
  std::optional<std::string_view> valueText(std::size_t column, bool& readable) const;
  /// Raises std::logic_error for a read without a current row or beyond the columns.
  void checkRead(std::size_t column) const;
  /// Whether `column` is bound to C values rather than texts.
  bool isTyped(std::size_t column) const { return blockSize > 1 && blockColumns[column].cType != SQL_C_CHAR; }
  /// Why the current row's typed `column` holds no value of `kind`; nothing when it holds one.
  std::optional<NoValue> typedAbsence(std::size_t column, Kind kind) const;
  /// The current row's value of the typed `column`, bound as T.
  template <class T>
  T typedValue(std::size_t column) const {
    T value;
    const BoundColumn& bound = blockColumns[column];
    std::memcpy(&value, bound.values.data() + blockRow * static_cast<std::size_t>(bound.width), sizeof value);
    return value;
  }
  /// The value's text when it can be one of `kind`, or why not.
  std::variant<std::string_view, NoValue> textOfKind(std::size_t column, Kind kind) const;
};

void Statement::State::close() {
  onRow = false;
  if (cursorOpen) {
    cursorOpen = false;
    check(SQLFreeStmt(handle(), SQL_CLOSE));
  }
  if (blockSize > 1) unbindBlocks();
}

void Statement::State::prepare(std::string_view sql) {
  std::u16string wanted = utf8ToUtf16(sql);
  if (prepared && wanted == preparedText) return;
  prepared = false;
  preparedText = std::move(wanted);
  check(SQLPrepareW(handle(), odbc::wide(preparedText), static_cast<SQLINTEGER>(preparedText.size())));
  prepared = true;
}

void Statement::State::bind(const std::vector<Parameter>& values) {
  check(SQLFreeStmt(handle(), SQL_RESET_PARAMS));
  parameters.assign(values.size(), BoundParameter{});
  std::size_t i = 0;
  for (const Parameter& value : values) {
    BoundParameter& p = parameters[i];
    const auto number = static_cast<SQLUSMALLINT>(++i);
    if (const auto* text = std::get_if<std::string_view>(&value)) {
      // Texts go as UTF-8 bytes: every driver here takes SQL_C_CHAR, while the
      // PostgreSQL ANSI driver refuses wide-character parameters. What is not
      // UTF-8 goes as U+FFFD, as a statement's text does (prepared as UTF-16).
      p.text = utf16ToUtf8(utf8ToUtf16(*text));
      p.indicator = static_cast<SQLLEN>(p.text.size());
      check(SQLBindParameter(handle(), number, SQL_PARAM_INPUT, SQL_C_CHAR, SQL_VARCHAR,
                             std::max<SQLULEN>(p.text.size(), 1), 0, p.text.data(), p.indicator,
                             &p.indicator));
    } else if (const auto* integer = std::get_if<std::int32_t>(&value)) {
      p.integer = *integer;
      check(SQLBindParameter(handle(), number, SQL_PARAM_INPUT, SQL_C_SLONG, SQL_INTEGER, 0, 0, &p.integer, 0,
                             &p.indicator));
    } else {
      p.real = std::get<double>(value);
      check(SQLBindParameter(handle(), number, SQL_PARAM_INPUT, SQL_C_DOUBLE, SQL_DOUBLE, 0, 0, &p.real, 0,
                             &p.indicator));
    }
  }
}

void Statement::State::run(std::string_view sql, const std::vector<Parameter>& values) {
  close();
  cuts = std::exchange(pendingCuts, {});
  prepare(sql);
  bind(values);
  const SQLRETURN rc = SQLExecute(handle());
  check(rc, true);  // SQL_NO_DATA: a searched update or delete that hit no row
  cursorOpen = rc != SQL_NO_DATA;
}

void Statement::State::describeColumns() {
  SQLSMALLINT count = 0;
  check(SQLNumResultCols(handle(), &count));
  kinds.resize(static_cast<std::size_t>(count));
  sqlTypes.resize(static_cast<std::size_t>(count));
  for (SQLSMALLINT c = 0; c < count; ++c) {
    SQLLEN type = 0;
    check(SQLColAttributeW(handle(), static_cast<SQLUSMALLINT>(c + 1), SQL_DESC_CONCISE_TYPE, nullptr, 0,
                           nullptr, &type));
    kinds[static_cast<std::size_t>(c)] = kindOf(type);
    sqlTypes[static_cast<std::size_t>(c)] = type;
  }
  rowTexts.resize(kinds.size());
}

void Statement::State::bindBlocks(std::size_t rows) {
  // Ask for the rows per block; a driver may take fewer (01S02), so read back
  // what it took.
  SQLSetStmtAttr(handle(), SQL_ATTR_ROW_BIND_TYPE, reinterpret_cast<SQLPOINTER>(SQL_BIND_BY_COLUMN), 0);
  SQLSetStmtAttr(handle(), SQL_ATTR_ROW_ARRAY_SIZE, reinterpret_cast<SQLPOINTER>(rows), 0);
  SQLULEN taken = 1;
  if (!odbc::succeeded(SQLGetStmtAttr(handle(), SQL_ATTR_ROW_ARRAY_SIZE, &taken, 0, nullptr)) || taken == 0)
    taken = 1;
  blockSize = taken;
  rowStatus.assign(taken, SQL_ROW_SUCCESS);
  check(SQLSetStmtAttr(handle(), SQL_ATTR_ROW_STATUS_PTR, rowStatus.data(), 0));
  check(SQLSetStmtAttr(handle(), SQL_ATTR_ROWS_FETCHED_PTR, &rowsFetched, 0));
  blockColumns.assign(kinds.size(), BoundColumn{});
  for (std::size_t c = 0; c < kinds.size(); ++c) {
    BoundColumn& column = blockColumns[c];
    column.cType = typedCType(c);
    column.width = column.cType == SQL_C_TYPE_TIMESTAMP ? static_cast<SQLLEN>(sizeof(SQL_TIMESTAMP_STRUCT))
                   : column.cType == SQL_C_SLONG        ? static_cast<SQLLEN>(sizeof(SQLINTEGER))
                                                        : kValueTextWidth;
    if (kinds[c] == Kind::Text) {
      SQLLEN octets = 0;
      check(SQLColAttributeW(handle(), static_cast<SQLUSMALLINT>(c + 1), SQL_DESC_OCTET_LENGTH, nullptr, 0,
                             nullptr, &octets));
      column.width = std::clamp<SQLLEN>(octets + 1, kValueTextWidth, kLongestBoundText);
    }
    column.values.assign(taken * static_cast<std::size_t>(column.width), 0);
    column.indicators.assign(taken, 0);
    check(SQLBindCol(handle(), static_cast<SQLUSMALLINT>(c + 1), column.cType, column.values.data(),
                     column.width, column.indicators.data()));
  }
  rowsFetched = 0;
  blockRow = 0;
}

void Statement::State::unbindBlocks() {
  blockSize = 1;
  blockColumns.clear();
  // The statement reads row by row again.
  check(SQLFreeStmt(handle(), SQL_UNBIND));
  check(SQLSetStmtAttr(handle(), SQL_ATTR_ROW_ARRAY_SIZE, reinterpret_cast<SQLPOINTER>(1), 0));
  check(SQLSetStmtAttr(handle(), SQL_ATTR_ROW_STATUS_PTR, nullptr, 0));
  check(SQLSetStmtAttr(handle(), SQL_ATTR_ROWS_FETCHED_PTR, nullptr, 0));
}

bool Statement::State::fetch() {
  longTexts.clear();
  if (blockSize > 1 && ++blockRow < rowsFetched) return true;
  blockRow = 0;
  rowsFetched = 0;
  const SQLRETURN rc = SQLFetch(handle());
  check(rc, true);
  if (rc == SQL_NO_DATA || (blockSize > 1 && rowsFetched == 0)) return false;
  if (blockSize == 1) readRow();
  return true;
}

SQLSMALLINT Statement::State::typedCType(std::size_t column) const {
  if (!connection.state().convertsExactly || blockSize == 1) return SQL_C_CHAR;
  if (kinds[column] == Kind::Date) return SQL_C_TYPE_TIMESTAMP;
  const SQLLEN type = sqlTypes[column];
  if (type != SQL_INTEGER && type != SQL_SMALLINT && type != SQL_TINYINT) return SQL_C_CHAR;
  // An unsigned column's values beyond 2^31 would wrap.
  SQLLEN isUnsigned = SQL_TRUE;
  if (!odbc::succeeded(SQLColAttributeW(handle(), static_cast<SQLUSMALLINT>(column + 1), SQL_DESC_UNSIGNED,
                                        nullptr, 0, nullptr, &isUnsigned)))
    return SQL_C_CHAR;
  return isUnsigned == SQL_FALSE ? SQL_C_SLONG : SQL_C_CHAR;
}

bool Statement::State::readRowText(SQLUSMALLINT column, std::string& text) const {
  // Texts come as UTF-8 (SQL_C_CHAR): every driver here gives it, while the
  // PostgreSQL ANSI driver has no wide characters to give. The lengths the
  // driver reports keep an embedded NUL in the text.
  text.clear();
  std::array<char, 256> chunk{};
  for (;;) {
    SQLLEN indicator = 0;
    const SQLRETURN rc =
        SQLGetData(handle(), column, SQL_C_CHAR, chunk.data(), static_cast<SQLLEN>(chunk.size()), &indicator);
    check(rc, true);
    if (rc == SQL_NO_DATA) return true;  // all of it was read before
    if (indicator == SQL_NULL_DATA) return false;
    const std::size_t room = chunk.size() - 1;  // one byte for the terminator
    const bool whole = indicator != SQL_NO_TOTAL && static_cast<std::size_t>(indicator) <= room;
    text.append(chunk.data(), whole ? static_cast<std::size_t>(indicator) : room);
    if (whole) return true;
  }
}

void Statement::State::readRow() {
  for (std::size_t c = 0; c < rowTexts.size(); ++c) {
    std::optional<std::string>& text = rowTexts[c];
    if (!text) text.emplace();
    if (!readRowText(static_cast<SQLUSMALLINT>(c + 1), *text)) text.reset();
  }
}

void Statement::State::findCutColumns() {
  cutColumns.clear();
  if (cuts.empty()) return;
  RowValues values(kinds.size());
  for (std::size_t c = 0; c < values.size(); ++c) {
    bool readable = true;
    if (const std::optional<std::string_view> text = valueText(c, readable)) values[c].emplace(*text);
  }
  const auto found = cuts.find(values);
  if (found == cuts.end()) return;
  cutColumns = std::move(found->second);
  cuts.erase(found);
}

std::optional<std::string_view> Statement::State::valueText(std::size_t column, bool& readable) const {
  readable = true;
  if (blockSize == 1) {
    const std::optional<std::string>& text = rowTexts[column];
    return text ? std::optional<std::string_view>(*text) : std::nullopt;
  }
  const SQLUSMALLINT status = rowStatus[blockRow];
  if (status != SQL_ROW_SUCCESS && status != SQL_ROW_SUCCESS_WITH_INFO) {
    readable = false;
    return std::nullopt;
  }
  const BoundColumn& bound = blockColumns[column];
  const SQLLEN length = bound.indicators[blockRow];
  if (length == SQL_NULL_DATA) return std::nullopt;
  if (length >= 0 && length < bound.width)
    return std::string_view(bound.values.data() + blockRow * static_cast<std::size_t>(bound.width),
                            static_cast<std::size_t>(length));
  // Longer than the array's width: positioned on the row, the driver hands it whole.
  auto [at, added] = longTexts.try_emplace(column);
  if (added) {
    check(SQLSetPos(handle(), static_cast<SQLSETPOSIROW>(blockRow + 1), SQL_POSITION, SQL_LOCK_NO_CHANGE));
    if (!readRowText(static_cast<SQLUSMALLINT>(column + 1), at->second)) return std::nullopt;
  }
  return at->second;
}

bool Statement::State::isInfinite(std::size_t column) const {
  // psqlODBC converts PostgreSQL's text to a double with strtod, which reads
  // "infinity" as infinite and a date as its year; positioning on the row
  // lets the column be read once more.
  check(SQLSetPos(handle(), static_cast<SQLSETPOSIROW>(blockSize > 1 ? blockRow + 1 : 1), SQL_POSITION,
                  SQL_LOCK_NO_CHANGE));
  double number = 0.0;
  SQLLEN indicator = 0;
  check(SQLGetData(handle(), static_cast<SQLUSMALLINT>(column + 1), SQL_C_DOUBLE, &number, sizeof number,
                   &indicator));
  return indicator != SQL_NULL_DATA && std::isinf(number);
}

void Statement::State::checkRead(std::size_t column) const {
  if (!onRow) throw std::logic_error("a value read without a current row");
  if (column >= kinds.size()) throw std::logic_error("a value read beyond the columns of the result");
}

std::optional<NoValue> Statement::State::typedAbsence(std::size_t column, Kind kind) const {
  const SQLUSMALLINT status = rowStatus[blockRow];
  if (status != SQL_ROW_SUCCESS && status != SQL_ROW_SUCCESS_WITH_INFO) return NoValue::Unreadable;
  if (blockColumns[column].indicators[blockRow] == SQL_NULL_DATA) return NoValue::Null;
  if (kinds[column] != kind) return NoValue::OtherKind;
  return std::nullopt;
}

std::variant<std::string_view, NoValue> Statement::State::textOfKind(std::size_t column, Kind kind) const {
  checkRead(column);
  if (isTyped(column)) {
    // Asked for as another kind than its own: integer() and date() read it.
    if (const std::optional<NoValue> why = typedAbsence(column, kind)) return *why;
    throw std::logic_error("a value bound as its own type read as text");
  }
  bool readable = true;
  const std::optional<std::string_view> text = valueText(column, readable);
  if (!readable) return NoValue::Unreadable;
  if (!text) return NoValue::Null;
  if (kinds[column] != kind) return NoValue::OtherKind;
  // A value with a NUL inside is not the text, number or date it claims to be.
  if ((!cutColumns.empty() && cutColumns[column]) || text->find('\0') != std::string_view::npos)
    return NoValue::Unreadable;
  return *text;
}

Statement::Statement(Connection& connection) : state_(std::make_unique<State>(connection)) {
  if (!connection.isOpen()) throw DatabaseError(E_POINTER);
  Connection::State& owner = connection.state();
  state_->statement = odbc::StatementHandle(owner.handle.get());
  state_->session = owner.session;
  owner.enlist(state_->statement.get());
}

Statement::~Statement() = default;

void Statement::execute(std::string_view sql, const std::vector<Parameter>& parameters) {
  State& s = *state_;
  s.run(sql, parameters);
  s.close();  // rows of a statement run by execute are not read
}

void Statement::query(std::string_view sql, const std::vector<Parameter>& parameters,
                      std::size_t blockRows) {
  State& s = *state_;
  s.run(sql, parameters);
  if (!s.cursorOpen) return;
  s.describeColumns();
  if (blockRows > 1) s.bindBlocks(blockRows);
}

bool Statement::next() {
  State& s = *state_;
  s.onRow = false;
  if (!s.cursorOpen) return false;
  if (!s.fetch()) {
    s.close();
    return false;
  }
  s.onRow = true;
  s.findCutColumns();
  return true;
}

Read<std::int32_t> Statement::integer(std::size_t column) const {
  const State& s = *state_;
  s.checkRead(column);
  if (s.isTyped(column)) {
    if (const std::optional<NoValue> why = s.typedAbsence(column, Kind::Integer)) return *why;
    return s.typedValue<SQLINTEGER>(column);
  }
  const auto text = s.textOfKind(column, Kind::Integer);
  if (const auto* why = std::get_if<NoValue>(&text)) return *why;
  if (const std::optional<std::int32_t> value = parseInt32Text(std::get<std::string_view>(text)))
    return *value;
  return NoValue::Unreadable;
}

Read<double> Statement::real(std::size_t column) const {
  const auto text = state_->textOfKind(column, Kind::Double);
  if (const auto* why = std::get_if<NoValue>(&text)) return *why;
  if (const std::optional<double> value = parseNumberText(std::get<std::string_view>(text))) return *value;
  return NoValue::Unreadable;
}

Read<OleDate> Statement::date(std::size_t column) const {
  const State& s = *state_;
  s.checkRead(column);
  std::optional<CalendarTime> time;
  if (s.isTyped(column)) {
    if (const std::optional<NoValue> why = s.typedAbsence(column, Kind::Date)) return *why;
    const auto value = s.typedValue<SQL_TIMESTAMP_STRUCT>(column);
    time = CalendarTime{value.year, value.month, value.day, value.hour, value.minute, value.second, value.fraction};
    if (!isValidCalendarTime(*time)) return NoValue::Unreadable;
  } else {
    const auto text = s.textOfKind(column, Kind::Date);
    if (const auto* why = std::get_if<NoValue>(&text)) return *why;
    time = parseCalendarTime(std::get<std::string_view>(text));
    if (!time || (*time == kInfinityStandIn && s.connection.hasInfiniteDates() && s.isInfinite(column)))
      return NoValue::Unreadable;
  }
  return roundToDecimals(roundToSecond(oleDateFromCalendar(*time)), 10);
}

Read<std::string_view> Statement::text(std::size_t column) const {
  const auto text = state_->textOfKind(column, Kind::Text);
  if (const auto* why = std::get_if<NoValue>(&text)) return *why;
  return std::get<std::string_view>(text);
}

void Statement::executeRows(std::string_view sql, std::size_t rows,
                            const std::vector<ParameterColumn>& columns) {
  State& s = *state_;
  s.close();
  s.prepare(sql);
  s.check(SQLFreeStmt(s.handle(), SQL_RESET_PARAMS));
  SQLSetStmtAttr(s.handle(), SQL_ATTR_PARAM_BIND_TYPE, reinterpret_cast<SQLPOINTER>(SQL_PARAM_BIND_BY_COLUMN),
                 0);
  SQLSetStmtAttr(s.handle(), SQL_ATTR_PARAMSET_SIZE,
                 reinterpret_cast<SQLPOINTER>(std::min(rows, kRowsPerParameterArray)), 0);
  SQLULEN perCall = 1;
  if (!odbc::succeeded(SQLGetStmtAttr(s.handle(), SQL_ATTR_PARAMSET_SIZE, &perCall, 0, nullptr)) ||
      perCall == 0)
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
    for (const ParameterColumn& column : columns) arrays.push_back(parameterArray(column, first, count));
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

bool Statement::noteValuesCutAtNul(std::string_view probe, const std::vector<Parameter>& parameters) {
  State& s = *state_;
  s.pendingCuts.clear();
  if (!s.connection.cutsTextsAtNul()) return false;
  s.run(probe, parameters);
  if (!s.cursorOpen) return false;
  s.describeColumns();
  const std::size_t values = s.kinds.size() / 2;
  std::string flag;
  while (s.fetch()) {
    State::RowValues row(values);
    std::vector<bool> cut(values);
    for (std::size_t c = 0; c < values; ++c) row[c] = s.rowTexts[c];
    for (std::size_t c = 0; c < values; ++c) {
      const std::optional<std::string>& position = s.rowTexts[values + c];
      cut[c] = position && parseNumberText(*position).value_or(0.0) != 0.0;
    }
    s.pendingCuts.emplace(std::move(row), std::move(cut));
  }
  s.close();
  return !s.pendingCuts.empty();
}

}  // namespace mrp
