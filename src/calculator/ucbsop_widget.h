#pragma once
// ucBSOP: the calculator panel of the top pane. Seven entry fields, exercise
// style, option type, implied volatility, value and Greeks, Copy All, and the
// market-data controls. The logic lives in BsopPanel and MarketCommands; this
// widget lays the controls out (in twips, scaled by zelSetDisplay) and moves
// their texts in and out of the logic around each command.

#include <QWidget>
#include <array>
#include <memory>
#include <vector>

#include "calculator/bsop_panel.h"
#include "calculator/market_commands.h"
#include "charts/zel_set_display.h"

class QCheckBox;
class QComboBox;
class QFrame;
class QLabel;
class QLineEdit;
class QProgressBar;
class QPushButton;
class QRadioButton;

namespace stratlyn {

class BarrierControls;
class BrowserView;
class GridView;
class LineControl;
class ScalableControl;

class ucBSOP : public QWidget {
  Q_OBJECT

 public:
  explicit ucBSOP(QWidget* parent = nullptr);
  ~ucBSOP() override;

  // The panel's registered size in twips.
  static constexpr int kDesignWidth = 7200;
  static constexpr int kDesignHeight = 5700;

  // Lends the window's browser views (b2 receives the market-data pages).
  // Not owned; ClearAll drops them.
  void setBrowsers(BrowserView* b1, BrowserView* b2);
  void ClearAll();
  BrowserView* Browser1() const { return browser1_; }
  BrowserView* Browser2() const { return browser2_; }

  // See BsopPanel::GetParameters.
  bool GetParameters(OptionTerms& terms);
  bool isPutOption() const;
  void SetStockQuote(const QString& txt);
  void SetOptionQuote(const QString& txt);
  void SetOptionStrike(const QString& txt);
  void SetOptionMaturity(const QString& txt);
  // The units of the Greek captions and labels (Options menu).
  void SetGreekUnits(GreekUnits units);

  // Display scaling: large (x1.7 by x1.5, 12-point bold) and normal; the
  // panel resizes itself to ucWidth x ucHeight (twips).
  void EnlargeFont();
  void ReduceFont();
  int ucWidth() const { return uc_width_; }
  int ucHeight() const { return uc_height_; }

  // The main window's data-use acceptance flag (not owned).
  void SetDisclaimerFlag(bool* flag) { market_->SetDisclaimerFlag(flag); }
  // "Stop" of the main window: ends a market-data page wait.
  void StopMarketData() { market_->Stop(); }

  // Handlers, public so that the window and the tests can press them.
  void cmdCalculate_Click();
  void cmdCopyData_Click();

  // Controls.
  QLineEdit* Text1(int i) const { return text1_[i]; }
  QLabel* aa(int i) const { return aa_[i]; }
  QLineEdit* txtDate() const { return txt_date_; }
  QRadioButton* chkAmer() const { return chk_amer_; }
  QRadioButton* chkEuro() const { return chk_euro_; }
  QRadioButton* chkPut() const { return chk_put_; }
  QRadioButton* chkCall() const { return chk_call_; }
  QCheckBox* chkImpVol() const { return chk_imp_vol_; }
  QPushButton* cmdCalculate() const { return cmd_calculate_; }
  QPushButton* cmdCopyData() const { return cmd_copy_data_; }
  QLabel* lblPrice() const { return lbl_price_; }
  QLabel* grk(int i) const { return grk_[i]; }
  QLabel* lblDelta() const { return lbl_delta_; }
  QLabel* lblGamma() const { return lbl_gamma_; }
  QLabel* lblVega() const { return lbl_vega_; }
  QLabel* lblTheta() const { return lbl_theta_; }
  QLineEdit* txtStockTicker() const { return txt_stock_ticker_; }
  QLineEdit* txtOptionTicker() const { return txt_option_ticker_; }
  QLabel* lblOptionTicker() const { return lbl_option_ticker_; }
  QComboBox* cmbQuoteType() const { return cmb_quote_type_; }
  QComboBox* cmbMaturity() const { return cmb_maturity_; }
  QComboBox* cmbStrike() const { return cmb_strike_; }
  QComboBox* cmbExchange() const { return cmb_exchange_; }
  QPushButton* cmdGetStkQuote() const { return cmd_get_stk_quote_; }
  QPushButton* cmdGetOption() const { return cmd_get_option_; }
  QPushButton* cmdReparseStock() const { return cmd_reparse_stock_; }
  QPushButton* cmdReparseOption() const { return cmd_reparse_option_; }
  QPushButton* cmdGetInterestRate() const { return cmd_get_interest_rate_; }
  QPushButton* cmdDivYield() const { return cmd_div_yield_; }
  QPushButton* cmdHistoVol() const { return cmd_histo_vol_; }
  GridView* Grid1() const { return grid1_; }
  // The barrier list and its level and rebate fields.
  BarrierControls& Barrier() const { return *barrier_; }
  QLabel* lblInet() const { return lbl_inet_; }
  QProgressBar* seriesProgress() const { return series_progress_; }

