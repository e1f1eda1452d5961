#pragma once
// zelBloombergData: a government yield curve gathered into a grid, from the
// Federal Reserve's H.15 constant-maturity series files or from a benchmark
// rate page, and a rate table read back from such a grid. Pages load into the
// browser view the caller hands over (Browser); nothing here owns it.

#include <chrono>
#include <functional>
#include <string>
#include <vector>

#include "util/browser_view.h"
#include "util/grid.h"

namespace stratlyn {

// The message of a benchmark page without its section heading is this text,
// the support contact and kBloombergFailTail.
inline constexpr const char* kBloombergFailHead =
    "Unable to parse Bloomberg data; please contact ZEL at ";
inline constexpr const char* kBloombergFailTail = " for help";

// The H.15 series in grid order (rows 2 to 11).
inline constexpr int kFrbSeriesCount = 10;
extern const char* const kFrbSeries[kFrbSeriesCount];

// The address of one series file: sites::FrbUrl() + "/FRBData/" + name + "_2010.txt".
std::string FrbSeriesUrl(int index);

// Where "Get Interest Rate" reads the Treasury curve, in the order tried: a
// source that fails passes on to the next one (the user's choice first).
enum class RateSource {
  kTreasury,     // the U.S. Treasury's daily par yield curve CSV (one request)
  kH15Download,  // the Federal Reserve's H.15 data download CSV (one request)
  kSeriesFiles,  // the ten H.15 series files, the oldest source
};
// "U.S. Treasury par yield curve", "Federal Reserve H.15", "H.15 series files".
std::string RateSourceName(RateSource source);

class zelBloombergData {
 public:
  // Curve codes.
  static constexpr int cUS = 0;
  static constexpr int cUK = 1;
  static constexpr int cGermany = 2;
  static constexpr int cJapan = 3;
  static constexpr int cAustralia = 4;
  // Grid columns written by the readers.
  static constexpr int colTerm = 1;
  static constexpr int colCoupon = 2;
  static constexpr int colMaturity = 3;
  static constexpr int colPrice = 4;

  const std::string strLabel = "U.S. Governments";
  const int iTable = 1;  // table number for ExtractHtmlTable

  // The view pages load into (not owned); set before any grab.
  BrowserView* Browser = nullptr;
  // When set, a true value ends the page wait and the series loop ("Stop").
  const bool* StopFlag = nullptr;
  // Called with (i, 10) before series i loads and (0, 0) when the loop ends.
  std::function<void(int done, int total)> Progress;

  int GetnCurves() const { return 5; }
  // Name and page address of curve 0..5 (5 is empty); zelError 9 outside.
  std::string GetCurveName(int iCurve) const;
  std::string GetCurveURL(int iCurve) const;

  // Rate table: indices 0..NN, cleared by SetnRates; zelError 9 outside.
  void SetnRates(int NN);
  void SetRate(int ii, float rr, float tt);
  double GetRate(int iRate) const;
  double GetDate(int iDate) const;
  int GetnRates() const { return static_cast<int>(rates_.size()) - 1; }

  // Fills the rate table from a curve grid, index i from grid row i (index 0
  // repeats index 1). Rate (per cent): the yield after "/" of a
  // "price / yield" cell; a bill row's (term "TD" or "Month") price-or-yield
  // cell; otherwise the coupon (a par bond yields its coupon). Time: the
  // maturity cell as a date serial (days since 30 Dec 1899; month-first
  // dates, two-digit years within 50 years before today, a bare year meaning
  // 30 June of it), 0 when it is not a date. Cells read through FormatRateCell.
  void ParseBloombergData(const Grid& grd);

  // Reads a benchmark rate page into the grid and the rate table. False when
  // the page lacks the curve's heading (the user has been told) or the load
  // was stopped; FetchError when the page does not load. inetLabel, when
  // given, receives a status text.
  bool GrabBloombergData(int cCurve, Grid& grd, std::string* inetLabel = nullptr);

