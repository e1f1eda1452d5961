#include "shell/browser_layout.h"

#include <algorithm>

namespace stratlyn {
namespace {

// A width or height below zero is refused by the control (error 380): the
// layout goes on without it.
std::optional<int> Size(int value) {
  if (value < 0) {
    return std::nullopt;
  }
  return value;
}

}  // namespace

BrowserLayout PositionBrowsers(const LayoutInput& in) {
  const Rect& p = in.panel;
  const int w = in.client_width;
  const int h = in.client_height;
  BrowserLayout out;

  const int b1_left = p.left + p.width + 25;
  out.browser1.left = b1_left;
  out.browser1.width = Size(w - b1_left - 100);
  out.cmd_back.left = b1_left;
  out.cmd_forward.left = b1_left + in.back_width + 25;
  out.cmd_stop.left = *out.cmd_forward.left + in.forward_width + 25;

  const int nav_top = p.top + p.height + 10;
  out.navigate.top = nav_top;
  out.navigate.left = p.left;
  out.navigate.width = Size(p.width - in.bot_back_width - in.bot_forward_width);
  // A refused width leaves the box as wide as it was; the buttons follow the
  // box's actual right edge.
  const int nav_width = out.navigate.width.value_or(in.navigate_width);
  out.bot_back.top = nav_top;
  out.bot_back.left = p.left + nav_width + 5;
  out.bot_forward.top = nav_top;
  out.bot_forward.left = *out.bot_back.left + in.bot_back_width + 5;

  const int b2_top = nav_top + in.navigate_height + 10;
  out.browser2.left = p.left;
  out.browser2.top = b2_top;
  out.browser2.height = Size(h - b2_top - 100);
  if (in.bottom_expanded) {
    out.browser2.width = Size(w - p.left - 100);
    out.browser1.height = Size(b2_top - in.browser1_top - 50);
  } else {
    out.browser1.height = Size(h - in.browser1_top - 100);
    out.browser2.width = Size(p.width);
  }
  return out;
}

namespace {

// The room beside and under the pane that the window's fixed margins and
// the browsers' least sizes take.
int RoomRight(const PaneInput& in) { return 25 + in.min_browser1_width + 100; }
int RoomBelow(const PaneInput& in) {
  return 10 + in.navigate_height + 10 + in.min_browser2_height + 100;
}

}  // namespace

Rect FitPane(const PaneInput& in) {
  const Rect& p = in.panel;
  const int max_w = std::max(in.min_pane_width, in.client_width - p.left - RoomRight(in));
  const int max_h = std::max(in.min_pane_height, in.client_height - p.top - RoomBelow(in));
  // The pane never grows past what the panel needs: the panel itself, with
  // a scroll bar where the other direction has to scroll.
  int w = std::min(max_w, in.user_width.value_or(max_w));
  int h = std::min(max_h, in.user_height.value_or(max_h));
  w = std::max(w, in.min_pane_width);
  h = std::max(h, in.min_pane_height);
  for (int pass = 0; pass < 2; ++pass) {
    const int need_w = p.width + (h < p.height ? in.scroll_bar : 0);
    const int need_h = p.height + (w < p.width ? in.scroll_bar : 0);
    w = std::max(std::min(w, need_w), std::min(in.min_pane_width, need_w));
    h = std::max(std::min(h, need_h), std::min(in.min_pane_height, need_h));
  }
  return {p.left, p.top, w, h};
}

int MinClientWidth(const PaneInput& in) {
  return in.panel.left + in.min_pane_width + RoomRight(in);
}

int MinClientHeight(const PaneInput& in) {
  return in.panel.top + in.min_pane_height + RoomBelow(in);
}

SplitterHandles PlaceSplitterHandles(const Rect& pane, const BrowserLayout& layout,
                                     int client_width, int client_height, bool bottom_expanded,
                                     int thickness) {
  SplitterHandles out;
  // Centred on the gap between the pane and the top browser.
  const int gap_x = pane.left + pane.width + layout.browser1.left.value_or(0);
  const int column_x = gap_x / 2 - thickness / 2;
  // Centred on the gap between the address row and the bottom browser.
  const int b2_top = layout.browser2.top.value_or(pane.top + pane.height);
  const int row_y = b2_top - 5 - thickness / 2;
  if (bottom_expanded) {
    out.columns = {column_x, 0, thickness, std::max(0, row_y)};
    out.rows = {0, row_y, client_width, thickness};
  } else {
    out.columns = {column_x, 0, thickness, client_height};
    out.rows = {0, row_y, std::max(0, column_x), thickness};
  }
  return out;
}

}  // namespace stratlyn
