#include "charts/zel_draw.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "charts/recording_canvas.h"
#include "support/fake_services.h"
#include "util/grid.h"
#include "util/locale_info.h"
#include "util/zel_error.h"

namespace stratlyn {
namespace {

// Numbers in these tests are written with a decimal point, whatever the
// locale the suite runs under.
class DotLocaleEnvironment : public ::testing::Environment {
 public:
  void SetUp() override { SetEntryLocale(EntryLocale{}); }
  void TearDown() override { ResetEntryLocale(); }
};
[[maybe_unused]] ::testing::Environment* const kDotLocale =
    ::testing::AddGlobalTestEnvironment(new DotLocaleEnvironment);

using testing::CanvasOp;
using testing::MemoryTextBox;
using testing::RecordingCanvas;

constexpr double kPi = 3.14159265358979323846;

struct Chart {
  Chart() {
    draw.InitializePictureBox(&canvas);
    for (int i = 0; i < 4; ++i) {
      draw.InitializeTextBox(&labels[i], i);
    }
  }
  RecordingCanvas canvas;
  MemoryTextBox labels[4];
  zelDraw draw;
};

TEST(ZelDraw, RangeFitsWidenByTheFactors) {
  testing::FakeServices services;
  Chart c;
  // All equal and positive: 1 % above and below.
  const std::vector<float> five(10, 5.0f);
  c.draw.CalcYScale(five, 10, 0);
  EXPECT_FLOAT_EQ(c.draw.GetMinMax(0), 5.0f * 1.01f);
  EXPECT_FLOAT_EQ(c.draw.GetMinMax(1), 5.0f * 0.99f);
  EXPECT_EQ(c.labels[0].text, "5.05");
  EXPECT_EQ(c.labels[1].text, "4.95");

  // All zero: the bounds stay 0 and SetScale opens the y range to 1.
  const std::vector<float> zero(10, 0.0f);
  c.draw.CalcYScale(zero, 10, 0);
  EXPECT_EQ(c.draw.GetMinMax(0), 0.0f);
  EXPECT_EQ(c.draw.GetMinMax(1), 0.0f);
  c.draw.CalcXScale(zero, 10, 0);
  c.draw.SetScale();
  EXPECT_EQ(c.draw.GetMinMax(0), 1.0f);
  EXPECT_EQ(c.draw.GetMinMax(3), 1.0f);
  EXPECT_EQ(c.canvas.sx1, 0.0);
  EXPECT_EQ(c.canvas.sy1, 1.0);  // top-left is (x min, y max)
  EXPECT_EQ(c.canvas.sx2, 1.0);
  EXPECT_EQ(c.canvas.sy2, 0.0);

  // Negative only: the minimum grows by the up factor, the maximum shrinks.
  const std::vector<float> neg = {-5.0f, -3.0f, -2.0f};
  c.draw.CalcYScale(neg, 3, 0);
  EXPECT_FLOAT_EQ(c.draw.GetMinMax(1), -5.05f);
  EXPECT_FLOAT_EQ(c.draw.GetMinMax(0), -1.98f);
  EXPECT_EQ(c.labels[1].text, "-5.05");

  // x: factors 1.05 / 0.95, labels with four decimals; a point past n - 1 is ignored.
  const std::vector<float> x = {2.0f, 10.0f, 4.0f, 1000.0f};
  c.draw.CalcXScale(x, 3, 0);
  EXPECT_FLOAT_EQ(c.draw.GetMinMax(2), 1.9f);
  EXPECT_FLOAT_EQ(c.draw.GetMinMax(3), 10.5f);
  EXPECT_EQ(c.labels[2].text, "1.9000");
  EXPECT_EQ(c.labels[3].text, "10.5000");

  // Changed factors apply; Initialize brings the defaults back.
  c.draw.SetYFactors(1.05f, 0.9f);
  c.draw.CalcYScale(five, 10, 0);
  EXPECT_FLOAT_EQ(c.draw.GetMinMax(1), 4.5f);
  c.draw.Initialize();
  EXPECT_FLOAT_EQ(c.draw.YDownFactor(), 0.99f);
  EXPECT_FLOAT_EQ(c.draw.XUpFactor(), 1.05f);
}

TEST(ZelDraw, LabelsUseTheLocaleDecimalSeparator) {
  Chart c;
  EntryLocale comma;
  comma.decimal_point = ",";
  SetEntryLocale(comma);
  const std::vector<float> y = {1.0f, 2.0f};
  c.draw.CalcYScale(y, 2, 0);
  c.draw.CalcXScale(y, 2, 0);
  SetEntryLocale(EntryLocale{});
  EXPECT_EQ(c.labels[0].text, "2,02");
  EXPECT_EQ(c.labels[1].text, "0,99");
  EXPECT_EQ(c.labels[2].text, "0,9500");
}

TEST(ZelDraw, BoundsByIndex) {
  zelDraw d;
  d.SetMinMax(3.5f, 2);
  EXPECT_EQ(d.GetMinMax(2), 3.5f);
  EXPECT_EQ(d.GetMinMax(4), -999.0f);
  EXPECT_EQ(d.GetMinMax(-1), -999.0f);
  try {
    d.SetMinMax(1.0f, 4);
    FAIL() << "index 4 accepted";
  } catch (const zelError& e) {
    EXPECT_EQ(e.Number(), 9);
  }
  MemoryTextBox tb;
  EXPECT_THROW(d.InitializeTextBox(&tb, 4), zelError);
  // No picture box yet: drawing operations that trap nothing raise error 91.
  try {
    d.SetScale();
    FAIL();
  } catch (const zelError& e) {
    EXPECT_EQ(e.Number(), 91);
  }
}

TEST(ZelDraw, ExternalScaleTakesTheBoundsAsTheyStand) {
  Chart c;
  c.draw.SetMinMax(2.0f, 0);
  c.draw.SetMinMax(2.0f, 1);  // equal: not widened
  c.draw.SetMinMax(-1.25f, 2);
  c.draw.SetMinMax(3.0f, 3);
  c.draw.SetExternalScale();
  EXPECT_EQ(c.labels[0].text, "2.0000");
  EXPECT_EQ(c.labels[2].text, "-1.2500");
  EXPECT_EQ(c.canvas.sy1, 2.0);
  EXPECT_EQ(c.canvas.sy2, 2.0);
  EXPECT_EQ(c.canvas.sx1, -1.25);
  // Without a picture box it still writes the labels and does not throw.
  zelDraw bare;
  MemoryTextBox tb;
  bare.InitializeTextBox(&tb, 3);
  bare.SetMinMax(7.0f, 3);
  EXPECT_NO_THROW(bare.SetExternalScale());
  EXPECT_EQ(tb.text, "7.0000");
}

TEST(ZelDraw, DrawLineScalesFromStartButDrawsFromPointOne) {
  testing::FakeServices services;
  Chart c;
  std::vector<float> x(101), y(101);
  for (int i = 0; i <= 100; ++i) {
    x[i] = static_cast<float>(i + 1);
    y[i] = static_cast<float>(i);
  }
  y[0] = -50.0f;    // inside the scale range, not drawn
  y[100] = 1.0e6f;  // point 100 is neither scaled nor drawn
  c.draw.DrawLine(x, y, 100, true, 0);
  EXPECT_FALSE(c.draw.ErrorFlag());
  EXPECT_FLOAT_EQ(c.draw.GetMinMax(1), -50.0f * 1.01f);
  EXPECT_FLOAT_EQ(c.draw.GetMinMax(0), 99.0f * 1.01f);
  EXPECT_FLOAT_EQ(c.draw.GetMinMax(2), 1.0f * 0.95f);
  EXPECT_FLOAT_EQ(c.draw.GetMinMax(3), 100.0f * 1.05f);
  const auto lines = c.canvas.OpsOf(CanvasOp::kLine);
  ASSERT_EQ(lines.size(), 99u);  // i = 1..99, the first from the pen at point 1
  EXPECT_EQ(lines.front().x1, 2.0);
  EXPECT_EQ(lines.front().y1, 1.0);
  EXPECT_EQ(lines.back().x2, 100.0);
  EXPECT_EQ(lines.back().y2, 99.0);
  EXPECT_EQ(c.canvas.scale_calls, 1);

  // rescale false keeps the last scale.
  c.draw.DrawLine(x, y, 50, false, 0);
  EXPECT_EQ(c.canvas.scale_calls, 1);
  EXPECT_FLOAT_EQ(c.draw.GetMinMax(0), 99.0f * 1.01f);
}

TEST(ZelDraw, PlainLinesAgainstThePointIndex) {
  Chart c;
  const std::vector<float> y = {5, 1, 2, 3, 4};
  c.draw.DrawPlainLine(y, 4, true, 0);
  EXPECT_EQ(c.labels[2].text, "0");
  EXPECT_EQ(c.labels[3].text, "4");
  EXPECT_EQ(c.draw.GetMinMax(2), 0.0f);
  EXPECT_EQ(c.draw.GetMinMax(3), 4.0f);
  const auto lines = c.canvas.OpsOf(CanvasOp::kLine);
  ASSERT_EQ(lines.size(), 3u);
  EXPECT_EQ(lines[0].x1, 0.0);  // pen at (start, y(1))
  EXPECT_EQ(lines[0].y1, 1.0);
  EXPECT_EQ(lines[2].x2, 3.0);

  // The matrix form scales over points start..n, both included.
  FloatMatrix m(6, 2);
  for (int i = 0; i < 6; ++i) {
    m.Set(i, 1, static_cast<float>(10 * i));
  }
  c.canvas.ops.clear();
  c.draw.DrawPlainLineMatrix(m, 5, true, 1, 1);
  EXPECT_FLOAT_EQ(c.draw.GetMinMax(0), 50.0f * 1.01f);  // point n = 5 included
  EXPECT_FLOAT_EQ(c.draw.GetMinMax(1), 10.0f * 0.99f);
  const auto mlines = c.canvas.OpsOf(CanvasOp::kLine);
  ASSERT_EQ(mlines.size(), 4u);  // segments to points 1..4
  EXPECT_EQ(mlines[0].x1, 1.0);
  EXPECT_EQ(mlines[0].y1, 10.0);
  EXPECT_THROW(c.draw.DrawPlainLineMatrix(m, 6, true, 1, 1), zelError);  // untrapped
}

TEST(ZelDraw, MatrixFitsIncludeTheLastPoint) {
  Chart c;
  FloatMatrix m(4, 3);
  m.Set(3, 0, 9.0f);    // point n of series 0
  m.Set(0, 0, 100.0f);  // before start: ignored
  m.Set(2, 2, -4.0f);
  c.draw.CalcYScaleMatrix(m, 3, 1, 0);
  EXPECT_FLOAT_EQ(c.draw.GetMinMax(0), 9.0f * 1.01f);
  EXPECT_EQ(c.draw.GetMinMax(1), 0.0f);
  c.draw.CalcWholeMatrixScale(m, 3, 1, 0, 2);
  EXPECT_FLOAT_EQ(c.draw.GetMinMax(0), 9.0f * 1.01f);
  EXPECT_FLOAT_EQ(c.draw.GetMinMax(1), -4.0f * 1.01f);
  EXPECT_EQ(c.labels[1].text, "-4.04");
  EXPECT_THROW(c.draw.CalcYScaleMatrix(m, 4, 1, 0), zelError);
  EXPECT_THROW(c.draw.CalcWholeMatrixScale(m, 3, 0, 0, 3), zelError);
}

TEST(ZelDraw, BarsSpanOneUnitAndStandOnZero) {
  testing::FakeServices services;
  Chart c;
  std::vector<float> v(21);
  for (int i = 0; i <= 20; ++i) {
    v[i] = static_cast<float>(i);
  }
  v[20] = 500.0f;  // the bar is drawn but the scale stops at point 19
  c.canvas.SetFillColor(0xFF0000);
  c.draw.DrawBar(v, 20, true, 1);
  EXPECT_FALSE(c.draw.ErrorFlag());
  EXPECT_FLOAT_EQ(c.draw.GetMinMax(0), 19.0f * 1.01f);
  EXPECT_FLOAT_EQ(c.draw.GetMinMax(1), 1.0f * 0.99f);
  EXPECT_EQ(c.draw.GetMinMax(2), 1.0f);
  EXPECT_EQ(c.draw.GetMinMax(3), 20.0f);
  const auto bars = c.canvas.OpsOf(CanvasOp::kBox);
  ASSERT_EQ(bars.size(), 19u);  // bars 2..20
  EXPECT_EQ(bars.front().x1, 1.0);
  EXPECT_EQ(bars.front().x2, 2.0);
  EXPECT_EQ(bars.front().y1, 0.0);
  EXPECT_EQ(bars.front().y2, 2.0);
  EXPECT_EQ(bars.back().x1, 19.0);
  EXPECT_EQ(bars.back().x2, 20.0);
  EXPECT_EQ(bars.back().y2, 500.0);
  EXPECT_EQ(bars.back().fill, 0xFF0000u);
}

TEST(ZelDraw, TrappedFailuresSetTheFlagAndReachTheErrorHandler) {
  testing::FakeServices services;
  Chart c;
  const std::vector<float> shorty = {1.0f, 2.0f};
  // Index 2 lies outside: CalcYScale reports it from inside DrawBar, then
  // DrawBar itself when it reaches the bar.
  c.draw.DrawBar(shorty, 5, true, 0);
  EXPECT_TRUE(c.draw.ErrorFlag());
  ASSERT_EQ(services.dialogs.Count(), 2u);
  EXPECT_EQ(services.dialogs.Last().title, "Quorvale");

  // A clean call clears the flag again.
  const std::vector<float> ok = {1.0f, 2.0f, 3.0f};
  c.draw.DrawBar(ok, 2, true, 0);
  EXPECT_FALSE(c.draw.ErrorFlag());

  // Overflow while widening.
  const std::vector<float> huge = {3.0e38f, 3.4e38f};
  c.draw.CalcYScale(huge, 2, 0);
  EXPECT_TRUE(c.draw.ErrorFlag());
  EXPECT_EQ(services.dialogs.Count(), 3u);

  // CalcXScale traps nothing: the error goes to the caller.
  EXPECT_THROW(c.draw.CalcXScale(shorty, 5, 0), zelError);
  // DrawLine traps what CalcXScale raised inside it.
  c.draw.DrawLine(shorty, ok, 3, true, 0);
  EXPECT_TRUE(c.draw.ErrorFlag());
  EXPECT_EQ(services.dialogs.Count(), 4u);
}

TEST(ZelDraw, PointsUseTheForeColour) {
  Chart c;
  c.draw.SetDrawColors(0x000000, PaletteColor(12), PaletteColor(14), 2);
  EXPECT_EQ(c.canvas.fore, 0xFF0000u);
  EXPECT_EQ(c.canvas.fill, 0xFFFF00u);
  EXPECT_EQ(c.canvas.width, 2);
  c.draw.DrawPoint(3, 4.5);
  ASSERT_EQ(c.canvas.ops.size(), 1u);
  EXPECT_EQ(c.canvas.ops[0].kind, CanvasOp::kPoint);
  EXPECT_EQ(c.canvas.ops[0].color, 0xFF0000u);
  EXPECT_THROW(c.draw.DrawPoint(1e300, 0), zelError);
  EXPECT_THROW(PaletteColor(16), zelError);
}

TEST(ZelDraw, PieSlicesLegendAndGrid) {
  Chart c;
  c.canvas.SetScale(0, 0, 6000, 3000);
  const std::vector<float> values = {0, 1, -1, 0, 2};
  const std::vector<std::string> labels = {"", "Bonds", "Cash", "None", "Stocks"};
  const std::vector<uint32_t> colours = {0, 0x0000FF, 0x00FF00, 0x123456, 0xFF0000};
  Grid grid;
  c.draw.pieChart(&grid, 4, values, labels, colours, true, true);

  const auto sectors = c.canvas.OpsOf(CanvasOp::kSector);
  ASSERT_EQ(sectors.size(), 3u);  // the zero slice is skipped
  // The first slice (a quarter) is centred on the top of the circle.
  EXPECT_NEAR(sectors[0].start, -kPi / 4, 1e-9);
  EXPECT_NEAR(sectors[0].end, -3 * kPi / 4, 1e-9);
  EXPECT_NEAR(sectors[1].start, -3 * kPi / 4, 1e-9);
  EXPECT_NEAR(sectors[1].end, -5 * kPi / 4, 1e-9);
  EXPECT_NEAR(sectors[2].end, -kPi / 4, 1e-9);  // 9π/4 wrapped
  EXPECT_EQ(sectors[2].fill, 0xFF0000u);
  EXPECT_EQ(sectors[0].x1, 2000.0);  // centre at a third of the width with the legend
  EXPECT_EQ(sectors[0].x2, 2000.0);  // radius: a third of the outer width

  EXPECT_EQ(grid.Rows(), 5);
  EXPECT_EQ(grid.Cols(), 2);
  EXPECT_EQ(grid.FixedRows(), 1);
  EXPECT_EQ(grid.FixedCols(), 0);
  EXPECT_EQ(grid.TextMatrix(1, 1), "Bonds 25.0%");
  EXPECT_EQ(grid.TextMatrix(4, 1), "Stocks 50.0%");
  EXPECT_EQ(grid.TextMatrix(3, 1), "");
  EXPECT_EQ(grid.CellForeColorAt(4, 0), 0xFF0000u);
  EXPECT_TRUE(grid.Redraw());

  const auto texts = c.canvas.OpsOf(CanvasOp::kText);
  ASSERT_EQ(texts.size(), 4u);
  EXPECT_EQ(texts[0].text, "Bonds");
  EXPECT_EQ(texts[0].x1, 4500.0);
  EXPECT_EQ(texts[0].y1, 1500.0 - 1.5 * 10 * 4 / 2);
  EXPECT_EQ(texts[1].y1 - texts[0].y1, 15.0);
  EXPECT_EQ(texts[3].color, 0xFF0000u);

  // Without the legend: centred, radius half the outer height, no share texts.
  Grid plain;
  c.draw.pieChart(&plain, 4, values, labels, colours, true, false);
  const auto s2 = c.canvas.OpsOf(CanvasOp::kSector);
  ASSERT_EQ(s2.size(), 3u);
  EXPECT_EQ(s2[0].x1, 3000.0);
  EXPECT_EQ(s2[0].x2, 1500.0);
  EXPECT_EQ(plain.TextMatrix(1, 1), "");
  EXPECT_TRUE(c.canvas.OpsOf(CanvasOp::kText).empty());

  // Nothing to share: division by zero reaches the caller.
  const std::vector<float> none = {0, 0, 0};
  try {
    c.draw.pieChart(nullptr, 2, none, labels, colours, false, false);
    FAIL();
  } catch (const zelError& e) {
    EXPECT_EQ(e.Number(), 11);
  }
}

TEST(ZelDraw, PieAnglesAndThePlainPie) {
  double a = 0;
  zelDraw::NormalizePieAngle(a);
  EXPECT_EQ(a, 0.001);
  a = -1;
  zelDraw::NormalizePieAngle(a);
  EXPECT_NEAR(a, 2 * kPi - 1, 1e-12);
  a = 2 * kPi;
  zelDraw::NormalizePieAngle(a);
  EXPECT_EQ(a, 0.001);

  Chart c;
  c.canvas.SetScale(0, 0, 1001, 600);
  const std::vector<float> values = {9, 1, 0, 3};
  const std::vector<uint32_t> colours = {0, 0x0000FF, 0x00FF00, 0xFF0000};
  c.draw.pieChartNew(values, 3, colours, 1);
  const auto sectors = c.canvas.OpsOf(CanvasOp::kSector);
  ASSERT_EQ(sectors.size(), 2u);
  EXPECT_EQ(sectors[0].x1, 500.0);  // 500.5 rounds to the even 500
  EXPECT_EQ(sectors[0].x2, 180.0);  // 0.6 × min(500, 300)
  EXPECT_EQ(sectors[0].start, 0.0);
  EXPECT_NEAR(sectors[0].end, -2 * kPi * 0.25, 1e-9);
  EXPECT_NEAR(sectors[1].start, -2 * kPi * 0.25, 1e-9);
  EXPECT_NEAR(sectors[1].end, -2 * kPi, 1e-9);
  EXPECT_EQ(sectors[1].color, 0xFF0000u);

  // A zero total skips every slice instead of failing.
  const std::vector<float> zeros = {0, 1, -1};
  c.canvas.ops.clear();
  EXPECT_NO_THROW(c.draw.pieChartNew(zeros, 2, colours, 1));
  EXPECT_TRUE(c.canvas.OpsOf(CanvasOp::kSector).empty());
}

}  // namespace
}  // namespace stratlyn

