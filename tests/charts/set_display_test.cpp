// Display scaling of a panel's controls.

#include <gtest/gtest.h>

#include <stdexcept>

#include "charts/zel_set_display.h"

namespace stratlyn {
namespace {

// A control as plain data; `refuse_box` makes SetBox fail like a control
// whose geometry is fixed.
struct FakeControl : ScalableControl {
  bool line = false;
  bool has_box = true;
  bool has_font = true;
  bool refuse_box = false;
  TwipBox box;
  TwipLine ends;
  int font_size = 8;
  bool bold = false;

  bool IsLine() const override { return line; }
  bool HasBox() const override { return has_box; }
  TwipBox Box() const override {
    if (!has_box) throw std::logic_error("no box");
    return box;
  }
  void SetBox(const TwipBox& b) override {
    if (refuse_box) throw std::runtime_error("fixed");
    box = b;
  }
  TwipLine LineEnds() const override { return ends; }
  void SetLineEnds(const TwipLine& l) override { ends = l; }
  bool HasFont() const override { return has_font; }
  void SetFontSize(int points) override { font_size = points; }
  void SetFontBold(bool b) override { bold = b; }
};

bool SameBox(const TwipBox& a, const TwipBox& b) {
  return a.left == b.left && a.top == b.top && a.width == b.width && a.height == b.height;
}

TEST(zelSetDisplay, EnlargesAPanelOf9000By3000) {
  FakeControl label;
  label.box = {1200, 1000, 900, 300};
  zelSetDisplay display;
  display.Initialize(9000, 3000, 1);
  display.SetUpDisplay(0, label);

  int32_t w = 9000, h = 3000;
  display.EnlargeFont(w, h);
  EXPECT_EQ(w, 15300);
  EXPECT_EQ(h, 4500);
  // ry = 2600/4100 and rx = 9000/15300 as 32-bit ratios.
  EXPECT_EQ(label.box.top, 1576);
  // The other figures are 1.7 and 1.5 times the registered ones, less at
  // most the one twip that the 32-bit ratios cost.
  EXPECT_NEAR(label.box.left, 2040, 1);
  EXPECT_NEAR(label.box.width, 1530, 1);
  EXPECT_NEAR(label.box.height, 473, 1);
  EXPECT_EQ(label.font_size, 12);
  EXPECT_TRUE(label.bold);

  const TwipBox once = label.box;
  display.EnlargeFont(w, h);
  EXPECT_TRUE(SameBox(label.box, once));
  EXPECT_EQ(w, 15300);

  display.ReduceFont(w, h);
  EXPECT_EQ(w, 9000);
  EXPECT_EQ(h, 3000);
  EXPECT_TRUE(SameBox(label.box, TwipBox{1200, 1000, 900, 300}));
  EXPECT_EQ(label.font_size, 8);
  EXPECT_FALSE(label.bold);
}

TEST(zelSetDisplay, LinesMoveTheirEndPointsAndKeepTheirFonts) {
  FakeControl rule;
  rule.line = true;
  rule.ends = {100, 1000, 9000, 1000};
  rule.font_size = 10;
  zelSetDisplay display;
  display.Initialize(9000, 3000, 1);
  display.SetUpDisplay(0, rule);
  int32_t w = 0, h = 0;
  display.EnlargeFont(w, h);
  EXPECT_NEAR(rule.ends.x1, 170, 1);
  EXPECT_EQ(rule.ends.y1, 1576);
  EXPECT_NEAR(rule.ends.x2, 15300, 1);
  EXPECT_EQ(rule.ends.y2, 1576);
  EXPECT_EQ(rule.font_size, 10);
  EXPECT_FALSE(rule.bold);
  display.ReduceFont(w, h);
  EXPECT_EQ(rule.ends.x1, 100);
  EXPECT_EQ(rule.ends.x2, 9000);
  EXPECT_EQ(rule.font_size, 10);
}

TEST(zelSetDisplay, SkipsWhatAControlLacksOrRefuses) {
  FakeControl timer;  // no geometry at all
  timer.has_box = false;
  FakeControl fixed;  // geometry that cannot be changed, but a font
  fixed.box = {10, 20, 30, 40};
  fixed.refuse_box = true;
  FakeControl picture;  // no font
  picture.has_font = false;
  picture.box = {0, 400, 1000, 1000};
  picture.font_size = 9;

  zelSetDisplay display;
  display.Initialize(9000, 3000, 3);
  display.SetUpDisplay(0, timer);
  display.SetUpDisplay(1, fixed);
  display.SetUpDisplay(2, picture);
  display.SetUpDisplay(7, picture);  // outside the arrays: ignored
  int32_t w = 0, h = 0;
  display.EnlargeFont(w, h);
  EXPECT_EQ(timer.font_size, 8);
  EXPECT_TRUE(SameBox(fixed.box, TwipBox{10, 20, 30, 40}));
  EXPECT_EQ(fixed.font_size, 12);
  EXPECT_NEAR(picture.box.width, 1700, 1);
  EXPECT_EQ(picture.font_size, 9);
  EXPECT_EQ(w, 15300);

  // With no control registered only the size changes.
  zelSetDisplay empty;
  empty.Initialize(5000, 2001, 0);
  empty.EnlargeFont(w, h);
  EXPECT_EQ(w, 8500);
  EXPECT_EQ(h, 3002);  // 3001.5 goes to the even neighbour
  empty.ReduceFont(w, h);
  EXPECT_EQ(h, 2001);
}

TEST(zelSetDisplay, APanelShorterThanTheTopBandStillStretchesDownwards) {
  FakeControl button;
  button.box = {0, 100, 500, 150};
  zelSetDisplay display;
  display.Initialize(1000, 300, 1);
  display.SetUpDisplay(0, button);
  int32_t w = 0, h = 0;
  display.EnlargeFont(w, h);
  EXPECT_EQ(h, 450);
  EXPECT_NEAR(button.box.top, 150, 1);
  EXPECT_NEAR(button.box.height, 225, 1);
}

}  // namespace
}  // namespace stratlyn
