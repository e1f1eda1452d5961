#pragma once
// The drawing surface of the charts (a picture box) and the text boxes that
// serve as axis labels, as interfaces: the window implements them with Qt
// widgets, the tests with recording fakes.
//
// Coordinates are user coordinates of the current scale, set by two corners;
// y may grow upward (top > bottom). Colours are 0xRRGGBB.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace stratlyn {

// The classic sixteen-colour palette (0 black ... 12 bright red, 14 yellow,
// 15 white) as 0xRRGGBB; zelError 5 outside 0..15.
uint32_t PaletteColor(int index);

enum class FillStyle { Solid, Transparent };

// What a figure shows around its plot area: a title, axis captions, tick
// labels with a light grid at the ticks, and a marker (a vertical line at
// `marker_x`, with a dot at `marker_y` and a caption). Tick places and the
// marker are in the user coordinates of the current scale.
struct ChartFrame {
  struct Tick {
    double at = 0;  // place along the axis, in scale units
    std::string text;
  };
  std::string title;
  std::string x_caption;
  std::string y_caption;
  std::vector<Tick> x_ticks;
  std::vector<Tick> y_ticks;
  bool grid = true;
  std::optional<double> marker_x;
  std::optional<double> marker_y;
  std::string marker_label;

  bool Empty() const {
    return title.empty() && x_caption.empty() && y_caption.empty() && x_ticks.empty() &&
           y_ticks.empty() && !marker_x;
  }
};

class Canvas {
 public:
  virtual ~Canvas() = default;

  // The user scale: (x1, y1) is the top-left corner, (x2, y2) the bottom-right.
  // Later drawing uses it; what is drawn already keeps its place.
  virtual void SetScale(double x1, double y1, double x2, double y2) = 0;
  // The extent of the current scale (x2 - x1 and y2 - y1; the height is
  // negative when y grows upward).
  virtual double ScaleWidth() const = 0;
  virtual double ScaleHeight() const = 0;
  // The box's outer size in twips.
  virtual double OuterWidth() const = 0;
  virtual double OuterHeight() const = 0;

  virtual uint32_t BackColor() const = 0;
  virtual void SetBackColor(uint32_t rgb) = 0;
  virtual uint32_t ForeColor() const = 0;
  virtual void SetForeColor(uint32_t rgb) = 0;
  virtual uint32_t FillColor() const = 0;
  virtual void SetFillColor(uint32_t rgb) = 0;
  virtual void SetFillStyle(FillStyle style) = 0;
  // Line width in pixels (at least 1).
  virtual void SetDrawWidth(int pixels) = 0;

  // Erases everything drawn, the frame too, and puts the pen at the scale's
  // top-left corner.
  virtual void Cls() = 0;
  // Shows what has been drawn so far.
  virtual void Refresh() = 0;

  // The pen position, in user coordinates.
  virtual double CurrentX() const = 0;
  virtual double CurrentY() const = 0;
  virtual void MoveTo(double x, double y) = 0;

  // One point in the fore colour; the pen moves there.
  virtual void PSet(double x, double y) = 0;
  // A straight segment from the pen to (x, y) in the fore colour; the pen moves there.
  virtual void LineTo(double x, double y) = 0;
  // The box with corners (x1, y1) and (x2, y2): outline in the fore colour,
  // inside filled with the fill colour when the fill style is solid. The pen
  // moves to (x2, y2).
  virtual void Box(double x1, double y1, double x2, double y2) = 0;
  // A circle arc around (cx, cy) with the radius in x units, from angle
  // `start` to `end` (radians, counter-clockwise from three o'clock as seen on
  // screen). A negative angle stands for its absolute value and also draws the
  // radius to that end, so two negative angles give a closed sector, filled as
  // Box is. The outline is `outline`, or the fore colour when it is
  // kUseForeColor. zelError 5 when an angle lies outside -2π..2π.
  static constexpr uint32_t kUseForeColor = 0xFFFFFFFFu;
  virtual void Sector(double cx, double cy, double radius, double start, double end,
                      uint32_t outline = kUseForeColor) = 0;

  // Height of a text in the current font, in user units (positive).
  virtual double TextHeight(const std::string& text) const = 0;
  // Prints the text with its top-left corner at the pen in the fore colour;
  // the pen moves to the start of the next line.
  virtual void Print(const std::string& text) = 0;

  // The figure around the plot (replaces the previous one; an empty frame
  // removes it). A canvas that draws frames lays its plot area out inside
  // margins that hold them; the user scale then maps onto that area. The
  // default ignores frames.
  virtual void SetFrame(const ChartFrame& frame) { (void)frame; }
};

// A text box used as an axis label.
class TextBox {
 public:
  virtual ~TextBox() = default;
  virtual void SetText(const std::string& text) = 0;
  virtual std::string Text() const = 0;
};

}  // namespace stratlyn
