#pragma once
// Barrier options in the calculator panel: the panel's option with a single
// barrier (down or up, knock-out or knock-in) and a rebate, priced on the
// lattice record zelBarr with the record's default step count, as
// `stratlyn-cli price --barrier` prices it.

#include <array>
#include <cstdint>
#include <optional>
#include <string>

#include "pricing/option_terms.h"
#include "pricing/zel_barr.h"

namespace stratlyn {

enum class BarrierKind { kNone, kDownOut, kDownIn, kUpOut, kUpIn };

// The choices of the panel's "Barrier" list, in BarrierKind order.
inline constexpr std::array<const char*, 5> kBarrierChoices = {
    "Barrier: none", "Down-and-out", "Down-and-in", "Up-and-out", "Up-and-in"};

namespace barrier_text {
inline constexpr const char* kValueCaption = "Barrier value: ";
inline constexpr const char* kLevelTip =
    "Barrier level: the price of the underlying that knocks the option out or in";
inline constexpr const char* kRebateTip =
    "Rebate: paid where a knock-out option dies, or at expiry where a knock-in option never "
    "knocked in";
inline constexpr const char* kChoiceTip =
    "A barrier option: priced on the trinomial lattice with its level and rebate";
inline constexpr const char* kLevelNotPositive = "The barrier level must be positive";
inline constexpr const char* kRebateNegative = kRebateNegativeMessage;
inline constexpr const char* kKnockedOutNoImpliedVol =
    "The option is knocked out already (the underlying price is at or past the barrier): it is "
    "worth its rebate at any volatility, so no volatility is implied";
inline constexpr const char* kLevelName = "barrier level";
inline constexpr const char* kRebateName = "rebate";
}  // namespace barrier_text

// The record's calculation code: value and Greeks, or (implied) the
// implied volatility, of the kind and exercise style.
int BarrierCode(const zelBarr& b, BarrierKind kind, bool american, bool implied);

struct BarrierInputs {
  OptionTerms terms;  // the market price is read when `implied`
  float level = 0, rebate = 0;
  bool implied = false;
  BarrierKind kind = BarrierKind::kDownOut;
};

struct BarrierFigures {
  float value = 0, delta = 0, gamma = 0, vega = 0, theta = 0;
  std::optional<float> implied_vol;  // with `implied`
};

// Prices the option on `b` (which keeps its last inputs). Nothing when the
// record refused the lattice (it has said why) or no volatility reprices
// the market price (the panel's "no implied volatility" message is shown).
// A level that is not positive or a negative rebate is refused here with
// its message before the record is asked.
std::optional<BarrierFigures> PriceBarrier(zelBarr& b, const BarrierInputs& in);

}  // namespace stratlyn
