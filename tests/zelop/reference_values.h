#pragma once
// Reference figures for the library tests: QuantLib's analytic European engine
// and its Barone-Adesi-Whaley engine when QuantLib is installed, otherwise the
// table below (printed by the same code with QuantLib 1.29).

#include <cstddef>
#include <vector>

namespace stratlyn::testing {

struct OptionCase {
  int flag;  // 1 call, 2 put
  double s, k, r, q, sigma;
  int days;         // maturity in days of an Actual/basis year
  int basis = 365;  // 365 (Actual/365) or 360 (Actual/360)
  double T() const { return days / static_cast<double>(basis); }
};

struct EuropeanFigures {
  double value, delta, gamma, vega, theta;
};

inline const std::vector<OptionCase>& EuropeanCases() {
  static const std::vector<OptionCase> cases = {
      {1, 100, 100, 0.05, 0.02, 0.20, 365}, {2, 100, 110, 0.03, 0.01, 0.30, 146},
      {1, 50, 45, 0.10, 0.00, 0.25, 73},    {2, 80, 100, 0.07, 0.03, 0.40, 730},
      {1, 30, 45, 0.04, 0.00, 0.35, 200},
  };
  return cases;
}

inline const std::vector<OptionCase>& AmericanCases() {
  static const std::vector<OptionCase> cases = {
      {2, 100, 100, 0.08, 0.00, 0.20, 146}, {1, 100, 100, 0.08, 0.12, 0.20, 73},
      {2, 90, 100, 0.05, 0.02, 0.30, 365},  {1, 110, 100, 0.05, 0.08, 0.35, 365},
      {2, 40, 45, 0.06, 0.01, 0.25, 730},
  };
  return cases;
}

// The American table of Barone-Adesi and Whaley's approximation as QuantLib's
// test suite prints it: K = 100, S = 90 / 100 / 110, r = q = 0.10,
// T = 0.1 / 0.5 (36 and 180 days of an Actual/360 year), vol 0.15 / 0.25 / 0.35.
inline const std::vector<OptionCase>& BawTableCases() {
  static const std::vector<OptionCase> cases = [] {
    std::vector<OptionCase> all;
    for (int flag : {1, 2}) {
      for (int days : {36, 180}) {
        for (double sigma : {0.15, 0.25, 0.35}) {
          for (double s : {90.0, 100.0, 110.0}) {
            all.push_back({flag, s, 100.0, 0.10, 0.10, sigma, days, 360});
          }
        }
      }
    }
    return all;
  }();
  return cases;
}

}  // namespace stratlyn::testing

#ifdef STRATLYN_HAVE_QUANTLIB
// Single headers: the umbrella header does not compile as C++20.
#include <ql/exercise.hpp>
#include <ql/instruments/vanillaoption.hpp>
#include <ql/pricingengines/vanilla/analyticeuropeanengine.hpp>
#include <ql/pricingengines/vanilla/baroneadesiwhaleyengine.hpp>
#include <ql/processes/blackscholesprocess.hpp>
#include <ql/quotes/simplequote.hpp>
#include <ql/termstructures/volatility/equityfx/blackconstantvol.hpp>
#include <ql/termstructures/yield/flatforward.hpp>
#include <ql/time/calendars/nullcalendar.hpp>
#include <ql/time/daycounters/actual360.hpp>
#include <ql/time/daycounters/actual365fixed.hpp>

