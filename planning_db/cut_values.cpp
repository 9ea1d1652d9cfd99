#include "planning_db/cut_values.h"

namespace mrp {
namespace {

/// A NUL in one of the columns. Only a text or a blob can hold one, and SQLite
/// orders every number before every text: the comparison spares instr turning
/// each number into a text first.
std::string anyNul(const InputColumns& input) {
  std::string condition;
  for (const std::string_view column : input.columns) {
    const std::string name(column);
    if (!condition.empty()) condition += " or ";
    condition += "(" + name + ">='' and instr(" + name + ",char(0))>0)";
  }
  return condition;
}

}  // namespace

std::string keysCondition(std::size_t keys) {
  if (keys == 1) return "Bedarf=?";
  std::string places;
  for (std::size_t k = 0; k < keys; ++k) places += k == 0 ? "?" : ",?";
  return "Bedarf in (" + places + ")";
}

std::string cutValuesProbe(const InputColumns& input, std::size_t keys, bool withKey) {
  std::string columns = withKey ? "Bedarf," : "";
  std::string positions = withKey ? "0," : "";
  for (const std::string_view column : input.columns) {
    columns += std::string(column) + ",";
    positions += "instr(" + std::string(column) + ",char(0)),";
  }
  positions.pop_back();
  return "select " + columns + positions + " from " + std::string(input.table) + " where " +
         keysCondition(keys) + " and (" + anyNul(input) + ")";
}

std::string cutValuesCount(std::size_t keys) {
  // Each key is bound once: the SQLite driver counts every "?" as a parameter
  // of its own. One demand's key compares with "=": SQLite looks it up in the
  // index whatever its statistics say, while for "in" it scans the whole table
  // once they show a few large demands. For many demands' keys it weighs the
  // two, and scans when that is cheaper.
  const std::string condition = keys == 1 ? "Bedarf=(select b from demand)" : "Bedarf in (select b from demand)";
  std::string rows;
  for (const InputColumns* input :
       {&kFactorColumns, &kHeaderColumns, &kParameterColumns, &kDueQuantityColumns}) {
    if (!rows.empty()) rows += " union all ";
    rows += "select 1 from " + std::string(input->table) + " where " + condition + " and (" + anyNul(*input) + ")";
  }
  std::string values;
  for (std::size_t k = 0; k < keys; ++k) values += k == 0 ? "(?)" : ",(?)";
  const std::string demand = keys == 1 ? "select ?" : "values " + values;
  return "with demand(b) as (" + demand + ") select count(*) from (" + rows + ")";
}

}  // namespace mrp
