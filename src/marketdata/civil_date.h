#pragma once
// Calendar dates of the yield-curve grid: reading the dates that series files
// and rate pages write, month and year arithmetic, and years from now.

#include <chrono>
#include <optional>
#include <string>

namespace stratlyn {

// Reads "YYYY-MM-DD", "YYYY-MM" (the first of the month) or "M/D/YYYY" and
// "M/D/YY" (month first, as the rate pages write; a two-digit year is taken
// in the hundred years that start 50 years before `today_year`). Blanks
// around the text are ignored. nullopt for anything else or an invalid date.
std::optional<std::chrono::year_month_day> ReadCivilDate(const std::string& text,
                                                         int today_year = 0);

// d plus n months; a day beyond the new month's end becomes its last day.
std::chrono::year_month_day AddMonths(std::chrono::year_month_day d, int n);

// "YYYY-MM-DD".
std::string FormatCivilDate(std::chrono::year_month_day d);

// Days since 30 December 1899 (the classic date serial).
double DateSerial(std::chrono::year_month_day d);

// Years of 365 days from `now` (local time) to midnight at the start of `d`.
double YearsFromNow(std::chrono::year_month_day d, std::chrono::system_clock::time_point now);

// The local calendar date of `now`.
std::chrono::year_month_day LocalDate(std::chrono::system_clock::time_point now);

}  // namespace stratlyn
