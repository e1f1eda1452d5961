#include "marketdata/page_wait.h"

#include "marketdata/fetch_error.h"
#include "util/services.h"

namespace stratlyn {

bool WaitForPage(BrowserView& view, const bool& stop_flag) {
  while (view.ReadyState() != BrowserView::kComplete && !stop_flag) {
    AppEvents().WaitPending();
  }
  AppEvents().ProcessPending();
  return !stop_flag;
}

bool LoadPage(BrowserView& view, const std::string& url, const bool& stop_flag) {
  view.SetTag("");
  view.Navigate(url);
  return WaitForPage(view, stop_flag);
}

void CheckPageLoaded(const BrowserView& view, const std::string& url) {
  if (const std::string failure = view.LoadFailure(); !failure.empty()) {
    throw FetchError(PageLoadFailedMessage(url, failure));
  }
}

}  // namespace stratlyn
