// stratlyn-cli strategy, run as a user runs it (under a comma-decimal locale).

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

#include "strategy/position.h"
#include "strategy/templates.h"
#include "support/cli_run.h"

namespace {

using stratlyn::testing::CliResult;

// Runs the tool under LC_ALL=de_DE.UTF-8: numbers must still be read and
// written with a dot.
CliResult RunStrategy(const std::vector<std::string>& args) {
  std::vector<std::string> words = {"strategy"};
  words.insert(words.end(), args.begin(), args.end());
  return stratlyn::testing::RunCliCommand("LC_ALL=de_DE.UTF-8 ", words, "cli_strategy");
}

double JsonNumber(const std::string& json, const std::string& key, size_t from = 0) {
  const size_t at = json.find("\"" + key + "\": ", from);
  if (at == std::string::npos) return std::nan("");
  return std::strtod(json.c_str() + at + key.size() + 4, nullptr);
}

const std::vector<std::string> kMarket = {"--spot", "50", "--rate", "0.1", "--vol", "0.25"};

std::vector<std::string> With(std::vector<std::string> extra) {
  std::vector<std::string> args = kMarket;
  args.insert(args.end(), extra.begin(), extra.end());
  return args;
}

TEST(CliStrategyTest, BullSpreadFiguresAreTheCoresWithDots) {
  const CliResult r = RunStrategy(
      With({"--leg", "+1 call 50 0.25", "--leg", "-1 call 55 0.25", "--at-date", "0.1", "--json"}));
  ASSERT_EQ(r.exit_code, 0) << r.err;
  stratlyn::PositionPricer p(
      stratlyn::TemplateLegs(stratlyn::StrategyTemplate::kBullCallSpread, 50, 0.25, 5),
      stratlyn::Market{50, 0.1, 0, 0.25});
  EXPECT_DOUBLE_EQ(JsonNumber(r.out, "net_premium"), p.NetPremium());
  const size_t expiry = r.out.find("\"at_expiry\": {");
  const size_t date = r.out.find("\"at_date\": {");
  ASSERT_NE(expiry, std::string::npos);
  ASSERT_NE(date, std::string::npos);
  const size_t be = r.out.find("\"break_evens\": [", expiry);
  EXPECT_NEAR(std::strtod(r.out.c_str() + be + 16, nullptr), 50 + p.NetPremium(), 1e-9);
  EXPECT_DOUBLE_EQ(JsonNumber(r.out, "probability_of_profit", date),
                   p.Summarise(0.1).probability_of_profit);
  EXPECT_DOUBLE_EQ(JsonNumber(r.out, "delta"), p.Greeks().delta);
  EXPECT_EQ(r.out.find(','), r.out.find(", "));  // no decimal commas

  // The same position from the template gives the same figures.
  const CliResult t = RunStrategy(With({"--template", "bull-call-spread", "--width", "5",
                                        "--maturity", "0.25", "--at-date", "0.1", "--json"}));
  ASSERT_EQ(t.exit_code, 0) << t.err;
  EXPECT_EQ(t.out, r.out);
}

TEST(CliStrategyTest, TableSaysUnlimitedAndTheUnitsOfTheGreeks) {
  const CliResult r = RunStrategy(With({"--leg", "-1 call 50 0.25 european 3"}));
  ASSERT_EQ(r.exit_code, 0) << r.err;
  EXPECT_NE(r.out.find("largest loss            unlimited"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("largest profit          3.000000"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("theta (per year)"), std::string::npos);
  EXPECT_NE(r.out.find("53.00"), std::string::npos);  // the break-even

  const CliResult d =
      RunStrategy(With({"--leg", "-1 call 50 0.25 european 3", "--units", "per-day", "--json"}));
  ASSERT_EQ(d.exit_code, 0) << d.err;
  const CliResult u = RunStrategy(With({"--leg", "-1 call 50 0.25 european 3", "--json"}));
  EXPECT_NEAR(JsonNumber(d.out, "theta") * 365, JsonNumber(u.out, "theta"), 1e-9);
  EXPECT_NEAR(JsonNumber(d.out, "vega") * 100, JsonNumber(u.out, "vega"), 1e-9);
  EXPECT_NEAR(JsonNumber(d.out, "rho") * 100, JsonNumber(u.out, "rho"), 1e-9);
  EXPECT_NE(d.out.find("\"theta\": \"per day\""), std::string::npos);
  EXPECT_NE(u.out.find("\"max_loss\": \"unlimited\""), std::string::npos);
}

TEST(CliStrategyTest, NoLossReadsNoneAndSmallBreakEvensKeepTheirDigits) {
  // A put sold for just under its strike: today it can only gain (its
  // lowest profit, 2.47, was shown as the largest loss), and at expiry it
  // breaks even at 0.00004 (shown as 0.00).
  const CliResult r = RunStrategy({"--spot", "100", "--rate", "0.05", "--vol", "0.2", "--leg",
                                   "-1 put 100 0.5 european 99.99996"});
  ASSERT_EQ(r.exit_code, 0) << r.err;
  EXPECT_NE(r.out.find("break-evens             0.00004 "), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("largest loss            -0.000040             none"), std::string::npos)
      << r.out;
  // The JSON keeps the figure itself.
  const CliResult j = RunStrategy({"--spot", "100", "--rate", "0.05", "--vol", "0.2", "--leg",
                                   "-1 put 100 0.5 european 99.99996", "--json"});
  EXPECT_NE(j.out.find("\"max_loss\": 2.46"), std::string::npos) << j.out;
}

TEST(CliStrategyTest, CurvePrintsThatManyPointsOfBothCurves) {
  const CliResult r =
      RunStrategy(With({"--template", "straddle", "--at-date", "0.5", "--curve", "7", "--json"}));
  ASSERT_EQ(r.exit_code, 0) << r.err;
  stratlyn::PositionPricer p(
      stratlyn::TemplateLegs(stratlyn::StrategyTemplate::kStraddle, 50, 1, 5),
      stratlyn::Market{50, 0.1, 0, 0.25});
  size_t points = 0;
  for (size_t at = r.out.find("{\"spot\""); at != std::string::npos;
       at = r.out.find("{\"spot\"", at + 1)) {
    ++points;
    const double spot = JsonNumber(r.out, "spot", at);
    EXPECT_DOUBLE_EQ(JsonNumber(r.out, "at_expiry", at), p.Profit(spot, 1)) << spot;
    EXPECT_DOUBLE_EQ(JsonNumber(r.out, "at_date", at), p.Profit(spot, 0.5)) << spot;
  }
  EXPECT_EQ(points, 7u);
}

TEST(CliStrategyTest, BadInputExitsTwoNamingTheOption) {
  const auto fails = [](const std::vector<std::string>& args, const std::string& words) {
    const CliResult r = RunStrategy(args);
    EXPECT_EQ(r.exit_code, 2) << r.out;
    EXPECT_NE(r.err.find(words), std::string::npos) << r.err;
    EXPECT_TRUE(r.out.empty()) << r.out;
  };
  fails({"--spot", "50", "--rate", "0.1", "--leg", "+1 call 50 0.25"}, "--vol is required");
  fails(With({}), "--leg or --template");
  fails({"--spot", "50", "--rate", "0.1", "--vol", "0,25", "--leg", "+1 call 50 0.25"}, "--vol");
  fails(With({"--leg", "+1 call 0 0.25"}), "--leg: Leg 1: the strike price must be positive");
  fails(With({"--leg", "+1 call 50 -1"}), "--leg: Leg 1: the maturity must be positive");
  fails(With({"--leg", "+1 call 50,5 0.25"}), "--leg: leg '+1 call 50,5 0.25'");
  fails(With({"--leg", "+1 call 50 0.25", "--at-date", "0.3"}),
        "--at-date: The date is past the first expiry");
  fails(With({"--leg", "+1 call 50 0.25", "--at-date", "-0.1"}), "--at-date");
  fails(With({"--template", "condor"}), "--template: no template named 'condor'");
  fails(With({"--template", "iron-condor", "--width", "30"}), "--width");
  fails(With({"--template", "strangle", "--width", "0"}), "--width: The width must be positive");
  fails(With({"--leg", "+1 call 50 0.25", "--units", "percent"}), "--units");
  fails(With({"--leg", "+1 call 50 0.25", "--curve", "1"}), "--curve");
  fails(With({"--leg", "+1 call 50 0.25", "--width", "5"}), "go with --template");
  fails({"--spot", "-5", "--rate", "0.1", "--vol", "0.2", "--leg", "+1 call 50 0.25"},
        "--spot: The underlying price must be positive");
  // Percentages typed as numbers (2000 % over a day prices without a word).
  fails({"--spot", "50", "--rate", "0.1", "--vol", "20", "--leg", "+1 call 50 0.003"},
        "--vol 20 is above 500 %");
  fails({"--spot", "50", "--rate", "7", "--vol", "0.2", "--leg", "+1 call 50 0.25"},
        "--rate 7 is above 500 %");
  fails(With({"--yield", "10", "--leg", "+1 call 50 0.25"}), "--yield 10 is above 500 %");
}

TEST(CliStrategyTest, ALegTheLatticeRefusesRefusesThePosition) {
  // A drift far beyond the volatility: no lattice values the American legs.
  const CliResult r =
      RunStrategy({"--spot", "100", "--rate", "0.3", "--vol", "0.02", "--template", "straddle",
                   "--american", "--maturity", "10", "--at-date", "0.5"});
  EXPECT_EQ(r.exit_code, 2) << r.out;
  EXPECT_TRUE(r.out.empty()) << r.out;
  EXPECT_NE(r.err.find("Leg 1: "), std::string::npos) << r.err;
  EXPECT_NE(r.err.find("drift"), std::string::npos) << r.err;
  EXPECT_EQ(r.err.find("999"), std::string::npos) << r.err;
  // The lattice's message comes once, as the refusal.
  EXPECT_EQ(r.err.find("drift"), r.err.rfind("drift")) << r.err;
}

}  // namespace
