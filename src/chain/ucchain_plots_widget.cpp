// ucChain's two plots: the smile of the chosen expiry (own implied
// volatilities of calls and puts, the feed's beside them) and the heat map of
// implied volatility over strike and expiry.

#include <QComboBox>
#include <QLabel>
#include <algorithm>
#include <cmath>
#include <exception>
#include <limits>

#include "chain/http_page_view.h"
#include "chain/qt_chain_model.h"
#include "chain/qt_chain_plot_style.h"
#include "chain/ucchain_widget.h"
#include "charts/qt_canvas.h"
#include "charts/zel_draw.h"
#include "marketdata/exchange_time.h"
#include "marketdata/fetch_error.h"
#include "marketdata/occ_symbol.h"
#include "marketdata/page_wait.h"
#include "util/error_handler.h"
#include "util/format.h"
#include "util/services.h"
#include "util/zel_error.h"

namespace stratlyn {
using namespace chain_plot;
namespace {

// Blue (low) over green and yellow to red (high), for t in [0, 1].
uint32_t HeatColour(double t) {
  t = std::clamp(t, 0.0, 1.0);
  struct Stop {
    double at;
    int r, g, b;
  };
  static constexpr Stop kStops[] = {{0.0, 0x2C, 0x4B, 0xC8},
                                    {0.35, 0x2E, 0xA8, 0x6B},
                                    {0.7, 0xF2, 0xD0, 0x3B},
                                    {1.0, 0xD0, 0x20, 0x20}};
  for (std::size_t i = 1; i < std::size(kStops); ++i) {
    if (t <= kStops[i].at) {
      const Stop& a = kStops[i - 1];
      const Stop& b = kStops[i];
      const double u = (t - a.at) / (b.at - a.at);
      const auto mix = [u](int x, int y) {
        return static_cast<uint32_t>(std::lround(x + u * (y - x)));
      };
      return (mix(a.r, b.r) << 16) | (mix(a.g, b.g) << 8) | mix(a.b, b.b);
    }
  }
  return 0xD02020;
}

std::string Percent(double iv) { return FormatEntryNumber(iv * 100.0, "##0.0"); }

}  // namespace

void ucChain::DrawSmile() {
  smile_shown_.clear();
  draw_smile_->Clear();
  if (!chain_ || chain_->expiries.empty()) {
    return;
  }
  const std::size_t e = model_->Expiry();
  const bool moneyness = cmb_smile_axis_->currentIndex() == 1;
  // The strikes the table shows (the filter applies to the smile too).
  std::vector<double> shown;
  for (int r = 0; r < model_->rowCount(); ++r) {
    shown.push_back(model_->StrikeAt(r));
  }
  double lo_x = 0, hi_x = 0, lo_y = 0, hi_y = 0;
  bool any = false;
  for (const SmilePoint& p : ExpirySmile(*chain_, e)) {
    if (std::find(shown.begin(), shown.end(), p.strike) == shown.end()) {
      continue;
    }
    SmileRow row{moneyness ? p.moneyness : p.strike, p.call_iv, p.put_iv, p.call_source_iv,
                 p.put_source_iv};
    if (!row.call && !row.put && !row.feed_call && !row.feed_put) {
      continue;
    }
    for (const auto& v : {row.call, row.put, row.feed_call, row.feed_put}) {
      if (!v || !std::isfinite(*v)) {
        continue;
      }
      if (!any) {
        lo_x = hi_x = row.x;
        lo_y = hi_y = *v;
        any = true;
      }
      lo_x = std::min(lo_x, row.x);
      hi_x = std::max(hi_x, row.x);
      lo_y = std::min(lo_y, *v);
      hi_y = std::max(hi_y, *v);
    }
    smile_shown_.push_back(row);
  }
  std::sort(smile_shown_.begin(), smile_shown_.end(),
            [](const SmileRow& a, const SmileRow& b) { return a.x < b.x; });
  draw_smile_->SetAxisCaptions(moneyness ? kMoneynessAxis : kStrikeAxis, "");
  if (!any) {
    draw_smile_->SetTitle(kNoSmile);
    return;
  }
  draw_smile_->SetTitle(kSmileTitle);
  if (!(hi_x > lo_x)) {
    lo_x -= 1;
    hi_x += 1;
  }
  lo_y *= 100;
  hi_y *= 100;
  // Room above the curves for the legend.
  const double pad = std::max(0.08 * (hi_y - lo_y), 0.5);
  const double y_top = hi_y + 5 * pad, y_bottom = std::max(0.0, lo_y - pad);
  draw_smile_->SetMinMax(static_cast<float>(y_top), zelDraw::kYMax);
  draw_smile_->SetMinMax(static_cast<float>(y_bottom), zelDraw::kYMin);
  draw_smile_->SetMinMax(static_cast<float>(lo_x), zelDraw::kXMin);
  draw_smile_->SetMinMax(static_cast<float>(hi_x), zelDraw::kXMax);
  draw_smile_->SetExternalScale();
  // Each series as a line through the strikes that have a figure, with a
  // dot at each; a strike without one is left out, never drawn as zero.
  const auto series = [&](std::optional<double> SmileRow::*field, uint32_t colour, int width) {
    pbox_smile_->SetForeColor(colour);
    pbox_smile_->SetDrawWidth(width);
    bool started = false;
    for (const SmileRow& r : smile_shown_) {
      const std::optional<double>& v = r.*field;
      if (!v || !std::isfinite(*v)) {
        continue;
      }
      if (started) {
        pbox_smile_->LineTo(r.x, *v * 100);
      } else {
        pbox_smile_->MoveTo(r.x, *v * 100);
        started = true;
      }
    }
    pbox_smile_->SetDrawWidth(width + 2);
    for (const SmileRow& r : smile_shown_) {
      const std::optional<double>& v = r.*field;
      if (v && std::isfinite(*v)) {
        pbox_smile_->PSet(r.x, *v * 100);
      }
    }
  };
  series(&SmileRow::feed_call, kFeedCallColour, 1);
  series(&SmileRow::feed_put, kFeedPutColour, 1);
  series(&SmileRow::call, kCallColour, 2);
  series(&SmileRow::put, kPutColour, 2);
  const double spot_x = moneyness ? 1.0 : chain_->spot;
  if (spot_x >= lo_x && spot_x <= hi_x) {
    draw_smile_->SetMarker(spot_x, tr("spot").toStdString());
  }
  // The legend, top left.
  const double step_x = 0.03 * (hi_x - lo_x);
  pbox_smile_->MoveTo(lo_x + step_x, y_top - 0.02 * (y_top - y_bottom));
  const std::pair<uint32_t, const char*> legend[] = {{kCallColour, "Calls (own)"},
                                                     {kPutColour, "Puts (own)"},
                                                     {kFeedCallColour, "Calls (feed)"},
                                                     {kFeedPutColour, "Puts (feed)"}};
  for (const auto& [colour, text] : legend) {
    pbox_smile_->SetForeColor(colour);
    pbox_smile_->MoveTo(lo_x + step_x, pbox_smile_->CurrentY());
    pbox_smile_->Print(tr(text).toStdString());
  }
  pbox_smile_->Refresh();
}

void ucChain::DrawSurface() {
  surface_shown_.clear();
  draw_surface_->Clear();
  if (!chain_) {
    return;
  }
  const bool moneyness = cmb_smile_axis_->currentIndex() == 1;
  // The volatility of each strike is that of its out-of-the-money side (the
  // put below the spot, the call above), or the other side's where that one
  // has none; a strike with neither is left blank.
  struct Row {
    std::size_t expiry;
    int days;
    std::vector<std::pair<double, double>> cells;  // (x, iv)
  };
  std::vector<Row> rows;
  double lo_x = 0, hi_x = 0, lo_v = 0, hi_v = 0;
  bool any = false;
  for (std::size_t i = 0; i < chain_->expiries.size(); ++i) {
    const ChainExpiry& e = chain_->expiries[i];
    if (!(e.years > 0)) {
      continue;
    }
    Row row{i, e.days, {}};
    for (const SmilePoint& p : ExpirySmile(*chain_, i)) {
      // Far wings (beyond half and twice the spot) would squeeze the money.
      if (p.moneyness < 0.5 || p.moneyness > 2.0) {
        continue;
      }
      const bool below = p.strike < chain_->spot;
      std::optional<double> iv = below ? p.put_iv : p.call_iv;
      if (!iv) {
        iv = below ? p.call_iv : p.put_iv;
      }
      if (!iv || !std::isfinite(*iv)) {
        continue;
      }
      const double x = moneyness ? p.moneyness : p.strike;
      row.cells.emplace_back(x, *iv);
      if (!any) {
        lo_x = hi_x = x;
        lo_v = hi_v = *iv;
        any = true;
      }
      lo_x = std::min(lo_x, x);
      hi_x = std::max(hi_x, x);
      lo_v = std::min(lo_v, *iv);
      hi_v = std::max(hi_v, *iv);
    }
    if (!row.cells.empty()) {
      rows.push_back(std::move(row));
    }
  }
  draw_surface_->SetAxisCaptions(moneyness ? kMoneynessAxis : kStrikeAxis, kExpiryAxis);
  if (!any) {
    draw_surface_->SetTitle(kNoSmile);
    return;
  }
  // The colours span the 5th to the 95th percentile, so that a few wing
  // figures of the nearest expiry do not wash out the rest; the title says
  // where the scale ends.
  std::vector<double> all;
  for (const Row& r : rows) {
    for (const auto& cell : r.cells) {
      all.push_back(cell.second);
    }
  }
  std::sort(all.begin(), all.end());
  const auto quantile = [&all](double q) {
    return all[static_cast<std::size_t>(std::lround(q * static_cast<double>(all.size() - 1)))];
  };
  lo_v = quantile(0.05);
  hi_v = quantile(0.95);
  draw_surface_->SetTitle(std::string(kSurfaceTitle) + ": blue \u2264 " + Percent(lo_v) +
                          ", red \u2265 " + Percent(hi_v));
  if (!(hi_x > lo_x)) {
    lo_x -= 1;
    hi_x += 1;
  }
  // One band per expiry, the nearest at the bottom: band r spans r + 0.5 to
  // r + 1.5, so that the tick "1" marks the first.
  draw_surface_->SetMinMax(static_cast<float>(rows.size() + 0.5), zelDraw::kYMax);
  draw_surface_->SetMinMax(0.5f, zelDraw::kYMin);
  draw_surface_->SetMinMax(static_cast<float>(lo_x), zelDraw::kXMin);
  draw_surface_->SetMinMax(static_cast<float>(hi_x), zelDraw::kXMax);
  draw_surface_->SetGridLines(false);
  draw_surface_->SetExternalScale();
  pbox_surface_->SetFillStyle(FillStyle::Solid);
  pbox_surface_->SetDrawWidth(1);
  const double span = hi_v > lo_v ? hi_v - lo_v : 1.0;
  for (std::size_t r = 0; r < rows.size(); ++r) {
    const auto& cells = rows[r].cells;
    const double bottom = static_cast<double>(r) + 0.5, top = bottom + 1.0;
    for (std::size_t c = 0; c < cells.size(); ++c) {
      const double x = cells[c].first;
      const double half = (hi_x - lo_x) / 400;
      const double left = c == 0 ? x - half : (cells[c - 1].first + x) / 2;
      const double right = c + 1 == cells.size() ? x + half : (x + cells[c + 1].first) / 2;
      const uint32_t colour = HeatColour((cells[c].second - lo_v) / span);
      pbox_surface_->SetForeColor(colour);
      pbox_surface_->SetFillColor(colour);
      pbox_surface_->Box(std::max(left, lo_x), bottom, std::min(right, hi_x), top);
      surface_shown_.push_back({rows[r].expiry, x, cells[c].second});
    }
  }
  // Each band's days to expiry, at its left end.
  pbox_surface_->SetForeColor(0x000000);
  for (std::size_t r = 0; r < rows.size(); ++r) {
    pbox_surface_->MoveTo(lo_x + (hi_x - lo_x) * 0.01, static_cast<double>(r) + 1.35);
    pbox_surface_->Print(std::to_string(rows[r].days) + " d");
  }
  pbox_surface_->SetFillStyle(FillStyle::Transparent);
  pbox_surface_->Refresh();
}

}  // namespace stratlyn
