#include "marketdata/quote_parser.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <utility>
#include <vector>

#include "marketdata/html_extract.h"
#include "marketdata/occ_symbol.h"
#include "marketdata/page_charset.h"
#include "marketdata/page_figure.h"
#include "support/fake_services.h"
#include "util/entry_locales.h"
#include "util/format.h"
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
            InField("40.35000"));  // mid of 40.10 / 40.60
  EXPECT_EQ(ctx.strike_found, "150.00");
  EXPECT_EQ(services.dialogs.Count(), 0u);
  // Not traded: the bid/ask midpoint too; the OCC strike 190 differs from the field.
  services.dialogs.Answer(MsgAnswer::Yes);
  EXPECT_EQ(ParseCBOEFeedQuote(options, "AAPL270115C00190000", ctx), InField("14.50000"));
  EXPECT_EQ(services.dialogs.LastText(), StrikeQuestion("150", "190.00"));
  EXPECT_EQ(ctx.strike, InField("190.00"));
  // No trade and no quotes, an unknown option, a page that is not JSON.
  EXPECT_EQ(ParseCBOEFeedQuote(options, "AAPL270115P00150000", ctx), "");
  EXPECT_EQ(services.dialogs.LastText(),
            NoTwoSidedQuoteMessage("AAPL270115P00150000", "never traded"));
  EXPECT_EQ(ParseCBOEFeedQuote(options, "AAPL270115P00999000", ctx), "");
  EXPECT_EQ(services.dialogs.LastText(), kFeedNoOptionMessage);
  EXPECT_EQ(ParseCBOEFeedQuote("<h1>404 Not Found</h1>", "", ctx), "");
  EXPECT_EQ(services.dialogs.LastText(), kFeedUnreadableMessage);
  EXPECT_EQ(ParseCBOEFeedQuote("{\"data\": {\"current_price\": \"n/a\"}}", "", ctx), "");
  EXPECT_EQ(services.dialogs.LastText(), kFeedNoPriceMessage);
  // A price the five decimals would show as 0.00000 is no price either.
  EXPECT_EQ(ParseCBOEFeedQuote("{\"data\": {\"current_price\": 1e-30}}", "", ctx), "");
  EXPECT_EQ(services.dialogs.LastText(), kFeedNoPriceMessage);
  EXPECT_EQ(ParseCBOEFeedQuote("{\"data\": {\"current_price\": 0.000004}}", "", ctx), "");
  EXPECT_EQ(ParseCBOEFeedQuote("{\"data\": {\"current_price\": 0.00001}}", "", ctx),
            InField("0.00001"));
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

