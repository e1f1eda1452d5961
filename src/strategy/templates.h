#pragma once
// The ready-made positions: legs filled from the panel's strike K and
// maturity, the spreads' strikes one width W apart (a butterfly's and an iron
// condor's wings too). Every option leg is priced at its model value.

#include <array>
#include <optional>
#include <string_view>

#include "strategy/position.h"

namespace stratlyn {

enum class StrategyTemplate {
  kLongCall,
  kLongPut,
  kCoveredCall,
  kProtectivePut,
  kBullCallSpread,
  kBearPutSpread,
  kStraddle,
  kStrangle,
  kButterfly,
  kIronCondor,
  kCollar,
};

struct TemplateInfo {
  StrategyTemplate id;
  const char* caption;  // the panel's list
  const char* key;      // the terminal tool's --template
  bool uses_width;
};

inline constexpr std::array<TemplateInfo, 11> kTemplates = {{
    {StrategyTemplate::kLongCall, "Long call", "long-call", false},
    {StrategyTemplate::kLongPut, "Long put", "long-put", false},
    {StrategyTemplate::kCoveredCall, "Covered call", "covered-call", false},
    {StrategyTemplate::kProtectivePut, "Protective put", "protective-put", false},
    {StrategyTemplate::kBullCallSpread, "Bull call spread", "bull-call-spread", true},
    {StrategyTemplate::kBearPutSpread, "Bear put spread", "bear-put-spread", true},
    {StrategyTemplate::kStraddle, "Straddle", "straddle", false},
    {StrategyTemplate::kStrangle, "Strangle", "strangle", true},
    {StrategyTemplate::kButterfly, "Butterfly", "butterfly", true},
    {StrategyTemplate::kIronCondor, "Iron condor", "iron-condor", true},
    {StrategyTemplate::kCollar, "Collar", "collar", true},
}};

// The width a template starts with.
inline constexpr double kDefaultWidth = 5.0;
inline constexpr const char* kBadWidth = "The width must be positive";
inline constexpr const char* kWidthTooLarge =
    "The width is too large for the strike: a leg's strike would not be positive";

// The template of that key ("bull-call-spread"), or nothing.
std::optional<StrategyTemplate> TemplateByKey(std::string_view key);
const TemplateInfo& TemplateInfoOf(StrategyTemplate t);

// The legs of a template, one unit each (a butterfly sells two at K):
//   long call +C(K); long put +P(K); covered call +S -C(K); protective put
//   +S +P(K); bull call spread +C(K) -C(K+W); bear put spread +P(K) -P(K-W);
//   straddle +C(K) +P(K); strangle +P(K-W) +C(K+W); butterfly +C(K-W)
//   -2C(K) +C(K+W); iron condor +P(K-2W) -P(K-W) -C(K+W) +C(K+2W);
//   collar +S +P(K-W) -C(K+W).
// StrategyInputError when W is not positive (for a template that uses it) or
// makes a strike non-positive.
Position TemplateLegs(StrategyTemplate t, double strike, double maturity, double width,
                      bool american = false);

}  // namespace stratlyn
