#include <gtest/gtest.h>

#include <QLabel>
#include <memory>

#include "charts/qt_scalable_control.h"
#include "charts/qt_scaled_panel.h"

namespace stratlyn {
namespace {

// A panel 3000 x 2000 twips with one label and one line; counts the display
// changes and notes its own width at each.
class TestPanel : public ScaledPanel {
 public:
  TestPanel() : ScaledPanel(nullptr, 3000, 2000) {
    label = Place(new QLabel("Label", this), 600, 600, 1200, 300);
    line = new LineControl(this);
    line->SetEnds({100, 500, 1100, 500});
    AddScalable(std::make_unique<QtScalableLine>(line));
  }
  void Register() { RegisterDisplay(); }

  QLabel* label = nullptr;
  LineControl* line = nullptr;
  int changes = 0;
  int width_at_change = 0;

 protected:
  void DisplayChanged() override {
    ++changes;
    width_at_change = width();
  }
};

TEST(ScaledPanelGui, PlacesRegistersAndFollowsTheDisplay) {
  TestPanel panel;
  // Before registering: the panel's font, background and registered size.
  EXPECT_EQ(panel.ucWidth(), 0);
  EXPECT_EQ(panel.ucHeight(), 0);
  EXPECT_EQ(panel.font().pointSize(), 8);
  EXPECT_TRUE(panel.autoFillBackground());
  EXPECT_EQ(panel.size(), QSize(TwipsToPx(3000), TwipsToPx(2000)));
  const QRect placed(TwipsToPx(600), TwipsToPx(600), TwipsToPx(1200), TwipsToPx(300));
  EXPECT_EQ(panel.label->geometry(), placed);

  panel.Register();
  EXPECT_EQ(panel.ucWidth(), 3000);
  EXPECT_EQ(panel.ucHeight(), 2000);
  EXPECT_EQ(panel.changes, 0);

  panel.EnlargeFont();
  EXPECT_EQ(panel.ucWidth(), 5100);
  EXPECT_EQ(panel.ucHeight(), 3000);
  EXPECT_EQ(panel.size(), QSize(TwipsToPx(5100), TwipsToPx(3000)));
  // The hook runs once, after the panel has been re-sized.
  EXPECT_EQ(panel.changes, 1);
  EXPECT_EQ(panel.width_at_change, TwipsToPx(5100));
  // The placed label and the added line were both scaled (1.7 times as wide).
  EXPECT_NEAR(panel.label->width(), TwipsToPx(2040), 1);
  EXPECT_NEAR(panel.label->x(), TwipsToPx(1020), 1);
  EXPECT_EQ(panel.label->font().pointSize(), 12);
  EXPECT_TRUE(panel.label->font().bold());
  EXPECT_NEAR(panel.line->Ends().x2, 1870, 1);

  panel.ReduceFont();
  EXPECT_EQ(panel.ucWidth(), 3000);
  EXPECT_EQ(panel.ucHeight(), 2000);
  EXPECT_EQ(panel.size(), QSize(TwipsToPx(3000), TwipsToPx(2000)));
  EXPECT_EQ(panel.changes, 2);
  EXPECT_EQ(panel.width_at_change, TwipsToPx(3000));
  EXPECT_EQ(panel.label->geometry(), placed);
  EXPECT_EQ(panel.label->font().pointSize(), 8);
  EXPECT_FALSE(panel.label->font().bold());
  EXPECT_EQ(panel.line->Ends().x2, 1100);
}

}  // namespace
}  // namespace stratlyn
