#include "analytics/ucrisk_widget.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include "util/qt_grid_model.h"

namespace stratlyn {

namespace {
constexpr int kPanelWidth = 7200;   // twips
constexpr int kPanelHeight = 3300;  // twips
}  // namespace

ucRisk::ucRisk(QWidget* parent) : QWidget(parent) {
  uc_width_ = kPanelWidth;
  uc_height_ = kPanelHeight;
  resize(uc_width_ / kTwipsPerPixel, uc_height_ / kTwipsPerPixel);
  auto* layout = new QGridLayout(this);
  txt_return_ = new QLineEdit(QStringLiteral("0.15"), this);
  txt_vol_ = new QLineEdit(QStringLiteral("0.25"), this);
  cmb_horizon_ = new QComboBox(this);
  cmb_horizon_->addItems({tr("1 day"), tr("1 week"), tr("1 month"), tr("3 months"),
                          tr("Option Maturity")});
  chk_payoffs_ = new QCheckBox(tr("Ignore cost of option"), this);
  chk_uasset_ = new QCheckBox(tr("Plot asset distribution"), this);
  cmd_calculate_ = new QPushButton(tr("Calculate"), this);
  grid1_ = new GridView(this);
  lbl_point_ = new QLabel(this);
  layout->addWidget(txt_return_, 0, 0);
  layout->addWidget(txt_vol_, 1, 0);
  layout->addWidget(cmb_horizon_, 2, 0);
  layout->addWidget(chk_payoffs_, 3, 0);
  layout->addWidget(chk_uasset_, 4, 0);
  layout->addWidget(cmd_calculate_, 5, 0);
  layout->addWidget(grid1_, 0, 1, 6, 1);
  layout->addWidget(lbl_point_, 6, 0, 1, 2);
}

ucRisk::~ucRisk() = default;

void ucRisk::SetParameters(short oid, float orf, float os, float ot, float oxk, float osig,
                           float odvl, float oopr) {
  inputs_ = OptionParameters{oid, orf, os, ot, oxk, osig, odvl, oopr};
}

void ucRisk::CalcIt() { cmdCalculate_Click(); }

void ucRisk::cmdCalculate_Click() {}

void ucRisk::Grid1_KeyPress(int) {}

void ucRisk::ShowPoint(double, double) {}

void ucRisk::RegisterDisplay() {}

void ucRisk::EnlargeFont() {
  uc_width_ = kPanelWidth * 17 / 10;
  uc_height_ = kPanelHeight * 3 / 2;
  resize(uc_width_ / kTwipsPerPixel, uc_height_ / kTwipsPerPixel);
}

void ucRisk::ReduceFont() {
  uc_width_ = kPanelWidth;
  uc_height_ = kPanelHeight;
  resize(uc_width_ / kTwipsPerPixel, uc_height_ / kTwipsPerPixel);
}

}  // namespace stratlyn
