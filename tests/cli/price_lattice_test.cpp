// stratlyn-cli price on lattices the record refuses, barriers next to the
// spot and knock-in rebates, run as a user runs it.

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "support/cli_run.h"

namespace {

using LatticeRun = stratlyn::testing::CliResult;

LatticeRun Price(const std::vector<std::string>& args) {
  std::vector<std::string> words = {"price"};
  words.insert(words.end(), args.begin(), args.end());
  return stratlyn::testing::RunCliCommand("", words, "cli_lattice");
}

double Value(const std::string& json) {
  const size_t at = json.find("\"value\": ");
  return at == std::string::npos ? -1.0 : std::strtod(json.c_str() + at + 9, nullptr);
}

const std::vector<std::string> kTerms = {"--spot", "100", "--strike", "100", "--maturity", "1"};

std::vector<std::string> Terms(std::vector<std::string> extra) {
  std::vector<std::string> args = kTerms;
  args.insert(args.end(), extra.begin(), extra.end());
  return args;
}

TEST(CliPriceLatticeTest, LatticeNoStepCountServesExitsTwo) {
  for (const char* engine : {"record", "library"}) {
    const LatticeRun r = Price(Terms({"--call", "--rate", "0.3", "--vol", "0.004", "--barrier",
                                      "90", "--barrier-kind", "down-out", "--engine", engine}));
    EXPECT_EQ(r.exit_code, 2) << engine;
    EXPECT_NE(r.err.find("drift"), std::string::npos) << r.err;
    EXPECT_TRUE(r.out.empty()) << r.out;
  }
  const LatticeRun close = Price(Terms({"--call", "--rate", "0.05", "--vol", "0.2", "--barrier",
                                        "99.999", "--barrier-kind", "down-out"}));
  EXPECT_EQ(close.exit_code, 2);
  EXPECT_NE(close.err.find("too close"), std::string::npos) << close.err;
}

TEST(CliPriceLatticeTest, NearBarriersAndKnockInRebates) {
  // Analytic 0.5975 (QuantLib); the lattice put the barrier a row away: 3.0879.
  const LatticeRun near =
      Price(Terms({"--call", "--rate", "0.05", "--yield", "0.02", "--vol", "0.2", "--barrier",
                   "99.5", "--barrier-kind", "down-out", "--json"}));
  ASSERT_EQ(near.exit_code, 0) << near.err;
  EXPECT_NEAR(Value(near.out), 0.5975, 0.012);
  // A knock-in rebate is paid at expiry where the option never knocked in.
  const std::vector<std::string> in = {"--put",     "--rate", "0.05",           "--vol", "0.2",
                                       "--barrier", "120",    "--barrier-kind", "up-in", "--json"};
  const LatticeRun plain = Price(Terms(in));
  std::vector<std::string> with = in;
  with.insert(with.end(), {"--rebate", "3"});
  const LatticeRun paid = Price(Terms(with));
  ASSERT_EQ(paid.exit_code, 0) << paid.err;
  // 3 e^-rT times the chance of never reaching 120 (about 0.6).
  EXPECT_GT(Value(paid.out), Value(plain.out) + 1.2);
  EXPECT_LT(Value(paid.out), Value(plain.out) + 3 * 0.9513);
}

}  // namespace
