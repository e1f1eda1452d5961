#pragma once
// stratlyn-cli price, in its parts: the request read from the flags
// (price_flags.cpp), the range checks on it (the same file, after the flags),
// the pricing by the records or the library (price_engines.cpp), and the
// printing (price_print.cpp); price.cpp runs them in that order.

#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "cli/flags.h"
#include "util/dialogs.h"
#include "util/greek_units.h"
#include "util/zel_error.h"

namespace stratlyn::cli::price {

// After a flag and its text ("--spot 1e300"): why the number cannot be used.
inline constexpr const char* kTooLarge = " is too large";
inline constexpr const char* kTooLargeNegative = " is too large a negative number";
inline constexpr const char* kTooSmall = " is too small";
inline constexpr const char* kBelowSingle =
    " is too small (a single-precision number holds it as 0)";

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

// The request the flags write (UsageError for a flag or value that cannot be
// used), then checked: required values there, ranges and combinations right.
Request Parse(const std::vector<std::string>& args);
void CheckRequest(Request& r);

// The figures of the request from the records, the library or the lattice.
// UsageError where the records refuse the inputs; zelError for run-time
// errors (a missing library, a search that did not converge).
Figures Price(const Request& r, CollectingDialogs& dialogs);

// The figures in the units asked for, printed as JSON or as the table.
Figures InUnits(Figures f, GreekUnits units);
void PrintJson(const Figures& f, std::optional<GreekUnits> units);
void PrintTable(const Request& r, const Figures& f);

}  // namespace stratlyn::cli::price
