#pragma once
// Units in which the Greeks are shown. The records' own units are the
// default: delta per unit of the underlying, gamma per unit squared, vega and
// rho per unit of volatility and rate (1.0 = 100 points), theta per year. The
// traders' units show theta per calendar day and vega and rho per percentage
// point.

#include <optional>
#include <string_view>

namespace stratlyn {

enum class GreekUnits { kPerUnit, kPerDay };

// The menu item and the terminal tool's --units words.
inline constexpr const char* kPerDayUnitsCaption = "Theta per day, vega and rho per 1 %";
inline constexpr const char* kPerUnitKey = "per-unit";
inline constexpr const char* kPerDayKey = "per-day";

// Days in the year of theta per day (the year of the maturities' date count).
inline constexpr double kDaysPerYear = 365.0;

// "per-unit" or "per-day"; nothing for another word.
std::optional<GreekUnits> GreekUnitsByKey(std::string_view key);

// A record's figure in the chosen units.
double ThetaIn(double per_year, GreekUnits units);
double VegaIn(double per_unit, GreekUnits units);
double RhoIn(double per_unit, GreekUnits units);

// Captions that say their unit: "Delta (per 1.0 S)", "Vega (per 1 % vol)", ...
const char* DeltaCaption();
const char* GammaCaption();
const char* VegaCaption(GreekUnits units);
const char* ThetaCaption(GreekUnits units);
const char* RhoCaption(GreekUnits units);
// The unit alone, for the terminal tool: "per year", "per day", ...
const char* VegaUnit(GreekUnits units);
const char* ThetaUnit(GreekUnits units);
const char* RhoUnit(GreekUnits units);

}  // namespace stratlyn
