#include "charts/qt_scaled_panel.h"

#include "charts/qt_scalable_control.h"
#include "charts/zel_set_display.h"

namespace stratlyn {

ScaledPanel::ScaledPanel(QWidget* parent, int layout_width, int layout_height)
    : QWidget(parent),
      layout_width_(layout_width),
      layout_height_(layout_height),
      display_(std::make_unique<zelSetDisplay>()) {
  QFont base = font();
  base.setPointSize(8);
  setFont(base);
  setAutoFillBackground(true);
  resize(TwipsToPx(layout_width_), TwipsToPx(layout_height_));
}

ScaledPanel::~ScaledPanel() = default;

void ScaledPanel::PlaceWidget(QWidget* widget, int left, int top, int width, int height) {
  auto control = std::make_unique<QtScalableControl>(widget);
  control->SetBox({left, top, width, height});
  scalables_.push_back(std::move(control));
}

void ScaledPanel::AddScalable(std::unique_ptr<ScalableControl> control) {
  scalables_.push_back(std::move(control));
}

void ScaledPanel::RegisterDisplay() {
  uc_width_ = layout_width_;
  uc_height_ = layout_height_;
  display_->Initialize(uc_width_, uc_height_, static_cast<int16_t>(scalables_.size()));
  for (size_t i = 0; i < scalables_.size(); ++i) {
    display_->SetUpDisplay(static_cast<int16_t>(i), *scalables_[i]);
  }
}

void ScaledPanel::EnlargeFont() {
  display_->EnlargeFont(uc_width_, uc_height_);
  resize(TwipsToPx(uc_width_), TwipsToPx(uc_height_));
  DisplayChanged();
}

void ScaledPanel::ReduceFont() {
  display_->ReduceFont(uc_width_, uc_height_);
  resize(TwipsToPx(uc_width_), TwipsToPx(uc_height_));
  DisplayChanged();
}

}  // namespace stratlyn
