// Placeholders until the real implementations land; removed piece by piece.
#include "db/connection.h"
#include "db/db_query.h"
#include "db/transaction.h"
#include "db/value_conversions.h"
#include "driver/com_error.h"

namespace mrp {
struct DbQuery::State {};
DbQuery::DbQuery() : state_(std::make_unique<State>()) {}
DbQuery::DbQuery(Detached) {}
DbQuery::~DbQuery() = default;
void DbQuery::prepare(std::int32_t) {}
void DbQuery::bindText(std::int32_t, const char*, std::int32_t) {}
void DbQuery::bindDouble(std::int32_t, double) {}
void DbQuery::bindInteger(std::int32_t, std::int32_t) {}
void DbQuery::execute(const char*) {}
bool DbQuery::open(const char*) { return false; }
bool DbQuery::getText(std::int32_t, char*, std::int32_t) { return false; }
bool DbQuery::getInteger(std::int32_t, std::int32_t&) { return false; }
bool DbQuery::getDouble(std::int32_t, double&) { return false; }
bool DbQuery::getDate(std::int32_t, VARIANT&) { return false; }
VARTYPE DbQuery::columnKind(std::int32_t) const { return VT_EMPTY; }
double asDouble(const VARIANT& value) { return value.dblVal; }
std::int32_t asInt32(const VARIANT& value) { return value.lVal; }
void assignDouble(VARIANT& value, double x) {
  if (value.vt != VT_R8 && value.vt != VT_DATE) value = VARIANT::real(x);
  value.dblVal = x;
}
void assignInt32(VARIANT& value, std::int32_t n) { value = VARIANT::int32(n); }
double roundToSecond(double x) { return x; }
double powerOf(double x, std::int32_t) { return x; }
double roundToDecimals(double x, std::int32_t) { return x; }
void runSerializableTransaction(const std::function<void()>& work) { work(); }
}  // namespace mrp
