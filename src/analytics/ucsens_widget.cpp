#include "analytics/ucsens_widget.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>

namespace stratlyn {

namespace {
constexpr int kTwipsPerPixel = 15;
constexpr int kPanelWidth = 7200;   // twips
constexpr int kPanelHeight = 3300;  // twips
}  // namespace

ucSens::ucSens(QWidget* parent) : QWidget(parent) {
  uc_width_ = kPanelWidth;
  uc_height_ = kPanelHeight;
  resize(uc_width_ / kTwipsPerPixel, uc_height_ / kTwipsPerPixel);
  auto* layout = new QGridLayout(this);
  lbl_point_ = new QLabel(tr("Sensitivity view"), this);
  layout->addWidget(lbl_point_, 0, 0);
  cmdplot_ = new QPushButton(tr("Plot"), this);
  layout->addWidget(cmdplot_, 1, 0);
  chk_auto_ = new QCheckBox(tr("Plot automatically"), this);
  layout->addWidget(chk_auto_, 2, 0);
  connect(chk_auto_, &QCheckBox::clicked, this, [this] { chkAuto_Click(); });
}

ucSens::~ucSens() = default;

void ucSens::SetParameters(short oid, float orf, float os, float ot, float oxk, float osig,
                           float odvl, float oopr) {
  inputs_ = OptionParameters{oid, orf, os, ot, oxk, osig, odvl, oopr};
}

void ucSens::PlotIt() { cmdplot_Click(); }

void ucSens::cmdplot_Click() {}

void ucSens::xtyp_Click(int index) { x_choice_ = index; }

void ucSens::yTyp_Click(int index) { y_choice_ = index; }

void ucSens::chkAuto_Click() { cmdplot_->setEnabled(!chk_auto_->isChecked()); }

void ucSens::ShowPoint(double, double) {}

void ucSens::RegisterDisplay() {}

void ucSens::EnlargeFont() {
  uc_width_ = kPanelWidth * 17 / 10;
  uc_height_ = kPanelHeight * 3 / 2;
  resize(uc_width_ / kTwipsPerPixel, uc_height_ / kTwipsPerPixel);
}

void ucSens::ReduceFont() {
  uc_width_ = kPanelWidth;
  uc_height_ = kPanelHeight;
  resize(uc_width_ / kTwipsPerPixel, uc_height_ / kTwipsPerPixel);
}

}  // namespace stratlyn
