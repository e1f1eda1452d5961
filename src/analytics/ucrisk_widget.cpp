#include "analytics/ucrisk_widget.h"

#include <QCheckBox>
#include <QComboBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <algorithm>
#include <exception>
#include <optional>
#include <tuple>

#include "analytics/option_check.h"
#include "analytics/risk.h"
#include "analytics/sensitivity.h"
#include "charts/qt_canvas.h"
#include "charts/qt_scalable_control.h"
#include "charts/zel_draw.h"
#include "pricing/zel_bsop.h"
#include "util/error_handler.h"
#include "util/format.h"
#include "util/grid_clipboard.h"
#include "util/numeric_entry.h"
#include "util/qt_grid_model.h"
#include "util/services.h"

namespace stratlyn {

namespace {

// Geometry in twips (the panel is kDesignWidth x kDesignHeight): inputs and
// histogram on the left, the table on the right.
constexpr int kCaptionWidth = 1650;
constexpr int kFieldLeft = 1740;
constexpr int kRowHeight = 300;
constexpr int kRowPitch = 360;
constexpr int kLeftWidth = 3120;
constexpr int kGridLeft = 3240;
constexpr int kPlotTop = 2640;
constexpr int kPlotHeight = 2600;
constexpr int kLabelHeight = 285;
constexpr int kXLabelWidth = 1400;

// The histogram's colours: yellow outlines, bright red bars on a dark ground.
const uint32_t kPlotBack = 0x1E2A36;

// The worthless outcomes' bar: a grey that stands apart from the red bars.
const uint32_t kWorthlessFill = 0x8A8F98;
// Bins of room left of bin 1 for that bar (it is 6 bins wide, 1 bin apart).
constexpr float kWorthlessRoom = 8.0f;
// Marker captions.
const std::string kTodayPrefix = "today ";
constexpr const char* kBreakEven = "break-even";

// Texts the table's columns are sized to.
constexpr const char* kValueColumnSample = "ValuexxxAAAA";

// The field's own message, then what is wrong with the text.
std::string RiskEntryMessage(const char* message, const std::string& text, const std::string& why) {
  return std::string(message) + "\n\n\"" + text + "\" " + why + ".";
}

}  // namespace

ucRisk::ucRisk(QWidget* parent) : ScaledPanel(parent, kDesignWidth, kDesignHeight) {
  setObjectName("ucRisk1");
  int top = 60;
  Place(new QLabel(tr("Expected Return"), this), 60, top, kCaptionWidth, kRowHeight);
  txt_return_ = Place(new QLineEdit(this), kFieldLeft, top, 1100, kRowHeight);
  top += kRowPitch;
  Place(new QLabel(tr("Volatility of Return"), this), 60, top, kCaptionWidth, kRowHeight);
  txt_vol_ = Place(new QLineEdit(this), kFieldLeft, top, 1100, kRowHeight);
  top += kRowPitch;
  Place(new QLabel(tr("Horizon"), this), 60, top, 800, kRowHeight);
  cmb_horizon_ = Place(new QComboBox(this), 900, top, kLeftWidth - 840, kRowHeight);
  top += kRowPitch + 60;
  chk_payoffs_ =
      Place(new QCheckBox(tr("Ignore cost of option"), this), 60, top, kLeftWidth, kRowHeight);
  top += kRowPitch;
  chk_uasset_ =
      Place(new QCheckBox(tr("Plot asset distribution"), this), 60, top, kLeftWidth, kRowHeight);
  top += kRowPitch + 60;
  cmd_calculate_ = Place(new QPushButton(tr("Calculate"), this), 60, top, 1400, 360);
  // The read-out has a row of its own across the left column, so that
  // "x=-12.345, y=12.34" fits at both display sizes.
  top += 360;
  lbl_point_ = Place(new QLabel(this), 60, top, kLeftWidth, kPlotTop - top - 20);
  lbl_point_->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);

