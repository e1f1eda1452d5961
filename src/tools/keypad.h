#pragma once
// The four-function keypad of the calculators window, without any widget: a
// state machine fed with key presses that keeps the display text. The window
// maps its buttons (and the keyboard) onto these calls and shows Display().

#include <optional>
#include <string>
#include <string_view>
#include <variant>

namespace stratlyn {

// The default text of a double: up to 15 significant digits, no separator for
// whole numbers, exponent form ("1E+15", "1E-05") for very large or small
// magnitudes; `decimal_point` for the separator.
std::string DefaultNumberText(double value, std::string_view decimal_point);

class Keypad {
 public:
  // The kinds of the last key, as the key rules compare them.
  static constexpr std::string_view kNums = "NUMS";
  static constexpr std::string_view kOps = "OPS";
  static constexpr std::string_view kPercentKey = "Ops";
  static constexpr std::string_view kNeg = "NEG";
  static constexpr std::string_view kNone = "NONE";
  static constexpr std::string_view kCe = "CE";

  static constexpr const char* kDivideByZero = "Can't divide by zero";
  static constexpr const char* kTitle = "Calculator";
  static constexpr const char* kPasteNotANumber = "The clipboard holds no number to paste";

  // Operator captions (the index is the key's index in the window).
  static constexpr char kDivide = '/';
  static constexpr char kPlus = '+';
  static constexpr char kTimes = 'X';
  static constexpr char kMinus = '-';
  static constexpr char kEquals = '=';

  // A number or a text (a pasted word, "9." taken from the display).
  using Operand = std::variant<double, std::string>;

  // The keypad writes the entry locale's decimal separator (util/locale_info.h)
  // on its key and in the display, and reads operands with VariantAsDouble.
  // It starts as after "C".
  Keypad();

  // Key handlers. Percent_Click works as on a pocket calculator: after a
  // running result and + or -, the entry becomes that share of the running
  // result ("100 + 10 % =" gives 110); after /, the entry divided by 100
  // stays the divisor ("200 / 5 % =" gives 4000); otherwise % becomes the
  // pending operator and multiplies ("200 X 5 % =" gives 10). Operator_Click takes the caption
  // ('/', '+', 'X', '-', '='); other characters are ignored. A division by zero shows the message
  // through AppDialogs().
  void Number_Click(int digit);
  void Operator_Click(char caption);
  void bDecimal_Click();
  void Percent_Click();
  void Cancel_Click();
  void CancelEntry_Click();
  // Copy puts the display on AppClipboard(). Paste takes the clipboard's
  // number as the display (blanks and digit grouping dropped: "1,234.5"
  // shows 1234.5); text that is no number is refused with kPasteNotANumber
  // and the display stays. Clipboard errors are ignored.
  void cpy_Click();
  void pst_Click();

  // A keyboard character: digits, '.' or ',' (either is the separator), + - * x X /,
  // '=' or '\r'/'\n' (equals), '%', 'c'/'C' or Escape (C), Backspace (CE).
  // Returns false for a character that is not a key.
  bool KeyboardInput(char ch);

  const std::string& Display() const { return display_; }
  // The caption of the separator key.
  const std::string& DecimalCaption() const { return decimal_point_; }

  const Operand& firstOperand() const { return first_operand_; }
  const Operand& secondOperand() const { return second_operand_; }
  bool decimalEntered() const { return decimal_entered_; }
  int operandCount() const { return operand_count_; }
  const std::string& lastInput() const { return last_input_; }
  char pendingOperator() const { return pending_operator_; }

 private:
  double Value(const Operand& operand) const;
  std::string OperandText(const Operand& operand) const;
  // "0." in this locale.
  std::string ZeroText() const { return "0" + decimal_point_; }

  std::string decimal_point_;
  std::string display_;
  Operand first_operand_ = 0.0;
  Operand second_operand_ = 0.0;
  bool decimal_entered_ = false;
  int operand_count_ = 0;
  std::string last_input_;
  char pending_operator_ = ' ';
};

}  // namespace stratlyn
