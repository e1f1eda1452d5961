#pragma once
// Numbers typed by the user: one "numeric" test for the whole program and the
// one reader of typed numbers (ReadEntry, behind every entry field). Fetched
// figures are read by marketdata/page_figure, plain dot decimals by util/text.
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

// What an entry field holds, for the rules that depend on it.
enum class EntryKind {
  kNumber,      // a plain number (a maturity in years, a width): no percent sign
  kPrice,       // a price or amount: no percent sign
  kRate,        // an interest rate or a yield: "5%" is 0.05; from -5 to 5
  kVolatility,  // a volatility: "40%" is 0.40; from 0 to 5
};

// One entry as read by ReadEntry.
struct EntryReading {
  std::optional<double> value;  // nothing when the text is refused
  bool blank = false;           // the text was empty or blanks (value 0)
  bool not_available = false;   // the text was "N/A" (value 0)
  std::string problem;          // why the text was refused ("has no digit")
  // The number as read, in C notation, for checking the reading itself:
  // "-1234.5e-2", a fraction "W+N/D" ("24+13/16"), "%" after a percentage.
  std::string normalised;
};

// The one reader of typed numbers. Takes, blanks trimmed:
// - a decimal in the locale's notation, with digit groups and an exponent
//   ("1,234.5", "2.5e-3"). A dot or a comma that cannot be the locale's group
//   separator (not a group of three behind it, "0.05", "1.5" under a comma
//   locale) is the decimal separator it must be; one that can ("1.000")
//   follows the locale;
// - a fraction: "3/4", "24 3/8", "/8" (sixteenths: 0.5), "2413/16" (24 13/16:
//   a whole part glued to a two-digit numerator under a power of two);
// - accounting parentheses for a negative ("(2.5)"), a currency sign before
//   or after ("$12.50", "12,50 €") and a unit after a blank ("12.50 USD",
//   "0.25 p.a.", "100 shares"; a word that scales the number, "million",
//   "bp", "percent", "months", is refused);
// - a percentage ("5%", "5 %") in a rate or volatility field only: 0.05;
// - "N/A": 0; an empty text: 0 and `blank`.
// Everything else is refused with the reason in `problem`: a text with no
// digit, characters that belong to no number ("x1y"), a second decimal
// separator, a number out of single precision ("1e400", "1e-50"), a division
// by zero, a rate or volatility above 5 (500 %) or a negative volatility.
EntryReading ReadEntry(const std::string& text, EntryKind kind);
EntryReading ReadEntry(const std::string& text, EntryKind kind, const EntryLocale& locale);

// True when `r` read a fraction with no whole part ("3/4", "/8", "-1/2"):
// a text that a field taking dates as well may hold as a date. A fraction
// with its whole part ("1 1/2", "2413/16") is no date's form.
bool IsBareFraction(const EntryReading& r);

// "Invalid Numeric Entry Encountered", the field's name, its text and why.
std::string InvalidEntryMessage(const std::string& field, const std::string& text,
                                const std::string& problem);

// Reads an entry field with ReadEntry. On success writes the number into
// `value` (0 for a blank field), rewrites `text` with four decimals in the
// locale's form ("12.5000") and returns false. A refused entry shows
// InvalidEntryMessage (critical, title "Quorvale") through AppDialogs(),
// leaves `value` and `text` unchanged and returns true: the caller stops its
// command. `field` is the name the user knows the field by.
bool ParseNumericEntry(std::string& text, float& value, const std::string& field, EntryKind kind);

// The same for a field of no particular name or kind (EntryKind::kNumber).
bool ParseNumericEntry(std::string& text, float& value);
bool ParseNumericEntry(std::string& text, double& value);

// The number when the text is numeric, else 0.
double VariantAsDouble(const std::string& text);
inline double VariantAsDouble(double value) { return value; }

// 0 when the text is empty or not numeric, else its single-precision value.
// Throws zelError 6 (overflow) for a number beyond single precision.
float TextToSingle(const std::string& text);

// The message shown for an entry that cannot be read (InvalidEntryMessage
// adds the field and the reason).
inline constexpr const char* kInvalidNumericEntry = "Invalid Numeric Entry Encountered";

// Why ReadEntry refused a text.
namespace entry_problem {
inline constexpr const char* kNoDigit = "has no digit";
inline constexpr const char* kStray = "has characters that are not part of a number";
inline constexpr const char* kSecondDecimal = "has a second decimal separator";
inline constexpr const char* kGroups = "has digit groups that are not groups of three";
inline constexpr const char* kOutOfRange = "is out of range";
inline constexpr const char* kZeroDenominator = "divides by zero";
inline constexpr const char* kUnknownWord =
    "has a word that is no currency or unit: type the number itself (1500000 for 1.5 million, "
    "0.02 or 2% for 2 percent or 200 bp)";
inline constexpr const char* kPercentNotTaken = "is a percentage, which this field does not take";
inline constexpr const char* kAboveFive =
    "is above 500 %: type a rate or volatility as a decimal fraction, 40 % as 0.40 (or as 40%)";
inline constexpr const char* kNegativeVolatility = "is negative: a volatility cannot be";
}  // namespace entry_problem

}  // namespace stratlyn
