// Legs written as the terminal tool and the legs table write them.

#include "strategy/leg_text.h"

#include <gtest/gtest.h>

#include "util/entry_locales.h"
#include "util/grid.h"
#include "util/locale_info.h"

namespace stratlyn {
namespace {

TEST(StrategyLegTextTest, ReadsOptionAndUnderlyingLegs) {
  Leg a = ParseLegText("+1 call 50 0.25", "");
  EXPECT_EQ(a.quantity, 1);
  EXPECT_EQ(a.kind, LegKind::kCall);
  EXPECT_EQ(a.strike, 50);
  EXPECT_EQ(a.maturity, 0.25);
  EXPECT_FALSE(a.american);
  EXPECT_FALSE(a.price);

  Leg b = ParseLegText("-2 PUT 45.5 0.5 american 1.25", "");
  EXPECT_EQ(b.quantity, -2);
  EXPECT_EQ(b.kind, LegKind::kPut);
  EXPECT_EQ(b.strike, 45.5);
  EXPECT_TRUE(b.american);
  ASSERT_TRUE(b.price);
  EXPECT_EQ(*b.price, 1.25);

  Leg c = ParseLegText("100 underlying 49.5", "");
  EXPECT_EQ(c.kind, LegKind::kUnderlying);
  EXPECT_EQ(*c.price, 49.5);

  // A maturity given as a date counts from the start date: 73 days.
  Leg d = ParseLegText("+1 call 50 2026-03-14", "2026-01-01");
  EXPECT_NEAR(d.maturity, 72.0 / 365, 1e-6);
}

// A past expiry that reads as a later date with day and month swapped is
// the past date as typed, refused as past: "12.10.2026" typed in a German
// locale on 9 December 2026 is 12 October, not 10 December (priced as such
// with exit 0 before), and "10/12/2026" in a month-first one 12 October too.
// Dates that need no swap count as before.
TEST(StrategyLegTextTest, APastDateIsNotTakenWithDayAndMonthSwapped) {
  {
    const testing::ScopedEntryLocale german(testing::CommaLocale());
    const auto past = YearsOf("12.10.2026", "09.12.2026", true);
    ASSERT_TRUE(past);
    EXPECT_NEAR(*past, -58.0 / 365, 1e-6);
    EXPECT_NEAR(*YearsOf("10.12.2026", "09.12.2026", true), 1.0 / 365, 1e-6);
    EXPECT_NEAR(*YearsOf("12.10.2026", "09.12.2026", false), -58.0 / 365, 1e-6);
    EXPECT_LT(ParseLegText("+1 call 100 12.10.2026", "09.12.2026").maturity, 0);
  }
  EntryLocale month_first;
  month_first.date_format = "%m/%d/%Y";
  const testing::ScopedEntryLocale c(month_first);
  EXPECT_NEAR(*YearsOf("10/12/2026", "12/09/2026", true), -58.0 / 365, 1e-6);
  EXPECT_NEAR(*YearsOf("12/10/2026", "12/09/2026", true), 1.0 / 365, 1e-6);
  EXPECT_NEAR(*YearsOf("1/5/2027", "12/09/2026", true), 27.0 / 365, 1e-6);
}

// A maturity cell reads years as the calculator's Maturity field does:
// "1 1/2" and "3/4" (no date without a year) are years, "45 DTE" is refused.
TEST(StrategyLegTextTest, MaturityCellsReadYearsAsTheCalculatorDoes) {
  EntryLocale month_first;
  month_first.date_format = "%m/%d/%Y";
  const testing::ScopedEntryLocale c(month_first);
  EXPECT_NEAR(YearsOf("3/4", "12/09/2026", false).value_or(-1), 0.75, 1e-12);
  EXPECT_NEAR(YearsOf("3/4", "", false).value_or(-1), 0.75, 1e-12);
  EXPECT_NEAR(YearsOf("1 1/2", "12/09/2026", false).value_or(-1), 1.5, 1e-12);
  EXPECT_NEAR(YearsOf("0.5 years", "12/09/2026", false).value_or(-1), 0.5, 1e-12);
  EXPECT_FALSE(YearsOf("45 DTE", "12/09/2026", false));
  EXPECT_NEAR(YearsOf("1/5/2027", "12/09/2026", false).value_or(-1), 27.0 / 365, 1e-6);
}

TEST(StrategyLegTextTest, NamesTheWordThatIsWrong) {
  const auto message = [](const std::string& text) {
    try {
      ParseLegText(text, "");
    } catch (const StrategyInputError& e) {
      return std::string(e.what());
    }
    return std::string("no error");
  };
  EXPECT_NE(message("+1 call 50,5 0.25").find("strike '50,5'"), std::string::npos);
  EXPECT_NE(message("one call 50 0.25").find("quantity 'one'"), std::string::npos);
  EXPECT_NE(message("+1 cal 50 0.25").find("kind 'cal'"), std::string::npos);
  EXPECT_NE(message("+1 call 50").find("strike and a maturity"), std::string::npos);
  EXPECT_NE(message("+1 call 50 soon").find("maturity 'soon'"), std::string::npos);
  EXPECT_NE(message("+1 call 50 0.25 european 2 extra").find("'extra'"), std::string::npos);
  EXPECT_NE(message("+1 call 50 0.25 x").find("price 'x'"), std::string::npos);
  EXPECT_EQ(message("+1 call nan 0.25").find("no error"), std::string::npos);
}

TEST(StrategyLegTextTest, TableCellsReadWithTheEntryLocale) {
  const testing::ScopedEntryLocale german(testing::CommaLocale());
  Grid grid(1, kLegColumns + 1);
  const Position legs = {Leg{1, LegKind::kCall, 50.5, 0.25, false, std::nullopt},
                         Leg{-1, LegKind::kPut, 45, 0.5, true, 1.75},
                         Leg{100, LegKind::kUnderlying, 0, 0, false, std::nullopt}};
  LegsToGrid(legs, grid);
  ASSERT_EQ(grid.Rows(), 4);
  EXPECT_EQ(grid.TextMatrix(1, 1), "+1");
  EXPECT_EQ(grid.TextMatrix(1, 3), "50,5");
  EXPECT_EQ(grid.TextMatrix(2, 5), "American");
  EXPECT_EQ(grid.TextMatrix(2, 6), "1,75");
  EXPECT_EQ(grid.TextMatrix(3, 3), "");
  grid.AddItem("\t\t\t\t\t\t");  // a blank row is skipped
  const Position back = LegsFromGrid(grid, "");
  ASSERT_EQ(back.size(), 3u);
  EXPECT_EQ(back[0].strike, 50.5);
  EXPECT_EQ(back[1].quantity, -1);
  EXPECT_TRUE(back[1].american);
  EXPECT_EQ(*back[1].price, 1.75);
  EXPECT_EQ(back[2].kind, LegKind::kUnderlying);

  // A price of "N/A" is none (the model's value), not a price of 0.
  grid.SetTextMatrix(2, 6, "N/A");
  EXPECT_FALSE(LegsFromGrid(grid, "")[1].price);
  grid.SetTextMatrix(2, 6, "1,75");

  // A maturity with a whole part is years, not a date (1 January 2026).
  grid.SetTextMatrix(1, 4, "1 1/26");
  EXPECT_NEAR(LegsFromGrid(grid, "15.01.2025")[0].maturity, 1 + 1.0 / 26, 1e-12);
  grid.SetTextMatrix(1, 4, "0,25");

  grid.SetTextMatrix(2, 3, "abc");
  try {
    LegsFromGrid(grid, "");
    ADD_FAILURE() << "no error";
  } catch (const StrategyInputError& e) {
    EXPECT_STREQ(e.what(), "Row 2, Strike: 'abc' has no digit");
  }
  grid.SetTextMatrix(2, 3, "45");
  grid.SetTextMatrix(1, 2, "option");
  EXPECT_THROW(LegsFromGrid(grid, ""), StrategyInputError);
}

}  // namespace
}  // namespace stratlyn
