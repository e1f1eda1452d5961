#include "calculator/barrier_option.h"

#include "calculator/bsop_panel.h"
#include "pricing/zel_barr.h"
#include "util/services.h"

namespace stratlyn {
namespace {

// The record's answer to inputs on which no lattice fits.
constexpr float kRefused = -999.0f;

}  // namespace

int BarrierCode(const zelBarr& b, BarrierKind kind, bool american, bool implied) {
  int code = 0;
  switch (kind) {
    case BarrierKind::kNone:
      code = american ? b.AMERVANILLA : b.EUROVANILLA;
      break;
    case BarrierKind::kDownOut:
      code = american ? b.AMERDOWNOUT : b.EURODOWNOUT;
      break;
    case BarrierKind::kDownIn:
      code = american ? b.AMERDOWNIN : b.EURODOWNIN;
      break;
    case BarrierKind::kUpOut:
      code = american ? b.AMERUPOUT : b.EUROUPOUT;
      break;
    case BarrierKind::kUpIn:
      code = american ? b.AMERUPIN : b.EUROUPIN;
      break;
  }
  return implied ? code + 1000 : code;
}

std::optional<BarrierFigures> PriceBarrier(zelBarr& b, const BarrierInputs& in) {
  if (!(in.level > 0)) {
    AppDialogs().Critical(barrier_text::kLevelNotPositive);
    return std::nullopt;
  }
  if (!RebateAcceptable(in.rebate)) {
    AppDialogs().Critical(barrier_text::kRebateNegative);
    return std::nullopt;
  }
  const bool down = in.kind == BarrierKind::kDownOut || in.kind == BarrierKind::kDownIn;
  const bool knock_out = in.kind == BarrierKind::kDownOut || in.kind == BarrierKind::kUpOut;
  const OptionTerms& t = in.terms;
  if (in.implied && knock_out && (down ? t.spot <= in.level : t.spot >= in.level)) {
    AppDialogs().Critical(barrier_text::kKnockedOutNoImpliedVol);
    return std::nullopt;
  }
  b.SetTerms(t);
  b.SetOptionData(in.level, b.strBarrier);
  b.SetOptionData(in.rebate, b.strRebate);
  b.CalcBarr(BarrierCode(b, in.kind, t.american, in.implied));
  BarrierFigures f;
  if (in.implied) {
    const float sigma = b.GetOptionData(b.strImpliedVolatility);
    if (sigma == kRefused && b.GetOptionData(b.strOptionPrice) == kRefused) {
      return std::nullopt;  // no lattice: the record has said why
    }
    if (!(sigma > 0)) {
      AppDialogs().Critical(bsop_text::kNoImpliedVolatility);
      return std::nullopt;
    }
    f.implied_vol = sigma;
  }
  f.value = b.GetOptionData(b.strOptionPrice);
  if (f.value == kRefused) {
    return std::nullopt;
  }
  f.delta = b.GetOptionData(b.strDelta);
  f.gamma = b.GetOptionData(b.strGamma);
  f.vega = b.GetOptionData(b.strVega);
  f.theta = b.GetOptionData(b.strTheta);
  return f;
}

}  // namespace stratlyn
