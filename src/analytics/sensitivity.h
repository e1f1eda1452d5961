#pragma once
// The sensitivity view's sweep: one input of the option swept from half to
// twice its value in 100 equal steps, the value or one Greek read back for
// each of the 101 points.

#include <array>
#include <string>
#include <vector>

#include "pricing/option_terms.h"

namespace stratlyn {

class zelBSOP;

inline constexpr int kSweepPoints = 101;  // indices 0..100

// Captions of the choices, in index order.
inline constexpr std::array<const char*, 6> kXAxisCaptions = {
    "Asset Price", "Volatility", "Risk Free", "Maturity", "Strike", "Div Yld"};
inline constexpr std::array<const char*, 6> kYAxisCaptions = {"Option Value", "Delta", "Gamma",
                                                              "Vega",         "Theta", "Rho"};

// Fills x and y (re-sized to 0..100, all 0 first) with the sweep of input
// `xChoice` (0 asset price, 1 volatility, 2 risk-free rate, 3 maturity,
// 4 strike, 5 dividend yield) against output `yChoice` (0 value, 1 delta,
// 2 gamma, 3 vega, 4 theta, 5 rho), the other inputs as in `option`. An input
// of 0 runs from 0 to 0.1. The sweep stops at a point whose output is -999
// (the record has told the user); later points stay 0. An American option
// is swept on the lattice (AmericanSweep). A y choice outside
// 0..5 leaves both arrays at 0. A run-time error ends the sweep and goes to
// ErrorHandler; the arrays keep what they hold. Returns the number of points
// filled with real results (0..101): a stopped sweep's -999 is not one of
// them, so a plot of the first that many points never shows a sentinel.
int PortSens(int xChoice, int yChoice, const OptionTerms& option, zelBSOP& bsop,
             std::vector<float>& x, std::vector<float>& y);

// The sweep of an American option on the lattice (the record of its value in
// the calculator panel), as PortSens fills it: rho, which the lattice does
// not give, is the value's change over a rate step of 0.001 either side.
// Returns the number of points filled.
int AmericanSweep(int xChoice, int yChoice, const OptionTerms& option, std::vector<float>& x,
                  std::vector<float>& y);

// The read-out of a point under the mouse: "x=101.5, y=0.25". A number
// below 0.1 in size keeps three significant digits ("y=0.000123") instead
// of reading 0.0.
std::string PointReadout(double x, double y);

// The plot's title for a choice of axes: "Delta vs Strike".
std::string SensitivityTitle(int xChoice, int yChoice);

}  // namespace stratlyn
