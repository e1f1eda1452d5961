#include "chain/contract_solver.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "numerics/brent.h"
#include "numerics/trinomial_lattice.h"

namespace stratlyn {
namespace {

constexpr double kInvSqrt2 = 0.70710678118654752440;
constexpr double kInvSqrt2Pi = 0.39894228040143267794;
constexpr double kSqrt2Pi = 2.50662827463100050242;
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

// Steps of the American lattice; more where the drift needs them.
constexpr int kAmericanSteps = 100;
constexpr int kMostAmericanSteps = 400;
// Least stretch of the rows to the strike: the middle branch weighs at least 1/3.
constexpr double kLeastStretch = 1.224744871391589;
// Relative bumps of the American vega and rho.
constexpr double kVolBump = 1e-2;
constexpr double kRateBump = 1e-4;

double Cdf(double x) { return 0.5 * std::erfc(-x * kInvSqrt2); }
double Density(double x) { return kInvSqrt2Pi * std::exp(-0.5 * x * x); }

bool Finite(const OwnFigures& f) {
  return std::isfinite(f.value) && std::isfinite(f.delta) && std::isfinite(f.gamma) &&
         std::isfinite(f.vega) && std::isfinite(f.theta) && std::isfinite(f.rho);
}

bool UsableTerms(const ContractTerms& c) {
  return std::isfinite(c.spot) && std::isfinite(c.strike) && std::isfinite(c.years) &&
         std::isfinite(c.rate) && std::isfinite(c.yield) && c.spot > 0 && c.strike > 0 &&
         c.years > 0;
}

double Phi(const ContractTerms& c) { return c.put ? -1.0 : 1.0; }

// ---- Closed form ------------------------------------------------------------

OwnFigures EuropeanFigures(const ContractTerms& c, double sigma) {
  const double phi = Phi(c);
  const double s = c.spot, k = c.strike, t = c.years, r = c.rate, q = c.yield;
  const double root_t = std::sqrt(t);
  const double sd = sigma * root_t;
  const double d1 = (std::log(s / k) + (r - q + 0.5 * sigma * sigma) * t) / sd;
  const double d2 = d1 - sd;
  const double eq = std::exp(-q * t), er = std::exp(-r * t);
  const double nd1 = Density(d1);
  const double cd1 = Cdf(phi * d1), cd2 = Cdf(phi * d2);
  OwnFigures f;
  f.value = phi * (s * eq * cd1 - k * er * cd2);
  f.delta = phi * eq * cd1;
  f.gamma = eq * nd1 / (s * sd);
  f.vega = s * eq * nd1 * root_t;
  f.theta = -s * eq * nd1 * sigma / (2 * root_t) - phi * r * k * er * cd2 + phi * q * s * eq * cd1;
  f.rho = phi * k * t * er * cd2;
  return f;
}

// The undiscounted Black value of psi (F - K)^+ at the total deviation w.
double Black(double psi, double f, double k, double w) {
  const double d1 = std::log(f / k) / w + 0.5 * w;
  const double d2 = d1 - w;
  return psi > 0 ? f * Cdf(d1) - k * Cdf(d2) : k * Cdf(-d2) - f * Cdf(-d1);
}

// The total deviation in [w_lo, w_hi] at which the Black value of psi
// (F - K)^+ is `target` (> 0); nothing when it lies outside. Newton on the
// logarithm of the value (it steps well for far out-of-the-money prices),
// kept inside a shrinking bracket, bisecting where a step would leave it.
std::optional<double> SolveDeviation(double psi, double f, double k, double target, double w_lo,
                                     double w_hi) {
  double lo = w_lo, hi = w_hi;
  if (!(Black(psi, f, k, lo) <= target) || !(Black(psi, f, k, hi) >= target)) {
    return std::nullopt;
  }
  const double x = std::log(f / k);
  double w = std::max(std::sqrt(2 * std::fabs(x)), target * kSqrt2Pi / std::sqrt(f * k));
  if (!(w > lo && w < hi)) {
    w = 0.5 * (lo + hi);
  }
  const double log_target = std::log(target);
  for (int i = 0; i < 200; ++i) {
    const double b = Black(psi, f, k, w);
    if (b == target) {
      return w;
    }
    (b > target ? hi : lo) = w;
    if (std::fabs(b - target) <= 1e-14 * target || hi - lo <= 1e-15 * hi) {
      return w;
    }
    const double vega = f * Density(x / w + 0.5 * w);
    double next = kNaN;
    if (b > 0 && vega > 0) {
      next = w - (std::log(b) - log_target) * b / vega;
    }
    if (!(next > lo && next < hi)) {
      next = 0.5 * (lo + hi);
    }
    w = next;
  }
  return w;
}

std::optional<double> EuropeanImpliedVol(const ContractTerms& c, double price) {
  const double t = c.years, root_t = std::sqrt(t);
  const double disc = std::exp(-c.rate * t);
  const double fwd = c.spot * std::exp((c.rate - c.yield) * t);
  const double phi = Phi(c);
  const double undiscounted = price / disc;
  const double intrinsic = std::max(phi * (fwd - c.strike), 0.0);
  const double time_value = undiscounted - intrinsic;
  if (!(time_value > 0) || !std::isfinite(fwd) || !(fwd > 0)) {
    return std::nullopt;
  }
  // In the money: the other side's out-of-the-money value (put-call parity on the forward).
  const double psi = intrinsic > 0 ? -phi : phi;
  const auto w = SolveDeviation(psi, fwd, c.strike, time_value, kLeastImpliedVol * root_t,
                                kLargestImpliedVol * root_t);
  if (!w) {
    return std::nullopt;
  }
  return *w / root_t;
}

// ---- Lattice ----------------------------------------------------------------

// The rows of an American lattice, laid out for the volatility `sigma_ref`:
// the strike on a row (rows stretched to at least kLeastStretch sigma
// sqrt(dt)); any volatility up to about sigma_ref runs on the same rows with
// other branch probabilities, so that values at nearby volatilities differ
// by the volatility's effect alone.
struct Layout {
  numerics::LatticeGrid grid;
  double dt = 0;
  double root_dt = 0;
  double dx = 0;
};

// Sets the branch probabilities of `l` for sigma and rate r; false when
// they leave [0, 1].
bool SetBranches(const ContractTerms& c, double sigma, double r, Layout& l) {
  const double lambda = l.dx / (sigma * l.root_dt);
  if (!(lambda >= 1) || !std::isfinite(lambda)) {
    return false;
  }
  const double base = 0.5 / (lambda * lambda);
  const double a = (r - c.yield - 0.5 * sigma * sigma) * l.root_dt / (2 * lambda * sigma);
  l.grid.pu = base + a;
  l.grid.pd = base - a;
  l.grid.pm = 1 - 2 * base;
  l.grid.up = std::exp(l.dx);
  l.grid.disc = std::exp(-r * l.dt);
  return numerics::Usable(l.grid);
}

bool LayOut(const ContractTerms& c, double sigma_ref, Layout& l) {
  const double level = std::fabs(std::log(c.strike / c.spot));
  for (int n = kAmericanSteps; n <= kMostAmericanSteps; n *= 2) {
    l.grid.n = n;
    l.dt = c.years / n;
    l.root_dt = std::sqrt(l.dt);
    const double base = kLeastStretch * sigma_ref * l.root_dt;
    const double rows = std::floor(level / base);
    l.dx = rows >= 1 && rows <= n ? level / rows : base;
    if (SetBranches(c, sigma_ref, c.rate, l)) {
      return true;
    }
  }
  return false;
}

struct LatticeRun {
  double value = 0;  // control-variate value, at least the European and the exercise value
  bool exercised = false;
  numerics::LatticeResult american;
  numerics::LatticeResult european;
};

// The American value at sigma and rate r on the rows of `l`; nothing when
// the branch probabilities leave [0, 1] there.
std::optional<LatticeRun> RunAt(const ContractTerms& c, double sigma, double r, Layout& l) {
  thread_local numerics::LatticeBuffers buffers;
  if (!SetBranches(c, sigma, r, l)) {
    return std::nullopt;
  }
  numerics::LatticeOption o;
  o.s = c.spot;
  o.k = c.strike;
  o.phi = Phi(c);
  LatticeRun run;
  o.american = true;
  run.american = numerics::RunLattice(o, l.grid, buffers);
  o.american = false;
  run.european = numerics::RunLattice(o, l.grid, buffers);
  const double closed =
      numerics::EuropeanValue(o.phi, c.spot, c.strike, c.years, r, c.yield, sigma);
  const double exercise = std::max(o.phi * (c.spot - c.strike), 0.0);
  run.exercised = exercise > 0 && run.american.value <= exercise * (1 + 1e-12);
  run.value = std::max({run.american.value + (closed - run.european.value), closed, exercise});
  if (run.exercised) {
    run.value = std::max(exercise, closed);
  }
  if (!std::isfinite(run.value)) {
    return std::nullopt;
  }
  return run;
}

// Delta, gamma and theta of a lattice's nodes near the root.
struct NodeGreeks {
  double delta, gamma, theta;
};
NodeGreeks FromNodes(const numerics::LatticeResult& r, double s, const Layout& l) {
  const double u = l.grid.up;
  const auto& g = r.nodes;
  NodeGreeks out{};
  out.delta = (g[3] - g[1]) / (s * u - s / u);
  const double upper = (g[8] - g[6]) / (s * u * u - s);
  const double lower = (g[6] - g[4]) / (s - s / (u * u));
  out.gamma = (upper - lower) / (0.5 * s * (u * u - 1 / (u * u)));
  out.theta = (g[2] - g[0]) / l.dt;
  return out;
}

std::optional<OwnFigures> AmericanFiguresOn(const ContractTerms& c, double sigma, Layout& l) {
  const auto run = RunAt(c, sigma, c.rate, l);
  if (!run) {
    return std::nullopt;
  }
  OwnFigures f;
  if (run->exercised) {
    // Exercised at once: worth the exercise value, which moves one for one with the spot.
    f.value = run->value;
    f.delta = Phi(c);
    return f;
  }
  const OwnFigures closed = EuropeanFigures(c, sigma);
  const NodeGreeks a = FromNodes(run->american, c.spot, l);
  const NodeGreeks e = FromNodes(run->european, c.spot, l);
  f.value = run->value;
  f.delta = a.delta - e.delta + closed.delta;
  f.gamma = a.gamma - e.gamma + closed.gamma;
  f.theta = a.theta - e.theta + closed.theta;
  // Vega: a central difference over a percent of the volatility, each side
  // on rows laid out for it (on the same rows the changed branch weights
  // move the lattice's own error with the volatility, a few per cent of
  // vega). Rho: the same rows at a slightly larger rate.
  const double h = sigma * kVolBump;
  Layout l_up, l_down;
  std::optional<LatticeRun> up, down;
  if (LayOut(c, sigma + h, l_up)) {
    up = RunAt(c, sigma + h, c.rate, l_up);
  }
  if (LayOut(c, sigma - h, l_down)) {
    down = RunAt(c, sigma - h, c.rate, l_down);
  }
  if (up && down) {
    f.vega = (up->value - down->value) / (2 * h);
  } else if (down) {
    f.vega = (run->value - down->value) / h;
  } else if (up) {
    f.vega = (up->value - run->value) / h;
  } else {
    return std::nullopt;
  }
  const double dr = kRateBump;
  auto rate_up = RunAt(c, sigma, c.rate + dr, l);
  if (!rate_up) {
    return std::nullopt;
  }
  f.rho = (rate_up->value - run->value) / dr;
  SetBranches(c, sigma, c.rate, l);
  return f;
}

// Early exercise is worth nothing: a call without a dividend yield at a
// rate of at least 0, a put at a rate of at most 0 with a yield of at least 0.
bool NoEarlyExercise(const ContractTerms& c) {
  return c.put ? (c.rate <= 0 && c.yield >= 0) : (c.yield <= 0 && c.rate >= 0);
}

bool Reprices(double value, double price) {
  return std::fabs(value - price) <= kRepriceTolerance * std::max(1.0, price);
}

ContractSolution Solved(double sigma, const OwnFigures& f, double price) {
  ContractSolution s;
  if (!Finite(f) || !Reprices(f.value, price) || !(sigma >= kLeastImpliedVol) ||
      !(sigma <= kLargestImpliedVol)) {
    return s;  // kNoSolution
  }
  s.iv = sigma;
  s.figures = f;
  s.refusal = ChainRefusal::kNone;
  return s;
}

ContractSolution SolveEuropean(const ContractTerms& c, double price) {
  const auto sigma = EuropeanImpliedVol(c, price);
  if (!sigma) {
    return {};
  }
  return Solved(*sigma, EuropeanFigures(c, *sigma), price);
}

// A root of the American value on rows laid out at one volatility, in a
// bracket grown down from the European implied volatility (the American
// one lies below it: the American value is the larger at every volatility).
std::optional<double> AmericanRootOnRows(const ContractTerms& c, double price, double sigma_e,
                                         Layout& l) {
  bool usable = true;
  const auto gap = [&](double sigma) {
    const auto run = RunAt(c, sigma, c.rate, l);
    if (!run) {
      usable = false;
      return kNaN;
    }
    return run->value - price;
  };
  double hi = sigma_e;
  const double g_hi = gap(hi);
  if (!usable) {
    return std::nullopt;
  }
  // Where early exercise is worth nothing on these rows the value is the
  // closed form's, which the European volatility reprices up to rounding.
  if (std::fabs(g_hi) <= 1e-3 * kRepriceTolerance * std::max(1.0, price)) {
    return hi;
  }
  if (g_hi < 0) {
    return std::nullopt;
  }
  const double vega = EuropeanFigures(c, sigma_e).vega;
  double step = vega > 0 ? 1.5 * g_hi / vega : 0.1 * hi;
  step = std::max(step, 1e-6 * hi);
  double lo = hi;
  for (int i = 0; i < 60; ++i) {
    lo = std::max(hi - step, kLeastImpliedVol);
    const double g_lo = gap(lo);
    if (!usable) {
      return std::nullopt;
    }
    if (g_lo <= 0) {
      break;
    }
    if (lo == kLeastImpliedVol) {
      return std::nullopt;
    }
    hi = lo;
    step *= 2;
  }
  const double root =
      BrentSearch<double>(gap, lo, hi, 1e-12, kNaN, BrentStall::kReturnEstimate, 0.0, 1e-14);
  if (!usable || !std::isfinite(root)) {
    return std::nullopt;
  }
  return root;
}

// Every volatility on its own rows: a scan of the whole range for a sign
// change, then Brent inside it. For prices the European closed form cannot
// reach (a deep put above the discounted strike).
std::optional<double> AmericanRootScan(const ContractTerms& c, double price) {
  const auto gap = [&](double sigma) {
    Layout l;
    if (!LayOut(c, sigma, l)) {
      return kNaN;
    }
    const auto run = RunAt(c, sigma, c.rate, l);
    return run ? run->value - price : kNaN;
  };
  constexpr int kPoints = 24;
  double prev_sigma = kLeastImpliedVol, prev_gap = gap(prev_sigma);
  for (int i = 1; i <= kPoints; ++i) {
    const double sigma = kLeastImpliedVol * std::pow(kLargestImpliedVol / kLeastImpliedVol,
                                                     static_cast<double>(i) / kPoints);
    const double g = gap(sigma);
    if (prev_gap <= 0 && g >= 0) {
      const double root = BrentSearch<double>(gap, prev_sigma, sigma, 1e-12, kNaN,
                                              BrentStall::kReturnEstimate, 0.0, 1e-14);
      if (std::isfinite(root)) {
        return root;
      }
    }
    prev_sigma = sigma;
    prev_gap = g;
  }
  return std::nullopt;
}

ContractSolution SolveAmerican(const ContractTerms& c, double price) {
  if (NoEarlyExercise(c)) {
    return SolveEuropean(c, price);
  }
  const auto sigma_e = EuropeanImpliedVol(c, price);
  if (sigma_e) {
    Layout l;
    if (LayOut(c, *sigma_e, l)) {
      if (const auto root = AmericanRootOnRows(c, price, *sigma_e, l)) {
        if (const auto f = AmericanFiguresOn(c, *root, l)) {
          ContractSolution s = Solved(*root, *f, price);
          if (s.iv) {
            return s;
          }
        }
      }
    }
  }
  const auto root = AmericanRootScan(c, price);
  if (!root) {
    return {};
  }
  Layout l;
  if (!LayOut(c, *root, l)) {
    return {};
  }
  const auto f = AmericanFiguresOn(c, *root, l);
  if (!f) {
    return {};
  }
  return Solved(*root, *f, price);
}

}  // namespace

PriceBounds NoArbitrageBounds(const ContractTerms& c) {
  const double t = c.years;
  const double fwd = c.spot * std::exp(-c.yield * t);
  const double pv_strike = c.strike * std::exp(-c.rate * t);
  PriceBounds b;
  if (c.put) {
    b.lower = std::max(pv_strike - fwd, 0.0);
    b.upper = pv_strike;
  } else {
    b.lower = std::max(fwd - pv_strike, 0.0);
    b.upper = fwd;
  }
  if (c.style == ExerciseStyle::kAmerican) {
    b.lower = std::max(b.lower, c.put ? c.strike - c.spot : c.spot - c.strike);
    b.upper = c.put ? c.strike : c.spot;
  }
  return b;
}

std::optional<OwnFigures> FiguresAt(const ContractTerms& c, double sigma) {
  if (!UsableTerms(c) || !std::isfinite(sigma) || !(sigma > 0)) {
    return std::nullopt;
  }
  std::optional<OwnFigures> f;
  if (c.style == ExerciseStyle::kEuropean || NoEarlyExercise(c)) {
    f = EuropeanFigures(c, sigma);
  } else {
    Layout l;
    if (!LayOut(c, sigma, l)) {
      return std::nullopt;
    }
    f = AmericanFiguresOn(c, sigma, l);
  }
  if (!f || !Finite(*f)) {
    return std::nullopt;
  }
  return f;
}

ContractSolution SolveContract(const ContractTerms& c, double price) {
  ContractSolution s;
  if (!UsableTerms(c) || !std::isfinite(price)) {
    return s;
  }
  const PriceBounds b = NoArbitrageBounds(c);
  // A few rounding steps of the bound count as the bound itself.
  const double resolution = 1e-12 * std::max({1.0, c.spot, c.strike});
  if (price < b.lower - resolution) {
    s.refusal = ChainRefusal::kBelowIntrinsic;
    return s;
  }
  if (price <= b.lower + resolution) {
    s.refusal = ChainRefusal::kAtIntrinsic;
    return s;
  }
  if (price >= b.upper) {
    s.refusal = ChainRefusal::kAboveBound;
    return s;
  }
  return c.style == ExerciseStyle::kEuropean ? SolveEuropean(c, price) : SolveAmerican(c, price);
}

}  // namespace stratlyn
