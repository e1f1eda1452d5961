// The separate pricing library, loaded the way the records load it, checked
// against independent reference figures.

#include <gtest/gtest.h>

#include <cmath>
#include <csignal>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "pricing/zelop_loader.h"
#include "reference_values.h"
#include "util/zel_error.h"
#include "zelop/zelop_api.h"

#ifdef STRATLYN_HAVE_QUANTLIB
#include <sys/wait.h>
#include <unistd.h>
#endif

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

// The corners of the approximation, each with its independent figure: a call
// at a zero rate with a yield is exercised early (6.0886 is QuantLib's BAW,
// 6.0887 the value at r = 1e-6); tiny rates keep their digits; a long,
// low-volatility call whose plain Newton iteration runs to a negative
// critical price; negative rates give numbers, never NaN.
TEST_F(ZelopLibraryTest, BaroneAdesiWhaleyCorners) {
  const auto baw = Get<ZelopBawFn>("baw");
  const auto bsop = Get<ZelopBsopFn>("bsop");
  EXPECT_NEAR(baw(1, 100, 0.0, 1.0, 100, 0.2, 0.05), 6.0886, 5e-5);
  EXPECT_NEAR(baw(1, 100, 1e-6, 1.0, 100, 0.2, 0.05), 6.0887, 5e-5);
  EXPECT_GT(baw(1, 100, 0.0, 1.0, 100, 0.2, 0.05), bsop(1, 0.0, 1.0, 100, 100, 0.2, 0.05) + 0.5);
  // Continuous in the rate down to zero: 1e-12 and 0 agree far below a cent.
  EXPECT_NEAR(baw(1, 100, 1e-12, 1.0, 100, 0.2, 0.05), baw(1, 100, 0.0, 1.0, 100, 0.2, 0.05), 1e-8);
  EXPECT_NEAR(baw(2, 100, 1e-12, 1.0, 100, 0.2, 0.0), bsop(2, 0.0, 1.0, 100, 100, 0.2, 0.0), 1e-6);
  for (const double s : {60.0, 100.0, 140.0}) {
    const double call = baw(1, s, 0.021, 6.687671, 111.996, 0.0579365, 0.092);
    EXPECT_GE(call, std::fmax(s - 111.996, 0.0)) << s;
    EXPECT_GE(call, bsop(1, 0.021, 6.687671, 111.996, s, 0.0579365, 0.092) - 1e-12) << s;
  }
  for (const int flag : {1, 2}) {
    for (const double r : {-0.03, -0.005, -1e-9}) {
      const double value = baw(flag, 95, r, 2.0, 100, 0.25, 0.04);
      EXPECT_TRUE(std::isfinite(value)) << flag << " " << r;
      EXPECT_GE(value, bsop(flag, r, 2.0, 100, 95, 0.25, 0.04) - 1e-12) << flag << " " << r;
      EXPECT_GE(value, flag == 1 ? 0.0 : 5.0);
    }
  }
  // A put at a rate that is not positive is never exercised early.
  EXPECT_DOUBLE_EQ(baw(2, 95, -0.01, 2.0, 100, 0.25, 0.04),
                   bsop(2, -0.01, 2.0, 100, 95, 0.25, 0.04));
}

// The table of Barone-Adesi and Whaley's paper (as QuantLib's engine gives it),
// within the 3e-3 that QuantLib's own test allows the approximation.
TEST_F(ZelopLibraryTest, BaroneAdesiWhaleyTable) {
  const auto baw = Get<ZelopBawFn>("baw");
  for (size_t i = 0; i < testing::BawTableCases().size(); ++i) {
    const OptionCase& c = testing::BawTableCases()[i];
    EXPECT_NEAR(baw(c.flag, c.s, c.r, c.T(), c.k, c.sigma, c.q), testing::ReferenceBawTable(i),
                3e-3)
        << (c.flag == 1 ? "call" : "put") << " S=" << c.s << " T=" << c.T() << " vol=" << c.sigma;
  }
}

