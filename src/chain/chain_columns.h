#pragma once
// What the chain panel shows of a chain, without Qt: the columns a user can
// choose for each side of the table, each contract's cell texts and sort
// keys, the expiry list's captions, and the terms a contract hands to the
// calculator and the strategy panels.

#include <array>
#include <cstddef>
#include <optional>
#include <string>
#include <vector>

#include "chain/option_chain.h"

namespace stratlyn {

// The columns of one side (calls or puts) of the table.
enum class ChainColumn {
  kBid,
  kAsk,
  kMid,
  kLast,
  kLastTime,
  kVolume,
  kOpenInterest,
  kIv,        // this program's implied volatility, or the reason it has none
  kSourceIv,  // the feed's
  kValue,     // value at the own implied volatility
  kDelta,
  kGamma,
  kVega,
  kTheta,
  kSourceDelta,
};
inline constexpr std::size_t kChainColumnCount = 15;

struct ChainColumnInfo {
  ChainColumn column;
  const char* caption;
  bool shown;  // shown until the user chooses otherwise
};
inline constexpr std::array<ChainColumnInfo, kChainColumnCount> kChainColumns = {{
    {ChainColumn::kBid, "Bid", true},
    {ChainColumn::kAsk, "Ask", true},
    {ChainColumn::kMid, "Mid", false},
    {ChainColumn::kLast, "Last", false},
    {ChainColumn::kLastTime, "Last trade", false},
    {ChainColumn::kVolume, "Volume", false},
    {ChainColumn::kOpenInterest, "Open int.", false},
    {ChainColumn::kIv, "IV", true},
    {ChainColumn::kSourceIv, "Feed IV", false},
    {ChainColumn::kValue, "Value", false},
    {ChainColumn::kDelta, "Delta", true},
    {ChainColumn::kGamma, "Gamma", false},
    {ChainColumn::kVega, "Vega", false},
    {ChainColumn::kTheta, "Theta", false},
    {ChainColumn::kSourceDelta, "Feed delta", false},
}};
inline constexpr const char* kStrikeCaption = "Strike";

// The text of a contract's cell, numbers with `decimal_point`. A figure the
// contract lacks is "" (no quote, no trade), except the own implied
// volatility and the figures at it, which give the reason ("one-sided",
// "below intrinsic") where the contract has none.
std::string ChainCellText(const ChainContract& c, ChainColumn column, char decimal_point);
// True when the cell shows a reason instead of a figure.
bool ChainCellIsReason(const ChainContract& c, ChainColumn column);
// The number a column sorts by; nothing for a cell without one (these sort last).
std::optional<double> ChainSortKey(const ChainContract& c, ChainColumn column);

// The strike written as the table shows it ("5900", "187.5").
std::string StrikeText(double strike, char decimal_point);

// "2026-12-18  SPXW  10 d" (the root only where the chain has several),
// "2026-12-07  0 d closed" once its close has passed.
std::string ExpiryCaption(const OptionChain& chain, const ChainExpiry& e);

// The terms of one contract as the calculator and the strategy take them.
struct ChainTerms {
  std::string symbol;
  bool put = false;
  bool american = true;
  double spot = 0;
  double strike = 0;
  double years = 0;  // to the expiry's close, from the chain's time
  double rate = 0;
  double yield = 0;
  double mid = 0;
  std::optional<double> iv;  // own implied volatility, where it has one
  std::string close_text;    // "16:00 New York on 2026-12-18"
};

// The terms of contract `index`, or nothing with `message` saying why: no
// two-sided quote (no mid to price), an expiry without a rate or an implied
// dividend yield, an expired contract.
std::optional<ChainTerms> TermsOfContract(const OptionChain& chain, std::size_t index,
                                          std::string& message);

// Message texts of the panel.
inline constexpr const char* kChainNoMidMessage =
    "has no two-sided quote today, so there is no mid price to take: ";
inline constexpr const char* kChainNoRateMessage = "has no interest rate for its expiry";
inline constexpr const char* kChainNoYieldMessage = "has no implied dividend yield for its expiry";
inline constexpr const char* kChainExpiredMessage = "has expired";
inline constexpr const char* kExpiryClosed = "closed";

}  // namespace stratlyn
