#pragma once
// What the market commands' files share: a few texts and the exchange test.

#include <exception>
#include <string>
#include <string_view>
#include <utility>

#include "calculator/market_commands.h"
#include "util/dialogs.h"
#include "util/error_handler.h"
#include "util/services.h"
#include "util/zel_error.h"

namespace stratlyn::market_detail {

inline constexpr const char* kNoStockTickerMessage =
    "Please enter the ticker of the underlying first";
inline constexpr const char* kHistoricalVolatilityPath = "/data/historicalvolatility.aspx";
inline constexpr std::string_view kVolatilityFormat = "0.0000";

// Whether the exchange is the JSON delayed feed.
inline bool IsFeed(const std::string& exchange) { return exchange == kExchangeCboeFeed; }

}  // namespace stratlyn::market_detail

namespace stratlyn {

// Runs a command with the busy pointer reset and every error handled; a page
// or file that did not load or holds nothing to read is a message naming it.
template <typename Fn>
void MarketCommands::Guarded(Fn&& work) {
  stop_ = false;
  RunCommand(
      std::forward<Fn>(work), [] { AppEvents().SetBusy(false); },
      [](const std::exception& error) {
        // A page or series file that did not load or holds nothing to read:
        // the message names it and the cause.
        const auto* e = dynamic_cast<const zelError*>(&error);
        if (e == nullptr || e->Number() != err::kDeviceIO || e->Description().empty()) {
          return false;
        }
        AppDialogs().Critical(e->Description());
        return true;
      });
}

}  // namespace stratlyn
