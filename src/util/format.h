#pragma once
// Number formatting with the classic digit patterns ("#####0.000000",
// "#0.000##", "##0.0", ...).

#include <string>
#include <string_view>

namespace stratlyn {

// Formats `value` with a digit pattern: the '0's after the point are decimals
// always written, the '#'s after them decimals written only when not zero; before
// the point at least as many digits as it has '0's (at least one), never a
// thousands separator. Rounds half away from zero on the value's 15-digit
// decimal form, as the classic formatter does (2.5 -> "3", 0.125 -> "0.13").
// A leading minus for negatives, except where every written digit is zero.
// Non-finite values give "NaN", "Infinity" or "-Infinity".
// `decimal_point` is written for the point (the locale's separator).
std::string FormatNumber(double value, std::string_view pattern, char decimal_point = '.');

// FormatNumber with the decimal separator of the user's locale
// (CurrentEntryLocale()), so that an entry field reads the text back: page
// figures written into the panel's fields go through this.
std::string FormatEntryNumber(double value, std::string_view pattern);

// The pattern of the option value and Greeks on screen.
inline constexpr std::string_view kValueFormat = "#####0.000000";
// Clipboard copies.
inline constexpr std::string_view kCopyFormat = "#####0.00000";
// Normalised entries.
inline constexpr std::string_view kEntryFormat = "#####0.0000";
// Mouse read-outs on plots.
inline constexpr std::string_view kReadoutFormat = "######0.0##";

}  // namespace stratlyn
