#include "analytics/sensitivity.h"

#include <algorithm>
#include <cmath>
#include <exception>

#include "analytics/risk.h"
#include "pricing/zel_barr.h"
#include "pricing/zel_bsop.h"
#include "util/error_handler.h"
#include "util/format.h"
#include "util/services.h"
#include "util/zel_error.h"

namespace stratlyn {

namespace {

// The input `choice` of `terms` (the order of the x choices).
float& Input(OptionTerms& terms, int choice) {
  switch (choice) {
    case 0:
      return terms.spot;
    case 1:
      return terms.vol;
    case 2:
      return terms.rate;
    case 3:
      return terms.maturity;
    case 4:
      return terms.strike;
    default:
      return terms.yield;
  }
}

// Rate step either side for the rho of an American option (the lattice
// computes none).
constexpr float kRhoBump = 1e-3f;

// The lattice value or Greek `yChoice` of `terms`; -999 where the lattice has
// told the user it cannot value them.
float LatticeFigure(zelBarr& b, const OptionTerms& terms, int yChoice) {
  if (yChoice == 5) {
    OptionTerms up = terms, down = terms;
    up.rate = terms.rate + kRhoBump;
    down.rate = terms.rate - kRhoBump;
    float v_up = LatticeFigure(b, up, 0);
    if (v_up == -999.0f) {
      return v_up;
    }
    const int n_up = b.LatticeSteps();
    float v_down = LatticeFigure(b, down, 0);
    if (v_down == -999.0f) {
      return v_down;
    }
    const int n_down = b.LatticeSteps();
    if (n_up != n_down) {
      // More steps at one rate than at the other (the lattice's European
      // value missed the closed form there): both on the larger, or the
      // coarser lattice's error, over a bump of 0.001, is most of the rho.
      zelBarr finer;
      finer.SetOptionData(std::max(n_up, n_down), finer.strNSTEPS);
      float& coarse = n_up < n_down ? v_up : v_down;
      coarse = LatticeFigure(finer, n_up < n_down ? up : down, 0);
      if (coarse == -999.0f) {
        return coarse;
      }
    }
    return static_cast<float>((static_cast<double>(v_up) - v_down) /
                              (static_cast<double>(up.rate) - down.rate));
  }
  b.SetTerms(terms);
  b.CalcBarr(b.AMERVANILLA);
  const std::array<const std::string*, 5> outputs = {&b.strOptionPrice, &b.strDelta, &b.strGamma,
                                                     &b.strVega, &b.strTheta};
  return b.GetOptionData(*outputs[static_cast<size_t>(yChoice)]);
}

}  // namespace

int AmericanSweep(int xChoice, int yChoice, const OptionTerms& option, std::vector<float>& x,
                  std::vector<float>& y) {
  // An American option's curve is its lattice's, as the calculator panel
  // values it: the closed form's European figures lie below it (a deep put
  // below its exercise value).
  zelBarr b;
  OptionTerms terms = option;
  float& input = Input(terms, xChoice);
  const float base = input;
  const float low = base / 2.0f;
  float high = base * 2.0f;
  if (high == 0.0f) {
    high = 0.1f;
  }
  const float step = (high - low) / 100.0f;
  float current = low;
  int filled = 0;
  for (size_t i = 0; i < kSweepPoints; ++i) {
    x[i] = current;
    input = current;
    y[i] = LatticeFigure(b, terms, yChoice);
    if (y[i] == -999.0f || !std::isfinite(y[i])) {
      y[i] = -999.0f;
      break;  // the record has told the user
    }
    ++filled;
    current += step;
  }
  return filled;
}

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

    if (option.american) {
      filled = AmericanSweep(xChoice, yChoice, option, x, y);
      return;
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
