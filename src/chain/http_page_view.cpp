#include "chain/http_page_view.h"

#include "marketdata/http_fetch.h"
#include "marketdata/page_charset.h"

namespace stratlyn {

HttpPageView::~HttpPageView() {
  for (Running& r : running_) {
    r.transfer->cancel = true;
  }
  JoinFinished(true);
}

void HttpPageView::EndCurrent() {
  if (!current_) {
    return;
  }
  current_->cancel = true;
  if (!current_->done) {
    // The thread ends on its own once libcurl notices; the view is complete
    // (stopped) at once.
    const std::lock_guard<std::mutex> hold(current_->lock);
    current_->failure = kFetchStoppedText;
    current_->body.clear();
  }
  current_.reset();
}

void HttpPageView::JoinFinished(bool all) {
  for (auto it = running_.begin(); it != running_.end();) {
    if (all || it->transfer->done) {
      it->thread.join();
      it = running_.erase(it);
    } else {
      ++it;
    }
  }
}

void HttpPageView::Navigate(const std::string& url, int /*flags*/) {
  EndCurrent();
  JoinFinished(false);
  url_ = url;
  auto transfer = std::make_shared<Transfer>();
  current_ = transfer;
  Running r;
  r.transfer = transfer;
  r.thread = std::thread([transfer, url, seconds = seconds_, max_bytes = max_bytes_] {
    HttpPage page = FetchHttpPage(url, seconds, max_bytes, &transfer->cancel);
    {
      const std::lock_guard<std::mutex> hold(transfer->lock);
      if (!transfer->cancel) {
        transfer->failure = page.failure;
        if (page.failure.empty()) {
          transfer->body = PageTextAsUtf8(page.body, page.content_type);
        }
      }
    }
    transfer->done = true;
  });
  running_.push_back(std::move(r));
}

void HttpPageView::Stop() {
  if (current_ && !current_->done) {
    auto stopped = current_;
    EndCurrent();
    // The view stays complete with the failure, as a stopped load.
    current_ = stopped;
  }
  SetTag(kPageDone);
}

int HttpPageView::ReadyState() const {
  if (!current_) {
    return kComplete;
  }
  return current_->done || current_->cancel ? kComplete : kLoading;
}

std::string HttpPageView::BodyHtml() {
  if (!current_ || ReadyState() != kComplete) {
    return {};
  }
  const std::lock_guard<std::mutex> hold(current_->lock);
  return current_->body;
}

std::string HttpPageView::TakeBody() {
  if (!current_ || ReadyState() != kComplete) {
    return {};
  }
  const std::lock_guard<std::mutex> hold(current_->lock);
  return std::move(current_->body);
}

std::string HttpPageView::LoadFailure() const {
  if (!current_ || ReadyState() != kComplete) {
    return {};
  }
  const std::lock_guard<std::mutex> hold(current_->lock);
  return current_->failure;
}

}  // namespace stratlyn
