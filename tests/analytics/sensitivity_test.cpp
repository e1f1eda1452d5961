#include "analytics/sensitivity.h"

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <utility>
#include <vector>

#include "pricing/zel_bsop.h"
#include "support/fake_services.h"
#include "util/locale_info.h"

namespace stratlyn {
namespace {

// Numbers in these tests are written with a decimal point, whatever the
// locale the suite runs under.
class DotLocaleEnvironment : public ::testing::Environment {
 public:
  void SetUp() override { SetEntryLocale(EntryLocale{}); }
  void TearDown() override { ResetEntryLocale(); }
};
[[maybe_unused]] ::testing::Environment* const kDotLocale =
    ::testing::AddGlobalTestEnvironment(new DotLocaleEnvironment);

OptionTerms Option() {
  OptionTerms p;
  p.put = false;
  p.rate = 0.1f;
  p.spot = 50.0f;
  p.maturity = 0.25f;
  p.strike = 50.0f;
  p.vol = 0.3f;
  p.yield = 0.0f;
  p.market_price = 2.0f;
  return p;
}

TEST(PortSens, SweepsFromHalfToTwice) {
  testing::FakeServices services;
  zelBSOP bsop;
  std::vector<float> x, y;
  PortSens(0, 0, Option(), bsop, x, y);  // asset price 50: 25 to 100 in steps of 0.75
  ASSERT_EQ(x.size(), 101u);
  EXPECT_EQ(x[0], 25.0f);
  EXPECT_EQ(x[1], 25.75f);
  EXPECT_NEAR(x[100], 100.0f, 1e-3);
  for (int i = 1; i <= 100; ++i) {
    ASSERT_GT(y[i], y[i - 1]) << i;  // a call gains with the asset
  }

  // A dividend yield of 0 runs from 0 to 0.1 in steps of 0.001.
  PortSens(5, 1, Option(), bsop, x, y);
  EXPECT_EQ(x[0], 0.0f);
  EXPECT_FLOAT_EQ(x[1], 0.001f);
  EXPECT_NEAR(x[100], 0.1f, 1e-6);
  EXPECT_GT(y[0], y[100]);  // delta of a call falls as the yield rises
  EXPECT_EQ(services.dialogs.Count(), 0u);

  // Rho of a call is positive throughout a rate sweep.
  PortSens(2, 5, Option(), bsop, x, y);
  EXPECT_FLOAT_EQ(x[0], 0.05f);
  for (int i = 0; i <= 100; ++i) {
    ASSERT_GT(y[i], 0.0f);
  }
}

TEST(PortSens, StopsAtTheFailureValueAndRejectsBadChoices) {
  testing::FakeServices services;
  zelBSOP bsop;
  std::vector<float> x, y;
  OptionTerms p = Option();
  p.maturity = 0.0f;                            // a maturity of 0 sweeps 0..0.1; point 0 is invalid
  EXPECT_EQ(PortSens(3, 0, p, bsop, x, y), 0);  // no real point to plot
  EXPECT_EQ(y[0], -999.0f);
  EXPECT_EQ(x[1], 0.0f);  // the sweep stopped: the rest stays 0
  EXPECT_EQ(y[100], 0.0f);
  EXPECT_EQ(services.dialogs.Count(), 1u);

  // A y choice outside 0..5 leaves both arrays at 0, silently.
  PortSens(0, 6, Option(), bsop, x, y);
  EXPECT_EQ(x[50], 0.0f);
  EXPECT_EQ(y[50], 0.0f);
  EXPECT_EQ(services.dialogs.Count(), 1u);
  // An x choice outside 0..5 is a run-time error, reported.
  PortSens(7, 0, Option(), bsop, x, y);
  EXPECT_EQ(x[0], 0.0f);
  EXPECT_EQ(services.dialogs.Count(), 2u);
}

TEST(PortSens, PointReadout) {
  EXPECT_EQ(PointReadout(101.5, 0.25), "x=101.5, y=0.25");
  EXPECT_EQ(PointReadout(-3.14159, 1234567), "x=-3.142, y=1234567.0");
  // Small Greeks keep three significant digits instead of reading 0.0.
  EXPECT_EQ(PointReadout(0.05, 0.0305), "x=0.0500, y=0.0305");
  EXPECT_EQ(PointReadout(1, -0.000123456), "x=1.0, y=-0.000123");
  EXPECT_EQ(SensitivityTitle(4, 1), "Delta vs Strike");
  EXPECT_EQ(SensitivityTitle(5, 2), "Gamma vs Div Yld");
  EXPECT_EQ(SensitivityTitle(6, 0), "");
}

// Every output of a sweep is the record's figure under its own key, at the
// swept point: swapping two keys of the sweep is caught here.
// A curve the closed form cannot resolve (an option a second before its
// close, worth a few thousandths against an error of a few thousandths) is
// refused with the closed form's reason; the far end of an ordinary value
// curve, worth almost nothing, is judged against the curve and drawn.
TEST(PortSens, ACurveTheClosedFormCannotResolveIsRefusedWithItsReason) {
  testing::FakeServices services;
  OptionTerms p = Option();
  p.spot = p.strike = 187.5f;
  p.maturity = 3.17e-8f;
  p.rate = 0.0f;  // d1 and d2 either side of 0, where the normal's errors add up
  // Volatility, rate, maturity and yield swept: every point is worth a few
  // thousandths. Spot and strike swept: the curve runs to 187.5 in the
  // money, against which the error does not show.
  for (int xc = 0; xc < 6; ++xc) {
    zelBSOP sweep;
    std::vector<float> x, y;
    const std::size_t before = services.dialogs.Count();
    const bool across_the_money = xc == 0 || xc == 4;
    EXPECT_EQ(PortSens(xc, 0, p, sweep, x, y), across_the_money ? kSweepPoints : 0) << xc;
    if (!across_the_money) {
      EXPECT_EQ(services.dialogs.LastText(), zelBSOP::kUnresolvedValue);
    } else {
      EXPECT_EQ(services.dialogs.Count(), before);
    }
  }
  const std::size_t boxes = services.dialogs.Count();
  zelBSOP sweep;
  std::vector<float> x, y;
  ASSERT_EQ(PortSens(0, 0, Option(), sweep, x, y), kSweepPoints);  // spot 25 to 100
  EXPECT_LT(y[0], 1e-3f);
  EXPECT_EQ(services.dialogs.Count(), boxes);
}

TEST(PortSens, EachOutputIsTheRecordsFigureForItsKey) {
  testing::FakeServices services;
  const std::array<const char*, 6> keys = {"opr", "delta", "gamma", "vega", "theta", "rho"};
  const std::array<const char*, 6> inputs = {"uasset", "vol", "riskfree", "mat", "strike", "dvl"};
  OptionTerms p = Option();
  p.yield = 0.03f;
  for (int xc = 0; xc < 6; ++xc) {
    for (int yc = 0; yc < 6; ++yc) {
      zelBSOP sweep;
      std::vector<float> x, y;
      ASSERT_EQ(PortSens(xc, yc, p, sweep, x, y), kSweepPoints);
      for (int i : {0, 37, 100}) {
        zelBSOP ref;
        // A point of the curve is judged against the curve's size: the
        // record's own figure, unresolved on its own or not.
        ref.refuseUnresolved = false;
        ref.SetOptionData(1, "type");
        ref.SetOptionData(p.rate, "riskfree");
        ref.SetOptionData(p.maturity, "mat");
        ref.SetOptionData(p.strike, "strike");
        ref.SetOptionData(p.vol, "vol");
        ref.SetOptionData(p.yield, "dvl");
        ref.SetOptionData(p.spot, "uasset");
        ref.SetOptionData(x[i], inputs[xc]);
        ASSERT_EQ(y[i], ref.GetOptionData(keys[yc])) << inputs[xc] << " " << keys[yc] << " " << i;
      }
    }
  }
  EXPECT_EQ(services.dialogs.Count(), 0u);
}

// The Greeks read from sweeps agree with the slopes of the value and delta
// sweeps: gamma = d delta / dS, vega = dV / d sigma, theta = -dV / dT,
// rho = dV / dr, delta = dV / dS (central differences).
TEST(PortSens, SweptGreeksAreTheSlopesOfTheSweptValue) {
  testing::FakeServices services;
  zelBSOP bsop;
  const OptionTerms p = Option();
  auto sweep = [&](int xc, int yc) {
    std::vector<float> x, y;
    PortSens(xc, yc, p, bsop, x, y);
    return std::pair{x, y};
  };
  auto check_slope = [](const std::pair<std::vector<float>, std::vector<float>>& of,
                        const std::vector<float>& greek, double sign, const char* what) {
    const auto& [x, v] = of;
    for (int i = 5; i <= 95; i += 10) {
      const double slope = sign * (v[i + 1] - v[i - 1]) / (x[i + 1] - x[i - 1]);
      EXPECT_NEAR(greek[i], slope, 0.01 * std::fabs(slope) + 2e-4) << what << " at " << i;
    }
  };
  const auto value_s = sweep(0, 0);
  const auto delta_s = sweep(0, 1);
  check_slope(value_s, delta_s.second, 1, "delta");
  check_slope(delta_s, sweep(0, 2).second, 1, "gamma");
  check_slope(sweep(1, 0), sweep(1, 3).second, 1, "vega");
  check_slope(sweep(3, 0), sweep(3, 4).second, -1, "theta");
  check_slope(sweep(2, 0), sweep(2, 5).second, 1, "rho");
  EXPECT_EQ(services.dialogs.Count(), 0u);
}

}  // namespace
}  // namespace stratlyn
