#include "util/grid_clipboard.h"

#include <gtest/gtest.h>

#include "support/fake_services.h"
#include "util/grid.h"
#include "util/locale_info.h"
#include "util/zel_error.h"

namespace stratlyn {
namespace {

// A clipboard that another program holds open.
class BusyClipboard : public Clipboard {
 public:
  void Clear() override { throw zelError(err::kCannotOpenClipboard); }
  void SetText(const std::string&) override { throw zelError(err::kCannotOpenClipboard); }
  std::string Text() const override { throw zelError(err::kCannotOpenClipboard); }
};

struct DotLocale {
  DotLocale() {
    EntryLocale l;
    l.decimal_point = ".";
    l.thousands_sep = ",";
    SetEntryLocale(l);
  }
  ~DotLocale() { ResetEntryLocale(); }
};

TEST(GridClipboard, TextHelpers) {
  std::string t = "a\nb\r\nc";
  ReplaceLineFeeds(t);
  EXPECT_EQ(t, "a b\r c");
  std::string n = "1,234,567.5";
  StripCommas(n);
  EXPECT_EQ(n, "1234567.5");
  std::string plain = "12.5";
  StripCommas(plain);
  EXPECT_EQ(plain, "12.5");
}

TEST(GridClipboard, CopyPutsTheSelectionOnTheClipboard) {
  testing::FakeServices services;
  Grid g(4, 3);
  g.SetTextMatrix(1, 1, "1.5");
  g.SetTextMatrix(1, 2, "x");
  g.SetTextMatrix(2, 1, "2");
  g.SetRow(1);
  g.SetCol(1);
  g.SetRowSel(2);
  g.SetColSel(2);
  services.clipboard.SetText("old");
  CopyGridToClipboard(g);
  EXPECT_EQ(services.clipboard.Text(), "1.5\tx\r\n2\t");  // rows end in CR LF

  Grid empty(3, 3);
  empty.SetRow(1);
  empty.SetCol(1);
  CopyGridToClipboard(empty);
  EXPECT_EQ(services.clipboard.Text(), "");
  EXPECT_EQ(services.dialogs.Count(), 0u);
}

TEST(GridClipboard, PasteRules) {
  testing::FakeServices services;
  DotLocale dot;
  Grid g(5, 3);
  g.SetRow(1);
  g.SetCol(1);
  services.clipboard.SetText("1,234.5");
  PasteClipboardToGrid(g);
  EXPECT_EQ(g.TextMatrix(1, 1), "1234.5");

  // Two spreadsheet rows ending in CR LF fill two grid rows, without a blank
  // in front of the second and without wiping the row below.
  Grid h(5, 3);
  h.SetTextMatrix(3, 1, "keep");
  h.SetRow(1);
  h.SetCol(1);
  services.clipboard.SetText("1\t2\r\n3\t4\r\n");
  PasteClipboardToGrid(h);
  EXPECT_EQ(h.TextMatrix(1, 1), "1");
  EXPECT_EQ(h.TextMatrix(1, 2), "2");
  EXPECT_EQ(h.TextMatrix(2, 1), "3");
  EXPECT_EQ(h.TextMatrix(2, 2), "4");
  EXPECT_EQ(h.TextMatrix(3, 1), "keep");
  // Rows from a Linux editor end in a bare line feed.
  Grid l(5, 3);
  l.SetRow(1);
  l.SetCol(1);
  services.clipboard.SetText("5\t6\n7\t8\n");
  PasteClipboardToGrid(l);
  EXPECT_EQ(l.TextMatrix(2, 1), "7");
  EXPECT_EQ(l.TextMatrix(2, 2), "8");
  EXPECT_EQ(services.dialogs.Count(), 0u);
}

TEST(GridClipboard, PasteUnderADecimalCommaKeepsTheDecimals) {
  testing::FakeServices services;
  EntryLocale de;
  de.decimal_point = ",";
  de.thousands_sep = ".";
  SetEntryLocale(de);
  Grid g(3, 3);
  g.SetRow(1);
  g.SetCol(1);
  services.clipboard.SetText("1.234,5\t0,25");
  PasteClipboardToGrid(g);
  ResetEntryLocale();
  EXPECT_EQ(g.TextMatrix(1, 1), "1234,5");
  EXPECT_EQ(g.TextMatrix(1, 2), "0,25");
}

TEST(GridClipboard, PastedDecimalsThatGroupNothingStayDecimals) {
  // Every "." went under a decimal comma and every "," under a decimal
  // point: a price 1.5 pasted from another spreadsheet became 15, 0.05 5.
  testing::FakeServices services;
  EntryLocale de;
  de.decimal_point = ",";
  de.thousands_sep = ".";
  SetEntryLocale(de);
  Grid g(3, 6);
  g.SetRow(1);
  g.SetCol(0);
  services.clipboard.SetText("1.5\t0.05\t1.234,5\tput\t-2.5e-3\t1.000\r\n0,25\t\t(3.5)");
  PasteClipboardToGrid(g);
  ResetEntryLocale();
  const char* const want[2][6] = {{"1,5", "0,05", "1234,5", "put", "-2,5e-3", "1000"},
                                  {"0,25", "", "-3,5", "", "", ""}};
  for (int r = 0; r < 2; ++r) {
    for (int c = 0; c < 6; ++c) {
      EXPECT_EQ(g.TextMatrix(r + 1, c), want[r][c]) << r << " " << c;
    }
  }

  EntryLocale dot;
  dot.decimal_point = ".";
  dot.thousands_sep = ",";
  SetEntryLocale(dot);
  Grid d(2, 4);
  d.SetRow(1);
  d.SetCol(0);
  services.clipboard.SetText("1,5\t1,234.5\t0.05\tN/A");
  PasteClipboardToGrid(d);
  ResetEntryLocale();
  EXPECT_EQ(d.TextMatrix(1, 0), "1.5");
  EXPECT_EQ(d.TextMatrix(1, 1), "1234.5");
  EXPECT_EQ(d.TextMatrix(1, 2), "0.05");
  EXPECT_EQ(d.TextMatrix(1, 3), "N/A");
}

TEST(GridClipboard, FailuresGoToTheErrorHandler) {
  testing::FakeServices services;
  BusyClipboard busy;
  ScopedServices scope(nullptr, nullptr, &busy);
  Grid g(3, 3);
  g.SetTextMatrix(1, 1, "keep");
  CopyGridToClipboard(g);
  ASSERT_EQ(services.dialogs.Count(), 1u);
  EXPECT_EQ(services.dialogs.Last().title, "Quorvale");
  PasteClipboardToGrid(g);
  EXPECT_EQ(services.dialogs.Count(), 2u);
  EXPECT_EQ(g.TextMatrix(1, 1), "keep");
}

}  // namespace
}  // namespace stratlyn