  // Reads the Treasury curve from `Source` (falling back to the sources after
  // it) into the grid: row 0 the headings, row 1 the observation date, rows
  // 2 on one tenor each, short to long (every tenor the source has; the ten
  // series for the series files). Note and bill rows alike carry the par
  // yield in per cent as the coupon (column 2) with price 100, except the
  // series files' bill rows ("3TD", "6TD": the yield in column 4). False when
  // stopped. FetchError when every source failed, naming each and its cause
  // (a status, a time-out, a file without observations, a cell that is not
  // a figure). cCurve is not used.
  bool GrabFRBYieldCurve(int cCurve, Grid& grd);
  RateSource Source = RateSource::kTreasury;

  // The observation date of the last GrabFRBYieldCurve ("YYYY-MM-DD").
  const std::string& ObservationDate() const { return observation_date_; }
  // The source the last GrabFRBYieldCurve read.
  RateSource SourceUsed() const { return source_used_; }
  // Notes of the last GrabFRBYieldCurve: a source that failed before the one
  // used, a curve or series older than 10 days.
  const std::vector<std::string>& Notes() const { return notes_; }

  // 0.05 when no rates are set; otherwise the table's rate (per cent)
  // interpolated at `years` from the date serial `today`.
  float GetInterpolatedRate(float years, double today) const;

 private:
  BrowserView& View() const;
  bool Stopped() const { return StopFlag != nullptr && *StopFlag; }

  std::vector<double> rates_ = std::vector<double>(1, 0.0);
  std::vector<double> dates_ = std::vector<double>(1, 0.0);
  bool rates_set_ = false;
  std::string observation_date_;
  RateSource source_used_ = RateSource::kTreasury;
  std::vector<std::string> notes_;

  bool GrabSeriesFiles(Grid& grd, const bool& stop);
  bool GrabCsvCurve(RateSource source, Grid& grd, const bool& stop);
};

// A plain decimal number with '.' as the grid and the series files write
// them, whatever the locale. False (value untouched) for anything else.
bool ReadPlainNumber(const std::string& text, double& value);

// An empty cell gives "0.00"; otherwise the cell read as a number, with two
// decimals ("" after the invalid-entry message).
std::string FormatRateCell(const std::string& cell);

// The latest observation of a series file's text (lines of "date,value"):
// the line with the latest date among those whose date reads as a date and
// whose value is a number, whatever the order of the lines (dates after
// tomorrow passed over), so that blank
// lines and "ND" (no data) days are passed over. False if none.
bool LastObservation(const std::string& text, std::string& date, double& value);

// The rate (per cent) at maturity t years of a curve grid in the H.15
// reader's layout: curve point i (1 .. rows - 2) from grid row i + 1, a bill
// row ("TD" in column 1) from its yield in column 4 (both 0 when that is not
// a number), a note or bond row from its coupon in column 2; maturities in
// years from `now` to the dates of column 3; point 0 repeats point 1; then
// InterpolateRate. zelError 13 for a note row without a number or a date.
float CurveRateFromGrid(const Grid& grid, float t, std::chrono::system_clock::time_point now);

// "" when t lies within the curve of the grid (read as CurveRateFromGrid
// reads it); past its longest maturity, where that maturity's yield is held
// flat: "beyond the curve's longest maturity, 19.97 years, whose yield is
// used"; before its shortest, likewise "before the curve's shortest
// maturity, 0.08 years, whose yield is used".
std::string CurveEndNote(const Grid& grid, float t, std::chrono::system_clock::time_point now);

// The continuously compounded rate (a fraction) at maturity t of a curve
// grid of bond-equivalent par yields: CurveRateFromGrid converted with
// 2 ln(1 + y/2).
double ContinuousRateFromGrid(const Grid& grid, float t, std::chrono::system_clock::time_point now);

// Straight-line interpolation over ascending maturities (indices 0..m); flat
// beyond either end. zelError 11 when two neighbours around t are equal,
// zelError 9 when the arrays hold fewer than m + 1 values.
float InterpolateRate(const std::vector<float>& rates, const std::vector<float>& maturities, int m,
                      float t);

}  // namespace stratlyn
