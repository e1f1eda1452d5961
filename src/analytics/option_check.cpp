#include "analytics/option_check.h"

#include "pricing/term_check.h"

namespace stratlyn {

std::string OptionInputProblem(const OptionTerms& option) {
  // `!(v > 0)` also catches a NaN handed over from a broken field.
  const char* name = nullptr;
  if (!(option.spot > 0)) {
    name = term_names::kUnderlying;
  }
  if (!(option.strike > 0)) {
    name = term_names::kStrike;
  }
  if (!(option.maturity > 0)) {
    name = term_names::kMaturity;
  }
  if (!(option.vol > 0)) {
    name = term_names::kVolatility;
  }
  if (name == nullptr) {
    return {};
  }
  return NotPositiveMessage(name);
}

}  // namespace stratlyn
