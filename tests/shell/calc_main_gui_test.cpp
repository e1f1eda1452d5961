// The main window with its two browser views: start-up, layout, menus, the
// address box against a loopback web server, the help menu and the download.

#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QLabel>
#include <QKeySequence>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollArea>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>
#include <cstdlib>
#include <memory>

#include "analytics/ucrisk_widget.h"
#include "analytics/ucsens_widget.h"
#include "calculator/ucbsop_widget.h"
#include "shell/calc_main_widget.h"
#include "shell/qt_web_browser.h"
#include "support/fake_services.h"
#include "support/gui_wait.h"
#include "support/loopback_server.h"
#include "pricing/zelop_loader.h"
#include "tools/library_download.h"
#include "util/error_handler.h"
#include "util/locale_info.h"
#include "util/qt_services.h"
#include "util/sites.h"

namespace stratlyn {
namespace {

using testing::WaitFor;

// Lets events run for `ms`.
void Pump(int ms) {
  WaitFor([] { return false; }, ms);
}

bool WaitDone(WebBrowser* view, int ms = 15000) {
  return WaitFor([view] { return view->Tag() == kPageDone; }, ms);
}

// One window for the whole suite (starting the web engine is the slow part).
class CalcMainTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    data_home_ = new testing::ScratchDir();
    setenv("XDG_DATA_HOME", data_home_->Path().c_str(), 1);
    unsetenv("STRATLYN_SITE_URL");
    EntryLocale locale;
    locale.date_format = "%m/%d/%Y";
    SetEntryLocale(locale);
    events_ = new QtEvents();
    window_ = new calcMain();
    {
      ScopedServices services(nullptr, events_);
      window_->resize(1200, 900);
      window_->Form_Load();
    }
  }
  static void TearDownTestSuite() {
    delete window_;
    delete events_;
    delete data_home_;
    ResetEntryLocale();
  }
  void SetUp() override {
    scope_ = std::make_unique<ScopedServices>(&dialogs, events_, &clipboard);
  }
  void TearDown() override { scope_.reset(); }

  calcMain& w() { return *window_; }
  // Geometry of a control within the window's inner area.
  static QRect Box(QWidget* widget) { return widget->geometry(); }
  int ClientW() { return w().ClientArea()->width(); }
  int ClientH() { return w().ClientArea()->height(); }

  testing::ScriptedDialogs dialogs;
  MemoryClipboard clipboard;
  std::unique_ptr<ScopedServices> scope_;

  static inline calcMain* window_ = nullptr;
  static inline QtEvents* events_ = nullptr;
  static inline testing::ScratchDir* data_home_ = nullptr;
};

TEST_F(CalcMainTest, StartsWithTheCalculatorLargeAndBothBundledPages) {
  EXPECT_EQ(w().windowTitle(), "ZEL Stratlyn ");
  EXPECT_TRUE(w().isVisible());
  EXPECT_TRUE(w().ucBSOP1()->isVisible());
  EXPECT_FALSE(w().ucRisk1()->isVisible());
  EXPECT_FALSE(w().ucSens1()->isVisible());
  EXPECT_EQ(w().currentPanel(), w().ucBSOP1());
  EXPECT_EQ(w().bottomExpanded, 1);
  EXPECT_FALSE(w().boolDisclaimer);
  EXPECT_EQ(w().ucBSOP1()->ucWidth(), 12240);      // the large display
  // The panel fills the pane at 30 and 942 twips.
  EXPECT_EQ(w().PaneArea()->pos(), QPoint(2, 63));
  EXPECT_EQ(w().ucBSOP1()->pos(), QPoint(0, 0));
  EXPECT_EQ(w().PaneArea()->size(), w().ucBSOP1()->size());
  EXPECT_TRUE(w().ucBSOP1()->lblPrice()->text().startsWith("Value: 7.48"));
  EXPECT_EQ(w().ucBSOP1()->Browser2(), w().Browser2());
  ASSERT_EQ(w().cmbNavigate()->count(), 9);
  EXPECT_TRUE(w().cmbNavigate()->itemText(0).endsWith("/markets/treasury.html"));
  EXPECT_EQ(w().cmbNavigate()->toolTip(), "Address bar for the bottom window");

  // Both views show the pages that ship with the program, without a network.
  ASSERT_TRUE(WaitDone(w().Browser1()));
  ASSERT_TRUE(WaitDone(w().Browser2()));
  EXPECT_EQ(w().Browser1()->ReadyState(), BrowserView::kComplete);
  const std::string top = w().Browser1()->LocationURL();
  EXPECT_EQ(top.rfind("file://", 0), 0u) << top;
  EXPECT_NE(top.find("/public/zelmodhtm/Velcaro/page1.htm"), std::string::npos);
  EXPECT_NE(w().Browser2()->LocationURL().find("/links.htm"), std::string::npos);
  EXPECT_NE(w().Browser1()->BodyHtml().find("the models behind the figures"), std::string::npos);
  EXPECT_NE(w().Browser2()->BodyHtml().find("Public data sources"), std::string::npos);
  EXPECT_TRUE(w().Browser1()->Silent());
}

