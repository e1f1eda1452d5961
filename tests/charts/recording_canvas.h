#pragma once
// A Canvas that records every drawing call in user coordinates, and a text
// box that keeps its text: the chart tests read what was drawn from here.

#include <string>
#include <vector>

#include "charts/canvas.h"

namespace stratlyn::testing {

struct CanvasOp {
  enum Kind { kPoint, kLine, kBox, kSector, kText } kind;
  double x1 = 0, y1 = 0, x2 = 0, y2 = 0;  // sector: centre, radius, -
  double start = 0, end = 0;              // sector angles as given
  uint32_t color = 0;                     // fore colour, or the sector's outline
  uint32_t fill = 0;
  std::string text;
};

class RecordingCanvas : public Canvas {
 public:
  void SetScale(double x1, double y1, double x2, double y2) override {
    sx1 = x1, sy1 = y1, sx2 = x2, sy2 = y2;
    ++scale_calls;
  }
  double ScaleWidth() const override { return sx2 - sx1; }
  double ScaleHeight() const override { return sy2 - sy1; }
  double OuterWidth() const override { return outer_w; }
  double OuterHeight() const override { return outer_h; }
  uint32_t BackColor() const override { return back; }
  void SetBackColor(uint32_t rgb) override { back = rgb; }
  uint32_t ForeColor() const override { return fore; }
  void SetForeColor(uint32_t rgb) override { fore = rgb; }
  uint32_t FillColor() const override { return fill; }
  void SetFillColor(uint32_t rgb) override { fill = rgb; }
  void SetFillStyle(FillStyle style) override { fill_style = style; }
  void SetDrawWidth(int pixels) override { width = pixels; }
  void Cls() override {
    ops.clear();
    frame = ChartFrame{};
    ++cls_calls;
    cx = sx1, cy = sy1;
  }
  void Refresh() override {}
  double CurrentX() const override { return cx; }
  double CurrentY() const override { return cy; }
  void MoveTo(double x, double y) override { cx = x, cy = y; }
  void PSet(double x, double y) override {
    ops.push_back({CanvasOp::kPoint, x, y, x, y, 0, 0, fore, fill, {}});
    cx = x, cy = y;
  }
  void LineTo(double x, double y) override {
    ops.push_back({CanvasOp::kLine, cx, cy, x, y, 0, 0, fore, fill, {}});
    cx = x, cy = y;
  }
  void Box(double x1, double y1, double x2, double y2) override {
    ops.push_back({CanvasOp::kBox, x1, y1, x2, y2, 0, 0, fore, fill, {}});
    cx = x2, cy = y2;
  }
  void Sector(double x, double y, double radius, double start, double end,
              uint32_t outline) override {
    ops.push_back({CanvasOp::kSector,
                   x,
                   y,
                   radius,
                   0,
                   start,
                   end,
                   outline == kUseForeColor ? fore : outline,
                   fill,
                   {}});
  }
  double TextHeight(const std::string&) const override { return text_height; }
  void Print(const std::string& text) override {
    ops.push_back({CanvasOp::kText, cx, cy, 0, 0, 0, 0, fore, fill, text});
    cy += text_height;
  }

  void SetFrame(const ChartFrame& f) override {
    frame = f;
    ++frame_calls;
  }

  std::vector<CanvasOp> OpsOf(CanvasOp::Kind kind) const {
    std::vector<CanvasOp> out;
    for (const auto& op : ops) {
      if (op.kind == kind) out.push_back(op);
    }
    return out;
  }

  double sx1 = 0, sy1 = 0, sx2 = 1, sy2 = 1;
  double outer_w = 6000, outer_h = 3000;
  double cx = 0, cy = 0;
  uint32_t back = 0xFFFFFF, fore = 0, fill = 0;
  FillStyle fill_style = FillStyle::Transparent;
  int width = 1;
  double text_height = 10;
  int scale_calls = 0;
  int cls_calls = 0;
  int frame_calls = 0;
  ChartFrame frame;
  std::vector<CanvasOp> ops;
};

class MemoryTextBox : public TextBox {
 public:
  void SetText(const std::string& t) override { text = t; }
  std::string Text() const override { return text; }
  std::string text;
};

}  // namespace stratlyn::testing
