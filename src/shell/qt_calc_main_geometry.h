#pragma once
// The main window's fixed geometry in twips and the twip helpers its parts
// share (controls, layout, panel switch). Only calcMain's own files include
// this.

#include <QRect>
#include <QString>
#include <QWidget>
#include <string>

#include "charts/qt_scalable_control.h"
#include "shell/browser_layout.h"

namespace stratlyn::calc_main {

inline QString Q(const std::string& s) { return QString::fromStdString(s); }

// The places of the window's fixed controls, in twips.
inline constexpr Rect kLabel1{877, 0, 2295, 480};
inline constexpr Rect kCmdCalc{90, 570, 1200, 300};
inline constexpr Rect kCmdSensitivity{1425, 570, 1200, 300};
inline constexpr Rect kCmdRisk{2760, 570, 1200, 300};
inline constexpr Rect kCmdStrategy{4095, 570, 1200, 300};
inline constexpr Rect kCmdChain{5430, 570, 1200, 300};
inline constexpr TwipLine kLine1{0, 930, 4080, 930};
inline constexpr int kLine1BorderWidth = 2;
inline constexpr int kTopButtonWidth = 885, kTopButtonHeight = 315;
inline constexpr int kBrowser1Top = 360;
inline constexpr int kNavigateHeight = 315;
inline constexpr int kBotButtonWidth = 350;
inline constexpr int kPanelLeft = 30;
// The top of the pane that shows the panels.
inline constexpr int kPaneTop = 942;

inline void SetBoxTwips(QWidget* w, const Rect& r) {
  w->setGeometry(TwipsToPixels(r.left), TwipsToPixels(r.top), TwipsToPixels(r.width),
                 TwipsToPixels(r.height));
}

inline Rect BoxTwips(const QWidget* w) {
  const QRect g = w->geometry();
  return {PixelsToTwips(g.x()), PixelsToTwips(g.y()), PixelsToTwips(g.width()),
          PixelsToTwips(g.height())};
}

}  // namespace stratlyn::calc_main
