#pragma once
// zelBarr: the lattice record for American vanilla and single-barrier options.
// Inputs are 32-bit floats set by string key; CalcBarr(code) computes every
// result of a calculation code on a trinomial lattice at once, and
// GetOptionData hands them out afterwards.
//
//   zelBarr b;
//   b.SetOptionData(50.0, b.strUnderlying);
//   b.SetOptionData(b.FLAG, b.strType);        // put
//   b.CalcBarr(b.AMERVANILLA);
//   float v = b.GetOptionData(b.strOptionPrice);

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "numerics/trinomial_lattice.h"
#include "pricing/option_terms.h"

namespace stratlyn {

// A rebate is paid to the holder: a negative one is refused, with this
// message, by every front end before it reaches the record.
inline constexpr const char* kRebateNegativeMessage = "The rebate must not be negative";
inline bool RebateAcceptable(double rebate) { return rebate >= 0; }

class zelBarr {
 public:
  // CalcBarr called again while it runs (from a handler of the events it
  // lets run) is refused with zelError kInvalidCall and this text: the run
  // under way keeps its inputs and figures.
  static constexpr const char* kCalculationRunning =
      "A calculation is already running on this option; wait for it to finish";
  // Keys (exact, case-sensitive).
  std::string strType = "type";
  std::string strDvl = "dvl";
  std::string strRiskFree = "riskfree";
  std::string strVolatility = "vol";
  std::string strMaturity = "mat";
  std::string strStrike = "strike";
  std::string strUnderlying = "uasset";
  std::string strOptionPrice = "opr";
  std::string strBarrier = "barrier";
  std::string strRebate = "rebate";
  std::string strPutcall = "putcall";
  std::string strPrice = "price";
  std::string strDelta = "delta";
  std::string strGamma = "gamma";
  std::string strVega = "vega";
  std::string strRho = "rho";
  std::string strTheta = "theta";
  std::string strNSTEPS = "nsteps";
  std::string strImpliedVolatility = "impvol";

  // Calculation codes: value and Greeks (1000s), implied volatility (2000s).
  // CalcBarr compares against these members.
  std::int16_t EUROVANILLA = 1000;
  std::int16_t AMERVANILLA = 1001;
  std::int16_t EURODOWNOUT = 1002;
  std::int16_t AMERDOWNOUT = 1003;
  std::int16_t EURODOWNIN = 1004;
  std::int16_t AMERDOWNIN = 1005;
  std::int16_t EUROUPOUT = 1006;
  std::int16_t AMERUPOUT = 1007;
  std::int16_t EUROUPIN = 1008;
  std::int16_t AMERUPIN = 1009;
  std::int16_t EUROVANVOL = 2000;
  std::int16_t AMERVANVOL = 2001;
  std::int16_t EURODOVOL = 2002;
  std::int16_t AMERDOVOL = 2003;
  std::int16_t EURODIVOL = 2004;
  std::int16_t AMERDIVOL = 2005;
  std::int16_t EUROUOVOL = 2006;
  std::int16_t AMERUOVOL = 2007;
  std::int16_t EUROUIVOL = 2008;
  std::int16_t AMERUIVOL = 2009;
  // The put sign (-1) and the call sign (+1) for "type".
  std::int16_t FLAG = -1;
  std::int16_t boolError = 1;

  // Sets one input by key; unknown keys are ignored. "type" and "nsteps" are
  // rounded half to even and throw zelError 6 outside the 16-bit range
  // (nothing stored). Afterwards nsteps is raised to 3 when below.
  void SetOptionData(double oo, const std::string& key);
  // The same with the value as text; zelError 13 when the text is not a number.
  void SetOptionData(const std::string& oo, const std::string& key);
  // Every term at once, as SetOptionData under "type" (FLAG for a put,
  // boolError for a call), "riskfree", "mat", "strike", "uasset", "vol",
  // "dvl" and "opr" sets them. The exercise style, the barrier, the rebate
  // and the steps are not terms: the calculation code and the keys give them.
  void SetTerms(const OptionTerms& terms);

  // A result of the last CalcBarr/CalcBarrDLL: "opr", "delta", "gamma", "vega",
  // "theta", "impvol" (the volatility); 0 for any other key.
  float GetOptionData(const std::string& key) const;

  // Computes the results of a calculation code on the lattice; an unknown code
  // changes no result. nsteps is the least step count: a run takes the least
  // n >= nsteps whose branch probabilities lie in [0, 1] and, for a barrier
  // not yet crossed, that puts at least one row between spot and barrier.
  // Where no n up to 16382 does, shows a critical message and every result
  // (for a 2000s code also "impvol") reads -999. Throws zelError 6 when
  // nsteps is above 16382 (before anything is computed) and zelError 5/6/11
  // for a floating-point fault (zero or negative price, strike or maturity,
  // zero volatility). Lets pending events run once per lattice layer from n
  // down to 4 through AppEvents(). An implied-volatility code gives "impvol"
  // -999 (value results 0) unless a volatility from 0.001 to 10 reprices "opr".
  void CalcBarr(int code);

