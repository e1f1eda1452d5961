#pragma once
// ucSens: the sensitivity panel of the top pane. Plots the option value or
// one Greek against one input swept from half to twice its current value;
// the other inputs are the copy handed over by SetParameters.

#include <QWidget>
#include <array>
#include <memory>
#include <vector>

#include "analytics/option_parameters.h"

class QCheckBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;

namespace stratlyn {

class QtCanvas;
class QtLabelBox;
class ScalableControl;
class zelBSOP;
class zelDraw;
class zelSetDisplay;

class ucSens : public QWidget {
  Q_OBJECT

 public:
  explicit ucSens(QWidget* parent = nullptr);
  ~ucSens() override;

  // Stores the option (type code 1 call / 2 put, then rate, asset price,
  // maturity, strike, volatility, dividend yield, option price); draws nothing.
  void SetParameters(short oid, float orf, float os, float ot, float oxk, float osig, float odvl,
                     float oopr);
  // The same as pressing "Plot".
  void PlotIt();

  // Display scaling: the large and the normal display; ucWidth/ucHeight are
  // the size (twips) at which the panel wants to be shown.
  void EnlargeFont();
  void ReduceFont();
  int ucWidth() const { return uc_width_; }
  int ucHeight() const { return uc_height_; }
  // The registered (normal display) size of the panel in twips.
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
  const OptionParameters& Inputs() const { return inputs_; }
  int XChoice() const { return x_choice_; }
  int YChoice() const { return y_choice_; }

 private:
  void cmdplot_Click();
  void xtyp_Click(int index);
  void yTyp_Click(int index);
  void chkAuto_Click();
  void ShowPoint(double x, double y);
  void RegisterDisplay();
  template <typename W>
  W* Place(W* widget, int left, int top, int width, int height);

  OptionParameters inputs_;
  int x_choice_ = 0;
  int y_choice_ = 0;
  int uc_width_ = 0;
  int uc_height_ = 0;

  std::array<QRadioButton*, 6> xtyp_{};
  std::array<QRadioButton*, 6> ytyp_{};
  std::array<QtLabelBox*, 4> text1_{};
  QGroupBox* x_frame_ = nullptr;
  QGroupBox* y_frame_ = nullptr;
  QPushButton* cmdplot_ = nullptr;
  QCheckBox* chk_auto_ = nullptr;
  QLabel* lbl_point_ = nullptr;
  QtCanvas* pbox_ = nullptr;

  std::vector<std::unique_ptr<ScalableControl>> scalables_;
  std::unique_ptr<zelSetDisplay> display_;
  std::unique_ptr<zelDraw> draw_;
  std::unique_ptr<zelBSOP> bsop_;
};

}  // namespace stratlyn
