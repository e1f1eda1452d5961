// calcMain: the window itself. Its controls, start-up, the top browser's and
// the bottom browser's buttons and address box, and closing. The menus, the
// layout, the panel switch and the downloads have files of their own
// (calc_main_*_widget.cpp).

#include "shell/calc_main_widget.h"

#include <QApplication>
#include <QCloseEvent>
#include <QComboBox>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <QScrollArea>
#include <QWebEngineProfile>
#include <algorithm>

#include "calculator/ucbsop_widget.h"
#include "chain/ucchain_widget.h"
#include "shell/qt_calc_main_geometry.h"
#include "shell/qt_web_browser.h"
#include "tools/calcs_widget.h"
#include "util/dates.h"
#include "util/services.h"
#include "util/sites.h"

namespace stratlyn {

using namespace calc_main;

namespace {

constexpr const char* kTitle = "ZEL Stratlyn ";
constexpr const char* kNavigateTip = "Address bar for the bottom window";
// The window's first size: this share of the screen's available area, at
// most this many pixels.
constexpr int kStartWidthPercent = 96, kStartHeightPercent = 92;
constexpr int kStartMaxWidth = 1600, kStartMaxHeight = 1080;

}  // namespace

calcMain::calcMain(QWidget* parent) : QMainWindow(parent) {
  setObjectName("calcMain");
  setWindowTitle(kTitle);
  CreateControls();
  CreateMenus();
  addresses_ = SiteAddresses::ForSite(sites::SiteUrl());
  std::vector<std::string> maker_sites{sites::SiteUrl()};
  const std::string bundled = sites::BundledSiteDir();
  if (!bundled.empty()) {
    maker_sites.push_back("file://" + bundled);
  }
  forum_setup_ = MakeForumSetupTable(maker_sites);
  save_chooser_ = [this](const QString& suggested) {
    return QFileDialog::getSaveFileName(this, tr("Save File"), suggested);
  };
  connect(QWebEngineProfile::defaultProfile(), &QWebEngineProfile::downloadRequested, this,
          &calcMain::OnDownloadRequested);
}

calcMain::~calcMain() {
  if (uc_bsop_) {
    uc_bsop_->ClearAll();
  }
}

void calcMain::CreateControls() {
  client_ = new QWidget(this);
  client_->setObjectName("clientArea");
  setCentralWidget(client_);
  client_->installEventFilter(this);

  label1_ = new QLabel("Stratlyn", client_);
  QFont title_font = label1_->font();
  title_font.setPointSize(16);
  title_font.setBold(true);
  label1_->setFont(title_font);
  label1_->setAlignment(Qt::AlignCenter);
  ShowTitleColour();
  SetBoxTwips(label1_, kLabel1);

  cmd_calc_ = new QPushButton("Restart", client_);
  cmd_sensitivity_ = new QPushButton("Sensitivity", client_);
  cmd_risk_ = new QPushButton("Analytics", client_);
  SetBoxTwips(cmd_calc_, kCmdCalc);
  SetBoxTwips(cmd_sensitivity_, kCmdSensitivity);
  SetBoxTwips(cmd_risk_, kCmdRisk);
  cmd_strategy_ = new QPushButton("Strategy", client_);
  cmd_strategy_->setToolTip("Positions of several options: profit at a date and at expiry");
  SetBoxTwips(cmd_strategy_, kCmdStrategy);
  cmd_chain_ = new QPushButton("Chain", client_);
  cmd_chain_->setToolTip("The whole option chain of a ticker: implied volatilities, smile, surface");
  SetBoxTwips(cmd_chain_, kCmdChain);

  line1_ = new LineControl(client_);
  line1_->SetBorderWidth(kLine1BorderWidth);
  line1_->SetEnds(kLine1);

  cmd_back_ = new QPushButton("Back <", client_);
  cmd_forward_ = new QPushButton("Forward >", client_);
  cmd_stop_ = new QPushButton("Stop", client_);
  for (QPushButton* b : {cmd_back_, cmd_forward_, cmd_stop_}) {
    // The standard width, or wider where the caption needs it in this font.
    const int needed = PixelsToTwips(b->fontMetrics().horizontalAdvance(b->text()) + 20);
    SetBoxTwips(b, {0, 0, std::max(kTopButtonWidth, needed), kTopButtonHeight});
  }

  browser1_ = new WebBrowser(client_);
  browser1_->setObjectName("Browser1");
  SetBoxTwips(browser1_, {4500, kBrowser1Top, 6000, 3000});

  cmb_navigate_ = new QComboBox(client_);
  cmb_navigate_->setEditable(true);
  cmb_navigate_->setInsertPolicy(QComboBox::NoInsert);
  cmb_navigate_->setMaxVisibleItems(20);
  cmb_navigate_->setToolTip(kNavigateTip);
  SetBoxTwips(cmb_navigate_, {kPanelLeft, 4000, 3000, kNavigateHeight});

  cmd_bot_back_ = new QPushButton("<", client_);
  cmd_bot_back_->setToolTip("Back");
  cmd_bot_forward_ = new QPushButton(">", client_);
  cmd_bot_forward_->setToolTip("Forward");
  for (QPushButton* b : {cmd_bot_back_, cmd_bot_forward_}) {
    SetBoxTwips(b, {0, 4000, kBotButtonWidth, kNavigateHeight});
  }

  browser2_ = new WebBrowser(client_);
  browser2_->setObjectName("Browser2");
  SetBoxTwips(browser2_, {kPanelLeft, 4500, 6000, 2000});

  // The panel shown sits in a pane that scrolls when the window is too small
  // for it.
  pane_area_ = new QScrollArea(client_);
  pane_area_->setObjectName("paneArea");
  pane_area_->setFrameShape(QFrame::NoFrame);
  pane_area_->setWidgetResizable(false);
  pane_host_ = new QWidget;
  pane_host_->setObjectName("paneHost");
  pane_area_->setWidget(pane_host_);
  pane_area_->move(TwipsToPixels(kPanelLeft), TwipsToPixels(kPaneTop));

  CreatePanels();
  CreateSplitters();

  // Once a view starts a navigation it shows no script dialogs.
  for (WebBrowser* view : {browser1_, browser2_}) {
    connect(view, &QWebEngineView::loadStarted, view, [view] { view->SetSilent(true); });
  }

  connect(cmd_calc_, &QPushButton::clicked, this, &calcMain::cmdCalc_Click);
  connect(cmd_risk_, &QPushButton::clicked, this, &calcMain::cmdRisk_Click);
  connect(cmd_sensitivity_, &QPushButton::clicked, this, &calcMain::cmdSensitivity_Click);
  connect(cmd_strategy_, &QPushButton::clicked, this, &calcMain::cmdStrategy_Click);
  connect(cmd_chain_, &QPushButton::clicked, this, &calcMain::cmdChain_Click);
  connect(cmd_back_, &QPushButton::clicked, this, &calcMain::cmdBack_Click);
  connect(cmd_forward_, &QPushButton::clicked, this, &calcMain::cmdForward_Click);
  connect(cmd_stop_, &QPushButton::clicked, this, &calcMain::cmdStop_Click);
  connect(cmd_bot_back_, &QPushButton::clicked, this, &calcMain::cmdBotBack_Click);
  connect(cmd_bot_forward_, &QPushButton::clicked, this, &calcMain::cmdBotForward_Click);
  // A choice from the list, and Enter in the box. The box passes the keys
  // typed into it on to its line edit itself, past any event filter of the
  // line edit's, so Enter is taken from the line edit's own signal.
  connect(cmb_navigate_, &QComboBox::activated, this, [this](int) { cmbNavigate_Navigate(); });
  connect(cmb_navigate_->lineEdit(), &QLineEdit::returnPressed, this,
          &calcMain::cmbNavigate_Navigate);
}

void calcMain::ShowTitleColour() {
  // The product title in blue: dark on a light window, light on a dark one.
  const bool dark = palette().color(QPalette::Window).lightness() < 128;
  QPalette pal = label1_->palette();
  pal.setColor(QPalette::WindowText, dark ? QColor(0x8f, 0xb8, 0xe0) : QColor(0x2c, 0x5d, 0x8f));
  label1_->setPalette(pal);
}

void calcMain::Form_Load() {
  addresses_ = SiteAddresses::ForSite(sites::SiteUrl());  // ModulePageUrl built here
  try {
    AppEvents().ProcessPending();
    address_box_.entries = InitialNavigateEntries(sites::RatesUrl());
    address_box_.text.clear();
    cmb_navigate_->clear();
    SyncNavigateList();
    cmb_navigate_->setEditText(QString());
    // Links that open a new window stay in their view (WebBrowser::createWindow).
    boolDisclaimer = false;
    cmdCalc_Click();
    AppEvents().ProcessPending();
    // The user may close the window while start-up lets events run (the
    // pages take a while on a loaded machine): start-up ends there, and the
    // window is not shown again.
    if (closing_) {
      return;
    }
    if (!isVisible() && !testAttribute(Qt::WA_Resized)) {
      // A first size that fits the screen, unless the caller gave one.
      QRect avail;
      if (screen_area_) {
        avail = *screen_area_;
      } else if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        avail = screen->availableGeometry();
      }
      if (!avail.isEmpty()) {
        resize(std::min(kStartMaxWidth, avail.width() * kStartWidthPercent / 100),
               std::min(kStartMaxHeight, avail.height() * kStartHeightPercent / 100));
        move(avail.center() - rect().center());
      }
    }
    show();
    mnuLayout1_Click();
    if (closing_) {
      return;
    }
    mnuOptionsLargeDisplay_Click();
    if (closing_) {
      return;
    }
    // The largest display that fits: where the large panel would have to
    // scroll, start at the normal one.
    if (pane_box_.width < panel_box_.width || pane_box_.height < panel_box_.height) {
      mnuOptionsNormalDisplay_Click();
    }
    AppEvents().ProcessPending();
  } catch (...) {
    // Start-up stops where it got to; the window stays usable.
  }
}

