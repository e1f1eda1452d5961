#pragma once
// Reading the last sale price out of the exchange's delayed-quote pages: the
// HTML page (ParseCBOESimpleQuote) and the JSON feed (ParseCBOEFeedQuote).
// Both talk to the user through AppDialogs() and answer with a text:
//   the price formatted "#####0.00000";
//   "" (no price, exchange not supported, or the user was told so);
//   kSeeTable (the user wants the symbol directory);
//   kBlank (the user declined the symbol directory).

#include <string>

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
inline constexpr const char* kFeedNoOptionMessage =
    "The option is not in the delayed quote feed.  Enter the option ticker in the OCC form "
    "(root, expiration YYMMDD, C or P, strike times 1000 in eight digits), for example "
    "AAPL260116C00150000.";

// Page markers of the HTML quote page, searched exactly as written.
inline constexpr const char* kLastSaleMarker = "Last Sale";
inline constexpr const char* kTickMarker = "Tick";
inline constexpr const char* kSymbolNotFoundMarker = "Symbol not found";

// The panel's fields the parsers read, and the strike they may correct.
struct QuoteContext {
  int maturity_month = 0;    // cmbMaturity's index, 0 = January
  std::string strike;        // the strike field's text; a confirmed correction is written here
  std::string strike_found;  // out: the strike text of the page's description ("" if none)
};

// The strike question of the parsers.
std::string StrikeQuestion(const std::string& entered, const std::string& found);

// The last sale price of an HTML quote page for the exchange "CBOE" or "Any"
// ("" for any other exchange). Also compares the strike in the page's option
// description with ctx.strike and, if the user agrees, corrects it.
std::string ParseCBOESimpleQuote(const std::string& html, const std::string& exchange,
                                 QuoteContext& ctx);

// The price in the exchange's JSON feed page: the underlying's current price
// when option_symbol is empty, otherwise the last trade of that option (the
// bid/ask midpoint when it has not traded), with the same strike check as
// the HTML page (the strike is read from the OCC symbol). `page` may be the
// JSON itself or the HTML a browser shows it in.
std::string ParseCBOEFeedQuote(const std::string& page, const std::string& option_symbol,
                               QuoteContext& ctx);

inline constexpr const char* kNoDividendMessage = "Unable to locate the dividend yield";

// The dividend yield (per cent) of a quote page: the text after the first
// "Yield" that follows "EPS" (or the first "Yield" when there is no "EPS"),
// 100 characters of it, read through HtmlToText and ParseNumericEntry.
// False when the page shows no yield (the user is told) or the entry cannot
// be read (ParseNumericEntry has told the user).
bool ReadDividendYield(const std::string& html, double& percent);

// Replaces every CR LF pair by two blanks; the length does not change.
void BlankLineBreaks(std::string& text);

// The number at the start of `text` after leading blanks (0 when there is none).
double LeadingValue(const std::string& text);

// The JSON text inside a page: the page itself when it starts with '{' or '[',
// otherwise the text of its markup with the HTML entities a browser writes
// (&quot; &amp; &lt; &gt; &#39;) decoded, from its first '{' to its last '}'.
std::string JsonFromPage(const std::string& page);

}  // namespace stratlyn
