// The calculator panel as a widget: its controls at start, its buttons, and
// the large and normal display.

#include <gtest/gtest.h>

#include <QCheckBox>
#include <QComboBox>
#include <QDate>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QStyle>
#include <QStyleOptionFrame>
#include <QTest>
#include <cmath>
#include <string>

#include "calculator/bsop_panel.h"
#include "calculator/ucbsop_widget.h"
#include "charts/qt_scalable_control.h"
#include "pricing/zel_bsop.h"
#include "support/fake_services.h"
#include "util/locale_info.h"
#include "util/qt_grid_model.h"

namespace stratlyn {
namespace {

class UcBsopTest : public ::testing::Test {
 protected:
  void SetUp() override {
    EntryLocale locale;
    locale.date_format = "%m/%d/%Y";
    SetEntryLocale(locale);
    panel = std::make_unique<ucBSOP>();
  }
  void TearDown() override {
    panel.reset();
    ResetEntryLocale();
  }
  double Value() const {
    const QString text = panel->lblPrice()->text();
    return text.mid(text.indexOf(':') + 1).toDouble();
  }

  testing::FakeServices fakes;
  std::unique_ptr<ucBSOP> panel;
};

TEST_F(UcBsopTest, StartsWithItsCaptionsDefaultsAndAComputedValue) {
  const char* captions[] = {"Underlying Price", "Volatility",     "Interest Rate",      "Maturity",
                            "Strike Price",     "Dividend Yield", "Market Option Price"};
  const char* texts[] = {"50", "0.25", "0.10", "1", "50", "0", "7"};
  for (int i = 0; i < 7; ++i) {
    EXPECT_EQ(panel->aa(i)->text(), captions[i]);
    EXPECT_EQ(panel->Text1(i)->text(), texts[i]);
  }
  EXPECT_EQ(panel->txtDate()->text(), QDate::currentDate().toString("MM/dd/yyyy"));
  EXPECT_EQ(panel->txtDate()->toolTip(), "Date");
  EXPECT_TRUE(panel->chkEuro()->isChecked());
  EXPECT_TRUE(panel->chkCall()->isChecked());
  EXPECT_FALSE(panel->chkImpVol()->isChecked());
  EXPECT_EQ(panel->chkImpVol()->toolTip(), "Select this to calculate the implied volatility");
  EXPECT_EQ(panel->cmdCopyData()->text(), "Copy All");
  EXPECT_EQ(panel->cmdDivYield()->toolTip(),
            "Click to get a  dividend yield CBOE if the underlying is a stock");
  EXPECT_EQ(panel->cmdHistoVol()->text(), "CBOE Historical Volatilities");
  EXPECT_EQ(panel->lblInet()->text(), "");  // idle: no status, no placeholder

  ASSERT_EQ(panel->cmbQuoteType()->count(), 3);
  EXPECT_EQ(panel->cmbQuoteType()->currentText(), "Stock or Index");
  EXPECT_EQ(panel->cmbQuoteType()->itemText(2), "Month-End Currency");
  ASSERT_EQ(panel->cmbMaturity()->count(), 12);
  EXPECT_EQ(panel->cmbMaturity()->itemText(0), "January");
  EXPECT_EQ(panel->cmbMaturity()->itemText(11), "December");
  EXPECT_EQ(panel->cmbMaturity()->currentIndex(), QDate::currentDate().month() % 12);
  EXPECT_EQ(panel->cmbExchange()->currentText(), "CBOE Delayed Feed");
  EXPECT_EQ(panel->cmbStrike()->count(), 0);

  // The European call of the start values, priced on creation.
  EXPECT_TRUE(panel->lblPrice()->text().startsWith("Value: "));
  EXPECT_NEAR(Value(), 7.4879, 5e-4);
  EXPECT_EQ(panel->lblDelta()->text(), "0.700200");
  EXPECT_EQ(fakes.dialogs.Count(), 0u);
}

TEST_F(UcBsopTest, CalculateButtonReadsTheFieldsAndReportsBadEntries) {
  const QString old_value = panel->lblPrice()->text();
  panel->Text1(4)->setText("0");
  panel->Text1(1)->setText("0");
  QTest::mouseClick(panel->cmdCalculate(), Qt::LeftButton);
  ASSERT_EQ(fakes.dialogs.Count(), 1u);
  EXPECT_EQ(fakes.dialogs.LastText(), "The volatility must be positive");
  // The figures of the inputs before went with the first change.
  EXPECT_NE(old_value, "Calculated Value");
  EXPECT_EQ(panel->lblPrice()->text(), "Calculated Value");
  EXPECT_EQ(panel->lblDelta()->text(), "");

  // Enter in a field calculates too; the American put shows "Value : ".
  panel->Text1(4)->setText("55");
  panel->Text1(1)->setText("0.3");
  panel->chkAmer()->setChecked(true);
  panel->chkPut()->setChecked(true);
  QTest::keyClick(panel->Text1(4), Qt::Key_Return);
  EXPECT_EQ(fakes.dialogs.Count(), 1u);
  EXPECT_TRUE(panel->lblPrice()->text().startsWith("Value : "))
      << panel->lblPrice()->text().toStdString();
  EXPECT_GT(Value(), 5.0);  // at least the exercise value
  EXPECT_TRUE(panel->isPutOption());
  // The typed texts stay as typed.
  EXPECT_EQ(panel->Text1(1)->text(), "0.3");

  // Implied volatility writes the solved volatility into its field.
  panel->chkEuro()->setChecked(true);
  panel->chkImpVol()->setChecked(true);
  panel->Text1(6)->setText("7.5");
  QTest::mouseClick(panel->cmdCalculate(), Qt::LeftButton);
  const double vol = panel->Text1(1)->text().toDouble();
  EXPECT_GT(vol, 0.1);
  EXPECT_LT(vol, 0.6);
  EXPECT_NEAR(Value(), 7.5, 1e-3);
}

TEST_F(UcBsopTest, CopyAllPutsTwelveLinesOnTheClipboard) {
  fakes.clipboard.SetText("old");
  QTest::mouseClick(panel->cmdCopyData(), Qt::LeftButton);
  // Twelve lines, each ended by a line feed.
  QStringList lines = QString::fromStdString(fakes.clipboard.Text()).split('\n');
  ASSERT_EQ(lines.size(), 13);
  EXPECT_EQ(lines.takeLast(), "");
  EXPECT_FALSE(QString::fromStdString(fakes.clipboard.Text()).contains('\r'));
  EXPECT_EQ(lines[0], "7.48794");
  EXPECT_EQ(lines[1], "0.70020");
  EXPECT_EQ(lines[5], "50");
  EXPECT_EQ(lines[11], "7");
}

TEST_F(UcBsopTest, EveryChangeOfAnInputTakesTheFiguresOff) {
  const auto shown = [&] { return panel->lblPrice()->text() != "Calculated Value"; };
  const auto calculate = [&] {
    QTest::mouseClick(panel->cmdCalculate(), Qt::LeftButton);
    ASSERT_TRUE(shown());
    ASSERT_FALSE(panel->lblGamma()->text().isEmpty());
  };
  // Typed, pasted, fetched, switched, ticked.
  calculate();
  QTest::keyClick(panel->Text1(4), Qt::Key_5);
  EXPECT_FALSE(shown());
  EXPECT_EQ(panel->lblGamma()->text(), "");
  panel->Text1(4)->setText("50");
  calculate();
  panel->Text1(4)->selectAll();
  panel->Text1(4)->insert("55");  // as a paste does
  EXPECT_FALSE(shown());
  calculate();
  panel->SetStockQuote("51.25");  // a fetched quote
  EXPECT_FALSE(shown());
  calculate();
  panel->chkAmer()->setChecked(true);
  EXPECT_FALSE(shown());
  calculate();
  panel->chkPut()->setChecked(true);
  EXPECT_FALSE(shown());
  calculate();
  panel->chkImpVol()->setChecked(true);
  EXPECT_FALSE(shown());
  EXPECT_EQ(panel->lblVega()->text(), "");
  // The solved volatility the panel writes itself keeps its figures.
  panel->chkAmer()->setChecked(false);
  panel->chkEuro()->setChecked(true);
  panel->Text1(6)->setText("7.5");
  calculate();
  EXPECT_NE(panel->Text1(1)->text(), "0.25");
  QTest::mouseClick(panel->cmdCopyData(), Qt::LeftButton);
  EXPECT_FALSE(QString::fromStdString(fakes.clipboard.Text()).startsWith('\n'));
}

TEST_F(UcBsopTest, EventsDuringAnAmericanRunLeaveOnlyFiguresOfTheInputsOnScreen) {
  panel->chkAmer()->setChecked(true);
  panel->chkPut()->setChecked(true);
  QTest::mouseClick(panel->cmdCalculate(), Qt::LeftButton);
  const QString value = panel->lblPrice()->text();
  const QString delta = panel->lblDelta()->text(), vega = panel->lblVega()->text();
  ASSERT_TRUE(value.startsWith("Value : ")) << value.toStdString();
  ASSERT_EQ(fakes.dialogs.Count(), 0u);

  // Calculate and Enter again while the lattice lets events run: ignored,
  // and the figures shown are those of the run, for the inputs on screen.
  int layers = 0;
  fakes.events.on_pending = [&] {
    if (++layers == 5) {
      QTest::mouseClick(panel->cmdCalculate(), Qt::LeftButton);
      QTest::keyClick(panel->Text1(4), Qt::Key_Return);
      QTest::mouseClick(panel->cmdCopyData(), Qt::LeftButton);
    }
  };
  fakes.clipboard.SetText("before");
  QTest::mouseClick(panel->cmdCalculate(), Qt::LeftButton);
  ASSERT_GT(layers, 5);
  EXPECT_EQ(panel->lblPrice()->text(), value);
  EXPECT_EQ(panel->lblDelta()->text(), delta);
  EXPECT_EQ(panel->lblVega()->text(), vega);
  EXPECT_EQ(fakes.clipboard.Text(), "before");  // no copy of a run in progress

  // A strike typed during the run: the run's figures are not shown beside it.
  layers = 0;
  fakes.events.on_pending = [&] {
    if (++layers == 5) {
      panel->Text1(4)->selectAll();
      QTest::keyClicks(panel->Text1(4), "55");
      QTest::keyClick(panel->Text1(4), Qt::Key_Return);
    }
  };
  QTest::mouseClick(panel->cmdCalculate(), Qt::LeftButton);
  fakes.events.on_pending = nullptr;
  EXPECT_EQ(panel->Text1(4)->text(), "55");
  EXPECT_EQ(panel->lblPrice()->text(), "Calculated Value");
  EXPECT_EQ(panel->lblDelta()->text(), "");
  QTest::mouseClick(panel->cmdCopyData(), Qt::LeftButton);
  const QStringList lines = QString::fromStdString(fakes.clipboard.Text()).split('\n');
  ASSERT_EQ(lines.size(), 13);
  EXPECT_EQ(lines[0], "");
  EXPECT_EQ(lines[9], "55");
  // Calculate now prices strike 55: a dearer put.
  QTest::mouseClick(panel->cmdCalculate(), Qt::LeftButton);
  EXPECT_GT(Value(), value.mid(value.indexOf(':') + 1).toDouble());
}

// The exact Black-Scholes value without a dividend yield.
double ExactValue(bool call, double s, double k, double t, double r, double sigma) {
  const auto cdf = [](double x) { return 0.5 * std::erfc(-x / std::sqrt(2.0)); };
  const double sd = sigma * std::sqrt(t);
  const double d1 = (std::log(s / k) + (r + 0.5 * sigma * sigma) * t) / sd, d2 = d1 - sd;
  const double pv = k * std::exp(-r * t);
  return call ? s * cdf(d1) - pv * cdf(d2) : pv * cdf(-d2) - s * cdf(-d1);
}

// Typed as a person types: the field's text selected, the new one keyed in.
void TypeInto(QLineEdit* field, const char* text) {
  QTest::keyClick(field, Qt::Key_A, Qt::ControlModifier);
  QTest::keyClicks(field, text);
}

// An option a second before its close (S = K = 187.5, r = 0.04, vol 0.3):
// every Calculate, European or American, call or put, with or without the
// implied volatility, shows figures that are right or a message, never the
// bare caption. The maturity is typed in both of its number forms.
TEST_F(UcBsopTest, AnOptionSecondsFromItsCloseGetsFiguresOrAMessage) {
  const double t = 3.17e-8, s = 187.5, r = 0.04, sigma = 0.3, market = 0.015;
  // The volatility at which the exact value is the market price.
  double lo = 0.01, hi = 10;
  for (int i = 0; i < 200; ++i) {
    const double mid = 0.5 * (lo + hi);
    (ExactValue(true, s, s, t, r, mid) < market ? lo : hi) = mid;
  }
  const double implied = lo;
  int cases = 0, refused = 0;
  for (const char* maturity : {"0.0000000317", "3.17e-8"}) {
    for (const bool american : {true, false}) {
      for (const bool call : {true, false}) {
        for (const bool solve : {false, true}) {
          const std::string where = std::string(maturity) + (american ? " american" : " european") +
                                    (call ? " call" : " put") + (solve ? " implied" : "");
          TypeInto(panel->Text1(0), "187.5");
          TypeInto(panel->Text1(1), "0.3");
          TypeInto(panel->Text1(2), "0.04");
          TypeInto(panel->Text1(3), maturity);
          TypeInto(panel->Text1(4), "187.5");
          TypeInto(panel->Text1(5), "0");
          TypeInto(panel->Text1(6), "0.015");
          QTest::mouseClick(american ? panel->chkAmer() : panel->chkEuro(), Qt::LeftButton);
          QTest::mouseClick(call ? panel->chkCall() : panel->chkPut(), Qt::LeftButton);
          if (panel->chkImpVol()->isChecked() != solve) {
            QTest::keyClick(panel->chkImpVol(), Qt::Key_Space);
          }
          ASSERT_EQ(panel->chkAmer()->isChecked(), american) << where;
          ASSERT_EQ(panel->chkImpVol()->isChecked(), solve) << where;
          const size_t messages = fakes.dialogs.Count();
          QTest::mouseClick(panel->cmdCalculate(), Qt::LeftButton);
          ++cases;
          const QString shown = panel->lblPrice()->text();
          if (fakes.dialogs.Count() > messages) {
            ++refused;  // a message, and no figure beside it
            if (!american) {
              // The closed form's own reason, as it is, not a run-time error.
              EXPECT_EQ(fakes.dialogs.LastText(),
                        solve ? bsop_text::kNoImpliedVolatility : zelBSOP::kUnresolvedValue)
                  << where;
            }
            EXPECT_EQ(shown, "Calculated Value") << where;
            EXPECT_EQ(panel->lblDelta()->text(), "") << where;
            continue;
          }
          ASSERT_TRUE(shown.startsWith("Value")) << where << ": " << shown.toStdString();
          EXPECT_NE(panel->lblDelta()->text(), "") << where;
          if (solve) {
            const double vol = panel->Text1(1)->text().toDouble();
            EXPECT_NEAR(vol, implied, 0.01 * implied) << where;
            EXPECT_NEAR(Value(), market, 0.01 * market) << where;
          } else {
            // A second holds no early exercise worth a figure's last digit.
            const double exact = ExactValue(call, s, s, t, r, sigma);
            EXPECT_NEAR(Value(), exact, 0.01 * exact) << where;
          }
        }
      }
    }
  }
  EXPECT_EQ(cases, 16);
  EXPECT_LT(refused, cases);  // the lattice gives American figures
}

// A field's change signal that leaves its text as it was (a handler run
// during the lattice's events setting a field to its own text), at any event
// of a run, the last one after the figures are shown included: the figures
// stay, and are those of a run without it.
TEST_F(UcBsopTest, ASignalThatChangesNoTermKeepsTheFigures) {
  QTest::mouseClick(panel->chkAmer(), Qt::LeftButton);
  QTest::mouseClick(panel->chkPut(), Qt::LeftButton);
  QTest::mouseClick(panel->cmdCalculate(), Qt::LeftButton);
  const QString value = panel->lblPrice()->text(), delta = panel->lblDelta()->text();
  ASSERT_TRUE(value.startsWith("Value : ")) << value.toStdString();
  for (const bool solve : {false, true}) {
    if (solve) {
      TypeInto(panel->Text1(6), "2.5");
      QTest::keyClick(panel->chkImpVol(), Qt::Key_Space);
    }
    int events = 0;
    fakes.events.on_pending = [&] {
      ++events;
      for (int i = 0; i < 7; ++i) {
        Q_EMIT panel->Text1(i)->textChanged(panel->Text1(i)->text());
      }
      Q_EMIT panel->chkPut()->toggled(true);
    };
    QTest::mouseClick(panel->cmdCalculate(), Qt::LeftButton);
    fakes.events.on_pending = nullptr;
    ASSERT_GT(events, 0);
    const QString shown = panel->lblPrice()->text(), shown_delta = panel->lblDelta()->text();
    EXPECT_TRUE(shown.startsWith("Value : ")) << solve << " " << shown.toStdString();
    EXPECT_NE(shown_delta, "") << solve;
    QTest::mouseClick(panel->cmdCalculate(), Qt::LeftButton);  // undisturbed
    EXPECT_EQ(shown, panel->lblPrice()->text()) << solve;
    EXPECT_EQ(shown_delta, panel->lblDelta()->text()) << solve;
    if (!solve) {
      EXPECT_EQ(shown, value);
      EXPECT_EQ(shown_delta, delta);
    }
  }
  EXPECT_EQ(fakes.dialogs.Count(), 0u) << fakes.dialogs.LastText();
}

TEST_F(UcBsopTest, LargeAndNormalDisplay) {
  const QRect calc_normal = panel->cmdCalculate()->geometry();
  EXPECT_EQ(panel->ucWidth(), ucBSOP::kDesignWidth);
  EXPECT_EQ(panel->ucHeight(), ucBSOP::kDesignHeight);

  panel->EnlargeFont();
  EXPECT_EQ(panel->ucWidth(), 12240);  // 7200 x 1.7
  EXPECT_EQ(panel->ucHeight(), 8550);  // 5700 x 1.5
  EXPECT_EQ(panel->size(), QSize(TwipsToPx(12240), TwipsToPx(8550)));
  const QRect calc_large = panel->cmdCalculate()->geometry();
  EXPECT_NEAR(calc_large.width(), calc_normal.width() * 1.7, 2.0);
  EXPECT_GT(calc_large.height(), calc_normal.height() * 1.5);  // the 400-twip strip
  EXPECT_EQ(panel->cmdCalculate()->font().pointSize(), 12);
  EXPECT_TRUE(panel->cmdCalculate()->font().bold());
  EXPECT_TRUE(panel->chkPut()->font().bold());  // inside its frame too

  panel->EnlargeFont();  // twice is once
  EXPECT_EQ(panel->cmdCalculate()->geometry(), calc_large);
  EXPECT_EQ(panel->ucWidth(), 12240);

  panel->ReduceFont();
  EXPECT_EQ(panel->cmdCalculate()->geometry(), calc_normal);
  EXPECT_EQ(panel->cmdCalculate()->font().pointSize(), 8);
  EXPECT_FALSE(panel->cmdCalculate()->font().bold());
  EXPECT_EQ(panel->ucWidth(), ucBSOP::kDesignWidth);
  EXPECT_EQ(panel->size(), QSize(TwipsToPx(7200), TwipsToPx(5700)));
}

// The room an OCC option symbol needs in the Option Ticker field: its text in
// the field's own font, inside the frame and the text margins.
bool ShowsWholeText(const QLineEdit* field, const QString& text) {
  QStyleOptionFrame option;
  option.initFrom(field);
  option.lineWidth =
      field->hasFrame() ? field->style()->pixelMetric(QStyle::PM_DefaultFrameWidth) : 0;
  const QRect inner = field->style()->subElementRect(QStyle::SE_LineEditContents, &option, field);
  const QMargins m = field->textMargins();
  const int room = inner.width() - m.left() - m.right() - 4;  // the line edit's own 2 px a side
  return QFontMetrics(field->font()).horizontalAdvance(text) <= room;
}

TEST_F(UcBsopTest, AnOccSymbolFitsTheOptionTickerFieldAtBothDisplaySizes) {
  const QString symbol = "AAPL270115C00150000";
  const QRect panel_rect = panel->rect();
  EXPECT_TRUE(ShowsWholeText(panel->txtOptionTicker(), symbol))
      << panel->txtOptionTicker()->width() << " px for "
      << QFontMetrics(panel->txtOptionTicker()->font()).horizontalAdvance(symbol);
  panel->EnlargeFont();
  EXPECT_TRUE(ShowsWholeText(panel->txtOptionTicker(), symbol))
      << panel->txtOptionTicker()->width() << " px for "
      << QFontMetrics(panel->txtOptionTicker()->font()).horizontalAdvance(symbol);
  // The row's buttons still show their captions beside the wider field and
  // stay clear of the grid.
  for (int large = 1; large >= 0; --large) {
    for (QPushButton* b : {panel->cmdGetOption(), panel->cmdReparseOption()}) {
      EXPECT_GE(b->width(), QFontMetrics(b->font()).horizontalAdvance(b->text()) + 6)
          << b->text().toStdString();
      EXPECT_LT(b->geometry().right(), panel->Grid1()->geometry().left());
      EXPECT_GT(b->geometry().left(), panel->txtOptionTicker()->geometry().right());
    }
    EXPECT_GE(panel->txtOptionTicker()->geometry().left(),
              panel->lblOptionTicker()->geometry().left() +
                  QFontMetrics(panel->lblOptionTicker()->font())
                      .horizontalAdvance(panel->lblOptionTicker()->text()));
    if (large) panel->ReduceFont();
  }
  EXPECT_EQ(panel->rect(), panel_rect);  // the panel keeps its size
}

TEST(QtScalableControl, WidgetAndLineAdapters) {
  QWidget parent;
  QWidget child(&parent);
  QtScalableControl control(&child);
  control.SetBox({150, 300, 1500, 450});
  EXPECT_EQ(child.geometry(), QRect(10, 20, 100, 30));
  const TwipBox box = control.Box();
  EXPECT_EQ(box.left, 150);
  EXPECT_EQ(box.height, 450);
  // Twips that are no whole pixel are kept as set while the widget stays put.
  control.SetBox({1576, 100, 1000, 200});
  EXPECT_EQ(control.Box().left, 1576);
  EXPECT_EQ(child.x(), 105);
  EXPECT_THROW(control.SetBox({0, 0, -15, 10}), std::exception);
  control.SetFontSize(12);
  control.SetFontBold(true);
  EXPECT_EQ(child.font().pointSize(), 12);
  EXPECT_TRUE(child.font().bold());

  LineControl line(&parent);
  QtScalableLine line_control(&line);
  EXPECT_TRUE(line_control.IsLine());
  EXPECT_FALSE(line_control.HasFont());
  line_control.SetLineEnds({0, 930, 4080, 930});
  EXPECT_EQ(line_control.LineEnds().x2, 4080);
  EXPECT_EQ(line.geometry().left(), 0 - 1);  // half the border around the line
  EXPECT_GE(line.width(), 272);
}

}  // namespace
}  // namespace stratlyn
