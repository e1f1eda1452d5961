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

// Rows of a history page passed over without a close taken from them, for
// the note that says so beside the figures.
struct SkippedHistoryRows {
  size_t no_trade = 0;  // a day whose close is null, empty or 0: no trade that day
  size_t not_days = 0;  // a row before the first day or after the last with
                        // neither a date nor a close (a heading or a summary)
};

// The daily closes of a history page, oldest first (the feed's
// {"data": [{"date": "YYYY-MM-DD", "close": ...}, ...]} in any row order, the
// keys in any order and case, other keys ignored; a page may also be the
// bare array, or the HTML a browser shows it in). Days whose close is null,
// empty or 0 (no trade that day) are passed over and counted in `skipped`, as
// are rows with neither a date nor a close before the first day or after the
// last. Rows of the same date must give the same close. Nothing, with
// `message` set naming `page_name`, for a page that is not such a history, a
// row that is not an object, a row whose date cannot be read or is missing
// beside a close, a day without a "close", a row with neither among the days,
// a day after `today`, a close that is not a figure, one that is no price
// (negative, below kLeastShownPrice, or kMostShownPrice and above), or two
// different closes of one day, or a key given twice in one object.
std::optional<std::vector<DailyClose>> ReadDailyCloses(const std::string& page,
                                                       const std::string& page_name,
                                                       std::string& message,
                                                       std::chrono::year_month_day today,
                                                       SkippedHistoryRows* skipped = nullptr);

// "2 days without a trade and 1 row that is no day (a heading or a summary)
// were passed over"; "" when no row was.
std::string SkippedRowsNote(const SkippedHistoryRows& skipped);

// "Row N of PAGE (TEXT) WHY: no volatility was taken from it".
std::string BadHistoryRowMessage(const std::string& page_name, size_t row, const std::string& text,
                                 const std::string& why);
namespace history_row {
inline constexpr const char* kNotAnObject = "is not a day's row";
inline constexpr const char* kUnreadableDate = "has a date that cannot be read";
inline constexpr const char* kNoDate = "has a close without a date";
inline constexpr const char* kNoClose = "has a date without a \"close\"";
inline constexpr const char* kNoDay = "has neither a date nor a close, among the days";
inline constexpr const char* kTwoKeys =
    "gives a date or a close twice, under keys that differ only in case, with different values";
}  // namespace history_row

// "The page PAGE is not a daily price history".
std::string NotAHistoryMessage(const std::string& page_name);

// "The page PAGE gives the key "K" twice in one object: no volatility was
// taken from it".
std::string RepeatedKeyMessage(const std::string& page_name, const std::string& key);

// "The page PAGE has a close dated DATE, after today (TODAY): no volatility
// was taken from it".
std::string FutureCloseMessage(const std::string& page_name, const std::string& date,
                               const std::string& today);

// The annualised volatility of the last `days` returns (days + 1 closes);
// nothing when the history is shorter or days < 2.
std::optional<double> RealizedVolatility(const std::vector<DailyClose>& closes, int days);

// Two closes further apart than this many calendar days (a long weekend with
// a holiday is 4, the longest market closures 6 or 7) leave days out of the
// history: one return covers them all.
inline constexpr int kLongestTradingGapDays = 7;
struct HistoryGap {
  std::chrono::year_month_day from{}, to{};
  int days = 0;
};
// The longest gap between consecutive closes of the last `days` returns,
// when it is longer than kLongestTradingGapDays; nothing otherwise or when
// the history is shorter.
std::optional<HistoryGap> GapInWindow(const std::vector<DailyClose>& closes, int days);
// "the 20-day figure has one return over 18 days (2026-03-02 to 2026-03-20:
// closes missing from the history)".
std::string GapNote(int window_days, const HistoryGap& gap);

// The windows "Historical Volatilities" shows.
inline constexpr int kVolatilityWindows[3] = {20, 60, 250};

// "The close of DATE on PAGE is X, which is no price".
std::string NoCloseMessage(const std::string& page_name, const std::string& date, double close);

// "The page PAGE gives two closes for DATE (X and Y): no volatility was taken from it".
std::string TwoClosesMessage(const std::string& page_name, const std::string& date, double first,
                             double second);

// The quote's 30-day implied volatility ("iv30", per cent in the feed) as a
// fraction. A page without one gives none and no note; a figure that is not
// a volatility in per cent (unreadable, not above 0, below 1 %, where the
// page more likely gives a fraction, or above 500 %) gives none and a note
// that says why, so that it is never shown a hundred times too small.
struct Iv30Reading {
  std::optional<double> fraction;
  std::string note;
};
// The note: "the page PAGE gives 0.214, in per cent a volatility below 1 %
// (the page may give a fraction): left out".
Iv30Reading ReadQuoteIv30(const std::string& page, const std::string& page_name);

// "The history of NAME has N closes: too few for D trading days".
std::string TooShortHistoryMessage(const std::string& name, size_t closes, int days);

}  // namespace stratlyn
