#pragma once
// Reading the last sale price out of the exchange's delayed-quote pages: the
// HTML page (ParseCBOESimpleQuote) and the JSON feed (ParseCBOEFeedQuote).
// Both talk to the user through AppDialogs() and answer with a text:
//   the price formatted "#####0.00000";
//   "" (no price, exchange not supported, or the user was told so);
//   kSeeTable (the user wants the symbol directory);
//   kBlank (the user declined the symbol directory).

#include <chrono>
#include <string>

#include "marketdata/feed_symbol.h"  // every feed quote checks its symbol

namespace stratlyn {

inline constexpr const char* kSeeTable = "seetable";
inline constexpr const char* kBlank = "blank";

// Messages and questions of the parsers (title "Quorvale").
inline constexpr const char* kNoLastPriceMessage =
    "Unable to find last traded price.  Please check the page displayed in the bottom window to "
    "see the source of the problem; if the page looks correct, try getting the data again. For "
    "an option quote, make sure the option ticker, which can differ from the stock ticker, and "
    "the particularly the strike price are set correctly; you can also enter the option ticker "
    "directly.";
inline constexpr const char* kSymbolNotFoundQuestion =
    "Incorrect option root or underlying ticker.  Do you want to bring up the CBOE symbol table "
    "to find the option and stock symbols?";
inline constexpr const char* kFeedUnreadableMessage =
    "Unable to read the delayed quote feed.  Please check the page displayed in the bottom "
    "window to see the source of the problem; if the ticker is correct, try getting the data "
    "again.";
inline constexpr const char* kFeedNoPriceMessage =
    "The delayed quote feed shows no price for this security.  Please check the page displayed "
    "in the bottom window.";
// The same for a terminal, which shows no page: the address follows the text.
inline constexpr const char* kNoLastPriceTerminalMessage =
    "Unable to find last traded price.  Please open the page in a browser to see the source of "
    "the problem; if the page looks correct, try getting the data again. For an option quote, "
    "make sure the option ticker, which can differ from the stock ticker, and particularly the "
    "strike price are given correctly; you can also give the option ticker directly. The page:";
inline constexpr const char* kSymbolNotFoundTerminalMessage =
    "Incorrect option root or underlying ticker.  The CBOE symbol table lists the option and "
    "stock symbols.";
inline constexpr const char* kFeedUnreadableTerminalMessage =
    "Unable to read the delayed quote feed.  Please open the page in a browser to see the source "
    "of the problem; if the ticker is correct, try getting the data again. The page:";
inline constexpr const char* kFeedNoPriceTerminalMessage =
    "The delayed quote feed shows no price for this security.  Please open the page in a browser "
    "to check it:";
inline constexpr const char* kFeedNoOptionMessage =
    "The option is not in the delayed quote feed.  Enter the option ticker in the OCC form "
    "(root, expiration YYMMDD, C or P, strike times 1000 in eight digits), for example "
    "AAPL260116C00150000.";

// Page markers of the HTML quote page, searched exactly as written.
inline constexpr const char* kLastSaleMarker = "Last Sale";
inline constexpr const char* kTickMarker = "Tick";
inline constexpr const char* kSymbolNotFoundMarker = "Symbol not found";

enum class QuoteView { kWindow, kTerminal };

// The panel's fields the parsers read, and the strike they may correct.
struct QuoteContext {
  int maturity_month = 0;  // cmbMaturity's index, 0 = January
  // The strike field's text in the user's locale; a confirmed correction is
  // written here in the user's locale ("130,00" under a comma locale).
  std::string strike;
  std::string strike_found;     // out: the strike text of the page's description ("" if none)
  double strike_corrected = 0;  // out: the corrected strike's value (0 when not corrected)
  // The page's name in messages (its address when known).
  std::string page = "the quote page";
  // The moment of the fetch: "today" for a feed page without its own timestamp.
  std::chrono::system_clock::time_point now = std::chrono::system_clock::now();
  // The ticker whose feed page was asked for ("AAPL", "SPX"; for an option,
  // the ticker of the file that lists it): a page that names another symbol
  // gives no price. "" checks nothing.
  std::string ticker{};
  // Where the messages are read: the window, which shows the page, or a
  // terminal, which does not (its messages name the page's address).
  QuoteView view = QuoteView::kWindow;
};

// Which figure of the feed an option price is.
enum class PriceSource {
  kNone,
  kMid,   // the midpoint of today's two-sided quote
  kLast,  // a trade of today within today's bid and ask
};

// What a quote parser found.
enum class QuoteOutcome {
  kPrice,     // `price` holds the last sale price (positive, within single precision)
  kNone,      // no price: the exchange is not read, or the user has been told why
  kSeeTable,  // the user wants the symbol directory
  kBlank,     // the user declined the symbol directory
};
struct QuoteResult {
  QuoteOutcome outcome = QuoteOutcome::kNone;
  double price = 0;
  // Feed options only: where the price comes from and the quote around it.
  PriceSource source = PriceSource::kNone;
  double bid = 0;
  double ask = 0;
  double last = 0;                // the last trade's price (0 when it never traded)
  std::string last_trade_time{};  // as the feed writes it ("2026-12-07T15:59:00"), or ""
  // "mid of 14.20 / 14.80" or "last trade 40.35 at 15:59"; "" otherwise.
  // Quotes of a page dated before the fetch's day in New York add its date:
  // "mid of 14.20 / 14.80 of 2026-12-04".
  std::string status{};
};

// The numbers of the quote pages: ReadCBOESimpleQuote and ReadCBOEFeedQuote
// work as ParseCBOESimpleQuote and ParseCBOEFeedQuote below, but hand the
// price over as a number; the caller formats it for its field
// (FormatEntryNumber) or its output.
QuoteResult ReadCBOESimpleQuote(const std::string& html, const std::string& exchange,
                                QuoteContext& ctx);
QuoteResult ReadCBOEFeedQuote(const std::string& page, const std::string& option_symbol,
                              QuoteContext& ctx);

// A QuoteResult as the text answer of the parsers: the price with
// "#####0.00000" in the user's locale (FormatEntryNumber), "", kSeeTable or
// kBlank.
std::string QuoteAnswerText(const QuoteResult& result);

// The strike question of the parsers.
std::string StrikeQuestion(const std::string& entered, const std::string& found);

// The last sale price of an HTML quote page for the exchange "CBOE" or "Any"
// ("" for any other exchange), read with a dot decimal whatever the locale:
// the first cell after "Last Sale" (before "Tick"), or, when the label heads
// a column (a <th>, or a cell followed by another label), the cell below it.
// A price that cannot be read, "N/A" or one not above 0 is told to the user
// (kNoLastPriceMessage) and gives "". Also compares the strike in the page's
// option description with ctx.strike and, if the user agrees, corrects it.
std::string ParseCBOESimpleQuote(const std::string& html, const std::string& exchange,
                                 QuoteContext& ctx);

// The price in the exchange's JSON feed page: the underlying's current price
// when option_symbol is empty; otherwise that option's price, which is the
// midpoint of today's two-sided quote (bid > 0, ask >= bid), or a trade of
// today that lies within today's bid and ask; anything else (a one-sided or
// crossed quote, a stale or never made trade) is told to the user
// (NoTwoSidedQuoteMessage) and gives no price. "Today" is the date of the
// page's timestamp (New York time), or of ctx.now in New York. The strike is
// checked as on the HTML page (read from the OCC symbol). `page` may be the
// JSON itself or the HTML a browser shows it in. A page that names another
// symbol than ctx.ticker (OtherFeedSymbol) gives no price
// (OtherSymbolMessage); so does one whose price, bid, ask or last trade is
// kMostShownPrice or more (TooLargePriceMessage).
std::string ParseCBOEFeedQuote(const std::string& page, const std::string& option_symbol,
                               QuoteContext& ctx);

// "no two-sided quote for SYMBOL today; last trade 22.05 on 2026-11-03" (or
// "...; never traded", or "...; last trade 0.10 at 10:31, outside 0.00 / 0.05").
std::string NoTwoSidedQuoteMessage(const std::string& symbol, const std::string& last_part);
// "The quote for SYMBOL on PAGE has a negative bid, ask or last trade".
std::string NegativeQuoteMessage(const std::string& symbol, const std::string& page);
// "crossed quote for SYMBOL today (bid 9.65 above ask 9.35); last trade ...".
std::string CrossedQuoteMessage(const std::string& symbol, double bid, double ask,
                                const std::string& last_part);

inline constexpr const char* kNoDividendMessage = "Unable to locate the dividend yield";

// A feed message of the window ("... the page displayed in the bottom
// window") in the terminal's words with the page's address; any other
// message as it is.
std::string TerminalWording(const std::string& message, const std::string& page);

// Prices are shown with five decimals; from kMostShownPrice on (after that
// rounding), that would be more than the 15 significant digits a double
// holds (DBL_DIG), so a page's price there is refused rather than shown with
// digits it never had.
inline constexpr double kMostShownPrice = 1e10;

// "The price 12345678901234567890 on PAGE has more digits than a price field
// shows (below 10000000000 with five decimals): no price was taken".
std::string TooLargePriceMessage(const std::string& page, const std::string& text);

// The dividend yield (per cent) of a quote page: the first "Yield" label
// that follows "EPS" (or the first when there is no "EPS"), a cell reading
// "Yield", "Div Yield", "Div. Yield" or "Dividend Yield" (with or without
// "(%)"), on a quote page (one that shows "Last Sale"): another page's
// "10-Yr Yield" is never taken. Its figure is the first cell in the 100
// characters after it (FirstCellText), or the cell below when the label heads
// a column, read strictly (ReadFetchedFigure, a yield). False, after
// kNoDividendMessage, when the page shows no yield there: no label, an empty
// cell, "N/A" or a negative figure; after NotAFigureMessage (naming `page`)
// when the cell holds text that is not a figure ("2,35%").
bool ReadDividendYield(const std::string& html, double& percent,
                       const std::string& page = "the quote page");

// Replaces every CR LF pair by two blanks; the length does not change.
void BlankLineBreaks(std::string& text);

// The number at the start of `text` after leading blanks, with a dot
// decimal in every locale (0 when there is none).
double LeadingValue(const std::string& text);

// The JSON text inside a page: the page itself when it starts with '{' or '[',
// otherwise the text of its markup with the HTML entities a browser writes
// (&quot; &amp; &lt; &gt; &#39;) decoded, from its first '{' to its last '}'.
std::string JsonFromPage(const std::string& page);

}  // namespace stratlyn
