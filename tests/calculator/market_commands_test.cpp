// The panel's market-data commands against pages served on 127.0.0.1.

#include "calculator/market_commands.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <cstdlib>
#include <ctime>
#include <fstream>
#include <sstream>

#include "calculator/bsop_panel.h"
#include "marketdata/civil_date.h"
#include "marketdata/quote_parser.h"
#include "marketdata/realized_vol.h"
#include "marketdata/zel_bloomberg_data.h"
#include "support/fake_services.h"
#include "support/fetch_browser_view.h"
#include "support/halfway_rate.h"
#include "support/locale_text.h"
#include "support/loopback_server.h"
#include "util/dates.h"
#include "util/format.h"
#include "util/locale_info.h"
#include "util/numeric_entry.h"
#include "util/zel_error.h"

namespace stratlyn {
namespace {

using testing::FakeServices;
using testing::FetchBrowserView;
const auto L = testing::InEntryLocale;

std::string Fixture(const std::string& name) {
  const char* dir = std::getenv("STRATLYN_TEST_DATA");
  std::ifstream in(std::string(dir ? dir : "tests/data") + "/marketdata/" + name, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

std::chrono::system_clock::time_point LocalTime(int y, int m, int d, int hour = 0) {
  std::tm tm{};
  tm.tm_year = y - 1900;
  tm.tm_mon = m - 1;
  tm.tm_mday = d;
  tm.tm_hour = hour;
  tm.tm_isdst = -1;
  return std::chrono::system_clock::from_time_t(std::mktime(&tm));
}

// Serves the exchange's pages, the feed and the series files from one folder,
// and points the program's hosts at it.
class MarketCommandsTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    dir_ = new testing::ScratchDir;
    dir_->Write("DelayedQuote/SimpleQuote.aspx?ticker=IBM", Fixture("quote_underlying.htm"));
    dir_->Write("DelayedQuote/SimpleQuote.aspx?ticker=IBMAZ", Fixture("quote_option.htm"));
    dir_->Write("DelayedQuote/SimpleQuote.aspx?ticker=XYZQ", Fixture("symbol_not_found.htm"));
    dir_->Write("DelayedQuote/SimpleQuote.aspx?ticker=NOYLD",
                "<html><body>Last Sale 1 Tick</body></html>");
    dir_->Write("TradTool/Symbols/SymbolDirectory.asp", Fixture("symbol_directory.htm"));
    dir_->Write("api/global/delayed_quotes/quotes/AAPL.json", Fixture("feed_quote.json"));
    dir_->Write("api/global/delayed_quotes/options/AAPL.json", Fixture("feed_options.json"));
    // Series files observed today: 3m 0.50, 6m 1.00, 1y 2.00, then rising.
    const std::string today = FormatCivilDate(LocalDate(std::chrono::system_clock::now()));
    const char* values[kFrbSeriesCount] = {"0.50", "1.00", "2.00", "2.50", "2.75",
                                           "3.00", "3.20", "3.40", "3.70", "3.90"};
    for (int i = 0; i < kFrbSeriesCount; ++i) {
      dir_->Write(std::string("FRBData/") + kFrbSeries[i] + "_2010.txt",
                  "Series Description,H.15\r\nTime Period,RIFLGFC\r\n2010-01-04,9.99\r\n" + today +
                      "," + values[i] + "\r\n");
    }
    server_ = new testing::LoopbackHttpServer(dir_->Path());
    for (const char* var : {"STRATLYN_EXCHANGE_URL", "STRATLYN_FEED_URL", "STRATLYN_FRB_URL",
                            "STRATLYN_TREASURY_URL"}) {
      setenv(var, server_->BaseUrl().c_str(), 1);
    }
  }
  static void TearDownTestSuite() {
    delete server_;
    delete dir_;
  }
  void SetUp() override {
    ASSERT_TRUE(server_->Ok()) << server_->Error();
    commands.SetBrowser(&view);
    // The series files, unless a test reads the Treasury's file.
    commands.YieldCurve().Source = RateSource::kSeriesFiles;
    fields.strike = "125";
    fields.underlying_price = "120";
    fields.maturity = "1";
  }
  std::string Url(const std::string& path) const { return server_->BaseUrl() + path; }

  static testing::ScratchDir* dir_;
  static testing::LoopbackHttpServer* server_;
  FakeServices services;
  FetchBrowserView view;
  Grid grid;
  MarketCommands commands{grid};
  // The exchange's HTML page unless a test chooses the feed (the default).
  MarketFields fields = [] {
    MarketFields f;
    f.exchange = kExchangeCboe;
    return f;
  }();
};

testing::ScratchDir* MarketCommandsTest::dir_ = nullptr;
testing::LoopbackHttpServer* MarketCommandsTest::server_ = nullptr;

TEST_F(MarketCommandsTest, DataTermsAskedUntilAcceptedOnce) {
  fields.stock_ticker = "IBM";
  services.dialogs.Answer(MsgAnswer::Cancel);
  commands.cmdGetStkQuote_Click(fields);
  EXPECT_EQ(services.dialogs.Count(), 1u);
  EXPECT_EQ(services.dialogs.Last().buttons, MsgButtons::OkCancel);
  EXPECT_EQ(
      services.dialogs.LastText().rfind("This action retrieves a delayed quote from the CBOE.", 0),
      0u);
  EXPECT_TRUE(view.History().empty());  // declined: nothing loaded or changed
  EXPECT_EQ(fields.underlying_price, "120");

  bool disclaimer = false;  // the main window's flag
  commands.SetDisclaimerFlag(&disclaimer);
  services.dialogs.Answer(MsgAnswer::Ok);
  commands.cmdGetStkQuote_Click(fields);
  EXPECT_EQ(services.dialogs.Count(), 2u);
  EXPECT_TRUE(disclaimer);
  commands.cmdGetStkQuote_Click(fields);
  commands.cmdReparseStock_Click(fields);
  EXPECT_EQ(services.dialogs.Count(), 2u);  // never again in this run
}

TEST_F(MarketCommandsTest, UnderlyingPriceAndReparse) {
  EXPECT_TRUE(commands.AcceptDataTerms() == false);  // queue empty: Cancel
  services.dialogs.Answer(MsgAnswer::Ok);
  ASSERT_TRUE(commands.AcceptDataTerms());
  services.dialogs.Reset();
  fields.stock_ticker = " IBM ";
  commands.cmdGetStkQuote_Click(fields);
  EXPECT_EQ(fields.underlying_price, L("12.50000"));
  ASSERT_EQ(view.History().size(), 1u);
  EXPECT_EQ(view.History()[0], Url("/DelayedQuote/SimpleQuote.aspx?ticker=IBM"));
  EXPECT_EQ(view.Tag(), kPageDone);
  EXPECT_EQ(services.dialogs.Count(), 0u) << services.dialogs.LastText();
  EXPECT_EQ(services.events.busy_on, services.events.busy_off);

  // "Parse" reads the page shown without loading anything.
  view.Show("<td>Last Sale</td><td>99.125</td><td>Tick</td>");
  commands.cmdReparseStock_Click(fields);
  EXPECT_EQ(fields.underlying_price, L("99.12500"));
  EXPECT_EQ(view.History().size(), 1u);

  // No ticker: told, nothing loaded.
  fields.stock_ticker = "  ";
  commands.cmdGetStkQuote_Click(fields);
  EXPECT_EQ(services.dialogs.Last().icon, MsgIcon::Critical);
  EXPECT_EQ(view.History().size(), 1u);
}

TEST_F(MarketCommandsTest, OptionPriceWithStrikeCorrection) {
  services.dialogs.Answer(MsgAnswer::Ok);   // data terms
  services.dialogs.Answer(MsgAnswer::Yes);  // correct the strike
  fields.option_ticker = " ibmaz ";
  fields.maturity_month = 0;
  commands.cmdGetOption_Click(fields);
  ASSERT_EQ(view.History().size(), 1u);
  EXPECT_EQ(view.History()[0], Url("/DelayedQuote/SimpleQuote.aspx?ticker=IBMAZ"));
  EXPECT_EQ(services.dialogs.LastText(), StrikeQuestion("125", "130.00"));
  EXPECT_EQ(fields.strike, L("130.00"));  // in the user's locale, as the field reads it
  EXPECT_EQ(NumericValue(fields.strike).value_or(-1), 130.0);
  EXPECT_EQ(fields.option_price, L("3.25000"));
  const double t = NumericValue(fields.maturity).value_or(-1);
  EXPECT_GT(t, 0.0);  // January's expiration, never in the past
  EXPECT_LE(t, 1.0);
  EXPECT_EQ(services.events.busy_on, services.events.busy_off);
}

TEST_F(MarketCommandsTest, OptionInputChecks) {
  services.dialogs.Answer(MsgAnswer::Ok);
  ASSERT_TRUE(commands.AcceptDataTerms());
  services.dialogs.Reset();
  fields.option_ticker = "IBMAZ";
  for (const char* bad : {"0", "abc", ""}) {
    fields.strike = bad;
    commands.cmdGetOption_Click(fields);
    EXPECT_EQ(services.dialogs.LastText(), "Invalid strike price") << bad;
  }
  EXPECT_TRUE(view.History().empty());

  // S = 100, K = 70: 30 > 17.5, asked; Yes stops before loading.
  fields.underlying_price = "100";
  fields.strike = "70";
  services.dialogs.Answer(MsgAnswer::Yes);
  commands.cmdGetOption_Click(fields);
  EXPECT_NE(services.dialogs.LastText().find("more than 25% away"), std::string::npos);
  EXPECT_TRUE(view.History().empty());
  // S = 70, K = 100: 30 > 25, asked as well; No goes on.
  fields.underlying_price = "70";
  fields.strike = "100";
  const size_t before = services.dialogs.Count();
  services.dialogs.Answer(MsgAnswer::No);
  services.dialogs.Answer(MsgAnswer::No);  // keep the strike
  commands.cmdGetOption_Click(fields);
  EXPECT_EQ(services.dialogs.Shown()[before].text.find("The strike price is more than 25%"), 0u);
  EXPECT_EQ(view.History().size(), 1u);
  EXPECT_EQ(fields.strike, "100");
  EXPECT_EQ(fields.option_price, L("3.25000"));
}

TEST_F(MarketCommandsTest, SymbolNotFoundBothAnswers) {
  services.dialogs.Answer(MsgAnswer::Ok);
  services.dialogs.Answer(MsgAnswer::Yes);
  fields.option_ticker = "XYZQ";
  fields.option_price = "7";
  commands.cmdGetOption_Click(fields);
  ASSERT_EQ(view.History().size(), 2u);
  EXPECT_EQ(view.History()[1], Url("/TradTool/Symbols/SymbolDirectory.asp"));
  EXPECT_EQ(fields.option_price, "7");
  EXPECT_EQ(fields.maturity, "1");

  services.dialogs.Answer(MsgAnswer::No);
  commands.cmdGetOption_Click(fields);
  EXPECT_EQ(services.dialogs.LastText(), kSymbolNotFoundQuestion);
  EXPECT_EQ(view.History().size(), 3u);  // no directory this time
  EXPECT_EQ(fields.option_price, "7");
  EXPECT_EQ(fields.maturity, "1");
  EXPECT_EQ(fields.strike, "125");

  // The underlying: Yes shows the directory and leaves the price alone.
  services.dialogs.Answer(MsgAnswer::Yes);
  fields.stock_ticker = "XYZQ";
  commands.cmdGetStkQuote_Click(fields);
  EXPECT_EQ(view.History().back(), Url("/TradTool/Symbols/SymbolDirectory.asp"));
  EXPECT_EQ(fields.underlying_price, "120");
}

TEST_F(MarketCommandsTest, InterestRateFromTheTenSeries) {
  fields.maturity = L("0.75");
  std::vector<int> progress;
  commands.SetProgress([&](int i, int n) { progress.push_back(n > 0 ? i : -1); });
  commands.cmdGetInterestRate_Click(fields);
  ASSERT_EQ(services.dialogs.Count(), 0u) << services.dialogs.LastText();
  ASSERT_EQ(grid.Rows(), 12);
  EXPECT_EQ(grid.TextMatrix(3, 4), "1.0000");
  EXPECT_EQ(grid.TextMatrix(4, 2), "2.0000");
  // Halfway between the 6-month (1.00) and 1-year (2.00) rates, as a fraction.
  EXPECT_TRUE(testing::IsHalfwayRate(fields.interest_rate, CurrentEntryLocale().decimal_point[0]));
  EXPECT_EQ(progress, (std::vector<int>{0, 1, 2, 3, 4, 5, 6, 7, 8, 9, -1}));
  EXPECT_EQ(services.events.busy_on, services.events.busy_off);

  // Par yields become continuous rates: 2 ln(1 + 3.90 % / 2) = 0.03862.
  fields.maturity = "40";
  commands.cmdGetInterestRate_Click(fields);
  EXPECT_EQ(fields.interest_rate, L("0.0386"));
  EXPECT_EQ(fields.status.rfind("H.15 series files of ", 0), 0u) << fields.status;
  // Past the 30-year point its yield is held, and the status says so.
  EXPECT_NE(fields.status.find("par yield 3.900 % at 40.00 years (beyond the curve's longest "
                               "maturity, 30.0"),
            std::string::npos)
      << fields.status;
  EXPECT_NE(fields.status.find(" years, whose yield is used), continuous rate 2 ln(1 + y/2) = "
                               "0.0386"),
            std::string::npos)
      << fields.status;
  fields.maturity = L("0.1");
  commands.cmdGetInterestRate_Click(fields);
  EXPECT_EQ(fields.interest_rate, L("0.0050"));  // 2 ln(1.0025) = 0.004994

  // A past date read with day and month swapped (10 January from 15 January
  // is taken as 1 October) is shown as read in the maturity field; it kept
  // the typed date beside the rate of 1 October before.
  using std::chrono::year, std::chrono::month, std::chrono::day;
  fields.date = FormatShortDate({year{2025}, month{1}, day{15}});
  fields.maturity = FormatShortDate({year{2025}, month{1}, day{10}});
  const size_t shown = services.dialogs.Count();
  commands.cmdGetInterestRate_Click(fields);
  EXPECT_EQ(services.dialogs.Count(), shown) << services.dialogs.LastText();
  EXPECT_EQ(fields.maturity, FormatShortDate({year{2025}, month{10}, day{1}}));

  // Years in every form Calculate reads them get the rate of those years:
  // "1 1/2" is also a date's form (1 January 2002), and was priced at the
  // rate of that past date, the curve's shortest.
  fields.maturity = L("1.5");
  commands.cmdGetInterestRate_Click(fields);
  const std::string rate_of_one_and_a_half = fields.interest_rate;
  for (const char* years : {"1 1/2", "1.5 years", "18/12"}) {
    fields.maturity = years;
    fields.interest_rate = L("0.10");
    const size_t before = services.dialogs.Count();
    commands.cmdGetInterestRate_Click(fields);
    EXPECT_EQ(services.dialogs.Count(), before) << years << ": " << services.dialogs.LastText();
    EXPECT_EQ(fields.interest_rate, rate_of_one_and_a_half) << years;
  }
  fields.maturity = "3/4";  // no date without a year: three quarters
  commands.cmdGetInterestRate_Click(fields);
  EXPECT_TRUE(testing::IsHalfwayRate(fields.interest_rate, CurrentEntryLocale().decimal_point[0]));

  // A maturity that is neither a number nor a date.
  fields.maturity = "soon";
  fields.interest_rate = L("0.10");
  commands.cmdGetInterestRate_Click(fields);
  EXPECT_EQ(services.dialogs.LastText(), "Invalid Maturity");
  EXPECT_EQ(fields.interest_rate, L("0.10"));
}

TEST_F(MarketCommandsTest, StopEndsTheSeriesLoad) {
  fields.interest_rate = L("0.10");
  view.on_navigate = [&](const std::string& url) {
    view.hold_loading = url.find("Y2_2010") != std::string::npos;
  };
  services.events.on_pending = [&] {
    if (view.ReadyState() == BrowserView::kLoading) commands.Stop();
  };
  commands.cmdGetInterestRate_Click(fields);
  EXPECT_EQ(view.History().size(), 4u);
  EXPECT_EQ(fields.interest_rate, L("0.10"));
  EXPECT_EQ(services.dialogs.Count(), 0u);
  EXPECT_EQ(services.events.busy_on, services.events.busy_off);
}

TEST_F(MarketCommandsTest, FeedOptionsInTheWindowSayWhatTheyTook) {
  // A weekly index option is read from its index's file, as in the terminal.
  view.pages[Url("/api/global/delayed_quotes/options/_SPX.json")] =
      R"({"data": {"symbol": "^SPX", "current_price": 6012.5, "options": [)"
      R"({"option": "SPXW351221C06000000", "bid": 40.8, "ask": 41.2},)"
      R"({"option": "SPXW261207C06000000", "bid": 1.0, "ask": 1.2},)"
      R"({"option": "SPXW351221P06000000", "bid": 0, "ask": 0.5, "last_trade_price": 0.3,)"
      R"( "last_trade_time": "2026-10-01T12:00:00"}]}})";
  services.dialogs.Answer(MsgAnswer::Ok);  // the data-use terms
  fields.exchange = kExchangeCboeFeed;
  fields.strike = "6000";
  fields.underlying_price = "6012.5";
  fields.option_ticker = "spxw351221c06000000";
  commands.cmdGetOption_Click(fields);
  ASSERT_EQ(view.History().back(), Url("/api/global/delayed_quotes/options/_SPX.json"));
  EXPECT_EQ(fields.option_price, L("41.00000"));
  EXPECT_EQ(fields.status.rfind("mid of 40.80 / 41.20; maturity 9.0", 0), 0u) << fields.status;
  EXPECT_NE(fields.status.find("days to 16:00 New York on 2035-12-21"), std::string::npos);
  const double years = *NumericValue(fields.maturity);
  EXPECT_GT(years, 8.9);
  EXPECT_LT(years, 9.1);

  // A stale trade in a one-sided quote: a message, every field as it was.
  const MarketFields before = fields;
  fields.option_ticker = "SPXW351221P06000000";
  commands.cmdGetOption_Click(fields);
  EXPECT_EQ(
      services.dialogs.LastText().rfind(
          "no two-sided quote for SPXW351221P06000000 today; last trade 0.30 on 2026-10-01", 0),
      0u)
      << services.dialogs.LastText();
  EXPECT_EQ(fields.option_price, before.option_price);
  EXPECT_EQ(fields.maturity, before.maturity);

  // An option past its close (7 December 2026) cannot be priced.
  fields.option_ticker = "SPXW261207C06000000";
  commands.cmdGetOption_Click(fields);
  EXPECT_EQ(services.dialogs.LastText(),
            "The option SPXW261207C06000000 expired at 16:00 New York on 2026-12-07");
  EXPECT_EQ(fields.option_price, before.option_price);
}

TEST_F(MarketCommandsTest, AnotherSymbolsFeedPageChangesNoField) {
  services.dialogs.Answer(MsgAnswer::Ok);  // the data-use terms
  fields.exchange = kExchangeCboeFeed;
  const std::string zzz = Url("/api/global/delayed_quotes/quotes/ZZZ.json");
  view.pages[zzz] = R"({"data": {"symbol": "MSFT", "current_price": 410.5}})";
  fields.stock_ticker = "zzz";
  commands.cmdGetStkQuote_Click(fields);
  EXPECT_EQ(services.dialogs.LastText(), OtherSymbolMessage(zzz, "MSFT", "zzz"));
  EXPECT_EQ(fields.underlying_price, "120");

  // Reading the page again under another ticker: the page shown is AAPL's.
  fields.stock_ticker = "AAPL";
  commands.cmdGetStkQuote_Click(fields);
  EXPECT_EQ(fields.underlying_price, L("187.44000"));
  fields.stock_ticker = "MSFT";
  fields.underlying_price = "120";
  commands.cmdReparseStock_Click(fields);
  EXPECT_EQ(services.dialogs.LastText(),
            OtherSymbolMessage(Url("/api/global/delayed_quotes/quotes/AAPL.json"), "AAPL", "MSFT"));
  EXPECT_EQ(fields.underlying_price, "120");

  // An index page, its symbol written with the feed's underscore.
  view.pages[Url("/api/global/delayed_quotes/quotes/_SPX.json")] =
      R"({"data": {"symbol": "_SPX", "current_price": 6012.5}})";
  fields.stock_ticker = "^SPX";
  const size_t shown = services.dialogs.Count();
  commands.cmdGetStkQuote_Click(fields);
  EXPECT_EQ(services.dialogs.Count(), shown) << services.dialogs.LastText();
  EXPECT_EQ(fields.underlying_price, L("6012.50000"));

  // An option's chain that is another index's file.
  const std::string spx = Url("/api/global/delayed_quotes/options/_SPX.json");
  view.pages[spx] = R"({"data": {"symbol": "_NDX", "options": [)"
                    R"({"option": "SPXW351221C06000000", "bid": 40.8, "ask": 41.2}]}})";
  fields.option_ticker = "SPXW351221C06000000";
  fields.strike = "6000";
  const MarketFields before = fields;
  commands.cmdGetOption_Click(fields);
  EXPECT_EQ(services.dialogs.LastText(), OtherSymbolMessage(spx, "_NDX", "SPX"));
  EXPECT_EQ(fields.option_price, before.option_price);
  EXPECT_EQ(fields.maturity, before.maturity);
  EXPECT_EQ(fields.status, before.status);

  // A price the field's five decimals would show with digits the page never had.
  const std::string big = Url("/api/global/delayed_quotes/quotes/BIG.json");
  view.pages[big] = R"({"data": {"symbol": "BIG", "current_price": 12345678901234567890}})";
  fields.stock_ticker = "BIG";
  commands.cmdGetStkQuote_Click(fields);
  EXPECT_EQ(services.dialogs.LastText(), TooLargePriceMessage(big, "12345678901234567890"));
  EXPECT_EQ(fields.underlying_price, L("6012.50000"));
}

TEST_F(MarketCommandsTest, HistoricalVolatilitiesFromTheFeedAndOneClickIntoTheField) {
  // 61 closes alternating by +-1 % (log): 20 and 60 days read, 250 not.
  std::string rows;
  double close = 100;
  for (int i = 0; i < 61; ++i) {
    const auto d = std::chrono::sys_days{std::chrono::year{2026} / 1 / 1} + std::chrono::days{i};
    rows += std::string(rows.empty() ? "" : ",") + R"({"date": ")" +
            FormatCivilDate(std::chrono::year_month_day{d}) + R"(", "close": )" +
            FormatNumber(close, "0.000000") + "}";
    close *= std::exp(i % 2 ? -0.01 : 0.01);
  }
  view.pages[Url("/api/global/delayed_quotes/charts/historical/VOLX.json")] =
      R"({"symbol": "VOLX", "data": [)" + rows + "]}";
  view.pages[Url("/api/global/delayed_quotes/quotes/VOLX.json")] =
      R"({"data": {"symbol": "VOLX", "current_price": 100, "iv30": "24.1"}})";
  fields.exchange = kExchangeCboeFeed;
  fields.stock_ticker = "volx";
  fields.volatility = L("0.25");
  commands.cmdHistoVol_Click(fields);
  ASSERT_EQ(services.dialogs.Count(), 0u) << services.dialogs.LastText();
  ASSERT_EQ(grid.Rows(), 6);
  EXPECT_EQ(grid.TextMatrix(2, 1), "20 days");
  EXPECT_EQ(grid.TextMatrix(2, 2), "0.1629");  // 0.01 sqrt(20/19) sqrt(252)
  EXPECT_EQ(grid.TextMatrix(3, 2), "0.1601");
  EXPECT_EQ(grid.TextMatrix(4, 1), "250 days");
  EXPECT_EQ(grid.TextMatrix(4, 2), "n/a");  // too short a history: no figure, never 0
  EXPECT_EQ(grid.TextMatrix(5, 1), "iv30");
  EXPECT_EQ(grid.TextMatrix(5, 2), "0.2410");
  EXPECT_EQ(fields.volatility, L("0.25"));  // nothing written before a click
  commands.GridClicked(4, fields);          // the row without a figure
  EXPECT_EQ(fields.volatility, L("0.25"));
  commands.GridClicked(2, fields);
  EXPECT_EQ(fields.volatility, L("0.1629"));
  commands.GridClicked(5, fields);
  EXPECT_EQ(fields.volatility, L("0.2410"));
  // Once the grid shows the curve, a click writes nothing.
  commands.YieldCurve();
  fields.maturity = "1";
  commands.cmdGetInterestRate_Click(fields);
  fields.volatility = L("0.25");
  commands.GridClicked(2, fields);
  EXPECT_EQ(fields.volatility, L("0.25"));