TEST_F(CalcMainTest, LayoutRulesInBothBottomWindowStates) {
  // The window has room for the whole panel: the pane is its size, and the
  // rules lay the browsers out around it.
  const QRect p = Box(w().PaneArea());
  ASSERT_EQ(p.size(), w().ucBSOP1()->size());
  const QRect b1 = Box(w().Browser1());
  const QRect b2 = Box(w().Browser2());
  // Expanded: margins of 100 twips (about 7 px) to the right and bottom,
  // the top browser 50 twips (about 3 px) above the bottom one.
  EXPECT_NEAR(b2.x() + b2.width(), ClientW() - 100.0 / 15, 1.0);
  EXPECT_NEAR(b2.y() + b2.height(), ClientH() - 100.0 / 15, 1.0);
  EXPECT_NEAR(b1.x() + b1.width(), ClientW() - 100.0 / 15, 1.0);
  EXPECT_NEAR(b1.y() + b1.height(), b2.y() - 50.0 / 15, 1.0);
  EXPECT_NEAR(b1.x(), p.x() + p.width() + 25.0 / 15, 1.0);
  EXPECT_EQ(b1.y(), 24);  // Top 360 twips
  EXPECT_NEAR(Box(w().cmbNavigate()).y(), p.y() + p.height() + 10.0 / 15, 1.0);
  const QRect fwd = Box(w().cmdBotForward());
  EXPECT_NEAR(fwd.x() + fwd.width(), p.x() + p.width() + 10.0 / 15, 1.5);
  EXPECT_EQ(Box(w().cmdBack()).x(), b1.x());
  // In twips the rules hold exactly.
  const BrowserLayout& l = w().LastLayout();
  EXPECT_EQ(*l.browser2.top + *l.browser2.height, ClientH() * 15 - 100);
  EXPECT_EQ(360 + *l.browser1.height, *l.browser2.top - 50);

  // Reduced: the bottom browser as wide as the panel, the top one down to the
  // bottom margin.
  w().mnuLayout0_Click();
  EXPECT_EQ(w().bottomExpanded, 0);
  EXPECT_EQ(Box(w().Browser2()).width(), p.width());
  EXPECT_NEAR(Box(w().Browser1()).y() + Box(w().Browser1()).height(), ClientH() - 100.0 / 15, 1.0);

  w().mnuLayout1_Click();
  EXPECT_EQ(Box(w().Browser2()), b2);
  EXPECT_EQ(Box(w().Browser1()), b1);
  EXPECT_EQ(dialogs.Count(), 0u);
}

