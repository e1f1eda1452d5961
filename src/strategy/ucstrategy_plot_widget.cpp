// ucStrategy's profit plot: the profit at expiry and at the chosen date with
// the break-evens and today's price marked, the readout under the mouse, and
// the plot saved as an image.

#include <QLabel>
#include <QString>
#include <algorithm>
#include <cmath>

#include "charts/qt_canvas.h"
#include "charts/zel_draw.h"
#include "strategy/strategy_plot_style.h"
#include "strategy/ucstrategy_widget.h"
#include "util/format.h"
#include "util/qt_file_dialogs.h"
#include "util/services.h"

namespace stratlyn {

using namespace strategy_plot;

namespace {

constexpr const char* kSaveImageTitle = "Save Image";
constexpr const char* kImageNotSaved = "The image could not be saved to ";

QString Q(const std::string& s) { return QString::fromStdString(s); }

}  // namespace

void ucStrategy::DrawProfitPlot(const StrategyFigures& f) {
  // One common scale set from outside, framed by the chart object (title,
  // captions, round ticks, grid, a marker at today's price); the two curves
  // as lines, the zero line and the break-evens as straight segments, and
  // printed legend texts.
  const std::vector<CurvePoint>& c = f.curve;
  const int n = static_cast<int>(c.size());
  double lo = c.front().at_expiry, hi = lo;
  for (const CurvePoint& p : c) {
    lo = std::min({lo, p.at_expiry, p.at_date});
    hi = std::max({hi, p.at_expiry, p.at_date});
  }
  if (!(hi > lo)) {
    lo -= 1;
    hi += 1;
  }
  const double pad = 0.08 * (hi - lo);
  const double y_top = hi + pad, y_bottom = lo - pad;
  const double x_left = c.front().spot, x_right = c.back().spot;
  draw_->Clear();
  draw_->SetTitle(kPlotTitle);
  draw_->SetAxisCaptions(kXCaption, kYCaption);
  draw_->SetMinMax(static_cast<float>(y_top), zelDraw::kYMax);
  draw_->SetMinMax(static_cast<float>(y_bottom), zelDraw::kYMin);
  draw_->SetMinMax(static_cast<float>(x_left), zelDraw::kXMin);
  draw_->SetMinMax(static_cast<float>(x_right), zelDraw::kXMax);
  draw_->SetExternalScale();

  const auto segment = [&](uint32_t colour, int width, double x1, double y1, double x2, double y2) {
    pbox_->SetForeColor(colour);
    pbox_->SetDrawWidth(width);
    pbox_->MoveTo(x1, y1);
    pbox_->LineTo(x2, y2);
  };
  if (y_bottom < 0 && y_top > 0) {
    segment(kZeroColour, 1, x_left, 0, x_right, 0);
  }
  for (const double b : f.at_expiry.break_evens) {
    if (b >= x_left && b <= x_right) {
      segment(kBreakEvenColour, 1, b, y_bottom, b, y_top);
    }
  }
  // The date's break-evens: short ticks on the zero line in the date's colour.
  const double tick = 0.03 * (y_top - y_bottom);
  for (const double b : f.at_date.break_evens) {
    if (b >= x_left && b <= x_right) {
      segment(kDateColour, 2, b, -tick, b, tick);
    }
  }

  // DrawLine draws from point 1 on: point 0 repeats the first point.
  std::vector<float> x(n + 1), y_expiry(n + 1), y_date(n + 1);
  for (int i = 0; i < n; ++i) {
    x[i + 1] = static_cast<float>(c[i].spot);
    y_expiry[i + 1] = static_cast<float>(c[i].at_expiry);
    y_date[i + 1] = static_cast<float>(c[i].at_date);
  }
  x[0] = x[1];
  y_expiry[0] = y_expiry[1];
  y_date[0] = y_date[1];
  draw_->SetDrawColors(kPlotBack, kDateColour, kDateColour, 2);
  draw_->DrawLine(x, y_date, n + 1, false, 0);
  draw_->SetDrawColors(kPlotBack, kExpiryColour, kExpiryColour, 2);
  draw_->DrawLine(x, y_expiry, n + 1, false, 0);
  const double spot = core_->MarketOf().spot;
  if (spot >= x_left && spot <= x_right) {
    draw_->SetMarker(spot, kMarkerPrefix + FormatEntryNumber(spot, kReadoutFormat));
  }

  const double step_x = 0.03 * (x_right - x_left);
  pbox_->MoveTo(x_left + step_x, y_top - 0.02 * (y_top - y_bottom));
  pbox_->SetForeColor(kExpiryColour);
  pbox_->Print(kAtExpiryLegend);
  pbox_->MoveTo(x_left + step_x, pbox_->CurrentY());
  pbox_->SetForeColor(kDateColour);
  pbox_->Print(std::string(kAtDateLegend) + " " + txt_at_date_->text().toStdString());
  pbox_->MoveTo(x_left + step_x, pbox_->CurrentY());
  pbox_->SetForeColor(kBreakEvenColour);
  std::string evens = "Break-even";
  for (const double b : f.at_expiry.break_evens) {
    evens += " " + FormatEntryNumber(b, "0.00");
  }
  pbox_->Print(evens);
  pbox_->Refresh();
}

void ucStrategy::ShowPoint(double x) {
  const auto profits = core_->ProfitsAt(x);
  if (!figures_ || !profits) {
    lbl_point_->clear();
    return;
  }
  lbl_point_->setText(Q("S=" + FormatEntryNumber(x, kReadoutFormat) + "  expiry " +
                        FormatEntryNumber(profits->first, kReadoutFormat) + "  date " +
                        FormatEntryNumber(profits->second, kReadoutFormat)));
}

QImage ucStrategy::FigureImage() {
  // The chart object's whole figure: plot, title, ticks and marker.
  return pbox_->Image();
}

bool ucStrategy::SaveFigure(const QString& path) { return FigureImage().save(path, "PNG"); }

void ucStrategy::cmdSaveImage_Click() {
  const QString path =
      ChooseSaveFile(this, tr(kSaveImageTitle), "strategy.png", tr("PNG images (*.png)"));
  if (path.isEmpty()) {
    return;
  }
  if (!SaveFigure(path)) {
    AppDialogs().Critical(kImageNotSaved + path.toStdString());
  }
}

}  // namespace stratlyn