  // Another security's quote page: no iv30, and the status says why.
  const std::string quote = Url("/api/global/delayed_quotes/quotes/VOLX.json");
  view.pages[quote] = R"({"data": {"symbol": "MSFT", "current_price": 100, "iv30": "24.1"}})";
  commands.cmdHistoVol_Click(fields);
  ASSERT_EQ(grid.Rows(), 6);
  EXPECT_EQ(grid.TextMatrix(2, 2), "0.1629");
  EXPECT_EQ(grid.TextMatrix(5, 1), "iv30");
  EXPECT_EQ(grid.TextMatrix(5, 2), "n/a");
  EXPECT_NE(fields.status.find("; iv30: " + OtherSymbolMessage(quote, "MSFT", "VOLX")),
            std::string::npos)
      << fields.status;
  fields.volatility = L("0.25");
  commands.GridClicked(5, fields);
  EXPECT_EQ(fields.volatility, L("0.25"));

  // An iv30 given as a fraction: never 0.0021 in the grid; the status says why.
  view.pages[quote] = R"({"data": {"symbol": "VOLX", "current_price": 100, "iv30": 0.241}})";
  commands.cmdHistoVol_Click(fields);
  ASSERT_EQ(grid.Rows(), 6);
  EXPECT_EQ(grid.TextMatrix(5, 2), "n/a");
  EXPECT_NE(fields.status.find("; iv30: the page " + quote + " gives 0.241, in per cent"),
            std::string::npos)
      << fields.status;

