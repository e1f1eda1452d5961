// stratlyn-cli quote: the delayed price of a stock, index or option, read by
// the parsers of the calculator panel's quote buttons. Numbers on the command
// line and in the output are written with a dot in every locale.

#include <cctype>
#include <chrono>
#include <ctime>
#include <iostream>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <vector>

#include "calculator/market_commands.h"
#include "cli/command.h"
#include "cli/flags.h"
#include "cli/page_fetch.h"
#include "marketdata/exchange_time.h"
#include "marketdata/occ_symbol.h"
#include "marketdata/quote_parser.h"
#include "util/format.h"
#include "util/locale_info.h"
#include "util/numeric_entry.h"
#include "util/services.h"
#include "util/terminal_services.h"
#include "util/text.h"

namespace stratlyn::cli {
namespace {

constexpr const char* kQuoteUsage =
    "Usage: stratlyn-cli quote TICKER [--option SYMBOL --strike K [--month NAME]]\n"
    "                          [--exchange \"CBOE Delayed Feed\"|\"CBOE\"] [--json]\n"
    "                          [--timeout S]\n"
    "\n"
    "Prints the delayed price of TICKER, or with --option of the option SYMBOL,\n"
    "read from the exchange's JSON feed (\"CBOE Delayed Feed\", the default; the\n"
    "option in the OCC form, e.g. AAPL270115C00150000) or its HTML quote page\n"
    "(\"CBOE\", for mirrors that still serve it; the exchange's option ticker).\n"
    "A feed option's price is the midpoint of today's two-sided quote, or a trade\n"
    "of today within today's bid and ask; anything else is refused with the quote\n"
    "and the last trade on stderr. stderr also says which price was taken and\n"
    "the maturity counted to the expiry's close (16:00 New York; 09:30 for the\n"
    "morning-settled SPX, NDX, RUT and VIX options). A feed page that names\n"
    "another symbol than the one asked for (a redirect, a cached page) and a\n"
    "price of 10000000000 or more are refused.\n"
    "\n"
    "  --strike K     the strike you expect; a different strike on the page is noted\n"
    "  --month NAME   expiration month (January ... December, or Jan ... Dec; default\n"
    "                 next month), used to find the strike in the option's description\n"
    "  --json         print one JSON object: price, source (mid, last), bid, ask,\n"
    "                 last trade time and maturity in years\n"
    "  --timeout S    give up on a page not complete within S seconds (default 30;\n"
    "                 a page over 64 MB is refused too)\n"
    "\n"
    "Numbers are written with a dot (123.45) in every locale.\n"
    "Exit status: 0 with the price on stdout; 2 when no price can be read (the\n"
    "reason on stderr); 1 when the page cannot be loaded (the status or time-out\n"
    "on stderr).\n";

int MonthIndex(const std::string& name) {
  if (name.size() < 3) {
    return -1;
  }
  for (int i = 0; i < 12; ++i) {
    const std::string full = kEnglishMonthNames[i];
    if (name.size() > full.size()) {
      continue;
    }
    bool same = true;
    for (size_t k = 0; k < name.size(); ++k) {
      if (std::tolower(static_cast<unsigned char>(name[k])) !=
          std::tolower(static_cast<unsigned char>(full[k]))) {
        same = false;
      }
    }
    if (same) {
      return i;
    }
  }
  return -1;
}

int NextMonthIndex() {
  const std::time_t t = std::time(nullptr);
  std::tm tm{};
  localtime_r(&t, &tm);
  return (tm.tm_mon + 1) % 12;
}

int RunQuote(const std::vector<std::string>& given) {
  MarketCommandStart start(given, kQuoteUsage);
  if (start.done) {
    return *start.done;
  }
  const std::vector<std::string>& args = start.args;
  const long seconds = start.seconds;
  std::string ticker, option, strike, exchange = kExchangeCboeFeed;
  int month = NextMonthIndex();
  bool has_strike = false;
  bool json = false;
  try {
    FlagCursor flags(args);
    while (flags.Next()) {
      const std::string& a = flags.Word();
      if (a == "--json") {
        json = true;
      } else if (a == "--option") {
        option = flags.Value();
      } else if (a == "--strike") {
        strike = flags.Value();
        has_strike = true;
      } else if (a == "--exchange") {
        exchange = flags.Value();
      } else if (a == "--month") {
        const std::string& v = flags.Value();
        if ((month = MonthIndex(v)) < 0) {
          throw UsageError{"unknown month '" + v + "'"};
        }
      } else if (!a.empty() && a[0] == '-') {
        throw UnknownFlag(a);
      } else if (ticker.empty()) {
        ticker = a;
      } else {
        throw UsageError{"one ticker only"};
      }
    }
  } catch (const UsageError& e) {
    return Usage(kQuoteUsage, e.message);
  }
  if (ticker.empty()) {
    return Usage(kQuoteUsage, "a ticker is needed");
  }
  if (exchange != kExchangeCboe && exchange != kExchangeCboeFeed) {
    return Usage(kQuoteUsage, "the exchange is \"CBOE\" or \"CBOE Delayed Feed\"");
  }
  const bool feed = exchange == kExchangeCboeFeed;
  if (!option.empty()) {
    const auto k = NumericValue(strike);
    if (!has_strike || !k || *k == 0) {
      std::cerr << kInvalidStrikeMessage << '\n';
      return kExitBadInput;
    }
  } else if (has_strike) {
    return Usage(kQuoteUsage, "--strike belongs to --option");
  }

  std::string url;
  std::string asked = ticker;  // the ticker of the feed page asked for
  if (option.empty()) {
    url = GetStockURL(ticker, exchange);
  } else {
    std::string symbol;
    for (char c : option) {
      if (c != ' ') {
        symbol += UpperAscii(std::string(1, c));
      }
    }
    // Weekly index options are listed in their index's file (SPXW in _SPX).
    asked = ChainTickerOfRoot(UpperAscii(ticker));
    url = feed ? FeedOptionsUrl(asked) : GetStockURL(symbol, exchange);
    option = symbol;
  }
  const FetchedPage page = Fetch(url, seconds);
  if (!page.failure.empty()) {
    return LoadFailed(url, page.failure);
  }
  // The maturity counts from the moment the page arrived.
  const auto fetched_at = std::chrono::system_clock::now();

  NoteDialogs dialogs;
  TerminalEvents events;
  ScopedServices scope(&dialogs, &events);
  QuoteContext ctx;
  ctx.maturity_month = month;
  ctx.strike = strike;
  ctx.page = url;
  ctx.now = fetched_at;
  ctx.ticker = asked;
  ctx.view = QuoteView::kTerminal;
  const QuoteResult result = feed ? ReadCBOEFeedQuote(page.text, option, ctx)
                                  : ReadCBOESimpleQuote(page.text, exchange, ctx);
  dialogs.PrintNotes(std::cerr);
  if (result.outcome != QuoteOutcome::kPrice) {
    dialogs.PrintMessages(std::cerr);
    if (dialogs.messages.empty() && dialogs.notes.empty()) {
      std::cerr << kNoLastPriceTerminalMessage << ' ' << url << '\n';
    }
    return kExitBadInput;
  }
  std::optional<MaturityToClose> maturity;
  OccSymbol occ;
  if (feed && !option.empty() && ParseOccSymbol(option, occ)) {
    maturity = MaturityOfOption(occ, fetched_at);
    if (maturity->years <= 0) {
      std::cerr << maturity->ExpiredMessage(option) << '\n';
      return kExitBadInput;
    }
  }
  if (!result.status.empty()) {
    std::cerr << "note: price: " << result.status << '\n';
  }
  if (maturity) {
    std::cerr << "note: " << maturity->Note() << '\n';
  }
  if (json) {
    nlohmann::json out;
    out["symbol"] = option.empty() ? ticker : option;
    out["price"] = result.price;
    if (option.empty() || !feed) {
      out["source"] = feed ? "current" : "last sale";
    } else {
      out["source"] = result.source == PriceSource::kMid ? "mid" : "last";
      out["bid"] = result.bid;
      out["ask"] = result.ask;
      out["last"] = result.last;
      out["last_trade_time"] = result.last_trade_time.empty()
                                   ? nlohmann::json(nullptr)
                                   : nlohmann::json(result.last_trade_time);
    }
    out["maturity"] = maturity ? nlohmann::json(maturity->years) : nlohmann::json(nullptr);
    if (maturity) {
      out["expiry_close"] = maturity->CloseText();
    }
    std::cout << out.dump() << '\n';
    return kExitOk;
  }
  std::cout << FormatNumber(result.price, kPriceFieldFormat) << '\n';
  return kExitOk;
}

const CliCommandRegistration quote_reg{
    {"quote", "delayed price of a stock, index or option", &RunQuote}};

}  // namespace
}  // namespace stratlyn::cli
