// stratlyn-cli quote, rate and dividend, run as a user runs them, against
// pages served on 127.0.0.1.

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "support/cli_run.h"
#include "support/halfway_rate.h"
#include "support/loopback_server.h"

namespace {

using stratlyn::testing::LoopbackHttpServer;
using stratlyn::testing::ScratchDir;

using stratlyn::testing::CliResult;

std::string Fixture(const std::string& name) {
  const char* dir = std::getenv("STRATLYN_TEST_DATA");
  return stratlyn::testing::SlurpFile(std::string(dir ? dir : "tests/data") + "/marketdata/" +
                                      name);
}

std::string Today() {
  const std::time_t t = std::time(nullptr);
  std::tm tm{};
  localtime_r(&t, &tm);
  char buf[16];
  std::strftime(buf, sizeof buf, "%Y-%m-%d", &tm);
  return buf;
}

class CliQuote : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    dir_ = new ScratchDir;
    dir_->Write("DelayedQuote/SimpleQuote.aspx?ticker=IBM", Fixture("quote_underlying.htm"));
    dir_->Write("DelayedQuote/SimpleQuote.aspx?ticker=IBMAZ", Fixture("quote_option.htm"));
    dir_->Write("DelayedQuote/SimpleQuote.aspx?ticker=XYZQ", Fixture("symbol_not_found.htm"));
    dir_->Write("api/global/delayed_quotes/quotes/AAPL.json", Fixture("feed_quote.json"));
    dir_->Write("api/global/delayed_quotes/options/AAPL.json", Fixture("feed_options.json"));
    const char* series[] = {"M3", "M6", "Y1", "Y2", "Y3", "Y5", "Y7", "Y10", "Y20", "Y30"};
    const char* values[] = {"0.50", "1.00", "2.00", "2.50", "2.75",
                            "3.00", "3.20", "3.40", "3.70", "3.90"};
    for (int i = 0; i < 10; ++i) {
      dir_->Write(std::string("FRBData/H15_TCMNOM_") + series[i] + "_2010.txt",
                  "Series Description,H.15\r\n" + Today() + "," + values[i] + "\r\n");
    }
    // Layouts and faults the exchange's own pages do not show.
    dir_->Write("DelayedQuote/SimpleQuote.aspx?ticker=HDR", Fixture("quote_header_row.htm"));
    dir_->Write("DelayedQuote/SimpleQuote.aspx?ticker=ADJ", Fixture("quote_adjacent_cells.htm"));
    dir_->Write("DelayedQuote/SimpleQuote.aspx?ticker=NA", Fixture("quote_empty_yield.htm"));
    dir_->Write("DelayedQuote/SimpleQuote.aspx?ticker=WIN", Fixture("quote_cp1252.htm"));
    dir_->Write("DelayedQuote/SimpleQuote.aspx?ticker=HUGE",
                "<table><tr><td>Last Sale</td><td>340282366920938463463374607431768211456000.00"
                "</td><td>Tick</td></tr></table>");
    for (int i = 0; i < 10; ++i) {
      dir_->Write(std::string("nd/FRBData/H15_TCMNOM_") + series[i] + "_2010.txt",
                  i == 3 ? "Series Description,H.15\r\n" + Today() + ",ND\r\n"
                         : "Series Description,H.15\r\n" + Today() + "," + values[i] + "\r\n");
    }
    server_ = new LoopbackHttpServer(dir_->Path());
  }
  static void TearDownTestSuite() {
    delete server_;
    delete dir_;
  }
  void SetUp() override { ASSERT_TRUE(server_->Ok()) << server_->Error(); }

  // Runs stratlyn-cli with every host pointed at the loopback server; `env`
  // ("LC_ALL=de_DE.UTF-8 ...") comes after, so it can override them.
  CliResult Run(const std::vector<std::string>& args, const std::string& env = "") const {
    const std::string base = server_->BaseUrl();
    return stratlyn::testing::RunCliCommand(
        "STRATLYN_EXCHANGE_URL=" + base + " STRATLYN_FEED_URL=" + base +
            " STRATLYN_FRB_URL=" + base + " STRATLYN_TREASURY_URL=" + base + " " + env + " ",
        args, "cli_quote");
  }

  static ScratchDir* dir_;
  static LoopbackHttpServer* server_;
};

ScratchDir* CliQuote::dir_ = nullptr;
LoopbackHttpServer* CliQuote::server_ = nullptr;

