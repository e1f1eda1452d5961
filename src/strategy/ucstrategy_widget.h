#pragma once
// ucStrategy: the strategy panel of the top pane. A table of legs (options
// on the calculator panel's underlying and the underlying itself), the
// ready-made templates, the chosen date (a slider from the position's date to
// the first expiry, and a date field), the profit at expiry and at that date
// on one plot with the break-evens marked, and the position's figures.
// The market is the copy handed over by SetParameters.

#include <QImage>
#include <QString>
#include <array>
#include <memory>
#include <optional>

#include "charts/qt_scaled_panel.h"
#include "pricing/option_terms.h"
#include "strategy/strategy_panel.h"
#include "util/greek_units.h"

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QSlider;

namespace stratlyn {

class GridView;
class QtCanvas;
class QtLabelBox;
class zelDraw;

class ucStrategy : public ScaledPanel {
  Q_OBJECT

 public:
  explicit ucStrategy(QWidget* parent = nullptr);
  ~ucStrategy() override;

  // Stores a copy of the option (the calculator panel's terms); draws nothing. The first time
  // the table is empty it is filled with a bull call spread on the option.
  void SetParameters(const OptionTerms& option);
  // The same as pressing "Calculate".
  void CalcIt();
  // A leg from outside (the chain panel): the market becomes `market`, the
  // leg is appended (with `new_position` it replaces the table's legs), and
  // the position is calculated.
  void AddLeg(const OptionTerms& market, const Leg& leg, bool new_position);
  // The units the Greeks are shown in; the results are shown again.
  void SetGreekUnits(GreekUnits units);

  // The whole figure (plot, legend, title, ticks, marker) as one image; and
  // saving it as PNG (false when the file cannot be written).
  QImage FigureImage();
  bool SaveFigure(const QString& path);

  // Registered (normal display) size in twips.
  static constexpr int kDesignWidth = 7200;
  static constexpr int kDesignHeight = 5700;
  // Steps of the date slider between the position's date and the first expiry.
  static constexpr int kSliderSteps = 1000;

  // The controls, for the window and the tests.
  GridView* Grid1() const { return grid1_; }
  GridView* Grid2() const { return grid2_; }
  QComboBox* cmbTemplate() const { return cmb_template_; }
  QLineEdit* txtWidth() const { return txt_width_; }
  QCheckBox* chkAmer() const { return chk_amer_; }
  QLineEdit* txtDate() const { return txt_date_; }
  QLineEdit* txtAtDate() const { return txt_at_date_; }
  QSlider* sldDate() const { return sld_date_; }
  QPushButton* cmdCalculate() const { return cmd_calculate_; }
  QPushButton* cmdAdd() const { return cmd_add_; }
  QPushButton* cmdRemove() const { return cmd_remove_; }
  QPushButton* cmdCopy() const { return cmd_copy_; }
  QPushButton* cmdPaste() const { return cmd_paste_; }
  QPushButton* cmdCopyImage() const { return cmd_copy_image_; }
  QPushButton* cmdSaveImage() const { return cmd_save_image_; }
  QLabel* lblPoint() const { return lbl_point_; }
  QtCanvas* pbox() const { return pbox_; }
  QtLabelBox* Text1(int i) const { return text1_[i]; }
  StrategyPanel& Core() { return *core_; }
  // The figures of the last calculation, nothing after a refused one.
  const std::optional<StrategyFigures>& Figures() const { return figures_; }
  double AtYears() const { return at_years_; }

 protected:
  void DisplayChanged() override;

 private:
  void cmdCalculate_Click();
  void cmbTemplate_Click(int index);
  void sldDate_Change(bool compute);
  void txtAtDate_Change();
  void cmdSaveImage_Click();
  void ShowResults();
  void ClearResults();
  // Draws both curves, the zero line, the break-evens, the marker at today's
  // price and the legend. The one place that knows the chart object's calls.
  void DrawProfitPlot(const StrategyFigures& f);
  void ShowPoint(double x);
  // Columns as wide as their texts: the legs' and the results' tables.
  void SizeColumns();
  void FitLegColumns();
  void FitResultColumns();
  // Calculates after the legs changed; `quiet`: a refusal is told in the
  // line under the plot instead of a message box.
  void Recalculate(bool quiet);
  void PasteLegs();
  std::string StartDate() const;
  void ShowAtDate();
  // at_years_ from the slider's position (see the definition).
  void SliderDate(double horizon);

  GridView* grid1_ = nullptr;
  GridView* grid2_ = nullptr;
  QComboBox* cmb_template_ = nullptr;
  QLineEdit* txt_width_ = nullptr;
  QCheckBox* chk_amer_ = nullptr;
  QLineEdit* txt_date_ = nullptr;
  QLineEdit* txt_at_date_ = nullptr;
  QSlider* sld_date_ = nullptr;
  QPushButton* cmd_calculate_ = nullptr;
  QPushButton* cmd_add_ = nullptr;
  QPushButton* cmd_remove_ = nullptr;
  QPushButton* cmd_copy_ = nullptr;
  QPushButton* cmd_paste_ = nullptr;
  QPushButton* cmd_copy_image_ = nullptr;
  QPushButton* cmd_save_image_ = nullptr;
  QLabel* lbl_point_ = nullptr;
  QtCanvas* pbox_ = nullptr;
  std::array<QtLabelBox*, 4> text1_{};

  std::unique_ptr<StrategyPanel> core_;  // after grid1_, whose Grid it edits
  std::unique_ptr<zelDraw> draw_;
  std::optional<StrategyFigures> figures_;
  GreekUnits units_ = GreekUnits::kPerUnit;
  double at_years_ = 0;
  bool filled_ = false;
  bool updating_ = false;
  bool date_typed_ = false;  // the next calculation takes at_years_ as typed
};

}  // namespace stratlyn
