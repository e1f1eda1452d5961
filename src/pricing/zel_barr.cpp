#include "pricing/zel_barr.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <limits>
#include <string>
#include <system_error>

#include "numerics/brent.h"
#include "numerics/trinomial_lattice.h"
#include "pricing/key_match.h"
#include "pricing/zel_bsop.h"
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
// Least stretch of a barrier lattice: sqrt(3/2), the middle probability 1/3.
// With the design's stretch in [1, 1 + 1/k) a far barrier (many rows) leaves
// the middle probability near 0, and the lattice's error then swings with
// every small change of the volatility (vega and theta jump between
// neighbouring volatilities); from sqrt(3/2) up it varies smoothly.
// Largest drift of a step against its spread: |a| <= kDriftShare / (2
// stretch^2), that is |r - q - sigma^2/2| sqrt(dt) <= kDriftShare sigma /
// stretch. At 1 the outer probabilities just stay in [0, 1], yet a lattice
// there values a put with the drift far above the volatility (T = 10, r = 0.06,
// sigma = 0.025) at 0.00005 instead of 0.19; a quarter of it keeps every such
// case within about 2 % and never binds for usual inputs.
constexpr double kDriftShare = 0.25;
// A lattice that would need more steps than this has inputs out of the
// formulas' range altogether: an overflow, not a lattice that is too small.
constexpr double kAbsurdSteps = 1e9;
// Least stretch of the rows to a strike or a barrier: sqrt(3/2), the middle
// probability 1/3. With a stretch in [1, 1 + 1/k) a far level (many rows)
// leaves the middle probability near 0, and the lattice's error then swings
// with every small change of an input: vega and theta jump between
// neighbouring volatilities, values between neighbouring strikes.
constexpr double kLeastStretch = 1.224744871391589;
// Largest stretch: a level only one or two rows away would otherwise stretch
// the rows up to twice, and such coarse rows miss a far-out knock-out's value
// by a third (K = 105, H = 76, sigma = 0.52); more steps are taken instead.
constexpr double kStretchLimit = 1.5;
// The most steps a vanilla lattice takes to meet the closed form (see
// numerics::EuropeanTolerance).
constexpr int kMaxCheckedSteps = 2000;
constexpr double kVegaBump = 1.0001;
constexpr double kNoRoot = -999.0;
// The implied-volatility search keeps to these volatilities.
constexpr double kMinImpliedVol = 0.001;
constexpr double kMaxImpliedVol = 10.0;
// A solution reprices the market price to this share of it (of 1 below 1).
constexpr double kRepriceTolerance = 1e-5;
// A market price this share of itself (of 1 below 1) from the lower bound is
// the bound: a few float steps, as the record holds both.
constexpr double kBoundResolution = 4 * std::numeric_limits<float>::epsilon();
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

constexpr float kInvalidResult = -999.0f;

constexpr const char* kDriftTooLarge1 =
    "The lattice cannot value this option: the drift (rate - yield - vol^2/2 = ";
constexpr const char* kDriftTooLarge2 = ") is too large against the volatility (";
constexpr const char* kDriftTooLarge3 = ") for a lattice of at most 16382 steps";
constexpr const char* kBarrierTooClose1 = "The barrier (";
constexpr const char* kBarrierTooClose2 = ") is too close to the underlying price (";
constexpr const char* kBarrierTooClose3 = ") for a lattice of at most 16382 steps";

// What the library's lattice answers for such inputs.
constexpr double kLibraryDriftTooLarge = -2;
constexpr double kLibraryBarrierTooClose = -3;
constexpr const char* kLibraryDriftMessage =
    "The pricing library's lattice cannot value this option: the drift is too large against "
    "the volatility for a lattice of at most 16382 steps";
constexpr const char* kLibraryBarrierMessage =
    "The pricing library's lattice cannot value this option: the barrier is too close to the "
    "underlying price for a lattice of at most 16382 steps";

// No step count up to kMaxSteps gives the inputs a usable lattice. A zelError,
// so that callers that give up on any run-time error give up on it too.
class UnusableLattice : public zelError {
 public:
  explicit UnusableLattice(const std::string& message) : zelError(err::kInvalidCall, message) {}
};

