#pragma once
// Entry locales written out in full, so that the tests of entry parsing and
// dates do not depend on which locales this machine has.

#include "util/locale_info.h"

namespace stratlyn::testing {

// Dot decimal, comma groups, "$" before the amount, month first.
inline EntryLocale DotLocale() {
  EntryLocale l;
  l.decimal_point = ".";
  l.thousands_sep = ",";
  l.currency_symbol = "$";
  l.currency_before = true;
  l.date_format = "%m/%d/%Y";
  l.month_names = {"January", "February", "March",     "April",   "May",      "June",
                   "July",    "August",   "September", "October", "November", "December"};
  l.month_abbrevs = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                     "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
  return l;
}

// Comma decimal, dot groups, "€" after the amount, day first.
inline EntryLocale CommaLocale() {
  EntryLocale l;
  l.decimal_point = ",";
  l.thousands_sep = ".";
  l.currency_symbol = "\xE2\x82\xAC";
  l.currency_before = false;
  l.date_format = "%d.%m.%Y";
  l.month_names = {"Januar", "Februar", "M\xC3\xA4rz", "April",   "Mai",      "Juni",
                   "Juli",   "August",  "September",   "Oktober", "November", "Dezember"};
  l.month_abbrevs = {"Jan", "Feb", "M\xC3\xA4r", "Apr", "Mai", "Jun",
                     "Jul", "Aug", "Sep",        "Okt", "Nov", "Dez"};
  return l;
}

// Installs a locale for one test and returns to the environment's after.
struct ScopedEntryLocale {
  explicit ScopedEntryLocale(const EntryLocale& locale) { SetEntryLocale(locale); }
  ~ScopedEntryLocale() { ResetEntryLocale(); }
  ScopedEntryLocale(const ScopedEntryLocale&) = delete;
  ScopedEntryLocale& operator=(const ScopedEntryLocale&) = delete;
};

}  // namespace stratlyn::testing
