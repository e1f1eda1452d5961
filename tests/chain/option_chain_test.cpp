// The chain of the feed's options file, fetched from a copy served on
// 127.0.0.1: grouping, the quirks of real files, the implied dividend yield,
// own implied volatilities against QuantLib (European index roots) and the
// option record's lattice (American equity options), and the refusals.

#include "chain/option_chain.h"

#include <gtest/gtest.h>

#include <chrono>
#include <clocale>
#include <cmath>
#include <cstdlib>
#include <fstream>
#include <map>
#include <sstream>
#include <string>

#include "chain/contract_solver.h"
#include "marketdata/http_fetch.h"
#include "marketdata/occ_symbol.h"
#include "marketdata/quote_parser.h"
#include "numerics/trinomial_lattice.h"
#include "pricing/zel_barr.h"
#include "support/fake_services.h"
#include "support/loopback_server.h"

#ifdef STRATLYN_HAVE_QUANTLIB
#include <ql/pricingengines/blackformula.hpp>
#endif

namespace stratlyn {
namespace {

using namespace std::chrono;
using testing::LoopbackHttpServer;
using testing::ScratchDir;

// As the programs start: the user's locale from the environment.
const bool kLocaleSet = std::setlocale(LC_ALL, "") != nullptr;

std::string Fixture(const std::string& name) {
  const char* dir = std::getenv("STRATLYN_TEST_DATA");
  std::ifstream in(std::string(dir ? dir : "tests/data") + "/chain/" + name, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

// The rate curve of the tests: 4 % plus 1 % a year of maturity.
double TestRate(double years) { return 0.04 + 0.01 * years; }

// The moment the fixtures' quotes were taken: 14:30 New York (EST) on 2026-12-07.
constexpr double kHoursPerYear = 365.0 * 24.0;

class ChainFromLoopback : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    dir_ = new ScratchDir;
    dir_->Write("api/global/delayed_quotes/options/_SPX.json", Fixture("_SPX.json"));
    dir_->Write("api/global/delayed_quotes/options/AAPL.json", Fixture("AAPL.json"));
    server_ = new LoopbackHttpServer(dir_->Path());
  }
  static void TearDownTestSuite() {
    delete server_;
    delete dir_;
  }

  // The chain of `ticker` as the programs load it: the feed address, the
  // page over HTTP, parsed and solved.
  static OptionChain Load(const std::string& ticker) {
    EXPECT_TRUE(server_->Ok()) << server_->Error();
    testing::ScopedEnv env("STRATLYN_FEED_URL", server_->BaseUrl());
    const HttpPage page = FetchHttpPage(FeedOptionsUrl(ticker), 10);
    EXPECT_EQ(page.failure, "");
    std::string message;
    auto chain = ParseOptionChain(page.body, system_clock::now(), message);
    EXPECT_TRUE(chain.has_value()) << message;
    if (!chain) return {};
    EXPECT_TRUE(SolveOptionChain(*chain, TestRate));
    return *chain;
  }

  static const ChainContract* Find(const OptionChain& chain, const std::string& symbol) {
    for (const ChainContract& c : chain.contracts) {
      if (c.symbol == symbol) return &c;
    }
    return nullptr;
  }

  static const ChainExpiry* FindExpiry(const OptionChain& chain, const std::string& root,
                                       const std::string& date) {
    for (const ChainExpiry& e : chain.expiries) {
      if (e.root == root && e.date_text == date) return &e;
    }
    return nullptr;
  }

  static ScratchDir* dir_;
  static LoopbackHttpServer* server_;
};
ScratchDir* ChainFromLoopback::dir_ = nullptr;
LoopbackHttpServer* ChainFromLoopback::server_ = nullptr;

TEST_F(ChainFromLoopback, IndexFileGroupsWeeklyAndMonthlyRootsByTheirOwnClose) {
  const OptionChain chain = Load("SPX");
  EXPECT_EQ(chain.ticker, "_SPX");
  EXPECT_DOUBLE_EQ(chain.spot, 6012.35);
  const ChainExpiry* am = FindExpiry(chain, "SPX", "2026-12-18");
  const ChainExpiry* pm = FindExpiry(chain, "SPXW", "2026-12-18");
  ASSERT_NE(am, nullptr);
  ASSERT_NE(pm, nullptr);
  // 11 days less 5 h (09:30) or plus 1.5 h (16:00) after 14:30 New York.
  EXPECT_NEAR(am->years, (11 * 24 - 5.0) / kHoursPerYear, 1e-12);
  EXPECT_NEAR(pm->years, (11 * 24 + 1.5) / kHoursPerYear, 1e-12);
  EXPECT_EQ(am->days, 11);
  EXPECT_EQ(pm->close_text, "16:00 New York on 2026-12-18");
  EXPECT_EQ(am->close_text, "09:30 New York on 2026-12-18");
  for (const ChainExpiry& e : chain.expiries) EXPECT_EQ(e.style, ExerciseStyle::kEuropean);
  // Ordered by close; strikes ascending with the call and the put of each.
  for (size_t i = 1; i < chain.expiries.size(); ++i) {
    EXPECT_LE(chain.expiries[i - 1].close, chain.expiries[i].close);
  }
  for (const ChainExpiry& e : chain.expiries) {
    for (size_t i = 1; i < e.strikes.size(); ++i) {
      EXPECT_LT(e.strikes[i - 1].strike, e.strikes[i].strike);
    }
    for (const ChainStrike& s : e.strikes) {
      if (s.call) {
        EXPECT_FALSE(chain.contracts[*s.call].put);
        EXPECT_EQ(chain.contracts[*s.call].strike, s.strike);
      }
      if (s.put) {
        EXPECT_TRUE(chain.contracts[*s.put].put);
      }
    }
  }
  // The record without an OCC symbol is passed over, and said so.
  bool noted = false;
  for (const std::string& n : chain.notes) {
    noted |= n.find("1 records without a readable OCC symbol") != std::string::npos;
  }
  EXPECT_TRUE(noted);
}

TEST_F(ChainFromLoopback, ExpiryTodayCountsHoursAndPastExpiriesAreRefused) {
  const OptionChain chain = Load("SPX");
  const ChainExpiry* today = FindExpiry(chain, "SPXW", "2026-12-07");
  const ChainExpiry* past = FindExpiry(chain, "SPXW", "2026-12-04");
  ASSERT_NE(today, nullptr);
  ASSERT_NE(past, nullptr);
  EXPECT_EQ(today->days, 0);
  EXPECT_NEAR(today->years, 1.5 / kHoursPerYear, 1e-12);
  EXPECT_EQ(past->days, -3);
  EXPECT_LT(past->years, 0);
  EXPECT_FALSE(past->rate.has_value());
  size_t solved_today = 0;
  for (const ChainContract& c : chain.contracts) {
    if (c.expiry == static_cast<size_t>(past - chain.expiries.data())) {
      EXPECT_EQ(c.refusal, ChainRefusal::kExpired) << c.symbol;
      EXPECT_FALSE(c.iv.has_value());
    }
    if (c.expiry == static_cast<size_t>(today - chain.expiries.data()) && c.iv) ++solved_today;
  }
  EXPECT_GT(solved_today, 0u);
}

TEST_F(ChainFromLoopback, QuirksOfRealFilesGiveReasonsNotNumbers) {
  const OptionChain chain = Load("SPX");
  const ChainContract* crossed = Find(chain, "SPXW261218C06400000");
  const ChainContract* none = Find(chain, "SPXW261218P05600000");
  ASSERT_NE(crossed, nullptr);
  ASSERT_NE(none, nullptr);
  EXPECT_EQ(crossed->refusal, ChainRefusal::kCrossed);
  EXPECT_STREQ(ChainRefusalText(crossed->refusal), "crossed");
  EXPECT_FALSE(crossed->mid.has_value());
  EXPECT_EQ(none->refusal, ChainRefusal::kNoQuote);
  size_t one_sided = 0;
  for (const ChainContract& c : chain.contracts) {
    // Never both a figure and a reason, never neither.
    EXPECT_EQ(c.iv.has_value(), c.refusal == ChainRefusal::kNone) << c.symbol;
    EXPECT_EQ(c.iv.has_value(), c.at_iv.has_value()) << c.symbol;
    if (c.bid && *c.bid == 0 && c.ask && *c.ask > 0) {
      EXPECT_EQ(c.refusal, ChainRefusal::kOneSided) << c.symbol;
      EXPECT_STREQ(ChainRefusalText(c.refusal), "one-sided");
      ++one_sided;
    }
    // Never traded: no last price and no time (the file writes 0 and null).
    if (!c.last) {
      EXPECT_EQ(c.last_trade_time, "") << c.symbol;
    }
  }
  EXPECT_GT(one_sided, 0u);
  // A stale last trade outside today's quote is shown as it is, never taken as the price.
  const ChainContract* stale = Find(chain, "SPXW261218C06000000");
  ASSERT_NE(stale, nullptr);
  ASSERT_TRUE(stale->last && stale->mid && stale->ask);
  EXPECT_GT(*stale->last, *stale->ask);
  EXPECT_EQ(stale->last_trade_time, "2026-11-20T10:31:07");
  ASSERT_TRUE(stale->at_iv);
  EXPECT_NEAR(stale->at_iv->value, *stale->mid, 1e-6);
}

#ifdef STRATLYN_HAVE_QUANTLIB
TEST_F(ChainFromLoopback, EuropeanImpliedVolatilitiesMatchQuantLibsSolver) {
  const OptionChain chain = Load("SPX");
  size_t compared = 0;
  for (const ChainContract& c : chain.contracts) {
    if (!c.iv) continue;
    const ChainExpiry& e = chain.expiries[c.expiry];
    ASSERT_TRUE(e.rate && e.dividend);
    EXPECT_DOUBLE_EQ(*e.rate, TestRate(e.years));
    const double t = e.years;
    const double forward = chain.spot * std::exp((*e.rate - *e.dividend) * t);
    const double discount = std::exp(-*e.rate * t);
    const double std_dev = QuantLib::blackFormulaImpliedStdDev(
        c.put ? QuantLib::Option::Put : QuantLib::Option::Call, c.strike, forward, *c.mid, discount,
        0.0, QuantLib::Null<QuantLib::Real>(), 1e-12, 200);
    EXPECT_NEAR(*c.iv, std_dev / std::sqrt(t), 1e-6 * std::max(1.0, *c.iv)) << c.symbol;
    // Value and vega at it, by QuantLib's Black formula.
    const double sd = *c.iv * std::sqrt(t);
    const auto type = c.put ? QuantLib::Option::Put : QuantLib::Option::Call;
    EXPECT_NEAR(c.at_iv->value, QuantLib::blackFormula(type, c.strike, forward, sd, discount),
                1e-7 * std::max(1.0, *c.mid))
        << c.symbol;
    EXPECT_NEAR(
        c.at_iv->vega,
        QuantLib::blackFormulaStdDevDerivative(c.strike, forward, sd, discount) * std::sqrt(t),
        1e-6 * std::max(1.0, c.at_iv->vega))
        << c.symbol;
    ++compared;
  }
  EXPECT_GT(compared, 80u);
}
#endif

TEST_F(ChainFromLoopback, ImpliedDividendYieldOfTwoChosenPairs) {
  const OptionChain chain = Load("AAPL");
  const ChainExpiry* e = FindExpiry(chain, "AAPL", "2027-01-15");
  ASSERT_NE(e, nullptr);
  ASSERT_TRUE(e->dividend.has_value());
  // Only the strikes 180 and 190 are quoted two-sided on both the call and the put.
  const auto mid = [&](const char* symbol) {
    const ChainContract* c = Find(chain, symbol);
    EXPECT_NE(c, nullptr) << symbol;
    return c && c->mid ? *c->mid : std::nan("");
  };
  const double t = (39 * 24 + 1.5) / kHoursPerYear;  // 14:30 Dec 7 to 16:00 Jan 15
  const double r = 0.04 + 0.01 * t;
  const double f180 =
      180 + std::exp(r * t) * (mid("AAPL270115C00180000") - mid("AAPL270115P00180000"));
  const double f190 =
      190 + std::exp(r * t) * (mid("AAPL270115C00190000") - mid("AAPL270115P00190000"));
  const double q = r - std::log((f180 + f190) / 2 / 187.44) / t;
  EXPECT_NEAR(*e->dividend, q, 1e-12);
  EXPECT_EQ(e->dividend_note, "implied by put-call parity on strikes 180, 190");
  // The generated quotes come from a yield of 0.6 %; rounding to ticks moves it a little.
  EXPECT_NEAR(*e->dividend, 0.006, 0.02);
}

TEST_F(ChainFromLoopback, AmericanImpliedVolatilitiesMatchTheRecordsLattice) {
  testing::FakeServices services;
  const OptionChain chain = Load("AAPL");
  size_t compared = 0;
  for (const ChainContract& c : chain.contracts) {
    if (!c.iv) continue;
    const ChainExpiry& e = chain.expiries[c.expiry];
    EXPECT_EQ(e.style, ExerciseStyle::kAmerican);
    // The record on the same mid, rate and yield.
    zelBarr b;
    b.SetOptionData(c.put ? -1 : 1, b.strType);
    b.SetOptionData(chain.spot, b.strUnderlying);
    b.SetOptionData(c.strike, b.strStrike);
    b.SetOptionData(e.years, b.strMaturity);
    b.SetOptionData(*e.rate, b.strRiskFree);
    b.SetOptionData(*e.dividend, b.strDvl);
    b.SetOptionData(*c.mid, b.strOptionPrice);
    b.SetOptionData(*c.iv, b.strVolatility);
    b.CalcBarr(b.AMERVANVOL);
    const double record = b.GetOptionData(b.strImpliedVolatility);
    ASSERT_GT(record, 0) << c.symbol;
    // The record's lattice meets the closed form to its tolerance; in
    // volatility that is the tolerance over the vega.
    const double tolerance =
        2 * numerics::EuropeanTolerance(*c.mid, chain.spot, c.strike) / c.at_iv->vega + 2e-5;
    EXPECT_NEAR(*c.iv, record, tolerance) << c.symbol;
    EXPECT_NEAR(c.at_iv->value, *c.mid, 1e-7 * std::max(1.0, *c.mid)) << c.symbol;
    ++compared;
  }
  EXPECT_GT(compared, 20u);
  EXPECT_TRUE(services.dialogs.Count() == 0u);
}

TEST_F(ChainFromLoopback, EquityRefusalsAndReadableTextFigures) {
  const OptionChain chain = Load("AAPL");
  const ChainContract* deep_put = Find(chain, "AAPL261218P00260000");
  const ChainContract* rich_call = Find(chain, "AAPL261218C00100000");
  const ChainContract* text = Find(chain, "AAPL261218C00185000");
  ASSERT_NE(deep_put, nullptr);
  ASSERT_NE(rich_call, nullptr);
  ASSERT_NE(text, nullptr);
  // 72.20 for the right to sell at 260 what is worth 187.44 (72.56 at once).
  EXPECT_EQ(deep_put->refusal, ChainRefusal::kBelowIntrinsic);
  EXPECT_STREQ(ChainRefusalText(deep_put->refusal), "below intrinsic");
  // 187.45 for a call on a stock worth 187.44.
  EXPECT_EQ(rich_call->refusal, ChainRefusal::kAboveBound);
  EXPECT_STREQ(ChainRefusalText(rich_call->refusal), "above bound");
  EXPECT_FALSE(deep_put->iv || rich_call->iv || deep_put->at_iv || rich_call->at_iv);
  // Figures the file writes as text are read as figures.
  ASSERT_TRUE(text->mid && text->volume && text->open_interest && text->source.iv);
  EXPECT_DOUBLE_EQ(*text->mid, 5.45);
  EXPECT_DOUBLE_EQ(*text->volume, 7);
  EXPECT_DOUBLE_EQ(*text->open_interest, 1320);
  EXPECT_DOUBLE_EQ(*text->source.iv, 0.2412);
  EXPECT_EQ(text->last_trade_time, "2026-12-07T14:11:00");
  // The adjusted root is passed over with a note.
  EXPECT_EQ(Find(chain, "AAPL1261218C00150000"), nullptr);
  bool noted = false;
  for (const std::string& n : chain.notes) noted |= n.find("AAPL1") != std::string::npos;
  EXPECT_TRUE(noted);
}

// ---- Files of odd shapes --------------------------------------------------------

const char* kHeader =
    R"({"timestamp":"2026-12-07 14:30:00","data":{"symbol":"XYZ","current_price":100,"options":[)";

std::optional<OptionChain> ParseText(const std::string& options, std::string& message) {
  return ParseOptionChain(std::string(kHeader) + options + "]}}", system_clock::now(), message);
}

TEST(ChainParse, PagesThatAreNoChainAreRefusedWithTheFeedsMessages) {
  std::string message;
  EXPECT_FALSE(ParseOptionChain("<html>Not found</html>", system_clock::now(), message));
  EXPECT_EQ(message, kFeedUnreadableMessage);
  message.clear();
  EXPECT_FALSE(ParseOptionChain(R"({"data":{"symbol":"XYZ","current_price":0,"options":[]}})",
                                system_clock::now(), message));
  EXPECT_EQ(message, kFeedNoPriceMessage);
  message.clear();
  EXPECT_FALSE(ParseOptionChain(R"({"data":{"symbol":"XYZ","current_price":"n/a"}})",
                                system_clock::now(), message));
  EXPECT_EQ(message, kFeedNoPriceMessage);
  message.clear();
  EXPECT_FALSE(
      ParseOptionChain(R"({"data":{"symbol":"XYZ","options":[]}})", system_clock::now(), message));
  EXPECT_EQ(message, kFeedNoPriceMessage);
  // The JSON as a browser shows it, inside markup.
  message.clear();
  const auto shown = ParseOptionChain(
      "<html><body><pre>{&quot;data&quot;:{&quot;symbol&quot;:&quot;XYZ&quot;,&quot;current_"
      "price&quot;:100,&quot;options&quot;:[]}}</pre></body></html>",
      system_clock::now(), message);
  ASSERT_TRUE(shown) << message;
  EXPECT_DOUBLE_EQ(shown->spot, 100);
}

TEST(ChainParse, OddRecordsGetReasonsAndNeverAFigure) {
  std::string message;
  const auto chain = ParseText(R"({"option":"XYZ261218C00000000","bid":1.0,"ask":1.2},)"
                               R"({"option":"XYZ261218C00100000","bid":"abc","ask":1.2},)"
                               R"({"option":"XYZ261218P00100000","bid":-1.0,"ask":1.2},)"
                               R"({"option":"XYZ261218C00110000","bid":[1],"ask":1.2},)"
                               R"({"option":"XYZ261218P00110000"},)"
                               R"({"option":12345,"bid":1.0,"ask":1.2},)"
                               R"("not an object",)"
                               R"({"option":"XYZ261218C00100000","bid":1.0,"ask":1.2},)"
                               R"({"option":"XYZ261218P00120000","bid":1e308,"ask":1.7e308})",
                               message);
  ASSERT_TRUE(chain) << message;
  ASSERT_EQ(chain->contracts.size(), 6u);
  std::map<std::string, ChainRefusal> why;
  for (const ChainContract& c : chain->contracts) why[c.symbol] = c.refusal;
  EXPECT_EQ(why["XYZ261218C00000000"], ChainRefusal::kNoStrike);
  EXPECT_EQ(why["XYZ261218C00100000"], ChainRefusal::kUnreadable);
  EXPECT_EQ(why["XYZ261218P00100000"], ChainRefusal::kUnreadable);
  EXPECT_EQ(why["XYZ261218C00110000"], ChainRefusal::kUnreadable);
  EXPECT_EQ(why["XYZ261218P00110000"], ChainRefusal::kNoQuote);
  // Quotes near the largest double: a finite midpoint, never infinity.
  EXPECT_TRUE(chain->contracts[5].mid && std::isfinite(*chain->contracts[5].mid));
  // A number no double holds makes the file unreadable as a whole.
  std::string unreadable;
  EXPECT_FALSE(ParseText(R"({"option":"XYZ261218C00120000","bid":1e999,"ask":2})", unreadable));
  EXPECT_EQ(unreadable, kFeedUnreadableMessage);
  size_t passed_over = 0;
  for (const std::string& n : chain->notes) {
    passed_over += n.find("2 records without a readable OCC symbol") != std::string::npos;
    passed_over += n.find("1 repeated contracts") != std::string::npos;
  }
  EXPECT_EQ(passed_over, 2u);
  OptionChain solved = *chain;
  SolveOptionChain(solved, TestRate);
  for (const ChainContract& c : solved.contracts) {
    EXPECT_FALSE(c.iv.has_value()) << c.symbol;
    EXPECT_NE(c.refusal, ChainRefusal::kNone) << c.symbol;
  }
  // (no call and put of one strike here: no dividend yield for any of them)
  EXPECT_EQ(solved.contracts[5].refusal, ChainRefusal::kNoDividend);
}

TEST(ChainParse, WithoutATimestampTheMomentOfReadingCounts) {
  std::string message;
  const auto now = system_clock::now();
  const auto chain = ParseOptionChain(
      R"({"data":{"symbol":"XYZ","current_price":100,"options":[{"option":"XYZ991217C00100000","bid":1,"ask":2}]}})",
      now, message);
  ASSERT_TRUE(chain) << message;
  EXPECT_EQ(chain->as_of, floor<seconds>(now));
  ASSERT_EQ(chain->notes.size(), 1u);
  EXPECT_NE(chain->notes[0].find("no timestamp"), std::string::npos);
}

TEST(ChainParse, ATimestampWithAZoneOrFarFromTheReadingIsSaidSo) {
  std::string message;
  const auto now = system_clock::now();
  // "Z" would make it UTC, not New York: not taken as the quotes' time.
  const auto zoned = ParseOptionChain(
      R"({"timestamp":"2026-12-07T14:30:00Z","data":{"symbol":"XYZ","current_price":100}})", now,
      message);
  ASSERT_TRUE(zoned) << message;
  EXPECT_EQ(zoned->as_of, floor<seconds>(now));
  // Quotes a month before the reading: counted from them, and said so.
  const auto old = ParseOptionChain(
      R"({"timestamp":"2026-11-02 16:15:00","data":{"symbol":"XYZ","current_price":100}})",
      sys_days{2026y / 12 / 2} + hours{18}, message);
  ASSERT_TRUE(old);
  EXPECT_EQ(old->as_of, sys_days{2026y / 11 / 2} + hours{21} + minutes{15});  // EST
  ASSERT_EQ(old->notes.size(), 1u);
  EXPECT_EQ(old->notes[0],
            "The file's quotes are of 2026-11-02 16:15:00 New York, 29 days before it was read: "
            "times to expiry are counted from the quotes");
}

TEST(ChainSolve, NoRateOrNoParityPairIsARefusal) {
  std::string message;
  // A call and a put, two-sided, at one strike: a parity pair.
  const auto chain = ParseText(R"({"option":"XYZ270115C00100000","bid":5.0,"ask":5.2},)"
                               R"({"option":"XYZ270115P00100000","bid":4.0,"ask":4.2},)"
                               R"({"option":"XYZ270618C00100000","bid":7.0,"ask":7.4})",
                               message);
  ASSERT_TRUE(chain) << message;
  OptionChain no_rate = *chain;
  SolveOptionChain(no_rate, [](double) { return std::nan(""); });
  for (const ChainContract& c : no_rate.contracts) EXPECT_EQ(c.refusal, ChainRefusal::kNoRate);
  OptionChain throwing = *chain;
  SolveOptionChain(throwing, [](double) -> double { throw std::runtime_error("no curve"); });
  for (const ChainContract& c : throwing.contracts) EXPECT_EQ(c.refusal, ChainRefusal::kNoRate);
  // The June expiry has no pair of its own: it borrows January's yield and says so.
  OptionChain solved = *chain;
  SolveOptionChain(solved, TestRate);
  ASSERT_EQ(solved.expiries.size(), 2u);
  ASSERT_TRUE(solved.expiries[0].dividend && solved.expiries[1].dividend);
  EXPECT_DOUBLE_EQ(*solved.expiries[1].dividend, *solved.expiries[0].dividend);
  EXPECT_EQ(solved.expiries[1].dividend_note,
            "of the 2027-01-15 XYZ expiry (no two-sided pair of its own)");
  // A pair only in an expiry closing within the hour: its yield (ln(F / S)
  // over almost no time) serves its own contracts, never another expiry's.
  const auto hour = ParseText(R"({"option":"XYZ261207C00100000","bid":0.30,"ask":0.40},)"
                              R"({"option":"XYZ261207P00100000","bid":0.20,"ask":0.30},)"
                              R"({"option":"XYZ270115C00100000","bid":7.0,"ask":7.4})",
                              message);
  ASSERT_TRUE(hour);
  OptionChain hour_solved = *hour;
  SolveOptionChain(hour_solved, TestRate);
  ASSERT_EQ(hour_solved.expiries.size(), 2u);
  EXPECT_TRUE(hour_solved.expiries[0].dividend.has_value());
  EXPECT_FALSE(hour_solved.expiries[1].dividend.has_value());
  EXPECT_EQ(hour_solved.contracts[2].refusal, ChainRefusal::kNoDividend);
  // Without any pair: no yield at all.
  const auto lone = ParseText(R"({"option":"XYZ270618C00100000","bid":7.0,"ask":7.4})", message);
  ASSERT_TRUE(lone);
  OptionChain lone_solved = *lone;
  SolveOptionChain(lone_solved, TestRate);
  EXPECT_EQ(lone_solved.contracts[0].refusal, ChainRefusal::kNoDividend);
  EXPECT_STREQ(ChainRefusalText(ChainRefusal::kNoDividend), "no dividend yield");
}

TEST(ChainSolve, StopLeavesTheRestUnsolvedAndThreadsAgree) {
  std::string message;
  const auto chain = ParseOptionChain(Fixture("_SPX.json"), system_clock::now(), message);
  ASSERT_TRUE(chain) << message;
  OptionChain stopped = *chain;
  size_t calls = 0;
  EXPECT_FALSE(SolveOptionChain(
      stopped, TestRate,
      [&](size_t done, size_t total) {
        EXPECT_LE(done, total);
        return ++calls < 2;
      },
      1));
  size_t unsolved = 0;
  for (const ChainContract& c : stopped.contracts) {
    if (c.refusal == ChainRefusal::kNotSolved) {
      ++unsolved;
      EXPECT_FALSE(c.iv || c.at_iv);
      EXPECT_STREQ(ChainRefusalText(c.refusal), "not solved");
    }
  }
  EXPECT_GT(unsolved, 0u);
  OptionChain one = *chain, two = *chain;
  size_t last_done = 0, last_total = 1;
  EXPECT_TRUE(SolveOptionChain(one, TestRate, {}, 1));
  EXPECT_TRUE(SolveOptionChain(
      two, TestRate,
      [&](size_t done, size_t total) {
        last_done = done;
        last_total = total;
        return true;
      },
      2));
  EXPECT_EQ(last_done, last_total);
  for (size_t i = 0; i < one.contracts.size(); ++i) {
    EXPECT_EQ(one.contracts[i].iv, two.contracts[i].iv);
    EXPECT_EQ(one.contracts[i].refusal, two.contracts[i].refusal);
  }
}

TEST(ChainSolve, StrikesAroundTheMoneyAndTheSmile) {
  ChainExpiry e;
  for (double k : {80.0, 90.0, 95.0, 100.0, 105.0, 110.0, 120.0}) e.strikes.push_back({k, {}, {}});
  EXPECT_EQ(StrikesAroundMoney(e, 101, 3), (std::vector<size_t>{2, 3, 4}));
  EXPECT_EQ(StrikesAroundMoney(e, 101, 0).size(), 7u);
  EXPECT_EQ(StrikesAroundMoney(e, 101, 50).size(), 7u);
  EXPECT_EQ(NearestStrike(e, 108), std::optional<size_t>(5));
  EXPECT_FALSE(NearestStrike(ChainExpiry{}, 100));
  std::string message;
  auto chain = ParseOptionChain(Fixture("AAPL.json"), system_clock::now(), message);
  ASSERT_TRUE(chain);
  SolveOptionChain(*chain, TestRate);
  const auto smile = ExpirySmile(*chain, 0);
  ASSERT_EQ(smile.size(), chain->expiries[0].strikes.size());
  for (const SmilePoint& p : smile) {
    EXPECT_DOUBLE_EQ(p.moneyness, p.strike / chain->spot);
    const ChainStrike* s = nullptr;
    for (const ChainStrike& k : chain->expiries[0].strikes) {
      if (k.strike == p.strike) s = &k;
    }
    ASSERT_NE(s, nullptr);
    if (s->call) {
      EXPECT_EQ(p.call_iv, chain->contracts[*s->call].iv);
    }
    if (s->put) {
      EXPECT_EQ(p.put_source_iv, chain->contracts[*s->put].source.iv);
    }
  }
  EXPECT_TRUE(ExpirySmile(*chain, 99).empty());
}

}  // namespace
}  // namespace stratlyn
