#include "db/connection.h"

#include <locale.h>

#include "db/odbc_connection.h"
#include "driver/com_error.h"
#include "platform/odbc_environment.h"
#include "platform/text_encoding.h"

namespace mrp {
namespace odbc {

Connection::Connection() {
  const SQLHENV environment = environmentHandle();
  if (environment == SQL_NULL_HENV) raiseComCode(E_POINTER);
  SQLHDBC handle = SQL_NULL_HDBC;
  if (!succeeded(SQLAllocHandle(SQL_HANDLE_DBC, environment, &handle))) raiseComCode(E_POINTER);
  handle_ = ConnectionHandle::adopt(handle);
}

Connection::~Connection() {
  if (!open_) return;
  // A transaction left open (a failure inside one) is undone; SQLite refuses
  // to disconnect while one is open.
  SQLULEN autocommit = SQL_AUTOCOMMIT_ON;
  if (succeeded(SQLGetConnectAttr(handle_.get(), SQL_ATTR_AUTOCOMMIT, &autocommit, 0, nullptr)) &&
      autocommit == SQL_AUTOCOMMIT_OFF)
    SQLEndTran(SQL_HANDLE_DBC, handle_.get(), SQL_ROLLBACK);
  freeStatements();
  SQLDisconnect(handle_.get());
}

void Connection::delist(SQLHSTMT statement) noexcept {
  std::erase(statements_, statement);
}

void Connection::freeStatements() noexcept {
  for (SQLHSTMT statement : statements_) SQLFreeHandle(SQL_HANDLE_STMT, statement);
  statements_.clear();
  ++session_;
}

void Connection::connect(std::u16string connectionString) {
  SQLSMALLINT completedLength = 0;
  handle_.check(SQLDriverConnectW(handle_.get(), nullptr, wide(connectionString),
                                  static_cast<SQLSMALLINT>(connectionString.size()), nullptr, 0,
                                  &completedLength, SQL_DRIVER_NOPROMPT));
  open_ = true;
}

void Connection::disconnect() {
  if (!open_) return;
  freeStatements();
  handle_.check(SQLDisconnect(handle_.get()));
  open_ = false;
}

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

std::shared_ptr<Connection>& slot() noexcept {
  // The environment is made first so that it is freed after the connection at exit.
  (void)environmentHandle();
  static std::shared_ptr<Connection> connection;
  return connection;
}

}  // namespace

std::shared_ptr<Connection> sharedConnectionObject() noexcept { return slot(); }

}  // namespace odbc

void openConnection(const char* connectionString) {
  auto& shared = odbc::slot();
  shared.reset();  // query objects on the old connection keep it alive
  odbc::Utf8CodeSetScope utf8;
  shared = std::make_shared<odbc::Connection>();
  shared->connect(utf8ToUtf16(connectionString ? connectionString : ""));
}

void closeConnection() {
  if (const auto& shared = odbc::slot()) shared->disconnect();
}

SQLHDBC sharedConnection() noexcept {
  const auto& shared = odbc::slot();
  return shared ? shared->handle() : SQL_NULL_HDBC;
}

bool connectionIsOpen() noexcept {
  const auto& shared = odbc::slot();
  return shared && shared->isOpen();
}

}  // namespace mrp
