// The separate pricing library, loaded the way the records load it, checked
// against independent reference figures.

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <string>

#include "pricing/zelop_loader.h"
#include "reference_values.h"
#include "util/zel_error.h"
#include "zelop/zelop_api.h"

namespace stratlyn {
namespace {

using testing::AmericanCases;
using testing::EuropeanCases;
using testing::OptionCase;

class ZelopLibraryTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(LoadZelopLibrary(STRATLYN_ZELOP_PATH)); }

  template <typename Fn>
  static Fn Get(const char* name) {
    return reinterpret_cast<Fn>(ZelopSymbol(name));
  }
};

void ExpectRelative(double actual, double expected, double tolerance, const char* what) {
  EXPECT_LE(std::fabs(actual - expected), tolerance * std::fabs(expected))
      << what << ": " << actual << " vs " << expected;
}

TEST_F(ZelopLibraryTest, EuropeanFiguresMatchTheAnalyticReference) {
  const auto bsop = Get<ZelopBsopFn>("bsop");
  const auto delta = Get<ZelopBsopFn>("delta");
  const auto gamma = Get<ZelopNoFlagFn>("gamma");
  const auto vega = Get<ZelopNoFlagFn>("vega");
  const auto theta = Get<ZelopBsopFn>("theta");
  for (size_t i = 0; i < EuropeanCases().size(); ++i) {
    const OptionCase& c = EuropeanCases()[i];
    const testing::EuropeanFigures ref = testing::ReferenceEuropean(i);
    SCOPED_TRACE(i);
    ExpectRelative(bsop(c.flag, c.r, c.T(), c.k, c.s, c.sigma, c.q), ref.value, 1e-10, "value");
    ExpectRelative(delta(c.flag, c.r, c.T(), c.k, c.s, c.sigma, c.q), ref.delta, 1e-10, "delta");
    ExpectRelative(gamma(c.r, c.T(), c.k, c.s, c.sigma, c.q), ref.gamma, 1e-10, "gamma");
    ExpectRelative(vega(c.r, c.T(), c.k, c.s, c.sigma, c.q), ref.vega, 1e-10, "vega");
    ExpectRelative(theta(c.flag, c.r, c.T(), c.k, c.s, c.sigma, c.q), ref.theta, 1e-10, "theta");
  }
  // Invalid inputs give NaN, never a number that looks like a price.
  EXPECT_TRUE(std::isnan(bsop(1, 0.05, 0.0, 100, 100, 0.2, 0)));
  EXPECT_TRUE(std::isnan(gamma(0.05, 1, 100, -1, 0.2, 0)));
}

TEST_F(ZelopLibraryTest, ImpliedVolatilityRoundTripsPrices) {
  const auto bsop = Get<ZelopBsopFn>("bsop");
  const auto impvol = Get<ZelopImpvolFn>("impvol");
  for (const OptionCase& c : EuropeanCases()) {
    for (double sigma : {0.05, 0.27, 0.8, 2.5}) {
      const double price = bsop(c.flag, c.r, c.T(), c.k, c.s, sigma, c.q);
      // Start from a poor guess, as the record passes its current volatility.
      const double found = impvol(c.flag, c.r, c.T(), c.k, c.s, 0.25, 1e-05, price, c.q, 100);
      const double again = bsop(c.flag, c.r, c.T(), c.k, c.s, found, c.q);
      EXPECT_LE(std::fabs(again - price), 1e-10 * price) << c.s << "/" << c.k << " at " << sigma;
    }
  }
  // Out of reach: below intrinsic value or above the underlying.
  EXPECT_EQ(impvol(1, 0.1, 0.25, 50, 60, 0.25, 1e-05, 0.01, 0, 100), -999.0);
  EXPECT_EQ(impvol(1, 0.1, 0.25, 50, 60, 0.25, 1e-05, 61.0, 0, 100), -999.0);
  EXPECT_TRUE(std::isnan(impvol(1, 0.1, 0.25, 50, 60, 0.25, 1e-05, -1.0, 0, 100)));
}

TEST_F(ZelopLibraryTest, BaroneAdesiWhaleyMatchesTheReferenceEngine) {
  const auto baw = Get<ZelopBawFn>("baw");
  const auto bsop = Get<ZelopBsopFn>("bsop");
  for (size_t i = 0; i < AmericanCases().size(); ++i) {
    const OptionCase& c = AmericanCases()[i];
    SCOPED_TRACE(i);
    const double value = baw(c.flag, c.s, c.r, c.T(), c.k, c.sigma, c.q);
    ExpectRelative(value, testing::ReferenceBaw(i), 1e-6, "baw");
    EXPECT_GE(value, bsop(c.flag, c.r, c.T(), c.k, c.s, c.sigma, c.q) - 1e-12);
  }
  // Deep in the money the put is worth its exercise value.
  EXPECT_DOUBLE_EQ(baw(2, 40, 0.08, 1.0, 100, 0.2, 0), 60.0);
}

TEST_F(ZelopLibraryTest, AmericanGreeksAreConsistentDifferences) {
  const auto baw = Get<ZelopBawFn>("baw");
  const auto bawdel = Get<ZelopBawFn>("bawdel");
  const auto bawgam = Get<ZelopBawFn>("bawgam");
  const auto bawvega = Get<ZelopBawFn>("bawvega");
  const auto bawtheta = Get<ZelopBawFn>("bawtheta");
  const double s = 100, r = 0.08, t = 0.5, k = 100, sigma = 0.25, q = 0.01;
  const double h = 0.5;
  const double up = baw(2, s + h, r, t, k, sigma, q), mid = baw(2, s, r, t, k, sigma, q),
               down = baw(2, s - h, r, t, k, sigma, q);
  EXPECT_NEAR(bawdel(2, s, r, t, k, sigma, q), (up - down) / (2 * h), 1e-4);
  EXPECT_NEAR(bawgam(2, s, r, t, k, sigma, q), (up - 2 * mid + down) / (h * h), 1e-3);
  const double dv = baw(2, s, r, t, k, sigma + 0.01, q) - baw(2, s, r, t, k, sigma - 0.01, q);
  EXPECT_NEAR(bawvega(2, s, r, t, k, sigma, q), dv / 0.02, 1e-2);
  EXPECT_LT(bawtheta(2, s, r, t, k, sigma, q), 0.0);
  EXPECT_LT(bawdel(2, s, r, t, k, sigma, q), 0.0);
}

