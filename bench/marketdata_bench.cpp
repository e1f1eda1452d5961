// Reading fetched pages: a rate page's table into the grid, the text of a
// quote page's cells, and a quote page's last sale price, at realistic and at
// large sizes.

#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>
#include <string>

#include "marketdata/html_extract.h"
#include "marketdata/implied_dividend.h"
#include "marketdata/quote_parser.h"
#include "util/dialogs.h"
#include "util/events.h"
#include "util/grid.h"
#include "util/services.h"

namespace {

using namespace stratlyn;

class SilentDialogs : public Dialogs {
 public:
  MsgAnswer Show(const std::string&, MsgButtons, MsgIcon, const std::string&) override {
    return MsgAnswer::No;
  }
};
class NoEvents : public Events {
 public:
  void ProcessPending() override {}
  void SetBusy(bool) override {}
};

// A page with filler, a heading and one table of `rows` rows of four cells.
std::string RatePage(int rows) {
  std::string page =
      "<html><body>" + std::string(20000, 'x') + "<h2>U.S. TREASURIES</h2>\n<table class=\"r\">\n";
  for (int r = 0; r < rows; ++r) {
    page += "<tr><td class=\"n\">" + std::to_string(r + 1) +
            " Year</td><td>4.125</td><td>11/30/2028</td>"
            "<td>99-28 / 4.19&nbsp;</td></tr>\n";
  }
  page += "</table>" + std::string(20000, 'y') + "</body></html>";
  return page;
}

void BM_ExtractHtmlTable(benchmark::State& state) {
  SilentDialogs dialogs;
  NoEvents events;
  ScopedServices scope(&dialogs, &events);
  const std::string page = RatePage(static_cast<int>(state.range(0)));
  for (auto _ : state) {
    Grid grid;
    ExtractHtmlTable(page, grid, 1, "U.S. TREASURIES");
    benchmark::DoNotOptimize(grid.Rows());
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) *
                          static_cast<int64_t>(page.size()));
}
BENCHMARK(BM_ExtractHtmlTable)->Arg(10)->Arg(100)->Arg(1000)->Unit(benchmark::kMicrosecond);

void BM_HtmlToText(benchmark::State& state) {
  NoEvents events;
  ScopedServices scope(nullptr, &events);
  std::string fragment = "<td>";
  for (int i = 0; i < state.range(0); ++i) fragment += "<b>1</b>&#55;&nbsp;<br>";
  fragment += "</td>";
  for (auto _ : state) benchmark::DoNotOptimize(HtmlToText(fragment));
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) *
                          static_cast<int64_t>(fragment.size()));
}
BENCHMARK(BM_HtmlToText)->Arg(1)->Arg(100)->Arg(1000)->Unit(benchmark::kMicrosecond);

void BM_ParseCBOESimpleQuote(benchmark::State& state) {
  SilentDialogs dialogs;
  NoEvents events;
  ScopedServices scope(&dialogs, &events);
  const std::string page =
      std::string(static_cast<size_t>(state.range(0)), ' ') +
      "<!-- end ready to trade bar --><span class=\"delayedQuotes\">IBM Jan 130.00 "
      "Call (IBM AZ-E)</span><td>Last Sale</td><td>3.25</td><td>Tick</td>";
  for (auto _ : state) {
    QuoteContext ctx{0, "130", {}};
    benchmark::DoNotOptimize(ParseCBOESimpleQuote(page, "CBOE", ctx));
  }
}
BENCHMARK(BM_ParseCBOESimpleQuote)->Arg(1000)->Arg(200000)->Unit(benchmark::kMicrosecond);

}  // namespace

// An index chain as the feed serves _SPX.json: about 30,000 contracts and
// 14 MB, every field of a real record, numbers as numbers, nulls where a
// contract never traded.
std::string IndexChain(int contracts) {
  std::string page =
      R"({"timestamp": "2026-12-08 16:15:00", "data": {"symbol": "^SPX", "security_type": "index",)"
      R"( "current_price": 6012.5, "options": [)";
  char record[512];
  for (int i = 0; i < contracts; ++i) {
    const int expiry = i / 600;  // 50 expiries of 300 strikes each side
    const int strike = 4500 + (i / 2 % 300) * 10;
    const bool put = i % 2 == 1;
    const bool traded = i % 7 == 0;
    std::snprintf(record, sizeof record,
                  R"(%s{"option": "SPXW%02d%02d%02dP%08d", "bid": %d.%02d, "bid_size": 12,)"
                  R"( "ask": %d.%02d, "ask_size": 40, "iv": 0.1834, "open_interest": 1204,)"
                  R"( "volume": %d, "delta": 0.4812, "gamma": 0.0011, "vega": 4.2051,)"
                  R"( "theta": -1.3021, "rho": 0.9122, "theo": 120.25,)"
                  R"( "change": 0.0, "open": 0.0, "high": 0.0, "low": 0.0,)"
                  R"( "tick": "no_change", "last_trade_price": %s, "last_trade_time": %s,)"
                  R"( "percent_change": 0.0, "prev_day_close": 118.30000305175781})",
                  i == 0 ? "" : ",", 27 + expiry / 12, 1 + expiry % 12, 15, strike * 1000,
                  100 + i % 50, i % 100, 101 + i % 50, i % 100, traded ? 3 : 0,
                  traded ? "120.5" : "0", traded ? "\"2026-12-08T15:59:30\"" : "null");
    if (!put) record[i == 0 ? 22 : 23] = 'C';  // after {"option": "SPXWyymmdd
    page += record;
  }
  return page + "]}}";
}

// Reading one contract (the last) out of the whole chain.
void BM_FeedOptionFromIndexChain(benchmark::State& state) {
  SilentDialogs dialogs;
  NoEvents events;
  ScopedServices scope(&dialogs, &events);
  const std::string page = IndexChain(static_cast<int>(state.range(0)));
  const std::string last = page.substr(page.rfind("SPXW"), 19);
  state.counters["MB"] = static_cast<double>(page.size()) / 1e6;
  {
    QuoteContext ctx;
    ctx.strike = "1";
    if (ReadCBOEFeedQuote(page, last, ctx).outcome != QuoteOutcome::kPrice) {
      state.SkipWithError(("no price for " + last).c_str());
      return;
    }
  }
  for (auto _ : state) {
    QuoteContext ctx;
    ctx.strike = "1";
    benchmark::DoNotOptimize(ReadCBOEFeedQuote(page, last, ctx));
  }
}
BENCHMARK(BM_FeedOptionFromIndexChain)->Arg(1000)->Arg(30000)->Unit(benchmark::kMillisecond);

// The implied dividend yield over the whole chain.
void BM_ImpliedDividendFromIndexChain(benchmark::State& state) {
  const std::string page = IndexChain(static_cast<int>(state.range(0)));
  const auto now = std::chrono::system_clock::now();
  {
    std::string message;
    if (!ImpliedDividendYield(
            page, 0.25, [](double) { return 0.04; }, now, message)) {
      state.SkipWithError(message.c_str());
      return;
    }
  }
  for (auto _ : state) {
    std::string message;
    benchmark::DoNotOptimize(ImpliedDividendYield(
        page, 0.25, [](double) { return 0.04; }, now, message));
  }
}
BENCHMARK(BM_ImpliedDividendFromIndexChain)->Arg(30000)->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
