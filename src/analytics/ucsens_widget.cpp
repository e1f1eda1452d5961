#include "analytics/ucsens_widget.h"

#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <exception>

#include "analytics/sensitivity.h"
#include "charts/qt_canvas.h"
#include "charts/zel_draw.h"
#include "pricing/zel_bsop.h"
#include "util/error_handler.h"
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

  // The read-out follows the mouse while a button is held on the plot.
  connect(pbox_, &QtCanvas::MouseDown, this,
          [this](Qt::MouseButton, double x, double y) { ShowPoint(x, y); });
  connect(pbox_, &QtCanvas::MouseMove, this, [this](Qt::MouseButtons buttons, double x, double y) {
    if (buttons & Qt::LeftButton) {
      ShowPoint(x, y);
    }
  });
  connect(pbox_, &QtCanvas::MouseUp, this, [this] { lbl_point_->clear(); });

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

void ucSens::SetParameters(short oid, float orf, float os, float ot, float oxk, float osig,
                           float odvl, float oopr) {
  inputs_ = OptionParameters{oid, orf, os, ot, oxk, osig, odvl, oopr};
}

void ucSens::PlotIt() { cmdplot_Click(); }

void ucSens::cmdplot_Click() {
  try {
    std::vector<float> x, y;
    PortSens(x_choice_, y_choice_, inputs_, *bsop_, x, y);
    pbox_->Cls();
    draw_->DrawLine(x, y, kSweepPoints - 1, true, 0);
    AppEvents().ProcessPending();
  } catch (const std::exception& e) {
    ErrorHandler(e);
  }
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

void ucSens::ShowPoint(double x, double y) {
  lbl_point_->setText(QString::fromStdString(PointReadout(x, y)));
}

}  // namespace stratlyn