  // A history too short for 20 days: a message, the grid as it was.
  view.pages[Url("/api/global/delayed_quotes/charts/historical/SHORT.json")] =
      R"({"data": [{"date": "2026-12-07", "close": 10}, {"date": "2026-12-08", "close": 11}]})";
  view.pages[Url("/api/global/delayed_quotes/quotes/SHORT.json")] = R"({"data": {}})";
  fields.stock_ticker = "SHORT";
  const int rows_before = grid.Rows();
  commands.cmdHistoVol_Click(fields);
  EXPECT_EQ(services.dialogs.LastText(),
            "The history of SHORT has 2 closes: too few for 20 trading days");
  EXPECT_EQ(grid.Rows(), rows_before);

  // Days without a trade are said in the status; a day after today is refused
  // (it was shown as the figures' "Through").
  const std::string history = Url("/api/global/delayed_quotes/charts/historical/VOLX.json");
  view.pages[history] =
      R"({"symbol": "VOLX", "data": [)" + rows + R"(, {"date": "2026-03-03", "close": ""}]})";
  fields.stock_ticker = "VOLX";
  commands.cmdHistoVol_Click(fields);
  EXPECT_EQ(grid.TextMatrix(2, 2), "0.1629");
  EXPECT_NE(fields.status.find("through 2026-03-02 (1 day without a trade was passed over); "),
            std::string::npos)
      << fields.status;
  // Closes missing from the page: the return over them is said.
  view.pages[history] =
      R"({"symbol": "VOLX", "data": [)" + rows + R"(, {"date": "2026-03-20", "close": 100}]})";
  commands.cmdHistoVol_Click(fields);
  EXPECT_NE(fields.status.find("; " + GapNote(20, {std::chrono::year{2026} / 3 / 2,
                                                   std::chrono::year{2026} / 3 / 20, 18})),
            std::string::npos)
      << fields.status;
  EXPECT_NE(fields.status.find("; the 60-day figure has one return over 18 days"),
            std::string::npos)
      << fields.status;
  const auto tomorrow = std::chrono::year_month_day{
      std::chrono::sys_days{LocalDate(std::chrono::system_clock::now())} + std::chrono::days{1}};
  view.pages[history] = R"({"symbol": "VOLX", "data": [)" + rows + R"(, {"date": ")" +
                        FormatCivilDate(tomorrow) + R"(", "close": 100}]})";
  const size_t shown = services.dialogs.Count();
  commands.cmdHistoVol_Click(fields);
  ASSERT_EQ(services.dialogs.Count(), shown + 1);
  EXPECT_EQ(services.dialogs.LastText(),
            FutureCloseMessage(history, FormatCivilDate(tomorrow),
                               FormatCivilDate(LocalDate(std::chrono::system_clock::now()))));
}

