// Positions of several legs: payoffs, break-evens, extremes, probability of
// profit and Greeks against hand-computed and closed-form figures.

#include "strategy/position.h"

#include <gtest/gtest.h>

#include <cmath>
#include <map>

#include "pricing/zel_barr.h"
#include "pricing/zel_bsop.h"
#include "strategy/templates.h"

namespace stratlyn {
namespace {

const Market kMarket{50, 0.1, 0, 0.25};

// The template with every leg's price fixed: calls 3, puts 2, underlying 50,
// so that the profit at expiry is plain arithmetic.
Position Priced(StrategyTemplate t) {
  Position legs = TemplateLegs(t, 50, 0.25, 5);
  for (Leg& leg : legs) {
    leg.price = leg.kind == LegKind::kCall ? 3.0 : leg.kind == LegKind::kPut ? 2.0 : 50.0;
  }
  return legs;
}

TEST(StrategyTemplateTest, ProfitAtExpiryOfEveryTemplateAtChosenPrices) {
  // Profit at S = 40, 47, 50, 53, 60, worked out by hand from the legs
  // (K = 50, W = 5; calls cost 3, puts 2, the underlying 50).
  const std::map<StrategyTemplate, std::array<double, 5>> expected = {
      // +C50: -3 until 50, then S - 53.
      {StrategyTemplate::kLongCall, {-3, -3, -3, 0, 7}},
      // +P50: 48 - S until 50, then -2.
      {StrategyTemplate::kLongPut, {8, 1, -2, -2, -2}},
      // +S -C50: S - 47 until 50, then 3.
      {StrategyTemplate::kCoveredCall, {-7, 0, 3, 3, 3}},
      // +S +P50: -2 until 50, then S - 52.
      {StrategyTemplate::kProtectivePut, {-2, -2, -2, 1, 8}},
      // +C50 -C55, net debit 0: max(S-50,0) - max(S-55,0).
      {StrategyTemplate::kBullCallSpread, {0, 0, 0, 3, 5}},
      // +P50 -P45, debit 0.
      {StrategyTemplate::kBearPutSpread, {5, 3, 0, 0, 0}},
      // +C50 +P50, debit 5: |S - 50| - 5.
      {StrategyTemplate::kStraddle, {5, -2, -5, -2, 5}},
      // +P45 +C55, debit 5.
      {StrategyTemplate::kStrangle, {0, -5, -5, -5, 0}},
      // +C45 -2C50 +C55, debit 0: a tent 45..55 of height 5.
      {StrategyTemplate::kButterfly, {0, 2, 5, 2, 0}},
      // +P40 -P45 -C55 +C60, credit 0.
      {StrategyTemplate::kIronCondor, {-5, 0, 0, 0, -5}},
      // +S +P45 -C55, debit 49: S floored at 45, capped at 55.
      {StrategyTemplate::kCollar, {-4, -2, 1, 4, 6}},
  };
  ASSERT_EQ(expected.size(), kTemplates.size());
  for (const auto& [t, profits] : expected) {
    PositionPricer p(Priced(t), kMarket);
    const double prices[] = {40, 47, 50, 53, 60};
    for (int i = 0; i < 5; ++i) {
      EXPECT_NEAR(p.Profit(prices[i], p.Horizon()), profits[i], 1e-12)
          << TemplateInfoOf(t).caption << " at " << prices[i];
    }
  }
}

TEST(StrategyTemplateTest, KeysAndWidthChecks) {
  EXPECT_EQ(TemplateByKey("iron-condor"), StrategyTemplate::kIronCondor);
  EXPECT_FALSE(TemplateByKey("Iron condor"));
  EXPECT_THROW(TemplateLegs(StrategyTemplate::kBullCallSpread, 50, 0.25, 0), StrategyInputError);
  EXPECT_THROW(TemplateLegs(StrategyTemplate::kStrangle, 50, 0.25, -1), StrategyInputError);
  // 50 - 2 x 25 = 0: a strike that is not positive.
  EXPECT_THROW(TemplateLegs(StrategyTemplate::kIronCondor, 50, 0.25, 25), StrategyInputError);
  EXPECT_NO_THROW(TemplateLegs(StrategyTemplate::kLongCall, 50, 0.25, 0));
  const Position butterfly = TemplateLegs(StrategyTemplate::kButterfly, 50, 0.5, 5, true);
  ASSERT_EQ(butterfly.size(), 3u);
  EXPECT_EQ(butterfly[1].quantity, -2);
  EXPECT_TRUE(butterfly[1].american);
  EXPECT_EQ(butterfly[2].strike, 55);
  EXPECT_EQ(butterfly[2].maturity, 0.5);
}

TEST(StrategyPositionTest, BreakEvensOfABullSpreadAndAStraddleInClosedForm) {
  // Model prices at entry: the bull spread breaks even at K1 + net debit,
  // the straddle at K minus and plus the two premiums.
  PositionPricer bull(TemplateLegs(StrategyTemplate::kBullCallSpread, 50, 0.25, 5), kMarket);
  const double debit = bull.NetPremium();
  EXPECT_GT(debit, 0);
  EXPECT_LT(debit, 5);
  EXPECT_NEAR(debit, bull.EntryPrice(0) - bull.EntryPrice(1), 1e-12);
  const CurveSummary b = bull.Summarise(bull.Horizon());
  ASSERT_EQ(b.break_evens.size(), 1u);
  EXPECT_NEAR(b.break_evens[0], 50 + debit, 1e-9);
  ASSERT_TRUE(b.max_profit && b.max_loss);
  EXPECT_NEAR(*b.max_profit, 5 - debit, 1e-9);
  EXPECT_NEAR(*b.max_loss, -debit, 1e-9);

  PositionPricer straddle(TemplateLegs(StrategyTemplate::kStraddle, 50, 0.25, 5), kMarket);
  const double premium = straddle.EntryPrice(0) + straddle.EntryPrice(1);
  const CurveSummary s = straddle.Summarise(straddle.Horizon());
  ASSERT_EQ(s.break_evens.size(), 2u);
  EXPECT_NEAR(s.break_evens[0], 50 - premium, 1e-9);
  EXPECT_NEAR(s.break_evens[1], 50 + premium, 1e-9);
  EXPECT_FALSE(s.max_profit);  // unlimited above
  ASSERT_TRUE(s.max_loss);
  EXPECT_NEAR(*s.max_loss, -premium, 1e-9);
}

TEST(StrategyPositionTest, LongCallProbabilityOfProfitIsNd2AtTheBreakEven) {
  const Market m{50, 0.1, 0.02, 0.3};
  PositionPricer p({Leg{1, LegKind::kCall, 52, 0.5, false, std::nullopt}}, m);
  const double be = 52 + p.EntryPrice(0);
  const CurveSummary s = p.Summarise(0.5);
  ASSERT_EQ(s.break_evens.size(), 1u);
  EXPECT_NEAR(s.break_evens[0], be, 1e-9);
  const double t = 0.5;
  const double d2 = (std::log(m.spot / be) + (m.rate - m.yield - 0.5 * m.vol * m.vol) * t) /
                    (m.vol * std::sqrt(t));
  const double nd2 = 0.5 * std::erfc(-d2 / std::sqrt(2.0));
  EXPECT_NEAR(s.probability_of_profit, nd2, 1e-9);
  EXPECT_GT(s.probability_of_profit, 0.2);
  EXPECT_LT(s.probability_of_profit, 0.5);
}

TEST(StrategyPositionTest, ProbabilityOfAStraddleIsBothTails) {
  PositionPricer p(TemplateLegs(StrategyTemplate::kStraddle, 50, 0.25, 5), kMarket);
  const CurveSummary s = p.Summarise(p.Horizon());
  const auto cdf = [&](double x) {
    const double t = 0.25;
    const double z = (std::log(x / 50) - (0.1 - 0.5 * 0.0625) * t) / (0.25 * std::sqrt(t));
    return 0.5 * std::erfc(-z / std::sqrt(2.0));
  };
  EXPECT_NEAR(s.probability_of_profit, cdf(s.break_evens[0]) + 1 - cdf(s.break_evens[1]), 1e-12);
}

TEST(StrategyPositionTest, ShortCallLossIsUnlimitedAndShortPutLossIsBounded) {
  PositionPricer call({Leg{-1, LegKind::kCall, 50, 0.25, false, 3.0}}, kMarket);
  const CurveSummary c = call.Summarise(call.Horizon());
  EXPECT_FALSE(c.max_loss);
  ASSERT_TRUE(c.max_profit);
  EXPECT_DOUBLE_EQ(*c.max_profit, 3);
  ASSERT_EQ(c.break_evens.size(), 1u);
  EXPECT_NEAR(c.break_evens[0], 53, 1e-12);

  PositionPricer put({Leg{-1, LegKind::kPut, 50, 0.25, false, 2.0}}, kMarket);
  const CurveSummary p = put.Summarise(put.Horizon());
  ASSERT_TRUE(p.max_loss && p.max_profit);
  EXPECT_DOUBLE_EQ(*p.max_loss, -48);  // the underlying at 0
  EXPECT_DOUBLE_EQ(*p.max_profit, 2);

  // A covered call's loss is bounded by the underlying falling to 0, and
  // before expiry (the call still alive) the curve stays bounded above.
  PositionPricer covered(TemplateLegs(StrategyTemplate::kCoveredCall, 50, 0.25, 5), kMarket);
  const CurveSummary before = covered.Summarise(0.1);
  ASSERT_TRUE(before.max_profit && before.max_loss);
  EXPECT_LT(*before.max_profit, covered.EntryPrice(1));
  EXPECT_NEAR(*before.max_loss, -(50 - covered.EntryPrice(1)), 0.05);
}

TEST(StrategyPositionTest, CurveBeforeExpiryIsTheRecordsValue) {
  // A bull spread at a date before expiry: each leg is the closed-form value
  // with the time left, less its entry price.
  PositionPricer p(TemplateLegs(StrategyTemplate::kBullCallSpread, 50, 0.5, 5), kMarket);
  const auto value = [](float s, float k, float t) {
    zelBSOP o;
    o.SetOptionData(1, o.strType);
    o.SetOptionData(0.1f, o.strRiskFree);
    o.SetOptionData(t, o.strMaturity);
    o.SetOptionData(k, o.strStrike);
    o.SetOptionData(0.25f, o.strVolatility);
    o.SetOptionData(0, o.strDvl);
    o.SetOptionData(s, o.strUnderlying);
    return static_cast<double>(o.GetOptionData(o.strOptionPrice, true));
  };
  EXPECT_DOUBLE_EQ(p.EntryPrice(0), value(50, 50, 0.5));
  for (const double s : {42.0, 50.0, 57.5}) {
    const double expected =
        (value(s, 50, 0.2) - p.EntryPrice(0)) - (value(s, 55, 0.2) - p.EntryPrice(1));
    EXPECT_NEAR(p.Profit(s, 0.3), expected, 1e-12) << s;
  }
  // Today, at the spot, a position bought at model values has made nothing.
  EXPECT_NEAR(p.Profit(50, 0), 0, 1e-12);
  const std::vector<CurvePoint> curve = p.Curve(11, 40, 60, 0.3);
  ASSERT_EQ(curve.size(), 11u);
  EXPECT_DOUBLE_EQ(curve[5].spot, 50);
  EXPECT_NEAR(curve[10].at_expiry, 5 - p.NetPremium(), 1e-12);
  EXPECT_NEAR(curve[5].at_date, p.Profit(50, 0.3), 1e-12);
}

TEST(StrategyPositionTest, GreeksAreTheSumsOfTheLegsRecords) {
  const Market m{48, 0.05, 0.01, 0.3};
  const Position legs = {Leg{2, LegKind::kCall, 50, 0.5, false, std::nullopt},
                         Leg{-1, LegKind::kPut, 45, 0.25, false, 1.1},
                         Leg{1, LegKind::kPut, 50, 0.5, true, std::nullopt},
                         Leg{-30, LegKind::kUnderlying, 0, 0, false, std::nullopt}};
  PositionPricer p(legs, m);
  const PositionGreeks g = p.Greeks();

  const auto bsop = [&](const Leg& leg) {
    zelBSOP o;
    o.SetOptionData(leg.kind == LegKind::kCall ? 1 : 2, o.strType);
    o.SetOptionData(static_cast<float>(m.rate), o.strRiskFree);
    o.SetOptionData(static_cast<float>(leg.maturity), o.strMaturity);
    o.SetOptionData(static_cast<float>(leg.strike), o.strStrike);
    o.SetOptionData(static_cast<float>(m.vol), o.strVolatility);
    o.SetOptionData(static_cast<float>(m.yield), o.strDvl);
    o.SetOptionData(static_cast<float>(m.spot), o.strUnderlying);
    return PositionGreeks{o.GetOptionData("delta"), o.GetOptionData("gamma"),
                          o.GetOptionData("vega"), o.GetOptionData("theta"),
                          o.GetOptionData("rho")};
  };
  const PositionGreeks c = bsop(legs[0]), q = bsop(legs[1]);
  zelBarr b;
  b.SetOptionData(b.FLAG, b.strType);
  b.SetOptionData(m.rate, b.strRiskFree);
  b.SetOptionData(0.5, b.strMaturity);
  b.SetOptionData(50, b.strStrike);
  b.SetOptionData(m.spot, b.strUnderlying);
  b.SetOptionData(m.vol, b.strVolatility);
  b.SetOptionData(m.yield, b.strDvl);
  b.CalcBarr(b.AMERVANILLA);
  EXPECT_NEAR(p.EntryPrice(2), b.GetOptionData("opr"), 1e-7);
  EXPECT_NEAR(g.delta, 2 * c.delta - q.delta + b.GetOptionData("delta") - 30, 1e-9);
  EXPECT_NEAR(g.gamma, 2 * c.gamma - q.gamma + b.GetOptionData("gamma"), 1e-9);
  EXPECT_NEAR(g.vega, 2 * c.vega - q.vega + b.GetOptionData("vega"), 1e-9);
  EXPECT_NEAR(g.theta, 2 * c.theta - q.theta + b.GetOptionData("theta"), 1e-9);
  // The lattice has no rho: the American put's is a rate bump, and a put's
  // rho is negative, of the size of the European put's.
  const PositionGreeks european_put = bsop(Leg{1, LegKind::kPut, 50, 0.5, false, std::nullopt});
  const double american_rho = g.rho - (2 * c.rho - q.rho);
  EXPECT_LT(american_rho, 0);
  EXPECT_NEAR(american_rho, european_put.rho, 0.35 * std::fabs(european_put.rho));
  EXPECT_NEAR(p.LegGreeks(3).delta, -30, 0);
}

TEST(StrategyPositionTest, GuardsGiveMessagesNeverFigures) {
  const auto fault = [](Position legs, Market m = kMarket) { return CheckPosition(legs, m); };
  const Leg call{1, LegKind::kCall, 50, 0.25, false, std::nullopt};
  EXPECT_EQ(fault({}), kNoLegs);
  EXPECT_EQ(fault({Leg{1, LegKind::kUnderlying, 0, 0, false, std::nullopt}}), kNoOptionLeg);
  Leg bad = call;
  bad.strike = 0;
  EXPECT_EQ(fault({call, bad}), std::string("Leg 2: ") + kBadStrike);
  bad = call;
  bad.maturity = -0.1;
  EXPECT_EQ(fault({bad}), std::string("Leg 1: ") + kBadMaturity);
  bad = call;
  bad.quantity = 0;
  EXPECT_EQ(fault({bad}), std::string("Leg 1: ") + kZeroQuantity);
  bad = call;
  bad.quantity = std::nan("");
  EXPECT_EQ(fault({bad}), std::string("Leg 1: ") + kZeroQuantity);
  bad = call;
  bad.price = -1;
  EXPECT_EQ(fault({bad}), std::string("Leg 1: ") + kBadPrice);
  EXPECT_EQ(fault({call}, Market{0, 0.1, 0, 0.25}), kBadSpot);
  EXPECT_EQ(fault({call}, Market{50, 0.1, 0, 0}), kBadVol);
  EXPECT_EQ(fault({call}, Market{50, INFINITY, 0, 0.25}), kBadRate);
  EXPECT_THROW(PositionPricer({bad}, kMarket), StrategyInputError);

  PositionPricer p({call, Leg{-1, LegKind::kCall, 55, 0.5, false, std::nullopt}}, kMarket);
  EXPECT_DOUBLE_EQ(p.Horizon(), 0.25);
  EXPECT_THROW(p.Summarise(0.3), StrategyInputError);
  EXPECT_THROW(p.Summarise(-0.01), StrategyInputError);
  EXPECT_THROW(p.Curve(50, 40, 60, 0.26), StrategyInputError);
  EXPECT_THROW(p.Curve(1, 40, 60, 0.1), StrategyInputError);
  try {
    p.Summarise(0.3);
  } catch (const StrategyInputError& e) {
    EXPECT_STREQ(e.what(), "The date is past the first expiry (0.2500 years)");
  }
}

TEST(StrategyPositionTest, CalendarSpreadAtFirstExpiryValuesTheLongerLeg) {
  // Short the near call, long the far one: at the near expiry the far call is
  // worth its closed-form value with 0.25 years left.
  PositionPricer p(
      {Leg{-1, LegKind::kCall, 50, 0.25, false, 2.0}, Leg{1, LegKind::kCall, 50, 0.5, false, 3.5}},
      kMarket);
  zelBSOP o;
  o.SetOptionData(1, o.strType);
  o.SetOptionData(0.25f, o.strMaturity);
  o.SetOptionData(55, o.strUnderlying);
  const double far = o.GetOptionData(o.strOptionPrice, true);
  EXPECT_NEAR(p.Profit(55, 0.25), -(5 - 2.0) + (far - 3.5), 1e-9);
  const CurveSummary s = p.Summarise(0.25);
  // Bounded both ways: the far call covers the near one.
  EXPECT_TRUE(s.max_profit.has_value());
  EXPECT_TRUE(s.max_loss.has_value());
  EXPECT_EQ(s.break_evens.size(), 2u);
  for (const double be : s.break_evens) {
    EXPECT_NEAR(p.Profit(be, 0.25), 0, 1e-5);
  }
  EXPECT_GT(s.probability_of_profit, 0);
  EXPECT_LT(s.probability_of_profit, 1);
}

}  // namespace
}  // namespace stratlyn
