// The calculator panel's commands without widgets: Calculate, Copy All,
// GetParameters, with scripted message boxes.

#include "calculator/bsop_panel.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <utility>
#include <vector>

#include "support/fake_services.h"
#include "util/dates.h"
#include "util/locale_info.h"

namespace stratlyn {
namespace {

// Black-Scholes-Merton with an accurate normal distribution, as a reference.
double Norm(double x) { return 0.5 * std::erfc(-x / std::sqrt(2.0)); }
double BsmValue(bool call, double s, double k, double r, double q, double sig, double t) {
  const double d1 = (std::log(s / k) + (r - q + sig * sig / 2) * t) / (sig * std::sqrt(t));
  const double d2 = d1 - sig * std::sqrt(t);
  return call ? s * std::exp(-q * t) * Norm(d1) - k * std::exp(-r * t) * Norm(d2)
              : k * std::exp(-r * t) * Norm(-d2) - s * std::exp(-q * t) * Norm(-d1);
}

// The number after the caption of a value label ("Value: 7.485236").
double LabelNumber(const std::string& label) {
  const auto colon = label.find(':');
  return std::stod(colon == std::string::npos ? label : label.substr(colon + 1));
}

// The lines of a copy, each ended by a line feed (none may be missing).
std::vector<std::string> SplitLines(const std::string& text) {
  std::vector<std::string> lines;
  std::string line;
  for (char c : text) {
    if (c == '\n') {
      lines.push_back(line);
      line.clear();
    } else {
      line += c;
    }
  }
  EXPECT_TRUE(line.empty()) << "the last line has no line feed: " << line;
  return lines;
}

bool StartsWith(const std::string& text, const std::string& prefix) {
  return text.rfind(prefix, 0) == 0;
}

class BsopPanelTest : public ::testing::Test {
 protected:
  void SetUp() override {
    EntryLocale locale;  // dot decimals, month-first dates
    locale.date_format = "%m/%d/%Y";
    SetEntryLocale(locale);
    panel.InitializeFields();
    panel.fields.txtDate = "01/15/2025";
  }
  void TearDown() override { ResetEntryLocale(); }