TEST_F(MarketCommandsTest, DividendYieldFromTheChainOrElseTheQuotePage) {
  view.pages[Url("/api/global/delayed_quotes/options/PCP.json")] =
      R"({"data": {"symbol": "PCP", "current_price": "100.00", "options": [)"
      R"({"option": "PCP351221C00100000", "bid": "20.90", "ask": 21.10},)"
      R"({"option": "PCP351221P00100000", "bid": 18.9, "ask": "19.10"}]}})";
  fields.exchange = kExchangeCboeFeed;
  fields.stock_ticker = "PCP";
  fields.maturity = "9";
  fields.dividend_yield = "0";
  commands.cmdDivYield_Click(fields);
  ASSERT_EQ(services.dialogs.Count(), 0u) << services.dialogs.LastText();
  EXPECT_NE(fields.dividend_yield, "0");
  EXPECT_EQ(fields.status.rfind("dividend yield implied by put-call parity on the 2035-12-21 "
                                "expiry (",
                                0),
            0u)
      << fields.status;
  EXPECT_EQ(grid.TextMatrix(2, 1), "3TD");  // the rate's curve is in the grid

  // No chain for IBM: the quote page's yield, and the status says so.
  fields.stock_ticker = "IBM";
  commands.cmdDivYield_Click(fields);
  EXPECT_EQ(fields.dividend_yield, L("0.02350"));
  EXPECT_EQ(fields.status.rfind("dividend yield of the quote page ", 0), 0u) << fields.status;
  // A maturity that is no number: nothing loaded.
  fields.maturity = "soon";
  const size_t loads = view.History().size();
  commands.cmdDivYield_Click(fields);
  EXPECT_EQ(services.dialogs.LastText(), "Invalid Maturity");
  EXPECT_EQ(view.History().size(), loads);
}

