#include "util/grid.h"

#include <gtest/gtest.h>

#include "util/zel_error.h"

namespace stratlyn {
namespace {

TEST(Grid, ClipReadsAndWritesTheSelection) {
  Grid g(4, 3);
  g.SetTextMatrix(1, 1, "a");
  g.SetTextMatrix(1, 2, "b");
  g.SetTextMatrix(2, 1, "c");
  g.SetRow(1);
  g.SetCol(1);
  g.SetRowSel(2);
  g.SetColSel(2);
  EXPECT_EQ(g.Clip(), "a\tb\rc\t");

  g.SetClip("1\t2\r3\t4\r5\t6");  // the third row lies outside the selection
  EXPECT_EQ(g.TextMatrix(2, 2), "4");
  EXPECT_EQ(g.TextMatrix(3, 1), "");
}

TEST(Grid, SingleCellClipFillsTowardTheEdges) {
  Grid g(4, 3);
  g.SetRow(2);
  g.SetCol(1);
  g.SetClip("x\ty\tz\rw");
  EXPECT_EQ(g.TextMatrix(2, 1), "x");
  EXPECT_EQ(g.TextMatrix(2, 2), "y");
  EXPECT_EQ(g.TextMatrix(3, 1), "w");
}

TEST(Grid, ResizeAddRemoveAndBounds) {
  Grid g(2, 2);
  g.SetTextMatrix(1, 1, "keep");
  g.SetRows(5);
  EXPECT_EQ(g.TextMatrix(1, 1), "keep");
  g.AddItem("r0\tr1");
  EXPECT_EQ(g.Rows(), 6);
  EXPECT_EQ(g.TextMatrix(5, 1), "r1");
  g.AddItem("top", 1);
  EXPECT_EQ(g.TextMatrix(1, 0), "top");
  EXPECT_EQ(g.TextMatrix(2, 1), "keep");
  g.RemoveItem(1);
  EXPECT_EQ(g.TextMatrix(1, 1), "keep");
  EXPECT_THROW(g.TextMatrix(7, 0), zelError);
  try {
    g.SetTextMatrix(0, 2, "x");
    FAIL();
  } catch (const zelError& e) {
    EXPECT_EQ(e.Number(), 381);
  }
  int changes = 0;
  g.SetChangeListener([&] { ++changes; });
  g.SetRedraw(false);
  g.Clear();
  EXPECT_EQ(changes, 0);
  g.SetRedraw(true);
  EXPECT_EQ(changes, 1);
  EXPECT_EQ(g.TextMatrix(1, 1), "");
}

}  // namespace
}  // namespace stratlyn
