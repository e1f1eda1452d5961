// The dividend yield implied by put-call parity on a feed chain.

#include "marketdata/implied_dividend.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <random>

#include "marketdata/exchange_time.h"
#include "marketdata/occ_symbol.h"
#include "util/format.h"

namespace stratlyn {
namespace {

using namespace std::chrono;

const system_clock::time_point kNow = sys_days{2026y / December / 8} + hours{18};

std::string Contract(const std::string& root, const std::string& yymmdd, bool put, double k) {
  char buf[64];
  std::snprintf(buf, sizeof buf, "%s%s%c%08ld", root.c_str(), yymmdd.c_str(), put ? 'P' : 'C',
                std::lround(k * 1000));
  return buf;
}

// Figures with a dot whatever the locale the suite runs under.
std::string Dot(double v) { return FormatNumber(v, "0.0000"); }

std::string Quote(const std::string& symbol, double bid, double ask) {
  // Numbers as strings in every other record, as the feed sometimes writes them.
  static int n = 0;
  if (++n % 2 == 0) {
    return R"({"option": ")" + symbol + R"(", "bid": ")" + Dot(bid) + R"(", "ask": ")" + Dot(ask) +
           "\"}";
  }
  return R"({"ask": )" + Dot(ask) + R"(, "volume": 0, "bid": )" + Dot(bid) + R"(, "option": ")" +
         symbol + "\"}";
}

// A chain whose quotes fit put-call parity for the yield q: around the
// parity prices C - P = S e^{-qT} - K e^{-rT}, symmetric spreads.
std::string Chain(double spot, double q, double r, const std::string& yymmdd,
                  const std::vector<double>& strikes, double spread) {
  OccSymbol occ;
  ParseOccSymbol(Contract("XYZ", yymmdd, false, 100), occ);
  const double t = MaturityOfOption(occ, kNow).years;
  std::string options;
  for (double k : strikes) {
    // A put worth its intrinsic forward value and 1 more; the call follows parity.
    const double put = std::max(0.0, k * std::exp(-r * t) - spot * std::exp(-q * t)) + 1.0;
    const double call = put + spot * std::exp(-q * t) - k * std::exp(-r * t);
    if (call - spread <= 0) continue;
    options += (options.empty() ? "" : ",") +
               Quote(Contract("XYZ", yymmdd, false, k), call - spread, call + spread);
    options += "," + Quote(Contract("XYZ", yymmdd, true, k), put - spread, put + spread);
  }
  return R"({"data": {"symbol": "XYZ", "current_price": )" + FormatNumber(spot, "0.000000") +
         R"(, "options": [)" + options + "]}}";
}

TEST(ImpliedDividend, ParityQuotesGiveBackTheirYield) {
  std::mt19937 gen(22);
  std::uniform_real_distribution<double> qd(0.0, 0.06), rd(0.0, 0.06), sd(20, 500);
  for (int i = 0; i < 300; ++i) {
    const double q = qd(gen), r = rd(gen), s = sd(gen);
    std::vector<double> strikes;
    for (int j = -5; j <= 5; ++j) strikes.push_back(std::round(s * (1 + 0.05 * j)));
    const std::string page = Chain(s, q, r, "270319", strikes, 0.05);
    std::string message;
    const auto d = ImpliedDividendYield(
        page, 0.25, [r](double) { return r; }, kNow, message);
    ASSERT_TRUE(d) << message;
    // Quotes are written with four decimals: the forward is exact to ~1e-4.
    EXPECT_NEAR(d->yield, q, 2e-4 / (s * 0.27) * 10 + 1e-6) << s;
    EXPECT_EQ(d->expiry, "2027-03-19");
    ASSERT_EQ(d->strikes.size(), 3u);
    for (double k : d->strikes) EXPECT_LE(std::fabs(k - s), 0.05 * s + 1);
  }
}

TEST(ImpliedDividend, TheExpiryNearestTheMaturityAndTheStrikesUsedAreNamed) {
  std::string page = Chain(100, 0.02, 0.04, "261218", {95, 100, 105}, 0.05);
  const std::string later = Chain(100, 0.03, 0.04, "270618", {100}, 0.05);
  // Both expiries in one file.
  page = page.substr(0, page.size() - 3) + "," + later.substr(later.find("[") + 1);
  std::string message;
  auto d = ImpliedDividendYield(
      page, 0.5, [](double) { return 0.04; }, kNow, message);
  ASSERT_TRUE(d) << message;
  EXPECT_EQ(d->expiry, "2027-06-18");
  EXPECT_NEAR(d->yield, 0.03, 1e-3);
  EXPECT_EQ(d->Note().rfind("implied by put-call parity on the 2027-06-18 expiry (", 0), 0u);
  EXPECT_NE(d->Note().find("years), strike 100, spot 100.00, rate 0.0400"), std::string::npos)
      << d->Note();
  d = ImpliedDividendYield(
      page, 0.01, [](double) { return 0.04; }, kNow, message);
  ASSERT_TRUE(d);
  EXPECT_EQ(d->expiry, "2026-12-18");
  EXPECT_NE(d->Note().find("strikes 95, 100, 105"), std::string::npos) << d->Note();
}

TEST(ImpliedDividend, ChainsWithoutUsablePairsGiveAMessageNeverANumber) {
  std::string message;
  const auto rate = [](double) { return 0.04; };
  // One-sided puts (bid 0), a crossed call, calls only.
  const std::string one_sided = R"({"data": {"symbol": "XYZ", "current_price": 100, "options": [)"
                                R"({"option": "XYZ270319C00100000", "bid": 5.0, "ask": 5.2},)"
                                R"({"option": "XYZ270319P00100000", "bid": 0, "ask": 4.4},)"
                                R"({"option": "XYZ270319C00105000", "bid": 3.1, "ask": 2.9},)"
                                R"({"option": "XYZ270319P00105000", "bid": 6.0, "ask": 6.3},)"
                                R"({"option": "XYZ270319C00110000", "bid": null, "ask": null},)"
                                R"({"option": "XYZ270319P00110000", "bid": 9.0, "ask": 9.4}]}})";
  EXPECT_FALSE(ImpliedDividendYield(one_sided, 0.25, rate, kNow, message));
  EXPECT_EQ(message, NoParityPairMessage("XYZ"));
  // An option expiring today is passed over (a day of quotes says little).
  EXPECT_FALSE(ImpliedDividendYield(Chain(100, 0.02, 0.04, "261208", {100}, 0.05), 0.0, rate, kNow,
                                    message));
  EXPECT_EQ(message, NoParityPairMessage("XYZ"));
  // No spot, not JSON.
  EXPECT_FALSE(ImpliedDividendYield(R"({"data": {"options": []}})", 0.25, rate, kNow, message));
  EXPECT_FALSE(ImpliedDividendYield("<h1>Not Found</h1>", 0.25, rate, kNow, message));
  // Quotes that do not fit (a call far above parity): refused, not 80 %.
  const std::string wild = R"({"data": {"symbol": "XYZ", "current_price": 100, "options": [)"
                           R"({"option": "XYZ270319C00100000", "bid": 1.0, "ask": 1.2},)"
                           R"({"option": "XYZ270319P00100000", "bid": 20, "ask": 21}]}})";
  EXPECT_FALSE(ImpliedDividendYield(wild, 0.25, rate, kNow, message));
  EXPECT_NE(message.find("the quotes do not fit together"), std::string::npos) << message;
}

}  // namespace
}  // namespace stratlyn
