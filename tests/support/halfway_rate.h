#pragma once
// The rate of a maturity of 0.75 years from the test series observed today:
// halfway between their 6-month (1.00 %) and 1-year (2.00 %) par yields,
// 1.50 %, written as the continuous rate 2 ln(1 + 0.0150 / 2) = 0.014944.
// The terms are counted in days from now, so half a year is 181 to 184 days
// less the hours already gone today, and the fourth decimal reads 0.0148 to
// 0.0150 depending on the day and the hour.

#include <gtest/gtest.h>

#include <charconv>
#include <cmath>
#include <string>

namespace stratlyn::testing {

// `text` is the rate with four decimals, `point` its decimal separator.
inline ::testing::AssertionResult IsHalfwayRate(const std::string& text, char point = '.') {
  if (text.size() != 6 || text.compare(0, 2, std::string("0") + point) != 0) {
    return ::testing::AssertionFailure() << '"' << text << "\" is not 0" << point << "dddd";
  }
  std::string dotted = text;
  dotted[1] = '.';
  double value = 0;
  const auto [end, ec] = std::from_chars(dotted.data(), dotted.data() + dotted.size(), value);
  if (ec != std::errc() || end != dotted.data() + dotted.size() ||
      std::fabs(value - 0.014944) > 1.5e-4) {
    return ::testing::AssertionFailure() << '"' << text << "\" is not halfway, 0.0149";
  }
  return ::testing::AssertionSuccess();
}

}  // namespace stratlyn::testing
