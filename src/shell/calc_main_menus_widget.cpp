// calcMain's menu bar: File, Options, View, Calculators and Help, the ticks
// of the Options menu, and the handlers of the items that open pages,
// windows and boxes.

#include <QAction>
#include <QActionGroup>
#include <QMenuBar>

#include "calculator/ucbsop_widget.h"
#include "pricing/zelop_digest.h"
#include "pricing/zelop_loader.h"
#include "shell/calc_main_widget.h"
#include "shell/qt_web_browser.h"
#include "strategy/ucstrategy_widget.h"
#include "tools/calcs_widget.h"
#include "tools/excel_link_widget.h"
#include "util/greek_units.h"
#include "util/services.h"
#include "util/zel_error.h"

namespace stratlyn {
namespace {

constexpr const char* kForumMissing =
    "Forum not available.  Please have the instructor contact ZEL about getting access to the "
    "forum";
constexpr const char* kForumSetupMissing =
    "Forum not available.  Please contact ZEL if you want to create a discussion forum";
constexpr const char* kDownloadPrompt =
    "When prompted, save this file into your per-user library folder";
constexpr const char* kAboutTitle = "About Stratlyn";
constexpr const char* kLicence = "MIT License";

// Version, licence, and which pricing library is in use. The loader checks a
// file's SHA-256 before it loads it, so a loaded library is this build's; a
// refused file is named with the loader's reason.
std::string AboutText() {
  std::string text = std::string("Stratlyn ") + STRATLYN_VERSION + "\n" + kLicence + "\n\n";
  try {
    ZelopSymbol("bsop");
  } catch (const zelError& e) {
    if (e.Number() == err::kLibraryLoad) {
      return text + "Pricing library: none loaded. " + e.Description();
    }
    return text + "Pricing library: " + kZelopLibraryName + " not found";
  } catch (const std::exception& e) {
    return text + "Pricing library: none loaded. " + e.what();
  }
  text += "Pricing library: " + ZelopLoadedPath() + "\n";
  const std::string built = BuiltZelopDigest();
  text += "SHA-256 " + built + " (the library of this build, checked before it was loaded)";
  return text;
}

}  // namespace

void calcMain::CreateMenus() {
  struct Item {
    const char* menu;
    const char* name;
    const char* caption;
    void (calcMain::*handler)();
  };
  static const Item kItems[] = {
      {"&File", "mnuHomePage", "&Home Page", &calcMain::mnuHomePage_Click},
      {"&File", "mnuFileSep1", nullptr, nullptr},
      {"&File", "mnuStudentForum", "&Student Forum", &calcMain::mnuStudentForum_Click},
      {"&File", "mnuInstructorForum", "&Instructor's Forum Setup",
       &calcMain::mnuInstructorForum_Click},
      {"&File", "mnuFileSep2", nullptr, nullptr},
      {"&File", "mnuFileExit", "E&xit", &calcMain::mnuFileExit_Click},
      {"&Options", "mnuLayout1", "&Expand Bottom Window", &calcMain::mnuLayout1_Click},
      {"&Options", "mnuLayout0", "&Reduce Bottom Window", &calcMain::mnuLayout0_Click},
      {"&Options", "mnuOptionsSep", nullptr, nullptr},
      {"&Options", "mnuOptionsLargeDisplay", "&Large Display",
       &calcMain::mnuOptionsLargeDisplay_Click},
      {"&Options", "mnuOptionsNormalDisplay", "&Normal Display",
       &calcMain::mnuOptionsNormalDisplay_Click},
      {"&Options", "mnuOptionsSep2", nullptr, nullptr},
      {"&Options", "mnuOptionsPerDayUnits", kPerDayUnitsCaption,
       &calcMain::mnuOptionsPerDayUnits_Click},
      {"&View", "mnuStrategy", "&Strategy", &calcMain::cmdStrategy_Click},
      {"&View", "mnuChain", "&Chain", &calcMain::cmdChain_Click},
      {"&Calculators", "mnuCalculator", "&Calculator", &calcMain::mnuCalculator_Click},
      {"&Calculators", "mnuSpreadsheetLink", "&Spreadsheet Link",
       &calcMain::mnuSpreadsheetLink_Click},
      {"&Help", "mnuModHelp", "&Module Specific Help", &calcMain::mnuModHelp_Click},
      {"&Help", "mnuHelpModule", "&Help", &calcMain::mnuHelpModule_Click},
      {"&Help", "mnuHelpDownload", "&Download libzelop32.so", &calcMain::mnuHelpDownload_Click},
      {"&Help", "mnuHelpSep", nullptr, nullptr},
      {"&Help", "mnuHelpAbout", "&About Stratlyn", &calcMain::mnuHelpAbout_Click},
  };
  QMenu* menu = nullptr;
  QString menu_title;
  for (const Item& item : kItems) {
    if (menu == nullptr || menu_title != item.menu) {
      menu_title = item.menu;
      menu = menuBar()->addMenu(menu_title);
    }
    QAction* action = item.caption ? menu->addAction(item.caption) : menu->addSeparator();
    action->setObjectName(item.name);
    action->setCheckable(item.handler == &calcMain::mnuOptionsPerDayUnits_Click);
    if (item.handler) {
      connect(action, &QAction::triggered, this, item.handler);
    }
  }
  // The layout and the display size now in use carry a check mark.
  auto* layouts = new QActionGroup(this);
  auto* displays = new QActionGroup(this);
  for (auto [group, name] : {std::pair{layouts, "mnuLayout1"}, std::pair{layouts, "mnuLayout0"},
                             std::pair{displays, "mnuOptionsLargeDisplay"},
                             std::pair{displays, "mnuOptionsNormalDisplay"}}) {
    QAction* action = Action(name);
    action->setCheckable(true);
    group->addAction(action);
  }
  Action("mnuModHelp")->setShortcut(QKeySequence::HelpContents);  // F1
  Action("mnuFileExit")->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Q));
}

