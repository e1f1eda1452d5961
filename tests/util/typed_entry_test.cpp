// The reader of typed numbers: a table of texts, each with the value a person
// typing it means (or its refusal and why), under the C locale and under
// de_DE.UTF-8; then generated texts read as meant or refused.

#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <cstdio>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include "support/fake_services.h"
#include "support/normalised_number.h"
#include "util/entry_locales.h"
#include "util/numeric_entry.h"

namespace stratlyn {
namespace {

using K = EntryKind;
namespace ep = entry_problem;

constexpr double kRefused = std::numeric_limits<double>::quiet_NaN();

struct Case {
  const char* text;
  K kind;
  double meant;                   // kRefused: the text is refused
  const char* problem = nullptr;  // why, when refused
};

// Texts that mean the same under both locales: no dot or comma in them.
const std::vector<Case> kEitherLocale = {
    {"0", K::kPrice, 0},
    {"100", K::kPrice, 100},
    {"  -3 ", K::kPrice, -3},
    {"+1", K::kPrice, 1},
    {"0012", K::kPrice, 12},
    {"\t42\n", K::kPrice, 42},
    {"\xE2\x88\x92"
     "3",
     K::kPrice, -3},  // the typographic minus
    {"1e3", K::kPrice, 1000},
    {"1e-5", K::kRate, 1e-5},
    {"(25)", K::kPrice, -25},
    {"$12", K::kPrice, 12},
    {"-$3", K::kPrice, -3},
    {"$-3", K::kPrice, -3},
    {"$ 12", K::kPrice, 12},
    {"12 USD", K::kPrice, 12},
    {"\xE2\x82\xAC"
     "5",
     K::kPrice, 5},
    {"100 shares", K::kNumber, 100},
    {"N/A", K::kPrice, 0},
    {"", K::kPrice, 0},
    {"   ", K::kPrice, 0},
    {"3/4", K::kPrice, 0.75},
    {"12/16", K::kPrice, 0.75},
    {"2413/16", K::kPrice, 24.8125},
    {"24 13/16", K::kPrice, 24.8125},
    {"24 3/8", K::kPrice, 24.375},
    {"/8", K::kPrice, 0.5},
    {"/12", K::kPrice, 0.75},
    {"(1/2)", K::kPrice, -0.5},
    {"-1/4", K::kPrice, -0.25},
    {"100/3", K::kPrice, 100.0 / 3.0},
    {"1 1/2", K::kNumber, 1.5},
    {"5%", K::kRate, 0.05},
    {"5 %", K::kRate, 0.05},
    {"40%", K::kVolatility, 0.40},
    {"5", K::kRate, 5},
    {"-5", K::kRate, -5},
    {"500%", K::kVolatility, 5},
    // Refused, with the reason.
    {"abc", K::kRate, kRefused, ep::kNoDigit},
    {".", K::kPrice, kRefused, ep::kNoDigit},
    {"-", K::kPrice, kRefused, ep::kNoDigit},
    {"inf", K::kPrice, kRefused, ep::kNoDigit},
    {"x1y", K::kPrice, kRefused, ep::kStray},
    {"12abc", K::kPrice, kRefused, ep::kStray},
    {"0x10", K::kPrice, kRefused, ep::kStray},
    {"1e", K::kPrice, kRefused, ep::kStray},
    {"(-2)", K::kPrice, kRefused, ep::kStray},
    {"--1", K::kPrice, kRefused, ep::kStray},
    {"1-", K::kPrice, kRefused, ep::kStray},
    {"(5", K::kPrice, kRefused, ep::kStray},
    {"12 34", K::kPrice, kRefused, ep::kStray},
    {"3/4/2025", K::kNumber, kRefused, ep::kStray},
    {"/x", K::kPrice, kRefused, ep::kNoDigit},
    {"N/A5", K::kPrice, kRefused, ep::kStray},
    {"1e400", K::kPrice, kRefused, ep::kOutOfRange},
    {"2e309", K::kPrice, kRefused, ep::kOutOfRange},
    {"1e39", K::kPrice, kRefused, ep::kOutOfRange},
    {"1e-50", K::kRate, kRefused, ep::kOutOfRange},
    {"1e-45", K::kRate, kRefused, ep::kOutOfRange},  // a single would hold 1.4e-45
    {"1200/16", K::kPrice, 75},                      // no quote: 12 00/16 is 12
    {"1/0", K::kPrice, kRefused, ep::kZeroDenominator},
    {"121/0", K::kPrice, kRefused, ep::kZeroDenominator},
    {"5%", K::kPrice, kRefused, ep::kPercentNotTaken},
    {"5%", K::kNumber, kRefused, ep::kPercentNotTaken},
    {"40", K::kVolatility, kRefused, ep::kAboveFive},
    {"6", K::kRate, kRefused, ep::kAboveFive},
    {"-6", K::kRate, kRefused, ep::kAboveFive},
    {"600%", K::kRate, kRefused, ep::kAboveFive},
    {"-20%", K::kVolatility, kRefused, ep::kNegativeVolatility},
    // Units that say what is counted are taken; words that scale the number
    // are refused, never read as the bare number.
    {"12 usd", K::kPrice, 12},
    {"12 EUR", K::kPrice, 12},
    {"12 USD/share", K::kPrice, 12},
    {"3 years", K::kNumber, 3},
    {"4 percent", K::kRate, kRefused, ep::kUnknownWord},
    {"3 pct", K::kVolatility, kRefused, ep::kUnknownWord},
    {"3 bp", K::kRate, kRefused, ep::kUnknownWord},
    {"25 bps", K::kRate, kRefused, ep::kUnknownWord},
    {"25 cents", K::kPrice, kRefused, ep::kUnknownWord},
    {"2 million", K::kPrice, kRefused, ep::kUnknownWord},
    {"2 Mio", K::kPrice, kRefused, ep::kUnknownWord},
    {"5 k", K::kPrice, kRefused, ep::kUnknownWord},
    {"6 months", K::kNumber, kRefused, ep::kUnknownWord},
    {"90 days", K::kNumber, kRefused, ep::kUnknownWord},
    {"12 USD/month", K::kPrice, kRefused, ep::kUnknownWord},
    {"12 USD x", K::kPrice, kRefused, ep::kUnknownWord},
    // Three letters are a currency only as an ISO code: a maturity of
    // "45 DTE" (days to expiry) or "3 mon" is no 45 or 3 years.
    {"45 DTE", K::kNumber, kRefused, ep::kUnknownWord},
    {"3 mon", K::kNumber, kRefused, ep::kUnknownWord},
    {"1.5 trn", K::kPrice, kRefused, ep::kUnknownWord},
    {"5 pts", K::kPrice, kRefused, ep::kUnknownWord},
    {"5 all", K::kPrice, kRefused, ep::kUnknownWord},
    {"12 CHF", K::kPrice, 12},
    {"12 jpy", K::kPrice, 12},
    {"12 TRY", K::kPrice, 12},
};

// Texts with a dot or a comma, each with what it means in the C locale.
const std::vector<Case> kCLocale = {
    {"12.5", K::kPrice, 12.5},
    {"+.5", K::kPrice, 0.5},
    {"7.", K::kPrice, 7},
    {"0.25", K::kVolatility, 0.25},
    {"0.05", K::kRate, 0.05},
    {"1,234,567.25", K::kPrice, 1234567.25},
    {"1,000", K::kPrice, 1000},  // a comma that groups, as the locale writes it
    {"1.000", K::kPrice, 1},
    {"0,05", K::kRate, 0.05},  // a comma that cannot group is a decimal comma
    {"1,5", K::kPrice, 1.5},
    {"12,3456", K::kPrice, 12.3456},
    {"1.234,5", K::kPrice, 1234.5},
    {"2.5E-2", K::kRate, 0.025},
    {"1.5e+2", K::kPrice, 150},
    {"(2.5)", K::kPrice, -2.5},
    {"($1,000)", K::kPrice, -1000},
    {"$12.50", K::kPrice, 12.5},
    {"$12.50 USD", K::kPrice, 12.5},
    {"12.50$", K::kPrice, 12.5},
    {"0.25 p.a.", K::kRate, 0.25},
    {"-0.5%", K::kRate, -0.005},
    {"2.5%", K::kVolatility, 0.025},
    {"0.0000001", K::kRate, 1e-7},
    {"1.2.3", K::kPrice, kRefused, ep::kSecondDecimal},
    {"12.5.1", K::kPrice, kRefused, ep::kSecondDecimal},
    {"1..2", K::kPrice, kRefused, ep::kSecondDecimal},
    {"1,23,456", K::kPrice, kRefused, ep::kGroups},
    {"1.2,3.4", K::kPrice, kRefused, ep::kSecondDecimal},
};

// The same kind of texts under de_DE: a comma decimal, dots grouping.
const std::vector<Case> kGermanLocale = {
    {"12,5", K::kPrice, 12.5},
    {"0,25", K::kVolatility, 0.25},
    {"0,05", K::kRate, 0.05},
    {"0.05", K::kRate, 0.05},  // a dot that cannot group is a decimal dot
    {"0.3", K::kVolatility, 0.3},
    {"1.5", K::kPrice, 1.5},
    {"12.3456", K::kPrice, 12.3456},
    {"1.000", K::kPrice, 1000},  // a dot that groups, as the locale writes it
    {"1,000", K::kPrice, 1},
    {"1.000,5", K::kPrice, 1000.5},
    {"1.234.567,89", K::kPrice, 1234567.89},
    {"1,234,567.89", K::kPrice, 1234567.89},
    {"1.000.000", K::kPrice, 1e6},
    {"12,50 \xE2\x82\xAC", K::kPrice, 12.5},
    {"12,50\xE2\x82\xAC", K::kPrice, 12.5},
    {"1,5e2", K::kPrice, 150},
    {"(2,5)", K::kPrice, -2.5},
    {"2,5%", K::kVolatility, 0.025},
    {"0,25 p.a.", K::kRate, 0.25},
    {",5", K::kPrice, 0.5},
    {"1,2,3", K::kPrice, kRefused, ep::kSecondDecimal},
    {"1.2.3", K::kPrice, kRefused, ep::kGroups},
    {"1,,2", K::kPrice, kRefused, ep::kSecondDecimal},
};

EntryLocale German() {
  EntryLocale de = EntryLocale::FromName("de_DE.UTF-8");
  // A machine without the locale's data still tests its conventions.
  return de.decimal_point == "," ? de : testing::CommaLocale();
}

void CheckTable(const EntryLocale& loc, const std::vector<Case>& cases, const char* name) {
  for (const Case& c : cases) {
    const EntryReading r = ReadEntry(c.text, c.kind, loc);
    const std::string where = std::string(name) + " \"" + c.text + "\"";
    if (std::isnan(c.meant)) {
      EXPECT_FALSE(r.value) << where << " read as " << r.value.value_or(0);
      EXPECT_EQ(r.problem, c.problem) << where;
      continue;
    }
    ASSERT_TRUE(r.value) << where << ": " << r.problem;
    // The value meant, to the last bit a double of the typed digits has.
    EXPECT_DOUBLE_EQ(*r.value, c.meant) << where;
  }
}

TEST(ReadEntry, TableUnderTheCLocale) {
  const EntryLocale c = EntryLocale::FromName("C");
  ASSERT_EQ(c.decimal_point, ".");
  ASSERT_GE(kEitherLocale.size() + kCLocale.size(), 60u);
  CheckTable(c, kEitherLocale, "C");
  CheckTable(c, kCLocale, "C");
}

TEST(ReadEntry, TableUnderAGermanLocale) {
  const EntryLocale de = German();
  ASSERT_GE(kEitherLocale.size() + kGermanLocale.size(), 60u);
  CheckTable(de, kEitherLocale, "de");
  CheckTable(de, kGermanLocale, "de");
}

TEST(ParseNumericEntry, NamesTheFieldAndKeepsTheValueOfARefusedEntry) {
  testing::ScopedEntryLocale scope(EntryLocale::FromName("C"));
  testing::FakeServices fakes;
  float value = 7.0f;
  std::string text = "x1y";
  EXPECT_TRUE(ParseNumericEntry(text, value, "Underlying Price", K::kPrice));
  EXPECT_EQ(value, 7.0f);
  EXPECT_EQ(text, "x1y");
  ASSERT_EQ(fakes.dialogs.Count(), 1u);
  EXPECT_EQ(fakes.dialogs.Last().text,
            "Invalid Numeric Entry Encountered\n\nUnderlying Price: \"x1y\" has characters that "
            "are not part of a number.");
  EXPECT_EQ(fakes.dialogs.Last().icon, MsgIcon::Critical);
  EXPECT_EQ(fakes.dialogs.Last().title, "Quorvale");

  text = "40";
  EXPECT_TRUE(ParseNumericEntry(text, value, "Volatility", K::kVolatility));
  EXPECT_NE(fakes.dialogs.LastText().find("40 % as 0.40"), std::string::npos);

  // Read: the value as a single and the text in four decimals; blank is 0.
  text = "5%";
  EXPECT_FALSE(ParseNumericEntry(text, value, "Interest Rate", K::kRate));
  EXPECT_EQ(value, 0.05f);
  EXPECT_EQ(text, "0.0500");
  text = " ";
  EXPECT_FALSE(ParseNumericEntry(text, value, "Strike Price", K::kPrice));
  EXPECT_EQ(value, 0.0f);
  EXPECT_EQ(fakes.dialogs.Count(), 2u);
}

std::string DigitsOf(const std::string& s, bool stop_at_exponent) {
  std::string d;
  for (const char c : s) {
    if (stop_at_exponent && (c == 'e' || c == 'E')) break;
    if (c >= '0' && c <= '9') d.push_back(c);
  }
  return d;
}

// Thousands of texts built from the pieces people type, and mangled: each
// is read as the value of its own digits or refused, never anything else.
TEST(ReadEntry, GeneratedTextsReadAsMeantOrRefused) {
  std::mt19937 rng(20);
  const auto pick = [&](std::initializer_list<const char*> list) {
    std::uniform_int_distribution<size_t> d(0, list.size() - 1);
    return std::string(*(list.begin() + d(rng)));
  };
  const auto digits = [&](int lo, int hi) {
    std::uniform_int_distribution<int> n(lo, hi), digit(0, 9);
    std::string s;
    for (int i = n(rng); i > 0; --i) s.push_back(static_cast<char>('0' + digit(rng)));
    return s;
  };
  int accepted = 0, refused = 0;
  for (const EntryLocale& loc : {EntryLocale::FromName("C"), German()}) {
    const char dp = loc.decimal_point[0];
    for (int i = 0; i < 4000; ++i) {
      // A plain decimal the generator knows the value of.
      const std::string whole = digits(1, 7);
      const std::string frac = digits(0, 4);
      const std::string exp = (i % 5 == 0) ? digits(1, 2) : "";
      const bool negative = i % 3 == 0;
      std::string text =
          whole + (frac.empty() ? "" : std::string(1, dp) + frac) + (exp.empty() ? "" : "e-" + exp);
      const double truth = std::strtod(
          (whole + (frac.empty() ? "" : "." + frac) + (exp.empty() ? "" : "e-" + exp)).c_str(),
          nullptr);
      const std::string before = pick({"", "$", " "});
      text = before + (negative ? "-" : "") + text +
             (before == "$" ? pick({"", " USD", " "}) : pick({"", " USD", " ", "$"}));
      const K kind = pick({"p", "r"}) == "p" ? K::kPrice : K::kRate;
      const EntryReading r = ReadEntry(text, kind, loc);
      const double meant = negative ? -truth : truth;
      const bool representable =
          meant == 0 || (std::fabs(meant) <= FLT_MAX && std::fabs(meant) >= FLT_MIN);
      if (kind == K::kRate && std::fabs(meant) > 5) {
        EXPECT_FALSE(r.value) << text;
      } else if (representable) {
        ASSERT_TRUE(r.value) << text << ": " << r.problem;
        EXPECT_EQ(*r.value, meant) << text;
      }

      // The same text mangled: a character inserted, doubled or dropped.
      std::string mangled = text;
      std::uniform_int_distribution<size_t> at(0, mangled.size());
      switch (i % 4) {
        case 0:
          mangled.insert(at(rng), 1, pick({"x", "e", ".", ",", "/", "-", "(", "%", "a", "1"})[0]);
          break;
        case 1:
          if (!mangled.empty()) mangled.erase(at(rng) % mangled.size(), 1);
          break;
        case 2:
          mangled += pick({"e400", "/0", "x", ".5.5", "%"});
          break;
        default:
          mangled = pick({"(", "a", "N/A", "--", "1 "}) + mangled;
      }
      const EntryReading m = ReadEntry(mangled, kind, loc);
      if (!m.value) {
        ++refused;
        EXPECT_FALSE(m.problem.empty()) << mangled;
        continue;
      }
      ++accepted;
      // Accepted: finite, in the kind's range, the value of its own
      // normalised reading, which keeps every digit typed.
      EXPECT_TRUE(std::isfinite(*m.value)) << mangled;
      if (kind == K::kRate) {
        EXPECT_LE(std::fabs(*m.value), 5.0) << mangled;
      }
      EXPECT_EQ(m.value, testing::EvaluateNormalised(m.normalised))
          << mangled << " -> " << m.normalised;
      const bool quoted = m.normalised.find('/') != std::string::npos;
      if (!quoted && !m.blank && mangled != "N/A") {
        EXPECT_EQ(
            DigitsOf(m.normalised, true).find_first_not_of('0') == std::string::npos
                ? std::string()
                : DigitsOf(m.normalised, true)
                      .substr(DigitsOf(m.normalised, true).find_first_not_of('0')),
            DigitsOf(mangled, true).find_first_not_of('0') == std::string::npos
                ? std::string()
                : DigitsOf(mangled, true).substr(DigitsOf(mangled, true).find_first_not_of('0')))
            << mangled << " -> " << m.normalised;
      }
    }
  }
  // Both outcomes were exercised.
  EXPECT_GT(accepted, 1000);
  EXPECT_GT(refused, 1000);
}

}  // namespace
}  // namespace stratlyn
