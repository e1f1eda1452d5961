// The library's lattice (CallTrino) against QuantLib: drift large against the
// volatility, barriers next to the spot, crossed barriers, smooth vega near a
// far barrier, Haug's barrier table and random terms.

#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <string>

#include "pricing/zelop_loader.h"
#include "support/quantlib_reference.h"
#include "zelop/zelop_api.h"

namespace stratlyn {
namespace {

struct Trino {
  double s = 100, sigma = 0.2, r = 0.05, t = 1, k = 100, q = 0, h = 0, rebate = 0;
};

class ZelopLatticeTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(LoadZelopLibrary(STRATLYN_ZELOP_PATH));
    trino_ = reinterpret_cast<ZelopTrinoFn>(ZelopSymbol("CallTrino"));
  }
  // Status of CallTrino; out holds value, delta, gamma, vega, theta, impvol.
  double Call(int sign, const Trino& x, int code, int steps, double* out, double price = 0) {
    const double in[11] = {x.s, x.sigma, x.r, x.t, x.k, x.q, x.h, x.rebate, 0, 0, 0};
    return trino_(sign, in, code, price, steps, out);
  }
  ZelopTrinoFn trino_ = nullptr;
};

TEST_F(ZelopLatticeTest, InputsNoLatticeServesAreRefused) {
  double out[11];
  EXPECT_EQ(Call(1, Trino{.sigma = 0.004, .r = 0.3}, 1001, 100, out), -2.0);
  EXPECT_TRUE(std::isnan(out[0]));
  EXPECT_EQ(Call(1, Trino{.q = 0.02, .h = 99.999}, 1002, 100, out), -3.0);
  EXPECT_TRUE(std::isnan(out[0]));
}

TEST_F(ZelopLatticeTest, CrossedBarriersGiveTheRebateOrTheVanilla) {
  double out[11], plain[11];
  ASSERT_EQ(Call(-1, Trino{.h = 100, .rebate = 3}, 1003, 100, out), 0.0);
  EXPECT_EQ(out[0], 3.0);
  for (int i = 1; i <= 4; ++i) {
    EXPECT_EQ(out[i], 0.0) << i;
  }
  for (const int code : {1004, 1005, 1008, 1009}) {
    const bool down = code < 1006;
    const Trino x{.k = 105, .q = 0.03, .h = down ? 101.0 : 99.0};
    ASSERT_EQ(Call(1, x, code, 100, out), 0.0);
    ASSERT_EQ(Call(1, Trino{.k = 105, .q = 0.03}, code % 2 == 1 ? 1001 : 1000, 100, plain), 0.0);
    for (int i = 0; i <= 4; ++i) {
      EXPECT_EQ(out[i], plain[i]) << code << " " << i;
    }
  }
}

#ifdef STRATLYN_HAVE_QUANTLIB

using testing::RefBarrier;
using testing::RefOption;

RefOption Ref(int sign, const Trino& x) {
  return {.call = sign > 0,
          .s = x.s,
          .k = x.k,
          .r = x.r,
          .q = x.q,
          .sigma = x.sigma,
          .days = static_cast<int>(std::lround(x.t * 360))};
}

TEST_F(ZelopLatticeTest, DriftAndNearBarriersAtTheRecordsSteps) {
  double out[11];
  // Down-and-out call, r = 0.3, sigma = 0.02, H = 90.
  const Trino drift{.sigma = 0.02, .r = 0.3, .h = 90};
  ASSERT_EQ(Call(1, drift, 1002, 100, out), 0.0);
  const double drift_ref =
      testing::EuropeanBarrierValue(Ref(1, drift), RefBarrier::kDownOut, 90, 0);
  EXPECT_NEAR(out[0], drift_ref, 0.005 * drift_ref);
  // Ten-year American put, r = 0.06, sigma = 0.025.
  const Trino put{.sigma = 0.025, .r = 0.06, .t = 10};
  ASSERT_EQ(Call(-1, put, 1001, 100, out), 0.0);
  const double put_ref = testing::AmericanValue(Ref(-1, put), 3000);
  EXPECT_NEAR(out[0], put_ref, 0.02 * put_ref);
  // Down-and-out call, H = 99.5.
  const Trino near{.q = 0.02, .h = 99.5};
  ASSERT_EQ(Call(1, near, 1002, 100, out), 0.0);
  const double near_ref =
      testing::EuropeanBarrierValue(Ref(1, near), RefBarrier::kDownOut, 99.5, 0);
  EXPECT_NEAR(out[0], near_ref, 0.02 * near_ref);
  // American up-and-out call, H = 105, sigma = 0.3: QuantLib's tree, extrapolated.
  const Trino am{.sigma = 0.3, .q = 0.02, .h = 105};
  ASSERT_EQ(Call(1, am, 1007, 100, out), 0.0);
  const double coarse = testing::AmericanBarrierTree(Ref(1, am), RefBarrier::kUpOut, 105, 0, 1600);
  const double fine = testing::AmericanBarrierTree(Ref(1, am), RefBarrier::kUpOut, 105, 0, 6400);
  EXPECT_NEAR(out[0], 2 * fine - coarse, 0.02 * (2 * fine - coarse));
}

