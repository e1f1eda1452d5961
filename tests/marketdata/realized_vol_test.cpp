// Realized volatility from the feed's daily history.

#include "marketdata/realized_vol.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>

#include "marketdata/civil_date.h"
#include "marketdata/page_figure.h"
#include "util/format.h"

namespace stratlyn {
namespace {

using namespace std::chrono;

constexpr year_month_day kToday = 2026y / December / 9;

// A history page with the closes given oldest first, rows written in the
// order `order` gives (indices into closes), numbers as strings every third row.
std::string History(const std::vector<double>& closes, const std::vector<size_t>& order) {
  std::string rows;
  for (size_t i : order) {
    const year_month_day d{sys_days{2020y / January / 1} + days{static_cast<int>(i)}};
    const std::string close = FormatNumber(closes[i], "0.000000");
    rows += std::string(rows.empty() ? "" : ",") + R"({"volume": 1000, "date": ")" +
            FormatCivilDate(d) + R"(", "close": )" + (i % 3 == 0 ? "\"" + close + "\"" : close) +
            R"(, "open": null})";
  }
  return R"({"symbol": "X", "data": [)" + rows + "]}";
}

std::vector<size_t> Ascending(size_t n) {
  std::vector<size_t> v(n);
  for (size_t i = 0; i < n; ++i) v[i] = i;
  return v;
}

TEST(RealizedVolatility, AlternatingReturnsGiveTheirClosedForm) {
  // Returns +a, -a, ...: mean 0, sample variance n a^2 / (n - 1).
  const double a = 0.01;
  std::vector<double> closes = {100};
  for (int i = 0; i < 300; ++i) closes.push_back(closes.back() * std::exp(i % 2 ? -a : a));
  std::string message;
  // Newest row first, as some files are written: the same closes.
  std::vector<size_t> newest_first = Ascending(closes.size());
  std::reverse(newest_first.begin(), newest_first.end());
  const auto read = ReadDailyCloses(History(closes, newest_first), "h", message, kToday);
  ASSERT_TRUE(read) << message;
  ASSERT_EQ(read->size(), closes.size());
  for (int n : {20, 60, 250}) {
    const auto v = RealizedVolatility(*read, n);
    ASSERT_TRUE(v);
    // The page writes six decimals: closes near 100 are exact to 5e-7.
    EXPECT_NEAR(*v, a * std::sqrt(n / (n - 1.0)) * std::sqrt(252.0), 1e-6) << n;
  }
  EXPECT_FALSE(RealizedVolatility(*read, 301));  // 301 closes give 300 returns at most
  EXPECT_TRUE(RealizedVolatility(*read, 300));
}

TEST(RealizedVolatility, SimulatedPathsGiveBackTheirVolatility) {
  std::mt19937_64 gen(252);
  std::normal_distribution<double> z(0, 1);
  for (const double sigma : {0.1, 0.3, 0.8}) {
    std::vector<DailyClose> closes = {{2000y / January / 1, 50}};
    for (int i = 0; i < 20000; ++i) {
      const double dt = 1.0 / 252;
      closes.push_back({year_month_day{sys_days{closes.back().date} + days{1}},
                        closes.back().close *
                            std::exp(-0.5 * sigma * sigma * dt + sigma * std::sqrt(dt) * z(gen))});
    }
    // 20,000 returns: the estimate's standard error is sigma / 200.
    EXPECT_NEAR(*RealizedVolatility(closes, 20000), sigma, 4 * sigma / 200) << sigma;
  }
}

