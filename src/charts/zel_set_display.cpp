#include "charts/zel_set_display.h"

#include <cmath>
#include <exception>
#include <limits>
#include <optional>

namespace stratlyn {
namespace {

// Half-to-even rounding of a non-negative product, as the panel size is
// rounded.
int32_t RoundEven(double x) {
  double r = std::round(x);
  if (std::fabs(x - std::trunc(x)) == 0.5) {
    r = 2.0 * std::round(x / 2.0);
  }
  return static_cast<int32_t>(r);
}

// floor(value / ratio), or nothing when that is no 32-bit whole number.
std::optional<int32_t> Scaled(int32_t value, float ratio) {
  const double q = std::floor(static_cast<double>(value) / static_cast<double>(ratio));
  if (!std::isfinite(q) || q < std::numeric_limits<int32_t>::min() ||
      q > std::numeric_limits<int32_t>::max()) {
    return std::nullopt;
  }
  return static_cast<int32_t>(q);
}

// Runs one step of scaling; a control that refuses it keeps its old value.
template <typename Step>
void Try(Step step) {
  try {
    step();
  } catch (const std::exception&) {
  }
}

}  // namespace

void zelSetDisplay::Initialize(int32_t oWidth, int32_t oHeight, int16_t nCont) {
  width_ = oWidth;
  height_ = oHeight;
  count_ = nCont < 0 ? 0 : nCont;
  slots_.assign(static_cast<size_t>(count_) + 1, Slot{});
}

void zelSetDisplay::SetUpDisplay(int16_t i, ScalableControl& ctrl) {
  if (i < 0 || static_cast<size_t>(i) >= slots_.size()) {
    return;
  }
  Try([&] {
    Slot slot;
    slot.line = ctrl.IsLine();
    if (slot.line) {
      const TwipLine l = ctrl.LineEnds();
      slot.left = l.x1;
      slot.width = l.x2;
      slot.top = l.y1;
      slot.height = l.y2;
    } else {
      if (!ctrl.HasBox()) {
        return;
      }
      const TwipBox b = ctrl.Box();
      slot.left = b.left;
      slot.top = b.top;
      slot.width = b.width;
      slot.height = b.height;
    }
    slot.ctrl = &ctrl;
    slots_[static_cast<size_t>(i)] = slot;
  });
}

void zelSetDisplay::EnlargeFont(int32_t& xWidth, int32_t& xHeight) {
  xWidth = RoundEven(width_ * 1.7);
  xHeight = RoundEven(height_ * 1.5);
  // The 400 twips at the panel's top are left out of the vertical ratio. A
  // panel too short for that would get a zero or negative ratio (controls
  // thrown off the panel), so it is stretched by its plain height ratio.
  float ry = static_cast<float>(static_cast<double>(height_ - 400) / (xHeight - 400.0));
  if (!std::isfinite(ry) || ry <= 0.0f) {
    ry = static_cast<float>(static_cast<double>(height_) / xHeight);
  }
  const float rx = static_cast<float>(static_cast<double>(width_) / xWidth);
  if (!(rx > 0.0f && std::isfinite(rx) && ry > 0.0f && std::isfinite(ry))) {
    return;
  }

  for (int i = 0; i < count_; ++i) {
    const Slot& s = slots_[static_cast<size_t>(i)];
    if (s.ctrl == nullptr) {
      continue;
    }
    ScalableControl& c = *s.ctrl;
    if (s.line) {
      Try([&] {
        TwipLine l = c.LineEnds();
        if (auto v = Scaled(s.top, ry)) {
          l.y1 = *v;
        }
        if (auto v = Scaled(s.left, rx)) {
          l.x1 = *v;
        }
        if (auto v = Scaled(s.height, ry)) {
          l.y2 = *v;
        }
        if (auto v = Scaled(s.width, rx)) {
          l.x2 = *v;
        }
        c.SetLineEnds(l);
      });
      continue;
    }
    Try([&] {
      TwipBox b = c.Box();
      if (auto v = Scaled(s.top, ry)) {
        b.top = *v;
      }
      if (auto v = Scaled(s.left, rx)) {
        b.left = *v;
      }
      if (auto v = Scaled(s.height, ry)) {
        b.height = *v;
      }
      if (auto v = Scaled(s.width, rx)) {
        b.width = *v;
      }
      c.SetBox(b);
    });
    if (c.HasFont()) {
      Try([&] { c.SetFontSize(12); });
      Try([&] { c.SetFontBold(true); });
    }
  }
}

void zelSetDisplay::ReduceFont(int32_t& xWidth, int32_t& xHeight) {
  for (int i = 0; i < count_; ++i) {
    const Slot& s = slots_[static_cast<size_t>(i)];
    if (s.ctrl == nullptr) {
      continue;
    }
    ScalableControl& c = *s.ctrl;
    if (s.line) {
      Try([&] { c.SetLineEnds(TwipLine{s.left, s.top, s.width, s.height}); });
      continue;
    }
    if (c.HasFont()) {
      Try([&] { c.SetFontSize(8); });
      Try([&] { c.SetFontBold(false); });
    }
    Try([&] { c.SetBox(TwipBox{s.left, s.top, s.width, s.height}); });
  }
  xWidth = width_;
  xHeight = height_;
}

}  // namespace stratlyn
