#pragma once
// Plain values out of HTML pages without an HTML parser: text helpers that
// search tag texts in either case, the markup-and-entity stripper HtmlToText,
// and ExtractHtmlTable, which copies one table of a page into a Grid.
// Positions are 1-based as the callers count them; 0 means "not found".

#include <string>

#include "util/grid.h"

namespace stratlyn {

// The two messages of ExtractHtmlTable (critical icon, title "Quorvale").
inline constexpr const char* kNoTableStartMessage = "Unable to find start of table";
inline constexpr const char* kNoTableEndMessage = "Unable to find end of table";

// Position of `pattern` in `text` from `start` (1-based): exact first, then the
// pattern in lower case, then both in lower case (ASCII). 0 when absent, when
// the pattern is empty or when start lies beyond the text.
size_t FindText(size_t start, const std::string& text, const std::string& pattern);

// Overwrites every byte `code` of `text` with a blank.
void BlankOutChar(std::string& text, unsigned char code);

// Replaces every occurrence of `find` (found by FindText) with `replacement`;
// does nothing when the replacement itself contains `find` or `find` is empty.
void ReplaceAllText(std::string& text, const std::string& find, const std::string& replacement);

// The plain text of an HTML fragment: the text before the first '>' is
// dropped, the texts between tags are joined (a blank before a text followed
// by a <SUP, after one followed by a <BR), text after the last tag is not
// collected; texts on either side of a cell, row or line boundary (td, th,
// tr, table, br, p, div, li, ...) are kept apart by a blank; then blanks are
// trimmed, numeric entities become their
// characters (UTF-8) and named entities are removed. A fragment without both
// '<' and '>' gives "". Lets pending events run.
std::string HtmlToText(const std::string& fragment);

// The text of a page as a browser shows a plain-text file or JSON: the
// markup dropped and the entities a browser escapes text with (&quot; &#39;
// &lt; &gt; &amp;) decoded. Plain text passes through unchanged.
std::string BodyText(const std::string& html);

// The text of the first cell of an HTML fragment that starts with a label:
// the text before the first '>' is dropped (the label), then the text up to
// the next cell or row boundary, through HtmlToText. "" when that cell is
// empty or the fragment ends before a tag closes the text.
// "ield</td><td>2.35%</td><td>P/E" gives "2.35%"; "ield</td><td></td>..." "".
std::string FirstCellText(const std::string& fragment);

// True when the 1-based position `pos` lies inside a header cell (<th>).
bool LabelInHeaderCell(const std::string& html, size_t pos);

// The text (HtmlToText) of the cell below the table cell that holds the
// 1-based position `pos`: the same column (colspans counted) of the next row
// of that table. "" when `pos` is in no cell, or there is no such cell.
std::string CellTextBelow(const std::string& html, size_t pos);

// Adds one grid row for the HTML row `row` and fills it, from column 1, with
// the plain text of each `tag` cell ("TD"; <TH> cells count as TD cells).
// The grid gains columns as needed. `row` is changed (line breaks blanked).
void ParseTableRow(Grid& grid, std::string& row, const std::string& tag);

// Copies table number n (from 1) after the first occurrence of `start_text`
// (from the top when absent) into the grid: table rows from grid row 1, cells
// from column 1, row 0 labelled Col0, Col1, ... and column 0 Row1, Row2, ...
// A missing table is reported with one of the two messages and leaves the
// grid as it was. One <SCRIPT> block inside the table is cut out first.
void ExtractHtmlTable(const std::string& html, Grid& grid, int n, const std::string& start_text);

}  // namespace stratlyn
