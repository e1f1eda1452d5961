// libzelop32: European figures in closed form (Black-Scholes-Merton),
// American figures by the Barone-Adesi-Whaley approximation, implied
// volatilities, and the trinomial lattice entry CallTrino. Double precision
// throughout; invalid inputs give NaN rather than a made-up number.

#include <cmath>
#include <limits>

#include "zelop/zelop_api.h"
#include "zelop/zelop_models.h"

#define ZELOP_EXPORT __attribute__((visibility("default")))

namespace stratlyn::zelop {
namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kNoRoot = -999.0;
constexpr double kInvSqrt2 = 0.70710678118654752440;
constexpr double kInvSqrt2Pi = 0.39894228040143267794;
constexpr double kCriticalTolerance = 1e-6;
constexpr int kCriticalIterations = 500;
constexpr int kPlainIterations = 100;
constexpr int kMaxHalvings = 1000;  // down to the smallest positive double
constexpr double kInfinity = std::numeric_limits<double>::infinity();
constexpr double kDoubleEpsilon = std::numeric_limits<double>::epsilon();
// The check of the approximation against the lattice (see BawValue): the
// lattice's least steps, and the largest difference allowed, a share of the
// value plus a share of the strike. With the lattice's own error (about 0.1 %
// of the value, and 0.002 % of the strike) a value passed lies within 2 % of
// the American value plus 0.01 % of the strike.
constexpr int kCheckSteps = 200;
// The most steps of that lattice (a few milliseconds); beyond them, at
// volatilities far too small for the drift, the value is not checked.
constexpr int kCheckMostSteps = 4000;
constexpr double kCheckShare = 0.015;
constexpr double kCheckStrikeShare = 5e-5;
// Maturities at which BestEuropeanValue looks.
constexpr int kFloorMaturities = 64;
constexpr int kGoldenSections = 60;

struct D12 {
  double d1, d2, sqrt_t, disc_q, disc_r;
};

D12 Terms(const BsmInputs& in) {
  D12 t;
  t.sqrt_t = std::sqrt(in.t);
  const double sd = in.sigma * t.sqrt_t;
  t.d1 = (std::log(in.s / in.k) + (in.r - in.q + 0.5 * in.sigma * in.sigma) * in.t) / sd;
  t.d2 = t.d1 - sd;
  t.disc_q = std::exp(-in.q * in.t);
  t.disc_r = std::exp(-in.r * in.t);
  return t;
}

double BsmDelta(const BsmInputs& in) {
  const D12 t = Terms(in);
  return in.is_call ? t.disc_q * NormCdf(t.d1) : -t.disc_q * NormCdf(-t.d1);
}

double BsmGamma(const BsmInputs& in) {
  const D12 t = Terms(in);
  return t.disc_q * NormPdf(t.d1) / (in.s * in.sigma * t.sqrt_t);
}

double BsmVega(const BsmInputs& in) {
  const D12 t = Terms(in);
  return in.s * t.disc_q * NormPdf(t.d1) * t.sqrt_t;
}

double BsmTheta(const BsmInputs& in) {
  const D12 t = Terms(in);
  const double decay = -in.s * t.disc_q * NormPdf(t.d1) * in.sigma / (2 * t.sqrt_t);
  if (in.is_call) {
    return decay + in.q * in.s * t.disc_q * NormCdf(t.d1) - in.r * in.k * t.disc_r * NormCdf(t.d2);
  }
  return decay - in.q * in.s * t.disc_q * NormCdf(-t.d1) + in.r * in.k * t.disc_r * NormCdf(-t.d2);
}

// What the Barone-Adesi-Whaley iteration needs at a trial price x, with the
// terms that do not depend on x computed once.
struct BawTerms {
  const BsmInputs& in;
  double sd, disc_q, disc_r, drift;
  explicit BawTerms(const BsmInputs& i)
      : in(i),
        sd(i.sigma * std::sqrt(i.t)),
        disc_q(std::exp(-i.q * i.t)),
        disc_r(std::exp(-i.r * i.t)),
        drift((i.r - i.q + 0.5 * i.sigma * i.sigma) * i.t) {}
  // European value at x, N(+-d1) (the sign of the option) and n(d1).
  void At(double x, double& euro, double& n_d1, double& pdf_d1) const {
    const double d1 = (std::log(x / in.k) + drift) / sd;
    const double d2 = d1 - sd;
    if (in.is_call) {
      n_d1 = NormCdf(d1);
      euro = x * disc_q * n_d1 - in.k * disc_r * NormCdf(d2);
    } else {
      n_d1 = NormCdf(-d1);
      euro = in.k * disc_r * NormCdf(-d2) - x * disc_q * n_d1;
    }
    pdf_d1 = NormPdf(d1);
  }
};

// The Barone-Adesi-Whaley critical price: where the American value meets the
// exercise value, the root of gap(x) = exercise(x) - (euro(x) +- (1 - e^-qT
// N(+-d1)) x / q_exp). For a call gap rises through zero above the strike, for
// a put it falls through zero below it. Newton's method from the usual seed,
// until both sides agree to 1e-6 of the strike (the customary tolerance of the
// method, so that the figures agree with other implementations of it). Where
// the plain iteration leaves the positive numbers, stalls or ends on the wrong
// side of the strike, a bracket of the root takes over: a step that leaves it
// is replaced by bisection. 0 for a put whose root lies below any positive
// price (the put is then never exercised early).
double CriticalPrice(const BawTerms& terms, double q_exp, double m) {
  const BsmInputs& in = terms.in;
  const double b = in.r - in.q;
  const double n = 2 * b / (in.sigma * in.sigma);
  const double phi = in.is_call ? 1.0 : -1.0;
  // gap and its slope at x.
  const auto gap_at = [&](double x, double& slope) {
    double euro, n_d1, pdf_d1;
    terms.At(x, euro, n_d1, pdf_d1);
    const double rhs = euro + phi * (1 - terms.disc_q * n_d1) * x / q_exp;
    slope = phi * (1 - terms.disc_q * n_d1 * (1 - 1 / q_exp) -
                   (1 - phi * terms.disc_q * pdf_d1 / terms.sd) / q_exp);
    return phi * (x - in.k) - rhs;
  };
  // The root lies above lo and below hi (infinity: not known yet). A call's
  // gap is negative at the strike, a put's too, and a put's is positive near 0.
  double lo = in.is_call ? in.k : 0.0;
  double hi = in.is_call ? kInfinity : in.k;
  // Without a positive rate a put's gap need not turn positive near 0; the
  // lower end is then looked for (by halving down from the strike) only when
  // a step needs it.
  bool lo_known = in.is_call || in.r > 0;
  const auto find_lo = [&] {
    double x = hi, slope;
    for (int halvings = 0; halvings <= kMaxHalvings; ++halvings) {
      if (gap_at(x, slope) > 0) {
        lo = x;
        return true;
      }
      hi = std::fmin(hi, x);
      x *= 0.5;
    }
    return false;
  };
  // Seed: the perpetual critical price blended with the strike (needs a
  // positive rate term under the root; otherwise the middle of the bracket).
  double si = kNaN;
  const double disc = (n - 1) * (n - 1) + 4 * m;
  if (disc >= 0) {
    const double q_inf = 0.5 * (-(n - 1) + phi * std::sqrt(disc));
    const double s_inf = in.k / (1 - 1 / q_inf);
    if (in.is_call) {
      const double h = -(b * in.t + 2 * terms.sd) * in.k / (s_inf - in.k);
      si = in.k + (s_inf - in.k) * (1 - std::exp(h));
    } else {
      const double h = (b * in.t - 2 * terms.sd) * in.k / (in.k - s_inf);
      si = s_inf + (in.k - s_inf) * std::exp(h);
    }
  }
  const auto inside = [&](double x) { return std::isfinite(x) && x > lo && x < hi; };
  const auto midpoint = [&] { return std::isfinite(hi) ? 0.5 * (lo + hi) : 2 * lo; };
  // First the plain iteration, as the method is customarily run, while its
  // steps stay positive and finite; the bracket, narrowed by every iterate
  // inside it, takes over when a step leaves that domain, when the plain
  // iteration ends outside the bracket, or after kPlainIterations.
  bool safeguarded = !std::isfinite(si) || !(si > 0);
  if (safeguarded) {
    if (!lo_known && !(lo_known = find_lo())) {
      return 0.0;
    }
    si = midpoint();
  }
  for (int i = 0; i < kCriticalIterations; ++i) {
    double slope;
    const double gap = gap_at(si, slope);
    const bool in_bracket = inside(si);
    if (std::fabs(gap) / in.k < kCriticalTolerance && in_bracket) {
      break;
    }
    if (in_bracket) {
      // A call's gap rises with x, a put's falls: the root is on the side
      // the sign says.
      if ((gap < 0) == in.is_call) {
        lo = si;
        lo_known = true;
      } else {
        hi = si;
      }
    }
    double next = si - gap / slope;
    if (!safeguarded && (!std::isfinite(next) || !(next > 0) || i >= kPlainIterations ||
                         std::fabs(gap) / in.k < kCriticalTolerance)) {
      safeguarded = true;
    }
    if (safeguarded && !inside(next)) {
      if (!lo_known && !(lo_known = find_lo())) {
        return 0.0;
      }
      next = midpoint();
    }
    if (next == si || (std::isfinite(hi) && hi - lo <= 4 * kDoubleEpsilon * hi)) {
      break;
    }
    si = next;
  }
  return std::isfinite(si) && si >= lo && si <= hi ? si : midpoint();
}

// Central finite differences on the BAW value.
template <typename Shift>
double Difference(const BsmInputs& in, double h, Shift&& shift) {
  BsmInputs up = in, down = in;
  shift(up, h);
  shift(down, -h);
  return (BawValue(up) - BawValue(down)) / (2 * h);
}

BsmInputs Make(int flag, double r, double t, double k, double s, double sigma, double q) {
  return {flag == 1, r, t, k, s, sigma, q};
}

}  // namespace

