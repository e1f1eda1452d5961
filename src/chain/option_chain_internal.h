#pragma once
// What the chain's reading (option_chain_read.cpp) and its solving
// (option_chain.cpp) share.

#include "chain/option_chain.h"

namespace stratlyn::chain_internal {

// The refusal a contract has before any solving: its strike, its expiry or
// its quote.
inline ChainRefusal StandingRefusal(const ChainContract& c, const ChainExpiry& e) {
  if (!(c.strike > 0)) {
    return ChainRefusal::kNoStrike;
  }
  if (!(e.years > 0)) {
    return ChainRefusal::kExpired;
  }
  return c.quote;
}

}  // namespace stratlyn::chain_internal
