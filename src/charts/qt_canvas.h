#pragma once
// The picture box of the panels: a Canvas on a QWidget. Every drawing call is
// kept in a display list in the user coordinates of the scale in force when
// it was made, and the widget repaints the list (antialiased) at whatever
// size it has, so a plot survives resizing, covering and the display-size
// switch. Mouse events are reported in the current scale's coordinates. The
// context menu offers "Copy Image" and "Save Image..." (PNG).
//
// With a frame (SetFrame: title, tick labels, grid, marker) the plot area is
// laid out inside margins that hold them and the user scale maps onto that
// area; without one it fills the widget. Copy Image and Save Image export the
// whole figure, frame included.
//
// Until SetScale is called the scale is in twips (15 per pixel) from the
// top-left corner, growing right and down.

#include <QColor>
#include <QLineEdit>
#include <QWidget>
#include <vector>

#include "charts/canvas.h"

class QMenu;

namespace stratlyn {

class QtCanvas : public QWidget, public Canvas {
  Q_OBJECT

 public:
  explicit QtCanvas(QWidget* parent = nullptr);

  // Canvas
  void SetScale(double x1, double y1, double x2, double y2) override;
  double ScaleWidth() const override;
  double ScaleHeight() const override;
  double OuterWidth() const override;
  double OuterHeight() const override;
  uint32_t BackColor() const override { return back_; }
  void SetBackColor(uint32_t rgb) override;
  uint32_t ForeColor() const override { return fore_; }
  void SetForeColor(uint32_t rgb) override { fore_ = rgb; }
  uint32_t FillColor() const override { return fill_; }
  void SetFillColor(uint32_t rgb) override { fill_ = rgb; }
  void SetFillStyle(FillStyle style) override { fill_style_ = style; }
  void SetDrawWidth(int pixels) override { draw_width_ = pixels < 1 ? 1 : pixels; }
  void Cls() override;
  void Refresh() override { update(); }
  double CurrentX() const override { return pen_x_; }
  double CurrentY() const override { return pen_y_; }
  void MoveTo(double x, double y) override;
  void PSet(double x, double y) override;
  void LineTo(double x, double y) override;
  void Box(double x1, double y1, double x2, double y2) override;
  void Sector(double cx, double cy, double radius, double start, double end,
              uint32_t outline = kUseForeColor) override;
  double TextHeight(const std::string& text) const override;
  void Print(const std::string& text) override;
  void SetFrame(const ChartFrame& frame) override;
  const ChartFrame& Frame() const { return frame_; }

  // The plot area inside the frame's margins, in widget pixels (the whole
  // widget without a frame).
  QRectF PlotRect() const;

  // Pixel position (widget coordinates) <-> user coordinates of the current scale.
  QPointF ToPixels(double x, double y) const;
  QPointF ToUser(const QPointF& pixels) const;

  // The page the plot is drawn on: the back colour, except that the default
  // white page takes the palette's base colour (dark under a dark theme).
  QColor PageColor() const;
  // The colour a drawing colour is shown in: as given on a light page; on a
  // dark page a colour too close to the page (contrast below 3:1) is shown
  // with its lightness turned over (dark blue becomes light blue), or in the
  // palette's text colour where that is still too close.
  QColor ShownColor(const QColor& colour) const;

  // The colours the display list is shown in (lines, texts and fills, each
  // once), after ShownColor.
  std::vector<QColor> ShownItemColours() const;
  // The colour of the frame's axes, ticks and captions.
  QColor FrameTextColour() const { return AxisColor(); }

  // Number of items in the display list.
  int ItemCount() const { return static_cast<int>(items_.size()); }
  // Draws the axes along the left and bottom edges (under the plot).
  void SetShowAxes(bool on);

  // The whole figure (plot, axes, tick labels, title) as an image; SaveImage
  // writes it as PNG and reports success.
  QImage Image();
  bool SaveImage(const QString& path);
  void CopyImage();
  // The context menu (built on demand; the widget shows it on right-click).
  QMenu* ContextMenu();

 signals:
  // Mouse events in user coordinates of the current scale; `buttons` as Qt's.
  void MouseDown(Qt::MouseButton button, double x, double y);
  void MouseMove(Qt::MouseButtons buttons, double x, double y);
  void MouseUp(Qt::MouseButton button, double x, double y);
  // The pointer left the widget.
  void MouseLeave();

 protected:
  void paintEvent(QPaintEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void contextMenuEvent(QContextMenuEvent* event) override;
  void leaveEvent(QEvent* event) override;
  void changeEvent(QEvent* event) override;

 private:
  struct Scale {
    double x1, y1, x2, y2;
    bool twips;  // the default scale: follows the widget's size
  };
  struct Item {
    enum Kind { kPoint, kLine, kBox, kSector, kText } kind;
    int scale;              // index into scales_
    double x1, y1, x2, y2;  // sector: centre, radius
    double start, end;      // sector angles as given
    QColor pen;
    QColor fill;
    bool filled;
    int width;
    QString text;
  };

  const Scale& Current() const { return scales_.back(); }
  QPointF Map(const Scale& s, double x, double y) const;
  double MapLengthX(const Scale& s, double length) const;
  Item Make(Item::Kind kind) const;
  void SaveImageAs();
  void PaintFrame(QPainter& p, const QRectF& plot) const;
  QColor AxisColor() const;

  std::vector<Scale> scales_;
  std::vector<Item> items_;
  double pen_x_ = 0;
  double pen_y_ = 0;
  uint32_t back_ = 0xFFFFFF;
  uint32_t fore_ = 0x000000;
  uint32_t fill_ = 0x000000;
  FillStyle fill_style_ = FillStyle::Transparent;
  int draw_width_ = 1;
  bool show_axes_ = true;
  ChartFrame frame_;
  QMenu* menu_ = nullptr;
};

// The contrast ratio of two colours by their relative luminance (1 to 21).
double ContrastRatio(const QColor& a, const QColor& b);

// A read-only text box used as an axis label.
class QtLabelBox : public QLineEdit, public TextBox {
  Q_OBJECT

 public:
  explicit QtLabelBox(QWidget* parent = nullptr);
  void SetText(const std::string& text) override;
  std::string Text() const override;
};

}  // namespace stratlyn
