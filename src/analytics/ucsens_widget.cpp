#include "analytics/ucsens_widget.h"

#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <exception>
#include <optional>

#include "analytics/option_check.h"
#include "analytics/risk.h"
#include "analytics/sensitivity.h"
#include "charts/qt_canvas.h"
#include "charts/zel_draw.h"
#include "pricing/zel_bsop.h"
#include "util/error_handler.h"
#include "util/format.h"
#include "util/services.h"

namespace stratlyn {

namespace {

// Geometry in twips (the panel is kDesignWidth x kDesignHeight).
constexpr int kFrameTop = 60;
constexpr int kFrameWidth = 3480;
constexpr int kFrameHeight = 1290;
constexpr int kButtonWidth = 1650;
constexpr int kRowHeight = 300;
constexpr int kCommandTop = 1440;
constexpr int kPlotLeft = 960;
constexpr int kPlotTop = 1920;
constexpr int kPlotWidth = 6180;
constexpr int kPlotHeight = 3220;
constexpr int kLabelHeight = 285;
constexpr int kYLabelWidth = 860;
constexpr int kXLabelWidth = 1300;

const uint32_t kPlotBack = 0xFFFFFF;

// The marker's caption: "now 50".
const std::string kCurrentPrefix = "now ";

}  // namespace

ucSens::ucSens(QWidget* parent)
    : ScaledPanel(parent, kDesignWidth, kDesignHeight),
      draw_(std::make_unique<zelDraw>()),
      bsop_(std::make_unique<zelBSOP>()) {
  setObjectName("ucSens1");
  x_frame_ = Place(new QGroupBox(tr("X-Axis"), this), 60, kFrameTop, kFrameWidth, kFrameHeight);
  y_frame_ = Place(new QGroupBox(tr("Y-Axis"), this), 3660, kFrameTop, kFrameWidth, kFrameHeight);
  for (int i = 0; i < 6; ++i) {
    const int left = 120 + (i / 3) * kButtonWidth;
    const int top = 270 + (i % 3) * 320;
    xtyp_[i] =
        Place(new QRadioButton(kXAxisCaptions[i], x_frame_), left, top, kButtonWidth, kRowHeight);
    ytyp_[i] =
        Place(new QRadioButton(kYAxisCaptions[i], y_frame_), left, top, kButtonWidth, kRowHeight);
    connect(xtyp_[i], &QRadioButton::clicked, this, [this, i] { xtyp_Click(i); });
    connect(ytyp_[i], &QRadioButton::clicked, this, [this, i] { yTyp_Click(i); });
  }
  xtyp_[0]->setChecked(true);
  ytyp_[0]->setChecked(true);

  cmdplot_ = Place(new QPushButton(tr("Plot"), this), 60, kCommandTop, 1200, 360);
  chk_auto_ = Place(new QCheckBox(tr("Plot automatically"), this), 1400, kCommandTop, 2300, 360);
  lbl_point_ = Place(new QLabel(this), 3800, kCommandTop, 3340, 360);
  lbl_point_->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
  connect(cmdplot_, &QPushButton::clicked, this, [this] { cmdplot_Click(); });
  connect(chk_auto_, &QCheckBox::clicked, this, [this] { chkAuto_Click(); });

  pbox_ = Place(new QtCanvas(this), kPlotLeft, kPlotTop, kPlotWidth, kPlotHeight);
  pbox_->SetBackColor(kPlotBack);
  const int x_label_top = kPlotTop + kPlotHeight + 40;
  text1_[0] = Place(new QtLabelBox(this), 60, kPlotTop, kYLabelWidth, kLabelHeight);
  text1_[1] = Place(new QtLabelBox(this), 60, kPlotTop + kPlotHeight - kLabelHeight, kYLabelWidth,
                    kLabelHeight);
  text1_[2] = Place(new QtLabelBox(this), kPlotLeft, x_label_top, kXLabelWidth, kLabelHeight);
  text1_[3] = Place(new QtLabelBox(this), kPlotLeft + kPlotWidth - kXLabelWidth, x_label_top,
                    kXLabelWidth, kLabelHeight);
  text1_[0]->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
  text1_[1]->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
  text1_[2]->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
  text1_[3]->setAlignment(Qt::AlignRight | Qt::AlignVCenter);

  // The read-out follows the pointer over the plot: the curve's value at the
  // pointer's x. Releasing the button or leaving the plot empties it.
  connect(pbox_, &QtCanvas::MouseDown, this,
          [this](Qt::MouseButton, double x, double y) { ShowPoint(x, y); });
  connect(pbox_, &QtCanvas::MouseMove, this,
          [this](Qt::MouseButtons, double x, double y) { ShowPoint(x, y); });
  connect(pbox_, &QtCanvas::MouseUp, this, [this] { lbl_point_->clear(); });
  connect(pbox_, &QtCanvas::MouseLeave, this, [this] { lbl_point_->clear(); });

  RegisterDisplay();
  x_choice_ = 0;
  y_choice_ = 0;
  draw_->Initialize();
  draw_->InitializePictureBox(pbox_);
  for (int i = 0; i < 4; ++i) {
    draw_->InitializeTextBox(text1_[i], i);
  }
  draw_->SetDrawColors(pbox_->BackColor(), PaletteColor(12), PaletteColor(12), 2);
}

ucSens::~ucSens() = default;

void ucSens::SetParameters(const OptionTerms& option) { inputs_ = option; }

void ucSens::PlotIt() { cmdplot_Click(); }

void ucSens::ClearPlot() {
  draw_->Clear();
  for (QtLabelBox* label : text1_) {
    label->SetText("");
  }
  lbl_point_->clear();
}

void ucSens::cmdplot_Click() {
  if (plotting_) {
    return;
  }
  struct Running {
    bool& flag;
    explicit Running(bool& f) : flag(f) { flag = true; }
    ~Running() { flag = false; }
  } running(plotting_);
  RunCommand([&] {
    // The copy handed over must pass the calculator panel's own check; until
    // it does nothing is drawn (a swept strike of 0 is all failure values).
    const std::string problem = OptionInputProblem(inputs_);
    if (!problem.empty()) {
      ClearPlot();
      AppDialogs().Critical(problem);
      return;
    }
    std::vector<float> x, y;
    // An American sweep runs a lattice per point (seconds for long, hard
    // terms): the pointer says so while the window keeps answering.
    Events& events = AppEvents();
    events.SetBusy(true);
    struct NotBusy {
      Events& events;
      ~NotBusy() { events.SetBusy(false); }
    } not_busy{events};
    const int filled = PortSens(x_choice_, y_choice_, inputs_, *bsop_, x, y);
    ClearPlot();
    // Only real results are plotted: points 1..n-1 of the first `filled`.
    if (filled < 3) {
      return;
    }
    draw_->SetTitle(SensitivityTitle(x_choice_, y_choice_));
    draw_->SetAxisCaptions(kXAxisCaptions[static_cast<size_t>(x_choice_)],
                           kYAxisCaptions[static_cast<size_t>(y_choice_)]);
    draw_->DrawLine(x, y, filled == kSweepPoints ? kSweepPoints - 1 : filled, true, 0);
    const std::array<float, 6> current = {inputs_.spot,     inputs_.vol,    inputs_.rate,
                                          inputs_.maturity, inputs_.strike, inputs_.yield};
    const float now = current[static_cast<size_t>(x_choice_)];
    draw_->SetMarker(now, kCurrentPrefix + FormatNumber(now, kReadoutFormat, EntryDecimalPoint()));
    AppEvents().ProcessPending();
  });
}

void ucSens::xtyp_Click(int index) {
  x_choice_ = index;
  if (chk_auto_->isChecked()) {
    cmdplot_Click();
  }
}

void ucSens::yTyp_Click(int index) {
  y_choice_ = index;
  if (chk_auto_->isChecked()) {
    cmdplot_Click();
  }
}

void ucSens::chkAuto_Click() { cmdplot_->setEnabled(!chk_auto_->isChecked()); }

void ucSens::ShowPoint(double x, double) {
  const std::optional<zelDraw::Readout> r = draw_->ReadoutAt(x);
  if (!r) {
    lbl_point_->clear();
    return;
  }
  lbl_point_->setText(QString::fromStdString(PointReadout(r->x, r->y)));
}

}  // namespace stratlyn