TEST_F(MarketCommandsTest, DividendYield) {
  fields.stock_ticker = "IBM";
  fields.dividend_yield = "0";
  commands.cmdDivYield_Click(fields);
  EXPECT_EQ(fields.dividend_yield, L("0.02350"));
  EXPECT_EQ(services.dialogs.Count(), 0u);  // no data-terms question for the yield

  fields.stock_ticker = "NOYLD";
  commands.cmdDivYield_Click(fields);
  EXPECT_EQ(services.dialogs.LastText(), "Unable to locate the dividend yield");
  EXPECT_EQ(services.dialogs.Last().icon, MsgIcon::None);
  EXPECT_EQ(fields.dividend_yield, L("0.02350"));

  // A label with nothing after it is no yield of 0.
  view.pages[Url("/DelayedQuote/SimpleQuote.aspx?ticker=EMPTY")] = "<td>Yield</td><td></td>";
  fields.stock_ticker = "EMPTY";
  commands.cmdDivYield_Click(fields);
  EXPECT_EQ(services.dialogs.Count(), 2u);
  EXPECT_EQ(fields.dividend_yield, L("0.02350"));

  commands.cmdHistoVol_Click();
  EXPECT_EQ(view.History().back(), Url("/data/historicalvolatility.aspx"));
}

