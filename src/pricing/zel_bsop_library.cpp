// zelBSOP's figures from the separate pricing library (GetBSOPDLL, GetBAWDLL).

#include <exception>
#include <string>

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

template <typename Fn>
Fn Library(const char* name) {
  return reinterpret_cast<Fn>(ZelopSymbol(name));
}

}  // namespace

float zelBSOP::LibraryImpliedVol() {
  const auto fn = Library<ZelopImpvolFn>("impvol");
  return ToSingle(fn(putCallFlag, riskFree, maturity, strike, underlying, volatility,
                     kLibraryTolerance, optionPrice, dividendYield, kLibraryIterations));
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
    return LibraryImpliedVol();
  } else if (KeyIs(oString, strRho)) {
    return CalcRho();
  } else {
    return 0.0f;
  }
  return ToSingle(Library<ZelopBawFn>(name)(putCallFlag, s, r, t, k, sigma, q));
}

}  // namespace stratlyn
