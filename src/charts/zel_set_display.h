#pragma once
// Display scaling of one panel: remembers the registered geometry of every
// control and stretches the panel to a fixed larger size (1.7 times as wide,
// 1.5 times as tall, 12-point bold fonts) or back to the registered size with
// 8-point regular fonts. The registered values never change, so enlarging
// twice equals enlarging once. Sizes are in twips.
//
// A panel: Initialize(ucWidth, ucHeight, n); SetUpDisplay(i, control i) for
// each control; then EnlargeFont(ucWidth, ucHeight) / ReduceFont(ucWidth,
// ucHeight) and resize itself to the new ucWidth x ucHeight.

#include <cstdint>
#include <vector>

#include "charts/scalable_control.h"

namespace stratlyn {

class zelSetDisplay {
 public:
  // Stores the panel's size and makes room for controls 0 to nCont.
  void Initialize(int32_t oWidth, int32_t oHeight, int16_t nCont);

  // Registers control `i` (not owned: it must outlive this object or be
  // registered again). Indices outside 0..nCont are ignored, and so is a
  // control whose geometry cannot be read.
  void SetUpDisplay(int16_t i, ScalableControl& ctrl);

  // Scales every registered control from its registered geometry; writes
  // the enlarged panel size into xWidth and xHeight.
  void EnlargeFont(int32_t& xWidth, int32_t& xHeight);

  // Restores every registered control; writes the registered panel size.
  void ReduceFont(int32_t& xWidth, int32_t& xHeight);

  int32_t RegisteredWidth() const { return width_; }
  int32_t RegisteredHeight() const { return height_; }

 private:
  struct Slot {
    ScalableControl* ctrl = nullptr;
    bool line = false;
    // For a box: left, top, width, height; for a line: x1, y1, x2, y2.
    int32_t left = 0, top = 0, width = 0, height = 0;
  };

  int32_t width_ = 0;
  int32_t height_ = 0;
  int16_t count_ = 0;
  std::vector<Slot> slots_;
};

}  // namespace stratlyn