  // The step count of the last lattice set up (nsteps or more): a caller that
  // compares two runs (a rate bump) prices both on the larger.
  int LatticeSteps() const { return latticeSteps; }

  // The same results from the separate pricing library (CallTrino); raises
  // zelError 48/53 when libzelop32.so cannot be loaded.
  void CalcBarrDLL(int code);

 private:
  void CalcValueAndGreeks(int code);
  // False (nothing changed) where a shifted lattice cannot be set up.
  bool ShiftedGreeks(int code);
  bool CanExerciseEarly() const;
  bool BarrierWithinRow(int code) const;
  bool NearExerciseBoundary() const;
  std::optional<double> GammaBesideExercise() const;
  bool RefineForGamma() const;
  bool ExercisedJustInside() const;
  bool RefineAgain() const;
  void CalcImpliedVol(int code);
  double LatticeGap(int code, double sigma);
  double LatticeGapOnSetUp(int code);
  bool BeyondLatticeRange(int code);
  double PlainValue(int code) const;
  double TrialGap(int code, double sigma);
  bool Reprices(int code, double sigma);
  bool OutsideVanillaBounds(int code) const;
  bool AtVanillaLowerBound(int code, double share) const;
  double ScanForRoot(int code, double sigma0);
  bool ExpandBracket(int code, double& x1, double& x2);
  void SetProbabilities(double sigma);
  double LatticeBrent(int code, double x1, double x2, double tol);
  // Sets up the lattice for the current inputs on the least usable step
  // count from `least_steps` (0: nsteps) up; throws UnusableLattice (a
  // zelError) when none up to 16382 exists. A trial of an implied-volatility
  // search whose volatility is too small for the drift is set up at the least
  // volatility above it that has a usable lattice (the value is held flat).
  void SetUpLattice(int least_steps = 0);
  double EuropeanMiss(int n, double lambda, double root_dt, double sigma);
  // With `bumped` (the same rows, other probabilities) a vanilla code also
  // values the option on that grid in the same pass, into bumpedValue.
  void RunLattice(int code, const numerics::LatticeGrid* bumped = nullptr);
  // The grid of the vega bump on the current rows, and its volatility.
  numerics::LatticeGrid BumpedGrid(float& bumped_vol);
  // Value and Greeks when the spot has already crossed the barrier of a
  // barrier code; false when it has not.
  bool CalcCrossedBarrier(int code);
  void ReportUnusable(int code, const std::string& message);
  bool IsVanillaCode(int code) const;
  int PartnerOfVolCode(int code) const;  // 1000s code of a 2000s code, or 0

  std::int16_t optionType = 1;
  float strike = 50.0f;
  float volatility = 0.25f;
  float riskFree = 0.1f;
  float maturity = 0.25f;
  float dividendYield = 0.0f;
  float resultPrice = 0.0f;
  float resultDelta = 0.0f;
  float resultGamma = 0.0f;
  float resultVega = 0.0f;
  float resultTheta = 0.0f;
  float barrier = 45.0f;
  float rebate = 0.0f;
  float underlying = 0.0f;
  float optionPrice = 0.0f;
  std::int16_t nsteps = 50;
  // Lattice state.
  std::int16_t nodeCount = 0;
  int latticeSteps = 0;    // n of the last set-up (nsteps or more)
  int activeCode = 0;      // 1000s code being computed by CalcBarr
  bool searching = false;  // trial valuations of an implied-volatility search
  double stepLength = 0;
  double upFactor = 0;
  double discount = 0;
  double probUp = 0;
  double probDown = 0;
  double probMid = 0;
  double stretch = 0;
  double latticeVol = 0;    // the volatility the lattice was set up with
  double latticeValue = 0;  // the last run's root value (unrounded, unfloored)
  double bumpedValue = 0;   // the root value on the bumped grid of a paired run
  std::array<double, 11> greekNodes{};
  numerics::LatticeBuffers lattice;  // node prices, values and vanilla values
  bool running = false;              // a lattice run is under way
  bool calculating = false;          // CalcBarr is under way (see kCalculationRunning)
  // A run of ShiftedGreeks: the step count it takes (no closed-form check)
  // and no further shifts.
  bool shiftedRun = false;
  // How many times this lattice was refined (four times the steps each)
  // where the exercise boundary lies near the spot; a refined lattice's vega
  // and theta are the mean of four shifted lattices.
  int refineDepth = 0;
  int fixedSteps = 0;
  std::int16_t putCallSign = 1;
  double lowVol = 0;
  double highVol = 0;
  // The gap of the last trial of a search held at a larger volatility (its
  // lattice volatility and steps): every trial held at the same volatility
  // has the same value, and such lattices take up to 16382 steps.
  double heldVol = 0;
  int heldSteps = 0;
  double heldGap = 0;
};

}  // namespace stratlyn
