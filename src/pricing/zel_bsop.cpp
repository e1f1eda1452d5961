#include "pricing/zel_bsop.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <string>

#include "numerics/brent.h"
#include "pricing/key_match.h"
#include "util/format.h"
#include "util/fp_checks.h"
#include "util/services.h"

namespace stratlyn {
namespace {

constexpr const char* kInvalidMaturity = "Invalid maturity (";
constexpr const char* kInvalidUnderlying = "Invalid underlying asset price (";
constexpr const char* kInvalidStrike = "Invalid strike price (";
constexpr float kInvalidResult = -999.0f;
constexpr float kDefaultVolatility = 0.25f;
// 1/sqrt(6.283032): the density constant of gamma, vega and theta.
const double kDensityScale = 1.0 / std::sqrt(6.283032);

// The exact standard normal distribution and density, for the error checks.
double TrueCdf(double x) { return 0.5 * std::erfc(-x * 0.70710678118654752440); }
double TrueDensity(double x) { return 0.39894228040143267794 * std::exp(-0.5 * x * x); }
constexpr double kFloatStep = std::numeric_limits<float>::epsilon();

// True when a figure `record` whose exact counterpart is `exact` errs, with
// `rounding` for the float steps the comparison does not see, by no more than
// the resolved share of the figure.
// `scale` (0 for the figure itself) is the size the share is taken of when
// larger, for a figure shown among larger ones.
bool WithinShare(double record, double exact, double rounding, double scale) {
  const double error = std::fabs(record - exact) + rounding;
  return !(error > zelBSOP::kResolvedShare * std::fmax(std::fabs(exact), scale)) &&
         std::isfinite(exact);
}

}  // namespace

bool zelBSOP::IsUnresolved(const zelError& e) {
  return e.Number() == err::kInvalidCall && e.Description() == kUnresolvedValue;
}

void zelBSOP::SetOptionData(float oo, const std::string& oString) {
  if (KeyIs(oString, strType)) {
    const std::int16_t code = ToInt16(oo);
    optionType = code;
    putCallFlag = code == CallOption ? 1 : 2;
    if (code == 1 || code == 2) {
      putCallFlag = code;
    }
  } else if (KeyIs(oString, strEuroPut)) {
    putCallFlag = 2;
  } else if (KeyIs(oString, strEuroCall)) {
    putCallFlag = 1;
  } else if (KeyIs(oString, strDvl)) {
    dividendYield = oo;
  } else if (KeyIs(oString, strRiskFree)) {
    riskFree = oo;
  } else if (KeyIs(oString, strVolatility)) {
    volatility = oo;
  } else if (KeyIs(oString, strMaturity)) {
    maturity = oo;
  } else if (KeyIs(oString, strStrike)) {
    strike = oo;
  } else if (KeyIs(oString, strUnderlying)) {
    underlying = oo;
  } else if (KeyIs(oString, strOptionPrice)) {
    optionPrice = oo;
  } else if (KeyIs(oString, strPutcall)) {
    if (oo == -1.0f || oo == 2.0f) {
      putCallFlag = 2;
    } else if (oo == 1.0f || oo == 0.0f) {
      putCallFlag = 1;
    }
  }
}

void zelBSOP::SetTerms(float type, float riskFree_, float maturity_, float strike_,
                       float underlying_, float volatility_, float dividendYield_) {
  SetOptionData(type, strType);
  riskFree = riskFree_;
  maturity = maturity_;
  strike = strike_;
  underlying = underlying_;
  volatility = volatility_;
  dividendYield = dividendYield_;
}

bool zelBSOP::ReadyForFigures(float* out, int count, bool noMessage) {
  if (!(volatility > 0)) {
    volatility = kDefaultVolatility;
  }
  if (ValidInputs(noMessage)) {
    return true;
  }
  std::fill(out, out + count, kInvalidResult);
  return false;
}

void zelBSOP::GetValueAndGreeks(float out[5], bool noMessage) {
  if (!ReadyForFigures(out, 5, noMessage)) {
    return;
  }
  RequireResolved(ValueResolved());
  out[0] = CalcValue();
  GetGreeks(out + 1, true);  // the inputs were checked above
}

void zelBSOP::GetGreeks(float out[4], bool noMessage) {
  if (!ReadyForFigures(out, 4, noMessage)) {
    return;
  }
  RequireResolved(ValueResolved() && DeltaResolved() && ThetaResolved());
  out[0] = CalcDelta();
  out[1] = CalcGamma();
  out[2] = CalcVega();
  out[3] = CalcTheta();
}

bool zelBSOP::ReportInvalidInput(bool noMessage) {
  const char* prefix = nullptr;
  float shown = 0;
  if (!(maturity > 0)) {
    prefix = kInvalidMaturity;
    shown = maturity;
  } else if (!(underlying > 0)) {
    prefix = kInvalidUnderlying;
    shown = underlying;
  } else if (!(strike > 0)) {
    prefix = kInvalidStrike;
    shown = strike;
  }
  if (prefix == nullptr) {
    return true;
  }
  if (!noMessage) {
    AppDialogs().Critical(std::string(prefix) + FormatNumber(shown, kEntryFormat) + ")");
  }
  return false;
}

float zelBSOP::GetOptionData(const std::string& oString, bool noMessage) {
  if (!(volatility > 0)) {
    volatility = kDefaultVolatility;
  }
  if (!ValidInputs(noMessage)) {
    return kInvalidResult;
  }
  if (KeyIs(oString, strImpliedVolatility)) {
    if (!(optionPrice > 0)) {
      return kInvalidResult;
    }
    return ImpliedVolByBrent();
  }
  return ResolvedFigure(oString);
}

float zelBSOP::ResolvedFigure(const std::string& key) {
  const bool value = KeyIs(key, strOptionPrice);
  const bool delta = KeyIs(key, strDelta);
  const bool gamma = KeyIs(key, strGamma);
  const bool vega = KeyIs(key, strVega);
  const bool theta = KeyIs(key, strTheta);
  const bool rho = KeyIs(key, strRho);
  if (!(value || delta || gamma || vega || theta || rho)) {
    return 0.0f;
  }
  // Gamma and vega use no cumulative normal; every figure of an option
  // whose value is not resolved is refused with it.
  RequireResolved(ValueResolved() && (!delta || DeltaResolved()) && (!theta || ThetaResolved()) &&
                  (!rho || RhoResolved()));
  if (value) {
    return CalcValue();
  }
  if (delta) {
    return CalcDelta();
  }
  if (gamma) {
    return CalcGamma();
  }
  if (vega) {
    return CalcVega();
  }
  if (theta) {
    return CalcTheta();
  }
  return CalcRho();
}

bool zelBSOP::Resolved(const std::string& key, double scale) {
  if (!(volatility > 0)) {
    volatility = kDefaultVolatility;
  }
  if (!(maturity > 0 && underlying > 0 && strike > 0)) {
    return true;
  }
  if (KeyIs(key, strDelta)) {
    return DeltaResolved(scale);
  }
  if (KeyIs(key, strTheta)) {
    return ThetaResolved(scale);
  }
  if (KeyIs(key, strRho)) {
    return RhoResolved(scale);
  }
  if (KeyIs(key, strGamma) || KeyIs(key, strVega)) {
    return true;
  }
  return ValueResolved(scale);
}

void zelBSOP::RequireResolved(bool resolved) {
  if (!resolved && refuseUnresolved) {
    throw zelError(err::kInvalidCall, kUnresolvedValue);
  }
}

// ---- How far the cumulative normal takes each figure from its exact value --
//
// vbCumNorm errs by up to 1.2e-5 (at 0, where it jumps from 0.5000115 to
// 0.4999885); where d1 and d2 lie on either side of 0 a value errs by about
// (S e^(-qT) + K e^(-rT)) 1.2e-5. Each check evaluates the record's formula
// again with the exact normal at the same d1 and d2, so the difference is
// the error the approximation and the float steps of the formula make.
// `rounding` covers what the same d1 and d2 hide, a float step each: of d2
// (d1's own step moves d1 and d2 alike, which leaves the value as it is),
// of S e^(-qT) (which moves d by 1/(sigma sqrt T) of it in delta and rho),
// and of d1 where a Greek uses it alone.

bool zelBSOP::ValueResolved(double scale) {
  if (!(maturity > 0 && underlying > 0 && strike > 0) || Inputs().fwd_fault != 0) {
    return true;  // the value raises its own fault when asked
  }
  const ValueCheck v = CheckValue();
  return WithinShare(v.record, v.exact, v.rounding, scale);
}

zelBSOP::ValueCheck zelBSOP::CheckValue() {
  const InputCache& c = ForwardInputs();
  float d1, d2;
  ValueD(d1, d2);
  const double s = c.s_fwd, k = static_cast<double>(strike) * c.exp_rt;
  const double phi = putCallFlag == 1 ? 1.0 : -1.0;
  const double exact = phi * (s * TrueCdf(phi * d1) - k * TrueCdf(phi * d2));
  const double rounding =
      kFloatStep * (s * TrueCdf(phi * d1) + k * TrueDensity(d2) * std::fabs(d2));
  return {static_cast<double>(CalcValue()), exact, rounding, static_cast<double>(d1), s};
}

bool zelBSOP::DeltaResolved(double scale) {
  const InputCache& c = ForwardInputs();
  const float record = CalcDelta();
  const double sigma = volatility;
  const float d1 = ToSingle(
      CheckedDiv(c.ln_sfwd_k + riskFree * static_cast<double>(maturity), sigma * c.sqrt_t) +
      sigma * 0.5 * c.sqrt_t);
  const double phi = putCallFlag == 1 ? 1.0 : -1.0;
  const double exact = phi * c.exp_qt * TrueCdf(phi * d1);
  const double rounding =
      kFloatStep * c.exp_qt * TrueDensity(d1) * (std::fabs(d1) + 1.0 / (sigma * c.sqrt_t));
  return WithinShare(record, exact, rounding, scale);
}

bool zelBSOP::ThetaResolved(double scale) {
  const float record = CalcTheta();
  float d1, nd1;
  GammaD1(d1, nd1);
  const InputCache& c = cache_;
  const double sigma = volatility;
  const double s = underlying, k = strike, r = riskFree, q = dividendYield;
  const float d2 = ToSingle(d1 - sigma * c.sqrt_t);
  const double phi = putCallFlag == 1 ? 1.0 : -1.0;
  const double t1 = CheckedDiv(TrueDensity(d1) * s * sigma * c.exp_qt, 2.0 * c.sqrt_t);
  const double t2 = r * k * c.exp_rt * TrueCdf(phi * d2);
  const double t3 = q * s * TrueCdf(phi * d1) * c.exp_qt;
  const double exact = -t1 + phi * (t3 - t2);
  const double rounding =
      kFloatStep *
      (std::fabs(r) * k * c.exp_rt * TrueDensity(d2) * (std::fabs(d1) + std::fabs(d2)) +
       std::fabs(q) * s * c.exp_qt * TrueDensity(d1) * std::fabs(d1) +
       std::fabs(t1) * (1.0 + static_cast<double>(d1) * d1));
  return WithinShare(record, exact, rounding, scale);
}

bool zelBSOP::RhoResolved(double scale) {
  const InputCache& c = ForwardInputs();
  const float record = CalcRho();
  float d1, d2;
  ValueD(d1, d2);
  const double phi = putCallFlag == 1 ? 1.0 : -1.0;
  const double kt_disc = static_cast<double>(strike) * maturity * c.exp_rt;
  const double exact = phi * kt_disc * TrueCdf(phi * d2);
  const double rounding =
      kFloatStep * kt_disc * TrueDensity(d2) * (std::fabs(d2) + 1.0 / (volatility * c.sqrt_t));
  return WithinShare(record, exact, rounding, scale);
}

// The cache as it stands when no input changed (the common case), else refreshed.
inline const zelBSOP::InputCache& zelBSOP::Inputs() {
  const InputCache& c = cache_;
  if (c.valid && c.s == underlying && c.k == strike && c.r == riskFree && c.q == dividendYield &&
      c.t == maturity) [[likely]] {
    return c;
  }
  return RefreshInputs();
}

const zelBSOP::InputCache& zelBSOP::RefreshInputs() {
  InputCache& c = cache_;
  if (!(c.terms_valid && c.r == riskFree && c.q == dividendYield && c.t == maturity)) {
    c.terms_valid = false;
    c.valid = false;
    const double r = riskFree, q = dividendYield, t = maturity;
    // Unchecked here: a result that uses an overflowed factor fails its own
    // check, and the results that do not use it stay computable.
    c.exp_qt = std::exp(-q * t);
    c.exp_rt = std::exp(-r * t);
    c.sqrt_t = CheckedSqrt(t);
    c.r = riskFree;
    c.q = dividendYield;
    c.t = maturity;
    c.terms_valid = true;
  }
  if (c.valid && c.s == underlying && c.k == strike) {
    return c;
  }
  c.valid = false;
  ++c.generation;
  const double s = underlying, k = strike;
  c.ln_s_k = CheckedLog(CheckedDiv(s, k));
  // S' and ln(S'/K) serve value, delta and rho only; their faults (S' beyond a
  // float, or S' = 0 under an extreme yield) are raised when those ask.
  const double s_fwd = s * c.exp_qt;
  c.fwd_fault = 0;
  c.s_fwd = 0;
  c.ln_sfwd_k = 0;
  if (!(std::fabs(s_fwd) <= std::numeric_limits<float>::max())) {
    c.fwd_fault = err::kOverflow;
  } else {
    c.s_fwd = static_cast<float>(s_fwd);
    if (c.s_fwd == underlying) {
      c.ln_sfwd_k = c.ln_s_k;
    } else if (c.s_fwd > 0) {
      c.ln_sfwd_k = CheckedLog(CheckedDiv(c.s_fwd, k));
    } else {
      c.fwd_fault = err::kInvalidCall;  // logarithm of zero
    }
  }
  c.s = underlying;
  c.k = strike;
  c.valid = true;
  return c;
}

// exp(-x * x / 2) in double precision; -x*x/2 and -0.5*x*x are the same
// double, so the density of the Greeks shares these values.
double zelBSOP::HalfSquareExp(float x) {
  const float a = std::fabs(x);
  NormCache& memo = norm_;
  for (int i = 0; i < 4; ++i) {
    if (memo.exp_a[i] == a) {
      return memo.exp_v[i];
    }
  }
  const double ad = a;
  const double v = std::exp(-ad * ad / 2.0);
  memo.exp_a[memo.exp_next] = a;
  memo.exp_v[memo.exp_next] = v;
  memo.exp_next = (memo.exp_next + 1) & 3u;
  return v;
}

float zelBSOP::vbCumNorm(float x) {
  const float a = std::fabs(x);
  NormCache& memo = norm_;
  float upper = -1;  // the result for +|x|
  for (int i = 0; i < 4; ++i) {
    if (memo.a[i] == a) {
      upper = memo.n[i];
      break;
    }
  }
  if (upper < 0) {
    const float k = static_cast<float>(1.0 / (1.0 + 0.2316419 * a));
    const float n = static_cast<float>(HalfSquareExp(x) * 0.3989423);
    const double kd = k;
    const float p = static_cast<float>(
        (((1.330274 * kd - 1.821256) * kd + 1.781478) * kd - 0.356538) * kd + 0.319385);
    upper = static_cast<float>(1.0 - static_cast<double>(n) * kd * p);
    memo.a[memo.next] = a;
    memo.n[memo.next] = upper;
    memo.next = (memo.next + 1) & 3u;
  }
  return x < 0 ? static_cast<float>(1.0 - upper) : upper;
}

const zelBSOP::InputCache& zelBSOP::ForwardInputs() {
  const InputCache& c = Inputs();
  if (c.fwd_fault != 0) {
    [[unlikely]] throw zelError(c.fwd_fault);
  }
  return c;
}

void zelBSOP::ValueD(float& d1, float& d2) {
  const InputCache& c = ForwardInputs();
  const double sigma = volatility;
  const double sig_sqrt_t = sigma * c.sqrt_t;
  const float numerator = ToSingle(c.ln_sfwd_k + (riskFree + sigma * sigma / 2.0) * maturity);
  d1 = ToSingle(CheckedDiv(numerator, sig_sqrt_t));
  d2 = ToSingle(d1 - sig_sqrt_t);
}

float zelBSOP::CalcValue() {
  const InputCache& c = ForwardInputs();
  float d1, d2;
  ValueD(d1, d2);
  const double n1 = vbCumNorm(d1);
  const double n2 = vbCumNorm(d2);
  const double k_disc = static_cast<double>(strike) * c.exp_rt;
  const double value =
      putCallFlag == 1 ? c.s_fwd * n1 - k_disc * n2 : c.s_fwd * (n1 - 1.0) - k_disc * (n2 - 1.0);
  const float v = ToSingle(value);
  return v < 0 ? 0.0f : v;
}

float zelBSOP::CalcDelta() {
  const InputCache& c = ForwardInputs();
  const double sigma = volatility;
  const float d1 = ToSingle(
      CheckedDiv(c.ln_sfwd_k + riskFree * static_cast<double>(maturity), sigma * c.sqrt_t) +
      sigma * 0.5 * c.sqrt_t);
  const double n1 = vbCumNorm(d1);
  return ToSingle(putCallFlag == 1 ? c.exp_qt * n1 : c.exp_qt * (n1 - 1.0));
}

void zelBSOP::GammaD1(float& d1, float& nd1) {
  const InputCache& c = Inputs();
  DensityCache& memo = density_;
  if (!(memo.valid && memo.generation == c.generation && memo.sigma == volatility)) {
    memo.valid = false;
    const double sigma = volatility;
    const float numerator =
        ToSingle(c.ln_s_k +
                 (static_cast<double>(riskFree) - dividendYield + sigma * sigma / 2.0) * maturity);
    memo.d1 = ToSingle(CheckedDiv(numerator, sigma * c.sqrt_t));
    memo.nd1 = ToSingle(kDensityScale * HalfSquareExp(memo.d1));
    memo.sigma = volatility;
    memo.generation = c.generation;
    memo.valid = true;
  }
  d1 = memo.d1;
  nd1 = memo.nd1;
}

float zelBSOP::CalcGamma() {
  float d1, nd1;
  GammaD1(d1, nd1);
  const InputCache& c = cache_;
  return ToSingle(
      CheckedDiv(nd1 * c.exp_qt, static_cast<double>(volatility) * underlying * c.sqrt_t));
}

float zelBSOP::CalcVega() {
  float d1, nd1;
  GammaD1(d1, nd1);
  const InputCache& c = cache_;
  return ToSingle(nd1 * c.exp_qt * underlying * c.sqrt_t);
}

float zelBSOP::CalcTheta() {
  float d1, nd1;
  GammaD1(d1, nd1);
  const InputCache& c = cache_;
  const double sigma = volatility;
  const double s = underlying, k = strike, r = riskFree, q = dividendYield;
  const float d2 = ToSingle(d1 - sigma * c.sqrt_t);
  const float t1 = ToSingle(CheckedDiv(nd1 * s * sigma * c.exp_qt, 2.0 * c.sqrt_t));
  if (putCallFlag == 1) {
    const float t2 = ToSingle(r * k * c.exp_rt * vbCumNorm(d2));
    const float t3 = ToSingle(q * s * vbCumNorm(d1) * c.exp_qt);
    return ToSingle(-static_cast<double>(t1) + t3 - t2);
  }
  const float t2 = ToSingle(r * k * c.exp_rt * vbCumNorm(-d2));
  const float t3 = ToSingle(q * s * vbCumNorm(-d1) * c.exp_qt);
  return ToSingle(-static_cast<double>(t1) - t3 + t2);
}

float zelBSOP::CalcRho() {
  const InputCache& c = ForwardInputs();
  float d1, d2;
  ValueD(d1, d2);
  const double kt_disc = static_cast<double>(strike) * maturity * c.exp_rt;
  if (putCallFlag == 1) {
    return ToSingle(kt_disc * vbCumNorm(d2));
  }
  return ToSingle(-kt_disc * vbCumNorm(-d2));
}

// ---- Implied volatility: Brent's method in single precision -------------------

// The search leaves the volatility at the root it returns, so that the value
// and Greeks read next are those at the root, never those of the last trial
// (which may be the far end of the bracket). A price at the bound that
// volatility 0.0001 reaches (a call's discounted intrinsic value) has that
// volatility as its root where the price pins it down; a price beyond what
// [0.0001, 10] reaches, or one that a band of volatilities wider than the
// resolved share gives alike, is -999 with the volatility at 10.
float zelBSOP::ImpliedVolByBrent() {
  float root = BrentRoot(putCallFlag, 0.0001f, 10.0f, 0.000001f);
  if (root == kInvalidResult) {
    // A price that the value at 0.0001 misses by no more than the float
    // steps of the two is that bound itself (a deep in-the-money option
    // with almost no time value).
    const float at_least = 0.0001f;
    const float gap = PriceGap(at_least);
    if (std::fabs(gap) <= 4 * std::numeric_limits<float>::epsilon() * optionPrice) {
      root = at_least;
    } else {
      volatility = 10.0f;  // where the failed bracket test leaves it
    }
  }
  if (root > 0) {
    volatility = root;
    const float repriced = refuseUnresolved ? CalcValue() : optionPrice;
    const double slack = (kResolvedShare + 4 * std::numeric_limits<float>::epsilon()) *
                         static_cast<double>(optionPrice);
    if (refuseUnresolved &&
        (!ValueResolved() || !(std::fabs(static_cast<double>(repriced) - optionPrice) <= slack) ||
         !VolatilityResolved())) {
      // The value the root reprices is below what the closed form
      // resolves, or its float steps are coarser than the price (a value
      // of a few ten-thousandths on a spot of hundreds), or the time value
      // is so thin a sliver of the price that the price does not pin the
      // volatility down (deep in the money): no volatility it
      // can vouch for gives the price.
      volatility = 10.0f;
      root = kInvalidResult;
    }
  }
  return root;
}

// True when the value's error at the present volatility (the cumulative
// normal's, the float steps of d2 and S e^(-qT), and the market price's own
// float step) moves the volatility that gives the price by no more than
// kResolvedShare of it. Deep in or out of the money, where the time value
// is a sliver of the price, a price reprices within the share over a wide
// band of volatilities; the root Brent's method stops at is then arbitrary.
bool zelBSOP::VolatilityResolved() {
  const ValueCheck v = CheckValue();
  const double uncertainty = std::fabs(v.record - v.exact) + v.rounding +
                             kFloatStep * std::fabs(static_cast<double>(optionPrice));
  const double vega = v.s_fwd * TrueDensity(v.d1) * cache_.sqrt_t;
  return uncertainty <= kResolvedShare * static_cast<double>(volatility) * vega;
}

float zelBSOP::PriceGap(float sigma) {
  volatility = sigma;
  return CalcValue() - optionPrice;
}

float zelBSOP::BrentRoot(int /*flag*/, float x1, float x2, float tol) {
  return BrentSearch<float>([this](float sigma) { return PriceGap(sigma); }, x1, x2, tol,
                            kInvalidResult, BrentStall::kReturnValue, 0.0f);
}

}  // namespace stratlyn
