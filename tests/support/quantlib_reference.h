#pragma once
// Reference figures from QuantLib for the lattice tests: European barrier
// options in closed form (rebates included), American vanilla options by
// finite differences and American barrier options on QuantLib's own
// binomial tree. Only for builds that define STRATLYN_HAVE_QUANTLIB.
// Maturities are whole days of an Actual/360 year, so T = days / 360 exactly.

#ifdef STRATLYN_HAVE_QUANTLIB

#include <algorithm>
#include <cmath>

// Single headers: the umbrella header does not compile as C++20.
#include <ql/exercise.hpp>
#include <ql/instruments/barrieroption.hpp>
#include <ql/instruments/vanillaoption.hpp>
#include <ql/pricingengines/barrier/analyticbarrierengine.hpp>
#include <ql/pricingengines/barrier/binomialbarrierengine.hpp>
#include <ql/pricingengines/vanilla/analyticeuropeanengine.hpp>
#include <ql/pricingengines/vanilla/binomialengine.hpp>
#include <ql/pricingengines/vanilla/fdblackscholesvanillaengine.hpp>
#include <ql/processes/blackscholesprocess.hpp>
#include <ql/quotes/simplequote.hpp>
#include <ql/termstructures/volatility/equityfx/blackconstantvol.hpp>
#include <ql/termstructures/yield/flatforward.hpp>
#include <ql/time/calendars/nullcalendar.hpp>
#include <ql/time/daycounters/actual360.hpp>

namespace stratlyn::testing {

namespace ql = QuantLib;

enum class RefBarrier { kDownOut, kDownIn, kUpOut, kUpIn };

struct RefOption {
  bool call = true;
  double s = 100, k = 100, r = 0.05, q = 0, sigma = 0.2;
  int days = 360;  // T = days / 360
  double T() const { return days / 360.0; }
};

class QuantLibMarket {
 public:
  explicit QuantLibMarket(const RefOption& o) {
    ql::Settings::instance().evaluationDate() = today_;
    const ql::DayCounter dc = ql::Actual360();
    expiry_ = today_ + o.days;
    process_ = ql::ext::make_shared<ql::BlackScholesMertonProcess>(
        ql::Handle<ql::Quote>(ql::ext::make_shared<ql::SimpleQuote>(o.s)),
        ql::Handle<ql::YieldTermStructure>(ql::ext::make_shared<ql::FlatForward>(today_, o.q, dc)),
        ql::Handle<ql::YieldTermStructure>(ql::ext::make_shared<ql::FlatForward>(today_, o.r, dc)),
        ql::Handle<ql::BlackVolTermStructure>(
            ql::ext::make_shared<ql::BlackConstantVol>(today_, ql::NullCalendar(), o.sigma, dc)));
    payoff_ = ql::ext::make_shared<ql::PlainVanillaPayoff>(
        o.call ? ql::Option::Call : ql::Option::Put, o.k);
  }
  const ql::ext::shared_ptr<ql::BlackScholesMertonProcess>& Process() const { return process_; }
  ql::ext::shared_ptr<ql::Exercise> European() const {
    return ql::ext::make_shared<ql::EuropeanExercise>(expiry_);
  }
  ql::ext::shared_ptr<ql::Exercise> American() const {
    return ql::ext::make_shared<ql::AmericanExercise>(today_, expiry_);
  }
  const ql::ext::shared_ptr<ql::PlainVanillaPayoff>& Payoff() const { return payoff_; }