TEST_F(CalcMainTest, ResizingLaysOutAgainAndATinyWindowRaisesNoMessage) {
  const QSize before = w().size();
  w().resize(300, 200);
  Pump(50);
  EXPECT_EQ(dialogs.Count(), 0u);
  w().resize(before);
  Pump(50);
  const QRect b2 = Box(w().Browser2());
  EXPECT_NEAR(b2.x() + b2.width(), ClientW() - 100.0 / 15, 1.0);
  EXPECT_NEAR(b2.y() + b2.height(), ClientH() - 100.0 / 15, 1.0);

  // Minimised, nothing is laid out; restored, the layout is as before.
  w().showMinimized();
  Pump(50);
  w().showNormal();
  Pump(50);
  EXPECT_NEAR(Box(w().Browser2()).y() + Box(w().Browser2()).height(), ClientH() - 100.0 / 15, 1.0);
}

TEST_F(CalcMainTest, DisplaySizesResizeThePanelAndTheLayoutFollows) {
  w().mnuOptionsNormalDisplay_Click();
  EXPECT_EQ(w().ucBSOP1()->size(), QSize(480, 380));  // 7200 x 5700 twips
  EXPECT_EQ(w().ucBSOP1()->cmdCalculate()->font().pointSize(), 8);
  EXPECT_NEAR(Box(w().Browser1()).x(), 2 + 480 + 25.0 / 15, 1.0);
  w().mnuOptionsLargeDisplay_Click();
  // 12240 x 8550 twips; a little taller where the stretched positions put
  // a control below that.
  EXPECT_EQ(w().ucBSOP1()->width(), 816);
  EXPECT_EQ(w().ucBSOP1()->height(),
            std::max(570, w().ucBSOP1()->childrenRect().bottom() + 1));
  EXPECT_TRUE(w().ucBSOP1()->cmdCalculate()->font().bold());
  EXPECT_NEAR(Box(w().Browser1()).x(), 2 + 816 + 25.0 / 15, 1.0);
}

TEST_F(CalcMainTest, RestartKeepsTheInputsAndReloadsBothViews) {
  ucBSOP* panel = w().ucBSOP1();
  panel->Text1(0)->setText("42");
  panel->chkPut()->setChecked(true);
  const QString value = panel->lblPrice()->text();
  QSignalSpy top_loads(w().Browser1(), &QWebEngineView::loadStarted);
  QSignalSpy bottom_loads(w().Browser2(), &QWebEngineView::loadStarted);
  QTest::mouseClick(w().cmdCalc(), Qt::LeftButton);
  EXPECT_EQ(panel->Text1(0)->text(), "42");
  EXPECT_TRUE(panel->chkPut()->isChecked());
  EXPECT_EQ(panel->lblPrice()->text(), value);
  ASSERT_TRUE(WaitFor([&] { return top_loads.count() > 0 && bottom_loads.count() > 0; }, 10000));
  ASSERT_TRUE(WaitDone(w().Browser1()));
  ASSERT_TRUE(WaitDone(w().Browser2()));
  panel->Text1(0)->setText("50");
  panel->chkCall()->setChecked(true);
}

TEST_F(CalcMainTest, MenusCarryTheirCaptionsAndAccessKeys) {
  EXPECT_EQ(w().Action("mnuHomePage")->text(), "&Home Page");
  EXPECT_EQ(w().Action("mnuInstructorForum")->text(), "&Instructor's Forum Setup");
  EXPECT_EQ(w().Action("mnuFileExit")->text(), "E&xit");
  EXPECT_EQ(w().Action("mnuLayout1")->text(), "&Expand Bottom Window");
  EXPECT_EQ(w().Action("mnuOptionsNormalDisplay")->text(), "&Normal Display");
  EXPECT_EQ(w().Action("mnuSpreadsheetLink")->text(), "&Spreadsheet Link");
  EXPECT_EQ(w().Action("mnuModHelp")->text(), "&Module Specific Help");
  EXPECT_EQ(w().Action("mnuHelpDownload")->text(), "&Download libzelop32.so");
  EXPECT_TRUE(w().Action("mnuFileSep1")->isSeparator());
  EXPECT_EQ(w().Action("mnuModHelp")->shortcut(), QKeySequence(Qt::Key_F1));
  EXPECT_EQ(w().Action("mnuFileExit")->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_Q));
}

