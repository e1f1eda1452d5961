// CallTrino: a trinomial lattice in the logarithm of the price whose row
// spacing puts the barrier (or, without one, the strike) exactly on a row.
// Value and Greeks for the calculation codes 1000-1009, the implied volatility
// for 2000-2009 (Brent's method on the lattice value).

#include <algorithm>
#include <cmath>
#include <limits>
#include <vector>

#include "numerics/barrier_closed_form.h"
#include "numerics/brent.h"
#include "numerics/trinomial_lattice.h"
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
// or the strike on a row; at up to 2 a barrier one row away is too coarse,
// and a strike just short of a whole row gives the middle branch almost
// all the weight.
constexpr double kStretchLimit = 1.5;
// The most steps a vanilla lattice takes to meet the closed form.
constexpr int kMaxCheckedSteps = 2000;
// Return codes of TrinoLattice for inputs that no lattice of at most
// kMaxSteps steps can value.
constexpr int kDriftTooLarge = -2;
constexpr int kBarrierTooClose = -3;
// A barrier lattice that still misses the closed form at kMaxBarrierSteps.
constexpr int kBarrierTooCoarse = -4;
// An American barrier lattice whose value still moves at kMaxBarrierSteps.
constexpr int kAmericanBarrierTooCoarse = -5;
// The most steps a barrier lattice takes to meet the closed form of the
// barrier watched without a pause (numerics::BarrierTolerance).
constexpr int kMaxBarrierSteps = 4000;

enum class Barrier { kNone, kDownOut, kDownIn, kUpOut, kUpIn };

struct Contract {
  double s, sigma, r, t, k, q, h, rebate;
  double phi;  // +1 call, -1 put
  bool american;
  Barrier barrier;
};

// Step count and row spacing of a lattice.
struct Grid {
  int n = 0;
  double dx = 0;
  int status = 0;  // 0, kDriftTooLarge or kBarrierTooClose
};

double EuropeanMiss(const Contract& c, const Grid& grid);
double BarrierMiss(const Contract& c, const Grid& grid);
numerics::LatticeResult Run(const Contract& c, int n, double dx, numerics::LatticeBuffers& b);
Grid ChooseGrid(const Contract& c, int least, bool check);

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
Grid ChooseGrid(const Contract& c, int least, bool check = true) {
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
      // The level on a row, the rows stretched by 1 to kStretchLimit (a
      // strike inside the first row stays off the rows).
      const numerics::Rows rows = numerics::RowsTo(distance / dx, 1.0, 1.0);
      if (rows.rows >= 1) {
        dx *= rows.stretch;  // never below sigma sqrt(3 dt)
      } else if (on_barrier) {
        continue;  // the barrier lies inside the first row
      }
      if (dx > kStretchLimit * c.sigma * std::sqrt(3 * dt)) {
        continue;
      }
    }
    const double a = (c.sigma * c.sigma * dt + nu * nu * dt * dt) / (dx * dx);
    const double b = nu * dt / dx;
    if (std::fabs(b) <= kDriftShare * a && a <= 1) {
      grid.n = n;
      grid.dx = dx;
      double miss = 0;
      if (check && c.barrier == Barrier::kNone && n < kMaxCheckedSteps &&
          (miss = EuropeanMiss(c, grid)) > 1) {
        n = std::min(numerics::NextSteps(n, miss), kMaxCheckedSteps) - 1;  // the loop adds 1
        continue;
      }
      // A barrier lattice likewise, against the barrier's closed form, up to
      // kMaxBarrierSteps; beyond them it is refused.
      if (check && on_barrier && (miss = BarrierMiss(c, grid)) > 1) {
        if (n >= kMaxBarrierSteps) {
          grid.status = kBarrierTooCoarse;
          return grid;
        }
        n = std::min(numerics::NextSteps(n, miss), kMaxBarrierSteps) - 1;
        continue;
      }
      // An American barrier option's value converges more slowly than its
      // European twin's, and not monotonically, where the exercise boundary
      // meets the barrier (an up-and-out put K = 123.31, T = 5, r = 0.1237,
      // q = 0.0263, vol 0.3181, H = 137.939 read 23.31, exercised at once,
      // against 23.495): the steps are doubled until a lattice of four times
      // as many (twice, beyond kMaxBarrierSteps / 4) moves the value by no
      // more than the tolerance; beyond kMaxBarrierSteps it is refused.
      if (check && on_barrier && c.american) {
        const int finer_steps = 4 * n <= kMaxBarrierSteps ? 4 * n : 2 * n;
        const Grid finer = ChooseGrid(c, finer_steps, false);
        if (finer.status == 0) {
          numerics::LatticeBuffers b;
          const double value = Run(c, n, grid.dx, b).value;
          const double fine = Run(c, finer.n, finer.dx, b).value;
          if (std::isfinite(value) && std::isfinite(fine) &&
              std::fabs(fine - value) > numerics::BarrierTolerance(fine, c.s, c.k)) {
            if (n >= kMaxBarrierSteps) {
              grid.status = kAmericanBarrierTooCoarse;
              return grid;
            }
            n = std::min(2 * n, kMaxBarrierSteps) - 1;
            continue;
          }
        }
      }
      return grid;
    }
  }
  const double drift_bound = c.t * nu * nu / (share * share * c.sigma * c.sigma);
  grid.status = drift_bound > kMaxSteps ? kDriftTooLarge : kBarrierTooClose;
  return grid;
}

