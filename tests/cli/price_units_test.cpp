// stratlyn-cli price --units: theta per day, vega and rho per percentage point.

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "support/cli_run.h"

namespace {

using stratlyn::testing::CliResult;

CliResult RunPrice(const std::vector<std::string>& args) {
  std::vector<std::string> words = {"price"};
  words.insert(words.end(), args.begin(), args.end());
  return stratlyn::testing::RunCliCommand("LC_ALL=de_DE.UTF-8 ", words, "cli_units");
}

double JsonNumber(const std::string& json, const std::string& key) {
  const size_t at = json.find("\"" + key + "\": ");
  if (at == std::string::npos) return std::nan("");
  return std::strtod(json.c_str() + at + key.size() + 4, nullptr);
}

const std::vector<std::string> kCall = {"--spot", "50",  "--strike", "50",   "--maturity", "0.25",
                                        "--rate", "0.1", "--vol",    "0.25", "--json"};

TEST(CliPriceUnitsTest, PerDayScalesThetaVegaAndRhoAndSaysSo) {
  const CliResult plain = RunPrice(kCall);
  std::vector<std::string> args = kCall;
  args.insert(args.end(), {"--units", "per-day"});
  const CliResult day = RunPrice(args);
  ASSERT_EQ(plain.exit_code, 0) << plain.err;
  ASSERT_EQ(day.exit_code, 0) << day.err;
  EXPECT_EQ(plain.out.find("units"), std::string::npos);  // the default output is unchanged
  EXPECT_NEAR(JsonNumber(day.out, "theta") * 365, JsonNumber(plain.out, "theta"), 1e-4);
  EXPECT_NEAR(JsonNumber(day.out, "vega") * 100, JsonNumber(plain.out, "vega"), 1e-4);
  EXPECT_NEAR(JsonNumber(day.out, "rho") * 100, JsonNumber(plain.out, "rho"), 1e-4);
  EXPECT_EQ(JsonNumber(day.out, "delta"), JsonNumber(plain.out, "delta"));
  EXPECT_NE(day.out.find("\"theta\": \"per day\""), std::string::npos) << day.out;

  args = {"--spot", "50", "--strike", "50", "--maturity", "0.25", "--rate", "0.1", "--vol", "0.25"};
  const CliResult table = RunPrice(args);
  EXPECT_NE(table.out.find("per year"), std::string::npos) << table.out;
  args.insert(args.end(), {"--units", "daily"});
  const CliResult bad = RunPrice(args);
  EXPECT_EQ(bad.exit_code, 2);
  EXPECT_NE(bad.err.find("--units"), std::string::npos) << bad.err;
}

}  // namespace