TEST_F(MarketCommandsTest, DelayedFeed) {
  services.dialogs.Answer(MsgAnswer::Ok);
  fields.exchange = kExchangeCboeFeed;
  fields.stock_ticker = "aapl";
  commands.cmdGetStkQuote_Click(fields);
  EXPECT_EQ(view.History().back(), Url("/api/global/delayed_quotes/quotes/AAPL.json"));
  EXPECT_EQ(fields.underlying_price, L("187.44000"));

  fields.stock_ticker = "";
  fields.option_ticker = "AAPL270115C00150000";
  fields.strike = "150";
  fields.underlying_price = L("187.44");
  commands.cmdGetOption_Click(fields);
  EXPECT_EQ(view.History().back(), Url("/api/global/delayed_quotes/options/AAPL.json"));
  EXPECT_EQ(fields.option_price, L("40.35000"));
  EXPECT_GT(NumericValue(fields.maturity).value_or(-1), 0.0);  // to 15 January 2027
  EXPECT_EQ(services.dialogs.Count(), 1u);
}

TEST_F(MarketCommandsTest, TheFeedLookupTakesTheRootOfTheOptionTyped) {
  services.dialogs.Answer(MsgAnswer::Ok);
  fields.exchange = kExchangeCboeFeed;
  fields.stock_ticker = "IBM";  // another underlying left in its field
  fields.option_ticker = "AAPL270115C00150000";
  fields.strike = "150";
  fields.underlying_price = L("187.44");
  commands.cmdGetOption_Click(fields);
  EXPECT_EQ(view.History().back(), Url("/api/global/delayed_quotes/options/AAPL.json"));
  EXPECT_EQ(fields.option_price, L("40.35000"));

  // An option the feed does not list: the user is told, no field changes.
  const MarketFields before = fields;
  fields.option_ticker = "AAPL270115C00990000";
  fields.strike = "990";
  services.dialogs.Answer(MsgAnswer::No);  // keep the far strike
  commands.cmdGetOption_Click(fields);
  EXPECT_EQ(services.dialogs.LastText(), kFeedNoOptionMessage);
  EXPECT_EQ(fields.option_price, before.option_price);
  EXPECT_EQ(fields.maturity, before.maturity);
  EXPECT_EQ(fields.underlying_price, before.underlying_price);
}

