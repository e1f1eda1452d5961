// stratlyn-cli vol: the realized volatility of a stock or index from its
// daily closes, and the feed's 30-day implied volatility.

#include <chrono>
#include <cmath>
#include <iostream>
#include <iterator>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "cli/command.h"
#include "cli/flags.h"
#include "cli/page_fetch.h"
#include "marketdata/civil_date.h"
#include "marketdata/occ_symbol.h"
#include "marketdata/page_figure.h"
#include "marketdata/quote_parser.h"
#include "marketdata/realized_vol.h"
#include "util/format.h"
#include "util/numeric_entry.h"

namespace stratlyn::cli {
namespace {

constexpr const char* kVolUsage =
    "Usage: stratlyn-cli vol TICKER [--days N] [--json] [--timeout S]\n"
    "\n"
    "Prints the realized volatility of TICKER from the delayed feed's daily\n"
    "history: close-to-close log returns of the last N trading days (default 20,\n"
    "60 and 250), their sample standard deviation annualised with sqrt(252), as\n"
    "decimal fractions, one \"DAYS VOLATILITY\" line each, then \"iv30\" and the\n"
    "quote's 30-day implied volatility when the feed has one. --json prints one\n"
    "object instead. Days without a trade (close null, empty or 0) and heading\n"
    "or summary rows are passed over and counted in a note on stderr (\"skipped\"\n"
    "with --json); a row whose date cannot be read, a date without a close, a\n"
    "close without a date, or a day after today refuses the history. A window\n"
    "whose returns span closes more than 7 days apart gets a note (\"gaps\").\n"
    "Exit status: 0 with the figures on stdout; 2 when the history is too short\n"
    "or unreadable (the reason on stderr); 1 when a page cannot be loaded.\n";

int RunVol(const std::vector<std::string>& given) {
  MarketCommandStart start(given, kVolUsage);
  if (start.done) {
    return *start.done;
  }
  const std::vector<std::string>& args = start.args;
  const long seconds = start.seconds;
  std::string ticker;
  std::vector<int> windows(std::begin(kVolatilityWindows), std::end(kVolatilityWindows));
  bool json = false;
  try {
    FlagCursor flags(args);
    while (flags.Next()) {
      const std::string& a = flags.Word();
      if (a == "--json") {
        json = true;
      } else if (a == "--days") {
        constexpr const char* kDaysNeeded = "--days needs a whole number from 2 to 5000";
        const auto n = NumericValue(flags.Value(kDaysNeeded));
        if (!n || *n < 2 || *n > 5000 || *n != static_cast<double>(static_cast<int>(*n))) {
          throw UsageError{kDaysNeeded};
        }
        windows = {static_cast<int>(*n)};
      } else if (!a.empty() && a[0] == '-') {
        throw UnknownFlag(a);
      } else if (ticker.empty()) {
        ticker = a;
      } else {
        throw UsageError{"one ticker is needed"};
      }
    }
  } catch (const UsageError& e) {
    return Usage(kVolUsage, e.message);
  }
  if (ticker.empty()) {
    return Usage(kVolUsage, "one ticker is needed");
  }
  const std::string url = FeedHistoryUrl(ticker);
  const FetchedPage page = Fetch(url, seconds);
  if (!page.failure.empty()) {
    return LoadFailed(url, page.failure);
  }
  std::string message;
  SkippedHistoryRows skipped;
  auto closes = ReadDailyCloses(page.text, url, message,
                                LocalDate(std::chrono::system_clock::now()), &skipped);
  if (const std::string other = OtherFeedSymbol(page.text, ticker); closes && !other.empty()) {
    message = OtherSymbolMessage(url, other, ticker);
    closes.reset();
  }
  if (!closes) {
    std::cerr << message << '\n';
    return kExitBadInput;
  }
  nlohmann::json out;
  std::string lines;
  // Rows passed over are said even when the history is too short.
  const std::string skipped_note = SkippedRowsNote(skipped);
  for (int days : windows) {
    const auto v = RealizedVolatility(*closes, days);
    if (!v) {
      // A window longer than the history gets no figure; the first must have one.
      if (days == windows.front()) {
        std::cerr << TooShortHistoryMessage(ticker, closes->size(), days) << '\n';
        if (!skipped_note.empty()) {
          std::cerr << "note: " << skipped_note << '\n';
        }
        return kExitBadInput;
      }
      std::cerr << "note: " << TooShortHistoryMessage(ticker, closes->size(), days) << '\n';
      out["realized"][std::to_string(days)] = nullptr;
      continue;
    }
    out["realized"][std::to_string(days)] = *v;
    lines += std::to_string(days) + " " + FormatNumber(*v, "0.0000") + "\n";
    if (const auto gap = GapInWindow(*closes, days)) {
      std::cerr << "note: " << GapNote(days, *gap) << '\n';
      out["gaps"][std::to_string(days)] = {{"from", FormatCivilDate(gap->from)},
                                           {"to", FormatCivilDate(gap->to)}};
    }
  }
  // The quote's iv30 (per cent in the feed), when it can be had.
  const FetchedPage quote = Fetch(FeedQuoteUrl(ticker), seconds);
  // Another security's quote page gives no iv30.
  const std::string other = quote.failure.empty() ? OtherFeedSymbol(quote.text, ticker) : "";
  if (!other.empty()) {
    std::cerr << "note: iv30: " << OtherSymbolMessage(FeedQuoteUrl(ticker), other, ticker) << '\n';
  }
  Iv30Reading iv30;
  if (quote.failure.empty() && other.empty()) {
    iv30 = ReadQuoteIv30(quote.text, FeedQuoteUrl(ticker));
    if (!iv30.note.empty()) {
      std::cerr << "note: iv30: " << iv30.note << '\n';
    }
  }
  out["iv30"] = iv30.fraction ? nlohmann::json(*iv30.fraction) : nlohmann::json(nullptr);
  out["closes"] = closes->size();
  out["through"] = FormatCivilDate(closes->back().date);
  if (iv30.fraction) {
    lines += "iv30 " + FormatNumber(*iv30.fraction, "0.0000") + "\n";
  }
  std::cerr << "note: close to close, annualised with sqrt(252), " << closes->size()
            << " closes through " << FormatCivilDate(closes->back().date) << '\n';
  if (!skipped_note.empty()) {
    std::cerr << "note: " << skipped_note << '\n';
  }
  out["skipped"] = {{"no_trade", skipped.no_trade}, {"not_days", skipped.not_days}};
  if (json) {
    out["symbol"] = ticker;
    std::cout << out.dump() << '\n';
  } else {
    std::cout << lines;
  }
  return kExitOk;
}

const CliCommandRegistration vol_reg{
    {"vol", "realized volatility of a stock or index from its daily closes", &RunVol}};

}  // namespace
}  // namespace stratlyn::cli
