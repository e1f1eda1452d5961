#include "marketdata/feed_symbol.h"

#include <nlohmann/json.hpp>

#include "marketdata/quote_parser.h"
#include "util/text.h"

namespace stratlyn {
namespace {

// Letters and digits of a ticker in upper case (and any byte outside ASCII):
// "_SPX", "^spx" and "SPX" give "SPX", "BRK.B" and "BRK/B" "BRKB".
std::string TickerKey(std::string_view ticker) {
  std::string key;
  for (char c : ticker) {
    const auto u = static_cast<unsigned char>(c);
    if (u >= 0x80 || (u >= '0' && u <= '9')) {
      key += c;
    } else if (u >= 'a' && u <= 'z') {
      key += static_cast<char>(u - 'a' + 'A');
    } else if (u >= 'A' && u <= 'Z') {
      key += c;
    }
  }
  return key;
}

// The symbol an object of the feed names ("symbol", in any case: a page
// that wrote "Symbol" was taken whatever it named): "" when it has none.
std::string SymbolText(const nlohmann::json& obj) {
  if (!obj.is_object()) {
    return {};
  }
  auto it = obj.find("symbol");
  if (it == obj.end()) {
    for (it = obj.begin(); it != obj.end(); ++it) {
      if (TickerKey(it.key()) == "SYMBOL") {
        break;
      }
    }
  }
  if (it == obj.end() || it->is_null()) {
    return {};
  }
  return it->is_string() ? Trim(it->get<std::string>(), kSpaceAndTab) : it->dump();
}

}  // namespace

bool SameTicker(const std::string& a, const std::string& b) { return TickerKey(a) == TickerKey(b); }

std::string OtherFeedSymbol(const std::string& page, const std::string& ticker) {
  return OtherFeedSymbolOf(nlohmann::json::parse(JsonFromPage(page), nullptr, false), ticker);
}

std::string OtherSymbolMessage(const std::string& page, const std::string& symbol,
                               const std::string& ticker) {
  return "The page " + page + " is for " + symbol + ", not for " + ticker +
         ", the ticker asked for: nothing was taken from it";
}

std::string OtherFeedSymbolOf(const nlohmann::json& doc, const std::string& ticker) {
  // A ticker of punctuation only ("^") matches no symbol a page names.
  if (Trim(ticker, kSpaceAndTab).empty() || !(doc.is_object() || doc.is_array())) {
    return {};
  }
  const auto other = [&](const nlohmann::json& obj) -> std::string {
    const std::string symbol = SymbolText(obj);
    // A symbol with no letter or digit ("", "-") names nothing.
    return !TickerKey(symbol).empty() && !SameTicker(symbol, ticker) ? symbol : std::string();
  };
  // The rows of a history (its data, or the page itself, an array) may each
  // name their symbol: one of another ticker's was taken as this one's.
  const auto other_row = [&](const nlohmann::json& rows) -> std::string {
    if (rows.is_array()) {
      for (const auto& row : rows) {
        if (std::string symbol = other(row); !symbol.empty()) {
          return symbol;
        }
      }
    }
    return {};
  };
  if (doc.is_array()) {
    return other_row(doc);
  }
  const auto data = doc.find("data");
  if (data != doc.end()) {
    if (std::string symbol = data->is_array() ? other_row(*data) : other(*data); !symbol.empty()) {
      return symbol;
    }
  }
  return other(doc);
}

}  // namespace stratlyn
