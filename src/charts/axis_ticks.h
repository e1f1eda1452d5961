#pragma once
// Round tick values for a chart axis: steps of 1, 2 or 5 times a power of ten,
// written with as many decimals as the step needs, so that neighbouring
// labels always differ ("0.0302 0.0304 ..." rather than "0.03 0.03").

#include <string>
#include <vector>

namespace stratlyn {

// One labelled tick: its value in the axis's own units and its text.
struct AxisTick {
  double value = 0;
  std::string text;
};

// The smallest step of the form {1, 2, 5} x 10^k that splits `range` into at
// most 1.5 x `target` intervals (target at least 1), so that the count comes
// near the target from either side. 0 for an empty, negative or
// non-finite range.
double NiceStep(double range, int target);

// Decimals needed to write multiples of `step` exactly: 0 for 1, 2, 5, 10 ...,
// 1 for 0.5, 2 for 0.05 or 0.02, and so on (at most 12).
int StepDecimals(double step);

// The multiples of NiceStep(hi - lo, target) that lie within [lo, hi] (ends
// included within a rounding of the step), ascending, each written with
// StepDecimals decimals and `decimal_point`, a minus sign for negatives and
// "0" for a tick at zero. Magnitudes of 1e9 and above are written in exponent
// form ("2.5E+09"). Empty when lo >= hi or either is not finite.
std::vector<AxisTick> AxisTicks(double lo, double hi, int target, char decimal_point = '.');

}  // namespace stratlyn
