// The records' SetTerms(const OptionTerms&): every term under its key, as
// SetOptionData would set them one by one.

#include "pricing/option_terms.h"

#include "pricing/zel_barr.h"
#include "pricing/zel_bsop.h"

namespace stratlyn {

void zelBSOP::SetTerms(const OptionTerms& terms) {
  SetTerms(static_cast<float>(terms.TypeCode()), terms.rate, terms.maturity, terms.strike,
           terms.spot, terms.vol, terms.yield);
  optionPrice = terms.market_price;
}

void zelBarr::SetTerms(const OptionTerms& terms) {
  SetOptionData(terms.put ? FLAG : boolError, strType);
  SetOptionData(terms.rate, strRiskFree);
  SetOptionData(terms.maturity, strMaturity);
  SetOptionData(terms.strike, strStrike);
  SetOptionData(terms.spot, strUnderlying);
  SetOptionData(terms.vol, strVolatility);
  SetOptionData(terms.yield, strDvl);
  SetOptionData(terms.market_price, strOptionPrice);
}

}  // namespace stratlyn
