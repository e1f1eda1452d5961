#include "charts/qt_canvas.h"

#include <QClipboard>
#include <QContextMenuEvent>
#include <QGuiApplication>
#include <QImage>
#include <QMenu>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <algorithm>
#include <cmath>

#include "util/dialogs.h"
#include "util/qt_file_dialogs.h"
#include "util/services.h"
#include "util/zel_error.h"

namespace stratlyn {

namespace {

constexpr double kTwipsPerPixel = 15.0;
constexpr double kTwoPi = 6.283185307179586;
constexpr double kRadToDeg = 57.29577951308232;

QColor ToQColor(uint32_t rgb) { return QColor(static_cast<QRgb>(rgb & 0xFFFFFFu)); }

// The default page colour, which follows the palette.
constexpr uint32_t kWhitePage = 0xFFFFFF;
// The least contrast of a line or a text against the page.
constexpr double kLeastContrast = 3.0;

double Luminance(const QColor& c) {
  const auto channel = [](double v) {
    return v <= 0.03928 ? v / 12.92 : std::pow((v + 0.055) / 1.055, 2.4);
  };
  return 0.2126 * channel(c.redF()) + 0.7152 * channel(c.greenF()) + 0.0722 * channel(c.blueF());
}

}  // namespace

double ContrastRatio(const QColor& a, const QColor& b) {
  const double la = Luminance(a), lb = Luminance(b);
  return (std::max(la, lb) + 0.05) / (std::min(la, lb) + 0.05);
}

QColor QtCanvas::PageColor() const {
  return back_ == kWhitePage ? palette().color(QPalette::Base) : ToQColor(back_);
}

QColor QtCanvas::ShownColor(const QColor& colour) const {
  const QColor page = PageColor();
  if (page.lightness() >= 128 || ContrastRatio(colour, page) >= kLeastContrast) {
    return colour;
  }
  const QColor turned = QColor::fromHslF(colour.hslHueF() < 0 ? 0 : colour.hslHueF(),
                                         colour.hslSaturationF(), 1.0 - colour.lightnessF());
  if (ContrastRatio(turned, page) >= kLeastContrast) {
    return turned;
  }
  return palette().color(QPalette::Text);
}

std::vector<QColor> QtCanvas::ShownItemColours() const {
  std::vector<QColor> out;
  const auto add = [&out](const QColor& c) {
    if (std::find(out.begin(), out.end(), c) == out.end()) {
      out.push_back(c);
    }
  };
  for (const Item& it : items_) {
    add(ShownColor(it.pen));
    if (it.filled) {
      add(ShownColor(it.fill));
    }
  }
  return out;
}

void QtCanvas::changeEvent(QEvent* event) {
  QWidget::changeEvent(event);
  if (event->type() == QEvent::PaletteChange) {
    update();
  }
}

QtCanvas::QtCanvas(QWidget* parent) : QWidget(parent) {
  scales_.push_back({0, 0, 0, 0, true});
  setAttribute(Qt::WA_OpaquePaintEvent);
  setMouseTracking(true);
  setMinimumSize(40, 30);
}

// ------------------------------------------------------------------- scale

void QtCanvas::SetScale(double x1, double y1, double x2, double y2) {
  const Scale& cur = Current();
  if (!cur.twips && cur.x1 == x1 && cur.y1 == y1 && cur.x2 == x2 && cur.y2 == y2) {
    return;
  }
  if (items_.empty()) {
    scales_.clear();  // nothing refers to the old ones
  }
  scales_.push_back({x1, y1, x2, y2, false});
}

double QtCanvas::ScaleWidth() const {
  const Scale& s = Current();
  return s.twips ? width() * kTwipsPerPixel : s.x2 - s.x1;
}

double QtCanvas::ScaleHeight() const {
  const Scale& s = Current();
  return s.twips ? height() * kTwipsPerPixel : s.y2 - s.y1;
}

double QtCanvas::OuterWidth() const { return width() * kTwipsPerPixel; }
double QtCanvas::OuterHeight() const { return height() * kTwipsPerPixel; }

QRectF QtCanvas::PlotRect() const {
  const QRectF all(0, 0, width(), height());
  if (frame_.Empty()) {
    return all;
  }
  const QFontMetricsF fm(font());
  const double line = fm.height();
  double left = 6, bottom = 4, top = 6, right = 8;
  if (!frame_.y_ticks.empty()) {
    double widest = 0;
    for (const auto& t : frame_.y_ticks) {
      widest = std::max(widest, fm.horizontalAdvance(QString::fromStdString(t.text)));
    }
    left += widest + 6;
  }
  if (!frame_.y_caption.empty()) {
    left += line + 2;
  }
  if (!frame_.x_ticks.empty()) {
    bottom += line + 4;
    // Room for half of the last label beyond the right edge.
    right = std::max(
        right, fm.horizontalAdvance(QString::fromStdString(frame_.x_ticks.back().text)) / 2 + 2);
  }
  if (!frame_.x_caption.empty()) {
    bottom += line + 2;
  }
  if (!frame_.title.empty()) {
    top += line * 1.2 + 4;
  } else {
    top = std::max(top, line / 2);  // the top y label is centred on the edge
  }
  QRectF r = all.adjusted(left, top, -right, -bottom);
  if (r.width() < 20 || r.height() < 20) {
    return all;  // too small for a frame: the plot keeps the widget
  }
  return r;
}

QPointF QtCanvas::Map(const Scale& s, double x, double y) const {
  if (s.twips) {
    return {x / kTwipsPerPixel, y / kTwipsPerPixel};
  }
  const QRectF r = PlotRect();
  const double w = s.x2 - s.x1, h = s.y2 - s.y1;
  // An empty range has no extent to spread over: its points sit on the edge.
  const double px = w != 0 ? (x - s.x1) / w * r.width() : 0.0;
  const double py = h != 0 ? (y - s.y1) / h * r.height() : 0.0;
  return {r.left() + px, r.top() + py};
}

double QtCanvas::MapLengthX(const Scale& s, double length) const {
  if (s.twips) {
    return length / kTwipsPerPixel;
  }
  const double w = std::fabs(s.x2 - s.x1);
  return w != 0 ? length / w * PlotRect().width() : 0.0;
}

QPointF QtCanvas::ToPixels(double x, double y) const { return Map(Current(), x, y); }

QPointF QtCanvas::ToUser(const QPointF& p) const {
  const Scale& s = Current();
  if (s.twips) {
    return {p.x() * kTwipsPerPixel, p.y() * kTwipsPerPixel};
  }
  const QRectF r = PlotRect();
  const double w = r.width() > 0 ? r.width() : 1, h = r.height() > 0 ? r.height() : 1;
  return {s.x1 + (p.x() - r.left()) / w * (s.x2 - s.x1),
          s.y1 + (p.y() - r.top()) / h * (s.y2 - s.y1)};
}

// ---------------------------------------------------------------- drawing

void QtCanvas::SetBackColor(uint32_t rgb) {
  back_ = rgb;
  update();
}

void QtCanvas::Cls() {
  items_.clear();
  frame_ = ChartFrame{};
  const Scale keep = Current();
  scales_.assign(1, keep);
  pen_x_ = keep.twips ? 0 : keep.x1;
  pen_y_ = keep.twips ? 0 : keep.y1;
  update();
}

QtCanvas::Item QtCanvas::Make(Item::Kind kind) const {
  Item it{};
  it.kind = kind;
  it.scale = static_cast<int>(scales_.size()) - 1;
  it.pen = ToQColor(fore_);
  it.fill = ToQColor(fill_);
  it.filled = fill_style_ == FillStyle::Solid;
  it.width = draw_width_;
  return it;
}

void QtCanvas::MoveTo(double x, double y) {
  pen_x_ = x;
  pen_y_ = y;
}

void QtCanvas::PSet(double x, double y) {
  Item it = Make(Item::kPoint);
  it.x1 = x;
  it.y1 = y;
  items_.push_back(it);
  MoveTo(x, y);
  update();
}

void QtCanvas::LineTo(double x, double y) {
  Item it = Make(Item::kLine);
  it.x1 = pen_x_;
  it.y1 = pen_y_;
  it.x2 = x;
  it.y2 = y;
  items_.push_back(it);
  MoveTo(x, y);
  update();
}

void QtCanvas::Box(double x1, double y1, double x2, double y2) {
  Item it = Make(Item::kBox);
  it.x1 = x1;
  it.y1 = y1;
  it.x2 = x2;
  it.y2 = y2;
  items_.push_back(it);
  MoveTo(x2, y2);
  update();
}

void QtCanvas::Sector(double cx, double cy, double radius, double start, double end,
                      uint32_t outline) {
  if (!(std::fabs(start) <= kTwoPi) || !(std::fabs(end) <= kTwoPi)) {
    throw zelError(err::kInvalidCall);
  }
  Item it = Make(Item::kSector);
  if (outline != kUseForeColor) {
    it.pen = ToQColor(outline);
  }
  it.x1 = cx;
  it.y1 = cy;
  it.x2 = radius;
  it.start = start;
  it.end = end;
  items_.push_back(it);
  update();
}

double QtCanvas::TextHeight(const std::string& text) const {
  const double px = fontMetrics().boundingRect(QString::fromStdString(text)).height();
  const Scale& s = Current();
  if (s.twips) {
    return px * kTwipsPerPixel;
  }
  const double plot_h = PlotRect().height();
  const double h = plot_h > 0 ? plot_h : 1;
  return px * std::fabs(s.y2 - s.y1) / h;
}

void QtCanvas::Print(const std::string& text) {
  Item it = Make(Item::kText);
  it.x1 = pen_x_;
  it.y1 = pen_y_;
  it.text = QString::fromStdString(text);
  items_.push_back(it);
  const Scale& s = Current();
  const double line = TextHeight(text);
  pen_x_ = s.twips ? 0 : s.x1;
  pen_y_ += (s.twips || s.y2 >= s.y1) ? line : -line;
  update();
}

void QtCanvas::SetShowAxes(bool on) {
  show_axes_ = on;
  update();
}

void QtCanvas::SetFrame(const ChartFrame& frame) {
  frame_ = frame;
  update();
}

QColor QtCanvas::AxisColor() const {
  const QColor back = PageColor();
  return back.lightness() < 128 ? QColor(200, 200, 200) : QColor(90, 90, 90);
}

void QtCanvas::PaintFrame(QPainter& p, const QRectF& plot) const {
  const Scale& s = Current();
  if (s.twips) {
    return;
  }
  const QColor axis = AxisColor();
  const QColor back = PageColor();
  // The grid: a tenth of the way from the back colour to the axis colour.
  QColor light((back.red() * 4 + axis.red()) / 5, (back.green() * 4 + axis.green()) / 5,
               (back.blue() * 4 + axis.blue()) / 5);
  const QFontMetricsF fm(font());
  p.save();
  p.setRenderHint(QPainter::Antialiasing, false);
  p.setBrush(Qt::NoBrush);
  // A number that would run into the one before it is left out (its tick
  // and grid line stay), so narrow plots keep readable labels.
  double last_right = -1e9;
  for (const auto& t : frame_.x_ticks) {
    const double x = Map(s, t.at, s.y1).x();
    if (frame_.grid) {
      p.setPen(QPen(light, 1));
      p.drawLine(QPointF(x, plot.top()), QPointF(x, plot.bottom()));
    }
    p.setPen(QPen(axis, 1));
    p.drawLine(QPointF(x, plot.bottom()), QPointF(x, plot.bottom() + 4));
    const QString text = QString::fromStdString(t.text);
    const double w = fm.horizontalAdvance(text);
    if (x - w / 2 >= last_right + 6) {
      p.drawText(QPointF(x - w / 2, plot.bottom() + 4 + fm.ascent()), text);
      last_right = x + w / 2;
    }
  }
  for (const auto& t : frame_.y_ticks) {
    const double y = Map(s, s.x1, t.at).y();
    if (frame_.grid) {
      p.setPen(QPen(light, 1));
      p.drawLine(QPointF(plot.left(), y), QPointF(plot.right(), y));
    }
    p.setPen(QPen(axis, 1));
    p.drawLine(QPointF(plot.left() - 4, y), QPointF(plot.left(), y));
    const QString text = QString::fromStdString(t.text);
    const double w = fm.horizontalAdvance(text);
    p.drawText(QPointF(plot.left() - 6 - w, y - fm.height() / 2 + fm.ascent()), text);
  }
  p.setPen(QPen(axis, 1));
  p.drawRect(plot);
  if (!frame_.x_caption.empty()) {
    const QString text = QString::fromStdString(frame_.x_caption);
    p.drawText(QRectF(plot.left(), height() - fm.height() - 2, plot.width(), fm.height()),
               Qt::AlignHCenter | Qt::AlignVCenter, text);
  }
  if (!frame_.y_caption.empty()) {
    p.save();
    p.translate(2, plot.center().y());
    p.rotate(-90);
    const QString text = QString::fromStdString(frame_.y_caption);
    p.drawText(QRectF(-plot.height() / 2, 0, plot.height(), fm.height()),
               Qt::AlignHCenter | Qt::AlignVCenter, text);
    p.restore();
  }
  if (!frame_.title.empty()) {
    QFont bold = font();
    bold.setBold(true);
    p.setFont(bold);
    p.drawText(QRectF(0, 2, width(), fm.height() * 1.2 + 2), Qt::AlignHCenter | Qt::AlignVCenter,
               QString::fromStdString(frame_.title));
  }
  p.restore();
}

void QtCanvas::paintEvent(QPaintEvent*) {
  QPainter p(this);
  p.fillRect(rect(), PageColor());
  p.setRenderHint(QPainter::Antialiasing, true);
  p.setRenderHint(QPainter::TextAntialiasing, true);
  const QRectF plot = PlotRect();
  const bool framed = !frame_.Empty();
  if (framed) {
    PaintFrame(p, plot);
    p.save();
    p.setClipRect(plot.adjusted(-1, -1, 1, 1));
  }

  for (const Item& it : items_) {
    const Scale& s = scales_[static_cast<size_t>(it.scale)];
    QPen pen(ShownColor(it.pen), it.width, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
    p.setPen(pen);
    p.setBrush(it.filled ? QBrush(ShownColor(it.fill)) : Qt::NoBrush);
    switch (it.kind) {
      case Item::kPoint:
        p.drawPoint(Map(s, it.x1, it.y1));
        break;
      case Item::kLine:
        p.drawLine(Map(s, it.x1, it.y1), Map(s, it.x2, it.y2));
        break;
      case Item::kBox: {
        // Bars on whole pixels, so that neighbours share a crisp edge.
        const QPointF a = Map(s, it.x1, it.y1), b = Map(s, it.x2, it.y2);
        const QRectF r = QRectF(a, b).normalized();
        const QRect whole(
            QPoint(static_cast<int>(std::lround(r.left())), static_cast<int>(std::lround(r.top()))),
            QPoint(static_cast<int>(std::lround(r.right())) - 1,
                   static_cast<int>(std::lround(r.bottom())) - 1));
        p.save();
        p.setRenderHint(QPainter::Antialiasing, false);
        pen.setJoinStyle(Qt::MiterJoin);
        pen.setWidth(1);
        p.setPen(pen);
        p.drawRect(whole);
        p.restore();
        break;
      }
      case Item::kSector: {
        const QPointF c = Map(s, it.x1, it.y1);
        const double r = MapLengthX(s, it.x2);
        const QRectF box(c.x() - r, c.y() - r, 2 * r, 2 * r);
        const double a0 = std::fabs(it.start), a1 = std::fabs(it.end);
        double span = a1 - a0;
        if (span < 0) {
          span += kTwoPi;
        }
        const int qa0 = static_cast<int>(std::lround(a0 * kRadToDeg * 16));
        const int qspan = static_cast<int>(std::lround(span * kRadToDeg * 16));
        if (it.start < 0 && it.end < 0) {
          p.drawPie(box, qa0, qspan);
        } else {
          p.drawArc(box, qa0, qspan);
          if (it.start < 0) {
            p.drawLine(c, c + QPointF(r * std::cos(a0), -r * std::sin(a0)));
          }
          if (it.end < 0) {
            p.drawLine(c, c + QPointF(r * std::cos(a1), -r * std::sin(a1)));
          }
        }
        break;
      }
      case Item::kText: {
        const QPointF at = Map(s, it.x1, it.y1);
        p.drawText(at + QPointF(0, fontMetrics().ascent()), it.text);
        break;
      }
    }
  }

  if (framed) {
    if (frame_.marker_x && !Current().twips) {
      // The marker: a dashed line at the current input, a dot on the curve.
      const Scale& s = Current();
      const QColor mark =
          PageColor().lightness() < 128 ? QColor(120, 200, 255) : QColor(20, 90, 200);
      const double x = Map(s, *frame_.marker_x, s.y1).x();
      p.setPen(QPen(mark, 1, Qt::DashLine));
      p.drawLine(QPointF(x, plot.top()), QPointF(x, plot.bottom()));
      const QFontMetricsF fm(font());
      double label_y = plot.top() + 2 + fm.ascent();
      if (frame_.marker_y) {
        const QPointF dot = Map(s, *frame_.marker_x, *frame_.marker_y);
        p.setPen(QPen(mark, 1));
        p.setBrush(mark);
        p.drawEllipse(dot, 3.5, 3.5);
        label_y = std::clamp(dot.y() - 6, plot.top() + fm.ascent(), plot.bottom() - 2);
      }
      if (!frame_.marker_label.empty()) {
        const QString text = QString::fromStdString(frame_.marker_label);
        const double w = fm.horizontalAdvance(text);
        // Beside the line, on the side with room.
        const double tx = x + 5 + w <= plot.right() ? x + 5 : x - 5 - w;
        p.setPen(QPen(mark, 1));
        p.drawText(QPointF(tx, label_y), text);
      }
    }
    p.restore();
  } else if (show_axes_) {
    // Axes along the left and bottom edges, in a shade that reads on the back colour.
    const QColor axis = AxisColor();
    p.setRenderHint(QPainter::Antialiasing, false);
    p.setPen(QPen(axis, 1));
    p.setBrush(Qt::NoBrush);
    const int w = width() - 1, h = height() - 1;
    p.drawLine(0, 0, 0, h);
    p.drawLine(0, h, w, h);
    for (int i = 1; i < 10; ++i) {
      const int x = w * i / 10;
      p.drawLine(x, h, x, h - 4);
    }
    for (int i = 1; i < 5; ++i) {
      const int y = h * i / 5;
      p.drawLine(0, y, 4, y);
    }
  }
}

// -------------------------------------------------------- mouse and menus

void QtCanvas::mousePressEvent(QMouseEvent* event) {
  if (event->button() == Qt::RightButton) {
    return;  // the context menu
  }
  const QPointF u = ToUser(event->position());
  emit MouseDown(event->button(), u.x(), u.y());
}

void QtCanvas::mouseMoveEvent(QMouseEvent* event) {
  const QPointF u = ToUser(event->position());
  emit MouseMove(event->buttons(), u.x(), u.y());
}

void QtCanvas::mouseReleaseEvent(QMouseEvent* event) {
  if (event->button() == Qt::RightButton) {
    return;
  }
  const QPointF u = ToUser(event->position());
  emit MouseUp(event->button(), u.x(), u.y());
}

QMenu* QtCanvas::ContextMenu() {
  if (menu_ == nullptr) {
    menu_ = new QMenu(this);
    menu_->addAction(tr("Copy Image"), this, &QtCanvas::CopyImage);
    menu_->addAction(tr("Save Image..."), this, &QtCanvas::SaveImageAs);
  }
  return menu_;
}

void QtCanvas::leaveEvent(QEvent* event) {
  QWidget::leaveEvent(event);
  emit MouseLeave();
}

void QtCanvas::contextMenuEvent(QContextMenuEvent* event) {
  ContextMenu()->popup(event->globalPos());
}

QImage QtCanvas::Image() { return grab().toImage(); }

void QtCanvas::CopyImage() {
  if (QClipboard* cb = QGuiApplication::clipboard()) {
    cb->setImage(Image());
  }
}

bool QtCanvas::SaveImage(const QString& path) { return Image().save(path, "PNG"); }

void QtCanvas::SaveImageAs() {
  QString path = ChooseSaveFile(this, tr("Save Image"), "plot.png", tr("PNG image (*.png)"));
  if (path.isEmpty()) {
    return;
  }
  if (!path.endsWith(QStringLiteral(".png"), Qt::CaseInsensitive)) {
    path += QStringLiteral(".png");
  }
  if (!SaveImage(path)) {
    AppDialogs().Show("The image could not be saved as " + path.toStdString() + ".", MsgButtons::Ok,
                      MsgIcon::Critical, kMessageTitle);
  }
}

// ------------------------------------------------------------- label box

QtLabelBox::QtLabelBox(QWidget* parent) : QLineEdit(parent) {
  setReadOnly(true);
  setFrame(false);
  setFocusPolicy(Qt::NoFocus);
  setAlignment(Qt::AlignCenter);
  // Reads as a label beside the plot, not as an entry field: no box of its
  // own, so it stands on its panel's background under any palette.
  QPalette pal = palette();
  pal.setColor(QPalette::Base, Qt::transparent);
  setPalette(pal);
}

void QtLabelBox::SetText(const std::string& text) { setText(QString::fromStdString(text)); }

std::string QtLabelBox::Text() const { return text().toStdString(); }

}  // namespace stratlyn
