// "Strategy" in the main window: the option handed over, the panel placed
// and shown large, reached from the button and from View > Strategy.

#include <gtest/gtest.h>

#include <QAction>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <cstdlib>

#include "analytics/ucrisk_widget.h"
#include "analytics/ucsens_widget.h"
#include "calculator/ucbsop_widget.h"
#include "charts/qt_canvas.h"
#include "charts/qt_scalable_control.h"
#include "shell/calc_main_widget.h"
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

TEST(StrategySwitch, StrategyButtonShowsThePanelLargeWithTheCalculatorsOption) {
  DotLocale dot;
  testing::FakeServices services;
  calcMain w;
  w.resize(1400, 1000);
  w.show();
  w.ucBSOP1()->Text1(4)->setText("60");  // strike
  w.cmdStrategy()->click();
  ucStrategy* s = w.ucStrategy1();
  EXPECT_EQ(w.currentPanel(), s);
  EXPECT_TRUE(s->isVisible());
  EXPECT_FALSE(w.ucBSOP1()->isVisible());
  EXPECT_FALSE(w.ucRisk1()->isVisible());
  EXPECT_FALSE(w.ucSens1()->isVisible());
  EXPECT_EQ(s->ucWidth(), 12240);
  EXPECT_EQ(s->width(), TwipsToPx(12240));
  // The bull call spread at the calculator's strike, calculated.
  EXPECT_EQ(s->Grid1()->grid().TextMatrix(1, 3), "60");
  EXPECT_EQ(s->Grid1()->grid().TextMatrix(2, 3), "65");
  ASSERT_TRUE(s->Figures());
  EXPECT_GT(s->pbox()->ItemCount(), 0);
  Shot(w, "window_strategy");

  // Another panel hides it; the menu brings it back with the new option.
  w.cmdSensitivity()->click();
  EXPECT_FALSE(s->isVisible());
  w.ucBSOP1()->Text1(0)->setText("55");
  QAction* menu = w.findChild<QAction*>("mnuStrategy");
  ASSERT_NE(menu, nullptr);
  menu->trigger();
  EXPECT_TRUE(s->isVisible());
  EXPECT_EQ(s->Core().Parameters().spot, 55.0f);
  w.cmdCalc()->click();
  EXPECT_FALSE(s->isVisible());
  EXPECT_EQ(services.dialogs.Count(), 0u);
}

TEST(StrategySwitch, PerDayUnitsFromTheOptionsMenuReachBothPanels) {
  DotLocale dot;
  testing::FakeServices services;
  calcMain w;
  w.resize(1400, 1000);
  w.show();
  w.ucBSOP1()->cmdCalculate()->click();
  w.cmdStrategy()->click();
  QAction* units = w.findChild<QAction*>("mnuOptionsPerDayUnits");
  ASSERT_NE(units, nullptr);
  EXPECT_EQ(units->text(), "Theta per day, vega and rho per 1 %");
  ASSERT_TRUE(units->isCheckable());
  units->trigger();  // ticks it
  EXPECT_TRUE(units->isChecked());
  EXPECT_EQ(w.ucStrategy1()->Grid2()->grid().TextMatrix(9, 0), "Theta (per day)");
  QLabel* theta_caption = w.ucBSOP1()->findChild<QLabel*>("lblTheta");
  ASSERT_NE(theta_caption, nullptr);
  bool captioned = false;
  for (QLabel* label : w.ucBSOP1()->findChildren<QLabel*>()) {
    captioned = captioned || label->text() == "Theta (per day)";
  }
  EXPECT_TRUE(captioned);
  units->trigger();  // clears it
  EXPECT_EQ(w.ucStrategy1()->Grid2()->grid().TextMatrix(9, 0), "Theta (per year)");
  EXPECT_EQ(services.dialogs.Count(), 0u);
}

}  // namespace
}  // namespace stratlyn
