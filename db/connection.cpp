#include "db/connection.h"

#include <locale.h>

#include <array>
#include <mutex>
#include <string>

#include "db/database_error.h"
#include "db/odbc_handle.h"
#include "platform/text_encoding.h"

namespace mrp {
namespace {

/// Makes UTF-8 the code set of this thread while it lives.
///
/// The SQLite3 driver has no wide functions; unixODBC maps our UTF-16 calls
/// onto its narrow ones with iconv between UCS-2 and the code set of the
/// calling thread's locale (nl_langinfo(CODESET)), fixed per connection when
/// the connection handle is allocated and connected. Without a locale (the
/// program never calls setlocale, and batch environments often set none) that
/// is ASCII, and every umlaut in statement texts (LosGröße), parameters and
/// column values is lost. SQLite keeps its texts as UTF-8, so the narrow side
/// must be UTF-8: the connection is allocated and opened under a thread-local
/// C.UTF-8 locale, leaving the process locale alone. Wide drivers (psqlODBC
/// Unicode) get the UTF-16 texts unchanged and do not care.
class Utf8CodeSetScope {
 public:
  Utf8CodeSetScope() noexcept : utf8_(newlocale(LC_CTYPE_MASK, "C.UTF-8", locale_t{})) {
    if (utf8_ != locale_t{}) previous_ = uselocale(utf8_);
  }
  ~Utf8CodeSetScope() {
    if (utf8_ == locale_t{}) return;
    uselocale(previous_);
    freelocale(utf8_);
  }
  Utf8CodeSetScope(const Utf8CodeSetScope&) = delete;
  Utf8CodeSetScope& operator=(const Utf8CodeSetScope&) = delete;

 private:
  locale_t utf8_;
  locale_t previous_ = locale_t{};
};

odbc::ConnectionHandle allocateConnection(const OdbcEnvironment& environment) {
  SQLHDBC handle = SQL_NULL_HDBC;
  if (!odbc::succeeded(SQLAllocHandle(SQL_HANDLE_DBC, environment.state().handle, &handle)))
    throw DatabaseError(E_POINTER);
  return odbc::ConnectionHandle::adopt(handle);
}

/// The name the driver gives its database system ("SQLite", "PostgreSQL", ...).
std::string dbmsName(const odbc::ConnectionHandle& connection) {
  std::array<char, 64> name{};
  SQLSMALLINT length = 0;
  connection.check(SQLGetInfo(connection.get(), SQL_DBMS_NAME, name.data(),
                              static_cast<SQLSMALLINT>(name.size()), &length));
  return name.data();
}

}  // namespace

Connection::Connection(const OdbcEnvironment& environment, std::string_view connectionString)
    : state_(std::make_unique<State>()) {
  const Utf8CodeSetScope utf8;
  State& s = *state_;
  s.handle = allocateConnection(environment);
  std::u16string text = utf8ToUtf16(connectionString);
  SQLSMALLINT completedLength = 0;
  const std::lock_guard oneConnectAtATime(environment.state().connectLock);
  s.check(SQLDriverConnectW(s.handle.get(), nullptr, odbc::wide(text), static_cast<SQLSMALLINT>(text.size()),
                            nullptr, 0, &completedLength, SQL_DRIVER_NOPROMPT));
  s.open = true;
  const std::string dbms = dbmsName(s.handle);
  s.locksRows = dbms != "SQLite";
  s.dialect = dbms == "SQLite"       ? Dialect::SQLite
              : dbms == "PostgreSQL" ? Dialect::PostgreSQL
              : dbms == "MariaDB" || dbms == "MySQL" ? Dialect::MariaDB
                                     : Dialect::Other;
  s.cutsTextsAtNul = dbms == "SQLite";
  s.hasInfiniteDates = dbms == "PostgreSQL";
  s.convertsExactly = s.dialect == Dialect::MariaDB;
}

Connection::~Connection() {
  State& s = *state_;
  if (!s.open) return;
  // A transaction left open (a failure inside one) is undone; SQLite refuses
  // to disconnect while one is open.
  SQLULEN autocommit = SQL_AUTOCOMMIT_ON;
  if (odbc::succeeded(SQLGetConnectAttr(s.handle.get(), SQL_ATTR_AUTOCOMMIT, &autocommit, 0, nullptr)) &&
      autocommit == SQL_AUTOCOMMIT_OFF)
    SQLEndTran(SQL_HANDLE_DBC, s.handle.get(), SQL_ROLLBACK);
  s.freeStatements();
  SQLDisconnect(s.handle.get());
}

void Connection::close() {
  State& s = *state_;
  if (!s.open) return;
  s.freeStatements();
  s.check(SQLDisconnect(s.handle.get()));
  s.open = false;
}

bool Connection::isOpen() const noexcept { return state_->open; }
bool Connection::locksRows() const noexcept { return state_->locksRows; }
Dialect Connection::dialect() const noexcept { return state_->dialect; }
bool Connection::cutsTextsAtNul() const noexcept { return state_->cutsTextsAtNul; }
bool Connection::hasInfiniteDates() const noexcept { return state_->hasInfiniteDates; }

bool Connection::dead() const noexcept {
  if (!state_->open) return true;
  SQLUINTEGER dead = SQL_CD_FALSE;
  return odbc::succeeded(
             SQLGetConnectAttr(state_->handle.get(), SQL_ATTR_CONNECTION_DEAD, &dead, 0, nullptr)) &&
         dead == SQL_CD_TRUE;
}

FailureKind failureKind(const DatabaseError& error, const Connection& connection) noexcept {
  const FailureKind kind = error.kind();
  if (kind == FailureKind::Statement && connection.dead()) return FailureKind::ConnectionLost;
  return kind;
}

}  // namespace mrp
