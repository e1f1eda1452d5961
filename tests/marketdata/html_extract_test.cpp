#include "marketdata/html_extract.h"

#include <gtest/gtest.h>

#include "support/fake_services.h"

namespace stratlyn {
namespace {

TEST(FindText, ExactThenLowerCaseThenCaseBlind) {
  EXPECT_EQ(FindText(1, "ab<TABLE>", "<TABLE"), 3u);
  EXPECT_EQ(FindText(1, "ab<table>", "<TABLE"), 3u);
  EXPECT_EQ(FindText(1, "ab<Table>", "<TABLE"), 3u);  // mixed case is found too
  EXPECT_EQ(FindText(4, "<tr><tr>", "<TR"), 5u);
  EXPECT_EQ(FindText(1, "nothing", "<TR"), 0u);
  EXPECT_EQ(FindText(9, "<tr>", "<TR"), 0u);
  EXPECT_EQ(FindText(1, "<tr>", ""), 0u);
}

TEST(TextHelpers, BlankOutAndReplaceAll) {
  std::string s = "a\r\nb\bc";
  BlankOutChar(s, 13);
  BlankOutChar(s, 10);
  BlankOutChar(s, 8);
  EXPECT_EQ(s, "a  b c");

  std::string t = "<TH>a</th><TH>";
  ReplaceAllText(t, "TH", "TD");
  EXPECT_EQ(t, "<TD>a</TD><TD>");

  std::string u = "xax";
  ReplaceAllText(u, "a", "aa");  // the replacement holds the pattern: nothing happens
  EXPECT_EQ(u, "xax");
  ReplaceAllText(u, "", "z");
  EXPECT_EQ(u, "xax");
}

TEST(HtmlToText, MarkupIsStrippedAsTheRulesSay) {
  testing::FakeServices services;
  EXPECT_EQ(HtmlToText("<td>12.5</td>"), "12.5");
  EXPECT_EQ(HtmlToText("a<b>x</b>"), "x");       // text before the first '>' is dropped
  EXPECT_EQ(HtmlToText("plain text"), "");       // no tags at all
  EXPECT_EQ(HtmlToText("<td>a</td>tail"), "a");  // text after the last tag is not collected
  EXPECT_EQ(HtmlToText("<td>  7  </td>"), "7");  // trimmed
  // Cell, row and line boundaries keep texts apart; inline markup does not.
  EXPECT_EQ(HtmlToText("<td>a</td><td>b</td>"), "a b");
  EXPECT_EQ(HtmlToText("<td>Yield</td><td>2.35%</td><td>P/E</td><td>10.4</td>"),
            "Yield 2.35% P/E 10.4");
  EXPECT_EQ(HtmlToText("<tr><th>Last</th></tr><tr><td>1</td></tr>"), "Last 1");
  EXPECT_EQ(HtmlToText("<div>12</div><div>5</div>"), "12 5");
  EXPECT_EQ(HtmlToText("<td>12<b>.</b>5</td>"), "12.5");
  EXPECT_EQ(HtmlToText("<td><span>1</span><span>2</span></td>"), "12");
  EXPECT_EQ(HtmlToText("<td>x</td><td>1<sup>st</sup></td>"),
            "x 1st");                                     // a blank before text followed by <SUP
  EXPECT_EQ(HtmlToText("<p>one<br>two</p>"), "one two");  // a blank after text followed by <BR
  EXPECT_EQ(HtmlToText("<td>5</td><td"), "5");            // an unclosed tag stops the collection
  EXPECT_GT(services.events.pending_calls, 0);
}

TEST(HtmlToText, Entities) {
  testing::FakeServices services;
  EXPECT_EQ(HtmlToText("<td>1&#55;</td>"), "17");
  EXPECT_EQ(HtmlToText("<td>1&nbsp;2&amp;3</td>"), "123");  // named entities are removed
  EXPECT_EQ(HtmlToText("<td>&55;x</td>"), "7x");            // a numeric name is a character
  EXPECT_EQ(HtmlToText("<td>&#233;</td>"), "\xC3\xA9");     // written as UTF-8
  EXPECT_EQ(HtmlToText("<td>a&#0;b</td>"), "ab");           // a code that names no character
  EXPECT_EQ(HtmlToText("<td>a&#99999999;b</td>"), "ab");
  EXPECT_EQ(HtmlToText("<td>&#x41;z</td>"), "z");        // hex is not numeric: removed as a name
  EXPECT_EQ(HtmlToText("<td>AT&T; x</td>"), "AT&T; x");  // ';' too close: left alone
  EXPECT_EQ(HtmlToText("<td>a;b &amp; c</td>"), "a;b &amp; c");  // first ';' before the '&'
}

TEST(BodyText, DropsMarkupAndDecodesEscapes) {
  EXPECT_EQ(BodyText("<pre style=\"x\">{&quot;a&quot;: &lt;1&amp;2&gt;}</pre>"), "{\"a\": <1&2>}");
  EXPECT_EQ(BodyText("a,1\r\nb < c,2\r\n"), "a,1\r\nb < c,2\r\n");
}

std::string Cell(const Grid& g, int r, int c) { return g.TextMatrix(r, c); }

TEST(ExtractHtmlTable, RowsCellsAndLabels) {
  testing::FakeServices services;
  Grid g;
  const std::string page =
      "<html>Rates<table border=1>\r\n"
      "<TR><TH>Term</TH><TH>Month</TH></TR>\r\n"
      "<tr><td>3 Month</td><td>0.17</td><td>x</td></tr>\n"
      "</TABLE></html>";
  ExtractHtmlTable(page, g, 1, "Rates");
  ASSERT_EQ(g.Rows(), 3);
  ASSERT_EQ(g.Cols(), 4);
  EXPECT_EQ(Cell(g, 0, 0), "Col0");
  EXPECT_EQ(Cell(g, 0, 3), "Col3");
  EXPECT_EQ(Cell(g, 1, 0), "Row1");
  EXPECT_EQ(Cell(g, 2, 0), "Row2");
  EXPECT_EQ(Cell(g, 1, 1), "Term");   // header cells fill the grid like data cells
  EXPECT_EQ(Cell(g, 1, 2), "Month");  // and their texts keep their letters
  EXPECT_EQ(Cell(g, 2, 1), "3 Month");
  EXPECT_EQ(Cell(g, 2, 2), "0.17");
  EXPECT_EQ(Cell(g, 2, 3), "x");
  EXPECT_EQ(services.dialogs.Count(), 0u);
}

TEST(ExtractHtmlTable, NthTableMissingRowEndsAndScripts) {
  testing::FakeServices services;
  Grid g;
  const std::string two =
      "<table><tr><td>first</td></tr></table>START"
      "<table><tr><td>A</td></tr></table>"
      "<table><tr><td>B1</td><tr><td>B2</td></table>";
  ExtractHtmlTable(two, g, 2, "START");
  ASSERT_EQ(g.Rows(), 3);  // a row without </TR> ends just before the next row
  EXPECT_EQ(Cell(g, 1, 1), "B1");
  EXPECT_EQ(Cell(g, 2, 1), "B2");

  ExtractHtmlTable(two, g, 1, "no such start");  // from the top of the page
  EXPECT_EQ(Cell(g, 1, 1), "first");

  const std::string scripted =
      "<table><tr><td>1</td></tr><script>if (a<b && c) { x = '<tr><td>9</td></tr>'; }</script>"
      "<tr><td>2</td></tr></table>";
  ExtractHtmlTable(scripted, g, 1, "");
  ASSERT_EQ(g.Rows(), 3);
  EXPECT_EQ(Cell(g, 1, 1), "1");
  EXPECT_EQ(Cell(g, 2, 1), "2");
  EXPECT_EQ(services.dialogs.Count(), 0u);
}

TEST(ExtractHtmlTable, MissingTablesAreReportedAndTheGridKept) {
  testing::FakeServices services;
  Grid g(3, 3);
  g.SetTextMatrix(1, 1, "keep");
  ExtractHtmlTable("<p>no tables here</p>", g, 1, "");
  EXPECT_EQ(services.dialogs.LastText(), kNoTableStartMessage);
  EXPECT_EQ(services.dialogs.Last().icon, MsgIcon::Critical);
  EXPECT_EQ(services.dialogs.Last().title, "Quorvale");
  ExtractHtmlTable("<table><tr><td>1</td></tr>", g, 1, "");
  EXPECT_EQ(services.dialogs.LastText(), kNoTableEndMessage);
  // Asking for a third table of a page with one must not wrap round to the first.
  ExtractHtmlTable("<table><tr><td>1</td></tr></table>", g, 3, "");
  EXPECT_EQ(services.dialogs.LastText(), kNoTableStartMessage);
  EXPECT_EQ(services.dialogs.Count(), 3u);
  EXPECT_EQ(g.Rows(), 3);
  EXPECT_EQ(Cell(g, 1, 1), "keep");
  ExtractHtmlTable("", g, 1, "");  // an empty page: nothing, silently
  EXPECT_EQ(services.dialogs.Count(), 3u);
}

TEST(ParseTableRow, StrayClosingTagAndGrowingColumns) {
  testing::FakeServices services;
  Grid g(1, 1);
  std::string row = "</TD><TD>a</TD><td>b</td>";
  ParseTableRow(g, row, "TD");
  ASSERT_EQ(g.Rows(), 2);
  ASSERT_EQ(g.Cols(), 3);
  EXPECT_EQ(Cell(g, 1, 1), "a");
  EXPECT_EQ(Cell(g, 1, 2), "b");
}

}  // namespace
}  // namespace stratlyn
