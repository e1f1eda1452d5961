#pragma once
// Option symbols in the OCC form (root, expiration YYMMDD, C or P, strike
// times 1000 in eight digits: AAPL260116C00150000) and the addresses of the
// exchange's JSON delayed-quote feed.

#include <string>

namespace stratlyn {

struct OccSymbol {
  std::string root;  // "AAPL", "SPXW"
  int year = 0;      // four digits
  int month = 0;     // 1..12
  int day = 0;       // 1..31
  bool put = false;
  double strike = 0;
};

// Reads an OCC symbol (blanks ignored, either case). False when `text` is not one.
bool ParseOccSymbol(const std::string& text, OccSymbol& out);

// The feed's name for a ticker: upper case, blanks trimmed; index tickers
// (written with a leading "^", "$", "." or "_", or one of the exchange's
// well-known indexes such as SPX or VIX) take a leading "_".
std::string FeedTicker(const std::string& ticker);

// The feed addresses on sites::FeedUrl(); "" when the ticker is empty.
std::string FeedQuoteUrl(const std::string& ticker);
std::string FeedOptionsUrl(const std::string& ticker);
// The daily price history: /api/global/delayed_quotes/charts/historical/TICKER.json.
std::string FeedHistoryUrl(const std::string& ticker);

// Percent-encodes every byte of `text` except letters, digits and "-._~^".
std::string EncodeUrlPart(const std::string& text);

}  // namespace stratlyn
