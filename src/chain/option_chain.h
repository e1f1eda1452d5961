#pragma once
// A whole option chain from the exchange's JSON feed (the options file of a
// ticker), grouped by expiry and strike, with this program's own implied
// volatility of every contract and its value and Greeks at that volatility.
//
//   std::string message;
//   auto chain = ParseOptionChain(page, std::chrono::system_clock::now(), message);
//   if (!chain) { ...message... }
//   SolveOptionChain(*chain, rate_at);            // rate_at(T): continuous rate
//   for (const ChainExpiry& e : chain->expiries) ...
//
// A figure is either there (std::optional holding a number) or absent with a
// reason; no placeholder number ever stands for "none".

#include <chrono>
#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace stratlyn {

// How a contract may be exercised: the cash-settled index roots (SPX, SPXW,
// NDX, NDXP, RUT, RUTW, VIX, VIXW, XSP, ...) only at expiry, equity and ETF
// options (and OEX) at any time.
enum class ExerciseStyle { kEuropean, kAmerican };

// Why a contract has no implied volatility of its own. kNone: it has one.
enum class ChainRefusal {
  kNone,
  kNotSolved,       // "not solved": the solve has not reached it (or was stopped)
  kNoQuote,         // "no quote": neither a bid nor an ask
  kOneSided,        // "one-sided": a bid or an ask only
  kCrossed,         // "crossed": bid above ask
  kUnreadable,      // "unreadable quote": a bid or ask that is no figure, or negative
  kNoStrike,        // "no strike": a strike of 0
  kExpired,         // "expired": its close has passed
  kNoRate,          // "no rate": the curve gives no usable rate at its expiry
  kNoDividend,      // "no dividend yield": no expiry of the chain has a parity pair
  kBelowIntrinsic,  // "below intrinsic": the mid is below the no-arbitrage lower bound
  kAtIntrinsic,     // "at intrinsic": the mid is the lower bound (volatility 0)
  kAboveBound,      // "above bound": the mid is at or above the upper bound
  kNoSolution,      // "no solution": no volatility from 0.0001 to 20 reprices the mid
};

// The words of a refusal as shown to the user ("one-sided", "below
// intrinsic", ...); "" for kNone.
const char* ChainRefusalText(ChainRefusal refusal);

// What the feed itself says of a contract (its own model's figures, in its
// own units: vega and theta as the feed writes them).
struct SourceFigures {
  std::optional<double> iv;  // a fraction (0.214)
  std::optional<double> delta;
  std::optional<double> gamma;
  std::optional<double> vega;
  std::optional<double> theta;
  std::optional<double> rho;
  std::optional<double> theo;
};

// Value and Greeks at this program's own implied volatility, per unit:
// delta per 1 of spot, gamma per 1 of spot squared, vega per 1.00 of
// volatility, theta per year (a negative decay), rho per 1.00 of rate.
struct OwnFigures {
  double value = 0;
  double delta = 0;
  double gamma = 0;
  double vega = 0;
  double theta = 0;
  double rho = 0;
};

// One listed contract.
struct ChainContract {
  std::string symbol;  // OCC form without blanks: "SPXW261218C05900000"
  std::string root;    // "SPXW"
  bool put = false;
  double strike = 0;
  std::size_t expiry = 0;  // index into OptionChain::expiries
  std::optional<double> bid;
  std::optional<double> ask;
  std::optional<double> mid;  // only for a two-sided, uncrossed quote
  std::optional<double> last;
  std::string last_trade_time;  // as the feed writes it ("2026-12-07T15:59:00"); "" for none
  std::optional<double> volume;
  std::optional<double> open_interest;
  SourceFigures source;
  // This program's own figures: either iv and at_iv, or a refusal.
  std::optional<double> iv;
  std::optional<OwnFigures> at_iv;
  ChainRefusal refusal = ChainRefusal::kNotSolved;
  // What the quote alone says: kNone (two-sided), kNoQuote, kOneSided,
  // kCrossed or kUnreadable.
  ChainRefusal quote = ChainRefusal::kNone;
};

// The call and the put of one strike of an expiry (indexes into
// OptionChain::contracts).
struct ChainStrike {
  double strike = 0;
  std::optional<std::size_t> call;
  std::optional<std::size_t> put;
};

