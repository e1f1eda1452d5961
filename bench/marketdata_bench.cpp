// Reading fetched pages: a rate page's table into the grid, the text of a
// quote page's cells, and a quote page's last sale price, at realistic and at
// large sizes.

#include <benchmark/benchmark.h>

#include <string>

#include "marketdata/html_extract.h"
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

BENCHMARK_MAIN();
