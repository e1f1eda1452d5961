// stratlyn-cli quote, rate and dividend: the panel's market-data lookups in
// the terminal. Pages are fetched directly (no browser), turned into UTF-8 by
// the character set they declare, and read by the same parsers; their
// questions take the cautious answer and are printed as notes. Numbers on the
// command line and in the output are written with a dot in every locale.

#include <cctype>
#include <chrono>
#include <cmath>
#include <ctime>
#include <iostream>
#include <iterator>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <vector>

#include "calculator/market_commands.h"
#include "cli/command.h"
#include "marketdata/civil_date.h"
#include "marketdata/exchange_time.h"
#include "marketdata/fetch_error.h"
#include "marketdata/http_fetch.h"
#include "marketdata/implied_dividend.h"
#include "marketdata/occ_symbol.h"
#include "marketdata/page_charset.h"
#include "marketdata/page_figure.h"
#include "marketdata/quote_parser.h"
#include "marketdata/realized_vol.h"
#include "marketdata/treasury_curve.h"
#include "marketdata/zel_bloomberg_data.h"
#include "util/dates.h"
#include "util/dialogs.h"
#include "util/format.h"
#include "util/locale_info.h"
#include "util/numeric_entry.h"
#include "util/services.h"
#include "util/terminal_services.h"
#include "util/zel_error.h"

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
    "morning-settled SPX, NDX, RUT and VIX options).\n"
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

constexpr std::string_view kPriceOutputFormat = "#####0.00000";
constexpr std::string_view kRateOutputFormat = "####0.0000";
constexpr std::string_view kYieldOutputFormat = "####0.00000";

// The user's locale with the numbers of scripts: a dot decimal and comma
// groups (dates and month names stay the user's). Installed for one command.
class ScriptNumbers {
 public:
  ScriptNumbers() {
    EntryLocale l = CurrentEntryLocale();
    const EntryLocale& page = PageLocale();
    l.decimal_point = page.decimal_point;
    l.thousands_sep = page.thousands_sep;
    l.currency_symbol = page.currency_symbol;
    l.currency_before = page.currency_before;
    SetEntryLocale(l);
  }
  ~ScriptNumbers() { ResetEntryLocale(); }
  ScriptNumbers(const ScriptNumbers&) = delete;
  ScriptNumbers& operator=(const ScriptNumbers&) = delete;
};

// A fetched page in UTF-8, or the reason it is not there.
struct FetchedPage {
  std::string text;
  std::string failure;
};

FetchedPage Fetch(const std::string& url, long seconds) {
  const HttpPage page = FetchHttpPage(url, seconds);
  if (!page.failure.empty()) return {{}, page.failure};
  return {PageTextAsUtf8(page.body, page.content_type), {}};
}

int LoadFailed(const std::string& url, const std::string& failure) {
  std::cerr << "stratlyn-cli: " << PageLoadFailedMessage(url, failure) << '\n';
  return kExitRuntimeError;
}

// Reads "--timeout S" out of args (removing it). False after a usage message.
bool TakeTimeout(std::vector<std::string>& args, long& seconds, const char* usage, int& code) {
  for (size_t i = 0; i < args.size(); ++i) {
    if (args[i] != "--timeout") continue;
    const auto v = i + 1 < args.size() ? NumericValue(args[i + 1]) : std::nullopt;
    if (!v || *v < 1 || *v > 3600 || *v != static_cast<double>(static_cast<long>(*v))) {
      std::cerr << "stratlyn-cli: --timeout needs whole seconds from 1 to 3600\n\n" << usage;
      code = kExitBadInput;
      return false;
    }
    seconds = static_cast<long>(*v);
    args.erase(args.begin() + static_cast<long>(i), args.begin() + static_cast<long>(i) + 2);
    return true;
  }
  return true;
}

constexpr const char* kMonths[12] = {"January",   "February", "March",    "April",
                                     "May",       "June",     "July",     "August",
                                     "September", "October",  "November", "December"};

