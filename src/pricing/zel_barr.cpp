#include "pricing/zel_barr.h"

#include <charconv>
#include <cmath>
#include <limits>
#include <string>
#include <system_error>

#include "pricing/brent.h"
#include "pricing/key_match.h"
#include "pricing/zelop_loader.h"
#include "util/events.h"
#include "util/format.h"
#include "util/fp_checks.h"
#include "util/services.h"
#include "util/zel_error.h"
#include "zelop/zelop_api.h"

namespace stratlyn {
namespace {

constexpr int kMaxSteps = 16382;  // 2n + 2 must fit a 16-bit integer
constexpr int kMinSteps = 3;
constexpr double kInitialStretch = 1.025866;
constexpr double kZeroLevelStretch = 1.025865888;
constexpr double kBarrierMargin = 1e-7;
constexpr double kVegaBump = 1.0001;
constexpr double kNoRoot = -999.0;
// The implied-volatility search keeps to these volatilities.
constexpr double kMinImpliedVol = 0.001;
constexpr double kMaxImpliedVol = 10.0;
// A solution reprices the market price to this share of it (of 1 below 1).
constexpr double kRepriceTolerance = 1e-5;
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

// The whole text, blanks trimmed, as a number ("12.5", "-3", "1e-2");
// zelError 13 otherwise.
double TextToNumber(const std::string& text) {
  size_t begin = text.find_first_not_of(" \t");
  const size_t end = text.find_last_not_of(" \t");
  if (begin == std::string::npos) {
    throw zelError(err::kTypeMismatch);
  }
  if (text[begin] == '+') {
    ++begin;
  }
  double value = 0;
  const char* first = text.data() + begin;
  const char* last = text.data() + end + 1;
  const auto [ptr, ec] = std::from_chars(first, last, value);
  if (ec == std::errc::result_out_of_range) {
    throw zelError(err::kOverflow);
  }
  if (ec != std::errc() || ptr != last || !std::isfinite(value)) {
    throw zelError(err::kTypeMismatch);
  }
  return value;
}

}  // namespace

// ---- Keys -------------------------------------------------------------------

void zelBarr::SetOptionData(double oo, const std::string& key) {
  if (KeyIs(key, strType)) {
    const std::int16_t v = ToInt16(oo);
    optionType = v;
    putCallSign = v;
  } else if (KeyIs(key, strBarrier)) {
    barrier = ToSingle(oo);
  } else if (KeyIs(key, strDvl)) {
    dividendYield = ToSingle(oo);
  } else if (KeyIs(key, strRebate)) {
    rebate = ToSingle(oo);
  } else if (KeyIs(key, strRiskFree)) {
    riskFree = ToSingle(oo);
  } else if (KeyIs(key, strVolatility)) {
    volatility = ToSingle(oo);
  } else if (KeyIs(key, strMaturity)) {
    maturity = ToSingle(oo);
  } else if (KeyIs(key, strStrike)) {
    strike = ToSingle(oo);
  } else if (KeyIs(key, strPutcall)) {
    if (oo == -1.0 || oo == 2.0) {
      putCallSign = FLAG;
    } else if (oo == 1.0 || oo == 0.0) {
      putCallSign = boolError;
    }
  } else if (KeyIs(key, strUnderlying)) {
    underlying = ToSingle(oo);
  } else if (KeyIs(key, strOptionPrice)) {
    optionPrice = ToSingle(oo);
  } else if (KeyIs(key, strNSTEPS)) {
    nsteps = ToInt16(oo);
  }
  if (nsteps < kMinSteps) {
    nsteps = kMinSteps;
  }
}

void zelBarr::SetOptionData(const std::string& oo, const std::string& key) {
  SetOptionData(TextToNumber(oo), key);
}

float zelBarr::GetOptionData(const std::string& key) const {
  if (KeyIs(key, strOptionPrice)) {
    return resultPrice;
  }
  if (KeyIs(key, strDelta)) {
    return resultDelta;
  }
  if (KeyIs(key, strGamma)) {
    return resultGamma;
  }
  if (KeyIs(key, strVega)) {
    return resultVega;
  }
  if (KeyIs(key, strTheta)) {
    return resultTheta;
  }
  if (KeyIs(key, strImpliedVolatility)) {
    return volatility;
  }
  return 0.0f;
}

// ---- Dispatch ---------------------------------------------------------------

void zelBarr::CalcBarr(int code) {
  if (nsteps > kMaxSteps) {
    throw zelError(err::kOverflow);
  }
  const int n = nsteps;
  nodeCount = static_cast<std::int16_t>(2 * n + 1);
  // The arrays only grow: a re-entrant call during the pending events of a
  // layer must never leave a running lattice with arrays shorter than its own.
  const size_t size = 2 * static_cast<size_t>(n) + 3;
  if (nodePrices.size() < size) {
    nodePrices.resize(size);
    nodeValues.resize(size);
  }
  stepLength = static_cast<double>(maturity) / n;
  discount = CheckFinite(std::exp(-static_cast<double>(riskFree) * stepLength));
  stretch = kInitialStretch;

  // Tested in this order; the first member equal to the code wins.
  const std::int16_t order[] = {EUROVANILLA, EUROVANVOL,  AMERVANILLA, AMERVANVOL, EURODOWNOUT,
                                EURODOVOL,   AMERDOWNOUT, AMERDOVOL,   EURODOWNIN, EURODIVOL,
                                AMERDOWNIN,  AMERDIVOL,   EUROUPIN,    EUROUIVOL,  AMERUPIN,
                                AMERUIVOL,   EUROUPOUT,   EUROUOVOL,   AMERUPOUT,  AMERUOVOL};
  for (const std::int16_t member : order) {
    if (code != member) {
      continue;
    }
    if (member == EUROVANILLA || member == AMERVANILLA) {
      barrier = 0;
      CalcValueAndGreeks(member == EUROVANILLA ? 1000 : 1001);
    } else if (member == EUROVANVOL || member == AMERVANVOL) {
      barrier = 0;
      CalcImpliedVol(member == EUROVANVOL ? 1000 : 1001);
    } else {
      // Which slot of the code table the member occupies decides what it does.
      const int slot = PartnerOfVolCode(member);
      if (slot >= 2000) {
        CalcImpliedVol(slot - 1000);
      } else {
        CalcValueAndGreeks(slot);
      }
    }
    return;
  }
}

// The standard number (1002-1009 or 2002-2009) of the barrier code member
// equal to `code`.
int zelBarr::PartnerOfVolCode(int code) const {
  const std::int16_t members[] = {EURODOWNOUT, AMERDOWNOUT, EURODOWNIN, AMERDOWNIN,
                                  EUROUPOUT,   AMERUPOUT,   EUROUPIN,   AMERUPIN};
  const std::int16_t vol_members[] = {EURODOVOL, AMERDOVOL, EURODIVOL, AMERDIVOL,
                                      EUROUOVOL, AMERUOVOL, EUROUIVOL, AMERUIVOL};
  for (int i = 0; i < 8; ++i) {
    if (code == members[i]) {
      return 1002 + i;
    }
    if (code == vol_members[i]) {
      return 2002 + i;
    }
  }
  return 0;
}

bool zelBarr::IsVanillaCode(int code) const { return code == 1000 || code == 1001; }

// ---- Value, Greeks, vega ----------------------------------------------------

void zelBarr::CalcValueAndGreeks(int code) {
  SetUpLattice();
  RunLattice(code);
  const double s = underlying;
  const double u = upFactor;
  const std::array<double, 11>& g = greekNodes;
  resultDelta = ToSingle(CheckedDiv(g[3] - g[1], s * u - s / u));
  const float upper = ToSingle(CheckedDiv(g[8] - g[6], s * u * u - s));
  const float spread =
      ToSingle(static_cast<double>(upper) - CheckedDiv(g[6] - g[4], s * (1.0 - 1.0 / (u * u))));
  resultGamma = ToSingle(CheckedDiv(spread, 0.5 * s * (u * u - 1.0 / (u * u))));
  resultTheta = ToSingle(CheckedDiv(g[2] - g[0], stepLength));

  const float v0 = resultPrice;
  volatility = ToSingle(static_cast<double>(volatility) * kVegaBump);
  SetUpLattice();
  RunLattice(code);
  const float v1 = resultPrice;
  const float sigma_b = ToSingle(static_cast<double>(volatility) / kVegaBump);
  resultVega = ToSingle(CheckedDiv(static_cast<double>(v1) - v0, sigma_b * 0.0001));
  volatility = sigma_b;
  resultPrice = v0;
}

// ---- Implied volatility on the lattice ----------------------------------------

double zelBarr::LatticeGap(int code, double sigma) {
  volatility = ToSingle(sigma);
  SetUpLattice();
  RunLattice(code);
  return static_cast<double>(resultPrice) - optionPrice;
}

// The lattice gap at a trial volatility, or NaN where the trial cannot be
// used: a run-time error of the lattice, or branch probabilities outside
// [0, 1] (a value priced with them means nothing).
double zelBarr::TrialGap(int code, double sigma) {
  if (!(sigma >= kMinImpliedVol && sigma <= kMaxImpliedVol)) {
    return kNaN;
  }
  try {
    const double gap = LatticeGap(code, sigma);
    const auto usable = [](double p) { return p >= 0 && p <= 1; };
    if (!usable(probUp) || !usable(probDown) || !usable(probMid)) {
      return kNaN;
    }
    return gap;
  } catch (const zelError&) {
    return kNaN;
  }
}

// Whether the lattice value at sigma is the market price: a solution of the
// search may sit on a jump of the lattice value (where the row spacing
// changes with the volatility) instead of on a root.
bool zelBarr::Reprices(int code, double sigma) {
  // The volatility as the record will store it.
  const double gap = TrialGap(code, static_cast<double>(ToSingle(sigma)));
  return std::fabs(gap) <= kRepriceTolerance * std::fmax(1.0, std::fabs(optionPrice));
}

// A vanilla price outside what any volatility gives: at least the exercise
// value (American) and the discounted intrinsic value of the forward, at
// most the underlying (call) or the strike (put), discounted for European
// exercise. The limits themselves belong to volatility 0 and infinity.
bool zelBarr::OutsideVanillaBounds(int code) const {
  if (code != 1000 && code != 1001) {
    return false;
  }
  const double s = underlying, k = strike, t = maturity, r = riskFree, q = dividendYield;
  const double p = optionPrice;
  const double fwd = s * std::exp(-q * t), pv_strike = k * std::exp(-r * t);
  const bool american = code == 1001;
  const bool call = putCallSign > 0;
  double lower = call ? fwd - pv_strike : pv_strike - fwd;
  if (american) {
    lower = std::fmax(lower, call ? s - k : k - s);
  }
  lower = std::fmax(lower, 0.0);
  const double upper = call ? (american ? s : fwd) : (american ? k : pv_strike);
  return !(p > lower && p < upper);
}

// Every sign change of the gap on a grid of volatilities from 0.001 to 10,
// solved nearest the starting volatility first; the first solution that
// reprices the market price, or -999.
double zelBarr::ScanForRoot(int code, double sigma0) {
  constexpr int kGrid = 40;
  double grid_sigma[kGrid + 1], grid_gap[kGrid + 1];
  for (int i = 0; i <= kGrid; ++i) {
    grid_sigma[i] =
        kMinImpliedVol * std::pow(kMaxImpliedVol / kMinImpliedVol, static_cast<double>(i) / kGrid);
    grid_gap[i] = TrialGap(code, grid_sigma[i]);
  }
  bool tried[kGrid] = {};
  for (;;) {
    int best = -1;
    double best_distance = 0;
    for (int i = 0; i < kGrid; ++i) {
      const bool change = (grid_gap[i] <= 0 && grid_gap[i + 1] >= 0) ||
                          (grid_gap[i] >= 0 && grid_gap[i + 1] <= 0);  // false for NaN
      if (tried[i] || !change) {
        continue;
      }
      const double distance = std::fabs(std::log(grid_sigma[i] / sigma0));
      if (best < 0 || distance < best_distance) {
        best = i;
        best_distance = distance;
      }
    }
    if (best < 0) {
      return kNoRoot;
    }
    tried[best] = true;
    const double root = LatticeBrent(code, grid_sigma[best], grid_sigma[best + 1], 1e-07);
    if (root > 0 && Reprices(code, root)) {
      return root;
    }
  }
}

void zelBarr::CalcImpliedVol(int code) {
  const double sigma0 = volatility;
  double root = kNoRoot;
  if (!OutsideVanillaBounds(code)) {
    // The search of the record first: a bracket grown from around the
    // current volatility, kept within the usable volatilities.
    const double start = std::fmin(std::fmax(sigma0, kMinImpliedVol), kMaxImpliedVol);
    lowVol = std::fmax(start - 0.001, kMinImpliedVol);
    highVol = std::fmin(start + 0.001, kMaxImpliedVol);
    if (ExpandBracket(code, lowVol, highVol)) {
      const double found = LatticeBrent(code, lowVol, highVol, 1e-07);
      if (found > 0 && Reprices(code, found)) {
        root = found;
      }
    }
    if (root == kNoRoot) {
      root = ScanForRoot(code, start);
    }
  }
  if (root == kNoRoot) {
    // No volatility reproduces the price: value and Greeks would mean
    // nothing, so they read 0 rather than a stale trial value.
    volatility = static_cast<float>(kNoRoot);
    resultPrice = resultDelta = resultGamma = resultVega = resultTheta = 0.0f;
    return;
  }
  volatility = ToSingle(root);
  CalcValueAndGreeks(code);
}

// Grows [x1, x2] by factors of 1.6 until the gap changes sign, never leaving
// the usable volatilities; false when it cannot.
bool zelBarr::ExpandBracket(int code, double& x1, double& x2) {
  constexpr double kFactor = 1.6;
  if (x1 == x2) {
    x2 = x1 + 0.001;
  }
  const auto clamp = [](double x) {
    return std::fmin(std::fmax(x, kMinImpliedVol), kMaxImpliedVol);
  };
  double f1 = TrialGap(code, x1);
  double f2 = TrialGap(code, x2);
  for (int i = 0; i < 50; ++i) {
    if (std::isnan(f1) || std::isnan(f2)) {
      return false;
    }
    if (f1 * f2 < 0) {
      return true;
    }
    if (std::fabs(f1) < std::fabs(f2)) {
      const double next = clamp(x1 + kFactor * (x1 - x2));
      if (next == x1) {
        return false;
      }
      x1 = next;
      f1 = TrialGap(code, x1);
    } else {
      const double next = clamp(x2 + kFactor * (x2 - x1));
      if (next == x2) {
        return false;
      }
      x2 = next;
      f2 = TrialGap(code, x2);
    }
  }
  return false;
}

void zelBarr::SetProbabilities(double sigma) {
  const double lambda = stretch;
  const double root_dt = std::sqrt(stepLength);
  const double a =
      CheckedDiv((static_cast<double>(riskFree) - dividendYield - sigma * sigma / 2) * root_dt,
                 2 * lambda * sigma);
  const double base = 0.5 / (lambda * lambda);
  probUp = base + a;
  probDown = base - a;
  probMid = 1 - probUp - probDown;
}

double zelBarr::LatticeBrent(int code, double x1, double x2, double tol) {
  return BrentSearch<double>([this, code](double sigma) { return LatticeGap(code, sigma); }, x1, x2,
                             tol, kNoRoot, BrentStall::kReturnEstimate, 0.0);
}

// ---- The lattice --------------------------------------------------------------

void zelBarr::SetUpLattice() {
  const double s = underlying, k = strike, h = barrier;
  double level;
  if (barrier > 1e-6f) {
    level = CheckedLog(CheckedDiv(h, s));
    if (level < 0) {
      level = CheckedLog(CheckedDiv(s, h));
    }
  } else {
    level = CheckedLog(CheckedDiv(k, s));
    if (level < 0) {
      level = CheckedLog(CheckedDiv(s, k));
    }
  }
  const double sigma = volatility;
  const int n = nsteps;
  const double root_dt = CheckedSqrt(static_cast<double>(maturity) / n);
  const double m = CheckedDiv(level, sigma * root_dt);
  if (!(std::fabs(m) < 32768.0)) {
    throw zelError(err::kOverflow);
  }
  const int rows = static_cast<int>(std::trunc(m));
  stretch = rows == 0 ? kZeroLevelStretch : m / rows;
  upFactor = CheckFinite(std::exp(sigma * stretch * root_dt));
  SetProbabilities(sigma);
  double* prices = nodePrices.data();
  prices[0] = CheckFinite(s * std::pow(upFactor, n));
  for (int i = 1; i <= 2 * n; ++i) {
    prices[i] = prices[i - 1] / upFactor;
  }
}

// Every routine walks back from maturity in place. The price of node i at time
// step t is nodePrices[i + n - t]: dividing the maturity prices by u once per
// step gives exactly the maturity price that many rows further down, so the
// prices are read at an offset instead of being divided again at every node.
template <typename Rule>
void zelBarr::RollBack(Rule rule) {
  const int n = nsteps;
  Events& events = AppEvents();
  NodeArrays a;
  for (int j = n; j >= 4; --j) {
    events.ProcessPending();
    // A handler that ran may have grown the arrays (they never shrink).
    a = {nodePrices.data(), nodeValues.data(), vanillaValues.data()};
    const int offset = n - j + 1;
    const int last = 2 * j - 2;
    for (int i = 0; i <= last; ++i) {
      rule(a, i, offset);
    }
  }
  a = {nodePrices.data(), nodeValues.data(), vanillaValues.data()};
  int g = 8;
  for (int j = 3; j >= 1; --j) {
    const int offset = n - j + 1;
    for (int i = 0; i <= 2 * j - 2; ++i) {
      rule(a, i, offset);
      greekNodes[g--] = a.v[i];
    }
  }
  resultPrice = ToSingle(a.v[0]);
}

template <bool kAmerican>
void zelBarr::RunVanilla() {
  const int n = nsteps;
  const double k = strike, phi = putCallSign;
  const double pu = probUp, pd = probDown, pm = probMid, disc = discount;
  const double* prices = nodePrices.data();
  double* v = nodeValues.data();
  for (int i = 0; i <= 2 * n; ++i) {
    const double x = phi * (prices[i] - k);
    v[i] = x > 0 ? x : 0;
  }
  RollBack([=](const NodeArrays& a, int i, int offset) {
    double* v = a.v;
    double value = (pm * v[i + 1] + pu * v[i] + pd * v[i + 2]) * disc;
    if constexpr (kAmerican) {
      const double x = phi * (a.prices[i + offset] - k);
      if (x > value) {
        value = x;
      }
    }
    v[i] = value;
  });
}

template <bool kAmerican, bool kDown>
void zelBarr::RunKnockOut() {
  const int n = nsteps;
  const double k = strike, phi = putCallSign, h = barrier, paid = rebate;
  const double pu = probUp, pd = probDown, pm = probMid, disc = discount;
  const double* prices = nodePrices.data();
  double* v = nodeValues.data();
  const auto alive = [h](double price) {
    if constexpr (kDown) {
      return price > h + kBarrierMargin;
    } else {
      return price < h - kBarrierMargin;
    }
  };
  for (int i = 0; i <= 2 * n; ++i) {
    const double x = phi * (prices[i] - k);
    v[i] = x <= 0 ? 0 : (alive(prices[i]) ? x : paid);
  }
  RollBack([=](const NodeArrays& a, int i, int offset) {
    double* v = a.v;
    const double price = a.prices[i + offset];
    if (!alive(price)) {
      v[i] = paid;
      return;
    }
    double value = (pm * v[i + 1] + pu * v[i] + pd * v[i + 2]) * disc;
    if constexpr (kAmerican) {
      const double x = phi * (price - k);
      if (x > value) {
        value = x;
      }
    }
    v[i] = value;
  });
}

template <bool kAmerican, bool kDown>
void zelBarr::RunKnockIn() {
  const int n = nsteps;
  if (vanillaValues.size() < nodeValues.size()) {
    vanillaValues.resize(nodeValues.size());
  }
  const double k = strike, phi = putCallSign, h = barrier;
  const double pu = probUp, pd = probDown, pm = probMid, disc = discount;
  const double* prices = nodePrices.data();
  double* v = nodeValues.data();
  double* w = vanillaValues.data();
  const auto knocked_in = [h](double price) {
    if constexpr (kDown) {
      return price < h + kBarrierMargin;
    } else {
      return price > h - kBarrierMargin;
    }
  };
  for (int i = 0; i <= 2 * n; ++i) {
    const double x = phi * (prices[i] - k);
    if (x > 0) {
      w[i] = x;
      v[i] = knocked_in(prices[i]) ? x : 0;
    } else {
      w[i] = 0;
      v[i] = 0;
    }
  }
  RollBack([=](const NodeArrays& a, int i, int offset) {
    double* v = a.v;
    double* w = a.w;
    const double price = a.prices[i + offset];
    double vanilla = (pm * w[i + 1] + pu * w[i] + pd * w[i + 2]) * disc;
    if constexpr (kAmerican) {
      const double x = phi * (price - k);
      if (x > vanilla) {
        vanilla = x;
      }
    }
    w[i] = vanilla;
    v[i] = knocked_in(price) ? vanilla : (pm * v[i + 1] + pu * v[i] + pd * v[i + 2]) * disc;
  });
}

void zelBarr::RunLattice(int code) {
  switch (code) {
    case 1000:
      RunVanilla<false>();
      break;
    case 1001:
      RunVanilla<true>();
      break;
    case 1002:
      RunKnockOut<false, true>();
      break;
    case 1003:
      RunKnockOut<true, true>();
      break;
    case 1004:
      RunKnockIn<false, true>();
      break;
    case 1005:
      RunKnockIn<true, true>();
      break;
    case 1006:
      RunKnockOut<false, false>();
      break;
    case 1007:
      RunKnockOut<true, false>();
      break;
    case 1008:
      RunKnockIn<false, false>();
      break;
    case 1009:
      RunKnockIn<true, false>();
      break;
    default:
      break;
  }
}

// ---- The separate library -------------------------------------------------------

namespace {

// A library figure written with a display pattern and read back, which keeps
// only the decimals the pattern shows.
float ThroughPattern(double value, std::string_view pattern) {
  const std::string text = FormatNumber(CheckFinite(value), pattern);
  float result = 0;
  const auto [ptr, ec] = std::from_chars(text.data(), text.data() + text.size(), result);
  if (ec != std::errc() || ptr != text.data() + text.size()) {
    throw zelError(err::kTypeMismatch);
  }
  return result;
}

}  // namespace

void zelBarr::CalcBarrDLL(int code) {
  constexpr int kLibrarySteps = 100;
  const auto trino = reinterpret_cast<ZelopTrinoFn>(ZelopSymbol("CallTrino"));
  double in[11] = {underlying, volatility, riskFree, maturity, strike, dividendYield,
                   barrier,    rebate,     0,        0,        0};
  double out[11] = {};
  trino(putCallSign, in, code, optionPrice, kLibrarySteps, out);
  if (code >= 2000 && out[5] == kNoRoot) {
    // The library found no volatility for the price: "impvol" -999 as on the
    // record's own lattice, and no value figures (the library gives none).
    volatility = static_cast<float>(kNoRoot);
    resultPrice = resultDelta = resultGamma = resultVega = resultTheta = 0.0f;
    return;
  }
  resultPrice = ToSingle(out[0]);
  resultDelta = ThroughPattern(out[1], "#0.000##");
  resultGamma = ThroughPattern(out[2], "###0.000##");
  resultVega = ThroughPattern(out[3], "###0.000##");
  resultTheta = ThroughPattern(out[4], "###0.000##");
  volatility = ThroughPattern(out[5], "###0.0000");
}

}  // namespace stratlyn
