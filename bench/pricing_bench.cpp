// Speed of the pricing records: European value + four Greeks, the
// single-precision implied volatility, the American lattice (n = 50, value,
// Greeks and vega) and the lattice implied volatility. Where QuantLib is
// installed the same binary runs the comparable QuantLib jobs.

#include <benchmark/benchmark.h>

#include <random>
#include <vector>

#include "pricing/zel_barr.h"
#include "pricing/zel_bsop.h"

namespace {

using stratlyn::zelBarr;
using stratlyn::zelBSOP;

// Spots around the strike, so that no result can be reused between options.
constexpr float kSpots[] = {44.0f, 46.5f, 48.0f, 49.5f, 50.0f, 51.0f, 53.5f, 56.0f};
constexpr int kSpotCount = sizeof kSpots / sizeof kSpots[0];

// The argument is the dividend yield in percent (0: the program's default option).
void BM_RecordEuropeanValueAndGreeks(benchmark::State& state) {
  zelBSOP o;
  o.SetOptionData(1, o.strType);
  o.SetOptionData(0.3f, o.strVolatility);
  o.SetOptionData(static_cast<float>(state.range(0)) / 100.0f, o.strDvl);
  int i = 0;
  for (auto _ : state) {
    o.SetOptionData(kSpots[i++ % kSpotCount], o.strUnderlying);
    benchmark::DoNotOptimize(o.GetOptionData(o.strOptionPrice));
    benchmark::DoNotOptimize(o.GetOptionData(o.strDelta));
    benchmark::DoNotOptimize(o.GetOptionData(o.strGamma));
    benchmark::DoNotOptimize(o.GetOptionData(o.strVega));
    benchmark::DoNotOptimize(o.GetOptionData(o.strTheta));
  }
}
BENCHMARK(BM_RecordEuropeanValueAndGreeks)->Arg(0)->Arg(2);

void BM_RecordImpliedVolatility(benchmark::State& state) {
  // Market prices of the options above at sigma = 0.3.
  float prices[kSpotCount];
  zelBSOP o;
  o.SetOptionData(1, o.strType);
  o.SetOptionData(0.3f, o.strVolatility);
  for (int k = 0; k < kSpotCount; ++k) {
    o.SetOptionData(kSpots[k], o.strUnderlying);
    prices[k] = o.GetOptionData(o.strOptionPrice);
  }
  int i = 0;
  for (auto _ : state) {
    const int k = i++ % kSpotCount;
    o.SetOptionData(kSpots[k], o.strUnderlying);
    o.SetOptionData(prices[k], o.strOptionPrice);
    benchmark::DoNotOptimize(o.GetOptionData(o.strImpliedVolatility));
  }
}
BENCHMARK(BM_RecordImpliedVolatility);

void BM_RecordAmericanLattice50(benchmark::State& state) {
  zelBarr b;
  b.SetOptionData(b.FLAG, b.strType);
  int i = 0;
  for (auto _ : state) {
    b.SetOptionData(kSpots[i++ % kSpotCount], b.strUnderlying);
    b.CalcBarr(b.AMERVANILLA);
    benchmark::DoNotOptimize(b.GetOptionData(b.strOptionPrice));
    benchmark::DoNotOptimize(b.GetOptionData(b.strVega));
  }
}
BENCHMARK(BM_RecordAmericanLattice50);

// American options over everyday terms (fixed seed): what the step count's
// check against the closed form costs on average, where some options take
// more than the 50 steps asked for.
void BM_RecordAmericanLatticeEverydayTerms(benchmark::State& state) {
  struct Terms {
    double sign, k, t, r, q, sigma;
  };
  std::vector<Terms> terms;
  std::mt19937 gen(20261208);
  std::uniform_real_distribution<double> unit(0.0, 1.0);
  for (int i = 0; i < 64; ++i) {
    terms.push_back({unit(gen) < 0.5 ? 1.0 : -1.0, 60 + 80 * unit(gen), 0.02 + 3 * unit(gen),
                     0.1 * unit(gen), 0.06 * unit(gen), 0.08 + 0.72 * unit(gen)});
  }
  zelBarr b;
  b.SetOptionData(100.0, b.strUnderlying);
  int i = 0;
  for (auto _ : state) {
    const Terms& x = terms[i++ % terms.size()];
    b.SetOptionData(x.sign, b.strType);
    b.SetOptionData(x.k, b.strStrike);
    b.SetOptionData(x.t, b.strMaturity);
    b.SetOptionData(x.r, b.strRiskFree);
    b.SetOptionData(x.q, b.strDvl);
    b.SetOptionData(x.sigma, b.strVolatility);
    b.CalcBarr(b.AMERVANILLA);
    benchmark::DoNotOptimize(b.GetOptionData(b.strOptionPrice));
  }
}
BENCHMARK(BM_RecordAmericanLatticeEverydayTerms);

void BM_RecordLatticeImpliedVolatility(benchmark::State& state) {
  float prices[kSpotCount];
  zelBarr b;
  b.SetOptionData(b.FLAG, b.strType);
  b.SetOptionData(0.3, b.strVolatility);
  for (int k = 0; k < kSpotCount; ++k) {
    b.SetOptionData(kSpots[k], b.strUnderlying);
    b.CalcBarr(b.AMERVANILLA);
    prices[k] = b.GetOptionData(b.strOptionPrice);
  }
  int i = 0;
  for (auto _ : state) {
    const int k = i++ % kSpotCount;
    b.SetOptionData(kSpots[k], b.strUnderlying);
    b.SetOptionData(prices[k], b.strOptionPrice);
    b.SetOptionData(0.25, b.strVolatility);
    b.CalcBarr(b.AMERVANVOL);
    benchmark::DoNotOptimize(b.GetOptionData(b.strImpliedVolatility));
  }
}
BENCHMARK(BM_RecordLatticeImpliedVolatility);

// A market price no volatility gives on a lattice whose small volatilities
// need the most steps (a put S = K = 100, T = 10, r = 0.1: below vol 0.01
// the drift needs 16382 steps): the time the search takes to refuse it.
void BM_RecordLatticeImpliedVolatilityUnreachable(benchmark::State& state) {
  zelBarr b;
  b.SetOptionData(b.FLAG, b.strType);
  b.SetOptionData(100.0, b.strUnderlying);
  b.SetOptionData(100.0, b.strStrike);
  b.SetOptionData(10.0, b.strMaturity);
  b.SetOptionData(0.1, b.strRiskFree);
  b.SetOptionData(0.01, b.strOptionPrice);
  for (auto _ : state) {
    b.SetOptionData(0.2, b.strVolatility);
    b.CalcBarr(b.AMERVANVOL);
    benchmark::DoNotOptimize(b.GetOptionData(b.strImpliedVolatility));
  }
}
BENCHMARK(BM_RecordLatticeImpliedVolatilityUnreachable)->Unit(benchmark::kMillisecond);

// Barrier options over everyday terms (fixed seed), European (Arg 0) and
// American (Arg 1): what the step count's check against the barrier's closed
// form costs on average.
void BM_RecordBarrierLatticeEverydayTerms(benchmark::State& state) {
  struct Terms {
    double sign, k, t, r, q, sigma, h;
    int code;
  };
  std::vector<Terms> terms;
  std::mt19937 gen(20261209);
  std::uniform_real_distribution<double> unit(0.0, 1.0);
  zelBarr b;
  const int codes[] = {b.EURODOWNOUT, b.EURODOWNIN, b.EUROUPOUT, b.EUROUPIN};
  for (int i = 0; i < 64; ++i) {
    const int which = i % 4;
    const double h = which < 2 ? 100 * (0.7 + 0.29 * unit(gen)) : 100 * (1.01 + 0.29 * unit(gen));
    terms.push_back({unit(gen) < 0.5 ? 1.0 : -1.0, 70 + 60 * unit(gen), 0.03 + 3 * unit(gen),
                     0.1 * unit(gen), 0.06 * unit(gen), 0.08 + 0.5 * unit(gen), h,
                     codes[which] + static_cast<int>(state.range(0))});
  }
  b.SetOptionData(100.0, b.strUnderlying);
  int i = 0;
  for (auto _ : state) {
    const Terms& x = terms[i++ % terms.size()];
    b.SetOptionData(x.sign, b.strType);
    b.SetOptionData(x.k, b.strStrike);
    b.SetOptionData(x.t, b.strMaturity);
    b.SetOptionData(x.r, b.strRiskFree);
    b.SetOptionData(x.q, b.strDvl);
    b.SetOptionData(x.sigma, b.strVolatility);
    b.SetOptionData(x.h, b.strBarrier);
    b.CalcBarr(x.code);
    benchmark::DoNotOptimize(b.GetOptionData(b.strOptionPrice));
  }
}
BENCHMARK(BM_RecordBarrierLatticeEverydayTerms)->Arg(0)->Arg(1);

}  // namespace