TEST(ParseCBOEFeedQuote, APageForAnotherSymbolGivesNoPrice) {
  testing::FakeServices services;
  QuoteContext ctx;
  ctx.page = "http://127.0.0.1/q.json";
  const auto page = [](const std::string& data_symbol, const std::string& top_symbol) {
    return R"({"data": {)" + (data_symbol.empty() ? "" : R"("symbol": )" + data_symbol + ", ") +
           R"("current_price": 410.5})" +
           (top_symbol.empty() ? "" : R"(, "symbol": )" + top_symbol) + "}";
  };
  // Another stock's page, whichever of its symbols names it: refused, no price.
  ctx.ticker = "AAPL";
  for (const auto& [data, top] :
       std::vector<std::pair<std::string, std::string>>{{R"("MSFT")", ""},
                                                        {"", R"("MSFT")"},
                                                        {R"("AAPL")", R"("MSFT")"},
                                                        {R"("MSFT")", "null"}}) {
    const QuoteResult r = ReadCBOEFeedQuote(page(data, top), "", ctx);
    EXPECT_EQ(r.outcome, QuoteOutcome::kNone) << data << top;
    EXPECT_EQ(r.price, 0);
    EXPECT_EQ(services.dialogs.LastText(), OtherSymbolMessage(ctx.page, "MSFT", "AAPL"));
  }
  EXPECT_EQ(ParseCBOEFeedQuote(page("7", ""), "", ctx), "");  // a symbol that is no text
  EXPECT_EQ(services.dialogs.LastText(), OtherSymbolMessage(ctx.page, "7", "AAPL"));
  // The same security however written; a page that names none stays read.
  const size_t shown = services.dialogs.Count();
  for (const char* same : {R"("AAPL")", R"("aapl")", R"(" AAPL ")", "null", R"("")", R"("-")"}) {
    EXPECT_EQ(ParseCBOEFeedQuote(page(same, same), "", ctx), InField("410.50000")) << same;
  }
  EXPECT_EQ(ParseCBOEFeedQuote(page("", ""), "", ctx), InField("410.50000"));
  for (const char* ticker : {"SPX", "_SPX", "^spx", " $SPX"}) {
    ctx.ticker = ticker;
    for (const char* symbol : {R"("_SPX")", R"("^SPX")", R"("SPX")", R"("_spx")"}) {
      EXPECT_EQ(ParseCBOEFeedQuote(page(symbol, symbol), "", ctx), InField("410.50000"))
          << ticker << " " << symbol;
    }
  }
  EXPECT_EQ(services.dialogs.Count(), shown) << services.dialogs.LastText();
  EXPECT_EQ(ParseCBOEFeedQuote(page(R"("_SPXW")", ""), "", ctx), "");  // another index
  EXPECT_EQ(services.dialogs.LastText(), OtherSymbolMessage(ctx.page, "_SPXW", "$SPX"));
  ctx.ticker = "^";  // a ticker that names nothing matches no symbol
  EXPECT_EQ(ParseCBOEFeedQuote(page(R"("MSFT")", ""), "", ctx), "");
  EXPECT_EQ(services.dialogs.LastText(), OtherSymbolMessage(ctx.page, "MSFT", "^"));
  ctx.ticker = "";  // nothing asked for: nothing checked
  EXPECT_EQ(ParseCBOEFeedQuote(page(R"("MSFT")", ""), "", ctx), InField("410.50000"));

  // Options: the page must be the file of the chain asked for.
  const std::string chain = R"({"data": {"symbol": "_SPX", "options": [)"
                            R"({"option": "SPXW351221C06000000", "bid": 40.8, "ask": 41.2}]}})";
  ctx.ticker = "SPX";
  EXPECT_EQ(ParseCBOEFeedQuote(chain, "SPXW351221C06000000", ctx), InField("41.00000"));
  ctx.ticker = "NDX";
  EXPECT_EQ(ParseCBOEFeedQuote(chain, "SPXW351221C06000000", ctx), "");
  EXPECT_EQ(services.dialogs.LastText(), OtherSymbolMessage(ctx.page, "_SPX", "NDX"));
  EXPECT_EQ(OtherFeedSymbol(chain, "NDX"), "_SPX");
  EXPECT_EQ(OtherFeedSymbol(chain, "^SPX"), "");
  EXPECT_EQ(OtherFeedSymbol("<h1>404</h1>", "SPX"), "");
  EXPECT_TRUE(SameTicker("BRK.B", "brk/b"));
  EXPECT_FALSE(SameTicker("BRK.B", "BRK.A"));
  EXPECT_FALSE(SameTicker("SPX", "SPXW"));
  // A history whose rows name their symbol, and a key written in another
  // case, were taken whatever they named.
  const std::string rows = R"([{"symbol": "MSFT", "date": "2026-12-01", "close": 410},)"
                           R"( {"symbol": "MSFT", "date": "2026-12-02", "close": 412}])";
  EXPECT_EQ(OtherFeedSymbol(rows, "AAPL"), "MSFT");
  EXPECT_EQ(OtherFeedSymbol(R"({"data": )" + rows + "}", "AAPL"), "MSFT");
  EXPECT_EQ(OtherFeedSymbol(R"({"data": )" + rows + "}", "msft"), "");
  EXPECT_EQ(OtherFeedSymbol(R"({"data": [{"date": "2026-12-01", "close": 1}]})", "AAPL"), "");
  EXPECT_EQ(OtherFeedSymbol(R"({"data": {"Symbol": "MSFT"}})", "AAPL"), "MSFT");
  EXPECT_EQ(OtherFeedSymbol(R"({"SYMBOL": "^SPX"})", "_SPX"), "");
}

