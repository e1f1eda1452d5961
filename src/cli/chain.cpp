// stratlyn-cli chain: a ticker's whole option chain from the exchange's
// delayed feed with this program's own implied volatility, value and Greeks
// of every contract (or the reason it has none), as a table, CSV or JSON,
// or the smile of one expiry. Numbers are written with a dot in every locale.

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <iostream>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <vector>

#include "calculator/market_commands.h"
#include "chain/option_chain.h"
#include "cli/command.h"
#include "cli/page_fetch.h"
#include "marketdata/civil_date.h"
#include "marketdata/exchange_time.h"
#include "marketdata/fetch_error.h"
#include "marketdata/http_fetch.h"
#include "marketdata/occ_symbol.h"
#include "marketdata/page_charset.h"
#include "marketdata/quote_parser.h"
#include "marketdata/treasury_curve.h"
#include "marketdata/zel_bloomberg_data.h"
#include "util/browser_view.h"
#include "util/dialogs.h"
#include "util/grid.h"
#include "util/numeric_entry.h"
#include "util/services.h"
#include "util/terminal_services.h"
#include "util/text.h"
#include "util/zel_error.h"

namespace stratlyn::cli {
namespace {

constexpr const char* kChainUsage =
    "Usage: stratlyn-cli chain TICKER [--expiry YYYY-MM-DD|all] [--strikes N]\n"
    "                             [--json|--csv] [--smile] [--timeout S]\n"
    "\n"
    "Prints TICKER's option chain from the exchange's delayed feed (an index's\n"
    "file holds its weekly roots too: SPX gives SPX and SPXW) with this program's\n"
    "own implied volatility of every contract, solved from the midpoint of its\n"
    "two-sided quote: in closed form for the cash-settled index roots (European\n"
    "style), on the trinomial lattice for equity options (American style). The\n"
    "rate is the Treasury curve's at each expiry (see rate), the dividend yield\n"
    "the one put-call parity implies on that expiry's strikes nearest the money.\n"
    "Value and Greeks are at that volatility, per unit: vega per 1.00 of\n"
    "volatility, theta per year, rho per 1.00 of rate. A contract without a\n"
    "volatility has a reason instead: one-sided, crossed, no quote, below\n"
    "intrinsic, at intrinsic, above bound, expired, no solution, ...\n"
    "\n"
    "  --expiry D     the expiry of that date (both roots where two expire on it),\n"
    "                 or all of them; default the nearest that has not closed\n"
    "  --strikes N    only the N strikes nearest the underlying's price\n"
    "  --json         one JSON object: the chain's figures, each expiry's rate and\n"
    "                 yield, each contract's quote, its own figures or reason\n"
    "  --csv          one line per contract, with a heading line\n"
    "  --smile        the (strike, implied volatility) pairs of the expiry: the\n"
    "                 out-of-the-money contract's (the put below the underlying's\n"
    "                 price, the call from it up), the other where that has none\n"
    "  --timeout S    give up on a page not complete within S seconds (default 30;\n"
    "                 a page over 64 MB is refused too)\n"
    "\n"
    "A figure a contract does not have is \"-\" in the table, empty in CSV and\n"
    "null in JSON. stderr names the rate's source and the records passed over.\n"
    "Exit status: 0 with the chain on stdout; 2 for invalid arguments or a chain\n"
    "that cannot be read (no such expiry, no price of the underlying; the reason\n"
    "on stderr); 1 when a page cannot be loaded.\n";

constexpr const char* kStrikesProblem = "--strikes needs a whole number from 1 to 100000";
constexpr const char* kExpiryProblem = "--expiry needs a date YYYY-MM-DD or all";
constexpr const char* kOneTickerProblem = "one ticker is needed";
constexpr const char* kOneFormatProblem = "give only one of --json, --csv and --smile";
constexpr const char* kNoExpiryMessage = "The option chain has no expiry on ";
constexpr const char* kNoOpenExpiryMessage = "The option chain has no expiry that has not closed";
constexpr const char* kNoContractsMessage = "The delayed quote feed lists no option contracts for ";
constexpr const char* kAbsent = "-";
constexpr const char* kCsvHeading =
    "root,expiry,days,years,rate,dividend_yield,symbol,type,strike,bid,ask,mid,last,"
    "last_trade_time,volume,open_interest,source_iv,iv,value,delta,gamma,vega,theta,rho,reason";

// Every digit of the figure, however large (a quote of 1e200 has 201).
std::string Dot(double v, int decimals) {
  const int size = std::snprintf(nullptr, 0, "%.*f", decimals, v);
  if (size <= 0) {
    return {};
  }
  std::string text(static_cast<std::size_t>(size) + 1, '\0');
  std::snprintf(text.data(), text.size(), "%.*f", decimals, v);
  text.resize(static_cast<std::size_t>(size));
  return text;
}

// A CSV field: quoted (quotes doubled) where it holds a comma, a quote or a
// line break, so that text from the feed keeps its column.
std::string CsvText(const std::string& text) {
  if (text.find_first_of(",\"\r\n") == std::string::npos) {
    return text;
  }
  std::string out = "\"";
  for (char ch : text) {
    if (ch == '"') {
      out += '"';
    }
    out += ch;
  }
  return out + '"';
}

// One line of the table: each cell right-aligned to its width (the first
// left-aligned), widened where a figure needs more, the reason last.
std::string TableRow(const std::vector<std::string>& cells) {
  static constexpr int kWidths[] = {-22, 4, 10, 9, 9, 9, 9, 7, 8, 8, 8, 9, 8, 9, 9, 10};
  std::string line;
  for (std::size_t i = 0; i < cells.size(); ++i) {
    if (i >= std::size(kWidths)) {
      line += "  " + cells[i];
      continue;
    }
    if (i > 0) {
      line += ' ';
    }
    const int width = kWidths[i] < 0 ? -kWidths[i] : kWidths[i];
    const std::size_t pad =
        cells[i].size() < static_cast<std::size_t>(width) ? width - cells[i].size() : 0;
    if (kWidths[i] < 0) {
      line += cells[i] + std::string(pad, ' ');
    } else {
      line += std::string(pad, ' ') + cells[i];
    }
  }
  return line + '\n';
}

std::string Dot(const std::optional<double>& v, int decimals, const char* absent) {
  return v ? Dot(*v, decimals) : std::string(absent);
}

// A price with at least `least` decimals and as many more (up to six) as it
// has: a bid of 0.004 is no "0.00".
std::string Price(const std::optional<double>& v, int least, const char* absent) {
  if (!v) {
    return absent;
  }
  double scale = std::pow(10.0, least);
  for (int d = least; d < 6; ++d, scale *= 10) {
    const double scaled = *v * scale;
    if (std::fabs(scaled - std::nearbyint(scaled)) <= 1e-7 * std::max(1.0, std::fabs(scaled))) {
      return Dot(*v, d);
    }
  }
  return Dot(*v, 6);
}

// The moment the chain's figures count from, as New York wall-clock time
// ("2026-12-07 14:30:00"): the file's timestamp, or the moment it was read.
std::string NewYorkText(std::chrono::sys_seconds t) {
  const int minutes = NewYorkMinutes(t);
  const long long seconds = ((t.time_since_epoch().count() % 60) + 60) % 60;
  char clock[32];
  std::snprintf(clock, sizeof clock, " %02d:%02d:%02lld", minutes / 60, minutes % 60, seconds);
  return FormatCivilDate(NewYorkDate(t)) + clock;
}

nlohmann::json Json(const std::optional<double>& v) {
  return v ? nlohmann::json(*v) : nlohmann::json(nullptr);
}

// Boxes of the curve's reader become lines on stderr.
class StderrDialogs : public Dialogs {
 public:
  MsgAnswer Show(const std::string& text, MsgButtons buttons, MsgIcon,
                 const std::string&) override {
    std::cerr << "note: " << text << '\n';
    return buttons == MsgButtons::YesNo
               ? MsgAnswer::No
               : (buttons == MsgButtons::Ok ? MsgAnswer::Ok : MsgAnswer::Cancel);
  }
};

struct ChainArgs {
  std::string ticker;
  std::string expiry;  // "" nearest, "all", or a date
  std::size_t strikes = 0;
  bool json = false, csv = false, smile = false;
  long seconds = kDefaultFetchSeconds;
};

int Problem(const std::string& problem) { return Usage(kChainUsage, problem); }

// Whole numbers of a flag's value; nothing for anything else.
std::optional<long> Whole(const std::string& text, long least, long most) {
  const auto v = NumericValue(text);
  if (!v || *v < least || *v > most || *v != std::floor(*v)) {
    return std::nullopt;
  }
  return static_cast<long>(*v);
}

// Reads the arguments; nothing (after a usage message, `code` set) on a problem.
std::optional<ChainArgs> ReadArgs(const std::vector<std::string>& args, int& code) {
  ChainArgs a;
  code = kExitBadInput;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& w = args[i];
    const bool valued = w == "--expiry" || w == "--strikes" || w == "--timeout";
    if (valued && i + 1 >= args.size()) {
      return Problem(w + " needs a value"), std::nullopt;
    }
    if (w == "--json" || w == "--csv" || w == "--smile") {
      (w == "--json" ? a.json : w == "--csv" ? a.csv : a.smile) = true;
    } else if (w == "--expiry") {
      a.expiry = args[++i];
      if (a.expiry != "all" && !ReadCivilDate(a.expiry)) {
        return Problem(kExpiryProblem), std::nullopt;
      }
      if (a.expiry != "all") {
        a.expiry = FormatCivilDate(*ReadCivilDate(a.expiry));
      }
    } else if (w == "--strikes") {
      const auto n = Whole(args[++i], 1, 100000);
      if (!n) {
        return Problem(kStrikesProblem), std::nullopt;
      }
      a.strikes = static_cast<std::size_t>(*n);
    } else if (w == "--timeout") {
      const auto s = Whole(args[++i], 1, 3600);
      if (!s) {
        return Problem(kTimeoutProblem), std::nullopt;
      }
      a.seconds = *s;
    } else if (!w.empty() && w[0] == '-') {
      return Problem("unknown option '" + w + "'"), std::nullopt;
    } else if (a.ticker.empty()) {
      a.ticker = w;
    } else {
      return Problem(kOneTickerProblem), std::nullopt;
    }
  }
  if (a.ticker.empty()) {
    return Problem(kOneTickerProblem), std::nullopt;
  }
  if (a.json + a.csv + a.smile > 1) {
    return Problem(kOneFormatProblem), std::nullopt;
  }
  code = kExitOk;
  return a;
}

// The expiries to print: the date's, all, or the nearest that has not closed.
std::vector<std::size_t> ChosenExpiries(const OptionChain& chain, const std::string& expiry) {
  std::vector<std::size_t> out;
  for (std::size_t e = 0; e < chain.expiries.size(); ++e) {
    const ChainExpiry& x = chain.expiries[e];
    if (expiry == "all" || x.date_text == expiry) {
      out.push_back(e);
    }
  }
  if (!expiry.empty()) {
    return out;
  }
  for (std::size_t e = 0; e < chain.expiries.size(); ++e) {
    const ChainExpiry& x = chain.expiries[e];
    if (!(x.years > 0)) {
      continue;
    }
    if (!out.empty() && chain.expiries[out.front()].date != x.date) {
      break;
    }
    out.push_back(e);
  }
  return out;
}

std::string ExpiryLine(const ChainExpiry& e) {
  std::string line = e.root + " " + e.date_text + "  " + std::to_string(e.days) + " days  " +
                     Dot(e.years, 5) + " years to " + e.close_text + "  " +
                     (e.style == ExerciseStyle::kEuropean ? "European" : "American") + "  rate " +
                     Dot(e.rate, 4, kAbsent) + "  dividend yield " + Dot(e.dividend, 4, kAbsent);
  if (!e.dividend_note.empty()) {
    line += " (" + e.dividend_note + ")";
  }
  return line;
}

void PrintTable(const OptionChain& chain, const ChainExpiry& e,
                const std::vector<std::size_t>& strikes) {
  std::cout << ExpiryLine(e) << '\n';
  std::cout << TableRow({"symbol", "type", "strike", "bid", "ask", "mid", "last", "volume",
                         "open_int", "src_iv", "iv", "value", "delta", "gamma", "vega", "theta",
                         "reason"});
  for (std::size_t s : strikes) {
    for (const auto& side : {e.strikes[s].call, e.strikes[s].put}) {
      if (!side) {
        continue;
      }
      const ChainContract& c = chain.contracts[*side];
      const auto own = [&](double OwnFigures::*field) -> std::optional<double> {
        if (!c.at_iv) {
          return std::nullopt;
        }
        return (*c.at_iv).*field;
      };
      std::cout << TableRow(
          {c.symbol, c.put ? "put" : "call", Dot(c.strike, 3), Price(c.bid, 2, kAbsent),
           Price(c.ask, 2, kAbsent), Price(c.mid, 3, kAbsent), Price(c.last, 2, kAbsent),
           Dot(c.volume, 0, kAbsent), Dot(c.open_interest, 0, kAbsent),
           Dot(c.source.iv, 4, kAbsent), Dot(c.iv, 4, kAbsent),
           Dot(own(&OwnFigures::value), 4, kAbsent), Dot(own(&OwnFigures::delta), 4, kAbsent),
           Dot(own(&OwnFigures::gamma), 6, kAbsent), Dot(own(&OwnFigures::vega), 4, kAbsent),
           Dot(own(&OwnFigures::theta), 4, kAbsent), ChainRefusalText(c.refusal)});
    }
  }
}

void PrintCsvLines(const OptionChain& chain, const ChainExpiry& e,
                   const std::vector<std::size_t>& strikes) {
  for (std::size_t s : strikes) {
    for (const auto& side : {e.strikes[s].call, e.strikes[s].put}) {
      if (!side) {
        continue;
      }
      const ChainContract& c = chain.contracts[*side];
      const auto f = [&](const std::optional<double>& v, int d) { return Dot(v, d, ""); };
      const auto own = [&](double OwnFigures::*field) -> std::optional<double> {
        if (!c.at_iv) {
          return std::nullopt;
        }
        return (*c.at_iv).*field;
      };
      std::cout << CsvText(e.root) << ',' << CsvText(e.date_text) << ',' << e.days << ','
                << Dot(e.years, 8) << ',' << f(e.rate, 6) << ',' << f(e.dividend, 6) << ','
                << CsvText(c.symbol) << ',' << (c.put ? "put" : "call") << ',' << Dot(c.strike, 3)
                << ',' << Price(c.bid, 2, "") << ',' << Price(c.ask, 2, "") << ','
                << Price(c.mid, 4, "") << ',' << Price(c.last, 2, "") << ','
                << CsvText(c.last_trade_time) << ',' << f(c.volume, 0) << ','
                << f(c.open_interest, 0) << ',' << f(c.source.iv, 6) << ',' << f(c.iv, 6) << ','
                << f(own(&OwnFigures::value), 6) << ',' << f(own(&OwnFigures::delta), 6) << ','
                << f(own(&OwnFigures::gamma), 8) << ',' << f(own(&OwnFigures::vega), 6) << ','
                << f(own(&OwnFigures::theta), 6) << ',' << f(own(&OwnFigures::rho), 6) << ','
                << ChainRefusalText(c.refusal) << '\n';
    }
  }
}

nlohmann::json ContractJson(const ChainContract& c) {
  nlohmann::json j;
  j["symbol"] = c.symbol;
  j["type"] = c.put ? "put" : "call";
  j["strike"] = c.strike;
  j["bid"] = Json(c.bid);
  j["ask"] = Json(c.ask);
  j["mid"] = Json(c.mid);
  j["last"] = Json(c.last);
  j["last_trade_time"] =
      c.last_trade_time.empty() ? nlohmann::json(nullptr) : nlohmann::json(c.last_trade_time);
  j["volume"] = Json(c.volume);
  j["open_interest"] = Json(c.open_interest);
  j["source"] = {{"iv", Json(c.source.iv)},       {"delta", Json(c.source.delta)},
                 {"gamma", Json(c.source.gamma)}, {"vega", Json(c.source.vega)},
                 {"theta", Json(c.source.theta)}, {"rho", Json(c.source.rho)},
                 {"theo", Json(c.source.theo)}};
  j["iv"] = Json(c.iv);
  if (c.at_iv) {
    j["own"] = {{"value", c.at_iv->value}, {"delta", c.at_iv->delta}, {"gamma", c.at_iv->gamma},
                {"vega", c.at_iv->vega},   {"theta", c.at_iv->theta}, {"rho", c.at_iv->rho}};
  } else {
    j["own"] = nullptr;
  }
  j["reason"] = c.refusal == ChainRefusal::kNone ? nlohmann::json(nullptr)
                                                 : nlohmann::json(ChainRefusalText(c.refusal));
  return j;
}

nlohmann::json ExpiryJson(const ChainExpiry& e) {
  return {{"root", e.root},
          {"date", e.date_text},
          {"style", e.style == ExerciseStyle::kEuropean ? "european" : "american"},
          {"days", e.days},
          {"years", e.years},
          {"close", e.close_text},
          {"rate", Json(e.rate)},
          {"dividend_yield", Json(e.dividend)},
          {"dividend_note", e.dividend_note}};
}

// The smile's implied volatility of a strike: the out-of-the-money side's,
// else the other's.
std::optional<double> SmileVolatility(const SmilePoint& p, double spot) {
  const auto& otm = p.strike < spot ? p.put_iv : p.call_iv;
  const auto& itm = p.strike < spot ? p.call_iv : p.put_iv;
  return otm ? otm : itm;
}

int RunChain(const std::vector<std::string>& given) {
  for (const auto& a : given) {
    if (a == "-h" || a == "--help") {
      std::cout << kChainUsage;
      return kExitOk;
    }
  }
  int code = kExitOk;
  const auto args = ReadArgs(given, code);
  if (!args) {
    return code;
  }
  StderrDialogs dialogs;
  TerminalEvents events;
  ScopedServices scope(&dialogs, &events);

  const std::string upper = UpperAscii(args->ticker);
  const std::string url = FeedOptionsUrl(ChainTickerOfRoot(upper));
  const HttpPage page = FetchHttpPage(url, args->seconds);
  if (!page.failure.empty()) {
    std::cerr << "stratlyn-cli: " << PageLoadFailedMessage(url, page.failure) << '\n';
    return kExitRuntimeError;
  }
  std::string message;
  const auto now = std::chrono::system_clock::now();
  auto chain = ParseOptionChain(PageTextAsUtf8(page.body, page.content_type), now, message);
  if (!chain) {
    std::cerr << TerminalWording(message, url) << '\n';
    return kExitBadInput;
  }
  if (!chain->symbol.empty() && !SameTicker(chain->symbol, ChainTickerOfRoot(upper))) {
    std::cerr << OtherSymbolMessage(url, chain->symbol, ChainTickerOfRoot(upper)) << '\n';
    return kExitBadInput;
  }
  if (chain->contracts.empty()) {
    for (const std::string& note : chain->notes) {
      std::cerr << "note: " << note << '\n';
    }
    std::cerr << kNoContractsMessage << upper << '\n';
    return kExitBadInput;
  }
  const std::vector<std::size_t> chosen = ChosenExpiries(*chain, args->expiry);
  if (chosen.empty()) {
    std::cerr << (args->expiry.empty() || args->expiry == "all" ? std::string(kNoOpenExpiryMessage)
                                                                : kNoExpiryMessage + args->expiry)
              << '\n';
    return kExitBadInput;
  }
  // The rate: the Treasury curve, as rate reads it.
  TreasuryCurve treasury(args->seconds);
  if (!treasury.Read()) {
    return kExitRuntimeError;
  }
  const zelBloombergData& curve = treasury.curve;
  const Grid& grid = treasury.grid;
  const auto rate_at = [&](double t) {
    return ContinuousFromParYield(CurveRateFromGrid(grid, static_cast<float>(t), now));
  };
  SolveOptionChain(*chain, rate_at);
  std::cerr << "note: rates of the " << RateSourceName(curve.SourceUsed()) << " of "
            << curve.ObservationDate() << "; quotes of " << NewYorkText(chain->as_of)
            << " New York\n";
  for (const std::string& note : curve.Notes()) {
    std::cerr << "note: " << note << '\n';
  }
  for (const std::string& note : chain->notes) {
    std::cerr << "note: " << note << '\n';
  }

  if (args->smile) {
    for (std::size_t e : chosen) {
      std::cout << ExpiryLine(chain->expiries[e]) << '\n';
      for (const SmilePoint& p : ExpirySmile(*chain, e)) {
        const auto iv = SmileVolatility(p, chain->spot);
        std::cout << Dot(p.strike, 3) << ' ' << Dot(iv, 6, kAbsent) << '\n';
      }
    }
    return kExitOk;
  }
  if (args->csv) {
    std::cout << kCsvHeading << '\n';
  }
  nlohmann::json out;
  if (args->json) {
    out["symbol"] = chain->symbol;
    out["spot"] = chain->spot;
    out["timestamp"] = chain->timestamp;
    out["as_of"] = NewYorkText(chain->as_of);
    out["notes"] = chain->notes;
    out["expiries"] = nlohmann::json::array();
  }
  for (std::size_t e : chosen) {
    const ChainExpiry& x = chain->expiries[e];
    const auto strikes = StrikesAroundMoney(x, chain->spot, args->strikes);
    if (args->json) {
      nlohmann::json ej = ExpiryJson(x);
      ej["contracts"] = nlohmann::json::array();
      ej["smile"] = nlohmann::json::array();
      for (std::size_t s : strikes) {
        for (const auto& side : {x.strikes[s].call, x.strikes[s].put}) {
          if (side) {
            ej["contracts"].push_back(ContractJson(chain->contracts[*side]));
          }
        }
      }
      for (const SmilePoint& p : ExpirySmile(*chain, e)) {
        ej["smile"].push_back({{"strike", p.strike},
                               {"iv", Json(SmileVolatility(p, chain->spot))},
                               {"call_iv", Json(p.call_iv)},
                               {"put_iv", Json(p.put_iv)}});
      }
      out["expiries"].push_back(std::move(ej));
    } else if (args->csv) {
      PrintCsvLines(*chain, x, strikes);
    } else {
      PrintTable(*chain, x, strikes);
    }
  }
  if (args->json) {
    std::cout << out.dump() << '\n';
  }
  return kExitOk;
}

const CliCommandRegistration chain_reg{
    {"chain", "a whole option chain with its own implied volatilities", &RunChain}};

}  // namespace
}  // namespace stratlyn::cli
