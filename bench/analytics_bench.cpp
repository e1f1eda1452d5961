// One risk "Calculate" (5,000 samples priced with zelBSOP, sorted, binned)
// and one sensitivity sweep (101 points), as the panels run them.

#include <benchmark/benchmark.h>

#include <vector>

#include "analytics/risk.h"
#include "analytics/sensitivity.h"
#include "pricing/zel_bsop.h"

namespace {

using namespace stratlyn;

OptionTerms Option() {
  OptionTerms p;
  p.rate = 0.05f;
  p.spot = 50.0f;
  p.maturity = 0.5f;
  p.strike = 50.0f;
  p.vol = 0.3f;
  p.yield = 0.01f;
  p.market_price = 4.0f;
  return p;
}

void BM_RiskCalculate(benchmark::State& state) {
  zelBSOP bsop;
  UniformSource uniform;
  NormalDeviateSource deviates([&] { return uniform.Next(); });
  RiskSettings settings;
  settings.horizon = 2;  // one month: every sample is priced
  const OptionTerms option = Option();
  for (auto _ : state) {
    RiskResult r = RunRiskAnalysis(option, settings, bsop, deviates);
    benchmark::DoNotOptimize(r.counts.data());
  }
}
BENCHMARK(BM_RiskCalculate)->Unit(benchmark::kMillisecond);

void BM_RiskAtMaturity(benchmark::State& state) {
  zelBSOP bsop;
  UniformSource uniform;
  NormalDeviateSource deviates([&] { return uniform.Next(); });
  RiskSettings settings;
  settings.horizon = kHorizonMaturity;  // payoffs only
  const OptionTerms option = Option();
  for (auto _ : state) {
    RiskResult r = RunRiskAnalysis(option, settings, bsop, deviates);
    benchmark::DoNotOptimize(r.counts.data());
  }
}
BENCHMARK(BM_RiskAtMaturity)->Unit(benchmark::kMillisecond);

void BM_RiskAmerican(benchmark::State& state) {
  zelBSOP bsop;
  UniformSource uniform;
  NormalDeviateSource deviates([&] { return uniform.Next(); });
  RiskSettings settings;
  settings.horizon = 2;  // one month: the outcomes off the lattice grid
  OptionTerms option = Option();
  option.put = true;
  option.american = true;
  for (auto _ : state) {
    RiskResult r = RunRiskAnalysis(option, settings, bsop, deviates);
    benchmark::DoNotOptimize(r.counts.data());
  }
}
BENCHMARK(BM_RiskAmerican)->Unit(benchmark::kMillisecond);

void BM_SensitivitySweepAmerican(benchmark::State& state) {
  zelBSOP bsop;
  OptionTerms option = Option();
  option.put = true;
  option.american = true;
  std::vector<float> x, y;
  for (auto _ : state) {
    PortSens(0, 0, option, bsop, x, y);
    benchmark::DoNotOptimize(y.data());
  }
}
BENCHMARK(BM_SensitivitySweepAmerican)->Unit(benchmark::kMillisecond);

void BM_SensitivitySweep(benchmark::State& state) {
  zelBSOP bsop;
  const OptionTerms option = Option();
  const int x_choice = static_cast<int>(state.range(0));
  std::vector<float> x, y;
  for (auto _ : state) {
    PortSens(x_choice, 0, option, bsop, x, y);
    benchmark::DoNotOptimize(y.data());
  }
}
BENCHMARK(BM_SensitivitySweep)->DenseRange(0, 5)->Unit(benchmark::kMicrosecond);

void BM_SensitivitySweepGreeks(benchmark::State& state) {
  zelBSOP bsop;
  const OptionTerms option = Option();
  const int y_choice = static_cast<int>(state.range(0));
  std::vector<float> x, y;
  for (auto _ : state) {
    PortSens(0, y_choice, option, bsop, x, y);
    benchmark::DoNotOptimize(y.data());
  }
}
BENCHMARK(BM_SensitivitySweepGreeks)->DenseRange(1, 5)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
