// stratlyn-cli dividend: the dividend yield of a stock, implied by put-call
// parity on its option chain or read from the exchange's quote page.

#include <cctype>
#include <chrono>
#include <iostream>
#include <string>
#include <vector>

#include "calculator/market_commands.h"
#include "cli/command.h"
#include "cli/flags.h"
#include "cli/page_fetch.h"
#include "marketdata/exchange_time.h"
#include "marketdata/fetch_error.h"
#include "marketdata/implied_dividend.h"
#include "marketdata/occ_symbol.h"
#include "marketdata/quote_parser.h"
#include "marketdata/treasury_curve.h"
#include "marketdata/zel_bloomberg_data.h"
#include "util/format.h"
#include "util/grid.h"
#include "util/numeric_entry.h"
#include "util/services.h"
#include "util/terminal_services.h"
#include "util/text.h"
#include "util/zel_error.h"

namespace stratlyn::cli {
namespace {

constexpr const char* kDividendUsage =
    "Usage: stratlyn-cli dividend TICKER [--maturity YEARS]\n"
    "                             [--exchange \"CBOE Delayed Feed\"|\"CBOE\"] [--timeout S]\n"
    "\n"
    "Prints the dividend yield of TICKER as a decimal fraction (0.02350 is 2.35 %).\n"
    "From the delayed feed (the default): the continuous yield implied by put-call\n"
    "parity on TICKER's option chain, at the expiry nearest YEARS (default 0.25),\n"
    "from up to three strikes nearest the money quoted two-sided on both the call\n"
    "and the put, with the Treasury curve's rate (see rate); stderr names the\n"
    "expiry, the strikes and the rate. From \"CBOE\", or when the feed has no\n"
    "chain for TICKER: the yield the exchange's HTML quote page shows.\n"
    "\n"
    "  --timeout S    give up on a page not complete within S seconds (default 30;\n"
    "                 a page over 64 MB is refused too)\n"
    "\n"
    "Exit status: 0 with the yield on stdout; 2 when there is no yield to read\n"
    "(the reason on stderr); 1 when a page cannot be loaded.\n";

int RunDividend(const std::vector<std::string>& given) {
  MarketCommandStart start(given, kDividendUsage);
  if (start.done) {
    return *start.done;
  }
  const std::vector<std::string>& args = start.args;
  const long seconds = start.seconds;
  std::string ticker, exchange = kExchangeCboeFeed;
  double years = 0.25;
  try {
    FlagCursor flags(args);
    while (flags.Next()) {
      const std::string& a = flags.Word();
      if (a == "--exchange") {
        exchange = flags.Value();
      } else if (a == "--maturity") {
        const auto t = NumericValue(flags.Value());
        if (!t || *t <= 0 || *t > 100) {
          throw UsageError{"--maturity needs years above 0"};
        }
        years = *t;
      } else if (!a.empty() && a[0] == '-') {
        throw UnknownFlag(a);
      } else if (ticker.empty()) {
        ticker = a;
      } else {
        throw UsageError{"one ticker is needed"};
      }
    }
  } catch (const UsageError& e) {
    return Usage(kDividendUsage, e.message);
  }
  if (ticker.empty()) {
    return Usage(kDividendUsage, "one ticker is needed");
  }
  if (exchange != kExchangeCboe && exchange != kExchangeCboeFeed) {
    return Usage(kDividendUsage, "the exchange is \"CBOE\" or \"CBOE Delayed Feed\"");
  }
  NoteDialogs dialogs;
  TerminalEvents events;
  ScopedServices scope(&dialogs, &events);
  if (exchange == kExchangeCboe) {
    const std::string url = GetStockURL(ticker, kExchangeCboe);
    const FetchedPage page = Fetch(url, seconds);
    if (!page.failure.empty()) {
      return LoadFailed(url, page.failure);
    }
    double percent = 0;
    if (!ReadDividendYield(page.text, percent, url)) {
      dialogs.PrintMessages(std::cerr);
      return kExitBadInput;
    }
    std::cout << FormatNumber(percent / 100.0, kYieldFieldFormat) << '\n';
    return kExitOk;
  }
  // The rate: the Treasury curve, as rate reads it.
  TreasuryCurve treasury(seconds);
  if (!treasury.Read()) {
    return kExitRuntimeError;
  }
  const Grid& grid = treasury.grid;
  const std::string upper = UpperAscii(ticker);
  const std::string url = FeedOptionsUrl(ChainTickerOfRoot(upper));
  const FetchedPage page = Fetch(url, seconds);
  if (!page.failure.empty()) {
    // No chain: the exchange's quote page, where it is still served.
    const std::string page_url = GetStockURL(ticker, kExchangeCboe);
    const FetchedPage quote_page = Fetch(page_url, seconds);
    if (!quote_page.failure.empty()) {
      return LoadFailed(url, page.failure);
    }
    double percent = 0;
    if (!ReadDividendYield(quote_page.text, percent, page_url)) {
      std::cerr << PageLoadFailedMessage(url, page.failure) << '\n';
      dialogs.PrintMessages(std::cerr);
      return kExitBadInput;
    }
    std::cerr << "note: the yield of the quote page " << page_url << " ("
              << PageLoadFailedMessage(url, page.failure) << ")\n";
    std::cout << FormatNumber(percent / 100.0, kYieldFieldFormat) << '\n';
    return kExitOk;
  }
  const auto now = std::chrono::system_clock::now();
  const auto rate_at = [&](double t) {
    return ContinuousFromParYield(CurveRateFromGrid(grid, static_cast<float>(t), now));
  };
  std::string message;
  const auto implied = ImpliedDividendYield(page.text, years, rate_at, now, message);
  if (!implied) {
    std::cerr << TerminalWording(message, url) << '\n';
    return kExitBadInput;
  }
  if (const std::string chain_ticker = ChainTickerOfRoot(upper);
      !implied->symbol.empty() && !SameTicker(implied->symbol, chain_ticker)) {
    std::cerr << OtherSymbolMessage(url, implied->symbol, chain_ticker) << '\n';
    return kExitBadInput;
  }
  std::cerr << "note: dividend yield " << implied->Note() << '\n';
  std::cout << FormatNumber(implied->yield, kYieldFieldFormat) << '\n';
  return kExitOk;
}

const CliCommandRegistration dividend_reg{{"dividend", "dividend yield of a stock", &RunDividend}};

}  // namespace
}  // namespace stratlyn::cli
