// Speed of the separate pricing library's closed forms (bsop and baw) and of
// its barrier lattice, called through the pointers the records use. Where QuantLib is installed the
// same binary runs its analytic European and Barone-Adesi-Whaley engines.

#include <benchmark/benchmark.h>
#include <dlfcn.h>

#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>
#include <vector>

#include "pricing/zelop_loader.h"
#include "util/sites.h"
#include "util/zel_error.h"
#include "zelop/zelop_api.h"

namespace {

constexpr double kSpots[] = {44.0, 46.5, 48.0, 49.5, 50.0, 51.0, 53.5, 56.0};
constexpr int kSpotCount = sizeof kSpots / sizeof kSpots[0];

// The library of this build sits one folder above the benchmarks.
template <typename Fn>
Fn Library(const char* name) {
  if (!stratlyn::ZelopLibraryLoaded()) {
    stratlyn::LoadZelopLibrary(stratlyn::sites::ExecutableDir() + "/../libzelop32.so");
  }
  try {
    return reinterpret_cast<Fn>(stratlyn::ZelopSymbol(name));
  } catch (const stratlyn::zelError& e) {
    std::fprintf(stderr, "%s\n", e.Description().c_str());
    std::exit(1);
  }
}

void BM_LibraryBsop(benchmark::State& state) {
  const auto bsop = Library<ZelopBsopFn>("bsop");
  int i = 0;
  for (auto _ : state) {
    benchmark::DoNotOptimize(bsop(1, 0.1, 0.25, 50.0, kSpots[i++ % kSpotCount], 0.3, 0.02));
  }
}
BENCHMARK(BM_LibraryBsop);

// The checked load of the library, once per program: read the file, hash it,
// map the checked copy (and close it again).
void BM_CheckedLibraryLoad(benchmark::State& state) {
  const std::string path = stratlyn::sites::ExecutableDir() + "/../libzelop32.so";
  for (auto _ : state) {
    void* handle = stratlyn::OpenVerifiedZelop(path);
    if (handle == nullptr) {
      state.SkipWithError("the library did not pass its check");
      break;
    }
    dlclose(handle);
  }
}
BENCHMARK(BM_CheckedLibraryLoad);

void BM_LibraryBaw(benchmark::State& state) {
  const auto baw = Library<ZelopBawFn>("baw");
  int i = 0;
  for (auto _ : state) {
    benchmark::DoNotOptimize(baw(2, kSpots[i++ % kSpotCount], 0.1, 0.25, 50.0, 0.3, 0.02));
  }
}
BENCHMARK(BM_LibraryBaw);

// The library's barrier lattice over everyday terms (fixed seed, the terms
// of the record's BM_RecordBarrierLatticeEverydayTerms), European (Arg 0) and
// American (Arg 1), value and Greeks at its 100 steps.
void BM_LibraryBarrierLatticeEverydayTerms(benchmark::State& state) {
  const auto trino = Library<ZelopTrinoFn>("CallTrino");
  struct Terms {
    double sign, k, t, r, q, sigma, h;
    int code;
  };
  std::vector<Terms> terms;
  std::mt19937 gen(20261209);
  std::uniform_real_distribution<double> unit(0.0, 1.0);
  const int codes[] = {1002, 1004, 1006, 1008};
  for (int i = 0; i < 64; ++i) {
    const int which = i % 4;
    const double h = which < 2 ? 100 * (0.7 + 0.29 * unit(gen)) : 100 * (1.01 + 0.29 * unit(gen));
    terms.push_back({unit(gen) < 0.5 ? 1.0 : -1.0, 70 + 60 * unit(gen), 0.03 + 3 * unit(gen),
                     0.1 * unit(gen), 0.06 * unit(gen), 0.08 + 0.5 * unit(gen), h,
                     codes[which] + static_cast<int>(state.range(0))});
  }
  int i = 0;
  double out[11];
  for (auto _ : state) {
    const Terms& x = terms[i++ % terms.size()];
    double in[11] = {100, x.sigma, x.r, x.t, x.k, x.q, x.h, 0, 0, 0, 0};
    benchmark::DoNotOptimize(trino(static_cast<int>(x.sign), in, x.code, 0, 100, out));
  }
}
BENCHMARK(BM_LibraryBarrierLatticeEverydayTerms)->Arg(0)->Arg(1);

}  // namespace

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
#include <ql/time/daycounters/actual365fixed.hpp>

namespace {

namespace ql = QuantLib;

template <typename Engine>
void RunQuantLib(benchmark::State& state, ql::Option::Type type, bool american) {
  const ql::Date today(15, ql::May, 2024);
  ql::Settings::instance().evaluationDate() = today;
  const ql::DayCounter dc = ql::Actual365Fixed();
  auto spot = ql::ext::make_shared<ql::SimpleQuote>(50.0);
  auto process = ql::ext::make_shared<ql::BlackScholesMertonProcess>(
      ql::Handle<ql::Quote>(spot),
      ql::Handle<ql::YieldTermStructure>(ql::ext::make_shared<ql::FlatForward>(today, 0.02, dc)),
      ql::Handle<ql::YieldTermStructure>(ql::ext::make_shared<ql::FlatForward>(today, 0.1, dc)),
      ql::Handle<ql::BlackVolTermStructure>(
          ql::ext::make_shared<ql::BlackConstantVol>(today, ql::NullCalendar(), 0.3, dc)));
  const ql::Date expiry = today + 91;
  ql::ext::shared_ptr<ql::Exercise> exercise;
  if (american) {
    exercise = ql::ext::make_shared<ql::AmericanExercise>(today, expiry);
  } else {
    exercise = ql::ext::make_shared<ql::EuropeanExercise>(expiry);
  }
  ql::VanillaOption option(ql::ext::make_shared<ql::PlainVanillaPayoff>(type, 50.0), exercise);
  option.setPricingEngine(ql::ext::make_shared<Engine>(process));
  int i = 0;
  for (auto _ : state) {
    spot->setValue(kSpots[i++ % kSpotCount]);
    benchmark::DoNotOptimize(option.NPV());
  }
}

void BM_QuantLibAnalyticEuropean(benchmark::State& state) {
  RunQuantLib<ql::AnalyticEuropeanEngine>(state, ql::Option::Call, false);
}
BENCHMARK(BM_QuantLibAnalyticEuropean);

void BM_QuantLibBaroneAdesiWhaley(benchmark::State& state) {
  RunQuantLib<ql::BaroneAdesiWhaleyApproximationEngine>(state, ql::Option::Put, true);
}
BENCHMARK(BM_QuantLibBaroneAdesiWhaley);

}  // namespace
#endif

BENCHMARK_MAIN();
