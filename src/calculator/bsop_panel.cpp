#include "calculator/bsop_panel.h"

#include <chrono>
#include <cstdio>
#include <ctime>

#include "pricing/term_check.h"
#include "pricing/zel_barr.h"
#include "pricing/zel_bsop.h"
#include "util/dates.h"
#include "util/error_handler.h"
#include "util/format.h"
#include "util/fp_checks.h"
#include "util/locale_info.h"
#include "util/numeric_entry.h"
#include "util/services.h"

namespace stratlyn {
namespace {

// zelBarr's results when no lattice fits the inputs (it has shown why).
constexpr float kLatticeRefused = -999.0f;
// Copy All ends each of its lines so: one line each where it is pasted.
constexpr const char* kCopyLineEnd = "\n";

char DecimalPoint() {
  const std::string& dp = CurrentEntryLocale().decimal_point;
  return dp.size() == 1 ? dp[0] : '.';
}

// Today's local date written as DateFormat says (month or day first).
std::string TodayText() {
  const std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  char text[48];
  if (DateFormat == kMonthFirst) {
    std::snprintf(text, sizeof text, "%02d/%02d/%04d", local.tm_mon + 1, local.tm_mday,
                  local.tm_year + 1900);
  } else {
    std::snprintf(text, sizeof text, "%02d/%02d/%04d", local.tm_mday, local.tm_mon + 1,
                  local.tm_year + 1900);
  }
  // A locale whose own order is neither (year first) cannot read that back:
  // give it its own short form.
  if (!IsDateText(text)) {
    return FormatShortDate(std::chrono::year_month_day{
        std::chrono::year{local.tm_year + 1900}, std::chrono::month{unsigned(local.tm_mon + 1)},
        std::chrono::day{unsigned(local.tm_mday)}});
  }
  return text;
}

}  // namespace

BsopPanel::BsopPanel() = default;
BsopPanel::~BsopPanel() = default;

zelBSOP& BsopPanel::Bsop() {
  if (!bsop_) {
    bsop_ = std::make_unique<zelBSOP>();
  }
  return *bsop_;
}

zelBarr& BsopPanel::Barr() {
  if (!barr_) {
    barr_ = std::make_unique<zelBarr>();
  }
  return *barr_;
}

std::array<std::string, 7> BsopPanel::StartTexts() {
  const char dp = DecimalPoint();
  return {"50", FormatNumber(0.25, "0.00", dp), FormatNumber(0.1, "0.00", dp), "1", "50", "0", "7"};
}

void BsopPanel::InitializeFields() {
  DetectDateFormat();
  fields.txtDate = TodayText();
  fields.Text1 = StartTexts();
}

std::string BsopPanel::Format(float value) const {
  return FormatNumber(value, kValueFormat, DecimalPoint());
}

namespace {
// What each field holds: prices refuse a percent sign, rates and the
// volatility take one ("5%" is 0.05) and stay within 500 %.
constexpr EntryKind kFieldKinds[7] = {EntryKind::kPrice,  EntryKind::kVolatility, EntryKind::kRate,
                                      EntryKind::kNumber, EntryKind::kPrice,      EntryKind::kRate,
                                      EntryKind::kPrice};
}  // namespace

bool BsopPanel::ReadField(int i, float& value) {
  // The entry is read from a copy: the field keeps the user's text.
  std::string text = fields.Text1[i];
  float read = 0.0f;  // a blank field counts as 0, not as the previous value
  if (ParseNumericEntry(text, read, bsop_text::kFieldCaptions[i], kFieldKinds[i])) {
    return true;
  }
  value = read;
  return false;
}

bool BsopPanel::ReadMaturity(float& value) {
  const std::string& text = fields.Text1[kMaturityField];
  // Years written as a decimal or with a whole part ("1 1/2", which is no
  // date's form) first; a date next; then a bare fraction ("3/4"), whose
  // slash a date also has.
  if (const EntryReading years = ReadEntry(text, EntryKind::kNumber);
      years.value && !years.blank && !IsBareFraction(years)) {
    value = static_cast<float>(*years.value);
    return false;
  }
  if (IsDateText(text)) {
    if (!IsDateText(fields.txtDate)) {
      AppDialogs().Critical(bsop_text::kNoStartDate);
      return true;
    }
    std::string end = text;
    value = YearsBetweenDates(fields.txtDate, end);
    // A past date read with day and month swapped is shown as read: the
    // field holds the date the option is priced to (one still past is
    // refused as typed).
    if (value >= 0) {
      fields.Text1[kMaturityField] = end;
      run_inputs_.texts[kMaturityField] = end;
    }
    return false;
  }
  return ReadField(kMaturityField, value);
}

void BsopPanel::ShowValue(const char* caption, float value) {
  fields.lblPrice = caption + Format(value);
  shown_.value = value;
  shown_.inputs = run_inputs_;
}

void BsopPanel::ShowGreeks(float delta, float gamma, float vega, float theta) {
  fields.lblDelta = Format(delta);
  fields.lblGamma = Format(gamma);
  fields.lblVega = Format(static_cast<float>(VegaIn(vega, units_)));
  fields.lblTheta = Format(static_cast<float>(ThetaIn(theta, units_)));
  shown_.greeks = std::array<float, 4>{delta, gamma, vega, theta};
  shown_.inputs = run_inputs_;
}

void BsopPanel::SetGreekUnits(GreekUnits units) {
  units_ = units;
  if (shown_.greeks) {
    const std::array<float, 4> g = *shown_.greeks;
    ShowGreeks(g[0], g[1], g[2], g[3]);
  }
}

std::array<std::string, 4> BsopPanel::GreekCaptions(GreekUnits units) {
  return {DeltaCaption(), GammaCaption(), VegaCaption(units), ThetaCaption(units)};
}

BsopPanel::Inputs BsopPanel::InputsOf(const BsopFields& f) {
  return Inputs{f.Text1, f.txtDate, f.chkEuro, f.chkPut, f.chkImpVol};
}

void BsopPanel::ClearResults() {
  fields.lblPrice = bsop_text::kPriceCaption;
  fields.lblDelta.clear();
  fields.lblGamma.clear();
  fields.lblVega.clear();
  fields.lblTheta.clear();
  shown_.value.reset();
  shown_.greeks.reset();
}

void BsopPanel::DropStaleResults(const BsopFields& now) {
  if ((shown_.value || shown_.greeks) && !(shown_.inputs == InputsOf(now))) {
    ClearResults();
  }
}

void BsopPanel::cmdCalculate_Click() {
  // The lattice lets window events run: a second Calculate then would
  // change the inputs and records of the run in progress. It is ignored.
  if (calculating_) {
    return;
  }
  struct Running {
    bool& flag;
    explicit Running(bool& f) : flag(f) { flag = true; }
    ~Running() { flag = false; }
  } running(calculating_);
  Events& events = AppEvents();
  // Whatever happens next, the figures shown belong to the inputs before:
  // a refused entry leaves none on screen.
  ClearResults();
  run_inputs_ = InputsOf(fields);
  RunCommand(
      [&] {
        OptionTerms terms;
        if (!ReadTerms(terms)) {
          return;
        }
        terms_ = terms;

        EntryText.clear();
        if (terms_.spot <= 0) {
          EntryText = term_names::kUnderlying;
        }
        if (terms_.strike <= 0) {
          EntryText = term_names::kStrike;
        }
        if (terms_.maturity <= 0) {
          EntryText = term_names::kMaturity;
        }
        // Solving for the volatility lets only the volatility be 0; the
        // other terms are refused as without the solve.
        if (terms_.vol <= 0 && !fields.chkImpVol) {
          EntryText = term_names::kVolatility;
        }
        if (!EntryText.empty()) {
          AppDialogs().Critical(NotPositiveMessage(EntryText));
          return;
        }
        if (terms_.vol <= 0) {
          terms_.vol = 0.25f;  // about to be solved for
        }

        events.SetBusy(true);
        if (fields.chkEuro) {
          CalcEuropean();
        } else {
          CalcAmerican();
        }
        events.SetBusy(false);
        events.ProcessPending();
      },
      [&] { events.SetBusy(false); });
}

void BsopPanel::CalcEuropean() {
  try {
    CalcEuropeanFigures();
  } catch (const zelError& e) {
    if (!zelBSOP::IsUnresolved(e)) {
      throw;
    }
    // Not a fault: the closed form cannot vouch for these figures. None of
    // them stays on screen, and the reason is said as it is.
    ClearResults();
    AppDialogs().Critical(e.Description());
  }
}

void BsopPanel::CalcEuropeanFigures() {
  zelBSOP& o = Bsop();
  o.SetTerms(terms_);

  if (!fields.chkImpVol) {
    option_price_ = o.GetOptionData(o.strOptionPrice);
    ShowValue(bsop_text::kEuropeanValue, option_price_);
  } else {
    if (ReadField(kOptionPriceField, option_price_)) {
      return;
    }
    o.SetOptionData(option_price_, o.strOptionPrice);
    const float sigma = o.GetOptionData(o.strImpliedVolatility);
    if (sigma < 0) {
      NoImpliedVolatility();
      return;
    }
    terms_.vol = sigma;
    option_price_ = o.GetOptionData(o.strOptionPrice);
    // The solved volatility goes into its field: the figures belong to it.
    fields.Text1[kVolatilityField] = Format(terms_.vol);
    run_inputs_.texts[kVolatilityField] = fields.Text1[kVolatilityField];
    ShowValue(bsop_text::kEuropeanValue, option_price_);
  }
  ShowGreeks(o.GetOptionData(o.strDelta), o.GetOptionData(o.strGamma), o.GetOptionData(o.strVega),
             o.GetOptionData(o.strTheta));
  AppEvents().ProcessPending();
}

void BsopPanel::CalcAmerican() {
  zelBarr& b = Barr();
  b.SetTerms(terms_);

  if (!fields.chkImpVol) {
    b.CalcBarr(b.AMERVANILLA);
    const float value = b.GetOptionData(b.strOptionPrice);
    if (value == kLatticeRefused) {
      // The record has told the user why no lattice fits these inputs.
      fields.lblPrice = bsop_text::kPriceCaption;
      shown_.value.reset();
      return;
    }
    ShowValue(bsop_text::kAmericanValue, value);
  } else {
    if (ReadField(kOptionPriceField, option_price_)) {
      return;
    }
    b.SetOptionData(option_price_, b.strOptionPrice);
    b.CalcBarr(b.AMERVANVOL);
    // A failed search stops here as on the European path: Greeks of a
    // volatility that was never found would mean nothing.
    const float sigma = b.GetOptionData(b.strImpliedVolatility);
    if (sigma < 0) {
      NoImpliedVolatility();
      return;
    }
    terms_.vol = sigma;
    fields.Text1[kVolatilityField] = Format(terms_.vol);
    run_inputs_.texts[kVolatilityField] = fields.Text1[kVolatilityField];
    ShowValue(bsop_text::kAmericanValue, b.GetOptionData(b.strOptionPrice));
  }
  ShowGreeks(b.GetOptionData(b.strDelta), b.GetOptionData(b.strGamma), b.GetOptionData(b.strVega),
             b.GetOptionData(b.strTheta));
  AppEvents().ProcessPending();
}

void BsopPanel::NoImpliedVolatility() {
  // The value and Greeks on screen belong to other inputs: none is shown.
  fields.lblPrice = bsop_text::kPriceCaption;
  shown_.value.reset();
  AppDialogs().Critical(bsop_text::kNoImpliedVolatility);
}

void BsopPanel::cmdCopyData_Click() {
  const char dp = DecimalPoint();
  auto copy_format = [dp](float v) { return FormatNumber(v, kCopyFormat, dp); };
  // Figures computed from other inputs than those on screen are not copied
  // beside them.
  DropStaleResults(fields);
  EntryText = shown_.value ? copy_format(*shown_.value) : std::string();
  EntryText += kCopyLineEnd;
  for (int i = 0; i < 4; ++i) {
    if (shown_.greeks) {
      EntryText += copy_format((*shown_.greeks)[i]);
    }
    EntryText += kCopyLineEnd;
  }
  for (const auto& text : fields.Text1) {
    EntryText += text;
    EntryText += kCopyLineEnd;
  }
  Clipboard& clipboard = AppClipboard();
  clipboard.Clear();
  clipboard.SetText(EntryText);
}

bool BsopPanel::ReadTerms(OptionTerms& terms) {
  terms.put = fields.chkPut;
  terms.american = !fields.chkEuro;
  return !ReadField(kUnderlyingField, terms.spot) && !ReadField(kVolatilityField, terms.vol) &&
         !ReadField(kRateField, terms.rate) && !ReadMaturity(terms.maturity) &&
         !ReadField(kStrikeField, terms.strike) && !ReadField(kDividendField, terms.yield);
}

bool BsopPanel::GetParameters(OptionTerms& terms) {
  OptionTerms read;
  if (!ReadTerms(read) || ReadField(kOptionPriceField, read.market_price)) {
    return false;
  }
  terms = read;
  return true;
}

void BsopPanel::SetStockQuote(const std::string& txt) {
  fields.Text1[kUnderlyingField] = txt;
  AppEvents().ProcessPending();
}

void BsopPanel::SetOptionQuote(const std::string& txt) { fields.Text1[kOptionPriceField] = txt; }
void BsopPanel::SetOptionStrike(const std::string& txt) { fields.Text1[kStrikeField] = txt; }
void BsopPanel::SetOptionMaturity(const std::string& txt) { fields.Text1[kMaturityField] = txt; }

}  // namespace stratlyn