#ifdef STRATLYN_HAVE_QUANTLIB
// Single headers: the umbrella header does not compile as C++20.
#include <ql/exercise.hpp>
#include <ql/instruments/vanillaoption.hpp>
#include <ql/pricingengines/vanilla/analyticeuropeanengine.hpp>
#include <ql/pricingengines/vanilla/binomialengine.hpp>
#include <ql/processes/blackscholesprocess.hpp>
#include <ql/quotes/simplequote.hpp>
#include <ql/termstructures/volatility/equityfx/blackconstantvol.hpp>
#include <ql/termstructures/yield/flatforward.hpp>
#include <ql/time/calendars/nullcalendar.hpp>
#include <ql/time/daycounters/actual365fixed.hpp>

namespace {

namespace ql = QuantLib;

// The same option as the record's: K = 50, r = 0.1, T = 0.25 (about 91 days).
struct QuantLibSetup {
  ql::Date today{15, ql::May, 2024};
  ql::ext::shared_ptr<ql::SimpleQuote> spot = ql::ext::make_shared<ql::SimpleQuote>(50.0);
  ql::ext::shared_ptr<ql::BlackScholesMertonProcess> process;

  QuantLibSetup(double q, double sigma) {
    ql::Settings::instance().evaluationDate() = today;
    const ql::DayCounter dc = ql::Actual365Fixed();
    process = ql::ext::make_shared<ql::BlackScholesMertonProcess>(
        ql::Handle<ql::Quote>(spot),
        ql::Handle<ql::YieldTermStructure>(ql::ext::make_shared<ql::FlatForward>(today, q, dc)),
        ql::Handle<ql::YieldTermStructure>(ql::ext::make_shared<ql::FlatForward>(today, 0.1, dc)),
        ql::Handle<ql::BlackVolTermStructure>(
            ql::ext::make_shared<ql::BlackConstantVol>(today, ql::NullCalendar(), sigma, dc)));
  }

