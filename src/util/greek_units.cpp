#include "util/greek_units.h"

namespace stratlyn {

std::optional<GreekUnits> GreekUnitsByKey(std::string_view key) {
  if (key == kPerUnitKey) {
    return GreekUnits::kPerUnit;
  }
  if (key == kPerDayKey) {
    return GreekUnits::kPerDay;
  }
  return std::nullopt;
}

double ThetaIn(double per_year, GreekUnits units) {
  return units == GreekUnits::kPerDay ? per_year / kDaysPerYear : per_year;
}

double VegaIn(double per_unit, GreekUnits units) {
  return units == GreekUnits::kPerDay ? per_unit / 100.0 : per_unit;
}

double RhoIn(double per_unit, GreekUnits units) {
  return units == GreekUnits::kPerDay ? per_unit / 100.0 : per_unit;
}

const char* DeltaCaption() { return "Delta (per 1.0 S)"; }
const char* GammaCaption() { return "Gamma (per 1.0 S)"; }

const char* VegaCaption(GreekUnits units) {
  return units == GreekUnits::kPerDay ? "Vega (per 1 % vol)" : "Vega (per 1.0 vol)";
}
const char* ThetaCaption(GreekUnits units) {
  return units == GreekUnits::kPerDay ? "Theta (per day)" : "Theta (per year)";
}
const char* RhoCaption(GreekUnits units) {
  return units == GreekUnits::kPerDay ? "Rho (per 1 % rate)" : "Rho (per 1.0 rate)";
}

const char* VegaUnit(GreekUnits units) {
  return units == GreekUnits::kPerDay ? "per 1 % of volatility" : "per 1.0 of volatility";
}
const char* ThetaUnit(GreekUnits units) {
  return units == GreekUnits::kPerDay ? "per day" : "per year";
}
const char* RhoUnit(GreekUnits units) {
  return units == GreekUnits::kPerDay ? "per 1 % of rate" : "per 1.0 of rate";
}

}  // namespace stratlyn
