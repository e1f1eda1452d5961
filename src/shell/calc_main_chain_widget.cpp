// calcMain and the chain panel: its button's handler, and where its contracts
// go (the calculator prices a double-clicked one; "Add to strategy" appends a
// leg to the strategy panel's position).

#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QRadioButton>
#include <algorithm>
#include <cmath>
#include <string>

#include "calculator/barrier_widget.h"
#include "calculator/ucbsop_widget.h"
#include "chain/ucchain_widget.h"
#include "shell/calc_main_widget.h"
#include "shell/qt_web_browser.h"
#include "strategy/position.h"
#include "strategy/ucstrategy_widget.h"
#include "util/error_handler.h"
#include "util/format.h"
#include "util/zel_error.h"

namespace stratlyn {
namespace {

QString Q(const std::string& s) { return QString::fromStdString(s); }

// The years to the close with at least eight significant figures: an expiry
// today is a few millionths of a year, which seven fixed decimals would
// round off (to none a second before the close).
std::string YearsPattern(double years) {
  int decimals = 7;
  if (years > 0 && years < 1) {
    decimals = std::max(decimals, 7 - static_cast<int>(std::floor(std::log10(years))));
  }
  return "0.0000000" + std::string(decimals - 7, '#');
}

}  // namespace

void calcMain::ConnectChainPanel() {
  uc_chain_->SetDisclaimerFlag(&boolDisclaimer);
  // A contract's terms into the calculator's fields, as the user would type them.
  const auto fill_calculator = [this](const ChainTerms& t) {
    uc_bsop_->Barrier().cmbBarrier()->setCurrentIndex(0);  // the plain option
    (t.put ? uc_bsop_->chkPut() : uc_bsop_->chkCall())->setChecked(true);
    (t.american ? uc_bsop_->chkAmer() : uc_bsop_->chkEuro())->setChecked(true);
    const auto set = [this](int field, double value, const char* pattern) {
      uc_bsop_->Text1(field)->setText(Q(FormatEntryNumber(value, pattern)));
    };
    set(0, t.spot, "#######0.00####");
    if (t.iv) {
      set(1, *t.iv, "0.000000");
    }
    set(2, t.rate, "0.000000");
    set(3, t.years, YearsPattern(t.years).c_str());
    set(4, t.strike, "#######0.00####");
    set(5, t.yield, "0.000000");
    set(6, t.mid, "#######0.00####");
  };
  // The panel shown as it is, without reloading the browsers (the chain page
  // stays in the bottom one).
  const auto show_panel = [this](const Panel& panel) {
    ShowPanel(panel);
    PlacePanel(panel);
    PositionBrowsers();
  };
  uc_chain_->SetCalculatorSink([this, fill_calculator, show_panel](const ChainTerms& t) {
    fill_calculator(t);
    uc_bsop_->chkImpVol()->setChecked(true);  // the mid is the market price
    uc_bsop_->setBrowsers(browser1_, browser2_);
    show_panel(bsop_panel_);
    uc_bsop_->cmdCalculate_Click();
  });
  uc_chain_->SetStrategySink([this, fill_calculator, show_panel](const ChainTerms& t,
                                                                 bool new_position) {
    // The calculator takes the contract's market too, and the strategy the
    // calculator's reading of it, as "Strategy" would hand it over (the
    // volatility is the contract's own, or the calculator's where it has none).
    fill_calculator(t);
    if (!TakeCalculatorOption()) {
      return false;
    }
    const OptionTerms market = params_;
    const Leg leg{1, t.put ? LegKind::kPut : LegKind::kCall, t.strike, t.years, t.american, t.mid};
    show_panel(strategy_panel_);
    mnuOptionsLargeDisplay_Click();
    uc_strategy_->AddLeg(market, leg, new_position);
    return true;
  });
}

void calcMain::cmdChain_Click() {
  // The panel keeps its chain between visits; nothing is reloaded.
  RunCommand([&] {
    uc_chain_->SetBrowser(browser2_);
    ShowPanel(chain_panel_);
    PlacePanel(chain_panel_);
    mnuOptionsLargeDisplay_Click();
    if (pane_box_.width < panel_box_.width || pane_box_.height < panel_box_.height) {
      mnuOptionsNormalDisplay_Click();
    }
    uc_chain_->txtTicker()->setFocus();
  });
}

}  // namespace stratlyn
