#pragma once
// Numbers typed by the user or read from pages: one "numeric" test for the
// whole program, and the forgiving reader of entry fields.
//
// "Numeric" means: the whole text, blanks trimmed, is a number as the current
// entry locale writes it: an optional sign, digits with the locale's group
// separator (groups of three) and decimal separator, an optional exponent
// (e or E, signed digits), optionally wrapped in accounting parentheses for a
// negative, optionally with the locale's currency symbol where the locale puts
// it. Nothing else; the value must be finite.

#include <optional>
#include <string>

#include "util/locale_info.h"

namespace stratlyn {

// The value of a numeric text, or nothing when the text is not numeric.
std::optional<double> NumericValue(const std::string& text);
// The same in the conventions of `locale` (PageLocale() for fetched figures
// and command-line arguments).
std::optional<double> NumericValue(const std::string& text, const EntryLocale& locale);
inline bool IsNumeric(const std::string& text) { return NumericValue(text).has_value(); }

// Reads an entry field. On success writes the number into `value`, rewrites
// `text` with four decimals in the locale's form ("12.5000") and returns
// false. Accepts, besides numeric texts, "N/A" (0), fractions ("3/4",
// "2413/16" = 24 13/16, "/8" = 8/16), parentheses for negatives, stray
// letters and symbols around the digits, and ignores everything after the
// first blank ("24 3/8" reads 24). An empty text leaves `value` alone; a text
// without digits reads 0. When the entry cannot be read it shows "Invalid
// Numeric Entry Encountered" (critical, title "Quorvale") through AppDialogs(),
// leaves `value` unchanged and returns true: the caller stops its command.
// The float version also refuses a number beyond single precision that way.
bool ParseNumericEntry(std::string& text, float& value);
bool ParseNumericEntry(std::string& text, double& value);

// A figure of a fetched page, read by the rules of ParseNumericEntry in the
// page conventions (dot decimal, comma groups: "1,234.50", "$12.50 USD",
// "2.35%", "2413/16") whatever the user's locale. Nothing (and no message)
// when the page shows no figure: "N/A", no digit, an unreadable remainder,
// a fraction over 0, or a number beyond single precision.
std::optional<double> ReadPageFigure(const std::string& text);

// Keeps, after "N/A" handling (text becomes "0") and after the first middle
// dot, only digits and ". / - + " (and the locale's decimal separator).
// Returns true when nothing is left.
bool StripToNumericChars(std::string& text);

// The number when the text is numeric, else 0.
double VariantAsDouble(const std::string& text);
inline double VariantAsDouble(double value) { return value; }

// 0 when the text is empty or not numeric, else its single-precision value.
// Throws zelError 6 (overflow) for a number beyond single precision.
float TextToSingle(const std::string& text);

// The message shown for an entry that cannot be read.
inline constexpr const char* kInvalidNumericEntry = "Invalid Numeric Entry Encountered";

}  // namespace stratlyn