TEST_F(CliQuote, PricesFromThePageAndTheFeed) {
  CliResult r = Run({"quote", "IBM", "--exchange", "CBOE"});
  EXPECT_EQ(r.exit_code, 0) << r.err;
  EXPECT_EQ(r.out, "12.50000\n");

  r = Run({"quote", "AAPL", "--exchange", "CBOE Delayed Feed"});
  EXPECT_EQ(r.exit_code, 0) << r.err;
  EXPECT_EQ(r.out, "187.44000\n");

  r = Run({"quote", "AAPL", "--exchange", "CBOE Delayed Feed", "--option", "AAPL270115C00190000",
           "--strike", "190"});
  EXPECT_EQ(r.exit_code, 0) << r.err;
  EXPECT_EQ(r.out, "14.50000\n");  // the bid/ask midpoint of an option not traded
}

TEST_F(CliQuote, OptionStrikeQuestionBecomesANote) {
  const CliResult r = Run({"quote", "IBM", "--exchange", "CBOE", "--option", "ibmaz", "--strike",
                           "125", "--month", "jan"});
  EXPECT_EQ(r.exit_code, 0) << r.err;
  EXPECT_EQ(r.out, "3.25000\n");
  EXPECT_NE(
      r.err.find(
          "note: You entered the strike price 125 while the retrieved quote is for strike 130.00."),
      std::string::npos)
      << r.err;
}

TEST_F(CliQuote, NoFigureMeansExitTwo) {
  CliResult r = Run({"quote", "XYZQ", "--exchange", "CBOE"});
  EXPECT_EQ(r.exit_code, 2);
  EXPECT_EQ(r.out, "");
  EXPECT_NE(r.err.find("Incorrect option root or underlying ticker."), std::string::npos) << r.err;

  r = Run({"quote", "AAPL", "--exchange", "CBOE Delayed Feed", "--option", "AAPL270115P00999000",
           "--strike", "999"});
  EXPECT_EQ(r.exit_code, 2);
  EXPECT_NE(r.err.find("The option is not in the delayed quote feed."), std::string::npos) << r.err;

  r = Run({"quote", "IBM", "--exchange", "CBOE", "--option", "IBMAZ"});
  EXPECT_EQ(r.exit_code, 2);
  EXPECT_NE(r.err.find("Invalid strike price"), std::string::npos);

  r = Run({"quote", "IBM", "--exchange", "NYSE"});
  EXPECT_EQ(r.exit_code, 2);
  r = Run({"quote"});
  EXPECT_EQ(r.exit_code, 2);
  r = Run({"quote", "NOPAGE", "--exchange", "CBOE"});  // the server answers 404
  EXPECT_EQ(r.exit_code, 1);
  EXPECT_NE(r.err.find("could not be loaded: HTTP 404 (Not Found)"), std::string::npos) << r.err;
}

constexpr const char* kCommaLocale = "LC_ALL=de_DE.UTF-8";

TEST_F(CliQuote, NumbersKeepTheDotUnderACommaLocale) {
  CliResult r = Run({"rate", "0.75"}, kCommaLocale);
  EXPECT_EQ(r.exit_code, 0) << r.err;
  EXPECT_TRUE(stratlyn::testing::IsHalfwayRate(r.out.substr(0, r.out.size() - 1)));
  EXPECT_TRUE(r.out.ends_with('\n'));
  r = Run({"quote", "ADJ", "--exchange", "CBOE"}, kCommaLocale);
  EXPECT_EQ(r.exit_code, 0) << r.err;
  EXPECT_EQ(r.out, "0.12500\n");  // not 125.00000
  r = Run({"quote", "HDR", "--exchange", "CBOE"}, kCommaLocale);
  EXPECT_EQ(r.exit_code, 0) << r.err;
  EXPECT_EQ(r.out, "123.45000\n");  // the label heads its column
  r = Run({"quote", "IBM", "--exchange", "CBOE", "--option", "ibmaz", "--strike", "125.5",
           "--month", "jan"},
          kCommaLocale);
  EXPECT_EQ(r.exit_code, 0) << r.err;
  EXPECT_EQ(r.out, "3.25000\n");
  EXPECT_NE(r.err.find("You entered the strike price 125.5 while"), std::string::npos) << r.err;
  r = Run({"dividend", "IBM", "--exchange", "CBOE"}, kCommaLocale);
  EXPECT_EQ(r.exit_code, 0) << r.err;
  EXPECT_EQ(r.out, "0.02350\n");
  r = Run({"dividend", "ADJ", "--exchange", "CBOE"}, kCommaLocale);
  EXPECT_EQ(r.out, "0.02350\n");            // not 0.05365 from "2.35%P/E10.4"
  r = Run({"rate", "0,75"}, kCommaLocale);  // the comma is not the command line's decimal
  EXPECT_EQ(r.exit_code, 2);
}