TEST(ParseCBOEFeedQuote, PricesBeyondTheShownDigitsAreRefused) {
  testing::FakeServices services;
  QuoteContext ctx;
  ctx.page = "http://127.0.0.1/q.json";
  // Five decimals of a price under 1e10 are 15 significant digits: shown as
  // the page writes them.
  EXPECT_EQ(ParseCBOEFeedQuote(R"({"data": {"current_price": 9999999999.99999}})", "", ctx),
            InField("9999999999.99999"));
  EXPECT_EQ(ParseCBOEFeedQuote(R"({"data": {"current_price": "1,234,567,890.12345"}})", "", ctx),
            InField("1234567890.12345"));
  EXPECT_EQ(services.dialogs.Count(), 0u);
  // Above, the digits shown would not be the page's: refused, naming its figure.
  // The message shows the page's figure, or as much of it as a double holds.
  for (const auto& [figure, text] : std::vector<std::pair<std::string, std::string>>{
           {"12345678901234567890", "12345678901234567890"},
           {"10000000000", "10000000000"},
           {"9999999999.999999", "10000000000"},
           {"1.2345678901234567e19", "1.23456789012346e+19"},
           {"1E20", "1e+20"},
           {"3.5e38", "3.5e+38"},
           {R"("12,345,678,901.5")", "12,345,678,901.5"}}) {
    const std::string page = R"({"data": {"current_price": )" + figure + "}}";
    const QuoteResult r = ReadCBOEFeedQuote(page, "", ctx);
    EXPECT_EQ(r.outcome, QuoteOutcome::kNone) << figure;
    EXPECT_EQ(services.dialogs.LastText(), TooLargePriceMessage(ctx.page, text));
  }
  // An option's bid, ask or last trade.
  for (const char* quote : {R"("bid": 1, "ask": 2e10)", R"("bid": 12345678901, "ask": 12345678902)",
                            R"("bid": 1, "ask": 2, "last_trade_price": "99999999999")"}) {
    const std::string page =
        std::string(R"({"data": {"options": [{"option": "X", )") + quote + "}]}}";
    EXPECT_EQ(ReadCBOEFeedQuote(page, "X", ctx).outcome, QuoteOutcome::kNone) << quote;
    EXPECT_EQ(services.dialogs.LastText().rfind("The price ", 0), 0u)
        << services.dialogs.LastText();
  }
  // The HTML page's cell as it stands.
  EXPECT_EQ(
      ParseCBOESimpleQuote("<td>Last Sale</td><td>12345678901.25</td><td>Tick</td>", "CBOE", ctx),
      "");
  EXPECT_EQ(services.dialogs.LastText(), TooLargePriceMessage(ctx.page, "12345678901.25"));
}