#ifdef STRATLYN_HAVE_QUANTLIB
namespace {

// A few thousand random American options, with the corners over-sampled:
// zero, tiny and negative rates, zero and negative yields, low volatilities,
// long maturities.
std::vector<OptionCase> RandomAmericanCases(int count) {
  std::mt19937 gen(20261208);
  const auto uniform = [&](double a, double b) {
    return std::uniform_real_distribution<double>(a, b)(gen);
  };
  const auto pick = [&](double p) { return uniform(0, 1) < p; };
  std::vector<OptionCase> cases;
  for (int i = 0; i < count; ++i) {
    OptionCase c{};
    c.flag = pick(0.5) ? 1 : 2;
    c.s = uniform(40, 160);
    c.k = uniform(50, 150);
    const double u = uniform(0, 1);
    c.r = u < 0.2    ? 0.0
          : u < 0.35 ? std::pow(10.0, uniform(-12, -4))
          : u < 0.5  ? -uniform(0, 0.04)
                     : uniform(0, 0.15);
    const double v = uniform(0, 1);
    c.q = v < 0.15   ? 0.0
          : v < 0.25 ? std::pow(10.0, uniform(-12, -4))
          : v < 0.3  ? -uniform(0, 0.03)
                     : uniform(0, 0.15);
    c.sigma = pick(0.2) ? uniform(0.02, 0.08) : uniform(0.08, 0.8);
    c.days = pick(0.2) ? static_cast<int>(uniform(1000, 3650)) : static_cast<int>(uniform(7, 1000));
    cases.push_back(c);
  }
  // The issue's own cases.
  cases.push_back({1, 100, 100, 0.0, 0.05, 0.2, 365});
  cases.push_back({1, 100, 111.996, 0.021, 0.092, 0.0579365, 2441});
  cases.push_back({2, 100, 100, -0.01, 0.02, 0.2, 365});
  return cases;
}

struct QuantLibFigure {
  int index;
  double value;  // NaN where QuantLib's critical-price iteration did not converge
};

// QuantLib's BAW value of one case, or NaN where its critical price is not a
// finite positive number (its Newton iteration has no safeguard).
double QuantLibBaw(const OptionCase& c) {
  namespace ql = QuantLib;
  ql::VanillaOption option = testing::QuantLibOption(c, true);
  const double t = c.T();
  const bool early = !(c.flag == 1 && c.q * t <= 0);
  if (early) {
    const auto payoff = ql::ext::make_shared<ql::PlainVanillaPayoff>(
        c.flag == 1 ? ql::Option::Call : ql::Option::Put, c.k);
    const double critical = ql::BaroneAdesiWhaleyApproximationEngine::criticalPrice(
        payoff, std::exp(-c.r * t), std::exp(-c.q * t), c.sigma * c.sigma * t);
    if (!(std::isfinite(critical) && critical > 0)) {
      return std::nan("");
    }
  }
  const double value = option.NPV();
  return std::isfinite(value) ? value : std::nan("");
}

// QuantLib's figures for every case, each computed in a child process under a
// time limit: an iteration that never ends counts as not converged.
std::vector<double> QuantLibFigures(const std::vector<OptionCase>& cases) {
  std::vector<double> values(cases.size(), std::nan(""));
  size_t next = 0;
  while (next < cases.size()) {
    int fds[2];
    if (pipe(fds) != 0) {
      ADD_FAILURE() << "pipe";
      return values;
    }
    const pid_t child = fork();
    if (child == 0) {
      close(fds[0]);
      for (size_t i = next; i < cases.size(); ++i) {
        alarm(1);
        QuantLibFigure figure{static_cast<int>(i), std::nan("")};
        try {
          figure.value = QuantLibBaw(cases[i]);
        } catch (...) {  // QuantLib refused the case: nothing to compare
        }
        if (write(fds[1], &figure, sizeof figure) != sizeof figure) _exit(1);
      }
      _exit(0);
    }
    close(fds[1]);
    QuantLibFigure figure{};
    size_t last = next;
    bool any = false;
    while (read(fds[0], &figure, sizeof figure) == sizeof figure) {
      values[figure.index] = figure.value;
      last = figure.index;
      any = true;
    }
    close(fds[0]);
    int status = 0;
    waitpid(child, &status, 0);
    if (WIFEXITED(status) && WEXITSTATUS(status) == 0) {
      break;
    }
    next = (any ? last + 1 : next) + 1;  // skip the case that hung or crashed
  }
  return values;
}

}  // namespace
#endif

TEST_F(ZelopLibraryTest, BaroneAdesiWhaleyAgreesWithQuantLibOnRandomCases) {
#ifndef STRATLYN_HAVE_QUANTLIB
  GTEST_SKIP() << "QuantLib is not installed";
#else
  const auto baw = Get<ZelopBawFn>("baw");
  const auto bsop = Get<ZelopBsopFn>("bsop");
  const std::vector<OptionCase> cases = RandomAmericanCases(3000);
  const std::vector<double> reference = QuantLibFigures(cases);
  int compared = 0;
  double worst = 0;
  for (size_t i = 0; i < cases.size(); ++i) {
    const OptionCase& c = cases[i];
    const double value = baw(c.flag, c.s, c.r, c.T(), c.k, c.sigma, c.q);
    const double european = bsop(c.flag, c.r, c.T(), c.k, c.s, c.sigma, c.q);
    const double intrinsic = std::fmax(c.flag == 1 ? c.s - c.k : c.k - c.s, 0.0);
    // A call at a negative rate without a positive yield, or a put at a
    // negative yield without a positive rate, may be refused (NaN) where the
    // approximation strays from the American value.
    const bool checked = c.flag == 1 ? c.r < 0 && c.q <= 0 : c.q < 0 && c.r <= 0;
    if (checked && std::isnan(value)) {
      continue;
    }
    // Our own guards hold everywhere, QuantLib or not.
    ASSERT_TRUE(std::isfinite(value)) << i;
    EXPECT_GE(value, european - 1e-12) << i;
    EXPECT_GE(value, intrinsic) << i;
    // A put at a rate that is not positive and a yield that is not negative
    // is never exercised early: the European value, exactly. (QuantLib's
    // iteration stops there where its gap is small, not at a root.)
    if (c.flag == 2 && c.r <= 0 && c.q >= 0) {
      EXPECT_EQ(value, european) << i;
      continue;
    }
    // A call at a negative rate can be worth exercising at once (paying the
    // strike now costs less than paying it later); QuantLib's engine values
    // every call without a yield as European, ours by the approximation,
    // which a test of its own compares with the true American value.
    if (c.flag == 1 && c.r < 0 && c.q <= 0) {
      continue;
    }
    // No reference where QuantLib did not converge or converged to a figure
    // below the exercise value or the European value (where the approximation
    // itself dips below them, ours reads the larger of the two).
    if (std::isnan(reference[i]) || reference[i] < std::fmax(intrinsic, european) - 1e-12) {
      continue;
    }
    ++compared;
    worst = std::fmax(worst, std::fabs(value - reference[i]));
    EXPECT_NEAR(value, reference[i], 1e-6)
        << i << ": flag " << c.flag << " S=" << c.s << " K=" << c.k << " r=" << c.r << " q=" << c.q
        << " vol=" << c.sigma << " days=" << c.days;
  }
  std::printf("BAW against QuantLib: %d of %zu cases compared, largest difference %.3g\n", compared,
              cases.size(), worst);
  EXPECT_GT(compared, 2200);
#endif
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
