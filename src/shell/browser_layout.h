#pragma once
// The layout rules of the main window (PositionBrowsers): where the two
// browser views, their buttons and the address box go around the panel now
// shown. Everything is in twips, the units of the window's layout.

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

// The pane that shows the panel: as large as the panel where the window has
// room for it and for the browsers' least sizes, smaller (and scrolled)
// where it has not. The window then lays the browsers out around the pane
// with PositionBrowsers, so at the panel's full size the rules above hold
// unchanged.
struct PaneInput {
  Rect panel;  // the panel's place and full size
  int client_width = 0;
  int client_height = 0;
  // The sizes the user gave the pane by dragging a splitter (twips); empty:
  // as large as fits.
  std::optional<int> user_width, user_height;
  // A scroll bar's thickness: the pane grows by it in one direction when it
  // has to scroll in the other.
  int scroll_bar = 240;
  // The least sizes kept in view.
  int min_pane_width = 5400;  // the row of panel buttons above the pane
  int min_pane_height = 1500;
  int min_browser1_width = 2900;  // its Back, Forward and Stop
  int min_browser2_height = 1200;
  int navigate_height = 315;
};

// The pane's place in twips.
Rect FitPane(const PaneInput& in);

// The least inner size (twips) of a window that keeps every least size above.
int MinClientWidth(const PaneInput& in);
int MinClientHeight(const PaneInput& in);

// The two splitter handles around the pane, in twips: `columns` between the
// pane and the top browser, `rows` between the pane (with its address row)
// and the bottom browser. With the bottom browser expanded the row handle
// spans the window; reduced, the column handle runs down the whole window.
struct SplitterHandles {
  Rect columns, rows;
};
SplitterHandles PlaceSplitterHandles(const Rect& pane, const BrowserLayout& layout,
                                     int client_width, int client_height, bool bottom_expanded,
                                     int thickness);

}  // namespace stratlyn
