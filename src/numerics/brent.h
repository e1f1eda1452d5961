#pragma once
// The Brent root finder of both option records and of libzelop32's lattice:
// inverse quadratic interpolation with bisection as the fall-back, on a
// bracket [x1, x2]. zelBSOP runs it in single precision, zelBarr and the
// library in double; every quantity is of type Real, so the single-precision
// search rounds as the record's own floats do. Header-only: the library is a
// separate shared object and compiles its own copy of the same template.

#include <cmath>

namespace stratlyn {

// |a| with the sign of b (b = 0 counts as positive).
template <typename Real>
Real SignOf(Real a, Real b) {
  return b >= 0 ? std::fabs(a) : -std::fabs(a);
}

// The smaller of a and b (b when they are equal).
template <typename Real>
Real MinOf(Real a, Real b) {
  return a < b ? a : b;
}

// What BrentSearch returns when 100 iterations pass without convergence: the
// value `kNoConvergenceValue` of the caller, or the last estimate.
enum class BrentStall { kReturnValue, kReturnEstimate };

// Twice a single float's machine precision: the relative part of the records'
// convergence test.
inline constexpr double kBrentRecordEps2 = 6e-8;

// A root of gap(x) between x1 and x2 within tol + eps2 |x|. `no_root` when
// gap has the same sign at both ends (a zero at either end counts as
// bracketed); `stall_value` (or the last estimate, as `stall` says) after 100
// iterations. gap is evaluated at x1, then x2, then once per iteration.
template <typename Real, typename Gap>
Real BrentSearch(Gap&& gap, Real x1, Real x2, Real tol, Real no_root, BrentStall stall,
                 Real stall_value, Real eps2 = static_cast<Real>(kBrentRecordEps2)) {
  constexpr int kMaxIterations = 100;
  const Real half = static_cast<Real>(0.5);
  Real a = x1, b = x2, c = x2;
  Real d = 0, e = 0;
  Real fa = gap(a);
  Real fb = gap(b);
  if ((fa > 0 && fb > 0) || (fa < 0 && fb < 0)) {
    return no_root;
  }
  Real fc = fb;
  for (int iter = 1; iter <= kMaxIterations; ++iter) {
    if ((fb > 0 && fc > 0) || (fb < 0 && fc < 0)) {
      c = a;
      fc = fa;
      d = b - a;
      e = d;
    }
    if (std::fabs(fc) < std::fabs(fb)) {
      a = b;
      b = c;
      c = a;
      fa = fb;
      fb = fc;
      fc = fa;
    }
    const Real tol1 = eps2 * std::fabs(b) + half * tol;
    const Real xm = half * (c - b);
    if (std::fabs(xm) <= tol1 || fb == 0) {
      return b;
    }
    if (std::fabs(e) >= tol1 && std::fabs(fa) > std::fabs(fb)) {
      const Real s = fb / fa;
      Real p, q;
      if (a == c) {
        p = Real(2) * xm * s;
        q = Real(1) - s;
      } else {
        q = fa / fc;
        const Real r = fb / fc;
        p = s * (Real(2) * xm * q * (q - r) - (b - a) * (r - Real(1)));
        q = (q - Real(1)) * (r - Real(1)) * (s - Real(1));
      }
      if (p > 0) {
        q = -q;
      }
      p = std::fabs(p);
      const Real min1 = Real(3) * xm * q - std::fabs(tol1 * q);
      const Real min2 = std::fabs(e * q);
      if (Real(2) * p < MinOf(min1, min2)) {
        e = d;
        d = p / q;
      } else {
        d = xm;
        e = d;
      }
    } else {
      d = xm;
      e = d;
    }
    a = b;
    fa = fb;
    b = b + (std::fabs(d) > tol1 ? d : SignOf(tol1, xm));
    fb = gap(b);
  }
  return stall == BrentStall::kReturnEstimate ? b : stall_value;
}

}  // namespace stratlyn