  pbox_ = Place(new QtCanvas(this), 60, kPlotTop, kLeftWidth, kPlotHeight);
  pbox_->SetBackColor(kPlotBack);
  pbox_->SetForeColor(PaletteColor(14));
  pbox_->SetFillColor(PaletteColor(12));
  pbox_->SetFillStyle(FillStyle::Solid);
  const int x_label_top = kPlotTop + kPlotHeight + 40;
  text1_[0] = Place(new QtLabelBox(this), 60, kPlotTop, 900, kLabelHeight);
  text1_[1] =
      Place(new QtLabelBox(this), 60, kPlotTop + kPlotHeight - kLabelHeight, 900, kLabelHeight);
  text1_[2] = Place(new QtLabelBox(this), 60, x_label_top, kXLabelWidth, kLabelHeight);
  text1_[3] = Place(new QtLabelBox(this), 60 + kLeftWidth - kXLabelWidth, x_label_top, kXLabelWidth,
                    kLabelHeight);
  text1_[2]->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
  text1_[3]->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
  // The y ends of the histogram (counts) are not shown.
  text1_[0]->hide();
  text1_[1]->hide();

  // The large display stretches heights by more than the panel grows (its top
  // 400 twips are left out of the ratio): the table ends 300 twips short of
  // the bottom, so that it stays inside the panel there too.
  grid1_ =
      Place(new GridView(this), kGridLeft, 60, kDesignWidth - kGridLeft - 60, kDesignHeight - 360);
  grid1_->grid().SetRows(kRiskTableRows);
  grid1_->grid().SetCols(2);
  grid1_->grid().SetFixedRows(1);
  grid1_->grid().SetFixedCols(0);
  grid1_->grid().SetTextMatrix(0, 0, kValueHeader);
  grid1_->grid().SetTextMatrix(0, 1, kProbabilityHeader);
  grid1_->gridModel()->SetColAlignment(0, Qt::AlignRight | Qt::AlignVCenter);
  grid1_->gridModel()->SetColAlignment(1, Qt::AlignRight | Qt::AlignVCenter);
  grid1_->SetStretchLastColumn(true);
  // All 21 rows share the table's height, so the 5 % and 0 % rows show at
  // the normal display too.
  grid1_->verticalHeader()->setMinimumSectionSize(1);
  grid1_->verticalHeader()->setSectionResizeMode(QHeaderView::Stretch);
  grid1_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);

  connect(cmd_calculate_, &QPushButton::clicked, this, [this] { cmdCalculate_Click(); });
  connect(grid1_, &GridView::KeyPress, this, [this](int key) { Grid1_KeyPress(key); });
  connect(pbox_, &QtCanvas::MouseDown, this,
          [this](Qt::MouseButton, double x, double y) { ShowPoint(x, y); });
  connect(pbox_, &QtCanvas::MouseMove, this,
          [this](Qt::MouseButtons, double x, double y) { ShowPoint(x, y); });
  connect(pbox_, &QtCanvas::MouseUp, this, [this] { lbl_point_->clear(); });
  connect(pbox_, &QtCanvas::MouseLeave, this, [this] { lbl_point_->clear(); });

  RegisterDisplay();
  for (const char* name : kHorizonNames) {
    cmb_horizon_->addItem(tr(name));
  }
  cmb_horizon_->setCurrentIndex(0);
  txt_return_->setText(QString::fromStdString(FormatNumber(0.15, "####0.00", EntryDecimalPoint())));
  txt_vol_->setText(QString::fromStdString(FormatNumber(0.25, "###0.00", EntryDecimalPoint())));
  SizeColumns();
}

ucRisk::~ucRisk() = default;

// The columns follow the table's font to the new display.
void ucRisk::DisplayChanged() { SizeColumns(); }

void ucRisk::SizeColumns() {
  // Measured in the font the table is shown in, so that the columns still fit
  // at the large display.
  const QFontMetrics fm(grid1_->font());
  const int pad = 10;
  Grid& g = grid1_->grid();
  g.SetColWidth(0, PxToTwips(fm.horizontalAdvance(kValueColumnSample) + pad));
  g.SetColWidth(1, PxToTwips(fm.horizontalAdvance(kProbabilityHeader) + pad));
}

void ucRisk::SetParameters(const OptionTerms& option) { inputs_ = option; }

void ucRisk::CalcIt() { cmdCalculate_Click(); }

