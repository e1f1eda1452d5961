// The strategy panel driven like a user would, offscreen.

#include <gtest/gtest.h>

#include <QApplication>
#include <QClipboard>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPushButton>
#include <QSlider>
#include <QTemporaryDir>
#include <QtTest/QTest>
#include <algorithm>
#include <cstdlib>

#include "charts/qt_canvas.h"
#include "strategy/ucstrategy_widget.h"
#include "support/fake_services.h"
#include "util/dates.h"
#include "util/format.h"
#include "util/locale_info.h"
#include "util/qt_grid_model.h"

namespace stratlyn {
namespace {

struct DotLocale {
  DotLocale() { SetEntryLocale(EntryLocale{}); }
  ~DotLocale() { ResetEntryLocale(); }
  DotLocale(const DotLocale&) = delete;
  DotLocale& operator=(const DotLocale&) = delete;
};

void Shot(QWidget& w, const char* name) {
  if (const char* dir = std::getenv("STRATLYN_SHOT_DIR")) {
    w.grab().save(QString(dir) + "/" + name + ".png");
  }
}

// The calculator panel's start option: call, S = K = 50, T = 1, r = 0.1, vol 0.25.
void Default(ucStrategy& p) { p.SetParameters(1, 0.1f, 50, 1, 50, 0.25f, 0, 7); }

// Types into whatever has the keyboard focus, as a keyboard does.
void Type(const QString& text) { QTest::keyClicks(QApplication::focusWidget(), text); }
void Key(Qt::Key key) { QTest::keyClick(QApplication::focusWidget(), key); }

TEST(ucStrategyGui, OpensWithABullSpreadOnTheOptionAndDrawsBothCurves) {
  DotLocale dot;
  testing::FakeServices services;
  ucStrategy p;
  p.show();
  Default(p);
  p.CalcIt();
  ASSERT_TRUE(p.Figures()) << services.dialogs.LastText();
  const Grid& legs = p.Grid1()->grid();
  EXPECT_EQ(legs.TextMatrix(1, 2), "call");
  EXPECT_EQ(legs.TextMatrix(2, 3), "55");
  EXPECT_EQ(p.cmbTemplate()->currentText(), "Bull call spread");
  // Half way to the expiry by default.
  EXPECT_DOUBLE_EQ(p.AtYears(), 0.5);
  const StrategyFigures& f = *p.Figures();
  const Grid& results = p.Grid2()->grid();
  EXPECT_EQ(results.TextMatrix(2, 0), "Break-even prices");
  EXPECT_EQ(results.TextMatrix(2, 1), FormatNumber(f.at_expiry.break_evens[0], "0.00##"));
  EXPECT_EQ(results.TextMatrix(3, 1), FormatNumber(5 - f.net_premium, kValueFormat));
  EXPECT_EQ(results.TextMatrix(9, 0), "Theta (per year)");
  EXPECT_GT(p.pbox()->ItemCount(), 2 * kCurvePoints);
  EXPECT_EQ(p.Text1(2)->Text(), FormatNumber(f.curve.front().spot, kEntryFormat));
  EXPECT_EQ(services.dialogs.Count(), 0u);

  p.SetGreekUnits(GreekUnits::kPerDay);
  EXPECT_EQ(results.TextMatrix(9, 0), "Theta (per day)");
  EXPECT_EQ(results.TextMatrix(9, 1), FormatNumber(f.greeks.theta / 365, kValueFormat));
  EXPECT_EQ(results.TextMatrix(8, 0), "Vega (per 1 % vol)");

  // The read-out under the pointer: both profits at that price.
  const QPointF at = p.pbox()->ToPixels(55, 0);
  // A move event as the window system delivers it (QTest::mouseMove moves the
  // real cursor, which some platforms report later).
  QMouseEvent move(QEvent::MouseMove, at, p.pbox()->mapToGlobal(at), Qt::NoButton, Qt::NoButton,
                   Qt::NoModifier);
  QApplication::sendEvent(p.pbox(), &move);
  const std::string readout = p.lblPoint()->text().toStdString();
  ASSERT_EQ(readout.rfind("S=", 0), 0u) << readout;
  const double price = std::strtod(readout.c_str() + 2, nullptr);
  EXPECT_NEAR(price, 55, 0.1);
  const double profit = std::min(std::max(price - 50, 0.0), 5.0) - f.net_premium;
  const size_t at_expiry = readout.find("  expiry ");
  ASSERT_NE(at_expiry, std::string::npos) << readout;
  EXPECT_NEAR(std::strtod(readout.c_str() + at_expiry + 9, nullptr), profit, 2e-3) << readout;
  EXPECT_NE(readout.find("  date "), std::string::npos) << readout;

  p.EnlargeFont();
  EXPECT_EQ(p.ucWidth(), 12240);
  Shot(p, "strategy_panel");
}

TEST(ucStrategyGui, BadCellTypedInTheTableGivesTheMessageAndNoPlot) {
  DotLocale dot;
  testing::FakeServices services;
  ucStrategy p;
  p.show();
  QApplication::setActiveWindow(&p);
  Default(p);
  p.CalcIt();
  ASSERT_TRUE(p.Figures());
  p.Grid1()->setFocus();
  ASSERT_TRUE(QTest::qWaitFor([&] { return p.Grid1()->hasFocus(); }));
  Grid& legs = p.Grid1()->grid();
  legs.SetRow(1);
  legs.SetCol(3);
  Key(Qt::Key_Delete);
  Type("0");
  EXPECT_EQ(legs.TextMatrix(1, 3), "0");
  Key(Qt::Key_Return);
  EXPECT_EQ(services.dialogs.LastText(), "Leg 1: the strike price must be positive");
  EXPECT_FALSE(p.Figures());
  EXPECT_EQ(p.pbox()->ItemCount(), 0);
  EXPECT_EQ(p.Grid2()->grid().TextMatrix(1, 1), "");

  Key(Qt::Key_Backspace);
  Type("50");
  Key(Qt::Key_Return);
  EXPECT_TRUE(p.Figures()) << services.dialogs.LastText();
}

TEST(ucStrategyGui, SliderAndDateFieldChooseTheDate) {
  DotLocale dot;
  testing::FakeServices services;
  ucStrategy p;
  p.show();
  Default(p);
  p.txtDate()->setText("2026-01-01");
  p.sldDate()->setValue(ucStrategy::kSliderSteps);
  ASSERT_TRUE(p.Figures()) << services.dialogs.LastText();
  EXPECT_DOUBLE_EQ(p.AtYears(), 1);
  EXPECT_EQ(p.txtAtDate()->text().toStdString(),
            FormatShortDate(std::chrono::year_month_day{
                std::chrono::year{2027}, std::chrono::January, std::chrono::day{1}}));
  // At the expiry both curves are one.
  EXPECT_EQ(p.Figures()->at_date.break_evens, p.Figures()->at_expiry.break_evens);

  // A date typed past the expiry: the message, no figures.
  p.txtAtDate()->setText("2027-03-01");
  p.txtAtDate()->setFocus();
  QTest::keyClick(p.txtAtDate(), Qt::Key_Return);
  EXPECT_EQ(services.dialogs.LastText(), "The date is past the first expiry (1.0000 years)");
  EXPECT_FALSE(p.Figures());
  p.txtAtDate()->setText("0.25");
  QTest::keyClick(p.txtAtDate(), Qt::Key_Return);
  ASSERT_TRUE(p.Figures());
  EXPECT_DOUBLE_EQ(p.AtYears(), 0.25);
  EXPECT_EQ(p.sldDate()->value(), ucStrategy::kSliderSteps / 4);

  // Years with a fraction typed into the date field are years, not the date
  // 1 January 2026 (the position's own date).
  ucStrategy three;
  three.show();
  three.SetParameters(1, 0.1f, 50, 3, 50, 0.25f, 0, 7);
  three.txtDate()->setText("2026-01-01");
  three.CalcIt();
  three.txtAtDate()->selectAll();
  QTest::keyClicks(three.txtAtDate(), "1 1/26");
  QTest::keyClick(three.txtAtDate(), Qt::Key_Return);
  ASSERT_TRUE(three.Figures()) << services.dialogs.LastText();
  EXPECT_NEAR(three.AtYears(), 1 + 1.0 / 26, 1e-9);
}

TEST(ucStrategyGui, TemplatesWidthAndImages) {
  DotLocale dot;
  testing::FakeServices services;
  ucStrategy p;
  p.show();
  Default(p);
  p.cmbTemplate()->setCurrentIndex(6);  // Straddle
  emit p.cmbTemplate()->activated(6);
  EXPECT_EQ(p.Grid1()->grid().Rows(), 3);
  EXPECT_EQ(p.Grid1()->grid().TextMatrix(2, 2), "put");
  ASSERT_TRUE(p.Figures());
  EXPECT_EQ(p.Figures()->at_expiry.break_evens.size(), 2u);
  EXPECT_EQ(p.Grid2()->grid().TextMatrix(3, 1), "unlimited");

  p.txtWidth()->setText("30");
  emit p.cmbTemplate()->activated(9);  // Iron condor: 50 - 60 is no strike
  EXPECT_EQ(services.dialogs.LastText(), kWidthTooLarge);
  EXPECT_EQ(p.Grid1()->grid().Rows(), 3);  // the straddle stays
  p.txtWidth()->setText("abc");
  emit p.cmbTemplate()->activated(4);
  EXPECT_EQ(services.dialogs.LastText(), "The width must be a positive number");

  p.cmdCopyImage()->click();
  const QImage copied = QGuiApplication::clipboard()->image();
  EXPECT_FALSE(copied.isNull());
  // The whole figure: its title, ticks and both curves are drawn.
  int drawn = 0;
  for (int y = 0; y < copied.height(); ++y) {
    for (int x = 0; x < copied.width(); ++x) {
      drawn += (copied.pixel(x, y) & 0xFFFFFF) != 0xFFFFFF;
    }
  }
  EXPECT_GT(drawn, copied.width() * 4);
  EXPECT_EQ(p.pbox()->Frame().title, "Profit of the position");
  ASSERT_TRUE(p.pbox()->Frame().marker_x);
  EXPECT_DOUBLE_EQ(*p.pbox()->Frame().marker_x, 50);
  QTemporaryDir dir;
  EXPECT_TRUE(p.SaveFigure(dir.filePath("figure.png")));
  EXPECT_FALSE(QImage(dir.filePath("figure.png")).isNull());
  EXPECT_FALSE(p.SaveFigure(dir.filePath("missing/figure.png")));
}

}  // namespace
}  // namespace stratlyn