// Row geometry of an n-step lattice: m rows of sigma sqrt(dt) to the level,
// k whole rows of at least least_stretch times that, the stretch that puts the
// level on row k, and whether the branch probabilities 0.5 / stretch^2 +- a
// (and 1 - 1 / stretch^2) lie in [0, 1].
struct Geometry {
  double root_dt, m, stretch, drift_term;
  int rows;
  bool usable;
  bool overflow;
};

Geometry GeometryFor(double t, int n, double sigma, double level, double drift,
                     double least_stretch) {
  Geometry g{};
  g.root_dt = CheckedSqrt(t / n);
  g.m = CheckedDiv(level, sigma * g.root_dt);
  if (!(std::fabs(g.m) < 32768.0)) {
    g.overflow = true;  // the row count does not fit a 16-bit integer
    return g;
  }
  const numerics::Rows rows = numerics::RowsTo(g.m, least_stretch, kZeroLevelStretch);
  g.rows = rows.rows;
  g.stretch = rows.stretch;
  g.drift_term = CheckedDiv(drift * g.root_dt, 2 * g.stretch * sigma);
  const double base = 0.5 / (g.stretch * g.stretch);
  // The middle probability 1 - 1 / stretch^2 is in [0, 1) for every stretch >= 1;
  // the outer ones need |a| <= base, and kDriftShare of that for accuracy.
  g.usable = kDriftShare * base - std::fabs(g.drift_term) >= 0;
  return g;
}

bool IsBarrierCode(int code) { return code >= 1002 && code <= 1009; }
bool IsDownCode(int code) { return code >= 1002 && code <= 1005; }
bool IsKnockInCode(int code) {
  return code == 1004 || code == 1005 || code == 1008 || code == 1009;
}

// The spot on or past the barrier of a barrier code: the option is knocked
// out or in already.
bool PastBarrier(int code, double s, double h) {
  if (!IsBarrierCode(code) || !(h > 1e-6)) {
    return false;
  }
  return IsDownCode(code) ? !(s > h + kBarrierMargin) : !(s < h - kBarrierMargin);
}

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

namespace {

// Prices a barrier option's terms as the plain option of the same type for
// as long as it lives (no barrier, the plain code 1000 or 1001), and puts the
// barrier and the code back when it ends, also when the pricing throws.
struct PlainOptionScope {
  PlainOptionScope(float& barrier_ref, int& active_ref, int barrier_code)
      : barrier(barrier_ref),
        active(active_ref),
        kept_barrier(barrier_ref),
        kept_code(barrier_code),
        code(barrier_code % 2 == 1 ? 1001 : 1000) {
    barrier = 0;
    active = code;
  }
  ~PlainOptionScope() {
    barrier = kept_barrier;
    active = kept_code;
  }
  PlainOptionScope(const PlainOptionScope&) = delete;
  PlainOptionScope& operator=(const PlainOptionScope&) = delete;

  float& barrier;
  int& active;
  const float kept_barrier;
  const int kept_code;
  const int code;  // the plain option's code
};

}  // namespace

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
    int slot = 0;
    if (member == EUROVANILLA || member == AMERVANILLA) {
      barrier = 0;
      slot = member == EUROVANILLA ? 1000 : 1001;
    } else if (member == EUROVANVOL || member == AMERVANVOL) {
      barrier = 0;
      slot = member == EUROVANVOL ? 2000 : 2001;
    } else {
      // Which slot of the code table the member occupies decides what it does.
      slot = PartnerOfVolCode(member);
    }
    activeCode = slot >= 2000 ? slot - 1000 : slot;
    try {
      if (slot >= 2000) {
        searching = true;
        CalcImpliedVol(slot - 1000);
        searching = false;
      } else {
        CalcValueAndGreeks(slot);
      }
    } catch (const UnusableLattice& e) {
      searching = false;
      ReportUnusable(slot, e.Description());
    } catch (...) {
      searching = false;
      throw;
    }
    return;
  }
}

