#pragma once
// The layout rules of the main window (PositionBrowsers): where the two
// browser views, their buttons and the address box go around the panel now
// shown. Everything is in twips, the units of the window's design.

#include <optional>

namespace stratlyn {

namespace layout {
// 15 twips make one screen pixel.
inline constexpr int kTwipsPerPixel = 15;
}  // namespace layout

// Rounds to the nearest pixel, halves away from zero.
inline int TwipsToPixels(int twips) {
  constexpr int n = layout::kTwipsPerPixel;
  return twips >= 0 ? (twips + n / 2) / n : -((-twips + n / 2) / n);
}
inline int PixelsToTwips(int pixels) { return pixels * layout::kTwipsPerPixel; }

// A control's place. A size the rules could not give (it would be negative)
// is left empty: the control keeps its old size for it.
struct Placement {
  std::optional<int> left, top, width, height;
};

struct Rect {
  int left = 0, top = 0, width = 0, height = 0;
};

// What the rules read.
struct LayoutInput {
  Rect panel;            // the panel now shown
  int client_width = 0;  // the window's inner area
  int client_height = 0;
  bool bottom_expanded = true;
  int browser1_top = 360;  // the top browser's Top stays where it is
  int back_width = 885, forward_width = 885;
  int bot_back_width = 350, bot_forward_width = 350;
  int navigate_height = 315;
  int navigate_width = 0;  // the address box's width now (kept if a new one is refused)
};

// What the rules set, control by control.
struct BrowserLayout {
  Placement browser1, cmd_back, cmd_forward, cmd_stop;
  Placement navigate, bot_back, bot_forward, browser2;
};

BrowserLayout PositionBrowsers(const LayoutInput& in);

}  // namespace stratlyn
