#pragma once
// The market-data commands of the calculator panel: the four quote buttons,
// "Get Interest Rate", "Get Dividend Yield" and "CBOE Historical Volatilities".
// Qt-free: the panel widget copies its fields into MarketFields, calls one
// command, and copies the fields back. Pages load into the panel's second
// browser view; messages go through AppDialogs(), waits through AppEvents().
//
// A button handler of the widget reads like this:
//   MarketFields f = ReadMarketFields();   // the widget's own helper
//   market_.cmdGetStkQuote_Click(f);
//   WriteMarketFields(f);

#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "marketdata/page_wait.h"  // WaitForPage, the wait of every command
#include "util/browser_view.h"
#include "util/grid.h"

namespace stratlyn {

class zelBloombergData;

// The exchange names of the panel's cmbExchange list, in list order.
inline constexpr const char* kExchangeCboe = "CBOE";
inline constexpr const char* kExchangeCboeFeed = "CBOE Delayed Feed";

// Messages and field formats of the commands (the terminal's quote commands
// say and write the same).
inline constexpr const char* kInvalidStrikeMessage = "Invalid strike price";
inline constexpr const char* kInvalidMaturityMessage = "Invalid Maturity";
inline constexpr std::string_view kPriceFieldFormat = "#####0.00000";
inline constexpr std::string_view kRateFieldFormat = "####0.0000";
inline constexpr std::string_view kYieldFieldFormat = "####0.00000";

// The panel's controls that the market commands read and write, as texts.
struct MarketFields {
  std::string stock_ticker;                  // txtStockTicker
  std::string option_ticker;                 // txtOptionTicker
  std::string exchange = kExchangeCboeFeed;  // cmbExchange's text
  int maturity_month = 0;                    // cmbMaturity's selected index, 0 = January
  std::string maturity_month_name;  // cmbMaturity's text as shown; the commands use the index
  std::string date;                 // txtDate
  std::string underlying_price;     // Text1(0)
  std::string interest_rate;        // Text1(2)
  std::string maturity;             // Text1(3)
  std::string strike;               // Text1(4)
  std::string dividend_yield;       // Text1(5)
  std::string option_price;         // Text1(6)
  std::string volatility;           // Text1(1): written by a click on a volatility row of the grid
  // Out: what the last command took, for the panel's status label ("mid of
  // 14.20 / 14.80; maturity 0.00263 years: 23.0 h to 16:00 New York on
  // 2026-12-09"); "" when it took nothing.
  std::string status;
};

class MarketCommands {
 public:
  // grid: the panel's Grid1 (filled by "Get Interest Rate"); it must outlive this object.
  explicit MarketCommands(Grid& grid);
  ~MarketCommands();
  MarketCommands(const MarketCommands&) = delete;
  MarketCommands& operator=(const MarketCommands&) = delete;

  // The panel's second browser view (setBrowsers), or nullptr (ClearAll). Not owned.
  void SetBrowser(BrowserView* view) { view_ = view; }
  BrowserView* Browser() const { return view_; }
  // The main window's boolDisclaimer (data-use acceptance for the run). Not
  // owned; until it is set the object keeps its own flag.
  void SetDisclaimerFlag(bool* flag) { disclaimer_ = flag ? flag : &own_disclaimer_; }
  // Called with (i, 10) before series i of the yield curve loads and with
  // (0, 0) when the load ends (hide the bar).
  void SetProgress(std::function<void(int done, int total)> progress) {
    progress_ = std::move(progress);
  }
  // "Stop": ends the page wait in progress and any remaining series loads.
  // The window also stops the view itself.
  void Stop() {
    stop_ = true;
    curve_stop_ = true;
  }

