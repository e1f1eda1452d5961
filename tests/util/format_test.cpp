#include "util/format.h"

#include <gtest/gtest.h>

#include <limits>

namespace stratlyn {
namespace {

TEST(FormatNumber, FixedDecimalsRoundHalfAwayFromZero) {
  EXPECT_EQ(FormatNumber(3.127345, "#####0.000000"), "3.127345");
  EXPECT_EQ(FormatNumber(-0.5, "#####0.0000"), "-0.5000");
  EXPECT_EQ(FormatNumber(0.0, "#####0.0000"), "0.0000");
  EXPECT_EQ(FormatNumber(2.5, "0"), "3");
  EXPECT_EQ(FormatNumber(-2.5, "0"), "-3");
  EXPECT_EQ(FormatNumber(0.125, "0.00"), "0.13");  // exact binary tie
  EXPECT_EQ(FormatNumber(1.005, "0.00"), "1.01");  // 15-digit decimal form decides
  EXPECT_EQ(FormatNumber(9.99995, "#####0.0000"), "10.0000");
  EXPECT_EQ(FormatNumber(123456789.0, "#####0.00"), "123456789.00");  // no grouping
}

TEST(FormatNumber, OptionalDecimalsDropTrailingZeros) {
  EXPECT_EQ(FormatNumber(0.25, "#0.000##"), "0.250");
  EXPECT_EQ(FormatNumber(0.123456, "#0.000##"), "0.12346");
  EXPECT_EQ(FormatNumber(12.5, "######0.0##"), "12.5");
  EXPECT_EQ(FormatNumber(12.0, "######0.0##"), "12.0");
  EXPECT_EQ(FormatNumber(25.0, "##0.0"), "25.0");
  EXPECT_EQ(FormatNumber(0.5, "#######0.00######"), "0.50");
}

TEST(FormatNumber, TinyNegativesAndSeparator) {
  EXPECT_EQ(FormatNumber(-0.00001, "#####0.0000"), "0.0000");
  EXPECT_EQ(FormatNumber(-0.00005, "#####0.0000"), "-0.0001");
  EXPECT_EQ(FormatNumber(1.5, "#0.00", ','), "1,50");
  EXPECT_EQ(FormatNumber(1e-300, "0.000"), "0.000");
  EXPECT_EQ(FormatNumber(std::numeric_limits<double>::infinity(), "0.0"), "Infinity");
}

}  // namespace
}  // namespace stratlyn
