#pragma once
// zelBSOP: the vanilla option record. Holds the terms of one European option as
// 32-bit floats, takes them one at a time by string key, and hands out the
// Black-Scholes-Merton value, the Greeks and the implied volatility by key.
//
// Callers pass the record's own key members back in:
//   zelBSOP o;
//   o.SetOptionData(50.0f, o.strUnderlying);
//   float v = o.GetOptionData(o.strOptionPrice);

#include <cstdint>
#include <string>

#include "pricing/option_terms.h"
#include "util/zel_error.h"

namespace stratlyn {

class zelBSOP {
 public:
  // Keys (compared by exact, case-sensitive equality; never changed by the class).
  std::string strType = "type";
  std::string strEuroPut = "europut";
  std::string strEuroCall = "eurocall";
  std::string strDvl = "dvl";
  std::string strRiskFree = "riskfree";
  std::string strVolatility = "vol";
  std::string strMaturity = "mat";
  std::string strStrike = "strike";
  std::string strUnderlying = "uasset";
  std::string strOptionPrice = "opr";
  std::string strPutcall = "putcall";
  std::string strPrice = "price";
  std::string strDelta = "delta";
  std::string strGamma = "gamma";
  std::string strVega = "vega";
  std::string strRho = "rho";
  std::string strTheta = "theta";
  std::string strImpliedVolatility = "impvol";
  // Set by GetBSOPDLL: true after a trapped library failure.
  bool myError = false;
  // When true (the default) a figure whose error from the cumulative normal
  // below exceeds kResolvedShare of the figure is refused (zelError
  // kInvalidCall with kUnresolvedValue) and an implied volatility whose value
  // is so refused is -999. False gives the figures as they come.
  bool refuseUnresolved = true;
  // The largest share of a figure that the cumulative normal's error may take.
  static constexpr double kResolvedShare = 0.01;
  static constexpr const char* kUnresolvedValue =
      "The option's value or Greeks are below what the closed form can resolve: its "
      "cumulative normal errs by more than 1 % of a figure (too little time value, or too "
      "far from the money)";
  // True for the refusal above.
  static bool IsUnresolved(const zelError& e);
  // Type codes for "type": 4 means put, 5 call (1 and 2 also mean call and put).
  std::int16_t PutOption = 4;
  std::int16_t CallOption = 5;

  // Sets one input by key; unknown keys are ignored and nothing is validated.
  // Throws zelError 6 when a value under "type" does not fit a 16-bit integer
  // (nothing is stored then).
  void SetOptionData(float oo, const std::string& oString);

  // The result named by the key: "opr" value, "delta", "gamma", "vega", "theta",
  // "rho", "impvol"; 0 for any other key. A non-positive volatility is replaced
  // by 0.25 first (and kept). Invalid maturity, underlying or strike: -999 and,
  // unless noMessage, a critical "Quorvale" box through AppDialogs().
  // Throws zelError 5/6/11 for a floating-point fault in a formula.
  float GetOptionData(const std::string& oString, bool noMessage = false);

  // The seven terms of a European option at once, exactly as SetOptionData
  // under "type", "riskfree", "mat", "strike", "uasset", "vol" and "dvl" in
  // that order sets them (zelError 6 for a type beyond 16 bits, nothing
  // stored then).
  void SetTerms(float type, float riskFree, float maturity, float strike, float underlying,
                float volatility, float dividendYield);
  // The same for the terms in one value, and the market price under "opr"
  // (0 when none is given). The exercise style is the caller's: this
  // record prices European options.
  void SetTerms(const OptionTerms& terms);

  // "opr", "delta", "gamma", "vega" and "theta" at once: the same five
  // figures, faults and message as GetOptionData under each key in that
  // order, the first with `noMessage` and the others without a message.
  void GetValueAndGreeks(float out[5], bool noMessage = false);
  // "delta", "gamma", "vega" and "theta" at once, as GetValueAndGreeks
  // without the value.
  void GetGreeks(float out[4], bool noMessage = true);

  // The record's cumulative standard normal approximation (five coefficients).
  float vbCumNorm(float x);

  // True when the value at the present terms and volatility is resolved:
  // its error from vbCumNorm, with an allowance for the float steps, is
  // within kResolvedShare of the value. Invalid terms count as resolved
  // (they have their own message).
  bool ValueResolved(double scale = 0);
  // The same for the figure under `key` ("opr", "delta", "gamma", "vega",
  // "theta", "rho") on its own: within kResolvedShare of the larger of the
  // figure and `scale` (a plot's or a distribution's size, where the figure
  // is one point among larger ones). Gamma and vega always are.
  bool Resolved(const std::string& key, double scale);
  // True when the value's error at the present volatility moves the
  // volatility that reprices the market price by no more than
  // kResolvedShare of it (an implied volatility the value can vouch for).
  bool VolatilityResolved();

