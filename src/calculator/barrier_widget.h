#pragma once
// The calculator panel's barrier controls: the "Barrier" list and, once a
// barrier kind is chosen, the barrier level and the rebate. With "none"
// chosen the two fields are hidden and the panel prices as it always has.
// With a kind chosen, Calculate prices the panel's option as that barrier
// option on the lattice (value, Greeks, or the implied volatility from the
// market price) and shows the figures in the panel's own result labels.

#include <QObject>
#include <array>
#include <functional>
#include <optional>
#include <vector>

#include "calculator/barrier_option.h"
#include "pricing/zel_barr.h"
#include "util/greek_units.h"

class QAbstractButton;
class QComboBox;
class QLabel;
class QLineEdit;
class QWidget;

namespace stratlyn {

class BarrierControls : public QObject {
  Q_OBJECT

 public:
  // What the controls need of the panel: its result labels and volatility
  // field, and how to read its option (false: the panel has shown why).
  struct Panel {
    QLabel* price = nullptr;
    std::array<QLabel*, 4> greeks{};  // delta, gamma, vega, theta
    QLineEdit* volatility = nullptr;
    std::function<bool(BarrierInputs&)> read_option;
    // The panel's entries and choices: a change of any clears the barrier
    // figures on show, which belong to the terms before it.
    std::vector<QLineEdit*> inputs;
    std::vector<QAbstractButton*> choices;
  };

  // Creates the list and the two fields as children of `parent` (the panel
  // places them).
  BarrierControls(QWidget* parent, Panel panel);
  ~BarrierControls() override;

  QComboBox* cmbBarrier() const { return cmb_barrier_; }
  QLineEdit* txtBarrier() const { return txt_barrier_; }
  QLineEdit* txtRebate() const { return txt_rebate_; }

  BarrierKind Kind() const;
  // A barrier kind is chosen: Calculate and Copy All go through here.
  bool Chosen() const { return Kind() != BarrierKind::kNone; }

  // Prices the barrier option and shows its figures.
  void Calculate();
  // The panel's Copy All lines for the barrier figures now shown: value and
  // the four Greeks (empty lines where none is shown), then the panel's
  // fields `fields`, then the barrier level and the rebate.
  std::string CopyText(const std::array<std::string, 7>& fields) const;
  // The units vega and theta are shown in.
  void SetGreekUnits(GreekUnits units);
  // The figures shown, nothing after a refusal or a change of the inputs.
  const std::optional<BarrierFigures>& Shown() const { return shown_; }

 private:
  void KindChanged();
  void ClearResults();
  void ShowFigures();

  Panel panel_;
  QComboBox* cmb_barrier_ = nullptr;
  QLineEdit* txt_barrier_ = nullptr;
  QLineEdit* txt_rebate_ = nullptr;
  zelBarr record_;
  std::optional<BarrierFigures> shown_;
  GreekUnits units_ = GreekUnits::kPerUnit;
};

}  // namespace stratlyn
