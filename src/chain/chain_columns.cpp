#include "chain/chain_columns.h"

#include <cmath>

#include "util/format.h"

namespace stratlyn {
namespace {

constexpr std::string_view kPriceFormat = "#####0.00##";
constexpr std::string_view kPercentFormat = "####0.00";
constexpr std::string_view kGreekFormat = "####0.0000";
constexpr std::string_view kGammaFormat = "####0.000000";
constexpr std::string_view kCountFormat = "##########0";
constexpr std::string_view kStrikeFormat = "#######0.###";

std::string Figure(const std::optional<double>& v, std::string_view pattern, char dp,
                   double scale = 1.0) {
  if (!v || !std::isfinite(*v)) {
    return {};
  }
  return FormatNumber(*v * scale, pattern, dp);
}

// A figure at the own implied volatility: there, or the refusal's words.
std::string AtIv(const ChainContract& c, double OwnFigures::*field, std::string_view pattern,
                 char dp) {
  if (c.at_iv) {
    // A figure that is no number is left blank, never written as "NaN".
    const double v = (*c.at_iv).*field;
    return std::isfinite(v) ? FormatNumber(v, pattern, dp) : std::string();
  }
  return ChainRefusalText(c.refusal);
}

std::optional<double> OwnField(const ChainContract& c, double OwnFigures::*field) {
  if (c.at_iv) {
    return (*c.at_iv).*field;
  }
  return std::nullopt;
}

}  // namespace

static std::optional<double> RawSortKey(const ChainContract& c, ChainColumn column);

std::string ChainCellText(const ChainContract& c, ChainColumn column, char dp) {
  switch (column) {
    case ChainColumn::kBid:
      return Figure(c.bid, kPriceFormat, dp);
    case ChainColumn::kAsk:
      return Figure(c.ask, kPriceFormat, dp);
    case ChainColumn::kMid:
      return Figure(c.mid, kPriceFormat, dp);
    case ChainColumn::kLast:
      return Figure(c.last, kPriceFormat, dp);
    case ChainColumn::kLastTime: {
      std::string t = c.last_trade_time;
      if (t.size() > 10 && t[10] == 'T') {
        t[10] = ' ';
      }
      if (t.size() > 16) {
        t.resize(16);  // to the minute
      }
      return t;
    }
    case ChainColumn::kVolume:
      return Figure(c.volume, kCountFormat, dp);
    case ChainColumn::kOpenInterest:
      return Figure(c.open_interest, kCountFormat, dp);
    case ChainColumn::kIv:
      if (c.iv) {
        return Figure(c.iv, kPercentFormat, dp, 100.0);
      }
      return ChainRefusalText(c.refusal);
    case ChainColumn::kSourceIv:
      return Figure(c.source.iv, kPercentFormat, dp, 100.0);
    case ChainColumn::kValue:
      return AtIv(c, &OwnFigures::value, kPriceFormat, dp);
    case ChainColumn::kDelta:
      return AtIv(c, &OwnFigures::delta, kGreekFormat, dp);
    case ChainColumn::kGamma:
      return AtIv(c, &OwnFigures::gamma, kGammaFormat, dp);
    case ChainColumn::kVega:
      return AtIv(c, &OwnFigures::vega, kGreekFormat, dp);
    case ChainColumn::kTheta:
      return AtIv(c, &OwnFigures::theta, kGreekFormat, dp);
    case ChainColumn::kSourceDelta:
      return Figure(c.source.delta, kGreekFormat, dp);
  }
  return {};
}

bool ChainCellIsReason(const ChainContract& c, ChainColumn column) {
  switch (column) {
    case ChainColumn::kIv:
      return !c.iv;
    case ChainColumn::kValue:
    case ChainColumn::kDelta:
    case ChainColumn::kGamma:
    case ChainColumn::kVega:
    case ChainColumn::kTheta:
      return !c.at_iv;
    default:
      return false;
  }
}

std::optional<double> ChainSortKey(const ChainContract& c, ChainColumn column) {
  // A key that is no number would break the sort's order: it counts as none.
  const std::optional<double> key = RawSortKey(c, column);
  if (key && !std::isfinite(*key)) {
    return std::nullopt;
  }
  return key;
}

static std::optional<double> RawSortKey(const ChainContract& c, ChainColumn column) {
  switch (column) {
    case ChainColumn::kBid:
      return c.bid;
    case ChainColumn::kAsk:
      return c.ask;
    case ChainColumn::kMid:
      return c.mid;
    case ChainColumn::kLast:
      return c.last;
    case ChainColumn::kLastTime:
      return std::nullopt;  // sorted by its text (see the model)
    case ChainColumn::kVolume:
      return c.volume;
    case ChainColumn::kOpenInterest:
      return c.open_interest;
    case ChainColumn::kIv:
      return c.iv;
    case ChainColumn::kSourceIv:
      return c.source.iv;
    case ChainColumn::kValue:
      return OwnField(c, &OwnFigures::value);
    case ChainColumn::kDelta:
      return OwnField(c, &OwnFigures::delta);
    case ChainColumn::kGamma:
      return OwnField(c, &OwnFigures::gamma);
    case ChainColumn::kVega:
      return OwnField(c, &OwnFigures::vega);
    case ChainColumn::kTheta:
      return OwnField(c, &OwnFigures::theta);
    case ChainColumn::kSourceDelta:
      return c.source.delta;
  }
  return std::nullopt;
}

std::string StrikeText(double strike, char dp) {
  std::string text = FormatNumber(strike, kStrikeFormat, dp);
  if (!text.empty() && text.back() == dp) {
    text.pop_back();  // "170", not "170."
  }
  return text;
}

std::string ExpiryCaption(const OptionChain& chain, const ChainExpiry& e) {
  bool several_roots = false;
  for (const ChainExpiry& other : chain.expiries) {
    several_roots = several_roots || other.root != e.root;
  }
  std::string text = e.date_text;
  if (several_roots) {
    text += "  " + e.root;
  }
  text += "  " + std::to_string(e.days) + " d";
  if (!(e.years > 0)) {
    text += std::string(" ") + kExpiryClosed;
  }
  return text;
}

std::optional<ChainTerms> TermsOfContract(const OptionChain& chain, std::size_t index,
                                          std::string& message) {
  if (index >= chain.contracts.size()) {
    return std::nullopt;
  }
  const ChainContract& c = chain.contracts[index];
  const ChainExpiry& e = chain.expiries.at(c.expiry);
  const std::string name = c.symbol + " ";
  if (!(e.years > 0)) {
    message = name + kChainExpiredMessage;
    return std::nullopt;
  }
  if (!c.mid) {
    message = name + kChainNoMidMessage + ChainRefusalText(c.refusal);
    return std::nullopt;
  }
  if (!e.rate) {
    message = name + kChainNoRateMessage;
    return std::nullopt;
  }
  if (!e.dividend) {
    message = name + kChainNoYieldMessage;
    return std::nullopt;
  }
  ChainTerms t;
  t.symbol = c.symbol;
  t.put = c.put;
  t.american = e.style == ExerciseStyle::kAmerican;
  t.spot = chain.spot;
  t.strike = c.strike;
  t.years = e.years;
  t.rate = *e.rate;
  t.yield = *e.dividend;
  t.mid = *c.mid;
  t.iv = c.iv;
  t.close_text = e.close_text;
  return t;
}

}  // namespace stratlyn
