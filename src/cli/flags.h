#pragma once
// The flag parsing every subcommand of stratlyn-cli shares: walking the words
// after the command's name, a flag's value, and the readers of the values
// several commands take (a dot-decimal number, a whole number in a range, the
// Greeks' units). A word that cannot be used throws UsageError with the line
// to print; each command catches it, prints it its own way and exits 2.

#include <string>
#include <string_view>
#include <vector>

#include "util/greek_units.h"

namespace stratlyn::cli {

struct UsageError {
  std::string message;
};

// Whether the words ask for the command's help ("-h" or "--help").
bool WantsHelp(const std::vector<std::string>& args);

// The words of one command, read left to right.
class FlagCursor {
 public:
  explicit FlagCursor(const std::vector<std::string>& args) : args_(args) {}

  // Steps to the next word; false after the last.
  bool Next() { return ++at_ < args_.size(); }
  // The word stepped to.
  const std::string& Word() const { return args_[at_]; }
  // Whether the word is a flag ("-x", "--xy"; a lone "-" is no flag).
  bool IsFlag() const;
  // The word after the flag, stepped over; "<flag> needs a value" when there
  // is none (or `needs` in its place).
  const std::string& Value(std::string_view needs = {});

 private:
  const std::vector<std::string>& args_;
  size_t at_ = static_cast<size_t>(-1);
};

// "unknown option '<flag>'", with " (see stratlyn-cli <command> --help)"
// when a command is named.
UsageError UnknownFlag(const std::string& flag, std::string_view command = {});

// A number written with a dot (an exponent allowed): "<flag> takes a number
// written with a dot, not '<text>'" otherwise.
double DotNumberFlag(const std::string& flag, const std::string& text);

// A whole number from `low` to `high`: "<flag> takes a whole number from
// <low> to <high>, not '<text>'" otherwise.
int WholeNumberFlag(const std::string& flag, const std::string& text, int low, int high);

// A rate, yield or volatility is a fraction per year: one above 5 (500 %)
// was typed as a percentage ("--vol 40" for 40 %), and the window refuses it
// alike. Throws "<flag> <text> is above 500 %: ..." then.
void CheckFractionFlag(const std::string& flag, const std::string& text, double value);
inline constexpr const char* kAboveFiveFlag =
    " is above 500 %: give a rate, yield or volatility as a decimal fraction, 40 % as 0.40";

// per-unit or per-day: "--units takes per-unit or per-day, not '<text>'".
GreekUnits UnitsFlag(const std::string& text);

}  // namespace stratlyn::cli
