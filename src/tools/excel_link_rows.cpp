// The spreadsheet link's pricing of one row: the checks a row passes before a
// record sees it, and the European (closed form) and American (lattice)
// figures with their implied volatility.

#include <cmath>
#include <limits>
#include <string>

#include "pricing/zel_barr.h"
#include "pricing/zel_bsop.h"
#include "tools/excel_link.h"
#include "util/fp_checks.h"
#include "util/zel_error.h"

namespace stratlyn {

namespace {

// True when every input is one the records can take (the common case,
// checked with a few comparisons before any message is made).
inline bool UsableInputs(const RowInputs& in) {
  constexpr float kMax = std::numeric_limits<float>::max();
  const auto positive = [](double v) {
    const float f = static_cast<float>(v);  // NaN and underflow give no f > 0
    return f > 0.0f && f <= kMax && v <= kMax;
  };
  const auto any = [](double v) {
    return std::fabs(v) <= kMax && (v == 0.0 || static_cast<float>(v) != 0.0f);
  };
  // A rate, yield or volatility above 5 (500 %) is a percentage typed as a
  // number (20 for 20 %): refused, as the entry fields refuse it.
  return positive(in.underlying) && positive(in.strike) && positive(in.maturity) &&
         positive(in.volatility) && any(in.dividend) && any(in.riskfree) && in.volatility <= 5.0 &&
         std::fabs(in.dividend) <= 5.0 && std::fabs(in.riskfree) <= 5.0 &&
         (in.type == 1.0 || in.type == 2.0);
}

// The checks every row passes before a record sees it; "" when it may be
// priced. The records hold single-precision numbers: a value beyond their
// range, or one that is not 0 but would be held as 0, is refused.
std::string RowInputProblem(const RowInputs& in) {
  if (UsableInputs(in)) [[likely]] {
    return {};
  }
  constexpr double kMax = std::numeric_limits<float>::max();
  const struct {
    const char* name;
    double value;
    bool positive;
  } inputs[] = {{"Underlying Asset", in.underlying, true},
                {"Strike Price", in.strike, true},
                {"Maturity", in.maturity, true},
                {"Volatility", in.volatility, true},
                {"Dividend Yield", in.dividend, false},
                {"Risk Free Rate", in.riskfree, false},
                {"Type", in.type, false}};
  for (const auto& input : inputs) {
    const double v = input.value;
    if (!std::isfinite(v) || std::fabs(v) > kMax || (v != 0 && static_cast<float>(v) == 0.0f)) {
      return std::string(input.name) + " " + FormatCellNumber(v) + link_text::kOutOfRange;
    }
  }
  if (in.type != 1.0 && in.type != 2.0) {
    return link_text::kBadType;
  }
  for (const auto* input : {&inputs[3], &inputs[4], &inputs[5]}) {
    if (std::fabs(input->value) > 5.0) {
      return std::string(input->name) + " " + FormatCellNumber(input->value) +
             link_text::kAboveFive;
    }
  }
  for (const auto& input : inputs) {
    if (!input.positive || input.value > 0) {
      continue;
    }
    if (&input == &inputs[3] && in.volatility_blank) {
      return std::string(input.name) + link_text::kIsEmpty;
    }
    return std::string(input.name) + link_text::kNotPositive;
  }
  return link_text::kCannotPrice + std::string("an input is out of range");
}

// The market price's own check, "" when an implied volatility is looked for.
std::string PriceProblem(const RowInputs& in) {
  constexpr double kMax = std::numeric_limits<float>::max();
  if (!std::isfinite(in.price) || std::fabs(in.price) > kMax ||
      (in.price != 0 && static_cast<float>(in.price) == 0.0f)) {
    return "Market Price " + FormatCellNumber(in.price) + link_text::kOutOfRange;
  }
  if (in.price <= 0) {
    return std::string("Market Price") + link_text::kNotPositive;
  }
  return {};
}

bool AllFinite(const float* v, int n) {
  for (int i = 0; i < n; ++i) {
    if (!std::isfinite(v[i])) {
      return false;
    }
  }
  return true;
}

std::string FaultMessage(const zelError& e) {
  if (zelBSOP::IsUnresolved(e)) {
    return link_text::kCannotPrice + e.Description();  // a refusal, not a fault
  }
  return link_text::kCannotPrice + e.Description() + " (error " + std::to_string(e.Number()) + ")";
}

// An implied volatility the records found: positive and finite (the
// records answer a price without a root with a negative sentinel).
bool FoundVolatility(float v) { return std::isfinite(v) && v > 0.0f; }

// The check both styles make before pricing a row: false, with the reason
// in `figures`, where its inputs cannot be priced.
bool InputsUsable(const RowInputs& in, RowFigures& figures) {
  if (UsableInputs(in)) [[likely]] {
    return true;
  }
  figures.message = RowInputProblem(in);
  return false;
}

// The check both styles make after the value: whether the implied volatility
// is to be solved. Not without a market price, nor (the reason in `figures`)
// where the price cannot be used.
bool ImpliedWanted(const RowInputs& in, bool hasPrice, RowFigures& figures) {
  if (!hasPrice || in.price_blank) {
    return false;
  }
  if (std::string problem = PriceProblem(in); !problem.empty()) {
    figures.message = std::move(problem);
    return false;
  }
  return true;
}

}  // namespace

OptionTerms RowInputs::Terms() const {
  // The row's checks have found every figure finite and within single
  // precision, and the type 1 or 2.
  const auto single = [](double v) { return static_cast<float>(v); };
  OptionTerms t;
  t.put = type == 2.0;
  t.american = american;
  t.spot = single(underlying);
  t.strike = single(strike);
  t.maturity = single(maturity);
  t.rate = single(riskfree);
  t.yield = single(dividend);
  t.vol = single(volatility);
  return t;
}

RowFigures RowPricer::PriceEuropeanRow(const RowInputs& in, bool hasPrice, RowResults& out) {
  RowFigures figures;
  if (!InputsUsable(in, figures)) [[unlikely]] {
    return figures;
  }
  if (!bsop_) {
    bsop_ = std::make_unique<zelBSOP>();
  }
  zelBSOP& o = *bsop_;
  try {
    o.SetTerms(in.Terms());
    o.GetValueAndGreeks(out.data(), true);
  } catch (const zelError& e) {
    figures.message = FaultMessage(e);
    return figures;
  }
  if (!AllFinite(out.data(), 5) || out[0] < 0) {
    figures.message = link_text::kCannotPrice + std::string("the value is out of range");
    return figures;
  }
  figures.valid = 5;
  if (!ImpliedWanted(in, hasPrice, figures)) {
    return figures;
  }
  try {
    o.SetOptionData(ToSingle(in.price), o.strOptionPrice);
    // The search leaves the record's volatility at the implied one, so the
    // Greeks below are those at the implied volatility.
    out[5] = o.GetOptionData(o.strImpliedVolatility, true);
    if (!FoundVolatility(out[5])) {
      figures.message = link_text::kNoVolatility;
      return figures;
    }
    o.GetGreeks(out.data() + 6);
  } catch (const zelError& e) {
    figures.message = FaultMessage(e);
    return figures;
  }
  if (!AllFinite(out.data() + 5, 5)) {
    figures.message = link_text::kNoVolatility;
    return figures;
  }
  figures.valid = 10;
  return figures;
}

RowFigures RowPricer::PriceAmericanRow(const RowInputs& in, bool hasPrice, RowResults& out) {
  RowFigures figures;
  if (!InputsUsable(in, figures)) [[unlikely]] {
    return figures;
  }
  if (!barr_) {
    barr_ = std::make_unique<zelBarr>();
  }
  zelBarr& b = *barr_;
  try {
    b.SetTerms(in.Terms());
    b.CalcBarr(b.AMERVANILLA);
  } catch (const zelError& e) {
    figures.message = FaultMessage(e);
    return figures;
  }
  out[0] = b.GetOptionData(b.strOptionPrice);
  out[1] = b.GetOptionData(b.strDelta);
  out[2] = b.GetOptionData(b.strGamma);
  out[3] = b.GetOptionData(b.strVega);
  out[4] = b.GetOptionData(b.strTheta);
  if (!AllFinite(out.data(), 5) || out[0] < 0) {
    // The lattice's answer when no step count can carry these inputs.
    figures.message = link_text::kCannotPrice + std::string("no lattice fits these inputs");
    return figures;
  }
  figures.valid = 5;
  if (!ImpliedWanted(in, hasPrice, figures)) {
    return figures;
  }
  try {
    b.SetOptionData(in.price, b.strOptionPrice);
    b.CalcBarr(b.AMERVANVOL);
  } catch (const zelError& e) {
    figures.message = FaultMessage(e);
    return figures;
  }
  out[5] = b.GetOptionData(b.strImpliedVolatility);
  out[6] = b.GetOptionData(b.strDelta);
  out[7] = b.GetOptionData(b.strGamma);
  out[8] = b.GetOptionData(b.strVega);
  out[9] = b.GetOptionData(b.strTheta);
  if (!FoundVolatility(out[5]) || !AllFinite(out.data() + 5, 5)) {
    figures.message = link_text::kNoVolatility;
    return figures;
  }
  figures.valid = 10;
  return figures;
}

}  // namespace stratlyn
