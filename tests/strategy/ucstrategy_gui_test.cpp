// The strategy panel driven like a user would, offscreen.

#include <gtest/gtest.h>

#include <QApplication>
#include <QClipboard>
#include <QComboBox>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPushButton>
#include <QRegularExpression>
#include <QSlider>
#include <QStandardPaths>
#include <QStyle>
#include <QTemporaryDir>
#include <QtTest/QTest>
#include <algorithm>
#include <cstdlib>
#include <vector>

#include "charts/qt_canvas.h"
#include "pricing/option_terms.h"
#include "strategy/leg_text.h"
#include "strategy/position.h"
#include "strategy/ucstrategy_widget.h"
#include "support/fake_services.h"
#include "support/widget_shot.h"
#include "util/dates.h"
#include "util/format.h"
#include "util/locale_info.h"
#include "util/qt_file_dialogs.h"
#include "util/qt_grid_model.h"

namespace stratlyn {
namespace {

using testing::Shot;

struct DotLocale {
  DotLocale() {
    SetEntryLocale(EntryLocale{});
    DetectDateFormat();
  }
  ~DotLocale() { ResetEntryLocale(); }
  DotLocale(const DotLocale&) = delete;
  DotLocale& operator=(const DotLocale&) = delete;
};

// The calculator panel's start option: call, S = K = 50, T = 1, r = 0.1, vol 0.25.
void Default(ucStrategy& p) {
  p.SetParameters(OptionTerms{
      .spot = 50, .strike = 50, .maturity = 1, .rate = 0.1f, .vol = 0.25f, .market_price = 7});
}

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
  // Half way to the expiry by default, on the whole day the field shows.
  std::string shown = p.txtAtDate()->text().toStdString();
  EXPECT_DOUBLE_EQ(p.AtYears(), YearsBetweenDates(p.txtDate()->text().toStdString(), shown));
  EXPECT_NEAR(p.AtYears(), 0.5, 1.0 / 365);
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

// Shows the panel active with the default position calculated and the legs
// table focused, ready for keys; false when a step did not happen.
bool CalculatedWithTheTableFocused(ucStrategy& p) {
  p.show();
  QApplication::setActiveWindow(&p);
  Default(p);
  p.CalcIt();
  if (!p.Figures()) {
    return false;
  }
  p.Grid1()->setFocus();
  return QTest::qWaitFor([&] { return p.Grid1()->hasFocus(); });
}

TEST(ucStrategyGui, BadCellTypedInTheTableGivesTheMessageAndNoPlot) {
  DotLocale dot;
  testing::FakeServices services;
  ucStrategy p;
  ASSERT_TRUE(CalculatedWithTheTableFocused(p));
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

  // A past date that is a later one with day and month swapped (10 January
  // from 15 January, read as 1 October) is shown as read; the field kept the
  // typed date beside the figures of 1 October before.
  p.txtDate()->setText("2026-01-15");
  p.txtAtDate()->setText("1/10/2026");
  QTest::keyClick(p.txtAtDate(), Qt::Key_Return);
  ASSERT_TRUE(p.Figures()) << services.dialogs.LastText();
  EXPECT_NEAR(p.AtYears(), 259.0 / 365, 1e-6);
  EXPECT_EQ(p.txtAtDate()->text().toStdString(),
            FormatShortDate(std::chrono::year_month_day{
                std::chrono::year{2026}, std::chrono::October, std::chrono::day{1}}));

  // Years with a fraction typed into the date field are years, not the date
  // 1 January 2026 (the position's own date).
  ucStrategy three;
  three.show();
  three.SetParameters(OptionTerms{
      .spot = 50, .strike = 50, .maturity = 3, .rate = 0.1f, .vol = 0.25f, .market_price = 7});
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

// Every cell's text fits its column: nothing is cut or elided.
void ExpectTextsFit(GridView* view, const std::string& where) {
  const Grid& g = view->grid();
  const QFontMetrics fm(view->font());
  const int margin = view->style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, view) + 1;
  for (int r = 0; r < g.Rows(); ++r) {
    for (int c = 0; c < g.Cols(); ++c) {
      const QString text = QString::fromStdString(g.TextMatrix(r, c));
      EXPECT_LE(fm.horizontalAdvance(text) + 2 * margin, view->columnWidth(c))
          << where << " row " << r << " column " << c << ": " << text.toStdString();
    }
  }
}

TEST(ucStrategyGui, ColumnsFitTheirFiguresAtBothDisplays) {
  DotLocale dot;
  testing::FakeServices services;
  ucStrategy p;
  p.show();
  Default(p);
  // A straddle: two break-evens in one cell, "unlimited" and long captions.
  p.cmbTemplate()->setCurrentIndex(6);
  emit p.cmbTemplate()->activated(6);
  ASSERT_TRUE(p.Figures()) << services.dialogs.LastText();
  ExpectTextsFit(p.Grid1(), "normal legs");
  ExpectTextsFit(p.Grid2(), "normal results");
  p.EnlargeFont();
  ExpectTextsFit(p.Grid1(), "large legs");
  ExpectTextsFit(p.Grid2(), "large results");
  // A long figure typed into a cell widens its column.
  Grid& legs = p.Grid1()->grid();
  legs.SetTextMatrix(1, 3, "50.123456");
  p.CalcIt();
  p.ReduceFont();
  ExpectTextsFit(p.Grid1(), "normal legs again");
  ExpectTextsFit(p.Grid2(), "normal results again");
}

TEST(ucStrategyGui, TypingReplacesACellF2EditsItAndEveryChangeRedraws) {
  DotLocale dot;
  testing::FakeServices services;
  ucStrategy p;
  ASSERT_TRUE(CalculatedWithTheTableFocused(p));
  Grid& legs = p.Grid1()->grid();
  legs.SetRow(1);
  legs.SetCol(3);
  // Typed over, the strike 50 becomes 48 (not 5048), and Enter prices it.
  Type("48");
  EXPECT_EQ(legs.TextMatrix(1, 3), "48");
  Key(Qt::Key_Return);
  ASSERT_TRUE(p.Figures()) << services.dialogs.LastText();
  // The spread 48/55 at expiry makes at most 7 less the premium.
  EXPECT_NEAR(*p.Figures()->at_expiry.max_profit, 7 - p.Figures()->net_premium, 1e-6);
  // F2 edits in place: typing appends.
  Key(Qt::Key_F2);
  Type("5");
  EXPECT_EQ(legs.TextMatrix(1, 3), "485");
  Key(Qt::Key_Backspace);
  EXPECT_EQ(legs.TextMatrix(1, 3), "48");
  // Leaving an edited cell redraws without Enter.
  Key(Qt::Key_Down);
  Type("60");
  EXPECT_EQ(legs.TextMatrix(2, 3), "60");
  Key(Qt::Key_Left);
  ASSERT_TRUE(p.Figures()) << p.lblPoint()->text().toStdString();
  EXPECT_NEAR(*p.Figures()->at_expiry.max_profit, 12 - p.Figures()->net_premium, 1e-6);
  EXPECT_EQ(services.dialogs.Count(), 0u) << services.dialogs.LastText();

  // Add: a third leg, drawn at once (one more call paid for).
  const double before = p.Figures()->net_premium;
  p.cmdAdd()->click();
  EXPECT_EQ(legs.Rows(), 4);
  ASSERT_TRUE(p.Figures()) << services.dialogs.LastText();
  EXPECT_GT(p.Figures()->net_premium, before + 5);
  // Paste: a put row below, drawn at once.
  services.clipboard.SetText("+1\tput\t45\t1\r");
  legs.SetRow(3);
  legs.SetCol(1);
  const double with_three = p.Figures()->net_premium;
  p.cmdPaste()->click();
  EXPECT_EQ(legs.TextMatrix(3, 2), "put");
  ASSERT_TRUE(p.Figures()) << services.dialogs.LastText();
  EXPECT_NE(p.Figures()->net_premium, with_three);
  // Delete empties a needed cell: the figures go, the reason shows under the plot.
  legs.SetRow(1);
  legs.SetCol(3);
  p.Grid1()->setFocus();
  Key(Qt::Key_Delete);
  EXPECT_FALSE(p.Figures());
  EXPECT_EQ(p.pbox()->ItemCount(), 0);
  EXPECT_FALSE(p.lblPoint()->text().isEmpty());
  EXPECT_EQ(services.dialogs.Count(), 0u) << services.dialogs.LastText();
}

TEST(ucStrategyGui, FiguresAndDatesInTheUsersLocale) {
  EntryLocale german;
  german.decimal_point = ",";
  german.thousands_sep = ".";
  german.date_format = "%d.%m.%Y";
  SetEntryLocale(german);
  const std::string saved_format = DateFormat;
  DateFormat.clear();
  testing::FakeServices services;
  {
    ucStrategy p;
    p.show();
    Default(p);
    p.CalcIt();
    ASSERT_TRUE(p.Figures()) << services.dialogs.LastText();
    // The dates as the calculator panel writes them: day first, with slashes.
    const QRegularExpression day_first("^\\d\\d/\\d\\d/\\d{4}$");
    EXPECT_TRUE(day_first.match(p.txtDate()->text()).hasMatch())
        << p.txtDate()->text().toStdString();
    EXPECT_TRUE(day_first.match(p.txtAtDate()->text()).hasMatch())
        << p.txtAtDate()->text().toStdString();
    const Grid& results = p.Grid2()->grid();
    for (int r = 1; r < results.Rows(); ++r) {
      for (int c = 1; c < results.Cols(); ++c) {
        EXPECT_EQ(results.TextMatrix(r, c).find('.'), std::string::npos)
            << results.TextMatrix(r, 0) << ": " << results.TextMatrix(r, c);
      }
    }
    EXPECT_NE(results.TextMatrix(1, 1).find(','), std::string::npos) << results.TextMatrix(1, 1);
    EXPECT_EQ(p.Grid1()->grid().TextMatrix(1, 3), "50");
    EXPECT_EQ(p.txtWidth()->text(), "5");
  }
  ResetEntryLocale();
  DateFormat = saved_format;
}

TEST(ucStrategyGui, AtDateFiguresAreTheTerminalToolsForTheDateShown) {
  DotLocale dot;
  testing::FakeServices services;
  ucStrategy p;
  p.show();
  Default(p);
  p.txtDate()->setText("01/15/2026");
  // Every slider position: the figures at the date shown are those of the
  // same legs and market priced as stratlyn-cli strategy prices them for
  // that date (doubles from the command line, the date counted from today).
  for (int step : {1, 137, 500, 731, 999}) {
    p.sldDate()->setValue(step);
    p.CalcIt();
    ASSERT_TRUE(p.Figures()) << services.dialogs.LastText();
    const std::string start = p.txtDate()->text().toStdString();
    const Position legs = {ParseLegText("+1 call 50 1", start),
                           ParseLegText("-1 call 55 1", start)};
    PositionPricer cli(legs, Market{50, 0.1, 0, 0.25});
    const auto at = YearsOf(p.txtAtDate()->text().toStdString(), start, true);
    ASSERT_TRUE(at);
    const CurveSummary date = cli.Summarise(*at);
    ASSERT_EQ(date.break_evens.size(), p.Figures()->at_date.break_evens.size()) << step;
    for (size_t i = 0; i < date.break_evens.size(); ++i) {
      EXPECT_EQ(FormatNumber(date.break_evens[i], "0.0000"),
                FormatNumber(p.Figures()->at_date.break_evens[i], "0.0000"))
          << "step " << step << " at " << p.txtAtDate()->text().toStdString();
    }
  }
}

// An expiry part way through a day (half a year is 182.5 days): the slider's
// end shows a date the figures belong to, not one past the expiry, and Enter
// on the date shown keeps the same figures.
TEST(ucStrategyGui, SliderEndBeforeAnExpiryPartWayThroughADay) {
  DotLocale dot;
  testing::FakeServices services;
  ucStrategy p;
  p.show();
  p.SetParameters(OptionTerms{
      .spot = 50, .strike = 50, .maturity = 0.5f, .rate = 0.1f, .vol = 0.25f, .market_price = 7});
  p.txtDate()->setText("01/15/2026");
  for (const int step : {ucStrategy::kSliderSteps - 1, ucStrategy::kSliderSteps}) {
    p.sldDate()->setValue(step);
    p.CalcIt();
    ASSERT_TRUE(p.Figures()) << services.dialogs.LastText();
    const std::string start = p.txtDate()->text().toStdString();
    std::string shown = p.txtAtDate()->text().toStdString();
    const double years = YearsBetweenDates(start, shown);
    EXPECT_LE(years, 0.5) << shown;
    EXPECT_DOUBLE_EQ(p.AtYears(), years) << shown;
    const Position legs = {ParseLegText("+1 call 50 0.5", start),
                           ParseLegText("-1 call 55 0.5", start)};
    PositionPricer cli(legs, Market{50, 0.1, 0, 0.25});
    const CurveSummary date = cli.Summarise(years);
    ASSERT_EQ(date.break_evens.size(), p.Figures()->at_date.break_evens.size());
    EXPECT_EQ(FormatNumber(date.break_evens[0], "0.0000"),
              FormatNumber(p.Figures()->at_date.break_evens[0], "0.0000"));
    const std::vector<double> before = p.Figures()->at_date.break_evens;
    p.txtAtDate()->setFocus();
    QTest::keyClick(p.txtAtDate(), Qt::Key_Return);
    ASSERT_TRUE(p.Figures()) << services.dialogs.LastText();
    EXPECT_EQ(p.Figures()->at_date.break_evens, before);
  }
  EXPECT_EQ(services.dialogs.Count(), 0u) << services.dialogs.LastText();
}

TEST(ucStrategyGui, SaveImageStartsInTheDocumentsFolderThenTheLastOneUsed) {
  DotLocale dot;
  testing::FakeServices services;
  QTemporaryDir home;
  const QByteArray saved_home = qgetenv("HOME");
  qputenv("HOME", home.path().toUtf8());
  QDir(home.path()).mkpath("Documents");
  ResetFileDialogFolder();
  std::vector<QString> starts;
  QString answer;
  SetFileChooser([&](const QString& start, bool save) {
    EXPECT_TRUE(save);
    starts.push_back(start);
    return answer;
  });
  ucStrategy p;
  p.show();
  Default(p);
  p.CalcIt();
  // First: the documents folder (never the working or the library folder).
  answer = "";
  p.cmdSaveImage()->click();
  ASSERT_EQ(starts.size(), 1u);
  const QString documents = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
  EXPECT_EQ(starts[0], QDir(documents).filePath("strategy.png"));
  EXPECT_TRUE(starts[0].startsWith(home.path())) << starts[0].toStdString();
  // A file chosen elsewhere: the next dialog starts there.
  QTemporaryDir other;
  answer = other.filePath("figure.png");
  p.cmdSaveImage()->click();
  EXPECT_FALSE(QImage(answer).isNull());
  p.cmdSaveImage()->click();
  ASSERT_EQ(starts.size(), 3u);
  EXPECT_EQ(starts[2], QDir(other.path()).filePath("strategy.png"));
  SetFileChooser(nullptr);
  ResetFileDialogFolder();
  qputenv("HOME", saved_home);
}

}  // namespace
}  // namespace stratlyn
