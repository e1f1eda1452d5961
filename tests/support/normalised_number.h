#pragma once
// An independent reading of the normalised form the typed-number reader
// reports (EntryReading::normalised: "-12.5e3", "24+13/16", "5%"), with
// strtod in the C locale, for the property test and the fuzz target to
// compare the reader's value with. Header-only and free of test frameworks.

#include <cstdlib>
#include <optional>
#include <string>

namespace stratlyn::testing {

// The value the text writes; nothing when it is not of the normalised form
// (a fraction without its whole part and "+", text after the number). The
// caller's C library must be in the "C" locale.
inline std::optional<double> EvaluateNormalised(std::string t) {
  bool negative = false, percent = false;
  if (!t.empty() && t[0] == '-') {
    negative = true;
    t.erase(0, 1);
  }
  if (!t.empty() && t.back() == '%') {
    percent = true;
    t.pop_back();
  }
  double v = 0;
  const size_t slash = t.find('/');
  if (slash != std::string::npos) {
    const size_t plus = t.find('+');
    if (plus == std::string::npos || slash < plus) return std::nullopt;
    v = std::strtod(t.substr(0, plus).c_str(), nullptr) +
        std::strtod(t.substr(plus + 1, slash - plus - 1).c_str(), nullptr) /
            std::strtod(t.substr(slash + 1).c_str(), nullptr);
  } else {
    char* end = nullptr;
    v = std::strtod(t.c_str(), &end);
    if (end == t.c_str() || *end != '\0') return std::nullopt;
  }
  if (percent) v /= 100.0;
  return negative ? -v : v;
}

}  // namespace stratlyn::testing
