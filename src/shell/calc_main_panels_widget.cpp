// calcMain's panels: the calculator, risk, sensitivity, strategy and chain panels
// in the top pane, the buttons that switch between them, and the option the
// calculator hands to the others at each switch.
//
// A new panel: its widget member and Panel in the header, a line in
// CreatePanels and in Panels, and a handler that shows it (SwitchWithOption
// for a panel that works on the calculator's option).

#include <QScrollArea>
#include <functional>
#include <vector>

#include "analytics/ucrisk_widget.h"
#include "analytics/ucsens_widget.h"
#include "calculator/ucbsop_widget.h"
#include "chain/ucchain_widget.h"
#include "shell/calc_main_widget.h"
#include "shell/qt_web_browser.h"
#include "strategy/ucstrategy_widget.h"
#include "util/error_handler.h"
#include "util/services.h"
#include "util/zel_error.h"

namespace stratlyn {

void calcMain::CreatePanels() {
  uc_bsop_ = new ucBSOP(pane_host_);
  uc_risk_ = new ucRisk(pane_host_);
  uc_sens_ = new ucSens(pane_host_);
  uc_strategy_ = new ucStrategy(pane_host_);
  uc_chain_ = new ucChain(pane_host_);
  uc_bsop_->SetDisclaimerFlag(&boolDisclaimer);
  bsop_panel_ = PanelOf(uc_bsop_);
  risk_panel_ = PanelOf(uc_risk_);
  sens_panel_ = PanelOf(uc_sens_);
  strategy_panel_ = PanelOf(uc_strategy_);
  chain_panel_ = PanelOf(uc_chain_);
  for (const Panel* panel : Panels()) {
    panel->widget->move(0, 0);
    panel->widget->hide();
  }
  ConnectChainPanel();
}

std::vector<const calcMain::Panel*> calcMain::Panels() const {
  return {&bsop_panel_, &risk_panel_, &sens_panel_, &strategy_panel_, &chain_panel_};
}

const calcMain::Panel* calcMain::CurrentPanelOps() const {
  for (const Panel* panel : Panels()) {
    if (panel->widget != nullptr && panel->widget == current_) {
      return panel;
    }
  }
  return nullptr;
}

void calcMain::ShowPanel(const Panel& shown) {
  for (const Panel* panel : Panels()) {
    if (panel != &shown) {
      panel->widget->hide();
    }
  }
  shown.widget->show();
}

void calcMain::cmdCalc_Click() {
  Events& events = AppEvents();
  RunCommand(
      [&] {
        uc_bsop_->setBrowsers(browser1_, browser2_);
        ShowPanel(bsop_panel_);
        PlacePanel(bsop_panel_);
        PositionBrowsers();
        if (closing_) {
          return;  // closed while events ran: the views stay stopped
        }
        events.SetBusy(true);
        browser1_->SetSilent(true);
        browser1_->Navigate(addresses_.ModulePageUrl);
        browser2_->Navigate(addresses_.LinksPageUrl, BrowserView::kNoReadFromCache);
        events.SetBusy(false);
        events.ProcessPending();
      },
      [&] { events.SetBusy(false); });
}

bool calcMain::TakeCalculatorOption() {
  // The option is read first: an entry that cannot be read stops the switch
  // with its message, before any panel changes.
  OptionTerms p = params_;
  if (!uc_bsop_->GetParameters(p)) {
    return false;
  }
  params_ = p;
  return true;
}

void calcMain::SwitchWithOption(const Panel& panel,
                                const std::function<void(const OptionTerms&)>& take,
                                const std::function<void()>& run) {
  Events& events = AppEvents();
  RunCommand(
      [&] {
        if (!TakeCalculatorOption()) {
          return;
        }
        const OptionTerms p = params_;  // a copy: events run below
        ShowPanel(panel);
        take(p);
        PlacePanel(panel);
        mnuOptionsLargeDisplay_Click();
        panel.widget->show();
        events.ProcessPending();
        run();
        events.ProcessPending();
        events.SetBusy(false);
        events.ProcessPending();
      },
      [&] { events.SetBusy(false); });
}

void calcMain::cmdRisk_Click() {
  SwitchWithOption(
      risk_panel_, [this](const OptionTerms& p) { uc_risk_->SetParameters(p); },
      [this] { uc_risk_->CalcIt(); });
}

void calcMain::cmdSensitivity_Click() {
  SwitchWithOption(
      sens_panel_, [this](const OptionTerms& p) { uc_sens_->SetParameters(p); },
      [this] { uc_sens_->PlotIt(); });
}

void calcMain::cmdStrategy_Click() {
  SwitchWithOption(
      strategy_panel_, [this](const OptionTerms& p) { uc_strategy_->SetParameters(p); },
      [this] { uc_strategy_->CalcIt(); });
}

}  // namespace stratlyn
