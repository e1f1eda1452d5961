#pragma once
// zelDraw: the chart object. Draws lines, points, bars and pies into a Canvas
// (not owned) on scales fitted to the data and widened by fixed factors, and
// writes the ends of the ranges into up to four axis-label boxes
// (0 top of y, 1 bottom of y, 2 left of x, 3 right of x).
//
// Arrays are read by index and never kept; an index outside an array is
// zelError 9. DrawLine, DrawPlainLine, DrawBar and CalcYScale trap run-time
// errors: they end, set the error flag and hand the error to ErrorHandler.
// The other operations let errors go to the caller.

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "charts/canvas.h"

namespace stratlyn {

class Grid;

// A two-dimensional array of floats addressed as (point, series), both from 0.
class FloatMatrix {
 public:
  FloatMatrix(int points, int series);
  int Points() const { return points_; }
  int Series() const { return series_; }
  // zelError 9 outside the array.
  float At(int point, int series) const;
  void Set(int point, int series, float value);

 private:
  int points_;
  int series_;
  std::vector<float> values_;
};

class zelDraw {
 public:
  // Bound indices (also the label indices).
  static constexpr int kYMax = 0;
  static constexpr int kYMin = 1;
  static constexpr int kXMin = 2;
  static constexpr int kXMax = 3;

  // Factors back to their defaults: x up 1.05, down 0.95; y up 1.01, down 0.99.
  void Initialize();
  // The drawing surface (not owned); lets pending window events run.
  void InitializePictureBox(Canvas* pb);
  // Axis label i (0..3; zelError 9 otherwise). Not owned.
  void InitializeTextBox(TextBox* tb, int i);
  // Back, fore and fill colour (0xRRGGBB) and line width in pixels; lets
  // pending window events run.
  void SetDrawColors(uint32_t backClr, uint32_t foreClr, uint32_t fillClr, int16_t drawWdth);
  void SetXFactors(float uf, float df);
  void SetYFactors(float uf, float df);

  // Bound ii (0..3; zelError 9 otherwise).
  void SetMinMax(float xval, int ii);
  // Bound ii, or -999 for any other index.
  float GetMinMax(int ii) const;

  // Applies the bounds to the canvas (an empty range is widened by 1).
  void SetScale();
  // Writes the four labels from bounds set by the caller and applies them
  // unwidened; a failing step is skipped.
  void SetExternalScale();

  // Range fits: y over points start..n-1 (labels 0 and 1, two decimals); x
  // over points start..n-1 (labels 2 and 3, four decimals) -- in both cases
  // more decimals where two different ends would otherwise read the same; y over one series
  // of a matrix, points start..n inclusive; y over a block of a matrix.
  void CalcYScale(std::span<const float> y, int n, int start);
  void CalcXScale(std::span<const float> x, int n, int start);
  void CalcYScaleMatrix(const FloatMatrix& values, int n, int start, int series);
  void CalcWholeMatrixScale(const FloatMatrix& values, int lastPoint, int firstPoint,
                            int firstSeries, int lastSeries);

  // x-y polyline from point 1 to point n-1 (scaled over start..n-1 when rescale).
  void DrawLine(std::span<const float> x, std::span<const float> y, int n, bool rescale, int start);
  // y against the point index: x range start..n.
  void DrawPlainLine(std::span<const float> y, int n, bool rescale, int start);
  void DrawPlainLineMatrix(const FloatMatrix& values, int n, bool rescale, int start, int series);
  // Bars start+1..n, bar i spanning x from i-1 to i and y from 0 to values[i].
  void DrawBar(std::span<const float> values, int n, bool rescale, int start);
  void DrawPoint(double x1, double y1);

  // Pie of values[1..count] (absolute values) with colours[1..count] and
  // labels[1..count]; optional legend beside it and legend grid. Index 0 of
  // each array is unused.
  void pieChart(Grid* grid, int count, std::span<const float> values,
                std::span<const std::string> labels, std::span<const uint32_t> colours,
                bool showGrid, bool showLegend);
  // A plainer pie of values[first..last] without legend; failing steps are skipped.
  void pieChartNew(std::span<const float> values, int last, std::span<const uint32_t> colours,
                   int first);

