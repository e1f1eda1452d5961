// "Analytics" and "Sensitivity" in the main window: the option handed over at
// each switch, the panel placed and shown large, nothing flowing back.

#include <gtest/gtest.h>

#include <QCheckBox>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollArea>
#include <cstdlib>

#include "analytics/ucrisk_widget.h"
#include "analytics/ucsens_widget.h"
#include "calculator/ucbsop_widget.h"
#include "charts/qt_canvas.h"
#include "charts/qt_scalable_control.h"
#include "shell/calc_main_widget.h"
#include "strategy/strategy_panel.h"
#include "strategy/ucstrategy_widget.h"
#include "support/dot_locale.h"
#include "support/fake_services.h"
#include "support/widget_shot.h"
#include "util/locale_info.h"
#include "util/qt_grid_model.h"

namespace stratlyn {
namespace {

using testing::DotLocale;
using testing::Shot;

constexpr int kLargeWidth = 12240;  // 7200 x 1.7
constexpr int kLargeHeight = 8550;  // 5700 x 1.5

TEST(PanelSwitch, AnalyticsAfterNormalDisplayShowsTheRiskPanelLarge) {
  DotLocale dot;
  testing::FakeServices services;
  calcMain w;
  w.resize(1400, 1000);
  w.show();
  w.cmdRisk()->click();
  ucRisk* risk = w.ucRisk1();
  EXPECT_EQ(w.currentPanel(), risk);
  EXPECT_TRUE(risk->isVisible());
  EXPECT_FALSE(w.ucBSOP1()->isVisible());
  EXPECT_FALSE(w.ucSens1()->isVisible());
  EXPECT_EQ(risk->ucWidth(), kLargeWidth);
  EXPECT_EQ(risk->width(), TwipsToPx(kLargeWidth));
  EXPECT_EQ(w.PaneArea()->x(), TwipsToPx(30));
  EXPECT_EQ(risk->Grid1()->grid().TextMatrix(1, 1), "95.00%");  // CalcIt ran
  Shot(w, "window_risk");

  w.mnuOptionsNormalDisplay_Click();
  EXPECT_EQ(risk->ucWidth(), ucRisk::kDesignWidth);
  EXPECT_EQ(risk->width(), TwipsToPx(ucRisk::kDesignWidth));
  EXPECT_EQ(risk->cmdCalculate()->font().pointSize(), 8);

  // The next switch enlarges it again, whatever the user chose.
  w.cmdRisk()->click();
  EXPECT_EQ(risk->ucWidth(), kLargeWidth);
  EXPECT_EQ(risk->ucHeight(), kLargeHeight);
  EXPECT_EQ(risk->height(), TwipsToPx(kLargeHeight));
  EXPECT_EQ(risk->cmdCalculate()->font().pointSize(), 12);
  EXPECT_TRUE(risk->cmdCalculate()->font().bold());

  // Sensitivity likewise, with its plot drawn.
  w.mnuOptionsNormalDisplay_Click();
  w.cmdSensitivity()->click();
  ucSens* sens = w.ucSens1();
  EXPECT_EQ(w.currentPanel(), sens);
  EXPECT_TRUE(sens->isVisible());
  EXPECT_FALSE(risk->isVisible());
  EXPECT_EQ(sens->ucWidth(), kLargeWidth);
  EXPECT_EQ(sens->width(), TwipsToPx(kLargeWidth));
  EXPECT_EQ(sens->pbox()->ItemCount(), 99);
  Shot(w, "window_sensitivity");
  EXPECT_EQ(services.dialogs.Count(), 0u);
}

TEST(PanelSwitch, CalculatorChangesReachThePanelsOnlyAtTheNextSwitch) {
  DotLocale dot;
  testing::FakeServices services;
  calcMain w;
  w.resize(1400, 1000);
  w.show();
  QLineEdit* underlying = w.ucBSOP1()->Text1(0);
  underlying->setText("60");
  w.cmdRisk()->click();
  EXPECT_EQ(w.ucRisk1()->Inputs().spot, 60.0f);
  EXPECT_EQ(w.Parameters().spot, 60.0f);
  const std::string table = w.ucRisk1()->Grid1()->grid().Clip();

  // A change in the calculator panel stays there ...
  underlying->setText("75");
  EXPECT_EQ(w.ucRisk1()->Inputs().spot, 60.0f);
  EXPECT_EQ(w.Parameters().spot, 60.0f);
  w.ucRisk1()->chkUAsset()->setChecked(true);
  w.ucRisk1()->CalcIt();  // the risk panel works on its own copy
  EXPECT_EQ(w.ucRisk1()->Inputs().spot, 60.0f);

  // ... until the next switch hands it over.
  w.cmdSensitivity()->click();
  EXPECT_EQ(w.ucSens1()->Inputs().spot, 75.0f);
  EXPECT_EQ(w.ucRisk1()->Inputs().spot, 60.0f);
  w.cmdRisk()->click();
  EXPECT_EQ(w.ucRisk1()->Inputs().spot, 75.0f);
  EXPECT_EQ(underlying->text(), "75");  // nothing flows back

  // The sensitivity panel's x range follows the handed-over asset price.
  w.ucSens1()->xtyp(0)->click();
  w.cmdSensitivity()->click();
  EXPECT_EQ(w.ucSens1()->Text1(2)->Text(), "35.6250");  // 37.5 x 0.95
  EXPECT_EQ(services.dialogs.Count(), 0u);
}

TEST(PanelSwitch, PutAndExerciseStyleTravelWithTheOptionToEveryPanel) {
  DotLocale dot;
  testing::FakeServices services;
  calcMain w;
  w.resize(1400, 1000);
  w.show();
  ucBSOP* calc = w.ucBSOP1();
  calc->chkPut()->click();
  calc->chkAmer()->click();
  calc->Text1(4)->setText("55");  // strike
  w.cmdSensitivity()->click();
  const OptionTerms& sens = w.ucSens1()->Inputs();
  EXPECT_TRUE(sens.put);
  EXPECT_TRUE(sens.american);
  EXPECT_EQ(sens.strike, 55.0f);
  w.cmdStrategy()->click();
  EXPECT_TRUE(w.ucStrategy1()->Core().Parameters().put);
  EXPECT_EQ(w.ucStrategy1()->Core().Parameters().strike, 55.0f);

  // Back in the calculator, a call handed over is a call again.
  w.cmdCalc()->click();
  calc->chkCall()->click();
  calc->chkEuro()->click();
  w.cmdRisk()->click();
  EXPECT_FALSE(w.ucRisk1()->Inputs().put);
  EXPECT_FALSE(w.ucRisk1()->Inputs().american);
  EXPECT_EQ(w.Parameters(), w.ucRisk1()->Inputs());
  EXPECT_EQ(services.dialogs.Count(), 0u) << services.dialogs.LastText();
}

TEST(PanelSwitch, AnUnreadableEntryStopsTheSwitch) {
  DotLocale dot;
  testing::FakeServices services;
  calcMain w;
  w.resize(1400, 1000);
  w.show();
  w.cmdSensitivity()->click();
  ASSERT_EQ(w.currentPanel(), w.ucSens1());
  w.ucBSOP1()->Text1(0)->setText("1e99");  // beyond single precision
  w.cmdRisk()->click();
  EXPECT_GE(services.dialogs.Count(), 1u);
  EXPECT_EQ(w.currentPanel(), w.ucSens1());
  EXPECT_FALSE(w.ucRisk1()->isVisible());
}

}  // namespace
}  // namespace stratlyn
