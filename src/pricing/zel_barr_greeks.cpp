// zelBarr's value and Greeks: the option already knocked in or out, and
// delta, gamma, theta and vega from the lattice's nodes and a second run.

#include <array>
#include <cmath>

#include "numerics/trinomial_lattice.h"
#include "pricing/zel_barr.h"
#include "pricing/zel_barr_internal.h"
#include "util/fp_checks.h"
#include "util/zel_error.h"

namespace stratlyn {

using namespace zel_barr_internal;

namespace {

constexpr double kVegaBump = 1.0001;

}  // namespace

// ---- Value, Greeks, vega ----------------------------------------------------

bool zelBarr::CalcCrossedBarrier(int code) {
  if (!(barrier > 1e-6f) || !PastBarrier(code, underlying, barrier)) {
    return false;
  }
  if (IsKnockInCode(code)) {
    // Knocked in: the vanilla option itself, on its own lattice.
    const float kept = barrier;
    barrier = 0;
    const int vanilla = code % 2 == 1 ? 1001 : 1000;
    activeCode = vanilla;
    try {
      CalcValueAndGreeks(vanilla);
    } catch (...) {
      barrier = kept;
      activeCode = code;
      throw;
    }
    barrier = kept;
    activeCode = code;
  } else {
    // Knocked out: the rebate, paid now, whatever the spot or the volatility.
    resultPrice = rebate;
    resultDelta = resultGamma = resultVega = resultTheta = 0.0f;
  }
  return true;
}

void zelBarr::CalcValueAndGreeks(int code) {
  // The closing valuation of a search is a valuation like any other.
  const bool was_searching = searching;
  searching = false;
  struct Restore {
    bool& flag;
    bool value;
    ~Restore() { flag = value; }
  } restore{searching, was_searching};
  if (CalcCrossedBarrier(code)) {
    return;
  }
  SetUpLattice();
  RunLattice(code);
  if (IsKnockInCode(code) && rebate == 0 && static_cast<double>(resultPrice) > PlainValue(code)) {
    // A knock-in option without a rebate is worth no more than the plain
    // option; where its lattice (rows to the barrier) puts it above the
    // plain option's own, it is as good as knocked in: the plain option's
    // figures.
    const PlainOptionScope plain(barrier, activeCode, code);
    CalcValueAndGreeks(plain.code);
    return;
  }
  const double s = underlying;
  const double u = upFactor;
  const std::array<double, 11>& g = greekNodes;
  resultDelta = ToSingle(CheckedDiv(g[3] - g[1], s * u - s / u));
  const float upper = ToSingle(CheckedDiv(g[8] - g[6], s * u * u - s));
  const float spread =
      ToSingle(static_cast<double>(upper) - CheckedDiv(g[6] - g[4], s * (1.0 - 1.0 / (u * u))));
  resultGamma = ToSingle(CheckedDiv(spread, 0.5 * s * (u * u - 1.0 / (u * u))));
  resultTheta = ToSingle(CheckedDiv(g[2] - g[0], stepLength));
  const double exercise = static_cast<double>(putCallSign) * (s - static_cast<double>(strike));
  // (The root's price is the spot up to the rounding of the lattice's price table.)
  if (code == 1001 && exercise > 0 && std::fabs(latticeValue - exercise) <= 1e-9 * exercise &&
      resultPrice == ToSingle(latticeValue)) {
    // Exercised at once: near the spot the option is worth its exercise
    // value phi (S - K), so delta is phi and gamma, vega and theta are 0.
    // The nodes two steps out may lie beyond the exercise boundary, which
    // gave a gamma of up to a fifth of the at-the-money one (a put with
    // S = 73, K = 100: 0.006) beside a delta of -1 and a vega of 0.
    resultDelta = ToSingle(static_cast<double>(putCallSign));
    resultGamma = resultVega = resultTheta = 0.0f;
    return;
  }

  // Vega: the same rows (steps and row spacing) at a volatility 1.0001 times
  // as large, only the branch probabilities moved, so that the difference
  // is the value's change with the volatility and never a change of the
  // lattice's geometry. Where the larger volatility leaves the
  // probabilities outside [0, 1] the smaller one is taken instead.
  const float v0 = resultPrice;
  const double v0_exact = latticeValue;
  const bool floored = static_cast<double>(v0) > latticeValue + 1e-12 * std::fabs(latticeValue) &&
                       ToSingle(latticeValue) != v0;
  const float sigma0 = volatility;
  const double base_stretch = stretch, base_vol = latticeVol;
  float bumped = ToSingle(static_cast<double>(sigma0) * kVegaBump);
  const auto bump_to = [&](float sigma_b) {
    stretch = base_stretch * base_vol / sigma_b;
    latticeVol = sigma_b;
    SetProbabilities(sigma_b);
    const auto in_unit = [](double p) { return p >= 0 && p <= 1; };
    return in_unit(probUp) && in_unit(probMid) && in_unit(probDown);
  };
  if (!bump_to(bumped)) {
    bumped = ToSingle(static_cast<double>(sigma0) / kVegaBump);
    bump_to(bumped);
  }
  volatility = bumped;
  try {
    RunLattice(code);
  } catch (...) {
    volatility = sigma0;
    throw;
  }
  volatility = sigma0;
  // The lattice's own values, unrounded and before the European floor: a
  // float's last digit can be more than a small vega's whole change (a call
  // worth 99.9996 with vega 0.017), and where the floor holds the value up
  // the floor's own float steps would be all the difference.
  resultVega = ToSingle(CheckedDiv(latticeValue - v0_exact,
                                   static_cast<double>(bumped) - static_cast<double>(sigma0)));
  if (floored) {
    // The value is the European one: so is its vega.
    const double phi = putCallSign;
    resultVega = ToSingle(std::fabs(phi) * numerics::EuropeanVega(underlying, strike, maturity,
                                                                  riskFree, dividendYield, sigma0));
  }
  stretch = base_stretch;
  latticeVol = base_vol;
  SetProbabilities(base_vol);
  resultPrice = v0;
}

}  // namespace stratlyn
