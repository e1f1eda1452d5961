// The strategy panel's logic as the window drives it: templates, editing
// keys, clipboard rows, and messages instead of figures for bad cells.

#include "strategy/strategy_panel.h"

#include <gtest/gtest.h>

#include "support/fake_services.h"
#include "support/locale_text.h"
#include "util/grid.h"

namespace stratlyn {
namespace {

OptionTerms DefaultOption() {
  OptionTerms p;
  p.put = false;
  p.rate = 0.1f;
  p.spot = 50;
  p.maturity = 1;
  p.strike = 50;
  p.vol = 0.25f;
  return p;
}

TEST(StrategyPanelTest, TemplateFillsTheTableAndComputes) {
  testing::FakeServices services;
  Grid grid;
  StrategyPanel panel(grid);
  panel.SetParameters(DefaultOption());
  EXPECT_EQ(grid.TextMatrix(0, 3), "Strike");
  panel.ApplyTemplate(StrategyTemplate::kBullCallSpread, 5, false);
  ASSERT_EQ(grid.Rows(), 3);
  EXPECT_EQ(grid.TextMatrix(2, 0), "2");
  EXPECT_EQ(grid.TextMatrix(2, 1), "-1");
  EXPECT_EQ(grid.TextMatrix(2, 3), "55");
  EXPECT_EQ(grid.TextMatrix(2, 4), "1");
  const auto f = panel.Compute("", 0.5);
  ASSERT_TRUE(f);
  EXPECT_EQ(services.dialogs.Count(), 0u);
  EXPECT_DOUBLE_EQ(f->horizon, 1);
  ASSERT_EQ(f->at_expiry.break_evens.size(), 1u);
  EXPECT_NEAR(f->at_expiry.break_evens[0], 50 + f->net_premium, 1e-9);
  EXPECT_EQ(f->curve.size(), static_cast<size_t>(kCurvePoints));
  const auto profits = panel.ProfitsAt(60);
  ASSERT_TRUE(profits);
  EXPECT_NEAR(profits->first, 5 - f->net_premium, 1e-9);

  const auto rows = StrategyPanel::ResultRows(*f, GreekUnits::kPerDay);
  EXPECT_EQ(rows[1].caption, "Net premium paid");
  EXPECT_EQ(rows[9].caption, "Theta (per day)");
  EXPECT_EQ(StrategyPanel::ResultRows(*f, GreekUnits::kPerUnit)[9].caption, "Theta (per year)");
}

TEST(StrategyPanelTest, TypedKeysAddAndRemoveEditTheTable) {
  testing::FakeServices services;
  Grid grid;
  StrategyPanel panel(grid);
  panel.SetParameters(DefaultOption());
  panel.AddLeg();  // takes the blank first row
  EXPECT_EQ(grid.Rows(), 2);
  EXPECT_EQ(grid.TextMatrix(1, 2), "call");
  panel.AddLeg();
  EXPECT_EQ(grid.Rows(), 3);
  grid.SetRow(2);
  grid.SetCol(3);
  for (const char ch : std::string("\b\b55.5")) {
    panel.KeyPress(ch);
  }
  EXPECT_EQ(grid.TextMatrix(2, 3), "55.5");
  grid.SetCol(1);
  panel.ClearCells();
  panel.KeyPress('-');
  panel.KeyPress('1');
  EXPECT_EQ(grid.TextMatrix(2, 1), "-1");
  ASSERT_TRUE(panel.Compute("", 0));
  panel.RemoveLeg();
  EXPECT_EQ(grid.Rows(), 2);
  panel.RemoveLeg();  // the last leg leaves a blank row
  EXPECT_EQ(grid.Rows(), 2);
  EXPECT_EQ(grid.TextMatrix(1, 3), "");
  EXPECT_FALSE(panel.Compute("", 0));
  EXPECT_EQ(services.dialogs.LastText(), kNoLegs);
}

TEST(StrategyPanelTest, PastedRowsFromASpreadsheetAddLegs) {
  testing::FakeServices services;
  Grid grid;
  StrategyPanel panel(grid);
  panel.SetParameters(DefaultOption());
  services.clipboard.SetText("+1\tput\t45\t0.5\tAmerican\t\r\n-1\tcall\t55\t0.5\t\t1.5\r\n");
  grid.SetRow(1);
  grid.SetCol(1);
  panel.KeyPress(22);
  ASSERT_EQ(grid.Rows(), 3);
  EXPECT_EQ(grid.TextMatrix(1, 2), "put");
  // 1.5 under any locale (its dot groups nothing): "1,5" under a decimal
  // comma, where the dot was stripped to 15 before.
  EXPECT_EQ(grid.TextMatrix(2, 6), testing::InEntryLocale("1.5"));
  EXPECT_EQ(grid.TextMatrix(2, 0), "2");
  const auto f = panel.Compute("", 0.25);
  ASSERT_TRUE(f) << services.dialogs.LastText();
  // Copy gives the selection back as tab-separated rows.
  grid.SetRow(2);
  grid.SetCol(1);
  grid.SetRowSel(2);
  grid.SetColSel(3);
  panel.KeyPress(3);
  EXPECT_EQ(services.clipboard.Text(), "-1\tcall\t55");
}

TEST(StrategyPanelTest, BadCellsAndDatesGiveMessagesAndNoFigures) {
  testing::FakeServices services;
  Grid grid;
  StrategyPanel panel(grid);
  panel.SetParameters(DefaultOption());
  panel.ApplyTemplate(StrategyTemplate::kStraddle, 5, false);
  grid.SetTextMatrix(1, 3, "0");
  EXPECT_FALSE(panel.Compute("", 0.5));
  EXPECT_EQ(services.dialogs.LastText(), "Leg 1: the strike price must be positive");
  EXPECT_EQ(services.dialogs.Last().title, "Quorvale");
  EXPECT_FALSE(panel.ProfitsAt(50));  // nothing left over from before
  grid.SetTextMatrix(1, 3, "fifty");
  EXPECT_FALSE(panel.Compute("", 0.5));
  EXPECT_EQ(services.dialogs.LastText(), "Row 1, Strike: 'fifty' has no digit");
  grid.SetTextMatrix(1, 3, "50");
  grid.SetTextMatrix(2, 4, "0");
  EXPECT_FALSE(panel.Compute("", 0.5));
  EXPECT_EQ(services.dialogs.LastText(), "Leg 2: the maturity must be positive");
  grid.SetTextMatrix(2, 4, "1");
  EXPECT_FALSE(panel.Compute("", 1.5));
  EXPECT_EQ(services.dialogs.LastText(), "The date is past the first expiry (1.0000 years)");
  OptionTerms no_vol = DefaultOption();
  no_vol.vol = 0;
  panel.SetParameters(no_vol);
  EXPECT_FALSE(panel.Compute("", 0.5));
  EXPECT_EQ(services.dialogs.LastText(), kBadVol);
  EXPECT_FALSE(panel.Horizon(""));
  panel.SetParameters(DefaultOption());
  EXPECT_EQ(panel.Horizon(""), 1.0);
  EXPECT_THROW(panel.ApplyTemplate(StrategyTemplate::kIronCondor, 30, false), StrategyInputError);
  EXPECT_EQ(grid.TextMatrix(1, 2), "call");  // the table is left alone
}

}  // namespace
}  // namespace stratlyn
