#include "analytics/option_check.h"

#include "calculator/bsop_panel.h"

namespace stratlyn {

std::string OptionInputProblem(const OptionTerms& option) {
  // `!(v > 0)` also catches a NaN handed over from a broken field.
  const char* name = nullptr;
  if (!(option.spot > 0)) {
    name = bsop_text::kUnderlyingName;
  }
  if (!(option.strike > 0)) {
    name = bsop_text::kStrikeName;
  }
  if (!(option.maturity > 0)) {
    name = bsop_text::kMaturityName;
  }
  if (!(option.vol > 0)) {
    name = bsop_text::kVolatilityName;
  }
  if (name == nullptr) {
    return {};
  }
  return std::string(kPositivePrefix) + name + kPositiveSuffix;
}

}  // namespace stratlyn
