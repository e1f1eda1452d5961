#pragma once
// DotLocale: the default entry locale (a decimal point) for the lifetime of
// one test, whatever LC_ALL says; the locale of the environment comes back
// afterwards.

#include "util/locale_info.h"

namespace stratlyn::testing {

struct DotLocale {
  DotLocale() { SetEntryLocale(EntryLocale{}); }
  ~DotLocale() { ResetEntryLocale(); }
  DotLocale(const DotLocale&) = delete;
  DotLocale& operator=(const DotLocale&) = delete;
};

}  // namespace stratlyn::testing
