#pragma once
// Display scaling on Qt widgets: ScalableControl over any QWidget (its
// geometry in twips at 15 twips per pixel, its font), and LineControl, the
// line control of the panels, with its adapter (end points, no font).

#include <QPointer>
#include <QWidget>

#include "charts/scalable_control.h"

namespace stratlyn {

// Twips to pixels (nearest, halves away from zero) and back.
int TwipsToPx(int twips);
int PxToTwips(int pixels);

// A straight line between two points of its parent, in twips, drawn with a
// border width in pixels. The widget covers the line's bounding box and lets
// mouse clicks through.
class LineControl : public QWidget {
  Q_OBJECT

 public:
  explicit LineControl(QWidget* parent = nullptr);
  void SetEnds(const TwipLine& line);
  const TwipLine& Ends() const { return ends_; }
  void SetBorderWidth(int pixels);
  int BorderWidth() const { return border_width_; }
  void SetColor(const QColor& color);

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  TwipLine ends_;
  int border_width_ = 1;
  QColor color_;
};

// A widget as a scalable control. The widget is not owned; once it is gone
// every call does nothing (Box() gives zeros).
class QtScalableControl : public ScalableControl {
 public:
  explicit QtScalableControl(QWidget* widget) : widget_(widget) {}

  bool IsLine() const override { return false; }
  bool HasBox() const override { return widget_ != nullptr; }
  TwipBox Box() const override;
  // Throws std::invalid_argument for a negative width or height.
  void SetBox(const TwipBox& box) override;
  TwipLine LineEnds() const override { return {}; }
  void SetLineEnds(const TwipLine&) override {}
  bool HasFont() const override { return widget_ != nullptr; }
  void SetFontSize(int points) override;
  void SetFontBold(bool bold) override;

  QWidget* widget() const { return widget_; }

 private:
  QPointer<QWidget> widget_;
  // The box last set, so that reading it back does not round to pixels
  // while the widget still stands where it was put.
  TwipBox last_{};
  bool has_last_ = false;
};

// A line control as a scalable control: end points only, no box, no font.
class QtScalableLine : public ScalableControl {
 public:
  explicit QtScalableLine(LineControl* line) : line_(line) {}

  bool IsLine() const override { return true; }
  bool HasBox() const override { return false; }
  TwipBox Box() const override { return {}; }
  void SetBox(const TwipBox&) override {}
  TwipLine LineEnds() const override;
  void SetLineEnds(const TwipLine& line) override;
  bool HasFont() const override { return false; }
  void SetFontSize(int) override {}
  void SetFontBold(bool) override {}

 private:
  QPointer<LineControl> line_;
};

}  // namespace stratlyn
