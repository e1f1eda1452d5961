// The browser view on QWebEngineView against a loopback web server: the
// completion marker, ready state, cache bypass, body HTML, history, silence.

#include <gtest/gtest.h>

#include <QApplication>
#include <QEventLoop>
#include <QMessageBox>
#include <QTimer>

#include "marketdata/fetch_error.h"
#include "marketdata/page_wait.h"
#include "shell/qt_web_browser.h"
#include "support/gui_wait.h"
#include "support/loopback_server.h"
#include "util/qt_services.h"
#include "util/services.h"

namespace stratlyn {
namespace {

using testing::WaitFor;

void Pump(int ms) {
  WaitFor([] { return false; }, ms);
}

class WebBrowserTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir.Write("a.htm", "<html><body><p id='x'>first page</p></body></html>");
    dir.Write("b.htm", "<html><body><p>second page</p></body></html>");
    dir.Write(
        "alert.htm",
        "<html><body><script>alert('boo'); document.body.append('after');</script></body></html>");
    view.resize(400, 300);
    view.show();
  }
  // Loads `url` the way the program's commands do: clear the Tag, navigate, wait.
  bool Load(const std::string& url, int flags = 0) {
    view.SetTag("");
    view.Navigate(url, flags);
    return WaitFor([&] { return view.Tag() == kPageDone; });
  }

  testing::ScratchDir dir;
  testing::LoopbackHttpServer http{dir.Path()};
  WebBrowser view;
};

TEST_F(WebBrowserTest, LoadsMarkTheTagAndTheReadyState) {
  ASSERT_TRUE(http.Ok()) << http.Error();
  EXPECT_EQ(view.ReadyState(), BrowserView::kUninitialized);
  EXPECT_EQ(view.BodyHtml(), "");  // no document yet
  EXPECT_FALSE(view.GoBack());

  view.Navigate(http.BaseUrl() + "/a.htm");
  EXPECT_EQ(view.ReadyState(), BrowserView::kLoading);
  ASSERT_TRUE(WaitFor([&] { return view.ReadyState() == BrowserView::kComplete; }));
  EXPECT_EQ(view.LocationURL(), http.BaseUrl() + "/a.htm");
  EXPECT_EQ(view.BodyHtml(), "<p id=\"x\">first page</p>");

  // History: back and forward.
  ASSERT_TRUE(Load(http.BaseUrl() + "/b.htm"));
  EXPECT_TRUE(view.GoBack());
  ASSERT_TRUE(WaitFor([&] { return view.LocationURL() == http.BaseUrl() + "/a.htm"; }));
  EXPECT_TRUE(view.GoForward());
  ASSERT_TRUE(WaitFor([&] { return view.LocationURL() == http.BaseUrl() + "/b.htm"; }));
  EXPECT_FALSE(view.GoForward());
}

TEST_F(WebBrowserTest, FailedLoadsAndStopCountAsComplete) {
  ASSERT_TRUE(http.Ok()) << http.Error();
  // Nothing listens on port 9 of the loopback address.
  ASSERT_TRUE(Load("http://127.0.0.1:9/nothing.htm"));
  EXPECT_EQ(view.ReadyState(), BrowserView::kComplete);
  // An address that cannot be loaded at all.
  ASSERT_TRUE(Load("http://[bad"));

  view.SetTag("");
  view.Navigate(http.BaseUrl() + "/_hang");
  QTimer::singleShot(300, &view, [this] { view.Stop(); });
  ASSERT_TRUE(WaitFor([&] { return view.ReadyState() == BrowserView::kComplete; }, 5000));
}

TEST_F(WebBrowserTest, NoReadFromCacheAsksTheServerAfresh) {
  ASSERT_TRUE(http.Ok()) << http.Error();
  ASSERT_TRUE(Load(http.BaseUrl() + "/_echo", BrowserView::kNoReadFromCache));
  const std::string headers = view.BodyHtml();
  EXPECT_NE(headers.find("no-cache"), std::string::npos) << headers;
}

