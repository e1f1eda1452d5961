#pragma once
// A browser view that fetches each page directly over HTTP on a thread of
// its own, so that a wait for it (WaitForPage) lets the window run meanwhile
// and no page is rendered. The view is complete once the answer is in, or
// has failed (LoadFailure says why, in the words of FetchHttpPage); the
// body is the page's text as UTF-8. Stop, a new Navigate and the destructor
// end the transfer in progress (within about a second).

#include <atomic>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "util/browser_view.h"
#include "util/net_limits.h"

namespace stratlyn {

class HttpPageView : public BrowserView {
 public:
  explicit HttpPageView(long seconds = kPageDeadlineSeconds, std::size_t max_bytes = kPageMaxBytes)
      : seconds_(seconds), max_bytes_(max_bytes) {}
  ~HttpPageView() override;
  HttpPageView(const HttpPageView&) = delete;
  HttpPageView& operator=(const HttpPageView&) = delete;

  void Navigate(const std::string& url, int flags = 0) override;
  bool GoBack() override { return false; }
  bool GoForward() override { return false; }
  // Ends the transfer in progress; the view is then complete, with the
  // failure kFetchStoppedText.
  void Stop() override;
  int ReadyState() const override;
  std::string LocationURL() const override { return url_; }
  std::string BodyHtml() override;
  void SetSilent(bool) override {}
  std::string LoadFailure() const override;
  // The body, moved out of the view (which is then empty): a large page is
  // not copied.
  std::string TakeBody();

 private:
  struct Transfer {
    std::atomic<bool> cancel{false};
    std::atomic<bool> done{false};
    std::mutex lock;
    std::string body;
    std::string failure;
  };
  struct Running {
    std::thread thread;
    std::shared_ptr<Transfer> transfer;
  };
  void EndCurrent();
  void JoinFinished(bool all);

  long seconds_;
  std::size_t max_bytes_;
  std::string url_;
  std::shared_ptr<Transfer> current_;
  std::vector<Running> running_;
};

}  // namespace stratlyn
