// The panel's direct page fetch against a server on 127.0.0.1: a page read
// whole as text, the failures in words, the size cap, and Stop or a new
// address ending a transfer that would otherwise wait for its deadline.

#include "chain/http_page_view.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "marketdata/http_fetch.h"
#include "support/loopback_server.h"

namespace stratlyn {
namespace {

void WaitComplete(BrowserView& view) {
  // Bounded by the view's own deadline; never a timing check.
  while (view.ReadyState() != BrowserView::kComplete) {
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
}

TEST(HttpPageView, ReadsPagesAndSaysWhyOneFailed) {
  testing::ScratchDir dir;
  std::string big;
  for (int i = 0; i < 20000; ++i) big += "{\"k\":" + std::to_string(i) + "},";
  dir.Write("chain.json", big);
  dir.Write("page.htm",
            "<html><head><meta charset=\"iso-8859-1\"></head><body>caf\xe9</body></html>");
  testing::LoopbackHttpServer http(dir.Path());
  ASSERT_TRUE(http.Ok()) << http.Error();

  HttpPageView view;
  view.Navigate(http.BaseUrl() + "/chain.json");
  WaitComplete(view);
  EXPECT_EQ(view.LoadFailure(), "");
  EXPECT_EQ(view.LocationURL(), http.BaseUrl() + "/chain.json");
  EXPECT_EQ(view.BodyHtml(), big);
  EXPECT_EQ(view.TakeBody(), big);
  EXPECT_EQ(view.BodyHtml(), "");  // taken

  // A Latin-1 page arrives as UTF-8 text.
  view.Navigate(http.BaseUrl() + "/page.htm");
  WaitComplete(view);
  EXPECT_NE(view.BodyHtml().find("caf\xc3\xa9"), std::string::npos) << view.BodyHtml();

  view.Navigate(http.BaseUrl() + "/nosuch.json");
  WaitComplete(view);
  EXPECT_EQ(view.LoadFailure(), HttpStatusText(404));
  EXPECT_EQ(view.BodyHtml(), "");

  HttpPageView capped(kPageDeadlineSeconds, 1000);
  capped.Navigate(http.BaseUrl() + "/_bytes/5000");
  WaitComplete(capped);
  EXPECT_EQ(capped.LoadFailure(), AnswerTooLargeText("127.0.0.1", 1000));
}

TEST(HttpPageView, StopAndANewAddressEndTheTransferInProgress) {
  testing::ScratchDir dir;
  dir.Write("chain.json", "{\"ok\":1}");
  testing::LoopbackHttpServer http(dir.Path());
  ASSERT_TRUE(http.Ok()) << http.Error();

  {
    HttpPageView view;  // a 60 s deadline: only Stop can end the wait early
    view.Navigate(http.BaseUrl() + "/_hang");
    EXPECT_EQ(view.ReadyState(), BrowserView::kLoading);
    view.Stop();
    EXPECT_EQ(view.ReadyState(), BrowserView::kComplete);
    EXPECT_EQ(view.LoadFailure(), kFetchStoppedText);
    // A new address while one hangs: the new page, whole.
    view.Navigate(http.BaseUrl() + "/_hang");
    view.Navigate(http.BaseUrl() + "/chain.json");
    WaitComplete(view);
    EXPECT_EQ(view.LoadFailure(), "");
    EXPECT_EQ(view.BodyHtml(), "{\"ok\":1}");
    view.Navigate(http.BaseUrl() + "/_hang");
  }  // the destructor ends the hanging transfer (a hang here would be the fault)

  // The fetch itself: a cancel flag set meanwhile ends a transfer that would
  // wait out a 60 s deadline, in the stopped failure rather than a timeout's.
  std::atomic<bool> cancel{false};
  std::thread setter([&cancel] {
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    cancel = true;
  });
  const HttpPage page = FetchHttpPage(http.BaseUrl() + "/_hang", 60, kPageMaxBytes, &cancel);
  setter.join();
  EXPECT_EQ(page.failure, kFetchStoppedText);
  EXPECT_EQ(page.body, "");
  // Already set: nothing is fetched.
  EXPECT_EQ(FetchHttpPage(http.BaseUrl() + "/chain.json", 60, kPageMaxBytes, &cancel).failure,
            kFetchStoppedText);
  cancel = false;
  EXPECT_EQ(FetchHttpPage(http.BaseUrl() + "/chain.json", 60, kPageMaxBytes, &cancel).body,
            "{\"ok\":1}");
}

}  // namespace
}  // namespace stratlyn
