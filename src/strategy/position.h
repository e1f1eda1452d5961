#pragma once
// A position of several legs (options on one underlying and the underlying
// itself) and its figures: the net premium, the profit against the
// underlying's price at the first expiry and at any date before it, the
// break-even prices, the largest profit and loss, the probability of profit
// and the position's Greeks. Legs still alive are valued with the pricing
// records: zelBSOP for European exercise, zelBarr's lattice for American.

#include <cstddef>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

namespace stratlyn {

class zelBarr;
class zelBSOP;

enum class LegKind { kCall, kPut, kUnderlying };

// One leg. A positive quantity is bought (long), a negative one sold (short).
// Strike, maturity and style mean nothing for the underlying itself.
struct Leg {
  double quantity = 1;
  LegKind kind = LegKind::kCall;
  double strike = 0;
  double maturity = 0;  // years from the position's date
  bool american = false;
  // Price per unit paid (long) or received (short); nothing: the model value
  // at entry (for the underlying: its price).
  std::optional<double> price;
};
using Position = std::vector<Leg>;

// The underlying and the market, as the calculator panel hands them over.
struct Market {
  double spot = 0;   // underlying price
  double rate = 0;   // risk-free rate, continuously compounded, per year
  double yield = 0;  // continuous dividend yield, per year
  double vol = 0;    // volatility per year
};

// Bad input to a position: the text says what and where, for a message box.
class StrategyInputError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Messages of the position checks (the leg's number is put in front:
// "Leg 2: ").
inline constexpr const char* kNoLegs = "The position has no legs";
inline constexpr const char* kNoOptionLeg = "The position needs at least one option leg";
inline constexpr const char* kZeroQuantity = "the quantity must be a number other than 0";
inline constexpr const char* kBadStrike = "the strike price must be positive";
inline constexpr const char* kBadMaturity = "the maturity must be positive";
inline constexpr const char* kBadPrice = "the price must not be negative";
inline constexpr const char* kBadSpot = "The underlying price must be positive";
// A lattice leg whose formulas overflow at a price the figures need (the
// price is put behind).
inline constexpr const char* kLatticeOutOfRange =
    "the lattice cannot value this option over the prices the figures need: its inputs are "
    "out of the formulas' range at an underlying price of ";
inline constexpr const char* kBadVol = "The volatility must be positive";
inline constexpr const char* kBadRate = "The interest rate and the dividend yield must be numbers";
inline constexpr const char* kDateBeforeToday = "The date must not be before the position's date";
inline constexpr const char* kDatePastExpiry = "The date is past the first expiry";
inline constexpr const char* kNoModelValue = "No model value for leg ";

// The number pattern of a break-even: "0.00##" from 1 on, and below 1 as
// many decimals as give it 6 significant digits (a break-even of 0.00004
// read "0.00").
std::string BreakEvenPattern(double breakEven);

// The caption of a largest profit or loss that is no gain or no loss: a
// largest profit below 0 (the position gains nowhere) or a largest loss
// above 0 (it loses nowhere).
inline constexpr const char* kNoneCaption = "none";
inline bool NoGain(const std::optional<double>& largestProfit) {
  return largestProfit && *largestProfit < 0;
}
inline bool NoLoss(const std::optional<double>& largestLoss) {
  return largestLoss && *largestLoss > 0;
}

// The first fault of the position and market as a message, empty when none.
std::string CheckPosition(const Position& legs, const Market& market);

// Sums of the legs' record Greeks, each times its quantity. Units as the
// records: vega and rho per unit of volatility and rate, theta per year.
struct PositionGreeks {
  double delta = 0, gamma = 0, vega = 0, theta = 0, rho = 0;
};

// One profit curve's summary. A largest profit or loss that is absent is
// unlimited (the curve's slope beyond the last strike); the loss is given as
// the lowest profit (a negative number for a loss).
struct CurveSummary {
  double years = 0;                  // the curve's date, years from today
  std::vector<double> break_evens;   // ascending
  std::optional<double> max_profit;  // nothing: unlimited
  std::optional<double> max_loss;    // nothing: unlimited
  double probability_of_profit = 0;  // 0..1
};

struct CurvePoint {
  double spot = 0;
  double at_expiry = 0;  // profit at the first expiry
  double at_date = 0;    // profit at the chosen date
};

// The figures of one position. The constructor checks the position
// (StrategyInputError with CheckPosition's message) and prices every leg
// whose price is blank at entry. Pricing faults of the records come out as
// zelError; a record's refusal as StrategyInputError.
class PositionPricer {
 public:
  PositionPricer(Position legs, Market market);
  ~PositionPricer();
  PositionPricer(const PositionPricer&) = delete;
  PositionPricer& operator=(const PositionPricer&) = delete;

  const Position& Legs() const { return legs_; }
  const Market& GetMarket() const { return market_; }
  // The price per unit of a leg at entry (given, or the model's).
  double EntryPrice(std::size_t leg) const { return entry_[leg]; }
  // Sum of quantity times entry price: positive when paid, negative received.
  double NetPremium() const;
  // Years to the first expiry of an option leg.
  double Horizon() const { return horizon_; }

  // StrategyInputError unless 0 <= years <= Horizon() (a hair of rounding
  // past the expiry counts as the expiry).
  void CheckDate(double years) const;
  // The position's profit when the underlying is at `spot` (>= 0) `years`
  // after entry (0 .. Horizon()): value then minus what was paid.
  double Profit(double spot, double years);
  // Break-evens, largest profit and loss over all prices and the probability
  // of profit at `years` (lognormal, risk-free drift less the yield).
  CurveSummary Summarise(double years);
  // The Greeks of the position today.
  PositionGreeks Greeks();
  // The Greeks of one leg today, times its quantity.
  PositionGreeks LegGreeks(std::size_t leg);
  // `points` (>= 2) prices from `low` to `high` with both curves.
  std::vector<CurvePoint> Curve(int points, double low, double high, double years);
  // A price range that shows every strike, the spot and the break-evens of
  // both curves with a margin: {low, high}.
  std::pair<double, double> PlotRange(const CurveSummary& expiry, const CurveSummary& date) const;

 private:
  // Value per unit of one leg at price `spot` with `left` years to its expiry.
  double LegValue(const Leg& leg, double spot, double left);
  PositionGreeks RecordGreeks(const Leg& leg);
  // A record's figure of `leg`; StrategyInputError when it is a sentinel.
  double LegFigure(const Leg& leg, float figure) const;
  // The profit's slope far beyond every strike at `years`.
  double TailSlope(double years) const;
  double FindRoot(double lo, double hi, double p_lo, double years, bool linear);
  double Probability(double lo, double hi, double years) const;
  // The size below which a profit at `spot` and `years` is no figure the
  // legs' values can tell from 0, and the profit's class by it: -1, 0, 1.
  double Resolution(double spot, double years) const;
  int Class(double profit, double spot, double years) const;
  // Where the profit's class changes between lo (of class `class_lo`) and hi.
  double Boundary(double lo, double hi, int class_lo, double years);
  // The largest (sense 1) or smallest (-1) profit, from the scan `xs`, `ps`.
  double Extreme(const std::vector<double>& xs, const std::vector<double>& ps, double years,
                 bool linear, int sense);
  bool AllExpire(double years) const;

  Position legs_;
  Market market_;
  std::vector<double> entry_;
  double horizon_ = 0;
  double max_maturity_ = 0;
  std::unique_ptr<zelBSOP> bsop_;
  std::unique_ptr<zelBarr> barr_;
};

}  // namespace stratlyn
