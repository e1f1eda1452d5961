#pragma once
// The C interface of the separate pricing library libzelop32.so. Every
// function returns a double; numbers go by value. flag: 1 call, any other
// value put. r, T, K, S, sigma, q: rate, maturity in years, strike,
// underlying, volatility, dividend yield (decimal fractions per year).
// A function that cannot compute (invalid inputs) returns NaN.

#ifdef __cplusplus
extern "C" {
#endif

// European (Black-Scholes-Merton) figures.
typedef double (*ZelopBsopFn)(int flag, double r, double T, double K, double S, double sigma,
                              double q);
typedef double (*ZelopNoFlagFn)(double r, double T, double K, double S, double sigma, double q);
// Implied volatility of a European price; sigma is the starting guess, tol the
// volatility tolerance, max_iter the iteration limit. Returns -999 when the
// price is out of reach.
typedef double (*ZelopImpvolFn)(int flag, double r, double T, double K, double S, double sigma,
                                double tol, double price, double q, int max_iter);
// American (Barone-Adesi-Whaley) figures; note the argument order.
typedef double (*ZelopBawFn)(int flag, double S, double r, double T, double K, double sigma,
                             double q);
// Trinomial lattice for a calculation code 1000-1009 (value and Greeks) or
// 2000-2009 (implied volatility of the market price `price`). in[0..5]: S,
// sigma, r, T, K, q; out[0..5]: value, delta, gamma, vega, theta, implied
// volatility. in[6], in[7]: barrier and rebate (a knock-out's paid when it
// dies, a knock-in's at expiry when it never knocked in). `steps` is the
// least number of time steps: the lattice takes more where the drift is
// large against the volatility or the barrier near the spot. Both arrays
// hold 11 doubles. Returns 0 on success, -1 for an unknown code or invalid
// inputs, -2 when the drift is too large against the volatility and -3 when
// the barrier is too close to the spot for any lattice of at most 16382
// steps, -4 when a barrier lattice of 4000 steps still misses the closed form
// of the barrier watched without a pause by more than 0.2 % of the value plus
// 0.01 % of the larger of spot and strike (out is then NaN). A barrier
// lattice takes more steps (up to 4000) until it meets that closed form.
typedef double (*ZelopTrinoFn)(int sign, const double* in, int code, double price, int steps,
                               double* out);

#ifdef __cplusplus
}
#endif
