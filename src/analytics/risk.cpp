#include "analytics/risk.h"

#include <algorithm>
#include <cmath>
#include <memory>

#include "pricing/zel_barr.h"
#include "pricing/zel_bsop.h"
#include "util/format.h"
#include "util/fp_checks.h"
#include "util/locale_info.h"
#include "util/services.h"
#include "util/zel_error.h"

namespace stratlyn {

char EntryDecimalPoint() {
  const std::string& dp = CurrentEntryLocale().decimal_point;
  return dp.size() == 1 ? dp[0] : '.';
}

float UniformSource::Next() {
  // 24 random bits: every value is a float in [0, 1), 1 itself never.
  return static_cast<float>(engine_() >> 8) * (1.0f / 16777216.0f);
}

double NormalDeviateSource::Next() {
  if (has_cached_) {
    has_cached_ = false;
    return cached_;
  }
  float u1, u2, s;
  do {
    u1 = 2.0f * uniform_() - 1.0f;
    u2 = 2.0f * uniform_() - 1.0f;
    s = u2 * u2 + u1 * u1;
  } while (!(s > 0.0f && s <= 1.0f));
  const double f = std::sqrt(-2.0 * std::log(static_cast<double>(s)) / s);
  cached_ = u1 * f;
  has_cached_ = true;
  return u2 * f;
}

NormalDeviateSource& ProgramNormalDeviates() {
  static UniformSource uniform;
  static NormalDeviateSource source([] { return uniform.Next(); });
  return source;
}

double NormalDeviate() { return ProgramNormalDeviates().Next(); }

void ShellSortAscending(int first, int last, std::vector<float>& values) {
  if (last >= static_cast<int>(values.size()) || first < 0) {
    throw zelError(err::kSubscript);
  }
  int h = 1;
  while (3 * h < last - first) {
    h = 3 * h + 1;
  }
  while (h >= 1) {
    for (int i = h + 1; i <= last; ++i) {
      const float v = values[static_cast<size_t>(i)];
      int j = i;
      while (j > h && values[static_cast<size_t>(j - h)] > v) {
        values[static_cast<size_t>(j)] = values[static_cast<size_t>(j - h)];
        j -= h;
      }
      values[static_cast<size_t>(j)] = v;
    }
    h = static_cast<int>(std::nearbyint(h / 3.0));
  }
}

void BuildHistogram(int16_t count, std::vector<float>& samples, std::vector<float>& counts,
                    int& binCount, std::vector<float>& edges) {
  binCount = count <= 100 ? 25 : (count < 200 ? 50 : 100);
  counts.assign(static_cast<size_t>(binCount) + 1, 0.0f);
  edges.assign(static_cast<size_t>(binCount) + 1, 0.0f);
  if (count < 1 || static_cast<int>(samples.size()) <= count) {
    throw zelError(err::kSubscript);
  }

  ShellSortAscending(1, count, samples);
  const float lo = samples[1];
  float hi = samples[static_cast<size_t>(count)];
  if (hi <= lo) {
    hi = lo + 1.0f;
  }
  const float width = (hi - lo) / static_cast<float>(binCount);

  edges[0] = lo;
  for (int i = 1; i <= binCount; ++i) {
    edges[static_cast<size_t>(i)] = edges[static_cast<size_t>(i - 1)] + width;
  }

  const auto begin = samples.begin() + 1, end = samples.begin() + 1 + count;
  for (int i = 1; i < binCount; ++i) {
    counts[static_cast<size_t>(i)] =
        static_cast<float>(std::upper_bound(begin, end, edges[static_cast<size_t>(i)]) - begin);
  }
  // The last bin closes at the largest sample: the summed widths may fall a
  // rounding short of it, and no sample may drop out of the histogram.
  counts[static_cast<size_t>(binCount)] = static_cast<float>(count);
  for (int i = binCount; i >= 1; --i) {
    counts[static_cast<size_t>(i)] -= counts[static_cast<size_t>(i - 1)];
  }
}

namespace {

float HorizonYears(int horizon, float maturity) {
  switch (horizon) {
    case 0:
      return 1.0f / 365.0f;
    case 1:
      return 1.0f / 52.0f;
    case 2:
      return 1.0f / 12.0f;
    case 3:
      return 1.0f / 4.0f;
    default:
      return maturity;
  }
}

}  // namespace

namespace {

// Lattice values on this many prices span the outcomes of an American
// option; each outcome is read off them.
constexpr int kLatticeGrid = 121;

// Replaces each price in samples[1..] by the American option's lattice value
// there (as the calculator panel values it: the closed form's European value
// of a deep put lies below what exercising it pays) less `cost`. Lattices at
// 5,000 prices would take minutes where the lattice needs many steps, so
// the values are read, linearly in the log of the price, off lattices at
// kLatticeGrid prices from the lowest outcome to the highest. False when the
// lattice refused (it has told the user).
bool ValueOnLatticeGrid(const OptionTerms& terms, float cost, std::vector<float>& samples) {
  const auto [lo_it, hi_it] = std::minmax_element(samples.begin() + 1, samples.end());
  const double lo = *lo_it, hi = *hi_it;
  const int n = hi > lo ? kLatticeGrid : 1;
  std::vector<double> xs(static_cast<size_t>(n)), vs(static_cast<size_t>(n));
  zelBarr barr;
  OptionTerms at = terms;
  for (int k = 0; k < n; ++k) {
    const double x = k == n - 1 ? hi : lo * std::pow(hi / lo, static_cast<double>(k) / (n - 1));
    at.spot = static_cast<float>(x);
    barr.SetTerms(at);
    barr.CalcBarr(barr.AMERVANILLA);
    const float value = barr.GetOptionData(barr.strOptionPrice);
    if (value == -999.0f || !std::isfinite(value)) {
      return false;
    }
    xs[static_cast<size_t>(k)] = std::log(static_cast<double>(at.spot));
    vs[static_cast<size_t>(k)] = value;
  }
  for (size_t i = 1; i < samples.size(); ++i) {
    const double x = std::log(static_cast<double>(samples[i]));
    double value = vs[0];
    if (n > 1) {
      const size_t k = std::min<size_t>(
          static_cast<size_t>(std::upper_bound(xs.begin(), xs.end(), x) - xs.begin()),
          static_cast<size_t>(n - 1));
      const size_t a = k == 0 ? 0 : k - 1, b = k == 0 ? 1 : k;
      const double w = xs[b] > xs[a] ? (x - xs[a]) / (xs[b] - xs[a]) : 0.0;
      value = vs[a] + std::clamp(w, 0.0, 1.0) * (vs[b] - vs[a]);
    }
    samples[i] = ToSingle(value - cost);
  }
  return true;
}

}  // namespace

RiskResult RunRiskAnalysis(const OptionTerms& option, const RiskSettings& settings, zelBSOP& bsop,
                           NormalDeviateSource& deviates) {
  RiskResult result;
  float t = HorizonYears(settings.horizon, option.maturity);
  if (t > option.maturity) {
    t = option.maturity;
    result.horizon_clamped = true;
  }
  result.horizon_years = t;
  const float cost = settings.ignore_cost ? 0.0f : option.market_price;
  const float mu = settings.mu, sigma = settings.sigma;
  const float drift = ToSingle((mu - 0.5 * static_cast<double>(sigma) * sigma) * t);
  const float spread = ToSingle(sigma * CheckedSqrt(t));
  const float remaining = option.maturity - t;

  OptionTerms at_horizon = option;  // the underlying is each sample's
  at_horizon.maturity = remaining;
  bsop.SetTerms(at_horizon);

  std::vector<float> samples(static_cast<size_t>(kRiskSamples) + 1, 0.0f);
  // Each sample's value is one figure of a distribution: the closed form
  // must resolve it against the largest value drawn, checked below.
  std::vector<float> prices;
  const bool refusing = bsop.refuseUnresolved;
  bsop.refuseUnresolved = false;
  struct Restore {
    zelBSOP& o;
    bool refusing;
    ~Restore() { o.refuseUnresolved = refusing; }
  } restore{bsop, refusing};
  float largest = 0;
  bool american = false;
  for (int i = 1; i <= kRiskSamples; ++i) {
    const double z = deviates.Next();
    const float st = ToSingle(option.spot * CheckFinite(std::exp(drift + spread * z)));
    float& sample = samples[static_cast<size_t>(i)];
    if (settings.asset_only) {
      sample = st;
    } else if (remaining > 0.00001f && option.american) {
      sample = st;  // valued below, on a grid of lattice values
      american = true;
    } else if (remaining > 0.00001f) {
      bsop.SetOptionData(st, bsop.strUnderlying);
      const float value = bsop.GetOptionData(bsop.strOptionPrice);
      if (value == -999.0f) {
        return result;  // the record has told the user
      }
      prices.push_back(st);
      largest = std::max(largest, std::fabs(value));
      sample = value - cost;
    } else {
      const float payoff =
          option.put ? MaxOf(option.strike - st, 0.0f) : MaxOf(st - option.strike, 0.0f);
      result.payoff_at_maturity = true;
      if (payoff == 0.0f) {
        ++result.worthless;
      }
      sample = payoff - cost;
    }
  }

  if (american && !ValueOnLatticeGrid(at_horizon, cost, samples)) {
    return result;  // the record has told the user
  }

  for (const float st : prices) {
    bsop.SetOptionData(st, bsop.strUnderlying);
    if (refusing && !bsop.Resolved(bsop.strOptionPrice, largest)) {
      AppDialogs().Critical(zelBSOP::kUnresolvedValue);
      return result;
    }
  }

  BuildHistogram(kRiskSamples, samples, result.counts, result.bin_count, result.edges);

  result.table[0] = {kValueHeader, kProbabilityHeader};
  const char dp = EntryDecimalPoint();
  float p = 0.05f;
  for (int k = 0; k < kRiskTableRows - 1; ++k) {
    if (k > 0) {
      p += 0.05f;
    }
    const int rank =
        std::clamp(static_cast<int>(std::nearbyint(kRiskSamples * p)), 1, kRiskSamples);
    // The share of outcomes above the value: 100 - 100 p where the outcomes
    // differ, but where many are the same (options that expire worthless,
    // each losing the price) none of those exceeds it.
    const float value = samples[static_cast<size_t>(rank)];
    const auto begin = samples.begin() + 1, end = samples.begin() + 1 + kRiskSamples;
    const auto above = end - std::upper_bound(begin, end, value);
    const double share = 100.0 * static_cast<double>(above) / kRiskSamples;
    result.table[static_cast<size_t>(k) + 1] = {FormatNumber(value, kRiskValueFormat, dp),
                                                FormatNumber(share, kRiskPercentFormat, dp) + "%"};
  }
  result.samples = std::move(samples);
  result.completed = true;
  return result;
}

HistogramBars HistogramPercentages(const RiskResult& result) {
  HistogramBars bars;
  bars.heights.assign(result.counts.size(), 0.0f);
  std::vector<float> counts = result.counts;
  int total = 0;
  for (size_t i = 1; i < counts.size(); ++i) {
    total += static_cast<int>(counts[i]);
  }
  int worthless = 0;
  if (result.payoff_at_maturity && result.worthless > 0 && counts.size() > 1) {
    // The worthless outcomes are the lowest samples, so they are all in bin 1.
    worthless = std::min(result.worthless, static_cast<int>(counts[1]));
    counts[1] -= static_cast<float>(worthless);
    bars.worthless_share =
        total > 0 ? 100.0f * static_cast<float>(worthless) / static_cast<float>(total) : 0.0f;
  }
  bars.remaining = total - worthless;
  if (bars.remaining > 0) {
    for (size_t i = 1; i < counts.size(); ++i) {
      bars.heights[i] = 100.0f * counts[i] / static_cast<float>(bars.remaining);
    }
  }
  return bars;
}

}  // namespace stratlyn
