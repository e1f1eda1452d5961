#pragma once
// A BrowserView for tests without Qt: Navigate fetches the address at once
// with libcurl (loopback servers only) and the view is then complete (ready
// state 4, tag "alldone"), whether the load worked or not, as the window's
// view ends a failed load; LoadFailure then says why ("HTTP 404", or
// libcurl's words when nothing answered). BodyHtml is the page's <body> content (the whole
// text when it has no body element). `pages` can also answer addresses
// from memory, and `on_navigate` runs at each Navigate (a test can hold the
// view in kLoading to exercise "Stop").
//
//   testing::FetchBrowserView view;
//   view.Navigate(http.BaseUrl() + "/page.htm");
//   EXPECT_EQ(view.ReadyState(), BrowserView::kComplete);

#include <curl/curl.h>

#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "util/browser_view.h"

namespace stratlyn::testing {

class FetchBrowserView : public BrowserView {
 public:
  void Navigate(const std::string& url, int /*flags*/ = 0) override {
    history_.push_back(url);
    url_ = url;
    if (on_navigate) on_navigate(url);
    if (hold_loading) {
      state_ = kLoading;
      return;
    }
    failure_.clear();
    if (const auto it = pages.find(url); it != pages.end()) {
      html_ = it->second;
    } else {
      html_ = Fetch(url, status_, &failure_);
      if (failure_.empty() && (status_ < 200 || status_ > 299)) {
        failure_ = "HTTP " + std::to_string(status_);
      }
    }
    Complete();
  }
  std::string LoadFailure() const override { return failure_; }
  bool GoBack() override { return false; }
  bool GoForward() override { return false; }
  void Stop() override { Complete(); }
  int ReadyState() const override { return state_; }
  std::string LocationURL() const override { return url_; }
  std::string BodyHtml() override {
    const std::string lower = Lower(html_);
    const size_t open = lower.find("<body");
    if (open == std::string::npos) return html_;
    const size_t start = lower.find('>', open);
    const size_t end = lower.rfind("</body");
    if (start == std::string::npos) return {};
    return html_.substr(start + 1,
                        (end == std::string::npos || end < start ? html_.size() : end) - start - 1);
  }
  void SetSilent(bool) override {}

  // Every address navigated to, in order.
  const std::vector<std::string>& History() const { return history_; }
  // HTTP status of the last fetch (0 when the connection failed).
  long Status() const { return status_; }
  // Replaces the page shown, as if the user had navigated by hand.
  void Show(const std::string& html) {
    html_ = html;
    Complete();
  }

  std::map<std::string, std::string> pages;
  std::function<void(const std::string&)> on_navigate;
  bool hold_loading = false;  // Navigate leaves the view loading until Stop()

  // `failure` (when given) receives libcurl's words when nothing answered.
  static std::string Fetch(const std::string& url, long& status, std::string* failure = nullptr) {
    status = 0;
    std::unique_ptr<CURL, decltype(&curl_easy_cleanup)> curl(curl_easy_init(), &curl_easy_cleanup);
    if (!curl) return {};
    std::string body;
    curl_easy_setopt(curl.get(), CURLOPT_URL, url.c_str());
    curl_easy_setopt(curl.get(), CURLOPT_NOPROXY, "*");
    curl_easy_setopt(curl.get(), CURLOPT_FOLLOWLOCATION, 1L);
    curl_easy_setopt(curl.get(), CURLOPT_CONNECTTIMEOUT, 10L);
    curl_easy_setopt(curl.get(), CURLOPT_TIMEOUT, 30L);
    curl_easy_setopt(curl.get(), CURLOPT_WRITEFUNCTION, &Append);
    curl_easy_setopt(curl.get(), CURLOPT_WRITEDATA, &body);
    if (const CURLcode rc = curl_easy_perform(curl.get()); rc != CURLE_OK) {
      if (failure != nullptr) *failure = curl_easy_strerror(rc);
      return {};
    }
    curl_easy_getinfo(curl.get(), CURLINFO_RESPONSE_CODE, &status);
    return body;
  }

 private:
  static size_t Append(char* data, size_t size, size_t n, void* out) {
    static_cast<std::string*>(out)->append(data, size * n);
    return size * n;
  }
  static std::string Lower(std::string s) {
    for (char& c : s) c = static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
    return s;
  }
  void Complete() {
    state_ = kComplete;
    SetTag(kPageDone);
  }

  int state_ = kUninitialized;
  std::string url_;
  std::string html_;
  long status_ = 0;
  std::string failure_;
  std::vector<std::string> history_;
};

}  // namespace stratlyn::testing
