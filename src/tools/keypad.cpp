#include "tools/keypad.h"

#include <cmath>
#include <cstdio>

#include "util/grid_clipboard.h"
#include "util/locale_info.h"
#include "util/numeric_entry.h"
#include "util/services.h"
#include "util/text.h"
#include "util/zel_error.h"

namespace stratlyn {

std::string DefaultNumberText(double value, std::string_view decimal_point) {
  if (value == 0.0) {
    return "0";  // also for -0
  }
  if (std::isnan(value)) {
    return "NaN";
  }
  if (std::isinf(value)) {
    return value > 0 ? "Infinity" : "-Infinity";
  }
  char buf[48];
  std::snprintf(buf, sizeof buf, "%.15G", value);
  std::string text(buf);
  const size_t point = text.find('.');
  if (point != std::string::npos) {
    text.replace(point, 1, decimal_point);
  }
  return text;
}

Keypad::Keypad() : decimal_point_(CurrentEntryLocale().decimal_point) {
  if (decimal_point_.empty()) {
    decimal_point_ = ".";
  }
  Cancel_Click();
}

double Keypad::Value(const Operand& operand) const {
  if (const double* number = std::get_if<double>(&operand)) {
    return *number;
  }
  return VariantAsDouble(std::get<std::string>(operand));
}

std::string Keypad::OperandText(const Operand& operand) const {
  if (const double* number = std::get_if<double>(&operand)) {
    return DefaultNumberText(*number, decimal_point_);
  }
  return std::get<std::string>(operand);
}

void Keypad::Number_Click(int digit) {
  if (digit < 0 || digit > 9) {
    return;
  }
  if (last_input_ != kNums) {
    display_ = decimal_point_;
    decimal_entered_ = false;
  }
  const char d = static_cast<char>('0' + digit);
  if (decimal_entered_) {
    display_.push_back(d);
  } else {
    // Digits go in front of the trailing separator. A display without a
    // separator (pasted text) is read as "0." so the digit has a place.
    size_t point = display_.find(decimal_point_);
    if (point == std::string::npos) {
      display_ = ZeroText();
      point = 1;
    }
    display_ = display_.substr(0, point) + d + decimal_point_;
  }
  if (last_input_ == kNeg) {
    display_.insert(display_.begin(), '-');
  }
  last_input_ = kNums;
}

void Keypad::bDecimal_Click() {
  if (last_input_ == kNeg) {
    display_ = "-" + ZeroText();
  } else if (last_input_ != kNums) {
    display_ = ZeroText();
  }
  decimal_entered_ = true;
  last_input_ = kNums;
}

void Keypad::Operator_Click(char caption) {
  if (caption != kDivide && caption != kPlus && caption != kTimes && caption != kMinus &&
      caption != kEquals) {
    return;
  }
  const std::string at_key = display_;
  if (last_input_ == kNums) {
    ++operand_count_;
  }
  switch (operand_count_) {
    case 0:
      if (caption == kMinus && last_input_ != kNeg) {
        display_.insert(display_.begin(), '-');
        last_input_ = kNeg;
      }
      break;
    case 1:
      first_operand_ = display_;
      if (caption == kMinus && last_input_ != kNums && pending_operator_ != kEquals) {
        display_ = "-";
        last_input_ = kNeg;
      }
      break;
    case 2: {
      second_operand_ = at_key;
      const double a = Value(first_operand_);
      const double b = Value(second_operand_);
      std::optional<double> result;
      switch (pending_operator_) {
        case kPlus:
          result = a + b;
          break;
        case kMinus:
          result = a - b;
          break;
        case kTimes:
        case '%':
          result = a * b;
          break;
        case kDivide:
          if (b == 0.0) {
            AppDialogs().Show(kDivideByZero, MsgButtons::Ok, MsgIcon::Exclamation, kTitle);
          } else {
            result = a / b;
          }
          break;
        case kEquals:
          result = b;
          break;
        default:
          break;
      }
      if (result) {
        if (std::isfinite(*result)) {
          first_operand_ = *result;
        } else {
          // Beyond double range: say so and keep the running result.
          AppDialogs().Show(ErrorText(err::kOverflow), MsgButtons::Ok, MsgIcon::Exclamation,
                            kTitle);
        }
      }
      display_ = OperandText(first_operand_);
      operand_count_ = 1;
      break;
    }
    default:
      break;
  }
  if (last_input_ != kNeg) {
    last_input_ = kOps;
    pending_operator_ = caption;
  }
}

void Keypad::Percent_Click() {
  // A display without a number (a lone "-", pasted text) counts as "0.".
  const double percent = VariantAsDouble(display_) / 100.0;
  last_input_ = kPercentKey;
  decimal_entered_ = true;
  if (operand_count_ == 1 &&
      (pending_operator_ == kPlus || pending_operator_ == kMinus || pending_operator_ == kDivide)) {
    // As on a pocket calculator: "100 + 10 %" adds ten per cent of the
    // running result (the display shows 10, "=" then 110), and "200 / 5 %"
    // divides by 0.05. The pending operator stays; the next operator key
    // carries it out.
    const double shown = pending_operator_ == kDivide ? percent : Value(first_operand_) * percent;
    display_ = DefaultNumberText(shown, decimal_point_);
    ++operand_count_;
    return;
  }
  display_ = DefaultNumberText(percent, decimal_point_);
  pending_operator_ = '%';
  // The next operator key applies the percentage; the count stops at two so
  // that repeated percent keys cannot leave the keypad without operations.
  if (operand_count_ < 2) {
    ++operand_count_;
  }
}

void Keypad::Cancel_Click() {
  display_ = ZeroText();
  first_operand_ = 0.0;
  second_operand_ = 0.0;
  decimal_entered_ = false;
  operand_count_ = 0;
  last_input_ = kNone;
  pending_operator_ = ' ';
}

void Keypad::CancelEntry_Click() {
  display_ = ZeroText();
  decimal_entered_ = false;
  last_input_ = kCe;
}

void Keypad::cpy_Click() {
  try {
    AppClipboard().Clear();
    AppClipboard().SetText(display_);
  } catch (const std::exception&) {
    // The clipboard may be held by another program; the copy is dropped.
  }
}

void Keypad::pst_Click() {
  std::string text;
  try {
    text = AppClipboard().Text();
  } catch (const std::exception&) {
    return;  // as for Copy: nothing changes when the clipboard cannot be read
  }
  // A number copied from elsewhere may carry blanks and digit grouping
  // ("1,234.5"): the grouping goes, as in the grids' paste.
  std::string trimmed = Trim(text);
  StripGroupSeparators(trimmed);
  const std::optional<double> value = NumericValue(trimmed);
  if (!value) {
    // A word would count as 0 in every operation: refused instead.
    AppDialogs().Show(kPasteNotANumber, MsgButtons::Ok, MsgIcon::Exclamation, kTitle);
    return;
  }
  // The display in the keypad's own form: "1234.5", a whole number "1234."
  // (the separator trailing, so that further digits go in front of it).
  display_ = DefaultNumberText(*value, decimal_point_);
  decimal_entered_ =
      display_.find(decimal_point_) != std::string::npos || display_.find('E') != std::string::npos;
  if (!decimal_entered_) {
    display_ += decimal_point_;
  }
  last_input_ = kNums;
}

bool Keypad::KeyboardInput(char ch) {
  if (ch >= '0' && ch <= '9') {
    Number_Click(ch - '0');
  } else if (ch == '.' || ch == ',') {
    bDecimal_Click();
  } else if (ch == '+' || ch == '-' || ch == '/') {
    Operator_Click(ch);
  } else if (ch == '*' || ch == 'x' || ch == 'X') {
    Operator_Click(kTimes);
  } else if (ch == '=' || ch == '\r' || ch == '\n') {
    Operator_Click(kEquals);
  } else if (ch == '%') {
    Percent_Click();
  } else if (ch == 'c' || ch == 'C' || ch == 27) {
    Cancel_Click();
  } else if (ch == 8) {
    CancelEntry_Click();
  } else {
    return false;
  }
  return true;
}

}  // namespace stratlyn
