#pragma once
// Dates as the user writes them, the locale's day/month order, and the years
// between two dates. Date arithmetic is on std::chrono civil dates.

#include <chrono>
#include <optional>
#include <string>

namespace stratlyn {

// "mm/dd/yyyy" when the entry locale writes the month first, "dd/mm/yyyy"
// otherwise; empty until DetectDateFormat has run.
extern std::string DateFormat;
// Scratch text shared by the calculator panel's handlers; DetectDateFormat
// leaves its probe text (13 December 1999 in the short date form) here.
extern std::string EntryText;

inline constexpr const char* kMonthFirst = "mm/dd/yyyy";
inline constexpr const char* kDayFirst = "dd/mm/yyyy";

// Sets DateFormat from the entry locale's short date form.
void DetectDateFormat();

// Reads a date text with the entry locale's rules: day, month and year in the
// locale's order separated by "/", ".", "-" or blanks (a month above 12 in the
// month's place is read the other way round), ISO "2025-03-01", or with a
// month name ("1 March 2025", "Mar 1, 2025"). Two-digit years 00-29 are
// 2000-2029, 30-99 are 1930-1999. Nothing when the text is not a date.
std::optional<std::chrono::year_month_day> ParseDateText(const std::string& text);
inline bool IsDateText(const std::string& text) { return ParseDateText(text).has_value(); }

// The date in the entry locale's short date form, with a four-digit year.
std::string FormatShortDate(const std::chrono::year_month_day& date);

// The date as the calculator panel's Date field writes it: "mm/dd/yyyy" or
// "dd/mm/yyyy" as DateFormat says (detected first when it is still empty),
// or FormatShortDate where the entry locale could not read that back.
std::string FormatEntryDate(const std::chrono::year_month_day& date);

// Years from `start` to `end` as (end - start) days / 365, single precision.
// When that is negative and the end date is a numeric date whose day and month
// could each be either (both 12 or less, the year last), it may have been read
// the wrong way round: it is rebuilt with its day as the month and its month as
// the day, written back into `end` in the short date form, and the years are
// computed again (they may still be negative). Throws zelError 13 (type mismatch) when a text is
// not a date.
float YearsBetweenDates(const std::string& start, std::string& end);

}  // namespace stratlyn