double NormCdf(double x) { return 0.5 * std::erfc(-x * kInvSqrt2); }
double NormPdf(double x) { return kInvSqrt2Pi * std::exp(-0.5 * x * x); }

bool BsmValid(const BsmInputs& in) {
  return in.t > 0 && in.k > 0 && in.s > 0 && in.sigma > 0 && std::isfinite(in.t) &&
         std::isfinite(in.k) && std::isfinite(in.s) && std::isfinite(in.sigma) &&
         std::isfinite(in.r) && std::isfinite(in.q);
}

double BsmValue(const BsmInputs& in) {
  const D12 t = Terms(in);
  if (in.is_call) {
    return in.s * t.disc_q * NormCdf(t.d1) - in.k * t.disc_r * NormCdf(t.d2);
  }
  return in.k * t.disc_r * NormCdf(-t.d2) - in.s * t.disc_q * NormCdf(-t.d1);
}

double BsmImpliedVol(BsmInputs in, double price, double tol, int max_iter) {
  if (!BsmValid({in.is_call, in.r, in.t, in.k, in.s, 1.0, in.q}) || !(price > 0) ||
      !std::isfinite(price) || !(tol > 0) || max_iter < 1) {
    return kNaN;
  }
  // The reachable prices lie strictly between the discounted intrinsic value
  // (sigma -> 0) and the discounted underlying or strike (sigma -> infinity).
  const double fwd = in.s * std::exp(-in.q * in.t), strike = in.k * std::exp(-in.r * in.t);
  const double lower = in.is_call ? std::fmax(fwd - strike, 0.0) : std::fmax(strike - fwd, 0.0);
  const double upper = in.is_call ? fwd : strike;
  if (!(price > lower && price < upper)) {
    return kNoRoot;
  }
  // Newton's method kept inside a bracket that bisection shrinks when a step
  // leaves it. Stops when the step is far below tol (the price then matches to
  // machine precision) or at the iteration limit.
  const double guess = in.sigma;
  double lo = 0.0, hi = 10.0;
  in.sigma = hi;
  while (BsmValue(in) < price && hi < 1e4) {
    lo = hi;
    hi *= 2;
    in.sigma = hi;
  }
  double sigma = guess;
  // Without a usable guess, start where the vega is largest for this moneyness.
  if (!(sigma > lo && sigma < hi && sigma <= 5)) {
    sigma = std::sqrt(2 * std::fabs(std::log(fwd / strike)) / in.t);
    if (!(sigma > 0.05 && sigma <= 5 && sigma > lo && sigma < hi)) {
      sigma = 0.5 * (lo + hi);
    }
    if (hi <= 10.0 && !(sigma > 0.05 && sigma <= 5)) {
      sigma = 0.3;
    }
  }
  const double stop = tol * 1e-6;
  for (int i = 0; i < max_iter; ++i) {
    in.sigma = sigma;
    const double gap = BsmValue(in) - price;
    if (gap == 0) {
      return sigma;
    }
    if (gap > 0) {
      hi = sigma;
    } else {
      lo = sigma;
    }
    const double v = BsmVega(in);
    double next = sigma - gap / v;
    if (!(next > lo && next < hi)) {
      next = 0.5 * (lo + hi);
    }
    if (std::fabs(next - sigma) < stop) {
      return next;
    }
    if (hi - lo < stop) {
      return 0.5 * (lo + hi);
    }
    sigma = next;
  }
  return sigma;
}