// Collects messages; questions take the cautious answer.
class NoteDialogs : public Dialogs {
 public:
  MsgAnswer Show(const std::string& text, MsgButtons buttons, MsgIcon,
                 const std::string&) override {
    if (buttons == MsgButtons::Ok) {
      messages.push_back(text);
      return MsgAnswer::Ok;
    }
    notes.push_back(text);
    return buttons == MsgButtons::YesNo ? MsgAnswer::No : MsgAnswer::Cancel;
  }
  void PrintNotes(std::ostream& out) const {
    for (const auto& n : notes) out << "note: " << n << " (answered No)\n";
  }
  void PrintMessages(std::ostream& out) const {
    for (const auto& m : messages) out << m << '\n';
  }
  std::vector<std::string> messages;
  std::vector<std::string> notes;
};

// A browser view that fetches each page at once, and tells why one failed.
class DirectView : public BrowserView {
 public:
  explicit DirectView(long seconds) : seconds_(seconds) {}
  void Navigate(const std::string& url, int = 0) override {
    url_ = url;
    const FetchedPage page = Fetch(url, seconds_);
    body_ = page.text;
    failure_ = page.failure;
    SetTag(kPageDone);
  }
  std::string LoadFailure() const override { return failure_; }
  bool GoBack() override { return false; }
  bool GoForward() override { return false; }
  void Stop() override {}
  int ReadyState() const override { return kComplete; }
  std::string LocationURL() const override { return url_; }
  std::string BodyHtml() override { return body_; }
  void SetSilent(bool) override {}

 private:
  long seconds_;
  std::string url_;
  std::string body_;
  std::string failure_;
};

bool WantsHelp(const std::vector<std::string>& args) {
  for (const auto& a : args) {
    if (a == "-h" || a == "--help") return true;
  }
  return false;
}

int Usage(const char* usage, const std::string& problem) {
  std::cerr << "stratlyn-cli: " << problem << "\n\n" << usage;
  return kExitBadInput;
}

int MonthIndex(const std::string& name) {
  if (name.size() < 3) return -1;
  for (int i = 0; i < 12; ++i) {
    const std::string full = kMonths[i];
    if (name.size() > full.size()) continue;
    bool same = true;
    for (size_t k = 0; k < name.size(); ++k) {
      if (std::tolower(static_cast<unsigned char>(name[k])) !=
          std::tolower(static_cast<unsigned char>(full[k]))) {
        same = false;
      }
    }
    if (same) return i;
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
  std::vector<std::string> args = given;
  if (WantsHelp(args)) {
    std::cout << kQuoteUsage;
    return kExitOk;
  }
  const ScriptNumbers numbers;
  long seconds = kDefaultFetchSeconds;
  int code = kExitOk;
  if (!TakeTimeout(args, seconds, kQuoteUsage, code)) return code;
  std::string ticker, option, strike, exchange = kExchangeCboeFeed;
  int month = NextMonthIndex();
  bool has_strike = false;
  bool json = false;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    const bool has_value = i + 1 < args.size();
    if (a == "--json") {
      json = true;
    } else if (a == "--option" || a == "--strike" || a == "--month" || a == "--exchange") {
      if (!has_value) return Usage(kQuoteUsage, a + " needs a value");
      const std::string& v = args[++i];
      if (a == "--option") option = v;
      if (a == "--strike") {
        strike = v;
        has_strike = true;
      }
      if (a == "--exchange") exchange = v;
      if (a == "--month" && (month = MonthIndex(v)) < 0)
        return Usage(kQuoteUsage, "unknown month '" + v + "'");
    } else if (!a.empty() && a[0] == '-') {
      return Usage(kQuoteUsage, "unknown option '" + a + "'");
    } else if (ticker.empty()) {
      ticker = a;
    } else {
      return Usage(kQuoteUsage, "one ticker only");
    }
  }
  if (ticker.empty()) return Usage(kQuoteUsage, "a ticker is needed");
  if (exchange != kExchangeCboe && exchange != kExchangeCboeFeed) {
    return Usage(kQuoteUsage, "the exchange is \"CBOE\" or \"CBOE Delayed Feed\"");
  }
  const bool feed = exchange == kExchangeCboeFeed;
  if (!option.empty()) {
    const auto k = NumericValue(strike);
    if (!has_strike || !k || *k == 0) {
      std::cerr << "Invalid strike price\n";
      return kExitBadInput;
    }
  } else if (has_strike) {
    return Usage(kQuoteUsage, "--strike belongs to --option");
  }

  std::string url;
  if (option.empty()) {
    url = GetStockURL(ticker, exchange);
  } else {
    std::string symbol;
    for (char c : option) {
      if (c != ' ') symbol += static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    }
    // Weekly index options are listed in their index's file (SPXW in _SPX).
    std::string chain;
    for (char c : ticker) chain += static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    url = feed ? FeedOptionsUrl(ChainTickerOfRoot(chain)) : GetStockURL(symbol, exchange);
    option = symbol;
  }
  const FetchedPage page = Fetch(url, seconds);
  if (!page.failure.empty()) return LoadFailed(url, page.failure);
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
  const QuoteResult result = feed ? ReadCBOEFeedQuote(page.text, option, ctx)
                                  : ReadCBOESimpleQuote(page.text, exchange, ctx);
  dialogs.PrintNotes(std::cerr);
  if (result.outcome != QuoteOutcome::kPrice) {
    dialogs.PrintMessages(std::cerr);
    if (dialogs.messages.empty() && dialogs.notes.empty()) std::cerr << kNoLastPriceMessage << '\n';
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
  if (!result.status.empty()) std::cerr << "note: price: " << result.status << '\n';
  if (maturity) std::cerr << "note: " << maturity->Note() << '\n';
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
    if (maturity) out["expiry_close"] = maturity->CloseText();
    std::cout << out.dump() << '\n';
    return kExitOk;
  }
  std::cout << FormatNumber(result.price, kPriceOutputFormat) << '\n';
  return kExitOk;
}