  // The figure around the plot. Title, captions, grid and marker are kept
  // between drawings; every SetScale and SetExternalScale sends them to the
  // canvas (and each setter again, once a scale is applied) with tick labels at round values of the
  // new bounds (1-2-5 steps, as many decimals as the range needs; see charts/axis_ticks.h).
  void SetTitle(const std::string& title);
  const std::string& Title() const { return title_; }
  void SetAxisCaptions(const std::string& x, const std::string& y);
  // Light grid lines at the ticks (on by default).
  void SetGridLines(bool on);
  // About how many intervals the tick labels split each axis into (default 6 for x, 5 for y).
  void SetTickTargets(int x, int y);
  // The x axis is labelled in other units than the scale's: shown = offset +
  // factor * x (the histogram's bin numbers read as outcomes). factor must not
  // be 0 (zelError 5); the default is 1 and 0.
  void SetXAxisUnits(double factor, double offset);
  double ShownX(double x) const { return x_offset_ + x_factor_ * x; }
  // A marker at x (scale units): a vertical line, a dot where the last series
  // crosses it, and `label` beside it. Cleared by ClearMarker only.
  void SetMarker(double x, const std::string& label = "");
  void ClearMarker();

  // The last series drawn by DrawLine, DrawPlainLine or DrawBar (a copy is
  // kept for read-outs): its value at x, linear between the drawn points of a
  // line, the height of the bar spanning x; nothing outside the series.
  std::optional<double> ValueAt(double x) const;
  // The read-out at the pointer's x: x in shown units and the series' value.
  // Empty where the series has none.
  struct Readout {
    double x;
    double y;
  };
  std::optional<Readout> ReadoutAt(double x) const;
  // Forgets the last series (nothing to read out).
  void ClearSeries();
  // Empties the canvas (Cls) and forgets the series and the marker; no frame
  // goes to the canvas until the next SetScale or SetExternalScale, so an
  // emptied plot stays empty. Title, captions and settings are kept.
  void Clear();

  // Set when a trapped operation failed; cleared when one starts.
  bool ErrorFlag() const { return error_; }

  float XUpFactor() const { return x_up_; }
  float XDownFactor() const { return x_down_; }
  float YUpFactor() const { return y_up_; }
  float YDownFactor() const { return y_down_; }

  static void NormalizePieAngle(double& angle);

 private:
  void DrawPieLegend(int count, std::span<const std::string> labels,
                     std::span<const uint32_t> colours);
  void FillPieLegendGrid(Grid* grid, int count, std::span<const std::string> labels,
                         std::span<const std::string> shares, std::span<const uint32_t> colours);
  void FitY(float mn, float mx);
  void FitX(float mn, float mx);
  void SetLabel(int i, const std::string& text);
  // Labels i and j with values a and b, `decimals` decimals or more where
  // needed to tell two different values apart.
  void WriteEnds(int i, float a, int j, float b, int decimals);
  // Hands the frame for the current bounds to the canvas (no-op without one).
  void SendFrame();
  ChartFrame BuildFrame() const;
  Canvas& Box() const;
  void Trap();

  Canvas* pbox_ = nullptr;
  std::array<TextBox*, 4> labels_{};
  std::array<float, 4> bounds_{};
  float x_up_ = 1.05f;
  float x_down_ = 0.95f;
  float y_up_ = 1.01f;
  float y_down_ = 0.99f;
  bool error_ = false;

  std::string title_;
  std::string x_caption_;
  std::string y_caption_;
  bool grid_lines_ = true;
  int x_ticks_ = 6;
  int y_ticks_ = 5;
  double x_factor_ = 1.0;
  double x_offset_ = 0.0;
  bool scaled_ = false;  // a scale has been applied since the last Clear
  std::optional<double> marker_x_;
  std::string marker_label_;
  // The last series: points (x, y) of a line, or bar heights (index i spans
  // x from i - 1 to i) of a bar series.
  enum class SeriesKind { kNone, kLine, kBars };
  SeriesKind series_kind_ = SeriesKind::kNone;
  std::vector<std::pair<double, double>> series_;
};

}  // namespace stratlyn
