// stratlyn-cli price, run as a user runs it.

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

#include "pricing/zel_bsop.h"
#include "support/cli_run.h"

namespace {

using stratlyn::testing::CliResult;

// Runs stratlyn-cli price; `env` ("LC_ALL=de_DE.UTF-8 ") goes before the command.
CliResult RunPrice(const std::vector<std::string>& args, const std::string& env = "") {
  std::vector<std::string> words = {"price"};
  words.insert(words.end(), args.begin(), args.end());
  return stratlyn::testing::RunCliCommand(env, words, "cli_price");
}

// The number after "key": in a JSON line; NaN when the key is missing.
double JsonNumber(const std::string& json, const std::string& key) {
  const size_t at = json.find("\"" + key + "\": ");
  if (at == std::string::npos) return std::nan("");
  return std::strtod(json.c_str() + at + key.size() + 4, nullptr);
}

const std::vector<std::string> kDefault = {"--spot", "50",     "--strike", "50",    "--maturity",
                                           "0.25",   "--rate", "0.1",      "--vol", "0.25"};

std::vector<std::string> With(std::vector<std::string> extra) {
  std::vector<std::string> args = kDefault;
  args.insert(args.end(), extra.begin(), extra.end());
  return args;
}

TEST(CliPriceTest, EuropeanAndAmericanFiguresOfTheRecords) {
  CliResult call = RunPrice(With({"--json"}));
  ASSERT_EQ(call.exit_code, 0) << call.err;
  EXPECT_NEAR(JsonNumber(call.out, "value"), 3.1273, 5e-5);
  EXPECT_FALSE(std::isnan(JsonNumber(call.out, "rho")));
  EXPECT_TRUE(std::isnan(JsonNumber(call.out, "impvol")));
  // Floats are printed so that they read back as the record's very float.
  stratlyn::zelBSOP record;
  record.SetOptionData(50, record.strUnderlying);
  record.SetOptionData(1, record.strType);
  const size_t at = call.out.find("\"delta\": ");
  ASSERT_NE(at, std::string::npos);
  EXPECT_EQ(std::strtof(call.out.c_str() + at + 9, nullptr), record.GetOptionData("delta"));

  CliResult put = RunPrice(With({"--put", "--json"}));
  ASSERT_EQ(put.exit_code, 0);
  EXPECT_NEAR(JsonNumber(put.out, "value"), 1.8928, 5e-5);

  CliResult american = RunPrice(With({"--put", "--american", "--json"}));
  ASSERT_EQ(american.exit_code, 0);
  EXPECT_NEAR(JsonNumber(american.out, "value"), 2.0140, 5e-5);
  EXPECT_TRUE(std::isnan(JsonNumber(american.out, "rho")));  // no rho on the lattice
  CliResult fine = RunPrice(With({"--put", "--american", "--steps", "400", "--json"}));
  ASSERT_EQ(fine.exit_code, 0);
  EXPECT_NE(JsonNumber(fine.out, "value"), JsonNumber(american.out, "value"));

  // The table shows the same value with six decimals.
  CliResult table = RunPrice(kDefault);
  ASSERT_EQ(table.exit_code, 0);
  EXPECT_NE(table.out.find("European call"), std::string::npos);
  EXPECT_NE(table.out.find("value"), std::string::npos);
  EXPECT_NE(table.out.find("3.1272"), std::string::npos);
}

TEST(CliPriceTest, ImpliedVolatilityAndBarriers) {
  CliResult iv = RunPrice({"--spot", "50", "--strike", "50", "--maturity", "0.25", "--rate", "0.1",
                           "--market-price", "3.6105", "--json"});
  ASSERT_EQ(iv.exit_code, 0) << iv.err;
  EXPECT_NEAR(JsonNumber(iv.out, "impvol"), 0.3, 1e-4);
  EXPECT_NEAR(JsonNumber(iv.out, "value"), 3.6105, 1e-4);

  // Below the call's intrinsic value: no volatility reaches it.
  CliResult unreachable = RunPrice({"--spot", "50", "--strike", "20", "--maturity", "0.25",
                                    "--rate", "0.1", "--market-price", "0.0001"});
  EXPECT_EQ(unreachable.exit_code, 2);
  EXPECT_NE(unreachable.err.find("market price"), std::string::npos);

  CliResult out = RunPrice(With({"--barrier", "45", "--barrier-kind", "down-out", "--json"}));
  CliResult in = RunPrice(With({"--barrier", "45", "--barrier-kind", "down-in", "--json"}));
  ASSERT_EQ(out.exit_code, 0) << out.err;
  ASSERT_EQ(in.exit_code, 0) << in.err;
  EXPECT_NEAR(JsonNumber(out.out, "value") + JsonNumber(in.out, "value"), 3.1273, 0.02);

  CliResult american_iv = RunPrice(With({"--put", "--american", "--barrier", "45", "--barrier-kind",
                                         "down-out", "--market-price", "1.5", "--json"}));
  ASSERT_EQ(american_iv.exit_code, 0) << american_iv.err;
  EXPECT_GT(JsonNumber(american_iv.out, "impvol"), 0.0);
  EXPECT_NEAR(JsonNumber(american_iv.out, "value"), 1.5, 1e-3);
}

TEST(CliPriceTest, LibraryEngineGivesTheSameKeys) {
  CliResult euro = RunPrice(With({"--engine", "library", "--json"}));
  ASSERT_EQ(euro.exit_code, 0) << euro.err;
  EXPECT_NEAR(JsonNumber(euro.out, "value"), 3.1273, 1e-3);
  EXPECT_FALSE(std::isnan(JsonNumber(euro.out, "rho")));
  CliResult american = RunPrice(With({"--engine", "library", "--put", "--american", "--json"}));
  ASSERT_EQ(american.exit_code, 0) << american.err;
  EXPECT_NEAR(JsonNumber(american.out, "value"), 2.014, 0.01);
  CliResult barrier = RunPrice(
      With({"--engine", "library", "--barrier", "45", "--barrier-kind", "down-out", "--json"}));
  ASSERT_EQ(barrier.exit_code, 0) << barrier.err;
  EXPECT_LT(JsonNumber(barrier.out, "value"), JsonNumber(euro.out, "value"));
  CliResult iv = RunPrice({"--engine", "library", "--spot", "50", "--strike", "50", "--maturity",
                           "0.25", "--rate", "0.1", "--market-price", "3.6105", "--json"});
  ASSERT_EQ(iv.exit_code, 0) << iv.err;
  EXPECT_NEAR(JsonNumber(iv.out, "impvol"), 0.3, 1e-3);
  // At the discounted intrinsic value every volatility up to about 0.15
  // gives the price as a float: none is implied, as on the record (the
  // library answered 0.1528). Just above it the price pins one down.
  const std::vector<std::string> bound = {"--engine", "library", "--spot",     "100",
                                          "--strike", "50",      "--maturity", "1",
                                          "--rate",   "0.05",    "--json"};
  std::vector<std::string> at = bound, above = bound;
  at.insert(at.end(), {"--market-price", "52.43853"});
  above.insert(above.end(), {"--market-price", "52.5"});
  const CliResult at_bound = RunPrice(at);
  EXPECT_EQ(at_bound.exit_code, 2) << at_bound.out;
  EXPECT_NE(at_bound.err.find("no volatility gives the market price"), std::string::npos)
      << at_bound.err;
  const CliResult above_bound = RunPrice(above);
  ASSERT_EQ(above_bound.exit_code, 0) << above_bound.err;
  EXPECT_NEAR(JsonNumber(above_bound.out, "value"), 52.5, 1e-5);
  EXPECT_NEAR(JsonNumber(above_bound.out, "impvol"), 0.3122, 1e-3);
}

TEST(CliPriceTest, BadInputExitsTwoWithAMessage) {
  struct Case {
    std::vector<std::string> args;
    const char* message;
  };
  const std::vector<Case> cases = {
      {With({"--maturity", "0"}), "given twice"},
      {{"--spot", "50", "--strike", "50", "--maturity", "0", "--rate", "0.1", "--vol", "0.25"},
       "Invalid maturity (0.0000)"},
      {{"--spot", "-5", "--strike", "50", "--maturity", "1", "--rate", "0.1", "--vol", "0.25",
        "--american"},
       "Invalid underlying asset price (-5.0000)"},
      {{"--spot", "50", "--strike", "0", "--maturity", "1", "--rate", "0.1", "--vol", "0.25"},
       "Invalid strike price (0.0000)"},
      {{"--spot", "abc", "--strike", "50", "--maturity", "1", "--rate", "0.1", "--vol", "0.25"},
       "--spot takes a number"},
      {{"--spot", "50", "--strike", "50", "--maturity", "1", "--vol", "0.25"},
       "--rate is required"},
      {With({"--call", "--put"}), "only one of"},
      {With({"--barrier", "45"}), "go together"},
      {With({"--barrier-kind", "sideways"}), "down-out, down-in"},
      {With({"--steps", "10"}), "American or barrier"},
      {With({"--american", "--steps", "20000"}), "3 to 16382"},
      {With({"--american", "--steps", "2.5"}), "whole number"},
      {With({"--vol", "0"}), "given twice"},
      {With({"--frobnicate"}), "unknown option"},
      {With({"--engine", "quantum"}), "record or library"},
      {With({"--rebate", "1"}), "barrier options only"},
      {With({"--barrier", "45", "--barrier-kind", "down-out", "--rebate", "-5"}),
       "The rebate must not be negative"},
      // A percentage typed as a number: 2000 % at a short maturity, or 40 %
      // as a rate, priced without a word before.
      {{"--spot", "50", "--strike", "50", "--maturity", "0.001", "--rate", "0.1", "--vol", "20"},
       "--vol 20 is above 500 %"},
      {{"--spot", "50", "--strike", "50", "--maturity", "1", "--rate", "40", "--vol", "0.2"},
       "--rate 40 is above 500 %"},
      {With({"--yield", "-6"}), "--yield -6 is above 500 %"},
      {{"--spot", "50", "--strike", "50", "--maturity", "1", "--rate", "0.1", "--market-price", "5",
        "--vol", "30"},
       "--vol 30 is above 500 %"},
  };
  for (const Case& c : cases) {
    const CliResult r = RunPrice(c.args);
    EXPECT_EQ(r.exit_code, 2) << c.message;
    EXPECT_NE(r.err.find(c.message), std::string::npos) << r.err;
    EXPECT_TRUE(r.out.empty()) << r.out;
  }
  CliResult zero_vol = RunPrice(
      {"--spot", "50", "--strike", "50", "--maturity", "1", "--rate", "0.1", "--vol", "0"});
  EXPECT_EQ(zero_vol.exit_code, 2);
  EXPECT_NE(zero_vol.err.find("--vol must be greater than 0"), std::string::npos);
}

// Each number as the record's 32-bit float holds it, and a formula that
// overflows on an input names the input: invalid input, exit 2.
TEST(CliPriceTest, NumbersOutOfTheRecordsRangeNameTheirFlag) {
  const std::vector<std::string> base = {"--spot", "100", "--strike", "100", "--maturity", "1"};
  const auto with = [&](std::vector<std::string> extra) {
    std::vector<std::string> args = base;
    args.insert(args.end(), extra.begin(), extra.end());
    return args;
  };
  struct Case {
    std::vector<std::string> args;
    const char* message;
  };
  const std::vector<Case> cases = {
      // 1e-46 is 0 as a float: it used to be priced silently at 0.25.
      {with({"--rate", "0.05", "--vol", "1e-46"}), "--vol 1e-46 is too small"},
      {with({"--rate", "0.05", "--vol", "1e-40"}), "--vol 1e-40 is too small"},
      {with({"--rate", "1e-400", "--vol", "0.2"}), "--rate 1e-400 is too small"},
      {{"--spot", "1e300", "--strike", "100", "--maturity", "1", "--rate", "0.05", "--vol", "0.2"},
       "--spot 1e300 is too large"},
      {with({"--rate", "-1e39", "--vol", "0.2"}), "--rate -1e39 is too large a negative number"},
      // Fit a float, but no rate or yield is that large (500 % at most).
      {with({"--rate", "0.05", "--vol", "0.2", "--yield", "100000"}),
       "--yield 100000 is above 500 %"},
      {with({"--rate", "-1e30", "--vol", "0.2", "--american"}), "--rate -1e30 is above 500 %"},
      // Fits a float, but the formulas overflow on it.
      {{"--spot", "100", "--strike", "100", "--maturity", "1e30", "--rate", "0.05", "--vol", "0.2",
        "--american"},
       "--maturity 1e30 is too large"},
      {with({"--rate", "0.05", "--vol", "1e-30", "--american"}), "--vol 1e-30 is too small"},
  };
  for (const Case& c : cases) {
    const CliResult r = RunPrice(c.args);
    EXPECT_EQ(r.exit_code, 2) << c.message << ": " << r.err;
    EXPECT_NE(r.err.find(c.message), std::string::npos) << r.err;
    EXPECT_TRUE(r.out.empty()) << r.out;
  }
}

TEST(CliPriceTest, EveryFlagGivenTwiceIsRefused) {
  for (const std::vector<std::string>& twice :
       {std::vector<std::string>{"--yield", "0.01", "--yield", "0.02"},
        {"--engine", "record", "--engine", "library"},
        {"--american", "--barrier", "45", "--barrier-kind", "down-out", "--barrier-kind", "up-out"},
        {"--american", "--steps", "50", "--steps", "60"},
        {"--json", "--json"},
        {"--american", "--american"},
        {"--call", "--call"}}) {
    const CliResult r = RunPrice(With(twice));
    EXPECT_EQ(r.exit_code, 2) << twice[0];
    EXPECT_NE(r.err.find(twice[0] == "--american" && twice.size() > 2 ? twice[twice.size() - 2]
                                                                      : twice[0]),
              std::string::npos)
        << r.err;
    EXPECT_NE(r.err.find("given twice"), std::string::npos) << r.err;
  }
}

// The lattice's implied volatility is a positive root or "no volatility".
TEST(CliPriceTest, LatticeImpliedVolatilityIsAPositiveRoot) {
  CliResult low =
      RunPrice({"--call", "--american", "--spot", "50", "--strike", "50", "--maturity", "0.5",
                "--rate", "0.05", "--yield", "0.04", "--market-price", "0.3", "--json"});
  ASSERT_EQ(low.exit_code, 0) << low.err;
  EXPECT_NEAR(JsonNumber(low.out, "impvol"), 0.0107, 2e-4);
  EXPECT_NEAR(JsonNumber(low.out, "value"), 0.3, 1e-5);
  for (const std::vector<std::string>& args :
       {// A put worth more than its strike.
        std::vector<std::string>{"--put", "--american", "--spot", "50", "--strike", "50",
                                 "--maturity", "0.25", "--rate", "0.1", "--market-price", "61"},
        // A call below its exercise value (exit 1, "run-time error 5", before).
        {"--call", "--american", "--spot", "60", "--strike", "50", "--maturity", "0.25", "--rate",
         "0.1", "--market-price", "5"},
        // A down-and-out call above anything the lattice reaches.
        {"--call", "--spot", "100", "--strike", "100", "--maturity", "1", "--rate", "0.05",
         "--barrier", "90", "--barrier-kind", "down-out", "--market-price", "40"}}) {
    const CliResult r = RunPrice(args);
    EXPECT_EQ(r.exit_code, 2) << r.out << r.err;
    EXPECT_NE(r.err.find("no volatility gives the market price"), std::string::npos) << r.err;
    EXPECT_TRUE(r.out.empty()) << r.out;
  }
}

// A comma-decimal locale changes neither what is read nor what is printed.
TEST(CliPriceTest, CommaDecimalLocaleReadsAndPrintsWithADot) {
  const std::vector<std::string> args = {"--spot", "100.5",  "--strike", "100",   "--maturity",
                                         "1",      "--rate", "0.05",     "--vol", "0.2"};
  const CliResult plain = RunPrice(args, "LC_ALL=C ");
  const CliResult german = RunPrice(args, "LC_ALL=de_DE.UTF-8 ");
  ASSERT_EQ(german.exit_code, 0) << german.err;
  EXPECT_EQ(german.out, plain.out);
  EXPECT_NE(german.out.find("10.771413"), std::string::npos) << german.out;  // S = 100.5
  EXPECT_EQ(german.out.find(','), std::string::npos) << german.out;
}

TEST(CliPriceTest, HelpDocumentsEveryFlag) {
  CliResult help = RunPrice({"--help"});
  EXPECT_EQ(help.exit_code, 0);
  for (const char* flag :
       {"--call", "--put", "--european", "--american", "--spot", "--strike", "--maturity", "--rate",
        "--vol", "--yield", "--market-price", "--barrier", "--barrier-kind", "--rebate", "--steps",
        "--json", "--engine"}) {
    EXPECT_NE(help.out.find(flag), std::string::npos) << flag;
  }
}

}  // namespace