void calcMain::ShowMenuChecks() {
  Action("mnuLayout1")->setChecked(bottomExpanded != 0);
  Action("mnuLayout0")->setChecked(bottomExpanded == 0);
  if (const Panel* panel = CurrentPanelOps()) {
    // Each panel keeps its own display size: the tick follows the one shown.
    const bool large = panel->uc_width() > ucBSOP::kDesignWidth;
    Action("mnuOptionsLargeDisplay")->setChecked(large);
    Action("mnuOptionsNormalDisplay")->setChecked(!large);
  }
}

void calcMain::mnuHelpAbout_Click() {
  AppDialogs().Show(AboutText(), MsgButtons::Ok, MsgIcon::Information, kAboutTitle);
}

void calcMain::mnuOptionsPerDayUnits_Click() {
  // A check item: ticked, the traders' units; cleared, the records' own.
  const QAction* item = Action("mnuOptionsPerDayUnits");
  const GreekUnits units = item && item->isChecked() ? GreekUnits::kPerDay : GreekUnits::kPerUnit;
  uc_bsop_->SetGreekUnits(units);
  uc_strategy_->SetGreekUnits(units);
}

QAction* calcMain::Action(const QString& name) const {
  return menuBar()->findChild<QAction*>(name);
}

void calcMain::mnuHomePage_Click() {
  browser1_->SetSilent(true);
  browser1_->Navigate(addresses_.HomePageUrl);
  AppEvents().ProcessPending();
}

void calcMain::mnuModHelp_Click() {
  browser1_->SetSilent(true);
  browser1_->Navigate(addresses_.ModulePageUrl);
}

void calcMain::mnuHelpModule_Click() {
  browser1_->SetSilent(true);
  browser1_->Navigate(addresses_.HowToUseUrl);
}

void calcMain::mnuHelpDownload_Click() {
  AppDialogs().Show(kDownloadPrompt, MsgButtons::Ok, MsgIcon::None, kMessageTitle);
  browser1_->SetSilent(true);
  browser1_->Navigate(addresses_.DownloadUrl);
}

void calcMain::mnuStudentForum_Click() {
  if (!addresses_.ForumUrl.empty()) {
    browser1_->Navigate(addresses_.ForumUrl);
  } else {
    AppDialogs().Show(kForumMissing, MsgButtons::Ok, MsgIcon::None, kMessageTitle);
  }
  AppEvents().ProcessPending();
}

void calcMain::mnuInstructorForum_Click() {
  const std::string page = ForumSetupPage(addresses_.ForumUrl, forum_setup_);
  if (!page.empty()) {
    browser1_->Navigate(page);
  } else {
    AppDialogs().Show(kForumSetupMissing, MsgButtons::Ok, MsgIcon::None, kMessageTitle);
  }
  AppEvents().ProcessPending();
}

void calcMain::mnuCalculator_Click() { ShowCalculatorsWindow(this); }

void calcMain::mnuSpreadsheetLink_Click() { ShowSpreadsheetLink(this); }

}  // namespace stratlyn