TEST_F(CliQuote, UnreadableFiguresExitTwoWithTheReason) {
  CliResult r = Run({"quote", "NA", "--exchange", "CBOE"});
  EXPECT_EQ(r.exit_code, 2);
  EXPECT_EQ(r.out, "");
  EXPECT_NE(r.err.find("Unable to find last traded price."), std::string::npos) << r.err;
  r = Run({"dividend", "NA", "--exchange", "CBOE"});  // an empty yield cell
  EXPECT_EQ(r.exit_code, 2);
  EXPECT_EQ(r.out, "");
  EXPECT_NE(r.err.find("Unable to locate the dividend yield"), std::string::npos) << r.err;
  r = Run({"quote", "HUGE", "--exchange", "CBOE"});  // beyond single precision
  EXPECT_EQ(r.exit_code, 2);
  EXPECT_EQ(r.out, "");
}

TEST_F(CliQuote, APageForAnotherSymbolIsRefused) {
  // A redirect that lands on another stock's page.
  dir_->Write("api/global/delayed_quotes/quotes/ZZZ.json",
              R"({"timestamp": "2026-12-07 16:15:02", "data": {"symbol": "MSFT",)"
              R"( "current_price": 410.5}, "symbol": "MSFT"})");
  const std::string redirect = "STRATLYN_FEED_URL=" + server_->BaseUrl() + "/_redirect";
  for (const std::string& env : {redirect, redirect + " " + kCommaLocale}) {
    for (const bool json : {false, true}) {
      std::vector<std::string> args = {"quote", "ZZZ"};
      if (json) args.push_back("--json");
      const CliResult r = Run(args, env);
      EXPECT_EQ(r.exit_code, 2) << env;
      EXPECT_EQ(r.out, "") << env;
      EXPECT_NE(r.err.find("/api/global/delayed_quotes/quotes/ZZZ.json is for MSFT, not for ZZZ, "
                           "the ticker asked for"),
                std::string::npos)
          << r.err;
    }
  }
  // An index page names its symbol as it likes.
  dir_->Write("api/global/delayed_quotes/quotes/_NDX.json",
              R"({"data": {"symbol": "^NDX", "current_price": 21000.25}, "symbol": "_NDX"})");
  for (const char* ticker : {"NDX", "^ndx", "_NDX"}) {
    const CliResult r = Run({"quote", ticker}, kCommaLocale);
    EXPECT_EQ(r.exit_code, 0) << ticker << ": " << r.err;
    EXPECT_EQ(r.out, "21000.25000\n") << ticker;
  }
  // An option's chain must be the file asked for.
  dir_->Write("api/global/delayed_quotes/options/QQQ.json",
              R"({"data": {"symbol": "SPY", "current_price": 500, "options": [)"
              R"({"option": "QQQ351221C00500000", "bid": 10, "ask": 11}]}})");
  const CliResult r =
      Run({"quote", "QQQ", "--option", "QQQ351221C00500000", "--strike", "500"}, redirect);
  EXPECT_EQ(r.exit_code, 2);
  EXPECT_EQ(r.out, "");
  EXPECT_NE(r.err.find("is for SPY, not for QQQ"), std::string::npos) << r.err;
}

TEST_F(CliQuote, PricesWithMoreDigitsThanShownAreRefused) {
  dir_->Write("api/global/delayed_quotes/quotes/BIG.json",
              R"({"data": {"symbol": "BIG", "current_price": 12345678901234567890}})");
  dir_->Write("api/global/delayed_quotes/quotes/TOP.json",
              R"({"data": {"symbol": "TOP", "current_price": 9999999999.99999}})");
  for (const std::string env : {"", kCommaLocale}) {
    CliResult r = Run({"quote", "BIG"}, env);
    EXPECT_EQ(r.exit_code, 2);
    EXPECT_EQ(r.out, "");  // never 12345678901234567168.00000
    EXPECT_NE(r.err.find("The price 12345678901234567890 on "), std::string::npos) << r.err;
    r = Run({"quote", "BIG", "--json"}, env);
    EXPECT_EQ(r.exit_code, 2);
    EXPECT_EQ(r.out, "");
    r = Run({"quote", "TOP"}, env);  // the most a price field shows: as written
    EXPECT_EQ(r.exit_code, 0) << r.err;
    EXPECT_EQ(r.out, "9999999999.99999\n");
  }
}