TEST(RealizedVolatility, GapsDuplicatesAndFaultsOfTheHistory) {
  std::string message;
  // Shuffled rows, a null close, a zero close, a repeated date with the same
  // close.
  const std::string page =
      R"({"data": [{"date": "2026-12-04", "close": 101.5}, {"date": "2026-12-02", "close": 100},)"
      R"( {"date": "2026-12-03", "close": null}, {"date": "2026-12-07", "close": 0},)"
      R"( {"date": "2026-12-01", "close": 98},)"
      R"( {"date": "2026-12-04", "close": "101.5"}]})";
  const auto read = ReadDailyCloses(page, "h", message, kToday);
  ASSERT_TRUE(read) << message;
  ASSERT_EQ(read->size(), 3u);
  EXPECT_EQ(read->front().date, 2026y / December / 1);
  EXPECT_DOUBLE_EQ(read->back().close, 101.5);
  // A close that is no figure: named, never guessed.
  EXPECT_FALSE(ReadDailyCloses(R"({"data": [{"date": "2026-12-04", "close": "1.234,5"}]})",
                               "http://h/x.json", message, kToday));
  EXPECT_EQ(message, NotAFigureMessage("http://h/x.json", "1.234,5"));
  // A negative or vanishing close is no price: once passed over (so the next
  // return spanned two days) or, at 1e-300, read as a volatility of 3578.
  for (const std::string close : {"-3", "1e-300", "\"0.000004\"", "-0.000001"}) {
    message.clear();
    EXPECT_FALSE(ReadDailyCloses(R"({"data": [{"date": "2026-12-03", "close": 100},)"
                                 R"( {"date": "2026-12-04T16:00:00", "close": )" +
                                     close + "}]}",
                                 "http://h/x.json", message, kToday))
        << close;
    EXPECT_EQ(message.rfind("The close of 2026-12-04 on http://h/x.json is ", 0), 0u) << message;
    EXPECT_NE(message.find(", which is no price"), std::string::npos) << message;
  }
  // Two different closes of one day are refused whichever row comes last:
  // rows with times of day, newest first, gave the 10:00 price as the close.
  for (const bool newest_first : {true, false}) {
    const std::string late = R"({"date": "2026-12-04T16:00:00", "close": 99})";
    const std::string early = R"({"date": "2026-12-04T10:00:00", "close": 90})";
    message.clear();
    EXPECT_FALSE(ReadDailyCloses(R"({"data": [{"date": "2026-12-03", "close": 100}, )" +
                                     (newest_first ? late + ", " + early : early + ", " + late) +
                                     "]}",
                                 "http://h/x.json", message, kToday));
    EXPECT_EQ(message, newest_first ? TwoClosesMessage("http://h/x.json", "2026-12-04", 99, 90)
                                    : TwoClosesMessage("http://h/x.json", "2026-12-04", 90, 99));
  }
  EXPECT_EQ(TwoClosesMessage("P", "2026-12-04", 99, 90.25),
            "The page P gives two closes for 2026-12-04 (99 and 90.25): no volatility was taken "
            "from it");
  // A close no price field can show (1e10 and up) is no price either: 1e300
  // among closes of 100 read as a volatility of 15405.
  for (const std::string close : {"1e300", "10000000000", "\"9999999999.999999\""}) {
    message.clear();
    EXPECT_FALSE(ReadDailyCloses(R"({"data": [{"date": "2026-12-03", "close": 100},)"
                                 R"( {"date": "2026-12-04", "close": )" +
                                     close + R"(}, {"date": "2026-12-07", "close": 101}]})",
                                 "http://h/x.json", message, kToday))
        << close;
    EXPECT_EQ(message.rfind("The close of 2026-12-04 on http://h/x.json is ", 0), 0u) << message;
  }
  EXPECT_TRUE(ReadDailyCloses(R"({"data": [{"date": "2026-12-03", "close": 9999999999.99}]})", "h",
                              message, kToday))
      << message;
  // The least price shown still counts.
  const auto least = ReadDailyCloses(
      R"({"data": [{"date": "2026-12-03", "close": 0.000005}, {"date": "2026-12-04", "close": 1}]})",
      "h", message, kToday);
  ASSERT_TRUE(least) << message;
  EXPECT_EQ(least->size(), 2u);
  EXPECT_FALSE(ReadDailyCloses("<h1>Forbidden</h1>", "http://h/x.json", message, kToday));
  EXPECT_EQ(message, "The page http://h/x.json is not a daily price history");
  EXPECT_EQ(TooShortHistoryMessage("X", 12, 20),
            "The history of X has 12 closes: too few for 20 trading days");
}

