#include "marketdata/quote_parser.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <sstream>

#include "marketdata/occ_symbol.h"
#include "support/fake_services.h"
#include "util/locale_info.h"

namespace stratlyn {
namespace {

std::string Fixture(const std::string& name) {
  const char* dir = std::getenv("STRATLYN_TEST_DATA");
  std::ifstream in(std::string(dir ? dir : "tests/data") + "/marketdata/" + name, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

// A figure as the user's locale writes it into a field ("12,50000" under a
// comma locale): the text answers of the parsers go straight into fields.
std::string InField(std::string dotted) {
  const std::string& point = CurrentEntryLocale().decimal_point;
  if (const size_t p = dotted.find('.'); p != std::string::npos) dotted.replace(p, 1, point);
  return dotted;
}

TEST(ParseCBOESimpleQuote, UnderlyingPrice) {
  testing::FakeServices services;
  const std::string page = Fixture("quote_underlying.htm");
  ASSERT_FALSE(page.empty());
  QuoteContext ctx{0, "125", {}};
  EXPECT_EQ(ParseCBOESimpleQuote(page, "CBOE", ctx), InField("12.50000"));
  EXPECT_EQ(ParseCBOESimpleQuote(page, "Any", ctx), InField("12.50000"));
  EXPECT_EQ(ctx.strike, "125");  // no option description on the page
  EXPECT_EQ(services.dialogs.Count(), 0u);
  EXPECT_EQ(ParseCBOESimpleQuote(page, "NYSE", ctx), "");  // other exchanges are not read
  EXPECT_EQ(services.dialogs.Count(), 0u);
}

TEST(ParseCBOESimpleQuote, PagesWithoutAPrice) {
  testing::FakeServices services;
  QuoteContext ctx;
  // "Last Sale" without a later "Tick": empty, silently.
  EXPECT_EQ(ParseCBOESimpleQuote("<td>Last Sale</td><td>5</td>", "CBOE", ctx), "");
  EXPECT_EQ(services.dialogs.Count(), 0u);
  // Neither marker: the user is told.
  EXPECT_EQ(ParseCBOESimpleQuote("<p>Service unavailable</p>", "CBOE", ctx), "");
  ASSERT_EQ(services.dialogs.Count(), 1u);
  EXPECT_EQ(services.dialogs.LastText(), kNoLastPriceMessage);
  EXPECT_EQ(services.dialogs.Last().icon, MsgIcon::Information);
  // Markers are case-sensitive.
  EXPECT_EQ(ParseCBOESimpleQuote("<td>last sale</td><td>5</td><td>Tick", "CBOE", ctx), "");
  EXPECT_EQ(services.dialogs.Count(), 2u);
  // A segment without markup holds no cell to read: no price, and the user
  // is told (never a price of 0).
  EXPECT_EQ(ParseCBOESimpleQuote("Last Sale 12.5 Tick", "CBOE", ctx), "");
  EXPECT_EQ(services.dialogs.Count(), 3u);
  EXPECT_EQ(services.dialogs.LastText(), kNoLastPriceMessage);
}

TEST(ParseCBOESimpleQuote, SymbolNotFoundOffersTheDirectory) {
  testing::FakeServices services;
  const std::string page = Fixture("symbol_not_found.htm");
  QuoteContext ctx;
  services.dialogs.Answer(MsgAnswer::Yes);
  EXPECT_EQ(ParseCBOESimpleQuote(page, "CBOE", ctx), kSeeTable);
  EXPECT_EQ(services.dialogs.LastText(), kSymbolNotFoundQuestion);
  EXPECT_EQ(services.dialogs.Last().buttons, MsgButtons::YesNo);
  services.dialogs.Answer(MsgAnswer::No);
  EXPECT_EQ(ParseCBOESimpleQuote(page, "CBOE", ctx), kBlank);
  EXPECT_EQ(services.dialogs.Count(), 2u);
}

TEST(ParseCBOESimpleQuote, StrikeCheckAgainstTheDescription) {
  testing::FakeServices services;
  const std::string page = Fixture("quote_option.htm");
  // January selected, strike field 125: the page is for 130.00.
  QuoteContext ctx{0, " 125 ", {}};
  services.dialogs.Answer(MsgAnswer::Yes);
  EXPECT_EQ(ParseCBOESimpleQuote(page, "CBOE", ctx), InField("3.25000"));
  ASSERT_EQ(services.dialogs.Count(), 1u);
  EXPECT_EQ(services.dialogs.LastText(), StrikeQuestion("125", "130.00"));
  EXPECT_EQ(
      services.dialogs.LastText(),
      "You entered the strike price 125 while the retrieved quote is for strike 130.00. Do you "
      "want me to correct the strike price?");
  EXPECT_EQ(ctx.strike, InField("130.00"));
  EXPECT_EQ(ctx.strike_found, "130.00");

  // The values are compared, not the texts: 130 and 130.00 agree.
  ctx.strike = "130";
  ParseCBOESimpleQuote(page, "CBOE", ctx);
  EXPECT_EQ(services.dialogs.Count(), 1u);

  // Answering No keeps the field.
  ctx.strike = "125";
  services.dialogs.Answer(MsgAnswer::No);
  ParseCBOESimpleQuote(page, "CBOE", ctx);
  EXPECT_EQ(services.dialogs.Count(), 2u);
  EXPECT_EQ(ctx.strike, "125");

  // Another month: the description does not name it, no question.
  ctx.maturity_month = 1;
  ParseCBOESimpleQuote(page, "CBOE", ctx);
  EXPECT_EQ(services.dialogs.Count(), 2u);
}

TEST(BlankLineBreaks, PairsOnlyAndLengthKept) {
  std::string s = "a\r\nb\n\rc\r\n";
  BlankLineBreaks(s);
  EXPECT_EQ(s, "a  b\n\rc  ");
  EXPECT_EQ(LeadingValue("  130.00 Call"), 130.0);
  EXPECT_EQ(LeadingValue("x130"), 0.0);
  EXPECT_EQ(LeadingValue("-2.5e"), -2.5);
  EXPECT_EQ(LeadingValue("."), 0.0);
}

TEST(ParseCBOEFeedQuote, UnderlyingAndOptions) {
  testing::FakeServices services;
  QuoteContext ctx{0, "150", {}};
  EXPECT_EQ(ParseCBOEFeedQuote(Fixture("feed_quote.json"), "", ctx), InField("187.44000"));
  const std::string options = Fixture("feed_options.json");
  EXPECT_EQ(ParseCBOEFeedQuote(options, "aapl270115c00150000", ctx),
            InField("40.35000"));  // last trade
  EXPECT_EQ(ctx.strike_found, "150.00");
  EXPECT_EQ(services.dialogs.Count(), 0u);
  // Not traded: the bid/ask midpoint; the OCC strike 190 differs from the field.
  services.dialogs.Answer(MsgAnswer::Yes);
  EXPECT_EQ(ParseCBOEFeedQuote(options, "AAPL270115C00190000", ctx), InField("14.50000"));
  EXPECT_EQ(services.dialogs.LastText(), StrikeQuestion("150", "190.00"));
  EXPECT_EQ(ctx.strike, InField("190.00"));
  // No trade and no quotes, an unknown option, a page that is not JSON.
  EXPECT_EQ(ParseCBOEFeedQuote(options, "AAPL270115P00150000", ctx), "");
  EXPECT_EQ(services.dialogs.LastText(), kFeedNoPriceMessage);
  EXPECT_EQ(ParseCBOEFeedQuote(options, "AAPL270115P00999000", ctx), "");
  EXPECT_EQ(services.dialogs.LastText(), kFeedNoOptionMessage);
  EXPECT_EQ(ParseCBOEFeedQuote("<h1>404 Not Found</h1>", "", ctx), "");
  EXPECT_EQ(services.dialogs.LastText(), kFeedUnreadableMessage);
  EXPECT_EQ(ParseCBOEFeedQuote("{\"data\": {\"current_price\": \"n/a\"}}", "", ctx), "");
  EXPECT_EQ(services.dialogs.LastText(), kFeedNoPriceMessage);
}

TEST(ParseCBOEFeedQuote, JsonAsABrowserShowsIt) {
  testing::FakeServices services;
  QuoteContext ctx;
  const std::string shown =
      "<div>Pretty-print</div><pre style=\"word-wrap: break-word;\">{\"data\": {\"symbol\": "
      "\"S&amp;P\", \"current_price\": \"6012.5\"}}</pre>";
  EXPECT_EQ(JsonFromPage(shown),
            "{\"data\": {\"symbol\": \"S&P\", \"current_price\": \"6012.5\"}}");
  EXPECT_EQ(ParseCBOEFeedQuote(shown, "", ctx), InField("6012.50000"));
}

TEST(OccSymbol, ReadingSymbolsAndFeedAddresses) {
  OccSymbol o;
  ASSERT_TRUE(ParseOccSymbol("aapl 260116c00150000", o));
  EXPECT_EQ(o.root, "AAPL");
  EXPECT_EQ(o.year, 2026);
  EXPECT_EQ(o.month, 1);
  EXPECT_EQ(o.day, 16);
  EXPECT_FALSE(o.put);
  EXPECT_DOUBLE_EQ(o.strike, 150.0);
  ASSERT_TRUE(ParseOccSymbol("SPXW261218P05912500", o));
  EXPECT_TRUE(o.put);
  EXPECT_DOUBLE_EQ(o.strike, 5912.5);
  EXPECT_FALSE(ParseOccSymbol("IBM AZ-E", o));
  EXPECT_FALSE(ParseOccSymbol("AAPL261316C00150000", o));  // month 13
  EXPECT_FALSE(ParseOccSymbol("AAPL260116X00150000", o));

  EXPECT_EQ(FeedTicker(" aapl "), "AAPL");
  EXPECT_EQ(FeedTicker("spx"), "_SPX");
  EXPECT_EQ(FeedTicker("^rut"), "_RUT");
  EXPECT_EQ(FeedTicker("$ABC"), "_ABC");
  EXPECT_EQ(EncodeUrlPart("BRK B&x=1"), "BRK%20B%26x%3D1");
  setenv("STRATLYN_FEED_URL", "http://127.0.0.1:9", 1);
  EXPECT_EQ(FeedQuoteUrl("vix"), "http://127.0.0.1:9/api/global/delayed_quotes/quotes/_VIX.json");
  EXPECT_EQ(FeedOptionsUrl("AAPL"),
            "http://127.0.0.1:9/api/global/delayed_quotes/options/AAPL.json");
  EXPECT_EQ(FeedQuoteUrl("  "), "");
  unsetenv("STRATLYN_FEED_URL");
}

}  // namespace
}  // namespace stratlyn