TEST_F(CalcMainTest, OptionsMenuTicksTheLayoutAndTheDisplayInUse) {
  auto ticked = [&](const char* name) { return w().Action(name)->isChecked(); };
  // Start-up: expanded bottom window at the large display.
  EXPECT_TRUE(ticked("mnuLayout1"));
  EXPECT_FALSE(ticked("mnuLayout0"));
  EXPECT_TRUE(ticked("mnuOptionsLargeDisplay"));
  EXPECT_FALSE(ticked("mnuOptionsNormalDisplay"));
  // Chosen from the menu, the ticks move with the choice.
  w().Action("mnuLayout0")->trigger();
  EXPECT_EQ(w().bottomExpanded, 0);
  EXPECT_TRUE(ticked("mnuLayout0"));
  EXPECT_FALSE(ticked("mnuLayout1"));
  w().Action("mnuOptionsNormalDisplay")->trigger();
  EXPECT_EQ(w().ucBSOP1()->ucWidth(), ucBSOP::kDesignWidth);
  EXPECT_TRUE(ticked("mnuOptionsNormalDisplay"));
  EXPECT_FALSE(ticked("mnuOptionsLargeDisplay"));
  // Choosing the ticked item again keeps it ticked.
  w().Action("mnuOptionsNormalDisplay")->trigger();
  EXPECT_TRUE(ticked("mnuOptionsNormalDisplay"));
  w().Action("mnuLayout1")->trigger();
  w().Action("mnuOptionsLargeDisplay")->trigger();
  EXPECT_TRUE(ticked("mnuLayout1"));
  EXPECT_TRUE(ticked("mnuOptionsLargeDisplay"));
  EXPECT_EQ(w().ucBSOP1()->ucWidth(), 12240);
  // The tick follows the panel shown: the calculator at the normal display,
  // Analytics (always large), then Restart back to the normal calculator.
  w().Action("mnuOptionsNormalDisplay")->trigger();
  w().cmdRisk_Click();
  EXPECT_TRUE(ticked("mnuOptionsLargeDisplay"));
  w().cmdCalc_Click();
  EXPECT_EQ(w().ucBSOP1()->ucWidth(), ucBSOP::kDesignWidth);
  EXPECT_TRUE(ticked("mnuOptionsNormalDisplay"));
  EXPECT_FALSE(ticked("mnuOptionsLargeDisplay"));
  w().mnuOptionsLargeDisplay_Click();
  EXPECT_TRUE(ticked("mnuOptionsLargeDisplay"));
}

TEST_F(CalcMainTest, AboutNamesVersionLicenceAndTheLibraryInUse) {
  const auto about = [&](const std::string& folder) {
    UnloadZelopLibrary();
    SetZelopSearchPathForTesting(folder);
    dialogs.Reset();
    w().Action("mnuHelpAbout")->trigger();
    EXPECT_EQ(dialogs.Count(), 1u);
    EXPECT_EQ(dialogs.Last().title, "About Stratlyn");
    return dialogs.LastText();
  };
  // The build's own library, recognised by its digest.
  const std::string built = std::string(STRATLYN_TEST_ZELOP_DIR) + "/libzelop32.so";
  std::string text = about(STRATLYN_TEST_ZELOP_DIR);
  EXPECT_EQ(text.rfind(std::string("Stratlyn ") + STRATLYN_TEST_VERSION + "\n", 0), 0u) << text;
  EXPECT_NE(text.find("MIT License"), std::string::npos);
  EXPECT_NE(text.find("Pricing library: "), std::string::npos) << text;
  EXPECT_NE(text.find("libzelop32.so\n"), std::string::npos) << text;
  EXPECT_NE(text.find("(the library of this build)"), std::string::npos) << text;
  // A changed copy: About says it is not this build's (or, where the loader
  // refuses such a copy, that no library was found); never that it is.
  testing::ScratchDir dir;
  ASSERT_TRUE(QFile::copy(QString::fromStdString(built),
                          QString::fromStdString(dir.Path() + "/libzelop32.so")));
  {
    QFile changed(QString::fromStdString(dir.Path() + "/libzelop32.so"));
    ASSERT_TRUE(changed.open(QIODevice::Append));
    changed.write("x");
  }
  text = about(dir.Path());
  EXPECT_EQ(text.find("(the library of this build)"), std::string::npos) << text;
  EXPECT_TRUE(text.find("NOT the library of this build") != std::string::npos ||
              text.find("libzelop32.so not found") != std::string::npos)
      << text;
  // None to be found.
  testing::ScratchDir empty;
  text = about(empty.Path());
  EXPECT_NE(text.find("libzelop32.so not found"), std::string::npos) << text;
  UnloadZelopLibrary();
  SetZelopSearchPathForTesting("");
}

