// The quote parsers (HTML page and JSON feed), the dividend-yield reader,
// the strict reader of fetched figures, the curve files, the daily history,
// the implied dividend yield and the series-file reader on arbitrary pages.

#include <chrono>
#include <cmath>
#include <cstdlib>

#include "fuzz_support.h"
#include "marketdata/implied_dividend.h"
#include "marketdata/occ_symbol.h"
#include "marketdata/page_figure.h"
#include "marketdata/quote_parser.h"
#include "marketdata/realized_vol.h"
#include "marketdata/treasury_curve.h"
#include "marketdata/zel_bloomberg_data.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace stratlyn;
  fuzz::InstallQuietServices();
  if (size < 1) return 0;
  const std::string page = fuzz::AsText(data + 1, size - 1);
  QuoteContext ctx{data[0] % 12, data[0] & 0x80 ? "130" : "125.5", {}};
  (void)ParseCBOESimpleQuote(page, "CBOE", ctx);

  QuoteContext feed_ctx{0, "150", {}};
  (void)ParseCBOEFeedQuote(page, data[0] & 1 ? "AAPL270115C00150000" : "", feed_ctx);

  double percent = 0;
  if (ReadDividendYield(page, percent) && !std::isfinite(percent)) std::abort();

  std::string date;
  double value = 0;
  if (LastObservation(page, date, value) && !std::isfinite(value)) std::abort();

  OccSymbol occ;
  (void)ParseOccSymbol(page.substr(0, 24), occ);

  if (const auto v = ReadFetchedFigure(page.substr(0, 64),
                                       data[0] & 2 ? FigureKind::kYield : FigureKind::kPlain);
      v && !std::isfinite(*v)) {
    std::abort();
  }
  std::string problem;
  for (const auto& curve :
       {ReadTreasuryParCsv(page, "p", problem), ReadH15DownloadCsv(page, "p", problem)}) {
    if (!curve) continue;
    for (const ParYieldPoint& p : curve->points) {
      if (!std::isfinite(p.percent) || p.percent < -20 || p.percent > 100) std::abort();
    }
  }
  std::string message;
  using namespace std::chrono;
  constexpr year_month_day kToday{year{2026}, December, day{9}};
  SkippedHistoryRows skipped;
  if (const auto closes = ReadDailyCloses(page, "p", message, kToday, &skipped)) {
    for (const DailyClose& c : *closes) {
      if (!(c.close > 0) || !std::isfinite(c.close) || c.date > kToday) std::abort();
    }
    if (const auto v = RealizedVolatility(*closes, 2); v && !std::isfinite(*v)) std::abort();
  }
  // An iv30 is a volatility of 1 % to 500 %, or none.
  if (const Iv30Reading iv = ReadQuoteIv30(page, "p");
      iv.fraction && !(*iv.fraction >= 0.01 && *iv.fraction <= 5.0)) {
    std::abort();
  }
  if (const auto d = ImpliedDividendYield(
          page, 0.25, [](double) { return 0.04; }, std::chrono::system_clock::time_point{},
          message);
      d && !(d->yield >= -0.05 && d->yield <= 0.5)) {
    std::abort();
  }
  return 0;
}