namespace {

// The Barone-Adesi-Whaley approximation itself.
double BawApproximation(const BsmInputs& in) {
  const double european = BsmValue(in);
  // A call is never exercised early while the yield is not positive and the
  // rate not negative (paying the strike later is then no worse), nor a put
  // while the rate is not positive and the yield not negative (holding it is
  // then worth at least K - S): the European value is exact there. At a
  // negative rate paying the strike at once can pay, and the approximation
  // values the call like any other.
  const double intrinsic = std::fmax(in.is_call ? in.s - in.k : in.k - in.s, 0.0);
  const double floor = std::fmax(european, intrinsic);
  if (in.is_call ? (in.q <= 0 && in.r >= 0) : (in.r <= 0 && in.q >= 0)) {
    return floor;
  }
  const double s2 = in.sigma * in.sigma;
  const double n = 2 * (in.r - in.q) / s2;
  const double m = 2 * in.r / s2;
  // 2r / (sigma^2 (1 - e^-rT)), written with expm1 so that tiny rates keep
  // their digits; 2 / (sigma^2 T) in the limit of a zero rate.
  const double rt = in.r * in.t;
  const double m_over_k = rt == 0 ? 2 / (s2 * in.t) : m / -std::expm1(-rt);
  const double root = std::sqrt((n - 1) * (n - 1) + 4 * m_over_k);
  const double q_exp = in.is_call ? 0.5 * (-(n - 1) + root) : 0.5 * (-(n - 1) - root);
  if (!std::isfinite(q_exp) || q_exp == 0) {
    return floor;
  }
  const BawTerms terms(in);
  const double critical = CriticalPrice(terms, q_exp, m);
  if (!(critical > 0) || (in.is_call ? in.s >= critical : in.s <= critical)) {
    // No exercise region (a put whose region is empty), or the price lies in it.
    return floor;
  }
  double euro_critical, n_d1, pdf_d1;
  terms.At(critical, euro_critical, n_d1, pdf_d1);
  const double a = (in.is_call ? 1 : -1) * critical / q_exp * (1 - terms.disc_q * n_d1);
  const double value = european + a * std::pow(in.s / critical, q_exp);
  // The approximation never reads below what exercising now or holding to
  // expiry gives.
  return std::isfinite(value) ? std::fmax(value, floor) : floor;
}

// The best European value of the option at maturities up to its own: the
// American holder can always hold to any of them, so its value is no less.
// The maturities are searched on a grid, and then by golden sections
// between the best one's neighbours.
double BestEuropeanValue(const BsmInputs& in) {
  BsmInputs shorter = in;
  const auto at = [&](double t) {
    shorter.t = t;
    const double v = BsmValue(shorter);
    return std::isfinite(v) ? v : 0.0;
  };
  double best = 0;
  int best_i = kFloorMaturities;
  for (int i = 1; i <= kFloorMaturities; ++i) {
    const double v = at(in.t * i / kFloorMaturities);
    if (v > best) {
      best = v;
      best_i = i;
    }
  }
  double lo = in.t * (best_i - 1) / kFloorMaturities;
  double hi = in.t * std::min(best_i + 1, kFloorMaturities) / kFloorMaturities;
  constexpr double kGolden = 0.6180339887498949;
  double a = hi - kGolden * (hi - lo), b = lo + kGolden * (hi - lo);
  double fa = at(a), fb = at(b);
  for (int i = 0; i < kGoldenSections; ++i) {
    if (fa < fb) {
      lo = a;
      a = b;
      fa = fb;
      b = lo + kGolden * (hi - lo);
      fb = at(b);
    } else {
      hi = b;
      b = a;
      fb = fa;
      a = hi - kGolden * (hi - lo);
      fa = at(a);
    }
  }
  return std::fmax(best, std::fmax(fa, fb));
}

}  // namespace

