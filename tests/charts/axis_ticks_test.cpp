#include "charts/axis_ticks.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <string>
#include <vector>

namespace stratlyn {
namespace {

std::vector<std::string> Texts(const std::vector<AxisTick>& ticks) {
  std::vector<std::string> out;
  for (const auto& t : ticks) {
    out.push_back(t.text);
  }
  return out;
}

TEST(AxisTicks, StepsAreOneTwoOrFiveTimesAPowerOfTen) {
  EXPECT_DOUBLE_EQ(NiceStep(10, 5), 2);
  EXPECT_DOUBLE_EQ(NiceStep(10, 10), 1);
  EXPECT_DOUBLE_EQ(NiceStep(10, 3), 5);
  EXPECT_DOUBLE_EQ(NiceStep(10, 1), 10);
  EXPECT_DOUBLE_EQ(NiceStep(0.0004, 4), 0.0001);
  EXPECT_DOUBLE_EQ(NiceStep(75, 6), 10);
  EXPECT_DOUBLE_EQ(NiceStep(1.01, 5), 0.2);  // five intervals, not two of 0.5
  EXPECT_DOUBLE_EQ(NiceStep(3e6, 6), 5e5);
  EXPECT_EQ(NiceStep(0, 5), 0);
  EXPECT_EQ(NiceStep(-1, 5), 0);
  EXPECT_EQ(NiceStep(NAN, 5), 0);
}

TEST(AxisTicks, DecimalsFollowTheStep) {
  EXPECT_EQ(StepDecimals(1), 0);
  EXPECT_EQ(StepDecimals(20), 0);
  EXPECT_EQ(StepDecimals(0.5), 1);
  EXPECT_EQ(StepDecimals(0.2), 1);
  EXPECT_EQ(StepDecimals(0.05), 2);
  EXPECT_EQ(StepDecimals(0.0001), 4);
  EXPECT_EQ(StepDecimals(2e-7), 7);
}

TEST(AxisTicks, NarrowRangesGetEnoughDecimalsToTellTicksApart) {
  // Gamma against the dividend yield: every value is 0.03 to two decimals.
  const auto ticks = AxisTicks(0.03012, 0.03051, 4);
  EXPECT_EQ(Texts(ticks), (std::vector<std::string>{"0.0302", "0.0303", "0.0304", "0.0305"}));
  // Generated narrow ranges at every scale: at least two ticks, ascending,
  // each text the tick's own value written out, so no two neighbours read
  // alike.
  std::mt19937 gen(24);
  std::uniform_real_distribution<double> unit(0, 1);
  for (int i = 0; i < 2000; ++i) {
    const double lo = std::pow(10, -3 + 8 * unit(gen)) * (i % 4 == 0 ? -1 : 1);
    const double width = std::fabs(lo) * std::pow(10, -1 - 4 * unit(gen));
    const int target = 4 + i % 5;
    const auto got = AxisTicks(lo, lo + width, target);
    const std::string what = std::to_string(lo) + " + " + std::to_string(width);
    ASSERT_GE(got.size(), 2u) << what;
    const double step = got[1].value - got[0].value;
    for (size_t k = 0; k < got.size(); ++k) {
      EXPECT_NEAR(std::stod(got[k].text), got[k].value, step * 1e-6) << what << " " << got[k].text;
      if (k > 0) {
        EXPECT_GT(got[k].value, got[k - 1].value) << what;
        EXPECT_NE(got[k].text, got[k - 1].text) << what;
      }
    }
  }
}

TEST(AxisTicks, TicksLieInsideTheRangeAtRoundValues) {
  // A strike swept from 25 to 100, widened by the chart's factors.
  const auto ticks = AxisTicks(23.75, 105, 6);
  EXPECT_EQ(Texts(ticks),
            (std::vector<std::string>{"30", "40", "50", "60", "70", "80", "90", "100"}));
  EXPECT_DOUBLE_EQ(ticks.front().value, 30);
  // Ends on a tick are included; zero is written without a sign.
  EXPECT_EQ(Texts(AxisTicks(-1, 1, 4)),
            (std::vector<std::string>{"-1.0", "-0.5", "0.0", "0.5", "1.0"}));
  EXPECT_EQ(Texts(AxisTicks(-0.3, 0.3, 3)), (std::vector<std::string>{"-0.2", "0.0", "0.2"}));
  // The locale's separator.
  EXPECT_EQ(Texts(AxisTicks(0, 1, 2, ',')), (std::vector<std::string>{"0,0", "0,5", "1,0"}));
  // Huge magnitudes in exponent form.
  EXPECT_EQ(Texts(AxisTicks(0, 4e9, 2)), (std::vector<std::string>{"0", "2E+09", "4E+09"}));
}

TEST(AxisTicks, EmptyOrBrokenRangesGiveNoTicks) {
  EXPECT_TRUE(AxisTicks(1, 1, 5).empty());
  EXPECT_TRUE(AxisTicks(2, 1, 5).empty());
  EXPECT_TRUE(AxisTicks(0, INFINITY, 5).empty());
  EXPECT_TRUE(AxisTicks(NAN, 1, 5).empty());
}

}  // namespace
}  // namespace stratlyn