TEST_F(CalcMainTest, HelpPagesBackStopsAtHomeAndTheForums) {
  const std::string home = w().Addresses().HomePageUrl;
  w().mnuHomePage_Click();
  ASSERT_TRUE(WaitFor(
      [&] { return w().Browser1()->LocationURL() == home && w().Browser1()->Tag() == kPageDone; },
      10000));
  w().cmdBack_Click();  // on the home page: nothing
  Pump(300);
  EXPECT_EQ(w().Browser1()->LocationURL(), home);

  w().mnuHelpModule_Click();
  ASSERT_TRUE(WaitFor(
      [&] {
        return w().Browser1()->LocationURL().find("howtouse.htm") != std::string::npos &&
               w().Browser1()->Tag() == kPageDone;
      },
      10000));
  EXPECT_NE(w().Browser1()->BodyHtml().find("How to use the calculator"), std::string::npos);
  w().cmdBack_Click();
  ASSERT_TRUE(WaitFor([&] { return w().Browser1()->LocationURL() == home; }, 10000));
  // The page gone back to has loaded before the next menu item.
  ASSERT_TRUE(WaitFor([&] { return w().Browser1()->ReadyState() == BrowserView::kComplete; }, 10000));
  Pump(200);

  // The bundled forum page is shown as a page, not as its source text.
  w().mnuStudentForum_Click();
  ASSERT_TRUE(WaitFor(
      [&] {
        return w().Browser1()->LocationURL().find("enterforum") != std::string::npos &&
               w().Browser1()->Tag() == kPageDone;
      },
      10000))
      << w().Browser1()->LocationURL() << " " << w().Addresses().ForumUrl << " "
      << w().Browser1()->Tag();
  const std::string forum = w().Browser1()->BodyHtml();
  EXPECT_NE(forum.find("<h1>Student forum</h1>"), std::string::npos) << forum.substr(0, 200);
  EXPECT_EQ(forum.find("&lt;"), std::string::npos) << forum.substr(0, 200);

  // The bundled site's forum has its setup page; an empty forum address has none.
  w().mnuInstructorForum_Click();
  ASSERT_TRUE(WaitFor(
      [&] { return w().Browser1()->LocationURL().find("forumsetup.htm") != std::string::npos; },
      10000));
  const SiteAddresses saved = w().Addresses();
  SiteAddresses no_forum = saved;
  no_forum.ForumUrl.clear();
  w().SetAddresses(no_forum);
  const std::string shown = w().Browser1()->LocationURL();
  w().mnuStudentForum_Click();
  w().mnuInstructorForum_Click();
  ASSERT_EQ(dialogs.Count(), 2u);
  EXPECT_EQ(dialogs.Shown()[0].text,
            "Forum not available.  Please have the instructor contact ZEL about getting access to "
            "the forum");
  EXPECT_EQ(dialogs.Shown()[1].text,
            "Forum not available.  Please contact ZEL if you want to create a discussion forum");
  EXPECT_EQ(dialogs.Last().title, "Quorvale");
  Pump(200);
  EXPECT_EQ(w().Browser1()->LocationURL(), shown);
  w().SetAddresses(saved);
}

