// The strategy and risk views under a dark palette: table headings, labels,
// the plots' pages, frames and curves all read against their background.

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QLabel>
#include <QPalette>
#include <string>

#include "analytics/ucrisk_widget.h"
#include "charts/qt_canvas.h"
#include "pricing/option_terms.h"
#include "strategy/ucstrategy_widget.h"
#include "support/dark_palette.h"
#include "support/fake_services.h"
#include "util/qt_grid_model.h"

namespace stratlyn {
namespace {

// Text contrast asked of headings and labels (the usual 4.5:1), and of
// lines on a plot (3:1).
constexpr double kText = 4.5;
constexpr double kLine = 3.0;

using testing::DarkPalette;

// Installs the dark palette for one test.
struct DarkTheme {
  DarkTheme() : saved(QApplication::palette()) { QApplication::setPalette(DarkPalette()); }
  ~DarkTheme() { QApplication::setPalette(saved); }
  DarkTheme(const DarkTheme&) = delete;
  DarkTheme& operator=(const DarkTheme&) = delete;
  QPalette saved;
};

// Every cell of a grid, headings above all, against its shade; a grid
// without a single written cell fails (nothing was looked at).
void ExpectGridReadable(GridView* view, const std::string& where) {
  const Grid& g = view->grid();
  GridModel* model = view->gridModel();
  int checked = 0;
  for (int r = 0; r < g.Rows(); ++r) {
    for (int c = 0; c < g.Cols(); ++c) {
      if (g.TextMatrix(r, c).empty()) {
        continue;
      }
      const QModelIndex i = model->index(r, c);
      const QVariant fg = model->data(i, Qt::ForegroundRole);
      const QVariant bg = model->data(i, Qt::BackgroundRole);
      const QColor text = fg.isValid() ? fg.value<QColor>() : view->palette().color(QPalette::Text);
      const QColor back = bg.isValid() ? bg.value<QColor>() : view->palette().color(QPalette::Base);
      EXPECT_GE(ContrastRatio(text, back), kText)
          << where << " cell " << r << "," << c << " '" << g.TextMatrix(r, c) << "' "
          << text.name().toStdString() << " on " << back.name().toStdString();
      ++checked;
    }
  }
  EXPECT_GT(checked, g.Cols()) << where << ": no rows under the headings";
}

// Labels and check boxes against the panel they stand on (a panel shows
// several).
void ExpectLabelsReadable(QWidget* panel, const std::string& where) {
  const QColor back = panel->palette().color(QPalette::Window);
  int checked = 0;
  for (QWidget* w : panel->findChildren<QWidget*>()) {
    if (!w->isVisibleTo(panel) ||
        !(qobject_cast<QLabel*>(w) || qobject_cast<QAbstractButton*>(w))) {
      continue;
    }
    if (qobject_cast<QAbstractButton*>(w) && !w->inherits("QCheckBox") &&
        !w->inherits("QRadioButton")) {
      continue;  // push buttons draw their own face
    }
    const QColor text = w->palette().color(w->foregroundRole());
    EXPECT_GE(ContrastRatio(text, back), kText)
        << where << " " << w->metaObject()->className() << " '" << w->objectName().toStdString()
        << "' " << text.name().toStdString() << " on " << back.name().toStdString();
    ++checked;
  }
  EXPECT_GT(checked, 3) << where;
}

// The plot: a dark page under a dark palette, its frame and every curve,
// line, text and bar readable on it, and the page really drawn so.
void ExpectPlotReadable(QtCanvas* canvas, const std::string& where, bool dark_page_expected) {
  const QColor page = canvas->PageColor();
  if (dark_page_expected) {
    EXPECT_LT(page.lightness(), 128) << where << " page " << page.name().toStdString();
  }
  EXPECT_GE(ContrastRatio(canvas->FrameTextColour(), page), kText) << where << " frame";
  const std::vector<QColor> colours = canvas->ShownItemColours();
  EXPECT_FALSE(colours.empty()) << where;
  for (const QColor& c : colours) {
    EXPECT_GE(ContrastRatio(c, page), kLine)
        << where << " " << c.name().toStdString() << " on " << page.name().toStdString();
  }
  const QImage image = canvas->Image();
  ASSERT_FALSE(image.isNull());
  EXPECT_EQ(QColor(image.pixel(1, 1)).rgb() & 0xFFFFFF, page.rgb() & 0xFFFFFF) << where;
  // Pixels in the shown colours are there: the curves were drawn in them.
  int drawn = 0;
  for (int y = 0; y < image.height(); ++y) {
    for (int x = 0; x < image.width(); ++x) {
      const QColor p(image.pixel(x, y));
      drawn += ContrastRatio(p, page) >= kLine;
    }
  }
  EXPECT_GT(drawn, image.width()) << where;
}

TEST(DarkPalette, StrategyViewReadsOnADarkPalette) {
  DarkTheme dark;
  testing::FakeServices services;
  ucStrategy p;
  p.show();
  p.SetParameters(OptionTerms{
      .spot = 50, .strike = 50, .maturity = 1, .rate = 0.1f, .vol = 0.25f, .market_price = 7});
  p.CalcIt();
  ASSERT_TRUE(p.Figures()) << services.dialogs.LastText();
  for (bool large : {false, true}) {
    const std::string where = large ? "large" : "normal";
    ExpectGridReadable(p.Grid1(), where + " legs");
    ExpectGridReadable(p.Grid2(), where + " results");
    ExpectLabelsReadable(&p, where);
    ExpectPlotReadable(p.pbox(), where + " plot", true);
    p.EnlargeFont();
  }
}

TEST(DarkPalette, RiskViewReadsOnADarkPalette) {
  DarkTheme dark;
  testing::FakeServices services;
  ucRisk r;
  r.show();
  r.SetParameters(OptionTerms{
      .spot = 50, .strike = 50, .maturity = 1, .rate = 0.1f, .vol = 0.25f, .market_price = 7});
  r.CalcIt();
  ExpectGridReadable(r.Grid1(), "risk table");
  ExpectLabelsReadable(&r, "risk");
  ExpectPlotReadable(r.pbox(), "risk histogram", true);
  EXPECT_EQ(services.dialogs.Count(), 0u) << services.dialogs.LastText();
}

TEST(DarkPalette, ALightPaletteKeepsTheDrawnColours) {
  // Under the default light palette the page is white and the colours are
  // those the views ask for.
  testing::FakeServices services;
  ucStrategy p;
  p.show();
  p.SetParameters(OptionTerms{
      .spot = 50, .strike = 50, .maturity = 1, .rate = 0.1f, .vol = 0.25f, .market_price = 7});
  p.CalcIt();
  ASSERT_TRUE(p.Figures());
  EXPECT_GE(p.pbox()->PageColor().lightness(), 200);
  EXPECT_EQ(p.pbox()->ShownColor(QColor(0x1F, 0x4E, 0x9A)), QColor(0x1F, 0x4E, 0x9A));
  ExpectPlotReadable(p.pbox(), "light plot", false);
}

}  // namespace
}  // namespace stratlyn
