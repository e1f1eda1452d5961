#include "charts/qt_scalable_control.h"

#include <QPaintEvent>
#include <QPainter>
#include <algorithm>
#include <stdexcept>

namespace stratlyn {
namespace {

constexpr int kTwips = 15;  // twips per pixel

}  // namespace

int TwipsToPx(int twips) {
  return twips >= 0 ? (twips + kTwips / 2) / kTwips : -((-twips + kTwips / 2) / kTwips);
}

int PxToTwips(int pixels) { return pixels * kTwips; }

LineControl::LineControl(QWidget* parent)
    : QWidget(parent), color_(palette().color(QPalette::Mid)) {
  setAttribute(Qt::WA_TransparentForMouseEvents);
  setAttribute(Qt::WA_NoSystemBackground);
}

void LineControl::SetEnds(const TwipLine& line) {
  ends_ = line;
  const int x1 = TwipsToPx(line.x1), y1 = TwipsToPx(line.y1);
  const int x2 = TwipsToPx(line.x2), y2 = TwipsToPx(line.y2);
  const int pad = (border_width_ + 1) / 2;
  setGeometry(std::min(x1, x2) - pad, std::min(y1, y2) - pad, std::abs(x2 - x1) + 2 * pad + 1,
              std::abs(y2 - y1) + 2 * pad + 1);
  update();
}

void LineControl::SetBorderWidth(int pixels) {
  border_width_ = std::max(1, pixels);
  SetEnds(ends_);
}

void LineControl::SetColor(const QColor& color) {
  color_ = color;
  update();
}

void LineControl::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.setPen(QPen(color_, border_width_, Qt::SolidLine, Qt::FlatCap));
  const QPoint origin = pos();
  painter.drawLine(QPoint(TwipsToPx(ends_.x1), TwipsToPx(ends_.y1)) - origin,
                   QPoint(TwipsToPx(ends_.x2), TwipsToPx(ends_.y2)) - origin);
}

TwipBox QtScalableControl::Box() const {
  if (!widget_) {
    return {};
  }
  const QRect g = widget_->geometry();
  if (has_last_ && g == QRect(TwipsToPx(last_.left), TwipsToPx(last_.top), TwipsToPx(last_.width),
                              TwipsToPx(last_.height))) {
    return last_;
  }
  return {PxToTwips(g.x()), PxToTwips(g.y()), PxToTwips(g.width()), PxToTwips(g.height())};
}

void QtScalableControl::SetBox(const TwipBox& box) {
  if (!widget_) {
    return;
  }
  if (box.width < 0 || box.height < 0) {
    throw std::invalid_argument("negative size");
  }
  widget_->setGeometry(TwipsToPx(box.left), TwipsToPx(box.top), TwipsToPx(box.width),
                       TwipsToPx(box.height));
  last_ = box;
  has_last_ = true;
}

void QtScalableControl::SetFontSize(int points) {
  if (!widget_ || points <= 0) {
    return;
  }
  QFont font = widget_->font();
  font.setPointSize(points);
  widget_->setFont(font);
}

void QtScalableControl::SetFontBold(bool bold) {
  if (!widget_) {
    return;
  }
  QFont font = widget_->font();
  font.setBold(bold);
  widget_->setFont(font);
}

TwipLine QtScalableLine::LineEnds() const { return line_ ? line_->Ends() : TwipLine{}; }

void QtScalableLine::SetLineEnds(const TwipLine& line) {
  if (line_) {
    line_->SetEnds(line);
  }
}

}  // namespace stratlyn
