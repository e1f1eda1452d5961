// zelBarr's figures from the separate pricing library (CallTrino).

#include <charconv>
#include <string>
#include <string_view>
#include <system_error>

#include "pricing/zel_barr.h"
#include "pricing/zel_barr_internal.h"
#include "pricing/zelop_loader.h"
#include "util/format.h"
#include "util/fp_checks.h"
#include "util/zel_error.h"
#include "zelop/zelop_api.h"

namespace stratlyn {

using namespace zel_barr_internal;

// ---- The separate library -------------------------------------------------------

namespace {

// What the library's lattice answers for such inputs.
constexpr double kLibraryDriftTooLarge = -2;
constexpr double kLibraryBarrierTooClose = -3;
constexpr double kLibraryBarrierTooCoarse = -4;
constexpr double kLibraryAmericanBarrierTooCoarse = -5;
constexpr const char* kLibraryDriftMessage =
    "The pricing library's lattice cannot value this option: the drift is too large against "
    "the volatility for a lattice of at most 16382 steps";
constexpr const char* kLibraryBarrierMessage =
    "The pricing library's lattice cannot value this option: the barrier is too close to the "
    "underlying price for a lattice of at most 16382 steps";
constexpr const char* kLibraryCoarseMessage =
    "The pricing library's lattice cannot value this option: even at 4000 steps its European "
    "barrier value misses the closed form by more than 0.2 % of the value plus 0.01 % of the "
    "larger of spot and strike";
constexpr const char* kLibraryAmericanCoarseMessage =
    "The pricing library's lattice cannot value this option: its American barrier value still "
    "moves by more than 0.2 % of the value plus 0.01 % of the larger of spot and strike at 4000 "
    "steps against 8000";

// A library figure written with a display pattern and read back, which keeps
// only the decimals the pattern shows.
float ThroughPattern(double value, std::string_view pattern) {
  const std::string text = FormatNumber(CheckFinite(value), pattern);
  float result = 0;
  const auto [ptr, ec] = std::from_chars(text.data(), text.data() + text.size(), result);
  if (ec != std::errc() || ptr != text.data() + text.size()) {
    throw zelError(err::kTypeMismatch);
  }
  return result;
}

}  // namespace

void zelBarr::CalcBarrDLL(int code) {
  constexpr int kLibrarySteps = 100;
  const auto trino = reinterpret_cast<ZelopTrinoFn>(ZelopSymbol("CallTrino"));
  double in[11] = {underlying, volatility, riskFree, maturity, strike, dividendYield,
                   barrier,    rebate,     0,        0,        0};
  double out[11] = {};
  const double status = trino(putCallSign, in, code, optionPrice, kLibrarySteps, out);
  if (status == kLibraryDriftTooLarge || status == kLibraryBarrierTooClose ||
      status == kLibraryBarrierTooCoarse || status == kLibraryAmericanBarrierTooCoarse) {
    ReportUnusable(code, status == kLibraryDriftTooLarge      ? kLibraryDriftMessage
                         : status == kLibraryBarrierTooClose  ? kLibraryBarrierMessage
                         : status == kLibraryBarrierTooCoarse ? kLibraryCoarseMessage
                                                              : kLibraryAmericanCoarseMessage);
    return;
  }
  if (code >= 2000 && out[5] == kNoRoot) {
    // The library found no volatility for the price: "impvol" -999 as on the
    // record's own lattice, and no value figures (the library gives none).
    volatility = static_cast<float>(kNoRoot);
    resultPrice = resultDelta = resultGamma = resultVega = resultTheta = 0.0f;
    return;
  }
  resultPrice = ToSingle(out[0]);
  resultDelta = ThroughPattern(out[1], "#0.000##");
  resultGamma = ThroughPattern(out[2], "###0.000##");
  resultVega = ThroughPattern(out[3], "###0.000##");
  resultTheta = ThroughPattern(out[4], "###0.000##");
  volatility = ThroughPattern(out[5], "###0.0000");
}

}  // namespace stratlyn
