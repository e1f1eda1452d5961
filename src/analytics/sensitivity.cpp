#include "analytics/sensitivity.h"

#include <algorithm>
#include <cmath>
#include <exception>

#include "analytics/risk.h"
#include "pricing/zel_bsop.h"
#include "util/error_handler.h"
#include "util/format.h"
#include "util/services.h"
#include "util/zel_error.h"

namespace stratlyn {

int PortSens(int xChoice, int yChoice, const OptionTerms& option, zelBSOP& bsop,
             std::vector<float>& x, std::vector<float>& y) {
  x.assign(kSweepPoints, 0.0f);
  y.assign(kSweepPoints, 0.0f);
  int filled = 0;
  RunCommand([&] {
    const std::array<const std::string*, 6> keys = {&bsop.strUnderlying, &bsop.strVolatility,
                                                    &bsop.strRiskFree,   &bsop.strMaturity,
                                                    &bsop.strStrike,     &bsop.strDvl};
    const std::array<float, 6> values = {option.spot,     option.vol,    option.rate,
                                         option.maturity, option.strike, option.yield};
    const std::array<const std::string*, 6> outputs = {&bsop.strOptionPrice, &bsop.strDelta,
                                                       &bsop.strGamma,       &bsop.strVega,
                                                       &bsop.strTheta,       &bsop.strRho};
    if (yChoice < 0 || yChoice > 5) {
      return;  // nothing swept
    }
    if (xChoice < 0 || xChoice > 5) {
      throw zelError(err::kSubscript);
    }

    bsop.SetTerms(option);

    const float base = values[static_cast<size_t>(xChoice)];
    const float low = base / 2.0f;
    float high = base * 2.0f;
    if (high == 0.0f) {
      high = 0.1f;
    }
    const float step = (high - low) / 100.0f;
    const std::string& key = *keys[static_cast<size_t>(xChoice)];
    const std::string& out = *outputs[static_cast<size_t>(yChoice)];

    // The points are figures of one curve: each must be resolved by the
    // closed form against the curve's size, not its own (the far end of a
    // value curve is worth almost nothing, and no plot shows its error).
    const bool refusing = bsop.refuseUnresolved;
    bsop.refuseUnresolved = false;
    struct Restore {
      zelBSOP& o;
      bool refusing;
      ~Restore() { o.refuseUnresolved = refusing; }
    } restore{bsop, refusing};
    float current = low;
    float size = 0;
    for (size_t i = 0; i < kSweepPoints; ++i) {
      x[i] = current;
      bsop.SetOptionData(current, key);
      y[i] = bsop.GetOptionData(out);
      if (y[i] == -999.0f) {
        break;  // the record has told the user
      }
      size = std::max(size, std::fabs(y[i]));
      ++filled;
      current += step;
    }
    bool resolved = true;
    for (int i = 0; refusing && resolved && i < filled; ++i) {
      bsop.SetOptionData(x[static_cast<size_t>(i)], key);
      resolved = bsop.Resolved(out, size);
    }
    if (!resolved) {
      filled = 0;
      AppDialogs().Critical(zelBSOP::kUnresolvedValue);  // a refusal, not a fault
    }
  });
  return filled;
}

std::string SensitivityTitle(int xChoice, int yChoice) {
  if (xChoice < 0 || xChoice > 5 || yChoice < 0 || yChoice > 5) {
    return {};
  }
  return std::string(kYAxisCaptions[static_cast<size_t>(yChoice)]) + " vs " +
         kXAxisCaptions[static_cast<size_t>(xChoice)];
}

namespace {
// Small magnitudes keep three significant digits.
std::string ReadoutNumber(double v, char dp) {
  const double a = std::fabs(v);
  if (a == 0 || a >= 0.1 || !std::isfinite(v)) {
    return FormatNumber(v, kReadoutFormat, dp);
  }
  const int decimals = std::min(12, 2 - static_cast<int>(std::floor(std::log10(a))));
  return FormatNumber(v, "0." + std::string(static_cast<size_t>(decimals), '0'), dp);
}
}  // namespace

std::string PointReadout(double x, double y) {
  const char dp = EntryDecimalPoint();
  return "x=" + ReadoutNumber(x, dp) + ", y=" + ReadoutNumber(y, dp);
}

}  // namespace stratlyn
