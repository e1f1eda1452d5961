#pragma once
// calcMain: the main window. A top pane with one of three panels (calculator,
// risk, sensitivity), the top browser to its right with Back/Forward/Stop,
// the bottom browser under it with its address box, and the menus. All
// geometry is the window's fixed layout in twips (15 per pixel).

#include <QMainWindow>
#include <QPointer>
#include <QRect>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "pricing/option_terms.h"
#include "shell/address_box.h"
#include "shell/browser_layout.h"
#include "shell/site_addresses.h"

class QAction;
class QComboBox;
class QLabel;
class QPushButton;
class QScrollArea;
class QWebEngineDownloadRequest;

namespace stratlyn {

class LineControl;
class WebBrowser;
class ucBSOP;
class ucRisk;
class ucSens;
class ucStrategy;
class ucChain;

class calcMain : public QMainWindow {
  Q_OBJECT

 public:
  // Creates the window with its panels and browsers; Form_Load starts it.
  explicit calcMain(QWidget* parent = nullptr);
  ~calcMain() override;

  // The start-up sequence: address box, "Restart", show, expanded bottom
  // window, large display.
  void Form_Load();

  // Lays the browsers, their buttons and the address box out around the
  // panel now shown. Nothing happens while minimised or before a panel is shown.
  void PositionBrowsers();

  // The window has been closed (Exit or the close button), perhaps while
  // start-up was still letting events run.
  bool Closing() const { return closing_; }

  // The user accepted the quote data's terms in this run.
  bool boolDisclaimer = false;
  // 1: the bottom browser spans the window; 0: as wide as the panel.
  int bottomExpanded = 0;

  // Handlers (public so that tests press them like a user).
  void cmdCalc_Click();         // "Restart"
  void cmdRisk_Click();         // "Analytics"
  void cmdSensitivity_Click();  // "Sensitivity"
  void cmdStrategy_Click();     // "Strategy" (also the View menu's "&Strategy")
  void cmdChain_Click();        // "Chain" (also View > Chain)
  void cmdBack_Click();
  void cmdForward_Click();
  void cmdStop_Click();
  void cmdBotBack_Click();
  void cmdBotForward_Click();
  void cmbNavigate_Navigate();  // Enter in the box, or a choice from its list
  void mnuHomePage_Click();
  void mnuStudentForum_Click();
  void mnuInstructorForum_Click();
  void mnuFileExit_Click();
  void mnuLayout1_Click();  // Expand Bottom Window
  void mnuLayout0_Click();  // Reduce Bottom Window
  void mnuOptionsLargeDisplay_Click();
  void mnuOptionsNormalDisplay_Click();
  void mnuOptionsPerDayUnits_Click();  // "Theta per day, vega and rho per 1 %" (a check item)
  void mnuCalculator_Click();
  void mnuSpreadsheetLink_Click();
  void mnuModHelp_Click();
  void mnuHelpModule_Click();
  void mnuHelpDownload_Click();
  void mnuHelpAbout_Click();  // version, licence, pricing library in use

  // The addresses in use (the maker's site and its pages).
  const SiteAddresses& Addresses() const { return addresses_; }
  void SetAddresses(const SiteAddresses& addresses) { addresses_ = addresses; }
  // Sites whose forum has an administration page.
  void SetForumSetupTable(ForumSetupTable table) { forum_setup_ = std::move(table); }

  // Asked where to save a file the top browser downloads; "" cancels. The
  // default asks with a file dialog, starting in the per-user library folder.
  using SaveFileChooser = std::function<QString(const QString& suggested_path)>;
  void SetSaveFileChooser(SaveFileChooser chooser) { save_chooser_ = std::move(chooser); }

  // Controls and panels.
  ucBSOP* ucBSOP1() const { return uc_bsop_; }
  ucRisk* ucRisk1() const { return uc_risk_; }
  ucSens* ucSens1() const { return uc_sens_; }
  ucStrategy* ucStrategy1() const { return uc_strategy_; }
  ucChain* ucChain1() const { return uc_chain_; }
  QWidget* currentPanel() const { return current_; }
  WebBrowser* Browser1() const { return browser1_; }
  WebBrowser* Browser2() const { return browser2_; }
  QComboBox* cmbNavigate() const { return cmb_navigate_; }
  QPushButton* cmdCalc() const { return cmd_calc_; }
  QPushButton* cmdRisk() const { return cmd_risk_; }
  QPushButton* cmdSensitivity() const { return cmd_sensitivity_; }
  QPushButton* cmdStrategy() const { return cmd_strategy_; }
  QPushButton* cmdChain() const { return cmd_chain_; }
  QPushButton* cmdBack() const { return cmd_back_; }
  QPushButton* cmdForward() const { return cmd_forward_; }
  QPushButton* cmdStop() const { return cmd_stop_; }
  QPushButton* cmdBotBack() const { return cmd_bot_back_; }
  QPushButton* cmdBotForward() const { return cmd_bot_forward_; }
  QLabel* Label1() const { return label1_; }
  LineControl* Line1() const { return line1_; }
  QWidget* ClientArea() const { return client_; }
  QAction* Action(const QString& name) const;
  const AddressBox& NavigateList() const { return address_box_; }
  // The window's option, as last handed to the risk, sensitivity or strategy panel.
  const OptionTerms& Parameters() const { return params_; }
  // The layout last applied, in twips.
  const BrowserLayout& LastLayout() const { return last_layout_; }
  // The scrolled pane that shows the current panel, and its place (twips).
  QScrollArea* PaneArea() const { return pane_area_; }
  const Rect& PaneBox() const { return pane_box_; }
  // The splitter handles: between the pane and the top browser, and between
  // the pane's address row and the bottom browser.
  QWidget* ColumnSplitter() const { return split_columns_; }
  QWidget* RowSplitter() const { return split_rows_; }
  // Drags a splitter by a number of pixels, as the mouse does.
  void DragColumnSplitter(int dx);
  void DragRowSplitter(int dy);
  // The screen area the window starts in (logical pixels); by default the
  // available area of the primary screen.
  void SetScreenArea(const QRect& area) { screen_area_ = area; }