// A history with closes missing (a month the page left out) counts one
// return over the whole gap as one day's: said, never silent.
TEST(RealizedVolatility, GapsBetweenClosesAreFoundInTheirWindow) {
  std::vector<DailyClose> closes;
  year_month_day d = 2026y / January / 5;  // a Monday
  for (int i = 0; i < 80; ++i) {
    closes.push_back({d, 100.0 + i % 2});
    // Weekdays only; after close 40 the page skips three weeks.
    const int step = weekday{sys_days{d}} == Friday ? 3 : 1;
    d = year_month_day{sys_days{d} + days{step + (i == 40 ? 21 : 0)}};
  }
  // Weekends alone are no gap.
  EXPECT_FALSE(GapInWindow(closes, 20));
  EXPECT_FALSE(GapInWindow(closes, 38));  // the returns after close 41
  const auto gap = GapInWindow(closes, 39);
  ASSERT_TRUE(gap);
  EXPECT_EQ(gap->from, closes[40].date);
  EXPECT_EQ(gap->to, closes[41].date);
  EXPECT_EQ(gap->days, 22);
  EXPECT_EQ(GapNote(60, {2026y / March / 2, 2026y / March / 20, 18}),
            "the 60-day figure has one return over 18 days (2026-03-02 to 2026-03-20: closes "
            "missing from the history)");
  EXPECT_FALSE(GapInWindow(closes, 80));  // no figure either
  // The longest market closures of a week stay below the bound.
  EXPECT_FALSE(GapInWindow({{2001y / September / 10, 1}, {2001y / September / 17, 1}}, 1));
  EXPECT_TRUE(GapInWindow({{2001y / September / 10, 1}, {2001y / September / 18, 1}}, 1));
}

