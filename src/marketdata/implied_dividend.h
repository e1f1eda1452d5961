#pragma once
// The market's dividend yield of an underlying, implied by put-call parity on
// the exchange's option chain (the JSON feed's options file): for a strike K
// near the money with two-sided quotes on both the call and the put, the
// forward is F = K + e^(rT) (C_mid - P_mid), and q = r - ln(F / S) / T.

#include <chrono>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace stratlyn {

struct ImpliedDividend {
  double yield = 0;    // continuous, a fraction
  std::string expiry;  // "2026-12-18"
  double years = 0;    // to that expiry's close
  double rate = 0;     // the continuous rate used
  double spot = 0;     // the underlying's price in the file
  std::string symbol;  // the underlying the file names ("" when it names none)
  std::vector<double> strikes;
  // "implied by put-call parity on the 2026-12-18 expiry (0.02740 years),
  // strikes 185, 187.5, 190, spot 187.44, rate 0.0430".
  std::string Note() const;
};

// The implied yield from the chain `page` (JSON, or the HTML a browser shows
// it in): the expiry whose time to its close is nearest `years` (at least two
// days away), up to three strikes nearest the spot with two-sided quotes on
// both sides; `rate_at(T)` gives the continuous rate for T years. Nothing,
// with `message` set, when the page holds no spot or no such pair, or the
// yield comes out beyond -5 % or 50 % (quotes that do not fit together).
std::optional<ImpliedDividend> ImpliedDividendYield(const std::string& page, double years,
                                                    const std::function<double(double)>& rate_at,
                                                    std::chrono::system_clock::time_point now,
                                                    std::string& message);

// The call's and the put's midpoints of one strike of one expiry.
struct ParityPair {
  double strike = 0;
  double call = 0;
  double put = 0;
};

// The continuous dividend yield put-call parity implies on `pairs` of one
// expiry `years` away at the continuous `rate`: each pair's forward
// F = K + e^(rT) (C - P), their average F, and q = r - ln(F / S) / T.
// Nothing without a pair, for T or S not above 0, or F not above 0.
std::optional<double> ParityDividendYield(double spot, double rate, double years,
                                          const std::vector<ParityPair>& pairs);

// "The option chain NAME has no expiry with a strike near the money quoted
// two-sided on both the call and the put".
std::string NoParityPairMessage(const std::string& name);

}  // namespace stratlyn
