#pragma once
// Copy and paste between a Grid's selection and the plain-text clipboard
// (AppClipboard()), as tab-separated cells and carriage-return rows.

#include <string>

namespace stratlyn {

class Grid;

// Empties the clipboard and puts the grid's selection (Grid::Clip) on it,
// rows ending in carriage return and line feed as other programs expect
// (the grid's own clip text separates them with a bare carriage return).
// A failure goes to ErrorHandler; the clipboard keeps what the failed step left.
void CopyGridToClipboard(Grid& grid);

// Reads the clipboard's text; a carriage return and line feed, or a line
// feed alone, ends a row (the grid's carriage return); other line feeds
// become blanks (ReplaceLineFeeds); the digit-grouping separators go
// (StripGroupSeparators); then the text is spread over the grid's selection
// (Grid::SetClip). A failure goes to ErrorHandler.
void PasteClipboardToGrid(Grid& grid);

// Removes the digit-grouping separators of pasted numbers, in place, cell by
// cell (cells end at a tab or CR): a cell that ReadEntry reads as a plain
// number is written as that number in the locale's notation without groups
// ("1,234.5" is 1234.5; under a decimal comma "1.234,5" is 1234,5 and "1.5",
// whose dot groups nothing, 1,5); any other cell is left as it is.
void StripGroupSeparators(std::string& text);

// Row ends of other programs (CR LF or LF) become the grid's CR, in place.
void NormalizeRowEnds(std::string& text);

// Every line feed becomes a blank, in place (the length stays).
void ReplaceLineFeeds(std::string& text);

// Removes every ",", in place.
void StripCommas(std::string& text);

}  // namespace stratlyn