TEST_F(CliQuote, MessagesFitATerminal) {
  dir_->Write("api/global/delayed_quotes/quotes/NOPX.json",
              R"({"data": {"symbol": "NOPX", "current_price": null}})");
  const std::string url = server_->BaseUrl() + "/api/global/delayed_quotes/quotes/NOPX.json";
  CliResult r = Run({"quote", "NOPX"});
  EXPECT_EQ(r.exit_code, 2);
  EXPECT_NE(r.err.find("The delayed quote feed shows no price for this security.  Please open the "
                       "page in a browser to check it: " +
                       url + "\n"),
            std::string::npos)
      << r.err;
  std::string all = r.err;
  r = Run({"quote", "XYZQ", "--exchange", "CBOE"});  // symbol not found: no question
  EXPECT_EQ(r.exit_code, 2);
  EXPECT_NE(r.err.find("Incorrect option root or underlying ticker."), std::string::npos);
  all += r.err;
  r = Run({"quote", "NA", "--exchange", "CBOE"});
  EXPECT_EQ(r.exit_code, 2);
  all += r.err;
  for (const char* window_word : {"window", "click", "Click", "menu", "Do you want"}) {
    EXPECT_EQ(all.find(window_word), std::string::npos) << window_word << " in " << all;
  }
}

TEST_F(CliQuote, TheDeclaredCharacterSetIsHonoured) {
  // windows-1252: the byte 0xB7 is the middle dot, shown as such in the
  // refusal; a figure with a middle dot inside is none (not 1242.75, not 42.75).
  const CliResult r = Run({"quote", "WIN", "--exchange", "CBOE"});
  EXPECT_EQ(r.exit_code, 2);
  EXPECT_EQ(r.out, "");
  EXPECT_NE(r.err.find("The text \"12\xC2\xB7"
                       "42.75\" on "),
            std::string::npos)
      << r.err;
}

