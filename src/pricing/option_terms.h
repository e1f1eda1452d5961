#pragma once
// OptionTerms: the terms of one option as the pricing records take them, in
// one value that the panels, the views, the strategy legs, the batch and the
// spreadsheet link pass around instead of eight loose numbers.
//
// Every figure is a 32-bit float, the width the records hold. Rates, yield and
// volatility are decimals per year (0.05 for 5%), maturity is in years.
//
//   OptionTerms t;
//   t.put = true;
//   t.spot = 50; t.strike = 50; t.maturity = 0.5f; t.rate = 0.05f; t.vol = 0.3f;
//   zelBSOP o;
//   o.SetTerms(t);

#include <cstdint>

namespace stratlyn {

struct OptionTerms {
  bool put = false;        // false: a call
  bool american = false;   // false: European exercise
  float spot = 0;          // underlying price
  float strike = 0;        // strike price
  float maturity = 0;      // years to expiry
  float rate = 0;          // risk-free rate, continuously compounded
  float yield = 0;         // continuous dividend yield
  float vol = 0;           // volatility
  float market_price = 0;  // the option's market price; 0 when none is given

  // The vanilla record's "type" code: 1 call, 2 put.
  std::int16_t TypeCode() const { return put ? 2 : 1; }
  bool HasMarketPrice() const { return market_price > 0; }

  bool operator==(const OptionTerms&) const = default;
};

}  // namespace stratlyn
