#pragma once
// One control of a panel as display scaling sees it: a box (left, top, width,
// height) or a line (two end points), in twips, and perhaps a font. The Qt
// adapter converts at 15 twips per pixel; tests use plain structs.
//
// A control answers Has...() for what it has; the setters of a property it
// lacks are never called. A setter may throw (std::exception) when the
// control refuses the value; display scaling then keeps the old value and
// goes on.

#include <cstdint>

namespace stratlyn {

struct TwipBox {
  int32_t left = 0;
  int32_t top = 0;
  int32_t width = 0;
  int32_t height = 0;
};

struct TwipLine {
  int32_t x1 = 0;
  int32_t y1 = 0;
  int32_t x2 = 0;
  int32_t y2 = 0;
};

class ScalableControl {
 public:
  virtual ~ScalableControl() = default;

  // A line control: its geometry is LineEnds(), not Box().
  virtual bool IsLine() const = 0;

  virtual bool HasBox() const = 0;
  virtual TwipBox Box() const = 0;
  virtual void SetBox(const TwipBox& box) = 0;

  virtual TwipLine LineEnds() const = 0;
  virtual void SetLineEnds(const TwipLine& line) = 0;

  virtual bool HasFont() const = 0;
  virtual void SetFontSize(int points) = 0;
  virtual void SetFontBold(bool bold) = 0;
};

}  // namespace stratlyn
