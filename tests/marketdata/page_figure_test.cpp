// The strict reader of fetched figures, against the forms pages write and
// the typed-entry forms it must refuse.

#include "marketdata/page_figure.h"

#include <gtest/gtest.h>

#include <charconv>
#include <random>
#include <string>

namespace stratlyn {
namespace {

TEST(ReadFetchedFigure, ThePageFormsReadTheirValue) {
  EXPECT_EQ(ReadFetchedFigure("187.44"), 187.44);
  EXPECT_EQ(ReadFetchedFigure("  0.125 "), 0.125);
  EXPECT_EQ(ReadFetchedFigure(".5"), 0.5);
  EXPECT_EQ(ReadFetchedFigure("+3"), 3.0);
  EXPECT_EQ(ReadFetchedFigure("1,234.50"), 1234.5);
  EXPECT_EQ(ReadFetchedFigure("1 234.50"), 1234.5);
  EXPECT_EQ(ReadFetchedFigure("12,345,678"), 12345678.0);
  EXPECT_EQ(ReadFetchedFigure("1\xC2\xA0"
                              "234.5"),
            1234.5);  // no-break space
  EXPECT_EQ(ReadFetchedFigure("1\xE2\x80\xAF"
                              "234.5"),
            1234.5);  // narrow no-break space
  EXPECT_EQ(ReadFetchedFigure("\xC2\xA0"
                              "7.25\xC2\xA0"),
            7.25);
  EXPECT_EQ(ReadFetchedFigure("-0.50"), -0.5);
  EXPECT_EQ(ReadFetchedFigure("\xE2\x88\x92"
                              "0.50"),
            -0.5);  // the Unicode minus
  EXPECT_EQ(ReadFetchedFigure("2.35%", FigureKind::kYield), 2.35);
  EXPECT_EQ(ReadFetchedFigure("2.35 %", FigureKind::kYield), 2.35);
  EXPECT_EQ(ReadFetchedFigure("2.35", FigureKind::kYield), 2.35);
}

TEST(ReadFetchedFigure, TypedEntryFormsAndRunTogetherCellsAreNoFigure) {
  for (const char* text : {"",
                           " ",
                           "-",
                           ".",
                           "12,50",
                           "1.234,50",
                           "1,2345",
                           "1,23",
                           "1234,567",
                           "1 2",
                           "1  234",
                           "1, 234",
                           "1,234 567",
                           "1.5 2.5",
                           "12 3/8",
                           "2413/16",
                           "$12.50",
                           "12.50 USD",
                           "1e3",
                           "0x10",
                           "inf",
                           "nan",
                           "N/A",
                           "12.",
                           "--1",
                           "(2.5)",
                           "12\xC2\xB7"
                           "42.75",
                           "2.35% P/E",
                           "2,35%"}) {
    EXPECT_EQ(ReadFetchedFigure(text, FigureKind::kYield), std::nullopt) << text;
  }
  // A per cent sign belongs to yields only.
  EXPECT_EQ(ReadFetchedFigure("2.35%"), std::nullopt);
  EXPECT_EQ(NotAFigureMessage("http://127.0.0.1/q", "12,50"),
            "The text \"12,50\" on http://127.0.0.1/q is not a figure");
}

// Any number written with comma groups, blank groups or none, with either
// minus, reads back to the number itself.
TEST(ReadFetchedFigure, GroupedWritingsReadBackExactly) {
  std::mt19937_64 gen(22);
  std::uniform_int_distribution<long long> whole(0, 999'999'999'999LL);
  std::uniform_int_distribution<int> cents(0, 99);
  const char* separators[] = {",", " ", "\xC2\xA0", "\xE2\x80\xAF"};
  for (int i = 0; i < 5000; ++i) {
    const long long w = whole(gen) >> (gen() % 40);
    const int c = cents(gen);
    const std::string plain = std::to_string(w);
    std::string grouped;
    const std::string sep = separators[gen() % 4];
    for (size_t k = 0; k < plain.size(); ++k) {
      if (k > 0 && (plain.size() - k) % 3 == 0) grouped += sep;
      grouped += plain[k];
    }
    const std::string frac = (c < 10 ? ".0" : ".") + std::to_string(c);
    // The reference reads the plain text in the C++ way, locale-free.
    const std::string text = plain + frac;
    double expected = 0;
    std::from_chars(text.data(), text.data() + text.size(), expected);
    const bool negative = gen() % 2 == 0;
    const std::string minus = gen() % 2 ? "-" : "\xE2\x88\x92";
    for (const std::string& body : {plain + frac, grouped + frac}) {
      const auto v = ReadFetchedFigure((negative ? minus : std::string()) + body);
      ASSERT_TRUE(v.has_value()) << body;
      EXPECT_EQ(*v, negative ? -expected : expected) << body;
    }
    // A decimal comma in place of the dot never reads.
    EXPECT_EQ(ReadFetchedFigure(plain + "," + (c < 10 ? "0" : "") + std::to_string(c)),
              std::nullopt);
  }
}

}  // namespace
}  // namespace stratlyn
