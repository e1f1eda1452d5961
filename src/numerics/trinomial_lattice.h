#pragma once
// The trinomial lattice shared by the option record zelBarr and by the
// pricing library's CallTrino: backward induction for vanilla, knock-out and
// knock-in options with European or American exercise, the row geometry that
// puts a level (the strike, or a barrier) on a row, and the check of a
// lattice against the closed-form European value. Each front end chooses its
// own step count, row spacing and branch probabilities and keeps its own
// Greek formulas; what is shared is how a lattice is laid out and rolled back.
// Header-only and free of the rest of the project, so that the separately
// built library compiles its own copy.

#include <algorithm>
#include <array>
#include <cmath>
#include <vector>

namespace stratlyn::numerics {

enum class LatticeBarrier { kNone, kDownOut, kUpOut, kDownIn, kUpIn };

// One option: payoff phi (S - K)^+ per node (phi +1 for a call, -1 for a put;
// another number scales the payoff), and a barrier with its rebate.
struct LatticeOption {
  double s = 0;
  double k = 0;
  double phi = 1;
  bool american = false;
  LatticeBarrier barrier = LatticeBarrier::kNone;
  double h = 0;
  double rebate = 0;
  // A node lies beyond a down barrier unless its price is above
  // h (1 + relative_margin) + margin; an up barrier likewise below
  // h (1 - relative_margin) - margin.
  double margin = 0;
  double relative_margin = 0;
};

// The rows and branches of one lattice: n steps, the price ratio between
// neighbouring rows, the probabilities of the up, middle and down branch and
// the discount factor of one step.
struct LatticeGrid {
  int n = 0;
  double up = 1;
  double pu = 0;
  double pm = 0;
  double pd = 0;
  double disc = 1;
};

struct LatticeResult {
  double value = 0;
  // Node values near the root: 0 the root; 1, 2, 3 the low, middle and high
  // node after one step; 4 to 8 the five nodes after two steps, lowest first.
  std::array<double, 9> nodes{};
};

// Work arrays of a run; they only grow.
struct LatticeBuffers {
  std::vector<double> prices;
  std::vector<double> v;
  std::vector<double> w;
};

inline bool Usable(const LatticeGrid& g) {
  const auto in_unit = [](double p) { return p >= 0 && p <= 1; };
  return g.n >= 1 && in_unit(g.pu) && in_unit(g.pm) && in_unit(g.pd) && std::isfinite(g.up) &&
         g.up > 1 && std::isfinite(g.disc);
}

namespace detail {

template <bool kAmerican, LatticeBarrier kKind, typename OnLayer>
LatticeResult Roll(const LatticeOption& o, const LatticeGrid& g, LatticeBuffers& b,
                   OnLayer& on_layer) {
  const int n = g.n;
  const size_t size = 2 * static_cast<size_t>(n) + 3;
  if (b.prices.size() < size) {
    b.prices.resize(size);
    b.v.resize(size);
  }
  constexpr bool kKnockIn = kKind == LatticeBarrier::kDownIn || kKind == LatticeBarrier::kUpIn;
  constexpr bool kKnockOut = kKind == LatticeBarrier::kDownOut || kKind == LatticeBarrier::kUpOut;
  constexpr bool kDown = kKind == LatticeBarrier::kDownOut || kKind == LatticeBarrier::kDownIn;
  if (kKnockIn && b.w.size() < size) {
    b.w.resize(size);
  }
  // The price of node i at step t is the maturity price n - t rows further
  // down: one table of maturity prices, read at an offset.
  double* prices = b.prices.data();
  prices[0] = o.s * std::pow(g.up, n);
  for (int i = 1; i <= 2 * n; ++i) {
    prices[i] = prices[i - 1] / g.up;
  }
  const double k = o.k, phi = o.phi;
  const double pu = g.pu, pm = g.pm, pd = g.pd, disc = g.disc;
  const double low = o.h * (1 + o.relative_margin) + o.margin;
  const double high = o.h * (1 - o.relative_margin) - o.margin;
  // Knock-out: alive on the near side; knock-in: knocked in beyond it.
  const auto beyond = [=](double p) {
    if constexpr (kDown) {
      return !(p > low);
    } else {
      return !(p < high);
    }
  };
  // A knocked-out node pays the rebate. The first dead row lies on the
  // barrier itself, and an American holder exercises as the price nears it,
  // so there a dead node is worth the better of the rebate and the exercise
  // value at the barrier (the limit of the living nodes' values).
  const double dead = kAmerican ? std::fmax(o.rebate, phi * (o.h - k)) : o.rebate;
  double* v = b.v.data();
  double* w = kKnockIn ? b.w.data() : nullptr;
  for (int i = 0; i <= 2 * n; ++i) {
    const double x = phi * (prices[i] - k);
    const double payoff = x > 0 ? x : 0;
    if constexpr (kKnockIn) {
      // The rebate of a knock-in option is paid at maturity where it never knocked in.
      w[i] = payoff;
      v[i] = beyond(prices[i]) ? payoff : o.rebate;
    } else if constexpr (kKnockOut) {
      v[i] = beyond(prices[i]) ? dead : payoff;
    } else {
      v[i] = payoff;
    }
  }
  LatticeResult result;
  int node = 8;
  for (int t = n - 1; t >= 0; --t) {
    if (t >= 3) {
      on_layer();
    }
    const int offset = n - t;
    const int last = 2 * t;
    for (int i = 0; i <= last; ++i) {
      const double price = prices[i + offset];
      const double x = phi * (price - k);
      if constexpr (kKnockIn) {
        double plain = (pm * w[i + 1] + pu * w[i] + pd * w[i + 2]) * disc;
        if constexpr (kAmerican) {
          plain = x > plain ? x : plain;
        }
        w[i] = plain;
        v[i] = beyond(price) ? plain : (pm * v[i + 1] + pu * v[i] + pd * v[i + 2]) * disc;
      } else {
        double value = (pm * v[i + 1] + pu * v[i] + pd * v[i + 2]) * disc;
        if constexpr (kAmerican) {
          value = x > value ? x : value;
        }
        if constexpr (kKnockOut) {
          value = beyond(price) ? dead : value;
        }
        v[i] = value;
      }
    }
    if (t <= 2) {
      for (int i = 0; i <= last; ++i) {
        result.nodes[node--] = v[i];
      }
    }
  }
  result.value = v[0];
  return result;
}

template <bool kAmerican, typename OnLayer>
LatticeResult RollKind(const LatticeOption& o, const LatticeGrid& g, LatticeBuffers& b,
                       OnLayer& on_layer) {
  switch (o.barrier) {
    case LatticeBarrier::kDownOut:
      return Roll<kAmerican, LatticeBarrier::kDownOut>(o, g, b, on_layer);
    case LatticeBarrier::kUpOut:
      return Roll<kAmerican, LatticeBarrier::kUpOut>(o, g, b, on_layer);
    case LatticeBarrier::kDownIn:
      return Roll<kAmerican, LatticeBarrier::kDownIn>(o, g, b, on_layer);
    case LatticeBarrier::kUpIn:
      return Roll<kAmerican, LatticeBarrier::kUpIn>(o, g, b, on_layer);
    case LatticeBarrier::kNone:
      break;
  }
  return Roll<kAmerican, LatticeBarrier::kNone>(o, g, b, on_layer);
}

}  // namespace detail

// Values the option on the grid, rolling back from maturity in place.
// on_layer() is called once before each time step from n - 1 down to 3 (the
// record lets pending window events run there); the last three steps, whose
// nodes the Greeks read, run without it.
template <typename OnLayer>
LatticeResult RunLattice(const LatticeOption& o, const LatticeGrid& g, LatticeBuffers& b,
                         OnLayer&& on_layer) {
  return o.american ? detail::RollKind<true>(o, g, b, on_layer)
                    : detail::RollKind<false>(o, g, b, on_layer);
}

inline LatticeResult RunLattice(const LatticeOption& o, const LatticeGrid& g, LatticeBuffers& b) {
  return RunLattice(o, g, b, [] {});
}

// Two vanilla options (no barrier) on grids of the same steps and rows that
// differ only in their branch probabilities (a volatility bump on fixed
// rows), rolled back in one pass over the shared price table: each value
// node for node as RunLattice computes it, in the same order of operations,
// so each result equals RunLattice's on its grid. The second result carries
// only its value. Needs a.n == b.n and a.up == b.up.
namespace detail {

template <bool kAmerican, typename OnLayer>
std::array<LatticeResult, 2> RollPair(const LatticeOption& o, const LatticeGrid& a,
                                      const LatticeGrid& b, LatticeBuffers& buf,
                                      OnLayer& on_layer) {
  const int n = a.n;
  const size_t size = 2 * static_cast<size_t>(n) + 3;
  if (buf.prices.size() < size) {
    buf.prices.resize(size);
    buf.v.resize(size);
  }
  if (buf.w.size() < size) {
    buf.w.resize(size);
  }
  double* prices = buf.prices.data();
  prices[0] = o.s * std::pow(a.up, n);
  for (int i = 1; i <= 2 * n; ++i) {
    prices[i] = prices[i - 1] / a.up;
  }
  const double k = o.k, phi = o.phi;
  const double apu = a.pu, apm = a.pm, apd = a.pd, adisc = a.disc;
  const double bpu = b.pu, bpm = b.pm, bpd = b.pd, bdisc = b.disc;
  double* v = buf.v.data();
  double* w = buf.w.data();
  for (int i = 0; i <= 2 * n; ++i) {
    const double x = phi * (prices[i] - k);
    v[i] = w[i] = x > 0 ? x : 0;
  }
  std::array<LatticeResult, 2> result{};
  int node = 8;
  for (int t = n - 1; t >= 0; --t) {
    if (t >= 3) {
      on_layer();
    }
    const int offset = n - t;
    const int last = 2 * t;
    for (int i = 0; i <= last; ++i) {
      double va = (apm * v[i + 1] + apu * v[i] + apd * v[i + 2]) * adisc;
      double vb = (bpm * w[i + 1] + bpu * w[i] + bpd * w[i + 2]) * bdisc;
      if constexpr (kAmerican) {
        const double x = phi * (prices[i + offset] - k);
        va = x > va ? x : va;
        vb = x > vb ? x : vb;
      }
      v[i] = va;
      w[i] = vb;
    }
    if (t <= 2) {
      for (int i = 0; i <= last; ++i) {
        result[0].nodes[node--] = v[i];
      }
    }
  }
  result[0].value = v[0];
  result[1].value = w[0];
  return result;
}

}  // namespace detail

// Two vanilla options (no barrier) on grids of the same steps and rows that
// differ only in their branch probabilities and discount (a volatility bump
// on fixed rows), rolled back in one pass over the shared price table: each
// node as RunLattice computes it, in the same order of operations, so each
// result equals RunLattice's on its grid. The second result carries only its
// value. Needs a.n == b.n and a.up == b.up.
template <typename OnLayer>
std::array<LatticeResult, 2> RunVanillaPair(const LatticeOption& o, const LatticeGrid& a,
                                            const LatticeGrid& b, LatticeBuffers& buf,
                                            OnLayer&& on_layer) {
  return o.american ? detail::RollPair<true>(o, a, b, buf, on_layer)
                    : detail::RollPair<false>(o, a, b, buf, on_layer);
}

// ---- Row geometry -------------------------------------------------------------

// Whole rows to a level `m` units of sigma sqrt(dt) away, each stretched to at
// least `least` units so that the level lies exactly on row `rows`; a level
// nearer than that (rows 0) keeps the stretch `at_zero`. The middle branch
// weighs 1 - 1/stretch^2, so a least stretch well above 1 keeps it away from
// 0: with stretches in [1, 2) a level just past a whole row left it near 0,
// where the lattice's error swings with every small change of an input.
struct Rows {
  int rows = 0;
  double stretch = 0;
};

inline Rows RowsTo(double m, double least, double at_zero) {
  Rows r;
  r.rows = static_cast<int>(std::trunc(m / least));
  r.stretch = r.rows == 0 ? at_zero : m / r.rows;
  return r;
}

// ---- Closed-form reference ------------------------------------------------------

inline double NormalCdf(double x) { return 0.5 * std::erfc(-x * 0.70710678118654752440); }

// The Black-Scholes-Merton European value of phi (S - K)^+, |phi| = 1.
inline double EuropeanValue(double phi, double s, double k, double t, double r, double q,
                            double sigma) {
  const double sd = sigma * std::sqrt(t);
  const double d1 = (std::log(s / k) + (r - q + 0.5 * sigma * sigma) * t) / sd;
  const double d2 = d1 - sd;
  const double fwd = s * std::exp(-q * t), pv = k * std::exp(-r * t);
  return phi > 0 ? fwd * NormalCdf(d1) - pv * NormalCdf(d2)
                 : pv * NormalCdf(-d2) - fwd * NormalCdf(-d1);
}

// Its vega, per unit of volatility.
inline double EuropeanVega(double s, double k, double t, double r, double q, double sigma) {
  const double sd = sigma * std::sqrt(t);
  const double d1 = (std::log(s / k) + (r - q + 0.5 * sigma * sigma) * t) / sd;
  return s * std::exp(-q * t) * 0.39894228040143267794 * std::exp(-0.5 * d1 * d1) * std::sqrt(t);
}

// How far a lattice's own European value may lie from the closed form before
// the step count is raised: 0.05 % of the value plus 0.002 % of the larger of
// spot and strike. The records' 50-step lattice of the option S = K = 50,
// T = 0.25, r = 0.1, sigma = 0.25 (call 3.1262 against 3.1272, put 1.8920
// against 1.8927) stays within it.
inline double EuropeanTolerance(double closed_form, double s, double k) {
  return 5e-4 * std::fabs(closed_form) + 2e-5 * std::fmax(s, k);
}

// The next step count to try when an n-step lattice misses the closed form
// by `miss` times the tolerance: the error of a lattice with the strike on a
// row falls like 1 / n, so n miss (and a tenth more) should meet it; at least
// a quarter more steps, at most four times as many.
inline int NextSteps(int n, double miss) {
  const double wanted = std::ceil(n * 1.1 * std::fmin(miss, 4.0));
  return std::max(n + std::max(1, n / 4), static_cast<int>(wanted));
}

}  // namespace stratlyn::numerics
