#pragma once
// The check the analytic views make on the option they are handed: the
// calculator panel's own positivity rule and message, so that a field the
// panel would refuse is refused here too instead of being plotted.

#include <string>

#include "pricing/option_terms.h"
#include "pricing/term_check.h"

namespace stratlyn {

// "The <name> must be positive" for the underlying price, strike, maturity
// or volatility that is not positive (not a number counts as not positive);
// when several fail, the last of them in that order, as the calculator panel
// reports it. Empty when all four are positive.
std::string OptionInputProblem(const OptionTerms& option);

}  // namespace stratlyn
