// The Qt picture box with a figure around its plot.

#include <gtest/gtest.h>

#include <QImage>
#include <QTemporaryDir>

#include "charts/qt_canvas.h"
#include "charts/zel_draw.h"
#include "support/fake_services.h"
#include "util/locale_info.h"

namespace stratlyn {
namespace {

int PixelsUnlikeIn(const QImage& img, const QRect& area, QRgb colour) {
  int n = 0;
  for (int y = area.top(); y <= area.bottom(); ++y) {
    for (int x = area.left(); x <= area.right(); ++x) {
      if ((img.pixel(x, y) & 0xFFFFFF) != (colour & 0xFFFFFF)) {
        ++n;
      }
    }
  }
  return n;
}

TEST(QtCanvasFigure, TheFrameTakesMarginsAndTheExportCarriesIt) {
  testing::FakeServices services;
  SetEntryLocale(EntryLocale{});
  QtCanvas c;
  c.resize(600, 300);
  c.SetBackColor(0xFFFFFF);
  zelDraw draw;
  draw.InitializePictureBox(&c);
  draw.SetTitle("Delta vs Strike");
  std::vector<float> x(101), y(101);
  for (int i = 0; i <= 100; ++i) {
    x[i] = 25.0f + 0.75f * i;
    y[i] = i / 100.0f;
  }
  draw.DrawLine(x, y, 100, true, 0);
  draw.SetMarker(50, "50");

  // The plot area sits inside the widget, leaving room for the numbers.
  const QRectF plot = c.PlotRect();
  EXPECT_GT(plot.left(), 15);
  EXPECT_GT(plot.top(), 10);
  EXPECT_LT(plot.bottom(), 300 - 10);
  // The scale maps onto the plot area, and the mouse back onto the scale.
  const QPointF corner = c.ToPixels(draw.GetMinMax(zelDraw::kXMin), draw.GetMinMax(zelDraw::kYMin));
  EXPECT_NEAR(corner.x(), plot.left(), 1e-6);
  EXPECT_NEAR(corner.y(), plot.bottom(), 1e-6);
  const QPointF back = c.ToUser(c.ToPixels(60, 0.5));
  EXPECT_NEAR(back.x(), 60, 1e-4);
  EXPECT_NEAR(back.y(), 0.5, 1e-6);

  // The exported image is the whole figure: title above the plot, tick
  // numbers left of and below it.
  QTemporaryDir dir;
  const QString path = dir.path() + "/figure.png";
  ASSERT_TRUE(c.SaveImage(path));
  const QImage img(path);
  ASSERT_EQ(img.size(), QSize(600, 300));
  const int top = static_cast<int>(plot.top());
  const int left = static_cast<int>(plot.left());
  const int bottom = static_cast<int>(plot.bottom());
  EXPECT_GT(PixelsUnlikeIn(img, QRect(0, 0, 600, top - 2), 0xFFFFFF), 50);              // title
  EXPECT_GT(PixelsUnlikeIn(img, QRect(0, top, left - 6, bottom - top), 0xFFFFFF), 50);  // y
  EXPECT_GT(PixelsUnlikeIn(img, QRect(left, bottom + 6, 500, 300 - bottom - 7), 0xFFFFFF),
            50);  // x numbers

  // Clearing drops the figure: the plot fills the widget again.
  c.Cls();
  EXPECT_TRUE(c.Frame().Empty());
  EXPECT_EQ(c.PlotRect(), QRectF(0, 0, 600, 300));
}

}  // namespace
}  // namespace stratlyn
