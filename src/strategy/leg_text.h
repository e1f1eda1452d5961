#pragma once
// Legs as text: the terminal tool's "+1 call 50 0.25" (numbers with a dot in
// every locale) and the panel's legs table (cells as the entry locale writes
// numbers), with their columns Qty (quantity), Kind, Strike, Maturity, Style, Price.

#include <array>
#include <optional>
#include <string>
#include <string_view>

#include "strategy/position.h"

namespace stratlyn {

class Grid;

// Columns of the legs table (after the fixed column of row numbers).
inline constexpr int kLegColumns = 6;
inline constexpr std::array<const char*, kLegColumns> kLegColumnCaptions = {
    "Qty", "Kind", "Strike", "Maturity", "Style", "Price"};

// "call", "put", "underlying".
const char* LegKindName(LegKind kind);
// call, put, underlying (or stock), in any case; nothing otherwise.
std::optional<LegKind> LegKindByName(std::string_view name);

// A maturity or a date: years as a number (with a dot when `dot_decimals`,
// else as the entry locale writes it), or a date text counted from `start` (a
// date text) with YearsBetweenDates. Nothing when the text is neither.
std::optional<double> YearsOf(const std::string& text, const std::string& start, bool dot_decimals);

// Reads "QTY KIND STRIKE MATURITY [european|american] [PRICE]", or
// "QTY underlying [PRICE]"; the maturity in years or as a date counted from
// `start`. StrategyInputError naming the word that is wrong.
Leg ParseLegText(const std::string& text, const std::string& start);

// The legs in rows FixedRows().. of a legs table; blank rows are skipped and
// a blank price means the model value. StrategyInputError "Row 2, Strike: ..."
// for a cell that cannot be read.
Position LegsFromGrid(const Grid& grid, const std::string& start);
// Writes the legs into the table (its size becomes one row per leg after the
// fixed row), numbers with the entry locale's decimal point.
void LegsToGrid(const Position& legs, Grid& grid);

// Shared text of a number for the tables and the terminal: up to six
// decimals, no trailing zeros.
std::string ShortNumber(double value, char decimal_point = '.');

}  // namespace stratlyn
