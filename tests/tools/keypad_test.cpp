#include "tools/keypad.h"

#include <gtest/gtest.h>

#include <string>

#include "support/fake_services.h"
#include "util/locale_info.h"

namespace stratlyn {
namespace {

// Each case runs under a dot and a comma separator; S() writes a text of the
// dot locale in the locale under test.
class KeypadTest : public ::testing::TestWithParam<char> {
 protected:
  // Installed before the keypad is made, which takes the separator then.
  struct ScopedSeparator {
    explicit ScopedSeparator(char decimal_point) {
      EntryLocale locale;
      locale.decimal_point = std::string(1, decimal_point);
      locale.thousands_sep = decimal_point == ',' ? "." : ",";
      SetEntryLocale(locale);
    }
    ~ScopedSeparator() { ResetEntryLocale(); }
  };

  std::string S(std::string text) const {
    for (char& ch : text) {
      if (ch == '.') ch = GetParam();
    }
    return text;
  }
  // Presses keys written as a string: digits, '.', operators, '%', 'C' and
  // 'E' (CE).
  void Press(const std::string& keys) {
    for (char k : keys) {
      if (k >= '0' && k <= '9') {
        pad.Number_Click(k - '0');
      } else if (k == '.') {
        pad.bDecimal_Click();
      } else if (k == '%') {
        pad.Percent_Click();
      } else if (k == 'C') {
        pad.Cancel_Click();
      } else if (k == 'E') {
        pad.CancelEntry_Click();
      } else {
        pad.Operator_Click(k);
      }
    }
  }