TEST_F(CalcMainTest, AddressBoxAgainstALoopbackServer) {
  testing::ScratchDir dir;
  dir.Write("page.htm", "<html><body><p>loopback page</p></body></html>");
  dir.Write("other.htm", "<html><body><p>other page</p></body></html>");
  testing::LoopbackHttpServer http(dir.Path());
  ASSERT_TRUE(http.Ok()) << http.Error();
  QComboBox* box = w().cmbNavigate();
  const int start_count = box->count();
  w().activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(&w()));
  QSignalSpy loads(w().Browser2(), &QWebEngineView::loadStarted);

  // Keys as a keyboard delivers them: a click into the box moves the focus
  // there, then every key goes to the focused widget.
  const auto type_and_enter = [&](const std::string& text) {
    QTest::mouseClick(box, Qt::LeftButton, {}, QPoint(20, box->height() / 2));
    QWidget* focused = QApplication::focusWidget();
    ASSERT_TRUE(focused == box || focused == box->lineEdit())
        << (focused ? focused->metaObject()->className() : "no focus");
    QTest::keyClick(focused, Qt::Key_A, Qt::ControlModifier);
    QTest::keyClick(focused, Qt::Key_Delete);
    QTest::keyClicks(focused, QString::fromStdString(text));
    QTest::keyClick(focused, Qt::Key_Return);
  };

  // Enter on an empty box does nothing.
  type_and_enter("");
  EXPECT_EQ(box->count(), start_count);
  EXPECT_EQ(loads.count(), 0);

  // A redirect: the final address joins the list and shows in the box.
  type_and_enter(http.BaseUrl() + "/_redirect/page.htm");
  const QString final_url = QString::fromStdString(http.BaseUrl() + "/page.htm");
  ASSERT_EQ(box->count(), start_count + 1);
  EXPECT_EQ(box->itemText(box->count() - 1), final_url);
  EXPECT_EQ(box->currentText(), final_url);
  EXPECT_NE(w().Browser2()->BodyHtml().find("loopback page"), std::string::npos);
  EXPECT_EQ(w().NavigateList().entries.back(), final_url.toStdString());
  EXPECT_EQ(loads.count(), 1);

  // The address shown already: no reload.
  loads.clear();
  type_and_enter(final_url.toStdString());
  Pump(200);
  EXPECT_EQ(loads.count(), 0);

  // Another page, then back to a listed one: nothing is added twice.
  type_and_enter(http.BaseUrl() + "/other.htm");
  ASSERT_EQ(box->count(), start_count + 2);
  EXPECT_EQ(w().Browser2()->LocationURL(), http.BaseUrl() + "/other.htm");
  // Choosing a listed address from the list navigates too.
  const int listed = box->findText(final_url);
  ASSERT_GE(listed, 0);
  box->setCurrentIndex(listed);
  emit box->activated(listed);
  EXPECT_EQ(box->count(), start_count + 2);
  EXPECT_EQ(w().Browser2()->LocationURL(), final_url.toStdString());

  // A page that never answers: "Stop" ends the wait; the list is unchanged.
  bool stopped = false;
  QTimer::singleShot(700, [&] {
    stopped = true;
    QTest::mouseClick(w().cmdStop(), Qt::LeftButton);
  });
  type_and_enter(http.BaseUrl() + "/_hang");
  EXPECT_TRUE(stopped);
  EXPECT_EQ(w().Browser2()->Tag(), kPageDone);
  EXPECT_EQ(box->count(), start_count + 2);
  EXPECT_EQ(events_->Busy(), false);
}

