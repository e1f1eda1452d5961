#include <cmath>
#include <string>

#include "cli/price.h"
#include "pricing/option_terms.h"
#include "pricing/zel_barr.h"
#include "pricing/zel_bsop.h"
#include "pricing/zelop_loader.h"

namespace stratlyn::cli::price {
namespace {

// The option's terms as the records take them (after Parse: every required
// number is there).
OptionTerms TermsOf(const Request& r) {
  OptionTerms t;
  t.put = !r.call;
  t.american = r.american;
  t.spot = *r.spot;
  t.strike = *r.strike;
  t.maturity = *r.maturity;
  t.rate = *r.rate;
  t.yield = r.yield.value_or(0.0f);
  t.vol = *r.vol;
  t.market_price = r.market_price.value_or(0.0f);
  return t;
}

// The record's own check of maturity, underlying and strike, with its message.
void CheckTerms(const OptionTerms& t, CollectingDialogs& dialogs) {
  zelBSOP check;
  check.SetOptionData(t.maturity, check.strMaturity);
  check.SetOptionData(t.spot, check.strUnderlying);
  check.SetOptionData(t.strike, check.strStrike);
  if (check.GetOptionData(check.strPrice) == -999.0f) {
    throw UsageError{dialogs.messages.empty() ? "invalid input" : dialogs.messages.back()};
  }
}

void CheckImpliedVol(float impvol) {
  if (impvol == -999.0f) {
    throw UsageError{"no volatility gives the market price (it is out of the model's reach)"};
  }
  if (impvol == 0.0f) {
    throw zelError(err::kInvalidCall, "the implied volatility did not converge");
  }
}

Figures European(const Request& r) {
  zelBSOP o;
  o.SetTerms(TermsOf(r));
  Figures f;
  if (r.market_price) {
    o.SetOptionData(*r.market_price, o.strOptionPrice);
    f.impvol = o.GetOptionData(o.strImpliedVolatility, true);
    CheckImpliedVol(*f.impvol);
  }
  f.value = o.GetOptionData(o.strOptionPrice, true);
  f.delta = o.GetOptionData(o.strDelta, true);
  f.gamma = o.GetOptionData(o.strGamma, true);
  f.vega = o.GetOptionData(o.strVega, true);
  f.theta = o.GetOptionData(o.strTheta, true);
  f.rho = o.GetOptionData(o.strRho, true);
  return f;
}

int LatticeCode(const zelBarr& b, const Request& r) {
  int code = 0;
  switch (r.kind) {
    case BarrierKind::kNone:
      code = r.american ? b.AMERVANILLA : b.EUROVANILLA;
      break;
    case BarrierKind::kDownOut:
      code = r.american ? b.AMERDOWNOUT : b.EURODOWNOUT;
      break;
    case BarrierKind::kDownIn:
      code = r.american ? b.AMERDOWNIN : b.EURODOWNIN;
      break;
    case BarrierKind::kUpOut:
      code = r.american ? b.AMERUPOUT : b.EUROUPOUT;
      break;
    case BarrierKind::kUpIn:
      code = r.american ? b.AMERUPIN : b.EUROUPIN;
      break;
  }
  return r.market_price ? code + 1000 : code;
}

Figures Lattice(const Request& r, const CollectingDialogs& dialogs) {
  const OptionTerms t = TermsOf(r);
  zelBarr b;
  b.SetTerms(t);
  b.SetOptionData(r.barrier.value_or(0.0f), b.strBarrier);
  b.SetOptionData(r.rebate.value_or(0.0f), b.strRebate);
  if (r.steps) {
    b.SetOptionData(*r.steps, b.strNSTEPS);
  }
  const int code = LatticeCode(b, r);
  if (r.library) {
    b.CalcBarrDLL(code);
  } else {
    b.CalcBarr(code);
  }
  if (b.GetOptionData(b.strOptionPrice) == -999.0f && !dialogs.messages.empty()) {
    throw UsageError{dialogs.messages.back()};  // the record refused the inputs
  }
  Figures f;
  if (r.market_price) {
    f.impvol = b.GetOptionData(b.strImpliedVolatility);
    CheckImpliedVol(*f.impvol);
  }
  f.value = b.GetOptionData(b.strOptionPrice);
  f.delta = b.GetOptionData(b.strDelta);
  f.gamma = b.GetOptionData(b.strGamma);
  f.vega = b.GetOptionData(b.strVega);
  f.theta = b.GetOptionData(b.strTheta);
  return f;
}

// The library's European (GetBSOPDLL) or American (GetBAWDLL) figures.
Figures LibraryVanilla(const Request& r, CollectingDialogs& dialogs) {
  zelBSOP o;
  o.SetTerms(TermsOf(r));
  const auto get = [&](const std::string& key) {
    const float v = r.american ? o.GetBAWDLL(key) : o.GetBSOPDLL(key);
    if (o.myError) {
      // The record trapped the error and reported it; pass its messages on.
      std::string text = "the pricing library failed";
      bool missing = false;
      bool refused = false;  // found, but not loaded (it failed the check)
      const std::string load_error = std::string(ErrorText(err::kLibraryLoad)) + ": ";
      for (const std::string& m : dialogs.messages) {
        text += "\n" + m;
        missing = missing || m.find(kZelopLibraryName) != std::string::npos;
        refused = refused || m.rfind(load_error, 0) == 0;
      }
      throw zelError(refused   ? err::kLibraryLoad
                     : missing ? err::kFileNotFound
                               : err::kInvalidCall,
                     text);
    }
    return v;
  };
  Figures f;
  if (r.market_price) {
    o.SetOptionData(*r.market_price, o.strOptionPrice);
    f.impvol = get(o.strImpliedVolatility);
    if (*f.impvol == -999.0f) {
      CheckImpliedVol(*f.impvol);
    }
    o.SetOptionData(*f.impvol, o.strVolatility);
  }
  f.value = get(o.strOptionPrice);
  f.delta = get(o.strDelta);
  f.gamma = get(o.strGamma);
  f.vega = get(o.strVega);
  f.theta = get(o.strTheta);
  if (!r.american) {
    f.rho = get(o.strRho);
  }
  return f;
}

// The input to blame for a floating-point fault of a formula: the number
// farthest, by orders of magnitude, from the size such an input usually has.
UsageError FaultyInput(const Request& r) {
  const std::pair<const std::optional<float>*, double> usual[] = {
      {&r.spot, 100},   {&r.strike, 100},  {&r.maturity, 1}, {&r.rate, 0.05},      {&r.vol, 0.25},
      {&r.yield, 0.02}, {&r.barrier, 100}, {&r.rebate, 1},   {&r.market_price, 10}};
  double worst = -1;
  std::string text;
  float value = 0;
  for (const auto& [slot, text_given] : r.texts) {
    for (const auto& [candidate, size] : usual) {
      if (candidate != slot || !*slot || **slot == 0) {
        continue;
      }
      const double distance = std::fabs(std::log10(std::fabs(**slot) / size));
      if (distance > worst) {
        worst = distance;
        text = text_given;
        value = **slot;
      }
    }
  }
  if (worst < 0) {
    return UsageError{"the inputs are out of the formulas' range"};
  }
  const bool large = std::fabs(value) > 1;
  return UsageError{text + (large ? (value > 0 ? kTooLarge : kTooLargeNegative) : kTooSmall)};
}

// A floating-point fault of a formula (not a missing library, not a search
// that gave up): zelError 5, 6 or 11 with the table's own description.
bool IsFormulaFault(const zelError& e) {
  const int n = e.Number();
  return (n == err::kInvalidCall || n == err::kOverflow || n == err::kDivisionByZero) &&
         e.Description() == ErrorText(n);
}

}  // namespace

Figures Price(const Request& r, CollectingDialogs& dialogs) {
  CheckTerms(TermsOf(r), dialogs);
  try {
    if (r.library && !r.barrier) {
      return LibraryVanilla(r, dialogs);
    }
    if (r.american || r.barrier) {
      return Lattice(r, dialogs);
    }
    return European(r);
  } catch (const zelError& e) {
    // Not RunCommand: a formula's fault becomes the refusal of these inputs
    // (exit 2); anything else goes up to main (exit 1).
    if (IsFormulaFault(e)) {
      throw FaultyInput(r);
    }
    if (zelBSOP::IsUnresolved(e)) {
      throw UsageError{e.Description()};  // a refusal of these inputs, not a fault
    }
    throw;
  }
}

}  // namespace stratlyn::cli::price