TEST_F(MarketCommandsTest, NoPriceLeavesTheUnderlyingFieldAsItWas) {
  services.dialogs.Answer(MsgAnswer::Ok);
  services.dialogs.Answer(MsgAnswer::No);  // no symbol table
  fields.stock_ticker = "XYZQ";
  commands.cmdGetStkQuote_Click(fields);
  EXPECT_EQ(services.dialogs.LastText(), kSymbolNotFoundQuestion);
  EXPECT_EQ(fields.underlying_price, "120");  // not the word "blank"

  // A page without a readable price: the parser's message, the field kept.
  view.Show("<html><body>no quote here</body></html>");
  commands.cmdReparseStock_Click(fields);
  EXPECT_EQ(services.dialogs.LastText(), kNoLastPriceMessage);
  EXPECT_EQ(fields.underlying_price, "120");
}

TEST_F(MarketCommandsTest, FetchedFiguresAreWrittenInTheUsersLocale) {
  EntryLocale comma;
  comma.decimal_point = ",";
  comma.thousands_sep = ".";
  comma.date_format = "%d.%m.%Y";
  SetEntryLocale(comma);
  services.dialogs.Answer(MsgAnswer::Ok);
  fields.exchange = kExchangeCboeFeed;
  fields.stock_ticker = "AAPL";
  commands.cmdGetStkQuote_Click(fields);
  EXPECT_EQ(fields.underlying_price, "187,44000");
  EXPECT_EQ(NumericValue(fields.underlying_price).value_or(0), 187.44);

  fields.option_ticker = "AAPL270115C00150000";
  fields.strike = "150";
  commands.cmdGetOption_Click(fields);
  EXPECT_EQ(fields.option_price, "40,35000");
  EXPECT_TRUE(NumericValue(fields.maturity).has_value()) << fields.maturity;

  fields.maturity = "0,75";
  fields.interest_rate = "0,10";
  const size_t shown = services.dialogs.Count();
  commands.cmdGetInterestRate_Click(fields);
  EXPECT_EQ(services.dialogs.Count(), shown) << services.dialogs.LastText();
  EXPECT_TRUE(testing::IsHalfwayRate(fields.interest_rate, ','));  // between 1 % and 2 %
  ResetEntryLocale();
}