 protected:
  void closeEvent(QCloseEvent* event) override;
  void changeEvent(QEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  // A panel of the top pane as the window drives it.
  struct Panel {
    QWidget* widget = nullptr;
    std::function<void()> enlarge, reduce;
    std::function<int()> uc_width, uc_height;
  };

  // Panels of any widget type with the panels' font and size members.
  template <typename PanelWidget>
  static Panel PanelOf(PanelWidget* w) {
    return {w, [w] { w->EnlargeFont(); }, [w] { w->ReduceFont(); }, [w] { return w->ucWidth(); },
            [w] { return w->ucHeight(); }};
  }

  void CreateControls();
  // The panels, hidden, in the pane (calc_main_panels_widget.cpp).
  void CreatePanels();
  // The splitter handles, hidden until the first layout.
  void CreateSplitters();
  void CreateMenus();
  // Every panel of the top pane, in the order of the buttons.
  std::vector<const Panel*> Panels() const;
  // Shows `panel` and hides every other one (PlacePanel then sizes it).
  void ShowPanel(const Panel& panel);
  void PlacePanel(const Panel& panel);
  void ApplyLayout(const BrowserLayout& layout);
  void LayOut(bool let_events_run);
  PaneInput MakePaneInput() const;
  void SetPanelSize(QWidget* panel);
  // Ticks the layout and the display size now in use in the Options menu.
  void ShowMenuChecks();
  void ShowTitleColour();
  void DisplayStep(bool enlarge);
  const Panel* CurrentPanelOps() const;
  void SyncNavigateList();
  // Downloads of both views: only the one Help > Download asked for is
  // offered for saving (IsRequestedDownload); every other is cancelled.
  void OnDownloadRequested(QWebEngineDownloadRequest* download);
  bool IsRequestedDownload(const QWebEngineDownloadRequest* download) const;
  // Where the save dialog starts: the per-user library folder for the
  // pricing library, the user's download folder for any other file.
  static QString SuggestedDownloadPath(const QString& file_name);
  // A requested download has ended (saved, failed or cancelled): tells the
  // user. A check of the saved file belongs here.
  void OnRequestedDownloadFinished(QWebEngineDownloadRequest* download, const QString& path);
  // Reads the calculator panel's option into params_; false (the panel has
  // shown its message, params_ unchanged) when an entry cannot be read.
  bool TakeCalculatorOption();
  // Where the chain panel's contracts go: the calculator prices a
  // double-clicked one; "Add to strategy" appends it as a leg.
  void ConnectChainPanel();
  // Reads the calculator's option (stopping there when an entry cannot be
  // read), shows `panel` alone at the large display, hands it a copy of the
  // option with `take`, and runs it with `run`.
  void SwitchWithOption(const Panel& panel, const std::function<void(const OptionTerms&)>& take,
                        const std::function<void()>& run);

  SiteAddresses addresses_;
  ForumSetupTable forum_setup_;
  SaveFileChooser save_chooser_;
  OptionTerms params_;
  AddressBox address_box_;
  BrowserLayout last_layout_;

  QWidget* client_ = nullptr;
  QLabel* label1_ = nullptr;
  QPushButton* cmd_calc_ = nullptr;
  QPushButton* cmd_sensitivity_ = nullptr;
  QPushButton* cmd_risk_ = nullptr;
  QPushButton* cmd_strategy_ = nullptr;
  QPushButton* cmd_chain_ = nullptr;
  LineControl* line1_ = nullptr;
  QPushButton* cmd_back_ = nullptr;
  QPushButton* cmd_forward_ = nullptr;
  QPushButton* cmd_stop_ = nullptr;
  WebBrowser* browser1_ = nullptr;
  QComboBox* cmb_navigate_ = nullptr;
  QPushButton* cmd_bot_back_ = nullptr;
  QPushButton* cmd_bot_forward_ = nullptr;
  WebBrowser* browser2_ = nullptr;
  ucBSOP* uc_bsop_ = nullptr;
  ucRisk* uc_risk_ = nullptr;
  ucSens* uc_sens_ = nullptr;
  ucStrategy* uc_strategy_ = nullptr;
  ucChain* uc_chain_ = nullptr;
  Panel bsop_panel_, risk_panel_, sens_panel_, strategy_panel_, chain_panel_;
  QWidget* current_ = nullptr;
  Rect panel_box_;  // the current panel's place and full size in twips
  Rect pane_box_;   // the pane that shows it (smaller when the window is)
  QScrollArea* pane_area_ = nullptr;
  QWidget* pane_host_ = nullptr;  // the panels' parent inside the pane
  QWidget* split_columns_ = nullptr;
  QWidget* split_rows_ = nullptr;
  std::optional<int> user_pane_width_, user_pane_height_;  // twips, from the splitters
  std::optional<QRect> screen_area_;
  bool closing_ = false;
};

}  // namespace stratlyn
