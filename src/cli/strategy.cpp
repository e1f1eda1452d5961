// stratlyn-cli strategy: the figures of a position of several legs (options
// and the underlying) from the strategy core, with its profit curves.

#include <charconv>
#include <chrono>
#include <cmath>
#include <iostream>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "cli/command.h"
#include "cli/flags.h"
#include "strategy/leg_text.h"
#include "strategy/position.h"
#include "strategy/templates.h"
#include "util/dates.h"
#include "util/format.h"
#include "util/greek_units.h"
#include "util/services.h"
#include "util/terminal_services.h"
#include "util/text.h"
#include "util/zel_error.h"

namespace stratlyn::cli {
namespace {

constexpr const char* kUsage =
    "Usage: stratlyn-cli strategy --spot S --rate R --vol V [--yield Q]\n"
    "         (--leg \"QTY KIND STRIKE MATURITY [STYLE] [PRICE]\" ... |\n"
    "          --template NAME [--strike K] [--maturity T] [--width W] [--american])\n"
    "         [--at-date D] [--curve N] [--units per-unit|per-day] [--json]\n"
    "\n"
    "The figures of a position of several legs: net premium, profit at the first\n"
    "expiry and at a chosen date before it, break-even prices, largest profit and\n"
    "loss, probability of profit, and the position's Greeks today. Legs still\n"
    "alive are valued in closed form (European) or on the lattice (American).\n"
    "\n"
    "Options:\n"
    "  --spot S        price of the underlying\n"
    "  --rate R        risk-free rate, continuously compounded, as a fraction (0.05)\n"
    "  --vol V         volatility as a fraction per year (0.25 is 25 %)\n"
    "  --yield Q       continuous dividend yield as a fraction (default 0)\n"
    "  --leg TEXT      one leg, repeatable: quantity (+ long, - short), kind (call,\n"
    "                  put or underlying), strike, maturity (years, or a date\n"
    "                  counted from today), european (default) or american, and the\n"
    "                  price paid or received per unit (default: the model value\n"
    "                  today). \"+1 call 50 0.25\", \"-1 put 45 2026-12-18 american 1.2\",\n"
    "                  \"+100 underlying 49.5\"\n"
    "  --template NAME long-call, long-put, covered-call, protective-put,\n"
    "                  bull-call-spread, bear-put-spread, straddle, strangle,\n"
    "                  butterfly, iron-condor, collar; its legs are added to the\n"
    "                  --leg ones\n"
    "  --strike K      the template's strike (default: the spot)\n"
    "  --maturity T    the template's maturity in years or a date (default 1)\n"
    "  --width W       the spreads' strikes W apart (default 5)\n"
    "  --american      the template's options are American\n"
    "  --at-date D     the chosen date: years from today or a date (default today);\n"
    "                  not past the first expiry\n"
    "  --curve N       also print N points (2 to 10000) of both profit curves\n"
    "  --units U       per-unit (default): vega and rho per 1.0 of volatility and\n"
    "                  rate, theta per year; per-day: theta per day, vega and rho\n"
    "                  per 1 %\n"
    "  --json          print one JSON object instead of the table\n"
    "  -h, --help      this text\n"
    "\n"
    "Numbers are read and written with a dot for decimals in every locale.\n"
    "Exit status: 0 success; 2 invalid input (the message names the option);\n"
    "1 a run-time error.\n";

constexpr const char* kPrefix = "stratlyn-cli strategy: ";

struct Request {
  std::optional<double> spot, rate, vol, strike, width;
  double yield = 0;
  std::vector<std::string> legs;
  std::optional<StrategyTemplate> templ;
  std::optional<std::string> maturity, at_date;
  bool american = false;
  std::optional<int> curve;
  GreekUnits units = GreekUnits::kPerUnit;
  bool json = false;
};

std::string Today() {
  const auto now = std::chrono::floor<std::chrono::days>(std::chrono::system_clock::now());
  return FormatShortDate(std::chrono::year_month_day{now});
}

Request Parse(const std::vector<std::string>& args) {
  Request r;
  FlagCursor flags(args);
  while (flags.Next()) {
    const std::string& a = flags.Word();
    const auto number = [&](std::optional<double>& slot) {
      if (slot) {
        throw UsageError{a + " given twice"};
      }
      const std::string& text = flags.Value();
      slot = DotNumberFlag(a, text);
      if (a == "--rate" || a == "--vol") {
        CheckFractionFlag(a, text, *slot);
      }
    };
    if (a == "--spot") {
      number(r.spot);
    } else if (a == "--rate") {
      number(r.rate);
    } else if (a == "--vol") {
      number(r.vol);
    } else if (a == "--yield") {
      const std::string& text = flags.Value();
      r.yield = DotNumberFlag(a, text);
      CheckFractionFlag(a, text, r.yield);
    } else if (a == "--strike") {
      number(r.strike);
    } else if (a == "--width") {
      number(r.width);
    } else if (a == "--leg") {
      r.legs.push_back(flags.Value());
    } else if (a == "--template") {
      const std::string& name = flags.Value();
      r.templ = TemplateByKey(name);
      if (!r.templ) {
        throw UsageError{"--template: no template named '" + name +
                         "' (see stratlyn-cli strategy --help)"};
      }
    } else if (a == "--maturity") {
      r.maturity = flags.Value();
    } else if (a == "--at-date") {
      r.at_date = flags.Value();
    } else if (a == "--american") {
      r.american = true;
    } else if (a == "--curve") {
      r.curve = WholeNumberFlag(a, flags.Value(), 2, 10000);
    } else if (a == "--units") {
      r.units = UnitsFlag(flags.Value());
    } else if (a == "--json") {
      r.json = true;
    } else {
      throw UnknownFlag(a, "strategy");
    }
  }
  for (const auto& [slot, name] :
       {std::pair{&r.spot, "--spot"}, std::pair{&r.rate, "--rate"}, std::pair{&r.vol, "--vol"}}) {
    if (!*slot) {
      throw UsageError{std::string(name) + " is required"};
    }
  }
  if (r.legs.empty() && !r.templ) {
    throw UsageError{"give the position with --leg or --template"};
  }
  if (!r.templ && (r.strike || r.width || r.maturity || r.american)) {
    throw UsageError{"--strike, --maturity, --width and --american go with --template"};
  }
  return r;
}

// The position of the request; each fault names its option.
Position Legs(const Request& r, const std::string& today) {
  Position legs;
  for (const std::string& text : r.legs) {
    try {
      legs.push_back(ParseLegText(text, today));
    } catch (const StrategyInputError& e) {
      throw UsageError{std::string("--leg: ") + e.what()};
    }
  }
  if (r.templ) {
    double maturity = 1.0;
    if (r.maturity) {
      const auto years = YearsOf(*r.maturity, today, true);
      if (!years) {
        throw UsageError{"--maturity takes years or a date, not '" + *r.maturity + "'"};
      }
      if (!(*years > 0)) {
        throw UsageError{"--maturity must be in the future"};
      }
      maturity = *years;
    }
    const double strike = r.strike.value_or(*r.spot);
    if (!(strike > 0)) {
      throw UsageError{"--strike must be greater than 0"};
    }
    try {
      const Position t =
          TemplateLegs(*r.templ, strike, maturity, r.width.value_or(kDefaultWidth), r.american);
      legs.insert(legs.end(), t.begin(), t.end());
    } catch (const StrategyInputError& e) {
      throw UsageError{std::string("--width: ") + e.what()};
    }
  }
  return legs;
}

// Names the option behind a position check's message.
std::string FlagOf(const std::string& message) {
  if (message == kBadSpot) {
    return "--spot: ";
  }
  if (message == kBadVol) {
    return "--vol: ";
  }
  if (message == kBadRate) {
    return "--rate/--yield: ";
  }
  return "--leg: ";
}

// Shortest text that reads back as the same double, with a dot.
std::string Json(double v) {
  char buffer[32];
  const auto [ptr, ec] = std::to_chars(buffer, buffer + sizeof buffer, v);
  return ec == std::errc() ? std::string(buffer, ptr) : std::string("0");
}

std::string JsonBound(const std::optional<double>& v) {
  return v ? Json(*v) : std::string("\"unlimited\"");
}

std::string JsonSummary(const CurveSummary& s) {
  std::string out = "{\"years\": " + Json(s.years) + ", \"break_evens\": [";
  for (size_t i = 0; i < s.break_evens.size(); ++i) {
    out += (i ? ", " : "") + Json(s.break_evens[i]);
  }
  out += "], \"max_profit\": " + JsonBound(s.max_profit) +
         ", \"max_loss\": " + JsonBound(s.max_loss) +
         ", \"probability_of_profit\": " + Json(s.probability_of_profit) + "}";
  return out;
}

std::string Fixed(double v) { return FormatNumber(v, kValueFormat); }

std::string Bound(const std::optional<double>& v) { return v ? Fixed(*v) : "unlimited"; }

std::string Pad(const std::string& text, size_t width) {
  return text.size() >= width ? text + " " : text + std::string(width - text.size(), ' ');
}

std::string LegLine(const Leg& leg) {
  std::string q = ShortNumber(leg.quantity);
  std::string text = (leg.quantity > 0 ? "+" : "") + q + " " + LegKindName(leg.kind);
  if (leg.kind != LegKind::kUnderlying) {
    text += " " + ShortNumber(leg.strike) + " " + ShortNumber(leg.maturity) +
            (leg.american ? " american" : " european");
  }
  return text;
}

void PrintJson(const Request& r, PositionPricer& p, const CurveSummary& expiry,
               const CurveSummary& date, const PositionGreeks& g,
               const std::vector<CurvePoint>& curve) {
  std::string out = "{\"net_premium\": " + Json(p.NetPremium()) +
                    ", \"first_expiry\": " + Json(p.Horizon()) + ", \"legs\": [";
  for (size_t i = 0; i < p.Legs().size(); ++i) {
    const Leg& leg = p.Legs()[i];
    out += std::string(i ? ", " : "") + "{\"quantity\": " + Json(leg.quantity) + ", \"kind\": \"" +
           LegKindName(leg.kind) + "\"";
    if (leg.kind != LegKind::kUnderlying) {
      out += ", \"strike\": " + Json(leg.strike) + ", \"maturity\": " + Json(leg.maturity) +
             ", \"style\": \"" + (leg.american ? "american" : "european") + "\"";
    }
    out += ", \"entry_price\": " + Json(p.EntryPrice(i)) + "}";
  }
  out += "], \"at_expiry\": " + JsonSummary(expiry) + ", \"at_date\": " + JsonSummary(date);
  out += ", \"greeks\": {\"delta\": " + Json(g.delta) + ", \"gamma\": " + Json(g.gamma) +
         ", \"vega\": " + Json(VegaIn(g.vega, r.units)) +
         ", \"theta\": " + Json(ThetaIn(g.theta, r.units)) +
         ", \"rho\": " + Json(RhoIn(g.rho, r.units)) + "}";
  out += std::string(", \"units\": {\"vega\": \"") + VegaUnit(r.units) + "\", \"theta\": \"" +
         ThetaUnit(r.units) + "\", \"rho\": \"" + RhoUnit(r.units) + "\"}";
  if (!curve.empty()) {
    out += ", \"curve\": [";
    for (size_t i = 0; i < curve.size(); ++i) {
      out += std::string(i ? ", " : "") + "{\"spot\": " + Json(curve[i].spot) +
             ", \"at_expiry\": " + Json(curve[i].at_expiry) +
             ", \"at_date\": " + Json(curve[i].at_date) + "}";
    }
    out += "]";
  }
  std::cout << out << "}\n";
}

void PrintTable(const Request& r, PositionPricer& p, const CurveSummary& expiry,
                const CurveSummary& date, const PositionGreeks& g,
                const std::vector<CurvePoint>& curve) {
  std::cout << "Position\n";
  for (size_t i = 0; i < p.Legs().size(); ++i) {
    std::cout << "  " << Pad(LegLine(p.Legs()[i]), 34) << "entry " << Fixed(p.EntryPrice(i))
              << '\n';
  }
  const double net = p.NetPremium();
  std::cout << Pad("net premium", 24) << Fixed(net) << (net >= 0 ? " (paid)" : " (received)")
            << '\n';
  std::cout << Pad("first expiry (years)", 24) << Fixed(p.Horizon()) << "\n\n";
  std::cout << Pad("", 24) << Pad("at expiry", 22) << "at date " << Fixed(date.years) << '\n';
  const auto evens = [](const CurveSummary& s) {
    std::string text;
    for (const double b : s.break_evens) {
      text += (text.empty() ? "" : " ") + FormatNumber(b, BreakEvenPattern(b));
    }
    return text.empty() ? std::string("none") : text;
  };
  std::cout << Pad("break-evens", 24) << Pad(evens(expiry), 22) << evens(date) << '\n';
  // A largest profit below 0 gains nowhere, a largest loss above 0 loses
  // nowhere: "none" (the JSON keeps the figures).
  const auto profit = [](const std::optional<double>& v) {
    return NoGain(v) ? std::string(kNoneCaption) : Bound(v);
  };
  const auto loss = [](const std::optional<double>& v) {
    return NoLoss(v) ? std::string(kNoneCaption) : Bound(v);
  };
  std::cout << Pad("largest profit", 24) << Pad(profit(expiry.max_profit), 22)
            << profit(date.max_profit) << '\n';
  std::cout << Pad("largest loss", 24) << Pad(loss(expiry.max_loss), 22) << loss(date.max_loss)
            << '\n';
  std::cout << Pad("probability of profit", 24)
            << Pad(FormatNumber(100 * expiry.probability_of_profit, "0.00") + " %", 22)
            << FormatNumber(100 * date.probability_of_profit, "0.00") << " %\n\n";
  std::cout << "Greeks of the position today\n";
  const auto row = [](const std::string& name, double v) {
    std::cout << "  " << Pad(name, 30) << Fixed(v) << '\n';
  };
  row("delta", g.delta);
  row("gamma", g.gamma);
  row(std::string("vega (") + VegaUnit(r.units) + ")", VegaIn(g.vega, r.units));
  row(std::string("theta (") + ThetaUnit(r.units) + ")", ThetaIn(g.theta, r.units));
  row(std::string("rho (") + RhoUnit(r.units) + ")", RhoIn(g.rho, r.units));
  if (!curve.empty()) {
    std::cout << "\n" << Pad("spot", 16) << Pad("at expiry", 16) << "at date\n";
    for (const CurvePoint& c : curve) {
      std::cout << Pad(Fixed(c.spot), 16) << Pad(Fixed(c.at_expiry), 16) << Fixed(c.at_date)
                << '\n';
    }
  }
}

int Run(const std::vector<std::string>& args) {
  if (WantsHelp(args)) {
    std::cout << kUsage;
    return kExitOk;
  }
  TerminalEvents events;
  ScopedServices services(nullptr, &events);
  try {
    const Request r = Parse(args);
    const std::string today = Today();
    const Position legs = Legs(r, today);
    const Market market{*r.spot, *r.rate, r.yield, *r.vol};
    if (const std::string fault = CheckPosition(legs, market); !fault.empty()) {
      throw UsageError{FlagOf(fault) + fault};
    }
    PositionPricer p(legs, market);
    double at = 0;
    if (r.at_date) {
      const auto years = YearsOf(*r.at_date, today, true);
      if (!years) {
        throw UsageError{"--at-date takes years or a date, not '" + *r.at_date + "'"};
      }
      at = *years;
    }
    try {
      p.CheckDate(at);
    } catch (const StrategyInputError& e) {
      throw UsageError{std::string("--at-date: ") + e.what()};
    }
    const CurveSummary expiry = p.Summarise(p.Horizon());
    const CurveSummary date = p.Summarise(at);
    const PositionGreeks g = p.Greeks();
    std::vector<CurvePoint> curve;
    if (r.curve) {
      const auto [low, high] = p.PlotRange(expiry, date);
      curve = p.Curve(*r.curve, low, high, at);
    }
    if (r.json) {
      PrintJson(r, p, expiry, date, g, curve);
    } else {
      PrintTable(r, p, expiry, date, g, curve);
    }
    return kExitOk;
  } catch (const UsageError& bad) {
    std::cerr << kPrefix << bad.message << '\n';
    return kExitBadInput;
  } catch (const StrategyInputError& e) {
    std::cerr << kPrefix << e.what() << '\n';
    return kExitBadInput;
  }
}

const CliCommandRegistration reg{
    {"strategy", "figures and profit curves of a position of several legs", &Run}};

}  // namespace
}  // namespace stratlyn::cli
