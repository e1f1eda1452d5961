#pragma once
// Realized (historical) volatility from the exchange feed's daily history:
// close-to-close log returns over the last N trading days, their sample
// standard deviation annualised with sqrt(252).

#include <chrono>
#include <optional>
#include <string>
#include <vector>

namespace stratlyn {

struct DailyClose {
  std::chrono::year_month_day date{};
  double close = 0;
};

// The daily closes of a history page, oldest first (the feed's
// {"data": [{"date": "YYYY-MM-DD", "close": ...}, ...]} in any row order;
// a page may also be the bare array, or the HTML a browser shows it in).
// Rows without a date or a close (null, empty or 0: no trade that day) are
// passed over; rows of the same date must give the same close. Nothing, with
// `message` set, for a page that is not such a history, a close that is not a
// figure, one that is no price (negative, below kLeastShownPrice, or
// kMostShownPrice and above), or two different closes of one day, naming
// `page_name`.
std::optional<std::vector<DailyClose>> ReadDailyCloses(const std::string& page,
                                                       const std::string& page_name,
                                                       std::string& message);

// The annualised volatility of the last `days` returns (days + 1 closes);
// nothing when the history is shorter or days < 2.
std::optional<double> RealizedVolatility(const std::vector<DailyClose>& closes, int days);

// The windows "Historical Volatilities" shows.
inline constexpr int kVolatilityWindows[3] = {20, 60, 250};

// "The close of DATE on PAGE is X, which is no price".
std::string NoCloseMessage(const std::string& page_name, const std::string& date, double close);

// "The page PAGE gives two closes for DATE (X and Y): no volatility was taken from it".
std::string TwoClosesMessage(const std::string& page_name, const std::string& date, double first,
                             double second);

// "The history of NAME has N closes: too few for D trading days".
std::string TooShortHistoryMessage(const std::string& name, size_t closes, int days);

}  // namespace stratlyn