// --- browsers ----------------------------------------------------------------

void calcMain::cmdBack_Click() {
  if (browser1_->LocationURL() != addresses_.HomePageUrl) {
    browser1_->GoBack();
  }
  AppEvents().ProcessPending();
}

void calcMain::cmdForward_Click() {
  browser1_->GoForward();
  AppEvents().ProcessPending();
}

void calcMain::cmdStop_Click() {
  Events& events = AppEvents();
  uc_bsop_->StopMarketData();
  uc_chain_->Stop();
  browser1_->Stop();
  browser1_->SetTag(kPageDone);
  events.ProcessPending();
  browser2_->Stop();
  browser2_->SetTag(kPageDone);
  events.ProcessPending();
}

void calcMain::cmdBotBack_Click() {
  if (browser2_->GoBack()) {
    AppEvents().ProcessPending();
  }
}

void calcMain::cmdBotForward_Click() {
  if (browser2_->GoForward()) {
    AppEvents().ProcessPending();
  }
}

void calcMain::SyncNavigateList() {
  for (int i = cmb_navigate_->count(); i < static_cast<int>(address_box_.entries.size()); ++i) {
    cmb_navigate_->addItem(Q(address_box_.entries[i]));
  }
}

void calcMain::cmbNavigate_Navigate() {
  address_box_.text = cmb_navigate_->currentText().trimmed().toStdString();
  if (!NavigateFromAddressBox(address_box_, *browser2_, AppEvents(), &EntryText)) {
    return;
  }
  if (closing_) {
    return;
  }
  SyncNavigateList();
  cmb_navigate_->setEditText(Q(address_box_.text));
}

// --- end ---------------------------------------------------------------------

void calcMain::mnuFileExit_Click() { close(); }

void calcMain::closeEvent(QCloseEvent* event) {
  closing_ = true;
  // Stopping marks both views done, which also ends any wait for a page.
  uc_bsop_->StopMarketData();
  browser1_->Stop();
  browser1_->SetTag(kPageDone);
  AppEvents().ProcessPending();
  browser2_->Stop();
  browser2_->SetTag(kPageDone);
  AppEvents().ProcessPending();
  CloseCalculatorsWindow();
  for (QWidget* w : QApplication::topLevelWidgets()) {
    if (w != this && w->isVisible()) {
      w->close();
    }
  }
  event->accept();
  QCoreApplication::quit();
}

}  // namespace stratlyn
