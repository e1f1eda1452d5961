#include "marketdata/exchange_time.h"

#include <array>
#include <cmath>
#include <cstdio>

#include "marketdata/civil_date.h"
#include "util/format.h"

namespace stratlyn {
namespace {

using namespace std::chrono;

constexpr seconds kStandard = -hours{5};
constexpr seconds kDaylight = -hours{4};
constexpr double kSecondsPerYear = 365.0 * 86400.0;
constexpr int kCloseMinutes = 16 * 60;
constexpr int kMorningMinutes = 9 * 60 + 30;

// The n-th (1-based) Sunday of a month, or its last one for n = 0.
sys_days NthSunday(year y, month m, unsigned n) {
  if (n == 0) {
    return sys_days{y / m / std::chrono::Sunday[last]};
  }
  return sys_days{y / m / std::chrono::Sunday[n]};
}

// The UTC instants daylight saving begins and ends in year y: 02:00 local
// standard time and 02:00 local daylight time. From 2007 the second Sunday of
// March to the first Sunday of November; 1987-2006 the first Sunday of April
// to the last Sunday of October.
std::pair<sys_seconds, sys_seconds> DaylightSpan(year y) {
  const bool current = y >= year{2007};
  const sys_days begin = current ? NthSunday(y, March, 2) : NthSunday(y, April, 1);
  const sys_days end = current ? NthSunday(y, November, 1) : NthSunday(y, October, 0);
  return {sys_seconds{begin} + hours{2} - kStandard, sys_seconds{end} + hours{2} - kDaylight};
}

std::string TwoDigits(int v) {
  const std::string s = std::to_string(v);
  return s.size() < 2 ? "0" + s : s;
}

std::string ClockText(int minutes) {
  return TwoDigits(minutes / 60) + ":" + TwoDigits(minutes % 60);
}

}  // namespace

seconds NewYorkOffset(sys_seconds t) {
  const year y = year_month_day{floor<days>(t)}.year();
  const auto [begin, end] = DaylightSpan(y);
  return t >= begin && t < end ? kDaylight : kStandard;
}

sys_seconds NewYorkTime(year_month_day d, int minutes) {
  const sys_seconds wall = sys_seconds{sys_days{d}} + std::chrono::minutes{minutes};
  // Try the standard offset, then check it against the rule at that instant.
  const sys_seconds as_standard = wall - kStandard;
  if (NewYorkOffset(as_standard) == kStandard) {
    return as_standard;
  }
  return wall - kDaylight;
}

year_month_day NewYorkDate(sys_seconds t) {
  return year_month_day{floor<days>(t + NewYorkOffset(t))};
}

int NewYorkMinutes(sys_seconds t) {
  const sys_seconds local = t + NewYorkOffset(t);
  return static_cast<int>(duration_cast<minutes>(local - floor<days>(local)).count());
}

bool MorningSettledRoot(const std::string& root) {
  return root == "SPX" || root == "NDX" || root == "RUT" || root == "VIX";
}

std::string ChainTickerOfRoot(const std::string& root) {
  static constexpr std::array<std::pair<const char*, const char*>, 7> kWeekly = {{
      {"SPXW", "SPX"},
      {"SPXPM", "SPX"},
      {"RUTW", "RUT"},
      {"NDXP", "NDX"},
      {"NDXW", "NDX"},
      {"VIXW", "VIX"},
      {"DJXW", "DJX"},
  }};
  for (const auto& [weekly, index] : kWeekly) {
    if (root == weekly) {
      return index;
    }
  }
  return root;
}

std::string MaturityToClose::Note() const {
  const std::string span = std::fabs(hours) < 48 ? FormatNumber(hours, "0.0") + " h"
                                                 : FormatNumber(hours / 24, "0.0") + " days";
  return "maturity " + FormatNumber(years, "0.00000") + " years: " + span + " to " + CloseText();
}

std::string MaturityToClose::CloseText() const {
  return ClockText(close_minutes) + " New York on " + FormatCivilDate(date);
}

std::string MaturityToClose::ExpiredMessage(const std::string& symbol) const {
  return "The option " + symbol + " expired at " + CloseText();
}

MaturityToClose MaturityOfOption(const OccSymbol& occ, system_clock::time_point now) {
  MaturityToClose m;
  m.date = year_month_day{year{occ.year}, month{static_cast<unsigned>(occ.month)},
                          day{static_cast<unsigned>(occ.day)}};
  m.close_minutes = MorningSettledRoot(occ.root) ? kMorningMinutes : kCloseMinutes;
  m.close = NewYorkTime(m.date, m.close_minutes);
  const double left = duration<double>(m.close - now).count();
  m.years = left / kSecondsPerYear;
  m.hours = left / 3600.0;
  return m;
}

}  // namespace stratlyn
