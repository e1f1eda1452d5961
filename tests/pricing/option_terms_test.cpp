// The records' SetTerms(OptionTerms) against the same terms set key by key:
// every figure (value, Greeks, implied volatility) comes out the same, for
// calls and puts over generated terms (fixed seed), and a put is priced as
// a put.

#include "pricing/option_terms.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <random>
#include <string>

#include "pricing/zel_barr.h"
#include "pricing/zel_bsop.h"
#include "support/fake_services.h"
#include "util/zel_error.h"

namespace stratlyn {
namespace {

using testing::FakeServices;

OptionTerms Generated(std::mt19937& gen) {
  std::uniform_real_distribution<float> unit(0.0f, 1.0f);
  OptionTerms t;
  t.put = unit(gen) < 0.5f;
  t.spot = 20 + 160 * unit(gen);
  t.strike = 20 + 160 * unit(gen);
  t.maturity = 0.05f + 2 * unit(gen);
  t.rate = -0.01f + 0.1f * unit(gen);
  t.yield = 0.06f * unit(gen);
  t.vol = 0.05f + 0.6f * unit(gen);
  return t;
}

std::string Text(const OptionTerms& t) {
  return std::string(t.put ? "put" : "call") + " S " + std::to_string(t.spot) + " K " +
         std::to_string(t.strike) + " T " + std::to_string(t.maturity) + " r " +
         std::to_string(t.rate) + " q " + std::to_string(t.yield) + " vol " + std::to_string(t.vol);
}

TEST(OptionTerms, TheVanillaRecordPricesTheTermsAsSetKeyByKey) {
  FakeServices fakes;
  std::mt19937 gen(2024);
  zelBSOP by_terms;
  for (int i = 0; i < 200; ++i) {
    OptionTerms t = Generated(gen);
    zelBSOP by_keys;
    // Figures as they come, refused or not: the two ways of setting agree.
    by_keys.refuseUnresolved = false;
    by_terms.refuseUnresolved = false;
    by_keys.SetOptionData(t.put ? 2.0f : 1.0f, by_keys.strType);
    by_keys.SetOptionData(t.rate, by_keys.strRiskFree);
    by_keys.SetOptionData(t.maturity, by_keys.strMaturity);
    by_keys.SetOptionData(t.strike, by_keys.strStrike);
    by_keys.SetOptionData(t.spot, by_keys.strUnderlying);
    by_keys.SetOptionData(t.vol, by_keys.strVolatility);
    by_keys.SetOptionData(t.yield, by_keys.strDvl);
    // The record is reused: nothing of the terms before may linger.
    by_terms.SetTerms(t);
    for (const std::string* key : {&by_keys.strOptionPrice, &by_keys.strDelta, &by_keys.strGamma,
                                   &by_keys.strVega, &by_keys.strTheta, &by_keys.strRho}) {
      EXPECT_EQ(by_terms.GetOptionData(*key, true), by_keys.GetOptionData(*key, true))
          << *key << " " << Text(t);
    }
    // The market price goes in with the terms: the implied volatility is
    // the one the key "opr" gives.
    t.market_price = 1.05f * by_keys.GetOptionData(by_keys.strOptionPrice, true);
    by_keys.SetOptionData(t.market_price, by_keys.strOptionPrice);
    by_terms.SetTerms(t);
    EXPECT_EQ(by_terms.GetOptionData(by_terms.strImpliedVolatility, true),
              by_keys.GetOptionData(by_keys.strImpliedVolatility, true))
        << Text(t);
  }
  EXPECT_EQ(fakes.dialogs.Count(), 0u) << fakes.dialogs.LastText();
}

TEST(OptionTerms, TheLatticeRecordPricesTheTermsAsSetKeyByKey) {
  FakeServices fakes;
  std::mt19937 gen(77);
  zelBarr by_terms;
  for (int i = 0; i < 12; ++i) {
    OptionTerms t = Generated(gen);
    t.american = true;
    zelBarr by_keys;
    by_keys.SetOptionData(t.put ? by_keys.FLAG : by_keys.boolError, by_keys.strType);
    by_keys.SetOptionData(t.rate, by_keys.strRiskFree);
    by_keys.SetOptionData(t.maturity, by_keys.strMaturity);
    by_keys.SetOptionData(t.strike, by_keys.strStrike);
    by_keys.SetOptionData(t.spot, by_keys.strUnderlying);
    by_keys.SetOptionData(t.vol, by_keys.strVolatility);
    by_keys.SetOptionData(t.yield, by_keys.strDvl);
    by_keys.CalcBarr(by_keys.AMERVANILLA);
    by_terms.SetTerms(t);
    by_terms.CalcBarr(by_terms.AMERVANILLA);
    for (const std::string* key : {&by_keys.strOptionPrice, &by_keys.strDelta, &by_keys.strGamma,
                                   &by_keys.strVega, &by_keys.strTheta}) {
      EXPECT_EQ(by_terms.GetOptionData(*key), by_keys.GetOptionData(*key))
          << *key << " " << Text(t);
    }
    // An American option is worth at least its exercise now: a put taken
    // for a call (or a call for a put) fails this where it is in the money.
    const float value = by_terms.GetOptionData(by_terms.strOptionPrice);
    const double now = t.put ? t.strike - t.spot : t.spot - t.strike;
    EXPECT_GE(value, now - 1e-3 * t.strike) << Text(t);
    // The market price goes in with the terms.
    t.market_price = 1.05f * value;
    by_keys.SetOptionData(t.market_price, by_keys.strOptionPrice);
    by_keys.CalcBarr(by_keys.AMERVANVOL);
    by_terms.SetTerms(t);
    by_terms.CalcBarr(by_terms.AMERVANVOL);
    EXPECT_EQ(by_terms.GetOptionData(by_terms.strImpliedVolatility),
              by_keys.GetOptionData(by_keys.strImpliedVolatility))
        << Text(t);
  }
  EXPECT_EQ(fakes.dialogs.Count(), 0u) << fakes.dialogs.LastText();
}

TEST(OptionTerms, TheLatticeRecordRefusesAFigureThatIsNotFinite) {
  FakeServices fakes;
  OptionTerms t;
  t.spot = std::numeric_limits<float>::infinity();
  t.strike = 50;
  t.maturity = 1;
  t.vol = 0.2f;
  zelBarr b;
  EXPECT_THROW(b.SetTerms(t), zelError);
  t.spot = 50;
  t.vol = std::numeric_limits<float>::quiet_NaN();
  EXPECT_THROW(b.SetTerms(t), zelError);
}

TEST(OptionTerms, TypeCodeAndMarketPrice) {
  OptionTerms t;
  EXPECT_EQ(t.TypeCode(), 1);
  t.put = true;
  EXPECT_EQ(t.TypeCode(), 2);
  EXPECT_FALSE(t.HasMarketPrice());
  t.market_price = -1;
  EXPECT_FALSE(t.HasMarketPrice());
  t.market_price = std::numeric_limits<float>::quiet_NaN();
  EXPECT_FALSE(t.HasMarketPrice());
  t.market_price = 2.5f;
  EXPECT_TRUE(t.HasMarketPrice());
  OptionTerms other = t;
  EXPECT_EQ(other, t);
  other.american = true;
  EXPECT_NE(other, t);
}

}  // namespace
}  // namespace stratlyn