// One expiry of one root: SPX's morning-settled and SPXW's afternoon-settled
// options of the same date are two expiries (their closes differ).
struct ChainExpiry {
  std::string root;
  std::chrono::year_month_day date{};
  std::string date_text;  // "2026-12-18"
  ExerciseStyle style = ExerciseStyle::kAmerican;
  int days = 0;                      // calendar days from the chain's date (New York)
  double years = 0;                  // to the close, in years of 365 days; <= 0 once closed
  std::chrono::sys_seconds close{};  // the instant trading ends
  std::string close_text;            // "16:00 New York on 2026-12-18"
  std::optional<double> rate;        // continuous, at `years` (set by SolveOptionChain)
  std::optional<double> dividend;    // continuous implied yield (set by SolveOptionChain)
  // "implied by put-call parity on strikes 5900, 5905, 5910" or "of the
  // 2026-12-19 SPXW expiry (no two-sided pair of its own)".
  std::string dividend_note;
  std::vector<ChainStrike> strikes;  // ascending
};

struct OptionChain {
  std::string ticker;     // the feed's file name: "_SPX", "AAPL"
  std::string symbol;     // the data's own symbol: "^SPX", "AAPL"
  double spot = 0;        // the underlying's current price, above 0
  std::string timestamp;  // the file's "timestamp" ("2026-12-07 16:15:02"), "" if none
  // The moment figures are counted from: the file's timestamp (New York
  // time), else the `now` given to ParseOptionChain.
  std::chrono::sys_seconds as_of{};
  std::chrono::year_month_day date{};  // as_of's New York date
  std::vector<ChainExpiry> expiries;   // by close, then root
  std::vector<ChainContract> contracts;
  // Records passed over and why ("3 records without an OCC symbol").
  std::vector<std::string> notes;
};

// Reads the feed's options file (`page`: the JSON itself or the HTML a
// browser shows it in). Nothing, with `message` set, when the page is no
// such file (kFeedUnreadableMessage) or holds no price of the underlying
// (kFeedNoPriceMessage). Contracts come out refused kNotSolved, or already
// with the reason their quote, strike or expiry gives (kOneSided, kExpired, ...).
std::optional<OptionChain> ParseOptionChain(const std::string& page,
                                            std::chrono::system_clock::time_point now,
                                            std::string& message);

// The continuous risk-free rate for a maturity in years (the Treasury curve
// in the programs); a non-finite answer refuses that expiry's contracts.
using RateAt = std::function<double(double years)>;

// Progress of a solve: contracts done of all. Answering false stops it; the
// contracts not reached stay refused kNotSolved. Called on the thread that
// called SolveOptionChain, every few dozen contracts and once at the end.
using ChainProgress = std::function<bool(std::size_t done, std::size_t total)>;

// Sets each expiry's rate and implied dividend yield, then every contract's
// implied volatility from its mid (closed form for European style, the
// trinomial lattice for American style) with its value and Greeks there, or
// its refusal. Runs on `threads` threads (0: as many as the machine has),
// the calling one among them. Returns false when stopped by `progress`.
bool SolveOptionChain(OptionChain& chain, const RateAt& rate_at, const ChainProgress& progress = {},
                      unsigned threads = 0);

// The style of a root ("SPXW" European, "AAPL" American).
ExerciseStyle StyleOfRoot(const std::string& root);

// The `n` strikes of an expiry nearest the spot (all when n is 0), in
// ascending order, as indexes into its `strikes`.
std::vector<std::size_t> StrikesAroundMoney(const ChainExpiry& expiry, double spot, std::size_t n);

// The index of the strike nearest the spot; nothing for an expiry without strikes.
std::optional<std::size_t> NearestStrike(const ChainExpiry& expiry, double spot);

// One point of an expiry's smile: own and source implied volatilities of the
// call and the put of a strike.
struct SmilePoint {
  double strike = 0;
  double moneyness = 0;  // strike / spot
  std::optional<double> call_iv;
  std::optional<double> put_iv;
  std::optional<double> call_source_iv;
  std::optional<double> put_source_iv;
};
std::vector<SmilePoint> ExpirySmile(const OptionChain& chain, std::size_t expiry);

}  // namespace stratlyn
