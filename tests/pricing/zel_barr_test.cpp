#include "pricing/zel_barr.h"

#include <gtest/gtest.h>

#include <cmath>

#include "numerics/brent.h"
#include "pricing/zel_bsop.h"
#include "support/fake_services.h"
#include "util/zel_error.h"

namespace stratlyn {
namespace {

using testing::FakeServices;

// The initial terms (K = 50, sigma = 0.25, r = 0.1, T = 0.25, q = 0, n = 50) at S = 50.
zelBarr Fresh(double sign = 1) {
  zelBarr b;
  b.SetOptionData(50.0, b.strUnderlying);
  b.SetOptionData(sign, b.strType);
  return b;
}

struct Results {
  float price, delta, gamma, vega, theta, impvol;
  bool operator==(const Results&) const = default;
};

Results Read(const zelBarr& b) {
  return {b.GetOptionData(b.strOptionPrice), b.GetOptionData(b.strDelta),
          b.GetOptionData(b.strGamma),       b.GetOptionData(b.strVega),
          b.GetOptionData(b.strTheta),       b.GetOptionData(b.strImpliedVolatility)};
}

TEST(ZelBarrTest, VanillaFiguresOnTheFiftyStepLattice) {
  FakeServices fakes;
  zelBarr call = Fresh(1);
  call.CalcBarr(call.EUROVANILLA);
  EXPECT_NEAR(call.GetOptionData(call.strOptionPrice), 3.1262f, 5e-5);

  zelBarr put = Fresh(-1);
  put.CalcBarr(put.EUROVANILLA);
  EXPECT_NEAR(put.GetOptionData(put.strOptionPrice), 1.8920f, 5e-5);
  put.CalcBarr(put.AMERVANILLA);
  EXPECT_NEAR(put.GetOptionData(put.strOptionPrice), 2.0140f, 5e-5);
  EXPECT_EQ(put.GetOptionData(put.strRho), 0.0f);
  EXPECT_EQ(put.GetOptionData(put.strPrice), 0.0f);

  // Greeks near the closed form of the vanilla record.
  zelBSOP bs;
  bs.SetOptionData(50, bs.strUnderlying);
  bs.SetOptionData(1, bs.strType);
  EXPECT_NEAR(call.GetOptionData("delta"), bs.GetOptionData("delta"), 5e-3);
  EXPECT_NEAR(call.GetOptionData("gamma"), bs.GetOptionData("gamma"), 5e-3);
  EXPECT_NEAR(call.GetOptionData("vega"), bs.GetOptionData("vega"), 0.1);
  EXPECT_NEAR(call.GetOptionData("theta"), bs.GetOptionData("theta"), 0.3);
  // One pending-events call per layer from 50 down to 4, two runs per code
  // (value and bumped vega), three codes so far; the American put's vega and
  // theta come instead from two lattices a quarter row either side of the
  // spot, after its value's run, each valued with its vega bump in one pass.
  EXPECT_EQ(fakes.events.pending_calls, (2 * 2 + 1 + 2 * 1) * 47);
}

TEST(ZelBarrTest, SettingKeysRoundsClampsAndRejects) {
  // A barrier code: a vanilla lattice of 3 or 4 steps takes more steps until
  // it meets the closed form, the same number for both.
  zelBarr b = Fresh(1);
  b.SetOptionData(1.0, b.strNSTEPS);
  b.CalcBarr(b.EURODOWNOUT);
  const Results three = Read(b);
  b.SetOptionData(2.5, b.strNSTEPS);  // 2.5 -> 2 -> 3
  b.CalcBarr(b.EURODOWNOUT);
  EXPECT_EQ(Read(b), three);
  b.SetOptionData(4.0, b.strNSTEPS);
  b.CalcBarr(b.EURODOWNOUT);
  EXPECT_NE(Read(b).price, three.price);

  zelBarr p = Fresh(1);
  p.SetOptionData(2.0, p.strPutcall);
  p.CalcBarr(p.EUROVANILLA);
  EXPECT_NEAR(p.GetOptionData("opr"), 1.8920f, 5e-5);
  p.SetOptionData(0.5, p.strPutcall);  // unchanged
  p.CalcBarr(p.EUROVANILLA);
  EXPECT_NEAR(p.GetOptionData("opr"), 1.8920f, 5e-5);
  p.SetOptionData(0.0, p.strPutcall);
  p.CalcBarr(p.EUROVANILLA);
  EXPECT_NEAR(p.GetOptionData("opr"), 3.1262f, 5e-5);
  // A sign of 2 doubles every payoff.
  p.SetOptionData(2.0, p.strType);
  p.CalcBarr(p.EUROVANILLA);
  EXPECT_NEAR(p.GetOptionData("opr"), 2 * 3.1262f, 1e-4);

  // Text values convert; text that is not a number is a type mismatch.
  zelBarr t = Fresh(1);
  t.SetOptionData(" 0.3 ", t.strVolatility);
  zelBarr d = Fresh(1);
  d.SetOptionData(0.3, d.strVolatility);
  t.CalcBarr(t.EUROVANILLA);
  d.CalcBarr(d.EUROVANILLA);
  EXPECT_EQ(Read(t), Read(d));
  for (const char* bad : {"abc", "", "1.2.3", "12x"}) {
    try {
      t.SetOptionData(bad, t.strStrike);
      ADD_FAILURE() << "accepted '" << bad << "'";
    } catch (const zelError& e) {
      EXPECT_EQ(e.Number(), err::kTypeMismatch) << bad;
    }
  }
  // Out of the 16-bit range: overflow, nothing stored.
  for (const char* key : {"type", "nsteps"}) {
    try {
      t.SetOptionData(40000.0, key);
      ADD_FAILURE() << key;
    } catch (const zelError& e) {
      EXPECT_EQ(e.Number(), err::kOverflow);
    }
  }
  t.CalcBarr(t.EUROVANILLA);
  EXPECT_EQ(Read(t), Read(d));
}

TEST(ZelBarrTest, TooManyStepsOverflowBeforeAnyWork) {
  FakeServices fakes;
  zelBarr b = Fresh(1);
  b.CalcBarr(b.EUROVANILLA);
  const Results before = Read(b);
  b.SetOptionData(16383.0, b.strNSTEPS);
  try {
    b.CalcBarr(b.EUROVANILLA);
    FAIL() << "no overflow";
  } catch (const zelError& e) {
    EXPECT_EQ(e.Number(), err::kOverflow);
  }
  EXPECT_EQ(Read(b), before);
  EXPECT_EQ(fakes.events.pending_calls, 2 * 47);  // only the first calculation's
}

TEST(ZelBarrTest, VanillaCodesZeroTheBarrierForGood) {
  zelBarr a = Fresh(1), b = Fresh(1);
  a.CalcBarr(a.EUROVANILLA);
  a.CalcBarr(a.EURODOWNOUT);  // barrier now 0: never knocked out
  b.SetOptionData(0.0, b.strBarrier);
  b.CalcBarr(b.EURODOWNOUT);
  EXPECT_EQ(Read(a), Read(b));
  zelBarr c = Fresh(1);  // barrier 45 kept
  c.CalcBarr(c.EURODOWNOUT);
  EXPECT_LT(c.GetOptionData("opr"), a.GetOptionData("opr"));
}

TEST(ZelBarrTest, UnknownCodeChangesNothing) {
  zelBarr b = Fresh(-1);
  b.CalcBarr(b.AMERDOWNOUT);
  const Results before = Read(b);
  b.CalcBarr(3000);
  EXPECT_EQ(Read(b), before);
  b.CalcBarr(b.AMERDOWNOUT);  // barrier still 45, same inputs
  EXPECT_EQ(Read(b), before);
}

TEST(ZelBarrTest, CallerChangedCodeMembersChooseTheRoutine) {
  zelBarr a = Fresh(-1), b = Fresh(-1);
  a.AMERVANILLA = 1234;
  a.CalcBarr(1234);
  b.CalcBarr(b.AMERVANILLA);
  EXPECT_EQ(Read(a), Read(b));
  a.CalcBarr(1001);  // no longer a code
  EXPECT_EQ(Read(a), Read(b));
}

TEST(ZelBarrTest, BarrierParityAndLimits) {
  // In + out equals the vanilla on the lattice stretched to the barrier; the
  // up pair with the same barrier below the spot is already knocked in (the
  // vanilla itself) or out (its rebate, 0).
  for (double sign : {1.0, -1.0}) {
    zelBarr b = Fresh(sign);
    b.SetOptionData(46.0, b.strBarrier);
    b.CalcBarr(b.EURODOWNIN);
    const double down_in = b.GetOptionData("opr");
    b.CalcBarr(b.EURODOWNOUT);
    const double down_out = b.GetOptionData("opr");
    b.CalcBarr(b.EUROUPIN);
    const double up_in = b.GetOptionData("opr");
    b.CalcBarr(b.EUROUPOUT);
    const double up_out = b.GetOptionData("opr");
    zelBarr v = Fresh(sign);
    v.CalcBarr(v.EUROVANILLA);
    EXPECT_EQ(up_in, v.GetOptionData("opr")) << sign;
    EXPECT_EQ(up_out, 0.0) << sign;
    EXPECT_NEAR(down_in + down_out, v.GetOptionData("opr"), 0.02) << sign;
    EXPECT_NE(down_in + down_out, v.GetOptionData("opr"));
  }
  // Down-and-out call with the barrier above S: dead at the root, worth the rebate.
  zelBarr dead = Fresh(1);
  dead.SetOptionData(55.0, dead.strBarrier);
  dead.SetOptionData(1.5, dead.strRebate);
  dead.CalcBarr(dead.EURODOWNOUT);
  EXPECT_FLOAT_EQ(dead.GetOptionData("opr"), 1.5f);
  // Far-away barrier, no rebate: close to the vanilla.
  zelBarr far = Fresh(1);
  far.SetOptionData(5.0, far.strBarrier);
  far.CalcBarr(far.EURODOWNOUT);
  EXPECT_NEAR(far.GetOptionData("opr"), 3.1273f, 0.01);
  // American knock-outs are worth at least their European twins.
  zelBarr eu = Fresh(-1), am = Fresh(-1);
  eu.SetOptionData(58.0, eu.strBarrier);
  am.SetOptionData(58.0, am.strBarrier);
  eu.CalcBarr(eu.EUROUPOUT);
  am.CalcBarr(am.AMERUPOUT);
  EXPECT_GT(am.GetOptionData("opr"), eu.GetOptionData("opr"));
  EXPECT_GT(eu.GetOptionData("opr"), 0.0f);
}

TEST(ZelBarrTest, SmallestLatticeRunsOnlyTheLastThreeLayers) {
  FakeServices fakes;
  zelBarr b = Fresh(1);
  b.SetOptionData(3.0, b.strNSTEPS);
  // A call far out of the money: both its barrier lattice and the plain
  // option's meet their closed forms (next to 0) at 3 steps, so no step count
  // grows.
  b.SetOptionData(500.0, b.strStrike);
  b.CalcBarr(b.AMERDOWNOUT);
  EXPECT_EQ(fakes.events.pending_calls, 0);
  EXPECT_GE(b.GetOptionData("opr"), 0.0f);
}

TEST(ZelBarrTest, ImpliedVolatilityOnTheLattice) {
  FakeServices fakes;
  zelBarr b = Fresh(-1);
  b.SetOptionData(0.35, b.strVolatility);
  b.CalcBarr(b.AMERVANILLA);
  const float target = b.GetOptionData("opr");
  b.SetOptionData(0.2, b.strVolatility);
  b.SetOptionData(target, b.strOptionPrice);
  b.CalcBarr(b.AMERVANVOL);
  EXPECT_NEAR(b.GetOptionData("impvol"), 0.35f, 1e-5);
  EXPECT_NEAR(b.GetOptionData("opr"), target, 1e-4);
  EXPECT_GT(b.GetOptionData("vega"), 0.0f);

  // A starting volatility far from the answer still brackets it.
  zelBarr far = Fresh(-1);
  far.SetOptionData(2.0, far.strVolatility);
  far.SetOptionData(target, far.strOptionPrice);
  far.CalcBarr(far.AMERVANVOL);
  EXPECT_NEAR(far.GetOptionData("impvol"), 0.35f, 1e-5);

  // A price below the American put's exercise value cannot be reached: -999,
  // and the value results read 0 instead of a trial's leftovers.
  zelBarr low = Fresh(-1);
  low.SetOptionData(60.0, low.strStrike);
  low.SetOptionData(5.0, low.strOptionPrice);
  low.CalcBarr(low.AMERVANVOL);
  EXPECT_EQ(low.GetOptionData("impvol"), -999.0f);
  EXPECT_EQ(low.GetOptionData("opr"), 0.0f);
  EXPECT_EQ(fakes.dialogs.Count(), 0u);
}

// Only a positive volatility that reprices the market price is an answer;
// prices outside what any volatility gives are refused with -999 before a
// search could wander to negative volatilities.
TEST(ZelBarrTest, ImpliedVolatilityIsAPositiveRootOrMinus999) {
  FakeServices fakes;
  const auto solve = [](double sign, double s, double k, double t, double r, double q, double price,
                        int code_offset, double h = 0) {
    zelBarr b;
    b.SetOptionData(sign, b.strType);
    b.SetOptionData(s, b.strUnderlying);
    b.SetOptionData(k, b.strStrike);
    b.SetOptionData(t, b.strMaturity);
    b.SetOptionData(r, b.strRiskFree);
    b.SetOptionData(q, b.strDvl);
    b.SetOptionData(h, b.strBarrier);
    b.SetOptionData(price, b.strOptionPrice);
    b.CalcBarr(2000 + code_offset);
    return std::pair{b.GetOptionData("impvol"), b.GetOptionData("opr")};
  };
  // A low-volatility American call: the root near 0.0107, not -19.46.
  const auto [low, low_value] = solve(1, 50, 50, 0.5, 0.05, 0.04, 0.3, 1);
  EXPECT_NEAR(low, 0.0107, 2e-4);
  EXPECT_NEAR(low_value, 0.3f, 1e-5);
  // An American put worth more than its strike, an American call below its
  // exercise value, a European put above the discounted strike.
  EXPECT_EQ(solve(-1, 50, 50, 0.25, 0.1, 0, 61, 1).first, -999.0f);
  EXPECT_EQ(solve(1, 60, 50, 0.25, 0.1, 0, 5, 1).first, -999.0f);
  EXPECT_EQ(solve(-1, 50, 50, 0.25, 0.1, 0, 49, 0).first, -999.0f);
  // An American call between its European floor and its exercise value.
  EXPECT_EQ(solve(1, 60, 50, 0.25, 0.1, 0.2, 9.9, 1).first, -999.0f);
  // A down-and-out call above anything the lattice reaches; a reachable one.
  const auto [none, none_value] = solve(1, 100, 100, 1, 0.05, 0, 40, 2, 90);
  EXPECT_EQ(none, -999.0f);
  EXPECT_EQ(none_value, 0.0f);
  const auto [barrier, barrier_value] = solve(1, 100, 100, 1, 0.05, 0, 8, 2, 90);
  EXPECT_GT(barrier, 0.0f);
  EXPECT_NEAR(barrier_value, 8.0f, 1e-4);
  // Knocked out already (the spot on or past the barrier, of either side):
  // worth its rebate at every volatility, so no volatility is implied, also
  // when the price is that rebate. Knocked in, it is the plain option,
  // whose volatility is found.
  for (const int offset : {2, 3, 6, 7}) {
    const bool down = offset < 4;
    for (const double h : {down ? 100.0 : 100.0, down ? 105.0 : 95.0}) {
      zelBarr b;
      b.SetOptionData(100.0, b.strUnderlying);
      b.SetOptionData(100.0, b.strStrike);
      b.SetOptionData(1.0, b.strMaturity);
      b.SetOptionData(0.05, b.strRiskFree);
      b.SetOptionData(h, b.strBarrier);
      b.SetOptionData(3.0, b.strRebate);
      b.SetOptionData(3.0, b.strOptionPrice);
      b.CalcBarr(2000 + offset);
      EXPECT_EQ(b.GetOptionData("impvol"), -999.0f) << "code " << 2000 + offset << " H " << h;
    }
  }
  const auto [knocked_in, knocked_in_value] = solve(1, 100, 100, 1, 0.05, 0, 8, 4, 105);
  EXPECT_NEAR(knocked_in, solve(1, 100, 100, 1, 0.05, 0, 8, 0).first, 1e-3);
  EXPECT_NEAR(knocked_in_value, 8.0f, 1e-4);
  EXPECT_EQ(fakes.dialogs.Count(), 0u);
}

TEST(ZelBarrTest, InvalidInputsRaiseRunTimeErrors) {
  struct Case {
    const char* key;
    double value;
  };
  for (const Case& c : {Case{"uasset", 0.0}, Case{"uasset", -5.0}, Case{"strike", 0.0},
                        Case{"mat", 0.0}, Case{"mat", -1.0}, Case{"vol", 0.0}}) {
    zelBarr b = Fresh(1);
    b.SetOptionData(c.value, c.key);
    EXPECT_THROW(b.CalcBarr(b.AMERVANILLA), zelError) << c.key << " " << c.value;
  }
}

// A handler run from the lattice's events that calls the record again (a
// second Calculate) is refused, at every event of the run, and the run under
// way gives exactly the figures of a run left alone: value and every Greek,
// for a value and for an implied-volatility search.
TEST(ZelBarrTest, ReentryDuringEventsIsRefusedAndTheRunKeepsItsFigures) {
  for (const int code : {1001, 2001, 1003}) {
    FakeServices fakes;
    zelBarr b = Fresh(-1);
    zelBarr plain = Fresh(-1);
    for (zelBarr* r : {&b, &plain}) {
      r->SetOptionData(2.25, r->strOptionPrice);
      r->SetOptionData(45.0, r->strBarrier);
    }
    const int member = code == 1001 ? b.AMERVANILLA : code == 2001 ? b.AMERVANVOL : b.AMERDOWNIN;
    plain.CalcBarr(member);  // before the handler below is in place
    int events = 0, refused = 0, other = 0;
    fakes.events.on_pending = [&] {
      ++events;
      try {
        b.SetOptionData(60.0, b.strStrike);  // a second entry's new terms
      } catch (const zelError& e) {
        refused += e.Description() == zelBarr::kCalculationRunning ? 1 : 0;
        other += e.Description() == zelBarr::kCalculationRunning ? 0 : 1;
      }
      try {
        b.SetOptionData(400.0, b.strNSTEPS);
        b.CalcBarr(b.AMERVANILLA);
      } catch (const zelError& e) {
        refused += e.Description() == zelBarr::kCalculationRunning ? 1 : 0;
        other += e.Description() == zelBarr::kCalculationRunning ? 0 : 1;
      }
    };
    b.CalcBarr(member);
    ASSERT_GT(events, 0) << code;
    EXPECT_EQ(refused, 2 * events) << code;
    EXPECT_EQ(other, 0) << code;
    EXPECT_EQ(Read(b), Read(plain)) << code;
    EXPECT_GT(Read(b).price, 0.0f) << code;
    // Once the run is over the record takes new terms and runs again.
    fakes.events.on_pending = nullptr;
    b.SetOptionData(60.0, b.strStrike);
    plain.SetOptionData(60.0, plain.strStrike);
    b.CalcBarr(member);
    plain.CalcBarr(member);
    EXPECT_EQ(Read(b), Read(plain)) << code;
  }
}

// The one root finder of the records and of the library's lattice: the
// records' relative tolerance by default, a double's when the library asks.
TEST(BrentSearchTest, RelativeToleranceIsTheCallersChoice) {
  const auto cube = [](double x) { return x * x * x - 2.0; };
  const double root = std::cbrt(2.0);
  const double record =
      BrentSearch<double>(cube, 0.0, 3.0, 0.0, -999.0, BrentStall::kReturnEstimate, 0.0);
  const double library =
      BrentSearch<double>(cube, 0.0, 3.0, 0.0, -999.0, BrentStall::kReturnEstimate, 0.0, 2e-16);
  EXPECT_LE(std::fabs(record - root), 2 * 6e-8 * root);
  EXPECT_LE(std::fabs(library - root), 1e-15);
  EXPECT_EQ(BrentSearch<double>(cube, 2.0, 3.0, 1e-9, -999.0, BrentStall::kReturnEstimate, 0.0),
            -999.0);
}

}  // namespace
}  // namespace stratlyn
