#pragma once
// Models of libzelop32, shared by its source files (not part of its interface).

namespace stratlyn::zelop {

// Cumulative standard normal distribution, accurate to double precision.
double NormCdf(double x);
// Standard normal density.
double NormPdf(double x);

// Black-Scholes-Merton European figures; call when is_call.
struct BsmInputs {
  bool is_call;
  double r, t, k, s, sigma, q;
};
bool BsmValid(const BsmInputs& in);
double BsmValue(const BsmInputs& in);
// Implied volatility of `price`; sigma of `in` is the starting guess. -999 when
// the price lies outside the values any volatility gives, NaN for invalid inputs.
double BsmImpliedVol(BsmInputs in, double price, double tol, int max_iter);

// Barone-Adesi-Whaley American value.
double BawValue(const BsmInputs& in);

// American value on the trinomial lattice of at least `steps` steps (more
// where its European value misses the closed form), NaN where no lattice of
// at most `most_steps` steps serves the inputs.
double AmericanLatticeValue(const BsmInputs& in, int steps, int most_steps);

// Trinomial lattice (zelop_lattice.cpp); see CallTrino in zelop_api.h.
int TrinoLattice(int sign, const double* in, int code, double price, int steps, double* out);

}  // namespace stratlyn::zelop
