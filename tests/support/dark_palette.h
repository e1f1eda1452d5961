#pragma once
// A dark desktop theme's palette, as a user's dark theme hands it to the
// program: light text on dark windows and fields. For GUI tests and shots.

#include <QColor>
#include <QPalette>

namespace stratlyn::testing {

inline QPalette DarkPalette() {
  QPalette p;
  p.setColor(QPalette::Window, QColor(0x2b, 0x2b, 0x2b));
  p.setColor(QPalette::WindowText, QColor(0xe8, 0xe8, 0xe8));
  p.setColor(QPalette::Base, QColor(0x1e, 0x1e, 0x1e));
  p.setColor(QPalette::AlternateBase, QColor(0x26, 0x26, 0x26));
  p.setColor(QPalette::Text, QColor(0xe8, 0xe8, 0xe8));
  p.setColor(QPalette::Button, QColor(0x3c, 0x3c, 0x3c));
  p.setColor(QPalette::ButtonText, QColor(0xe8, 0xe8, 0xe8));
  p.setColor(QPalette::Highlight, QColor(0x2a, 0x82, 0xda));
  p.setColor(QPalette::HighlightedText, Qt::white);
  p.setColor(QPalette::ToolTipBase, QColor(0x3c, 0x3c, 0x3c));
  p.setColor(QPalette::ToolTipText, QColor(0xe8, 0xe8, 0xe8));
  return p;
}

}  // namespace stratlyn::testing
