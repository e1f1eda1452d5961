// zelBarr's implied-volatility search on the lattice: a bracket grown from
// the current volatility, a scan of the whole range, and the no-arbitrage
// bound where only the least volatility reprices the price.

#include <cmath>
#include <limits>

#include "numerics/brent.h"
#include "pricing/zel_barr.h"
#include "pricing/zel_barr_internal.h"
#include "util/fp_checks.h"
#include "util/zel_error.h"

namespace stratlyn {

using namespace zel_barr_internal;

namespace {

// The implied-volatility search keeps to these volatilities.
constexpr double kMinImpliedVol = 0.001;
constexpr double kMaxImpliedVol = 10.0;
// A solution reprices the market price to this share of it (of 1 below 1).
constexpr double kRepriceTolerance = 1e-5;
// A market price this share of itself (of 1 below 1) from the lower bound is
// the bound: a few float steps, as the record holds both.
constexpr double kBoundResolution = 4 * std::numeric_limits<float>::epsilon();
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

}  // namespace

// ---- Implied volatility on the lattice ----------------------------------------

double zelBarr::LatticeGap(int code, double sigma) {
  volatility = ToSingle(sigma);
  SetUpLattice();
  // (A knock-in's gap also reads the plain option at the trial's own
  // volatility: only vanilla gaps are the held lattice's alone.)
  const bool held =
      searching && (code == 1000 || code == 1001) && latticeVol != static_cast<double>(volatility);
  if (held && heldSteps == latticeSteps && heldVol == latticeVol) {
    return heldGap;  // the same lattice as the last held trial
  }
  const double gap = LatticeGapOnSetUp(code);
  if (held) {
    heldVol = latticeVol;
    heldSteps = latticeSteps;
    heldGap = gap;
  }
  return gap;
}

double zelBarr::LatticeGapOnSetUp(int code) {
  RunLattice(code);
  double value = resultPrice;
  // As CalcValueAndGreeks reports it: a knock-in or knock-out option that
  // its lattice (or a refined one) puts above the plain option gets the
  // plain option's figures (an American knock-out far from its barrier
  // solved on the barrier's lattice, and its figures at the root then missed
  // the market price by up to 0.04 %).
  const auto above_plain = [code](const zelBarr& run) {
    return IsBarrierCode(code) && run.rebate == 0 &&
           static_cast<double>(run.resultPrice) > run.PlainValue(code);
  };
  const auto plain_gap = [this, code](const zelBarr& run) {
    zelBarr plain = run;
    plain.lattice = {};
    plain.running = false;
    plain.searching = false;
    const PlainOptionScope scope(plain.barrier, plain.activeCode, code);
    if (&run == this) {
      // The plain option's value, refined as its figures are.
      plain.SetUpLattice();
      return plain.LatticeGapOnSetUp(scope.code);
    }
    // A refined lattice's plain figures keep its steps (rare: the whole run).
    plain.CalcValueAndGreeks(scope.code);
    return static_cast<double>(plain.resultPrice) - optionPrice;
  };
  if (above_plain(*this)) {
    return plain_gap(*this);
  }
  if ((code == 1001 || (IsAmericanKnockOut(code) && !BarrierWithinRow(code))) &&
      NearExerciseBoundary() && 4 * latticeSteps <= kMaxSteps) {
    // As CalcValueAndGreeks reports it: a lattice of four times the steps
    // where the exercise boundary lies within a row of the spot, and four
    // times those where that one still exercises the spot just inside it.
    zelBarr finer = *this;
    finer.lattice = {};
    finer.running = false;
    for (int depth = 1; depth <= 2; ++depth) {
      finer.fixedSteps = 4 * finer.latticeSteps;
      finer.refineDepth = depth;
      try {
        finer.SetUpLattice(finer.fixedSteps);
        finer.RunLattice(code);
      } catch (const zelError&) {
        break;  // no finer lattice: the last one's value stands, as it does there
      }
      if (above_plain(finer)) {
        return plain_gap(finer);
      }
      value = finer.resultPrice;
      probUp = finer.probUp;  // the trial's usability is the finer lattice's
      probMid = finer.probMid;
      probDown = finer.probDown;
      if (!finer.RefineAgain()) {
        break;
      }
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
  heldSteps = 0;  // no held trial of this search yet
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
    if (root == kNoRoot && !BeyondLatticeRange(code)) {
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

// Whether a vanilla price lies beyond the values the lattice gives over the
// whole range of volatilities: below its value at the least volatility, or
// above its value at the largest, by more than the reprice tolerance. The
// value of a vanilla option rises with the volatility, so no volatility
// between gives such a price, and the scan of the range (up to 41 lattices,
// a dozen of 16382 steps where the drift is strong against small
// volatilities) would only confirm it. False where an end has no lattice.
bool zelBarr::BeyondLatticeRange(int code) {
  if (code != 1000 && code != 1001) {
    return false;
  }
  const double tolerance = kRepriceTolerance * std::fmax(1.0, std::fabs(optionPrice));
  const double low = TrialGap(code, kMinImpliedVol);
  if (low > tolerance) {
    return true;
  }
  const double high = TrialGap(code, kMaxImpliedVol);
  return high < -tolerance;
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

}  // namespace stratlyn
