#pragma once
// Small helpers that zelDraw's line and pie files share: a checked element
// of a span and the labels' number text. Only zelDraw's own files include
// this.

#include <span>
#include <string>
#include <string_view>

#include "util/format.h"
#include "util/locale_info.h"
#include "util/zel_error.h"

namespace stratlyn::zel_draw {

// a[i], or zelError 9 (subscript out of range).
template <typename T>
const T& At(std::span<const T> a, int i) {
  if (i < 0 || static_cast<size_t>(i) >= a.size()) {
    throw zelError(err::kSubscript);
  }
  return a[static_cast<size_t>(i)];
}

// Labels write decimals with the locale's separator, as the entry fields do.
inline std::string Number(double value, std::string_view pattern) {
  const std::string& dp = CurrentEntryLocale().decimal_point;
  return FormatNumber(value, pattern, dp.size() == 1 ? dp[0] : '.');
}

}  // namespace stratlyn::zel_draw
