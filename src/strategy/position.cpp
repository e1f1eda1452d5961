#include "strategy/position.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "pricing/zel_barr.h"
#include "pricing/zel_bsop.h"
#include "util/dialogs.h"
#include "util/format.h"
#include "util/fp_checks.h"
#include "util/services.h"
#include "util/zel_error.h"

namespace stratlyn {

namespace {

// Years left below which a leg counts as expired (rounding of dates and of
// the slider's steps).
constexpr double kExpiredYears = 1e-9;
// Grid of prices scanned for break-evens and extremes of a curve that still
// holds live legs; a curve of expired legs only is straight between its
// strikes and needs no grid.
constexpr int kScanPoints = 200;
constexpr int kBisectionSteps = 60;
// Rate bump for the rho of an American leg (the lattice computes none).
constexpr double kRhoBump = 1e-3;
constexpr double kSlopeTolerance = 1e-12;
constexpr int kTailDoublings = 40;
constexpr int kNearPoints = 40;
constexpr int kGoldenSteps = 16;
constexpr std::size_t kPeaksFollowed = 2;
// Shares of a leg's size (price, strike and entry) within which a profit is
// taken as 0: double rounding at expiry; the closed form's cumulative normal
// (it errs by up to 1.2e-5, float steps aside) and the lattice's float
// figures for live legs.
constexpr double kRoundingShare = 1e-12;
constexpr double kClosedFormShare = 1.5e-5;
constexpr double kLatticeShare = 2e-7;

// An option leg's terms at `spot` with `left` years to run, each figure made
// single precision by `to_float`.
template <typename ToFloat>
OptionTerms LegTerms(const Leg& leg, const Market& m, double spot, double left, ToFloat to_float) {
  OptionTerms t;
  t.put = leg.kind == LegKind::kPut;
  t.american = leg.american;
  t.spot = to_float(spot);
  t.strike = to_float(leg.strike);
  t.maturity = to_float(left);
  t.rate = to_float(m.rate);
  t.yield = to_float(m.yield);
  t.vol = to_float(m.vol);
  return t;
}

std::string LegPrefix(std::size_t i) { return "Leg " + std::to_string(i + 1) + ": "; }

bool Finite(double v) { return std::isfinite(v); }

// The records' answers that are no figure: invalid inputs, a failed library
// call. Never summed, plotted or written.
constexpr float kInvalidFigure = -999.0f;
constexpr float kLibraryFailure = -9999.0f;

bool IsFigure(float v) { return std::isfinite(v) && v != kInvalidFigure && v != kLibraryFailure; }

// Keeps the message boxes of a lattice run instead of showing them: the
// position is refused with the message, once, by whoever shows it.
class KeptMessages : public Dialogs {
 public:
  MsgAnswer Show(const std::string& text, MsgButtons buttons, MsgIcon,
                 const std::string&) override {
    texts.push_back(text);
    return CautiousAnswer(buttons);
  }
  std::vector<std::string> texts;
};

double NormalCdf(double z) { return 0.5 * std::erfc(-z / std::sqrt(2.0)); }

double Intrinsic(const Leg& leg, double spot) {
  switch (leg.kind) {
    case LegKind::kCall:
      return std::max(spot - leg.strike, 0.0);
    case LegKind::kPut:
      return std::max(leg.strike - spot, 0.0);
    case LegKind::kUnderlying:
      break;
  }
  return spot;
}

int Sign(double v) { return (v > 0) - (v < 0); }

}  // namespace

std::string BreakEvenPattern(double breakEven) {
  const double a = std::fabs(breakEven);
  if (!(a < 1) || a == 0) {
    return "0.00##";
  }
  const int decimals = std::clamp(5 - static_cast<int>(std::floor(std::log10(a))), 2, 12);
  return "0.00" + std::string(static_cast<size_t>(decimals - 2), '#');
}

std::string CheckPosition(const Position& legs, const Market& market) {
  if (!(Finite(market.spot) && market.spot > 0)) {
    return kBadSpot;
  }
  if (!(Finite(market.vol) && market.vol > 0)) {
    return kBadVol;
  }
  if (!Finite(market.rate) || !Finite(market.yield)) {
    return kBadRate;
  }
  if (legs.empty()) {
    return kNoLegs;
  }
  bool option = false;
  for (std::size_t i = 0; i < legs.size(); ++i) {
    const Leg& leg = legs[i];
    if (!Finite(leg.quantity) || leg.quantity == 0) {
      return LegPrefix(i) + kZeroQuantity;
    }
    if (leg.kind != LegKind::kUnderlying) {
      option = true;
      if (!(Finite(leg.strike) && leg.strike > 0)) {
        return LegPrefix(i) + kBadStrike;
      }
      if (!(Finite(leg.maturity) && leg.maturity > 0)) {
        return LegPrefix(i) + kBadMaturity;
      }
    }
    if (leg.price && !(Finite(*leg.price) && *leg.price >= 0)) {
      return LegPrefix(i) + kBadPrice;
    }
  }
  if (!option) {
    return kNoOptionLeg;
  }
  return {};
}

PositionPricer::PositionPricer(Position legs, Market market)
    : legs_(std::move(legs)),
      market_(market),
      bsop_(std::make_unique<zelBSOP>()),
      barr_(std::make_unique<zelBarr>()) {
  if (const std::string fault = CheckPosition(legs_, market_); !fault.empty()) {
    throw StrategyInputError(fault);
  }
  horizon_ = std::numeric_limits<double>::infinity();
  for (const Leg& leg : legs_) {
    if (leg.kind != LegKind::kUnderlying) {
      horizon_ = std::min(horizon_, leg.maturity);
      max_maturity_ = std::max(max_maturity_, leg.maturity);
    }
  }
  entry_.reserve(legs_.size());
  // The entry values and Greeks are shown leg by leg: a figure the closed
  // form cannot resolve refuses the position. The profit curve's points are
  // sums whose error (at most (S + K) 1.2e-5 a unit) no plot shows.
  bsop_->refuseUnresolved = false;
  for (const Leg& leg : legs_) {
    if (leg.price) {
      entry_.push_back(*leg.price);
    } else if (leg.kind == LegKind::kUnderlying) {
      entry_.push_back(market_.spot);
    } else {
      bsop_->refuseUnresolved = true;
      entry_.push_back(LegValue(leg, market_.spot, leg.maturity));
      bsop_->refuseUnresolved = false;
    }
  }
}

PositionPricer::~PositionPricer() = default;

double PositionPricer::NetPremium() const {
  double sum = 0;
  for (std::size_t i = 0; i < legs_.size(); ++i) {
    sum += legs_[i].quantity * entry_[i];
  }
  return sum;
}

void PositionPricer::CheckDate(double years) const {
  if (!Finite(years) || years < 0) {
    throw StrategyInputError(kDateBeforeToday);
  }
  if (years > horizon_ + kExpiredYears) {
    throw StrategyInputError(std::string(kDatePastExpiry) + " (" +
                             FormatNumber(horizon_, kEntryFormat) + " years)");
  }
}

double PositionPricer::LegValue(const Leg& leg, double spot, double left) {
  if (leg.kind == LegKind::kUnderlying || left <= kExpiredYears) {
    return Intrinsic(leg, spot);
  }
  const bool call = leg.kind == LegKind::kCall;
  if (static_cast<float>(spot) <= 0) {
    // The records need a positive price; at 0 the limits are plain.
    if (call) {
      return 0;
    }
    // A put on a price of 0 pays its strike, now or at expiry: held, that is
    // the strike discounted. An American holder takes the larger, which is
    // the discounted strike when the rate is negative.
    const double held = leg.strike * std::exp(-market_.rate * left);
    return leg.american ? std::max(leg.strike, held) : held;
  }
  double value = 0;
  if (!leg.american) {
    zelBSOP& o = *bsop_;
    o.SetTerms(LegTerms(leg, market_, spot, left, [](double v) { return static_cast<float>(v); }));
    float figure = 0;
    try {
      figure = o.GetOptionData(o.strOptionPrice, true);
    } catch (const zelError& e) {
      if (!zelBSOP::IsUnresolved(e)) {
        throw;
      }
      throw StrategyInputError(LegPrefix(static_cast<std::size_t>(&leg - legs_.data())) +
                               e.Description());
    }
    if (!IsFigure(figure)) {
      throw StrategyInputError(kNoModelValue + std::to_string(&leg - legs_.data() + 1));
    }
    value = figure;
  } else {
    zelBarr& b = *barr_;
    // The lattice record takes its figures as doubles and refuses those
    // beyond single precision (zelError 6).
    b.SetTerms(LegTerms(leg, market_, spot, left, [](double v) { return ToSingle(v); }));
    KeptMessages kept;
    try {
      ScopedServices keep(&kept);
      b.CalcBarr(b.AMERVANILLA);
    } catch (const zelError& e) {
      // A floating-point fault of the lattice at this price: the position
      // is refused with the leg and the price, not ended by a run-time error.
      const int n = e.Number();
      if (n != err::kOverflow && n != err::kInvalidCall && n != err::kDivisionByZero) {
        throw;
      }
      throw StrategyInputError(LegPrefix(static_cast<std::size_t>(&leg - legs_.data())) +
                               kLatticeOutOfRange + FormatNumber(spot, kEntryFormat));
    }
    const float figure = b.GetOptionData(b.strOptionPrice);
    if (!IsFigure(figure) || !kept.texts.empty()) {
      // No lattice fits this leg: the whole position is refused with the
      // lattice's own reason.
      const std::size_t number = static_cast<std::size_t>(&leg - legs_.data());
      throw StrategyInputError(kept.texts.empty() ? kNoModelValue + std::to_string(number + 1)
                                                  : LegPrefix(number) + kept.texts.back());
    }
    value = figure;
  }
  if (!Finite(value)) {
    throw zelError(err::kOverflow);
  }
  return value;
}

double PositionPricer::Profit(double spot, double years) {
  double sum = 0;
  for (std::size_t i = 0; i < legs_.size(); ++i) {
    const Leg& leg = legs_[i];
    sum += leg.quantity * (LegValue(leg, spot, leg.maturity - years) - entry_[i]);
  }
  if (!Finite(sum)) {
    throw zelError(err::kOverflow);
  }
  return sum;
}

bool PositionPricer::AllExpire(double years) const {
  return std::all_of(legs_.begin(), legs_.end(), [&](const Leg& leg) {
    return leg.kind == LegKind::kUnderlying || leg.maturity - years <= kExpiredYears;
  });
}

double PositionPricer::TailSlope(double years) const {
  double slope = 0;
  for (const Leg& leg : legs_) {
    const double left = leg.maturity - years;
    if (leg.kind == LegKind::kUnderlying) {
      slope += leg.quantity;
    } else if (leg.kind == LegKind::kCall) {
      // A deep call moves with the forward (European) or is exercised
      // (American); a deep put is worthless.
      const bool dead_or_exercised = left <= kExpiredYears || leg.american;
      slope += leg.quantity * (dead_or_exercised ? 1.0 : std::exp(-market_.yield * left));
    }
  }
  return slope;
}

double PositionPricer::FindRoot(double lo, double hi, double p_lo, double years, bool linear) {
  if (linear) {
    const double p_hi = Profit(hi, years);
    return lo + (hi - lo) * p_lo / (p_lo - p_hi);
  }
  for (int i = 0; i < kBisectionSteps && hi - lo > 1e-12 * hi; ++i) {
    const double mid = 0.5 * (lo + hi);
    const double p = Profit(mid, years);
    if (p == 0) {
      return mid;
    }
    if (Sign(p) == Sign(p_lo)) {
      lo = mid;
      p_lo = p;
    } else {
      hi = mid;
    }
  }
  return 0.5 * (lo + hi);
}

double PositionPricer::Resolution(double spot, double years) const {
  double tolerance = 0;
  for (std::size_t i = 0; i < legs_.size(); ++i) {
    const Leg& leg = legs_[i];
    const double q = std::fabs(leg.quantity);
    const double strike = leg.kind == LegKind::kUnderlying ? 0.0 : leg.strike;
    tolerance += q * kRoundingShare * (spot + strike + std::fabs(entry_[i]));
    const double left = leg.maturity - years;
    if (leg.kind != LegKind::kUnderlying && left > kExpiredYears) {
      // The closed form's cumulative normal errs by up to 1.2e-5 on each of
      // its two terms; the lattice's figures by their float steps.
      const double terms =
          spot * std::exp(-market_.yield * left) + strike * std::exp(-market_.rate * left);
      tolerance += q * (leg.american ? kLatticeShare : kClosedFormShare) * terms;
    }
  }
  return std::isfinite(tolerance) ? tolerance : 0.0;
}

int PositionPricer::Class(double profit, double spot, double years) const {
  return std::fabs(profit) <= Resolution(spot, years) ? 0 : Sign(profit);
}

double PositionPricer::Extreme(const std::vector<double>& xs, const std::vector<double>& ps,
                               double years, bool linear, int sense) {
  // At expiry the profit is straight between the strikes, all of them in
  // the scan; before, each peak of the scan is followed between its
  // neighbours (the scan's steps can miss the top of a curve by a lot).
  double best = sense * *std::max_element(ps.begin(), ps.end(), [&](double a, double b) {
                  return sense * a < sense * b;
                });
  if (linear) {
    return sense * best;
  }
  const auto value = [&](double x) {
    const double p = Profit(x, years);
    return Class(p, x, years) == 0 ? 0.0 : sense * p;
  };
  constexpr double kGolden = 0.6180339887498949;
  // The highest few peaks of the scan (a flat stretch is none).
  std::vector<std::size_t> peaks;
  for (std::size_t k = 1; k + 1 < xs.size(); ++k) {
    const double here = sense * ps[k], before = sense * ps[k - 1], after = sense * ps[k + 1];
    if (here >= before && here >= after && (here > before || here > after)) {
      peaks.push_back(k);
    }
  }
  const auto higher = [&](std::size_t a, std::size_t b) { return sense * ps[a] > sense * ps[b]; };
  std::sort(peaks.begin(), peaks.end(), higher);
  if (peaks.size() > kPeaksFollowed) {  // shrink only (resize draws a false -O3 warning)
    peaks.erase(peaks.begin() + static_cast<std::ptrdiff_t>(kPeaksFollowed), peaks.end());
  }
  for (const std::size_t k : peaks) {
    double a = xs[k - 1], b = xs[k + 1];
    double c = b - kGolden * (b - a), d = a + kGolden * (b - a);
    double fc = value(c), fd = value(d);
    for (int i = 0; i < kGoldenSteps && b - a > 1e-10 * b; ++i) {
      if (fc > fd) {
        b = d;
        d = c;
        fd = fc;
        c = b - kGolden * (b - a);
        fc = value(c);
      } else {
        a = c;
        c = d;
        fc = fd;
        d = a + kGolden * (b - a);
        fd = value(d);
      }
    }
    best = std::max({best, fc, fd});
  }
  return sense * best;
}

double PositionPricer::Boundary(double lo, double hi, int class_lo, double years) {
  for (int i = 0; i < kBisectionSteps && hi - lo > 1e-12 * hi; ++i) {
    const double mid = 0.5 * (lo + hi);
    if (Class(Profit(mid, years), mid, years) == class_lo) {
      lo = mid;
    } else {
      hi = mid;
    }
  }
  return 0.5 * (lo + hi);
}

double PositionPricer::Probability(double lo, double hi, double years) const {
  const double drift = (market_.rate - market_.yield - 0.5 * market_.vol * market_.vol) * years;
  const double spread = market_.vol * std::sqrt(years);
  const auto cdf = [&](double x) {
    if (x <= 0) {
      return 0.0;
    }
    if (std::isinf(x)) {
      return 1.0;
    }
    return NormalCdf((std::log(x / market_.spot) - drift) / spread);
  };
  return cdf(hi) - cdf(lo);
}

CurveSummary PositionPricer::Summarise(double years) {
  CheckDate(years);
  years = std::min(years, horizon_);
  CurveSummary s;
  s.years = years;
  const bool linear = AllExpire(years);

  double top = market_.spot;
  for (const Leg& leg : legs_) {
    if (leg.kind != LegKind::kUnderlying) {
      top = std::max(top, leg.strike);
    }
  }
  const double spread = std::min(50.0, std::exp(5 * market_.vol * std::sqrt(max_maturity_)));
  double far = top * std::max(2.0, spread);

  std::vector<double> xs = {0.0, market_.spot, far};
  for (const Leg& leg : legs_) {
    if (leg.kind != LegKind::kUnderlying) {
      xs.push_back(leg.strike);
    }
  }
  if (!linear) {
    for (int i = 1; i < kScanPoints; ++i) {
      xs.push_back(far * i / kScanPoints);
    }
    // Closer where the strikes and the spot lie: the far grid's steps can be
    // a fifth of the price.
    double bottom = market_.spot;
    for (const Leg& leg : legs_) {
      if (leg.kind != LegKind::kUnderlying) {
        bottom = std::min(bottom, leg.strike);
      }
    }
    const double lo = 0.5 * bottom, hi = 2 * top;
    for (int i = 0; i <= kNearPoints; ++i) {
      xs.push_back(lo + (hi - lo) * i / kNearPoints);
    }
  }
  std::sort(xs.begin(), xs.end());
  xs.erase(std::unique(xs.begin(), xs.end()), xs.end());
  std::vector<double> ps;
  ps.reserve(xs.size());
  for (const double x : xs) {
    ps.push_back(Profit(x, years));
  }
  const double slope = TailSlope(years);
  const bool rising = slope > kSlopeTolerance, falling = slope < -kSlopeTolerance;
  // A tail that leaves the scan within the resolution of 0 is followed until
  // it gains or loses for certain, so that its crossing is found once.
  for (int k = 0;
       k < kTailDoublings && (rising || falling) && Class(ps.back(), xs.back(), years) == 0; ++k) {
    far *= 2;
    xs.push_back(far);
    ps.push_back(Profit(far, years));
  }

  // A profit within the figures' resolution of 0 is none: a flat stretch
  // of such points (a spread bought for what it can pay at most, the wings
  // of a butterfly, prices where every live leg is worth less than the
  // closed form resolves) is bounded by break-evens at both its ends and
  // adds nothing to the probability of profit.
  std::vector<int> cls(xs.size());
  for (std::size_t i = 0; i < xs.size(); ++i) {
    cls[i] = Class(ps[i], xs[i], years);
    if (cls[i] == 0) {
      ps[i] = 0;
    }
  }
  const auto add = [&](double x) {
    if (s.break_evens.empty() || x > s.break_evens.back()) {
      s.break_evens.push_back(x);
    }
  };
  const std::size_t n = xs.size();
  for (std::size_t i = 0; i < n;) {
    if (cls[i] != 0) {
      if (i + 1 < n && cls[i] * cls[i + 1] < 0) {
        add(FindRoot(xs[i], xs[i + 1], ps[i], years, linear));
      }
      ++i;
      continue;
    }
    std::size_t j = i;
    while (j + 1 < n && cls[j + 1] == 0) {
      ++j;
    }
    const bool left = i > 0, right = j + 1 < n;
    if (!linear && left && right && cls[i - 1] * cls[j + 1] < 0) {
      // Before expiry the profit is never flat: between a loss and a gain it
      // crosses 0 once, somewhere in the stretch it cannot resolve.
      add(FindRoot(xs[i - 1], xs[j + 1], ps[i - 1], years, false));
    } else if (i == j && left && right) {
      add(xs[i]);  // a crossing or a touch on a strike
    } else {
      if (left) {
        add(linear ? xs[i] : Boundary(xs[i - 1], xs[i], cls[i - 1], years));
      }
      if (right) {
        add(linear ? xs[j] : Boundary(xs[j], xs[j + 1], 0, years));
      }
    }
    i = j + 1;
  }
  const double p_far = ps.back();
  if ((rising && p_far < 0) || (falling && p_far > 0)) {
    // One more crossing beyond the scanned range.
    double root = far - p_far / slope;
    if (!linear) {
      double hi = far;
      double p_hi = p_far;
      for (int i = 0; i < 200 && Sign(p_hi) == Sign(p_far); ++i) {
        hi *= 2;
        p_hi = Profit(hi, years);
      }
      root = FindRoot(far, hi, p_far, years, false);
    }
    add(root);
  } else if ((rising || falling) && p_far == 0 && n > 1 && ps[n - 2] == 0) {
    // A flat stretch that the tail leaves at the end of the scan.
    add(far);
  }

  if (!rising) {
    s.max_profit = Extreme(xs, ps, years, linear, 1);
  }
  if (!falling) {
    s.max_loss = Extreme(xs, ps, years, linear, -1);
  }

  if (years <= 0) {
    s.probability_of_profit = Profit(market_.spot, 0) > 0 ? 1.0 : 0.0;
  } else {
    std::vector<double> edges = {0.0};
    edges.insert(edges.end(), s.break_evens.begin(), s.break_evens.end());
    edges.push_back(std::numeric_limits<double>::infinity());
    double probability = 0;
    for (std::size_t i = 0; i + 1 < edges.size(); ++i) {
      const double a = edges[i], b = edges[i + 1];
      if (!(b > a)) {
        continue;
      }
      int p = 0;
      if (std::isinf(b)) {
        const double x = std::max(far, 2 * a);
        p = rising ? 1 : falling ? -1 : Class(Profit(x, years), x, years);
      } else {
        const double x = 0.5 * (a + b);
        p = Class(Profit(x, years), x, years);
      }
      if (p > 0) {
        probability += Probability(a, b, years);
      }
    }
    if (!(probability >= -1e-12 && probability <= 1 + 1e-12)) {
      throw zelError(err::kInvalidCall, "probability of profit outside 0..1");
    }
    s.probability_of_profit = std::clamp(probability, 0.0, 1.0);
  }
  return s;
}

double PositionPricer::LegFigure(const Leg& leg, float figure) const {
  if (!IsFigure(figure)) {
    throw StrategyInputError(kNoModelValue + std::to_string(&leg - legs_.data() + 1));
  }
  return figure;
}

PositionGreeks PositionPricer::RecordGreeks(const Leg& leg) {
  PositionGreeks g;
  if (leg.kind == LegKind::kUnderlying) {
    g.delta = 1;
    return g;
  }
  if (!leg.american) {
    zelBSOP& o = *bsop_;
    LegValue(leg, market_.spot, leg.maturity);  // sets the record's inputs
    o.refuseUnresolved = true;
    struct Lenient {  // the curve's points that follow take the figures as they come
      zelBSOP& o;
      ~Lenient() { o.refuseUnresolved = false; }
    } lenient{o};
    try {
      g.delta = LegFigure(leg, o.GetOptionData(o.strDelta, true));
      g.gamma = LegFigure(leg, o.GetOptionData(o.strGamma, true));
      g.vega = LegFigure(leg, o.GetOptionData(o.strVega, true));
      g.theta = LegFigure(leg, o.GetOptionData(o.strTheta, true));
      g.rho = LegFigure(leg, o.GetOptionData(o.strRho, true));
    } catch (const zelError& e) {
      if (!zelBSOP::IsUnresolved(e)) {
        throw;
      }
      throw StrategyInputError(LegPrefix(static_cast<std::size_t>(&leg - legs_.data())) +
                               e.Description());
    }
  } else {
    zelBarr& b = *barr_;
    // The lattice has no rho: the value's change over a small move of the
    // rate either side.
    const double rate = market_.rate;
    const double up = static_cast<float>(rate + kRhoBump);
    const double down = static_cast<float>(rate - kRhoBump);
    struct Restore {
      double& slot;
      double value;
      ~Restore() { slot = value; }
    } restore{market_.rate, rate};
    market_.rate = up;
    double v_up = LegValue(leg, market_.spot, leg.maturity);
    const int n_up = b.LatticeSteps();
    market_.rate = down;
    double v_down = LegValue(leg, market_.spot, leg.maturity);
    const int n_down = b.LatticeSteps();
    if (n_up != n_down) {
      // The lattice took more steps at one rate than at the other (its own
      // European value missed the closed form there): the two values then
      // differ by the coarser lattice's error too, which a bump of 0.001
      // magnifies (a put read rho -81.8 against -68.5). Both on the larger.
      // The pricer's own lattice record comes back even when the leg is
      // refused at the finer lattice (later legs keep its step rule).
      struct Swap {
        std::unique_ptr<zelBarr>& slot;
        std::unique_ptr<zelBarr> kept;
        ~Swap() { slot = std::move(kept); }
      } swap{barr_, std::move(barr_)};
      barr_ = std::make_unique<zelBarr>();
      barr_->SetOptionData(std::max(n_up, n_down), barr_->strNSTEPS);
      market_.rate = n_up < n_down ? up : down;
      (n_up < n_down ? v_up : v_down) = LegValue(leg, market_.spot, leg.maturity);
    }
    market_.rate = rate;
    g.rho = (v_up - v_down) / (up - down);
    LegValue(leg, market_.spot, leg.maturity);
    g.delta = LegFigure(leg, b.GetOptionData(b.strDelta));
    g.gamma = LegFigure(leg, b.GetOptionData(b.strGamma));
    g.vega = LegFigure(leg, b.GetOptionData(b.strVega));
    g.theta = LegFigure(leg, b.GetOptionData(b.strTheta));
  }
  return g;
}

PositionGreeks PositionPricer::LegGreeks(std::size_t leg) {
  PositionGreeks g = RecordGreeks(legs_.at(leg));
  const double q = legs_[leg].quantity;
  g.delta *= q;
  g.gamma *= q;
  g.vega *= q;
  g.theta *= q;
  g.rho *= q;
  return g;
}

PositionGreeks PositionPricer::Greeks() {
  PositionGreeks sum;
  for (std::size_t i = 0; i < legs_.size(); ++i) {
    const PositionGreeks g = LegGreeks(i);
    sum.delta += g.delta;
    sum.gamma += g.gamma;
    sum.vega += g.vega;
    sum.theta += g.theta;
    sum.rho += g.rho;
  }
  for (const double v : {sum.delta, sum.gamma, sum.vega, sum.theta, sum.rho}) {
    if (!Finite(v)) {
      throw zelError(err::kOverflow);
    }
  }
  return sum;
}

std::vector<CurvePoint> PositionPricer::Curve(int points, double low, double high, double years) {
  CheckDate(years);
  if (points < 2 || !(low >= 0) || !(high > low)) {
    throw StrategyInputError("The curve needs at least two points over a price range");
  }
  std::vector<CurvePoint> curve;
  curve.reserve(points);
  for (int i = 0; i < points; ++i) {
    const double s = low + (high - low) * i / (points - 1);
    curve.push_back({s, Profit(s, horizon_), Profit(s, std::min(years, horizon_))});
  }
  return curve;
}

std::pair<double, double> PositionPricer::PlotRange(const CurveSummary& expiry,
                                                    const CurveSummary& date) const {
  double lo = market_.spot, hi = market_.spot;
  const auto take = [&](double x) {
    lo = std::min(lo, x);
    hi = std::max(hi, x);
  };
  for (const Leg& leg : legs_) {
    if (leg.kind != LegKind::kUnderlying) {
      take(leg.strike);
    }
  }
  for (const double b : expiry.break_evens) {
    take(b);
  }
  for (const double b : date.break_evens) {
    take(b);
  }
  const double margin = std::max(0.15 * (hi - lo), 0.1 * hi);
  return {std::max(0.0, lo - margin), hi + margin};
}

}  // namespace stratlyn