TEST_F(ZelopLibraryTest, TrinomialLatticeValuesAndGuardsItsInputs) {
  const auto trino = Get<ZelopTrinoFn>("CallTrino");
  const auto bsop = Get<ZelopBsopFn>("bsop");
  const auto baw = Get<ZelopBawFn>("baw");
  double in[11] = {50, 0.25, 0.1, 0.25, 50, 0, 0, 0, 0, 0, 0};
  double out[11];
  ASSERT_EQ(trino(1, in, 1000, 0, 100, out), 0.0);
  EXPECT_NEAR(out[0], bsop(1, 0.1, 0.25, 50, 50, 0.25, 0), 0.01);
  EXPECT_NEAR(out[5], 0.25, 1e-15);
  ASSERT_EQ(trino(-1, in, 1001, 0, 100, out), 0.0);
  EXPECT_NEAR(out[0], baw(2, 50, 0.1, 0.25, 50, 0.25, 0), 0.02);
  EXPECT_LT(out[1], 0.0);  // put delta
  EXPECT_GT(out[2], 0.0);
  EXPECT_GT(out[3], 0.0);

  // Knock-in plus knock-out is the plain option on the same lattice; the up
  // pair with the barrier below the spot is already knocked in (the plain
  // option on its own lattice) or out (worth its rebate, 0).
  ASSERT_EQ(trino(1, in, 1000, 0, 100, out), 0.0);
  const double plain = out[0];
  in[6] = 45;
  ASSERT_EQ(trino(1, in, 1004, 0, 100, out), 0.0);
  const double down_in = out[0];
  ASSERT_EQ(trino(1, in, 1002, 0, 100, out), 0.0);
  const double down_out = out[0];
  ASSERT_EQ(trino(1, in, 1008, 0, 100, out), 0.0);
  const double up_in = out[0];
  ASSERT_EQ(trino(1, in, 1006, 0, 100, out), 0.0);
  EXPECT_EQ(up_in, plain);
  EXPECT_EQ(out[0], 0.0);
  EXPECT_NEAR(down_in + down_out, plain, 0.01);

  // Implied volatility of a lattice price comes back.
  ASSERT_EQ(trino(-1, in, 1003, 0, 100, out), 0.0);
  const double target = out[0];
  in[1] = 0.4;
  ASSERT_EQ(trino(-1, in, 2003, target, 100, out), 0.0);
  EXPECT_NEAR(out[5], 0.25, 1e-8);
  EXPECT_NEAR(out[0], target, 1e-8);

  // Unknown codes, bad signs, missing barriers and null arrays are refused.
  EXPECT_EQ(trino(1, in, 3000, 0, 100, out), -1.0);
  EXPECT_TRUE(std::isnan(out[0]));
  EXPECT_EQ(trino(3, in, 1000, 0, 100, out), -1.0);
  in[6] = 0;
  EXPECT_EQ(trino(1, in, 1004, 0, 100, out), -1.0);
  EXPECT_EQ(trino(1, nullptr, 1000, 0, 100, out), -1.0);
  EXPECT_EQ(trino(1, in, 1000, 0, 100, nullptr), -1.0);
}

TEST(ZelopLoaderTest, MissingLibraryIsFileNotFoundNamingIt) {
  UnloadZelopLibrary();
  SetZelopSearchPathForTesting("/nonexistent-stratlyn-folder");
  try {
    ZelopSymbol("bsop");
    ADD_FAILURE() << "loaded from nowhere";
  } catch (const zelError& e) {
    EXPECT_EQ(e.Number(), err::kFileNotFound);
    EXPECT_NE(e.Description().find("libzelop32.so"), std::string::npos);
  }
  EXPECT_FALSE(ZelopLibraryLoaded());
  EXPECT_FALSE(LoadZelopLibrary("/nonexistent-stratlyn-folder/libzelop32.so"));
  SetZelopSearchPathForTesting("");
}

TEST(ZelopLoaderTest, FoundFileThatDoesNotLoadIsError48) {
  UnloadZelopLibrary();
  const std::string folder = ::testing::TempDir() + "zelop-broken";
  std::filesystem::create_directories(folder);
  {
    std::ofstream broken(folder + "/libzelop32.so");
    broken << "not a shared object";
  }
  SetZelopSearchPathForTesting(folder);
  try {
    ZelopSymbol("bsop");
    ADD_FAILURE() << "loaded a text file";
  } catch (const zelError& e) {
    EXPECT_EQ(e.Number(), err::kLibraryLoad);
    EXPECT_NE(e.Description().find("libzelop32.so"), std::string::npos);
  }
  EXPECT_FALSE(LoadZelopLibrary(folder + "/libzelop32.so"));
  SetZelopSearchPathForTesting("");
  // The real library, then a function it does not have.
  ASSERT_TRUE(LoadZelopLibrary(STRATLYN_ZELOP_PATH));
  try {
    ZelopSymbol("no_such_function");
    ADD_FAILURE();
  } catch (const zelError& e) {
    EXPECT_EQ(e.Number(), err::kLibraryLoad);
  }
}

}  // namespace
}  // namespace stratlyn