 private:
  ql::Date today_{15, ql::May, 2024};
  ql::Date expiry_;
  ql::ext::shared_ptr<ql::BlackScholesMertonProcess> process_;
  ql::ext::shared_ptr<ql::PlainVanillaPayoff> payoff_;
};

inline ql::Barrier::Type ToQuantLib(RefBarrier kind) {
  switch (kind) {
    case RefBarrier::kDownOut:
      return ql::Barrier::DownOut;
    case RefBarrier::kDownIn:
      return ql::Barrier::DownIn;
    case RefBarrier::kUpOut:
      return ql::Barrier::UpOut;
    case RefBarrier::kUpIn:
      return ql::Barrier::UpIn;
  }
  return ql::Barrier::DownOut;
}

inline double EuropeanValue(const RefOption& o) {
  QuantLibMarket m(o);
  ql::VanillaOption option(m.Payoff(), m.European());
  option.setPricingEngine(ql::ext::make_shared<ql::AnalyticEuropeanEngine>(m.Process()));
  return option.NPV();
}

// True when the spot has already crossed the barrier.
inline bool Crossed(const RefOption& o, RefBarrier kind, double h) {
  const bool down = kind == RefBarrier::kDownOut || kind == RefBarrier::kDownIn;
  return down ? o.s <= h : o.s >= h;
}

// European barrier value, continuously monitored. A knock-out rebate is paid
// when the barrier is hit, a knock-in rebate at expiry when it never was. A
// barrier already crossed gives the rebate (knock-out) or the vanilla (knock-in).
inline double EuropeanBarrierValue(const RefOption& o, RefBarrier kind, double h, double rebate) {
  if (Crossed(o, kind, h)) {
    const bool out = kind == RefBarrier::kDownOut || kind == RefBarrier::kUpOut;
    return out ? rebate : EuropeanValue(o);
  }
  QuantLibMarket m(o);
  ql::BarrierOption option(ToQuantLib(kind), h, rebate, m.Payoff(), m.European());
  option.setPricingEngine(ql::ext::make_shared<ql::AnalyticBarrierEngine>(m.Process()));
  return option.NPV();
}

// Vega of EuropeanBarrierValue by a central difference of the closed form.
inline double EuropeanBarrierVega(RefOption o, RefBarrier kind, double h, double rebate) {
  const double bump = 1e-4;
  o.sigma += bump;
  const double up = EuropeanBarrierValue(o, kind, h, rebate);
  o.sigma -= 2 * bump;
  const double down = EuropeanBarrierValue(o, kind, h, rebate);
  return (up - down) / (2 * bump);
}

// American vanilla value by finite differences (Crank-Nicolson).
inline double AmericanValue(const RefOption& o, int grid = 800) {
  QuantLibMarket m(o);
  ql::VanillaOption option(m.Payoff(), m.American());
  option.setPricingEngine(
      ql::ext::make_shared<ql::FdBlackScholesVanillaEngine>(m.Process(), grid, grid));
  return option.NPV();
}

// Value and Greeks of an option; vega per unit of volatility, theta per year.
struct RefFigures {
  double value = 0, delta = 0, gamma = 0, vega = 0, theta = 0;
};

// European figures in closed form (QuantLib's analytic engine).
inline RefFigures EuropeanFigures(const RefOption& o) {
  QuantLibMarket m(o);
  ql::VanillaOption option(m.Payoff(), m.European());
  option.setPricingEngine(ql::ext::make_shared<ql::AnalyticEuropeanEngine>(m.Process()));
  return {option.NPV(), option.delta(), option.gamma(), option.vega(), option.theta()};
}

// American figures by finite differences; vega by a central difference of
// the value 0.5 % of the volatility either side.
inline RefFigures AmericanFigures(const RefOption& o, int grid = 400) {
  QuantLibMarket m(o);
  ql::VanillaOption option(m.Payoff(), m.American());
  option.setPricingEngine(
      ql::ext::make_shared<ql::FdBlackScholesVanillaEngine>(m.Process(), grid, grid));
  RefFigures f{option.NPV(), option.delta(), option.gamma(), 0, option.theta()};
  RefOption up = o, down = o;
  up.sigma *= 1.005;
  down.sigma *= 0.995;
  f.vega = (AmericanValue(up, grid) - AmericanValue(down, grid)) / (up.sigma - down.sigma);
  return f;
}

// American vega and theta by bumping the finite-difference value: the
// volatility 0.5 % either side, the maturity a hundredth of it (at least a
// day) either side. The engine's own theta reads the grid's first time step,
// which near the exercise boundary is far off (a call S = 100, K = 63.27,
// 1020 days, r = 0.059, q = 0.115, vol 0.347: -0.304 against -0.069).
inline RefFigures AmericanBumpedFigures(const RefOption& o, int grid = 400) {
  RefFigures f = AmericanFigures(o, grid);
  RefOption longer = o, shorter = o;
  const int days = std::max(1, o.days / 100);
  longer.days += days;
  shorter.days -= days;
  f.theta = -(AmericanValue(longer, grid) - AmericanValue(shorter, grid)) / (2.0 * days / 360);
  return f;
}

// American barrier value on QuantLib's binomial tree with the Derman-Kani
// adjustment; it converges from below like 1 / sqrt(steps) for knock-outs
// whose holder would exercise at the barrier.
inline double AmericanBarrierTree(const RefOption& o, RefBarrier kind, double h, double rebate,
                                  int steps) {
  QuantLibMarket m(o);
  ql::BarrierOption option(ToQuantLib(kind), h, rebate, m.Payoff(), m.American());
  option.setPricingEngine(
      ql::ext::make_shared<
          ql::BinomialBarrierEngine<ql::CoxRossRubinstein, ql::DiscretizedDermanKaniBarrierOption>>(
          m.Process(), steps));
  return option.NPV();
}

}  // namespace stratlyn::testing

#endif