int RunRate(const std::vector<std::string>& given) {
  std::vector<std::string> args = given;
  if (WantsHelp(args)) {
    std::cout << kRateUsage;
    return kExitOk;
  }
  const ScriptNumbers numbers;
  long seconds = kDefaultFetchSeconds;
  int code = kExitOk;
  if (!TakeTimeout(args, seconds, kRateUsage, code)) return code;
  RateSource source = RateSource::kTreasury;
  for (size_t i = 0; i < args.size(); ++i) {
    if (args[i] != "--source") continue;
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
  if (args.size() != 1) return Usage(kRateUsage, "one maturity is needed");
  NoteDialogs dialogs;
  TerminalEvents events;
  ScopedServices scope(&dialogs, &events);
  float t = 0;
  if (const auto v = NumericValue(args[0])) {
    t = static_cast<float>(*v);
  } else if (IsDateText(args[0])) {
    std::string end = args[0];
    t = YearsBetweenDates(FormatShortDate(LocalDate(std::chrono::system_clock::now())), end);
  } else {
    std::cerr << "Invalid Maturity\n";
    return kExitBadInput;
  }
  DirectView view(seconds);
  zelBloombergData curve;
  curve.Browser = &view;
  curve.Source = source;
  Grid grid;
  try {
    curve.GrabFRBYieldCurve(zelBloombergData::cUS, grid);
  } catch (const zelError& e) {
    std::cerr << "stratlyn-cli: " << e.Description() << '\n';
    return kExitRuntimeError;
  }
  const float par = CurveRateFromGrid(grid, t, std::chrono::system_clock::now());
  const double r = ContinuousFromParYield(par);
  if (!std::isfinite(r)) {
    std::cerr << NoRateMessage(par) << '\n';
    return kExitRuntimeError;
  }
  std::cerr << "note: " << CurveCaption(curve, t, par, r) << '\n';
  for (const std::string& note : curve.Notes()) {
    if (note.find("latest observation") != std::string::npos) std::cerr << "note: " << note << '\n';
  }
  std::cout << FormatNumber(r, kRateOutputFormat) << '\n';
  return kExitOk;
}

int RunDividend(const std::vector<std::string>& given) {
  std::vector<std::string> args = given;
  if (WantsHelp(args)) {
    std::cout << kDividendUsage;
    return kExitOk;
  }
  const ScriptNumbers numbers;
  long seconds = kDefaultFetchSeconds;
  int code = kExitOk;
  if (!TakeTimeout(args, seconds, kDividendUsage, code)) return code;
  std::string ticker, exchange = kExchangeCboeFeed;
  double years = 0.25;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    if (a == "--maturity" || a == "--exchange") {
      if (i + 1 >= args.size()) return Usage(kDividendUsage, a + " needs a value");
      const std::string& v = args[++i];
      if (a == "--exchange") {
        exchange = v;
      } else {
        const auto t = NumericValue(v);
        if (!t || *t <= 0 || *t > 100)
          return Usage(kDividendUsage, "--maturity needs years above 0");
        years = *t;
      }
    } else if (!a.empty() && a[0] == '-') {
      return Usage(kDividendUsage, "unknown option '" + a + "'");
    } else if (ticker.empty()) {
      ticker = a;
    } else {
      return Usage(kDividendUsage, "one ticker is needed");
    }
  }
  if (ticker.empty()) return Usage(kDividendUsage, "one ticker is needed");
  if (exchange != kExchangeCboe && exchange != kExchangeCboeFeed) {
    return Usage(kDividendUsage, "the exchange is \"CBOE\" or \"CBOE Delayed Feed\"");
  }
  NoteDialogs dialogs;
  TerminalEvents events;
  ScopedServices scope(&dialogs, &events);
  if (exchange == kExchangeCboe) {
    const std::string url = GetStockURL(ticker, kExchangeCboe);
    const FetchedPage page = Fetch(url, seconds);
    if (!page.failure.empty()) return LoadFailed(url, page.failure);
    double percent = 0;
    if (!ReadDividendYield(page.text, percent, url)) {
      dialogs.PrintMessages(std::cerr);
      return kExitBadInput;
    }
    std::cout << FormatNumber(percent / 100.0, kYieldOutputFormat) << '\n';
    return kExitOk;
  }
  // The rate: the Treasury curve, as rate reads it.
  DirectView view(seconds);
  zelBloombergData curve;
  curve.Browser = &view;
  Grid grid;
  try {
    curve.GrabFRBYieldCurve(zelBloombergData::cUS, grid);
  } catch (const zelError& e) {
    std::cerr << "stratlyn-cli: " << e.Description() << '\n';
    return kExitRuntimeError;
  }
  std::string upper;
  for (char c : ticker) upper += static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  const std::string url = FeedOptionsUrl(ChainTickerOfRoot(upper));
  const FetchedPage page = Fetch(url, seconds);
  if (!page.failure.empty()) {
    // No chain: the exchange's quote page, where it is still served.
    const std::string page_url = GetStockURL(ticker, kExchangeCboe);
    const FetchedPage quote_page = Fetch(page_url, seconds);
    if (!quote_page.failure.empty()) return LoadFailed(url, page.failure);
    double percent = 0;
    if (!ReadDividendYield(quote_page.text, percent, page_url)) {
      std::cerr << PageLoadFailedMessage(url, page.failure) << '\n';
      dialogs.PrintMessages(std::cerr);
      return kExitBadInput;
    }
    std::cerr << "note: the yield of the quote page " << page_url << " ("
              << PageLoadFailedMessage(url, page.failure) << ")\n";
    std::cout << FormatNumber(percent / 100.0, kYieldOutputFormat) << '\n';
    return kExitOk;
  }
  const auto now = std::chrono::system_clock::now();
  const auto rate_at = [&](double t) {
    return ContinuousFromParYield(CurveRateFromGrid(grid, static_cast<float>(t), now));
  };
  std::string message;
  const auto implied = ImpliedDividendYield(page.text, years, rate_at, now, message);
  if (!implied) {
    std::cerr << message << '\n';
    return kExitBadInput;
  }
  std::cerr << "note: dividend yield " << implied->Note() << '\n';
  std::cout << FormatNumber(implied->yield, kYieldOutputFormat) << '\n';
  return kExitOk;
}