  // The buttons. Each reports run-time errors through ErrorHandler and leaves
  // the fields as they were where the command did not get that far.
  void cmdGetStkQuote_Click(MarketFields& f);    // "Get Underlying Price"
  void cmdGetOption_Click(MarketFields& f);      // "Get Option Price"
  void cmdReparseStock_Click(MarketFields& f);   // "Parse" beside the underlying
  void cmdReparseOption_Click(MarketFields& f);  // "Parse" beside the option
  void cmdGetInterestRate_Click(MarketFields& f);
  void cmdDivYield_Click(MarketFields& f);
  // "CBOE Historical Volatilities": with the feed, the realized volatility
  // of 20, 60 and 250 trading days and the quote's iv30 into the grid (a
  // click on a row puts it into the volatility field, GridClicked); with the
  // exchange's HTML page, that page in the bottom view.
  void cmdHistoVol_Click(MarketFields& f);
  void cmdHistoVol_Click();
  // A click on grid row `row`: a volatility row of cmdHistoVol_Click puts
  // its figure into f.volatility; any other row does nothing.
  void GridClicked(int row, MarketFields& f);

  // True when the user has accepted the data-use terms in this run (asks
  // with OK/Cancel until accepted once).
  bool AcceptDataTerms();
  // fetch = true loads the quote page first; false parses the page shown.
  // Both throw zelError (the Click handlers catch it).
  void GetStockQuote(MarketFields& f, bool fetch);
  void GetOptionQuote(MarketFields& f, bool fetch);

  // The yield-curve object of "Get Interest Rate", created on first use.
  zelBloombergData& YieldCurve();

 private:
  // Navigates the view (tag cleared) and waits. False when stopped, when
  // another command loaded the view meanwhile, or when the page did not
  // load (the user is told which page and why).
  bool Load(const std::string& url);
  // "Get Dividend Yield" with the feed: the yield implied by put-call parity
  // on the underlying's chain at the expiry nearest the maturity field, with
  // the rate of the Treasury curve (read into the grid first).
  void ImpliedYieldFromChain(MarketFields& f);
  // Runs one button's work, passing run-time errors to ErrorHandler.
  template <typename Fn>
  void Guarded(Fn&& work);
  BrowserView& View();

  Grid& grid_;
  BrowserView* view_ = nullptr;
  bool own_disclaimer_ = false;
  bool* disclaimer_ = &own_disclaimer_;
  bool stop_ = false;
  unsigned load_serial_ = 0;  // counts the commands' loads into the view
  bool curve_stop_ = false;   // ends a yield-curve load: "Stop", or another command's load
  std::function<void(int, int)> progress_;
  std::unique_ptr<zelBloombergData> curve_;
  // The volatilities the grid shows, by grid row (empty when it shows other data).
  std::vector<std::pair<int, double>> vol_rows_;
};

// The delayed-quote address of a ticker: the exchange's page for "CBOE" and
// "Any", the JSON feed's underlying address for "CBOE Delayed Feed" (the
// default source); "" for any other exchange. The ticker is trimmed and made
// safe for an address.
std::string GetStockURL(const std::string& strTicker, const std::string& strExchange);

// The status text of "Get Interest Rate": the source and observation date
// of the curve, the par yield at t years and the continuous rate written
// ("U.S. Treasury par yield curve of 2026-12-07: par yield 4.120 % at 0.25
// years, continuous rate 2 ln(1 + y/2) = 0.0408"), with the notes of a
// source that failed before. Past the curve's longest maturity, whose yield
// is then used, the par yield says so (CurveEndNote).
std::string CurveCaption(const zelBloombergData& curve, const Grid& grid, float t,
                         double par_percent, double continuous,
                         std::chrono::system_clock::time_point now);

// Years from `now` to the expiration (the Saturday after the third Friday) of
// month `month_index` (0 = January), formatted "####0.00000". A month already
// past, or the current month after its expiration day, is next year's.
std::string MaturityFromMonth(
    int month_index, std::chrono::system_clock::time_point now = std::chrono::system_clock::now());

}  // namespace stratlyn
