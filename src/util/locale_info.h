#pragma once
// The user's conventions for writing numbers and dates, taken once from the
// environment (LC_ALL, LC_NUMERIC / LC_MONETARY / LC_TIME, LANG) through the
// C library's locale data. Tests install their own with SetEntryLocale, so
// that nothing depends on the locale the suite runs under.

#include <array>
#include <string>

namespace stratlyn {

// The months' names in English, January first.
inline constexpr std::array<const char*, 12> kEnglishMonthNames = {
    "January", "February", "March",     "April",   "May",      "June",
    "July",    "August",   "September", "October", "November", "December"};

struct EntryLocale {
  std::string decimal_point = ".";       // RADIXCHAR
  std::string thousands_sep;             // THOUSEP ("" when the locale groups no digits)
  std::string currency_symbol;           // CRNCYSTR without its position mark ("" for none)
  bool currency_before = true;           // the symbol is written before the amount
  std::string date_format = "%m/%d/%y";  // D_FMT, the short date form (strftime codes)
  // Full and abbreviated month names (MON_1.., ABMON_1..); empty in the "C" data.
  std::array<std::string, 12> month_names;
  std::array<std::string, 12> month_abbrevs;

  // The data of a named locale ("de_DE.UTF-8"); the "C" data when the name is
  // unknown to this machine.
  static EntryLocale FromName(const std::string& name);
  // The data of the locale the environment names (numbers from LC_NUMERIC,
  // currency from LC_MONETARY, dates from LC_TIME, each overridden by LC_ALL).
  static EntryLocale FromEnvironment();
};

// The locale every entry parser and date helper uses: the environment's,
// read on first use, unless one was installed.
const EntryLocale& CurrentEntryLocale();
// Installs `locale` for all later calls (tests, or a changed environment).
void SetEntryLocale(const EntryLocale& locale);
// Forgets an installed locale; the environment is read again on next use.
void ResetEntryLocale();

// The conventions fetched pages, series files, feeds and command-line
// arguments are written in, whatever the user's locale: dot decimal, comma
// groups, "$" before the amount, month first, English month names.
const EntryLocale& PageLocale();

}  // namespace stratlyn