TEST_F(CalcMainTest, DownloadOfThePricingLibrary) {
  const std::string target = data_home_->Path() + "/saved/libzelop32.so";
  QString suggested;
  w().SetSaveFileChooser([&](const QString& path) {
    suggested = path;
    return QString::fromStdString(target);
  });
  w().mnuHelpDownload_Click();
  ASSERT_GE(dialogs.Count(), 1u);
  EXPECT_EQ(dialogs.Shown()[0].text,
            "When prompted, save this file into your per-user library folder");
  EXPECT_EQ(dialogs.Shown()[0].icon, MsgIcon::None);
  EXPECT_EQ(dialogs.Shown()[0].buttons, MsgButtons::Ok);
  ASSERT_TRUE(WaitFor([&] { return dialogs.Count() >= 2; }, 15000));
  EXPECT_TRUE(suggested.endsWith("stratlyn/lib/libzelop32.so")) << suggested.toStdString();
  EXPECT_EQ(dialogs.Last().text, "The file was saved as " + target);
  const std::string built = sites::BundledSiteDir() + "/public/modules/install/libzelop32.so";
  QFile saved(QString::fromStdString(target)), original(QString::fromStdString(built));
  ASSERT_TRUE(saved.open(QIODevice::ReadOnly));
  ASSERT_TRUE(original.open(QIODevice::ReadOnly));
  EXPECT_EQ(saved.readAll(), original.readAll());
}

// Help > Download from a site that serves some other file under the
// library's name: told, and nothing is left in the library folder, neither
// under the chosen name nor as the temporary copy.
TEST_F(CalcMainTest, ATamperedLibraryDownloadIsDeletedAndNotSaved) {
  testing::ScratchDir dir;
  dir.Write("install/libzelop32.so",
            "\x7f"
            "ELF not the library");
  testing::LoopbackHttpServer http(dir.Path());
  ASSERT_TRUE(http.Ok()) << http.Error();
  const std::string folder = data_home_->Path() + "/tampered";
  ASSERT_TRUE(QDir().mkpath(QString::fromStdString(folder)));
  const std::string target = folder + "/libzelop32.so";
  w().SetSaveFileChooser([&](const QString&) { return QString::fromStdString(target); });
  const SiteAddresses saved = w().Addresses();
  SiteAddresses other = saved;
  other.DownloadUrl = http.BaseUrl() + "/_download/install/libzelop32.so";
  w().SetAddresses(other);
  w().mnuHelpDownload_Click();
  ASSERT_TRUE(WaitFor([&] { return dialogs.Count() >= 2; }, 15000));
  w().SetAddresses(saved);
  EXPECT_EQ(dialogs.Last().icon, MsgIcon::Critical);
  EXPECT_NE(dialogs.Last().text.find("SHA-256"), std::string::npos) << dialogs.LastText();
  EXPECT_NE(dialogs.Last().text.find(target), std::string::npos) << dialogs.LastText();
  EXPECT_EQ(QDir(QString::fromStdString(folder)).entryList(QDir::Files), QStringList())
      << "the folder keeps nothing";
}

// Help > Download from a server that names its file "zelop-update.so": the
// user saves it as the library, or into the library folder under that name.
// Where it lands decides: it is checked, and a file that is not the library
// is kept in neither place.
TEST_F(CalcMainTest, ADownloadIsCheckedByWhereItLandsNotByTheServersName) {
  testing::ScratchDir dir;
  dir.Write("files/update.bin",
            "\x7f"
            "ELF not the library");
  testing::LoopbackHttpServer http(dir.Path());
  ASSERT_TRUE(http.Ok()) << http.Error();
  const std::string folder = GetSystemDir();
  ASSERT_NE(folder, "");
  const SiteAddresses saved = w().Addresses();
  SiteAddresses other = saved;
  other.DownloadUrl = http.BaseUrl() + "/_named/zelop-update.so/files/update.bin";
  for (const std::string name : {"libzelop32.so", "zelop-update.so"}) {
    const std::string target = folder + name;
    w().SetSaveFileChooser([&](const QString&) { return QString::fromStdString(target); });
    w().SetAddresses(other);
    const size_t before = dialogs.Count();
    w().mnuHelpDownload_Click();
    ASSERT_TRUE(WaitFor([&] { return dialogs.Count() >= before + 2; }, 15000)) << name;
    w().SetAddresses(saved);
    EXPECT_EQ(dialogs.Last().icon, MsgIcon::Critical) << dialogs.LastText();
    EXPECT_NE(dialogs.Last().text.find("SHA-256"), std::string::npos) << dialogs.LastText();
    EXPECT_NE(dialogs.Last().text.find(target), std::string::npos) << dialogs.LastText();
    EXPECT_EQ(QDir(QString::fromStdString(folder)).entryList(QDir::Files), QStringList())
        << "the library folder keeps nothing after " << name;
  }
}

