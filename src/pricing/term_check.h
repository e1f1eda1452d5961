#pragma once
// The names of an option's terms in the message that refuses one that is not
// positive, "The <name> must be positive": the calculator panels and the
// views that plot an option say it alike.

#include <string>
#include <string_view>

namespace stratlyn {

namespace term_names {
inline constexpr const char* kUnderlying = "underlying asset price";
inline constexpr const char* kStrike = "strike price";
inline constexpr const char* kMaturity = "maturity";
inline constexpr const char* kVolatility = "volatility";
}  // namespace term_names

inline constexpr const char* kPositivePrefix = "The ";
inline constexpr const char* kPositiveSuffix = " must be positive";

// "The <name> must be positive".
inline std::string NotPositiveMessage(std::string_view name) {
  return kPositivePrefix + std::string(name) + kPositiveSuffix;
}

}  // namespace stratlyn
