// The layout rules of the main window, in twips.

#include "shell/browser_layout.h"

#include <gtest/gtest.h>

namespace stratlyn {
namespace {

LayoutInput Input(bool expanded) {
  LayoutInput in;
  in.panel = {30, 942, 9000, 4500};
  in.client_width = 19200;
  in.client_height = 14000;
  in.bottom_expanded = expanded;
  in.navigate_width = 1000;
  return in;
}

TEST(BrowserLayout, ExpandedBottomWindowSpansTheWindow) {
  const BrowserLayout l = PositionBrowsers(Input(true));
  // Top browser: 25 right of the panel, 100 from the right edge.
  EXPECT_EQ(*l.browser1.left, 30 + 9000 + 25);
  EXPECT_EQ(*l.browser1.left + *l.browser1.width, 19200 - 100);
  // Its buttons in a row with gaps of 25.
  EXPECT_EQ(*l.cmd_back.left, *l.browser1.left);
  EXPECT_EQ(*l.cmd_forward.left, *l.cmd_back.left + 885 + 25);
  EXPECT_EQ(*l.cmd_stop.left, *l.cmd_forward.left + 885 + 25);
  // Address row 10 under the panel, ending 10 beyond its right edge.
  EXPECT_EQ(*l.navigate.top, 942 + 4500 + 10);
  EXPECT_EQ(*l.navigate.left, 30);
  EXPECT_EQ(*l.navigate.width, 9000 - 700);
  EXPECT_EQ(*l.bot_back.left, 30 + 8300 + 5);
  EXPECT_EQ(*l.bot_forward.left, *l.bot_back.left + 350 + 5);
  EXPECT_EQ(*l.bot_forward.left + 350 - (30 + 9000), 10);
  EXPECT_EQ(*l.bot_back.top, *l.navigate.top);
  // Bottom browser: 10 under the box, margins of 100 right and bottom; the
  // top browser ends 50 above it.
  EXPECT_EQ(*l.browser2.top, *l.navigate.top + 315 + 10);
  EXPECT_EQ(*l.browser2.left, 30);
  EXPECT_EQ(*l.browser2.left + *l.browser2.width, 19200 - 100);
  EXPECT_EQ(*l.browser2.top + *l.browser2.height, 14000 - 100);
  EXPECT_EQ(360 + *l.browser1.height, *l.browser2.top - 50);
}

TEST(BrowserLayout, ReducedBottomWindowSitsUnderThePanel) {
  const BrowserLayout l = PositionBrowsers(Input(false));
  EXPECT_EQ(*l.browser2.width, 9000);
  EXPECT_EQ(360 + *l.browser1.height, 14000 - 100);
  EXPECT_EQ(*l.browser2.top + *l.browser2.height, 14000 - 100);
  // Everything else as in the expanded layout.
  const BrowserLayout e = PositionBrowsers(Input(true));
  EXPECT_EQ(l.browser1.left, e.browser1.left);
  EXPECT_EQ(l.browser1.width, e.browser1.width);
  EXPECT_EQ(l.navigate.top, e.navigate.top);
}

TEST(BrowserLayout, SizesThatWouldBeNegativeAreSkipped) {
  LayoutInput in = Input(true);
  in.client_width = 650;    // narrower than the panel
  in.client_height = 5000;  // shorter than the panel
  in.panel.width = 600;     // the address box would be negative too
  const BrowserLayout l = PositionBrowsers(in);
  EXPECT_FALSE(l.browser1.width.has_value());
  EXPECT_FALSE(l.browser2.height.has_value());
  EXPECT_FALSE(l.navigate.width.has_value());
  // The buttons then follow the box's present width.
  EXPECT_EQ(*l.bot_back.left, 30 + 1000 + 5);
  // What can still be placed is placed.
  EXPECT_TRUE(l.browser1.left.has_value());
  EXPECT_TRUE(l.browser2.top.has_value());
  EXPECT_TRUE(l.browser1.height.has_value());
}

TEST(BrowserLayout, TwipsAndPixels) {
  EXPECT_EQ(TwipsToPixels(942), 63);
  EXPECT_EQ(TwipsToPixels(100), 7);
  EXPECT_EQ(TwipsToPixels(50), 3);
  EXPECT_EQ(TwipsToPixels(-100), -7);
  EXPECT_EQ(PixelsToTwips(64), 960);
}

}  // namespace
}  // namespace stratlyn
