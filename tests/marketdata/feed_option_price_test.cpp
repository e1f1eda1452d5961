// Option prices from the exchange's JSON feed: what each price is, and which
// quotes give none.

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <sstream>

#include "marketdata/civil_date.h"
#include "marketdata/exchange_time.h"
#include "marketdata/page_figure.h"
#include "marketdata/quote_parser.h"
#include "support/fake_services.h"

namespace stratlyn {
namespace {

using namespace std::chrono;

std::string Fixture(const std::string& name) {
  const char* dir = std::getenv("STRATLYN_TEST_DATA");
  std::ifstream in(std::string(dir ? dir : "tests/data") + "/marketdata/" + name, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

QuoteResult Read(const std::string& page, const std::string& symbol) {
  QuoteContext ctx;
  // The fetch on the fixture's own day, 2026-12-08 at 16:20 New York.
  ctx.now = sys_days{2026y / December / 8} + hours{21} + minutes{20};
  ctx.strike =
      symbol.empty() ? "" : std::to_string(std::stoi(symbol.substr(symbol.size() - 8)) / 1000);
  return ReadCBOEFeedQuote(page, symbol, ctx);
}

TEST(FeedOptionPrice, TwoSidedQuotesGiveTheirMidpointWhateverTheLastTrade) {
  testing::FakeServices services;
  const std::string page = Fixture("feed_chain_soft.json");
  ASSERT_FALSE(page.empty());
  // Quoted 14.20 / 14.80 today, last traded at 22.05 five weeks ago (the
  // bid is a string in the feed): the midpoint, never the old trade.
  QuoteResult r = Read(page, "AAPL270115C00190000");
  ASSERT_EQ(r.outcome, QuoteOutcome::kPrice);
  EXPECT_EQ(r.source, PriceSource::kMid);
  EXPECT_DOUBLE_EQ(r.price, 14.5);
  EXPECT_EQ(r.status, "mid of 14.20 / 14.80");
  EXPECT_EQ(r.last_trade_time, "2026-11-03T10:12:44");
  // Quoted 9.35 / 9.65, last 9.90 the day before (above the ask): 9.50.
  r = Read(page, "AAPL270115C00200000");
  EXPECT_DOUBLE_EQ(r.price, 9.5);
  EXPECT_EQ(r.status, "mid of 9.35 / 9.65");
  EXPECT_DOUBLE_EQ(r.bid, 9.35);
  EXPECT_DOUBLE_EQ(r.ask, 9.65);
  EXPECT_EQ(services.dialogs.Count(), 0u);
}

TEST(FeedOptionPrice, QuotesOfAnotherDayCarryTheirDate) {
  testing::FakeServices services;
  QuoteContext ctx;
  ctx.strike = "190";
  ctx.now = sys_days{2026y / December / 14} + hours{15};  // the Monday after
  const QuoteResult r =
      ReadCBOEFeedQuote(Fixture("feed_chain_soft.json"), "AAPL270115C00190000", ctx);
  EXPECT_EQ(r.source, PriceSource::kMid);
  EXPECT_EQ(r.status, "mid of 14.20 / 14.80 of 2026-12-08");
}

TEST(FeedOptionPrice, OneSidedQuotesTakeOnlyATradeOfTodayInsideThem) {
  testing::FakeServices services;
  const std::string page = Fixture("feed_chain_soft.json");
  // 0.00 / 0.05 with a trade at 0.03 today at 11:02.
  QuoteResult r = Read(page, "AAPL261218C00300000");
  ASSERT_EQ(r.outcome, QuoteOutcome::kPrice);
  EXPECT_EQ(r.source, PriceSource::kLast);
  EXPECT_DOUBLE_EQ(r.price, 0.03);
  EXPECT_EQ(r.status, "last trade 0.03 at 11:02");
  EXPECT_EQ(services.dialogs.Count(), 0u);

  // The same quote with a trade of three weeks ago: a message, no number.
  r = Read(page, "AAPL261218C00310000");
  EXPECT_EQ(r.outcome, QuoteOutcome::kNone);
  EXPECT_EQ(r.price, 0);
  EXPECT_EQ(services.dialogs.LastText(),
            "no two-sided quote for AAPL261218C00310000 today; last trade 0.04 on 2026-11-20");
  // A trade of today above the only quote.
  r = Read(page, "AAPL261218C00250000");
  EXPECT_EQ(r.outcome, QuoteOutcome::kNone);
  EXPECT_EQ(services.dialogs.LastText(),
            NoTwoSidedQuoteMessage("AAPL261218C00250000",
                                   "last trade 0.20 at 12:00, outside 0.00 / 0.10"));
  // No quote at all, never traded (nulls in every field).
  r = Read(page, "AAPL261218P00100000");
  EXPECT_EQ(r.outcome, QuoteOutcome::kNone);
  EXPECT_EQ(services.dialogs.LastText(),
            NoTwoSidedQuoteMessage("AAPL261218P00100000", "never traded"));
  // A bid without an ask, even with a trade of today at the bid.
  r = Read(page, "AAPL261218C00230000");
  EXPECT_EQ(r.outcome, QuoteOutcome::kNone);
}

TEST(FeedOptionPrice, CrossedQuotesAndUnreadableFiguresAreRefused) {
  testing::FakeServices services;
  const std::string page = Fixture("feed_chain_soft.json");
  QuoteResult r = Read(page, "AAPL261218P00150000");
  EXPECT_EQ(r.outcome, QuoteOutcome::kNone);
  EXPECT_EQ(services.dialogs.LastText(),
            "crossed quote for AAPL261218P00150000 today (bid 1.30 above ask 1.10); last trade "
            "1.25 on 2026-12-04");
  // A bid written "1,20" is no figure: refused, naming the page and the
  // text, never read as 120 nor passed over as a one-sided quote.
  QuoteContext ctx;
  ctx.strike = "240";
  ctx.page = "http://127.0.0.1/options/AAPL.json";
  r = ReadCBOEFeedQuote(page, "AAPL261218C00240000", ctx);
  EXPECT_EQ(r.outcome, QuoteOutcome::kNone);
  EXPECT_EQ(services.dialogs.LastText(),
            NotAFigureMessage("http://127.0.0.1/options/AAPL.json", "1,20"));
}

TEST(FeedOptionPrice, NegativeOrNonNumericQuotesAreRefused) {
  testing::FakeServices services;
  const auto read = [](const std::string& bid) {
    QuoteContext ctx;
    ctx.strike = "10";
    ctx.page = "P";
    return ReadCBOEFeedQuote(
        R"({"timestamp": "2026-12-08 16:15:00", "data": {"options": [{"option": )"
        R"("XYZ261218C00010000", "bid": )" +
            bid +
            R"(, "ask": 5, "last_trade_price": 3, "last_trade_time": "2026-12-08T10:00:00"}]}})",
        "XYZ261218C00010000", ctx);
  };
  // Read as one-sided quotes these would have taken the trade at 3.00.
  EXPECT_EQ(read("\"\xE2\x88\x92"
                 "5.0\"")
                .outcome,
            QuoteOutcome::kNone);
  EXPECT_EQ(services.dialogs.LastText(), NegativeQuoteMessage("XYZ261218C00010000", "P"));
  EXPECT_EQ(read("-1").outcome, QuoteOutcome::kNone);
  EXPECT_EQ(read("true").outcome, QuoteOutcome::kNone);
  EXPECT_EQ(services.dialogs.LastText(), NotAFigureMessage("P", "true"));
  EXPECT_EQ(read("[1]").outcome, QuoteOutcome::kNone);
  EXPECT_EQ(read("null").source, PriceSource::kLast);  // no bid at all: one-sided
}

TEST(FeedOptionPrice, TodayIsThePagesOwnDateOrNewYorksWithoutOne) {
  testing::FakeServices services;
  // Without a timestamp, "today" is the New York date of the fetch.
  const std::string page =
      R"({"data": {"options": [{"option": "XYZ261218C00010000", "bid": 0, "ask": 1,)"
      R"( "last_trade_price": 0.5, "last_trade_time": "2026-12-08T23:30:00"}]}})";
  QuoteContext ctx;
  ctx.strike = "10";
  // 2026-12-09 03:00 UTC is still 2026-12-08 (22:00) in New York.
  ctx.now = sys_days{2026y / December / 9} + hours{3};
  EXPECT_EQ(ReadCBOEFeedQuote(page, "XYZ261218C00010000", ctx).source, PriceSource::kLast);
  ctx.now = sys_days{2026y / December / 9} + hours{6};  // 01:00 on the 9th in New York
  EXPECT_EQ(ReadCBOEFeedQuote(page, "XYZ261218C00010000", ctx).outcome, QuoteOutcome::kNone);
}

TEST(FeedQuote, UnderlyingPricesReadStrictly) {
  testing::FakeServices services;
  QuoteContext ctx;
  EXPECT_DOUBLE_EQ(ReadCBOEFeedQuote(Fixture("feed_chain_soft.json"), "", ctx).price, 187.44);
  // A string the strict reader refuses never becomes a price.
  for (const char* text : {"1.234,50", "12,50", "187.44 USD", "1e3"}) {
    const std::string page = std::string(R"({"data": {"current_price": ")") + text + "\"}}";
    EXPECT_EQ(ReadCBOEFeedQuote(page, "", ctx).outcome, QuoteOutcome::kNone) << text;
    EXPECT_EQ(services.dialogs.LastText(), NotAFigureMessage(ctx.page, text));
  }
  EXPECT_DOUBLE_EQ(ReadCBOEFeedQuote(R"({"data": {"current_price": "1,234.50"}})", "", ctx).price,
                   1234.5);
}

TEST(DividendYieldPage, AnotherPagesYieldIsNeverTaken) {
  testing::FakeServices services;
  double yield = -1;
  // A front page with the ten-year yield and no quote.
  const std::string front =
      "<html><body><h2>Markets</h2><table><tr><td>10-Yr Yield</td><td>4.18%</td></tr>"
      "<tr><td>S&amp;P 500</td><td>6,012.50</td></tr></table></body></html>";
  EXPECT_FALSE(ReadDividendYield(front, yield));
  EXPECT_EQ(services.dialogs.LastText(), kNoDividendMessage);
  // A quote page that also shows a bond yield before the dividend yield.
  const std::string quote =
      "<table><tr><td>Last Sale</td><td>187.44</td><td>Tick</td></tr>"
      "<tr><td>10-Yr Yield</td><td>4.18%</td></tr>"
      "<tr><td>EPS</td><td>6.1</td><td>Div. Yield (%)</td><td>0.52</td></tr></table>";
  ASSERT_TRUE(ReadDividendYield(quote, yield));
  EXPECT_DOUBLE_EQ(yield, 0.52);
  // The same page without a dividend yield: nothing, not 4.18.
  const std::string no_dividend =
      "<table><tr><td>Last Sale</td><td>187.44</td><td>Tick</td></tr>"
      "<tr><td>EPS</td><td>6.1</td><td>10-Yr Yield</td><td>4.18%</td></tr></table>";
  yield = -1;
  EXPECT_FALSE(ReadDividendYield(no_dividend, yield));
  EXPECT_EQ(yield, -1);
  // A comma-decimal yield is no figure: named, not read as 235 %.
  EXPECT_FALSE(ReadDividendYield("<td>Last Sale</td><td>1</td><td>Yield</td><td>2,35%</td>", yield,
                                 "http://x/q"));
  EXPECT_EQ(services.dialogs.LastText(), NotAFigureMessage("http://x/q", "2,35%"));
}

}  // namespace
}  // namespace stratlyn
