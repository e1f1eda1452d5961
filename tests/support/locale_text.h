#pragma once
// Numbers as the user types and reads them in the current entry locale, for
// tests that run under any locale (LC_ALL=de_DE.UTF-8 among them):
//   panel.Text1(3)->setText(Q(InEntryLocale("0.75")));   // "0,75" under de_DE
//   EXPECT_EQ(Field(0), InEntryLocale("12.50000"));

#include <string>

#include "util/locale_info.h"

namespace stratlyn::testing {

// `dotted` (digits with '.' for the decimal point, no grouping) with the
// decimal separator of CurrentEntryLocale().
inline std::string InEntryLocale(const std::string& dotted) {
  const std::string& point = CurrentEntryLocale().decimal_point;
  std::string out;
  for (const char c : dotted) {
    if (c == '.') {
      out += point;
    } else {
      out += c;
    }
  }
  return out;
}

}  // namespace stratlyn::testing
