// zelBSOP's figures from the separate pricing library (GetBSOPDLL, GetBAWDLL).

#include <cmath>
#include <exception>
#include <functional>
#include <limits>
#include <string>

#include "numerics/brent.h"
#include "pricing/key_match.h"
#include "pricing/zel_bsop.h"
#include "pricing/zelop_loader.h"
#include "util/error_handler.h"
#include "util/format.h"
#include "util/fp_checks.h"
#include "util/services.h"
#include "zelop/zelop_api.h"

namespace stratlyn {
namespace {

constexpr const char* kInvalidOptionPrice = "Invalid option price (";
constexpr const char* kStopQuestion = ").  Do you want to stop calculating volatilities?";
constexpr float kLibraryFailure = -9999.0f;
constexpr double kLibraryTolerance = 1e-05;
constexpr int kLibraryIterations = 100;
// The American implied volatility's search range and how closely its root
// must reprice the market price.
constexpr double kLeastVolatility = 0.0001;
constexpr double kMostVolatility = 10.0;
constexpr double kRepriceShare = 1e-6;
constexpr float kNoVolatility = -999.0f;
constexpr int kNarrowings = 24;
constexpr double kNarrowing = 0.7;
constexpr int kScanPoints = 48;
// The library refuses a Barone-Adesi-Whaley value (NaN for inputs it has
// accepted as valid) where the approximation strays from the American value.
constexpr const char* kApproximationRefused =
    "The Barone-Adesi-Whaley approximation cannot value this option within 2 % of its American "
    "value (a call at a negative rate or a put at a negative yield, neither rate nor yield "
    "positive, far from the money or of long maturity): value it on the lattice instead";

template <typename Fn>
Fn Library(const char* name) {
  return reinterpret_cast<Fn>(ZelopSymbol(name));
}

}  // namespace

float zelBSOP::LibraryImpliedVol() {
  const auto fn = Library<ZelopImpvolFn>("impvol");
  const float root =
      ToSingle(fn(putCallFlag, riskFree, maturity, strike, underlying, volatility,
                  kLibraryTolerance, optionPrice, dividendYield, kLibraryIterations));
  if (!(root > 0)) {
    return root;
  }
  // A root the price does not pin down to 1 % is none: near the discounted
  // intrinsic value the values of a band of volatilities (0 to 0.15 for a
  // call S = 100, K = 50, a year at 5 %) round to the same float price, and
  // the library's answer is one of them. The closed form refuses it alike.
  const auto value = Library<ZelopBsopFn>("bsop");
  const double price = optionPrice;
  const double half_step = 0.5 * (std::nextafter(optionPrice, INFINITY) - optionPrice);
  for (const double share : {0.99, 1.01}) {
    const double v = value(putCallFlag, riskFree, maturity, strike, underlying,
                           share * static_cast<double>(root), dividendYield);
    if (!(std::fabs(v - price) > half_step)) {
      return kNoVolatility;
    }
  }
  return root;
}

float zelBSOP::LibraryAmericanImpliedVol() {
  const auto baw = Library<ZelopBawFn>("baw");
  const double r = riskFree, t = maturity, k = strike, s = underlying, q = dividendYield;
  const double price = optionPrice;
  bool refused = false;  // the library refused a trial's value
  const auto gap = [&](double sigma) {
    const double value = baw(putCallFlag, s, r, t, k, sigma, q);
    refused = refused || std::isnan(value);
    return value - price;
  };
  const auto no_volatility = [&] {
    if (refused) {
      AppDialogs().Critical(kApproximationRefused);
      myError = true;
      return kLibraryFailure;
    }
    return kNoVolatility;
  };
  // Where the library refuses the value at an end of the range, the range
  // narrows to volatilities it values (a price beyond them is refused).
  double least = kLeastVolatility, most = kMostVolatility;
  double low = gap(least), high = gap(most);
  for (int i = 0; i < kNarrowings && std::isnan(high) && most > 2 * least; ++i) {
    most *= kNarrowing;
    high = gap(most);
  }
  for (int i = 0; i < kNarrowings && std::isnan(low) && least < 0.5 * most; ++i) {
    least /= kNarrowing;
    low = gap(least);
  }
  if (!std::isfinite(low) || !std::isfinite(high)) {
    return no_volatility();
  }
  if (std::fabs(low) <= 4 * std::numeric_limits<float>::epsilon() * std::fabs(price)) {
    // The price is the value every small volatility gives (the exercise
    // value of an option exercised at once, or the discounted intrinsic
    // value), to the float steps of a typed price: the bound is the answer.
    return static_cast<float>(least);
  }
  if (low > 0 || high < 0) {
    return no_volatility();  // below what volatility 0.0001 gives or above 10's
  }
  // The volatility as stored must give the price back.
  const auto solve = [&](double from, double to) {
    const double root = BrentSearch<double>(gap, from, to, 1e-12, kNoVolatility,
                                            BrentStall::kReturnEstimate, 0.0, 2e-16);
    const float stored = static_cast<float>(root);
    const bool reprices =
        root > 0 && std::fabs(gap(stored)) <= kRepriceShare * std::fmax(1.0, price);
    return reprices ? stored : kNoVolatility;
  };
  float stored = solve(least, most);
  // The library refused trials inside the range: the root is bracketed
  // between two neighbouring volatilities it values, on a geometric scan of
  // the range, and solved for there; a stretch of refused trials between a
  // value below the price and one above it is scanned once more, finer.
  const std::function<void(double, double, double, int)> scan = [&](double from, double from_gap,
                                                                    double to, int depth) {
    double last = from, last_gap = from_gap;
    for (int i = 1; i <= kScanPoints && !(stored > 0); ++i) {
      const double v = from * std::pow(to / from, 1.0 * i / kScanPoints);
      const double g = gap(v);
      if (std::isnan(g)) {
        continue;
      }
      const double before = from * std::pow(to / from, (i - 1.0) / kScanPoints);
      if (last_gap < 0 && g >= 0) {
        stored = solve(last, v);
        if (!(stored > 0) && depth > 0 && last < before) {
          scan(last, last_gap, v, depth - 1);
        }
      }
      last = v;
      last_gap = g;
    }
  };
  if (!(stored > 0) && refused) {
    scan(least, low, most, 1);
  }
  return stored > 0 ? stored : no_volatility();
}

float zelBSOP::GetBSOPDLL(const std::string& oString) {
  myError = false;
  if (!(volatility > 0)) {
    volatility = 0.25f;
  }
  if (!ValidInputs(false)) {
    return 0.0f;
  }
  try {
    const double r = riskFree, t = maturity, k = strike, s = underlying, sigma = volatility,
                 q = dividendYield;
    float result = 0.0f;
    if (KeyIs(oString, strOptionPrice)) {
      result = ToSingle(Library<ZelopBsopFn>("bsop")(putCallFlag, r, t, k, s, sigma, q));
    } else if (KeyIs(oString, strDelta)) {
      result = ToSingle(Library<ZelopBsopFn>("delta")(putCallFlag, r, t, k, s, sigma, q));
    } else if (KeyIs(oString, strGamma)) {
      result = ToSingle(Library<ZelopNoFlagFn>("gamma")(r, t, k, s, sigma, q));
    } else if (KeyIs(oString, strVega)) {
      result = ToSingle(Library<ZelopNoFlagFn>("vega")(r, t, k, s, sigma, q));
    } else if (KeyIs(oString, strTheta)) {
      result = ToSingle(Library<ZelopBsopFn>("theta")(putCallFlag, r, t, k, s, sigma, q));
    } else if (KeyIs(oString, strImpliedVolatility)) {
      if (!(optionPrice > 0)) {
        const MsgAnswer answer =
            AppDialogs().Show(std::string(kInvalidOptionPrice) +
                                  FormatNumber(optionPrice, kEntryFormat) + kStopQuestion,
                              MsgButtons::YesNo, MsgIcon::None, kMessageTitle);
        return answer == MsgAnswer::Yes ? kLibraryFailure : 0.0f;
      }
      result = LibraryImpliedVol();
    } else if (KeyIs(oString, strRho)) {
      result = CalcRho();
    }
    AppEvents().ProcessPending();
    return result;
  } catch (const zelError& e) {
    ErrorHandler(e);
    myError = true;
    return kLibraryFailure;
  } catch (const std::exception& e) {
    ErrorHandler(e);
    myError = true;
    return kLibraryFailure;
  }
}

float zelBSOP::GetBAWDLL(const std::string& oString) {
  myError = false;
  if (!(volatility > 0)) {
    volatility = 0.25f;
  }
  if (!ValidInputs(false)) {
    return 0.0f;
  }
  const double r = riskFree, t = maturity, k = strike, s = underlying, sigma = volatility,
               q = dividendYield;
  const char* name = nullptr;
  if (KeyIs(oString, strOptionPrice)) {
    name = "baw";
  } else if (KeyIs(oString, strDelta)) {
    name = "bawdel";
  } else if (KeyIs(oString, strGamma)) {
    name = "bawgam";
  } else if (KeyIs(oString, strVega)) {
    name = "bawvega";
  } else if (KeyIs(oString, strTheta)) {
    name = "bawtheta";
  } else if (KeyIs(oString, strImpliedVolatility)) {
    if (!(optionPrice > 0)) {
      AppDialogs().Critical(std::string(kInvalidOptionPrice) +
                            FormatNumber(optionPrice, kEntryFormat) + ")");
      return 0.0f;
    }
    return LibraryAmericanImpliedVol();
  } else if (KeyIs(oString, strRho)) {
    return CalcRho();
  } else {
    return 0.0f;
  }
  const double result = Library<ZelopBawFn>(name)(putCallFlag, s, r, t, k, sigma, q);
  if (std::isnan(result)) {
    // The inputs passed ValidInputs: the library refused the approximation.
    AppDialogs().Critical(kApproximationRefused);
    myError = true;
    return kLibraryFailure;
  }
  return ToSingle(result);
}

}  // namespace stratlyn