numerics::LatticeGrid GridOf(const Contract& c, int n, double dx) {
  const double dt = c.t / n;
  const double nu = c.r - c.q - 0.5 * c.sigma * c.sigma;
  const double a = (c.sigma * c.sigma * dt + nu * nu * dt * dt) / (dx * dx);
  const double b = nu * dt / dx;
  numerics::LatticeGrid g;
  g.n = n;
  g.up = std::exp(dx);
  g.pu = 0.5 * (a + b);
  g.pd = 0.5 * (a - b);
  g.pm = 1 - a;
  g.disc = std::exp(-c.r * dt);
  return g;
}

numerics::LatticeOption OptionOf(const Contract& c) {
  numerics::LatticeOption o;
  o.s = c.s;
  o.k = c.k;
  o.phi = c.phi;
  o.american = c.american;
  o.h = c.h;
  o.rebate = c.rebate;
  o.relative_margin = 1e-12;
  static constexpr numerics::LatticeBarrier kKinds[] = {
      numerics::LatticeBarrier::kNone, numerics::LatticeBarrier::kDownOut,
      numerics::LatticeBarrier::kDownIn, numerics::LatticeBarrier::kUpOut,
      numerics::LatticeBarrier::kUpIn};
  o.barrier = kKinds[static_cast<int>(c.barrier)];
  return o;
}

double ClosedForm(const Contract& c) {
  return numerics::EuropeanValue(c.phi, c.s, c.k, c.t, c.r, c.q, c.sigma);
}

// Values the contract on the lattice of `grid` (rows `dx` apart); an
// American vanilla value never reads below the European closed form.
numerics::LatticeResult Run(const Contract& c, int n, double dx, numerics::LatticeBuffers& b) {
  numerics::LatticeResult result = numerics::RunLattice(OptionOf(c), GridOf(c, n, dx), b);
  if (c.american && c.barrier == Barrier::kNone) {
    const double european = ClosedForm(c);
    if (std::isfinite(european)) {
      result.value = std::fmax(result.value, european);
    }
  }
  return result;
}

// How far the grid's European value misses the closed form, in tolerances.
double EuropeanMiss(const Contract& c, const Grid& grid) {
  Contract european = c;
  european.american = false;
  numerics::LatticeBuffers b;
  const double lattice =
      numerics::RunLattice(OptionOf(european), GridOf(c, grid.n, grid.dx), b).value;
  const double closed = ClosedForm(c);
  const double miss = std::fabs(lattice - closed) / numerics::EuropeanTolerance(closed, c.s, c.k);
  return std::isfinite(miss) ? miss : 0;
}

