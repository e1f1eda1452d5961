#pragma once
// The strategy panel's profit plot: its colours (0xRRGGBB) and captions,
// shared by the panel's controls and its drawing.

#include <cstdint>

namespace stratlyn::strategy_plot {

inline constexpr std::uint32_t kPlotBack = 0xFFFFFF;
inline constexpr std::uint32_t kExpiryColour = 0x1F4E9A;  // dark blue
inline constexpr std::uint32_t kDateColour = 0xD02020;    // red
inline constexpr std::uint32_t kZeroColour = 0x909090;
inline constexpr std::uint32_t kBreakEvenColour = 0x2E8B3A;  // green
inline constexpr const char* kPlotTitle = "Profit of the position";
inline constexpr const char* kXCaption = "Underlying price";
inline constexpr const char* kYCaption = "Profit";
// The marker's caption at today's price: "now 50".
inline constexpr const char* kMarkerPrefix = "now ";
inline constexpr const char* kAtExpiryLegend = "At expiry";
inline constexpr const char* kAtDateLegend = "At date";

}  // namespace stratlyn::strategy_plot
