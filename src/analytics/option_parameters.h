#pragma once
// The option handed from the calculator panel to the risk and sensitivity
// panels at each switch: the eight values of GetParameters/SetParameters.

namespace stratlyn {

struct OptionParameters {
  short oid = 1;      // 1 call, 2 put
  float orf = 0.0f;   // risk-free rate
  float os = 0.0f;    // underlying price
  float ot = 0.0f;    // maturity in years
  float oxk = 0.0f;   // strike
  float osig = 0.0f;  // volatility
  float odvl = 0.0f;  // dividend yield
  float oopr = 0.0f;  // market option price
};

}  // namespace stratlyn
