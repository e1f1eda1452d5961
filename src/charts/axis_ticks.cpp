#include "charts/axis_ticks.h"

#include <cmath>
#include <cstdio>

namespace stratlyn {

namespace {

constexpr int kMaxDecimals = 12;
constexpr double kExponentFrom = 1e9;

std::string WithPoint(std::string text, char decimal_point) {
  for (char& c : text) {
    if (c == '.') {
      c = decimal_point;
    }
  }
  return text;
}

}  // namespace

double NiceStep(double range, int target) {
  if (!std::isfinite(range) || range <= 0) {
    return 0;
  }
  if (target < 1) {
    target = 1;
  }
  // At most half as many intervals again as asked for: 1.01 split about five
  // ways steps by 0.2 (5 intervals), not by 0.5 (2).
  const double raw = range / (target * 1.5);
  double power = std::pow(10.0, std::floor(std::log10(raw)));
  // log10 may land a hair below a power of ten; the loop below corrects it.
  for (int guard = 0; guard < 4; ++guard) {
    for (const double m : {1.0, 2.0, 5.0}) {
      const double step = m * power;
      if (step >= raw * (1 - 1e-12)) {
        return step;
      }
    }
    power *= 10;
  }
  return 10 * power;
}

int StepDecimals(double step) {
  if (!std::isfinite(step) || step <= 0) {
    return 0;
  }
  for (int d = 0; d < kMaxDecimals; ++d) {
    const double scaled = step * std::pow(10.0, d);
    if (std::fabs(scaled - std::nearbyint(scaled)) < 1e-9 * std::max(1.0, scaled)) {
      return d;
    }
  }
  return kMaxDecimals;
}

std::vector<AxisTick> AxisTicks(double lo, double hi, int target, char decimal_point) {
  std::vector<AxisTick> ticks;
  if (!std::isfinite(lo) || !std::isfinite(hi) || !(lo < hi)) {
    return ticks;
  }
  const double step = NiceStep(hi - lo, target);
  if (step <= 0) {
    return ticks;
  }
  const int decimals = StepDecimals(step);
  const bool exponent = std::max(std::fabs(lo), std::fabs(hi)) >= kExponentFrom;
  const double slack = step * 1e-9;
  const double first = std::ceil((lo - slack) / step);
  const double last = std::floor((hi + slack) / step);
  for (double k = first; k <= last && ticks.size() < 1000; k += 1) {
    double v = k * step;
    if (std::fabs(v) < slack) {
      v = 0;  // no "-0"
    }
    char buf[64];
    if (exponent) {
      std::snprintf(buf, sizeof buf, "%.3G", v);
    } else {
      std::snprintf(buf, sizeof buf, "%.*f", decimals, v);
    }
    ticks.push_back({v, WithPoint(buf, decimal_point)});
  }
  return ticks;
}

}  // namespace stratlyn
