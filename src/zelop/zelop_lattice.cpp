// CallTrino: a trinomial lattice in the logarithm of the price whose row
// spacing puts the barrier (or, without one, the strike) exactly on a row.
// Value and Greeks for the calculation codes 1000-1009, the implied volatility
// for 2000-2009 (Brent's method on the lattice value).

#include <algorithm>
#include <cmath>
#include <limits>
#include <vector>

#include "pricing/brent.h"
#include "zelop/zelop_models.h"

namespace stratlyn::zelop {
namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr int kMinSteps = 3;
constexpr int kMaxSteps = 16382;
// Twice a double's machine precision: the relative part of Brent's convergence test.
constexpr double kDoubleEps2 = 2e-16;
// Largest drift of a step against its spread, |b| <= kDriftShare a: at 1 the
// outer probabilities just stay in [0, 1], yet values are still far off
// (a ten-year put with r = 0.06, sigma = 0.025 at a tenth of its value).
constexpr double kDriftShare = 0.25;
// Largest widening of the rows beyond sigma sqrt(3 dt) that puts the barrier
// on a row; at up to 2 a barrier one row away is too coarse.
constexpr double kBarrierStretchLimit = 1.5;
// Return codes of TrinoLattice for inputs that no lattice of at most
// kMaxSteps steps can value.
constexpr int kDriftTooLarge = -2;
constexpr int kBarrierTooClose = -3;

enum class Barrier { kNone, kDownOut, kDownIn, kUpOut, kUpIn };

struct Contract {
  double s, sigma, r, t, k, q, h, rebate;
  double phi;  // +1 call, -1 put
  bool american;
  Barrier barrier;
};

struct LatticeResult {
  double value;
  double nodes[9];  // step 2 (highest first) in 0-4, step 1 in 5-7, root in 8
  double up;        // price ratio between rows
  double dt;
};

// Step count and row spacing of a lattice.
struct Grid {
  int n = 0;
  double dx = 0;
  int status = 0;  // 0, kDriftTooLarge or kBarrierTooClose
};

bool IsDown(Barrier b) { return b == Barrier::kDownOut || b == Barrier::kDownIn; }
bool IsKnockIn(Barrier b) { return b == Barrier::kDownIn || b == Barrier::kUpIn; }

// True when the spot is on or beyond the barrier.
bool Crossed(const Contract& c) {
  if (c.barrier == Barrier::kNone) {
    return false;
  }
  return IsDown(c.barrier) ? c.s <= c.h * (1 + 1e-12) : c.s >= c.h * (1 - 1e-12);
}

// The least n >= least whose probabilities keep the drift within its share
// and that, for a barrier not yet crossed, puts whole rows of at most
// kBarrierStretchLimit times sigma sqrt(3 dt) between spot and barrier.
Grid ChooseGrid(const Contract& c, int least) {
  const double nu = c.r - c.q - 0.5 * c.sigma * c.sigma;
  const bool on_barrier = c.barrier != Barrier::kNone && !Crossed(c);
  const double level = c.barrier == Barrier::kNone ? c.k : c.h;
  const double distance = std::fabs(std::log(level / c.s));
  // Necessary conditions give a first n: |b| <= a needs |nu| dt <= sigma
  // sqrt(3 dt) kDriftShare / 3 at the least spacing, one row sigma sqrt(3 dt) <= distance.
  const double share = kDriftShare / std::sqrt(3.0);
  double bound = c.t * nu * nu / (share * share * c.sigma * c.sigma);
  if (on_barrier) {
    bound = std::fmax(bound, 3 * c.sigma * c.sigma * c.t / (distance * distance));
  }
  Grid grid;
  if (!(bound < kMaxSteps + 1.0)) {
    const double drift_bound = c.t * nu * nu / (share * share * c.sigma * c.sigma);
    grid.status = drift_bound < kMaxSteps + 1.0 ? kBarrierTooClose : kDriftTooLarge;
    return grid;
  }
  int n = std::max(least, static_cast<int>(bound) - 1);
  for (; n <= kMaxSteps; ++n) {
    const double dt = c.t / n;
    double dx = c.sigma * std::sqrt(3 * dt);
    if (on_barrier || (c.barrier == Barrier::kNone && distance > 0)) {
      const double rows = std::floor(distance / dx);
      if (rows >= 1) {
        dx = distance / rows;  // never below sigma sqrt(3 dt)
      } else if (on_barrier) {
        continue;  // the barrier lies inside the first row
      }
      if (on_barrier && dx > kBarrierStretchLimit * c.sigma * std::sqrt(3 * dt)) {
        continue;
      }
    }
    const double a = (c.sigma * c.sigma * dt + nu * nu * dt * dt) / (dx * dx);
    const double b = nu * dt / dx;
    if (std::fabs(b) <= kDriftShare * a && a <= 1) {
      grid.n = n;
      grid.dx = dx;
      return grid;
    }
  }
  const double drift_bound = c.t * nu * nu / (share * share * c.sigma * c.sigma);
  grid.status = drift_bound > kMaxSteps ? kDriftTooLarge : kBarrierTooClose;
  return grid;
}

// Values the contract on the lattice of `grid`. Knock-in options roll the
// plain option alongside and take its value where the barrier has been
// crossed; their rebate is paid at maturity where they never knocked in.
// A knocked-out node pays the rebate; an American one on the barrier row is
// worth at least the exercise value at the barrier, where its holder would
// have exercised as the price came near.
LatticeResult Run(const Contract& c, const Grid& grid, std::vector<double>& v,
                  std::vector<double>& w) {
  const int n = grid.n;
  const double dt = c.t / n;
  const double nu = c.r - c.q - 0.5 * c.sigma * c.sigma;
  const double dx = grid.dx;
  const double a = (c.sigma * c.sigma * dt + nu * nu * dt * dt) / (dx * dx);
  const double b = nu * dt / dx;
  const double disc = std::exp(-c.r * dt);
  const double pu = 0.5 * (a + b) * disc, pd = 0.5 * (a - b) * disc, pm = (1 - a) * disc;
  const double up = std::exp(dx);
  const int width = 2 * n + 1;
  v.assign(width, 0.0);
  w.assign(width, 0.0);
  // The price of node i at a step depends only on step - i: one table.
  // (A local table: thread-local storage in a library that is loaded and
  // unloaded again crashes the leak checker's thread walk.)
  std::vector<double> rows(width);
  for (int d = -n; d <= n; ++d) {
    rows[d + n] = c.s * std::exp(d * dx);
  }
  const auto price = [&](int step, int i) { return rows[step - i + n]; };
  const bool knock_in = IsKnockIn(c.barrier);
  const auto crossed = [&](double p) {
    switch (c.barrier) {
      case Barrier::kDownOut:
      case Barrier::kDownIn:
        return p <= c.h * (1 + 1e-12);
      case Barrier::kUpOut:
      case Barrier::kUpIn:
        return p >= c.h * (1 - 1e-12);
      default:
        return false;
    }
  };
  const double dead = c.american ? std::fmax(c.rebate, c.phi * (c.h - c.k)) : c.rebate;
  for (int i = 0; i < width; ++i) {
    const double p = price(n, i);
    const double payoff = std::fmax(c.phi * (p - c.k), 0.0);
    if (knock_in) {
      w[i] = payoff;
      v[i] = crossed(p) ? payoff : c.rebate;
    } else if (crossed(p)) {
      v[i] = dead;
    } else {
      v[i] = payoff;
    }
  }
  LatticeResult result{};
  result.up = up;
  result.dt = dt;
  for (int step = n - 1; step >= 0; --step) {
    for (int i = 0; i <= 2 * step; ++i) {
      const double p = price(step, i);
      const double exercise = c.phi * (p - c.k);
      if (knock_in) {
        double plain = pu * w[i] + pm * w[i + 1] + pd * w[i + 2];
        if (c.american && exercise > plain) {
          plain = exercise;
        }
        w[i] = plain;
        v[i] = crossed(p) ? plain : pu * v[i] + pm * v[i + 1] + pd * v[i + 2];
      } else if (crossed(p)) {
        v[i] = dead;
      } else {
        double value = pu * v[i] + pm * v[i + 1] + pd * v[i + 2];
        if (c.american && exercise > value) {
          value = exercise;
        }
        v[i] = value;
      }
    }
    if (step == 2) {
      for (int i = 0; i < 5; ++i) {
        result.nodes[i] = v[i];
      }
    } else if (step == 1) {
      for (int i = 0; i < 3; ++i) {
        result.nodes[5 + i] = v[i];
      }
    }
  }
  result.nodes[8] = v[0];
  result.value = v[0];
  return result;
}

}  // namespace