TEST_F(MarketCommandsTest, AFailedLoadIsAMessageAboutThatPage) {
  services.dialogs.Answer(MsgAnswer::Ok);
  fields.stock_ticker = "NOPAGE";  // the server answers 404
  commands.cmdGetStkQuote_Click(fields);
  EXPECT_EQ(view.Status(), 404);
  EXPECT_EQ(services.dialogs.LastText(), "The page " +
                                             Url("/DelayedQuote/SimpleQuote.aspx?ticker=NOPAGE") +
                                             " could not be loaded: HTTP 404");
  EXPECT_EQ(services.dialogs.Last().icon, MsgIcon::Critical);
  EXPECT_EQ(fields.underlying_price, "120");  // no page, no price: the field stays

  // Nothing listening at all: the wait ends as well, with the page named.
  setenv("STRATLYN_EXCHANGE_URL", "http://127.0.0.1:1", 1);
  fields.stock_ticker = "IBM";
  commands.cmdGetStkQuote_Click(fields);
  setenv("STRATLYN_EXCHANGE_URL", server_->BaseUrl().c_str(), 1);
  EXPECT_EQ(view.Status(), 0);
  EXPECT_EQ(services.dialogs.Count(), 3u);
  EXPECT_EQ(services.dialogs.LastText().rfind(
                "The page http://127.0.0.1:1/DelayedQuote/SimpleQuote.aspx?ticker=IBM could not "
                "be loaded: ",
                0),
            0u)
      << services.dialogs.LastText();
  EXPECT_EQ(fields.underlying_price, "120");
  EXPECT_EQ(services.events.busy_on, services.events.busy_off);

  // The same for the option and the dividend yield.
  fields.option_ticker = "NOPAGE";
  fields.option_price = "7";
  commands.cmdGetOption_Click(fields);
  EXPECT_NE(services.dialogs.LastText().find("could not be loaded: HTTP 404"), std::string::npos);
  EXPECT_EQ(fields.option_price, "7");
  EXPECT_EQ(fields.maturity, "1");
  fields.stock_ticker = "NOPAGE";
  fields.dividend_yield = L("0.01");
  commands.cmdDivYield_Click(fields);
  EXPECT_NE(services.dialogs.LastText().find("could not be loaded: HTTP 404"), std::string::npos);
  EXPECT_EQ(fields.dividend_yield, L("0.01"));
}

TEST_F(MarketCommandsTest, ASeriesFileThatFailsIsNamedNotAnUnexpectedError) {
  // A series that does not load or holds nothing to read: the core reports
  // it as a fetch error (57) naming the file; the panel shows that text, not
  // the generic box.
  const std::string why = "The series file H15_TCMNOM_Y1_2010.txt could not be loaded: HTTP 500";
  view.on_navigate = [&](const std::string& url) {
    if (url.find("H15_TCMNOM_Y1") != std::string::npos) throw zelError(err::kDeviceIO, why);
  };
  fields.interest_rate = L("0.10");
  fields.maturity = L("0.75");
  commands.cmdGetInterestRate_Click(fields);
  view.on_navigate = nullptr;
  ASSERT_EQ(services.dialogs.Count(), 1u);
  EXPECT_EQ(services.dialogs.LastText(), why);
  EXPECT_EQ(services.dialogs.Last().icon, MsgIcon::Critical);
  EXPECT_EQ(fields.interest_rate, L("0.10"));
  EXPECT_EQ(services.events.busy, false);

  // A maturity date with no Date to count it from.
  fields.date = "";
  fields.maturity = "12/31/2030";
  commands.cmdGetInterestRate_Click(fields);
  EXPECT_EQ(services.dialogs.LastText(), bsop_text::kNoStartDate);
  EXPECT_EQ(fields.interest_rate, L("0.10"));
}

TEST_F(MarketCommandsTest, RunTimeErrorsGoToTheErrorHandler) {
  MarketCommands unbound{grid};
  fields.maturity = "1";
  unbound.cmdGetInterestRate_Click(fields);  // no browser view handed over
  EXPECT_EQ(services.dialogs.Count(), 1u);
  unbound.cmdHistoVol_Click();
  EXPECT_EQ(services.dialogs.Count(), 2u);
  EXPECT_EQ(services.events.busy, false);
}

TEST(MaturityFromMonth, ExpirationSaturdays) {
  // March 2025 starts on a Saturday: expiration 22 March, 21 days away.
  EXPECT_EQ(MaturityFromMonth(2, LocalTime(2025, 3, 1)), L("0.05753"));
  // June 2025 starts on a Sunday: 21 June.
  EXPECT_EQ(MaturityFromMonth(5, LocalTime(2025, 6, 1)), L("0.05479"));
  // January from June 2025: next year, 17 January 2026 (230 days).
  EXPECT_EQ(MaturityFromMonth(0, LocalTime(2025, 6, 1)), L("0.63014"));
  // The current month after its expiration: next year's (21 March 2026, 361 days), not negative.
  EXPECT_EQ(MaturityFromMonth(2, LocalTime(2025, 3, 25)), L("0.98904"));
  // On the expiration day at noon: counted from midnight, so next year's.
  EXPECT_GT(NumericValue(MaturityFromMonth(2, LocalTime(2025, 3, 22, 12))).value_or(-1), 0.9);
}

}  // namespace
}  // namespace stratlyn
