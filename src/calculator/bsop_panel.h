#pragma once
// The calculator panel ucBSOP without its widgets: the state of its controls
// as texts and flags, its pricing records, and its commands (Calculate, Copy
// All, GetParameters, the Set operations). The widget copies its controls
// into `fields`, runs a command and shows what changed.

#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "pricing/option_terms.h"
#include "util/greek_units.h"

namespace stratlyn {

class zelBSOP;
class zelBarr;

// Indices of the seven entry fields Text1(0..6).
enum BsopField {
  kUnderlyingField = 0,
  kVolatilityField = 1,
  kRateField = 2,
  kMaturityField = 3,
  kStrikeField = 4,
  kDividendField = 5,
  kOptionPriceField = 6,
};

// The controls of the panel that its commands read and write.
struct BsopFields {
  std::array<std::string, 7> Text1;
  std::string txtDate;
  bool chkEuro = true;     // European selected (else American)
  bool chkPut = false;     // Put Option selected (else Call Option)
  bool chkImpVol = false;  // Implied Volatility ticked
  std::string lblPrice = "Calculated Value";
  std::string lblDelta, lblGamma, lblVega, lblTheta;
};

// Captions, texts and messages of the panel.
namespace bsop_text {
inline constexpr const char* kFieldCaptions[7] = {
    "Underlying Price", "Volatility",     "Interest Rate",      "Maturity",
    "Strike Price",     "Dividend Yield", "Market Option Price"};
inline constexpr const char* kGreekCaptions[4] = {"Delta", "Gamma", "Vega", "Theta"};
inline constexpr const char* kEuropeanValue = "Value: ";
inline constexpr const char* kAmericanValue = "Value : ";
inline constexpr const char* kPriceCaption = "Calculated Value";
// The implied volatility has no root: the volatility field is kept.
inline constexpr const char* kNoImpliedVolatility =
    "No volatility gives the market option price: the price lies outside the values the option "
    "can take. The volatility field is left as it was.";
// A maturity written as a date is counted from the Date field.
inline constexpr const char* kNoStartDate =
    "The maturity is a date: please enter in the Date field the date to count it from";
}  // namespace bsop_text

class BsopPanel {
 public:
  BsopPanel();
  ~BsopPanel();
  BsopPanel(const BsopPanel&) = delete;
  BsopPanel& operator=(const BsopPanel&) = delete;

  BsopFields fields;

  // Detects the date order, writes today's date and the start texts into the
  // fields (the last two steps of the panel's start-up).
  void InitializeFields();
  // The start texts of the seven fields ("50", "0.25", "0.10", "1", "50", "0",
  // "7"; the two fractions in the locale's decimal form).
  static std::array<std::string, 7> StartTexts();

  // "Calculate": reads and checks the fields, prices the option (European in
  // closed form, American on the lattice) and shows value and Greeks.
  // Bad entries are reported by message box and change no result; run-time
  // errors go to ErrorHandler.
  void cmdCalculate_Click();
  // "Copy All": twelve lines, each ended by a line feed (value, delta,
  // gamma, vega, theta, then the seven field texts) onto the clipboard. The
  // value and Greeks are those shown, and only while they belong to the
  // inputs now in the fields and choices; otherwise their lines are empty.
  void cmdCopyData_Click();
  // True while Calculate runs: it lets window events run, and a second
  // Calculate (or Enter) arriving then is ignored.
  bool Calculating() const { return calculating_; }
  // An input changed (typed, pasted, fetched, a choice switched): the value
  // and Greeks shown belong to other inputs and are cleared.
  void ClearResults();
  // Clears the results unless they were computed from `now` (the fields and
  // choices on screen).
  // True when figures are shown and were computed from the inputs of `now`.
  bool ResultsBelongTo(const BsopFields& now) const {
    return (shown_.value || shown_.greeks) && shown_.inputs == InputsOf(now);
  }
  void DropStaleResults(const BsopFields& now);

  // The option as the fields give it now (call or put, exercise style, and
  // every figure with the market price). A blank field gives 0. Stops at
  // the first entry that cannot be read (after its message) and returns
  // false; `terms` is then untouched.
  bool GetParameters(OptionTerms& terms);
  bool isPutOption() const { return fields.chkPut; }

  // The units the Greek labels show (the records' own by default); the last
  // figures are shown again in the new units. Copy All keeps the records'
  // units, whatever is shown.
  void SetGreekUnits(GreekUnits units);
  GreekUnits Units() const { return units_; }
  // The captions of delta, gamma, vega and theta with their units.
  static std::array<std::string, 4> GreekCaptions(GreekUnits units);

  void SetStockQuote(const std::string& txt);
  void SetOptionQuote(const std::string& txt);
  void SetOptionStrike(const std::string& txt);
  void SetOptionMaturity(const std::string& txt);

  // The panel's values of the last calculation.
  int16_t PutCallFlag() const { return terms_.TypeCode(); }
  float Underlying() const { return terms_.spot; }
  float Volatility() const { return terms_.vol; }
  float RiskFree() const { return terms_.rate; }
  float Maturity() const { return terms_.maturity; }
  float Strike() const { return terms_.strike; }
  float DividendYield() const { return terms_.yield; }
  float OptionPrice() const { return option_price_; }

  // The pricing records, created on first use.
  zelBSOP& Bsop();
  zelBarr& Barr();

 private:
  // The inputs a result was computed from.
  struct Inputs {
    std::array<std::string, 7> texts;
    std::string date;
    bool euro = true, put = false, imp_vol = false;
    bool operator==(const Inputs&) const = default;
  };
  static Inputs InputsOf(const BsopFields& f);
  // The figures now on screen, for Copy All, and what they were computed from.
  struct Shown {
    std::optional<float> value;
    std::optional<std::array<float, 4>> greeks;  // delta, gamma, vega, theta
    Inputs inputs;
  };

  void CalcEuropean();
  // The figures of CalcEuropean; a refusal of the closed form is thrown.
  void CalcEuropeanFigures();
  void CalcAmerican();
  // Reads the terms from the fields in their order, the market price apart
  // (after the message of the first entry that cannot be read: false).
  bool ReadTerms(OptionTerms& terms);
  // Reads field `i` into `value` (a blank field gives 0). True when the
  // entry could not be read (the user has been told).
  bool ReadField(int i, float& value);
  // The maturity field: years, a date (counted from txtDate) or an entry.
  // True, after a message, when it cannot be read (a date needs a Date).
  bool ReadMaturity(float& value);
  // The implied volatility was not found: says so and shows no figures.
  void NoImpliedVolatility();
  std::string Format(float value) const;
  void ShowValue(const char* caption, float value);
  void ShowGreeks(float delta, float gamma, float vega, float theta);

  OptionTerms terms_;  // of the last calculation; the market price apart
  float option_price_ = 0;
  std::unique_ptr<zelBSOP> bsop_;
  std::unique_ptr<zelBarr> barr_;
  Shown shown_;
  Inputs run_inputs_;  // of the calculation running or last run
  bool calculating_ = false;
  GreekUnits units_ = GreekUnits::kPerUnit;
};

}  // namespace stratlyn