  ScopedSeparator separator{GetParam()};
  testing::FakeServices services;
  Keypad pad;
};

TEST_P(KeypadTest, StartsEmptyWithTheLocaleSeparator) {
  EXPECT_EQ(pad.Display(), S("0."));
  EXPECT_EQ(pad.DecimalCaption(), S("."));
  EXPECT_EQ(pad.lastInput(), "NONE");
  EXPECT_EQ(pad.pendingOperator(), ' ');
  EXPECT_EQ(pad.operandCount(), 0);
}

TEST_P(KeypadTest, DigitsGoInFrontOfTheSeparator) {
  Press("12");
  EXPECT_EQ(pad.Display(), S("12."));
  Press("3");
  EXPECT_EQ(pad.Display(), S("123."));
  Press(".45");
  EXPECT_EQ(pad.Display(), S("123.45"));
  // A second separator in the same number changes nothing.
  Press(".");
  EXPECT_EQ(pad.Display(), S("123.45"));
  Press("6");
  EXPECT_EQ(pad.Display(), S("123.456"));
}

TEST_P(KeypadTest, EqualsShowsTheResultAndRepeatsKeepIt) {
  Press("7+8=");
  EXPECT_EQ(pad.Display(), "15");
  Press("=");
  EXPECT_EQ(pad.Display(), "15");
  Press("=");
  EXPECT_EQ(pad.Display(), "15");
}

TEST_P(KeypadTest, ChainedOperatorsApplyThePendingOne) {
  Press("12+3+");
  EXPECT_EQ(pad.Display(), "15");
  EXPECT_EQ(pad.operandCount(), 1);
  Press("4=");
  EXPECT_EQ(pad.Display(), "19");
  Press("C2.5X4-1=");
  EXPECT_EQ(pad.Display(), "9");
  Press("C1/4=");
  EXPECT_EQ(pad.Display(), S("0.25"));
}

TEST_P(KeypadTest, MinusStartsANegativeNumber) {
  Press("-5");
  EXPECT_EQ(pad.Display(), S("-5."));
  Press("+2=");
  EXPECT_EQ(pad.Display(), "-3");

  Press("C3X-2=");
  EXPECT_EQ(pad.Display(), "-6");

  Press("C-.5");
  EXPECT_EQ(pad.Display(), S("-0.5"));
}

TEST_P(KeypadTest, DivisionByZeroKeepsTheRunningResult) {
  Press("9/0=");
  ASSERT_EQ(services.dialogs.Count(), 1u);
  EXPECT_EQ(services.dialogs.Last().text, "Can't divide by zero");
  EXPECT_EQ(services.dialogs.Last().title, "Calculator");
  EXPECT_EQ(services.dialogs.Last().icon, MsgIcon::Exclamation);
  EXPECT_EQ(pad.Display(), S("9."));
  // The keypad goes on working from the kept result.
  Press("+1=");
  EXPECT_EQ(pad.Display(), "10");
}

TEST_P(KeypadTest, CancelEntryKeepsThePendingOperation) {
  Press("5+3E");
  EXPECT_EQ(pad.Display(), S("0."));
  EXPECT_EQ(pad.pendingOperator(), '+');
  Press("4=");
  EXPECT_EQ(pad.Display(), "9");

  Press("C");
  EXPECT_EQ(pad.Display(), S("0."));
  EXPECT_EQ(pad.operandCount(), 0);
  EXPECT_EQ(pad.pendingOperator(), ' ');
  Press("2=");
  EXPECT_EQ(pad.Display(), S("2."));
}

TEST_P(KeypadTest, PercentMultipliesTheRunningResult) {
  Press("200X5%");
  EXPECT_EQ(pad.Display(), S("0.05"));
  Press("=");
  EXPECT_EQ(pad.Display(), "10");

  // Repeated percent keys do not leave the keypad stuck.
  Press("C5+3%%");
  Press("=");
  const std::string after = pad.Display();
  Press("+1=");
  EXPECT_NE(pad.Display(), after);
  EXPECT_EQ(pad.operandCount(), 1);
}

TEST_P(KeypadTest, PercentAfterPlusOrMinusIsAShareOfTheRunningResult) {
  // As on a pocket calculator: ten per cent of 100 added or taken off.
  Press("100+10%");
  EXPECT_EQ(pad.Display(), "10");
  Press("=");
  EXPECT_EQ(pad.Display(), "110");
  Press("C100-10%=");
  EXPECT_EQ(pad.Display(), "90");
  Press("C80+12.5%=");
  EXPECT_EQ(pad.Display(), "90");
  // Chained on: the share of the running result at the key.
  Press("C50+50=+10%=");
  EXPECT_EQ(pad.Display(), "110");
  // Divided by a percentage: 200 / 5 % is 200 / 0.05.
  Press("C200/5%=");
  EXPECT_EQ(pad.Display(), "4000");
  // The times case stays: 200 X 5 % = 10.
  Press("C200X5%=");
  EXPECT_EQ(pad.Display(), "10");
  EXPECT_EQ(services.dialogs.Count(), 0u);
}

TEST_P(KeypadTest, ResultsUseTheDefaultNumberText) {
  Press("1/3=");
  EXPECT_EQ(pad.Display(), S("0.333333333333333"));
  Press("C1000000X1000000000=");
  EXPECT_EQ(pad.Display(), "1E+15");
  Press("C1/100000=");
  EXPECT_EQ(pad.Display(), "1E-05");
  Press("C1/10000=");
  EXPECT_EQ(pad.Display(), S("0.0001"));
}

TEST_P(KeypadTest, CopyAndPasteUseTheClipboardText) {
  Press("42.5");
  pad.cpy_Click();
  EXPECT_EQ(services.clipboard.Text(), S("42.5"));

  services.clipboard.SetText(S("7.25"));
  pad.pst_Click();
  EXPECT_EQ(pad.Display(), S("7.25"));
  EXPECT_EQ(pad.lastInput(), "NUMS");
  Press("X2=");
  EXPECT_EQ(pad.Display(), S("14.5"));

  // A pasted word would count as 0: it is refused and the display stays.
  Press("C5+");
  services.clipboard.SetText("hello");
  pad.pst_Click();
  ASSERT_EQ(services.dialogs.Count(), 1u);
  EXPECT_EQ(services.dialogs.Last().text, "The clipboard holds no number to paste");
  EXPECT_EQ(services.dialogs.Last().title, "Calculator");
  EXPECT_EQ(pad.Display(), S("5."));
  Press("2=");
  EXPECT_EQ(pad.Display(), "7");
}

TEST_P(KeypadTest, PasteReadsGroupedNumbersAndKeepsTheKeypadForm) {
  // "1,234.5" with the locale's group separator reads 1234.5, not 0.
  services.clipboard.SetText(GetParam() == ',' ? "1.234,5" : "1,234.5");
  pad.pst_Click();
  EXPECT_EQ(pad.Display(), S("1234.5"));
  Press("+0.5=");
  EXPECT_EQ(pad.Display(), "1235");
  // A whole number shows the trailing separator, and digits go before it.
  services.clipboard.SetText(" 12\r\n");
  pad.pst_Click();
  EXPECT_EQ(pad.Display(), S("12."));
  Press("3");
  EXPECT_EQ(pad.Display(), S("123."));
  // A separator that groups nothing is the decimal it must be: 1.5 from a
  // dot-decimal program under a decimal comma, 1,5 from a comma-decimal one
  // under a decimal point (the paste made either 15).
  services.clipboard.SetText(GetParam() == ',' ? "1.5" : "1,5");
  pad.pst_Click();
  EXPECT_EQ(pad.Display(), S("1.5"));
  EXPECT_EQ(services.dialogs.Count(), 0u);
}

TEST_P(KeypadTest, DisplayWithoutNumberReadsAsZero) {
  // Percent of a lone minus sign.
  Press("C4X-%");
  EXPECT_EQ(pad.Display(), "0");
  EXPECT_EQ(services.dialogs.Count(), 0u);
}

TEST_P(KeypadTest, OverflowKeepsTheRunningResult) {
  services.clipboard.SetText(S("1E+300"));
  pad.pst_Click();
  Press("X");
  pad.pst_Click();
  Press("=");
  ASSERT_EQ(services.dialogs.Count(), 1u);
  EXPECT_EQ(services.dialogs.Last().text, "Overflow");
  EXPECT_EQ(pad.Display(), S("1E+300"));
}

TEST_P(KeypadTest, KeyboardDrivesTheKeys) {
  for (char ch : std::string("12*3\r")) EXPECT_TRUE(pad.KeyboardInput(ch));
  EXPECT_EQ(pad.Display(), "36");
  EXPECT_TRUE(pad.KeyboardInput(27));
  EXPECT_EQ(pad.Display(), S("0."));
  EXPECT_TRUE(pad.KeyboardInput('5'));
  EXPECT_TRUE(pad.KeyboardInput(GetParam()));
  EXPECT_TRUE(pad.KeyboardInput('5'));
  EXPECT_EQ(pad.Display(), S("5.5"));
  EXPECT_TRUE(pad.KeyboardInput(8));
  EXPECT_EQ(pad.Display(), S("0."));
  EXPECT_FALSE(pad.KeyboardInput('q'));
}

INSTANTIATE_TEST_SUITE_P(Separators, KeypadTest, ::testing::Values('.', ','),
                         [](const ::testing::TestParamInfo<char>& info) {
                           return info.param == '.' ? std::string("Dot") : std::string("Comma");
                         });

TEST(DefaultNumberText, WritesTheLocaleSeparatorAndNoNegativeZero) {
  EXPECT_EQ(DefaultNumberText(-2.5, ","), "-2,5");
  EXPECT_EQ(DefaultNumberText(-0.0, "."), "0");
  EXPECT_EQ(DefaultNumberText(123456789012345.0, "."), "123456789012345");
  EXPECT_EQ(DefaultNumberText(1.5e-7, ","), "1,5E-07");
}

}  // namespace
}  // namespace stratlyn
