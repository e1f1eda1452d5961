#include "tools/fin_calcs.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <chrono>
#include <string>

#include "support/fake_services.h"
#include "util/locale_info.h"

namespace stratlyn {
namespace {

using namespace std::chrono;

// Today is Tuesday 8 December 2026 in every test.
constexpr sys_days kToday{year(2026) / December / 8};

EntryLocale MonthFirstDot() {
  EntryLocale locale;
  locale.decimal_point = ".";
  locale.thousands_sep = ",";
  locale.date_format = "%m/%d/%Y";
  return locale;
}

EntryLocale DayFirstComma() {
  EntryLocale locale;
  locale.decimal_point = ",";
  locale.thousands_sep = ".";
  locale.date_format = "%d.%m.%Y";
  return locale;
}

// Installs an entry locale for one test.
struct ScopedEntryLocale {
  explicit ScopedEntryLocale(const EntryLocale& locale) { SetEntryLocale(locale); }
  ~ScopedEntryLocale() { ResetEntryLocale(); }
};

class FinCalcsTest : public ::testing::Test {
 protected:
  FinCalcsTest() { calcs.Form_Load(kToday); }

  void SetRow(int row, const std::string& t, const std::string& y, const std::string& a) {
    grid.SetTextMatrix(row, 0, t);
    grid.SetTextMatrix(row, 1, y);
    grid.SetTextMatrix(row, 2, a);
  }
  // Makes (row, col) the current cell as the window does.
  void Enter(int row, int col) {
    grid.SetRow(row);
    grid.SetCol(col);
    calcs.Grid1_EnterCell();
  }
  void Type(const std::string& keys) {
    for (char ch : keys) calcs.Grid1_KeyPress(static_cast<unsigned char>(ch));
  }