TEST_F(CliQuote, FeedOptionsSayWhatTheirPriceIsAndTheMaturityCounted) {
  // The feed is the default source. Fields in another order, numbers as
  // strings, nulls, and an index chain that holds the weekly root.
  dir_->Write(
      "api/global/delayed_quotes/options/_SPX.json",
      R"({"data": {"options": [{"last_trade_time": null, "ask": "41.20",)"
      R"( "option": "SPXW351221C06000000", "bid": 40.8, "last_trade_price": 0},)"
      R"( {"option": "SPX351221C06000000", "bid": 0, "ask": 0.5,)"
      R"( "last_trade_price": 39.0, "last_trade_time": "2026-11-03T15:59:00"}],)"
      R"( "symbol": "^SPX", "current_price": 6012.5}})");  // no timestamp: today in New York
  CliResult r = Run({"quote", "SPXW", "--option", "SPXW351221C06000000", "--strike", "6000"});
  EXPECT_EQ(r.exit_code, 0) << r.err;
  EXPECT_EQ(r.out, "41.00000\n");
  EXPECT_NE(r.err.find("note: price: mid of 40.80 / 41.20\n"), std::string::npos) << r.err;
  EXPECT_NE(r.err.find("to 16:00 New York on 2035-12-21\n"), std::string::npos) << r.err;

  r = Run({"quote", "SPX", "--option", "SPXW351221C06000000", "--strike", "6000", "--json"});
  ASSERT_EQ(r.exit_code, 0) << r.err;
  EXPECT_NE(r.out.find(R"("source":"mid")"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find(R"("price":41.0)"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find(R"("bid":40.8)"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find(R"("ask":41.2)"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find(R"("last_trade_time":null)"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find(R"("expiry_close":"16:00 New York on 2035-12-21")"), std::string::npos)
      << r.out;
  const size_t m = r.out.find(R"("maturity":)");
  ASSERT_NE(m, std::string::npos);
  const double years = std::atof(r.out.c_str() + m + 11);
  EXPECT_GT(years, 8.9);
  EXPECT_LT(years, 9.1);
  EXPECT_EQ(std::count(r.out.begin(), r.out.end(), '\n'), 1);

  // The monthly SPX option: one-sided, last traded weeks ago: no price.
  r = Run({"quote", "SPX", "--option", "SPX351221C06000000", "--strike", "6000", "--json"});
  EXPECT_EQ(r.exit_code, 2);
  EXPECT_EQ(r.out, "");
  EXPECT_NE(r.err.find("no two-sided quote for SPX351221C06000000 today; last trade 39.00 on "
                       "2026-11-03"),
            std::string::npos)
      << r.err;
}

TEST_F(CliQuote, RateFromTheTreasurysParYieldFile) {
  // The year's file as the Treasury writes it: newest row first, headings
  // in quotes, a tenor column added later (empty in older rows), an empty
  // cell where a tenor was not published; the day before in a 2nd file.
  const std::string year = Today().substr(0, 4);
  const auto days_ago = [](int n) {
    const auto d = std::chrono::floor<std::chrono::days>(std::chrono::system_clock::now()) -
                   std::chrono::days{n};
    const std::chrono::year_month_day ymd{d};
    char buf[16];
    std::snprintf(buf, sizeof buf, "%02u/%02u/%04d", static_cast<unsigned>(ymd.month()),
                  static_cast<unsigned>(ymd.day()), static_cast<int>(ymd.year()));
    return std::string(buf);
  };
  const std::string yesterday = days_ago(1);
  const std::string path =
      "tsy/resource-center/data-chart-center/interest-rates/daily-treasury-rates.csv/" + year +
      "/all?type=daily_treasury_yield_curve&field_tdr_date_value=" + year + "&page&_format=csv";
  dir_->Write(
      path,
      "Date,\"1 Mo\",\"1.5 Month\",\"2 Mo\",\"3 Mo\",\"4 Mo\",\"6 Mo\",\"1 Yr\",\"2 Yr\","
      "\"3 Yr\",\"5 Yr\",\"7 Yr\",\"10 Yr\",\"20 Yr\",\"30 Yr\"\n" +
          yesterday + ",4.10,4.08,,4.00,3.95,3.90,3.80,3.60,3.55,3.60,3.75,4.00,4.50,4.60\n" +
          days_ago(8) + ",5.00,,5.00,5.00,5.00,5.00,5.00,5.00,5.00,5.00,5.00,5.00,5.00,5.00\n");
  const std::string env = "STRATLYN_TREASURY_URL=" + server_->BaseUrl() + "/tsy";
  CliResult r = Run({"rate", "40"}, env);
  ASSERT_EQ(r.exit_code, 0) << r.err;
  EXPECT_EQ(r.out, "0.0455\n");  // 2 ln(1 + 0.046 / 2) = 0.04548
  EXPECT_NE(r.err.find("note: U.S. Treasury par yield curve of "), std::string::npos) << r.err;
  EXPECT_NE(r.err.find("par yield 4.600 % at 40.00 years (beyond the curve's longest maturity, "
                       "30.0"),
            std::string::npos)
      << r.err;
  r = Run({"rate", "0.01"}, env);  // before the 1-month point: its yield
  EXPECT_EQ(r.out, "0.0406\n");    // 2 ln(1.0205) = 0.04059
  EXPECT_EQ(r.err.find("longest maturity"), std::string::npos) << r.err;
  EXPECT_NE(r.err.find("(before the curve's shortest maturity, 0.0"), std::string::npos) << r.err;
  r = Run({"rate", "25"}, env);  // within the curve: no word of its end
  EXPECT_EQ(r.err.find("longest maturity"), std::string::npos) << r.err;

  // No 30-year yield that day: 30 years takes the 20-year yield, and says so.
  dir_->Write(path, "Date,\"10 Yr\",\"20 Yr\",\"30 Yr\"\n" + yesterday + ",4.00,4.50,N/A\n");
  r = Run({"rate", "30"}, env);
  ASSERT_EQ(r.exit_code, 0) << r.err;
  EXPECT_EQ(r.out, "0.0445\n");  // 2 ln(1 + 0.045 / 2) = 0.04450
  EXPECT_NE(r.err.find("(beyond the curve's longest maturity, 20.0"), std::string::npos) << r.err;
  // Nor any yield below 10 years: 5 years takes the 10-year yield, and says
  // so (it said nothing before).
  r = Run({"rate", "5"}, env);
  ASSERT_EQ(r.exit_code, 0) << r.err;
  EXPECT_EQ(r.out, "0.0396\n");  // 2 ln(1 + 0.04 / 2) = 0.03961
  EXPECT_NE(r.err.find("par yield 4.000 % at 5.00 years (before the curve's shortest maturity, "
                       "10.0"),
            std::string::npos)
      << r.err;

  // A cell of the latest row that is no figure: named, nothing printed.
  dir_->Write(path, "Date,\"1 Mo\",\"3 Mo\"\n" + yesterday + ",\"4,10\",4.00\n");
  r = Run({"rate", "1", "--source", "treasury"}, env + " STRATLYN_FRB_URL=http://127.0.0.1:1");
  EXPECT_EQ(r.exit_code, 1);
  EXPECT_EQ(r.out, "");
  EXPECT_NE(r.err.find("The text \"4,10\" on "), std::string::npos) << r.err;
  EXPECT_NE(r.err.find("is not a figure"), std::string::npos) << r.err;
  r = Run({"rate", "1", "--source", "bloomberg"});
  EXPECT_EQ(r.exit_code, 2);
}

TEST_F(CliQuote, DividendYieldImpliedByTheFeedsChain) {
  // Two strikes near the spot of 100 with both sides quoted: C - P = 2.00
  // at 100 and 6.50 at 95; the 110 put is one-sided and passed over.
  dir_->Write("api/global/delayed_quotes/options/PCP.json",
              R"({"timestamp": "2026-12-08 16:15:00", "data": {"options": [)"
              R"({"option": "PCP351221C00100000", "bid": "20.90", "ask": 21.10},)"
              R"({"option": "PCP351221P00100000", "bid": 18.9, "ask": "19.10"},)"
              R"({"option": "PCP351221C00110000", "bid": 16.0, "ask": 16.4},)"
              R"({"option": "PCP351221P00110000", "bid": 0, "ask": 24.0}],)"
              R"( "symbol": "PCP", "current_price": "100.00"}})");
  CliResult r = Run({"dividend", "PCP", "--maturity", "9"});
  ASSERT_EQ(r.exit_code, 0) << r.err;
  EXPECT_NE(
      r.err.find("note: dividend yield implied by put-call parity on the 2035-12-21 expiry ("),
      std::string::npos)
      << r.err;
  EXPECT_NE(r.err.find("strike 100, spot 100.00, rate 0.0"), std::string::npos) << r.err;
  // q = r - ln(F/S)/T with F = 100 + e^{rT} 2: below r, above 0.
  const double q = std::atof(r.out.c_str());
  EXPECT_GT(q, 0.0);
  EXPECT_LT(q, 0.04);

  // No chain for IBM on the feed: the quote page's yield, with a note.
  r = Run({"dividend", "IBM"});
  EXPECT_EQ(r.exit_code, 0) << r.err;
  EXPECT_EQ(r.out, "0.02350\n");
  EXPECT_NE(r.err.find("note: the yield of the quote page "), std::string::npos) << r.err;

  // Only one-sided puts: a message, never a number.
  dir_->Write("api/global/delayed_quotes/options/ONE.json",
              R"({"data": {"symbol": "ONE", "current_price": 50, "options": [)"
              R"({"option": "ONE351221C00050000", "bid": 5, "ask": 5.2},)"
              R"({"option": "ONE351221P00050000", "bid": 0, "ask": 3}]}})");
  r = Run({"dividend", "ONE"});
  EXPECT_EQ(r.exit_code, 2);
  EXPECT_EQ(r.out, "");
  EXPECT_NE(r.err.find("The option chain ONE has no expiry with a strike near the money"),
            std::string::npos)
      << r.err;
  // Another underlying's chain (a redirect, a cache) gives no yield; a file
  // without a price is told in a terminal's words.
  dir_->Write("api/global/delayed_quotes/options/OTH.json",
              R"({"data": {"symbol": "PCP", "current_price": "100.00", "options": [)"
              R"({"option": "PCP351221C00100000", "bid": "20.90", "ask": 21.10},)"
              R"({"option": "PCP351221P00100000", "bid": 18.9, "ask": "19.10"}]}})");
  r = Run({"dividend", "OTH", "--maturity", "9"});
  EXPECT_EQ(r.exit_code, 2);
  EXPECT_EQ(r.out, "");
  EXPECT_NE(r.err.find(" is for PCP, not for OTH, the ticker asked for"), std::string::npos)
      << r.err;
  dir_->Write("api/global/delayed_quotes/options/NOP.json", R"({"data": {"symbol": "NOP"}})");
  r = Run({"dividend", "NOP"});
  EXPECT_EQ(r.exit_code, 2);
  EXPECT_NE(r.err.find("shows no price for this security.  Please open the page in a browser"),
            std::string::npos)
      << r.err;
  EXPECT_EQ(r.err.find("bottom window"), std::string::npos) << r.err;
}

TEST_F(CliQuote, RealizedVolatilityFromTheDailyHistory) {
  // 21 closes alternating by +-2 % (log), newest row first, closes as strings.
  std::vector<std::string> rows;
  double close = 50;
  for (int i = 0; i < 21; ++i) {
    char row[128];
    std::snprintf(row, sizeof row, R"({"date": "2026-11-%02d", "close": "%s", "open": null})",
                  i + 1, std::to_string(close).c_str());
    rows.insert(rows.begin(), row);
    close *= std::exp(i % 2 ? -0.02 : 0.02);
  }
  std::string page = R"({"symbol": "VV", "data": [)";
  for (size_t i = 0; i < rows.size(); ++i) page += (i ? "," : "") + rows[i];
  dir_->Write("api/global/delayed_quotes/charts/historical/VV.json", page + "]}");
  dir_->Write("api/global/delayed_quotes/quotes/VV.json", R"({"data": {"iv30": 31.5}})");
  CliResult r = Run({"vol", "VV"});
  ASSERT_EQ(r.exit_code, 0) << r.err;
  // 0.02 sqrt(20/19) sqrt(252); 60 and 250 days have no figure.
  EXPECT_EQ(r.out, "20 0.3257\niv30 0.3150\n");
  EXPECT_NE(r.err.find("note: The history of VV has 21 closes: too few for 60 trading days"),
            std::string::npos)
      << r.err;
  r = Run({"vol", "VV", "--days", "10", "--json"});
  ASSERT_EQ(r.exit_code, 0) << r.err;
  EXPECT_NE(r.out.find(R"("realized":{"10":0.3)"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find(R"("iv30":0.315)"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find(R"("through":"2026-11-21")"), std::string::npos) << r.out;
  r = Run({"vol", "VV", "--days", "30"});
  EXPECT_EQ(r.exit_code, 2);
  EXPECT_EQ(r.out, "");
  r = Run({"vol", "VV", "--days", "1"});
  EXPECT_EQ(r.exit_code, 2);

  // Another security's quote page gives no iv30; another's history no figure.
  dir_->Write("api/global/delayed_quotes/quotes/VV.json",
              R"({"data": {"symbol": "WW", "iv30": 31.5}})");
  r = Run({"vol", "VV"});
  ASSERT_EQ(r.exit_code, 0) << r.err;
  EXPECT_EQ(r.out, "20 0.3257\n");
  EXPECT_NE(r.err.find("note: iv30: The page "), std::string::npos) << r.err;
  EXPECT_NE(r.err.find(" is for WW, not for VV"), std::string::npos) << r.err;
  dir_->Write("api/global/delayed_quotes/charts/historical/VV.json",
              R"({"symbol": "WW", "data": [)" + rows[0] + "," + rows[1] + "," + rows[2] + "]}");
  r = Run({"vol", "VV", "--days", "2"});
  EXPECT_EQ(r.exit_code, 2);
  EXPECT_EQ(r.out, "");
  EXPECT_NE(r.err.find(" is for WW, not for VV"), std::string::npos) << r.err;

  // Days without a trade are passed over, and said; a day after today is
  // refused with nothing printed (it was taken as the latest close).
  dir_->Write("api/global/delayed_quotes/quotes/VV.json", R"({"data": {"iv30": 31.5}})");
  const std::string history = "api/global/delayed_quotes/charts/historical/VV.json";
  dir_->Write(history, R"({"symbol": "VV", "data": [)" + rows[0] + "," + rows[1] +
                           R"(, {"date": "2026-11-19", "close": null}, )" + rows[2] +
                           R"(, {"count": 4}]})");
  r = Run({"vol", "VV", "--days", "2"});
  ASSERT_EQ(r.exit_code, 0) << r.err;
  EXPECT_NE(r.err.find("note: 1 day without a trade and 1 row that is no day (a heading or a "
                       "summary) were passed over"),
            std::string::npos)
      << r.err;
  r = Run({"vol", "VV", "--days", "2", "--json"});
  ASSERT_EQ(r.exit_code, 0) << r.err;
  EXPECT_NE(r.out.find(R"("skipped":{"no_trade":1,"not_days":1})"), std::string::npos) << r.out;
  // Closes missing from the page: the return over them is said.
  dir_->Write(history, R"({"symbol": "VV", "data": [)" + rows[0] + "," + rows[1] + "," + rows[2] +
                           R"(, {"date": "2026-10-01", "close": 50}]})");
  r = Run({"vol", "VV", "--days", "3", "--json"});
  ASSERT_EQ(r.exit_code, 0) << r.err;
  EXPECT_NE(r.err.find("note: the 3-day figure has one return over 49 days (2026-10-01 to "
                       "2026-11-19: closes missing from the history)"),
            std::string::npos)
      << r.err;
  EXPECT_NE(r.out.find(R"("gaps":{"3":{"from":"2026-10-01","to":"2026-11-19"}})"),
            std::string::npos)
      << r.out;
  // Tomorrow in local time, as the program's "today" is.
  const std::time_t now = std::time(nullptr) + 24 * 3600;
  std::tm local{};
  localtime_r(&now, &local);
  char tomorrow[16];
  std::strftime(tomorrow, sizeof tomorrow, "%Y-%m-%d", &local);
  dir_->Write(history, R"({"symbol": "VV", "data": [{"date": ")" + std::string(tomorrow) +
                           R"(", "close": 60}, )" + rows[0] + "," + rows[1] + "," + rows[2] + "]}");
  r = Run({"vol", "VV", "--days", "2"});
  EXPECT_EQ(r.exit_code, 2);
  EXPECT_EQ(r.out, "");
  EXPECT_NE(r.err.find(" has a close dated " + std::string(tomorrow) + ", after today ("),
            std::string::npos)
      << r.err;
  EXPECT_NE(r.err.find("charts/historical/VV.json"), std::string::npos) << r.err;
  // A row whose date cannot be read is named, never passed over.
  dir_->Write(history, R"({"symbol": "VV", "data": [)" + rows[0] + "," + rows[1] +
                           R"(, {"date": "19.11.2026", "close": 51}, )" + rows[2] + "]}");
  r = Run({"vol", "VV", "--days", "2"});
  EXPECT_EQ(r.exit_code, 2);
  EXPECT_EQ(r.out, "");
  EXPECT_NE(r.err.find(R"(Row 3 of )"), std::string::npos) << r.err;
  EXPECT_NE(r.err.find(R"("date":"19.11.2026"}) has a date that cannot be read)"),
            std::string::npos)
      << r.err;
}

TEST_F(CliQuote, FailedFetchesNameTheStatusOrTheTimeOut) {
  const std::string base = server_->BaseUrl();
  CliResult r = Run({"rate", "1"}, "STRATLYN_FRB_URL=" + base + "/_status/500");
  EXPECT_EQ(r.exit_code, 1);
  EXPECT_NE(r.err.find("The series file H15_TCMNOM_M3_2010.txt could not be loaded: HTTP 500 "
                       "(Internal Server Error)"),
            std::string::npos)
      << r.err;
  r = Run({"rate", "1"}, "STRATLYN_FRB_URL=" + base + "/nd");
  EXPECT_EQ(r.exit_code, 1);
  EXPECT_NE(r.err.find("The series file H15_TCMNOM_Y2_2010.txt holds no observation"),
            std::string::npos)
      << r.err;
  r = Run({"quote", "IBM", "--exchange", "CBOE", "--timeout", "1"},
          "STRATLYN_EXCHANGE_URL=" + base + "/_hang");
  EXPECT_EQ(r.exit_code, 1);
  EXPECT_NE(r.err.find("could not be loaded: no answer in 1 s"), std::string::npos) << r.err;
  r = Run({"dividend", "IBM", "--exchange", "CBOE"},
          "STRATLYN_EXCHANGE_URL=" + base + "/_status/503");
  EXPECT_EQ(r.exit_code, 1);
  EXPECT_NE(r.err.find("HTTP 503 (Service Unavailable)"), std::string::npos) << r.err;
  r = Run({"quote", "IBM", "--exchange", "CBOE", "--timeout", "0"});
  EXPECT_EQ(r.exit_code, 2);
}

TEST_F(CliQuote, RateAndDividend) {
  CliResult r = Run({"rate", "0.75"});
  EXPECT_EQ(r.exit_code, 0) << r.err;
  EXPECT_TRUE(stratlyn::testing::IsHalfwayRate(r.out.substr(0, r.out.size() - 1)));
  EXPECT_TRUE(r.out.ends_with('\n'));
  // No Treasury file nor H.15 download on this server: the series files,
  // and the par yield 3.90 % becomes 2 ln(1 + 0.039 / 2) = 0.0386.
  r = Run({"rate", "40"});
  EXPECT_EQ(r.out, "0.0386\n");
  EXPECT_NE(r.err.find("note: H.15 series files of " + Today()), std::string::npos) << r.err;
  EXPECT_NE(r.err.find("(U.S. Treasury par yield curve: The page "), std::string::npos) << r.err;
  r = Run({"rate", "someday"});
  EXPECT_EQ(r.exit_code, 2);
  EXPECT_NE(r.err.find("Invalid Maturity"), std::string::npos);
  // A maturity before today is no maturity: a past date once counted with
  // day and month swapped (the 30th of last month as a year and a half).
  const auto last_month = std::chrono::year_month_day{std::chrono::floor<std::chrono::days>(
                              std::chrono::system_clock::now())} -
                          std::chrono::months{1};
  char past[16];
  std::snprintf(past, sizeof past, "%04d-%02u-28", static_cast<int>(last_month.year()),
                static_cast<unsigned>(last_month.month()));
  for (const std::string& before : {std::string("-0.5"), std::string(past)}) {
    r = Run({"rate", before});
    EXPECT_EQ(r.exit_code, 2) << before << ": " << r.out;
    EXPECT_EQ(r.out, "") << before;
    EXPECT_NE(r.err.find("Invalid Maturity"), std::string::npos) << before << ": " << r.err;
  }

  r = Run({"dividend", "IBM", "--exchange", "CBOE"});
  EXPECT_EQ(r.exit_code, 0) << r.err;
  EXPECT_EQ(r.out, "0.02350\n");
  r = Run({"dividend", "XYZQ", "--exchange", "CBOE"});
  EXPECT_EQ(r.exit_code, 2);
  EXPECT_NE(r.err.find("Unable to locate the dividend yield"), std::string::npos);
}

}  // namespace
