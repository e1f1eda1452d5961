#pragma once
// The exchange's clock: New York time (Eastern, with the United States'
// daylight-saving rule) and the moment a listed option stops: 16:00 New York
// on its expiration date, 09:30 for the morning-settled index roots.

#include <chrono>
#include <string>

#include "marketdata/occ_symbol.h"

namespace stratlyn {

// The offset of New York from UTC at the instant `t` (-5 h or -4 h).
std::chrono::seconds NewYorkOffset(std::chrono::sys_seconds t);

// The instant of the New York wall-clock time `minutes` after midnight of `d`.
std::chrono::sys_seconds NewYorkTime(std::chrono::year_month_day d, int minutes);

// The New York calendar date and minutes after midnight of the instant `t`.
std::chrono::year_month_day NewYorkDate(std::chrono::sys_seconds t);
int NewYorkMinutes(std::chrono::sys_seconds t);

// True for the index roots whose standard monthly options settle at the
// morning's opening prints (SPX, NDX, RUT, VIX): they stop at 09:30.
bool MorningSettledRoot(const std::string& root);

// The feed file that lists an option root: weekly and afternoon-settled
// index roots (SPXW, RUTW, NDXP, VIXW, ...) live in their index's file, so
// "SPXW" gives "SPX" (FeedTicker then adds the underscore); others unchanged.
std::string ChainTickerOfRoot(const std::string& root);

// The time left to an option's close, counted from `now`.
struct MaturityToClose {
  std::chrono::sys_seconds close{};  // the instant trading ends
  int close_minutes = 0;             // 960 (16:00) or 570 (09:30), New York
  std::chrono::year_month_day date{};
  double years = 0;  // (close - now) in years of 365 days; <= 0 once closed
  double hours = 0;
  // "maturity 0.00263 years: 23.0 h to 16:00 New York on 2026-12-09" (days
  // instead of hours beyond two days).
  std::string Note() const;
  // "16:00 New York on 2026-12-09".
  std::string CloseText() const;
  // "The option SYMBOL expired at 16:00 New York on 2026-12-08".
  std::string ExpiredMessage(const std::string& symbol) const;
};
MaturityToClose MaturityOfOption(const OccSymbol& occ, std::chrono::system_clock::time_point now);

}  // namespace stratlyn