// How far the grid's European barrier value misses the closed form, in
// tolerances; 0 where there is no closed form (a rebate paid at the hit at a
// rate below -mu^2 sigma^2 / 2 is then left out on both sides).
double BarrierMiss(const Contract& c, const Grid& grid) {
  Contract european = c;
  european.american = false;
  static constexpr numerics::BarrierKind kKinds[] = {
      numerics::BarrierKind::kDownOut, numerics::BarrierKind::kDownOut,
      numerics::BarrierKind::kDownIn, numerics::BarrierKind::kUpOut, numerics::BarrierKind::kUpIn};
  const numerics::BarrierKind kind = kKinds[static_cast<int>(c.barrier)];
  const auto closed_form = [&] {
    return numerics::BarrierValue(c.phi, kind, c.s, c.k, c.h, european.rebate, c.t, c.r, c.q,
                                  c.sigma);
  };
  double closed = closed_form();
  if (std::isnan(closed) && european.rebate != 0) {
    european.rebate = 0;
    closed = closed_form();
  }
  numerics::LatticeBuffers b;
  const double lattice =
      numerics::RunLattice(OptionOf(european), GridOf(c, grid.n, grid.dx), b).value;
  const double miss = std::fabs(lattice - closed) / numerics::BarrierTolerance(closed, c.s, c.k);
  return std::isfinite(miss) ? miss : 0;
}

// The plain option's value (no barrier, on its own lattice), NaN where no
// lattice serves it.
double PlainValue(const Contract& c, int least, numerics::LatticeBuffers& b) {
  Contract plain = c;
  plain.barrier = Barrier::kNone;
  const Grid grid = ChooseGrid(plain, least, true);
  return grid.status != 0 ? kNaN : Run(plain, grid.n, grid.dx, b).value;
}

// Vega on the rows and steps of `grid`, only the branch probabilities
// moved; where a bumped volatility leaves them outside [0, 1], on the least
// usable lattice from the same steps. 0, or the status of a volatility no
// lattice takes.
int Vega(const Contract& c, const Grid& grid, numerics::LatticeBuffers& buffers, double& vega) {
  const double bump = 1e-4 * c.sigma;
  Contract hi = c, lo = c;
  hi.sigma += bump;
  lo.sigma -= bump;
  Grid hi_grid = grid, lo_grid = grid;
  if (!numerics::Usable(GridOf(hi, grid.n, grid.dx)) ||
      !numerics::Usable(GridOf(lo, grid.n, grid.dx))) {
    hi_grid = ChooseGrid(hi, grid.n, false);
    lo_grid = ChooseGrid(lo, grid.n, false);
    if (hi_grid.status != 0 || lo_grid.status != 0) {
      return hi_grid.status != 0 ? hi_grid.status : lo_grid.status;
    }
  }
  vega = (Run(hi, hi_grid.n, hi_grid.dx, buffers).value -
          Run(lo, lo_grid.n, lo_grid.dx, buffers).value) /
         (2 * bump);
  return 0;
}

}  // namespace