namespace stratlyn {
namespace {

using testing::RecordingCanvas;

struct FigureChart {
  FigureChart() { draw.InitializePictureBox(&canvas); }
  RecordingCanvas canvas;
  zelDraw draw;
};

TEST(ZelDrawFigure, EveryScaleSendsTitleAndRoundTicksOfTheNewBounds) {
  testing::FakeServices services;
  FigureChart c;
  c.draw.SetTitle("Delta vs Strike");
  std::vector<float> x(101), y(101);
  for (int i = 0; i <= 100; ++i) {
    x[i] = 25.0f + 0.75f * i;
    y[i] = 0.03f + 0.0004f * i / 100.0f;  // a nearly flat curve
  }
  c.draw.DrawLine(x, y, 100, true, 0);
  const ChartFrame& f = c.canvas.frame;
  EXPECT_EQ(f.title, "Delta vs Strike");
  ASSERT_GE(f.x_ticks.size(), 3u);
  ASSERT_GE(f.y_ticks.size(), 3u);
  // The x bounds are 23.75 and 104.2 (factors 0.95 and 1.05): ticks at 30, 40, ...
  EXPECT_EQ(f.x_ticks.front().text, "30");
  EXPECT_DOUBLE_EQ(f.x_ticks.front().at, 30);
  // Neighbouring y labels differ although the curve spans only 0.0004.
  for (size_t i = 1; i < f.y_ticks.size(); ++i) {
    EXPECT_NE(f.y_ticks[i].text, f.y_ticks[i - 1].text);
    EXPECT_GT(f.y_ticks[i].at, f.y_ticks[i - 1].at);
  }
  for (const auto& t : f.y_ticks) {
    EXPECT_GE(t.at, c.draw.GetMinMax(zelDraw::kYMin));
    EXPECT_LE(t.at, c.draw.GetMinMax(zelDraw::kYMax));
  }
  EXPECT_TRUE(f.grid);
  // Clearing the box removes the figure; the next drawing brings it back.
  c.canvas.Cls();
  EXPECT_TRUE(c.canvas.frame.Empty());
  c.draw.DrawLine(x, y, 100, true, 0);
  EXPECT_EQ(c.canvas.frame.title, "Delta vs Strike");
}

TEST(ZelDrawFigure, ReadoutFollowsTheDrawnLineAndTheMarkerSitsOnIt) {
  testing::FakeServices services;
  FigureChart c;
  const std::vector<float> x = {0, 1, 2, 3, 4};
  const std::vector<float> y = {0, 10, 20, 40, 80};
  c.draw.DrawLine(x, y, 5, true, 0);
  // Drawn points are 1..4: between them the value is interpolated.
  ASSERT_TRUE(c.draw.ValueAt(2.5));
  EXPECT_DOUBLE_EQ(*c.draw.ValueAt(2.5), 30);
  EXPECT_DOUBLE_EQ(*c.draw.ValueAt(4), 80);
  EXPECT_FALSE(c.draw.ValueAt(0.5));  // point 0 is not drawn
  EXPECT_FALSE(c.draw.ValueAt(4.5));
  c.draw.SetMarker(3.5, "current");
  ASSERT_TRUE(c.canvas.frame.marker_x);
  EXPECT_DOUBLE_EQ(*c.canvas.frame.marker_x, 3.5);
  ASSERT_TRUE(c.canvas.frame.marker_y);
  EXPECT_DOUBLE_EQ(*c.canvas.frame.marker_y, 60);
  EXPECT_EQ(c.canvas.frame.marker_label, "current");
  c.draw.ClearMarker();
  EXPECT_FALSE(c.canvas.frame.marker_x);
}

TEST(ZelDrawFigure, BarsReadOutInShownUnits) {
  testing::FakeServices services;
  FigureChart c;
  const std::vector<float> counts = {0, 5, 7, 3};
  // Three bins from 10 to 16: bin i spans 10 + 2(i - 1) .. 10 + 2i.
  c.draw.SetXAxisUnits(2.0, 10.0);
  c.draw.DrawBar(counts, 3, true, 0);
  EXPECT_DOUBLE_EQ(*c.draw.ValueAt(1.5), 7);
  EXPECT_DOUBLE_EQ(*c.draw.ValueAt(0.2), 5);
  EXPECT_FALSE(c.draw.ValueAt(3.5));
  const auto r = c.draw.ReadoutAt(1.5);
  ASSERT_TRUE(r);
  EXPECT_DOUBLE_EQ(r->x, 13);
  EXPECT_DOUBLE_EQ(r->y, 7);
  // The x ticks are round outcome values placed at their bin positions.
  const auto& ticks = c.canvas.frame.x_ticks;
  ASSERT_FALSE(ticks.empty());
  for (const auto& t : ticks) {
    EXPECT_DOUBLE_EQ(c.draw.ShownX(t.at), std::stod(t.text));
  }
  EXPECT_THROW(c.draw.SetXAxisUnits(0, 1), zelError);
}

}  // namespace
}  // namespace stratlyn

