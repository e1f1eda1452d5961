#include "shell/browser_layout.h"

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

}  // namespace stratlyn