TEST_F(WebBrowserTest, SilentViewsShowNoScriptDialogs) {
  ASSERT_TRUE(http.Ok()) << http.Error();
  view.SetSilent(true);
  EXPECT_TRUE(view.Silent());
  bool dialog_seen = false;
  QTimer watch;
  QObject::connect(&watch, &QTimer::timeout, [&] {
    if (QWidget* modal = QApplication::activeModalWidget()) {
      dialog_seen = true;
      modal->close();
    }
  });
  watch.start(20);
  ASSERT_TRUE(Load(http.BaseUrl() + "/alert.htm"));
  ASSERT_TRUE(WaitFor([&] { return view.BodyHtml().find("after") != std::string::npos; }, 5000));
  EXPECT_FALSE(dialog_seen);
}

TEST_F(WebBrowserTest, ANavigateThatReplacesARunningLoadEndsWithItsOwnPage) {
  ASSERT_TRUE(http.Ok()) << http.Error();
  std::string long_page = "<html><body>";
  for (int i = 0; i < 40; ++i) long_page += "<p>slow page line</p>";
  dir.Write("long.htm", long_page + "<p>end of slow page</p></body></html>");
  const std::string slow = http.BaseUrl() + "/_slow/60/long.htm";

  // The same address again while it loads (a command pressed twice).
  view.SetTag("");
  view.Navigate(slow);
  ASSERT_TRUE(WaitFor([&] { return view.LocationURL() == slow; }, 5000));
  view.SetTag("");
  view.Navigate(slow);
  EXPECT_TRUE(WaitFor([&] { return view.Tag() == kPageDone; }, 10000))
      << "the second wait never ends";
  EXPECT_EQ(view.ReadyState(), BrowserView::kComplete);
  EXPECT_EQ(view.LoadFailure(), "");
  EXPECT_NE(view.BodyHtml().find("end of slow page"), std::string::npos);

  // Another address while a slow page loads: the view is complete only when
  // the new page is.
  view.SetTag("");
  view.Navigate(slow);
  ASSERT_TRUE(WaitFor([&] { return view.LocationURL() == slow; }, 5000));
  view.SetTag("");
  view.Navigate(http.BaseUrl() + "/_slow/20/b.htm");
  ASSERT_TRUE(WaitFor([&] { return view.Tag() == kPageDone; }, 10000));
  EXPECT_EQ(view.LocationURL(), http.BaseUrl() + "/_slow/20/b.htm");
  EXPECT_NE(view.BodyHtml().find("second page"), std::string::npos);
}

TEST_F(WebBrowserTest, FailedLoadsSayWhy) {
  ASSERT_TRUE(http.Ok()) << http.Error();
  ASSERT_TRUE(Load(http.BaseUrl() + "/a.htm"));
  EXPECT_EQ(view.LoadFailure(), "");

  ASSERT_TRUE(Load(http.BaseUrl() + "/_status/404"));
  EXPECT_EQ(view.LoadFailure(), "HTTP 404 (Not Found)");
  ASSERT_TRUE(Load(http.BaseUrl() + "/_status/500"));
  EXPECT_EQ(view.LoadFailure(), "HTTP 500 (Internal Server Error)");

  // A file to download is no page, and the view does not stay on the
  // previous one as if it were the answer.
  ASSERT_TRUE(Load(http.BaseUrl() + "/a.htm"));
  ASSERT_TRUE(Load(http.BaseUrl() + "/_bytes/100"));
  EXPECT_EQ(view.LoadFailure(), kDownloadFailure);
  // ... also when it replaces a page still loading.
  view.SetTag("");
  view.Navigate(http.BaseUrl() + "/_slow/300/a.htm");
  ASSERT_TRUE(WaitFor([&] { return view.LocationURL().find("_slow") != std::string::npos; }));
  ASSERT_TRUE(Load(http.BaseUrl() + "/_bytes/100"));
  EXPECT_EQ(view.LoadFailure(), kDownloadFailure);
  Pump(200);
  EXPECT_EQ(view.LoadFailure(), kDownloadFailure);

  // A server that never answers: the load ends after the time allowed.
  // It is the view's own time-out that ends the load, not a Stop: the load is
  // complete, marked done, and fails with the time-out's words.
  view.SetNoAnswerTimeout(std::chrono::milliseconds(800));
  ASSERT_TRUE(Load(http.BaseUrl() + "/_hang"));
  EXPECT_EQ(view.LoadFailure(), "no answer in 1 s");
  EXPECT_EQ(view.ReadyState(), BrowserView::kComplete);

  // Stop is no failure of the page's, but the page is not there either.
  view.SetNoAnswerTimeout(WebBrowser::kNoAnswerTimeout);
  view.SetTag("");
  view.Navigate(http.BaseUrl() + "/_hang");
  QTimer::singleShot(200, &view, [this] { view.Stop(); });
  ASSERT_TRUE(WaitFor([&] { return view.ReadyState() == BrowserView::kComplete; }, 5000));
  EXPECT_EQ(view.LoadFailure(), kStoppedFailure);
}

