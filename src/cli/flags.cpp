#include "cli/flags.h"

#include <charconv>
#include <cmath>

#include "util/text.h"

namespace stratlyn::cli {

bool WantsHelp(const std::vector<std::string>& args) {
  for (const std::string& a : args) {
    if (a == "-h" || a == "--help") {
      return true;
    }
  }
  return false;
}

bool FlagCursor::IsFlag() const {
  const std::string& w = Word();
  return w.size() > 1 && w[0] == '-';
}

const std::string& FlagCursor::Value(std::string_view needs) {
  if (at_ + 1 >= args_.size()) {
    throw UsageError{needs.empty() ? Word() + " needs a value" : std::string(needs)};
  }
  return args_[++at_];
}

UsageError UnknownFlag(const std::string& flag, std::string_view command) {
  std::string message = "unknown option '" + flag + "'";
  if (!command.empty()) {
    message += " (see stratlyn-cli " + std::string(command) + " --help)";
  }
  return UsageError{message};
}

double DotNumberFlag(const std::string& flag, const std::string& text) {
  const auto v = ReadDotDecimal(text, DotDecimal::kWithExponent);
  if (!v) {
    throw UsageError{flag + " takes a number written with a dot, not '" + text + "'"};
  }
  return *v;
}

int WholeNumberFlag(const std::string& flag, const std::string& text, int low, int high) {
  int n = 0;
  const char* last = text.data() + text.size();
  const auto [ptr, ec] = std::from_chars(text.data(), last, n);
  if (text.empty() || ec != std::errc() || ptr != last || n < low || n > high) {
    throw UsageError{flag + " takes a whole number from " + std::to_string(low) + " to " +
                     std::to_string(high) + ", not '" + text + "'"};
  }
  return n;
}

void CheckFractionFlag(const std::string& flag, const std::string& text, double value) {
  if (std::fabs(value) > 5.0) {
    throw UsageError{flag + " " + text + kAboveFiveFlag};
  }
}

GreekUnits UnitsFlag(const std::string& text) {
  const auto units = GreekUnitsByKey(text);
  if (!units) {
    throw UsageError{"--units takes per-unit or per-day, not '" + text + "'"};
  }
  return *units;
}

}  // namespace stratlyn::cli
