#pragma once
// ScaledPanel: the display-scaling groundwork shared by the panels of the top
// pane (every panel is meant to derive from it). A panel places each control
// with Place(...) at its box in twips, calls RegisterDisplay() once all are
// placed, and then follows the large and the normal display through
// EnlargeFont()/ReduceFont(). What a panel must redo after the display has
// changed (sizing table columns, say) goes in DisplayChanged().

#include <QWidget>
#include <memory>
#include <vector>

namespace stratlyn {

class ScalableControl;
class zelSetDisplay;

class ScaledPanel : public QWidget {
  Q_OBJECT

 public:
  ~ScaledPanel() override;

  // Display scaling: the large and the normal display; ucWidth/ucHeight are
  // the size (twips) at which the panel wants to be shown (zero until
  // RegisterDisplay has run).
  void EnlargeFont();
  void ReduceFont();
  int ucWidth() const { return uc_width_; }
  int ucHeight() const { return uc_height_; }

 protected:
  // Sets the panels' 8-point font and background and sizes the panel to its
  // registered size (twips).
  ScaledPanel(QWidget* parent, int layout_width, int layout_height);

  // Puts the widget at the box (twips, in its parent) and records it as the
  // next control to scale. Returns the widget.
  template <typename W>
  W* Place(W* widget, int left, int top, int width, int height) {
    PlaceWidget(widget, left, top, width, height);
    return widget;
  }
  // Records a control that is not a plain widget (a line, say).
  void AddScalable(std::unique_ptr<ScalableControl> control);
  // Registers every recorded control at the registered size; ucWidth and
  // ucHeight become that size.
  void RegisterDisplay();
  // Called after EnlargeFont/ReduceFont have scaled and re-sized the panel.
  virtual void DisplayChanged() {}

 private:
  void PlaceWidget(QWidget* widget, int left, int top, int width, int height);

  int layout_width_;
  int layout_height_;
  int uc_width_ = 0;
  int uc_height_ = 0;
  std::vector<std::unique_ptr<ScalableControl>> scalables_;
  std::unique_ptr<zelSetDisplay> display_;
};

}  // namespace stratlyn
