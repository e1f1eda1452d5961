#include "pricing/zel_bsop.h"

#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <random>
#include <utility>

#include "support/fake_services.h"
#include "util/zel_error.h"

namespace stratlyn {
namespace {

using testing::FakeServices;

// The initial terms (K = 50, sigma = 0.25, r = 0.1, T = 0.25, q = 0) at S = 50.
zelBSOP Fresh(float s = 50.0f) {
  zelBSOP o;
  o.SetOptionData(s, o.strUnderlying);
  return o;
}

TEST(ZelBsopTest, CumulativeNormalUsesItsOwnCoefficients) {
  zelBSOP o;
  // To seven digits.
  EXPECT_NEAR(o.vbCumNorm(0.0f), 0.4999885, 5e-8);
  EXPECT_NEAR(o.vbCumNorm(1.0f), 0.8413399, 5e-8);
  EXPECT_NEAR(o.vbCumNorm(-1.0f), 0.1586601, 5e-8);
  for (float x : {0.3f, 1.7f, 2.5f, 4.0f}) {
    EXPECT_EQ(o.vbCumNorm(-x), static_cast<float>(1.0 - o.vbCumNorm(x))) << x;
  }
}

TEST(ZelBsopTest, FreshRecordPricesAPutUntilToldOtherwise) {
  FakeServices fakes;
  zelBSOP o = Fresh();
  EXPECT_NEAR(o.GetOptionData(o.strOptionPrice), 1.8928f, 5e-5);
  o.SetOptionData(0, o.strEuroCall);
  EXPECT_NEAR(o.GetOptionData(o.strOptionPrice), 3.1273f, 5e-5);
  o.SetOptionData(0, o.strEuroPut);
  EXPECT_NEAR(o.GetOptionData(o.strOptionPrice), 1.8928f, 5e-5);
  EXPECT_EQ(o.GetOptionData(o.strPrice), 0.0f);
  EXPECT_EQ(fakes.dialogs.Count(), 0u);
}

TEST(ZelBsopTest, TypeAndPutcallKeysFollowTheirRules) {
  const float call = 3.1273f, put = 1.8928f;
  struct Case {
    float type;
    float expected;
  };
  for (const Case& c : {Case{5, call}, Case{4, put}, Case{1, call}, Case{2, put}, Case{-1, put},
                        Case{0, put}, Case{1.5f, put}, Case{2.5f, put}, Case{0.5f, put}}) {
    zelBSOP o = Fresh();
    o.SetOptionData(c.type, o.strType);
    EXPECT_NEAR(o.GetOptionData(o.strOptionPrice), c.expected, 5e-5) << "type " << c.type;
  }
  zelBSOP o = Fresh();
  o.SetOptionData(0, o.strPutcall);  // call
  EXPECT_NEAR(o.GetOptionData(o.strOptionPrice), call, 5e-5);
  o.SetOptionData(0.5f, o.strPutcall);  // unchanged
  EXPECT_NEAR(o.GetOptionData(o.strOptionPrice), call, 5e-5);
  o.SetOptionData(-1, o.strPutcall);
  EXPECT_NEAR(o.GetOptionData(o.strOptionPrice), put, 5e-5);
  o.SetOptionData(1, o.strPutcall);
  EXPECT_NEAR(o.GetOptionData(o.strOptionPrice), call, 5e-5);
  // Keys are case-sensitive: "Strike" changes nothing.
  o.SetOptionData(70, "Strike");
  EXPECT_NEAR(o.GetOptionData(o.strOptionPrice), call, 5e-5);
}

TEST(ZelBsopTest, TypeOutsideSixteenBitsOverflowsAndStoresNothing) {
  zelBSOP o = Fresh();
  o.SetOptionData(1, o.strType);
  try {
    o.SetOptionData(40000.0f, o.strType);
    FAIL() << "no overflow";
  } catch (const zelError& e) {
    EXPECT_EQ(e.Number(), err::kOverflow);
  }
  EXPECT_THROW(o.SetOptionData(-32769.0f, o.strType), zelError);
  EXPECT_NEAR(o.GetOptionData(o.strOptionPrice, true), 3.1273f, 5e-5);  // still a call
}

TEST(ZelBsopTest, InvalidInputsShowOneMessageAndGiveMinus999) {
  FakeServices fakes;
  zelBSOP o;  // underlying never set
  EXPECT_EQ(o.GetOptionData(o.strOptionPrice), -999.0f);
  ASSERT_EQ(fakes.dialogs.Count(), 1u);
  EXPECT_EQ(fakes.dialogs.Last().text, "Invalid underlying asset price (0.0000)");
  EXPECT_EQ(fakes.dialogs.Last().icon, MsgIcon::Critical);
  EXPECT_EQ(fakes.dialogs.Last().buttons, MsgButtons::Ok);
  EXPECT_EQ(fakes.dialogs.Last().title, "Quorvale");

  o.SetOptionData(50, o.strUnderlying);
  o.SetOptionData(0, o.strMaturity);
  o.SetOptionData(-3, o.strStrike);
  EXPECT_EQ(o.GetOptionData(o.strDelta, true), -999.0f);
  EXPECT_EQ(fakes.dialogs.Count(), 1u);  // suppressed
  EXPECT_EQ(o.GetOptionData(o.strDelta), -999.0f);
  EXPECT_EQ(fakes.dialogs.LastText(), "Invalid maturity (0.0000)");  // maturity first
  o.SetOptionData(-0.5f, o.strMaturity);
  o.SetOptionData(0.1f, o.strOptionPrice);
  EXPECT_EQ(o.GetOptionData(o.strImpliedVolatility), -999.0f);
  EXPECT_EQ(fakes.dialogs.LastText(), "Invalid maturity (-0.5000)");
  o.SetOptionData(0.25f, o.strMaturity);
  EXPECT_EQ(o.GetOptionData(o.strGamma), -999.0f);
  EXPECT_EQ(fakes.dialogs.LastText(), "Invalid strike price (-3.0000)");
  EXPECT_EQ(fakes.dialogs.Count(), 4u);
}

TEST(ZelBsopTest, NonPositiveVolatilityBecomesTheDefaultAndStays) {
  zelBSOP o = Fresh();
  o.SetOptionData(1, o.strType);
  const float at_default = o.GetOptionData(o.strOptionPrice);
  o.SetOptionData(0, o.strVolatility);
  EXPECT_EQ(o.GetOptionData(o.strOptionPrice), at_default);
  o.SetOptionData(-0.4f, o.strVolatility);
  EXPECT_EQ(o.GetOptionData(o.strVega), o.GetOptionData(o.strVega));
  // The default was kept: a market price gives an implied volatility whose
  // search starts from the object's state, and vega matches the default's.
  zelBSOP ref = Fresh();
  ref.SetOptionData(1, ref.strType);
  EXPECT_EQ(o.GetOptionData(o.strVega), ref.GetOptionData(ref.strVega));
}

TEST(ZelBsopTest, DeepOutOfTheMoneyValueIsFlooredAtZero) {
  zelBSOP o = Fresh(10.0f);
  o.SetOptionData(1, o.strType);
  o.SetOptionData(0.05f, o.strVolatility);
  EXPECT_EQ(o.GetOptionData(o.strOptionPrice), 0.0f);
}

TEST(ZelBsopTest, GreeksAgreeWithFiniteDifferencesAndParity) {
  zelBSOP call, put;
  for (zelBSOP* o : {&call, &put}) {
    o->SetOptionData(52, o->strUnderlying);
    o->SetOptionData(50, o->strStrike);
    o->SetOptionData(0.3f, o->strVolatility);
    o->SetOptionData(0.05f, o->strRiskFree);
    o->SetOptionData(0.02f, o->strDvl);
    o->SetOptionData(0.5f, o->strMaturity);
  }
  call.SetOptionData(1, call.strType);
  put.SetOptionData(2, put.strType);
  const double s = 52, k = 50, r = 0.05, q = 0.02, t = 0.5;
  const double s_fwd = s * std::exp(-q * t), k_disc = k * std::exp(-r * t);
  EXPECT_NEAR(call.GetOptionData("opr") - put.GetOptionData("opr"), s_fwd - k_disc, 2e-5);
  EXPECT_NEAR(call.GetOptionData("delta") - put.GetOptionData("delta"), std::exp(-q * t), 1e-6);
  EXPECT_NEAR(call.GetOptionData("rho") - put.GetOptionData("rho"), k * t * std::exp(-r * t), 2e-5);
  EXPECT_EQ(call.GetOptionData("gamma"), put.GetOptionData("gamma"));
  EXPECT_EQ(call.GetOptionData("vega"), put.GetOptionData("vega"));

  // Delta and gamma against central differences of the record's own value.
  const auto value_at = [&](float spot) {
    zelBSOP o = call;
    o.SetOptionData(spot, o.strUnderlying);
    return static_cast<double>(o.GetOptionData("opr"));
  };
  EXPECT_NEAR(call.GetOptionData("delta"), (value_at(52.5f) - value_at(51.5f)) / 1.0, 2e-3);
  EXPECT_NEAR(call.GetOptionData("gamma"), (value_at(53) - 2 * value_at(52) + value_at(51)) / 1.0,
              2e-3);
  // Theta per year is negative for this call, and of the size of a year's decay.
  EXPECT_LT(call.GetOptionData("theta"), 0.0f);
  EXPECT_GT(call.GetOptionData("theta"), -10.0f);
}

// The batch's calls for a whole row give what the keys give one by one, bit
// for bit, row after row on one record (its caches carried along), with the
// same message for invalid inputs and the same faults.
TEST(ZelBsopTest, WholeRowCallsGiveWhatTheKeysGive) {
  FakeServices fakes;
  std::mt19937 rng(7);
  std::uniform_real_distribution<float> u(0.0f, 1.0f);
  zelBSOP whole, keyed;
  // Figures as they come, refused or not: the two ways of asking agree.
  whole.refuseUnresolved = keyed.refuseUnresolved = false;
  for (int i = 0; i < 4000; ++i) {
    // Now and then a term repeats (the caches hit), a volatility is not
    // positive (the default is taken) or the maturity is invalid.
    const float type = static_cast<float>(1 + i % 5);
    const float r = u(rng) * 0.1f, q = i % 3 ? u(rng) * 0.05f : 0.0f;
    const float t = i % 97 == 0 ? 0.0f : 0.02f + u(rng) * 3.0f;
    const float k = 20 + u(rng) * 100, s = i % 7 ? 20 + u(rng) * 100 : k;
    const float vol = i % 11 == 0 ? -0.1f : 0.05f + u(rng) * 0.8f;
    whole.SetTerms(type, r, t, k, s, vol, q);
    for (const auto& [value, key] : {std::pair{type, keyed.strType},
                                     {r, keyed.strRiskFree},
                                     {t, keyed.strMaturity},
                                     {k, keyed.strStrike},
                                     {s, keyed.strUnderlying},
                                     {vol, keyed.strVolatility},
                                     {q, keyed.strDvl}}) {
      keyed.SetOptionData(value, key);
    }
    float figures[5];
    const size_t boxes = fakes.dialogs.Count();
    whole.GetValueAndGreeks(figures);
    const size_t whole_boxes = fakes.dialogs.Count() - boxes;
    const float expected[5] = {
        keyed.GetOptionData(keyed.strOptionPrice), keyed.GetOptionData(keyed.strDelta, true),
        keyed.GetOptionData(keyed.strGamma, true), keyed.GetOptionData(keyed.strVega, true),
        keyed.GetOptionData(keyed.strTheta, true)};
    EXPECT_EQ(fakes.dialogs.Count() - boxes, 2 * whole_boxes);
    EXPECT_EQ(whole_boxes, t == 0.0f ? 1u : 0u);
    for (int j = 0; j < 5; ++j) {
      ASSERT_EQ(std::bit_cast<uint32_t>(figures[j]), std::bit_cast<uint32_t>(expected[j]))
          << "row " << i << ", figure " << j;
    }
    // At another volatility, as after an implied-volatility search.
    const float other = 0.1f + u(rng);
    whole.SetOptionData(other, whole.strVolatility);
    keyed.SetOptionData(other, keyed.strVolatility);
    float greeks[4];
    whole.GetGreeks(greeks);
    const float expected_greeks[4] = {
        keyed.GetOptionData(keyed.strDelta, true), keyed.GetOptionData(keyed.strGamma, true),
        keyed.GetOptionData(keyed.strVega, true), keyed.GetOptionData(keyed.strTheta, true)};
    for (int j = 0; j < 4; ++j) {
      ASSERT_EQ(std::bit_cast<uint32_t>(greeks[j]), std::bit_cast<uint32_t>(expected_greeks[j]))
          << "row " << i << ", Greek " << j;
    }
  }
  // A fault: zelError 6 from a type beyond 16 bits, nothing stored.
  EXPECT_THROW(whole.SetTerms(1e6f, 0.5f, 1, 1, 1, 1, 1), zelError);
  float figures[5];
  whole.GetValueAndGreeks(figures);
  EXPECT_EQ(figures[0], keyed.GetOptionData(keyed.strOptionPrice));
}

TEST(ZelBsopTest, ImpliedVolatilityRoundTripsAndReportsUnreachablePrices) {
  FakeServices fakes;
  zelBSOP o = Fresh();
  o.SetOptionData(1, o.strType);
  o.SetOptionData(0.3f, o.strVolatility);
  const float price = o.GetOptionData(o.strOptionPrice);
  EXPECT_NEAR(price, 3.6105f, 5e-5);
  o.SetOptionData(0.25f, o.strVolatility);
  o.SetOptionData(price, o.strOptionPrice);
  EXPECT_NEAR(o.GetOptionData(o.strImpliedVolatility), 0.3f, 1e-6);
  // The volatility left behind lies within 2 x tol1 (about 1e-6) of the root.
  EXPECT_NEAR(o.GetOptionData(o.strOptionPrice), price, 1.2e-5);

  // Below the value at sigma = 0.0001: no bracket, -999, volatility left at 10.
  zelBSOP low = Fresh(60.0f);
  low.SetOptionData(1, low.strType);
  low.SetOptionData(0.01f, low.strOptionPrice);
  EXPECT_EQ(low.GetOptionData(low.strImpliedVolatility), -999.0f);
  zelBSOP at_ten = Fresh(60.0f);
  at_ten.SetOptionData(1, at_ten.strType);
  at_ten.SetOptionData(10.0f, at_ten.strVolatility);
  EXPECT_EQ(low.GetOptionData(low.strOptionPrice), at_ten.GetOptionData(at_ten.strOptionPrice));

  // Above the value at sigma = 10 (the call is worth less than S).
  o.SetOptionData(55.0f, o.strOptionPrice);
  EXPECT_EQ(o.GetOptionData(o.strImpliedVolatility), -999.0f);

  // No market price: -999 at once, volatility untouched.
  zelBSOP none = Fresh();
  none.SetOptionData(1, none.strType);
  none.SetOptionData(0.3f, none.strVolatility);
  EXPECT_EQ(none.GetOptionData(none.strImpliedVolatility), -999.0f);
  EXPECT_NEAR(none.GetOptionData(none.strOptionPrice), 3.6105f, 5e-5);
  EXPECT_EQ(fakes.dialogs.Count(), 0u);
}

TEST(ZelBsopTest, FloatingPointFaultsBecomeRunTimeErrors) {
  zelBSOP o = Fresh();
  o.SetOptionData(1, o.strType);
  o.SetOptionData(1e6f, o.strDvl);  // S' underflows to zero: log of zero
  try {
    o.GetOptionData(o.strOptionPrice, true);
    FAIL() << "no error";
  } catch (const zelError& e) {
    EXPECT_EQ(e.Number(), err::kInvalidCall);
  }
  EXPECT_THROW(o.GetOptionData(o.strDelta, true), zelError);
  // Gamma does not use S', so it is still computed.
  EXPECT_EQ(o.GetOptionData(o.strGamma, true), 0.0f);
  zelBSOP big = Fresh();
  big.SetOptionData(2, big.strType);
  big.SetOptionData(-400.0f, big.strRiskFree);  // K T e^(-rT) does not fit a float
  EXPECT_THROW(big.GetOptionData(big.strRho, true), zelError);
}

}  // namespace
}  // namespace stratlyn