  ScopedEntryLocale locale{MonthFirstDot()};
  testing::FakeServices services;
  Grid grid;
  FinancialCalcs calcs{grid};
};

TEST(CheckRate, OnlyPercentagesOfNamedRatesAreScaled) {
  EXPECT_DOUBLE_EQ(Check_Rate(5, "Interest rate in row 1"), 0.05);
  EXPECT_DOUBLE_EQ(Check_Rate(1, "Volatility"), 0.01);
  EXPECT_DOUBLE_EQ(Check_Rate(20, "Dividend yield"), 0.2);
  EXPECT_DOUBLE_EQ(Check_Rate(0.05, "Interest rate"), 0.05);
  EXPECT_DOUBLE_EQ(Check_Rate(5, "LIBOR"), 5);
  EXPECT_DOUBLE_EQ(Check_Rate(5, "INTEREST"), 5);  // case-sensitive
}

TEST_F(FinCalcsTest, OpeningSetsUpEveryTool) {
  EXPECT_EQ(calcs.Text2[0], "12/08/2026");
  EXPECT_EQ(calcs.Text2[2], "12/08/2026");
  EXPECT_EQ(grid.Rows(), 25);
  EXPECT_EQ(grid.Cols(), 3);
  EXPECT_EQ(grid.TextMatrix(0, 0), "Time");
  EXPECT_EQ(grid.TextMatrix(0, 1), "Yield");
  EXPECT_EQ(grid.TextMatrix(0, 2), "Amount");
  EXPECT_EQ(calcs.tDate, "2026");
  // The Saturday after the third Friday of December 2026 (Fridays 4, 11, 18).
  EXPECT_EQ(calcs.cxDate, "12/19/2026");
  EXPECT_EQ(calcs.tblab, "Interest Rate: ");
  EXPECT_EQ(calcs.matlab, "Maturity: ");
}

TEST_F(FinCalcsTest, PresentValueDiscountsEveryRow) {
  SetRow(1, "1", "5", "100");
  SetRow(2, "2", "5", "100");
  calcs.pvcalc_Click();
  EXPECT_EQ(calcs.pvlab, "185.6067");

  SetRow(1, "1", "0.05", "100");
  SetRow(2, "2", "0.05", "100");
  SetRow(24, "", "", "");
  calcs.pvcalc_Click();
  EXPECT_EQ(calcs.pvlab, "185.6067");

  // Empty cells count as 0: an amount without a time is not discounted.
  SetRow(5, "", "", "10");
  calcs.pvcalc_Click();
  EXPECT_EQ(calcs.pvlab, "195.6067");
  EXPECT_EQ(services.dialogs.Count(), 0u);

  calcs.pvcpy_Click();
  EXPECT_EQ(services.clipboard.Text(), "195.6067");
}

TEST_F(FinCalcsTest, PresentValueRefusesTextAndKeepsTheOldResult) {
  SetRow(1, "1", "5", "100");
  calcs.pvcalc_Click();
  const std::string before = calcs.pvlab;
  SetRow(3, "1", "5%", "100");
  calcs.pvcalc_Click();
  ASSERT_EQ(services.dialogs.Count(), 1u);
  EXPECT_EQ(services.dialogs.Last().text, "Non-numeric entry in table");
  EXPECT_EQ(services.dialogs.Last().title, "Calculator");
  EXPECT_EQ(services.dialogs.Last().icon, MsgIcon::Critical);
  EXPECT_EQ(calcs.pvlab, before);

  // An overflowing row is reported instead of showing a figure.
  SetRow(3, "-100000", "5", "100");
  calcs.pvcalc_Click();
  EXPECT_EQ(services.dialogs.Count(), 2u);
  EXPECT_THAT(services.dialogs.Last().text, ::testing::HasSubstr("Overflow"));
  EXPECT_EQ(calcs.pvlab, before);

  calcs.clrPV_Click();
  EXPECT_EQ(calcs.pvlab, "");
  for (int r = 1; r < grid.Rows(); ++r) {
    for (int c = 0; c < 3; ++c) EXPECT_EQ(grid.TextMatrix(r, c), "") << r << "," << c;
  }
  EXPECT_EQ(grid.TextMatrix(0, 2), "Amount");
}

TEST_F(FinCalcsTest, GridTypingEscBackspaceAndEnter) {
  Enter(1, 0);
  Type("12");
  EXPECT_EQ(grid.TextMatrix(1, 0), "12");
  calcs.Grid1_KeyPress(8);
  EXPECT_EQ(grid.TextMatrix(1, 0), "1");
  Type(".5\r");
  EXPECT_EQ(grid.TextMatrix(1, 0), "1.5");
  EXPECT_EQ(calcs.editBuffer(), "");
  EXPECT_EQ(services.dialogs.Count(), 0u);

  // Esc brings back the text the cell had when it was entered.
  Enter(1, 0);
  Type("99");
  calcs.Grid1_KeyPress(27);
  EXPECT_EQ(grid.TextMatrix(1, 0), "1.5");
  // ... or what Enter (or an arrow key) committed since.
  Enter(3, 2);
  Type("500\r99");
  calcs.Grid1_KeyPress(27);
  EXPECT_EQ(grid.TextMatrix(3, 2), "500");
  Type("7");
  calcs.Grid1_KeyDown(40);
  Type("8");
  calcs.Grid1_KeyPress(27);
  EXPECT_EQ(grid.TextMatrix(3, 2), "7");

  // Enter refuses text outside the yield column, which takes any text.
  Enter(2, 2);
  Type("abc\r");
  ASSERT_EQ(services.dialogs.Count(), 1u);
  EXPECT_EQ(services.dialogs.Last().text, "Non-Numeric Data Entry");
  EXPECT_EQ(services.dialogs.Last().title, "Error");
  Enter(2, 1);
  Type("5%\r");
  EXPECT_EQ(services.dialogs.Count(), 1u);
  EXPECT_EQ(grid.TextMatrix(2, 1), "5%");

  // Double-click continues the cell's text; a key re-selects the edited cell.
  Enter(1, 0);
  calcs.Grid1_DblClick();
  grid.SetRowSel(3);
  Type("2");
  EXPECT_EQ(grid.TextMatrix(1, 0), "1.52");
  EXPECT_EQ(grid.RowSel(), 1);
}

TEST_F(FinCalcsTest, GridArrowsDeleteCopyAndPaste) {
  Enter(1, 2);
  Type("100");
  calcs.Grid1_KeyDown(40);  // arrow down commits
  EXPECT_EQ(calcs.editBuffer(), "");
  EXPECT_EQ(grid.TextMatrix(1, 2), "100");
  Enter(2, 2);
  Type("x");
  calcs.Grid1_KeyDown(37);
  EXPECT_EQ(services.dialogs.LastText(), "Non-Numeric Data Entry");

  // Ctrl+V spreads clipboard rows from the current cell; commas go.
  services.clipboard.SetText("1\t5\t1,234.5\r\n2\t5\t100\r\n");
  Enter(3, 0);
  calcs.Grid1_KeyPress(22);
  EXPECT_EQ(grid.TextMatrix(3, 2), "1234.5");
  EXPECT_EQ(grid.TextMatrix(4, 0), "2");
  EXPECT_EQ(grid.TextMatrix(4, 2), "100");

  // Ctrl+C copies the selection as tab/CR text.
  grid.SetRow(3);
  grid.SetCol(1);
  grid.SetRowSel(4);
  grid.SetColSel(2);
  calcs.Grid1_KeyPress(3);
  EXPECT_EQ(services.clipboard.Text(), "5\t1234.5\r\n5\t100");

  // Delete empties the selection only.
  calcs.Grid1_KeyDown(46);
  EXPECT_EQ(grid.TextMatrix(3, 1), "");
  EXPECT_EQ(grid.TextMatrix(4, 2), "");
  EXPECT_EQ(grid.TextMatrix(3, 0), "1");
  EXPECT_EQ(grid.TextMatrix(1, 2), "100");

  // The pasted rows price like typed ones.
  SetRow(1, "", "", "");
  SetRow(2, "", "", "");  // the refused "x"
  SetRow(3, "1", "5", "100");
  SetRow(4, " 2", "5", "100");
  calcs.pvcalc_Click();
  EXPECT_EQ(calcs.pvlab, "185.6067");
}

TEST_F(FinCalcsTest, QuoteTypeChangesTheLabels) {
  calcs.Text2[3] = "90";
  calcs.irtyp_Click(FinancialCalcs::kDiscrete);
  EXPECT_EQ(calcs.Label1_2, "Frequency");
  EXPECT_FALSE(calcs.Label1_3_enabled);
  EXPECT_EQ(calcs.Label1_4, "Rate");
  EXPECT_EQ(calcs.Text2[3], "");
  calcs.irtyp_Click(FinancialCalcs::kZero);
  EXPECT_EQ(calcs.Label1_2, "Maturity");
  EXPECT_TRUE(calcs.Label1_3_enabled);
  EXPECT_EQ(calcs.Label1_4, "Price");
  calcs.irtyp_Click(FinancialCalcs::kLibor);
  EXPECT_EQ(calcs.Label1_4, "LIBOR");
  calcs.irtyp_Click(FinancialCalcs::kTBill);
  EXPECT_EQ(calcs.Label1_4, "T-Bill");
}

TEST_F(FinCalcsTest, TBillLiborAndZeroQuotes) {
  calcs.Text2[2] = "01/01/2026";
  calcs.Text2[3] = "04/01/2026";  // 90 days later
  calcs.tdisc = "5";
  EXPECT_TRUE(calcs.tdisc_KeyPress(13));
  // (365 / 90) ln(100 / 98.75) in single precision.
  EXPECT_EQ(calcs.tblab, "Interest Rate: 0.051014");
  EXPECT_FALSE(calcs.tdisc_KeyPress('5'));

  calcs.irtyp_Click(FinancialCalcs::kLibor);
  calcs.Text2[3] = "91";
  calcs.tdisc = "0.05";
  calcs.btrans_Click();
  EXPECT_EQ(calcs.Text2[3], "04/02/2026");
  EXPECT_EQ(calcs.rateText, "0.0503768");
  EXPECT_EQ(services.clipboard.Text(), "0.0503768");

  calcs.irtyp_Click(FinancialCalcs::kZero);
  calcs.Text2[3] = "30";
  calcs.tdisc = "99.5";
  calcs.dateok_Click(1);
  EXPECT_EQ(calcs.rateText, "0.0609859");
  EXPECT_EQ(services.dialogs.Count(), 0u);

  calcs.Text2[3] = "30";
  calcs.tdisc = "0";
  services.clipboard.SetText("kept");
  calcs.btrans_Click();
  EXPECT_EQ(services.dialogs.Last().text, "Invalid Price");
  EXPECT_EQ(services.dialogs.Last().title, "Calculator");
  EXPECT_EQ(services.clipboard.Text(), "kept");
  EXPECT_EQ(calcs.rateText, "0.0609859");

  calcs.Text2[3] = "30";
  calcs.tdisc = "abc";
  calcs.dateok_Click(1);
  EXPECT_EQ(services.dialogs.Last().text, "Invalid Entry for Price");
  EXPECT_EQ(services.dialogs.Last().title, "Quorvale");

  calcs.clrRate_Click();
  EXPECT_EQ(calcs.tblab, "Interest Rate: ");
  EXPECT_EQ(calcs.Text2[2], "");
  EXPECT_EQ(calcs.tdisc, "");
}

TEST_F(FinCalcsTest, DiscreteRateAndFrequencyBounds) {
  calcs.irtyp_Click(FinancialCalcs::kDiscrete);
  calcs.tdisc = "0.05";
  calcs.Text2[3] = "2";
  calcs.dateok_Click(1);
  EXPECT_EQ(calcs.tblab, "Interest Rate: 0.0493852");  // 2 ln(1.025)

  for (const char* bad : {"0", "366", "abc", "", "1e12", "12.6", "2 1/2", "0.6"}) {
    calcs.Text2[3] = bad;
    const size_t count = services.dialogs.Count();
    calcs.dateok_Click(1);
    EXPECT_EQ(services.dialogs.Count(), count + 1) << bad;
    EXPECT_EQ(services.dialogs.LastText(),
              "Invalid frequency, please enter an integer between 1 and 365")
        << bad;
  }
  EXPECT_EQ(calcs.tblab, "Interest Rate: 0.0493852");
  const size_t shown = services.dialogs.Count();
  calcs.Text2[3] = "365";
  calcs.dateok_Click(1);
  EXPECT_EQ(services.dialogs.Count(), shown);
  EXPECT_NE(calcs.tblab, "Interest Rate: 0.0493852");

  calcs.tdisc = "-0.05";
  calcs.dateok_Click(1);
  EXPECT_EQ(services.dialogs.LastText(),
            "Invalid interest rate, please enter a positive decimal, e.g. 0.045");
  EXPECT_EQ(services.dialogs.Last().title, "Quorvale");
  // 4.5 for 4.5 % was 450 %, a continuous rate of 1.7 shown without a word.
  calcs.Text2[3] = "2";
  calcs.tdisc = "4.5";
  const std::string before = calcs.tblab;
  calcs.dateok_Click(1);
  EXPECT_EQ(services.dialogs.LastText(),
            "Invalid interest rate, please enter a positive decimal, e.g. 0.045");
  EXPECT_EQ(calcs.tblab, before);
  calcs.tdisc = "0.999";
  calcs.dateok_Click(1);
  EXPECT_EQ(calcs.tblab, "Interest Rate: 0.8102634");  // 2 ln(1.4995) = 0.81026344
}

TEST_F(FinCalcsTest, DateToMaturityFillsFromADayCount) {
  calcs.Text2[0] = "";
  calcs.Text2[1] = "91";
  calcs.dateok_Click(0);
  EXPECT_EQ(calcs.Text2[0], "12/08/2026");
  EXPECT_EQ(calcs.Text2[1], "03/09/2027");
  EXPECT_EQ(calcs.matlab, "Maturity: 0.24931507");
  calcs.dtrans_Click();
  EXPECT_EQ(services.clipboard.Text(), "0.24931507");

  calcs.Text2[0] = "01/01/2026";
  calcs.Text2[1] = "01/01/2027";
  calcs.dateok_Click(0);
  EXPECT_EQ(calcs.matlab, "Maturity: 1.00");
  EXPECT_EQ(services.dialogs.Count(), 0u);

  calcs.Text2[1] = "someday";
  EXPECT_TRUE(calcs.ConvertDates(0));
  EXPECT_EQ(services.dialogs.LastText(), "Please enter both dates");
  EXPECT_EQ(calcs.matlab, "Maturity: 1.00");

  calcs.clrdate_Click();
  EXPECT_EQ(calcs.matlab, "Maturity: ");
  EXPECT_EQ(calcs.Text2[0], "");
  EXPECT_EQ(calcs.Text2[1], "");
}

TEST_F(FinCalcsTest, EqualDatesAreRefusedWithAClearMessage) {
  calcs.Text2[0] = "01/01/2026";
  calcs.Text2[1] = "01/01/2027";
  calcs.dateok_Click(0);
  calcs.Text2[1] = "01/01/2026";
  EXPECT_TRUE(calcs.ConvertDates(0));
  EXPECT_EQ(services.dialogs.LastText(),
            "The two dates are the same day, please enter two different dates");
  EXPECT_EQ(calcs.matlab, "Maturity: 1.00");

  calcs.Text2[2] = "01/01/2026";
  calcs.Text2[3] = "0";
  calcs.tdisc = "5";
  EXPECT_TRUE(calcs.ConvertDates(1));
  EXPECT_EQ(services.dialogs.Count(), 2u);
  EXPECT_EQ(calcs.tblab, "Interest Rate: ");

  // A day count beyond the calendar is a run-time error, reported once.
  calcs.Text2[1] = "1e9";
  EXPECT_TRUE(calcs.ConvertDates(0));
  EXPECT_EQ(services.dialogs.Count(), 3u);
  EXPECT_EQ(calcs.matlab, "Maturity: 1.00");
}

TEST_F(FinCalcsTest, DateFinder) {
  calcs.tDate = "9";
  calcs.Combo1 = {5, 1, 5, 0};  // Friday after the third Friday, January
  calcs.calcDate_Click();
  EXPECT_EQ(calcs.cxDate, "01/23/2009");  // Fridays 2, 9, 16, 23
  calcs.Combo1[1] = 0;                    // before: one week back
  calcs.calcDate_Click();
  EXPECT_EQ(calcs.cxDate, "01/09/2009");
  calcs.Combo1 = {4, 0, 5, 0};  // Thursday before the third Friday
  calcs.calcDate_Click();
  EXPECT_EQ(calcs.cxDate, "01/15/2009");
  calcs.Combo1 = {6, 0, 5, 0};  // Saturday before the third Friday
  calcs.calcDate_Click();
  EXPECT_EQ(calcs.cxDate, "01/10/2009");
  calcs.Combo1 = {1, 1, 4, 11};  // Monday after the third Thursday of December
  calcs.tDate = "2026";
  calcs.calcDate_Click();
  EXPECT_EQ(calcs.cxDate, "12/21/2026");
  // Day overflow carries into the next month: Saturday after the third Friday
  // of a month whose third Friday is late is still found.
  EXPECT_EQ(FindRelativeDate(2026, 1, 6, 5, true), sys_days(year(2026) / January / 17));
  EXPECT_EQ(FindRelativeDate(2026, 2, 0, 0, true), sys_days(year(2026) / February / 22));
  EXPECT_EQ(FindRelativeDate(2026, 2, 6, 0, true), sys_days(year(2026) / February / 21));
  EXPECT_EQ(FindRelativeDate(2026, 5, 6, 5, true), sys_days(year(2026) / May / 16));

  calcs.Combo1[3] = -1;
  calcs.calcDate_Click();
  EXPECT_EQ(calcs.Combo1[3], 0);

  calcs.tfrDate_Click();
  EXPECT_EQ(calcs.Text2[1], calcs.cxDate);
  calcs.cpDate_Click();
  EXPECT_EQ(services.clipboard.Text(), calcs.cxDate);

  const std::string before = calcs.cxDate;
  for (const char* bad : {"abc", "99999", "2026.7", "26.5", "N/A"}) {
    calcs.tDate = bad;
    const size_t count = services.dialogs.Count();
    calcs.calcDate_Click();
    EXPECT_EQ(services.dialogs.Count(), count + 1) << bad;
    EXPECT_EQ(services.dialogs.LastText(), "Invalid year") << bad;
  }
  EXPECT_EQ(calcs.cxDate, before);

  calcs.cxDate = "";
  calcs.tfrDate_Click();
  EXPECT_EQ(services.dialogs.LastText(), "Please calculate the date first");
}

TEST_F(FinCalcsTest, LogsAndExponentials) {
  calcs.lgexpTxt = "2";
  calcs.logcalc_Click();
  EXPECT_EQ(calcs.lgCap, "0.69314718");
  for (const char* v : {"0", "-1"}) {
    calcs.lgexpTxt = v;
    calcs.logcalc_Click();
    EXPECT_EQ(calcs.lgCap, "NA") << v;
  }
  calcs.lgtyp_Click(1);
  EXPECT_EQ(calcs.Label1_6, "Exponential");
  calcs.lgexpTxt = "1";
  calcs.logcalc_Click();
  EXPECT_EQ(calcs.lgCap, "2.71828183");
  // From 1e12 on the fixed pattern would write hundreds of digits (e^709 has
  // 308 before the point): exponent form instead, and for tiny results too.
  calcs.lgexpTxt = "709";
  calcs.logcalc_Click();
  EXPECT_EQ(calcs.lgCap, "8.2184E+307");
  calcs.lgexpTxt = "-30";
  calcs.logcalc_Click();
  EXPECT_EQ(calcs.lgCap, "9.3576E-14");
  calcs.lgexpTxt = "30";
  calcs.logcalc_Click();
  EXPECT_EQ(calcs.lgCap, "1.0686E+13");
  calcs.lgexpTxt = "20";
  calcs.logcalc_Click();
  EXPECT_EQ(calcs.lgCap, "485165195.40979");
  calcs.lgexpTxt = "710";
  calcs.logcalc_Click();
  EXPECT_EQ(calcs.lgCap, "Overflow");
  calcs.lgcopy_Click();
  EXPECT_EQ(services.clipboard.Text(), "Overflow");
  EXPECT_EQ(services.dialogs.Count(), 0u);

  calcs.lgexpTxt = "two";
  calcs.logcalc_Click();
  EXPECT_EQ(services.dialogs.LastText(), "Invalid number");
  EXPECT_EQ(calcs.lgCap, "Overflow");
  calcs.lgtyp_Click(0);
  EXPECT_EQ(calcs.Label1_6, "Logarithm");

  // The number as typed, in double precision: held as a 32-bit float,
  // 1.0000001 is 1.00000012 and its log 0.00000012.
  calcs.lgexpTxt = "1.0000001";
  calcs.logcalc_Click();
  EXPECT_EQ(calcs.lgCap, "0.0000001");
  calcs.lgexpTxt = "2.718281828";
  calcs.logcalc_Click();
  EXPECT_EQ(calcs.lgCap, "1.00");
}

TEST_F(FinCalcsTest, TinyExponentialsKeepTheirDigits) {
  // Below e^-708 the double loses digits and from e^-746 on it is 0; the
  // references are e^v to 30 digits.
  calcs.lgtyp_Click(1);
  const std::pair<const char*, const char*> cases[] = {
      {"-700", "9.8597E-305"},  {"-709", "1.2168E-308"},   {"-720", "2.0322E-313"},
      {"-740", "4.1887E-322"},  {"-745", "2.8224E-324"},   {"-746", "1.0383E-324"},
      {"-1000", "5.0760E-435"}, {"-1e6", "3.2968E-434295"}};
  for (const auto& [v, shown] : cases) {
    calcs.lgexpTxt = v;
    calcs.logcalc_Click();
    EXPECT_EQ(calcs.lgCap, shown) << v;
  }
  // A mantissa of 9.99995 or more rounds up into the next power of ten:
  // e^(-ln(10) * 400.000001) = 9.99997697E-401.
  calcs.lgexpTxt = "-921.0340395";
  calcs.logcalc_Click();
  EXPECT_EQ(calcs.lgCap, "1.0000E-400");
  calcs.lgexpTxt = "-1e30";
  calcs.logcalc_Click();
  EXPECT_EQ(calcs.lgCap, "NA");
  EXPECT_EQ(services.dialogs.Count(), 0u);
}

TEST_F(FinCalcsTest, LargeSumsKeepTheirCentsAndNegativePercentYieldsAreRefused) {
  // In single precision 123456789 + 0.5 was shown as 123456800.00.
  SetRow(1, "0", "0", "123456789");
  SetRow(2, "0", "0", "0.5");
  calcs.pvcalc_Click();
  EXPECT_EQ(calcs.pvlab, "123456789.50");
  SetRow(2, "1", "5", "1000000");  // 1e6 e^-0.05 = 951229.424500714
  calcs.pvcalc_Click();
  EXPECT_EQ(calcs.pvlab, "124408018.42");

  // -5 in the yield column was -500 %: 100 at one year worth 14841.3.
  SetRow(1, "1", "-5", "100");
  SetRow(2, "", "", "");
  calcs.pvcalc_Click();
  EXPECT_EQ(services.dialogs.LastText(), std::string(FinancialCalcs::kNegativePercentYield) + "1");
  EXPECT_EQ(calcs.pvlab, "124408018.42");
  SetRow(1, "1", "-0.05", "100");
  calcs.pvcalc_Click();
  EXPECT_EQ(calcs.pvlab, "105.1271");  // 100 e^0.05 = 105.127109637602
}

TEST_F(FinCalcsTest, DayCountsAreWholeAndQuotesNeedAMaturityAfterToday) {
  // 91.5 days showed the date 92 days on beside a maturity of 91.5 / 365.
  calcs.Text2[0] = "12/08/2026";
  calcs.Text2[1] = "91.5";
  EXPECT_TRUE(calcs.ConvertDates(0));
  EXPECT_EQ(services.dialogs.LastText(), FinancialCalcs::kWholeDays);
  EXPECT_EQ(calcs.Text2[1], "91.5");
  EXPECT_EQ(calcs.matlab, "Maturity: ");

  // A T-Bill maturing 90 days before today gave 5.04 %, a LIBOR quote the
  // same, a zero price a negative rate.
  for (int type : {FinancialCalcs::kTBill, FinancialCalcs::kLibor, FinancialCalcs::kZero}) {
    calcs.irtyp_Click(type);
    calcs.Text2[2] = "04/01/2026";
    calcs.Text2[3] = "01/01/2026";
    calcs.tdisc = type == FinancialCalcs::kZero ? "99" : "0.05";
    const size_t shown = services.dialogs.Count();
    calcs.dateok_Click(1);
    EXPECT_EQ(services.dialogs.Count(), shown + 1) << type;
    EXPECT_EQ(services.dialogs.LastText(), FinancialCalcs::kMaturityPast) << type;
    EXPECT_EQ(calcs.tblab, "Interest Rate: ") << type;
  }

  // LIBOR 5.25 was 525 %: a rate of 3.3 with no word.
  calcs.irtyp_Click(FinancialCalcs::kLibor);
  calcs.Text2[2] = "01/01/2026";
  calcs.Text2[3] = "04/01/2026";
  calcs.tdisc = "5.25";
  services.clipboard.SetText("kept");
  calcs.btrans_Click();
  EXPECT_EQ(services.dialogs.LastText(), FinancialCalcs::kLiborDecimal);
  EXPECT_EQ(services.clipboard.Text(), "kept");
  calcs.tdisc = "0.0525";
  calcs.btrans_Click();
  // (365 / 90) ln(1 + 0.0525 x 90 / 360) = 0.052882877
  EXPECT_EQ(calcs.rateText, "0.0528829");
}

TEST(FinCalcsLocale, CommaSeparatorAndDayFirstDates) {
  ScopedEntryLocale locale{DayFirstComma()};
  testing::FakeServices services;
  Grid grid;
  FinancialCalcs calcs(grid);
  calcs.Form_Load(kToday);
  EXPECT_EQ(calcs.Text2[0], "08.12.2026");
  EXPECT_EQ(calcs.cxDate, "19.12.2026");
  grid.SetTextMatrix(1, 0, "1");
  grid.SetTextMatrix(1, 1, "0,05");
  grid.SetTextMatrix(1, 2, "100");
  grid.SetTextMatrix(2, 0, "2");
  grid.SetTextMatrix(2, 1, "5");
  grid.SetTextMatrix(2, 2, "100");
  calcs.pvcalc_Click();
  EXPECT_EQ(calcs.pvlab, "185,6067");
  // Pasted commas are the decimal separator here and stay.
  services.clipboard.SetText("2,5");
  grid.SetRow(3);
  grid.SetCol(0);
  calcs.Grid1_EnterCell();
  calcs.Grid1_KeyPress(22);
  EXPECT_EQ(grid.TextMatrix(3, 0), "2,5");
  calcs.Text2[0] = "01/01/2026";
  calcs.Text2[1] = "01.07.2026";  // 1 July
  calcs.dateok_Click(0);
  EXPECT_EQ(calcs.matlab, "Maturity: 0,49589041");
  calcs.Text2[1] = "10";
  calcs.dateok_Click(0);
  EXPECT_EQ(calcs.Text2[1], "11.01.2026");
}

}  // namespace
}  // namespace stratlyn