  // European (GetBSOPDLL) and American (GetBAWDLL) figures by key from the
  // separate pricing library libzelop32.so, loaded on first use.
  // GetBSOPDLL traps run-time errors: ErrorHandler, myError = true, -9999.
  // GetBAWDLL raises them (zelError 48/53 when the library cannot be loaded).
  float GetBSOPDLL(const std::string& oString);
  float GetBAWDLL(const std::string& oString);

 private:
  // Quantities that depend only on S, K, r, q and T, computed once per set of
  // inputs (volatility changes, as in the implied-volatility search, reuse
  // them). Every cached value is exactly what the formulas would compute anew.
  struct InputCache {
    float r = 0, q = 0, t = 0;
    bool terms_valid = false;
    double exp_qt = 0;  // e^(-qT)
    double exp_rt = 0;  // e^(-rT)
    double sqrt_t = 0;  // sqrt(T)
    float s = 0, k = 0;
    bool valid = false;
    int fwd_fault = 0;        // error number for S' and ln(S'/K), 0 when usable
    float s_fwd = 0;          // S' = S e^(-qT), as float
    double ln_sfwd_k = 0;     // ln(S' / K)
    double ln_s_k = 0;        // ln(S / K)
    unsigned generation = 0;  // changes whenever any input above changes
  };
  // d1 and n(d1) of the gamma/vega/theta family for one volatility.
  struct DensityCache {
    unsigned generation = 0;
    float sigma = 0;
    bool valid = false;
    float d1 = 0, nd1 = 0;
  };
  // The last few vbCumNorm results for x >= 0, and of exp(-x*x/2) (which
  // vbCumNorm and the density share), by |x|.
  struct NormCache {
    float a[4] = {-1, -1, -1, -1};
    float n[4] = {};
    unsigned next = 0;
    float exp_a[4] = {-1, -1, -1, -1};
    double exp_v[4] = {};
    unsigned exp_next = 0;
  };
  double HalfSquareExp(float x);

  const InputCache& Inputs();
  const InputCache& RefreshInputs();
  // Inputs() for the results that use S'; throws the fault S' had.
  const InputCache& ForwardInputs();
  // True when maturity, underlying and strike are positive; otherwise shows the
  // message for the first that is not (unless noMessage) and returns false.
  bool ValidInputs(bool noMessage) {
    if (maturity > 0 && underlying > 0 && strike > 0) [[likely]] {
      return true;
    }
    return ReportInvalidInput(noMessage);
  }
  bool ReportInvalidInput(bool noMessage);
  // The default volatility for a non-positive one, then ValidInputs; when
  // that fails, `count` results of -999 in out and false.
  bool ReadyForFigures(float* out, int count, bool noMessage);
  float CalcValue();
  float CalcDelta();
  float CalcGamma();
  float CalcVega();
  float CalcTheta();
  float CalcRho();
  // The figure under `key` with its cumulative-normal check (see
  // refuseUnresolved).
  float ResolvedFigure(const std::string& key);
  // The value beside its counterpart with the exact normal at the same d1
  // and d2, the float steps those hide, and d1 and S e^(-qT).
  struct ValueCheck {
    double record, exact, rounding, d1, s_fwd;
  };
  ValueCheck CheckValue();
  bool DeltaResolved(double scale = 0);
  bool ThetaResolved(double scale = 0);
  bool RhoResolved(double scale = 0);
  void RequireResolved(bool resolved);
  // d1 and d2 of the value and rho.
  void ValueD(float& d1, float& d2);
  // d1 and n(d1) of the gamma/vega/theta family.
  void GammaD1(float& d1, float& nd1);
  float ImpliedVolByBrent();
  float PriceGap(float sigma);
  float BrentRoot(int flag, float x1, float x2, float tol);
  // The library's implied volatility with the European argument list.
  float LibraryImpliedVol();
  // The volatility at which the library's American (BAW) value is the
  // market price, -999 when none from 0.0001 to 10 is.
  float LibraryAmericanImpliedVol();

  std::int16_t putCallFlag = 0;  // 1 call, anything else put
  std::int16_t optionType = 1;
  float strike = 50.0f;
  float volatility = 0.25f;
  float riskFree = 0.1f;
  float maturity = 0.25f;
  float dividendYield = 0.0f;
  float underlying = 0.0f;
  float optionPrice = 0.0f;
  InputCache cache_;
  DensityCache density_;
  NormCache norm_;
};

}  // namespace stratlyn