  BsopPanel& Logic() { return logic_; }
  MarketCommands& Market() { return *market_; }

 private:
  void UserControl_Initialize();
  void CreateControls();
  void RegisterDisplay();
  // The barrier list and fields (barrier_widget), placed under the Date row.
  void CreateBarrierControls();
  // Copies the controls into the logic's fields, and back what changed.
  void ReadFields();
  void WriteFields(const BsopFields& before);
  // Shows the logic's value and Greek labels as they are.
  void ShowResults();
  // An input changed on screen: the figures shown no longer belong to it.
  void InputChanged();
  // A field, the date or a choice changed: figures of other terms go.
  void TermChanged();
  // The panel's fields with the terms as the widgets hold them now.
  BsopFields ScreenFields() const;
  MarketFields ReadMarketFields() const;
  void WriteMarketFields(const MarketFields& f, const MarketFields& before);
  void RunMarket(void (MarketCommands::*command)(MarketFields&));
  // Shows the yield-curve grid only when it holds something; sizes its
  // columns to their texts in the grid's font and scrolls it to its left
  // edge, so that each term and its yield are in view.
  void FitCurveColumns();

  // Places a control at a box in twips and records it in control order.
  template <typename W>
  W* Place(W* widget, int left, int top, int width, int height);

  BsopPanel logic_;
  bool writing_ = false;  // the panel itself is writing its fields
  std::unique_ptr<MarketCommands> market_;
  BrowserView* browser1_ = nullptr;
  BrowserView* browser2_ = nullptr;

  zelSetDisplay display_;
  std::vector<QWidget*> controls_;  // in control order
  LineControl* line_ = nullptr;
  std::vector<std::unique_ptr<ScalableControl>> scalables_;
  int uc_width_ = kDesignWidth;
  int uc_height_ = kDesignHeight;

  std::array<QLineEdit*, 7> text1_{};
  std::array<QLabel*, 7> aa_{};
  QLabel* lbl_date_ = nullptr;
  QLineEdit* txt_date_ = nullptr;
  QFrame* fra_exercise_ = nullptr;
  QFrame* fra_type_ = nullptr;
  QRadioButton* chk_amer_ = nullptr;
  QRadioButton* chk_euro_ = nullptr;
  QRadioButton* chk_put_ = nullptr;
  QRadioButton* chk_call_ = nullptr;
  QCheckBox* chk_imp_vol_ = nullptr;
  QPushButton* cmd_calculate_ = nullptr;
  QPushButton* cmd_copy_data_ = nullptr;
  QLabel* lbl_price_ = nullptr;
  std::array<QLabel*, 4> grk_{};
  QLabel* lbl_delta_ = nullptr;
  QLabel* lbl_gamma_ = nullptr;
  QLabel* lbl_vega_ = nullptr;
  QLabel* lbl_theta_ = nullptr;
  QLabel* lbl_stock_ticker_ = nullptr;
  QLineEdit* txt_stock_ticker_ = nullptr;
  QLabel* lbl_option_ticker_ = nullptr;
  QLineEdit* txt_option_ticker_ = nullptr;
  QComboBox* cmb_quote_type_ = nullptr;
  QComboBox* cmb_maturity_ = nullptr;
  QLabel* lbl_strike_ = nullptr;
  QComboBox* cmb_strike_ = nullptr;
  QComboBox* cmb_exchange_ = nullptr;
  QPushButton* cmd_get_stk_quote_ = nullptr;
  QPushButton* cmd_get_option_ = nullptr;
  QPushButton* cmd_reparse_stock_ = nullptr;
  QPushButton* cmd_reparse_option_ = nullptr;
  QPushButton* cmd_get_interest_rate_ = nullptr;
  QPushButton* cmd_div_yield_ = nullptr;
  QPushButton* cmd_histo_vol_ = nullptr;
  std::unique_ptr<BarrierControls> barrier_;
  GridView* grid1_ = nullptr;
  QLabel* lbl_inet_ = nullptr;
  QProgressBar* series_progress_ = nullptr;
};

}  // namespace stratlyn
