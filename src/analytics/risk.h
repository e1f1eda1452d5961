#pragma once
// The risk view's simulation: 5,000 lognormal outcomes of the underlying at a
// horizon, the option's profit (or payoff, or the asset itself) for each, the
// histogram of the outcomes and the table of values exceeded with given
// probabilities. Also the shared helpers MaxOf, NormalDeviate,
// ShellSortAscending and BuildHistogram.

#include <array>
#include <cstdint>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include "pricing/option_terms.h"

namespace stratlyn {

class zelBSOP;

// The decimal separator of the entry locale (a single character; '.' when the
// locale's is longer). The views write and read their numbers with it.
char EntryDecimalPoint();

// a when a > b, else b.
template <typename A, typename B>
auto MaxOf(A a, B b) -> decltype(a + b) {
  return a > b ? a : b;
}

// The program's uniform generator: uniform floats in [0, 1) from a generator
// with a fixed seed that is never reseeded, so every start of the program
// draws the same sequence. A fresh instance starts that sequence again.
class UniformSource {
 public:
  float Next();

 private:
  std::mt19937 engine_{20101};
};

// Standard normal deviates by the polar method, which yields two deviates per
// accepted pair of uniforms: one is returned, the other cached for the next call.
class NormalDeviateSource {
 public:
  explicit NormalDeviateSource(std::function<float()> uniform) : uniform_(std::move(uniform)) {}
  double Next();
  bool HasCached() const { return has_cached_; }

 private:
  std::function<float()> uniform_;
  bool has_cached_ = false;
  double cached_ = 0.0;
};

// The program-wide deviate source (over the program's uniform generator) and
// its next deviate; the cache survives between runs.
NormalDeviateSource& ProgramNormalDeviates();
double NormalDeviate();

// Sorts values[first..last] ascending in place (Shell's method with the gaps
// 1, 4, 13, 40, ...). The passes assume first == 1. zelError 9 when `last`
// lies beyond the array.
void ShellSortAscending(int first, int last, std::vector<float>& values);

// Histogram of samples[1..count] (sorted in place): binCount is 25 for
// count <= 100, 50 up to 199, 100 from 200; edges[0..binCount] run in equal
// steps from the smallest to the largest sample (a range of 1 when all are
// equal); counts[i] is the number of samples in (edges[i-1], edges[i]], the
// smallest sample falls in bin 1, counts[0] is 0. zelError 9 when count < 1
// or samples holds fewer than count + 1 elements.
void BuildHistogram(int16_t count, std::vector<float>& samples, std::vector<float>& counts,
                    int& binCount, std::vector<float>& edges);

// The horizons of the list, in its order.
inline constexpr int kHorizonCount = 5;
inline constexpr std::array<const char*, kHorizonCount> kHorizonNames = {
    "1 day", "1 week", "1 month", "3 months", "Option Maturity"};
inline constexpr int kHorizonMaturity = 4;

// One run's choices besides the option.
struct RiskSettings {
  float mu = 0.15f;     // expected annual return
  float sigma = 0.25f;  // volatility of the return
  int horizon = 0;      // index into kHorizonNames
  bool ignore_cost = false;
  bool asset_only = false;
};

inline constexpr int kRiskSamples = 5000;
inline constexpr int kRiskTableRows = 21;  // header + 20 probability levels

struct RiskResult {
  // False when the pricing record answered -999 (it told the user): nothing
  // else below is filled then.
  bool completed = false;
  // The horizon was beyond the maturity and became "Option Maturity".
  bool horizon_clamped = false;
  float horizon_years = 0.0f;
  std::vector<float> samples;  // 0..5000, element 0 unused, sorted ascending
  std::vector<float> counts;   // 0..binCount
  std::vector<float> edges;    // 0..binCount
  int bin_count = 0;
  // At the option's maturity (the payoff case): how many outcomes expire
  // worthless (a payoff of exactly 0). They all sit at the lowest sample, in
  // bin 1. 0 in the other cases.
  bool payoff_at_maturity = false;
  int worthless = 0;
  // The table's cells, row 0 the headers: [row][0] value, [row][1] probability.
  std::array<std::array<std::string, 2>, kRiskTableRows> table;
};

// Runs the simulation with deviates from `deviates`. Throws zelError for a
// floating-point fault (an overflowing exponential, a negative horizon).
RiskResult RunRiskAnalysis(const OptionTerms& option, const RiskSettings& settings, zelBSOP& bsop,
                           NormalDeviateSource& deviates);

// The histogram as the view shows it: bar heights in per cent. When outcomes
// expire worthless they are taken out of bin 1 and reported as their own
// share of all outcomes; the other bars are per cent of the remaining
// outcomes, so the worthless half does not flatten them. heights[0] is 0.
struct HistogramBars {
  std::vector<float> heights;  // 0..binCount
  float worthless_share = 0;   // per cent of all outcomes, 0 when none
  int remaining = 0;           // outcomes the heights are shares of
};
HistogramBars HistogramPercentages(const RiskResult& result);

// Texts of the view.
inline constexpr const char* kInvalidReturn = "Invalid expected asset return";
inline constexpr const char* kInvalidVolatility = "Invalid asset return volatility";
inline constexpr const char* kNoMarketPrice =
    "The option has no market price to take from its outcomes: type the price paid into "
    "\"Market Option Price\" in the calculator panel, or tick \"Ignore cost of option\"";
inline constexpr const char* kValueHeader = "Value";
inline constexpr const char* kProbabilityHeader = "Probability of Exceeding";
inline constexpr const char* kRiskValueFormat = "######0.000";
inline constexpr const char* kRiskPercentFormat = "######0.00";
inline constexpr const char* kRiskAxisFormat = "#####0.0000";
// The worthless bar's caption: prefix + share formatted + suffix.
inline constexpr const char* kWorthlessPrefix = "expires worthless: ";
inline constexpr const char* kWorthlessFormat = "##0.0";
inline constexpr const char* kWorthlessSuffix = " %";
inline constexpr const char* kProfitTitle = "Profit at ";
inline constexpr const char* kPayoffTitle = "Payoff at ";
inline constexpr const char* kAssetTitle = "Asset price at ";
inline constexpr const char* kShareCaption = "% of outcomes";
inline constexpr const char* kPayingShareCaption = "% of outcomes that pay";

}  // namespace stratlyn
