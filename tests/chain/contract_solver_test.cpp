// Implied volatility of one contract over thousands of generated ones: the
// solution reprices the price, the refusals fall exactly where the price
// leaves the no-arbitrage bounds, and the figures agree with QuantLib.

#include "chain/contract_solver.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>

#include "numerics/trinomial_lattice.h"
#include "support/quantlib_reference.h"

namespace stratlyn {
namespace {

ContractTerms RandomTerms(std::mt19937_64& rng, ExerciseStyle style) {
  std::uniform_real_distribution<double> u(0, 1);
  ContractTerms c;
  c.style = style;
  c.put = u(rng) < 0.5;
  c.spot = 10 + 490 * u(rng);
  c.strike = c.spot * std::exp(0.6 * (u(rng) - 0.5));
  // From an hour to three years.
  c.years = std::exp(std::log(1.0 / 8760) + (std::log(3.0) - std::log(1.0 / 8760)) * u(rng));
  c.rate = -0.01 + 0.08 * u(rng);
  c.yield = -0.02 + 0.08 * u(rng);
  return c;
}

double Vega(const ContractTerms& c, double sigma) { return FiguresAt(c, sigma)->vega; }

void CheckSolvedAtTheGeneratingVolatility(ExerciseStyle style, int count) {
  std::mt19937_64 rng(20261207 + static_cast<int>(style));
  std::uniform_real_distribution<double> u(0, 1);
  int solved = 0;
  for (int i = 0; i < count; ++i) {
    const ContractTerms c = RandomTerms(rng, style);
    const double sigma = 0.05 + 1.2 * u(rng);
    const auto at = FiguresAt(c, sigma);
    ASSERT_TRUE(at) << i;
    const double price = at->value;
    const ContractSolution s = SolveContract(c, price);
    const PriceBounds b = NoArbitrageBounds(c);
    if (!(price > b.lower * (1 + 1e-9) + 1e-12 && price < b.upper)) continue;
    // A price a hair above its bound has a volatility the price cannot pin down.
    if (at->vega * sigma < 1e-6 * std::max(1.0, price)) continue;
    ASSERT_TRUE(s.iv) << i << " refused: " << ChainRefusalText(s.refusal) << " price " << price
                      << " S " << c.spot << " K " << c.strike << " T " << c.years;
    EXPECT_EQ(s.refusal, ChainRefusal::kNone);
    // Reprices the price on the solution's own lattice...
    EXPECT_NEAR(s.figures->value, price, kRepriceTolerance * std::max(1.0, price)) << i;
    // ...and lands on the generating volatility to what the price can tell:
    // for the lattice, to its accuracy (the option record's tolerance of a
    // lattice against the closed form), on either side.
    const double price_accuracy = style == ExerciseStyle::kEuropean
                                      ? 1e-6 * std::max(1.0, price)
                                      : 2 * numerics::EuropeanTolerance(price, c.spot, c.strike);
    const double resolution = price_accuracy / std::max(Vega(c, sigma), 1e-12);
    EXPECT_NEAR(*s.iv, sigma, std::max(1e-6, resolution)) << i << " T " << c.years;
    ++solved;
  }
  EXPECT_GT(solved, count / 2);
}

TEST(ContractSolver, EuropeanSolutionRepricesAndFindsTheGeneratingVolatility) {
  CheckSolvedAtTheGeneratingVolatility(ExerciseStyle::kEuropean, 4000);
}

TEST(ContractSolver, AmericanSolutionRepricesAndFindsTheGeneratingVolatility) {
  CheckSolvedAtTheGeneratingVolatility(ExerciseStyle::kAmerican, 600);
}

// Prices drawn across and beyond the bounds: a refusal for a price outside,
// with the reason of the side it falls on; inside, a volatility or (only
// where none from the least to the largest reprices it) "no solution".
void CheckRefusalsExactlyOutsideTheBounds(ExerciseStyle style, int count) {
  std::mt19937_64 rng(7 + static_cast<int>(style));
  std::uniform_real_distribution<double> u(0, 1);
  int inside = 0, below = 0, above = 0;
  for (int i = 0; i < count; ++i) {
    const ContractTerms c = RandomTerms(rng, style);
    const PriceBounds b = NoArbitrageBounds(c);
    ASSERT_LE(b.lower, b.upper);
    const double span = b.upper - b.lower;
    const double price = b.lower - 0.2 * span + 1.4 * span * u(rng);
    const ContractSolution s = SolveContract(c, price);
    EXPECT_EQ(s.iv.has_value(), s.refusal == ChainRefusal::kNone);
    EXPECT_EQ(s.iv.has_value(), s.figures.has_value());
    if (price < b.lower) {
      EXPECT_TRUE(s.refusal == ChainRefusal::kBelowIntrinsic ||
                  s.refusal == ChainRefusal::kAtIntrinsic)
          << i;
      ++below;
    } else if (price >= b.upper) {
      EXPECT_EQ(s.refusal, ChainRefusal::kAboveBound) << i;
      ++above;
    } else if (price > b.lower * (1 + 1e-9) + 1e-9) {
      ++inside;
      if (s.iv) {
        EXPECT_NEAR(s.figures->value, price, kRepriceTolerance * std::max(1.0, price)) << i;
        EXPECT_GE(*s.iv, kLeastImpliedVol);
        EXPECT_LE(*s.iv, kLargestImpliedVol);
      } else {
        EXPECT_EQ(s.refusal, ChainRefusal::kNoSolution) << i;
        // No solution only where the range's ends do not bracket the price
        // (an end the lattice cannot value at all is no bracket either).
        const auto least = FiguresAt(c, kLeastImpliedVol);
        const auto most = FiguresAt(c, kLargestImpliedVol);
        ASSERT_TRUE(least || most) << i;
        EXPECT_TRUE((least && least->value >= price * (1 - 1e-6)) ||
                    (most && most->value <= price * (1 + 1e-6)) || !least || !most)
            << i << " price " << price;
      }
    }
  }
  EXPECT_GT(inside, count / 2);
  EXPECT_GT(below, 0);
  EXPECT_GT(above, 0);
}

TEST(ContractSolver, EuropeanRefusalsExactlyOutsideTheBounds) {
  CheckRefusalsExactlyOutsideTheBounds(ExerciseStyle::kEuropean, 4000);
}

TEST(ContractSolver, AmericanRefusalsExactlyOutsideTheBounds) {
  CheckRefusalsExactlyOutsideTheBounds(ExerciseStyle::kAmerican, 500);
}

TEST(ContractSolver, BoundsOfEachStyle) {
  ContractTerms c;
  c.spot = 100;
  c.strike = 120;
  c.years = 1;
  c.rate = 0.05;
  c.yield = 0.01;
  c.put = true;
  c.style = ExerciseStyle::kEuropean;
  PriceBounds b = NoArbitrageBounds(c);
  EXPECT_NEAR(b.lower, 120 * std::exp(-0.05) - 100 * std::exp(-0.01), 1e-12);
  EXPECT_NEAR(b.upper, 120 * std::exp(-0.05), 1e-12);
  c.style = ExerciseStyle::kAmerican;
  b = NoArbitrageBounds(c);
  EXPECT_DOUBLE_EQ(b.lower, 20);
  EXPECT_DOUBLE_EQ(b.upper, 120);
  // Exactly the exercise value: volatility 0, no figure.
  EXPECT_EQ(SolveContract(c, 20).refusal, ChainRefusal::kAtIntrinsic);
  EXPECT_STREQ(ChainRefusalText(ChainRefusal::kAtIntrinsic), "at intrinsic");
  EXPECT_EQ(SolveContract(c, 19.99).refusal, ChainRefusal::kBelowIntrinsic);
  EXPECT_EQ(SolveContract(c, 120).refusal, ChainRefusal::kAboveBound);
  // Terms out of range are no solution, never a number.
  c.years = 0;
  EXPECT_FALSE(SolveContract(c, 21).iv);
  c.years = 1;
  c.strike = 0;
  EXPECT_FALSE(SolveContract(c, 1).iv);
  EXPECT_FALSE(FiguresAt(c, 0.2));
}

#ifdef STRATLYN_HAVE_QUANTLIB
using testing::RefOption;

RefOption Reference(std::mt19937_64& rng, bool* put) {
  std::uniform_real_distribution<double> u(0, 1);
  RefOption o;
  o.call = u(rng) < 0.5;
  *put = !o.call;
  o.s = 50 + 100 * u(rng);
  o.k = o.s * (0.75 + 0.5 * u(rng));
  o.r = 0.06 * u(rng);
  o.q = 0.05 * u(rng);
  o.sigma = 0.1 + 0.5 * u(rng);
  o.days = 10 + static_cast<int>(700 * u(rng));
  return o;
}

ContractTerms TermsOf(const RefOption& o, ExerciseStyle style) {
  ContractTerms c;
  c.put = !o.call;
  c.style = style;
  c.spot = o.s;
  c.strike = o.k;
  c.years = o.T();
  c.rate = o.r;
  c.yield = o.q;
  return c;
}

TEST(ContractSolver, EuropeanFiguresAreQuantLibsAnalyticOnes) {
  std::mt19937_64 rng(42);
  for (int i = 0; i < 500; ++i) {
    bool put = false;
    const RefOption o = Reference(rng, &put);
    const auto f = FiguresAt(TermsOf(o, ExerciseStyle::kEuropean), o.sigma);
    ASSERT_TRUE(f);
    const testing::RefFigures ref = testing::EuropeanFigures(o);
    EXPECT_NEAR(f->value, ref.value, 1e-9 * std::max(1.0, ref.value)) << i;
    EXPECT_NEAR(f->delta, ref.delta, 1e-9) << i;
    EXPECT_NEAR(f->gamma, ref.gamma, 1e-9) << i;
    EXPECT_NEAR(f->vega, ref.vega, 1e-8 * std::max(1.0, ref.vega)) << i;
    EXPECT_NEAR(f->theta, ref.theta, 1e-8 * std::max(1.0, std::fabs(ref.theta))) << i;
  }
}

TEST(ContractSolver, AmericanFiguresAgreeWithQuantLibsFiniteDifferences) {
  std::mt19937_64 rng(43);
  for (int i = 0; i < 60; ++i) {
    bool put = false;
    const RefOption o = Reference(rng, &put);
    const auto f = FiguresAt(TermsOf(o, ExerciseStyle::kAmerican), o.sigma);
    ASSERT_TRUE(f);
    const testing::RefFigures ref = testing::AmericanFigures(o, 400);
    // To a lattice's accuracy: the option record's tolerance against the
    // closed form for the value, a few per cent for the Greeks (a deep
    // option's gamma near its exercise boundary the least sure of them).
    EXPECT_NEAR(f->value, ref.value, numerics::EuropeanTolerance(ref.value, o.s, o.k)) << i;
    EXPECT_NEAR(f->delta, ref.delta, 5e-3) << i;
    EXPECT_NEAR(f->gamma, ref.gamma, 0.2 * ref.gamma + 2e-4) << i;
    EXPECT_NEAR(f->vega, ref.vega, 0.05 * std::max(1.0, ref.vega)) << i;
    EXPECT_NEAR(f->theta, ref.theta, 0.05 * std::max(1.0, std::fabs(ref.theta))) << i;
  }
}
#endif

}  // namespace
}  // namespace stratlyn
