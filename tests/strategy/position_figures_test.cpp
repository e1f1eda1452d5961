// A position's figures are figures or the position is refused: no record's
// sentinel (-999, -9999) is ever summed, plotted or written.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <optional>
#include <random>
#include <string>

#include "pricing/zel_bsop.h"
#include "strategy/position.h"
#include "support/fake_services.h"
#include "util/zel_error.h"

namespace stratlyn {
namespace {

bool IsFigure(double v) { return std::isfinite(v) && v != -999.0 && v != -9999.0; }

TEST(PositionFigures, ALegTheLatticeRefusesRefusesThePositionWithItsMessage) {
  testing::FakeServices fakes;
  // Rate 0.3 against volatility 0.02 over ten years: no lattice fits.
  const Market market{100, 0.3, 0, 0.02};
  const Position straddle = {Leg{1, LegKind::kCall, 100, 10, true, std::nullopt},
                             Leg{1, LegKind::kPut, 100, 10, true, std::nullopt}};
  try {
    PositionPricer p(straddle, market);
    ADD_FAILURE() << "priced, net premium " << p.NetPremium();
  } catch (const StrategyInputError& e) {
    const std::string what = e.what();
    EXPECT_EQ(what.rfind("Leg 1: ", 0), 0u) << what;
    EXPECT_NE(what.find("drift"), std::string::npos) << what;
  }
  // The message is the refusal's, not a box of its own besides.
  EXPECT_EQ(fakes.dialogs.Count(), 0u);

  // A European leg beside an American one the lattice refuses: still refused.
  const Position mixed = {Leg{1, LegKind::kCall, 100, 1, false, std::nullopt},
                          Leg{-1, LegKind::kPut, 100, 10, true, std::nullopt}};
  try {
    PositionPricer p(mixed, market);
    ADD_FAILURE() << "priced";
  } catch (const StrategyInputError& e) {
    EXPECT_EQ(std::string(e.what()).rfind("Leg 2: ", 0), 0u) << e.what();
  }
}

// A European leg whose value the closed form cannot resolve (an
// at-the-money put at vol 0.0001 reads 0.00168 against 0.00399) refuses the
// position naming the leg, whether its entry is the model's value or a price
// given (its Greeks today are shown too).
TEST(PositionFigures, ALegTheClosedFormCannotResolveRefusesThePosition) {
  testing::FakeServices fakes;
  const Market market{100, 0, 0, 0.0001};
  for (const std::optional<double> price :
       {std::optional<double>{}, std::optional<double>{0.004}}) {
    const Position legs = {Leg{1, LegKind::kCall, 130, 1, false, 0.5},
                           Leg{1, LegKind::kPut, 100, 1, false, price}};
    try {
      PositionPricer p(legs, market);
      p.Greeks();
      ADD_FAILURE() << "priced, net premium " << p.NetPremium();
    } catch (const StrategyInputError& e) {
      EXPECT_EQ(std::string(e.what()), std::string("Leg 2: ") + zelBSOP::kUnresolvedValue);
    }
  }
  // The same put at vol 0.2 is priced as before.
  PositionPricer p({Leg{1, LegKind::kPut, 100, 1, false, std::nullopt}}, Market{100, 0, 0, 0.2});
  EXPECT_NEAR(p.Greeks().delta, -0.4602, 1e-3);
  EXPECT_EQ(fakes.dialogs.Count(), 0u);
}

// Generated positions and markets: every figure of the ones
// priced is finite and no sentinel; the others are refused with a message.
TEST(PositionFigures, GeneratedPositionsGiveFiguresOrARefusal) {
  testing::FakeServices fakes;
  std::mt19937 rng(6);
  std::uniform_real_distribution<double> unit(0.0, 1.0);
  const auto between = [&](double lo, double hi) { return lo + (hi - lo) * unit(rng); };
  int priced = 0, refused = 0, faults = 0;
  // 250 positions of one to three legs over a curve each: a few thousand
  // lattices, quick enough for the sanitizer build too.
  for (int n = 0; n < 250; ++n) {
    // One market in twenty is one no lattice fits (a drift far beyond the
    // volatility); the others keep the lattice small enough to be quick.
    const bool unusable = n % 20 == 0;
    const Market market = unusable ? Market{between(50, 150), 0.3, 0, 0.02}
                                   : Market{between(5, 200), between(-0.05, 0.15), between(0, 0.1),
                                            std::exp(between(std::log(0.1), std::log(1.2)))};
    Position legs;
    const int count = 1 + static_cast<int>(unit(rng) * 3);
    for (int i = 0; i < count; ++i) {
      Leg leg;
      leg.quantity = unit(rng) < 0.5 ? -1 : 1 + static_cast<int>(unit(rng) * 2);
      leg.kind = unit(rng) < 0.45  ? LegKind::kCall
                 : unit(rng) < 0.9 ? LegKind::kPut
                                   : LegKind::kUnderlying;
      leg.strike = market.spot * between(0.5, 1.5);
      leg.maturity = unusable ? 10 : std::exp(between(std::log(0.02), std::log(5)));
      leg.american = unusable || unit(rng) < 0.3;
      legs.push_back(leg);
    }
    if (!CheckPosition(legs, market).empty()) {
      continue;
    }
    try {
      PositionPricer p(legs, market);
      for (std::size_t i = 0; i < legs.size(); ++i) {
        ASSERT_TRUE(IsFigure(p.EntryPrice(i))) << n;
        ASSERT_GE(p.EntryPrice(i), 0.0) << n;
      }
      ASSERT_TRUE(IsFigure(p.NetPremium())) << n;
      const double at = p.Horizon() * unit(rng);
      for (const double years : {p.Horizon(), at}) {
        const CurveSummary s = p.Summarise(years);
        for (const double b : s.break_evens) ASSERT_TRUE(IsFigure(b)) << n;
        ASSERT_TRUE(!s.max_profit || IsFigure(*s.max_profit)) << n;
        ASSERT_TRUE(!s.max_loss || IsFigure(*s.max_loss)) << n;
        ASSERT_GE(s.probability_of_profit, 0.0) << n;
        ASSERT_LE(s.probability_of_profit, 1.0) << n;
      }
      const PositionGreeks g = p.Greeks();
      for (const double v : {g.delta, g.gamma, g.vega, g.theta, g.rho}) {
        ASSERT_TRUE(IsFigure(v)) << n;
      }
      for (const CurvePoint& c : p.Curve(7, 0, 2 * market.spot, at)) {
        ASSERT_TRUE(IsFigure(c.at_expiry) && IsFigure(c.at_date)) << n;
      }
      ++priced;
    } catch (const StrategyInputError& e) {
      ASSERT_NE(std::string(e.what()).find("Leg "), std::string::npos) << e.what();
      ++refused;
    } catch (const zelError& e) {
      // A run-time fault of a record's formula: reported by the error
      // handler, never a figure.
      ADD_FAILURE() << n << " " << e.Description() << " spot " << market.spot << " rate "
                    << market.rate << " yield " << market.yield << " vol " << market.vol;
      ++faults;
    }
  }
  EXPECT_GT(priced, 125);
  EXPECT_EQ(faults, 0);
  EXPECT_GE(refused, 5);  // the lattice's refusals were exercised
  EXPECT_EQ(fakes.dialogs.Count(), 0u);
}

// A put's value where the underlying is worthless: the strike, paid now or at
// expiry. With a negative rate the strike at expiry is worth more than the
// strike now, so the American put is worth the discounted strike, as the
// European one; with a positive rate, the strike (exercised at once). Both
// puts lose value as the price rises from 0.
TEST(PositionFigures, APutOnAWorthlessUnderlyingIsWorthTheLargerOfStrikeAndDiscountedStrike) {
  testing::FakeServices fakes;
  for (const double rate : {-0.05, -0.5, 0.05}) {
    const Market market{50, rate, 0, 0.3};
    for (const bool american : {false, true}) {
      const Position put = {Leg{1, LegKind::kPut, 50, 1, american, 0.0}};
      PositionPricer p(put, market);
      const double held = 50 * std::exp(-rate * 1);
      const double at_zero = p.Profit(0, 0);
      const double expected = american ? std::max(50.0, held) : held;
      EXPECT_NEAR(at_zero, expected, 1e-9 * expected)
          << "rate " << rate << (american ? " american" : " european");
      double before = at_zero;
      for (const double spot : {0.5, 2.0, 10.0}) {
        const double v = p.Profit(spot, 0);
        // A lattice's rounding aside, never more than at a lower price.
        EXPECT_LE(v, before + 1e-3 * expected)
            << "rate " << rate << (american ? " american" : " european") << " spot " << spot;
        before = v;
      }
    }
  }
}

// An American leg whose lattice overflows at a price the figures need (a
// one-day put with 1 % volatility, valued far from the spot): the position
// is refused with the leg and that price, never ended by a run-time error.
TEST(PositionFigures, ALatticeFaultAtAPriceTheFiguresNeedRefusesThePosition) {
  testing::FakeServices fakes;
  const Market market{50, 0.05, 0, 0.01};
  const Position put = {Leg{1, LegKind::kPut, 50, 0.003, true, std::nullopt}};
  try {
    PositionPricer p(put, market);
    const CurveSummary s = p.Summarise(0);
    for (const CurvePoint& c : p.Curve(11, 0, 100, 0)) {
      ASSERT_TRUE(IsFigure(c.at_date)) << c.spot;
    }
    EXPECT_TRUE(IsFigure(s.probability_of_profit));
  } catch (const StrategyInputError& e) {
    const std::string what = e.what();
    EXPECT_EQ(what.rfind("Leg 1: ", 0), 0u) << what;
    EXPECT_NE(what.find(kLatticeOutOfRange), std::string::npos) << what;
  } catch (const zelError& e) {
    ADD_FAILURE() << "run-time error " << e.Description();
  }
  EXPECT_EQ(fakes.dialogs.Count(), 0u);
}

}  // namespace
}  // namespace stratlyn