TEST_F(ZelopLatticeTest, VegaNearAFarBarrierIsSmooth) {
  double vega[3], out[11];
  const double vols[3] = {0.249, 0.25, 0.251};
  for (int i = 0; i < 3; ++i) {
    const Trino x{.s = 50, .sigma = vols[i], .r = 0.1, .t = 0.25, .k = 50, .h = 150};
    ASSERT_EQ(Call(1, x, 1006, 100, out), 0.0);
    vega[i] = out[3];
    const double ref = testing::EuropeanBarrierVega(Ref(1, x), RefBarrier::kUpOut, 150, 0);
    EXPECT_NEAR(vega[i], ref, 0.02 * ref);
  }
  EXPECT_NEAR(vega[1], vega[0], 0.005 * vega[0]);
  EXPECT_NEAR(vega[2], vega[1], 0.005 * vega[1]);
}

TEST_F(ZelopLatticeTest, HaugBarrierTableAtFourHundredSteps) {
  struct Kind {
    RefBarrier ref;
    int code;
    double h;
  };
  const Kind kinds[] = {{RefBarrier::kDownOut, 1002, 95}, {RefBarrier::kDownOut, 1002, 100},
                        {RefBarrier::kDownIn, 1004, 95},  {RefBarrier::kDownIn, 1004, 100},
                        {RefBarrier::kUpOut, 1006, 105},  {RefBarrier::kUpOut, 1006, 100},
                        {RefBarrier::kUpIn, 1008, 105},   {RefBarrier::kUpIn, 1008, 100}};
  double out[11];
  for (const Kind& kind : kinds) {
    for (int sign : {1, -1}) {
      for (double sigma : {0.25, 0.30}) {
        for (double k : {90.0, 100.0, 110.0}) {
          const Trino x{
              .sigma = sigma, .r = 0.08, .t = 0.5, .k = k, .q = 0.04, .h = kind.h, .rebate = 3};
          ASSERT_EQ(Call(sign, x, kind.code, 400, out), 0.0);
          EXPECT_NEAR(out[0], testing::EuropeanBarrierValue(Ref(sign, x), kind.ref, kind.h, 3),
                      1.1e-2)
              << "code " << kind.code << " H " << kind.h << " sign " << sign << " vol " << sigma
              << " K " << k;
        }
      }
    }
  }
}

TEST_F(ZelopLatticeTest, RandomTermsAgreeWithQuantLib) {
  std::mt19937 gen(81220261);
  std::uniform_real_distribution<double> unit(0.0, 1.0);
  const RefBarrier kinds[] = {RefBarrier::kDownOut, RefBarrier::kDownIn, RefBarrier::kUpOut,
                              RefBarrier::kUpIn};
  int refused = 0;
  double out[11];
  for (int i = 0; i < 200; ++i) {
    Trino x;
    const int sign = unit(gen) < 0.5 ? 1 : -1;
    x.k = 70 + 60 * unit(gen);
    x.t = std::lround((0.05 + 3 * unit(gen)) * 360) / 360.0;
    x.r = -0.02 + 0.35 * unit(gen);
    x.q = 0.1 * unit(gen);
    x.sigma = i % 3 == 0 ? 0.005 + 0.045 * unit(gen) : 0.05 + 0.75 * unit(gen);
    const int which = i % 5;
    if (which < 4) {
      x.h = which < 2 ? 100 * (0.7 + 0.3 * unit(gen)) : 100 * (1.0 + 0.3 * unit(gen));
      x.rebate = unit(gen) < 0.3 ? 2 * unit(gen) : 0;
    }
    const int code = which < 4 ? 1002 + 2 * which : 1001;
    const double status = Call(sign, x, code, 100, out);
    const std::string what = "case " + std::to_string(i) + " code " + std::to_string(code);
    if (status != 0) {
      EXPECT_TRUE(status == -2.0 || status == -3.0) << what;
      EXPECT_TRUE(std::isnan(out[0])) << what;
      ++refused;
      continue;
    }
    const double ref =
        which < 4 ? testing::EuropeanBarrierValue(Ref(sign, x), kinds[which], x.h, x.rebate)
                  : testing::AmericanValue(Ref(sign, x), 400);
    if (!std::isfinite(ref)) {
      continue;  // QuantLib's closed form fails for some tiny volatilities
    }
    EXPECT_NEAR(out[0], ref, 0.06 * std::fabs(ref) + 0.03) << what;
    EXPECT_TRUE(std::isfinite(out[1]) && std::fabs(out[1]) < 50) << what;
  }
  EXPECT_LT(refused, 20);
}

#endif

}  // namespace
}  // namespace stratlyn
