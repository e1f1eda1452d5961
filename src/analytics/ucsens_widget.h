#pragma once
// ucSens: the sensitivity panel of the top pane. Plots the option value or
// one Greek against one input swept from half to twice its current value;
// the other inputs are the copy handed over by SetParameters.

#include <array>
#include <memory>

#include "charts/qt_scaled_panel.h"
#include "pricing/option_terms.h"

class QCheckBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;

namespace stratlyn {

class QtCanvas;
class QtLabelBox;
class zelBSOP;
class zelDraw;

class ucSens : public ScaledPanel {
  Q_OBJECT

 public:
  explicit ucSens(QWidget* parent = nullptr);
  ~ucSens() override;

  // Stores a copy of the option (the calculator panel's terms); draws nothing.
  void SetParameters(const OptionTerms& option);
  // The same as pressing "Plot".
  void PlotIt();

  // Display scaling (EnlargeFont, ReduceFont, ucWidth, ucHeight) comes from
  // ScaledPanel. The registered (normal display) size of the panel in twips.
  static constexpr int kDesignWidth = 7200;
  static constexpr int kDesignHeight = 5700;

  // The controls, for the window and the tests.
  QRadioButton* xtyp(int i) const { return xtyp_[i]; }
  QRadioButton* yTyp(int i) const { return ytyp_[i]; }
  QPushButton* cmdplot() const { return cmdplot_; }
  QCheckBox* chkAuto() const { return chk_auto_; }
  QLabel* lblPoint() const { return lbl_point_; }
  QtCanvas* pbox() const { return pbox_; }
  QtLabelBox* Text1(int i) const { return text1_[i]; }
  const OptionTerms& Inputs() const { return inputs_; }
  int XChoice() const { return x_choice_; }
  int YChoice() const { return y_choice_; }

 private:
  void cmdplot_Click();
  void xtyp_Click(int index);
  void yTyp_Click(int index);
  void chkAuto_Click();
  // The read-out of the curve at the pointer's x (y is the pointer's own,
  // not used).
  void ShowPoint(double x, double y);
  // Empties the plot, its labels and the read-out.
  void ClearPlot();

  OptionTerms inputs_;
  int x_choice_ = 0;
  int y_choice_ = 0;

  std::array<QRadioButton*, 6> xtyp_{};
  std::array<QRadioButton*, 6> ytyp_{};
  std::array<QtLabelBox*, 4> text1_{};
  QGroupBox* x_frame_ = nullptr;
  QGroupBox* y_frame_ = nullptr;
  QPushButton* cmdplot_ = nullptr;
  QCheckBox* chk_auto_ = nullptr;
  QLabel* lbl_point_ = nullptr;
  QtCanvas* pbox_ = nullptr;

  std::unique_ptr<zelDraw> draw_;
  std::unique_ptr<zelBSOP> bsop_;
  // True while a plot is computed: an American sweep lets events run, and a
  // second press then is ignored.
  bool plotting_ = false;
};

}  // namespace stratlyn