double AmericanLatticeValue(const BsmInputs& in, int steps, int most_steps) {
  const Contract c{in.s, in.sigma,      in.r, in.t, in.k, in.q, 0, 0, in.is_call ? 1.0 : -1.0,
                   true, Barrier::kNone};
  // The least steps the drift needs (see ChooseGrid), checked first: a
  // lattice of more than most_steps is not set up at all.
  const double nu = c.r - c.q - 0.5 * c.sigma * c.sigma;
  const double share = kDriftShare / std::sqrt(3.0);
  if (!(c.t * nu * nu / (share * share * c.sigma * c.sigma) <= most_steps)) {
    return kNaN;
  }
  const Grid grid = ChooseGrid(c, std::max(steps, kMinSteps), true);
  if (grid.status != 0 || grid.n > most_steps) {
    return kNaN;
  }
  numerics::LatticeBuffers b;
  return Run(c, grid.n, grid.dx, b).value;
}

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
  numerics::LatticeBuffers buffers;
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
      if (grid.status != 0) {
        return kNaN;
      }
      double value = Run(trial, grid.n, grid.dx, buffers).value;
      if (trial.barrier != Barrier::kNone && trial.rebate == 0) {
        value = std::fmin(value, PlainValue(trial, n, buffers));  // as reported below
      }
      return value - price;
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
  Grid grid = ChooseGrid(c, n);
  if (grid.status != 0) {
    return grid.status;  // out stays NaN
  }
  numerics::LatticeResult base_run = Run(c, grid.n, grid.dx, buffers);
  if (c.barrier != Barrier::kNone && c.rebate == 0 && base_run.value > PlainValue(c, n, buffers)) {
    // A knock-in or knock-out option without a rebate is worth no more than
    // the plain option; where the barrier's lattice puts it above the plain
    // option's own, it is as good as knocked in, or as one whose barrier
    // never matters (an American put exercised before the price falls to its
    // down barrier): the plain option's figures.
    c.barrier = Barrier::kNone;
    grid = ChooseGrid(c, n);
    if (grid.status != 0) {
      return grid.status;
    }
    base_run = Run(c, grid.n, grid.dx, buffers);
  }
  const double u = std::exp(grid.dx);
  const double s = c.s;
  const auto& g = base_run.nodes;
  // Step 1: g[1] low, g[2] middle, g[3] high; step 2: g[4] .. g[8] low to high.
  out[0] = base_run.value;
  out[1] = (g[3] - g[1]) / (s * u - s / u);
  const double upper = (g[8] - g[6]) / (s * u * u - s);
  const double lower = (g[6] - g[4]) / (s - s / (u * u));
  out[2] = (upper - lower) / (0.5 * (s * u * u - s / (u * u)));
  if (c.barrier != Barrier::kNone && std::fabs(std::log(c.h / s)) < 1.5 * grid.dx) {
    // The rows two out lie past the barrier, where the nodes hold the rebate
    // or the plain option's value: a gamma across them reads the kink at the
    // barrier. The rows next to the spot reach the barrier at most.
    const double above = (g[7] - g[6]) / (s * u - s);
    const double below = (g[6] - g[5]) / (s - s / u);
    out[2] = (above - below) / (0.5 * (s * u - s / u));
  }
  out[4] = (g[2] - g[0]) / (c.t / grid.n);
  double vega = 0;
  if (const int status = Vega(c, grid, buffers, vega); status != 0) {
    return status;
  }
  out[3] = vega;
  if (c.american && c.barrier != Barrier::kNone && std::fabs(std::log(c.h / s)) >= 1.5 * grid.dx) {
    // An American barrier option's vega and theta swing with where the
    // exercise boundary falls between the rows, and so with the step count
    // (a down-and-out put K = 111.99, T = 1.49, r = 0.1087, q = 0.0285,
    // vol 0.1581, H = 77.89 read vega 0, exercised at once, against 7.31; an
    // up-and-out call K = 87.97, T = 2.79, r = 0.0234, q = 0.1089,
    // vol 0.1713, H = 110.1 read 18.08 against 11.66): the mean of four
    // lattices of the same steps an eighth and three eighths of a row either
    // side of the spot, each with the barrier on a row from its own spot.
    // (A barrier within a row and a half keeps the spot's own figures: a
    // shifted spot would lie next to or past it.)
    double vega_sum = 0, theta_sum = 0;
    bool shifted_all = true;
    for (int j = 0; j < 4 && shifted_all; ++j) {
      Contract shifted = c;
      shifted.s = s * std::exp((2.0 * j - 3) / 8 * grid.dx);
      const Grid shifted_grid = ChooseGrid(shifted, grid.n, false);
      double shifted_vega = 0;
      if (shifted_grid.status != 0 || Vega(shifted, shifted_grid, buffers, shifted_vega) != 0) {
        shifted_all = false;  // no lattice there: the spot's own figures stand
        break;
      }
      const numerics::LatticeResult run = Run(shifted, shifted_grid.n, shifted_grid.dx, buffers);
      vega_sum += shifted_vega;
      theta_sum += (run.nodes[2] - run.nodes[0]) / (c.t / shifted_grid.n);
    }
    if (shifted_all) {
      out[3] = vega_sum / 4;
      out[4] = theta_sum / 4;
    }
  }
  out[5] = c.sigma;
  return 0;
}

}  // namespace stratlyn::zelop
