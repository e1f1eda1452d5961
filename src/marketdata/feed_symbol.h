#pragma once
// Whether a feed file is the one of the security asked for: the symbol it
// names against the ticker, however either is written.

#include <nlohmann/json_fwd.hpp>
#include <string>

namespace stratlyn {

// True when two ways of writing a ticker name the same security: case, blanks
// and punctuation aside ("_SPX", "^SPX" and "spx"; "BRK.B" and "BRK/B").
bool SameTicker(const std::string& a, const std::string& b);

// The symbol a feed page names (its data's "symbol", else its own) when that
// is not `ticker`; "" when the page names `ticker`, names no symbol, is no
// feed page, or `ticker` is "".
std::string OtherFeedSymbol(const std::string& page, const std::string& ticker);

// The same for a page already parsed.
std::string OtherFeedSymbolOf(const nlohmann::json& doc, const std::string& ticker);

// "The page PAGE is for SYMBOL, not for TICKER, the ticker asked for: nothing
// was taken from it".
std::string OtherSymbolMessage(const std::string& page, const std::string& symbol,
                               const std::string& ticker);

}  // namespace stratlyn