constexpr const char* kVolUsage =
    "Usage: stratlyn-cli vol TICKER [--days N] [--json] [--timeout S]\n"
    "\n"
    "Prints the realized volatility of TICKER from the delayed feed's daily\n"
    "history: close-to-close log returns of the last N trading days (default 20,\n"
    "60 and 250), their sample standard deviation annualised with sqrt(252), as\n"
    "decimal fractions, one \"DAYS VOLATILITY\" line each, then \"iv30\" and the\n"
    "quote's 30-day implied volatility when the feed has one. --json prints one\n"
    "object instead.\n"
    "Exit status: 0 with the figures on stdout; 2 when the history is too short\n"
    "or unreadable (the reason on stderr); 1 when a page cannot be loaded.\n";

int RunVol(const std::vector<std::string>& given) {
  std::vector<std::string> args = given;
  if (WantsHelp(args)) {
    std::cout << kVolUsage;
    return kExitOk;
  }
  const ScriptNumbers numbers;
  long seconds = kDefaultFetchSeconds;
  int code = kExitOk;
  if (!TakeTimeout(args, seconds, kVolUsage, code)) return code;
  std::string ticker;
  std::vector<int> windows(std::begin(kVolatilityWindows), std::end(kVolatilityWindows));
  bool json = false;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    if (a == "--json") {
      json = true;
    } else if (a == "--days") {
      const auto n = i + 1 < args.size() ? NumericValue(args[i + 1]) : std::nullopt;
      if (!n || *n < 2 || *n > 5000 || *n != static_cast<double>(static_cast<int>(*n))) {
        return Usage(kVolUsage, "--days needs a whole number from 2 to 5000");
      }
      windows = {static_cast<int>(*n)};
      ++i;
    } else if (!a.empty() && a[0] == '-') {
      return Usage(kVolUsage, "unknown option '" + a + "'");
    } else if (ticker.empty()) {
      ticker = a;
    } else {
      return Usage(kVolUsage, "one ticker is needed");
    }
  }
  if (ticker.empty()) return Usage(kVolUsage, "one ticker is needed");
  const std::string url = FeedHistoryUrl(ticker);
  const FetchedPage page = Fetch(url, seconds);
  if (!page.failure.empty()) return LoadFailed(url, page.failure);
  std::string message;
  const auto closes = ReadDailyCloses(page.text, url, message);
  if (!closes) {
    std::cerr << message << '\n';
    return kExitBadInput;
  }
  nlohmann::json out;
  std::string lines;
  for (int days : windows) {
    const auto v = RealizedVolatility(*closes, days);
    if (!v) {
      // A window longer than the history gets no figure; the first must have one.
      if (days == windows.front()) {
        std::cerr << TooShortHistoryMessage(ticker, closes->size(), days) << '\n';
        return kExitBadInput;
      }
      std::cerr << "note: " << TooShortHistoryMessage(ticker, closes->size(), days) << '\n';
      out["realized"][std::to_string(days)] = nullptr;
      continue;
    }
    out["realized"][std::to_string(days)] = *v;
    lines += std::to_string(days) + " " + FormatNumber(*v, "0.0000") + "\n";
  }
  // The quote's iv30 (per cent in the feed), when it can be had.
  const FetchedPage quote = Fetch(FeedQuoteUrl(ticker), seconds);
  double iv30 = 0;
  if (quote.failure.empty()) {
    const nlohmann::json doc = nlohmann::json::parse(JsonFromPage(quote.text), nullptr, false);
    if (!doc.is_discarded() && doc.is_object() && doc.contains("data") && doc["data"].is_object() &&
        doc["data"].contains("iv30")) {
      const auto& v = doc["data"]["iv30"];
      if (v.is_number()) iv30 = v.get<double>();
      if (v.is_string()) iv30 = ReadFetchedFigure(v.get<std::string>()).value_or(0);
    }
  }
  const bool has_iv30 = iv30 > 0 && std::isfinite(iv30);
  out["iv30"] = has_iv30 ? nlohmann::json(iv30 / 100.0) : nlohmann::json(nullptr);
  out["closes"] = closes->size();
  out["through"] = FormatCivilDate(closes->back().date);
  if (has_iv30) lines += "iv30 " + FormatNumber(iv30 / 100.0, "0.0000") + "\n";
  std::cerr << "note: close to close, annualised with sqrt(252), " << closes->size()
            << " closes through " << FormatCivilDate(closes->back().date) << '\n';
  if (json) {
    out["symbol"] = ticker;
    std::cout << out.dump() << '\n';
  } else {
    std::cout << lines;
  }
  return kExitOk;
}

const CliCommandRegistration quote_reg{
    {"quote", "delayed price of a stock, index or option", &RunQuote}};
const CliCommandRegistration rate_reg{
    {"rate", "risk-free rate for a maturity from the Treasury curve", &RunRate}};
const CliCommandRegistration vol_reg{
    {"vol", "realized volatility of a stock or index from its daily closes", &RunVol}};
const CliCommandRegistration dividend_reg{{"dividend", "dividend yield of a stock", &RunDividend}};

}  // namespace
}  // namespace stratlyn::cli
