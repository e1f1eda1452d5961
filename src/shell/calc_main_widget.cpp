#include "shell/calc_main_widget.h"

#include <QAction>
#include <QActionGroup>
#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QMouseEvent>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QScrollArea>
#include <QScrollBar>
#include <QStandardPaths>
#include <QStyle>
#include <QWebEngineDownloadRequest>
#include <QWebEngineProfile>
#include <algorithm>

#include "analytics/ucrisk_widget.h"
#include "analytics/ucsens_widget.h"
#include "calculator/barrier_widget.h"
#include "calculator/ucbsop_widget.h"
#include "chain/ucchain_widget.h"
#include "charts/qt_scalable_control.h"
#include "pricing/zelop_digest.h"
#include "pricing/zelop_loader.h"
#include "shell/qt_web_browser.h"
#include "strategy/position.h"
#include "strategy/ucstrategy_widget.h"
#include "tools/calcs_widget.h"
#include "tools/excel_link_widget.h"
#include "tools/library_download.h"
#include "util/dates.h"
#include "util/error_handler.h"
#include "util/format.h"
#include "util/greek_units.h"
#include "util/net_limits.h"
#include "util/services.h"
#include "util/sites.h"
#include "util/zel_error.h"

namespace stratlyn {
namespace {

QString Q(const std::string& s) { return QString::fromStdString(s); }

constexpr const char* kTitle = "ZEL Stratlyn ";
constexpr const char* kNavigateTip = "Address bar for the bottom window";
constexpr const char* kForumMissing =
    "Forum not available.  Please have the instructor contact ZEL about getting access to the "
    "forum";
constexpr const char* kForumSetupMissing =
    "Forum not available.  Please contact ZEL if you want to create a discussion forum";
constexpr const char* kDownloadPrompt =
    "When prompted, save this file into your per-user library folder";
constexpr const char* kLibraryRejected =
    "The downloaded file is not the pricing library of this program (its SHA-256 digest does "
    "not match).  It was deleted, and nothing was saved as ";
constexpr const char* kDownloadNotSaved = "The file could not be saved as ";
// Marks a library download ended because it grew past the library's size.
constexpr const char* kTooLargeProperty = "stratlynTooLarge";
constexpr const char* kResizeError =
    "Error resizing the display.  This usually occurs if you make the window too small.   The "
    "system error message is ";

// Design geometry of the window's fixed controls, in twips.
constexpr Rect kLabel1{877, 0, 2295, 480};
constexpr Rect kCmdCalc{90, 570, 1200, 300};
constexpr Rect kCmdSensitivity{1425, 570, 1200, 300};
constexpr Rect kCmdRisk{2760, 570, 1200, 300};
constexpr Rect kCmdStrategy{4095, 570, 1200, 300};
constexpr Rect kCmdChain{5430, 570, 1200, 300};
constexpr TwipLine kLine1{0, 930, 4080, 930};
constexpr int kLine1BorderWidth = 2;
constexpr int kTopButtonWidth = 885, kTopButtonHeight = 315;
constexpr int kBrowser1Top = 360;
constexpr int kNavigateHeight = 315;
constexpr int kBotButtonWidth = 350;
constexpr int kPanelLeft = 30;
// Splitter handles, in pixels: thick enough to take with the mouse.
constexpr int kSplitterThickness = 6;
// The window's first size: this share of the screen's available area, at
// most this many pixels.
constexpr int kStartWidthPercent = 96, kStartHeightPercent = 92;
constexpr int kStartMaxWidth = 1600, kStartMaxHeight = 1080;

void SetBoxTwips(QWidget* w, const Rect& r) {
  w->setGeometry(TwipsToPixels(r.left), TwipsToPixels(r.top), TwipsToPixels(r.width),
                 TwipsToPixels(r.height));
}

Rect BoxTwips(const QWidget* w) {
  const QRect g = w->geometry();
  return {PixelsToTwips(g.x()), PixelsToTwips(g.y()), PixelsToTwips(g.width()),
          PixelsToTwips(g.height())};
}

// Applies the properties a placement gives; the others stay.
void Apply(QWidget* w, const Placement& p) {
  Rect r = BoxTwips(w);
  if (p.left) {
    r.left = *p.left;
  }
  if (p.top) {
    r.top = *p.top;
  }
  if (p.width) {
    r.width = *p.width;
  }
  if (p.height) {
    r.height = *p.height;
  }
  SetBoxTwips(w, r);
}

// A bar the user drags to share the window between the pane and a browser.
class SplitterHandle : public QWidget {
 public:
  SplitterHandle(Qt::Orientation orientation, std::function<void(int)> dragged, QWidget* parent)
      : QWidget(parent), orientation_(orientation), dragged_(std::move(dragged)) {
    setCursor(orientation == Qt::Vertical ? Qt::SplitHCursor : Qt::SplitVCursor);
    setToolTip("Drag to share the room between the panel and the browser");
  }

