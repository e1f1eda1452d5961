#include "marketdata/civil_date.h"

#include <cctype>
#include <cstdio>
#include <ctime>
#include <vector>

namespace stratlyn {
namespace {

using namespace std::chrono;

// The parts of `text` between separator `sep`; false unless every part is
// 1 to 4 digits.
bool SplitDigits(const std::string& text, char sep, std::vector<int>& parts,
                 std::vector<size_t>& widths) {
  parts.clear();
  widths.clear();
  size_t start = 0;
  for (;;) {
    const size_t end = text.find(sep, start);
    const std::string part =
        text.substr(start, end == std::string::npos ? std::string::npos : end - start);
    if (part.empty() || part.size() > 4) {
      return false;
    }
    int v = 0;
    for (char c : part) {
      if (!std::isdigit(static_cast<unsigned char>(c))) {
        return false;
      }
      v = v * 10 + (c - '0');
    }
    parts.push_back(v);
    widths.push_back(part.size());
    if (end == std::string::npos) {
      return true;
    }
    start = end + 1;
  }
}

std::optional<year_month_day> Valid(int y, int m, int d) {
  const year_month_day ymd{year{y}, month{static_cast<unsigned>(m)}, day{static_cast<unsigned>(d)}};
  if (m < 1 || m > 12 || d < 1 || !ymd.ok()) {
    return std::nullopt;
  }
  return ymd;
}

// Local midnight at the start of `d`, as a time point; mktime applies the
// local time zone and its daylight-saving rules.
system_clock::time_point LocalMidnight(year_month_day d) {
  std::tm tm{};
  tm.tm_year = static_cast<int>(d.year()) - 1900;
  tm.tm_mon = static_cast<int>(static_cast<unsigned>(d.month())) - 1;
  tm.tm_mday = static_cast<int>(static_cast<unsigned>(d.day()));
  tm.tm_isdst = -1;
  const std::time_t t = std::mktime(&tm);
  if (t != static_cast<std::time_t>(-1)) {
    return system_clock::from_time_t(t);
  }
  return sys_days{d};
}

}  // namespace

std::optional<year_month_day> ReadCivilDate(const std::string& raw, int today_year) {
  const size_t b = raw.find_first_not_of(" \t\r\n");
  if (b == std::string::npos) {
    return std::nullopt;
  }
  const std::string text = raw.substr(b, raw.find_last_not_of(" \t\r\n") - b + 1);
  std::vector<int> p;
  std::vector<size_t> w;
  if (SplitDigits(text, '-', p, w)) {
    if (w[0] != 4) {
      return std::nullopt;
    }
    if (p.size() == 3) {
      return Valid(p[0], p[1], p[2]);
    }
    if (p.size() == 2) {
      return Valid(p[0], p[1], 1);
    }
    return std::nullopt;
  }
  if (SplitDigits(text, '/', p, w) && p.size() == 3) {
    int y = p[2];
    if (w[2] <= 2) {
      // A two-digit year: the century that puts it no more than 50 years back.
      const int base =
          today_year > 0 ? today_year : static_cast<int>(LocalDate(system_clock::now()).year());
      y += 1900;
      while (y < base - 50) {
        y += 100;
      }
    } else if (w[2] != 4) {
      return std::nullopt;
    }
    return Valid(y, p[0], p[1]);
  }
  return std::nullopt;
}

year_month_day AddMonths(year_month_day d, int n) {
  const year_month ym = year_month{d.year(), d.month()} + months{n};
  const year_month_day moved = ym / d.day();
  if (moved.ok()) {
    return moved;
  }
  return year_month_day_last{moved.year(), month_day_last{moved.month()}};
}

std::string FormatCivilDate(year_month_day d) {
  char buf[16];
  std::snprintf(buf, sizeof buf, "%04d-%02u-%02u", static_cast<int>(d.year()),
                static_cast<unsigned>(d.month()), static_cast<unsigned>(d.day()));
  return buf;
}

double DateSerial(year_month_day d) {
  constexpr sys_days kEpoch = sys_days{year{1899} / December / 30};
  return static_cast<double>((sys_days{d} - kEpoch).count());
}

double YearsFromNow(year_month_day d, system_clock::time_point now) {
  const duration<double, std::ratio<86400>> days = LocalMidnight(d) - now;
  return days.count() / 365.0;
}

year_month_day LocalDate(system_clock::time_point now) {
  const std::time_t t = system_clock::to_time_t(now);
  std::tm tm{};
  localtime_r(&t, &tm);
  return year_month_day{year{tm.tm_year + 1900}, month{static_cast<unsigned>(tm.tm_mon + 1)},
                        day{static_cast<unsigned>(tm.tm_mday)}};
}

}  // namespace stratlyn
