#pragma once
// Generated chain files with the shape of the feed's own: every field of a
// record, prices on ticks, one-sided quotes far from the money, weekly and
// monthly roots in the index file. Shared by the chain benchmarks.

#include <chrono>
#include <cmath>
#include <cstdio>
#include <random>
#include <string>
#include <vector>

#include "numerics/trinomial_lattice.h"

namespace stratlyn::bench_chain {

struct ExpirySpec {
  std::string root;
  int y, m, d;
  double years;
};

inline std::string Fixed(double v, int decimals) {
  char buf[64];
  std::snprintf(buf, sizeof buf, "%.*f", decimals, v);
  return buf;
}

// One record as the feed writes it.
inline void AppendRecord(std::string& out, const std::string& symbol, double bid, double ask,
                         double iv, double last, bool traded, std::mt19937_64& rng) {
  std::uniform_int_distribution<int> size(1, 500);
  std::uniform_real_distribution<double> unit(0, 1);
  out += R"({"option":")" + symbol + R"(","bid":)" + Fixed(bid, 2) + R"(,"bid_size":)" +
         std::to_string(size(rng)) + R"(,"ask":)" + Fixed(ask, 2) + R"(,"ask_size":)" +
         std::to_string(size(rng)) + R"(,"iv":)" + Fixed(iv, 4) + R"(,"open_interest":)" +
         std::to_string(size(rng) * 7) + R"(,"volume":)" + std::to_string(traded ? size(rng) : 0) +
         R"(,"delta":)" + Fixed(unit(rng), 6) + R"(,"gamma":)" + Fixed(unit(rng) * 0.01, 6) +
         R"(,"vega":)" + Fixed(iv * 10, 6) + R"(,"theta":)" + Fixed(-unit(rng), 6) + R"(,"rho":)" +
         Fixed(unit(rng), 6) + R"(,"theo":)" + Fixed((bid + ask) / 2, 6) +
         R"(,"change":0.0,"open":0.0,"high":0.0,"low":0.0,"tick":"no_change","last_trade_price":)" +
         Fixed(last, 2) + R"(,"last_trade_time":)" +
         (traded ? std::string(R"("2026-12-07T11:32:05")") : std::string("null")) +
         R"(,"percent_change":0.0,"prev_day_close":)" + Fixed(last, 2) + "},";
}

inline std::string Occ(const std::string& root, const ExpirySpec& e, bool put, double k) {
  char buf[64];
  std::snprintf(buf, sizeof buf, "%s%02d%02d%02d%c%08lld", root.c_str(), e.y % 100, e.m, e.d,
                put ? 'P' : 'C', static_cast<long long>(std::llround(k * 1000)));
  return buf;
}

// A chain file: `expiries` expiries of `strikes` strikes around `spot`, a
// smile of volatilities, quotes on ticks around the model value.
inline std::string ChainFile(const std::string& symbol, double spot, double step,
                             const std::vector<ExpirySpec>& expiries, int strikes) {
  std::mt19937_64 rng(11);
  std::string out = R"({"timestamp":"2026-12-07 14:30:00","data":{"symbol":")" + symbol +
                    R"(","security_type":"index","current_price":)" + Fixed(spot, 2) +
                    R"(,"open":1,"high":1,"low":1,"close":1,"prev_day_close":1,"volume":0,)"
                    R"("iv30":15.2,"options":[)";
  const double r = 0.042, q = 0.013;
  for (const ExpirySpec& e : expiries) {
    const double first = std::floor(spot / step) * step - step * (strikes / 2);
    for (int i = 0; i < strikes; ++i) {
      const double k = first + step * i;
      if (k <= 0) continue;
      const double m = std::log(k / spot);
      const double vol = 0.16 - 0.2 * m + 0.6 * m * m / std::sqrt(e.years + 0.02);
      for (bool put : {false, true}) {
        // At least the exercise value: the equity chain's options are American.
        const double value =
            std::max(numerics::EuropeanValue(put ? -1 : 1, spot, k, e.years, r, q, vol),
                     (put ? k - spot : spot - k) + 0.05);
        const double tick = value < 3 ? 0.05 : 0.10;
        double bid = std::floor(value / tick) * tick - tick;
        double ask = bid + 2 * tick;
        if (bid < tick) bid = 0;
        if (ask < tick) ask = tick;
        AppendRecord(out, Occ(e.root, e, put, k), bid, ask, vol, value * 1.2, i % 7 == 0, rng);
      }
    }
  }
  out.pop_back();
  out += R"(]},"symbol":")" + symbol + "\"}";
  return out;
}

inline std::vector<ExpirySpec> IndexExpiries() {
  // Daily weeklies for six weeks, Fridays for a year, monthly standard
  // options for five years: about 60 expiries.
  std::vector<ExpirySpec> out;
  const auto start = std::chrono::sys_days{std::chrono::year{2026} / 12 / 8};
  for (int day = 0; day < 1800; ++day) {
    const auto date = start + std::chrono::days{day};
    const std::chrono::year_month_day ymd{date};
    const std::chrono::weekday wd{date};
    const bool friday = wd == std::chrono::Friday;
    const bool third_friday =
        friday && static_cast<unsigned>(ymd.day()) >= 15 && static_cast<unsigned>(ymd.day()) <= 21;
    const bool daily = day < 42 && wd != std::chrono::Saturday && wd != std::chrono::Sunday;
    const bool weekly = day < 365 && friday;
    const bool monthly = third_friday && (day < 730 || static_cast<unsigned>(ymd.month()) % 6 == 0);
    const ExpirySpec e{"", static_cast<int>(ymd.year()), static_cast<int>(unsigned(ymd.month())),
                       static_cast<int>(unsigned(ymd.day())), (day + 1.0) / 365.0};
    if (daily || weekly) {
      ExpirySpec w = e;
      w.root = "SPXW";
      out.push_back(w);
    }
    if (monthly && day > 42) {
      ExpirySpec s = e;
      s.root = "SPX";
      out.push_back(s);
    }
  }
  return out;
}

inline std::vector<ExpirySpec> EquityExpiries() {
  std::vector<ExpirySpec> out;
  const int days[] = {4, 11, 18, 25, 39, 67, 102, 130, 193, 284, 375, 557, 767};
  const auto start = std::chrono::sys_days{std::chrono::year{2026} / 12 / 7};
  for (int d : days) {
    const std::chrono::year_month_day ymd{start + std::chrono::days{d}};
    out.push_back({"AAPL", static_cast<int>(ymd.year()), static_cast<int>(unsigned(ymd.month())),
                   static_cast<int>(unsigned(ymd.day())), d / 365.0});
  }
  return out;
}

inline const std::string& IndexFile() {
  static const std::string file = ChainFile("^SPX", 6012.35, 10, IndexExpiries(), 144);
  return file;
}
inline const std::string& EquityFile() {
  static const std::string file = ChainFile("AAPL", 187.44, 2.5, EquityExpiries(), 154);
  return file;
}

}  // namespace stratlyn::bench_chain
