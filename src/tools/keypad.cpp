#include "tools/keypad.h"

#include <charconv>
#include <cmath>
#include <cstdio>

#include "util/services.h"
#include "util/zel_error.h"

namespace stratlyn {

std::optional<double> ParseLocaleNumber(std::string_view text, char decimal_point) {
  size_t begin = 0;
  size_t end = text.size();
  while (begin < end && text[begin] == ' ') ++begin;
  while (end > begin && text[end - 1] == ' ') --end;
  // Rebuild the number in the C form that from_chars reads, checking the
  // shape on the way: [sign] digits [sep digits] [E [sign] digits].
  std::string c_form;
  size_t i = begin;
  bool negative = false;
  if (i < end && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
  int mantissa_digits = 0;
  bool seen_point = false;
  for (; i < end; ++i) {
    const char ch = text[i];
    if (ch >= '0' && ch <= '9') {
      c_form.push_back(ch);
      ++mantissa_digits;
    } else if (ch == decimal_point && !seen_point) {
      c_form.push_back('.');
      seen_point = true;
    } else {
      break;
    }
  }
  if (mantissa_digits == 0) return std::nullopt;
  if (i < end && (text[i] == 'e' || text[i] == 'E')) {
    c_form.push_back('e');
    ++i;
    if (i < end && (text[i] == '+' || text[i] == '-')) c_form.push_back(text[i++]);
    int exponent_digits = 0;
    for (; i < end && text[i] >= '0' && text[i] <= '9'; ++i, ++exponent_digits) {
      c_form.push_back(text[i]);
    }
    if (exponent_digits == 0) return std::nullopt;
  }
  if (i != end) return std::nullopt;
  if (c_form.front() == '.') c_form.insert(c_form.begin(), '0');
  double value = 0.0;
  const auto [ptr, ec] = std::from_chars(c_form.data(), c_form.data() + c_form.size(), value);
  if (ec != std::errc() || ptr != c_form.data() + c_form.size() || !std::isfinite(value)) {
    return std::nullopt;
  }
  return negative ? -value : value;
}

double LocaleNumberOrZero(std::string_view text, char decimal_point) {
  return ParseLocaleNumber(text, decimal_point).value_or(0.0);
}

std::string DefaultNumberText(double value, char decimal_point) {
  if (value == 0.0) return "0";  // also for -0
  if (std::isnan(value)) return "NaN";
  if (std::isinf(value)) return value > 0 ? "Infinity" : "-Infinity";
  char buf[48];
  std::snprintf(buf, sizeof buf, "%.15G", value);
  std::string text(buf);
  for (char& ch : text) {
    if (ch == '.') ch = decimal_point;
  }
  return text;
}

Keypad::Keypad(char decimal_point) : decimal_point_(decimal_point) { Cancel_Click(); }

double Keypad::Value(const Operand& operand) const {
  if (const double* number = std::get_if<double>(&operand)) return *number;
  return LocaleNumberOrZero(std::get<std::string>(operand), decimal_point_);
}

std::string Keypad::OperandText(const Operand& operand) const {
  if (const double* number = std::get_if<double>(&operand)) {
    return DefaultNumberText(*number, decimal_point_);
  }
  return std::get<std::string>(operand);
}

void Keypad::Number_Click(int digit) {
  if (digit < 0 || digit > 9) return;
  if (last_input_ != kNums) {
    display_ = std::string(1, decimal_point_);
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
  if (last_input_ == kNeg) display_.insert(display_.begin(), '-');
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
  if (last_input_ == kNums) ++operand_count_;
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
        case kPlus: result = a + b; break;
        case kMinus: result = a - b; break;
        case kTimes:
        case '%': result = a * b; break;
        case kDivide:
          if (b == 0.0) {
            AppDialogs().Show(kDivideByZero, MsgButtons::Ok, MsgIcon::Exclamation, kTitle);
          } else {
            result = a / b;
          }
          break;
        case kEquals: result = b; break;
        default: break;
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
  display_ = DefaultNumberText(LocaleNumberOrZero(display_, decimal_point_) / 100.0,
                               decimal_point_);
  last_input_ = kPercentKey;
  pending_operator_ = '%';
  decimal_entered_ = true;
  // The next operator key applies the percentage; the count stops at two so
  // that repeated percent keys cannot leave the keypad without operations.
  if (operand_count_ < 2) ++operand_count_;
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
  try {
    display_ = AppClipboard().Text();
    last_input_ = kNums;
  } catch (const std::exception&) {
    // As for Copy: nothing changes when the clipboard cannot be read.
  }
}

bool Keypad::KeyboardInput(char ch) {
  if (ch >= '0' && ch <= '9') {
    Number_Click(ch - '0');
  } else if (ch == decimal_point_ || ch == '.' || ch == ',') {
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
