// The bottom browser's address box: navigation, the wait, the growing list.

#include "shell/address_box.h"

#include <gtest/gtest.h>

#include <map>

#include "support/fake_services.h"

namespace stratlyn {
namespace {

// A view that finishes a load at the next round of events, following the
// redirects it is given; a "hang" address never finishes.
class FakeBrowser : public BrowserView {
 public:
  void Navigate(const std::string& url, int) override {
    ++navigations;
    pending_ = url;
    loading_ = true;
  }
  bool GoBack() override { return false; }
  bool GoForward() override { return false; }
  void Stop() override { loading_ = false; }
  int ReadyState() const override { return loading_ ? kLoading : kComplete; }
  std::string LocationURL() const override { return location; }
  std::string BodyHtml() override { return {}; }
  void SetSilent(bool) override {}

  // One round of events: the load in progress completes.
  void RunEvents() {
    if (!loading_ || pending_ == "http://127.0.0.1:1/hang") return;
    const auto r = redirects.find(pending_);
    location = r == redirects.end() ? pending_ : r->second;
    loading_ = false;
    SetTag(kPageDone);
  }

  std::string location;
  std::map<std::string, std::string> redirects;
  int navigations = 0;

 private:
  std::string pending_;
  bool loading_ = false;
};

class AddressBoxTest : public ::testing::Test {
 protected:
  void SetUp() override {
    box.entries = {"http://127.0.0.1:1/a", "http://127.0.0.1:1/b"};
    browser.location = "http://127.0.0.1:1/a";
    fakes.events.on_pending = [this] { browser.RunEvents(); };
  }
  testing::FakeServices fakes;
  FakeBrowser browser;
  AddressBox box;
  std::string scratch;
};

TEST_F(AddressBoxTest, EmptyTextOrTheShownAddressLoadsNothing) {
  box.text = "";
  EXPECT_FALSE(NavigateFromAddressBox(box, browser, fakes.events, &scratch));
  box.text = "http://127.0.0.1:1/a";
  EXPECT_FALSE(NavigateFromAddressBox(box, browser, fakes.events, &scratch));
  EXPECT_EQ(scratch, "http://127.0.0.1:1/a");
  EXPECT_EQ(browser.navigations, 0);
  EXPECT_EQ(box.entries.size(), 2u);
}

TEST_F(AddressBoxTest, WaitsForThePageThenRecordsTheFinalAddress) {
  browser.redirects["http://127.0.0.1:1/old"] = "http://127.0.0.1:1/new";
  box.text = "http://127.0.0.1:1/old";
  EXPECT_TRUE(NavigateFromAddressBox(box, browser, fakes.events, &scratch));
  EXPECT_EQ(browser.navigations, 1);
  EXPECT_EQ(scratch, "http://127.0.0.1:1/old");
  ASSERT_EQ(box.entries.size(), 3u);
  EXPECT_EQ(box.entries.back(), "http://127.0.0.1:1/new");  // not the typed one
  EXPECT_EQ(box.text, "http://127.0.0.1:1/new");
  EXPECT_EQ(fakes.events.busy_on, 1);
  EXPECT_FALSE(fakes.events.busy);

  // An address already listed is not added again, and the list keeps its order.
  box.text = "http://127.0.0.1:1/b";
  EXPECT_TRUE(NavigateFromAddressBox(box, browser, fakes.events));
  EXPECT_EQ(box.entries, (std::vector<std::string>{"http://127.0.0.1:1/a", "http://127.0.0.1:1/b",
                                                   "http://127.0.0.1:1/new"}));
}

TEST_F(AddressBoxTest, StopEndsAWaitThatWouldNeverEnd) {
  int rounds = 0;
  fakes.events.on_pending = [&] {
    // "Stop" after a few rounds: stop the view and mark it done.
    if (++rounds == 5) {
      browser.Stop();
      browser.SetTag(kPageDone);
    }
  };
  box.text = "http://127.0.0.1:1/hang";
  EXPECT_TRUE(NavigateFromAddressBox(box, browser, fakes.events));
  EXPECT_GE(rounds, 5);
  EXPECT_FALSE(fakes.events.busy);
  // The view still shows the page it showed: nothing new for the list.
  EXPECT_EQ(box.entries.size(), 2u);
  EXPECT_EQ(box.text, "http://127.0.0.1:1/a");
}

}  // namespace
}  // namespace stratlyn
