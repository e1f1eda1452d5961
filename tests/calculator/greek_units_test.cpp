// The calculator panel's Greeks in the traders' units: theta per day, vega per
// percentage point; the captions say the unit, Copy All keeps the records'.

#include <gtest/gtest.h>

#include <string>

#include "calculator/bsop_panel.h"
#include "pricing/zel_bsop.h"
#include "support/fake_services.h"
#include "util/format.h"
#include "util/locale_info.h"

namespace stratlyn {
namespace {

TEST(BsopGreekUnitsTest, PerDayUnitsRescaleTheShownGreeksOnly) {
  testing::FakeServices fakes;
  SetEntryLocale(EntryLocale{});
  BsopPanel panel;
  panel.InitializeFields();
  panel.cmdCalculate_Click();
  zelBSOP& o = panel.Bsop();
  const float vega = o.GetOptionData(o.strVega);
  const float theta = o.GetOptionData(o.strTheta);
  EXPECT_EQ(panel.fields.lblVega, FormatNumber(vega, kValueFormat));
  const std::string delta = panel.fields.lblDelta;
  panel.cmdCopyData_Click();
  const std::string copied = fakes.clipboard.Text();

  panel.SetGreekUnits(GreekUnits::kPerDay);
  EXPECT_EQ(panel.fields.lblVega, FormatNumber(static_cast<float>(vega / 100.0), kValueFormat));
  EXPECT_EQ(panel.fields.lblTheta, FormatNumber(static_cast<float>(theta / 365.0), kValueFormat));
  EXPECT_EQ(panel.fields.lblDelta, delta);
  panel.cmdCalculate_Click();  // later calculations keep the units
  EXPECT_EQ(panel.fields.lblTheta, FormatNumber(static_cast<float>(theta / 365.0), kValueFormat));
  panel.cmdCopyData_Click();
  EXPECT_EQ(fakes.clipboard.Text(), copied);

  EXPECT_EQ(BsopPanel::GreekCaptions(GreekUnits::kPerDay)[3], "Theta (per day)");
  EXPECT_EQ(BsopPanel::GreekCaptions(GreekUnits::kPerUnit)[2], "Vega (per 1.0 vol)");
  panel.SetGreekUnits(GreekUnits::kPerUnit);
  EXPECT_EQ(panel.fields.lblVega, FormatNumber(vega, kValueFormat));
  ResetEntryLocale();
}

}  // namespace
}  // namespace stratlyn
