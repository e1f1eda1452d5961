#pragma once
// ucRisk: the risk panel of the top pane. Simulates 5,000 outcomes of the
// underlying at a chosen horizon and shows the distribution of the option's
// profit (or payoff, or of the asset price) as a histogram and a table of
// values exceeded with given probabilities.

#include <array>
#include <memory>

#include "charts/qt_scaled_panel.h"
#include "pricing/option_terms.h"

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;

namespace stratlyn {

class GridView;
class QtCanvas;
class QtLabelBox;
class zelBSOP;
class zelDraw;
struct RiskResult;
struct RiskSettings;

class ucRisk : public ScaledPanel {
  Q_OBJECT

 public:
  explicit ucRisk(QWidget* parent = nullptr);
  ~ucRisk() override;

  // Stores a copy of the option (the calculator panel's terms).
  void SetParameters(const OptionTerms& option);
  // The same as pressing "Calculate".
  void CalcIt();

  // Display scaling (EnlargeFont, ReduceFont, ucWidth, ucHeight) comes from
  // ScaledPanel. The registered (normal display) size of the panel in twips.
  static constexpr int kDesignWidth = 7200;
  static constexpr int kDesignHeight = 5700;

  // The controls, for the window and the tests.
  QLineEdit* txtStockReturn() const { return txt_return_; }
  QLineEdit* txtStockVol() const { return txt_vol_; }
  QComboBox* cmbHorizon() const { return cmb_horizon_; }
  QCheckBox* chkPayoffs() const { return chk_payoffs_; }
  QCheckBox* chkUAsset() const { return chk_uasset_; }
  QPushButton* cmdCalculate() const { return cmd_calculate_; }
  QtCanvas* pbox() const { return pbox_; }
  QtLabelBox* Text1(int i) const { return text1_[i]; }
  GridView* Grid1() const { return grid1_; }
  QLabel* lblPoint() const { return lbl_point_; }
  const OptionTerms& Inputs() const { return inputs_; }

 private:
  void cmdCalculate_Click();
  void Grid1_KeyPress(int key_ascii);
  // The read-out of the bar at the pointer's x, in outcome units.
  void ShowPoint(double x, double y);
  // The histogram in per cent of the outcomes, with the worthless share as
  // its own bar, a title and a marker.
  void DrawHistogram(const RiskResult& result, const RiskSettings& settings);
  // Empties the plot, its x labels and the read-out; ClearResults the table's
  // values too.
  void ClearPlot();
  void ClearResults();
  void DisplayChanged() override;
  void SizeColumns();

  OptionTerms inputs_;
  bool calculating_ = false;

  QLineEdit* txt_return_ = nullptr;
  QLineEdit* txt_vol_ = nullptr;
  QComboBox* cmb_horizon_ = nullptr;
  QCheckBox* chk_payoffs_ = nullptr;
  QCheckBox* chk_uasset_ = nullptr;
  QPushButton* cmd_calculate_ = nullptr;
  QtCanvas* pbox_ = nullptr;

  std::unique_ptr<zelDraw> draw_;
  std::unique_ptr<zelBSOP> bsop_;
  std::array<QtLabelBox*, 4> text1_{};
  GridView* grid1_ = nullptr;
  QLabel* lbl_point_ = nullptr;
};

}  // namespace stratlyn
