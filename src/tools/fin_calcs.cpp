#include "tools/fin_calcs.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <exception>

#include "tools/keypad.h"
#include "util/dates.h"
#include "util/error_handler.h"
#include "util/format.h"
#include "util/fp_checks.h"
#include "util/grid_clipboard.h"
#include "util/locale_info.h"
#include "util/numeric_entry.h"
#include "util/services.h"
#include "util/text.h"
#include "util/zel_error.h"

namespace stratlyn {
namespace {

using std::chrono::day;
using std::chrono::days;
using std::chrono::month;
using std::chrono::sys_days;
using std::chrono::year;
using std::chrono::year_month_day;

constexpr std::string_view kPvFormat = "#####0.00####";
constexpr std::string_view kRateFormat = "#####0.00#####";
constexpr std::string_view kMaturityFormat = "##0.00######";
constexpr std::string_view kLogFormat = "#######0.00######";
// Logs and exponentials from this size on (where the fixed pattern would pass
// 15 significant digits), and below 1e-8, in exponent form.
constexpr double kLogExponentFrom = 1e12;
constexpr const char* kLogExponentFormat = "%.4E";
// Exponentials from here down are below the smallest normal double.
constexpr double kNormalExpFrom = -708.0;
// Beyond 1e11 decimal places an exponent leaves no exact mantissa digits.
constexpr double kTinyExpDigitsFrom = 1e11;

// Start selections of the date finder: Saturday after the third Friday.
constexpr int kStartTarget = 6;
constexpr int kStartReference = 5;
constexpr int kAfter = 1;

// The decimal value a single-precision number stands for (its 7 significant
// digits), so 185.6067f is written as 185.6067 and not 185.606719970703.
double SingleValue(float value) {
  char buf[32];
  std::snprintf(buf, sizeof buf, "%.7g", static_cast<double>(value));
  return std::strtod(buf, nullptr);
}

// A sum shown with the 7 significant digits of the table's figures, and
// never fewer than its pattern's 2 decimals (cents of a large amount).
double ShownValue(double value) {
  if (std::fabs(value) >= 1e5) {
    return std::fabs(value) < 1e15 ? std::nearbyint(value * 100) / 100 : value;
  }
  char buf[32];
  std::snprintf(buf, sizeof buf, "%.7g", value);
  return std::strtod(buf, nullptr);
}

// The date `count` days (rounded to whole days) after `start`; zelError 5
// when it leaves the years 100 to 9999.
sys_days AddDays(sys_days start, double count) {
  constexpr double kLimit = 4.0e6;  // more than the whole date range
  if (!(std::fabs(count) < kLimit)) {
    throw zelError(err::kInvalidCall);
  }
  const sys_days result = start + days(static_cast<long>(std::nearbyint(count)));
  const year_month_day ymd(result);
  if (ymd.year() < year(100) || ymd.year() > year(9999)) {
    throw zelError(err::kInvalidCall);
  }
  return result;
}

// Dates are shown in the locale's short form, which ParseDateText reads back.
std::string DateText(sys_days date) { return FormatShortDate(year_month_day(date)); }

std::optional<sys_days> DateOf(const std::string& text) {
  const std::optional<year_month_day> date = ParseDateText(text);
  if (!date) {
    return std::nullopt;
  }
  return sys_days(*date);
}

}  // namespace

double Check_Rate(double xval, std::string_view xStr) {
  if (xval >= 1.0 && (xStr.find("terest") != std::string_view::npos ||
                      xStr.find("olatility") != std::string_view::npos ||
                      xStr.find("ividend") != std::string_view::npos)) {
    return xval / 100.0;
  }
  return xval;
}

sys_days FindRelativeDate(int y, int m, int target, int reference, bool after) {
  const sys_days first_of_month{year(y) / month(static_cast<unsigned>(m)) / day(1)};
  const std::chrono::weekday first_weekday(first_of_month);
  // First day (1..7) that falls on the reference weekday; the third is 14 later.
  const int d =
      1 + static_cast<int>(
              (std::chrono::weekday(static_cast<unsigned>(reference)) - first_weekday).count());
  int day_number = d + 14;
  if (target == reference) {
    // The same weekday: the next one after, or the one before, the third.
    day_number += after ? 7 : -7;
  } else {
    const int diff = target - reference;
    if (after && diff < 1) {
      day_number += 7;
    }
    if (!after && diff > 0) {
      day_number -= 7;
    }
    day_number += diff;
  }
  return first_of_month + days(day_number - 1);
}

FinancialCalcs::FinancialCalcs(Grid& grid) : grid_(grid) {}

std::optional<double> FinancialCalcs::Number(const std::string& text) {
  // Read as every entry field is; a slash belongs to a date here.
  const EntryReading v = ReadEntry(text, EntryKind::kNumber);
  if (v.blank || v.not_available || !v.value || v.normalised.find('/') != std::string::npos) {
    return std::nullopt;
  }
  return v.value;
}

namespace {
// An entry as a single, 0 when it is no number (the callers check first).
float EntrySingle(const std::string& text) {
  const EntryReading v = ReadEntry(text, EntryKind::kNumber);
  return v.value ? static_cast<float>(*v.value) : 0.0f;
}
}  // namespace

std::string FinancialCalcs::Format(double value, std::string_view pattern) const {
  std::string text = FormatNumber(value, pattern, '.');
  const std::string& decimal_point = CurrentEntryLocale().decimal_point;
  const size_t point = text.find('.');
  if (point != std::string::npos && !decimal_point.empty()) {
    text.replace(point, 1, decimal_point);
  }
  return text;
}

void FinancialCalcs::Critical(const std::string& text, const char* title) const {
  AppDialogs().Show(text, MsgButtons::Ok, MsgIcon::Critical, title);
}

void FinancialCalcs::ReportRunTimeError(const std::exception& error) const { ErrorHandler(error); }

void FinancialCalcs::PutOnClipboard(const std::string& text) const {
  try {
    AppClipboard().Clear();
    AppClipboard().SetText(text);
  } catch (const std::exception& error) {
    ReportRunTimeError(error);
  }
}

void FinancialCalcs::Form_Load(sys_days today) {
  DetectDateFormat();
  today_ = today;
  Text2[0] = DateText(today);
  Text2[2] = Text2[0];

  grid_.SetRedraw(false);
  grid_.SetCols(3);
  grid_.SetRows(kDataRows + 1);
  grid_.SetFixedRows(1);
  grid_.SetFixedCols(0);
  for (int c = 0; c < 3; ++c) {
    grid_.SetTextMatrix(0, c, kGridHeadings[c]);
  }
  grid_.SetRow(1);
  grid_.SetCol(0);
  grid_.SetRedraw(true);
  Grid1_EnterCell();

  const year_month_day ymd(today);
  Combo1 = {kStartTarget, kAfter, kStartReference,
            static_cast<int>(static_cast<unsigned>(ymd.month())) - 1};
  tDate = std::to_string(static_cast<int>(ymd.year()));
  calcDate_Click();
}

// ---------------------------------------------------------------------------
// Present value table

void FinancialCalcs::pvcalc_Click() {
  try {
    // In double precision: a single-precision sum shows 123456789 as
    // 123456800.00.
    double pv = 0.0;
    for (int row = 1; row < grid_.Rows(); ++row) {
      std::array<double, 3> values{};
      for (int col = 0; col < 3; ++col) {
        const std::string& text = grid_.TextMatrix(row, col);
        if (Trim(text, kSpace).empty()) {
          continue;
        }
        const std::optional<double> value = Number(text);
        if (!value) {
          Critical(kNonNumericTable, kTitle);
          return;
        }
        values[col] = *value;
      }
      const double t = values[0];
      // A yield of -1 or less is -100 % or less as a decimal, or a negative
      // percentage: which one is not for this table to guess.
      if (values[1] <= -1.0) {
        Critical(kNegativePercentYield + std::to_string(row), kTitle);
        return;
      }
      const double y = Check_Rate(values[1], "Interest rate in row " + std::to_string(row));
      const double a = values[2];
      pv += a * CheckFinite(std::exp(-y * t));
      static_cast<void>(ToSingle(pv));  // zelError 6 beyond the table's range
    }
    pvlab = Format(ShownValue(pv), kPvFormat);
  } catch (const std::exception& error) {
    ReportRunTimeError(error);
  }
}

void FinancialCalcs::pvcpy_Click() { PutOnClipboard(pvlab); }

void FinancialCalcs::clrPV_Click() {
  pvlab.clear();
  grid_.SetRedraw(false);
  grid_.SetRow(1);
  grid_.SetCol(0);
  grid_.SetRowSel(grid_.Rows() - 1);
  grid_.SetColSel(grid_.Cols() - 1);
  for (int row = 1; row < grid_.Rows(); ++row) {
    for (int col = 0; col < grid_.Cols(); ++col) {
      grid_.SetTextMatrix(row, col, "");
    }
  }
  grid_.SetRedraw(true);
  Grid1_EnterCell();
}

void FinancialCalcs::Grid1_EnterCell() {
  edit_buffer_.clear();
  edit_row_ = grid_.Row();
  if (edit_row_ >= 1) {
    edit_col_ = grid_.Col();
    cell_start_text_ = grid_.Text();
  }
}

void FinancialCalcs::Grid1_DblClick() {
  if (grid_.Row() == 0) {
    return;
  }
  edit_buffer_ = grid_.Text();
}

void FinancialCalcs::CommitBuffer() {
  if (edit_buffer_.empty()) {
    return;
  }
  if (Number(edit_buffer_)) {
    grid_.SetTextMatrix(edit_row_, edit_col_, edit_buffer_);
    cell_start_text_ = edit_buffer_;
    edit_buffer_.clear();
  } else {
    Critical(kNonNumericEntry, kGridTitle);
  }
}

void FinancialCalcs::Grid1_KeyPress(int key_ascii) {
  if (grid_.Row() == 0 || edit_row_ == 0) {
    return;
  }
  if (key_ascii == 3) {  // Ctrl+C: the selected cells
    CopyGridToClipboard(grid_);
    return;
  }
  if (key_ascii == 22) {  // Ctrl+V into the selection
    PasteClipboardToGrid(grid_);
    return;
  }
  grid_.SetRow(edit_row_);
  grid_.SetCol(edit_col_);
  switch (key_ascii) {
    case 27:  // Esc
      grid_.SetText(cell_start_text_);
      edit_buffer_.clear();
      break;
    case 8:  // Backspace
      if (edit_buffer_.size() < 2) {
        edit_buffer_.clear();
      } else {
        edit_buffer_.pop_back();
      }
      grid_.SetText(edit_buffer_);
      break;
    case 13:  // Enter
      if (Number(edit_buffer_)) {
        grid_.SetText(edit_buffer_);
        // What Enter committed is what Esc goes back to from now on.
        cell_start_text_ = edit_buffer_;
        edit_buffer_.clear();
      } else if (!edit_buffer_.empty() && edit_col_ != 1) {
        Critical(kNonNumericEntry, kGridTitle);
      }
      break;
    default:
      if (key_ascii < 32 || key_ascii > 126) {
        return;  // control keys and non-ASCII type nothing
      }
      edit_buffer_.push_back(static_cast<char>(key_ascii));
      grid_.SetText(edit_buffer_);
      break;
  }
}

void FinancialCalcs::Grid1_KeyDown(int key_code) {
  if (grid_.Row() == 0 || edit_row_ == 0) {
    return;
  }
  if (key_code == 46) {  // Delete empties the selected cells
    const int r0 = std::min(grid_.Row(), grid_.RowSel());
    const int r1 = std::max(grid_.Row(), grid_.RowSel());
    const int c0 = std::min(grid_.Col(), grid_.ColSel());
    const int c1 = std::max(grid_.Col(), grid_.ColSel());
    grid_.SetRedraw(false);
    for (int r = std::max(r0, grid_.FixedRows()); r <= r1; ++r) {
      for (int c = c0; c <= c1; ++c) {
        grid_.SetTextMatrix(r, c, "");
      }
    }
    grid_.SetRedraw(true);
    // What was typed is gone with the cell; the next key starts afresh.
    edit_buffer_.clear();
  } else if (key_code >= 37 && key_code <= 40) {
    CommitBuffer();
  }
}

// ---------------------------------------------------------------------------
// Rate quotes and dates

void FinancialCalcs::irtyp_Click(int index) {
  if (index < kTBill || index > kDiscrete) {
    return;
  }
  irtyp = index;
  static constexpr std::array<const char*, 4> kQuoteCaptions = {"T-Bill", "LIBOR", "Price", "Rate"};
  Label1_4 = kQuoteCaptions[index];
  Label1_2 = index == kDiscrete ? "Frequency" : "Maturity";
  Label1_3_enabled = index != kDiscrete;
  if (index == kDiscrete) {
    Text2[3].clear();
  }
}

bool FinancialCalcs::DiscreteRate() {
  const float r = EntrySingle(tdisc);
  // A decimal: 4.5 typed for 4.5 % would be 450 %, shown as 1.7 without a
  // word.
  if (!(r > 0.0f && r < 1.0f)) {
    Critical(kInvalidRate, kMessageTitle);
    return true;
  }
  const std::optional<double> frequency = Number(Text2[3]);
  // A whole number of periods: 12.6 is refused, not taken as 13.
  const double m = frequency && *frequency == std::nearbyint(*frequency) ? *frequency : 0.0;
  if (!(m >= 1.0 && m <= 365.0)) {
    Critical(kInvalidFrequency, kMessageTitle);
    return true;
  }
  const double rate = m * std::log1p(static_cast<double>(r) / m);
  rateText = Format(rate, kRateFormat);
  tblab = kRateCaption + rateText;
  return false;
}

bool FinancialCalcs::ConvertRate() {
  if (irtyp != kDiscrete) {
    return ConvertDates(1);
  }
  try {
    return DiscreteRate();
  } catch (const std::exception& error) {
    ReportRunTimeError(error);
    return true;
  }
}

void FinancialCalcs::dateok_Click(int index) {
  if (index == 1) {
    ConvertRate();
  } else if (index == 0) {
    ConvertDates(0);
  }
}

void FinancialCalcs::btrans_Click() {
  if (!ConvertRate()) {
    PutOnClipboard(rateText);
  }
}

void FinancialCalcs::clrRate_Click() {
  tblab = kRateCaption;
  Text2[2].clear();
  Text2[3].clear();
  tdisc.clear();
}

bool FinancialCalcs::tdisc_KeyPress(int key_ascii) {
  if (key_ascii != 13) {
    return false;
  }
  dateok_Click(1);
  return true;
}

void FinancialCalcs::dtrans_Click() { PutOnClipboard(maturityText); }

void FinancialCalcs::clrdate_Click() {
  matlab = kMaturityCaption;
  Text2[0].clear();
  Text2[1].clear();
}

bool FinancialCalcs::ConvertDates(int index) {
  if (index != 0 && index != 1) {
    return true;
  }
  try {
    return ConvertDatesUnchecked(index);
  } catch (const std::exception& error) {
    ReportRunTimeError(error);
    return true;
  }
}

bool FinancialCalcs::ConvertDatesUnchecked(int index) {
  std::string& a = Text2[2 * static_cast<size_t>(index)];
  std::string& b = Text2[2 * static_cast<size_t>(index) + 1];
  if (Number(b)) {
    const float count = EntrySingle(b);
    // A date is whole days away: 91.5 would show the date 92 days on beside
    // the maturity of 91.5.
    if (count != std::nearbyint(count)) {
      Critical(kWholeDays, kMessageTitle);
      return true;
    }
    dayPair = {0.0, count};
    std::optional<sys_days> start = DateOf(a);
    if (!start) {
      start = today_;
      a = DateText(today_);
    }
    b = DateText(AddDays(*start, count));
  } else {
    const std::optional<sys_days> start = DateOf(a);
    const std::optional<sys_days> end = DateOf(b);
    if (!start || !end) {
      Critical(kBothDates, kMessageTitle);
      return true;
    }
    dayPair = {static_cast<double>(start->time_since_epoch().count()),
               static_cast<double>(end->time_since_epoch().count())};
  }
  const double span = dayPair[1] - dayPair[0];
  if (span == 0.0) {
    // A maturity of no time has no rate and no meaning; nothing else changes.
    Critical(kSameDates, kMessageTitle);
    return true;
  }

  if (index == 0) {
    const double years = span / 365.0;
    maturityText = Format(years, kMaturityFormat);
    matlab = kMaturityCaption + maturityText;
    return false;
  }

  if (!Number(tdisc)) {
    Critical(kInvalidEntryFor + Trim(Label1_4, kSpace), kMessageTitle);
    return true;
  }
  // A quote for a maturity already past has no rate (its formulas give one
  // of the wrong sign or a plausible one for the wrong dates).
  if (span < 0) {
    Critical(kMaturityPast, kMessageTitle);
    return true;
  }
  const double q = EntrySingle(tdisc);
  // LIBOR is a decimal here: 5.25 would be 525 %, a rate of 3.3 shown
  // without a word.
  if (irtyp == kLibor && std::fabs(q) >= 1.0) {
    Critical(kLiborDecimal, kMessageTitle);
    return true;
  }
  double x = 0.0;
  switch (irtyp) {
    case kTBill: {
      const double price = 100.0 - q * span / 360.0;
      x = CheckedDiv(100.0, price);
      break;
    }
    case kLibor:
      x = 1.0 + Check_Rate(q, "LIBOR") * span / 360.0;
      break;
    case kZero:
      if (!(q > 0.0)) {
        Critical(kInvalidPrice, kTitle);
        return true;
      }
      x = CheckedDiv(100.0, q);
      break;
    default:
      return true;
  }
  const float rate = ToSingle(CheckedDiv(365.0, span) * CheckedLog(x));
  rateText = Format(SingleValue(rate), kRateFormat);
  tblab = kRateCaption + rateText;
  return false;
}

// ---------------------------------------------------------------------------
// Date finder

void FinancialCalcs::calcDate_Click() {
  const std::optional<double> typed = Number(tDate);
  double y = typed ? static_cast<double>(static_cast<float>(*typed)) : 0.0;
  if (typed && y < 1900) {
    y += 2000;
  }
  // Beyond the calendar's years there is no date to show; a year is whole
  // (2026.7 is refused, not taken as 2027).
  if (!typed || y < 100 || y > 9999 || y != std::nearbyint(y)) {
    Critical(kInvalidYear, kTitle);
    return;
  }
  if (Combo1[3] < 0 || Combo1[3] > 11) {
    Combo1[3] = 0;
  }
  if (Combo1[0] < 0 || Combo1[0] > 6) {
    Combo1[0] = kStartTarget;
  }
  if (Combo1[1] < 0 || Combo1[1] > 1) {
    Combo1[1] = kAfter;
  }
  if (Combo1[2] < 0 || Combo1[2] > 6) {
    Combo1[2] = kStartReference;
  }
  const sys_days date = FindRelativeDate(static_cast<int>(y), Combo1[3] + 1, Combo1[0], Combo1[2],
                                         Combo1[1] == kAfter);
  cxDate = DateText(date);
}

void FinancialCalcs::cpDate_Click() { PutOnClipboard(Trim(cxDate, kSpace)); }

void FinancialCalcs::tfrDate_Click() {
  if (DateOf(cxDate)) {
    Text2[1] = Trim(cxDate, kSpace);
  } else {
    Critical(kCalculateFirst, kTitle);
  }
}

// ---------------------------------------------------------------------------
// Logs and exponentials

void FinancialCalcs::lgtyp_Click(int index) {
  if (index != 0 && index != 1) {
    return;
  }
  lgtyp = index;
  Label1_6 = index == 0 ? "Logarithm" : "Exponential";
}

void FinancialCalcs::logcalc_Click() {
  if (!Number(lgexpTxt)) {
    Critical(kInvalidNumber, kTitle);
    return;
  }
  // In double precision: the number as typed, not its 32-bit neighbour (the
  // log of 2.718281828 is 0.99999999984, not 0.99999997).
  const double v = *Number(lgexpTxt);
  if (lgtyp == 0) {
    lgCap = v > 0.0 ? LogText(std::log(v)) : kNotAvailable;
  } else {
    const double e = std::exp(v);
    if (!std::isfinite(e)) {
      lgCap = ErrorText(err::kOverflow);
    } else if (v < kNormalExpFrom) {
      lgCap = TinyExpText(v);
    } else {
      lgCap = LogText(e);
    }
  }
}

std::string FinancialCalcs::TinyExpText(double v) const {
  // Below about e^-708 the double result loses digits (e^-740 is 4.1996E-322
  // against 4.1887E-322) and from e^-746 on it is 0: the digits come from
  // the exponent's decimal logarithm instead.
  const double e10 = v / std::log(10.0);
  if (!(e10 > -kTinyExpDigitsFrom)) {
    return kNotAvailable;  // the mantissa's digits are lost in the exponent
  }
  double exponent = std::floor(e10);
  double mantissa = std::pow(10.0, e10 - exponent);
  char buf[40];
  std::snprintf(buf, sizeof buf, "%.4f", mantissa);
  if (std::strtod(buf, nullptr) >= 10.0) {
    exponent += 1;
    mantissa /= 10.0;
    std::snprintf(buf, sizeof buf, "%.4f", mantissa);
  }
  std::string text(buf);
  const size_t point = text.find('.');
  const std::string& decimal_point = CurrentEntryLocale().decimal_point;
  if (point != std::string::npos && !decimal_point.empty()) {
    text.replace(point, 1, decimal_point);
  }
  char power[32];
  std::snprintf(power, sizeof power, "E-%02.0f", -exponent);
  return text + power;
}

std::string FinancialCalcs::LogText(double value) const {
  // Magnitudes the fixed pattern would write with hundreds of digits (e^709
  // has 308) are shown in exponent form, "8.2184E+307".
  if (value != 0.0 && (std::fabs(value) >= kLogExponentFrom || std::fabs(value) < 1e-8)) {
    char buf[40];
    std::snprintf(buf, sizeof buf, kLogExponentFormat, value);
    std::string text(buf);
    const size_t point = text.find('.');
    const std::string& decimal_point = CurrentEntryLocale().decimal_point;
    if (point != std::string::npos && !decimal_point.empty()) {
      text.replace(point, 1, decimal_point);
    }
    return text;
  }
  return Format(value, kLogFormat);
}

void FinancialCalcs::lgcopy_Click() { PutOnClipboard(lgCap); }

}  // namespace stratlyn
