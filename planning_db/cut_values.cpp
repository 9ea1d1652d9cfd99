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

std::string cutValuesProbe(const InputColumns& input) {
  std::string columns;
  std::string positions;
  for (const std::string_view column : input.columns) {
    columns += std::string(column) + ",";
    positions += "instr(" + std::string(column) + ",char(0)),";
  }
  positions.pop_back();
  return "select " + columns + positions + " from " + std::string(input.table) + " where Bedarf=? and (" +
         anyNul(input) + ")";
}

std::string cutValuesCount() {
  // The key is bound once: the SQLite driver counts every "?" as a parameter
  // of its own.
  std::string rows;
  for (const InputColumns* input :
       {&kFactorColumns, &kHeaderColumns, &kParameterColumns, &kDueQuantityColumns}) {
    if (!rows.empty()) rows += " union all ";
    rows += "select 1 from " + std::string(input->table) + " where Bedarf=(select b from demand) and (" +
            anyNul(*input) + ")";
  }
  return "with demand(b) as (select ?) select count(*) from (" + rows + ")";
}

}  // namespace mrp
