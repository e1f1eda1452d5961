#include <algorithm>
#include <charconv>
#include <iostream>
#include <string>
#include <string_view>

#include "cli/price.h"
#include "util/format.h"

namespace stratlyn::cli::price {
namespace {

// Shortest text that reads back as the same float.
std::string FloatText(float v) {
  char buffer[32];
  const auto [ptr, ec] = std::to_chars(buffer, buffer + sizeof buffer, v);
  return ec == std::errc() ? std::string(buffer, ptr) : std::string("0");
}

}  // namespace

// The figures in the units asked for.
Figures InUnits(Figures f, GreekUnits units) {
  f.vega = static_cast<float>(VegaIn(f.vega, units));
  f.theta = static_cast<float>(ThetaIn(f.theta, units));
  if (f.rho) {
    f.rho = static_cast<float>(RhoIn(*f.rho, units));
  }
  return f;
}

void PrintJson(const Figures& f, std::optional<GreekUnits> units) {
  std::string out = "{\"value\": " + FloatText(f.value) + ", \"delta\": " + FloatText(f.delta) +
                    ", \"gamma\": " + FloatText(f.gamma) + ", \"vega\": " + FloatText(f.vega) +
                    ", \"theta\": " + FloatText(f.theta);
  if (f.rho) {
    out += ", \"rho\": " + FloatText(*f.rho);
  }
  if (f.impvol) {
    out += ", \"impvol\": " + FloatText(*f.impvol);
  }
  if (units) {
    out += std::string(", \"units\": {\"vega\": \"") + VegaUnit(*units) + "\", \"theta\": \"" +
           ThetaUnit(*units) + "\", \"rho\": \"" + RhoUnit(*units) + "\"}";
  }
  std::cout << out << "}\n";
}

void PrintTable(const Request& r, const Figures& f) {
  const GreekUnits units = r.units.value_or(GreekUnits::kPerUnit);
  std::string title = r.american ? "American " : "European ";
  title += r.call ? "call" : "put";
  switch (r.kind) {
    case BarrierKind::kDownOut:
      title += ", down-and-out";
      break;
    case BarrierKind::kDownIn:
      title += ", down-and-in";
      break;
    case BarrierKind::kUpOut:
      title += ", up-and-out";
      break;
    case BarrierKind::kUpIn:
      title += ", up-and-in";
      break;
    case BarrierKind::kNone:
      break;
  }
  std::cout << title << '\n';
  const auto row = [](const char* name, float v, const char* unit = nullptr) {
    std::string text = FormatNumber(v, kValueFormat);
    std::string padded(14 - std::min<size_t>(13, text.size()), ' ');
    std::cout << "  " << name << std::string(8 - std::string_view(name).size(), ' ') << padded
              << text << (unit ? std::string("  ") + unit : std::string()) << '\n';
  };
  if (f.impvol) {
    row("impvol", *f.impvol);
  }
  row("value", f.value);
  row("delta", f.delta);
  row("gamma", f.gamma);
  row("vega", f.vega, VegaUnit(units));
  row("theta", f.theta, ThetaUnit(units));
  if (f.rho) {
    row("rho", *f.rho, RhoUnit(units));
  }
}

}  // namespace stratlyn::cli::price