// A page that never completes ends by itself at the view's deadline, both a
// server trickling two bytes a second and one that sends its headers and
// then nothing; the program's own wait (LoadPage) then reports it. Stop
// still ends a load before the deadline.
TEST_F(WebBrowserTest, APageNotCompleteByTheDeadlineEndsWithThatFailure) {
  ASSERT_TRUE(http.Ok()) << http.Error();
  EXPECT_EQ(view.PageDeadline(), std::chrono::seconds(60));
  view.SetPageDeadline(std::chrono::milliseconds(2000));
  QtEvents events;  // the program's wait lets window events run through these
  ScopedServices services(nullptr, &events);
  for (const std::string fault : {"/_trickle/2", "/_headers"}) {
    const std::string url = http.BaseUrl() + fault;
    // Only a bound for a broken build: the wait must end by itself long before.
    bool gave_up = false;
    QTimer bound;
    bound.setSingleShot(true);
    QObject::connect(&bound, &QTimer::timeout, [&] { gave_up = true; });
    bound.start(60000);
    ASSERT_TRUE(LoadPage(view, url, gave_up)) << fault << " still loading after 60 s";
    EXPECT_EQ(view.LoadFailure(), "no complete answer from 127.0.0.1 in 2 s") << fault;
    EXPECT_EQ(view.Tag(), kPageDone);
    try {
      CheckPageLoaded(view, url);
      ADD_FAILURE() << "an incomplete page counted as loaded";
    } catch (const FetchError& e) {
      EXPECT_EQ(e.Description(), "The page " + url +
                                     " could not be loaded: no complete answer from 127.0.0.1 "
                                     "in 2 s");
    }
  }
  // A page that completes in time is not affected. Its deadline leaves room
  // for a slow start of the view on a loaded machine.
  view.SetPageDeadline(std::chrono::milliseconds(5000));
  ASSERT_TRUE(Load(http.BaseUrl() + "/a.htm"));
  EXPECT_EQ(view.LoadFailure(), "");
  Pump(5500);  // the deadline of that load would have passed by now
  EXPECT_EQ(view.LoadFailure(), "");
  EXPECT_EQ(view.ReadyState(), BrowserView::kComplete);

  // A body over the size cap is not copied out; the view says why.
  view.SetBodyMaxBytes(20);
  EXPECT_EQ(view.BodyHtml(), "");
  EXPECT_EQ(view.LoadFailure(), "the answer from 127.0.0.1 is larger than 20 bytes");
  view.SetBodyMaxBytes(kPageMaxBytes);
  EXPECT_EQ(view.BodyHtml(), "<p id=\"x\">first page</p>");

  // Stop before the deadline: stopped, not timed out.
  view.SetPageDeadline(WebBrowser::kPageDeadline);
  view.SetTag("");
  view.Navigate(http.BaseUrl() + "/_trickle/2");
  QTimer::singleShot(500, &view, [this] { view.Stop(); });
  ASSERT_TRUE(WaitFor([&] { return view.ReadyState() == BrowserView::kComplete; }, 30000));
  EXPECT_EQ(view.LoadFailure(), kStoppedFailure);
}

}  // namespace
}  // namespace stratlyn
