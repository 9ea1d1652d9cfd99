#include "planning_db/demand_keys.h"

#include "db/statement.h"
#include "platform/text_encoding.h"

namespace mrp {

std::vector<std::string> allDemandKeys(Connection& connection) {
  Statement statement(connection);
  statement.noteValuesCutAtNul(
      "select Bedarf,instr(Bedarf,char(0)) from Bedarf where instr(Bedarf,char(0))>0");
  statement.query("select Bedarf from Bedarf order by Bedarf");
  std::vector<std::string> keys;
  while (statement.next()) {
    // A key that is not UTF-8 is kept as a run would bind it: its bad bytes replaced.
    if (const Read<std::string_view> key = statement.text(0)) keys.push_back(utf16ToUtf8(utf8ToUtf16(*key)));
  }
  return keys;
}

}  // namespace mrp