// A call at a negative rate without a positive yield is worth exercising
// early where paying the strike now costs less than paying it later; there
// the approximation strays (by up to 2 % at long maturities, and by much more
// of a small value out of the money at low volatilities: 0.082 against 0.097
// for K = 105, T = 2.7, r = -0.068, vol 0.056). So does a put at a negative
// yield without a positive rate, the same option with spot and strike, rate
// and yield exchanged (3.4 % low for K = 144.8, T = 9.55, r = -0.019,
// q = -0.078, vol 0.34). There its value is checked
// against the American value on the lattice and refused (NaN) where the two
// differ by more than kCheckShare of the value plus kCheckStrikeShare of the
// strike. Where no lattice serves the inputs (a volatility far too small for
// the drift) the value is held at least at the best European value over the
// maturities up to its own.
double BawValue(const BsmInputs& in) {
  const double value = BawApproximation(in);
  const bool checked = in.is_call ? in.r < 0 && in.q <= 0 : in.q < 0 && in.r <= 0;
  if (!checked || !std::isfinite(value)) {
    return value;
  }
  const double reference = AmericanLatticeValue(in, kCheckSteps, kCheckMostSteps);
  if (!std::isfinite(reference)) {
    return std::fmax(value, BestEuropeanValue(in));
  }
  return std::fabs(value - reference) <= kCheckShare * reference + kCheckStrikeShare * in.k ? value
                                                                                            : kNaN;
}

