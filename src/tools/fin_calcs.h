#pragma once
// The financial tools of the calculators window, without widgets: the
// present value table, the interest-rate quote converter, dates to maturity,
// the expiry-date finder, logarithms and exponentials. The members hold what
// the window's controls show (named as the controls); the window copies its
// inputs in, calls a handler and copies the results back out. Messages go
// through AppDialogs(), copies through AppClipboard().

#include <array>
#include <chrono>
#include <optional>
#include <string>
#include <string_view>

#include "util/grid.h"
#include "util/locale_info.h"

namespace stratlyn {

// xval / 100 when xval is 1 or more and xStr names an interest rate,
// volatility or dividend ("terest", "olatility", "ividend", case-sensitive),
// so a percentage becomes a decimal; otherwise xval.
double Check_Rate(double xval, std::string_view xStr);

// The date finder: the `target` weekday (0 Sunday .. 6 Saturday) before or
// after the third `reference` weekday of a month (1..12). With the same
// weekday in both, "after" gives the fourth and "before" the second such day.
std::chrono::sys_days FindRelativeDate(int year, int month, int target, int reference, bool after);

class FinancialCalcs {
 public:
  // Messages and captions.
  static constexpr const char* kTitle = "Calculator";
  static constexpr const char* kGridTitle = "Error";
  static constexpr const char* kNonNumericTable = "Non-numeric entry in table";
  static constexpr const char* kNonNumericEntry = "Non-Numeric Data Entry";
  static constexpr const char* kInvalidRate =
      "Invalid interest rate, please enter a positive decimal, e.g. 0.045";
  static constexpr const char* kInvalidFrequency =
      "Invalid frequency, please enter an integer between 1 and 365";
  static constexpr const char* kBothDates = "Please enter both dates";
  static constexpr const char* kSameDates =
      "The two dates are the same day, please enter two different dates";
  static constexpr const char* kInvalidEntryFor = "Invalid Entry for ";
  static constexpr const char* kWholeDays = "Please enter a whole number of days, or a date";
  static constexpr const char* kMaturityPast =
      "The maturity is before today: a quote has no rate for a past maturity";
  static constexpr const char* kLiborDecimal =
      "Invalid LIBOR, please enter it as a decimal, 5.25 % as 0.0525";
  static constexpr const char* kNegativePercentYield =
      "A yield of -1 or less: type a negative yield as a decimal, -0.5 % as -0.005, in row ";
  static constexpr const char* kInvalidPrice = "Invalid Price";
  static constexpr const char* kInvalidYear = "Invalid year";
  static constexpr const char* kCalculateFirst = "Please calculate the date first";
  static constexpr const char* kInvalidNumber = "Invalid number";
  static constexpr const char* kRateCaption = "Interest Rate: ";
  static constexpr const char* kMaturityCaption = "Maturity: ";
  static constexpr const char* kNotAvailable = "NA";

  static constexpr std::array<const char*, 7> kWeekdays = {
      "Sunday", "Monday", "Tuesday", "Wednesday", "Thursday", "Friday", "Saturday"};
  static constexpr std::array<const char*, 2> kBeforeAfter = {"before", "after"};
  static constexpr std::array<const char*, 12> kMonths = kEnglishMonthNames;
  static constexpr std::array<const char*, 3> kGridHeadings = {"Time", "Yield", "Amount"};
  static constexpr int kDataRows = 24;

  // Quote types of the rate panel (`irtyp` index).
  enum QuoteType { kTBill = 0, kLibor = 1, kZero = 2, kDiscrete = 3 };

  // `grid` is the present value table (not owned; it must outlive this).
  // Numbers and dates are read and written in the entry locale
  // (util/locale_info.h) with the shared entry helpers.
  explicit FinancialCalcs(Grid& grid);

  // Opening the window: the locale's date order (DetectDateFormat), today's
  // date into both "Today" boxes, the table's headings and size, the start
  // selections of the lists, the current month and year, and the date finder
  // computed once.
  void Form_Load(std::chrono::sys_days today);
  // The date used for "today" when a box is filled by a day count.
  void SetToday(std::chrono::sys_days today) { today_ = today; }

  // Present value table.
  void pvcalc_Click();
  void pvcpy_Click();
  void clrPV_Click();
  // Grid events: the current cell changed (the window calls this whenever
  // Row/Col differ from the remembered cell), double-click, key press with
  // its character code, key down with its key code (46 Delete, 37..40 arrows).
  void Grid1_EnterCell();
  void Grid1_DblClick();
  void Grid1_KeyPress(int key_ascii);
  void Grid1_KeyDown(int key_code);
  int EditRow() const { return edit_row_; }
  int EditCol() const { return edit_col_; }
  const std::string& editBuffer() const { return edit_buffer_; }

  // Rate quote panel.
  void irtyp_Click(int index);
  void dateok_Click(int index);
  void btrans_Click();
  void clrRate_Click();
  // Enter (13) presses "Convert" and returns true (the key is swallowed).
  bool tdisc_KeyPress(int key_ascii);
  // Date panel.
  void dtrans_Click();
  void clrdate_Click();
  // Returns true when an input error was reported. Run-time errors go to
  // the error handler and count as reported.
  bool ConvertDates(int index);

  // Date finder.
  void calcDate_Click();
  void cpDate_Click();
  void tfrDate_Click();

  // Logs and exponentials.
  void lgtyp_Click(int index);
  void logcalc_Click();
  void lgcopy_Click();

  // --- What the controls show -------------------------------------------
  std::string pvlab;

  int irtyp = kTBill;
  // Text2(0) "Today" and Text2(1) "Future Date" of the date panel; Text2(2)
  // "Today" and Text2(3) "Maturity"/"Frequency" of the rate panel.
  std::array<std::string, 4> Text2;
  std::string tdisc;
  std::string tblab = kRateCaption;
  std::string matlab = kMaturityCaption;
  std::string Label1_2 = "Maturity";  // caption over Text2(3)
  bool Label1_3_enabled = true;       // "Today" of the rate panel
  std::string Label1_4 = "T-Bill";    // caption over tdisc

  // Selected positions of Combo1(0..3) (-1: none): target weekday,
  // before/after, reference weekday, month.
  std::array<int, 4> Combo1 = {-1, -1, -1, -1};
  std::string tDate;
  std::string cxDate;

  int lgtyp = 0;
  std::string lgexpTxt;
  std::string lgCap;
  std::string Label1_6 = "Logarithm";

  // Last results for the converters' "Copy" buttons.
  std::string maturityText;
  std::string rateText;
  std::array<double, 2> dayPair = {0.0, 0.0};

 private:
  static std::optional<double> Number(const std::string& text);
  std::string Format(double value, std::string_view pattern) const;
  // A log or exponential: "#######0.00######", or "8.2184E+307" for
  // magnitudes from 1e12 and below 1e-8.
  std::string LogText(double value) const;
  // e^v for v below the double's normal range: "4.1887E-322".
  std::string TinyExpText(double v) const;
  void Critical(const std::string& text, const char* title) const;
  void ReportRunTimeError(const std::exception& error) const;
  bool ConvertDatesUnchecked(int index);
  bool DiscreteRate();
  bool ConvertRate();
  void CommitBuffer();
  void PutOnClipboard(const std::string& text) const;

  Grid& grid_;
  std::chrono::sys_days today_{};

  std::string edit_buffer_;
  std::string cell_start_text_;
  int edit_row_ = 0;
  int edit_col_ = 0;
};

}  // namespace stratlyn
