// zelDraw: line and bar charts on a Canvas, their scales, labels and
// figure (title, captions, grid lines); the pies have their own file.

#include "charts/zel_draw.h"

#include <algorithm>
#include <cmath>
#include <exception>

#include "charts/axis_ticks.h"
#include "charts/zel_draw_support.h"
#include "util/error_handler.h"
#include "util/format.h"
#include "util/fp_checks.h"
#include "util/grid.h"
#include "util/locale_info.h"
#include "util/services.h"
#include "util/zel_error.h"

namespace stratlyn {

using namespace zel_draw;

namespace {

// Label formats: y ends with two decimals, x ends with four (at least).
constexpr int kYLabelDecimals = 2;
constexpr int kXLabelDecimals = 4;
constexpr std::string_view kXLabelFormat = "0.0000";

// One bound widened by a factor, in single precision; zelError 6 on overflow.
float Scaled(float v, float factor) { return ToSingle(static_cast<double>(v) * factor); }

}  // namespace

uint32_t PaletteColor(int index) {
  static constexpr uint32_t kPalette[16] = {
      0x000000, 0x000080, 0x008000, 0x008080, 0x800000, 0x800080, 0x808000, 0xC0C0C0,
      0x808080, 0x0000FF, 0x00FF00, 0x00FFFF, 0xFF0000, 0xFF00FF, 0xFFFF00, 0xFFFFFF};
  if (index < 0 || index > 15) {
    throw zelError(err::kInvalidCall);
  }
  return kPalette[index];
}

// -------------------------------------------------------------- FloatMatrix

FloatMatrix::FloatMatrix(int points, int series)
    : points_(std::max(points, 0)),
      series_(std::max(series, 0)),
      values_(static_cast<size_t>(points_) * series_, 0.0f) {}

float FloatMatrix::At(int point, int series) const {
  if (point < 0 || point >= points_ || series < 0 || series >= series_) {
    throw zelError(err::kSubscript);
  }
  return values_[static_cast<size_t>(point) * series_ + series];
}

void FloatMatrix::Set(int point, int series, float value) {
  if (point < 0 || point >= points_ || series < 0 || series >= series_) {
    throw zelError(err::kSubscript);
  }
  values_[static_cast<size_t>(point) * series_ + series] = value;
}

// ------------------------------------------------------------------ set-up

void zelDraw::Initialize() {
  x_up_ = 1.05f;
  x_down_ = 0.95f;
  y_up_ = 1.01f;
  y_down_ = 0.99f;
}

void zelDraw::InitializePictureBox(Canvas* pb) {
  pbox_ = pb;
  AppEvents().ProcessPending();
}

void zelDraw::InitializeTextBox(TextBox* tb, int i) {
  if (i < 0 || i > 3) {
    throw zelError(err::kSubscript);
  }
  labels_[static_cast<size_t>(i)] = tb;
}

void zelDraw::SetDrawColors(uint32_t backClr, uint32_t foreClr, uint32_t fillClr,
                            int16_t drawWdth) {
  Canvas& pb = Box();
  pb.SetBackColor(backClr);
  pb.SetForeColor(foreClr);
  pb.SetFillColor(fillClr);
  pb.SetDrawWidth(drawWdth);
  AppEvents().ProcessPending();
}

void zelDraw::SetXFactors(float uf, float df) {
  x_up_ = uf;
  x_down_ = df;
}

void zelDraw::SetYFactors(float uf, float df) {
  y_up_ = uf;
  y_down_ = df;
}

Canvas& zelDraw::Box() const {
  if (pbox_ == nullptr) {
    throw zelError(err::kObjectNotSet);
  }
  return *pbox_;
}

void zelDraw::SetLabel(int i, const std::string& text) {
  // A chart may run without label boxes; only the set ones are written.
  if (TextBox* tb = labels_[static_cast<size_t>(i)]) {
    tb->SetText(text);
  }
}

// Called from inside a catch block only. Not RunCommand: the drawing calls
// catch everything (`...` too), so that nothing escapes a paint, and mark the
// chart as failed.
void zelDraw::Trap() {
  error_ = true;
  try {
    throw;
  } catch (const std::exception& e) {
    ErrorHandler(e);
  } catch (...) {
    ErrorHandler(zelError(51));
  }
}

// --------------------------------------------------------- bounds and scale

void zelDraw::SetMinMax(float xval, int ii) {
  if (ii < 0 || ii > 3) {
    throw zelError(err::kSubscript);
  }
  bounds_[static_cast<size_t>(ii)] = xval;
}

float zelDraw::GetMinMax(int ii) const {
  if (ii < 0 || ii > 3) {
    return -999.0f;
  }
  return bounds_[static_cast<size_t>(ii)];
}

void zelDraw::SetScale() {
  if (!(bounds_[kYMax] > bounds_[kYMin])) {
    bounds_[kYMax] = bounds_[kYMin] + 1.0f;
  }
  if (!(bounds_[kXMax] > bounds_[kXMin])) {
    bounds_[kXMax] = bounds_[kXMin] + 1.0f;
  }
  Box().SetScale(bounds_[kXMin], bounds_[kYMax], bounds_[kXMax], bounds_[kYMin]);
  scaled_ = true;
  SendFrame();
}

void zelDraw::SetExternalScale() {
  for (int i = 0; i < 4; ++i) {
    try {
      SetLabel(i, Number(bounds_[static_cast<size_t>(i)], kXLabelFormat));
    } catch (const std::exception&) {
      // a label that cannot be written is left as it was
    }
  }
  try {
    Box().SetScale(bounds_[kXMin], bounds_[kYMax], bounds_[kXMax], bounds_[kYMin]);
    scaled_ = true;
    SendFrame();
  } catch (const std::exception&) {
    // no picture box: nothing to scale
  }
}

void zelDraw::FitY(float mn, float mx) {
  const float top = mx > 0 ? Scaled(mx, y_up_) : Scaled(mx, y_down_);
  const float bottom = mn > 0 ? Scaled(mn, y_down_) : Scaled(mn, y_up_);
  bounds_[kYMax] = top;
  bounds_[kYMin] = bottom;
  WriteEnds(kYMax, top, kYMin, bottom, kYLabelDecimals);
}

void zelDraw::WriteEnds(int i, float a, int j, float b, int decimals) {
  // Two different ends never read the same ("0.03 ... 0.03"): decimals are
  // added until they differ, up to ten.
  std::string ta, tb;
  for (;; ++decimals) {
    const std::string pattern = "0." + std::string(static_cast<size_t>(decimals), '0');
    ta = Number(a, pattern);
    tb = Number(b, pattern);
    if (ta != tb || a == b || decimals >= 10) {
      break;
    }
  }
  SetLabel(i, ta);
  SetLabel(j, tb);
}

void zelDraw::FitX(float mn, float mx) {
  const float right = mx > 0 ? Scaled(mx, x_up_) : Scaled(mx, x_down_);
  const float left = mn > 0 ? Scaled(mn, x_down_) : Scaled(mn, x_up_);
  bounds_[kXMax] = right;
  bounds_[kXMin] = left;
  WriteEnds(kXMin, left, kXMax, right, kXLabelDecimals);
}

void zelDraw::CalcYScale(std::span<const float> y, int n, int start) {
  error_ = false;
  try {
    float mn = At(y, start), mx = mn;
    for (int i = start + 1; i <= n - 1; ++i) {
      const float v = At(y, i);
      if (v > mx) {
        mx = v;
      }
      if (v < mn) {
        mn = v;
      }
    }
    FitY(mn, mx);
  } catch (...) {
    Trap();
  }
}

void zelDraw::CalcXScale(std::span<const float> x, int n, int start) {
  float mn = At(x, start), mx = mn;
  for (int i = start + 1; i <= n - 1; ++i) {
    const float v = At(x, i);
    if (v > mx) {
      mx = v;
    }
    if (v < mn) {
      mn = v;
    }
  }
  FitX(mn, mx);
}

void zelDraw::CalcYScaleMatrix(const FloatMatrix& values, int n, int start, int series) {
  float mn = values.At(start, series), mx = mn;
  for (int i = start + 1; i <= n; ++i) {
    const float v = values.At(i, series);
    if (v > mx) {
      mx = v;
    }
    if (v < mn) {
      mn = v;
    }
  }
  FitY(mn, mx);
}

void zelDraw::CalcWholeMatrixScale(const FloatMatrix& values, int lastPoint, int firstPoint,
                                   int firstSeries, int lastSeries) {
  float mn = values.At(firstPoint, firstSeries), mx = mn;
  for (int j = firstSeries; j <= lastSeries; ++j) {
    for (int i = firstPoint; i <= lastPoint; ++i) {
      const float v = values.At(i, j);
      if (v > mx) {
        mx = v;
      }
      if (v < mn) {
        mn = v;
      }
    }
  }
  FitY(mn, mx);
}

// ----------------------------------------------------------------- drawing

void zelDraw::DrawLine(std::span<const float> x, std::span<const float> y, int n, bool rescale,
                       int start) {
  error_ = false;
  try {
    if (rescale) {
      CalcYScale(y, n, start);
      CalcXScale(x, n, start);
      SetScale();
    }
    Canvas& pb = Box();
    ClearSeries();
    pb.MoveTo(At(x, 1), At(y, 1));
    series_.emplace_back(At(x, 1), At(y, 1));
    for (int i = 1; i <= n - 1; ++i) {
      pb.LineTo(At(x, i), At(y, i));
      if (i > 1) {
        series_.emplace_back(At(x, i), At(y, i));
      }
    }
    series_kind_ = SeriesKind::kLine;
    SendFrame();
  } catch (...) {
    Trap();
  }
}

void zelDraw::DrawPlainLine(std::span<const float> y, int n, bool rescale, int start) {
  error_ = false;
  try {
    bounds_[kXMin] = static_cast<float>(start);
    bounds_[kXMax] = static_cast<float>(n);
    SetLabel(kXMin, std::to_string(start));
    SetLabel(kXMax, std::to_string(n));
    if (rescale) {
      CalcYScale(y, n, start);
      SetScale();
    }
    Canvas& pb = Box();
    ClearSeries();
    pb.MoveTo(start, At(y, 1));
    series_.emplace_back(start, At(y, 1));
    for (int i = 1; i <= n - 1; ++i) {
      pb.LineTo(i, At(y, i));
      series_.emplace_back(i, At(y, i));
    }
    series_kind_ = SeriesKind::kLine;
    SendFrame();
  } catch (...) {
    Trap();
  }
}

void zelDraw::DrawPlainLineMatrix(const FloatMatrix& values, int n, bool rescale, int start,
                                  int series) {
  bounds_[kXMin] = static_cast<float>(start);
  bounds_[kXMax] = static_cast<float>(n);
  SetLabel(kXMin, std::to_string(start));
  SetLabel(kXMax, std::to_string(n));
  if (rescale) {
    CalcYScaleMatrix(values, n, start, series);
    SetScale();
  }
  Canvas& pb = Box();
  ClearSeries();
  pb.MoveTo(start, values.At(start, series));
  for (int i = start; i <= n - 1; ++i) {
    pb.LineTo(i, values.At(i, series));
    series_.emplace_back(i, values.At(i, series));
  }
  series_kind_ = SeriesKind::kLine;
  SendFrame();
}

void zelDraw::DrawBar(std::span<const float> values, int n, bool rescale, int start) {
  error_ = false;
  try {
    if (rescale) {
      CalcYScale(values, n, start);
      bounds_[kXMin] = static_cast<float>(start);
      bounds_[kXMax] = static_cast<float>(n);
      SetScale();
    }
    Canvas& pb = Box();
    ClearSeries();
    pb.MoveTo(start, At(values, start));
    for (int i = start + 1; i <= n; ++i) {
      pb.Box(i - 1, 0.0, i, At(values, i));
      series_.emplace_back(i, At(values, i));
    }
    series_kind_ = SeriesKind::kBars;
    SendFrame();
  } catch (...) {
    Trap();
  }
}

void zelDraw::DrawPoint(double x1, double y1) { Box().PSet(ToSingle(x1), ToSingle(y1)); }

// ------------------------------------------------------------------ figure

void zelDraw::SetTitle(const std::string& title) {
  title_ = title;
  SendFrame();
}

void zelDraw::SetAxisCaptions(const std::string& x, const std::string& y) {
  x_caption_ = x;
  y_caption_ = y;
  SendFrame();
}

void zelDraw::SetGridLines(bool on) {
  grid_lines_ = on;
  SendFrame();
}

void zelDraw::SetTickTargets(int x, int y) {
  x_ticks_ = std::max(1, x);
  y_ticks_ = std::max(1, y);
  SendFrame();
}

void zelDraw::SetXAxisUnits(double factor, double offset) {
  if (factor == 0 || !std::isfinite(factor) || !std::isfinite(offset)) {
    throw zelError(err::kInvalidCall);
  }
  x_factor_ = factor;
  x_offset_ = offset;
  SendFrame();
}

void zelDraw::SetMarker(double x, const std::string& label) {
  marker_x_ = x;
  marker_label_ = label;
  SendFrame();
}

void zelDraw::ClearMarker() {
  marker_x_.reset();
  marker_label_.clear();
  SendFrame();
}

void zelDraw::ClearSeries() {
  series_kind_ = SeriesKind::kNone;
  series_.clear();
}

void zelDraw::Clear() {
  ClearSeries();
  marker_x_.reset();
  marker_label_.clear();
  scaled_ = false;
  Box().Cls();
}

std::optional<double> zelDraw::ValueAt(double x) const {
  if (!std::isfinite(x)) {
    return std::nullopt;
  }
  if (series_kind_ == SeriesKind::kBars) {
    // Bar i spans (i - 1, i]; the left end of the first bar belongs to it.
    for (const auto& [i, h] : series_) {
      if (x > i - 1 && x <= i) {
        return h;
      }
    }
    if (!series_.empty() && x == series_.front().first - 1) {
      return series_.front().second;
    }
    return std::nullopt;
  }
  if (series_kind_ == SeriesKind::kLine) {
    if (series_.size() == 1) {
      return x == series_[0].first ? std::optional<double>(series_[0].second) : std::nullopt;
    }
    for (size_t k = 1; k < series_.size(); ++k) {
      const auto [x0, y0] = series_[k - 1];
      const auto [x1, y1] = series_[k];
      if (x >= std::min(x0, x1) && x <= std::max(x0, x1)) {
        if (x1 == x0) {
          return y1;
        }
        return y0 + (y1 - y0) * (x - x0) / (x1 - x0);
      }
    }
  }
  return std::nullopt;
}

std::optional<zelDraw::Readout> zelDraw::ReadoutAt(double x) const {
  const std::optional<double> y = ValueAt(x);
  if (!y) {
    return std::nullopt;
  }
  return Readout{ShownX(x), *y};
}

ChartFrame zelDraw::BuildFrame() const {
  ChartFrame frame;
  frame.title = title_;
  frame.x_caption = x_caption_;
  frame.y_caption = y_caption_;
  frame.grid = grid_lines_;
  const char dp = [] {
    const std::string& p = CurrentEntryLocale().decimal_point;
    return p.size() == 1 ? p[0] : '.';
  }();
  const double x_lo = ShownX(bounds_[kXMin]), x_hi = ShownX(bounds_[kXMax]);
  for (const AxisTick& t : AxisTicks(std::min(x_lo, x_hi), std::max(x_lo, x_hi), x_ticks_, dp)) {
    frame.x_ticks.push_back({(t.value - x_offset_) / x_factor_, t.text});
  }
  const double y_lo = std::min(bounds_[kYMin], bounds_[kYMax]);
  const double y_hi = std::max(bounds_[kYMin], bounds_[kYMax]);
  for (const AxisTick& t : AxisTicks(y_lo, y_hi, y_ticks_, dp)) {
    frame.y_ticks.push_back({t.value, t.text});
  }
  if (marker_x_) {
    frame.marker_x = marker_x_;
    frame.marker_y = ValueAt(*marker_x_);
    frame.marker_label = marker_label_;
  }
  return frame;
}

void zelDraw::SendFrame() {
  if (pbox_ != nullptr && scaled_) {
    pbox_->SetFrame(BuildFrame());
  }
}

}  // namespace stratlyn