// The feed's own layout (every figure a string, open/high/low/volume beside
// the close) and others a server or a browser may give: keys reordered and in
// capitals, extra keys, a heading and a summary row, blank lines, CR LF, the
// JSON inside a browser's <pre>. Each gives the same closes; the rows passed
// over are counted.
TEST(RealizedVolatility, PagesLaidOutUnlikeTheFeedGiveTheSameClosesOrNameTheirRow) {
  const std::vector<std::string> days = {
      R"({"date": "2026-12-01", "open": "97.5", "high": "98.9", "low": "96.1", "close": "98.00", "volume": "1200"})",
      R"({"volume": 900, "close": 100, "date": "2026-12-02"})",
      R"({"Close": "101.50", "adj_close": "55.1", "Date": "2026-12-04T16:00:00"})",
      R"({"DATE": "12/7/2026", "CLOSE": 99.25, "change": -2.25})"};
  std::string message;
  SkippedHistoryRows skipped;
  const auto plain = ReadDailyCloses(
      R"({"data": [)" + days[0] + "," + days[1] + "," + days[2] + "," + days[3] + "]}", "h",
      message, kToday, &skipped);
  ASSERT_TRUE(plain) << message;
  ASSERT_EQ(plain->size(), 4u);
  EXPECT_EQ(plain->back().date, 2026y / December / 7);
  EXPECT_DOUBLE_EQ(plain->back().close, 99.25);
  EXPECT_DOUBLE_EQ((*plain)[2].close, 101.5);  // "Close", not "adj_close"
  EXPECT_EQ(SkippedRowsNote(skipped), "");

  const std::string laid_out =
      "<html><body><pre>{\"symbol\": \"X\",\r\n\r\n \"data\": [\r\n"
      R"({"symbol": "X", "rows": 6},)"
      "\r\n\r\n" +
      days[3] + ",\r\n" + days[2] +
      ",\r\n"
      R"({"date": "2026-12-03", "close": null, "volume": 0},)"
      "\r\n" +
      days[1] +
      ",\r\n"
      R"({"date": "2026-11-30", "close": ""},)"
      "\r\n" +
      days[0] +
      ",\r\n"
      R"({"date": "Total", "volume": "2100"})"
      "\r\n]}\r\n</pre></body></html>";
  const auto read = ReadDailyCloses(laid_out, "h", message, kToday, &skipped);
  ASSERT_TRUE(read) << message;
  ASSERT_EQ(read->size(), plain->size());
  for (size_t i = 0; i < read->size(); ++i) {
    EXPECT_EQ((*read)[i].date, (*plain)[i].date) << i;
    EXPECT_EQ((*read)[i].close, (*plain)[i].close) << i;
  }
  EXPECT_EQ(skipped.no_trade, 2u);
  EXPECT_EQ(skipped.not_days, 2u);
  EXPECT_EQ(SkippedRowsNote(skipped),
            "2 days without a trade and 2 rows that are no day (a heading or a summary) were "
            "passed over");
  EXPECT_EQ(SkippedRowsNote({1, 0}), "1 day without a trade was passed over");

  // Rows that were passed over without a word, each now named: the return
  // across them was taken as one day's.
  const auto refused = [&](const std::string& row, size_t at) {
    std::vector<std::string> rows = days;
    rows.insert(rows.begin() + static_cast<long>(at), row);
    std::string page = R"({"data": [)";
    for (size_t i = 0; i < rows.size(); ++i) page += (i ? "," : "") + rows[i];
    message.clear();
    EXPECT_FALSE(ReadDailyCloses(page + "]}", "http://h/x.json", message, kToday)) << row;
    return message;
  };
  EXPECT_EQ(refused(R"({"date": "Dec 3, 2026", "close": 99})", 2),
            BadHistoryRowMessage("http://h/x.json", 3, R"({"close":99,"date":"Dec 3, 2026"})",
                                 history_row::kUnreadableDate));
  EXPECT_EQ(BadHistoryRowMessage("P", 3, "{}", history_row::kUnreadableDate),
            "Row 3 of P ({}) has a date that cannot be read: no volatility was taken from it");
  EXPECT_EQ(refused(R"({"date": "2026-12", "close": 99})", 1),
            BadHistoryRowMessage("http://h/x.json", 2, R"({"close":99,"date":"2026-12"})",
                                 history_row::kUnreadableDate));
  EXPECT_EQ(refused(R"({"date": "2026-12-03", "price": 99})", 2),
            BadHistoryRowMessage("http://h/x.json", 3, R"({"date":"2026-12-03","price":99})",
                                 history_row::kNoClose));
  EXPECT_EQ(refused(R"({"timestamp": "2026-12-03", "close": 99})", 4),
            BadHistoryRowMessage("http://h/x.json", 5, R"({"close":99,"timestamp":"2026-12-03"})",
                                 history_row::kNoDate));
  EXPECT_EQ(refused(R"({"t": 1796342400, "c": 99})", 2),
            BadHistoryRowMessage("http://h/x.json", 3, R"({"c":99,"t":1796342400})",
                                 history_row::kNoDay));
  EXPECT_EQ(refused(R"(["2026-12-03", 99])", 2),
            BadHistoryRowMessage("http://h/x.json", 3, R"(["2026-12-03",99])",
                                 history_row::kNotAnObject));
  EXPECT_EQ(
      refused(R"({"date": "2026-12-03", "close": 99, "Close": 90})", 2),
      BadHistoryRowMessage("http://h/x.json", 3, R"({"Close":90,"close":99,"date":"2026-12-03"})",
                           history_row::kTwoKeys));
  EXPECT_EQ(refused(R"({"date": "2026-12-03", "close": true})", 2),
            NotAFigureMessage("http://h/x.json", "true"));
  // A key twice in one object: the parser keeps one without a word.
  EXPECT_EQ(refused(R"({"date": "2026-12-03", "close": 1, "close": 99})", 2),
            RepeatedKeyMessage("http://h/x.json", "close"));
  message.clear();
  EXPECT_FALSE(ReadDailyCloses(R"({"data": [], "data": [)" + days[0] + "]}", "P", message, kToday));
  EXPECT_EQ(message,
            "The page P gives the key \"data\" twice in one object: no volatility was "
            "taken from it");
  // Rows of another layout only: no history, rather than one of no days.
  message.clear();
  EXPECT_FALSE(
      ReadDailyCloses(R"({"data": [{"t": "2026-12-03", "c": 99}, {"t": "2026-12-04", "c": 98}]})",
                      "P", message, kToday));
  EXPECT_EQ(message, NotAHistoryMessage("P"));
  // A long row is cut short in the message.
  const std::string long_row =
      refused(R"({"date": "someday", "close": 99, "note": ")" + std::string(200, 'x') + "\"}", 2);
  EXPECT_NE(long_row.find("...) has a date that cannot be read"), std::string::npos) << long_row;
  EXPECT_LT(long_row.size(), 200u);

  // A day after today: refused, naming the date and the page, nothing taken
  // (it was the latest close: "through 2027-12-08").
  EXPECT_EQ(refused(R"({"date": "2027-12-08", "close": 99})", 4),
            FutureCloseMessage("http://h/x.json", "2027-12-08", "2026-12-09"));
  EXPECT_EQ(FutureCloseMessage("P", "2026-12-10", "2026-12-09"),
            "The page P has a close dated 2026-12-10, after today (2026-12-09): no volatility was "
            "taken from it");
  // Even a day without a trade: the page's dates are wrong.
  EXPECT_EQ(refused(R"({"date": "2026-12-10", "close": null})", 4),
            FutureCloseMessage("http://h/x.json", "2026-12-10", "2026-12-09"));
  // Today itself is a day of the history.
  EXPECT_TRUE(ReadDailyCloses(R"([{"date": "2026-12-09", "close": 1}])", "h", message, kToday))
      << message;
}

