// Position values against QuantLib's engines (where QuantLib is installed):
// European legs against the analytic engine, American legs against a fine
// binomial tree.

#include <gtest/gtest.h>

#include <random>
#include <vector>

#ifdef STRATLYN_HAVE_QUANTLIB

#include <ql/exercise.hpp>
#include <ql/instruments/vanillaoption.hpp>
#include <ql/methods/lattices/binomialtree.hpp>
#include <ql/pricingengines/vanilla/analyticeuropeanengine.hpp>
#include <ql/pricingengines/vanilla/binomialengine.hpp>
#include <ql/processes/blackscholesprocess.hpp>
#include <ql/quotes/simplequote.hpp>
#include <ql/termstructures/volatility/equityfx/blackconstantvol.hpp>
#include <ql/termstructures/yield/flatforward.hpp>
#include <ql/time/calendars/nullcalendar.hpp>
#include <ql/time/daycounters/actual365fixed.hpp>

#include "strategy/position.h"

namespace stratlyn {
namespace {

namespace ql = QuantLib;

// QuantLib's value of one option with `days` left.
double QuantLibValue(const Market& m, bool call, double strike, int days, bool american) {
  const ql::Date today(15, ql::May, 2024);
  ql::Settings::instance().evaluationDate() = today;
  const ql::DayCounter dc = ql::Actual365Fixed();
  const ql::Date expiry = today + days;
  auto payoff = ql::ext::make_shared<ql::PlainVanillaPayoff>(
      call ? ql::Option::Call : ql::Option::Put, strike);
  ql::ext::shared_ptr<ql::Exercise> exercise;
  if (american) {
    exercise = ql::ext::make_shared<ql::AmericanExercise>(today, expiry);
  } else {
    exercise = ql::ext::make_shared<ql::EuropeanExercise>(expiry);
  }
  auto process = ql::ext::make_shared<ql::BlackScholesMertonProcess>(
      ql::Handle<ql::Quote>(ql::ext::make_shared<ql::SimpleQuote>(m.spot)),
      ql::Handle<ql::YieldTermStructure>(ql::ext::make_shared<ql::FlatForward>(today, m.yield, dc)),
      ql::Handle<ql::YieldTermStructure>(ql::ext::make_shared<ql::FlatForward>(today, m.rate, dc)),
      ql::Handle<ql::BlackVolTermStructure>(
          ql::ext::make_shared<ql::BlackConstantVol>(today, ql::NullCalendar(), m.vol, dc)));
  ql::VanillaOption option(payoff, exercise);
  if (american) {
    option.setPricingEngine(
        ql::ext::make_shared<ql::BinomialVanillaEngine<ql::CoxRossRubinstein>>(process, 801));
  } else {
    option.setPricingEngine(ql::ext::make_shared<ql::AnalyticEuropeanEngine>(process));
  }
  return option.NPV();
}

TEST(StrategyQuantLibTest, PositionValuesAtADateBeforeExpiry) {
  // A bull call spread and a long American put, 146 days to expiry, looked
  // at after 73 days: each leg's value with 73 days left.
  const Market m{50, 0.06, 0.01, 0.3};
  const double t = 146.0 / 365, at = 73.0 / 365;
  const Position legs = {Leg{1, LegKind::kCall, 50, t, false, 3.0},
                         Leg{-1, LegKind::kCall, 55, t, false, 1.5},
                         Leg{1, LegKind::kPut, 50, t, true, 2.5}};
  PositionPricer p(legs, m);
  for (const double s : {42.0, 50.0, 58.0}) {
    Market at_s = m;
    at_s.spot = s;
    const double european = (QuantLibValue(at_s, true, 50, 73, false) - 3.0) -
                            (QuantLibValue(at_s, true, 55, 73, false) - 1.5);
    const double american = QuantLibValue(at_s, false, 50, 73, true) - 2.5;
    // Closed form with the record's normal approximation, single precision;
    // the American put on a 50-step lattice.
    EXPECT_NEAR(p.Profit(s, at), european + american, 0.03) << s;
    Position spread(legs.begin(), legs.begin() + 2);
    PositionPricer e(spread, m);
    EXPECT_NEAR(e.Profit(s, at), european, 2e-4) << s;
  }
  // Entry values when the prices are blank.
  PositionPricer blank({Leg{1, LegKind::kPut, 48, t, false, std::nullopt},
                        Leg{-1, LegKind::kCall, 53, t, true, std::nullopt}},
                       m);
  EXPECT_NEAR(blank.EntryPrice(0), QuantLibValue(m, false, 48, 146, false), 2e-4);
  EXPECT_NEAR(blank.EntryPrice(1), QuantLibValue(m, true, 53, 146, true), 0.03);
}

// The rho of an American leg (the lattice computes none) is the value's
// change over a rate bump of 0.001 either side. Where the lattice takes more
// steps at one of the two rates (its European value missed the closed form
// at the other), both are valued on the larger: a put S 100, K 109.30,
// 506 days, r 0.0614, q 0.0456, vol 0.598 read rho -81.8 against -68.5.
// Against QuantLib's binomial tree of 801 steps bumped alike.
TEST(StrategyQuantLibTest, AmericanLegRhoAgainstABinomialTree) {
  struct Case {
    Market m;
    bool call;
    double strike;
    int days;
  };
  std::vector<Case> cases = {
      {Market{100, 0.0614091121, 0.0455836356, 0.598399162}, false, 109.303444, 506}};
  std::mt19937 gen(2026120903);
  std::uniform_real_distribution<double> unit(0.0, 1.0);
  for (int i = 0; i < 60; ++i) {
    const double q = unit(gen) < 0.5 ? 0.0 : static_cast<float>(0.06 * unit(gen));
    cases.push_back({Market{100, static_cast<float>(0.01 + 0.09 * unit(gen)), q,
                            static_cast<float>(0.1 + 0.5 * unit(gen))},
                     unit(gen) < 0.3, static_cast<float>(70 + 60 * unit(gen)),
                     10 + static_cast<int>(unit(gen) * 1000)});
  }
  for (const Case& c : cases) {
    const double t = c.days / 365.0;
    PositionPricer p({Leg{1, c.call ? LegKind::kCall : LegKind::kPut, c.strike, t, true, 1.0}},
                     c.m);
    Market up = c.m, down = c.m;
    up.rate += 1e-3;
    down.rate -= 1e-3;
    const double ref = (QuantLibValue(up, c.call, c.strike, c.days, true) -
                        QuantLibValue(down, c.call, c.strike, c.days, true)) /
                       2e-3;
    EXPECT_NEAR(p.Greeks().rho, ref, 0.1 * std::fabs(ref) + 0.002 * t * c.strike)
        << (c.call ? "call" : "put") << " K " << c.strike << " days " << c.days << " r " << c.m.rate
        << " q " << c.m.yield << " vol " << c.m.vol;
  }
}

}  // namespace
}  // namespace stratlyn

#endif
