// stratlyn-cli price: one option's value, Greeks and implied volatility from
// the pricing records (or, with --engine library, from libzelop32.so).

#include <charconv>
#include <cmath>
#include <iostream>
#include <limits>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "cli/command.h"
#include "pricing/zel_barr.h"
#include "pricing/zel_bsop.h"
#include "pricing/zelop_loader.h"
#include "util/dialogs.h"
#include "util/format.h"
#include "util/greek_units.h"
#include "util/services.h"
#include "util/terminal_services.h"
#include "util/zel_error.h"

namespace stratlyn::cli {
namespace {

constexpr const char* kUsage =
    "Usage: stratlyn-cli price [--call|--put] [--european|--american]\n"
    "         --spot S --strike K --maturity T --rate R --vol V [--yield Q]\n"
    "         [--market-price P] [--barrier H --barrier-kind KIND] [--rebate X]\n"
    "         [--steps N] [--engine record|library] [--units per-unit|per-day] [--json]\n"
    "\n"
    "Values one option and its hedge parameters. A European option without a\n"
    "barrier is priced in closed form; an American option or a barrier option on\n"
    "a trinomial lattice.\n"
    "\n"
    "Options:\n"
    "  --call, --put          the option's type (default --call)\n"
    "  --european, --american exercise style (default --european)\n"
    "  --spot S               price of the underlying\n"
    "  --strike K             strike price\n"
    "  --maturity T           time to expiry in years (0.25 is three months)\n"
    "  --rate R               risk-free rate, continuously compounded, as a fraction\n"
    "                         per year (0.05 is 5 %)\n"
    "  --vol V                volatility as a fraction per year (0.25 is 25 %); with\n"
    "                         --market-price it is the starting point of the search\n"
    "                         and may be left out (default 0.25)\n"
    "  --yield Q              continuous dividend yield as a fraction (default 0)\n"
    "  --market-price P       the option's market price: solve for the implied\n"
    "                         volatility and report value and Greeks at it\n"
    "  --barrier H            barrier level (needs --barrier-kind)\n"
    "  --barrier-kind KIND    down-out, down-in, up-out or up-in\n"
    "  --rebate X             paid where a knock-out option dies, or at expiry where a\n"
    "                         knock-in option never knocked in (default 0)\n"
    "  --steps N              lattice time steps, 3 to 16382 (default 50); American\n"
    "                         and barrier options only\n"
    "  --engine E             record (default): the program's own formulas and\n"
    "                         lattice; library: the separate pricing library\n"
    "                         libzelop32.so (closed form, Barone-Adesi-Whaley for\n"
    "                         American options, its own 100-step lattice for barriers)\n"
    "  --units U              per-unit (default): vega and rho per 1.0 of volatility\n"
    "                         and rate, theta per year; per-day: theta per day, vega\n"
    "                         and rho per 1 % (the JSON then says its units)\n"
    "  --json                 print one JSON object instead of the table\n"
    "  -h, --help             this text\n"
    "\n"
    "Output: value, delta, gamma, vega, theta, rho (European options without a\n"
    "barrier only) and impvol (with --market-price). Vega and rho are per unit of\n"
    "volatility and rate (1.0 = 100 points), theta per year, unless --units per-day.\n"
    "\n"
    "Numbers are held as single-precision (32-bit) floats, as the records hold\n"
    "them; each flag may be given once.\n"
    "\n"
    "Exit status: 0 success; 2 invalid input (the message says which, also for an\n"
    "input too large or too small for the formulas); 1 a run-time error (for\n"
    "instance a missing library).\n";

constexpr const char* kPrefix = "stratlyn-cli price: ";
// After a flag and its text ("--spot 1e300"): why the number cannot be used.
constexpr const char* kTooLarge = " is too large";
constexpr const char* kTooLargeNegative = " is too large a negative number";
constexpr const char* kTooSmall = " is too small";
constexpr const char* kBelowSingle = " is too small (a single-precision number holds it as 0)";

// Collects the records' message boxes; questions get the cautious answer.
class CollectingDialogs : public Dialogs {
 public:
  MsgAnswer Show(const std::string& text, MsgButtons buttons, MsgIcon,
                 const std::string&) override {
    messages.push_back(text);
    if (buttons == MsgButtons::Ok) {
      return MsgAnswer::Ok;
    }
    return buttons == MsgButtons::YesNo ? MsgAnswer::No : MsgAnswer::Cancel;
  }
  std::vector<std::string> messages;
};

struct BadInput {
  std::string message;
};

enum class BarrierKind { kNone, kDownOut, kDownIn, kUpOut, kUpIn };

struct Request {
  bool call = true;
  bool american = false;
  // Every number as the records hold it: a 32-bit float.
  std::optional<float> spot, strike, maturity, rate, vol, market_price, barrier, rebate, yield;
  BarrierKind kind = BarrierKind::kNone;
  std::optional<int> steps;
  bool library = false;
  bool json = false;
  std::optional<GreekUnits> units;
  // Each number flag given, with its flag and text as typed ("--spot 1e30").
  std::vector<std::pair<const std::optional<float>*, std::string>> texts;
};

struct Figures {
  float value = 0, delta = 0, gamma = 0, vega = 0, theta = 0;
  std::optional<float> rho, impvol;
};

// A flag's number as the text reads it, in any locale.
double ParseNumber(const std::string& flag, const std::string& text) {
  double v = 0;
  const char* first = text.data();
  const char* last = text.data() + text.size();
  if (first != last && *first == '+') {
    ++first;
  }
  const auto [ptr, ec] = std::from_chars(first, last, v);
  if (ec == std::errc::result_out_of_range && ptr == last) {
    // Beyond a double: too large, or (an underflow) too small.
    const bool tiny = text.find_first_of("eE") != std::string::npos &&
                      text.find('-', text.find_first_of("eE")) != std::string::npos;
    throw BadInput{flag + " " + text + (tiny ? kBelowSingle : kTooLarge)};
  }
  if (text.empty() || ec != std::errc() || ptr != last || !std::isfinite(v)) {
    throw BadInput{flag + " takes a number, not '" + text + "'"};
  }
  return v;
}

// The number as the record's 32-bit float. A number beyond the float range,
// or one that is not 0 but has no normal float (it would be stored as 0 or
// lose its digits), is refused naming the flag, before any conversion.
float ToRecordFloat(const std::string& flag, const std::string& text, double v) {
  const double magnitude = std::fabs(v);
  if (magnitude > std::numeric_limits<float>::max()) {
    throw BadInput{flag + " " + text + (v > 0 ? kTooLarge : kTooLargeNegative)};
  }
  if (v != 0 && magnitude < std::numeric_limits<float>::min()) {
    throw BadInput{flag + " " + text + kBelowSingle};
  }
  return static_cast<float>(v);
}

Request Parse(const std::vector<std::string>& args) {
  Request r;
  bool type_set = false, style_set = false;
  std::set<std::string> seen;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    if (a.rfind("--", 0) == 0 && !seen.insert(a).second) {
      throw BadInput{a + " given twice"};
    }
    const auto value = [&]() -> const std::string& {
      if (i + 1 >= args.size()) {
        throw BadInput{a + " needs a value"};
      }
      return args[++i];
    };
    const auto number = [&](std::optional<float>& slot) {
      const std::string& text = value();
      slot = ToRecordFloat(a, text, ParseNumber(a, text));
      r.texts.emplace_back(&slot, a + " " + text);
    };
    if (a == "--call" || a == "--put") {
      if (type_set) {
        throw BadInput{"give only one of --call and --put"};
      }
      type_set = true;
      r.call = a == "--call";
    } else if (a == "--european" || a == "--american") {
      if (style_set) {
        throw BadInput{"give only one of --european and --american"};
      }
      style_set = true;
      r.american = a == "--american";
    } else if (a == "--spot") {
      number(r.spot);
    } else if (a == "--strike") {
      number(r.strike);
    } else if (a == "--maturity") {
      number(r.maturity);
    } else if (a == "--rate") {
      number(r.rate);
    } else if (a == "--vol") {
      number(r.vol);
    } else if (a == "--yield") {
      number(r.yield);
    } else if (a == "--market-price") {
      number(r.market_price);
    } else if (a == "--barrier") {
      number(r.barrier);
    } else if (a == "--rebate") {
      number(r.rebate);
    } else if (a == "--barrier-kind") {
      const std::string& k = value();
      if (k == "down-out") {
        r.kind = BarrierKind::kDownOut;
      } else if (k == "down-in") {
        r.kind = BarrierKind::kDownIn;
      } else if (k == "up-out") {
        r.kind = BarrierKind::kUpOut;
      } else if (k == "up-in") {
        r.kind = BarrierKind::kUpIn;
      } else {
        throw BadInput{"--barrier-kind takes down-out, down-in, up-out or up-in, not '" + k + "'"};
      }
    } else if (a == "--steps") {
      const std::string& text = value();
      int n = 0;
      const auto [ptr, ec] = std::from_chars(text.data(), text.data() + text.size(), n);
      if (text.empty() || ec != std::errc() || ptr != text.data() + text.size() || n < 3 ||
          n > 16382) {
        throw BadInput{"--steps takes a whole number from 3 to 16382, not '" + text + "'"};
      }
      r.steps = n;
    } else if (a == "--engine") {
      const std::string& e = value();
      if (e != "record" && e != "library") {
        throw BadInput{"--engine takes record or library, not '" + e + "'"};
      }
      r.library = e == "library";
    } else if (a == "--json") {
      r.json = true;
    } else if (a == "--units") {
      const std::string& key = value();
      r.units = GreekUnitsByKey(key);
      if (!r.units) {
        throw BadInput{"--units takes per-unit or per-day, not '" + key + "'"};
      }
    } else {
      throw BadInput{"unknown option '" + a + "' (see stratlyn-cli price --help)"};
    }
  }
  for (const auto& [slot, name] :
       {std::pair{&r.spot, "--spot"}, std::pair{&r.strike, "--strike"},
        std::pair{&r.maturity, "--maturity"}, std::pair{&r.rate, "--rate"}}) {
    if (!*slot) {
      throw BadInput{std::string(name) + " is required"};
    }
  }
  if (!r.vol) {
    if (!r.market_price) {
      throw BadInput{"--vol is required (unless --market-price is given)"};
    }
    r.vol = 0.25f;
  }
  if (!(*r.vol > 0)) {
    throw BadInput{"--vol must be greater than 0"};
  }
  if (r.barrier.has_value() != (r.kind != BarrierKind::kNone)) {
    throw BadInput{"--barrier and --barrier-kind go together"};
  }
  if (r.barrier && !(*r.barrier > 0)) {
    throw BadInput{"--barrier must be greater than 0"};
  }
  if (r.rebate && !RebateAcceptable(*r.rebate)) {
    throw BadInput{kRebateNegativeMessage};
  }
  if (r.rebate && !r.barrier) {
    throw BadInput{"--rebate applies to barrier options only"};
  }
  const bool lattice = r.american || r.barrier;
  if (r.steps && !lattice) {
    throw BadInput{"--steps applies to American or barrier options only"};
  }
  if (r.steps && r.library) {
    throw BadInput{"--steps does not apply to --engine library"};
  }
  if (r.rebate && r.library) {
    throw BadInput{"--rebate does not apply to --engine library"};
  }
  if (r.market_price && !(*r.market_price > 0)) {
    throw BadInput{"--market-price must be greater than 0"};
  }
  return r;
}

// The record's own check of maturity, underlying and strike, with its message.
void CheckTerms(const Request& r, CollectingDialogs& dialogs) {
  zelBSOP check;
  check.SetOptionData(*r.maturity, check.strMaturity);
  check.SetOptionData(*r.spot, check.strUnderlying);
  check.SetOptionData(*r.strike, check.strStrike);
  if (check.GetOptionData(check.strPrice) == -999.0f) {
    throw BadInput{dialogs.messages.empty() ? "invalid input" : dialogs.messages.back()};
  }
}

void SetTerms(zelBSOP& o, const Request& r) {
  o.SetOptionData(r.call ? 1.0f : 2.0f, o.strType);
  o.SetOptionData(*r.rate, o.strRiskFree);
  o.SetOptionData(*r.maturity, o.strMaturity);
  o.SetOptionData(*r.strike, o.strStrike);
  o.SetOptionData(*r.vol, o.strVolatility);
  o.SetOptionData(r.yield.value_or(0.0f), o.strDvl);
  o.SetOptionData(*r.spot, o.strUnderlying);
}

void CheckImpliedVol(float impvol) {
  if (impvol == -999.0f) {
    throw BadInput{"no volatility gives the market price (it is out of the model's reach)"};
  }
  if (impvol == 0.0f) {
    throw zelError(err::kInvalidCall, "the implied volatility did not converge");
  }
}

Figures European(const Request& r) {
  zelBSOP o;
  SetTerms(o, r);
  Figures f;
  if (r.market_price) {
    o.SetOptionData(*r.market_price, o.strOptionPrice);
    f.impvol = o.GetOptionData(o.strImpliedVolatility, true);
    CheckImpliedVol(*f.impvol);
  }
  f.value = o.GetOptionData(o.strOptionPrice, true);
  f.delta = o.GetOptionData(o.strDelta, true);
  f.gamma = o.GetOptionData(o.strGamma, true);
  f.vega = o.GetOptionData(o.strVega, true);
  f.theta = o.GetOptionData(o.strTheta, true);
  f.rho = o.GetOptionData(o.strRho, true);
  return f;
}

int LatticeCode(const zelBarr& b, const Request& r) {
  int code = 0;
  switch (r.kind) {
    case BarrierKind::kNone:
      code = r.american ? b.AMERVANILLA : b.EUROVANILLA;
      break;
    case BarrierKind::kDownOut:
      code = r.american ? b.AMERDOWNOUT : b.EURODOWNOUT;
      break;
    case BarrierKind::kDownIn:
      code = r.american ? b.AMERDOWNIN : b.EURODOWNIN;
      break;
    case BarrierKind::kUpOut:
      code = r.american ? b.AMERUPOUT : b.EUROUPOUT;
      break;
    case BarrierKind::kUpIn:
      code = r.american ? b.AMERUPIN : b.EUROUPIN;
      break;
  }
  return r.market_price ? code + 1000 : code;
}

Figures Lattice(const Request& r, const CollectingDialogs& dialogs) {
  zelBarr b;
  b.SetOptionData(r.call ? b.boolError : b.FLAG, b.strType);
  b.SetOptionData(*r.rate, b.strRiskFree);
  b.SetOptionData(*r.maturity, b.strMaturity);
  b.SetOptionData(*r.strike, b.strStrike);
  b.SetOptionData(*r.spot, b.strUnderlying);
  b.SetOptionData(*r.vol, b.strVolatility);
  b.SetOptionData(r.yield.value_or(0.0f), b.strDvl);
  b.SetOptionData(r.barrier.value_or(0.0f), b.strBarrier);
  b.SetOptionData(r.rebate.value_or(0.0f), b.strRebate);
  if (r.steps) {
    b.SetOptionData(*r.steps, b.strNSTEPS);
  }
  if (r.market_price) {
    b.SetOptionData(*r.market_price, b.strOptionPrice);
  }
  const int code = LatticeCode(b, r);
  if (r.library) {
    b.CalcBarrDLL(code);
  } else {
    b.CalcBarr(code);
  }
  if (b.GetOptionData(b.strOptionPrice) == -999.0f && !dialogs.messages.empty()) {
    throw BadInput{dialogs.messages.back()};  // the record refused the inputs
  }
  Figures f;
  if (r.market_price) {
    f.impvol = b.GetOptionData(b.strImpliedVolatility);
    CheckImpliedVol(*f.impvol);
  }
  f.value = b.GetOptionData(b.strOptionPrice);
  f.delta = b.GetOptionData(b.strDelta);
  f.gamma = b.GetOptionData(b.strGamma);
  f.vega = b.GetOptionData(b.strVega);
  f.theta = b.GetOptionData(b.strTheta);
  return f;
}

// The library's European (GetBSOPDLL) or American (GetBAWDLL) figures.
Figures LibraryVanilla(const Request& r, CollectingDialogs& dialogs) {
  zelBSOP o;
  SetTerms(o, r);
  const auto get = [&](const std::string& key) {
    const float v = r.american ? o.GetBAWDLL(key) : o.GetBSOPDLL(key);
    if (o.myError) {
      // The record trapped the error and reported it; pass its messages on.
      std::string text = "the pricing library failed";
      bool missing = false;
      bool refused = false;  // found, but not loaded (it failed the check)
      const std::string load_error = std::string(ErrorText(err::kLibraryLoad)) + ": ";
      for (const std::string& m : dialogs.messages) {
        text += "\n" + m;
        missing = missing || m.find(kZelopLibraryName) != std::string::npos;
        refused = refused || m.rfind(load_error, 0) == 0;
      }
      throw zelError(refused   ? err::kLibraryLoad
                     : missing ? err::kFileNotFound
                               : err::kInvalidCall,
                     text);
    }
    return v;
  };
  Figures f;
  if (r.market_price) {
    o.SetOptionData(*r.market_price, o.strOptionPrice);
    f.impvol = get(o.strImpliedVolatility);
    if (*f.impvol == -999.0f) {
      CheckImpliedVol(*f.impvol);
    }
    o.SetOptionData(*f.impvol, o.strVolatility);
  }
  f.value = get(o.strOptionPrice);
  f.delta = get(o.strDelta);
  f.gamma = get(o.strGamma);
  f.vega = get(o.strVega);
  f.theta = get(o.strTheta);
  if (!r.american) {
    f.rho = get(o.strRho);
  }
  return f;
}

// Shortest text that reads back as the same float.
std::string FloatText(float v) {
  char buffer[32];
  const auto [ptr, ec] = std::to_chars(buffer, buffer + sizeof buffer, v);
  return ec == std::errc() ? std::string(buffer, ptr) : std::string("0");
}

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

// The input to blame for a floating-point fault of a formula: the number
// farthest, by orders of magnitude, from the size such an input usually has.
BadInput FaultyInput(const Request& r) {
  const std::pair<const std::optional<float>*, double> usual[] = {
      {&r.spot, 100},   {&r.strike, 100},  {&r.maturity, 1}, {&r.rate, 0.05},      {&r.vol, 0.25},
      {&r.yield, 0.02}, {&r.barrier, 100}, {&r.rebate, 1},   {&r.market_price, 10}};
  double worst = -1;
  std::string text;
  float value = 0;
  for (const auto& [slot, text_given] : r.texts) {
    for (const auto& [candidate, size] : usual) {
      if (candidate != slot || !*slot || **slot == 0) {
        continue;
      }
      const double distance = std::fabs(std::log10(std::fabs(**slot) / size));
      if (distance > worst) {
        worst = distance;
        text = text_given;
        value = **slot;
      }
    }
  }
  if (worst < 0) {
    return BadInput{"the inputs are out of the formulas' range"};
  }
  const bool large = std::fabs(value) > 1;
  return BadInput{text + (large ? (value > 0 ? kTooLarge : kTooLargeNegative) : kTooSmall)};
}

// A floating-point fault of a formula (not a missing library, not a search
// that gave up): zelError 5, 6 or 11 with the table's own description.
bool IsFormulaFault(const zelError& e) {
  const int n = e.Number();
  return (n == err::kInvalidCall || n == err::kOverflow || n == err::kDivisionByZero) &&
         e.Description() == ErrorText(n);
}

int Run(const std::vector<std::string>& args) {
  for (const std::string& a : args) {
    if (a == "--help" || a == "-h") {
      std::cout << kUsage;
      return kExitOk;
    }
  }
  CollectingDialogs dialogs;
  TerminalEvents events;
  ScopedServices services(&dialogs, &events);
  try {
    const Request r = Parse(args);
    CheckTerms(r, dialogs);
    Figures f;
    try {
      if (r.library && !r.barrier) {
        f = LibraryVanilla(r, dialogs);
      } else if (r.american || r.barrier) {
        f = Lattice(r, dialogs);
      } else {
        f = European(r);
      }
    } catch (const zelError& e) {
      if (IsFormulaFault(e)) {
        throw FaultyInput(r);
      }
      throw;
    }
    f = InUnits(f, r.units.value_or(GreekUnits::kPerUnit));
    if (r.json) {
      PrintJson(f, r.units);
    } else {
      PrintTable(r, f);
    }
    return kExitOk;
  } catch (const BadInput& bad) {
    std::cerr << kPrefix << bad.message << '\n';
    return kExitBadInput;
  }
}

const CliCommandRegistration reg{
    {"price", "value, Greeks and implied volatility of one option", &Run}};

}  // namespace
}  // namespace stratlyn::cli
