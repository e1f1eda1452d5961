#pragma once
// The European barrier option in closed form, the barrier watched without a
// pause (Merton; Reiner and Rubinstein): a knock-out's rebate paid when the
// barrier is hit, a knock-in's at expiry when it never was. The lattice checks
// its own step count against it. Header-only and free of the rest of the
// project.

#include <cmath>
#include <limits>

namespace stratlyn::numerics {

enum class BarrierKind { kDownOut, kUpOut, kDownIn, kUpIn };

namespace barrier_detail {

inline double Ncdf(double x) { return 0.5 * std::erfc(-x * 0.70710678118654752440); }

}  // namespace barrier_detail

// Value of phi (S - K)^+ (phi +1 call, -1 put) with barrier h and rebate,
// for a spot on the living side of the barrier (s > h for a down barrier,
// s < h for an up one). NaN where the formula has no real value (a rebate
// paid at the hit with 2r / sigma^2 below -mu^2, possible at a negative rate)
// or the inputs are outside its range.
inline double BarrierValue(double phi, BarrierKind kind, double s, double k, double h,
                           double rebate, double t, double r, double q, double sigma) {
  using barrier_detail::Ncdf;
  constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
  const bool down = kind == BarrierKind::kDownOut || kind == BarrierKind::kDownIn;
  const bool out = kind == BarrierKind::kDownOut || kind == BarrierKind::kUpOut;
  if (!(s > 0 && k > 0 && h > 0 && t > 0 && sigma > 0) || (down ? !(s > h) : !(s < h))) {
    return kNaN;
  }
  const double eta = down ? 1.0 : -1.0;
  const double s2 = sigma * sigma;
  const double sd = sigma * std::sqrt(t);
  const double mu = (r - q - s2 / 2) / s2;
  const double lambda_sq = mu * mu + 2 * r / s2;
  const double disc_q = std::exp(-q * t), disc_r = std::exp(-r * t);
  const double hs = h / s;
  const double x1 = std::log(s / k) / sd + (1 + mu) * sd;
  const double x2 = std::log(s / h) / sd + (1 + mu) * sd;
  const double y1 = std::log(h * h / (s * k)) / sd + (1 + mu) * sd;
  const double y2 = std::log(h / s) / sd + (1 + mu) * sd;
  const double pow_mu1 = std::pow(hs, 2 * (mu + 1)), pow_mu = std::pow(hs, 2 * mu);
  const double a = phi * s * disc_q * Ncdf(phi * x1) - phi * k * disc_r * Ncdf(phi * (x1 - sd));
  const double b = phi * s * disc_q * Ncdf(phi * x2) - phi * k * disc_r * Ncdf(phi * (x2 - sd));
  const double c = phi * s * disc_q * pow_mu1 * Ncdf(eta * y1) -
                   phi * k * disc_r * pow_mu * Ncdf(eta * (y1 - sd));
  const double d = phi * s * disc_q * pow_mu1 * Ncdf(eta * y2) -
                   phi * k * disc_r * pow_mu * Ncdf(eta * (y2 - sd));
  double rebate_term = 0;
  if (rebate != 0) {
    if (out) {
      if (lambda_sq < 0) {
        return kNaN;
      }
      const double lambda = std::sqrt(lambda_sq);
      const double z = std::log(h / s) / sd + lambda * sd;
      rebate_term = rebate * (std::pow(hs, mu + lambda) * Ncdf(eta * z) +
                              std::pow(hs, mu - lambda) * Ncdf(eta * (z - 2 * lambda * sd)));
    } else {
      rebate_term = rebate * disc_r * (Ncdf(eta * (x2 - sd)) - pow_mu * Ncdf(eta * (y2 - sd)));
    }
  }
  const bool call = phi > 0;
  const bool above = k > h;  // strike above the barrier
  double value;
  switch (kind) {
    case BarrierKind::kDownIn:
      value = call ? (above ? c : a - b + d) : (above ? b - c + d : a);
      break;
    case BarrierKind::kUpIn:
      value = call ? (above ? a : b - c + d) : (above ? a - b + d : c);
      break;
    case BarrierKind::kDownOut:
      value = call ? (above ? a - c : b - d) : (above ? a - b + c - d : 0.0);
      break;
    case BarrierKind::kUpOut:
    default:
      value = call ? (above ? 0.0 : a - b + c - d) : (above ? b - d : a - c);
      break;
  }
  value += rebate_term;
  return std::isfinite(value) ? value : kNaN;
}

// How far a lattice's European barrier value may lie from BarrierValue before
// the step count is raised: 0.2 % of the value plus 0.01 % of the larger of
// spot and strike. With the barrier on a row the lattice's value tends to the
// closed form's (the barrier watched without a pause) as the steps grow, its
// error falling like 1 / n; the strike, between rows, makes it swing about
// that trend.
inline double BarrierTolerance(double closed_form, double s, double k) {
  return 2e-3 * std::fabs(closed_form) + 1e-4 * std::fmax(s, k);
}

}  // namespace stratlyn::numerics
