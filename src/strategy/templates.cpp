#include "strategy/templates.h"

#include <cmath>

namespace stratlyn {

std::optional<StrategyTemplate> TemplateByKey(std::string_view key) {
  for (const TemplateInfo& info : kTemplates) {
    if (key == info.key) {
      return info.id;
    }
  }
  return std::nullopt;
}

const TemplateInfo& TemplateInfoOf(StrategyTemplate t) {
  for (const TemplateInfo& info : kTemplates) {
    if (info.id == t) {
      return info;
    }
  }
  return kTemplates.front();
}

Position TemplateLegs(StrategyTemplate t, double strike, double maturity, double width,
                      bool american) {
  if (TemplateInfoOf(t).uses_width && !(std::isfinite(width) && width > 0)) {
    throw StrategyInputError(kBadWidth);
  }
  const double w = width;
  const auto option = [&](double quantity, LegKind kind, double k) {
    if (!(k > 0)) {
      throw StrategyInputError(kWidthTooLarge);
    }
    return Leg{quantity, kind, k, maturity, american, std::nullopt};
  };
  const auto call = [&](double q, double k) { return option(q, LegKind::kCall, k); };
  const auto put = [&](double q, double k) { return option(q, LegKind::kPut, k); };
  const Leg stock{1, LegKind::kUnderlying, 0, 0, false, std::nullopt};
  const double k = strike;
  switch (t) {
    case StrategyTemplate::kLongCall:
      return {call(1, k)};
    case StrategyTemplate::kLongPut:
      return {put(1, k)};
    case StrategyTemplate::kCoveredCall:
      return {stock, call(-1, k)};
    case StrategyTemplate::kProtectivePut:
      return {stock, put(1, k)};
    case StrategyTemplate::kBullCallSpread:
      return {call(1, k), call(-1, k + w)};
    case StrategyTemplate::kBearPutSpread:
      return {put(1, k), put(-1, k - w)};
    case StrategyTemplate::kStraddle:
      return {call(1, k), put(1, k)};
    case StrategyTemplate::kStrangle:
      return {put(1, k - w), call(1, k + w)};
    case StrategyTemplate::kButterfly:
      return {call(1, k - w), call(-2, k), call(1, k + w)};
    case StrategyTemplate::kIronCondor:
      return {put(1, k - 2 * w), put(-1, k - w), call(-1, k + w), call(1, k + 2 * w)};
    case StrategyTemplate::kCollar:
      return {stock, put(1, k - w), call(-1, k + w)};
  }
  return {};
}

}  // namespace stratlyn
