#include "strategy/leg_text.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cmath>
#include <sstream>
#include <vector>

#include "util/dates.h"
#include "util/format.h"
#include "util/grid.h"
#include "util/locale_info.h"
#include "util/numeric_entry.h"
#include "util/text.h"
#include "util/zel_error.h"

namespace stratlyn {

namespace {

std::string Lower(std::string_view text) {
  std::string out(text);
  std::transform(out.begin(), out.end(), out.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return out;
}

// European (false) or American (true); nothing for another word.
std::optional<bool> StyleByName(std::string_view name) {
  const std::string lower = Lower(name);
  if (lower == "european" || lower == "e" || lower == "eu") {
    return false;
  }
  if (lower == "american" || lower == "a" || lower == "am") {
    return true;
  }
  return std::nullopt;
}

}  // namespace

const char* LegKindName(LegKind kind) {
  switch (kind) {
    case LegKind::kCall:
      return "call";
    case LegKind::kPut:
      return "put";
    case LegKind::kUnderlying:
      break;
  }
  return "underlying";
}

std::optional<LegKind> LegKindByName(std::string_view name) {
  const std::string lower = Lower(name);
  if (lower == "call" || lower == "c") {
    return LegKind::kCall;
  }
  if (lower == "put" || lower == "p") {
    return LegKind::kPut;
  }
  if (lower == "underlying" || lower == "stock" || lower == "u" || lower == "s") {
    return LegKind::kUnderlying;
  }
  return std::nullopt;
}

std::optional<double> YearsOf(const std::string& text, const std::string& start,
                              bool dot_decimals) {
  const std::string t = Trim(text);
  std::optional<double> fraction;
  if (dot_decimals) {
    if (const auto v = ReadDotDecimal(t, DotDecimal::kWithExponent)) {
      return v;
    }
  } else if (const EntryReading v = ReadEntry(t, EntryKind::kNumber); v.value && !v.blank) {
    if (!IsBareFraction(v)) {
      return v.value;  // years
    }
    fraction = v.value;  // a bare fraction's slash may be a date's: years if not
  }
  if (!IsDateText(t)) {
    return fraction;  // "3/4" is three quarters of a year, as in the calculator
  }
  if (!IsDateText(start)) {
    return std::nullopt;
  }
  // A past date that reads as a later one with day and month swapped
  // ("12.10.2026" typed on 9 December 2026) is the date as typed: past, and
  // refused as such, not priced silently as 10 December.
  std::string end = t;
  const double years = YearsBetweenDates(start, end);
  if (end != t) {
    const auto from = ParseDateText(start);
    const auto to = ParseDateText(t);
    return from && to ? static_cast<double>(
                            (std::chrono::sys_days{*to} - std::chrono::sys_days{*from}).count()) /
                            365.0
                      : -1.0;
  }
  return years;
}

Leg ParseLegText(const std::string& text, const std::string& start) {
  std::istringstream in(text);
  std::vector<std::string> words;
  for (std::string w; in >> w;) {
    words.push_back(w);
  }
  const std::string where = "leg '" + text + "': ";
  if (words.size() < 2) {
    throw StrategyInputError(where + "write QUANTITY KIND STRIKE MATURITY, as in +1 call 50 0.25");
  }
  Leg leg;
  const auto quantity = ReadDotDecimal(words[0], DotDecimal::kWithExponent);
  if (!quantity) {
    throw StrategyInputError(where + "the quantity '" + words[0] + "' is not a number");
  }
  leg.quantity = *quantity;
  const auto kind = LegKindByName(words[1]);
  if (!kind) {
    throw StrategyInputError(where + "the kind '" + words[1] + "' is not call, put or underlying");
  }
  leg.kind = *kind;
  std::size_t next = 2;
  if (leg.kind != LegKind::kUnderlying) {
    if (words.size() < 4) {
      throw StrategyInputError(where + "an option leg needs a strike and a maturity");
    }
    const auto strike = ReadDotDecimal(words[2], DotDecimal::kWithExponent);
    if (!strike) {
      throw StrategyInputError(where + "the strike '" + words[2] + "' is not a number");
    }
    leg.strike = *strike;
    const auto years = YearsOf(words[3], start, true);
    if (!years) {
      throw StrategyInputError(where + "the maturity '" + words[3] +
                               "' is neither years nor a date");
    }
    leg.maturity = *years;
    next = 4;
    if (next < words.size()) {
      if (const auto style = StyleByName(words[next])) {
        leg.american = *style;
        ++next;
      }
    }
  }
  if (next < words.size()) {
    const auto price = ReadDotDecimal(words[next], DotDecimal::kWithExponent);
    if (!price) {
      throw StrategyInputError(where + "the price '" + words[next] + "' is not a number");
    }
    leg.price = *price;
    ++next;
  }
  if (next < words.size()) {
    throw StrategyInputError(where + "'" + words[next] + "' is one word too many");
  }
  return leg;
}

Position LegsFromGrid(const Grid& grid, const std::string& start) {
  Position legs;
  const int c0 = grid.FixedCols();
  for (int r = grid.FixedRows(); r < grid.Rows(); ++r) {
    const auto cell = [&](int col) {
      return col + c0 < grid.Cols() ? Trim(grid.TextMatrix(r, col + c0)) : std::string();
    };
    bool blank = true;
    for (int c = 0; c < kLegColumns; ++c) {
      blank = blank && cell(c).empty();
    }
    if (blank) {
      continue;
    }
    const std::string row = "Row " + std::to_string(r - grid.FixedRows() + 1) + ", ";
    const auto fail = [&](int col, const std::string& why) {
      std::string message = row;
      message += kLegColumnCaptions[col];
      message += ": ";
      message += why;
      throw StrategyInputError(message);
    };
    // Cells are read as every entry field is: a quantity or a price.
    const auto number = [&](int col, EntryKind kind) {
      const std::string text = cell(col);
      const EntryReading v = ReadEntry(text, kind);
      if (text.empty()) {
        fail(col, "a number is needed");
      }
      if (!v.value) {
        fail(col, "'" + text + "' " + v.problem);
      }
      return *v.value;
    };
    Leg leg;
    leg.quantity = number(0, EntryKind::kNumber);
    const auto kind = LegKindByName(cell(1));
    if (!kind) {
      fail(1, "write call, put or underlying");
    }
    leg.kind = *kind;
    if (leg.kind != LegKind::kUnderlying) {
      leg.strike = number(2, EntryKind::kPrice);
      const auto years = YearsOf(cell(3), start, false);
      if (!years) {
        fail(3, cell(3).empty() ? "years or a date are needed"
                                : "'" + cell(3) + "' is neither years nor a date");
      }
      leg.maturity = *years;
      const std::string style = cell(4);
      if (!style.empty()) {
        const auto american = StyleByName(style);
        if (!american) {
          fail(4, "write European or American");
        }
        leg.american = *american;
      }
    }
    // "N/A" (a quote sheet's cell with no trade) is no price paid of 0: the
    // leg is entered at the model's value, as with a blank cell.
    if (!cell(5).empty() && !ReadEntry(cell(5), EntryKind::kPrice).not_available) {
      leg.price = number(5, EntryKind::kPrice);
    }
    legs.push_back(leg);
  }
  return legs;
}

std::string ShortNumber(double value, char decimal_point) {
  std::string text = FormatNumber(value, "0.######", decimal_point);
  if (!text.empty() && text.back() == decimal_point) {
    text.pop_back();
  }
  return text;
}

void LegsToGrid(const Position& legs, Grid& grid) {
  const std::string& dp = CurrentEntryLocale().decimal_point;
  const char point = dp.size() == 1 ? dp[0] : '.';
  grid.SetRedraw(false);
  grid.SetRows(grid.FixedRows() + static_cast<int>(legs.size()));
  const int c0 = grid.FixedCols();
  for (std::size_t i = 0; i < legs.size(); ++i) {
    const Leg& leg = legs[i];
    const int r = grid.FixedRows() + static_cast<int>(i);
    const bool option = leg.kind != LegKind::kUnderlying;
    std::string quantity = ShortNumber(leg.quantity, point);
    if (leg.quantity > 0) {
      quantity.insert(0, 1, '+');
    }
    grid.SetTextMatrix(r, c0 + 0, quantity);
    grid.SetTextMatrix(r, c0 + 1, LegKindName(leg.kind));
    grid.SetTextMatrix(r, c0 + 2, option ? ShortNumber(leg.strike, point) : "");
    grid.SetTextMatrix(r, c0 + 3, option ? ShortNumber(leg.maturity, point) : "");
    grid.SetTextMatrix(r, c0 + 4, option ? (leg.american ? "American" : "European") : "");
    grid.SetTextMatrix(r, c0 + 5, leg.price ? ShortNumber(*leg.price, point) : "");
  }
  grid.SetRedraw(true);
}

}  // namespace stratlyn
