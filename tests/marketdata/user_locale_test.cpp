// The suite runs as the window runs: the C library's locale is set from the
// environment before any test (QApplication does the same), so that readers
// relying on strtod or printf meet a comma decimal when the user has one.
// ctest runs the suite a second time with LC_ALL=de_DE.UTF-8.

#include <gtest/gtest.h>

#include <clocale>
#include <cstdlib>
#include <string>

#include "marketdata/page_figure.h"
#include "marketdata/quote_parser.h"
#include "marketdata/zel_bloomberg_data.h"
#include "util/locale_info.h"
#include "util/numeric_entry.h"
#include "util/text.h"

namespace stratlyn {
namespace {

const bool kLocaleSet = std::setlocale(LC_ALL, "") != nullptr;

// True when the environment asks for a comma-decimal locale.
bool CommaLocaleAsked() {
  const char* all = std::getenv("LC_ALL");
  return all != nullptr && std::string(all).rfind("de_DE", 0) == 0;
}

TEST(UserLocale, TheAskedLocaleIsInEffect) {
  if (!CommaLocaleAsked()) {
    EXPECT_EQ(CurrentEntryLocale().decimal_point, std::string(std::localeconv()->decimal_point));
    return;
  }
  // Without the locale generated (install-deps) this run would test nothing.
  ASSERT_TRUE(kLocaleSet) << "de_DE.UTF-8 is not generated on this machine";
  EXPECT_STREQ(std::localeconv()->decimal_point, ",");
  EXPECT_EQ(CurrentEntryLocale().decimal_point, ",");
  EXPECT_EQ(CurrentEntryLocale().thousands_sep, ".");
}

TEST(UserLocale, FetchedFiguresReadWithADotInAnyLocale) {
  double v = 0;
  ASSERT_TRUE(ReadPlainNumber("0.17", v));
  EXPECT_DOUBLE_EQ(v, 0.17);
  ASSERT_TRUE(ReadPlainNumber("4.125", v));
  EXPECT_DOUBLE_EQ(v, 4.125);
  EXPECT_FALSE(ReadPlainNumber("0,17", v));
  EXPECT_DOUBLE_EQ(LeadingValue("130.50 Call"), 130.5);

  EXPECT_EQ(ReadFetchedFigure("123.45"), 123.45);
  EXPECT_EQ(ReadFetchedFigure("0.125"), 0.125);
  EXPECT_EQ(ReadFetchedFigure("1,234.50"), 1234.5);
  EXPECT_EQ(ReadFetchedFigure("2.35%", FigureKind::kYield), 2.35);
  EXPECT_EQ(ReadFetchedFigure("12,50"), std::nullopt);
  EXPECT_EQ(ReadDotDecimal("123.45"), 123.45);
  EXPECT_EQ(ReadDotDecimal("1.5e3", DotDecimal::kWithExponent), 1500.0);
  EXPECT_EQ(ReadDotDecimal("12,50"), std::nullopt);
}

}  // namespace
}  // namespace stratlyn
