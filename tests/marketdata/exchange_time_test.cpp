// New York time and the close of listed options, checked against the C
// library's own zone data as an independent reference.

#include "marketdata/exchange_time.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>
#include <random>

#include "marketdata/occ_symbol.h"

namespace stratlyn {
namespace {

using namespace std::chrono;

// The offset the system's zone data gives for New York at t.
long ReferenceOffset(sys_seconds t) {
  const std::time_t tt = static_cast<std::time_t>(t.time_since_epoch().count());
  std::tm tm{};
  localtime_r(&tt, &tm);
  return tm.tm_gmtoff;
}

class NewYorkZone : public ::testing::Test {
 protected:
  void SetUp() override {
    const char* tz = std::getenv("TZ");
    saved_ = tz ? tz : "";
    had_ = tz != nullptr;
    setenv("TZ", "America/New_York", 1);
    tzset();
  }
  void TearDown() override {
    if (had_) {
      setenv("TZ", saved_.c_str(), 1);
    } else {
      unsetenv("TZ");
    }
    tzset();
  }
  std::string saved_;
  bool had_ = false;
};

TEST_F(NewYorkZone, OffsetsAgreeWithTheZoneDataAroundEveryChange) {
  // Every daylight-saving change from 1990 to 2037, a second either side,
  // and random instants in between.
  std::mt19937_64 gen(2026);
  const sys_seconds from = sys_days{1990y / January / 1};
  const sys_seconds to = sys_days{2037y / December / 31};
  std::uniform_int_distribution<long long> any(from.time_since_epoch().count(),
                                               to.time_since_epoch().count());
  for (int i = 0; i < 20000; ++i) {
    const sys_seconds t{seconds{any(gen)}};
    ASSERT_EQ(NewYorkOffset(t).count(), ReferenceOffset(t)) << t.time_since_epoch().count();
  }
  int changes = 0;
  for (sys_seconds t = from; t < to; t += hours{1}) {
    if (ReferenceOffset(t) != ReferenceOffset(t + hours{1})) {
      ++changes;
      for (sys_seconds u = t; u <= t + hours{1}; u += seconds{1}) {
        ASSERT_EQ(NewYorkOffset(u).count(), ReferenceOffset(u)) << u.time_since_epoch().count();
      }
    }
  }
  EXPECT_EQ(changes, 2 * 48);
}

TEST_F(NewYorkZone, WallClockTimesRoundTrip) {
  for (sys_days d = sys_days{2000y / January / 1}; d < sys_days{2040y / January / 1};
       d += days{1}) {
    for (int minutes : {570, 960}) {
      const sys_seconds t = NewYorkTime(year_month_day{d}, minutes);
      ASSERT_EQ(NewYorkDate(t), year_month_day{d});
      ASSERT_EQ(NewYorkMinutes(t), minutes);
      ASSERT_EQ((t + seconds{ReferenceOffset(t)}) - sys_seconds{d}, std::chrono::minutes{minutes});
    }
  }
}

OccSymbol Occ(const std::string& symbol) {
  OccSymbol occ;
  EXPECT_TRUE(ParseOccSymbol(symbol, occ)) << symbol;
  return occ;
}

TEST(OptionClose, MaturitiesCountToTheCloseInNewYork) {
  // At 21:45 UTC on 8 December 2026 an option of 9 December has 23.25 hours
  // left to 16:00 EST (21:00 UTC), not 2.3 hours to midnight.
  const auto now = sys_days{2026y / December / 8} + hours{21} + minutes{45};
  MaturityToClose m = MaturityOfOption(Occ("AAPL261209C00185000"), now);
  EXPECT_DOUBLE_EQ(m.hours, 23.25);
  EXPECT_DOUBLE_EQ(m.years, 23.25 / (365 * 24));
  EXPECT_EQ(m.Note(), "maturity 0.00265 years: 23.3 h to 16:00 New York on 2026-12-09");
  // On its expiry day the option has the hours left; after the close none.
  m = MaturityOfOption(Occ("AAPL261209C00185000"), sys_days{2026y / December / 9} + hours{15});
  EXPECT_DOUBLE_EQ(m.hours, 6.0);
  m = MaturityOfOption(Occ("AAPL261209C00185000"), sys_days{2026y / December / 9} + hours{21});
  EXPECT_LE(m.years, 0.0);
  EXPECT_EQ(m.ExpiredMessage("AAPL261209C00185000"),
            "The option AAPL261209C00185000 expired at 16:00 New York on 2026-12-09");
  // Summer: 16:00 EDT is 20:00 UTC.
  m = MaturityOfOption(Occ("AAPL270716C00185000"), sys_days{2027y / July / 16} + hours{19});
  EXPECT_DOUBLE_EQ(m.hours, 1.0);
  // The morning-settled index options stop at 09:30; their weeklies at 16:00.
  m = MaturityOfOption(Occ("SPX261218C06000000"), sys_days{2026y / December / 18} + hours{13});
  EXPECT_DOUBLE_EQ(m.hours, 1.5);
  EXPECT_EQ(m.CloseText(), "09:30 New York on 2026-12-18");
  m = MaturityOfOption(Occ("SPXW261218C06000000"), sys_days{2026y / December / 18} + hours{13});
  EXPECT_DOUBLE_EQ(m.hours, 8.0);
  // Long maturities are told in days: 38 days of 24 hours, both in EST.
  m = MaturityOfOption(Occ("AAPL270115C00190000"), sys_days{2026y / December / 8} + hours{21});
  EXPECT_EQ(m.Note(), "maturity 0.10411 years: 38.0 days to 16:00 New York on 2027-01-15");
}

TEST(OptionClose, SymbolsWithoutARealExpirationDateAreNoOptions) {
  OccSymbol occ;
  EXPECT_FALSE(ParseOccSymbol("AAPL261131C00185000", occ));  // 31 November
  EXPECT_FALSE(ParseOccSymbol("AAPL270229C00185000", occ));  // 2027 is no leap year
  EXPECT_TRUE(ParseOccSymbol("AAPL280229C00185000", occ));
}

TEST(OptionClose, WeeklyIndexRootsAreListedInTheirIndexFile) {
  setenv("STRATLYN_FEED_URL", "http://127.0.0.1:9", 1);
  EXPECT_EQ(FeedOptionsUrl(ChainTickerOfRoot("SPXW")),
            "http://127.0.0.1:9/api/global/delayed_quotes/options/_SPX.json");
  EXPECT_EQ(FeedOptionsUrl(ChainTickerOfRoot("RUTW")),
            "http://127.0.0.1:9/api/global/delayed_quotes/options/_RUT.json");
  EXPECT_EQ(FeedOptionsUrl(ChainTickerOfRoot("NDXP")),
            "http://127.0.0.1:9/api/global/delayed_quotes/options/_NDX.json");
  EXPECT_EQ(FeedOptionsUrl(ChainTickerOfRoot("VIXW")),
            "http://127.0.0.1:9/api/global/delayed_quotes/options/_VIX.json");
  EXPECT_EQ(FeedOptionsUrl(ChainTickerOfRoot("AAPL")),
            "http://127.0.0.1:9/api/global/delayed_quotes/options/AAPL.json");
  unsetenv("STRATLYN_FEED_URL");
}

}  // namespace
}  // namespace stratlyn
