#include "marketdata/html_extract.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <string_view>
#include <utility>

#include "util/dialogs.h"
#include "util/services.h"
#include "util/text.h"

namespace stratlyn {
namespace {

std::string Lower(std::string s) {
  for (char& c : s) {
    c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  }
  return s;
}

// 1-based position of `pattern` in `text` from `start`, exact; 0 when absent.
size_t InStr(size_t start, const std::string& text, const std::string& pattern) {
  if (start < 1 || pattern.empty() || start > text.size()) {
    return 0;
  }
  const size_t p = text.find(pattern, start - 1);
  return p == std::string::npos ? 0 : p + 1;
}

// A plain decimal number between spaces. Entity codes must read as one.
bool IsPlainNumber(const std::string& s, double& value) {
  const auto v = ReadDotDecimal(TrimView(s, kSpace));
  if (v) {
    value = *v;
  }
  return v.has_value();
}

// The character with code `code` in UTF-8; "" for a code that names no
// character (0, negatives, surrogates, beyond U+10FFFF).
std::string CharFromCode(double value) {
  const double rounded = std::nearbyint(value);
  if (!(rounded >= 1 && rounded <= 0x10FFFF)) {
    return {};
  }
  const auto cp = static_cast<unsigned>(rounded);
  if (cp >= 0xD800 && cp <= 0xDFFF) {
    return {};
  }
  std::string out;
  if (cp < 0x80) {
    out += static_cast<char>(cp);
  } else if (cp < 0x800) {
    out += static_cast<char>(0xC0 | (cp >> 6));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else if (cp < 0x10000) {
    out += static_cast<char>(0xE0 | (cp >> 12));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (cp >> 18));
    out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  }
  return out;
}

// Header cells become data cells: "<TH" and "</TH" tag names (either case)
// turn into "<TD" / "</TD". Only tag names change, so cell texts such as
// "Month" and tags such as <THEAD> are left alone.
void HeaderCellsToDataCells(std::string& row) {
  for (size_t i = 0; i + 2 < row.size(); ++i) {
    if (row[i] != '<') {
      continue;
    }
    size_t j = i + 1;
    if (row[j] == '/') {
      ++j;
    }
    if (j + 1 >= row.size()) {
      break;
    }
    if ((row[j] == 'T' || row[j] == 't') && (row[j + 1] == 'H' || row[j + 1] == 'h')) {
      const bool ends_name =
          j + 2 >= row.size() || !std::isalnum(static_cast<unsigned char>(row[j + 2]));
      if (ends_name) {
        row[j + 1] = row[j + 1] == 'H' ? 'D' : 'd';
      }
    }
  }
}

// The tag that starts at rest[i] ('<'): its name in lower case and whether it
// closes. False when no tag name follows the '<'.
bool TagName(const std::string& rest, size_t i, std::string& name, bool& closing) {
  size_t j = i + 1;
  closing = j < rest.size() && rest[j] == '/';
  if (closing) {
    ++j;
  }
  name.clear();
  while (j < rest.size() && std::isalnum(static_cast<unsigned char>(rest[j]))) {
    name += static_cast<char>(std::tolower(static_cast<unsigned char>(rest[j])));
    ++j;
  }
  return !name.empty();
}

bool IsCellTag(const std::string& name) { return name == "td" || name == "th"; }
bool IsRowTag(const std::string& name) {
  return name == "tr" || name == "table" || name == "thead" || name == "tbody" || name == "tfoot" ||
         name == "caption";
}

// Tags that end a line or a cell of what a browser shows: the texts on
// either side of them are separate texts, never one word.
bool IsBoundaryTag(const std::string& name) {
  static constexpr std::string_view kBlocks[] = {
      "address", "article", "aside", "blockquote", "br",   "dd",     "div",    "dl",
      "dt",      "footer",  "form",  "h1",         "h2",   "h3",     "h4",     "h5",
      "h6",      "header",  "hr",    "li",         "ol",   "option", "p",      "pre",
      "section", "select",  "ul",    "nav",        "main", "figure", "legend", "fieldset"};
  if (IsCellTag(name) || IsRowTag(name)) {
    return true;
  }
  for (std::string_view b : kBlocks) {
    if (name == b) {
      return true;
    }
  }
  return false;
}

// 0-based position of the tag <name (either case, the name ending there) in
// `lower` (the page in lower case) from `from`; npos when absent.
size_t FindTag(const std::string& lower, const std::string& name, size_t from) {
  const std::string open = "<" + name;
  for (size_t p = lower.find(open, from); p != std::string::npos; p = lower.find(open, p + 1)) {
    const size_t after = p + open.size();
    if (after >= lower.size() || !std::isalnum(static_cast<unsigned char>(lower[after]))) {
      return p;
    }
  }
  return std::string::npos;
}

// The last such tag that starts before `before`; npos when none.
size_t RFindTag(const std::string& lower, const std::string& name, size_t before) {
  size_t found = std::string::npos;
  for (size_t p = FindTag(lower, name, 0); p != std::string::npos && p < before;
       p = FindTag(lower, name, p + 1)) {
    found = p;
  }
  return found;
}

// The earlier of two positions (npos counts as the end).
size_t Earlier(size_t a, size_t b) { return a < b ? a : b; }

// The number of columns a cell tag spans (its colspan, 1 when absent).
int ColumnSpan(const std::string& lower, size_t tag) {
  const size_t end = lower.find('>', tag);
  const std::string attrs = lower.substr(tag, end == std::string::npos ? 0 : end - tag);
  const size_t c = attrs.find("colspan");
  if (c == std::string::npos) {
    return 1;
  }
  size_t i = attrs.find_first_of("0123456789", c);
  int span = 0;
  while (i < attrs.size() && std::isdigit(static_cast<unsigned char>(attrs[i])) && span < 1000) {
    span = span * 10 + (attrs[i++] - '0');
  }
  return span > 0 ? span : 1;
}

// The next cell tag (<td or <th) from `from`; npos when none.
size_t NextCell(const std::string& lower, size_t from) {
  return Earlier(FindTag(lower, "td", from), FindTag(lower, "th", from));
}

}  // namespace

size_t FindText(size_t start, const std::string& text, const std::string& pattern) {
  if (size_t p = InStr(start, text, pattern)) {
    return p;
  }
  const std::string lower_pattern = Lower(pattern);
  if (size_t p = InStr(start, text, lower_pattern)) {
    return p;
  }
  return InStr(start, Lower(text), lower_pattern);
}

void BlankOutChar(std::string& text, unsigned char code) {
  for (char& c : text) {
    if (static_cast<unsigned char>(c) == code) {
      c = ' ';
    }
  }
}

void ReplaceAllText(std::string& text, const std::string& find, const std::string& replacement) {
  if (find.empty() || FindText(1, replacement, find) > 0) {
    return;
  }
  // Each pass starts from the top: the exact match is preferred to a
  // case-blind one, wherever they lie.
  for (size_t guard = 0; guard < 1000000; ++guard) {
    const size_t p = FindText(1, text, find);
    if (p == 0) {
      break;
    }
    text.replace(p - 1, find.size(), replacement);
  }
}

std::string HtmlToText(const std::string& fragment) {
  if (fragment.find('<') == std::string::npos || fragment.find('>') == std::string::npos) {
    return {};
  }
  // The rest after the first '>' is walked with an index rather than cut
  // down, so that long fragments take linear time.
  const std::string rest = fragment.substr(fragment.find('>') + 1);
  // A text is followed by a <SUP or <BR when one occurs anywhere from its
  // closing '<' on (either case): the last occurrence decides.
  const std::string lower = Lower(rest);
  const size_t last_sup = lower.rfind("<sup");
  const size_t last_br = lower.rfind("<br");
  std::string out;
  size_t pos = 0;
  // A cell, row or line boundary since the last text: the next text is a
  // separate word ("2.35%" and "P/E" of two cells never join into one).
  bool boundary = false;
  for (size_t p = rest.find('<', pos); p != std::string::npos; p = rest.find('<', pos)) {
    if (p == pos) {
      const size_t q = rest.find('>', p + 1);
      if (q == std::string::npos || q + 1 == rest.size()) {
        break;
      }
      std::string name;
      bool closing = false;
      if (TagName(rest, p, name, closing) && IsBoundaryTag(name)) {
        boundary = true;
      }
      pos = q + 1;
      continue;
    }
    const std::string_view before(rest.data() + pos, p - pos);
    const bool separated = boundary && !out.empty() && out.back() != ' ';
    if (separated) {
      out += ' ';
    }
    boundary = false;
    if (last_sup != std::string::npos && last_sup >= p) {
      if (!separated) {
        out += ' ';
      }
      out += before;
    } else if (last_br != std::string::npos && last_br >= p) {
      out += before;
      out += ' ';
    } else {
      out += before;
    }
    pos = p;
  }
  std::string text = Trim(out, kSpace);

  // Numeric entities: &#NN; becomes the character NN. The entity is the
  // first "&#" with the first ';' of the text; a replacement can only form a
  // new "&#" from the character before it on, and no ';' lies before it.
  size_t amp_from = 0;
  size_t semi_from = 0;
  for (;;) {
    const size_t p = text.find("&#", amp_from);
    const size_t q = text.find(';', semi_from);
    if (p == std::string::npos || q == std::string::npos || q <= p + 2) {
      break;
    }
    double code = 0;
    if (!IsPlainNumber(text.substr(p + 2, q - p - 2), code)) {
      break;
    }
    text.replace(p, q - p + 1, CharFromCode(code));
    amp_from = p > 0 ? p - 1 : 0;
    semi_from = p;
  }
  // Named entities are removed; a numeric name becomes its character.
  amp_from = 0;
  semi_from = 0;
  for (;;) {
    const size_t p = text.find('&', amp_from);
    const size_t q = text.find(';', semi_from);
    if (p == std::string::npos || q == std::string::npos || q <= p + 2) {
      break;
    }
    double code = 0;
    const std::string replacement =
        IsPlainNumber(text.substr(p + 1, q - p - 1), code) ? CharFromCode(code) : "";
    text.replace(p, q - p + 1, replacement);
    amp_from = p;
    semi_from = p;
  }
  AppEvents().ProcessPending();
  return text;
}

std::string BodyText(const std::string& html) {
  std::string text;
  text.reserve(html.size());
  bool in_tag = false;
  for (size_t i = 0; i < html.size(); ++i) {
    const char c = html[i];
    // A tag starts with '<' and a letter, '/' or '!'; any other '<' is text.
    if (!in_tag && c == '<' && i + 1 < html.size() &&
        (std::isalpha(static_cast<unsigned char>(html[i + 1])) || html[i + 1] == '/' ||
         html[i + 1] == '!')) {
      in_tag = true;
    } else if (in_tag) {
      if (c == '>') {
        in_tag = false;
      }
    } else {
      text += c;
    }
  }
  static constexpr std::pair<const char*, char> kEntities[] = {
      {"&quot;", '"'}, {"&#39;", '\''}, {"&lt;", '<'}, {"&gt;", '>'}, {"&amp;", '&'}};
  for (const auto& [entity, c] : kEntities) {
    const std::string e = entity;
    for (size_t p = text.find(e); p != std::string::npos; p = text.find(e, p + 1)) {
      text.replace(p, e.size(), 1, c);
    }
  }
  return text;
}

std::string FirstCellText(const std::string& fragment) {
  const size_t first = fragment.find('>');
  if (first == std::string::npos || fragment.find('<') == std::string::npos) {
    return {};
  }
  const std::string rest = fragment.substr(first + 1);
  bool text_seen = false;  // a text other than blanks since the start
  bool opened = false;     // a cell opened after the start
  size_t pos = 0;
  size_t end = 0;  // the cell's text is rest[0, end)
  for (size_t p = rest.find('<', pos); p != std::string::npos; p = rest.find('<', pos)) {
    if (p > pos) {
      if (rest.find_first_not_of(" \t\r\n", pos) < p) {
        text_seen = true;
      }
      pos = p;
      end = p;
      continue;
    }
    const size_t q = rest.find('>', p + 1);
    if (q == std::string::npos) {
      break;
    }
    std::string name;
    bool closing = false;
    if (TagName(rest, p, name, closing) && (IsCellTag(name) || IsRowTag(name))) {
      // The text so far is the cell's; a cell or row ending before any text
      // means the figure's cell is empty.
      if (text_seen || opened) {
        break;
      }
      if (IsCellTag(name) && !closing) {
        opened = true;
      }
      if (IsRowTag(name)) {
        break;
      }
    }
    pos = q + 1;
    end = pos;
  }
  if (!text_seen) {
    return {};
  }
  return HtmlToText(">" + rest.substr(0, end) + "<");
}

bool LabelInHeaderCell(const std::string& html, size_t pos) {
  if (pos == 0 || pos > html.size()) {
    return false;
  }
  const std::string lower = Lower(html);
  const size_t at = pos - 1;
  const size_t th = RFindTag(lower, "th", at);
  const size_t td = RFindTag(lower, "td", at);
  if (th == std::string::npos || (td != std::string::npos && td > th)) {
    return false;
  }
  // Still inside that cell: no end of a cell or row between it and the label.
  const size_t closed = Earlier(lower.find("</th", th), lower.find("</tr", th));
  return closed == std::string::npos || closed > at;
}

std::string CellTextBelow(const std::string& html, size_t pos) {
  if (pos == 0 || pos > html.size()) {
    return {};
  }
  const std::string lower = Lower(html);
  const size_t at = pos - 1;
  const size_t row = RFindTag(lower, "tr", at);
  const size_t td = RFindTag(lower, "td", at);
  const size_t th = RFindTag(lower, "th", at);
  const size_t cell = td == std::string::npos   ? th
                      : th == std::string::npos ? td
                                                : std::max(td, th);
  if (row == std::string::npos || cell == std::string::npos || cell < row) {
    return {};
  }
  // The label must lie inside its cell.
  const size_t closed = Earlier(Earlier(lower.find("</td", cell), lower.find("</th", cell)),
                                lower.find("</tr", cell));
  if (closed != std::string::npos && closed < at) {
    return {};
  }
  int column = 0;
  for (size_t c = NextCell(lower, row); c != std::string::npos && c < cell;
       c = NextCell(lower, c + 1)) {
    column += ColumnSpan(lower, c);
  }
  // The next row of the same table.
  const size_t next_row = FindTag(lower, "tr", at);
  const size_t table_end = lower.find("</table", at);
  if (next_row == std::string::npos || (table_end != std::string::npos && table_end < next_row)) {
    return {};
  }
  const size_t row_after = FindTag(lower, "tr", next_row + 1);
  const size_t row_limit =
      Earlier(Earlier(row_after, lower.find("</tr", next_row)), lower.find("</table", next_row));
  int col = 0;
  for (size_t c = NextCell(lower, next_row); c != std::string::npos && c < row_limit;
       c = NextCell(lower, c + 1)) {
    const int span = ColumnSpan(lower, c);
    if (column < col + span) {
      const size_t open_end = lower.find('>', c);
      if (open_end == std::string::npos) {
        return {};
      }
      const size_t content_end =
          Earlier(Earlier(Earlier(lower.find("</td", open_end), lower.find("</th", open_end)),
                          NextCell(lower, open_end)),
                  row_limit);
      const size_t stop = content_end == std::string::npos ? html.size() : content_end;
      // Malformed markup can put the row's end inside the cell's own tag.
      if (stop <= open_end) {
        return {};
      }
      return HtmlToText(">" + html.substr(open_end + 1, stop - open_end - 1) + "<");
    }
    col += span;
  }
  return {};
}

void ParseTableRow(Grid& grid, std::string& row, const std::string& tag) {
  BlankOutChar(row, 10);
  BlankOutChar(row, 13);
  BlankOutChar(row, 8);
  HeaderCellsToDataCells(row);
  grid.SetRows(grid.Rows() + 1);
  grid.SetRow(grid.Rows() - 1);
  grid.SetCol(0);
  const std::string open = "<" + tag;
  const std::string close = "</" + tag + ">";
  for (;;) {
    const size_t p = FindText(1, row, open);
    // The closing tag is looked for after the opening one, so that a stray
    // closing tag before it cannot make a cell of negative length.
    const size_t q = p > 0 ? FindText(p, row, close) : 0;
    if (p == 0 || q == 0) {
      break;
    }
    const std::string cell = row.substr(p - 1, q - p + close.size());
    if (grid.Col() == grid.Cols() - 1) {
      grid.SetCols(grid.Cols() + 1);
    }
    grid.SetCol(grid.Col() + 1);
    grid.SetText(HtmlToText(cell));
    AppEvents().ProcessPending();
    if (row.size() < q + 2) {
      break;
    }
    row.erase(0, q);
  }
}

void ExtractHtmlTable(const std::string& html, Grid& grid, int n, const std::string& start_text) {
  if (html.empty()) {
    return;
  }
  size_t s = InStr(1, html, start_text);
  for (int skip = 1; skip < n; ++skip) {
    s = FindText(s + 1, html, "<TABLE");
    // Running out of tables while skipping means table n is not there; the
    // search must not wrap round to the top of the page.
    if (s == 0) {
      AppDialogs().Critical(kNoTableStartMessage);
      return;
    }
  }
  s = FindText(s + 1, html, "<TABLE");
  if (s == 0) {
    AppDialogs().Critical(kNoTableStartMessage);
    return;
  }
  const size_t e = FindText(s + 1, html, "</TABLE");
  if (e == 0) {
    AppDialogs().Critical(kNoTableEndMessage);
    return;
  }
  std::string table = html.substr(s - 1, e + 7 - s);

  const size_t a = FindText(1, table, "<SCRIPT");
  const size_t b = a > 0 ? FindText(a, table, "</SCRIPT>") : 0;
  if (a > 0 && b > a) {
    const size_t after = b + 9;  // first position after "</SCRIPT>"
    if (after <= table.size()) {
      table = table.substr(0, a - 1) + table.substr(after - 1);
    } else if (const size_t amp = InStr(1, table, "&&")) {
      table.replace(amp - 1, 2, "xx");
    }
  }

  const bool redraw = grid.Redraw();
  grid.SetRedraw(false);
  grid.SetRows(1);
  grid.SetCols(1);
  for (size_t r = FindText(1, table, "<TR"); r > 0; r = FindText(1, table, "<TR")) {
    size_t end = FindText(r, table, "</TR");
    if (end == 0) {
      const size_t next = FindText(r + 1, table, "<TR");
      end = next > r + 3 ? next - 3 : table.size();
    }
    std::string row = table.substr(r - 1, end + 4 - r);
    ParseTableRow(grid, row, "TD");
    if (table.size() < end + 2) {
      break;
    }
    table.erase(0, end);
  }
  for (int i = 0; i < grid.Rows(); ++i) {
    grid.SetTextMatrix(i, 0, "Row" + std::to_string(i));
  }
  for (int j = 0; j < grid.Cols(); ++j) {
    grid.SetTextMatrix(0, j, "Col" + std::to_string(j));
  }
  grid.SetRedraw(redraw);
  AppEvents().ProcessPending();
}

}  // namespace stratlyn