 protected:
  void mousePressEvent(QMouseEvent* e) override {
    if (e->button() == Qt::LeftButton) {
      last_ = e->globalPosition().toPoint();
      dragging_ = true;
    }
  }
  void mouseMoveEvent(QMouseEvent* e) override {
    if (!dragging_) {
      return;
    }
    const QPoint now = e->globalPosition().toPoint();
    const int delta = orientation_ == Qt::Vertical ? now.x() - last_.x() : now.y() - last_.y();
    last_ = now;
    if (delta != 0) {
      dragged_(delta);
    }
  }
  void mouseReleaseEvent(QMouseEvent*) override { dragging_ = false; }

 private:
  Qt::Orientation orientation_;  // Vertical: a bar between two columns
  std::function<void(int)> dragged_;
  QPoint last_;
  bool dragging_ = false;
};

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

// Runs one statement of a step whose errors are ignored one by one.
template <typename F>
void IgnoringErrors(F&& statement) {
  try {
    statement();
  } catch (...) {
  }
}

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

  line1_ = new LineControl(client_);
  line1_->SetBorderWidth(kLine1BorderWidth);
  line1_->SetEnds(kLine1);

  cmd_back_ = new QPushButton("Back <", client_);
  cmd_forward_ = new QPushButton("Forward >", client_);
  cmd_stop_ = new QPushButton("Stop", client_);
  for (QPushButton* b : {cmd_back_, cmd_forward_, cmd_stop_}) {
    // As designed, or wider where the caption needs it in this font.
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
  pane_area_->move(TwipsToPixels(kPanelLeft), TwipsToPixels(942));

  uc_bsop_ = new ucBSOP(pane_host_);
  uc_risk_ = new ucRisk(pane_host_);
  uc_sens_ = new ucSens(pane_host_);
  uc_strategy_ = new ucStrategy(pane_host_);
  uc_bsop_->SetDisclaimerFlag(&boolDisclaimer);
  for (QWidget* panel : {static_cast<QWidget*>(uc_bsop_), static_cast<QWidget*>(uc_risk_),
                         static_cast<QWidget*>(uc_sens_), static_cast<QWidget*>(uc_strategy_)}) {
    panel->move(0, 0);
    panel->hide();
  }

  split_columns_ = new SplitterHandle(
      Qt::Vertical, [this](int dx) { DragColumnSplitter(dx); }, client_);
  split_columns_->setObjectName("columnSplitter");
  split_rows_ = new SplitterHandle(
      Qt::Horizontal, [this](int dy) { DragRowSplitter(dy); }, client_);
  split_rows_->setObjectName("rowSplitter");
  split_columns_->hide();
  split_rows_->hide();
  bsop_panel_ = {uc_bsop_, [this] { uc_bsop_->EnlargeFont(); }, [this] { uc_bsop_->ReduceFont(); },
                 [this] { return uc_bsop_->ucWidth(); }, [this] { return uc_bsop_->ucHeight(); }};
  risk_panel_ = {uc_risk_, [this] { uc_risk_->EnlargeFont(); }, [this] { uc_risk_->ReduceFont(); },
                 [this] { return uc_risk_->ucWidth(); }, [this] { return uc_risk_->ucHeight(); }};
  sens_panel_ = {uc_sens_, [this] { uc_sens_->EnlargeFont(); }, [this] { uc_sens_->ReduceFont(); },
                 [this] { return uc_sens_->ucWidth(); }, [this] { return uc_sens_->ucHeight(); }};
  strategy_panel_ = {
      uc_strategy_, [this] { uc_strategy_->EnlargeFont(); }, [this] { uc_strategy_->ReduceFont(); },
      [this] { return uc_strategy_->ucWidth(); }, [this] { return uc_strategy_->ucHeight(); }};

  // Once a view starts a navigation it shows no script dialogs.
  for (WebBrowser* view : {browser1_, browser2_}) {
    connect(view, &QWebEngineView::loadStarted, view, [view] { view->SetSilent(true); });
  }

  connect(cmd_calc_, &QPushButton::clicked, this, &calcMain::cmdCalc_Click);
  connect(cmd_risk_, &QPushButton::clicked, this, &calcMain::cmdRisk_Click);
  connect(cmd_sensitivity_, &QPushButton::clicked, this, &calcMain::cmdSensitivity_Click);
  connect(cmd_strategy_, &QPushButton::clicked, this, &calcMain::cmdStrategy_Click);
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
  CreateChainPanel();
}

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

void calcMain::ShowTitleColour() {
  // The product title in blue: dark on a light window, light on a dark one.
  const bool dark = palette().color(QPalette::Window).lightness() < 128;
  QPalette pal = label1_->palette();
  pal.setColor(QPalette::WindowText, dark ? QColor(0x8f, 0xb8, 0xe0) : QColor(0x2c, 0x5d, 0x8f));
  label1_->setPalette(pal);
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

// --- layout ----------------------------------------------------------------

const calcMain::Panel* calcMain::CurrentPanelOps() const {
  if (current_ == uc_bsop_) {
    return &bsop_panel_;
  }
  if (current_ == uc_risk_) {
    return &risk_panel_;
  }
  if (current_ == uc_sens_) {
    return &sens_panel_;
  }
  if (current_ == uc_strategy_) {
    return &strategy_panel_;
  }
  if (current_ == uc_chain_) {
    return &chain_panel_;
  }
  return nullptr;
}

void calcMain::SetPanelSize(QWidget* panel) {
  // The panel's own size, or more where a control reaches past it (the
  // large display stretches positions more than the panel's height), so
  // that the pane scrolls to every control.
  const QRect controls = panel->childrenRect();
  panel_box_.width = std::max(panel_box_.width, PixelsToTwips(controls.right() + 1));
  panel_box_.height = std::max(panel_box_.height, PixelsToTwips(controls.bottom() + 1));
  const QSize size(TwipsToPixels(panel_box_.width), TwipsToPixels(panel_box_.height));
  panel->setGeometry(QRect(QPoint(0, 0), size));
  pane_host_->resize(size);
}

void calcMain::PlacePanel(const Panel& panel) {
  if (uc_chain_ != nullptr && panel.widget != uc_chain_) {
    uc_chain_->hide();
  }
  panel_box_.left = kPanelLeft;
  AppEvents().ProcessPending();
  panel_box_.top = kLine1.y1 + kLine1BorderWidth + 10;
  panel_box_.width = panel.uc_width();
  panel_box_.height = panel.uc_height();
  SetPanelSize(panel.widget);
  current_ = panel.widget;
  ShowMenuChecks();
  // A new panel starts at its own size: the splitters' last positions were
  // for the one before.
  user_pane_width_.reset();
  user_pane_height_.reset();
  pane_area_->horizontalScrollBar()->setValue(0);
  pane_area_->verticalScrollBar()->setValue(0);
}

PaneInput calcMain::MakePaneInput() const {
  PaneInput in;
  in.panel = panel_box_;
  in.client_width = PixelsToTwips(client_->width());
  in.client_height = PixelsToTwips(client_->height());
  in.user_width = user_pane_width_;
  in.user_height = user_pane_height_;
  in.scroll_bar = PixelsToTwips(pane_area_->style()->pixelMetric(QStyle::PM_ScrollBarExtent));
  in.navigate_height = kNavigateHeight;
  // The buttons above the pane, and the top browser's three buttons, stay in view.
  in.min_pane_width = std::max(in.min_pane_width, kCmdChain.left + kCmdChain.width);
  in.min_browser1_width =
      std::max(in.min_browser1_width, BoxTwips(cmd_back_).width + BoxTwips(cmd_forward_).width +
                                          BoxTwips(cmd_stop_).width + 50);
  return in;
}

void calcMain::DragColumnSplitter(int dx) {
  if (current_ == nullptr) {
    return;
  }
  user_pane_width_ = pane_box_.width + PixelsToTwips(dx);
  LayOut(false);
}

void calcMain::DragRowSplitter(int dy) {
  if (current_ == nullptr) {
    return;
  }
  user_pane_height_ = pane_box_.height + PixelsToTwips(dy);
  LayOut(false);
}

void calcMain::ApplyLayout(const BrowserLayout& l) {
  Apply(browser1_, l.browser1);
  Apply(cmd_back_, l.cmd_back);
  Apply(cmd_forward_, l.cmd_forward);
  Apply(cmd_stop_, l.cmd_stop);
  Apply(cmb_navigate_, l.navigate);
  Apply(cmd_bot_back_, l.bot_back);
  Apply(cmd_bot_forward_, l.bot_forward);
  Apply(browser2_, l.browser2);
}

void calcMain::LayOut(bool let_events_run) {
  if (current_ == nullptr || isMinimized()) {
    return;
  }
  try {
    const PaneInput pane_in = MakePaneInput();
    client_->setMinimumSize(TwipsToPixels(MinClientWidth(pane_in)),
                            TwipsToPixels(MinClientHeight(pane_in)));
    pane_box_ = FitPane(pane_in);
    SetBoxTwips(pane_area_, pane_box_);
    LayoutInput in;
    in.panel = pane_box_;
    in.client_width = PixelsToTwips(client_->width());
    in.client_height = PixelsToTwips(client_->height());
    in.bottom_expanded = bottomExpanded != 0;
    in.browser1_top = kBrowser1Top;
    in.back_width = BoxTwips(cmd_back_).width;
    in.forward_width = BoxTwips(cmd_forward_).width;
    in.bot_back_width = BoxTwips(cmd_bot_back_).width;
    in.bot_forward_width = BoxTwips(cmd_bot_forward_).width;
    in.navigate_height = kNavigateHeight;
    in.navigate_width = BoxTwips(cmb_navigate_).width;
    last_layout_ = stratlyn::PositionBrowsers(in);
    ApplyLayout(last_layout_);
    const SplitterHandles handles =
        PlaceSplitterHandles(pane_box_, last_layout_, in.client_width, in.client_height,
                             in.bottom_expanded, PixelsToTwips(kSplitterThickness));
    SetBoxTwips(split_columns_, handles.columns);
    SetBoxTwips(split_rows_, handles.rows);
    split_columns_->show();
    split_rows_->show();
    split_columns_->raise();
    split_rows_->raise();
    if (let_events_run) {
      AppEvents().ProcessPending();
    }
  } catch (const zelError& e) {
    AppDialogs().Critical(kResizeError + ErrorText(e.Number()));
  } catch (const std::exception&) {
    AppDialogs().Critical(kResizeError + ErrorText(51));
  }
}

void calcMain::PositionBrowsers() { LayOut(true); }

bool calcMain::eventFilter(QObject* watched, QEvent* event) {
  if (watched == client_ && event->type() == QEvent::Resize) {
    // Resizing lays the window out again; events need not run from inside
    // the resize itself.
    LayOut(false);
  }
  return QMainWindow::eventFilter(watched, event);
}

void calcMain::changeEvent(QEvent* event) {
  QMainWindow::changeEvent(event);
  if (event->type() == QEvent::PaletteChange && label1_ != nullptr) {
    ShowTitleColour();
  }
  if (event->type() == QEvent::WindowStateChange && !isMinimized()) {
    LayOut(false);
  }
}

void calcMain::DisplayStep(bool enlarge) {
  const Panel* panel = CurrentPanelOps();
  if (panel == nullptr) {
    return;
  }
  IgnoringErrors([&] { enlarge ? panel->enlarge() : panel->reduce(); });
  IgnoringErrors([&] {
    panel_box_.width = panel->uc_width();
    panel_box_.height = panel->uc_height();
    SetPanelSize(panel->widget);
    user_pane_width_.reset();
    user_pane_height_.reset();
  });
  ShowMenuChecks();
  IgnoringErrors([&] { PositionBrowsers(); });
}

void calcMain::mnuOptionsLargeDisplay_Click() { DisplayStep(true); }
void calcMain::mnuOptionsNormalDisplay_Click() { DisplayStep(false); }

void calcMain::mnuLayout1_Click() {
  bottomExpanded = 1;
  ShowMenuChecks();
  PositionBrowsers();
}

void calcMain::mnuLayout0_Click() {
  bottomExpanded = 0;
  ShowMenuChecks();
  PositionBrowsers();
}

// --- the top pane ------------------------------------------------------------

void calcMain::cmdCalc_Click() {
  Events& events = AppEvents();
  try {
    uc_bsop_->setBrowsers(browser1_, browser2_);
    uc_bsop_->show();
    uc_risk_->hide();
    uc_sens_->hide();
    uc_strategy_->hide();
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
  } catch (const zelError& e) {
    ErrorHandler(e);
  } catch (const std::exception& e) {
    ErrorHandler(e);
  }
}

bool calcMain::TakeCalculatorOption() {
  // The option is read first: an entry that cannot be read stops the switch
  // with its message, before any panel changes.
  OptionParameters p = params_;
  if (!uc_bsop_->GetParameters(p.oid, p.orf, p.os, p.ot, p.oxk, p.osig, p.odvl, p.oopr)) {
    return false;
  }
  params_ = p;
  return true;
}

void calcMain::SwitchToAnalytics(bool risk) {
  Events& events = AppEvents();
  try {
    if (!TakeCalculatorOption()) {
      return;
    }
    const OptionParameters p = params_;  // a copy: events run below
    uc_bsop_->hide();
    uc_strategy_->hide();
    if (risk) {
      uc_risk_->show();
      uc_sens_->hide();
      uc_risk_->SetParameters(p.oid, p.orf, p.os, p.ot, p.oxk, p.osig, p.odvl, p.oopr);
      PlacePanel(risk_panel_);
    } else {
      uc_risk_->hide();
      uc_sens_->show();
      uc_sens_->SetParameters(p.oid, p.orf, p.os, p.ot, p.oxk, p.osig, p.odvl, p.oopr);
      PlacePanel(sens_panel_);
    }
    mnuOptionsLargeDisplay_Click();
    if (!risk) {
      uc_sens_->show();
    }
    events.ProcessPending();
    if (risk) {
      uc_risk_->CalcIt();
    } else {
      uc_sens_->PlotIt();
    }
    events.ProcessPending();
    events.SetBusy(false);
    events.ProcessPending();
  } catch (const zelError& e) {
    ErrorHandler(e);
  } catch (const std::exception& e) {
    ErrorHandler(e);
  }
}

void calcMain::cmdRisk_Click() { SwitchToAnalytics(true); }
void calcMain::cmdSensitivity_Click() { SwitchToAnalytics(false); }

void calcMain::cmdStrategy_Click() {
  // As "Sensitivity": the option is read first, the panel gets a copy.
  Events& events = AppEvents();
  try {
    if (!TakeCalculatorOption()) {
      return;
    }
    const OptionParameters p = params_;  // a copy: events run below
    uc_bsop_->hide();
    uc_risk_->hide();
    uc_sens_->hide();
    uc_strategy_->show();
    uc_strategy_->SetParameters(p.oid, p.orf, p.os, p.ot, p.oxk, p.osig, p.odvl, p.oopr);
    PlacePanel(strategy_panel_);
    mnuOptionsLargeDisplay_Click();
    uc_strategy_->show();
    events.ProcessPending();
    uc_strategy_->CalcIt();
    events.ProcessPending();
    events.SetBusy(false);
    events.ProcessPending();
  } catch (const zelError& e) {
    ErrorHandler(e);
  } catch (const std::exception& e) {
    ErrorHandler(e);
  }
}

// --- the chain panel ---------------------------------------------------------

void calcMain::CreateChainPanel() {
  cmd_chain_ = new QPushButton("Chain", client_);
  cmd_chain_->setToolTip(
      "The whole option chain of a ticker: implied volatilities, smile, surface");
  SetBoxTwips(cmd_chain_, kCmdChain);
  connect(cmd_chain_, &QPushButton::clicked, this, &calcMain::cmdChain_Click);
  uc_chain_ = new ucChain(pane_host_);
  uc_chain_->move(0, 0);
  uc_chain_->hide();
  uc_chain_->SetDisclaimerFlag(&boolDisclaimer);
  chain_panel_ = {uc_chain_, [this] { uc_chain_->EnlargeFont(); },
                  [this] { uc_chain_->ReduceFont(); }, [this] { return uc_chain_->ucWidth(); },
                  [this] { return uc_chain_->ucHeight(); }};
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
    set(3, t.years, "0.0000000");
    set(4, t.strike, "#######0.00####");
    set(5, t.yield, "0.000000");
    set(6, t.mid, "#######0.00####");
  };
  // The calculator shown as it is, without reloading the browsers (the chain
  // page stays in the bottom one).
  const auto show_panel = [this](QWidget* shown, const Panel& panel) {
    for (QWidget* w : {static_cast<QWidget*>(uc_bsop_), static_cast<QWidget*>(uc_risk_),
                       static_cast<QWidget*>(uc_sens_), static_cast<QWidget*>(uc_strategy_)}) {
      if (w != shown) {
        w->hide();
      }
    }
    shown->show();
    PlacePanel(panel);
    PositionBrowsers();
  };
  uc_chain_->SetCalculatorSink([this, fill_calculator, show_panel](const ChainTerms& t) {
    fill_calculator(t);
    uc_bsop_->chkImpVol()->setChecked(true);  // the mid is the market price
    uc_bsop_->setBrowsers(browser1_, browser2_);
    show_panel(uc_bsop_, bsop_panel_);
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
    const OptionParameters market = params_;
    const Leg leg{1, t.put ? LegKind::kPut : LegKind::kCall, t.strike, t.years, t.american, t.mid};
    show_panel(uc_strategy_, strategy_panel_);
    mnuOptionsLargeDisplay_Click();
    uc_strategy_->AddLeg(market, leg, new_position);
    return true;
  });
}

void calcMain::cmdChain_Click() {
  // The panel keeps its chain between visits; nothing is reloaded.
  try {
    uc_bsop_->hide();
    uc_risk_->hide();
    uc_sens_->hide();
    uc_strategy_->hide();
    uc_chain_->SetBrowser(browser2_);
    uc_chain_->show();
    PlacePanel(chain_panel_);
    mnuOptionsLargeDisplay_Click();
    if (pane_box_.width < panel_box_.width || pane_box_.height < panel_box_.height) {
      mnuOptionsNormalDisplay_Click();
    }
    uc_chain_->txtTicker()->setFocus();
  } catch (const zelError& e) {
    ErrorHandler(e);
  } catch (const std::exception& e) {
    ErrorHandler(e);
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

// --- menus -------------------------------------------------------------------

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

bool calcMain::IsRequestedDownload(const QWebEngineDownloadRequest* download) const {
  // Only Help > Download asks for a file: the top browser's last navigation
  // went to the download address and the file comes from it (or from where
  // it was redirected).
  return download->page() == browser1_->page() && !addresses_.DownloadUrl.empty() &&
         browser1_->LastNavigateTarget() == addresses_.DownloadUrl &&
         browser1_->LastNavigateLeadsTo(download->url());
}

QString calcMain::SuggestedDownloadPath(const QString& file_name) {
  // The library folder is offered for the library only.
  if (file_name == QLatin1String(kZelopLibraryName)) {
    return QString::fromStdString(GetSystemDir()) + file_name;
  }
  QString folder = QStandardPaths::writableLocation(QStandardPaths::DownloadLocation);
  if (folder.isEmpty()) {
    folder = QDir::homePath();
  }
  return QDir(folder).filePath(file_name);
}

void calcMain::OnDownloadRequested(QWebEngineDownloadRequest* download) {
  if (download->page() != browser1_->page() && download->page() != browser2_->page()) {
    return;
  }
  // A page that turns out to be a file (a quote answered with a download)
  // is not offered for saving: the command that loaded it says it failed.
  if (!IsRequestedDownload(download)) {
    download->cancel();
    return;
  }
  const QString path = save_chooser_
                           ? save_chooser_(SuggestedDownloadPath(download->downloadFileName()))
                           : QString();
  if (path.isEmpty()) {
    download->cancel();
    return;
  }
  const QFileInfo target(path);
  download->setDownloadDirectory(target.absolutePath());
  // A file that could be loaded as the pricing library where it lands (by
  // its name or its folder; never by the name the server gave it) arrives
  // under a temporary name and takes the chosen one only when its SHA-256
  // is that of the library this build made.
  const bool library = IsLibraryDestination(path.toStdString());
  download->setDownloadFileName(target.fileName() + (library ? ".download" : ""));
  connect(download, &QWebEngineDownloadRequest::isFinishedChanged, this, [this, download, path] {
    if (download->isFinished()) {
      OnRequestedDownloadFinished(download, path);
    }
  });
  // No file over the library's size can be the library: such a download
  // (announced so, or growing so; an endless one would fill the disk) is
  // ended at once.
  const auto check_size = [download] {
    const auto cap = static_cast<qint64>(kZelopMaxBytes);
    if (!download->isFinished() &&
        (download->totalBytes() > cap || download->receivedBytes() > cap)) {
      download->setProperty(kTooLargeProperty, true);
      download->cancel();
    }
  };
  if (library) {
    connect(download, &QWebEngineDownloadRequest::totalBytesChanged, this, check_size);
    connect(download, &QWebEngineDownloadRequest::receivedBytesChanged, this, check_size);
  }
  download->accept();
  if (library) {
    check_size();
  }
}

void calcMain::OnRequestedDownloadFinished(QWebEngineDownloadRequest* download,
                                           const QString& path) {
  const bool staged = download->downloadFileName() == QFileInfo(path).fileName() + ".download";
  const QString saved = download->downloadDirectory() + "/" + download->downloadFileName();
  if (download->property(kTooLargeProperty).toBool()) {
    if (staged) {
      QFile::remove(saved);
    }
    AppDialogs().Critical(kDownloadNotSaved + path.toStdString() + ": " +
                          AnswerTooLargeText(download->url().host().toStdString(), kZelopMaxBytes));
    return;
  }
  if (download->state() == QWebEngineDownloadRequest::DownloadCompleted && staged &&
      !InstallVerifiedLibrary(saved.toStdString(), path.toStdString())) {
    AppDialogs().Critical(kLibraryRejected + path.toStdString());
    return;
  }
  if (staged && download->state() != QWebEngineDownloadRequest::DownloadCompleted) {
    QFile::remove(saved);  // an unfinished copy is never left behind
  }
  if (download->state() == QWebEngineDownloadRequest::DownloadCompleted) {
    AppDialogs().Show("The file was saved as " + path.toStdString(), MsgButtons::Ok,
                      MsgIcon::Information, kMessageTitle);
  } else {
    AppDialogs().Critical(kDownloadNotSaved + path.toStdString());
  }
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