void zelBarr::ReportUnusable(int code, const std::string& message) {
  AppDialogs().Critical(message);
  resultPrice = resultDelta = resultGamma = resultVega = resultTheta = kInvalidResult;
  if (code >= 2000) {
    volatility = kInvalidResult;
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

bool zelBarr::CalcCrossedBarrier(int code) {
  if (!(barrier > 1e-6f) || !PastBarrier(code, underlying, barrier)) {
    return false;
  }
  if (IsKnockInCode(code)) {
    // Knocked in: the vanilla option itself, on its own lattice.
    const float kept = barrier;
    barrier = 0;
    const int vanilla = code % 2 == 1 ? 1001 : 1000;
    activeCode = vanilla;
    try {
      CalcValueAndGreeks(vanilla);
    } catch (...) {
      barrier = kept;
      activeCode = code;
      throw;
    }
    barrier = kept;
    activeCode = code;
  } else {
    // Knocked out: the rebate, paid now, whatever the spot or the volatility.
    resultPrice = rebate;
    resultDelta = resultGamma = resultVega = resultTheta = 0.0f;
  }
  return true;
}

void zelBarr::CalcValueAndGreeks(int code) {
  // The closing valuation of a search is a valuation like any other.
  const bool was_searching = searching;
  searching = false;
  struct Restore {
    bool& flag;
    bool value;
    ~Restore() { flag = value; }
  } restore{searching, was_searching};
  if (CalcCrossedBarrier(code)) {
    return;
  }
  SetUpLattice();
  RunLattice(code);
  if (IsKnockInCode(code) && rebate == 0 && static_cast<double>(resultPrice) > PlainValue(code)) {
    // A knock-in option without a rebate is worth no more than the plain
    // option; where its lattice (rows to the barrier) puts it above the
    // plain option's own, it is as good as knocked in: the plain option's
    // figures.
    const PlainOptionScope plain(barrier, activeCode, code);
    CalcValueAndGreeks(plain.code);
    return;
  }
  const double s = underlying;
  const double u = upFactor;
  const std::array<double, 11>& g = greekNodes;
  resultDelta = ToSingle(CheckedDiv(g[3] - g[1], s * u - s / u));
  const float upper = ToSingle(CheckedDiv(g[8] - g[6], s * u * u - s));
  const float spread =
      ToSingle(static_cast<double>(upper) - CheckedDiv(g[6] - g[4], s * (1.0 - 1.0 / (u * u))));
  resultGamma = ToSingle(CheckedDiv(spread, 0.5 * s * (u * u - 1.0 / (u * u))));
  resultTheta = ToSingle(CheckedDiv(g[2] - g[0], stepLength));
  const double exercise = static_cast<double>(putCallSign) * (s - static_cast<double>(strike));
  // (The root's price is the spot up to the rounding of the lattice's price table.)
  if (code == 1001 && exercise > 0 && std::fabs(latticeValue - exercise) <= 1e-9 * exercise &&
      resultPrice == ToSingle(latticeValue)) {
    // Exercised at once: near the spot the option is worth its exercise
    // value phi (S - K), so delta is phi and gamma, vega and theta are 0.
    // The nodes two steps out may lie beyond the exercise boundary, which
    // gave a gamma of up to a fifth of the at-the-money one (a put with
    // S = 73, K = 100: 0.006) beside a delta of -1 and a vega of 0.
    resultDelta = ToSingle(static_cast<double>(putCallSign));
    resultGamma = resultVega = resultTheta = 0.0f;
    return;
  }

  // Vega: the same rows (steps and row spacing) at a volatility 1.0001 times
  // as large, only the branch probabilities moved, so that the difference
  // is the value's change with the volatility and never a change of the
  // lattice's geometry. Where the larger volatility leaves the
  // probabilities outside [0, 1] the smaller one is taken instead.
  const float v0 = resultPrice;
  const double v0_exact = latticeValue;
  const bool floored = static_cast<double>(v0) > latticeValue + 1e-12 * std::fabs(latticeValue) &&
                       ToSingle(latticeValue) != v0;
  const float sigma0 = volatility;
  const double base_stretch = stretch, base_vol = latticeVol;
  float bumped = ToSingle(static_cast<double>(sigma0) * kVegaBump);
  const auto bump_to = [&](float sigma_b) {
    stretch = base_stretch * base_vol / sigma_b;
    latticeVol = sigma_b;
    SetProbabilities(sigma_b);
    const auto in_unit = [](double p) { return p >= 0 && p <= 1; };
    return in_unit(probUp) && in_unit(probMid) && in_unit(probDown);
  };
  if (!bump_to(bumped)) {
    bumped = ToSingle(static_cast<double>(sigma0) / kVegaBump);
    bump_to(bumped);
  }
  volatility = bumped;
  try {
    RunLattice(code);
  } catch (...) {
    volatility = sigma0;
    throw;
  }
  volatility = sigma0;
  // The lattice's own values, unrounded and before the European floor: a
  // float's last digit can be more than a small vega's whole change (a call
  // worth 99.9996 with vega 0.017), and where the floor holds the value up
  // the floor's own float steps would be all the difference.
  resultVega = ToSingle(CheckedDiv(latticeValue - v0_exact,
                                   static_cast<double>(bumped) - static_cast<double>(sigma0)));
  if (floored) {
    // The value is the European one: so is its vega.
    const double phi = putCallSign;
    resultVega = ToSingle(std::fabs(phi) * numerics::EuropeanVega(underlying, strike, maturity,
                                                                  riskFree, dividendYield, sigma0));
  }
  stretch = base_stretch;
  latticeVol = base_vol;
  SetProbabilities(base_vol);
  resultPrice = v0;
}

// ---- Implied volatility on the lattice ----------------------------------------

double zelBarr::LatticeGap(int code, double sigma) {
  volatility = ToSingle(sigma);
  SetUpLattice();
  RunLattice(code);
  double value = resultPrice;
  if (IsKnockInCode(code) && rebate == 0) {
    const double plain = PlainValue(code);
    if (value > plain) {
      value = plain;  // as CalcValueAndGreeks reports it
    }
  }
  return value - optionPrice;
}

// The plain option's value (the vanilla of the same exercise on its own
// lattice), or NaN where that lattice cannot be set up.
double zelBarr::PlainValue(int code) const {
  zelBarr plain = *this;
  plain.lattice = {};
  plain.running = false;
  plain.searching = false;
  plain.barrier = 0;
  const int vanilla = code % 2 == 1 ? 1001 : 1000;
  plain.activeCode = vanilla;
  try {
    plain.SetUpLattice();
    plain.RunLattice(vanilla);
  } catch (const zelError&) {
    return kNaN;
  }
  return plain.resultPrice;
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
  // On a lattice of its own, as the closing valuation will see it: a trial
  // of the search may hold its value at a larger volatility where no lattice
  // can be set up, and such a volatility is no answer (its closing valuation
  // would fail).
  const bool was_searching = searching;
  searching = false;
  // The volatility as the record will store it.
  const double gap = TrialGap(code, static_cast<double>(ToSingle(sigma)));
  searching = was_searching;
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

// A vanilla price at its lower bound: within `share` of the price (of 1
// below 1) of it.
bool zelBarr::AtVanillaLowerBound(int code, double share) const {
  if (code != 1000 && code != 1001) {
    return false;
  }
  const double s = underlying, k = strike, t = maturity, r = riskFree, q = dividendYield;
  const double fwd = s * std::exp(-q * t), pv_strike = k * std::exp(-r * t);
  const bool call = putCallSign > 0;
  double lower = call ? fwd - pv_strike : pv_strike - fwd;
  if (code == 1001) {
    lower = std::fmax(lower, call ? s - k : k - s);
  }
  const double p = optionPrice;
  return lower > 0 && std::fabs(p - lower) <= share * std::fmax(1.0, p);
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
  if (barrier > 1e-6f && PastBarrier(code, underlying, barrier)) {
    if (!IsKnockInCode(code)) {
      // Knocked out: the rebate at every volatility, so none is implied.
      volatility = static_cast<float>(kNoRoot);
      resultPrice = resultDelta = resultGamma = resultVega = resultTheta = 0.0f;
      return;
    }
    // Knocked in: the plain option's volatility, solved and valued on the
    // plain option's lattice as its figures are.
    const PlainOptionScope plain(barrier, activeCode, code);
    CalcImpliedVol(plain.code);
    return;
  }
  const double sigma0 = volatility;
  double root = kNoRoot;
  // A price that differs from the lower bound by more than the float steps
  // of the two is searched for like any other, even where the bound itself
  // would reprice it: above the bound the value rises with the volatility
  // (4.8771 for a call whose bound is 4.87706 has its root at 0.0137, not at
  // the least volatility). Only where no root turns up does a price within
  // the reprice tolerance of the bound count as the bound.
  const bool on_bound = AtVanillaLowerBound(code, kBoundResolution);
  if (!on_bound && !OutsideVanillaBounds(code)) {
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
  if (root == kNoRoot && (on_bound || AtVanillaLowerBound(code, kRepriceTolerance))) {
    // A price at the no-arbitrage floor is reached only as the volatility
    // goes to 0, or by an American option exercised at once at every small
    // volatility: the answer is the least volatility (0.001, doubled while
    // its lattice cannot be set up) whose own lattice reprices it.
    searching = false;  // each trial on its own lattice, never a held one
    for (double sigma = kMinImpliedVol; sigma <= kMaxImpliedVol && root == kNoRoot; sigma *= 2) {
      if (Reprices(code, sigma)) {
        root = sigma;
      }
    }
    searching = true;
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

// kNoRoot also where a trial inside [x1, x2] has no usable lattice (the rows
// a lattice of at most kMaxSteps steps can take change with the volatility):
// the caller then looks elsewhere instead of giving up on the whole search.
double zelBarr::LatticeBrent(int code, double x1, double x2, double tol) {
  try {
    return BrentSearch<double>([this, code](double sigma) { return LatticeGap(code, sigma); }, x1,
                               x2, tol, kNoRoot, BrentStall::kReturnEstimate, 0.0);
  } catch (const UnusableLattice&) {
    return kNoRoot;
  }
}

// ---- The lattice --------------------------------------------------------------

namespace {

// Branch probabilities of the record's lattice for a stretch lambda: the
// outer ones 0.5 / lambda^2 plus or minus the drift term, the middle one
// the rest.
void BranchProbabilities(double r, double q, double sigma, double dt, double lambda, double& pu,
                         double& pm, double& pd) {
  const double a = CheckedDiv((r - q - sigma * sigma / 2) * std::sqrt(dt), 2 * lambda * sigma);
  const double base = 0.5 / (lambda * lambda);
  pu = base + a;
  pd = base - a;
  pm = 1 - pu - pd;
}

// Whether an n-step lattice of geometry g can be used: probabilities in
// [0, 1] with the drift within its share, a row between spot and barrier
// where one is needed, and the level's rows stretched no more than the limit.
bool StepsAccepted(const Geometry& g, bool needs_row) {
  return g.usable && (!needs_row || g.rows >= 1) && (g.rows == 0 || g.stretch <= kStretchLimit);
}

}  // namespace

// How far the European vanilla value of an n-step lattice with the given
// stretch misses the closed form, in tolerances (at most 1: within).
double zelBarr::EuropeanMiss(int n, double lambda, double root_dt, double sigma) {
  const double s = underlying, k = strike, t = maturity, r = riskFree, q = dividendYield;
  const double phi = putCallSign;
  if (phi == 0) {
    return 0;  // every payoff 0
  }
  numerics::LatticeGrid grid;
  grid.n = n;
  const double dt = t / n;
  grid.up = CheckFinite(std::exp(sigma * lambda * root_dt));
  grid.disc = CheckFinite(std::exp(-r * dt));
  BranchProbabilities(r, q, sigma, dt, lambda, grid.pu, grid.pm, grid.pd);
  numerics::LatticeOption o;
  o.s = s;
  o.k = k;
  o.phi = phi;
  numerics::LatticeBuffers buffers;
  const double lattice = numerics::RunLattice(o, grid, buffers).value;
  const double closed =
      std::fabs(phi) * numerics::EuropeanValue(phi > 0 ? 1 : -1, s, k, t, r, q, sigma);
  if (!std::isfinite(lattice) || !std::isfinite(closed)) {
    return 0;  // nothing to compare: the run itself reports its faults
  }
  return std::fabs(lattice - closed) / (numerics::EuropeanTolerance(closed, s, k) * std::fabs(phi));
}

void zelBarr::SetUpLattice(int least_steps) {
  const double s = underlying, k = strike, h = barrier;
  const bool on_barrier = barrier > 1e-6f;
  double level;
  if (on_barrier) {
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
  double sigma = volatility;
  const double t = maturity;
  const double drift = static_cast<double>(riskFree) - dividendYield - sigma * sigma / 2;
  // A barrier the spot has not crossed needs a row of nodes between them:
  // with none, the first row beyond the spot stands in for the barrier.
  const bool barrier_lattice = on_barrier && IsBarrierCode(activeCode);
  const bool needs_row =
      barrier_lattice && (IsDownCode(activeCode) ? s > h + kBarrierMargin : s < h - kBarrierMargin);
  // Least n from which the conditions can hold: stretch >= 1 needs
  // sqrt(dt) |drift| <= sigma, and one row needs kLeastStretch sigma
  // sqrt(dt) <= level.
  int n = least_steps > 0 ? least_steps : nsteps;
  const double drift_bound =
      CheckedDiv(t * drift * drift, kDriftShare * kDriftShare * sigma * sigma);
  double bound = drift_bound;
  if (needs_row) {
    bound = std::fmax(bound,
                      CheckedDiv(kLeastStretch * kLeastStretch * t * sigma * sigma, level * level));
  }
  if (bound > n && bound < kMaxSteps) {
    n = std::max(n, static_cast<int>(bound) - 1);
  }
  Geometry g{};
  bool found = false;
  if (bound < kMaxSteps + 1.0) {
    for (; n <= kMaxSteps; ++n) {
      g = GeometryFor(t, n, sigma, level, drift, kLeastStretch);
      if (g.overflow) {
        throw zelError(err::kOverflow);  // more steps only add rows
      }
      if (StepsAccepted(g, needs_row)) {
        found = true;
        break;
      }
    }
  }
  if (!found && searching && sigma > 0 && drift_bound > kMaxSteps) {
    // Hold the trial's value at the least volatility that the largest lattice
    // can take: a flat continuation adds no sign change to the search.
    const auto usable_at_most_steps = [&](double trial) {
      const double d = static_cast<double>(riskFree) - dividendYield - trial * trial / 2;
      const Geometry at_most = GeometryFor(t, kMaxSteps, trial, level, d, kLeastStretch);
      return !at_most.overflow && at_most.usable;
    };
    double lo = sigma, hi = sigma;
    for (int i = 0; i < 64 && !usable_at_most_steps(hi); ++i) {
      lo = hi;
      hi *= 2;
    }
    for (int i = 0; i < 60 && hi - lo > 1e-12 * hi; ++i) {
      const double mid = 0.5 * (lo + hi);
      (usable_at_most_steps(mid) ? hi : lo) = mid;
    }
    const double trial = hi;
    const double d = static_cast<double>(riskFree) - dividendYield - trial * trial / 2;
    for (n = least_steps > 0 ? least_steps : nsteps; n <= kMaxSteps; ++n) {
      g = GeometryFor(t, n, trial, level, d, kLeastStretch);
      if (g.overflow) {
        throw zelError(err::kOverflow);
      }
      if (StepsAccepted(g, needs_row)) {
        found = true;
        sigma = trial;
        break;
      }
    }
  }
  if (!found) {
    if (drift_bound > kAbsurdSteps) {
      // Inputs beyond any sensible scale (a volatility of 1e-30, a maturity
      // of 1e30 years): the formulas' range is left, as before this check.
      throw zelError(err::kOverflow);
    }
    if (needs_row && !(drift_bound > kMaxSteps)) {
      throw UnusableLattice(kBarrierTooClose1 + FormatNumber(h, "#####0.0000") + kBarrierTooClose2 +
                            FormatNumber(s, "#####0.0000") + kBarrierTooClose3);
    }
    throw UnusableLattice(kDriftTooLarge1 + FormatNumber(drift, "#####0.0000") + kDriftTooLarge2 +
                          FormatNumber(sigma, "#####0.0000") + kDriftTooLarge3);
  }
  // A vanilla lattice takes more steps while its own European value misses
  // the closed form by more than the tolerance (up to kMaxCheckedSteps; the
  // last one tried stands beyond that).
  if (IsVanillaCode(activeCode) && least_steps == 0) {
    const double d = static_cast<double>(riskFree) - dividendYield - sigma * sigma / 2;
    double miss = 0;
    while (n < kMaxCheckedSteps && (miss = EuropeanMiss(n, g.stretch, g.root_dt, sigma)) > 1) {
      int next = std::min(numerics::NextSteps(n, miss), kMaxCheckedSteps);
      Geometry next_g{};
      bool next_found = false;
      for (; next <= kMaxCheckedSteps; ++next) {
        next_g = GeometryFor(t, next, sigma, level, d, kLeastStretch);
        if (next_g.overflow) {
          break;
        }
        if (StepsAccepted(next_g, needs_row)) {
          next_found = true;
          break;
        }
      }
      if (!next_found) {
        break;
      }
      n = next;
      g = next_g;
    }
  }
  latticeSteps = n;
  nodeCount = static_cast<std::int16_t>(2 * n + 1);
  stepLength = t / n;
  discount = CheckFinite(std::exp(-static_cast<double>(riskFree) * stepLength));
  stretch = g.stretch;
  latticeVol = sigma;
  upFactor = CheckFinite(std::exp(sigma * stretch * g.root_dt));
  SetProbabilities(sigma);
}

void zelBarr::RunLattice(int code) {
  numerics::LatticeOption o;
  o.s = underlying;
  o.k = strike;
  o.phi = putCallSign;
  o.american = code % 2 == 1;
  o.h = barrier;
  o.rebate = rebate;
  o.margin = kBarrierMargin;
  switch (code) {
    case 1000:
    case 1001:
      o.barrier = numerics::LatticeBarrier::kNone;
      break;
    case 1002:
    case 1003:
      o.barrier = numerics::LatticeBarrier::kDownOut;
      break;
    case 1004:
    case 1005:
      o.barrier = numerics::LatticeBarrier::kDownIn;
      break;
    case 1006:
    case 1007:
      o.barrier = numerics::LatticeBarrier::kUpOut;
      break;
    case 1008:
    case 1009:
      o.barrier = numerics::LatticeBarrier::kUpIn;
      break;
    default:
      return;
  }
  numerics::LatticeGrid grid;
  grid.n = latticeSteps;
  grid.up = upFactor;
  grid.pu = probUp;
  grid.pm = probMid;
  grid.pd = probDown;
  grid.disc = discount;
  Events& events = AppEvents();
  // A calculation started by a handler that runs during this one's pending
  // events gets arrays of its own: this run still reads and writes these.
  numerics::LatticeBuffers nested;
  numerics::LatticeBuffers& buffers = running ? nested : lattice;
  running = true;
  numerics::LatticeResult result;
  try {
    result = numerics::RunLattice(o, grid, buffers, [&events] { events.ProcessPending(); });
  } catch (...) {
    running = &buffers == &nested;
    throw;
  }
  running = &buffers == &nested;
  std::copy(result.nodes.begin(), result.nodes.end(), greekNodes.begin());
  double value = result.value;
  latticeValue = value;
  if (code == 1001 && putCallSign != 0) {
    // Never below the European value: the closed form (exact, and the
    // vanilla record's own) bounds the lattice's American value from below.
    const double phi = putCallSign;
    const double t = maturity, r = riskFree, q = dividendYield, sigma = latticeVol;
    const double exact =
        std::fabs(phi) * numerics::EuropeanValue(phi > 0 ? 1 : -1, o.s, o.k, t, r, q, sigma);
    double record = 0;
    if (phi == 1 || phi == -1) {
      zelBSOP european;
      european.SetTerms(phi > 0 ? 1.0f : 2.0f, riskFree, maturity, strike, underlying,
                        static_cast<float>(sigma), dividendYield);
      record = european.GetOptionData(european.strOptionPrice, true);
    }
    if (std::isfinite(exact)) {
      value = std::fmax(value, exact);
    }
    value = std::fmax(value, record);
  }
  resultPrice = ToSingle(value);
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
  const double status = trino(putCallSign, in, code, optionPrice, kLibrarySteps, out);
  if (status == kLibraryDriftTooLarge || status == kLibraryBarrierTooClose) {
    ReportUnusable(code,
                   status == kLibraryDriftTooLarge ? kLibraryDriftMessage : kLibraryBarrierMessage);
    return;
  }
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
