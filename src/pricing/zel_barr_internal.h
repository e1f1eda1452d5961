#pragma once
// What the files of zelBarr share: the step limits, the kinds of the
// calculation codes, the error of a lattice that cannot be set up, and the
// scope that prices a barrier option's terms as the plain option. Private to
// src/pricing.

#include <string>

#include "util/zel_error.h"

namespace stratlyn::zel_barr_internal {

constexpr int kMaxSteps = 16382;  // 2n + 2 must fit a 16-bit integer
constexpr int kMinSteps = 3;
// The most steps of the early-exercise step rule and of the gamma's
// refinement near the exercise boundary (a spot exercised at once just
// inside the boundary refines up to kMaxSteps).
constexpr int kMaxRefinedSteps = 4000;
constexpr double kInitialStretch = 1.025866;
constexpr double kBarrierMargin = 1e-7;
constexpr double kNoRoot = -999.0;
constexpr float kInvalidResult = -999.0f;

// No step count up to kMaxSteps gives the inputs a usable lattice. A zelError,
// so that callers that give up on any run-time error give up on it too.
class UnusableLattice : public zelError {
 public:
  explicit UnusableLattice(const std::string& message) : zelError(err::kInvalidCall, message) {}
};

inline bool IsBarrierCode(int code) { return code >= 1002 && code <= 1009; }
inline bool IsDownCode(int code) { return code >= 1002 && code <= 1005; }
inline bool IsAmericanKnockOut(int code) { return code == 1003 || code == 1007; }
inline bool IsKnockInCode(int code) {
  return code == 1004 || code == 1005 || code == 1008 || code == 1009;
}

// The spot on or past the barrier of a barrier code: the option is knocked
// out or in already.
inline bool PastBarrier(int code, double s, double h) {
  if (!IsBarrierCode(code) || !(h > 1e-6)) {
    return false;
  }
  return IsDownCode(code) ? !(s > h + kBarrierMargin) : !(s < h - kBarrierMargin);
}

// Prices a barrier option's terms as the plain option of the same type for
// as long as it lives (no barrier, the plain code 1000 or 1001), and puts the
// barrier and the code back when it ends, also when the pricing throws.
struct PlainOptionScope {
  PlainOptionScope(float& barrier_ref, int& active_ref, int barrier_code)
      : barrier(barrier_ref),
        active(active_ref),
        kept_barrier(barrier_ref),
        kept_code(barrier_code),
        code(barrier_code % 2 == 1 ? 1001 : 1000) {
    barrier = 0;
    active = code;
  }
  ~PlainOptionScope() {
    barrier = kept_barrier;
    active = kept_code;
  }
  PlainOptionScope(const PlainOptionScope&) = delete;
  PlainOptionScope& operator=(const PlainOptionScope&) = delete;

  float& barrier;
  int& active;
  const float kept_barrier;
  const int kept_code;
  const int code;  // the plain option's code
};

}  // namespace stratlyn::zel_barr_internal
