// stratlyn-cli rate: the risk-free rate for a maturity from the Treasury
// curve, read as the panel's "Get Interest Rate" reads it.

#include <chrono>
#include <cmath>
#include <iostream>
#include <string>
#include <vector>

#include "calculator/market_commands.h"
#include "cli/command.h"
#include "cli/page_fetch.h"
#include "marketdata/civil_date.h"
#include "marketdata/treasury_curve.h"
#include "marketdata/zel_bloomberg_data.h"
#include "util/dates.h"
#include "util/format.h"
#include "util/grid.h"
#include "util/numeric_entry.h"
#include "util/services.h"
#include "util/terminal_services.h"
#include "util/zel_error.h"

namespace stratlyn::cli {
namespace {

constexpr const char* kRateUsage =
    "Usage: stratlyn-cli rate MATURITY [--source treasury|h15|series] [--timeout S]\n"
    "\n"
    "Reads the Treasury yield curve and prints the continuously compounded rate\n"
    "at MATURITY (years with a dot, 0.75, or a date) as a decimal fraction\n"
    "(0.0450 is 4.5 %): the bond-equivalent par yield y interpolated at the\n"
    "maturity, converted with 2 ln(1 + y/2). stderr names the source and the\n"
    "observation date used, and a curve older than 10 days.\n"
    "\n"
    "  --source S     where to start: treasury (the U.S. Treasury's daily par\n"
    "                 yield curve, the default), h15 (the Federal Reserve's H.15\n"
    "                 data download) or series (the H.15 series files); a source\n"
    "                 that fails passes on to the next in that order\n"
    "  --timeout S    give up on a file not complete within S seconds (default 30\n"
    "                 for each file; a file over 64 MB is refused too)\n"
    "\n"
    "Exit status: 0 with the rate on stdout; 2 for an invalid maturity; 1 when no\n"
    "source can be read (each one and why on stderr).\n";

int RunRate(const std::vector<std::string>& given) {
  MarketCommandStart start(given, kRateUsage);
  if (start.done) {
    return *start.done;
  }
  std::vector<std::string>& args = start.args;
  const long seconds = start.seconds;
  RateSource source = RateSource::kTreasury;
  for (size_t i = 0; i < args.size(); ++i) {
    if (args[i] != "--source") {
      continue;
    }
    const std::string v = i + 1 < args.size() ? args[i + 1] : "";
    if (v == "treasury") {
      source = RateSource::kTreasury;
    } else if (v == "h15") {
      source = RateSource::kH15Download;
    } else if (v == "series") {
      source = RateSource::kSeriesFiles;
    } else {
      return Usage(kRateUsage, "--source is treasury, h15 or series");
    }
    args.erase(args.begin() + static_cast<long>(i), args.begin() + static_cast<long>(i) + 2);
    break;
  }
  if (args.size() != 1) {
    return Usage(kRateUsage, "one maturity is needed");
  }
  NoteDialogs dialogs;
  TerminalEvents events;
  ScopedServices scope(&dialogs, &events);
  float t = 0;
  if (const auto v = NumericValue(args[0])) {
    t = static_cast<float>(*v);
  } else if (IsDateText(args[0])) {
    std::string end = args[0];
    t = YearsBetweenDates(FormatShortDate(LocalDate(std::chrono::system_clock::now())), end);
    if (end != args[0]) {
      t = -1;  // a past date, which the count would take with day and month swapped
    }
  } else {
    t = -1;
  }
  if (!(t >= 0)) {
    std::cerr << kInvalidMaturityMessage << '\n';
    return kExitBadInput;
  }
  TreasuryCurve treasury(seconds);
  treasury.curve.Source = source;
  if (!treasury.Read()) {
    return kExitRuntimeError;
  }
  const zelBloombergData& curve = treasury.curve;
  const Grid& grid = treasury.grid;
  const auto now = std::chrono::system_clock::now();
  const float par = CurveRateFromGrid(grid, t, now);
  const double r = ContinuousFromParYield(par);
  if (!std::isfinite(r)) {
    std::cerr << NoRateMessage(par) << '\n';
    return kExitRuntimeError;
  }
  std::cerr << "note: " << CurveCaption(curve, grid, t, par, r, now) << '\n';
  for (const std::string& note : curve.Notes()) {
    if (note.find("latest observation") != std::string::npos) {
      std::cerr << "note: " << note << '\n';
    }
  }
  std::cout << FormatNumber(r, kRateFieldFormat) << '\n';
  return kExitOk;
}

const CliCommandRegistration rate_reg{
    {"rate", "risk-free rate for a maturity from the Treasury curve", &RunRate}};

}  // namespace
}  // namespace stratlyn::cli
