// Start-up of the main window while the window system is slow: resizes and
// window events arrive inside every nested event run of the start-up
// sequence, as they do on a loaded machine. The layout must end up as the
// rules give it for the final client size, whatever arrived in between.

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QEventLoop>
#include <QTimer>

#include "calculator/ucbsop_widget.h"
#include "shell/browser_layout.h"
#include "shell/calc_main_widget.h"
#include "shell/qt_web_browser.h"
#include "support/fake_services.h"

namespace stratlyn {
namespace {

void Pump(int ms) {
  QEventLoop loop;
  QTimer::singleShot(ms, &loop, &QEventLoop::quit);
  loop.exec();
}

TEST(StartUpReentry, ResizesDuringTheNestedEventRunsLeaveAConsistentLayout) {
  testing::FakeServices fakes;
  calcMain window;
  window.resize(1100, 850);
  // Every nested event run of the start-up lets real events through and, on
  // alternate calls, changes the window's size first.
  const QSize sizes[] = {{1100, 850}, {700, 500}, {1250, 950}, {400, 300}, {1000, 900}};
  int calls = 0;
  fakes.events.on_pending = [&] {
    const int n = calls++;
    if (n % 2 == 0) {
      window.resize(sizes[(n / 2) % 5]);
    }
    QCoreApplication::processEvents();
  };
  window.Form_Load();
  fakes.events.on_pending = nullptr;
  ASSERT_GT(calls, 4);  // the sequence really ran nested event runs
  EXPECT_EQ(fakes.dialogs.Count(), 0u);

  // Whatever size the window had in between, the last layout follows the
  // rules for the client area it has now.
  window.resize(1100, 850);
  Pump(50);
  window.PositionBrowsers();
  const int client_h = window.ClientArea()->height() * 15;
  const BrowserLayout& l = window.LastLayout();
  ASSERT_TRUE(l.browser2.top && l.browser2.height);
  EXPECT_EQ(*l.browser2.top + *l.browser2.height, client_h - 100);
  EXPECT_NEAR(window.Browser2()->geometry().bottom() + 1, client_h / 15 - 100.0 / 15, 1.0);
  window.close();
}

}  // namespace
}  // namespace stratlyn

namespace stratlyn {
namespace {

// The user closes the window while start-up still lets events run (the pages
// take a while on a loaded machine): start-up stops there and the window
// stays closed.
TEST(StartUpReentry, ClosingTheWindowDuringStartUpEndsIt) {
  for (int close_at : {0, 2, 5, 9}) {
    testing::FakeServices fakes;
    calcMain window;
    window.resize(1000, 800);
    int calls = 0;
    fakes.events.on_pending = [&] {
      if (calls++ == close_at) {
        window.show();
        window.close();
      }
      QCoreApplication::processEvents();
    };
    window.Form_Load();
    fakes.events.on_pending = nullptr;
    EXPECT_GT(calls, close_at) << close_at;
    EXPECT_FALSE(window.isVisible()) << close_at;
    EXPECT_EQ(window.Browser1()->Tag(), kPageDone) << close_at;
  }
}

}  // namespace
}  // namespace stratlyn
