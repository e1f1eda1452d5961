// zelDraw's pie charts: the slices' angles, the chart, and its legend (on
// the canvas or in a grid).

#include <algorithm>
#include <cmath>

#include "charts/zel_draw.h"
#include "charts/zel_draw_support.h"
#include "util/fp_checks.h"
#include "util/grid.h"

namespace stratlyn {

using namespace zel_draw;

namespace {

constexpr double kPi = 3.14159265358979323846;
// A slice's share in the pie legend.
constexpr std::string_view kShareFormat = "##0.0";

// Rounds to a whole number, a half to the even neighbour.
double RoundEven(double v) { return std::nearbyint(v); }

}  // namespace

void zelDraw::NormalizePieAngle(double& angle) {
  if (angle >= 2 * kPi) {
    angle -= 2 * kPi;
  }
  if (angle < 0) {
    angle += 2 * kPi;
  }
  if (angle < 0.001) {
    angle = 0.001;
  }
}

namespace {
// Switches a grid's repainting off for a scope and always back on.
class RedrawOff {
 public:
  explicit RedrawOff(Grid& g) : grid_(g) { grid_.SetRedraw(false); }
  ~RedrawOff() { grid_.SetRedraw(true); }
  RedrawOff(const RedrawOff&) = delete;
  RedrawOff& operator=(const RedrawOff&) = delete;

 private:
  Grid& grid_;
};
}  // namespace

void zelDraw::pieChart(Grid* grid, int count, std::span<const float> values,
                       std::span<const std::string> labels, std::span<const uint32_t> colours,
                       bool showGrid, bool showLegend) {
  Canvas& pb = Box();
  std::vector<std::string> shares(static_cast<size_t>(std::max(count, 0)) + 1);
  pb.Cls();
  pb.Refresh();
  pb.SetFillStyle(FillStyle::Solid);

  double total = 0;
  for (int i = 1; i <= count; ++i) {
    total += std::fabs(At(values, i));
  }

  const double cx = showLegend ? pb.ScaleWidth() / 3 : pb.ScaleWidth() / 2;
  const double cy = pb.ScaleHeight() / 2;
  const double radius = showLegend ? pb.OuterWidth() / 3 : pb.OuterHeight() / 2;

  bool first = true;
  double end = 0;
  for (int i = 1; i <= count; ++i) {
    const double share = CheckedDiv(std::fabs(At(values, i)), total);
    if (share == 0) {
      continue;
    }
    if (showLegend) {
      shares[static_cast<size_t>(i)] =
          At(labels, i) + " " + Number(share * 100, kShareFormat) + "%";
    }
    const double angle = share * 2 * kPi;
    double begin;
    if (first) {
      // The first slice is centred on the top of the circle.
      begin = kPi / 2 - angle / 2;
      end = kPi / 2 + angle / 2;
      first = false;
    } else {
      begin = end;
      end = begin + angle;
    }
    pb.SetFillColor(At(colours, i));
    double a = begin, b = end;
    NormalizePieAngle(a);
    NormalizePieAngle(b);
    pb.Sector(cx, cy, radius, -a, -b);
  }
  if (showGrid && grid != nullptr) {
    FillPieLegendGrid(grid, count, labels, shares, colours);
  }
  if (showLegend) {
    DrawPieLegend(count, labels, colours);
  }
}

void zelDraw::DrawPieLegend(int count, std::span<const std::string> labels,
                            std::span<const uint32_t> colours) {
  if (count < 1) {
    return;
  }
  Canvas& pb = Box();
  pb.SetFillStyle(FillStyle::Solid);
  const double h = RoundEven(pb.TextHeight(At(labels, 1)));
  double y = pb.ScaleHeight() / 2 - 1.5 * h * count / 2;
  for (int i = 1; i <= count; ++i) {
    pb.SetForeColor(At(colours, i));
    pb.MoveTo(pb.ScaleWidth() * 3 / 4, y);
    pb.Print(At(labels, i));
    y += 1.5 * h;
  }
}

void zelDraw::FillPieLegendGrid(Grid* grid, int count, std::span<const std::string> labels,
                                std::span<const std::string> shares,
                                std::span<const uint32_t> colours) {
  RedrawOff quiet(*grid);
  grid->Clear();
  grid->SetRows(count + 1);
  grid->SetFixedRows(1);
  grid->SetCols(2);
  grid->SetFixedCols(0);
  for (int i = 1; i <= count; ++i) {
    grid->SetRow(i);
    grid->SetCol(0);
    grid->SetText(At(labels, i));
    grid->SetCellForeColor(At(colours, i));
    grid->SetCol(1);
    grid->SetText(At(shares, i));
    grid->SetCellForeColor(At(colours, i));
  }
}

void zelDraw::pieChartNew(std::span<const float> values, int last,
                          std::span<const uint32_t> colours, int first) {
  const double full = 8 * std::atan(1.0);
  double total = 0;
  for (int i = first; i <= last; ++i) {
    total += At(values, i);
  }

  Canvas& pb = Box();
  pb.Cls();
  const double cx = RoundEven(pb.ScaleWidth() / 2);
  const double cy = RoundEven(pb.ScaleHeight() / 2);
  const double radius = RoundEven(0.6 * std::min(cx, cy));
  pb.SetFillStyle(FillStyle::Solid);

  double f = 0;
  for (int i = first; i <= last; ++i) {
    try {
      pb.SetFillColor(At(colours, i));
      const float v = At(values, i);
      if (v != 0) {
        pb.Sector(cx, cy, radius, -(full * f), -(full * (CheckedDiv(std::fabs(v), total) + f)),
                  At(colours, i));
      }
      f += CheckedDiv(v, total);
    } catch (const std::exception&) {
      // a slice that cannot be drawn is skipped
    }
  }
}

}  // namespace stratlyn
