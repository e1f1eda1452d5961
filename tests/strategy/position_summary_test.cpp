// Break-evens and the probability of profit where the profit is 0 over a
// stretch of prices (a spread or butterfly bought for exactly what it pays
// at worst, a risk reversal for nothing), against an independent reading of
// the payoff: at expiry the profit is straight between strikes, so its zeros
// and signs follow from plain arithmetic on the legs.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <optional>
#include <random>
#include <vector>

#include "strategy/position.h"

namespace stratlyn {
namespace {

const Market kMarket{50, 0.1, 0.02, 0.25};
constexpr double kT = 0.25;

// The profit at expiry of the legs at their given prices, computed here.
double ExpiryProfit(const Position& legs, double s) {
  double sum = 0;
  for (const Leg& leg : legs) {
    double payoff = s;
    if (leg.kind == LegKind::kCall) {
      payoff = std::max(s - leg.strike, 0.0);
    } else if (leg.kind == LegKind::kPut) {
      payoff = std::max(leg.strike - s, 0.0);
    }
    sum += leg.quantity * (payoff - *leg.price);
  }
  return sum;
}

int SignOf(double v) { return (v > 0) - (v < 0); }

double Cdf(double x) {
  if (x <= 0) {
    return 0;
  }
  const double drift = (kMarket.rate - kMarket.yield - 0.5 * kMarket.vol * kMarket.vol) * kT;
  const double z = (std::log(x / kMarket.spot) - drift) / (kMarket.vol * std::sqrt(kT));
  return 0.5 * std::erfc(-z / std::sqrt(2.0));
}

struct Reference {
  std::vector<double> break_evens;
  double probability = 0;
  bool flat = false;  // 0 over a stretch of prices
};

// Zeros of the straight pieces between strikes (and beyond the last), the
// sign between them, and from those the break-evens: every zero with a
// non-zero profit on at least one side.
Reference ExpiryReference(const Position& legs) {
  std::vector<double> knots = {0};
  double tail_slope = 0;
  for (const Leg& leg : legs) {
    if (leg.kind != LegKind::kUnderlying) {
      knots.push_back(leg.strike);
    }
    if (leg.kind != LegKind::kPut) {
      tail_slope += leg.quantity;
    }
  }
  std::sort(knots.begin(), knots.end());
  knots.erase(std::unique(knots.begin(), knots.end()), knots.end());
  std::vector<double> special = knots;
  for (std::size_t i = 0; i + 1 < knots.size(); ++i) {
    const double a = ExpiryProfit(legs, knots[i]), b = ExpiryProfit(legs, knots[i + 1]);
    if (a * b < 0) {
      special.push_back(knots[i] + (knots[i + 1] - knots[i]) * a / (a - b));
    }
  }
  const double last = knots.back(), p_last = ExpiryProfit(legs, last);
  if (p_last * tail_slope < 0) {
    special.push_back(last - p_last / tail_slope);
  }
  std::sort(special.begin(), special.end());
  // The class right of each special point (between it and the next).
  std::vector<int> right(special.size());
  for (std::size_t i = 0; i < special.size(); ++i) {
    const double x = i + 1 < special.size() ? 0.5 * (special[i] + special[i + 1]) : special[i] + 1;
    right[i] = SignOf(ExpiryProfit(legs, x));
    if (i + 1 == special.size() && tail_slope != 0) {
      right[i] = SignOf(tail_slope);
    }
  }
  Reference r;
  for (std::size_t i = 0; i < special.size(); ++i) {
    const bool zero = std::fabs(ExpiryProfit(legs, special[i])) < 1e-9;
    const int left = i > 0 ? right[i - 1] : 0;
    if (zero && (left != 0 || right[i] != 0)) {
      r.break_evens.push_back(special[i]);
    }
    r.flat = r.flat || right[i] == 0;
    if (right[i] > 0) {
      const double hi = i + 1 < special.size() ? Cdf(special[i + 1]) : 1.0;
      r.probability += hi - Cdf(special[i]);
    }
  }
  return r;
}

TEST(PositionFlatProfit, SpreadsBoughtForWhatTheyPayAtWorstBreakEvenAtTheirStrikes) {
  // +C50 -C55 for 3 each: nothing below 50, 5 above 55. The old figures were
  // a break-even at 0 and a 100 % probability of profit.
  Position bull = {{1, LegKind::kCall, 50, kT, false, 3.0},
                   {-1, LegKind::kCall, 55, kT, false, 3.0}};
  PositionPricer p(bull, kMarket);
  const CurveSummary s = p.Summarise(p.Horizon());
  ASSERT_EQ(s.break_evens.size(), 1u);
  EXPECT_DOUBLE_EQ(s.break_evens[0], 50);
  EXPECT_NEAR(s.probability_of_profit, 1 - Cdf(50), 1e-12);
  EXPECT_EQ(s.max_loss, 0.0);
  EXPECT_EQ(s.max_profit, 5.0);

  // Butterfly 45/50/55 for nothing: profit only between 45 and 55 (it was a
  // break-even at 0 and 55 and a 0 % probability).
  Position fly = {{1, LegKind::kCall, 45, kT, false, 3.0},
                  {-2, LegKind::kCall, 50, kT, false, 3.0},
                  {1, LegKind::kCall, 55, kT, false, 3.0}};
  PositionPricer f(fly, kMarket);
  const CurveSummary b = f.Summarise(f.Horizon());
  ASSERT_EQ(b.break_evens.size(), 2u);
  EXPECT_DOUBLE_EQ(b.break_evens[0], 45);
  EXPECT_DOUBLE_EQ(b.break_evens[1], 55);
  EXPECT_NEAR(b.probability_of_profit, Cdf(55) - Cdf(45), 1e-12);

  // Risk reversal for nothing: losing below 45, 0 to 55, gaining above (it
  // was one break-even at 45 and the probability of S > 45).
  Position rr = {{1, LegKind::kCall, 55, kT, false, 2.0}, {-1, LegKind::kPut, 45, kT, false, 2.0}};
  PositionPricer q(rr, kMarket);
  const CurveSummary r = q.Summarise(q.Horizon());
  ASSERT_EQ(r.break_evens.size(), 2u);
  EXPECT_DOUBLE_EQ(r.break_evens[0], 45);
  EXPECT_DOUBLE_EQ(r.break_evens[1], 55);
  EXPECT_NEAR(r.probability_of_profit, 1 - Cdf(55), 1e-12);
}

TEST(PositionFlatProfit, RandomPositionsAtExpiryMatchTheStraightPieceReference) {
  // Whole-number strikes and prices, so that profits of exactly 0 over a
  // stretch are common.
  std::mt19937 rng(20261209);
  std::uniform_int_distribution<int> n_legs(1, 4), kind(0, 5), strike(8, 12), price(0, 6),
      qty(-2, 2);
  int flat = 0;
  for (int c = 0; c < 4000; ++c) {
    Position legs;
    const int n = n_legs(rng);
    for (int i = 0; i < n; ++i) {
      Leg leg;
      const int k = kind(rng);
      leg.kind = k == 5 ? LegKind::kUnderlying : (k % 2 ? LegKind::kPut : LegKind::kCall);
      leg.strike = 5.0 * strike(rng);
      leg.maturity = kT;
      int q = qty(rng);
      leg.quantity = q == 0 ? 1 : q;
      leg.price = leg.kind == LegKind::kUnderlying ? 45.0 + price(rng) : 1.0 * price(rng);
      legs.push_back(leg);
    }
    if (!CheckPosition(legs, kMarket).empty()) {
      continue;
    }
    const Reference ref = ExpiryReference(legs);
    PositionPricer p(legs, kMarket);
    const CurveSummary s = p.Summarise(p.Horizon());
    ASSERT_EQ(s.break_evens.size(), ref.break_evens.size()) << "case " << c;
    for (std::size_t i = 0; i < ref.break_evens.size(); ++i) {
      EXPECT_NEAR(s.break_evens[i], ref.break_evens[i], 1e-9 * (1 + ref.break_evens[i]))
          << "case " << c;
    }
    EXPECT_NEAR(s.probability_of_profit, ref.probability, 1e-9) << "case " << c;
    flat += ref.flat ? 1 : 0;
  }
  EXPECT_GT(flat, 100);  // the cases this is about did come up
}

TEST(PositionFlatProfit, ALiveSpreadShowsNoLossAndNoBreakEvenFromTheClosedFormsError) {
  // At a date before expiry the spread bought for nothing is worth something
  // at every price; where both calls are worth less than the closed form
  // resolves, their difference is noise of either sign, which gave a largest
  // loss of -0.000002 and three break-evens in it.
  Position bull = {{1, LegKind::kCall, 50, kT, false, 3.0},
                   {-1, LegKind::kCall, 55, kT, false, 3.0}};
  PositionPricer p(bull, Market{50, 0.1, 0, 0.25});
  for (const double at : {0.0, 0.1, 0.2}) {
    const CurveSummary s = p.Summarise(at);
    ASSERT_TRUE(s.max_loss.has_value());
    EXPECT_EQ(*s.max_loss, 0.0) << at;
    ASSERT_EQ(s.break_evens.size(), 1u) << at;
    // Above the break-even the profit is a figure, not noise.
    EXPECT_GT(p.Profit(s.break_evens[0] * 1.05, at), 1e-4) << at;
    EXPECT_LT(std::fabs(p.Profit(s.break_evens[0] * 0.95, at)), 1e-3) << at;
  }
}

// The closed form with an exact cumulative normal, for the references below.
double BlackScholes(bool call, double s, double k, double t, const Market& m) {
  const double d1 =
      (std::log(s / k) + (m.rate - m.yield + 0.5 * m.vol * m.vol) * t) / (m.vol * std::sqrt(t));
  const double d2 = d1 - m.vol * std::sqrt(t);
  const auto n = [](double x) { return 0.5 * std::erfc(-x / std::sqrt(2.0)); };
  const double fs = s * std::exp(-m.yield * t), fk = k * std::exp(-m.rate * t);
  return call ? fs * n(d1) - fk * n(d2) : fk * n(-d2) - fs * n(-d1);
}

TEST(PositionSummary, BreakEvenPatternsKeepSixDigitsBelowOne) {
  EXPECT_EQ(BreakEvenPattern(52.409), "0.00##");
  EXPECT_EQ(BreakEvenPattern(0), "0.00##");
  EXPECT_EQ(BreakEvenPattern(0.5), "0.00####");
  EXPECT_EQ(BreakEvenPattern(0.0106889), "0.00#####");
  EXPECT_EQ(BreakEvenPattern(0.00004), "0.00########");
  EXPECT_TRUE(NoLoss(2.47));
  EXPECT_FALSE(NoLoss(0.0));
  EXPECT_FALSE(NoLoss(std::nullopt));
  EXPECT_TRUE(NoGain(-9.07));
  EXPECT_FALSE(NoGain(0.0));
}

TEST(PositionSummary, LargestProfitAndLossBeforeExpiryAreTheCurvesOwn) {
  // Wide markets make the scan's steps a fifth of the price: the largest
  // figures were read off the scan, -10.96 against -9.08 and -72.94 against
  // -74.90. The references take the extreme of the exact curve on a fine grid.
  struct Case {
    Market market;
    Position legs;
    double years;
    bool profit;  // the largest profit (else the largest loss)
  };
  const std::vector<Case> cases = {
      {Market{1200, 0.0, -0.01, 0.6},
       {{-2, LegKind::kCall, 1500, 1.0, false, 26.36},
        {-2, LegKind::kPut, 1320, 1.0, false, 355.0},
        {-1, LegKind::kUnderlying, 0, 0, false, 1227.83}},
       0.2,
       true},
      {Market{1200, 0.1, 0, 0.6},
       {{-1, LegKind::kCall, 1500, 1.0, false, 229.0},
        {2, LegKind::kCall, 1320, 0.25, false, 108.6}},
       0.1,
       false},
  };
  for (const Case& c : cases) {
    PositionPricer p(c.legs, c.market);
    const CurveSummary s = p.Summarise(c.years);
    const auto exact = [&](double x) {
      double sum = 0;
      for (const Leg& leg : c.legs) {
        const double v = leg.kind == LegKind::kUnderlying
                             ? x
                             : BlackScholes(leg.kind == LegKind::kCall, x, leg.strike,
                                            leg.maturity - c.years, c.market);
        sum += leg.quantity * (v - *leg.price);
      }
      return sum;
    };
    double extreme = c.profit ? -1e300 : 1e300;
    for (double x = 1; x < 20000; x += 0.05) {
      extreme = c.profit ? std::max(extreme, exact(x)) : std::min(extreme, exact(x));
    }
    const std::optional<double> shown = c.profit ? s.max_profit : s.max_loss;
    ASSERT_TRUE(shown.has_value());
    // The records' closed form errs by up to 1.5e-5 of price plus strike a leg.
    EXPECT_NEAR(*shown, extreme, 0.1) << c.market.spot;
  }
}

}  // namespace
}  // namespace stratlyn
