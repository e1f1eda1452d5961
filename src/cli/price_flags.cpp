#include <charconv>
#include <cmath>
#include <limits>
#include <set>
#include <string>
#include <vector>

#include "cli/flags.h"
#include "cli/price.h"
#include "pricing/zel_barr.h"
#include "util/text.h"

namespace stratlyn::cli::price {
namespace {

// A flag's number as the text reads it, in any locale.
double ParseNumber(const std::string& flag, const std::string& text) {
  if (const auto v = ReadDotDecimal(text, DotDecimal::kWithExponent)) {
    return *v;
  }
  if (IsDotDecimal(text, DotDecimal::kWithExponent)) {
    // A number's form beyond a double: too large, or (an underflow) too small.
    const size_t e = text.find_first_of("eE");
    const bool tiny = e != std::string::npos && text.find('-', e) != std::string::npos;
    throw UsageError{flag + " " + text + (tiny ? kBelowSingle : kTooLarge)};
  }
  throw UsageError{flag + " takes a number, not '" + text + "'"};
}

// The number as the record's 32-bit float. A number beyond the float range,
// or one that is not 0 but has no normal float (it would be stored as 0 or
// lose its digits), is refused naming the flag, before any conversion.
float ToRecordFloat(const std::string& flag, const std::string& text, double v) {
  const double magnitude = std::fabs(v);
  if (magnitude > std::numeric_limits<float>::max()) {
    throw UsageError{flag + " " + text + (v > 0 ? kTooLarge : kTooLargeNegative)};
  }
  if (v != 0 && magnitude < std::numeric_limits<float>::min()) {
    throw UsageError{flag + " " + text + kBelowSingle};
  }
  return static_cast<float>(v);
}

BarrierKind BarrierKindFlag(const std::string& k) {
  if (k == "down-out") {
    return BarrierKind::kDownOut;
  }
  if (k == "down-in") {
    return BarrierKind::kDownIn;
  }
  if (k == "up-out") {
    return BarrierKind::kUpOut;
  }
  if (k == "up-in") {
    return BarrierKind::kUpIn;
  }
  throw UsageError{"--barrier-kind takes down-out, down-in, up-out or up-in, not '" + k + "'"};
}

}  // namespace

Request Parse(const std::vector<std::string>& args) {
  Request r;
  bool type_set = false, style_set = false;
  std::set<std::string> seen;
  FlagCursor flags(args);
  while (flags.Next()) {
    const std::string& a = flags.Word();
    if (a.rfind("--", 0) == 0 && !seen.insert(a).second) {
      throw UsageError{a + " given twice"};
    }
    const auto number = [&](std::optional<float>& slot) {
      const std::string& text = flags.Value();
      const double v = ParseNumber(a, text);
      slot = ToRecordFloat(a, text, v);
      if (a == "--rate" || a == "--vol" || a == "--yield") {
        CheckFractionFlag(a, text, v);
      }
      r.texts.emplace_back(&slot, a);
      r.texts.back().second.append(" ").append(text);
    };
    if (a == "--call" || a == "--put") {
      if (type_set) {
        throw UsageError{"give only one of --call and --put"};
      }
      type_set = true;
      r.call = a == "--call";
    } else if (a == "--european" || a == "--american") {
      if (style_set) {
        throw UsageError{"give only one of --european and --american"};
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
      r.kind = BarrierKindFlag(flags.Value());
    } else if (a == "--steps") {
      r.steps = WholeNumberFlag(a, flags.Value(), 3, 16382);
    } else if (a == "--engine") {
      const std::string& e = flags.Value();
      if (e != "record" && e != "library") {
        throw UsageError{"--engine takes record or library, not '" + e + "'"};
      }
      r.library = e == "library";
    } else if (a == "--json") {
      r.json = true;
    } else if (a == "--units") {
      r.units = UnitsFlag(flags.Value());
    } else {
      throw UnknownFlag(a, "price");
    }
  }
  return r;
}

void CheckRequest(Request& r) {
  for (const auto& [slot, name] :
       {std::pair{&r.spot, "--spot"}, std::pair{&r.strike, "--strike"},
        std::pair{&r.maturity, "--maturity"}, std::pair{&r.rate, "--rate"}}) {
    if (!*slot) {
      throw UsageError{std::string(name) + " is required"};
    }
  }
  if (!r.vol) {
    if (!r.market_price) {
      throw UsageError{"--vol is required (unless --market-price is given)"};
    }
    r.vol = 0.25f;
  }
  if (!(*r.vol > 0)) {
    throw UsageError{"--vol must be greater than 0"};
  }
  if (r.barrier.has_value() != (r.kind != BarrierKind::kNone)) {
    throw UsageError{"--barrier and --barrier-kind go together"};
  }
  if (r.barrier && !(*r.barrier > 0)) {
    throw UsageError{"--barrier must be greater than 0"};
  }
  if (r.rebate && !RebateAcceptable(*r.rebate)) {
    throw UsageError{kRebateNegativeMessage};
  }
  if (r.rebate && !r.barrier) {
    throw UsageError{"--rebate applies to barrier options only"};
  }
  const bool lattice = r.american || r.barrier;
  if (r.steps && !lattice) {
    throw UsageError{"--steps applies to American or barrier options only"};
  }
  if (r.steps && r.library) {
    throw UsageError{"--steps does not apply to --engine library"};
  }
  if (r.rebate && r.library) {
    throw UsageError{"--rebate does not apply to --engine library"};
  }
  if (r.market_price && !(*r.market_price > 0)) {
    throw UsageError{"--market-price must be greater than 0"};
  }
}

}  // namespace stratlyn::cli::price
