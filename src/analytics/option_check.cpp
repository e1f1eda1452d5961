#include "analytics/option_check.h"

#include "pricing/term_check.h"

namespace stratlyn {

std::string OptionInputProblem(const OptionParameters& option) {
  // `!(v > 0)` also catches a NaN handed over from a broken field.
  const char* name = nullptr;
  if (!(option.os > 0)) {
    name = term_names::kUnderlying;
  }
  if (!(option.oxk > 0)) {
    name = term_names::kStrike;
  }
  if (!(option.ot > 0)) {
    name = term_names::kMaturity;
  }
  if (!(option.osig > 0)) {
    name = term_names::kVolatility;
  }
  if (name == nullptr) {
    return {};
  }
  return NotPositiveMessage(name);
}

}  // namespace stratlyn