TEST_F(CalcMainTest, OnlyTheRequestedLibraryIsOfferedIntoTheLibraryFolder) {
  testing::ScratchDir dir;
  dir.Write("DelayedQuote/SimpleQuote.aspx?ticker=IBM",
            "<html><body>Last Sale 12.5 Tick</body></html>");
  dir.Write("files/notes.bin", "not the library");
  testing::LoopbackHttpServer http(dir.Path());
  ASSERT_TRUE(http.Ok()) << http.Error();
  QStringList offered;
  w().SetSaveFileChooser([&](const QString& path) {
    offered << path;
    return QString();  // the user cancels
  });

  // A quote answered with a file: the load fails, nothing is offered.
  WebBrowser* bottom = w().Browser2();
  bottom->SetTag("");
  bottom->Navigate(http.BaseUrl() + "/_download/DelayedQuote/SimpleQuote.aspx?ticker=IBM");
  ASSERT_TRUE(WaitDone(bottom));
  EXPECT_EQ(bottom->LoadFailure(), kDownloadFailure);
  // The top browser led by a link to a file: not asked for either.
  w().Browser1()->SetTag("");
  w().Browser1()->Navigate(http.BaseUrl() + "/_download/files/notes.bin");
  ASSERT_TRUE(WaitDone(w().Browser1()));
  Pump(300);
  EXPECT_TRUE(offered.isEmpty()) << offered.join(", ").toStdString();
  EXPECT_EQ(dialogs.Count(), 0u) << dialogs.LastText();
  EXPECT_FALSE(QFile::exists(QString::fromStdString(GetSystemDir()) + "SimpleQuote.aspx"));

  // Help > Download on a site whose download is some other file: offered,
  // but into the download folder, not the library folder.
  const SiteAddresses saved = w().Addresses();
  SiteAddresses other = saved;
  other.DownloadUrl = http.BaseUrl() + "/_download/files/notes.bin";
  w().SetAddresses(other);
  w().mnuHelpDownload_Click();
  ASSERT_TRUE(WaitFor([&] { return !offered.isEmpty(); }, 10000));
  w().SetAddresses(saved);
  EXPECT_TRUE(offered[0].endsWith("/notes.bin")) << offered[0].toStdString();
  EXPECT_FALSE(offered[0].startsWith(QString::fromStdString(GetSystemDir())))
      << offered[0].toStdString();
}

}  // namespace
}  // namespace stratlyn

namespace stratlyn {
namespace {

TEST(CalcMainExit, ExitStopsBothViewsAndClosesTheOtherWindows) {
  testing::FakeServices fakes;
  calcMain window;
  window.resize(1000, 800);
  window.show();
  QWidget other;  // stands for the calculators window
  other.show();
  window.Browser2()->SetTag("");
  window.mnuFileExit_Click();
  EXPECT_FALSE(window.isVisible());
  EXPECT_FALSE(other.isVisible());
  EXPECT_EQ(window.Browser1()->Tag(), kPageDone);
  EXPECT_EQ(window.Browser2()->Tag(), kPageDone);
  EXPECT_EQ(window.Browser2()->ReadyState(), BrowserView::kComplete);
}

}  // namespace
}  // namespace stratlyn

namespace stratlyn {
namespace {

TEST(CalcMainSmallScreen, StartsAtTheNormalDisplayWhenTheLargeOneDoesNotFit) {
  testing::FakeServices fakes;
  calcMain window;
  window.resize(1000, 700);
  window.Form_Load();
  EXPECT_EQ(window.ucBSOP1()->ucWidth(), ucBSOP::kDesignWidth);
  EXPECT_GE(window.Browser2()->height(), 150);
  EXPECT_EQ(window.bottomExpanded, 1);
  window.close();
}

}  // namespace
}  // namespace stratlyn