void ucRisk::cmdCalculate_Click() {
  // Drawing lets pending events run; a second press arriving then would draw
  // its histogram into the one being drawn. It is ignored instead.
  if (calculating_) {
    return;
  }
  struct Running {
    bool& flag;
    explicit Running(bool& f) : flag(f) { flag = true; }
    ~Running() { flag = false; }
  } running(calculating_);
  Dialogs& dialogs = AppDialogs();
  // The copy handed over must pass the calculator panel's own check; until
  // it does nothing is drawn and the table shows no values.
  const std::string problem = OptionInputProblem(inputs_);
  if (!problem.empty()) {
    ClearResults();
    dialogs.Critical(problem);
    return;
  }
  // Both fields are read as every entry field is ("15%" is 0.15); a blank,
  // a negative volatility or one above 500 % is refused with the reason.
  const std::string return_text = txt_return_->text().toStdString();
  const std::string vol_text = txt_vol_->text().toStdString();
  const EntryReading mu = ReadEntry(return_text, EntryKind::kRate);
  const EntryReading sigma = ReadEntry(vol_text, EntryKind::kVolatility);
  for (const auto& [reading, text, message] : {std::tuple{&mu, &return_text, kInvalidReturn},
                                               std::tuple{&sigma, &vol_text, kInvalidVolatility}}) {
    // No figure typed ("", "N/A") is no return or volatility of 0.
    if (!reading->value || reading->blank || reading->not_available) {
      ClearResults();
      dialogs.Critical(RiskEntryMessage(
          message, *text, reading->value ? entry_problem::kNoDigit : reading->problem));
      return;
    }
  }
  // A profit needs what the option cost: with no market price (a blank or
  // 0 in the calculator panel) the "profit" would be the value itself.
  if (!chk_payoffs_->isChecked() && !chk_uasset_->isChecked() && !(inputs_.market_price > 0)) {
    ClearResults();
    dialogs.Critical(kNoMarketPrice);
    return;
  }
  Events& events = AppEvents();
  events.SetBusy(true);
  RunCommand(
      [&] {
        RiskSettings settings;
        settings.mu = static_cast<float>(*mu.value);
        settings.sigma = static_cast<float>(*sigma.value);
        settings.horizon = std::max(0, cmb_horizon_->currentIndex());
        settings.ignore_cost = chk_payoffs_->isChecked();
        settings.asset_only = chk_uasset_->isChecked();

        ClearPlot();
        if (!bsop_) {
          bsop_ = std::make_unique<zelBSOP>();
        }
        const RiskResult result =
            RunRiskAnalysis(inputs_, settings, *bsop_, ProgramNormalDeviates());
        if (result.horizon_clamped) {
          cmb_horizon_->setCurrentIndex(kHorizonMaturity);
        }
        if (!result.completed) {
          events.SetBusy(false);
          return;  // the pricing record has told the user
        }

        if (!draw_) {
          draw_ = std::make_unique<zelDraw>();
        }
        draw_->InitializePictureBox(pbox_);
        for (int i = 0; i < 4; ++i) {
          draw_->InitializeTextBox(text1_[i], i);
        }
        draw_->SetXFactors(1.05f, 0.95f);
        draw_->SetYFactors(1.05f, 0.9f);
        DrawHistogram(result, settings);

        text1_[0]->hide();
        text1_[1]->hide();
        text1_[2]->SetText(FormatNumber(result.samples[1], kRiskAxisFormat, EntryDecimalPoint()));
        text1_[3]->SetText(
            FormatNumber(result.samples[kRiskSamples], kRiskAxisFormat, EntryDecimalPoint()));

        Grid& g = grid1_->grid();
        g.SetRedraw(false);
        g.SetCols(2);
        g.SetRows(kRiskTableRows);
        for (int r = 0; r < kRiskTableRows; ++r) {
          g.SetTextMatrix(r, 0, result.table[static_cast<size_t>(r)][0]);
          g.SetTextMatrix(r, 1, result.table[static_cast<size_t>(r)][1]);
        }
        SizeColumns();
        g.SetRedraw(true);
      },
      [&] { grid1_->grid().SetRedraw(true); });
  events.SetBusy(false);
}

