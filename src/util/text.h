#pragma once
// Small text helpers shared by every folder: trimming, splitting, and the one
// reader of a dot-decimal number as pages, feeds, files and command lines
// write it (never what the user types: that is util/numeric_entry).

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace stratlyn {

// The blank sets that callers trim. Which one a caller uses is part of what it
// accepts: a page's cell keeps a tab that a line of a file drops.
inline constexpr std::string_view kWhitespace = " \t\r\n";
inline constexpr std::string_view kSpaceAndTab = " \t";
inline constexpr std::string_view kSpace = " ";

// `text` without the characters of `blanks` at either end.
std::string Trim(std::string_view text, std::string_view blanks = kWhitespace);
std::string_view TrimView(std::string_view text, std::string_view blanks = kWhitespace);

// `text` with the letters a-z in upper case, whatever the locale (tickers,
// option symbols).
std::string UpperAscii(std::string_view text);

enum class EmptyParts { kKeep, kDrop };

// The parts of `text` between the separators: "a,,b" gives "a", "", "b"
// (kKeep; "" gives one empty part) or "a", "b" (kDrop; "" gives none).
std::vector<std::string> Split(std::string_view text, char separator,
                               EmptyParts empty = EmptyParts::kKeep);

enum class DotDecimal {
  kPlain,         // [+-] digits [. digits]  (".5" and "5." too)
  kWithExponent,  // the same, then an optional e or E, [+-], digits
};

// Whether `text` (nothing around it) has the form of a dot-decimal number,
// whatever its size.
bool IsDotDecimal(std::string_view text, DotDecimal form = DotDecimal::kPlain);

// The number `text` writes with a dot for the decimals, in every locale; nothing
// when it has another form (a comma decimal, "inf", "nan", hexadecimal, blanks
// around it) or lies beyond a double.
std::optional<double> ReadDotDecimal(std::string_view text, DotDecimal form = DotDecimal::kPlain);

}  // namespace stratlyn
