#pragma once
// Copy and paste between a Grid's selection and the plain-text clipboard
// (AppClipboard()), as tab-separated cells and carriage-return rows.

#include <string>

namespace stratlyn {

class Grid;

// Empties the clipboard and puts the grid's selection (Grid::Clip) on it.
// A failure goes to ErrorHandler; the clipboard keeps what the failed step left.
void CopyGridToClipboard(Grid& grid);

// Reads the clipboard's text, turns line feeds into blanks (ReplaceLineFeeds)
// and drops the digit-grouping separators (StripCommas; under a locale that
// writes decimals with a comma, its own grouping separator instead), then
// spreads it over the grid's selection (Grid::SetClip). A failure goes to
// ErrorHandler.
void PasteClipboardToGrid(Grid& grid);

// Every line feed becomes a blank, in place (the length stays).
void ReplaceLineFeeds(std::string& text);

// Removes every ",", in place.
void StripCommas(std::string& text);

}  // namespace stratlyn
