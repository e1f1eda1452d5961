#include "charts/qt_canvas.h"

#include <QClipboard>
#include <QContextMenuEvent>
#include <QFileDialog>
#include <QGuiApplication>
#include <QImage>
#include <QMenu>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <cmath>

#include "util/dialogs.h"
#include "util/services.h"
#include "util/zel_error.h"

namespace stratlyn {

namespace {

constexpr double kTwipsPerPixel = 15.0;
constexpr double kTwoPi = 6.283185307179586;
constexpr double kRadToDeg = 57.29577951308232;

QColor ToQColor(uint32_t rgb) { return QColor(static_cast<QRgb>(rgb & 0xFFFFFFu)); }

}  // namespace

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

QPointF QtCanvas::Map(const Scale& s, double x, double y) const {
  if (s.twips) {
    return {x / kTwipsPerPixel, y / kTwipsPerPixel};
  }
  const double w = s.x2 - s.x1, h = s.y2 - s.y1;
  // An empty range has no extent to spread over: its points sit on the edge.
  const double px = w != 0 ? (x - s.x1) / w * width() : 0.0;
  const double py = h != 0 ? (y - s.y1) / h * height() : 0.0;
  return {px, py};
}

double QtCanvas::MapLengthX(const Scale& s, double length) const {
  if (s.twips) {
    return length / kTwipsPerPixel;
  }
  const double w = std::fabs(s.x2 - s.x1);
  return w != 0 ? length / w * width() : 0.0;
}

QPointF QtCanvas::ToPixels(double x, double y) const { return Map(Current(), x, y); }

QPointF QtCanvas::ToUser(const QPointF& p) const {
  const Scale& s = Current();
  if (s.twips) {
    return {p.x() * kTwipsPerPixel, p.y() * kTwipsPerPixel};
  }
  const double w = width() > 0 ? width() : 1, h = height() > 0 ? height() : 1;
  return {s.x1 + p.x() / w * (s.x2 - s.x1), s.y1 + p.y() / h * (s.y2 - s.y1)};
}

// ---------------------------------------------------------------- drawing

void QtCanvas::SetBackColor(uint32_t rgb) {
  back_ = rgb;
  update();
}

void QtCanvas::Cls() {
  items_.clear();
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
  const double h = height() > 0 ? height() : 1;
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

void QtCanvas::paintEvent(QPaintEvent*) {
  QPainter p(this);
  p.fillRect(rect(), ToQColor(back_));
  p.setRenderHint(QPainter::Antialiasing, true);
  p.setRenderHint(QPainter::TextAntialiasing, true);

  for (const Item& it : items_) {
    const Scale& s = scales_[static_cast<size_t>(it.scale)];
    QPen pen(it.pen, it.width, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
    p.setPen(pen);
    p.setBrush(it.filled ? QBrush(it.fill) : Qt::NoBrush);
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

  if (show_axes_) {
    // Axes along the left and bottom edges, in a shade that reads on the back colour.
    const QColor back = ToQColor(back_);
    const QColor axis = back.lightness() < 128 ? QColor(200, 200, 200) : QColor(90, 90, 90);
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
  QString path =
      QFileDialog::getSaveFileName(this, tr("Save Image"), QString(), tr("PNG image (*.png)"));
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
  // Reads as a label beside the plot, not as an entry field.
  QPalette pal = palette();
  pal.setColor(QPalette::Base, pal.color(QPalette::Window));
  setPalette(pal);
}

void QtLabelBox::SetText(const std::string& text) { setText(QString::fromStdString(text)); }

std::string QtLabelBox::Text() const { return text().toStdString(); }

}  // namespace stratlyn
