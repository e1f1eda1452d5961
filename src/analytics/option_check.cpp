#include "analytics/option_check.h"

#include "calculator/bsop_panel.h"

namespace stratlyn {

std::string OptionInputProblem(const OptionParameters& option) {
  // `!(v > 0)` also catches a NaN handed over from a broken field.
  const char* name = nullptr;
  if (!(option.os > 0)) {
    name = bsop_text::kUnderlyingName;
  }
  if (!(option.oxk > 0)) {
    name = bsop_text::kStrikeName;
  }
  if (!(option.ot > 0)) {
    name = bsop_text::kMaturityName;
  }
  if (!(option.osig > 0)) {
    name = bsop_text::kVolatilityName;
  }
  if (name == nullptr) {
    return {};
  }
  return std::string(kPositivePrefix) + name + kPositiveSuffix;
}

}  // namespace stratlyn