  testing::FakeServices fakes;
  BsopPanel panel;
};

TEST_F(BsopPanelTest, OpensWithTheStartTextsAndPricesTheEuropeanCall) {
  const std::array<std::string, 7> start = {"50", "0.25", "0.10", "1", "50", "0", "7"};
  EXPECT_EQ(panel.fields.Text1, start);
  EXPECT_EQ(DateFormat, kMonthFirst);
  panel.cmdCalculate_Click();
  EXPECT_EQ(fakes.dialogs.Count(), 0u);
  ASSERT_EQ(panel.fields.lblPrice.rfind("Value: ", 0), 0u) << panel.fields.lblPrice;
  EXPECT_NEAR(LabelNumber(panel.fields.lblPrice), BsmValue(true, 50, 50, 0.1, 0, 0.25, 1), 2e-4);
  EXPECT_NEAR(std::stod(panel.fields.lblDelta), Norm(0.525), 1e-4);
  EXPECT_GT(std::stod(panel.fields.lblGamma), 0.0);
  EXPECT_GT(std::stod(panel.fields.lblVega), 0.0);
  EXPECT_LT(std::stod(panel.fields.lblTheta), 0.0);
  // Six decimals on screen; the field texts themselves are left as typed.
  EXPECT_EQ(panel.fields.lblDelta.size() - panel.fields.lblDelta.find('.'), 7u);
  EXPECT_EQ(panel.fields.Text1[0], "50");
  EXPECT_EQ(fakes.events.busy_on, fakes.events.busy_off);
}

TEST_F(BsopPanelTest, BadEntriesStopWithOneMessageAndClearTheResults) {
  panel.cmdCalculate_Click();
  const BsopFields good = panel.fields;

  // Strike and volatility both zero: only the last failing name is reported.
  panel.fields.Text1[kStrikeField] = "0";
  panel.fields.Text1[kVolatilityField] = "0";
  panel.cmdCalculate_Click();
  ASSERT_EQ(fakes.dialogs.Count(), 1u);
  EXPECT_EQ(fakes.dialogs.Last().text, "The volatility must be positive");
  EXPECT_EQ(fakes.dialogs.Last().icon, MsgIcon::Critical);
  EXPECT_EQ(fakes.dialogs.Last().title, "Quorvale");
  // The figures of the inputs before are not left beside the refused ones.
  EXPECT_EQ(panel.fields.lblPrice, "Calculated Value");
  EXPECT_TRUE(panel.fields.lblDelta.empty());

  panel.fields.Text1 = good.Text1;
  panel.fields.Text1[kUnderlyingField] = "-5";
  panel.cmdCalculate_Click();
  EXPECT_EQ(fakes.dialogs.LastText(), "The underlying asset price must be positive");

  // An entry that cannot be read: its own message, nothing else.
  panel.fields.Text1 = good.Text1;
  panel.cmdCalculate_Click();
  ASSERT_FALSE(panel.fields.lblGamma.empty());
  panel.fields.Text1[kRateField] = "/x";
  panel.cmdCalculate_Click();
  EXPECT_EQ(fakes.dialogs.LastText(),
            "Invalid Numeric Entry Encountered\n\nInterest Rate: \"/x\" has no digit.");
  EXPECT_EQ(fakes.dialogs.Count(), 3u);
  EXPECT_TRUE(panel.fields.lblGamma.empty());
  EXPECT_EQ(panel.fields.lblPrice, "Calculated Value");
}

TEST_F(BsopPanelTest, ABlankFieldCountsAsZeroNotAsThePreviousValue) {
  panel.cmdCalculate_Click();
  panel.fields.Text1[kStrikeField] = "";
  panel.cmdCalculate_Click();
  EXPECT_EQ(fakes.dialogs.LastText(), "The strike price must be positive");
  EXPECT_EQ(panel.Strike(), 0.0f);

  // A blank yield is simply no dividend.
  panel.fields.Text1[kStrikeField] = "50";
  panel.fields.Text1[kDividendField] = "  ";
  panel.cmdCalculate_Click();
  EXPECT_EQ(fakes.dialogs.Count(), 1u);
  EXPECT_EQ(panel.DividendYield(), 0.0f);
}

TEST_F(BsopPanelTest, MaturityAsYearsOrAsADateFromTheDateField) {
  panel.fields.Text1[kMaturityField] = "0.5";
  panel.cmdCalculate_Click();
  EXPECT_FLOAT_EQ(panel.Maturity(), 0.5f);

  // 15 January to 16 July 2025: 182 days.
  panel.fields.Text1[kMaturityField] = "07/16/2025";
  panel.cmdCalculate_Click();
  EXPECT_NEAR(panel.Maturity(), 182.0 / 365.0, 1e-6);
  EXPECT_NEAR(LabelNumber(panel.fields.lblPrice),
              BsmValue(true, 50, 50, 0.1, 0, 0.25, 182.0 / 365.0), 2e-4);
  EXPECT_EQ(panel.fields.Text1[kMaturityField], "07/16/2025");

  // Years with a fraction: a whole part written apart is years, never read
  // as a date (1 1/26 is not 1 January 2026, nor 2 1/2 the year 2002); a
  // bare fraction no date has the form of is years too.
  for (const auto& [text, years] : std::vector<std::pair<std::string, double>>{
           {"1 1/2", 1.5}, {"2 3/28", 2 + 3.0 / 28}, {"1 1/26", 1 + 1.0 / 26}, {"3/4", 0.75}}) {
    panel.fields.Text1[kMaturityField] = text;
    const size_t shown = fakes.dialogs.Count();
    panel.cmdCalculate_Click();
    EXPECT_EQ(fakes.dialogs.Count(), shown) << text << ": " << fakes.dialogs.LastText();
    EXPECT_NEAR(panel.Maturity(), years, 1e-6) << text;
    EXPECT_NEAR(LabelNumber(panel.fields.lblPrice), BsmValue(true, 50, 50, 0.1, 0, 0.25, years),
                2e-4)
        << text;
  }

  // A past date that is a later one with day and month swapped (10 January
  // read as 1 October, 259 days on) is priced as read, and the field shows
  // the date it was priced to; before, it kept "1/10/2025" on screen beside
  // a value to 1 October.
  panel.fields.Text1[kMaturityField] = "1/10/2025";
  panel.cmdCalculate_Click();
  EXPECT_NEAR(panel.Maturity(), 259.0 / 365.0, 1e-6);
  EXPECT_EQ(panel.fields.Text1[kMaturityField], "10/01/2025");
  const std::string priced = panel.fields.lblPrice;
  panel.DropStaleResults(panel.fields);  // the shown inputs are those priced
  EXPECT_EQ(panel.fields.lblPrice, priced);

  // A date before the start (even with day and month swapped) is refused,
  // and the field keeps the text typed.
  for (const std::string text : {"01/01/2025", "12/1/2024"}) {
    panel.fields.Text1[kMaturityField] = text;
    panel.cmdCalculate_Click();
    EXPECT_EQ(fakes.dialogs.LastText(), "The maturity must be positive");
    EXPECT_EQ(panel.fields.Text1[kMaturityField], text);
  }

  // A date with no Date to count from is the user's to mend, not an
  // unexpected error.
  panel.fields.txtDate = "";
  panel.fields.Text1[kMaturityField] = "07/16/2025";
  const std::string value = panel.fields.lblPrice;
  panel.cmdCalculate_Click();
  EXPECT_EQ(fakes.dialogs.LastText(), bsop_text::kNoStartDate);
  EXPECT_EQ(panel.fields.lblPrice, value);
}

TEST_F(BsopPanelTest, ImpliedVolatilityOnTheEuropeanPath) {
  const double price = BsmValue(false, 50, 55, 0.05, 0.01, 0.30, 0.75);
  panel.fields.chkPut = true;
  panel.fields.chkImpVol = true;
  panel.fields.Text1 = {"50", "0", "0.05", "0.75", "55", "0.01", std::to_string(price)};
  panel.cmdCalculate_Click();  // volatility 0 is accepted: it is solved for
  EXPECT_EQ(fakes.dialogs.Count(), 0u);
  EXPECT_NEAR(std::stod(panel.fields.Text1[kVolatilityField]), 0.30, 1e-3);
  EXPECT_NEAR(LabelNumber(panel.fields.lblPrice), price, 1e-3);
  EXPECT_FALSE(panel.fields.lblVega.empty());

  // A price below the intrinsic value has no volatility: the user is told,
  // the volatility field keeps its text, and no figures are shown.
  const std::string solved = panel.fields.Text1[kVolatilityField];
  panel.fields.Text1[kOptionPriceField] = "0.5";
  panel.cmdCalculate_Click();
  EXPECT_EQ(fakes.dialogs.LastText(), bsop_text::kNoImpliedVolatility);
  EXPECT_EQ(fakes.dialogs.Last().icon, MsgIcon::Critical);
  EXPECT_EQ(panel.fields.Text1[kVolatilityField], solved);
  EXPECT_EQ(panel.fields.lblPrice, "Calculated Value");
  EXPECT_TRUE(panel.fields.lblDelta.empty());
  EXPECT_TRUE(panel.fields.lblTheta.empty());
  // Copy All then copies no figure for the value either.
  panel.cmdCopyData_Click();
  EXPECT_EQ(fakes.clipboard.Text().substr(0, 1), "\n");
}

TEST_F(BsopPanelTest, SolvingForTheVolatilityStillRefusesANonPositiveTerm) {
  // Only the volatility may be left at 0 when it is solved for: an
  // underlying, strike or maturity of 0 is refused as without the solve,
  // on both paths, and no figure is shown.
  const double price = BsmValue(true, 50, 50, 0.05, 0, 0.30, 0.5);
  panel.fields.chkImpVol = true;
  const std::array<std::string, 7> good = {
      "50", "0", "0.05", "0.5", "50", "0", std::to_string(price)};
  const std::pair<int, const char*> zeros[] = {
      {kUnderlyingField, "The underlying asset price must be positive"},
      {kStrikeField, "The strike price must be positive"},
      {kMaturityField, "The maturity must be positive"}};
  for (const bool euro : {true, false}) {
    panel.fields.chkEuro = euro;
    for (const auto& [field, message] : zeros) {
      SCOPED_TRACE(std::to_string(field) + (euro ? " European" : " American"));
      panel.fields.Text1 = good;
      panel.cmdCalculate_Click();
      ASSERT_NE(panel.fields.lblPrice.find(':'), std::string::npos) << panel.fields.lblPrice;
      const std::size_t before = fakes.dialogs.Count();
      panel.fields.Text1 = good;
      panel.fields.Text1[field] = "0";
      panel.cmdCalculate_Click();
      EXPECT_EQ(fakes.dialogs.Count(), before + 1);
      EXPECT_EQ(fakes.dialogs.LastText(), message);
      EXPECT_EQ(panel.fields.lblPrice, "Calculated Value");
      EXPECT_TRUE(panel.fields.lblDelta.empty());
    }
  }
}

TEST_F(BsopPanelTest, AmericanExerciseOnTheLattice) {
  panel.fields.chkEuro = false;
  panel.fields.chkPut = true;
  panel.cmdCalculate_Click();
  ASSERT_EQ(panel.fields.lblPrice.rfind("Value : ", 0), 0u) << panel.fields.lblPrice;
  const double american = LabelNumber(panel.fields.lblPrice);
  const double european = BsmValue(false, 50, 50, 0.1, 0, 0.25, 1);
  EXPECT_GT(american, european);
  EXPECT_LT(american, european + 0.6);
  EXPECT_LT(std::stod(panel.fields.lblDelta), 0.0);
  EXPECT_EQ(panel.OptionPrice(), 0.0f);  // shown only, not stored

  // Implied volatility on the lattice gives back the lattice's volatility.
  panel.fields.chkImpVol = true;
  panel.fields.Text1[kOptionPriceField] = std::to_string(american);
  panel.cmdCalculate_Click();
  EXPECT_NEAR(std::stod(panel.fields.Text1[kVolatilityField]), 0.25, 2e-3);
  EXPECT_FALSE(panel.fields.lblGamma.empty());

  // A failed search stops as on the European path.
  const std::string solved = panel.fields.Text1[kVolatilityField];
  panel.fields.Text1[kOptionPriceField] = "0.01";
  panel.fields.Text1[kStrikeField] = "70";
  panel.cmdCalculate_Click();
  EXPECT_EQ(fakes.dialogs.LastText(), bsop_text::kNoImpliedVolatility);
  EXPECT_EQ(panel.fields.Text1[kVolatilityField], solved);
  EXPECT_TRUE(panel.fields.lblDelta.empty());
  EXPECT_TRUE(panel.fields.lblVega.empty());
}

TEST_F(BsopPanelTest, ALatticeThatCannotFitTheInputsShowsNoFigure) {
  // A drift far beyond the volatility: no step count gives usable branch
  // probabilities, so the record explains and the panel shows nothing.
  panel.fields.chkEuro = false;
  panel.fields.Text1[kRateField] = "0.3";
  panel.fields.Text1[kVolatilityField] = "0.005";
  panel.fields.Text1[kUnderlyingField] = "100";
  panel.fields.Text1[kStrikeField] = "100";
  panel.cmdCalculate_Click();
  ASSERT_EQ(fakes.dialogs.Count(), 1u);
  EXPECT_NE(fakes.dialogs.LastText().find("drift"), std::string::npos) << fakes.dialogs.LastText();
  EXPECT_EQ(panel.fields.lblPrice, "Calculated Value");
  EXPECT_TRUE(panel.fields.lblDelta.empty());
  EXPECT_TRUE(panel.fields.lblGamma.empty());
  panel.cmdCopyData_Click();
  EXPECT_EQ(fakes.clipboard.Text().substr(0, 1), "\n");
}

TEST_F(BsopPanelTest, CopyAllCopiesTheFiguresLastShown) {
  panel.cmdCalculate_Click();
  panel.cmdCopyData_Click();
  std::vector<std::string> lines = SplitLines(fakes.clipboard.Text());
  ASSERT_EQ(lines.size(), 12u) << fakes.clipboard.Text();
  EXPECT_EQ(fakes.clipboard.Text().find('\r'), std::string::npos);
  EXPECT_NEAR(std::stod(lines[0]), LabelNumber(panel.fields.lblPrice), 6e-6);
  EXPECT_EQ(lines[0].size() - lines[0].find('.'), 6u);  // five decimals
  EXPECT_NEAR(std::stod(lines[1]), std::stod(panel.fields.lblDelta), 6e-6);
  EXPECT_NEAR(std::stod(lines[4]), std::stod(panel.fields.lblTheta), 6e-6);
  const std::vector<std::string> fields(panel.fields.Text1.begin(), panel.fields.Text1.end());
  EXPECT_EQ(std::vector<std::string>(lines.begin() + 5, lines.end()), fields);

  // After an American put: its own value and Greeks, not the last European ones.
  panel.fields.chkEuro = false;
  panel.fields.chkPut = true;
  panel.cmdCalculate_Click();
  panel.cmdCopyData_Click();
  lines = SplitLines(fakes.clipboard.Text());
  ASSERT_EQ(lines.size(), 12u);
  EXPECT_NEAR(std::stod(lines[0]), LabelNumber(panel.fields.lblPrice), 6e-6);
  EXPECT_NEAR(std::stod(lines[1]), std::stod(panel.fields.lblDelta), 6e-6);
  EXPECT_LT(std::stod(lines[1]), 0.0);
}

TEST_F(BsopPanelTest, GetParametersReadsEveryFieldIntoTheTerms) {
  panel.fields.chkPut = true;
  panel.fields.chkEuro = false;
  panel.fields.Text1 = {"42", "0.3", "0.05", "0.5", "40", "", "3.1"};
  OptionTerms t;
  ASSERT_TRUE(panel.GetParameters(t));
  EXPECT_TRUE(t.put);
  EXPECT_TRUE(t.american);
  EXPECT_EQ(t.TypeCode(), 2);
  EXPECT_FLOAT_EQ(t.rate, 0.05f);
  EXPECT_FLOAT_EQ(t.spot, 42.0f);
  EXPECT_FLOAT_EQ(t.maturity, 0.5f);
  EXPECT_FLOAT_EQ(t.strike, 40.0f);
  EXPECT_FLOAT_EQ(t.vol, 0.3f);
  EXPECT_FLOAT_EQ(t.yield, 0.0f);  // blank
  EXPECT_FLOAT_EQ(t.market_price, 3.1f);
  EXPECT_EQ(panel.Underlying(), 0.0f);  // the panel's own values are untouched

  // An unreadable strike stops after its message; the terms are untouched.
  panel.fields.Text1[kStrikeField] = "/q";
  panel.fields.chkPut = false;
  const OptionTerms before = t;
  EXPECT_FALSE(panel.GetParameters(t));
  EXPECT_TRUE(
      StartsWith(fakes.dialogs.LastText(), "Invalid Numeric Entry Encountered\n\nStrike Price"));
  EXPECT_EQ(t, before);
  // So does an unreadable market price, the last field read.
  panel.fields.Text1[kStrikeField] = "40";
  panel.fields.Text1[kOptionPriceField] = "3..1";
  EXPECT_FALSE(panel.GetParameters(t));
  EXPECT_EQ(t, before);
}

TEST_F(BsopPanelTest, TypedNumbersArePricedAsMeantOrRefused) {
  const auto value_with_rate = [&](const std::string& rate) {
    panel.fields.Text1[kRateField] = rate;
    panel.cmdCalculate_Click();
    return panel.fields.lblPrice;
  };
  const double at_5_percent = BsmValue(true, 50, 50, 0.05, 0, 0.25, 1);
  EXPECT_NEAR(LabelNumber(value_with_rate("5%")), at_5_percent, 1e-3);
  EXPECT_NEAR(LabelNumber(value_with_rate("5 %")), at_5_percent, 1e-3);
  EXPECT_EQ(fakes.dialogs.Count(), 0u);

  // Refused, each with its field and reason, and no figure left on screen.
  struct Refusal {
    int field;
    const char* text;
    const char* why;
  };
  for (const Refusal& r :
       {Refusal{kRateField, "abc", "has no digit"},
        Refusal{kUnderlyingField, "x1y", "not part of a number"},
        Refusal{kUnderlyingField, "1e400", "out of range"},
        Refusal{kUnderlyingField, "2e309", "out of range"},
        Refusal{kStrikeField, "5%", "percentage"}, Refusal{kVolatilityField, "40", "40 % as 0.40"},
        Refusal{kVolatilityField, "-0.2", "negative"},
        Refusal{kRateField, "1.2.3", "second decimal separator"}}) {
    panel.fields.Text1 = BsopPanel::StartTexts();
    panel.cmdCalculate_Click();
    ASSERT_NE(panel.fields.lblPrice, "Calculated Value");
    const size_t before = fakes.dialogs.Count();
    panel.fields.Text1[r.field] = r.text;
    panel.cmdCalculate_Click();
    ASSERT_EQ(fakes.dialogs.Count(), before + 1) << r.text;
    const std::string& message = fakes.dialogs.LastText();
    EXPECT_TRUE(StartsWith(message, std::string("Invalid Numeric Entry Encountered\n\n") +
                                        bsop_text::kFieldCaptions[r.field] + ": \"" + r.text))
        << message;
    EXPECT_NE(message.find(r.why), std::string::npos) << message;
    EXPECT_EQ(panel.fields.lblPrice, "Calculated Value") << r.text;
    EXPECT_TRUE(panel.fields.lblDelta.empty()) << r.text;
    panel.cmdCopyData_Click();
    EXPECT_EQ(SplitLines(fakes.clipboard.Text())[0], "") << r.text;
  }
}

TEST_F(BsopPanelTest, UnderAGermanLocaleADotDecimalIsReadAsTheDecimalItIs) {
  EntryLocale de = EntryLocale::FromName("de_DE.UTF-8");
  if (de.decimal_point != ",") {
    de.decimal_point = ",";
    de.thousands_sep = ".";
  }
  de.date_format = "%d.%m.%Y";
  SetEntryLocale(de);
  panel.fields.Text1 = {"50", "0.3", "0.05", "1", "50", "0", "7"};
  panel.cmdCalculate_Click();
  EXPECT_EQ(fakes.dialogs.Count(), 0u) << fakes.dialogs.LastText();
  EXPECT_FLOAT_EQ(panel.RiskFree(), 0.05f);
  EXPECT_FLOAT_EQ(panel.Volatility(), 0.3f);
  const std::string label = panel.fields.lblPrice;
  std::string number = label.substr(label.find(':') + 1);
  number[number.find(',')] = '.';
  EXPECT_NEAR(std::stod(number), BsmValue(true, 50, 50, 0.05, 0, 0.3, 1), 1e-3);
  // An ambiguous dot follows the locale: 1.000 is a thousand.
  panel.fields.Text1[kStrikeField] = "1.000";
  panel.cmdCalculate_Click();
  EXPECT_FLOAT_EQ(panel.Strike(), 1000.0f);
}

TEST_F(BsopPanelTest, CopyAllCopiesOnlyFiguresOfTheInputsOnScreen) {
  panel.cmdCalculate_Click();
  const std::string k50 = panel.fields.lblPrice;
  // Strike changed without Calculate: no K = 50 figure beside strike 55.
  panel.fields.Text1[kStrikeField] = "55";
  panel.cmdCopyData_Click();
  std::vector<std::string> lines = SplitLines(fakes.clipboard.Text());
  ASSERT_EQ(lines.size(), 12u);
  for (int i = 0; i < 5; ++i) {
    EXPECT_EQ(lines[i], "") << i;
  }
  EXPECT_EQ(lines[5 + kStrikeField], "55");
  // Each choice counts as an input too.
  panel.fields.Text1[kStrikeField] = "50";
  panel.cmdCalculate_Click();
  EXPECT_EQ(panel.fields.lblPrice, k50);
  panel.fields.chkPut = true;
  panel.cmdCopyData_Click();
  EXPECT_EQ(SplitLines(fakes.clipboard.Text())[0], "");

  // American: the lattice's own Greeks, never those of the European run.
  panel.fields.chkPut = false;
  panel.cmdCalculate_Click();
  const std::string european_delta = panel.fields.lblDelta;
  panel.fields.chkEuro = false;
  panel.fields.Text1[kDividendField] = "0.08";  // early exercise of a call pays
  panel.cmdCalculate_Click();
  panel.cmdCopyData_Click();
  lines = SplitLines(fakes.clipboard.Text());
  ASSERT_EQ(lines.size(), 12u);
  EXPECT_NEAR(std::stod(lines[0]), LabelNumber(panel.fields.lblPrice), 6e-6);
  for (int i = 0; i < 4; ++i) {
    const std::string shown[] = {panel.fields.lblDelta, panel.fields.lblGamma, panel.fields.lblVega,
                                 panel.fields.lblTheta};
    EXPECT_NEAR(std::stod(lines[1 + i]), std::stod(shown[i]), 6e-6) << i;
  }
  EXPECT_NE(panel.fields.lblDelta, european_delta);
}

TEST_F(BsopPanelTest, ASecondCalculateDuringARunIsIgnored) {
  panel.fields.chkEuro = false;
  panel.fields.chkPut = true;
  int nested = 0;
  fakes.events.on_pending = [&] {
    if (nested++ == 0) {
      // Pressed again while the lattice lets events run, with other inputs.
      panel.fields.Text1[kStrikeField] = "60";
      panel.cmdCalculate_Click();
    }
  };
  panel.cmdCalculate_Click();
  fakes.events.on_pending = nullptr;
  ASSERT_GT(nested, 0);
  // The run's figures are those of strike 50, the inputs it started with.
  EXPECT_FLOAT_EQ(panel.Strike(), 50.0f);
  BsopPanel fresh;
  fresh.InitializeFields();
  fresh.fields.chkEuro = false;
  fresh.fields.chkPut = true;
  fresh.cmdCalculate_Click();
  EXPECT_EQ(panel.fields.lblPrice, fresh.fields.lblPrice);
  EXPECT_EQ(panel.fields.lblVega, fresh.fields.lblVega);
  // Strike 60 is on screen now: Copy All copies no figure of strike 50.
  panel.cmdCopyData_Click();
  EXPECT_EQ(SplitLines(fakes.clipboard.Text())[0], "");
}

}  // namespace
}  // namespace stratlyn
