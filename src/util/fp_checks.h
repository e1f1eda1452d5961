#pragma once
// Guards for formulas: a floating-point fault becomes a zelError instead of a
// NaN or an infinity that travels on silently.

#include <cmath>
#include <cstdint>
#include <limits>

#include "util/zel_error.h"

namespace stratlyn {

// x itself when finite; zelError 6 (overflow) for an infinity, 5 for a NaN.
inline double CheckFinite(double x) {
  if (std::isfinite(x)) [[likely]]
    return x;
  if (std::isnan(x)) throw zelError(err::kInvalidCall);
  throw zelError(err::kOverflow);
}

// ln(x); zelError 5 for x <= 0 (and for a NaN).
inline double CheckedLog(double x) {
  if (!(x > 0.0)) [[unlikely]]
    throw zelError(err::kInvalidCall);
  return std::log(x);
}

// a / b; zelError 11 when b is zero, 6 when the quotient overflows.
inline double CheckedDiv(double a, double b) {
  if (b == 0.0) [[unlikely]]
    throw zelError(err::kDivisionByZero);
  return CheckFinite(a / b);
}

// sqrt(x); zelError 5 for x < 0.
inline double CheckedSqrt(double x) {
  if (!(x >= 0.0)) [[unlikely]]
    throw zelError(err::kInvalidCall);
  return std::sqrt(x);
}

// The double rounded to a 32-bit float, as a stored single-precision value;
// zelError 6 when it does not fit.
inline float ToSingle(double x) {
  // Checked before the conversion: a double beyond the float range has no
  // float to convert to.
  if (std::fabs(CheckFinite(x)) > std::numeric_limits<float>::max()) [[unlikely]] {
    throw zelError(err::kOverflow);
  }
  return static_cast<float>(x);
}

// x rounded half to even to a 16-bit integer, as the records store their
// integer inputs; zelError 6 (overflow) outside -32768 .. 32767 or for a NaN.
inline std::int16_t ToInt16(double x) {
  const double r = std::nearbyint(x);
  if (!(r >= -32768.0 && r <= 32767.0)) [[unlikely]] {
    throw zelError(err::kOverflow);
  }
  return static_cast<std::int16_t>(r);
}

}  // namespace stratlyn
