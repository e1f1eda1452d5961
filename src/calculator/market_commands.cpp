#include "calculator/market_commands.h"

#include <cctype>
#include <cmath>
#include <ctime>
#include <exception>
#include <optional>
#include <vector>

#include "calculator/bsop_panel.h"
#include "calculator/market_commands_internal.h"
#include "marketdata/civil_date.h"
#include "marketdata/exchange_time.h"
#include "marketdata/fetch_error.h"
#include "marketdata/html_extract.h"
#include "marketdata/implied_dividend.h"
#include "marketdata/occ_symbol.h"
#include "marketdata/page_wait.h"
#include "marketdata/quote_parser.h"
#include "marketdata/treasury_curve.h"
#include "marketdata/zel_bloomberg_data.h"
#include "util/dates.h"
#include "util/dialogs.h"
#include "util/error_handler.h"
#include "util/format.h"
#include "util/numeric_entry.h"
#include "util/services.h"
#include "util/sites.h"
#include "util/text.h"
#include "util/zel_error.h"

namespace stratlyn {
namespace {

// The maturity field as Calculate reads it: years in any form the entry
// reader takes ("1.5", "1 1/2", "0.5 years", "0.5" under a comma locale)
// first, a date next, then a bare fraction ("3/4"), whose slash a date also
// has. Nothing for a date (the caller counts its years) or an unreadable text.
enum class MaturityText { kYears, kDate, kInvalid };
MaturityText ReadMaturityText(const std::string& text, float& years) {
  const EntryReading r = ReadEntry(text, EntryKind::kNumber);
  if (r.value && !r.blank && !IsBareFraction(r)) {
    years = static_cast<float>(*r.value);
    return MaturityText::kYears;
  }
  if (IsDateText(text)) {
    return MaturityText::kDate;
  }
  if (r.value && !r.blank) {
    years = static_cast<float>(*r.value);
    return MaturityText::kYears;
  }
  return MaturityText::kInvalid;
}

using market_detail::IsFeed;
using market_detail::kHistoricalVolatilityPath;
using market_detail::kNoStockTickerMessage;

constexpr const char* kDataTermsQuestion =
    "This action retrieves a delayed quote from the CBOE.  Quorvale does not endorse any misuse "
    "of data, and requires the user to have all appropriate permissions for any use of any data. "
    "Use of this software implies acceptance of all responsibility for the use of data.  Click "
    "OK to accept these terms, Cancel otherwise";
constexpr const char* kStrikeFarQuestion =
    "The strike price is more than 25% away from the underlying price.  Do you want to change the "
    "strike price before continuing?";
constexpr const char* kNoOptionTickerMessage = "Please enter the option ticker first";
constexpr const char* kQuotePath = "/DelayedQuote/SimpleQuote.aspx?ticker=";
constexpr const char* kSymbolDirectoryPath = "/TradTool/Symbols/SymbolDirectory.asp";
constexpr std::string_view kMaturityFormat = "####0.00000";

// The feed file that lists an option: the OCC root's (a weekly index root's
// index), else the underlying's ticker, else the option ticker itself.
std::string OptionChainTicker(const std::string& symbol, const std::string& stock_ticker) {
  OccSymbol occ;
  if (ParseOccSymbol(symbol, occ)) {
    return ChainTickerOfRoot(occ.root);
  }
  return !Trim(stock_ticker, kSpaceAndTab).empty() ? stock_ticker : symbol;
}

}  // namespace

std::string CurveCaption(const zelBloombergData& curve, const Grid& grid, float t,
                         double par_percent, double continuous,
                         std::chrono::system_clock::time_point now) {
  std::string text = RateSourceName(curve.SourceUsed()) + " of " + curve.ObservationDate() +
                     ": par yield " + FormatNumber(par_percent, "0.000") + " % at " +
                     FormatNumber(t, "0.00###") + " years";
  if (const std::string beyond = CurveEndNote(grid, t, now); !beyond.empty()) {
    text += " (" + beyond + ")";
  }
  text += ", continuous rate 2 ln(1 + y/2) = " + FormatNumber(continuous, "0.0000");
  for (const std::string& note : curve.Notes()) {
    if (note.find("latest observation") == std::string::npos) {
      text += " (" + note + ")";
    }
  }
  return text;
}

std::string GetStockURL(const std::string& strTicker, const std::string& strExchange) {
  const std::string ticker = Trim(strTicker, kSpaceAndTab);
  if (strExchange == kExchangeCboe || strExchange == "Any") {
    return sites::ExchangeUrl() + kQuotePath + EncodeUrlPart(ticker);
  }
  if (IsFeed(strExchange)) {
    return FeedQuoteUrl(ticker);
  }
  return {};
}

std::string MaturityFromMonth(int month_index, std::chrono::system_clock::time_point now) {
  using namespace std::chrono;
  if (month_index < 0 || month_index > 11) {
    throw zelError(err::kInvalidPropertyValue);
  }
  const year_month_day today = LocalDate(now);
  int y = static_cast<int>(today.year());
  const unsigned m = static_cast<unsigned>(month_index) + 1;
  if (m < static_cast<unsigned>(today.month())) {
    ++y;
  }
  // The expiration: the Saturday after the third Friday.
  const auto expiration = [](int yr, unsigned mo) {
    const weekday first = weekday{sys_days{year{yr} / month{mo} / 1}};
    const unsigned w = first.c_encoding() + 1;  // Sunday = 1 ... Saturday = 7
    return year_month_day{year{yr}, month{mo}, day{w < 7 ? 22 - w : 22}};
  };
  double t = YearsFromNow(expiration(y, m), now);
  // The current month after its expiration: next year's contract, not a
  // negative maturity.
  if (t < 0) {
    t = YearsFromNow(expiration(y + 1, m), now);
  }
  return FormatEntryNumber(t, kMaturityFormat);
}

MarketCommands::MarketCommands(Grid& grid) : grid_(grid) {}
MarketCommands::~MarketCommands() = default;

zelBloombergData& MarketCommands::YieldCurve() {
  if (!curve_) {
    curve_ = std::make_unique<zelBloombergData>();
  }
  return *curve_;
}

BrowserView& MarketCommands::View() {
  if (view_ == nullptr) {
    throw zelError(err::kObjectNotSet);
  }
  return *view_;
}

bool MarketCommands::Load(const std::string& url) {
  const unsigned serial = ++load_serial_;
  curve_stop_ = true;  // a yield curve loading into the view gives way
  BrowserView& view = View();
  if (!LoadPage(view, url, stop_)) {
    return false;
  }
  // Another command loaded its own page while this one waited (the user
  // pressed a button again): that command reads it, this one ends quietly.
  if (serial != load_serial_) {
    return false;
  }
  CheckPageLoaded(view, url);
  return true;
}

bool MarketCommands::AcceptDataTerms() {
  if (*disclaimer_) {
    return true;
  }
  const MsgAnswer a =
      AppDialogs().Show(kDataTermsQuestion, MsgButtons::OkCancel, MsgIcon::None, kMessageTitle);
  *disclaimer_ = a == MsgAnswer::Ok;
  return *disclaimer_;
}

void MarketCommands::cmdGetStkQuote_Click(MarketFields& f) {
  Guarded([&] {
    if (AcceptDataTerms()) {
      GetStockQuote(f, true);
    }
  });
}

void MarketCommands::cmdGetOption_Click(MarketFields& f) {
  Guarded([&] {
    if (AcceptDataTerms()) {
      GetOptionQuote(f, true);
    }
  });
}

void MarketCommands::cmdReparseStock_Click(MarketFields& f) {
  Guarded([&] {
    if (AcceptDataTerms()) {
      GetStockQuote(f, false);
    }
  });
}

void MarketCommands::cmdReparseOption_Click(MarketFields& f) {
  Guarded([&] {
    if (AcceptDataTerms()) {
      GetOptionQuote(f, false);
    }
  });
}

void MarketCommands::GetStockQuote(MarketFields& f, bool fetch) {
  if (fetch) {
    if (Trim(f.stock_ticker, kSpaceAndTab).empty()) {
      AppDialogs().Critical(kNoStockTickerMessage);
      return;
    }
    const std::string url = GetStockURL(f.stock_ticker, f.exchange);
    AppEvents().SetBusy(true);
    if (!url.empty() && !Load(url)) {
      AppEvents().SetBusy(false);
      return;
    }
  }
  const std::string html = View().BodyHtml();
  QuoteContext ctx;
  ctx.maturity_month = f.maturity_month;
  ctx.strike = f.strike;
  ctx.page = View().LocationURL();
  ctx.ticker = Trim(f.stock_ticker, kSpaceAndTab);
  const QuoteResult answer = IsFeed(f.exchange) ? ReadCBOEFeedQuote(html, "", ctx)
                                                : ReadCBOESimpleQuote(html, f.exchange, ctx);
  f.strike = ctx.strike;
  if (answer.outcome == QuoteOutcome::kSeeTable) {
    ++load_serial_;
    View().Navigate(sites::ExchangeUrl() + kSymbolDirectoryPath);
    AppEvents().ProcessPending();
  } else if (answer.outcome == QuoteOutcome::kPrice) {
    // No price (after the parser's message, or a No to the symbol
    // directory) leaves the field as it was.
    f.underlying_price = FormatEntryNumber(answer.price, kPriceFieldFormat);
    AppEvents().ProcessPending();
  }
  AppEvents().SetBusy(false);
}

void MarketCommands::GetOptionQuote(MarketFields& f, bool fetch) {
  const bool feed = IsFeed(f.exchange);
  const std::string symbol = UpperAscii(Trim(f.option_ticker, kSpaceAndTab));
  if (fetch) {
    const auto strike = NumericValue(f.strike);
    const double k = strike ? *strike : 0.0;
    if (k == 0) {
      AppDialogs().Critical(kInvalidStrikeMessage);
      return;
    }
    if (const auto s = NumericValue(f.underlying_price)) {
      const float fs = static_cast<float>(*s);
      const float fk = static_cast<float>(k);
      if (std::fabs(fs - fk) > 0.25F * fk) {
        const MsgAnswer a = AppDialogs().Show(kStrikeFarQuestion, MsgButtons::YesNo,
                                              MsgIcon::Question, kMessageTitle);
        if (a == MsgAnswer::Yes) {
          return;
        }
      }
    }
    if (symbol.empty()) {
      AppDialogs().Critical(kNoOptionTickerMessage);
      return;
    }
    const std::string url = feed ? FeedOptionsUrl(OptionChainTicker(symbol, f.stock_ticker))
                                 : sites::ExchangeUrl() + kQuotePath + EncodeUrlPart(symbol);
    AppEvents().SetBusy(true);
    if (!Load(url)) {
      AppEvents().SetBusy(false);
      return;
    }
  }
  // The maturity counts from the moment the page was read.
  const auto now = std::chrono::system_clock::now();
  const std::string html = View().BodyHtml();
  QuoteContext ctx;
  ctx.maturity_month = f.maturity_month;
  ctx.strike = f.strike;
  ctx.page = View().LocationURL();
  ctx.now = now;
  ctx.ticker = OptionChainTicker(symbol, f.stock_ticker);
  const QuoteResult answer =
      feed ? ReadCBOEFeedQuote(html, symbol, ctx) : ReadCBOESimpleQuote(html, f.exchange, ctx);
  f.strike = ctx.strike;
  if (answer.outcome == QuoteOutcome::kSeeTable) {
    ++load_serial_;
    View().Navigate(sites::ExchangeUrl() + kSymbolDirectoryPath);
    AppEvents().SetBusy(false);
    AppEvents().ProcessPending();
    return;
  }
  AppEvents().SetBusy(false);
  // A failed lookup changes no field.
  if (answer.outcome != QuoteOutcome::kPrice) {
    return;
  }
  OccSymbol occ;
  std::string maturity;
  std::string maturity_note;
  if (feed && ParseOccSymbol(symbol, occ)) {
    // The feed's options end at the expiry's close in New York: an option on
    // its last day has the hours left, one past its close cannot be priced.
    const MaturityToClose m = MaturityOfOption(occ, now);
    if (m.years <= 0) {
      AppDialogs().Show(m.ExpiredMessage(symbol), MsgButtons::Ok, MsgIcon::Information,
                        kMessageTitle);
      return;
    }
    maturity = FormatEntryNumber(m.years, kMaturityFormat);
    maturity_note = m.Note();
  } else {
    maturity = MaturityFromMonth(f.maturity_month);
  }
  f.option_price = FormatEntryNumber(answer.price, kPriceFieldFormat);
  f.status = answer.status;
  if (!maturity_note.empty()) {
    f.status += (f.status.empty() ? "" : "; ") + maturity_note;
  }
  AppEvents().ProcessPending();
  f.maturity = maturity;
  AppEvents().ProcessPending();
}

void MarketCommands::cmdGetInterestRate_Click(MarketFields& f) {
  Guarded([&] {
    float t = 0;
    const MaturityText read = ReadMaturityText(f.maturity, t);
    if (read == MaturityText::kInvalid) {
      AppDialogs().Critical(kInvalidMaturityMessage);
      return;
    }
    if (read == MaturityText::kDate) {
      if (!IsDateText(f.date)) {
        AppDialogs().Critical(bsop_text::kNoStartDate);
        return;
      }
      std::string end = f.maturity;
      t = YearsBetweenDates(f.date, end);
      if (t >= 0) {
        f.maturity = end;  // a date read with day and month swapped, shown as read
      }
    }

    AppEvents().SetBusy(true);
    ++load_serial_;
    vol_rows_.clear();
    zelBloombergData& curve = YieldCurve();
    curve.Browser = &View();
    curve_stop_ = false;
    curve.StopFlag = &curve_stop_;
    curve.Progress = progress_;
    const unsigned serial = load_serial_;
    bool grabbed = false;
    try {
      grabbed = curve.GrabFRBYieldCurve(zelBloombergData::cUS, grid_);
    } catch (const zelError&) {
      if (serial == load_serial_) {
        throw;
      }
    }
    if (!grabbed || serial != load_serial_) {
      AppEvents().SetBusy(false);
      return;
    }

    // The sources give bond-equivalent (semi-annual) par yields; the option
    // records take continuously compounded rates: 2 ln(1 + y/2).
    const auto now = std::chrono::system_clock::now();
    const float par = CurveRateFromGrid(grid_, t, now);
    const double r = ContinuousFromParYield(par);
    if (!std::isfinite(r)) {
      AppEvents().SetBusy(false);
      AppDialogs().Critical(NoRateMessage(par));
      return;
    }
    f.interest_rate = FormatEntryNumber(r, kRateFieldFormat);
    f.status = CurveCaption(curve, grid_, t, par, r, now);
    AppEvents().SetBusy(false);
    for (const std::string& note : curve.Notes()) {
      if (note.find("latest observation") != std::string::npos) {
        AppDialogs().Show(note, MsgButtons::Ok, MsgIcon::Information, kMessageTitle);
      }
    }
    AppEvents().ProcessPending();
  });
}

void MarketCommands::cmdDivYield_Click(MarketFields& f) {
  Guarded([&] {
    if (Trim(f.stock_ticker, kSpaceAndTab).empty()) {
      AppDialogs().Critical(kNoStockTickerMessage);
      return;
    }
    if (IsFeed(f.exchange)) {
      ImpliedYieldFromChain(f);
      return;
    }
    const std::string url = GetStockURL(f.stock_ticker, f.exchange);
    AppEvents().SetBusy(true);
    const bool loaded = url.empty() || Load(url);
    AppEvents().SetBusy(false);
    if (!loaded) {
      return;
    }
    double value = 0;
    if (!ReadDividendYield(View().BodyHtml(), value, url)) {
      return;
    }
    f.dividend_yield = FormatEntryNumber(value / 100.0, kYieldFieldFormat);
    AppEvents().ProcessPending();
  });
}

void MarketCommands::ImpliedYieldFromChain(MarketFields& f) {
  // The maturity the expiry is chosen by.
  float years = 0;
  double t = 0;
  if (ReadMaturityText(f.maturity, years) == MaturityText::kYears && years > 0) {
    t = years;
  } else {
    AppDialogs().Critical(kInvalidMaturityMessage);
    return;
  }
  // The rate of the Treasury curve (the grid shows it), at each expiry.
  AppEvents().SetBusy(true);
  ++load_serial_;
  vol_rows_.clear();
  zelBloombergData& curve = YieldCurve();
  curve.Browser = &View();
  curve_stop_ = false;
  curve.StopFlag = &curve_stop_;
  curve.Progress = progress_;
  if (!curve.GrabFRBYieldCurve(zelBloombergData::cUS, grid_)) {
    AppEvents().SetBusy(false);
    return;
  }
  const auto now = std::chrono::system_clock::now();
  const auto rate_at = [&](double years) {
    return ContinuousFromParYield(CurveRateFromGrid(grid_, static_cast<float>(years), now));
  };
  const std::string ticker = UpperAscii(Trim(f.stock_ticker, kSpaceAndTab));
  const std::string url = FeedOptionsUrl(ChainTickerOfRoot(ticker));
  try {
    if (!Load(url)) {
      AppEvents().SetBusy(false);
      return;
    }
  } catch (const FetchError& chain_failed) {
    // No chain: the exchange's quote page, where it is still served.
    const std::string page_url = GetStockURL(f.stock_ticker, kExchangeCboe);
    try {
      if (!Load(page_url)) {
        AppEvents().SetBusy(false);
        return;
      }
    } catch (const FetchError&) {
      throw chain_failed;
    }
    AppEvents().SetBusy(false);
    double value = 0;
    if (!ReadDividendYield(View().BodyHtml(), value, page_url)) {
      return;
    }
    f.dividend_yield = FormatEntryNumber(value / 100.0, kYieldFieldFormat);
    f.status =
        "dividend yield of the quote page " + page_url + " (" + chain_failed.Description() + ")";
    return;
  }
  AppEvents().SetBusy(false);
  std::string message;
  const auto implied = ImpliedDividendYield(View().BodyHtml(), t, rate_at, now, message);
  if (implied && !implied->symbol.empty() &&
      !SameTicker(implied->symbol, ChainTickerOfRoot(ticker))) {
    message = OtherSymbolMessage(url, implied->symbol, ChainTickerOfRoot(ticker));
  }
  if (!implied || !message.empty()) {
    AppDialogs().Show(message, MsgButtons::Ok, MsgIcon::Information, kMessageTitle);
    return;
  }
  f.dividend_yield = FormatEntryNumber(implied->yield, kYieldFieldFormat);
  f.status = "dividend yield " + implied->Note();
  AppEvents().ProcessPending();
}

}  // namespace stratlyn