namespace stratlyn::testing {

namespace ql = QuantLib;

inline ql::VanillaOption QuantLibOption(const OptionCase& c, bool american) {
  const ql::Date today(15, ql::May, 2024);
  ql::Settings::instance().evaluationDate() = today;
  const ql::DayCounter dc =
      c.basis == 360 ? ql::DayCounter(ql::Actual360()) : ql::DayCounter(ql::Actual365Fixed());
  const ql::Date expiry = today + c.days;
  auto payoff = ql::ext::make_shared<ql::PlainVanillaPayoff>(
      c.flag == 1 ? ql::Option::Call : ql::Option::Put, c.k);
  ql::ext::shared_ptr<ql::Exercise> exercise;
  if (american) {
    exercise = ql::ext::make_shared<ql::AmericanExercise>(today, expiry);
  } else {
    exercise = ql::ext::make_shared<ql::EuropeanExercise>(expiry);
  }
  auto process = ql::ext::make_shared<ql::BlackScholesMertonProcess>(
      ql::Handle<ql::Quote>(ql::ext::make_shared<ql::SimpleQuote>(c.s)),
      ql::Handle<ql::YieldTermStructure>(ql::ext::make_shared<ql::FlatForward>(today, c.q, dc)),
      ql::Handle<ql::YieldTermStructure>(ql::ext::make_shared<ql::FlatForward>(today, c.r, dc)),
      ql::Handle<ql::BlackVolTermStructure>(
          ql::ext::make_shared<ql::BlackConstantVol>(today, ql::NullCalendar(), c.sigma, dc)));
  ql::VanillaOption option(payoff, exercise);
  if (american) {
    option.setPricingEngine(
        ql::ext::make_shared<ql::BaroneAdesiWhaleyApproximationEngine>(process));
  } else {
    option.setPricingEngine(ql::ext::make_shared<ql::AnalyticEuropeanEngine>(process));
  }
  return option;
}

inline EuropeanFigures ReferenceEuropean(size_t index) {
  ql::VanillaOption o = QuantLibOption(EuropeanCases()[index], false);
  return {o.NPV(), o.delta(), o.gamma(), o.vega(), o.theta()};
}

inline double ReferenceBaw(size_t index) {
  return QuantLibOption(AmericanCases()[index], true).NPV();
}

inline double ReferenceBawTable(size_t index) {
  return QuantLibOption(BawTableCases()[index], true).NPV();
}

}  // namespace stratlyn::testing

#else

namespace stratlyn::testing {

inline EuropeanFigures ReferenceEuropean(size_t index) {
  static const EuropeanFigures table[] = {
      {9.2270055081540612, 0.58685114613476475, 0.018950578755008714, 37.90115751001742,
       -5.0893189139983388},
      {13.230715011101339, -0.63998995092503552, 0.019590482909899853, 23.508579491879836,
       -7.1388159572718131},
      {6.2361067590569954, 0.88043422219786915, 0.035692976916957719, 4.4616221146197192,
       -6.5670742567209626},
      {24.426157380442742, -0.45968842348380246, 0.0082984046390346504, 42.487831751857399,
       -1.0679492034065805},
      {0.28675907232298281, 0.088368500777531347, 0.020610615818115179, 3.5574487576472769,
       -1.230732035013717},
  };
  return table[index];
}

inline double ReferenceBaw(size_t index) {
  static const double table[] = {
      3.8630073709972312, 3.1954864911579173, 15.319063553258514,
      17.965796506024539, 6.8908419358147599,
  };
  return table[index];
}

// QuantLib 1.29's engine on BawTableCases(), calls then puts.
inline double ReferenceBawTable(size_t index) {
  static const double table[] = {
      0.020635595522549708,
      1.8769206887409067,
      10.006060086537314,
      0.31590016996369336,
      3.1276831552523827,
      10.390123526341075,
      0.94947032755116667,
      4.377669037758765,
      11.167850002980099,
      0.82082168780840603,
      4.0841168882049903,
      10.80852654791221,
      2.7436004647024537,
      6.8013415988097288,
      13.016730126442166,
      5.0061586240447786,
      9.5103076366574193,
      15.568427652606697,
      10,
      1.8769224656910477,
      0.040996314425940664,
      10.253007742432725,
      3.1276853810522103,
      0.45618538738590858,
      10.878508815785557,
      4.3776714092773608,
      1.240209065884613,
      10.559212890271043,
      4.0841168249027433,
      1.0822023765732789,
      12.441642065437517,
      6.8013413369082878,
      3.3225719036412613,
      14.694319179059811,
      9.5103068419269512,
      5.8821897567945465,
  };
  return table[index];
}

}  // namespace stratlyn::testing

#endif
