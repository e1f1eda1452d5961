#include "util/text.h"

#include <gtest/gtest.h>

#include <clocale>
#include <cmath>
#include <cstdio>
#include <random>
#include <string>
#include <vector>

namespace stratlyn {
namespace {

TEST(Trim, CutsOnlyTheBlanksOfItsSetAtEitherEnd) {
  EXPECT_EQ(Trim(" \t a b \r\n"), "a b");
  EXPECT_EQ(Trim(" \t\r\n"), "");
  EXPECT_EQ(Trim(""), "");
  EXPECT_EQ(Trim("\ta b\t", kSpaceAndTab), "a b");
  EXPECT_EQ(Trim("\r\n a \r\n", kSpaceAndTab), "\r\n a \r\n");
  EXPECT_EQ(Trim("\t a \t", kSpace), "\t a \t");
  EXPECT_EQ(Trim("  a  ", kSpace), "a");
  EXPECT_EQ(TrimView("  x"), "x");
}

// Tickers and option symbols: only a-z change, in every locale (a locale's
// toupper may map bytes of a UTF-8 text on their own).
TEST(UpperAscii, RaisesOnlyTheAsciiLetters) {
  EXPECT_EQ(UpperAscii("brk.b _spx aapl261218c00205000"), "BRK.B _SPX AAPL261218C00205000");
  EXPECT_EQ(UpperAscii("\xC3\xA4z"), "\xC3\xA4Z");  // "äz": the ä's bytes stay
  EXPECT_EQ(UpperAscii(""), "");
}

TEST(Split, KeepsOrDropsTheEmptyParts) {
  EXPECT_EQ(Split("a,,b", ','), (std::vector<std::string>{"a", "", "b"}));
  EXPECT_EQ(Split("", ','), (std::vector<std::string>{""}));
  EXPECT_EQ(Split("a\n", '\n'), (std::vector<std::string>{"a", ""}));
  EXPECT_EQ(Split(" a  b ", ' ', EmptyParts::kDrop), (std::vector<std::string>{"a", "b"}));
  EXPECT_TRUE(Split("", ':', EmptyParts::kDrop).empty());
}

TEST(ReadDotDecimal, ReadsOnlyTheDotDecimalForm) {
  EXPECT_EQ(ReadDotDecimal("0.125"), 0.125);
  EXPECT_EQ(ReadDotDecimal("+4.5"), 4.5);
  EXPECT_EQ(ReadDotDecimal("-.5"), -0.5);
  EXPECT_EQ(ReadDotDecimal("5."), 5.0);
  EXPECT_EQ(ReadDotDecimal("1.5e3", DotDecimal::kWithExponent), 1500.0);
  EXPECT_EQ(ReadDotDecimal("2E-2", DotDecimal::kWithExponent), 0.02);
  for (const char* no : {"", ".", "-", "+", "+-5", "--5", "1,5", "1.2.3", " 1", "1 ", "1e3", "inf",
                         "nan", "0x10", "$1", "1%"}) {
    EXPECT_EQ(ReadDotDecimal(no), std::nullopt) << no;
  }
  for (const char* no : {"1e", "1e+", "e5", "1.5e3.2", "infinity", "1e400"}) {
    EXPECT_EQ(ReadDotDecimal(no, DotDecimal::kWithExponent), std::nullopt) << no;
  }
  // Well formed but beyond a double: the form is right, the value refused.
  EXPECT_TRUE(IsDotDecimal("1e400", DotDecimal::kWithExponent));
  EXPECT_FALSE(IsDotDecimal("1e400"));
}

// Every double written with printf's %.17g (in the C locale) reads back to
// itself, whatever locale the C library has been given.
TEST(ReadDotDecimal, ReadsBackWhatPrintfWritesInAnyLocale) {
  std::mt19937_64 rng(24);
  std::uniform_real_distribution<double> exponent(-30, 30);
  std::uniform_real_distribution<double> mantissa(-10, 10);
  const std::string previous = std::setlocale(LC_NUMERIC, nullptr);
  std::vector<std::string> texts;
  std::vector<double> values;
  for (int i = 0; i < 2000; ++i) {
    const double v = mantissa(rng) * std::pow(10.0, exponent(rng));
    char buf[64];
    std::snprintf(buf, sizeof buf, "%.17e", v);
    texts.emplace_back(buf);
    std::snprintf(buf, sizeof buf, "%.6f", v);
    texts.emplace_back(buf);
    values.push_back(v);
    values.push_back(std::strtod(buf, nullptr));
  }
  std::setlocale(LC_NUMERIC, "de_DE.UTF-8");  // where installed: strtod would stop at the dot
  for (size_t i = 0; i < texts.size(); ++i) {
    const DotDecimal form = i % 2 == 0 ? DotDecimal::kWithExponent : DotDecimal::kPlain;
    ASSERT_EQ(ReadDotDecimal(texts[i], form), values[i]) << texts[i];
  }
  std::setlocale(LC_NUMERIC, previous.c_str());
}

}  // namespace
}  // namespace stratlyn
