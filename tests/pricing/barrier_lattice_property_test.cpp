// Barrier lattices over generated terms (fixed seed): the European value
// within the lattice's stated tolerance of QuantLib's closed form (the
// barrier watched without a pause) or refused with a message; knock-in plus
// knock-out the plain option; American at least European; an American
// knock-in or knock-out without a rebate no more than the American plain
// option.

#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <string>
#include <tuple>

#include "numerics/barrier_closed_form.h"
#include "pricing/zel_barr.h"
#include "support/fake_services.h"
#include "support/knock_out_finite_differences.h"
#include "support/quantlib_reference.h"

namespace stratlyn {
namespace {

using testing::FakeServices;

// The terms as the record holds them (floats), so that the references see
// exactly the record's inputs.
struct Terms {
  float sign = 1, s = 100, k = 100, r = 0.05f, q = 0, sigma = 0.2f, h = 90, rebate = 0;
  int days = 360;
  float T() const { return static_cast<float>(days / 360.0); }
  std::string Text() const {
    return std::string(sign > 0 ? "call" : "put") + " K " + std::to_string(k) + " days " +
           std::to_string(days) + " r " + std::to_string(r) + " q " + std::to_string(q) + " vol " +
           std::to_string(sigma) + " H " + std::to_string(h) + " rebate " + std::to_string(rebate);
  }
};

zelBarr Record(const Terms& x) {
  zelBarr b;
  b.SetOptionData(x.sign, b.strType);
  b.SetOptionData(x.s, b.strUnderlying);
  b.SetOptionData(x.k, b.strStrike);
  b.SetOptionData(x.T(), b.strMaturity);
  b.SetOptionData(x.r, b.strRiskFree);
  b.SetOptionData(x.q, b.strDvl);
  b.SetOptionData(x.sigma, b.strVolatility);
  b.SetOptionData(x.h, b.strBarrier);
  b.SetOptionData(x.rebate, b.strRebate);
  return b;
}

// The value of a code, or NaN where the record refused it; a refusal always
// comes with one critical message.
double Value(const Terms& x, int code, FakeServices& fakes) {
  const size_t shown = fakes.dialogs.Count();
  zelBarr b = Record(x);
  b.CalcBarr(code);
  const float value = b.GetOptionData(b.strOptionPrice);
  if (value == -999.0f) {
    EXPECT_EQ(fakes.dialogs.Count(), shown + 1) << "refused without a message: " << x.Text();
    return std::nan("");
  }
  EXPECT_EQ(fakes.dialogs.Count(), shown) << x.Text();
  EXPECT_TRUE(std::isfinite(value)) << x.Text();
  return value;
}

// How far a barrier lattice may lie from the closed form: 0.2 % of the value
// plus 0.01 % of the larger of spot and strike, and a float's rounding.
double Tolerance(double reference, const Terms& x) {
  return 2e-3 * std::fabs(reference) + 1e-4 * std::fmax(x.s, x.k) + 1e-6 * std::fabs(reference);
}

Terms Random(std::mt19937& gen, bool down) {
  std::uniform_real_distribution<double> unit(0.0, 1.0);
  Terms x;
  x.sign = unit(gen) < 0.5 ? 1 : -1;
  x.k = static_cast<float>(70 + 60 * unit(gen));
  x.days = 10 + static_cast<int>(1070 * unit(gen));
  x.r = static_cast<float>(-0.02 + 0.14 * unit(gen));
  x.q = static_cast<float>(0.08 * unit(gen));
  x.sigma = static_cast<float>(0.05 + 0.55 * unit(gen));
  x.h = static_cast<float>(down ? 100 * (0.7 + 0.29 * unit(gen)) : 100 * (1.01 + 0.29 * unit(gen)));
  x.rebate = unit(gen) < 0.3 ? static_cast<float>(3 * unit(gen)) : 0.0f;
  return x;
}

testing::RefOption Ref(const Terms& x) {
  return {
      .call = x.sign > 0, .s = x.s, .k = x.k, .r = x.r, .q = x.q, .sigma = x.sigma, .days = x.days};
}

// American knock-out vega where early exercise matters (puts and calls from
// 5 % out of the money to 35 % in, barriers either side), at the default
// steps and at 150, against the finite differences above bumped 1 % in the
// volatility either side (1600 x 1600; the reference moves by under 1 % from
// 800 to 3200 nodes or from a bump of 0.3 % to 3 %): within 15 % (and 0.1)
// at either step count. The vega of one lattice swung with where the exercise
// boundary fell between its rows, and so with the step count: an up-and-out
// put K = 116.29, T = 3.155, r = 0.0875, vol 0.2974, H = 125.96 read 8.75,
// 13.32 and 10.57 at 50, 150 and 200 steps against 11.29, and a down-and-out
// put K = 111.99, T = 1.49, r = 0.1087, vol 0.1581, H = 77.89 read 0,
// exercised at once, against 7.31.
TEST(BarrierLatticePropertyTest, AmericanKnockOutVegaIsSteadyAcrossStepCounts) {
  FakeServices fakes;
  std::mt19937 gen(2026120913);
  std::uniform_real_distribution<double> unit(0.0, 1.0);
  int within_five = 0, compared = 0;
  zelBarr codes;
  for (int i = 0; i < 60; ++i) {
    Terms x;
    x.sign = unit(gen) < 0.5 ? 1 : -1;
    const bool down = unit(gen) < 0.5;
    x.k = static_cast<float>(100 * (1 - x.sign * (0.4 * unit(gen) - 0.05)));
    x.days = 90 + static_cast<int>(1080 * unit(gen));
    x.r = static_cast<float>(x.sign < 0 ? 0.03 + 0.1 * unit(gen) : 0.05 * unit(gen));
    x.q = static_cast<float>(x.sign < 0 ? 0.04 * unit(gen) : 0.04 + 0.08 * unit(gen));
    x.sigma = static_cast<float>(0.15 + 0.35 * unit(gen));
    x.h =
        static_cast<float>(down ? 100 * (0.7 + 0.25 * unit(gen)) : 100 * (1.05 + 0.35 * unit(gen)));
    const testing::KnockOutTerms ref{
        .phi = x.sign, .s = x.s, .k = x.k, .t = x.T(), .r = x.r, .q = x.q, .h = x.h, .down = down};
    const double vega = testing::AmericanKnockOutVega(ref, x.sigma, 0.01);
    if (std::isnan(vega)) {
      continue;  // on the exercise boundary: no one vega to compare with
    }
    for (const int steps : {50, 150}) {
      zelBarr b = Record(x);
      b.SetOptionData(steps, b.strNSTEPS);
      b.CalcBarr(down ? codes.AMERDOWNOUT : codes.AMERUPOUT);
      const float got = b.GetOptionData("vega");
      EXPECT_NEAR(got, vega, 0.15 * std::fabs(vega) + 0.1)
          << x.Text() << (down ? " down" : " up") << " steps " << steps;
      within_five += std::fabs(got - vega) <= 0.05 * std::fabs(vega) + 0.05;
      ++compared;
    }
  }
  EXPECT_GE(compared, 70);
  EXPECT_GE(within_five, compared * 3 / 4);
  EXPECT_EQ(fakes.dialogs.Count(), 0u);
}

// An American knock-out the lattice exercises at once has the exercise
// value's Greeks, as the plain option does: delta phi, gamma, vega and theta
// 0 (a put S = 78, K = 100, T = 1, r = 0.08, vol 0.25, H = 40 read delta -1
// beside a gamma of 0.0015, gammas of 1e-16 further in).
TEST(BarrierLatticePropertyTest, AnAmericanKnockOutExercisedAtOnceHasTheExerciseValuesGreeks) {
  FakeServices fakes;
  zelBarr codes;
  int exercised = 0;
  for (float s = 55; s <= 80; s += 0.5f) {
    for (const bool down : {true, false}) {
      Terms x;
      x.sign = -1;
      x.s = s;
      x.r = 0.08f;
      x.sigma = 0.25f;
      x.h = down ? 40.0f : 95.0f;
      zelBarr b = Record(x);
      b.CalcBarr(down ? codes.AMERDOWNOUT : codes.AMERUPOUT);
      if (b.GetOptionData("opr") != static_cast<float>(x.k - s)) {
        continue;  // alive at the root
      }
      ++exercised;
      EXPECT_EQ(b.GetOptionData("delta"), -1.0f) << x.Text() << " S " << s;
      EXPECT_EQ(b.GetOptionData("gamma"), 0.0f) << x.Text() << " S " << s;
      EXPECT_EQ(b.GetOptionData("vega"), 0.0f) << x.Text() << " S " << s;
      EXPECT_EQ(b.GetOptionData("theta"), 0.0f) << x.Text() << " S " << s;
    }
  }
  EXPECT_GT(exercised, 30);
  EXPECT_EQ(fakes.dialogs.Count(), 0u);
}

// The implied volatility of American knock-outs near the exercise boundary
// solves on the value the figures report (a lattice of four times the steps
// where the boundary lies within a row of the spot): the value at the root
// is the market price, and the figures are those of a plain run there.
TEST(BarrierLatticePropertyTest, AmericanKnockOutImpliedVolatilityReprices) {
  FakeServices fakes;
  std::mt19937 gen(2026120914);
  std::uniform_real_distribution<double> unit(0.0, 1.0);
  zelBarr codes;
  int solved = 0;
  for (int i = 0; i < 24; ++i) {
    Terms x;
    x.sign = i % 2 == 0 ? -1 : 1;
    const bool down = unit(gen) < 0.5;
    x.k = static_cast<float>(100 * (1 - x.sign * (0.1 + 0.25 * unit(gen))));
    x.days = 90 + static_cast<int>(720 * unit(gen));
    x.r = static_cast<float>(x.sign < 0 ? 0.05 + 0.08 * unit(gen) : 0.03 * unit(gen));
    x.q = static_cast<float>(x.sign < 0 ? 0.02 * unit(gen) : 0.06 + 0.08 * unit(gen));
    x.sigma = static_cast<float>(0.15 + 0.3 * unit(gen));
    x.h = static_cast<float>(down ? 100 * (0.6 + 0.2 * unit(gen)) : 100 * (1.25 + 0.2 * unit(gen)));
    const int code = down ? codes.AMERDOWNOUT : codes.AMERUPOUT;
    zelBarr given = Record(x);
    given.CalcBarr(code);
    const float price = given.GetOptionData("opr");
    const float intrinsic = static_cast<float>(std::fmax(0.0, x.sign * (x.s - x.k)));
    if (!(price > intrinsic + 1e-3f * x.k)) {
      continue;  // at the exercise value a band of volatilities is a root
    }
    Terms start = x;
    start.sigma = 0.3f;
    zelBarr solve = Record(start);
    solve.SetOptionData(price, solve.strOptionPrice);
    solve.CalcBarr(code + 1000);
    const float impvol = solve.GetOptionData("impvol");
    ASSERT_GT(impvol, 0.0f) << x.Text();
    EXPECT_NEAR(solve.GetOptionData("opr"), price, 1e-5 * price)
        << x.Text() << " impvol " << impvol;
    Terms root = x;
    root.sigma = impvol;
    zelBarr plain = Record(root);
    plain.CalcBarr(code);
    for (const char* key : {"opr", "delta", "gamma", "vega", "theta"}) {
      EXPECT_EQ(solve.GetOptionData(key), plain.GetOptionData(key)) << x.Text() << " " << key;
    }
    ++solved;
  }
  EXPECT_GE(solved, 12);
  EXPECT_EQ(fakes.dialogs.Count(), 0u);
}

#ifdef STRATLYN_HAVE_QUANTLIB

// The closed form the lattice is checked against agrees with QuantLib's.
TEST(BarrierLatticePropertyTest, ClosedFormAgreesWithQuantLib) {
  std::mt19937 gen(2026120901);
  using K = numerics::BarrierKind;
  const K kinds[] = {K::kDownOut, K::kDownIn, K::kUpOut, K::kUpIn};
  const testing::RefBarrier refs[] = {testing::RefBarrier::kDownOut, testing::RefBarrier::kDownIn,
                                      testing::RefBarrier::kUpOut, testing::RefBarrier::kUpIn};
  for (int i = 0; i < 4000; ++i) {
    const int which = i % 4;
    const Terms x = Random(gen, which < 2);
    const double ref = testing::EuropeanBarrierValue(Ref(x), refs[which], x.h, x.rebate);
    const double mine = numerics::BarrierValue(x.sign, kinds[which], x.s, x.k, x.h, x.rebate,
                                               x.days / 360.0, x.r, x.q, x.sigma);
    EXPECT_NEAR(mine, ref, 1e-9 * std::fmax(1.0, std::fabs(ref))) << which << " " << x.Text();
  }
}

TEST(BarrierLatticePropertyTest, GeneratedBarriersAgreeWithTheClosedFormOrAreRefused) {
  FakeServices fakes;
  zelBarr c;
  std::mt19937 gen(2026120902);
  const int euro[] = {c.EURODOWNOUT, c.EURODOWNIN, c.EUROUPOUT, c.EUROUPIN};
  const testing::RefBarrier refs[] = {testing::RefBarrier::kDownOut, testing::RefBarrier::kDownIn,
                                      testing::RefBarrier::kUpOut, testing::RefBarrier::kUpIn};
  int compared = 0, refused = 0;
  for (int i = 0; i < 240; ++i) {
    const bool down = i % 2 == 0;
    Terms x = Random(gen, down);
    const int out_code = down ? euro[0] : euro[2], in_code = down ? euro[1] : euro[3];
    const testing::RefOption ref = Ref(x);
    const double out = Value(x, out_code, fakes), in = Value(x, in_code, fakes);
    const double ref_out = testing::EuropeanBarrierValue(ref, refs[down ? 0 : 2], x.h, x.rebate);
    const double ref_in = testing::EuropeanBarrierValue(ref, refs[down ? 1 : 3], x.h, x.rebate);
    for (const auto& [value, reference, what] :
         {std::tuple{out, ref_out, "out"}, std::tuple{in, ref_in, "in"}}) {
      if (std::isnan(value)) {
        ++refused;
        continue;
      }
      ++compared;
      EXPECT_NEAR(value, reference, Tolerance(reference, x)) << what << " " << x.Text();
    }
    // Without a rebate in and out make the plain European option.
    if (x.rebate == 0 && !std::isnan(out) && !std::isnan(in)) {
      const double plain = testing::EuropeanValue(ref);
      EXPECT_NEAR(in + out, plain, Tolerance(ref_in, x) + Tolerance(ref_out, x)) << x.Text();
    }
    // American at least European, the American knock-out and knock-in
    // without a rebate no more than the American plain option.
    const double am_out = Value(x, out_code + 1, fakes), am_in = Value(x, in_code + 1, fakes);
    if (!std::isnan(am_out) && !std::isnan(out)) {
      EXPECT_GE(am_out, out - 1e-5 * std::fabs(out)) << "American out " << x.Text();
    }
    if (!std::isnan(am_in) && !std::isnan(in)) {
      EXPECT_GE(am_in, in - 1e-5 * std::fabs(in)) << "American in " << x.Text();
    }
    if (x.rebate == 0) {
      const double am_plain = Value(x, c.AMERVANILLA, fakes);
      if (!std::isnan(am_plain)) {
        const double slack = 1e-5 * am_plain + 1e-6;
        if (!std::isnan(am_in)) {
          EXPECT_LE(am_in, am_plain + slack) << "American in " << x.Text();
        }
        if (!std::isnan(am_out)) {
          EXPECT_LE(am_out, am_plain + slack) << "American out " << x.Text();
        }
      }
    }
  }
  EXPECT_GT(compared, 400);
  EXPECT_LT(refused, 10);
}

// Gamma of European barriers near the spot against QuantLib's closed form,
// differenced in the spot: with the barrier within a row or two of the spot
// the lattice's gamma must not be read across the barrier's kink.
TEST(BarrierLatticePropertyTest, GammaNearTheBarrierAgreesWithTheClosedForm) {
  FakeServices fakes;
  zelBarr c;
  std::mt19937 gen(2026120903);
  std::uniform_real_distribution<double> unit(0.0, 1.0);
  const int euro[] = {c.EURODOWNOUT, c.EURODOWNIN, c.EUROUPOUT, c.EUROUPIN};
  const testing::RefBarrier refs[] = {testing::RefBarrier::kDownOut, testing::RefBarrier::kDownIn,
                                      testing::RefBarrier::kUpOut, testing::RefBarrier::kUpIn};
  int compared = 0;
  for (int i = 0; i < 80; ++i) {
    const int which = i % 4;
    const bool down = which < 2;
    Terms x = Random(gen, down);
    x.rebate = 0;
    x.days = 360 * (1 + static_cast<int>(4 * unit(gen)));
    x.sigma = static_cast<float>(0.3 + 0.5 * unit(gen));
    // 2 % to 8 % from the spot: within a row or two of it.
    const double gap = 0.02 + 0.06 * unit(gen);
    x.h = static_cast<float>(down ? 100 * (1 - gap) : 100 * (1 + gap));
    zelBarr b = Record(x);
    const size_t shown = fakes.dialogs.Count();
    b.CalcBarr(euro[which]);
    if (fakes.dialogs.Count() != shown) {
      continue;
    }
    const double gamma = b.GetOptionData(b.strGamma);
    testing::RefOption ref = Ref(x);
    const double ds = 0.002 * x.s;
    const auto at = [&](double s) {
      ref.s = s;
      return testing::EuropeanBarrierValue(ref, refs[which], x.h, 0);
    };
    const double expected = (at(x.s + ds) - 2 * at(x.s) + at(x.s - ds)) / (ds * ds);
    // A tenth of the at-the-money gamma 0.4 / (S sigma sqrt(T)), and 10 %.
    const double atm = 0.4 / (x.s * x.sigma * std::sqrt(x.T()));
    EXPECT_NEAR(gamma, expected, 0.1 * atm + 0.1 * std::fabs(expected)) << which << " " << x.Text();
    ++compared;
  }
  EXPECT_GT(compared, 70);
}

// An American up-and-out put whose spot a coarse lattice puts in the
// exercise region (23.31, exercised at once). An explicit finite-difference
// solution of the same terms (1500 rows in log price) gives 23.4948, and so
// does QuantLib's binomial barrier engine at 3000 steps.
TEST(BarrierLatticePropertyTest, AmericanKnockOutIsNotExercisedAtOnceOnACoarseLattice) {
  FakeServices fakes;
  zelBarr c;
  Terms x;
  x.sign = -1;
  x.k = 123.31f;
  x.days = 1800;
  x.r = 0.1237f;
  x.q = 0.0263f;
  x.sigma = 0.3181f;
  x.h = 137.939f;
  const double value = Value(x, c.AMERUPOUT, fakes);
  ASSERT_FALSE(std::isnan(value));
  const double plain = Value(x, c.AMERVANILLA, fakes);
  EXPECT_LE(value, plain);
  EXPECT_NEAR(value, 23.4948, 2e-3 * 23.4948 + 1e-4 * x.k) << x.Text();
}

#endif

}  // namespace
}  // namespace stratlyn