void ucRisk::ClearPlot() {
  if (draw_) {
    draw_->Clear();
  } else {
    pbox_->Cls();
  }
  text1_[2]->SetText("");
  text1_[3]->SetText("");
  lbl_point_->clear();
}

void ucRisk::ClearResults() {
  ClearPlot();
  Grid& g = grid1_->grid();
  for (int r = 1; r < g.Rows(); ++r) {
    for (int c = 0; c < g.Cols(); ++c) {
      g.SetTextMatrix(r, c, "");
    }
  }
}

void ucRisk::DrawHistogram(const RiskResult& result, const RiskSettings& settings) {
  const HistogramBars bars = HistogramPercentages(result);
  const int n = result.bin_count;
  const bool worthless = bars.worthless_share > 0;
  const char dp = EntryDecimalPoint();

  const std::string horizon = cmb_horizon_->currentText().toStdString();
  draw_->SetTitle(std::string(settings.asset_only    ? kAssetTitle
                              : settings.ignore_cost ? kPayoffTitle
                                                     : kProfitTitle) +
                  horizon);
  draw_->SetAxisCaptions("", worthless ? kPayingShareCaption : kShareCaption);
  // Bin i spans x from i - 1 to i: the axis reads in outcome units.
  const double lo = result.edges[0];
  const double width = (result.edges[static_cast<size_t>(n)] - lo) / n;
  draw_->SetXAxisUnits(width, lo);
  draw_->SetTickTargets(4, 4);  // a narrow plot

  // The y range: every bar from 1 to n (the worthless share aside).
  draw_->CalcYScale(bars.heights, n + 1, 0);
  // Room left of bin 1 for the worthless bar.
  draw_->SetMinMax(worthless ? -kWorthlessRoom : 0.0f, zelDraw::kXMin);
  draw_->SetMinMax(static_cast<float>(n), zelDraw::kXMax);
  draw_->SetScale();
  draw_->DrawBar(bars.heights, n, false, 0);

  if (worthless) {
    // Its own bar just below the lowest outcome, in another colour, cut at
    // the top of the scale, and its share written beside it.
    const double top = draw_->GetMinMax(zelDraw::kYMax);
    const uint32_t fill = pbox_->FillColor();
    pbox_->SetFillColor(kWorthlessFill);
    pbox_->Box(-(kWorthlessRoom - 1), 0, -1, std::min<double>(bars.worthless_share, top));
    pbox_->SetFillColor(fill);
    // The caption in two lines over the right part of the plot, where the
    // bars of a payoff are low, below the marker's caption: "expires
    // worthless:" and the share.
    const double left = draw_->GetMinMax(zelDraw::kXMin);
    const double bottom = draw_->GetMinMax(zelDraw::kYMin);
    pbox_->MoveTo(left + 0.4 * (n - left), bottom + (top - bottom) * 0.6);
    const std::string caption = kWorthlessPrefix +
                                FormatNumber(bars.worthless_share, kWorthlessFormat, dp) +
                                kWorthlessSuffix;
    const size_t colon = caption.find(':');
    pbox_->Print(caption.substr(0, colon + 1));
    pbox_->MoveTo(left + 0.4 * (n - left), pbox_->CurrentY());
    pbox_->Print(caption.substr(colon + 2));
  }
  // A marker where the outcome reads today's price (asset) or break-even.
  const double mark = settings.asset_only ? inputs_.spot : 0.0;
  const double at = (mark - lo) / width;
  if (at >= 0 && at <= n) {
    draw_->SetMarker(at, settings.asset_only ? kTodayPrefix + FormatNumber(mark, kReadoutFormat, dp)
                                             : std::string(kBreakEven));
  }
}

void ucRisk::Grid1_KeyPress(int key_ascii) {
  if (key_ascii == 3) {
    CopyGridToClipboard(grid1_->grid());
  }
}

void ucRisk::ShowPoint(double x, double) {
  const std::optional<zelDraw::Readout> r = draw_ ? draw_->ReadoutAt(x) : std::nullopt;
  if (!r) {
    lbl_point_->clear();
    return;
  }
  lbl_point_->setText(QString::fromStdString(PointReadout(r->x, r->y)));
}

}  // namespace stratlyn