  ql::VanillaOption Option(ql::Option::Type type, bool american) const {
    auto payoff = ql::ext::make_shared<ql::PlainVanillaPayoff>(type, 50.0);
    const ql::Date expiry = today + 91;
    ql::ext::shared_ptr<ql::Exercise> exercise;
    if (american) {
      exercise = ql::ext::make_shared<ql::AmericanExercise>(today, expiry);
    } else {
      exercise = ql::ext::make_shared<ql::EuropeanExercise>(expiry);
    }
    return ql::VanillaOption(payoff, exercise);
  }
};

void BM_QuantLibEuropeanValueAndGreeks(benchmark::State& state) {
  QuantLibSetup setup(static_cast<double>(state.range(0)) / 100.0, 0.3);
  ql::VanillaOption option = setup.Option(ql::Option::Call, false);
  option.setPricingEngine(ql::ext::make_shared<ql::AnalyticEuropeanEngine>(setup.process));
  int i = 0;
  for (auto _ : state) {
    setup.spot->setValue(kSpots[i++ % kSpotCount]);
    benchmark::DoNotOptimize(option.NPV());
    benchmark::DoNotOptimize(option.delta());
    benchmark::DoNotOptimize(option.gamma());
    benchmark::DoNotOptimize(option.vega());
    benchmark::DoNotOptimize(option.theta());
  }
}
BENCHMARK(BM_QuantLibEuropeanValueAndGreeks)->Arg(0)->Arg(2);

void BM_QuantLibImpliedVolatility(benchmark::State& state) {
  QuantLibSetup setup(0.0, 0.3);
  ql::VanillaOption option = setup.Option(ql::Option::Call, false);
  option.setPricingEngine(ql::ext::make_shared<ql::AnalyticEuropeanEngine>(setup.process));
  double prices[kSpotCount];
  for (int k = 0; k < kSpotCount; ++k) {
    setup.spot->setValue(kSpots[k]);
    prices[k] = option.NPV();
  }
  int i = 0;
  for (auto _ : state) {
    const int k = i++ % kSpotCount;
    setup.spot->setValue(kSpots[k]);
    benchmark::DoNotOptimize(option.impliedVolatility(prices[k], setup.process, 1e-6, 100));
  }
}
BENCHMARK(BM_QuantLibImpliedVolatility);

void BM_QuantLibAmericanCrr50(benchmark::State& state) {
  QuantLibSetup setup(0.0, 0.25);
  ql::VanillaOption option = setup.Option(ql::Option::Put, true);
  option.setPricingEngine(
      ql::ext::make_shared<ql::BinomialVanillaEngine<ql::CoxRossRubinstein>>(setup.process, 50));
  int i = 0;
  for (auto _ : state) {
    setup.spot->setValue(kSpots[i++ % kSpotCount]);
    benchmark::DoNotOptimize(option.NPV());
    benchmark::DoNotOptimize(option.delta());
    benchmark::DoNotOptimize(option.gamma());
    benchmark::DoNotOptimize(option.theta());
  }
}
BENCHMARK(BM_QuantLibAmericanCrr50);

}  // namespace
#endif

BENCHMARK_MAIN();
