#include "marketdata/implied_dividend.h"

#include <algorithm>
#include <cmath>
#include <map>
#include <nlohmann/json.hpp>

#include "marketdata/civil_date.h"
#include "marketdata/exchange_time.h"
#include "marketdata/occ_symbol.h"
#include "marketdata/page_figure.h"
#include "marketdata/quote_parser.h"
#include "util/format.h"

namespace stratlyn {
namespace {

constexpr double kMinYears = 2.0 / 365.0;
constexpr size_t kStrikesUsed = 3;
constexpr double kLowestYield = -0.05;
constexpr double kHighestYield = 0.5;

std::optional<double> Number(const nlohmann::json& obj, const char* key) {
  const auto it = obj.find(key);
  if (it == obj.end()) {
    return std::nullopt;
  }
  if (it->is_number()) {
    const double d = it->get<double>();
    return std::isfinite(d) ? std::optional<double>(d) : std::nullopt;
  }
  if (it->is_string()) {
    return ReadFetchedFigure(it->get<std::string>());
  }
  return std::nullopt;
}

// The midpoint of a two-sided quote, or nothing.
std::optional<double> Mid(const nlohmann::json& option) {
  const auto bid = Number(option, "bid");
  const auto ask = Number(option, "ask");
  if (!bid || !ask || *bid <= 0 || *ask < *bid) {
    return std::nullopt;
  }
  return (*bid + *ask) / 2;
}

struct Pair {
  std::optional<double> call;
  std::optional<double> put;
};

}  // namespace

std::string NoParityPairMessage(const std::string& name) {
  return "The option chain " + name +
         " has no expiry with a strike near the money quoted two-sided on both the call and the "
         "put";
}

std::optional<double> ParityDividendYield(double spot, double rate, double years,
                                          const std::vector<ParityPair>& pairs) {
  if (pairs.empty() || !(years > 0) || !(spot > 0)) {
    return std::nullopt;
  }
  double forward = 0;
  for (const ParityPair& p : pairs) {
    forward += p.strike + std::exp(rate * years) * (p.call - p.put);
  }
  forward /= static_cast<double>(pairs.size());
  if (!(forward > 0) || !std::isfinite(forward)) {
    return std::nullopt;
  }
  const double q = rate - std::log(forward / spot) / years;
  if (!std::isfinite(q)) {
    return std::nullopt;
  }
  return q;
}

std::string ImpliedDividend::Note() const {
  std::string ks;
  for (size_t i = 0; i < strikes.size(); ++i) {
    std::string k = FormatNumber(strikes[i], "0.###");
    if (!k.empty() && k.back() == '.') {
      k.pop_back();
    }
    ks += (i ? ", " : "") + k;
  }
  return "implied by put-call parity on the " + expiry + " expiry (" +
         FormatNumber(years, "0.00000") + " years), strike" + (strikes.size() > 1 ? "s " : " ") +
         ks + ", spot " + FormatNumber(spot, "0.00###") + ", rate " + FormatNumber(rate, "0.0000");
}

std::optional<ImpliedDividend> ImpliedDividendYield(const std::string& page, double years,
                                                    const std::function<double(double)>& rate_at,
                                                    std::chrono::system_clock::time_point now,
                                                    std::string& message) {
  const nlohmann::json doc = nlohmann::json::parse(JsonFromPage(page), nullptr, false);
  if (doc.is_discarded() || !doc.is_object() || !doc.contains("data") || !doc["data"].is_object()) {
    message = kFeedUnreadableMessage;
    return std::nullopt;
  }
  const nlohmann::json& data = doc["data"];
  const std::string name = data.contains("symbol") && data["symbol"].is_string()
                               ? data["symbol"].get<std::string>()
                               : "";
  const auto spot = Number(data, "current_price");
  if (!spot || *spot <= 0) {
    message = kFeedNoPriceMessage;
    return std::nullopt;
  }
  // expiry date -> strike -> the call's and the put's midpoints
  std::map<std::string, std::map<double, Pair>> chain;
  std::map<std::string, double> expiry_years;
  const auto options = data.find("options");
  if (options != data.end() && options->is_array()) {
    for (const auto& option : *options) {
      if (!option.is_object() || !option.contains("option") || !option["option"].is_string()) {
        continue;
      }
      OccSymbol occ;
      if (!ParseOccSymbol(option["option"].get<std::string>(), occ)) {
        continue;
      }
      const auto mid = Mid(option);
      if (!mid) {
        continue;
      }
      const MaturityToClose m = MaturityOfOption(occ, now);
      if (m.years < kMinYears) {
        continue;
      }
      const std::string expiry = FormatCivilDate(m.date);
      expiry_years[expiry] = m.years;
      Pair& p = chain[expiry][occ.strike];
      (occ.put ? p.put : p.call) = mid;
    }
  }
  // Expiries nearest the maturity first; the first with a usable pair counts.
  std::vector<std::pair<double, std::string>> order;
  order.reserve(expiry_years.size());
  for (const auto& [expiry, t] : expiry_years) {
    order.emplace_back(std::fabs(t - years), expiry);
  }
  std::sort(order.begin(), order.end());
  for (const auto& [distance, expiry] : order) {
    std::vector<std::pair<double, double>> near;  // |K - S|, K
    for (const auto& [k, p] : chain[expiry]) {
      if (p.call && p.put) {
        near.emplace_back(std::fabs(k - *spot), k);
      }
    }
    if (near.empty()) {
      continue;
    }
    std::sort(near.begin(), near.end());
    if (near.size() > kStrikesUsed) {
      near.resize(kStrikesUsed);
    }
    ImpliedDividend d;
    d.expiry = expiry;
    d.years = expiry_years[expiry];
    d.rate = rate_at(d.years);
    d.spot = *spot;
    d.symbol = name;
    std::vector<ParityPair> pairs;
    for (const auto& [gap, k] : near) {
      const Pair& p = chain[expiry][k];
      pairs.push_back({k, *p.call, *p.put});
      d.strikes.push_back(k);
    }
    std::sort(d.strikes.begin(), d.strikes.end());
    const auto yield = ParityDividendYield(*spot, d.rate, d.years, pairs);
    if (!yield) {
      continue;
    }
    d.yield = *yield;
    if (!std::isfinite(d.yield) || d.yield < kLowestYield || d.yield > kHighestYield) {
      message = "The dividend yield " + FormatNumber(d.yield, "0.0000") + " " + d.Note() +
                " is beyond -5 % to 50 %: the quotes do not fit together";
      return std::nullopt;
    }
    return d;
  }
  message = NoParityPairMessage(name.empty() ? "of the page" : name);
  return std::nullopt;
}

}  // namespace stratlyn
