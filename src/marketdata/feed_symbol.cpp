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

// The symbol an object of the feed names: "" when it has none.
std::string SymbolText(const nlohmann::json& obj) {
  if (!obj.is_object()) {
    return {};
  }
  const auto it = obj.find("symbol");
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
  if (Trim(ticker, kSpaceAndTab).empty() || !doc.is_object()) {
    return {};
  }
  const auto data = doc.find("data");
  for (const nlohmann::json* obj : {data == doc.end() ? nullptr : &*data, &doc}) {
    if (obj == nullptr) {
      continue;
    }
    const std::string symbol = SymbolText(*obj);
    // A symbol with no letter or digit ("", "-") names nothing.
    if (!TickerKey(symbol).empty() && !SameTicker(symbol, ticker)) {
      return symbol;
    }
  }
  return {};
}

}  // namespace stratlyn