TEST(RealizedVolatility, TheQuotesIv30IsAPerCentFigureOrLeftOutWithItsReason) {
  const std::string page = "https://feed.example/q.json";
  const auto read = [&](const std::string& iv30) {
    return ReadQuoteIv30(R"({"data": {"symbol": "AAPL", "iv30": )" + iv30 + "}}", page);
  };
  // Per cent as the feed gives it, a number or a text; in a browser's <pre>.
  for (const auto& [text, fraction] : std::vector<std::pair<std::string, double>>{
           {"21.4", 0.214}, {"\"24.1\"", 0.241}, {"1", 0.01}, {"500", 5.0}, {"\"95.5\"", 0.955}}) {
    const Iv30Reading r = read(text);
    ASSERT_TRUE(r.fraction) << text;
    EXPECT_DOUBLE_EQ(*r.fraction, fraction) << text;
    EXPECT_EQ(r.note, "") << text;
  }
  const Iv30Reading in_pre =
      ReadQuoteIv30(R"(<html><body><pre>{"data": {"iv30": 31.5}}</pre></body></html>)", page);
  ASSERT_TRUE(in_pre.fraction);
  EXPECT_DOUBLE_EQ(*in_pre.fraction, 0.315);
  // No figure on the page: none, and nothing to say.
  for (const std::string& none : {std::string("null"), std::string("\"\"")}) {
    const Iv30Reading r = read(none);
    EXPECT_FALSE(r.fraction) << none;
    EXPECT_EQ(r.note, "") << none;
  }
  EXPECT_FALSE(ReadQuoteIv30(R"({"data": {"symbol": "AAPL"}})", page).fraction);
  EXPECT_FALSE(ReadQuoteIv30("not json", page).fraction);
  // A figure that is not a volatility in per cent is left out, saying why:
  // a fraction 0.214 read as per cent would show 0.00214.
  const std::vector<std::pair<std::string, std::string>> refused = {
      {"0.214", "the page " + page + " gives 0.214, in per cent a volatility below 1 %"},
      {"\"0.3\"", "the page " + page + " gives 0.3, in per cent a volatility below 1 %"},
      {"0", "the page " + page + " gives 0, which is no volatility"},
      {"-12", "the page " + page + " gives -12, which is no volatility"},
      {"\"n/a\"", "the page " + page + " gives n/a, which is no volatility"},
      {"\"24.1%x\"", "the page " + page + " gives 24.1%x, which is no volatility"},
      {"[24.1]", "the page " + page + " gives [24.1], which is no volatility"},
      {"2140", "the page " + page + " gives 2140, a volatility above 500 %"},
  };
  for (const auto& [text, note] : refused) {
    const Iv30Reading r = read(text);
    EXPECT_FALSE(r.fraction) << text;
    EXPECT_EQ(r.note.rfind(note, 0), 0u) << text << ": " << r.note;
    EXPECT_NE(r.note.find("left out"), std::string::npos) << r.note;
  }
}

}  // namespace
}  // namespace stratlyn
