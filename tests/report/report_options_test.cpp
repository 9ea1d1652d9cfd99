#include "report/report_options.h"

#include <gtest/gtest.h>

namespace mrp::report {
namespace {

TEST(ReportOptions, DataSourceDemandAndPictureFromAnyOrder) {
  const struct {
    std::vector<std::string> arguments;
    std::string demandKey;
    std::optional<std::string> svgFile;
  } cases[] = {
      {{"Lager", "WW1958"}, "WW1958", std::nullopt},
      {{"--svg", "plan.svg", "Lager", "WW1958"}, "WW1958", "plan.svg"},
      {{"Lager", "--svg=plan.svg", "WW1958"}, "WW1958", "plan.svg"},
      {{"Lager", "--", "--svg"}, "--svg", std::nullopt},
      {{"Lager", "-"}, "-", std::nullopt},
  };
  for (const auto& c : cases) {
    const ReportOptions options = parseReportOptions(c.arguments);
    EXPECT_EQ(options.dataSource, "Lager");
    EXPECT_EQ(options.demandKey, c.demandKey);
    EXPECT_EQ(options.svgFile, c.svgFile);
  }
  EXPECT_TRUE(parseReportOptions({"--help"}).help);
  EXPECT_TRUE(parseReportOptions({"Lager", "-h"}).help);
  EXPECT_TRUE(parseReportOptions({"--version"}).version);
  EXPECT_FALSE(parseReportOptions({"--version"}).help);
  EXPECT_FALSE(parseReportOptions({"Lager", "WW1958"}).version);
}

TEST(ReportOptions, LinesThatCannotBeRunAreUsageErrors) {
  const std::vector<std::vector<std::string>> lines = {
      {},
      {"Lager"},
      {"Lager", "WW1958", "mehr"},
      {"Lager", "WW1958", "--svg"},
      {"Lager", "WW1958", "--svg="},
      {"Lager", "WW1958", "--color"},
      {"-x", "Lager", "WW1958"},
  };
  for (const auto& line : lines)
    EXPECT_THROW(parseReportOptions(line), UsageError) << testing::PrintToString(line);
}

}  // namespace
}  // namespace mrp::report
