// The closed form's figures are within zelBSOP::kResolvedShare of the exact
// Black-Scholes-Merton figures (QuantLib's BlackCalculator, the core of its
// analytic European engine) or refused; and refused only where the record's
// cumulative normal really takes them that far off.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <optional>
#include <random>
#include <string>

#include "pricing/zel_bsop.h"
#include "support/fake_services.h"
#include "util/zel_error.h"

#ifdef STRATLYN_HAVE_QUANTLIB
#include <ql/pricingengines/blackcalculator.hpp>
#endif

namespace stratlyn {
namespace {

using testing::FakeServices;

double ExactCdf(double x) { return 0.5 * std::erfc(-x / std::sqrt(2.0)); }

// The figure under `key`, or nothing when the record refuses it as
// unresolved (any other error fails the test).
std::optional<float> Figure(zelBSOP& o, const std::string& key) {
  try {
    return o.GetOptionData(key, true);
  } catch (const zelError& e) {
    EXPECT_TRUE(zelBSOP::IsUnresolved(e)) << e.Description();
    return std::nullopt;
  }
}

TEST(ZelBsopResolution, CumulativeNormalErrsByAtMostTwelveMillionths) {
  zelBSOP o;
  double worst = 0, at = 0;
  for (int i = -800000; i <= 800000; ++i) {
    const float x = static_cast<float>(i * 1e-5);
    const double e = std::fabs(o.vbCumNorm(x) - ExactCdf(x));
    if (e > worst) {
      worst = e;
      at = x;
    }
  }
  EXPECT_LT(worst, 1.2e-5);
  EXPECT_GT(worst, 1.1e-5);  // N(0) reads 0.4999885
  EXPECT_LT(std::fabs(at), 0.05);
}

TEST(ZelBsopResolution, FoundCasesAreRefusedWithTheMessage) {
  FakeServices fakes;
  // An at-the-money put with vol 0.0001 would read 0.00168 against 0.00399.
  zelBSOP put;
  put.SetTerms(2, 0.0f, 1.0f, 100.0f, 100.0f, 0.0001f, 0.0f);
  try {
    put.GetOptionData(put.strOptionPrice, true);
    ADD_FAILURE() << "the value was not refused";
  } catch (const zelError& e) {
    EXPECT_TRUE(zelBSOP::IsUnresolved(e));
    EXPECT_EQ(e.Description(), zelBSOP::kUnresolvedValue);
  }
  float all[5] = {};
  EXPECT_THROW(put.GetValueAndGreeks(all, true), zelError);
  put.refuseUnresolved = false;
  const float raw = put.GetOptionData(put.strOptionPrice, true);
  EXPECT_GT(std::fabs(raw - 0.0039894) / 0.0039894, 0.5);  // the figure that was shown

  // One second before the close, a market price of 0.015 solved to 1.45
  // (true 1.13): the implied volatility is refused as any unreachable price.
  zelBSOP call;
  call.SetTerms(1, 0.04f, 3.17e-8f, 187.5f, 187.5f, 0.3f, 0.0f);
  call.SetOptionData(0.015f, call.strOptionPrice);
  EXPECT_EQ(call.GetOptionData(call.strImpliedVolatility, true), -999.0f);
  EXPECT_EQ(fakes.dialogs.Count(), 0u);

  // The record's example keeps its figures (call 3.1273, put 1.8928).
  zelBSOP example;
  example.SetTerms(1, 0.1f, 0.25f, 50.0f, 50.0f, 0.25f, 0.0f);
  float figures[5] = {};
  example.GetValueAndGreeks(figures, true);
  EXPECT_NEAR(figures[0], 3.1273f, 5e-5);
  example.SetOptionData(2, example.strType);
  EXPECT_NEAR(example.GetOptionData(example.strOptionPrice, true), 1.8928f, 5e-5);
}

#ifdef STRATLYN_HAVE_QUANTLIB
namespace ql = QuantLib;

struct Exact {
  double value, delta, gamma, vega, theta, rho;
};

Exact ExactFigures(bool call, double s, double k, double t, double r, double q, double sigma) {
  const double forward = s * std::exp((r - q) * t);
  const double discount = std::exp(-r * t);
  ql::BlackCalculator bc(call ? ql::Option::Call : ql::Option::Put, k, forward,
                         sigma * std::sqrt(t), discount);
  return {bc.value(), bc.delta(s), bc.gamma(s), bc.vega(t), bc.theta(s, t), bc.rho(t)};
}

// The float steps the record's own check allows for beyond the error it
// measures (a step of S e^(-qT), of d2, and of d1 where a Greek uses it
// alone), from the exact d1 and d2: a refusal may rest on them.
double Allowance(int figure, bool call, double s, double k, double t, double r, double q,
                 double sigma) {
  const double eps = std::numeric_limits<float>::epsilon();
  const double sd = sigma * std::sqrt(t);
  const double d1 = (std::log(s / k) + (r - q + 0.5 * sigma * sigma) * t) / sd, d2 = d1 - sd;
  const auto n = [](double x) { return std::exp(-0.5 * x * x) / std::sqrt(2 * M_PI); };
  const double fwd = s * std::exp(-q * t), pv = k * std::exp(-r * t), phi = call ? 1 : -1;
  switch (figure) {
    case 0:
      return eps * (fwd * ExactCdf(phi * d1) + pv * n(d2) * std::fabs(d2));
    case 1:
      return eps * std::exp(-q * t) * n(d1) * (std::fabs(d1) + 1 / sd);
    case 4:
      return eps * (std::fabs(r) * pv * n(d2) * (std::fabs(d1) + std::fabs(d2)) +
                    std::fabs(q) * fwd * n(d1) * std::fabs(d1) +
                    fwd * n(d1) * sigma / (2 * std::sqrt(t)) * (1 + d1 * d1));
    case 5:
      return eps * pv * t * n(d2) * (std::fabs(d2) + 1 / sd);
    default:
      return 0;
  }
}

// Thousands of options from seconds to years, at the money and away, at
// volatilities from 0.0001 to 2: every figure given is within the share of
// the exact one; a figure is refused only where the record's own figure
// (asked for with refuseUnresolved off), with the float steps the check
// allows for, is at least half the share away.
TEST(ZelBsopResolution, EveryFigureIsWithinTheShareOrRefused) {
  FakeServices fakes;
  std::mt19937 rng(20261209);
  std::uniform_real_distribution<double> unit(0.0, 1.0);
  std::normal_distribution<double> moneyness(0.0, 0.25);
  const double share = zelBSOP::kResolvedShare;
  int refused = 0, given = 0, spurious = 0;
  const char* names[6] = {"value", "delta", "gamma", "vega", "theta", "rho"};
  for (int i = 0; i < 20000; ++i) {
    const bool call = unit(rng) < 0.5;
    const float s = static_cast<float>(std::exp(std::log(1.0) + unit(rng) * std::log(1000.0)));
    const float k = static_cast<float>(s * std::exp(moneyness(rng)));
    const float t = static_cast<float>(std::exp(std::log(1e-8) + unit(rng) * std::log(5e8)));
    const float sigma = static_cast<float>(std::exp(std::log(1e-4) + unit(rng) * std::log(2e4)));
    const float r = static_cast<float>(-0.02 + 0.12 * unit(rng));
    const float q = static_cast<float>(0.08 * unit(rng));
    const Exact x = ExactFigures(call, s, k, t, r, q, sigma);
    const double exact[6] = {x.value, x.delta, x.gamma, x.vega, x.theta, x.rho};
    if (!(x.value > 1e-30)) {
      continue;  // beyond double precision for the reference itself
    }
    zelBSOP o, raw;
    for (zelBSOP* p : {&o, &raw}) {
      p->SetTerms(call ? 1.0f : 2.0f, r, t, k, s, sigma, q);
    }
    raw.refuseUnresolved = false;
    const std::string keys[6] = {o.strOptionPrice, o.strDelta, o.strGamma,
                                 o.strVega,        o.strTheta, o.strRho};
    const bool value_refused = !Figure(o, o.strOptionPrice).has_value();
    for (int f = 0; f < 6; ++f) {
      const std::optional<float> got = Figure(o, keys[f]);
      const float plain = raw.GetOptionData(keys[f], true);
      const std::string where = std::string(names[f]) + (call ? " call" : " put") +
                                " S=" + std::to_string(s) + " K=" + std::to_string(k) +
                                " T=" + std::to_string(t) + " vol=" + std::to_string(sigma) +
                                " r=" + std::to_string(r) + " q=" + std::to_string(q);
      if (got) {
        ++given;
        EXPECT_FALSE(value_refused) << where;
        EXPECT_EQ(*got, plain) << where;
        // Single-precision figures hold nothing below about 1e-38.
        EXPECT_LE(std::fabs(*got - exact[f]), share * std::fabs(exact[f]) * (1 + 1e-6) + 1e-37)
            << where << " record " << *got << " exact " << exact[f];
      } else {
        ++refused;
        // The value's refusal covers every figure; a figure refused on its
        // own is at least half the share off as the record has it.
        if (f == 0 || !value_refused) {
          const bool far = std::fabs(plain - exact[f]) + Allowance(f, call, s, k, t, r, q, sigma) >=
                           0.5 * share * std::fabs(exact[f]);
          spurious += far ? 0 : 1;
          EXPECT_TRUE(far) << where << " record " << plain << " exact " << exact[f];
        }
      }
    }
  }
  // Both sides of the rule occur in the sample.
  EXPECT_GT(refused, 2000);
  EXPECT_GT(given, 50000);
  EXPECT_EQ(spurious, 0);
}

// After a solve the value at the volatility found reprices the market
// price within the share, or the price is refused; never a root whose value
// the closed form cannot resolve.
TEST(ZelBsopResolution, ImpliedVolatilityRepricesOrIsRefused) {
  FakeServices fakes;
  std::mt19937 rng(7);
  std::uniform_real_distribution<double> unit(0.0, 1.0);
  int solved = 0, refused = 0;
  for (int i = 0; i < 3000; ++i) {
    const bool call = unit(rng) < 0.5;
    const float s = 187.5f;
    const float k = static_cast<float>(s * std::exp(0.2 * (unit(rng) - 0.5)));
    const float t = static_cast<float>(std::exp(std::log(1e-8) + unit(rng) * std::log(1e8)));
    const double sigma = 0.05 + 1.5 * unit(rng);
    const float r = 0.04f;
    const double market = ExactFigures(call, s, k, t, r, 0, sigma).value;
    if (!(market > 1e-6)) {
      continue;
    }
    zelBSOP o;
    o.SetTerms(call ? 1.0f : 2.0f, r, t, k, s, 0.3f, 0.0f);
    o.SetOptionData(static_cast<float>(market), o.strOptionPrice);
    const float v = o.GetOptionData(o.strImpliedVolatility, true);
    if (v == -999.0f) {
      ++refused;
      continue;
    }
    ++solved;
    ASSERT_GT(v, 0.0f);
    const double at_root = ExactFigures(call, s, k, t, r, 0, v).value;
    EXPECT_NEAR(at_root, market, 2 * zelBSOP::kResolvedShare * market + 1e-6)
        << "K=" << k << " T=" << t << " vol=" << sigma << " found " << v;
    EXPECT_NEAR(o.GetOptionData(o.strOptionPrice, true), market,
                zelBSOP::kResolvedShare * market + 1e-6);
  }
  EXPECT_GT(solved, 1000);
  EXPECT_GT(refused, 50);
}
// The volatility that gives the float market price exactly, by bisection on
// the exact value over [1e-6, 20]; nothing when the price lies outside.
std::optional<double> ExactRoot(bool call, double s, double k, double t, double r, double q,
                                double price) {
  double lo = 1e-6, hi = 20;
  const auto gap = [&](double v) { return ExactFigures(call, s, k, t, r, q, v).value - price; };
  if (gap(lo) > 0 || gap(hi) < 0) {
    return std::nullopt;
  }
  for (int i = 0; i < 200; ++i) {
    const double mid = 0.5 * (lo + hi);
    (gap(mid) < 0 ? lo : hi) = mid;
  }
  return 0.5 * (lo + hi);
}

// Deep in and out of the money the time value is a sliver of the price, and
// a price reprices within the share over a wide band of volatilities: the
// volatility given is within the share of the one that gives the price
// exactly, or refused. (Once a call of spot 100, strike 50, a quarter, 5 %,
// priced at volatility 0.3 solved to 0.274 against 0.301, and a put of spot
// 0.196, strike 0.796, under three days, priced at 3.36 read as the least
// volatility, 0.0001.)
TEST(ZelBsopResolution, ImpliedVolatilityIsWithinTheShareOfTheExactRootOrRefused) {
  FakeServices fakes;
  std::mt19937 rng(20261209);
  std::uniform_real_distribution<double> unit(0.0, 1.0);
  int solved = 0, refused = 0;
  for (int i = 0; i < 1500; ++i) {
    const bool call = unit(rng) < 0.5;
    const float s = static_cast<float>(std::exp(std::log(0.01) + unit(rng) * std::log(1e7)));
    const float k = static_cast<float>(s * std::exp(1.5 * (unit(rng) - 0.5)));
    const float t = static_cast<float>(std::exp(std::log(1e-4) + unit(rng) * std::log(3e5)));
    const double sigma = 0.02 + 0.8 * unit(rng);
    const float r = static_cast<float>(-0.02 + 0.12 * unit(rng));
    const float q = static_cast<float>(0.06 * unit(rng));
    const float market = static_cast<float>(ExactFigures(call, s, k, t, r, q, sigma).value);
    const std::optional<double> root = ExactRoot(call, s, k, t, r, q, market);
    if (!(market > 1e-6) || !root) {
      continue;
    }
    zelBSOP o;
    o.SetTerms(call ? 1.0f : 2.0f, r, t, k, s, 0.3f, q);
    o.SetOptionData(market, o.strOptionPrice);
    const float v = o.GetOptionData(o.strImpliedVolatility, true);
    if (v == -999.0f) {
      ++refused;
      continue;
    }
    ++solved;
    EXPECT_NEAR(v, *root, zelBSOP::kResolvedShare * *root + 2e-6)
        << (call ? "call" : "put") << " S=" << s << " K=" << k << " T=" << t << " r=" << r
        << " q=" << q << " price " << market << " (vol " << sigma << ")";
  }
  EXPECT_GT(solved, 500);
  EXPECT_GT(refused, 20);
  EXPECT_EQ(fakes.dialogs.Count(), 0u);
}
#endif

}  // namespace
}  // namespace stratlyn
