#include "marketdata/quote_page_figure.h"

#include <cctype>

#include "marketdata/html_extract.h"
#include "marketdata/quote_parser.h"
#include "util/dialogs.h"
#include "util/services.h"
#include "util/text.h"

namespace stratlyn {
namespace {

// True when the text of the cell around the 1-based position `pos` (a
// "Yield" in `html`) is a dividend-yield label: "Yield", "Div Yield",
// "Div. Yield", "Dividend Yield", each with or without "(%)" or "%".
bool DividendYieldLabel(const std::string& html, size_t pos) {
  const size_t open = html.rfind('>', pos - 1);
  const size_t close = html.find('<', pos - 1);
  const size_t from = open == std::string::npos ? 0 : open + 1;
  const size_t to = close == std::string::npos ? html.size() : close;
  std::string label;
  for (char c : HtmlToText("<x>" + html.substr(from, to - from) + "</x>")) {
    label += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  }
  label = Trim(label, kSpaceAndTab);
  for (const char* tail : {" (%)", "(%)", " %", "%", ":"}) {
    const std::string t = tail;
    if (label.size() > t.size() && label.compare(label.size() - t.size(), t.size(), t) == 0) {
      label = Trim(label.substr(0, label.size() - t.size()), kSpaceAndTab);
    }
  }
  return label == "yield" || label == "div yield" || label == "div. yield" ||
         label == "dividend yield";
}

}  // namespace

bool NoFigureShown(const std::string& cell) {
  const std::string t = Trim(cell, kSpaceAndTab);
  return t.empty() || t.compare(0, 3, "N/A") == 0 || t.find_first_not_of('-') == std::string::npos;
}

LabelFigure FigureOfLabel(const std::string& html, size_t label, const std::string& after,
                          FigureKind kind) {
  if (LabelInHeaderCell(html, label)) {
    const std::string below = CellTextBelow(html, label);
    if (const auto v = ReadFetchedFigure(below, kind)) {
      return {v, {}, Trim(below, kSpaceAndTab)};
    }
    return {std::nullopt, NoFigureShown(below) ? std::string() : Trim(below, kSpaceAndTab)};
  }
  const std::string first = FirstCellText(after);
  if (const auto v = ReadFetchedFigure(first, kind)) {
    return {v, {}, Trim(first, kSpaceAndTab)};
  }
  if (Trim(first, kSpaceAndTab).compare(0, 3, "N/A") == 0) {
    return {};
  }
  const std::string below = CellTextBelow(html, label);
  if (const auto v = ReadFetchedFigure(below, kind)) {
    return {v, {}, Trim(below, kSpaceAndTab)};
  }
  if (!NoFigureShown(first)) {
    return {std::nullopt, Trim(first, kSpaceAndTab)};
  }
  return {std::nullopt, NoFigureShown(below) ? std::string() : Trim(below, kSpaceAndTab)};
}

bool ReadDividendYield(const std::string& html, double& percent, const std::string& page) {
  const auto not_found = [] {
    AppDialogs().Show(kNoDividendMessage, MsgButtons::Ok, MsgIcon::None, kMessageTitle);
    return false;
  };
  // Only the ticker's quote page holds its dividend yield: a front page or
  // a rates page may well show another yield ("10-Yr Yield 4.18%").
  if (html.find(kLastSaleMarker) == std::string::npos) {
    return not_found();
  }
  const size_t eps = html.find("EPS");
  size_t y = html.find("Yield", eps == std::string::npos ? 0 : eps + 1);
  while (y != std::string::npos && !DividendYieldLabel(html, y + 1)) {
    y = html.find("Yield", y + 1);
  }
  if (y == std::string::npos) {
    return not_found();
  }
  // Nothing after the label (an empty cell, "N/A", the next label) is no
  // yield, not a yield of zero or a figure of another cell.
  const LabelFigure figure =
      FigureOfLabel(html, y + 1, html.substr(y + 1, 100), FigureKind::kYield);
  if (!figure.value && !figure.bad_text.empty()) {
    AppDialogs().Show(NotAFigureMessage(page, figure.bad_text), MsgButtons::Ok,
                      MsgIcon::Information, kMessageTitle);
    return false;
  }
  if (!figure.value || *figure.value < 0) {
    return not_found();
  }
  percent = *figure.value;
  return true;
}

}  // namespace stratlyn
