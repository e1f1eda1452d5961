// The historical volatilities of "CBOE Historical Volatilities": realized
// volatilities of the feed's daily closes and the quote's iv30 laid into the
// grid, one of which a click puts into the volatility field.

#include <chrono>
#include <cmath>
#include <nlohmann/json.hpp>

#include "calculator/market_commands.h"
#include "calculator/market_commands_internal.h"
#include "marketdata/civil_date.h"
#include "marketdata/occ_symbol.h"
#include "marketdata/page_figure.h"
#include "marketdata/quote_parser.h"
#include "marketdata/realized_vol.h"
#include "util/dialogs.h"
#include "util/format.h"
#include "util/numeric_entry.h"
#include "util/services.h"
#include "util/sites.h"
#include "util/text.h"

namespace stratlyn {

using market_detail::IsFeed;
using market_detail::kHistoricalVolatilityPath;
using market_detail::kNoStockTickerMessage;
using market_detail::kVolatilityFormat;

void MarketCommands::cmdHistoVol_Click() {
  Guarded([&] {
    ++load_serial_;
    View().Navigate(sites::ExchangeUrl() + kHistoricalVolatilityPath);
  });
}

void MarketCommands::cmdHistoVol_Click(MarketFields& f) {
  if (!IsFeed(f.exchange)) {
    cmdHistoVol_Click();
    return;
  }
  Guarded([&] {
    if (Trim(f.stock_ticker, kSpaceAndTab).empty()) {
      AppDialogs().Critical(kNoStockTickerMessage);
      return;
    }
    const std::string ticker = UpperAscii(Trim(f.stock_ticker, kSpaceAndTab));
    AppEvents().SetBusy(true);
    // The quote first, for its iv30 (per cent); then the daily history.
    const std::string quote_url = FeedQuoteUrl(ticker);
    if (!Load(quote_url)) {
      AppEvents().SetBusy(false);
      return;
    }
    // Another security's quote page gives no iv30 (the status says why).
    const std::string other = OtherFeedSymbol(View().BodyHtml(), ticker);
    const Iv30Reading iv30 =
        other.empty() ? ReadQuoteIv30(View().BodyHtml(), quote_url) : Iv30Reading{};
    const std::string url = FeedHistoryUrl(ticker);
    if (!Load(url)) {
      AppEvents().SetBusy(false);
      return;
    }
    AppEvents().SetBusy(false);
    std::string message;
    SkippedHistoryRows skipped;
    auto closes = ReadDailyCloses(View().BodyHtml(), url, message,
                                  LocalDate(std::chrono::system_clock::now()), &skipped);
    if (const std::string other_history = OtherFeedSymbol(View().BodyHtml(), ticker);
        closes && !other_history.empty()) {
      message = OtherSymbolMessage(url, other_history, ticker);
      closes.reset();
    }
    if (!closes) {
      AppDialogs().Show(message, MsgButtons::Ok, MsgIcon::Information, kMessageTitle);
      return;
    }
    std::vector<std::pair<std::string, std::optional<double>>> rows;
    for (int days : kVolatilityWindows) {
      rows.emplace_back(std::to_string(days) + " days", RealizedVolatility(*closes, days));
    }
    const std::string skipped_note = SkippedRowsNote(skipped);
    if (!rows.front().second) {
      AppDialogs().Show(TooShortHistoryMessage(ticker, closes->size(), kVolatilityWindows[0]) +
                            (skipped_note.empty() ? "" : "; " + skipped_note),
                        MsgButtons::Ok, MsgIcon::Information, kMessageTitle);
      return;
    }
    rows.emplace_back("iv30", iv30.fraction);
    grid_.Clear();
    grid_.SetRows(static_cast<int>(rows.size()) + 2);
    grid_.SetCols(5);
    grid_.SetTextMatrix(0, 1, "Volatility");
    grid_.SetTextMatrix(0, 2, "Annualised");
    grid_.SetTextMatrix(0, 3, "Through");
    const std::string through = FormatCivilDate(closes->back().date);
    grid_.SetTextMatrix(1, 1, ticker);
    grid_.SetTextMatrix(1, 2, "click a row");
    vol_rows_.clear();
    int row = 2;
    for (const auto& [label, value] : rows) {
      grid_.SetTextMatrix(row, 1, label);
      // A window longer than the history shows no figure, not a zero.
      grid_.SetTextMatrix(row, 2, value ? FormatNumber(*value, kVolatilityFormat) : "n/a");
      grid_.SetTextMatrix(row, 3, label == "iv30" ? "quote" : through);
      if (value) {
        vol_rows_.emplace_back(row, *value);
      }
      ++row;
    }
    f.status = "realized volatility, close to close, annualised with sqrt(252), from " +
               std::to_string(closes->size()) + " closes through " + through +
               (skipped_note.empty() ? "" : " (" + skipped_note + ")") + "; click a row to use it";
    for (int days : kVolatilityWindows) {
      if (const auto gap = GapInWindow(*closes, days)) {
        f.status += "; " + GapNote(days, *gap);
      }
    }
    if (!other.empty()) {
      f.status += "; iv30: " + OtherSymbolMessage(quote_url, other, ticker);
    }
    if (!iv30.note.empty()) {
      f.status += "; iv30: " + iv30.note;
    }
    AppEvents().ProcessPending();
  });
}

void MarketCommands::GridClicked(int row, MarketFields& f) {
  for (const auto& [r, v] : vol_rows_) {
    if (r == row) {
      f.volatility = FormatEntryNumber(v, kVolatilityFormat);
      f.status = "volatility " + FormatNumber(v, kVolatilityFormat) + " from the " +
                 grid_.TextMatrix(row, 1) + " row";
      return;
    }
  }
}

}  // namespace stratlyn
