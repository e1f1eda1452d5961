// stratlyn-cli price: one option's value, Greeks and implied volatility from
// the pricing records (or, with --engine library, from libzelop32.so).

#include "cli/price.h"

#include <iostream>
#include <string>
#include <vector>

#include "cli/command.h"
#include "cli/flags.h"
#include "util/services.h"
#include "util/terminal_services.h"

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

int Run(const std::vector<std::string>& args) {
  if (WantsHelp(args)) {
    std::cout << kUsage;
    return kExitOk;
  }
  price::CollectingDialogs dialogs;
  TerminalEvents events;
  ScopedServices services(&dialogs, &events);
  try {
    price::Request r = price::Parse(args);
    price::CheckRequest(r);
    const price::Figures f =
        price::InUnits(price::Price(r, dialogs), r.units.value_or(GreekUnits::kPerUnit));
    if (r.json) {
      price::PrintJson(f, r.units);
    } else {
      price::PrintTable(r, f);
    }
    return kExitOk;
  } catch (const UsageError& bad) {
    std::cerr << kPrefix << bad.message << '\n';
    return kExitBadInput;
  }
}

const CliCommandRegistration reg{
    {"price", "value, Greeks and implied volatility of one option", &Run}};

}  // namespace
}  // namespace stratlyn::cli
