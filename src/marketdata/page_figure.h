#pragma once
// Figures of fetched pages and feeds, read strictly: a dot decimal, groups of
// three digits set off by a comma or a blank (also the no-break and the
// narrow no-break space), an ASCII or Unicode minus, and a trailing "%" where
// the figure is a yield. Anything else ("12,50", "1.234,50", two numbers in
// one cell, "$12", "1e3") is not a figure. The typed-entry rules
// (util/numeric_entry) are for what the user types, never for fetched text.

#include <optional>
#include <string>
#include <string_view>

namespace stratlyn {

enum class FigureKind {
  kPlain,  // a price, a size: no "%"
  kYield,  // a yield in per cent: "2.35" or "2.35%" both read 2.35
};

// The figure `text` writes (blanks around it ignored), or nothing.
std::optional<double> ReadFetchedFigure(std::string_view text,
                                        FigureKind kind = FigureKind::kPlain);

// The least price a page can give: half the last of the five decimals a price
// is shown with. A price below it would show as 0.00000, which is no price.
inline constexpr double kLeastShownPrice = 0.000005;

// "The text "12,50" on PAGE is not a figure".
std::string NotAFigureMessage(const std::string& page, const std::string& text);

}  // namespace stratlyn
