// zelBarr's lattice: the row geometry for the inputs (steps, stretch, branch
// probabilities), the step count that meets the closed form, and the run.

#include <algorithm>
#include <cmath>
#include <string>

#include "numerics/barrier_closed_form.h"
#include "numerics/trinomial_lattice.h"
#include "pricing/zel_barr.h"
#include "pricing/zel_barr_internal.h"
#include "pricing/zel_bsop.h"
#include "util/events.h"
#include "util/format.h"
#include "util/fp_checks.h"
#include "util/services.h"
#include "util/zel_error.h"

namespace stratlyn {

using namespace zel_barr_internal;

// ---- The lattice --------------------------------------------------------------

namespace {

constexpr double kZeroLevelStretch = 1.025865888;
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
// Least steps of an American vanilla lattice that may exercise early, per
// unit of the larger of rate and yield times the maturity: a lattice
// exercises only at its steps, and that costs about a tenth of r K dt (or
// q S dt for a call); at a fixed 50 steps a put at T = 10, r = 0.3, vol 0.3
// read 4.876 against 5.13, below its own value at T = 5. At r T = 0.05 and
// less this leaves the 50 steps as they are (up to kMaxRefinedSteps).
constexpr double kExerciseStepsPerRateYear = 1000;

// A lattice whose own European value still misses the closed form by this
// many tolerances at the most steps it takes (0.5 % of the value and more)
// values nothing: at large volatilities its rows lie so far apart that a
// step no longer keeps the forward (a call S = 100, K = 63.9, T = 1.62,
// vol 6 read 50.1 against 93).
constexpr double kRefusedMiss = 10;
constexpr const char* kTooCoarse =
    "The lattice cannot value this option: even at 2000 steps its European value misses the "
    "closed form by more than 0.5 % (the volatility is too large for the lattice)";

// The most steps a barrier lattice takes to meet the closed form of the
// barrier watched without a pause (see numerics::BarrierTolerance); one that still
// misses it there is refused.
constexpr int kMaxBarrierSteps = 4000;
constexpr const char* kBarrierTooCoarse =
    "The lattice cannot value this option: even at 4000 steps its European barrier value misses "
    "the closed form by more than the tolerance (0.2 % of the value plus 0.01 % of the larger of "
    "spot and strike)";

constexpr const char* kAmericanBarrierTooCoarse =
    "The lattice cannot value this option: its American barrier value still moves by more than "
    "the tolerance (0.2 % of the value plus 0.01 % of the larger of spot and strike) at 4000 "
    "steps against 8000";

constexpr const char* kDriftTooLarge1 =
    "The lattice cannot value this option: the drift (rate - yield - vol^2/2 = ";
constexpr const char* kDriftTooLarge2 = ") is too large against the volatility (";
constexpr const char* kDriftTooLarge3 = ") for a lattice of at most 16382 steps";
constexpr const char* kBarrierTooClose1 = "The barrier (";
constexpr const char* kBarrierTooClose2 = ") is too close to the underlying price (";
constexpr const char* kBarrierTooClose3 = ") for a lattice of at most 16382 steps";

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

// The European twin of a barrier option and the kind of its barrier.
numerics::BarrierKind KindOf(numerics::LatticeBarrier barrier) {
  switch (barrier) {
    case numerics::LatticeBarrier::kDownIn:
      return numerics::BarrierKind::kDownIn;
    case numerics::LatticeBarrier::kUpOut:
      return numerics::BarrierKind::kUpOut;
    case numerics::LatticeBarrier::kUpIn:
      return numerics::BarrierKind::kUpIn;
    default:
      return numerics::BarrierKind::kDownOut;
  }
}

numerics::LatticeBarrier LatticeBarrierOf(int code) {
  switch (code) {
    case 1002:
    case 1003:
      return numerics::LatticeBarrier::kDownOut;
    case 1004:
    case 1005:
      return numerics::LatticeBarrier::kDownIn;
    case 1006:
    case 1007:
      return numerics::LatticeBarrier::kUpOut;
    case 1008:
    case 1009:
      return numerics::LatticeBarrier::kUpIn;
    default:
      return numerics::LatticeBarrier::kNone;
  }
}

// Terms of a barrier option for BarrierMiss.
struct BarrierTerms {
  numerics::LatticeOption option;  // European, the barrier's kind and level
  double t, r, q;
};

// The value of an n-step lattice (stretch lambda) for option o.
double BarrierLatticeValue(const numerics::LatticeOption& o, const BarrierTerms& x, int n,
                           double lambda, double root_dt, double sigma) {
  numerics::LatticeGrid grid;
  grid.n = n;
  const double dt = x.t / n;
  grid.up = CheckFinite(std::exp(sigma * lambda * root_dt));
  grid.disc = CheckFinite(std::exp(-x.r * dt));
  BranchProbabilities(x.r, x.q, sigma, dt, lambda, grid.pu, grid.pm, grid.pd);
  numerics::LatticeBuffers buffers;
  return numerics::RunLattice(o, grid, buffers).value;
}

// How far the European barrier value of an n-step lattice (stretch lambda)
// misses the closed form, in tolerances; 0 where there is no closed form to
// compare with (the lattice's value then stands unchecked).
double BarrierMiss(const BarrierTerms& x, int n, double lambda, double root_dt, double sigma) {
  numerics::LatticeOption o = x.option;
  if (o.phi == 0) {
    return 0;
  }
  const double sign = o.phi > 0 ? 1 : -1, scale = std::fabs(o.phi);
  const auto closed_form = [&] {
    return scale * numerics::BarrierValue(sign, KindOf(o.barrier), o.s, o.k, o.h, o.rebate / scale,
                                          x.t, x.r, x.q, sigma);
  };
  double closed = closed_form();
  if (std::isnan(closed) && o.rebate != 0) {
    // No closed form of a rebate paid at the hit (a negative rate below
    // -mu^2 sigma^2 / 2): the same lattice is checked without the rebate.
    o.rebate = 0;
    closed = closed_form();
  }
  const double lattice = BarrierLatticeValue(o, x, n, lambda, root_dt, sigma);
  if (!std::isfinite(lattice) || !std::isfinite(closed)) {
    return 0;
  }
  return std::fabs(lattice - closed) / numerics::BarrierTolerance(closed, o.s, o.k);
}

}  // namespace

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
  // The first step count from `from` to `cap` whose geometry can be used,
  // with that geometry in `out`; 0 where none can (more steps only add rows
  // once the geometry overflows).
  const auto first_accepted = [&](int from, int cap, Geometry& out) {
    const double d_now = static_cast<double>(riskFree) - dividendYield - sigma * sigma / 2;
    for (int m = from; m <= cap; ++m) {
      out = GeometryFor(t, m, sigma, level, d_now, kLeastStretch);
      if (out.overflow) {
        return 0;
      }
      if (StepsAccepted(out, needs_row)) {
        return m;
      }
    }
    return 0;
  };
  // Least n from which the conditions can hold: stretch >= 1 needs
  // sqrt(dt) |drift| <= sigma, and one row needs kLeastStretch sigma
  // sqrt(dt) <= level.
  int n = least_steps > 0 ? least_steps : nsteps;
  if (least_steps == 0 && activeCode == 1001 && CanExerciseEarly()) {
    const double pull = std::fmax(static_cast<double>(riskFree), dividendYield) * t;
    const double least = std::ceil(kExerciseStepsPerRateYear * pull);
    if (least > n) {
      n = static_cast<int>(std::fmin(least, static_cast<double>(kMaxRefinedSteps)));
    }
  }
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
    double miss = 0;
    bool miss_current = false;  // miss belongs to n
    while (n < kMaxCheckedSteps && (miss = EuropeanMiss(n, g.stretch, g.root_dt, sigma)) > 1) {
      miss_current = true;
      Geometry next_g{};
      const int next = first_accepted(std::min(numerics::NextSteps(n, miss), kMaxCheckedSteps),
                                      kMaxCheckedSteps, next_g);
      if (next == 0) {
        break;
      }
      n = next;
      g = next_g;
      miss_current = false;
    }
    if (!miss_current && miss > 1) {
      miss = EuropeanMiss(n, g.stretch, g.root_dt, sigma);
    }
    // (An American call that never pays to exercise early is worth the
    // closed form's European value, which RunLattice puts under it.)
    if (miss > kRefusedMiss && (activeCode == 1000 || CanExerciseEarly())) {
      throw UnusableLattice(kTooCoarse);
    }
  }
  // A barrier lattice likewise, against the closed form of its European twin
  // (an American one takes the steps its European twin needs), up to
  // kMaxBarrierSteps; beyond that it is refused.
  if (needs_row && least_steps == 0) {
    BarrierTerms x{};
    x.option.s = s;
    x.option.k = k;
    x.option.phi = putCallSign;
    x.option.barrier = LatticeBarrierOf(activeCode);
    x.option.h = h;
    x.option.rebate = rebate;
    x.option.margin = kBarrierMargin;
    x.t = t;
    x.r = riskFree;
    x.q = dividendYield;
    double miss = 0;
    while ((miss = BarrierMiss(x, n, g.stretch, g.root_dt, sigma)) > 1) {
      if (n >= kMaxBarrierSteps) {
        throw UnusableLattice(kBarrierTooCoarse);
      }
      Geometry next_g{};
      const int next = first_accepted(std::min(numerics::NextSteps(n, miss), kMaxBarrierSteps),
                                      kMaxBarrierSteps, next_g);
      if (next == 0) {
        throw UnusableLattice(kBarrierTooCoarse);
      }
      n = next;
      g = next_g;
    }
    // An American barrier option's exercise boundary meets the barrier,
    // where the lattice's value converges more slowly than its European
    // twin's (an up-and-out put K = 123.31, T = 5, r = 0.1237, q = 0.0263,
    // vol 0.3181, H = 137.939 read 23.31, exercised at once, on the steps
    // its twin needed, against 23.495; 23.326 at twice the steps, 23.471 at
    // four times): the steps are doubled until a lattice of four times as
    // many (twice, beyond kMaxBarrierSteps / 4) moves the value by no more
    // than the tolerance; beyond kMaxBarrierSteps it is refused.
    if (activeCode % 2 == 1) {
      x.option.american = true;
      double value = BarrierLatticeValue(x.option, x, n, g.stretch, g.root_dt, sigma);
      for (;;) {
        // Four times the steps, or twice where that passes kMaxBarrierSteps.
        Geometry next_g{};
        const int next =
            first_accepted(4 * n <= kMaxBarrierSteps ? 4 * n : 2 * n, 2 * kMaxBarrierSteps, next_g);
        if (next == 0) {
          break;  // no finer lattice keeps the barrier on a row: this one stands
        }
        const double finer =
            BarrierLatticeValue(x.option, x, next, next_g.stretch, next_g.root_dt, sigma);
        if (!std::isfinite(value) || !std::isfinite(finer) ||
            std::fabs(finer - value) <= numerics::BarrierTolerance(finer, s, k)) {
          break;
        }
        if (n >= kMaxBarrierSteps) {
          throw UnusableLattice(kAmericanBarrierTooCoarse);
        }
        // (Never a geometry whose probabilities cannot be used: none up to
        // kMaxBarrierSteps refuses the option.)
        n = first_accepted(std::min(std::max(n + 1, 2 * n), kMaxBarrierSteps), kMaxBarrierSteps, g);
        if (n == 0) {
          throw UnusableLattice(kAmericanBarrierTooCoarse);
        }
        value = BarrierLatticeValue(x.option, x, n, g.stretch, g.root_dt, sigma);
      }
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

void zelBarr::RunLattice(int code, const numerics::LatticeGrid* bumped) {
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
    if (bumped != nullptr && o.barrier == numerics::LatticeBarrier::kNone) {
      const auto pair = numerics::RunVanillaPair(o, grid, *bumped, buffers,
                                                 [&events] { events.ProcessPending(); });
      result = pair[0];
      bumpedValue = pair[1].value;
    } else {
      result = numerics::RunLattice(o, grid, buffers, [&events] { events.ProcessPending(); });
    }
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
      // Where the record's cumulative normal cannot resolve the value (a
      // maturity of seconds), the exact closed form alone bounds it.
      european.refuseUnresolved = false;
      if (european.ValueResolved()) {
        record = european.GetOptionData(european.strOptionPrice, true);
      }
    }
    if (std::isfinite(exact)) {
      value = std::fmax(value, exact);
    }
    value = std::fmax(value, record);
  }
  resultPrice = ToSingle(value);
}

}  // namespace stratlyn
