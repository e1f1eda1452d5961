// The one numeric test and the forgiving entry reader, under a dot-decimal
// and a comma-decimal locale.

#include "util/numeric_entry.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "support/fake_services.h"
#include "support/loopback_server.h"
#include "util/entry_locales.h"
#include "util/format.h"
#include "util/zel_error.h"

#if defined(__SANITIZE_ADDRESS__)
#include <sanitizer/lsan_interface.h>
#endif

namespace stratlyn {
namespace {

using testing::CommaLocale;
using testing::DotLocale;
using testing::FakeServices;
using testing::ScopedEntryLocale;

// Writes a dot-decimal example in the locale's form.
std::string InLocale(std::string text, const EntryLocale& loc) {
  for (size_t i = 0; (i = text.find('.', i)) != std::string::npos; i += loc.decimal_point.size()) {
    text.replace(i, 1, loc.decimal_point);
  }
  return text;
}

TEST(NumericValue, DotLocaleAcceptsOnlyNumbersAsTheLocaleWritesThem) {
  ScopedEntryLocale scope(DotLocale());
  EXPECT_EQ(NumericValue("12.5"), 12.5);
  EXPECT_EQ(NumericValue("  -3 "), -3.0);
  EXPECT_EQ(NumericValue("+.5"), 0.5);
  EXPECT_EQ(NumericValue("7."), 7.0);
  EXPECT_EQ(NumericValue("1,234,567.25"), 1234567.25);
  EXPECT_EQ(NumericValue("2.5E-2"), 0.025);
  EXPECT_EQ(NumericValue("(2.5)"), -2.5);
  EXPECT_EQ(NumericValue("$12.50"), 12.5);
  EXPECT_EQ(NumericValue("-$3"), -3.0);
  EXPECT_EQ(NumericValue("$-3"), -3.0);
  EXPECT_EQ(NumericValue("($1,000)"), -1000.0);
  for (const char* bad : {"",
                          "  ",
                          ".",
                          "-",
                          "abc",
                          "1,23",
                          "1234,567",
                          "1,2345",
                          "12.5.1",
                          "1e",
                          "1e+",
                          "(-2)",
                          "()",
                          "12.50 USD",
                          "12.50$",
                          "\xE2\x82\xAC"
                          "5",
                          "inf",
                          "nan",
                          "1e400",
                          "0x10",
                          "1 000",
                          "3/4",
                          "--1",
                          "1-"}) {
    EXPECT_FALSE(NumericValue(bad)) << '"' << bad << '"';
  }
}

TEST(NumericValue, CommaLocaleSwapsTheSeparatorsAndPutsTheCurrencyAfter) {
  ScopedEntryLocale scope(CommaLocale());
  EXPECT_EQ(NumericValue("12,5"), 12.5);
  EXPECT_EQ(NumericValue("1.234,5"), 1234.5);
  EXPECT_EQ(NumericValue("12,50 \xE2\x82\xAC"), 12.5);
  EXPECT_EQ(NumericValue("(12,50\xE2\x82\xAC)"), -12.5);
  for (const char* bad : {"12.5", "1,234.5", "$1", "\xE2\x82\xAC 12"}) {
    EXPECT_FALSE(NumericValue(bad)) << '"' << bad << '"';
  }
  EXPECT_EQ(VariantAsDouble("3,25"), 3.25);
  EXPECT_EQ(VariantAsDouble("3.25"), 0.0);
}

TEST(NumericValue, ASpaceGroupingLocaleTakesEverySpace) {
  EntryLocale fr = CommaLocale();
  fr.thousands_sep = "\xE2\x80\xAF";  // narrow no-break space
  ScopedEntryLocale scope(fr);
  EXPECT_EQ(NumericValue("1\xE2\x80\xAF"
                         "234,5"),
            1234.5);
  EXPECT_EQ(NumericValue("1 234 567"), 1234567.0);
  EXPECT_EQ(NumericValue("1\xC2\xA0"
                         "234,5 \xE2\x82\xAC"),
            1234.5);
  EXPECT_FALSE(NumericValue("1 23"));
  FakeServices fakes;
  std::string text = "1 234,5";
  float value = 0;
  EXPECT_FALSE(ParseNumericEntry(text, value));
  EXPECT_EQ(value, 1234.5f);
  EXPECT_EQ(text, "1234,5000");
}

struct EntryCase {
  const char* entry;  // dot-decimal; written in the locale's form
  double value;       // value afterwards (kUnchanged: left alone)
  const char* text;   // text afterwards, dot-decimal (a refused entry keeps its own)
  bool message;       // "Invalid Numeric Entry Encountered" shown
};
constexpr double kUnchanged = -777.0;

const EntryCase kEntryCases[] = {
    {"100", 100, "100.0000", false},
    {"0.25", 0.25, "0.2500", false},
    {"-3", -3, "-3.0000", false},
    {"N/A", 0, "0.0000", false},
    {"$12.50 USD", 12.5, "12.5000", false},
    {"(2.5)", -2.5, "-2.5000", false},
    {"( 2.5 )", -2.5, "-2.5000", false},
    {"3/4", 0.75, "0.7500", false},
    {"12/16", 0.75, "0.7500", false},
    {"2413/16", 24.8125, "24.8125", false},
    {"(1/2)", -0.5, "-0.5000", false},
    {"/8", 0.5, "0.5000", false},
    {"/12", 0.75, "0.7500", false},
    {"24 3/8", 24.375, "24.3750", false},  // a whole number and a fraction
    {"", 0, "0.0000", false},              // a blank field is 0
    {"   ", 0, "0.0000", false},
    // Refused: no digit, characters of no number, a second decimal
    // separator, a division by zero. The value stays; the text too.
    {"/8.5", kUnchanged, "/8.5", true},
    {"Last: 131.25", kUnchanged, "Last: 131.25", true},
    {"abc", kUnchanged, "abc", true},
    {".", kUnchanged, ".", true},
    {"1.2.3", kUnchanged, "1.2.3", true},
    {"1/0", kUnchanged, "1/0", true},
    {"21/0", kUnchanged, "21/0", true},
    {"121/0", kUnchanged, "121/0", true},
    {"/x", kUnchanged, "/x", true},
    {"x\xC2\xB7"
     "17.5",
     kUnchanged,
     "x\xC2\xB7"
     "17.5",
     true},
};

TEST(ParseNumericEntry, ReadsTheEntryFormsUnderBothLocales) {
  for (const EntryLocale& loc : {DotLocale(), CommaLocale()}) {
    ScopedEntryLocale scope(loc);
    for (const EntryCase& c : kEntryCases) {
      FakeServices fakes;
      std::string text = InLocale(c.entry, loc);
      float value = static_cast<float>(kUnchanged);
      const bool invalid = ParseNumericEntry(text, value);
      const std::string where =
          std::string("entry \"") + c.entry + "\" decimal " + loc.decimal_point;
      EXPECT_EQ(invalid, c.message) << where;
      EXPECT_FLOAT_EQ(value, static_cast<float>(c.value)) << where;
      EXPECT_EQ(text, InLocale(c.text, loc)) << where;
      ASSERT_EQ(fakes.dialogs.Count(), c.message ? 1u : 0u) << where;
      if (c.message) {
        EXPECT_EQ(fakes.dialogs.Last().text.rfind("Invalid Numeric Entry Encountered\n\n", 0), 0u);
        EXPECT_EQ(fakes.dialogs.Last().icon, MsgIcon::Critical);
        EXPECT_EQ(fakes.dialogs.Last().buttons, MsgButtons::Ok);
        EXPECT_EQ(fakes.dialogs.Last().title, "Quorvale");
      }
    }
  }
}

TEST(ParseNumericEntry, SinglePrecisionTargetRefusesWhatDoesNotFit) {
  ScopedEntryLocale scope(DotLocale());
  FakeServices fakes;
  std::string text = "1e39";
  float single = 5.0f;
  EXPECT_TRUE(ParseNumericEntry(text, single));
  EXPECT_EQ(single, 5.0f);
  EXPECT_EQ(fakes.dialogs.Count(), 1u);

  // Every typed figure is kept in single precision: so is one read wide.
  text = "1e39";
  double wide = 5.0;
  EXPECT_TRUE(ParseNumericEntry(text, wide));
  EXPECT_EQ(wide, 5.0);

  // A whole part too large for a float, through the fraction path.
  text = "99999999999999999999999999999999999999999/16";
  EXPECT_TRUE(ParseNumericEntry(text, single));
  EXPECT_EQ(single, 5.0f);
  // The stored single is what the text shows.
  text = "0.1";
  EXPECT_FALSE(ParseNumericEntry(text, single));
  EXPECT_EQ(single, 0.1f);
  EXPECT_EQ(text, "0.1000");
}

TEST(PageLocale, PageFiguresKeepTheDotUnderAnyUserLocale) {
  testing::FakeServices services;
  for (const EntryLocale& user : {testing::CommaLocale(), testing::DotLocale()}) {
    testing::ScopedEntryLocale scope(user);
    // The user's fields and the page's figures read each in their own way.
    EXPECT_EQ(NumericValue("0.125", PageLocale()), 0.125);
    EXPECT_EQ(NumericValue("1,234.5", PageLocale()), 1234.5);
  }
  EXPECT_EQ(services.dialogs.Count(), 0u);
  {
    testing::ScopedEntryLocale comma(testing::CommaLocale());
    EXPECT_EQ(NumericValue("0,125"), 0.125);  // the field, in the user's locale
    EXPECT_EQ(FormatEntryNumber(0.125, "#####0.00000"), "0,12500");
    EXPECT_EQ(FormatEntryNumber(-1234.5, "####0.0000"), "-1234,5000");
  }
  testing::ScopedEntryLocale dot(testing::DotLocale());
  EXPECT_EQ(FormatEntryNumber(0.125, "#####0.00000"), "0.12500");
}

TEST(TextToSingle, EmptyOrNonNumericIsZeroAndOverflowRaises) {
  ScopedEntryLocale scope(DotLocale());
  EXPECT_EQ(TextToSingle(""), 0.0f);
  EXPECT_EQ(TextToSingle("12 1/2"), 0.0f);
  EXPECT_EQ(TextToSingle(" 0.1 "), 0.1f);
  EXPECT_EQ(TextToSingle("(4)"), -4.0f);
  try {
    TextToSingle("1e39");
    ADD_FAILURE() << "no overflow";
  } catch (const zelError& e) {
    EXPECT_EQ(e.Number(), err::kOverflow);
  }
}

TEST(EntryLocale, ReadsTheCLibraryData) {
  const EntryLocale c = EntryLocale::FromName("C");
  EXPECT_EQ(c.decimal_point, ".");
  EXPECT_EQ(c.thousands_sep, "");
  EXPECT_EQ(c.date_format, "%m/%d/%y");
  EXPECT_EQ(c.month_names[2], "March");
  EXPECT_EQ(c.month_abbrevs[11], "Dec");
  // A locale this machine lacks gives the same data.
  const EntryLocale missing = EntryLocale::FromName("xx_NOWHERE.UTF-8");
  EXPECT_EQ(missing.decimal_point, ".");
  EXPECT_EQ(missing.date_format, c.date_format);
}

// glibc keeps a few bytes for good when it loads a locale from LOCPATH; the
// leak checker is told to look away while that happens.
struct IgnoreLocaleLoaderLeaks {
#if defined(__SANITIZE_ADDRESS__)
  IgnoreLocaleLoaderLeaks() { __lsan_disable(); }
  ~IgnoreLocaleLoaderLeaks() { __lsan_enable(); }
#endif
};

TEST(EntryLocale, ReadsACommaLocaleFromTheEnvironment) {
  // Compile de_DE into a private folder, so the test does not depend on the
  // locales this machine has generated.
  testing::ScratchDir dir;
  const std::string command =
      "localedef -i de_DE -f UTF-8 '" + dir.Path() + "/de_DE.UTF-8' >/dev/null 2>&1";
  if (std::system(command.c_str()) != 0) GTEST_SKIP() << "localedef or the de_DE source missing";
  testing::ScopedEnv locpath("LOCPATH", dir.Path());
  testing::ScopedEnv all("LC_ALL", "de_DE.UTF-8");

  const EntryLocale de = [] {
    [[maybe_unused]] IgnoreLocaleLoaderLeaks ignore;
    return EntryLocale::FromEnvironment();
  }();
  EXPECT_EQ(de.decimal_point, ",");
  EXPECT_EQ(de.thousands_sep, ".");
  EXPECT_EQ(de.currency_symbol, "\xE2\x82\xAC");
  EXPECT_FALSE(de.currency_before);
  EXPECT_EQ(de.date_format, "%d.%m.%Y");
  EXPECT_EQ(de.month_names[2], "M\xC3\xA4rz");

  ResetEntryLocale();  // the next use reads the environment
  {
    [[maybe_unused]] IgnoreLocaleLoaderLeaks ignore;
    CurrentEntryLocale();
  }
  FakeServices fakes;
  std::string text = "1.234,5 \xE2\x82\xAC";
  double value = 0;
  EXPECT_FALSE(ParseNumericEntry(text, value));
  EXPECT_EQ(value, 1234.5);
  EXPECT_EQ(text, "1234,5000");
  ResetEntryLocale();
}

}  // namespace
}  // namespace stratlyn
