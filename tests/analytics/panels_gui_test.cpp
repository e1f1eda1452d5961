// The risk and sensitivity panels driven like a user would, offscreen.

#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QtTest/QTest>
#include <cstdlib>
#include <utility>
#include <vector>

#include "analytics/risk.h"
#include "analytics/sensitivity.h"
#include "analytics/ucrisk_widget.h"
#include "analytics/ucsens_widget.h"
#include "charts/qt_canvas.h"
#include "pricing/option_terms.h"
#include "pricing/zel_bsop.h"
#include "support/fake_services.h"
#include "support/widget_shot.h"
#include "util/format.h"
#include "util/locale_info.h"
#include "util/qt_grid_model.h"
#include "util/zel_error.h"

namespace stratlyn {
namespace {

using testing::Shot;

// Numbers in these tests are written with a decimal point, whatever the
// locale the suite runs under.
class DotLocaleEnvironment : public ::testing::Environment {
 public:
  void SetUp() override { SetEntryLocale(EntryLocale{}); }
  void TearDown() override { ResetEntryLocale(); }
};
[[maybe_unused]] ::testing::Environment* const kDotLocale =
    ::testing::AddGlobalTestEnvironment(new DotLocaleEnvironment);

// Pixels of the image that differ from the given colour.
int PixelsUnlike(const QImage& img, QRgb colour) {
  int n = 0;
  for (int y = 0; y < img.height(); ++y) {
    for (int x = 0; x < img.width(); ++x) {
      if ((img.pixel(x, y) & 0xFFFFFF) != (colour & 0xFFFFFF)) {
        ++n;
      }
    }
  }
  return n;
}

// The call both analytics panels start from.
const OptionTerms kCall{.spot = 50.0f,
                        .strike = 50.0f,
                        .maturity = 0.5f,
                        .rate = 0.05f,
                        .vol = 0.3f,
                        .market_price = 4.0f};

// kCall with some terms changed by `change`.
template <typename Change>
OptionTerms CallWith(Change change) {
  OptionTerms t = kCall;
  change(t);
  return t;
}

void SetCall(ucSens& s) { s.SetParameters(kCall); }
void SetCall(ucRisk& r) { r.SetParameters(kCall); }

TEST(SensitivityPanel, PlotAutomaticallyAndAxisChoices) {
  testing::FakeServices services;
  ucSens s;
  s.show();
  SetCall(s);
  EXPECT_EQ(s.yTyp(5)->text(), "Rho");
  EXPECT_EQ(s.xtyp(5)->text(), "Div Yld");
  EXPECT_EQ(s.pbox()->ItemCount(), 0);  // nothing until asked

  // With the box clear an axis click only changes the choice.
  s.yTyp(1)->click();
  EXPECT_EQ(s.YChoice(), 1);
  EXPECT_EQ(s.pbox()->ItemCount(), 0);

  // Ticked: "Plot" is disabled and every axis click redraws at once.
  s.chkAuto()->click();
  EXPECT_FALSE(s.cmdplot()->isEnabled());
  s.yTyp(1)->click();
  EXPECT_EQ(s.pbox()->ItemCount(), 99);  // points 1..99 of the sweep
  const std::string delta_top = s.Text1(0)->Text();
  s.yTyp(0)->click();  // option value: a different range
  EXPECT_NE(s.Text1(0)->Text(), delta_top);
  s.xtyp(1)->click();
  EXPECT_EQ(s.XChoice(), 1);
  // 50 % to 200 % of the volatility 0.3, widened by 0.95 and 1.05.
  EXPECT_EQ(s.Text1(2)->Text(), FormatNumber(0.15f * 0.95f, "0.0000"));
  s.chkAuto()->click();
  EXPECT_TRUE(s.cmdplot()->isEnabled());
  EXPECT_EQ(services.dialogs.Count(), 0u);
  Shot(s, "sensitivity");
}

TEST(SensitivityPanel, ReadoutShowsTheCurveAtThePointersX) {
  testing::FakeServices services;
  ucSens s;
  s.show();
  SetCall(s);
  s.yTyp(1)->click();
  s.PlotIt();
  QtCanvas* pb = s.pbox();
  // Hovering is enough: the read-out gives the curve's value at the pointer's
  // x, wherever the pointer is vertically.
  const QPointF high(pb->PlotRect().center().x(), pb->PlotRect().top() + 3);
  QMouseEvent move(QEvent::MouseMove, high, pb->mapToGlobal(high), Qt::NoButton, Qt::NoButton,
                   Qt::NoModifier);
  QApplication::sendEvent(pb, &move);
  const double x = pb->ToUser(high).x();
  std::vector<float> xs, ys;
  zelBSOP bsop;
  PortSens(0, 1, s.Inputs(), bsop, xs, ys);
  // The delta of the swept call at that asset price, from the sweep's own points.
  size_t i = 1;
  while (i + 1 < xs.size() && xs[i] < x) ++i;
  const double want = ys[i - 1] + (ys[i] - ys[i - 1]) * (x - xs[i - 1]) / (xs[i] - xs[i - 1]);
  EXPECT_EQ(s.lblPoint()->text().toStdString(), PointReadout(x, want));
  EXPECT_LT(want, 1.0);  // a delta, not the pointer's height
  QTest::mousePress(pb, Qt::LeftButton, {}, high.toPoint());
  EXPECT_FALSE(s.lblPoint()->text().isEmpty());
  QTest::mouseRelease(pb, Qt::LeftButton, {}, high.toPoint());
  EXPECT_TRUE(s.lblPoint()->text().isEmpty());
  // Left of the plotted curve there is nothing to read.
  const QPointF outside(2, pb->height() / 2.0);
  QMouseEvent away(QEvent::MouseMove, outside, pb->mapToGlobal(outside), Qt::NoButton, Qt::NoButton,
                   Qt::NoModifier);
  QApplication::sendEvent(pb, &away);
  EXPECT_TRUE(s.lblPoint()->text().isEmpty());
}

TEST(SensitivityPanel, TheFigureHasATitleTicksAndAMarkerAtTheCurrentInput) {
  testing::FakeServices services;
  ucSens s;
  s.show();
  SetCall(s);
  s.xtyp(4)->click();
  s.yTyp(1)->click();
  s.PlotIt();
  const ChartFrame& f = s.pbox()->Frame();
  EXPECT_EQ(f.title, "Delta vs Strike");
  EXPECT_EQ(f.x_caption, "Strike");
  EXPECT_GE(f.x_ticks.size(), 3u);
  EXPECT_GE(f.y_ticks.size(), 3u);
  ASSERT_TRUE(f.marker_x);
  EXPECT_DOUBLE_EQ(*f.marker_x, 50.0);
  ASSERT_TRUE(f.marker_y);
  EXPECT_GT(*f.marker_y, 0.5);  // an at-the-money call's delta
  // Gamma against the dividend yield: a narrow range, labels still distinct.
  s.xtyp(5)->click();
  s.yTyp(2)->click();
  s.PlotIt();
  const ChartFrame& g = s.pbox()->Frame();
  EXPECT_EQ(g.title, "Gamma vs Div Yld");
  ASSERT_GE(g.y_ticks.size(), 3u);
  for (size_t i = 1; i < g.y_ticks.size(); ++i) {
    EXPECT_NE(g.y_ticks[i].text, g.y_ticks[i - 1].text);
  }
  Shot(s, "sensitivity_gamma_dvl");
}

TEST(SensitivityPanel, AnInvalidCopyGetsThePanelsMessageAndNoPlot) {
  testing::FakeServices services;
  ucSens s;
  s.show();
  SetCall(s);
  s.PlotIt();
  ASSERT_GT(s.pbox()->ItemCount(), 0);
  // A strike typed as "abc" reaches the panel as 0.
  s.SetParameters(CallWith([](OptionTerms& t) { t.strike = 0.0f; }));
  s.xtyp(4)->click();
  s.PlotIt();
  ASSERT_EQ(services.dialogs.Count(), 1u);
  EXPECT_EQ(services.dialogs.Last().text, "The strike price must be positive");
  EXPECT_EQ(services.dialogs.Last().icon, MsgIcon::Critical);
  EXPECT_EQ(services.dialogs.Last().title, "Quorvale");
  EXPECT_EQ(s.pbox()->ItemCount(), 0);
  EXPECT_TRUE(s.pbox()->Frame().Empty());
  EXPECT_EQ(s.Text1(0)->Text(), "");
  // Several bad fields: the last in the panel's order, as the panel says it.
  s.SetParameters(CallWith([](OptionTerms& t) {
    t.spot = -1.0f;
    t.maturity = 0.0f;
  }));
  s.PlotIt();
  EXPECT_EQ(services.dialogs.LastText(), "The maturity must be positive");
  s.SetParameters(CallWith([](OptionTerms& t) { t.vol = 0.0f; }));
  s.PlotIt();
  EXPECT_EQ(services.dialogs.LastText(), "The volatility must be positive");
  EXPECT_EQ(s.pbox()->ItemCount(), 0);
}

TEST(SensitivityPanel, DisplaySizesAndTheKeptPlot) {
  testing::FakeServices services;
  ucSens s;
  s.show();
  SetCall(s);
  EXPECT_EQ(s.ucWidth(), 7200);
  EXPECT_EQ(s.ucHeight(), 5700);
  s.PlotIt();
  const int items = s.pbox()->ItemCount();
  s.EnlargeFont();
  EXPECT_EQ(s.ucWidth(), 12240);
  EXPECT_EQ(s.ucHeight(), 8550);
  EXPECT_EQ(s.cmdplot()->font().pointSize(), 12);
  EXPECT_TRUE(s.cmdplot()->font().bold());
  const QRect large = s.pbox()->geometry();
  s.EnlargeFont();
  EXPECT_EQ(s.pbox()->geometry(), large);  // twice equals once
  // The plot is kept and redrawn at the new size.
  EXPECT_EQ(s.pbox()->ItemCount(), items);
  const QImage img = s.pbox()->Image();
  EXPECT_EQ(img.width(), large.width());
  EXPECT_GT(PixelsUnlike(img, 0xFFFFFF), 200);
  Shot(s, "sensitivity_large");
  s.ReduceFont();
  EXPECT_EQ(s.ucWidth(), 7200);
  EXPECT_EQ(s.cmdplot()->font().pointSize(), 8);
  EXPECT_LT(s.pbox()->width(), large.width());
}

TEST(RiskPanel, InputChecksStopTheRun) {
  testing::FakeServices services;
  ucRisk r;
  SetCall(r);
  EXPECT_EQ(r.txtStockReturn()->text(), "0.15");
  EXPECT_EQ(r.txtStockVol()->text(), "0.25");
  EXPECT_EQ(r.cmbHorizon()->currentText(), "1 day");
  EXPECT_EQ(r.cmbHorizon()->count(), 5);
  r.txtStockReturn()->setText("abc");
  r.CalcIt();
  ASSERT_EQ(services.dialogs.Count(), 1u);
  EXPECT_EQ(services.dialogs.Last().text, "Invalid expected asset return\n\n\"abc\" has no digit.");
  EXPECT_EQ(services.dialogs.Last().icon, MsgIcon::Critical);
  EXPECT_EQ(services.dialogs.Last().title, "Quorvale");
  r.txtStockReturn()->setText("0.1");
  r.txtStockVol()->setText("");
  r.CalcIt();
  EXPECT_EQ(services.dialogs.LastText(), "Invalid asset return volatility\n\n\"\" has no digit.");
  EXPECT_EQ(r.pbox()->ItemCount(), 0);
  EXPECT_EQ(r.Grid1()->grid().TextMatrix(1, 0), "");

  // Read as every entry field is: a volatility of return that is negative
  // or above 500 % is refused with the reason, and nothing is drawn.
  const size_t before = services.dialogs.Count();
  for (const auto& [vol, why] :
       {std::pair{"-0.2", "negative"}, std::pair{"40", "40 % as 0.40"},
        std::pair{"x1y", "not part of a number"}, std::pair{"N/A", "has no digit"}}) {
    r.txtStockVol()->setText(vol);
    r.CalcIt();
    EXPECT_NE(services.dialogs.LastText().find(why), std::string::npos)
        << services.dialogs.LastText();
    EXPECT_EQ(r.pbox()->ItemCount(), 0) << vol;
    EXPECT_EQ(r.Grid1()->grid().TextMatrix(1, 0), "") << vol;
  }
  EXPECT_EQ(services.dialogs.Count(), before + 4);
  r.txtStockReturn()->setText("15%");
  r.txtStockVol()->setText("25 %");
  r.CalcIt();
  EXPECT_EQ(services.dialogs.Count(), before + 4) << services.dialogs.LastText();
  EXPECT_NE(r.Grid1()->grid().TextMatrix(1, 0), "");

  // Without a market price the "profit" was the value itself: refused, the
  // table cleared; the payoff and the asset need none.
  r.SetParameters(CallWith([](OptionTerms& t) { t.market_price = 0; }));
  r.CalcIt();
  EXPECT_EQ(services.dialogs.LastText(), kNoMarketPrice);
  EXPECT_EQ(services.dialogs.Count(), before + 5);
  EXPECT_EQ(r.Grid1()->grid().TextMatrix(1, 0), "");
  EXPECT_EQ(r.pbox()->ItemCount(), 0);
  r.chkPayoffs()->setChecked(true);
  r.CalcIt();
  EXPECT_EQ(services.dialogs.Count(), before + 5);
  EXPECT_NE(r.Grid1()->grid().TextMatrix(1, 0), "");
  r.chkPayoffs()->setChecked(false);
  r.chkUAsset()->setChecked(true);
  r.CalcIt();
  EXPECT_EQ(services.dialogs.Count(), before + 5);
}

TEST(RiskPanel, CalculateDrawsTheHistogramAndTheTable) {
  testing::FakeServices services;
  ucRisk r;
  r.show();
  SetCall(r);
  r.cmbHorizon()->setCurrentIndex(2);  // one month
  r.CalcIt();
  EXPECT_EQ(services.dialogs.Count(), 0u);
  EXPECT_EQ(r.pbox()->ItemCount(), 100);  // bars 1..100
  EXPECT_FALSE(r.Text1(0)->isVisible());
  EXPECT_FALSE(r.Text1(1)->isVisible());
  EXPECT_TRUE(r.Text1(2)->isVisible());
  const Grid& g = r.Grid1()->grid();
  ASSERT_EQ(g.Rows(), 21);
  ASSERT_EQ(g.Cols(), 2);
  EXPECT_EQ(g.TextMatrix(0, 0), "Value");
  EXPECT_EQ(g.TextMatrix(0, 1), "Probability of Exceeding");
  EXPECT_EQ(g.TextMatrix(1, 1), "95.00%");
  EXPECT_EQ(g.TextMatrix(20, 1), "0.00%");
  // The x labels read in outcome units: the smallest and the largest outcome.
  EXPECT_LT(std::stod(r.Text1(2)->Text()), std::stod(g.TextMatrix(1, 0)));
  EXPECT_NEAR(std::stod(r.Text1(3)->Text()), std::stod(g.TextMatrix(20, 0)), 1e-3);
  EXPECT_GT(r.Grid1()->grid().ColWidth(1), r.Grid1()->grid().ColWidth(0));
  Shot(r, "risk");

  // Ctrl+C in the table copies its selection.
  r.Grid1()->setFocus();
  QTest::mouseClick(r.Grid1()->viewport(), Qt::LeftButton, {},
                    r.Grid1()->visualRect(r.Grid1()->gridModel()->index(0, 1)).center());
  QTest::keyClick(r.Grid1(), Qt::Key_C, Qt::ControlModifier);
  const std::string copied = services.clipboard.Text();
  EXPECT_EQ(copied.substr(0, 8), "95.00%\r\n");
  EXPECT_EQ(std::count(copied.begin(), copied.end(), '\r'), 19);

  // A later run continues the random sequence: a different table.
  const std::string first_median = g.TextMatrix(10, 0);
  r.CalcIt();
  EXPECT_NE(g.TextMatrix(10, 0), first_median);

  r.EnlargeFont();
  EXPECT_EQ(r.ucWidth(), 12240);
  r.CalcIt();
  Shot(r, "risk_large");
  r.ReduceFont();
  EXPECT_EQ(r.ucHeight(), 5700);
}

TEST(RiskPanel, ADecimalCommaLocaleReadsAndWritesItsNumbers) {
  testing::FakeServices services;
  EntryLocale de;
  de.decimal_point = ",";
  de.thousands_sep = ".";
  SetEntryLocale(de);
  {
    ucRisk r;
    SetCall(r);
    EXPECT_EQ(r.txtStockReturn()->text(), "0,15");
    r.CalcIt();
    EXPECT_EQ(services.dialogs.Count(), 0u);  // its own start texts are numbers
    EXPECT_EQ(r.Grid1()->grid().TextMatrix(1, 1), "95,00%");
    EXPECT_NE(r.Grid1()->grid().TextMatrix(1, 0).find(','), std::string::npos);
    EXPECT_NE(r.Text1(2)->Text().find(','), std::string::npos);
    EXPECT_EQ(PointReadout(101.5, 0.25), "x=101,5, y=0,25");
    // The figure's numbers too: decimals with the comma, never a point.
    bool decimals = false;
    for (const auto* ticks : {&r.pbox()->Frame().x_ticks, &r.pbox()->Frame().y_ticks}) {
      for (const auto& t : *ticks) {
        EXPECT_EQ(t.text.find('.'), std::string::npos) << t.text;
        decimals = decimals || t.text.find(',') != std::string::npos;
      }
    }
    ucSens s;
    s.SetParameters(kCall);
    s.yTyp(1)->click();
    s.PlotIt();
    for (const auto& t : s.pbox()->Frame().y_ticks) {
      EXPECT_EQ(t.text.find('.'), std::string::npos) << t.text;
      decimals = decimals || t.text.find(',') != std::string::npos;
    }
    EXPECT_TRUE(decimals);  // delta's ticks (0,2 ... 1,0) have decimals
    EXPECT_NE(s.pbox()->Frame().marker_label.find("50,0"), std::string::npos);
  }
  SetEntryLocale(EntryLocale{});
}

TEST(RiskPanel, HorizonBeyondMaturitySwitchesTheList) {
  testing::FakeServices services;
  ucRisk r;
  r.SetParameters(CallWith([](OptionTerms& t) {
    t.strike = 60.0f;
    t.maturity = 0.1f;
    t.vol = 0.25f;
    t.market_price = 2.5f;
  }));
  r.cmbHorizon()->setCurrentIndex(3);  // 3 months
  r.CalcIt();
  EXPECT_EQ(r.cmbHorizon()->currentText(), "Option Maturity");
  EXPECT_EQ(r.Grid1()->grid().TextMatrix(1, 0), "-2.500");

  // A strike of 0 (typed "abc"): the calculator panel's message, nothing
  // drawn and no values in the table, at every horizon.
  for (int horizon : {0, kHorizonMaturity}) {
    r.SetParameters(CallWith([](OptionTerms& t) {
      t.strike = 0.0f;
      t.vol = 0.25f;
      t.market_price = 7.0f;
    }));
    r.cmbHorizon()->setCurrentIndex(horizon);
    r.CalcIt();
    EXPECT_EQ(services.dialogs.LastText(), "The strike price must be positive");
    EXPECT_EQ(r.pbox()->ItemCount(), 0);
    EXPECT_TRUE(r.pbox()->Frame().Empty());
    for (int row = 1; row < 21; ++row) {
      ASSERT_EQ(r.Grid1()->grid().TextMatrix(row, 0), "") << row;
    }
  }
  EXPECT_EQ(services.dialogs.Count(), 2u);
}

TEST(RiskPanel, AtMaturityTheWorthlessShareIsItsOwnLabelledBar) {
  testing::FakeServices services;
  ucRisk r;
  r.show();
  SetCall(r);
  r.cmbHorizon()->setCurrentIndex(kHorizonMaturity);
  r.CalcIt();
  EXPECT_EQ(services.dialogs.Count(), 0u);
  // 100 bars and the worthless bar beside them, with its share written.
  EXPECT_EQ(r.pbox()->ItemCount(), 103);  // and its two caption lines
  const ChartFrame& f = r.pbox()->Frame();
  EXPECT_EQ(f.title, "Profit at Option Maturity");
  EXPECT_EQ(f.y_caption, "% of outcomes that pay");
  ASSERT_FALSE(f.x_ticks.empty());
  // x ticks in outcome units: profits from the loss of the price (-4) to the
  // largest outcome, the worthless bar's room (8 bins) aside.
  const double lo = std::stod(r.Text1(2)->Text()), hi = std::stod(r.Text1(3)->Text());
  EXPECT_DOUBLE_EQ(lo, -4.0);
  for (const auto& t : f.x_ticks) {
    EXPECT_GE(std::stod(t.text), lo - 8 * (hi - lo) / 100 - 1e-9) << t.text;
    EXPECT_LE(std::stod(t.text), hi + 1e-9) << t.text;
  }
  ASSERT_TRUE(f.marker_x);
  EXPECT_EQ(f.marker_label, "break-even");
  Shot(r, "risk_maturity");
  EXPECT_GT(PixelsUnlike(r.pbox()->Image(), 0x1E2A36), 500);
}

TEST(RiskPanel, TableRowsAndReadoutFitBothDisplays) {
  testing::FakeServices services;
  ucRisk r;
  r.show();
  SetCall(r);
  r.CalcIt();
  for (int large = 0; large < 2; ++large) {
    if (large) {
      r.EnlargeFont();
      r.CalcIt();
    }
    GridView* view = r.Grid1();
    QApplication::processEvents();
    // The 5 % and the 0 % rows are on screen, and the table inside the panel.
    EXPECT_LE(view->geometry().bottom(), r.height()) << large;
    const QRect last = view->visualRect(view->gridModel()->index(20, 1));
    EXPECT_TRUE(last.isValid()) << large;
    EXPECT_LE(last.bottom(), view->viewport()->height()) << large;
    EXPECT_GE(view->visualRect(view->gridModel()->index(0, 0)).top(), 0) << large;
    // The read-out of a bar fits its label, "x=" included.
    QtCanvas* pb = r.pbox();
    const QPointF at(pb->PlotRect().left() + 2, pb->PlotRect().center().y());
    QMouseEvent move(QEvent::MouseMove, at, pb->mapToGlobal(at), Qt::NoButton, Qt::NoButton,
                     Qt::NoModifier);
    QApplication::sendEvent(pb, &move);
    const QString text = r.lblPoint()->text();
    ASSERT_TRUE(text.startsWith("x=")) << text.toStdString();
    EXPECT_LE(r.lblPoint()->fontMetrics().horizontalAdvance(text), r.lblPoint()->width()) << large;
  }
}

TEST(RiskPanel, APressDuringARunIsIgnored) {
  testing::FakeServices services;
  ucRisk r;
  r.show();
  SetCall(r);
  int nested = 0;
  services.events.on_pending = [&] {
    if (nested++ == 0) {
      r.cmdCalculate()->click();  // pressed while the run lets events run
    }
  };
  r.CalcIt();
  EXPECT_GE(nested, 1);
  EXPECT_EQ(r.pbox()->ItemCount(), 100);  // one histogram, not two drawn into each other
  services.events.on_pending = nullptr;
  r.CalcIt();  // and the panel still calculates afterwards
  EXPECT_EQ(r.pbox()->ItemCount(), 100);
  EXPECT_EQ(services.events.busy_on, services.events.busy_off);
}

TEST(SensitivityPanel, AnAmericanOptionIsSweptOnTheLatticeAndAPressDuringItLeavesOneCurve) {
  testing::FakeServices services;
  ucSens s;
  s.show();
  // A deep American put: its curve is the lattice's, at or above the
  // exercise value, where the European curve lies below it.
  s.SetParameters(CallWith([](OptionTerms& t) {
    t.put = true;
    t.american = true;
    t.strike = 80.0f;
  }));
  int nested = 0;
  bool busy_during_sweep = true;
  services.events.on_pending = [&] {
    busy_during_sweep = busy_during_sweep && services.events.busy;
    if (nested++ == 0) {
      s.cmdplot()->click();  // pressed while the lattice lets events run
    }
  };
  s.PlotIt();
  EXPECT_GE(nested, 1);
  // The pointer shows the sweep running, and is back once it ends.
  EXPECT_TRUE(busy_during_sweep);
  EXPECT_FALSE(services.events.busy);
  EXPECT_EQ(services.events.busy_on, services.events.busy_off);
  EXPECT_EQ(s.pbox()->ItemCount(), 99);  // one curve, not two drawn into each other
  EXPECT_EQ(services.dialogs.Count(), 0u);
  services.events.on_pending = nullptr;
  std::vector<float> x, y;
  zelBSOP bsop;
  ASSERT_EQ(PortSens(0, 0, CallWith([](OptionTerms& t) {
                       t.put = true;
                       t.american = true;
                       t.strike = 80.0f;
                     }),
                     bsop, x, y),
            kSweepPoints);
  for (int i = 0; i < kSweepPoints; ++i) {
    EXPECT_GE(y[i], 80.0f - x[i] - 1e-4f) << x[i];
  }
}

TEST(PlotCanvas, ContextMenuAndSavedImage) {
  QtCanvas c;
  c.resize(200, 100);
  c.SetScale(0, 10, 10, 0);
  c.SetForeColor(0xFF0000);
  c.MoveTo(0, 0);
  c.LineTo(10, 10);
  EXPECT_EQ(c.ToPixels(10, 0), QPointF(200, 100));
  EXPECT_EQ(c.ToUser(QPointF(100, 50)), QPointF(5, 5));
  QMenu* menu = c.ContextMenu();
  ASSERT_EQ(menu->actions().size(), 2);
  EXPECT_EQ(menu->actions()[0]->text(), "Copy Image");
  EXPECT_EQ(menu->actions()[1]->text(), "Save Image...");
  QTemporaryDir dir;
  const QString path = dir.path() + "/plot.png";
  ASSERT_TRUE(c.SaveImage(path));
  QImage img(path);
  ASSERT_FALSE(img.isNull());
  EXPECT_EQ(img.size(), QSize(200, 100));
  EXPECT_GT(PixelsUnlike(img, 0xFFFFFF), 150);
  EXPECT_FALSE(c.SaveImage(dir.path() + "/missing/plot.png"));
  // Angles beyond a full turn are refused; a drawn plot survives a Cls-free rescale.
  EXPECT_THROW(c.Sector(5, 5, 1, -7.0, -1.0), zelError);
  c.SetScale(0, 100, 100, 0);
  EXPECT_EQ(c.ItemCount(), 1);
  c.Cls();
  EXPECT_EQ(c.ItemCount(), 0);
  EXPECT_EQ(c.CurrentX(), 0.0);
  EXPECT_EQ(c.CurrentY(), 100.0);
}

TEST(GridViewWidget, MouseAndKeysMoveTheGridSelection) {
  GridView v;
  v.resize(400, 300);
  v.show();
  Grid& g = v.grid();
  g.SetRows(6);
  g.SetCols(4);
  g.SetTextMatrix(2, 2, "x");
  auto centre = [&](int r, int c) { return v.visualRect(v.gridModel()->index(r, c)).center(); };
  QTest::mouseClick(v.viewport(), Qt::LeftButton, {}, centre(2, 2));
  EXPECT_EQ(g.Row(), 2);
  EXPECT_EQ(g.Col(), 2);
  QTest::keyClick(&v, Qt::Key_Down, Qt::ShiftModifier);
  QTest::keyClick(&v, Qt::Key_Right, Qt::ShiftModifier);
  EXPECT_EQ(g.Row(), 2);
  EXPECT_EQ(g.RowSel(), 3);
  EXPECT_EQ(g.ColSel(), 3);
  EXPECT_EQ(v.selectionModel()->selectedIndexes().size(), 4);
  QTest::keyClick(&v, Qt::Key_Up);
  EXPECT_EQ(g.Row(), 1);
  QTest::keyClick(&v, Qt::Key_Up);  // fixed row 0 is out of reach
  EXPECT_EQ(g.Row(), 1);
  // A fixed row's cell selects the column beneath it.
  QTest::mouseClick(v.viewport(), Qt::LeftButton, {}, centre(0, 3));
  EXPECT_EQ(g.Row(), 1);
  EXPECT_EQ(g.RowSel(), 5);
  EXPECT_EQ(g.Col(), 3);
  // Grid changes show in the model; column widths follow the Grid in twips.
  g.SetColWidth(1, 1500);
  EXPECT_EQ(v.columnWidth(1), 100);
  EXPECT_EQ(v.gridModel()->data(v.gridModel()->index(2, 2)).toString(), "x");
  EXPECT_TRUE(v.gridModel()->data(v.gridModel()->index(0, 2), Qt::BackgroundRole).isValid());
  EXPECT_FALSE(v.gridModel()->data(v.gridModel()->index(2, 2), Qt::BackgroundRole).isValid());
  g.SetRow(2);
  g.SetCol(2);
  g.SetCellForeColor(0x00FF00);
  EXPECT_EQ(v.gridModel()->data(v.gridModel()->index(2, 2), Qt::ForegroundRole).value<QColor>(),
            QColor(0, 255, 0));
  g.SetRows(3);
  EXPECT_EQ(v.gridModel()->rowCount(), 3);

  std::vector<int> keys;
  QObject::connect(&v, &GridView::KeyPress, [&](int k) { keys.push_back(k); });
  QTest::keyClick(&v, Qt::Key_V, Qt::ControlModifier);
  QTest::keyClick(&v, Qt::Key_7);
  QTest::keyClick(&v, Qt::Key_Backspace);
  QTest::keyClick(&v, Qt::Key_Return);
  EXPECT_EQ(keys, (std::vector<int>{22, '7', 8, 13}));
}

}  // namespace
}  // namespace stratlyn
