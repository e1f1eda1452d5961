#pragma once
// Figures the exchange's HTML quote page writes beside a label ("Last Sale",
// "Div Yield"), in the cell after it or, for a column heading, below it.

#include <optional>
#include <string>

#include "marketdata/page_figure.h"

namespace stratlyn {

// The figure of the cell that holds a label at the 1-based `label` in
// `html`: `after` is the page text from the label on (the label's own cell
// first). A label heading a column (<th>) reads the cell below it; a label
// followed by a cell that is no figure (another label, an empty cell) reads
// the cell below too. No value when neither holds a figure; `bad_text` then
// holds the text that stood where the figure belongs, unless that was empty
// or "N/A" (the page shows no figure).
struct LabelFigure {
  std::optional<double> value;
  std::string bad_text;
  std::string text{};  // the cell the value was read from
};
// True when a cell shows no figure at all: empty, "N/A..." or dashes only.
bool NoFigureShown(const std::string& cell);

LabelFigure FigureOfLabel(const std::string& html, size_t label, const std::string& after,
                          FigureKind kind);

}  // namespace stratlyn