int TrinoLattice(int sign, const double* in, int code, double price, int steps, double* out) {
  if (out == nullptr) {
    return -1;
  }
  for (int i = 0; i < 11; ++i) {
    out[i] = kNaN;
  }
  if (in == nullptr || (sign != 1 && sign != -1)) {
    return -1;
  }
  const int base = code >= 2000 ? code - 1000 : code;
  if (base < 1000 || base > 1009) {
    return -1;
  }
  Contract c{in[0],         in[1],         in[2],
             in[3],         in[4],         in[5],
             in[6],         in[7],         static_cast<double>(sign),
             base % 2 == 1, Barrier::kNone};
  static constexpr Barrier kKinds[] = {
      Barrier::kNone,   Barrier::kNone,  Barrier::kDownOut, Barrier::kDownOut, Barrier::kDownIn,
      Barrier::kDownIn, Barrier::kUpOut, Barrier::kUpOut,   Barrier::kUpIn,    Barrier::kUpIn};
  c.barrier = kKinds[base - 1000];
  const bool finite = std::isfinite(c.s) && std::isfinite(c.sigma) && std::isfinite(c.r) &&
                      std::isfinite(c.t) && std::isfinite(c.k) && std::isfinite(c.q) &&
                      std::isfinite(c.h) && std::isfinite(c.rebate);
  if (!finite || !(c.s > 0 && c.k > 0 && c.t > 0 && c.sigma > 0)) {
    return -1;
  }
  if (c.barrier != Barrier::kNone && !(c.h > 0)) {
    return -1;  // a barrier code needs a level
  }
  const int n = steps < kMinSteps ? kMinSteps : (steps > kMaxSteps ? kMaxSteps : steps);
  std::vector<double> v, w;
  if (Crossed(c)) {
    if (!IsKnockIn(c.barrier)) {
      // Knocked out: the rebate, paid now, whatever the spot or the volatility.
      // No volatility gives any other price.
      if (code >= 2000) {
        out[5] = -999.0;
        return 0;
      }
      out[0] = c.rebate;
      out[1] = out[2] = out[3] = out[4] = 0;
      out[5] = c.sigma;
      return 0;
    }
    c.barrier = Barrier::kNone;  // knocked in: the vanilla option itself
  }

  if (code >= 2000) {
    if (!(price > 0) || !std::isfinite(price)) {
      return -1;
    }
    const auto gap = [&](double sigma) {
      Contract trial = c;
      trial.sigma = sigma;
      const Grid grid = ChooseGrid(trial, n);
      // A volatility no lattice can take has no value: no sign change there.
      return grid.status != 0 ? kNaN : Run(trial, grid, v, w).value - price;
    };
    // Barrier values need not rise with volatility, so look for every sign
    // change on a grid and solve in the bracket nearest the given volatility.
    constexpr int kGrid = 30;
    double grid_sigma[kGrid + 1], grid_gap[kGrid + 1];
    for (int i = 0; i <= kGrid; ++i) {
      grid_sigma[i] = 0.005 * std::pow(1000.0, static_cast<double>(i) / kGrid);  // 0.005 .. 5
      grid_gap[i] = gap(grid_sigma[i]);
    }
    // The lattice value jumps where the row spacing changes with volatility;
    // a sign change there is no root, so a bracket counts only when the value
    // at its solution matches the price.
    const double guess = c.sigma > 0 ? c.sigma : 0.25;
    bool tried[kGrid] = {};
    double root = kNaN;
    for (int attempt = 0; attempt < kGrid && std::isnan(root); ++attempt) {
      int best = -1;
      double best_distance = 0;
      for (int i = 0; i < kGrid; ++i) {
        if (tried[i] || !(grid_gap[i] * grid_gap[i + 1] <= 0)) {
          continue;
        }
        const double distance =
            std::fabs(std::log(std::sqrt(grid_sigma[i] * grid_sigma[i + 1]) / guess));
        if (best < 0 || distance < best_distance) {
          best = i;
          best_distance = distance;
        }
      }
      if (best < 0) {
        break;
      }
      tried[best] = true;
      const double candidate =
          BrentSearch<double>(gap, grid_sigma[best], grid_sigma[best + 1], 1e-12, kNaN,
                              BrentStall::kReturnEstimate, 0.0, kDoubleEps2);
      if (std::fabs(gap(candidate)) <= 1e-7 * std::fmax(price, 1.0)) {
        root = candidate;
      }
    }
    if (std::isnan(root)) {
      out[5] = -999.0;
      return 0;
    }
    c.sigma = root;
  }
  const Grid grid = ChooseGrid(c, n);
  if (grid.status != 0) {
    return grid.status;  // out stays NaN
  }
  const LatticeResult base_run = Run(c, grid, v, w);
  const double u = base_run.up;
  const double s = c.s;
  const double* g = base_run.nodes;
  // Step 1: g[5] high, g[6] middle, g[7] low; step 2: g[0] .. g[4] high to low.
  out[0] = base_run.value;
  out[1] = (g[5] - g[7]) / (s * u - s / u);
  const double upper = (g[0] - g[2]) / (s * u * u - s);
  const double lower = (g[2] - g[4]) / (s - s / (u * u));
  out[2] = (upper - lower) / (0.5 * (s * u * u - s / (u * u)));
  out[4] = (g[6] - g[8]) / base_run.dt;
  const double bump = 1e-4 * c.sigma;
  Contract hi = c, lo = c;
  hi.sigma += bump;
  lo.sigma -= bump;
  // The bumped runs keep the rows and steps of the base run where they can.
  const Grid hi_grid = ChooseGrid(hi, grid.n), lo_grid = ChooseGrid(lo, grid.n);
  if (hi_grid.status != 0 || lo_grid.status != 0) {
    return hi_grid.status != 0 ? hi_grid.status : lo_grid.status;
  }
  out[3] = (Run(hi, hi_grid, v, w).value - Run(lo, lo_grid, v, w).value) / (2 * bump);
  out[5] = c.sigma;
  return 0;
}

}  // namespace stratlyn::zelop
