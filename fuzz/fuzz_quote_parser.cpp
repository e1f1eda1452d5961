// The quote parsers (HTML page and JSON feed), the dividend-yield reader and
// the series-file reader on arbitrary pages.

#include <cmath>
#include <cstdlib>

#include "fuzz_support.h"
#include "marketdata/occ_symbol.h"
#include "marketdata/quote_parser.h"
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
  return 0;
}