namespace {

// The step of a spot difference: `share` of the spot, and no more than
// `spread_share` of the spread S sigma sqrt(T) over which the value bends at
// the strike, so that at a volatility of 0.001 the difference does not reach
// across the kink of the payoff (a gamma of 0.037 beside a delta of 1 and a
// value of S - K).
double SpotStep(const BsmInputs& in, double share, double spread_share) {
  return in.s * std::fmin(share, spread_share * in.sigma * std::sqrt(in.t));
}

}  // namespace

}  // namespace stratlyn::zelop

// ---- Exports ------------------------------------------------------------------

using stratlyn::zelop::BsmInputs;
using stratlyn::zelop::BsmValid;
using stratlyn::zelop::Make;
namespace zm = stratlyn::zelop;

extern "C" {

ZELOP_EXPORT double bsop(int flag, double r, double T, double K, double S, double sigma, double q) {
  const BsmInputs in = Make(flag, r, T, K, S, sigma, q);
  return BsmValid(in) ? zm::BsmValue(in) : zm::kNaN;
}

ZELOP_EXPORT double delta(int flag, double r, double T, double K, double S, double sigma,
                          double q) {
  const BsmInputs in = Make(flag, r, T, K, S, sigma, q);
  return BsmValid(in) ? zm::BsmDelta(in) : zm::kNaN;
}

// "gamma" is also an old libm name; the C++ name differs, the exported one does not.
ZELOP_EXPORT double zelop_gamma(double r, double T, double K, double S, double sigma,
                                double q) __asm__("gamma");
ZELOP_EXPORT double zelop_gamma(double r, double T, double K, double S, double sigma, double q) {
  const BsmInputs in = Make(1, r, T, K, S, sigma, q);
  return BsmValid(in) ? zm::BsmGamma(in) : zm::kNaN;
}

ZELOP_EXPORT double vega(double r, double T, double K, double S, double sigma, double q) {
  const BsmInputs in = Make(1, r, T, K, S, sigma, q);
  return BsmValid(in) ? zm::BsmVega(in) : zm::kNaN;
}

ZELOP_EXPORT double theta(int flag, double r, double T, double K, double S, double sigma,
                          double q) {
  const BsmInputs in = Make(flag, r, T, K, S, sigma, q);
  return BsmValid(in) ? zm::BsmTheta(in) : zm::kNaN;
}

ZELOP_EXPORT double impvol(int flag, double r, double T, double K, double S, double sigma,
                           double tol, double price, double q, int max_iter) {
  return zm::BsmImpliedVol(Make(flag, r, T, K, S, sigma, q), price, tol, max_iter);
}

ZELOP_EXPORT double baw(int flag, double S, double r, double T, double K, double sigma, double q) {
  const BsmInputs in = Make(flag, r, T, K, S, sigma, q);
  return BsmValid(in) ? zm::BawValue(in) : zm::kNaN;
}

ZELOP_EXPORT double bawdel(int flag, double S, double r, double T, double K, double sigma,
                           double q) {
  const BsmInputs in = Make(flag, r, T, K, S, sigma, q);
  if (!BsmValid(in)) {
    return zm::kNaN;
  }
  return zm::Difference(in, zm::SpotStep(in, 1e-4, 1e-2), [](BsmInputs& x, double h) { x.s += h; });
}

ZELOP_EXPORT double bawgam(int flag, double S, double r, double T, double K, double sigma,
                           double q) {
  const BsmInputs in = Make(flag, r, T, K, S, sigma, q);
  if (!BsmValid(in)) {
    return zm::kNaN;
  }
  const double h = zm::SpotStep(in, 1e-3, 5e-2);
  BsmInputs up = in, down = in;
  up.s += h;
  down.s -= h;
  return (zm::BawValue(up) - 2 * zm::BawValue(in) + zm::BawValue(down)) / (h * h);
}

ZELOP_EXPORT double bawvega(int flag, double S, double r, double T, double K, double sigma,
                            double q) {
  const BsmInputs in = Make(flag, r, T, K, S, sigma, q);
  if (!BsmValid(in)) {
    return zm::kNaN;
  }
  return zm::Difference(in, 1e-4 * sigma, [](BsmInputs& x, double h) { x.sigma += h; });
}

// Per year of calendar time: the value's change as the expiry comes nearer.
ZELOP_EXPORT double bawtheta(int flag, double S, double r, double T, double K, double sigma,
                             double q) {
  const BsmInputs in = Make(flag, r, T, K, S, sigma, q);
  if (!BsmValid(in)) {
    return zm::kNaN;
  }
  const double h = 1e-4 * T;
  return 0.0 - zm::Difference(in, h, [](BsmInputs& x, double d) { x.t += d; });  // never -0
}

ZELOP_EXPORT double CallTrino(int sign, const double* in, int code, double price, int steps,
                              double* out) {
  return zm::TrinoLattice(sign, in, code, price, steps, out);
}

}  // extern "C"
