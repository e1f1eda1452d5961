#pragma once
// The colours and captions of the chain panel's smile and heat map, shared by
// the panel (which sets up the plots) and its plotting code.

#include <cstdint>

namespace stratlyn::chain_plot {

inline constexpr uint32_t kPlotBack = 0xFFFFFF;
inline constexpr uint32_t kHeatMapBack = 0xFEFEFE;  // not the default white: never the theme's page
inline constexpr uint32_t kCallColour = 0x1F4E9A;   // dark blue
inline constexpr uint32_t kPutColour = 0xD02020;    // red
inline constexpr uint32_t kFeedCallColour = 0x7FA7D9;  // light blue
inline constexpr uint32_t kFeedPutColour = 0xF0A060;   // orange
inline constexpr const char* kSmileTitle = "Smile: implied volatility (%)";
inline constexpr const char* kSurfaceTitle = "IV %";
inline constexpr const char* kStrikeAxis = "Strike";
inline constexpr const char* kMoneynessAxis = "Moneyness (strike / spot)";
inline constexpr const char* kExpiryAxis = "Expiry";
inline constexpr const char* kNoSmile = "No contract of this expiry has an implied volatility";

}  // namespace stratlyn::chain_plot
