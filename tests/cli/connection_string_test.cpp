#include "cli/connection_string.h"

#include <gtest/gtest.h>

#include <string>

namespace mrp {
namespace {

TEST(ConnectionStringTest, CarriesAtMostTheFirst119Bytes) {
  struct Case {
    std::string name;
    std::string expected;
  };
  const Case cases[] = {
      {"", "DSN="},
      {"lager", "DSN=lager"},
      {std::string(119, 'a'), "DSN=" + std::string(119, 'a')},
      {std::string(120, 'a'), "DSN=" + std::string(119, 'a')},
      {std::string(119, 'a') + ";Database=x.db", "DSN=" + std::string(119, 'a')},
  };
  for (const auto& c : cases) EXPECT_EQ(connectionStringFor(c.name), c.expected);
}

}  // namespace
}  // namespace mrp