namespace stratlyn {
namespace {

TEST(ZelDrawFigure, ClearKeepsThePlotEmptyUntilTheNextScale) {
  testing::FakeServices services;
  testing::RecordingCanvas canvas;
  zelDraw draw;
  draw.InitializePictureBox(&canvas);
  const std::vector<float> x = {0, 1, 2, 3}, y = {1, 2, 3, 4};
  draw.SetTitle("Value vs Asset Price");
  draw.DrawLine(x, y, 4, true, 0);
  draw.SetMarker(2);
  ASSERT_FALSE(canvas.frame.Empty());
  draw.Clear();
  EXPECT_EQ(canvas.cls_calls, 1);
  EXPECT_TRUE(canvas.frame.Empty());
  EXPECT_FALSE(draw.ValueAt(2));
  // Settings changed now do not bring back a figure of the old bounds.
  draw.SetTitle("Delta vs Asset Price");
  draw.ClearMarker();
  EXPECT_TRUE(canvas.frame.Empty());
  draw.DrawLine(x, y, 4, true, 0);
  EXPECT_EQ(canvas.frame.title, "Delta vs Asset Price");
  EXPECT_FALSE(canvas.frame.marker_x);
}

}  // namespace
}  // namespace stratlyn

namespace stratlyn {
namespace {

TEST(ZelDraw, EndLabelsOfANarrowRangeNeverReadTheSame) {
  testing::FakeServices services;
  testing::RecordingCanvas canvas;
  testing::MemoryTextBox labels[4];
  zelDraw draw;
  draw.InitializePictureBox(&canvas);
  for (int i = 0; i < 4; ++i) draw.InitializeTextBox(&labels[i], i);
  // Gamma against the dividend yield: 0.0358 to 0.0367.
  const std::vector<float> y = {0.0367f, 0.0366f, 0.0362f, 0.0358f};
  const std::vector<float> x = {0.0f, 0.00001f, 0.00002f, 0.00003f};
  draw.CalcYScale(y, 4, 0);
  EXPECT_NE(labels[0].text, labels[1].text);
  EXPECT_EQ(labels[0].text, "0.037");  // 0.0367 x 1.01
  EXPECT_EQ(labels[1].text, "0.035");  // 0.0358 x 0.99
  draw.CalcXScale(x, 4, 0);
  EXPECT_EQ(labels[2].text, "0.00000");  // a bound of 0 stays 0
  EXPECT_EQ(labels[3].text, "0.00003");
  // Wide ranges keep the usual decimals; equal ends stay equal.
  const std::vector<float> wide = {1.0f, 2.0f};
  draw.CalcYScale(wide, 2, 0);
  EXPECT_EQ(labels[0].text, "2.02");
  const std::vector<float> zero = {0.0f, 0.0f};
  draw.CalcYScale(zero, 2, 0);
  EXPECT_EQ(labels[0].text, "0.00");
  EXPECT_EQ(labels[1].text, "0.00");
}

}  // namespace
}  // namespace stratlyn
