// zelBarr's keys (SetOptionData, GetOptionData) and the dispatch of a
// calculation code to its valuation or its implied-volatility search.

#include "pricing/zel_barr.h"

#include <charconv>
#include <cmath>
#include <string>
#include <system_error>

#include "pricing/key_match.h"
#include "pricing/zel_barr_internal.h"
#include "util/fp_checks.h"
#include "util/services.h"
#include "util/zel_error.h"

namespace stratlyn {

using namespace zel_barr_internal;

namespace {

// The whole text, blanks trimmed, as a number ("12.5", "-3", "1e-2");
// zelError 13 otherwise.
double TextToNumber(const std::string& text) {
  size_t begin = text.find_first_not_of(" \t");
  const size_t end = text.find_last_not_of(" \t");
  if (begin == std::string::npos) {
    throw zelError(err::kTypeMismatch);
  }
  if (text[begin] == '+') {
    ++begin;
  }
  double value = 0;
  const char* first = text.data() + begin;
  const char* last = text.data() + end + 1;
  const auto [ptr, ec] = std::from_chars(first, last, value);
  if (ec == std::errc::result_out_of_range) {
    throw zelError(err::kOverflow);
  }
  if (ec != std::errc() || ptr != last || !std::isfinite(value)) {
    throw zelError(err::kTypeMismatch);
  }
  return value;
}

}  // namespace

// ---- Keys -------------------------------------------------------------------

void zelBarr::SetOptionData(double oo, const std::string& key) {
  if (calculating) {
    throw zelError(err::kInvalidCall, kCalculationRunning);  // the run under way reads them
  }
  if (KeyIs(key, strType)) {
    const std::int16_t v = ToInt16(oo);
    optionType = v;
    putCallSign = v;
  } else if (KeyIs(key, strBarrier)) {
    barrier = ToSingle(oo);
  } else if (KeyIs(key, strDvl)) {
    dividendYield = ToSingle(oo);
  } else if (KeyIs(key, strRebate)) {
    rebate = ToSingle(oo);
  } else if (KeyIs(key, strRiskFree)) {
    riskFree = ToSingle(oo);
  } else if (KeyIs(key, strVolatility)) {
    volatility = ToSingle(oo);
  } else if (KeyIs(key, strMaturity)) {
    maturity = ToSingle(oo);
  } else if (KeyIs(key, strStrike)) {
    strike = ToSingle(oo);
  } else if (KeyIs(key, strPutcall)) {
    if (oo == -1.0 || oo == 2.0) {
      putCallSign = FLAG;
    } else if (oo == 1.0 || oo == 0.0) {
      putCallSign = boolError;
    }
  } else if (KeyIs(key, strUnderlying)) {
    underlying = ToSingle(oo);
  } else if (KeyIs(key, strOptionPrice)) {
    optionPrice = ToSingle(oo);
  } else if (KeyIs(key, strNSTEPS)) {
    nsteps = ToInt16(oo);
  }
  if (nsteps < kMinSteps) {
    nsteps = kMinSteps;
  }
}

void zelBarr::SetOptionData(const std::string& oo, const std::string& key) {
  SetOptionData(TextToNumber(oo), key);
}

float zelBarr::GetOptionData(const std::string& key) const {
  if (KeyIs(key, strOptionPrice)) {
    return resultPrice;
  }
  if (KeyIs(key, strDelta)) {
    return resultDelta;
  }
  if (KeyIs(key, strGamma)) {
    return resultGamma;
  }
  if (KeyIs(key, strVega)) {
    return resultVega;
  }
  if (KeyIs(key, strTheta)) {
    return resultTheta;
  }
  if (KeyIs(key, strImpliedVolatility)) {
    return volatility;
  }
  return 0.0f;
}

// ---- Dispatch ---------------------------------------------------------------

void zelBarr::CalcBarr(int code) {
  // A handler run from the lattice's events that calls this again would
  // change the inputs, arrays and results the run under way still uses.
  if (calculating) {
    throw zelError(err::kInvalidCall, kCalculationRunning);
  }
  struct Calculating {
    bool& flag;
    explicit Calculating(bool& f) : flag(f) { flag = true; }
    ~Calculating() { flag = false; }
    Calculating(const Calculating&) = delete;
    Calculating& operator=(const Calculating&) = delete;
  } guard(calculating);
  if (nsteps > kMaxSteps) {
    throw zelError(err::kOverflow);
  }
  const int n = nsteps;
  nodeCount = static_cast<std::int16_t>(2 * n + 1);
  stepLength = static_cast<double>(maturity) / n;
  discount = CheckFinite(std::exp(-static_cast<double>(riskFree) * stepLength));
  stretch = kInitialStretch;

  // Tested in this order; the first member equal to the code wins.
  const std::int16_t order[] = {EUROVANILLA, EUROVANVOL,  AMERVANILLA, AMERVANVOL, EURODOWNOUT,
                                EURODOVOL,   AMERDOWNOUT, AMERDOVOL,   EURODOWNIN, EURODIVOL,
                                AMERDOWNIN,  AMERDIVOL,   EUROUPIN,    EUROUIVOL,  AMERUPIN,
                                AMERUIVOL,   EUROUPOUT,   EUROUOVOL,   AMERUPOUT,  AMERUOVOL};
  for (const std::int16_t member : order) {
    if (code != member) {
      continue;
    }
    int slot = 0;
    if (member == EUROVANILLA || member == AMERVANILLA) {
      barrier = 0;
      slot = member == EUROVANILLA ? 1000 : 1001;
    } else if (member == EUROVANVOL || member == AMERVANVOL) {
      barrier = 0;
      slot = member == EUROVANVOL ? 2000 : 2001;
    } else {
      // Which slot of the code table the member occupies decides what it does.
      slot = PartnerOfVolCode(member);
    }
    activeCode = slot >= 2000 ? slot - 1000 : slot;
    try {
      if (slot >= 2000) {
        searching = true;
        CalcImpliedVol(slot - 1000);
        searching = false;
      } else {
        CalcValueAndGreeks(slot);
      }
    } catch (const UnusableLattice& e) {
      searching = false;
      ReportUnusable(slot, e.Description());
    } catch (...) {
      searching = false;
      throw;
    }
    return;
  }
}

void zelBarr::ReportUnusable(int code, const std::string& message) {
  AppDialogs().Critical(message);
  resultPrice = resultDelta = resultGamma = resultVega = resultTheta = kInvalidResult;
  if (code >= 2000) {
    volatility = kInvalidResult;
  }
}

// The standard number (1002-1009 or 2002-2009) of the barrier code member
// equal to `code`.
int zelBarr::PartnerOfVolCode(int code) const {
  const std::int16_t members[] = {EURODOWNOUT, AMERDOWNOUT, EURODOWNIN, AMERDOWNIN,
                                  EUROUPOUT,   AMERUPOUT,   EUROUPIN,   AMERUPIN};
  const std::int16_t vol_members[] = {EURODOVOL, AMERDOVOL, EURODIVOL, AMERDIVOL,
                                      EUROUOVOL, AMERUOVOL, EUROUIVOL, AMERUIVOL};
  for (int i = 0; i < 8; ++i) {
    if (code == members[i]) {
      return 1002 + i;
    }
    if (code == vol_members[i]) {
      return 2002 + i;
    }
  }
  return 0;
}

bool zelBarr::IsVanillaCode(int code) const { return code == 1000 || code == 1001; }

}  // namespace stratlyn
