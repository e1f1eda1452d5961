#pragma once
// One contract of a chain: its no-arbitrage bounds, value and Greeks at a
// volatility, and the implied volatility of a market price. European style
// in closed form (Black-Scholes-Merton with a continuous yield); American
// style on the trinomial lattice of the option records (numerics/), with the
// closed form as a control variate: value = lattice American value + (closed
// form - lattice European value on the same rows). Thread-safe: every call
// keeps its own state.

#include <optional>

#include "chain/option_chain.h"

namespace stratlyn {

struct ContractTerms {
  bool put = false;
  ExerciseStyle style = ExerciseStyle::kEuropean;
  double spot = 0;
  double strike = 0;
  double years = 0;  // to the close
  double rate = 0;   // continuous
  double yield = 0;  // continuous dividend yield
};

// The prices no volatility can reach: a price must lie strictly above
// `lower` (the discounted forward intrinsic value, for American style also
// the exercise value, and 0) and strictly below `upper` (the discounted
// forward for a call, the discounted strike for a put; spot and strike
// undiscounted for American style).
struct PriceBounds {
  double lower = 0;
  double upper = 0;
};
PriceBounds NoArbitrageBounds(const ContractTerms& c);

// The least and the largest implied volatility reported.
inline constexpr double kLeastImpliedVol = 1e-4;
inline constexpr double kLargestImpliedVol = 20.0;

// Value and Greeks at `sigma` (see OwnFigures for the units). Nothing when
// the terms leave the formulas' range (spot, strike, time or volatility not
// above 0, or a figure that is not finite).
std::optional<OwnFigures> FiguresAt(const ContractTerms& c, double sigma);

// The implied volatility of `price` with the value and Greeks there, or a
// refusal: kBelowIntrinsic, kAtIntrinsic, kAboveBound (outside the bounds),
// kNoSolution (no volatility from kLeastImpliedVol to kLargestImpliedVol
// reprices it to 1e-7 of the price, or of 1 below a price of 1).
struct ContractSolution {
  std::optional<double> iv;
  std::optional<OwnFigures> figures;
  ChainRefusal refusal = ChainRefusal::kNoSolution;
};
ContractSolution SolveContract(const ContractTerms& c, double price);

// Relative distance a solution's value may lie from the price it solves.
inline constexpr double kRepriceTolerance = 1e-7;

}  // namespace stratlyn
