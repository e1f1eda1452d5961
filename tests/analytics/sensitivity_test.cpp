#include "analytics/sensitivity.h"

#include <gtest/gtest.h>

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

OptionParameters Option() {
  OptionParameters p;
  p.oid = 1;
  p.orf = 0.1f;
  p.os = 50.0f;
  p.ot = 0.25f;
  p.oxk = 50.0f;
  p.osig = 0.3f;
  p.odvl = 0.0f;
  p.oopr = 2.0f;
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
  OptionParameters p = Option();
  p.ot = 0.0f;  // a maturity of 0 sweeps 0..0.1; point 0 is invalid
  PortSens(3, 0, p, bsop, x, y);
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
}

}  // namespace
}  // namespace stratlyn