TEST(ParseCBOEFeedQuote, ATerminalIsToldTheAddressNotTheWindow) {
  testing::FakeServices services;
  QuoteContext ctx;
  ctx.page = "http://127.0.0.1/q.json";
  ctx.view = QuoteView::kTerminal;
  EXPECT_EQ(ParseCBOEFeedQuote(R"({"data": {"current_price": 0}})", "", ctx), "");
  EXPECT_EQ(services.dialogs.LastText(),
            std::string(kFeedNoPriceTerminalMessage) + " http://127.0.0.1/q.json");
  EXPECT_EQ(ParseCBOEFeedQuote("<h1>404</h1>", "", ctx), "");
  EXPECT_EQ(services.dialogs.LastText(),
            std::string(kFeedUnreadableTerminalMessage) + " http://127.0.0.1/q.json");
  EXPECT_EQ(ParseCBOESimpleQuote("<p>Service unavailable</p>", "CBOE", ctx), "");
  EXPECT_EQ(services.dialogs.LastText(),
            std::string(kNoLastPriceTerminalMessage) + " http://127.0.0.1/q.json");
  // No question a terminal cannot act on.
  EXPECT_EQ(ReadCBOESimpleQuote(Fixture("symbol_not_found.htm"), "CBOE", ctx).outcome,
            QuoteOutcome::kNone);
  EXPECT_EQ(services.dialogs.LastText(), kSymbolNotFoundTerminalMessage);
  EXPECT_EQ(services.dialogs.Last().buttons, MsgButtons::Ok);
  for (const char* text : {kNoLastPriceTerminalMessage, kFeedUnreadableTerminalMessage,
                           kFeedNoPriceTerminalMessage, kSymbolNotFoundTerminalMessage}) {
    const std::string t = text;
    for (const char* window_word : {"window", "click", "menu", "Do you want"}) {
      EXPECT_EQ(t.find(window_word), std::string::npos) << t;
    }
  }
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

namespace stratlyn {
namespace {

// Pages laid out unlike the exchange's own: labels heading columns, cells
// without spacer cells between them, empty and N/A cells.
TEST(QuotePageLayouts, HeaderRowLabelsReadTheCellBelow) {
  testing::FakeServices services;
  const std::string page = Fixture("quote_header_row.htm");
  ASSERT_FALSE(page.empty());
  QuoteContext ctx;
  const QuoteResult r = ReadCBOESimpleQuote(page, "CBOE", ctx);
  EXPECT_EQ(r.outcome, QuoteOutcome::kPrice);
  EXPECT_DOUBLE_EQ(r.price, 123.45);
  EXPECT_EQ(services.dialogs.Count(), 0u);
  double yield = 0;
  ASSERT_TRUE(ReadDividendYield(page, yield));
  EXPECT_DOUBLE_EQ(yield, 3.10);
  // A colspan before the label shifts the column below by its span.
  const std::string spanned =
      "<table><tr><th colspan=\"2\">Name</th><th>Last Sale</th><th>Tick</th></tr>"
      "<tr><td>IBM</td><td>NYSE</td><td>77.5</td><td>Up</td></tr></table>";
  EXPECT_DOUBLE_EQ(ReadCBOESimpleQuote(spanned, "CBOE", ctx).price, 77.5);
}

TEST(QuotePageLayouts, AdjacentCellsNeverJoinIntoOneFigure) {
  testing::FakeServices services;
  const std::string page = Fixture("quote_adjacent_cells.htm");
  QuoteContext ctx;
  const QuoteResult r = ReadCBOESimpleQuote(page, "CBOE", ctx);
  EXPECT_EQ(r.outcome, QuoteOutcome::kPrice);
  EXPECT_DOUBLE_EQ(r.price, 0.125);  // not 0.125-0.005 run together, nor 125 in a comma locale
  double yield = 0;
  ASSERT_TRUE(ReadDividendYield(page, yield));
  EXPECT_DOUBLE_EQ(yield, 2.35);  // not "2.35%P/E10.4" read as 2 + 35/10.4
  EXPECT_EQ(services.dialogs.Count(), 0u);
  // The row of the issue, as it stands, on a quote page.
  ASSERT_TRUE(
      ReadDividendYield("<tr><td>Last Sale</td><td>1</td></tr>"
                        "<tr><td>Yield</td><td>2.35%</td><td>P/E</td><td>10.4</td></tr>",
                        yield));
  EXPECT_DOUBLE_EQ(yield, 2.35);
}

TEST(QuotePageLayouts, EmptyOrNAFiguresAreToldNeverZero) {
  testing::FakeServices services;
  const std::string page = Fixture("quote_empty_yield.htm");
  QuoteContext ctx;
  // N/A as the last sale: no price, and the user is told.
  EXPECT_EQ(ReadCBOESimpleQuote(page, "CBOE", ctx).outcome, QuoteOutcome::kNone);
  EXPECT_EQ(services.dialogs.LastText(), kNoLastPriceMessage);
  EXPECT_EQ(ParseCBOESimpleQuote(page, "CBOE", ctx), "");
  // An empty Yield cell is no yield, not 10/16 from the P/E cell.
  double yield = -1;
  EXPECT_FALSE(ReadDividendYield(page, yield));
  EXPECT_EQ(yield, -1);
  EXPECT_EQ(services.dialogs.LastText(), kNoDividendMessage);
  const std::string quote_page = "<td>Last Sale</td><td>1</td>";
  EXPECT_FALSE(ReadDividendYield(quote_page + "<td>Yield</td><td>&nbsp;</td><td>10.4</td>", yield));
  EXPECT_FALSE(ReadDividendYield(quote_page + "<td>Yield</td><td>N/A</td>", yield));
  EXPECT_FALSE(ReadDividendYield(quote_page + "<td>Yield</td><td>-1.5%</td><td>x</td>", yield));
  EXPECT_EQ(services.dialogs.LastText(), kNoDividendMessage);
  EXPECT_EQ(yield, -1);

  const size_t shown = services.dialogs.Count();
  const auto price_of = [&](const std::string& cell) {
    return ReadCBOESimpleQuote("<tr><td>Last Sale</td><td>" + cell + "</td><td>Tick</td></tr>",
                               "CBOE", ctx);
  };
  // A price of 0, a figure beyond single precision, a fraction over 0.
  EXPECT_EQ(price_of("0.00").outcome, QuoteOutcome::kNone);
  EXPECT_EQ(price_of("340282366920938463463374607431768211456000.00").outcome, QuoteOutcome::kNone);
  EXPECT_EQ(price_of("1/0").outcome, QuoteOutcome::kNone);
  EXPECT_EQ(services.dialogs.Count(), shown + 3);
  // What the page conventions do allow.
  EXPECT_DOUBLE_EQ(price_of("1,234.50").price, 1234.5);
  EXPECT_DOUBLE_EQ(price_of("<b>12</b><b>.5</b>").price, 12.5);
  // Typed-entry forms are no page figures: refused, naming the text.
  ctx.page = "http://127.0.0.1/q";
  for (const char* typed : {"$1,234.50", "2413/16", "12,50", "1.234,50"}) {
    EXPECT_EQ(price_of(typed).outcome, QuoteOutcome::kNone) << typed;
    EXPECT_EQ(services.dialogs.LastText(), NotAFigureMessage("http://127.0.0.1/q", typed));
  }
}

TEST(QuotePageLayouts, NumbersReachCallersAndFieldsGetTheUserLocale) {
  testing::FakeServices services;
  const std::string page = Fixture("quote_option.htm");
  {
    testing::ScopedEntryLocale comma(testing::CommaLocale());
    QuoteContext ctx{0, "125", {}, 0};
    services.dialogs.Answer(MsgAnswer::Yes);
    const QuoteResult r = ReadCBOESimpleQuote(page, "CBOE", ctx);
    EXPECT_DOUBLE_EQ(r.price, 3.25);
    EXPECT_EQ(QuoteAnswerText(r), "3,25000");
    // The corrected strike goes into the field as the field reads it back.
    EXPECT_EQ(ctx.strike, "130,00");
    EXPECT_DOUBLE_EQ(ctx.strike_corrected, 130.0);
    EXPECT_EQ(ctx.strike_found, "130.00");
    // A field of 130,00 agrees with the page's 130.00: no question.
    const size_t shown = services.dialogs.Count();
    ReadCBOESimpleQuote(page, "CBOE", ctx);
    EXPECT_EQ(services.dialogs.Count(), shown);
    EXPECT_EQ(FormatEntryNumber(187.44, "#####0.00000"), "187,44000");
  }
  testing::ScopedEntryLocale dot(testing::DotLocale());
  EXPECT_EQ(QuoteAnswerText({QuoteOutcome::kPrice, 187.44}), "187.44000");
  EXPECT_EQ(QuoteAnswerText({QuoteOutcome::kSeeTable, 0}), kSeeTable);
  EXPECT_EQ(QuoteAnswerText({QuoteOutcome::kBlank, 0}), kBlank);
  EXPECT_EQ(QuoteAnswerText({QuoteOutcome::kNone, 5}), "");
}

TEST(QuotePageLayouts, Windows1252PagesAreReadAsTheBrowserShowsThem) {
  testing::FakeServices services;
  const std::string bytes = Fixture("quote_cp1252.htm");
  ASSERT_NE(bytes.find('\xB7'), std::string::npos);
  EXPECT_EQ(DeclaredCharset("text/html", bytes), "windows-1252");
  EXPECT_EQ(DeclaredCharset("text/html; charset=\"ISO-8859-1\"", bytes), "iso-8859-1");
  const std::string page = PageTextAsUtf8(bytes, "text/html");
  EXPECT_NE(page.find("12\xC2\xB7"
                      "42.75"),
            std::string::npos);
  EXPECT_NE(page.find("Quote \xE2\x80\x93 IBM"), std::string::npos);  // 0x96, the en dash
  QuoteContext ctx;
  // A middle dot inside a figure makes it no figure: refused with the text
  // as the browser shows it, never a guess at which part is the price.
  EXPECT_EQ(ReadCBOESimpleQuote(page, "CBOE", ctx).outcome, QuoteOutcome::kNone);
  EXPECT_EQ(services.dialogs.LastText(), NotAFigureMessage(ctx.page,
                                                           "12\xC2\xB7"
                                                           "42.75"));
  double yield = 0;
  EXPECT_FALSE(ReadDividendYield(page, yield));
  EXPECT_EQ(services.dialogs.LastText(), NotAFigureMessage("the quote page",
                                                           "\xC2\xB7"
                                                           "2.35%"));
  // UTF-8 and undeclared pages pass unchanged.
  EXPECT_EQ(PageTextAsUtf8("a\xC2\xB7"
                           "b",
                           "text/html; charset=utf-8"),
            "a\xC2\xB7"
            "b");
  EXPECT_EQ(PageTextAsUtf8("<meta charset=\"utf-8\">\xC2\xB7", ""),
            "<meta charset=\"utf-8\">\xC2\xB7");
  EXPECT_EQ(PageTextAsUtf8("x\xB7", "text/plain; charset=latin1"), "x\xC2\xB7");
  EXPECT_EQ(PageTextAsUtf8("\x81", "text/html; charset=windows-1252"), "\xEF\xBF\xBD");
}

TEST(HtmlCells, FirstCellAndCellBelow) {
  testing::FakeServices services;
  EXPECT_EQ(FirstCellText("ield</td><td>2.35%</td><td>P/E</td>"), "2.35%");
  EXPECT_EQ(FirstCellText("ield</td><td></td><td>P/E</td>"), "");
  EXPECT_EQ(FirstCellText("ield</td></tr><tr><td>9</td>"), "");         // the row ends: no cell
  EXPECT_EQ(FirstCellText("ield:</b> 2.35%</td><td>x</td>"), "2.35%");  // same cell
  EXPECT_EQ(FirstCellText("ield</b></td><td class=\"v\"><b>1</b>.5</td>"), "1.5");
  EXPECT_EQ(FirstCellText("ield</td><td>2.3"), "");  // cut off: nothing after the last tag
  const std::string table =
      "<table><tr><th>A</th><th>Last Sale</th></tr><tr><td>1</td><td>2</td></tr></table>";
  const size_t label = table.find("Last Sale") + 1;
  EXPECT_TRUE(LabelInHeaderCell(table, label));
  EXPECT_FALSE(LabelInHeaderCell(table, table.find("<td>1") + 1));
  EXPECT_EQ(CellTextBelow(table, label), "2");
  EXPECT_EQ(CellTextBelow(table, table.find(">A<") + 2), "1");
  EXPECT_EQ(CellTextBelow(table, table.find("<td>2") + 5), "");  // the last row
  EXPECT_EQ(CellTextBelow("<p>Last Sale</p><table><tr><td>1</td></tr></table>", 4), "");
  // Malformed: the next row's tag inside the cell's own opening tag.
  EXPECT_EQ(CellTextBelow("<tr><th>L</th></tr><tr><td <tr>x</td>", 9), "");
}

}  // namespace
}  // namespace stratlyn
