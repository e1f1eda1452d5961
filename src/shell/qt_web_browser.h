#pragma once
// A browser view of the main window: BrowserView on QWebEngineView.
// The Tag follows the view's load signals (emptied when a load starts,
// "alldone" when it finishes, failed loads included), the ready state is
// kLoading from Navigate until that load finishes or is stopped, and the body
// HTML is read with runJavaScript, awaited in a nested event loop.

#include <QPointer>
#include <QWebEngineView>
#include <string>

#include "util/browser_view.h"

class QEventLoop;

namespace stratlyn {

class WebBrowser : public QWebEngineView, public BrowserView {
  Q_OBJECT

 public:
  explicit WebBrowser(QWidget* parent = nullptr);
  ~WebBrowser() override;

  void Navigate(const std::string& url, int flags = 0) override;
  bool GoBack() override;
  bool GoForward() override;
  void Stop() override;
  int ReadyState() const override { return ready_state_; }
  std::string LocationURL() const override;
  std::string BodyHtml() override;
  void SetSilent(bool silent) override;
  bool Silent() const;

  // Longest wait for the body HTML before BodyHtml gives up with "".
  static constexpr int kBodyHtmlTimeoutMs = 15000;

 signals:
  // The Tag has just become "alldone" (a load finished, failed or was stopped).
  void pageDone();

 protected:
  // Links that ask for a new window open in this view.
  QWebEngineView* createWindow(QWebEnginePage::WebWindowType type) override;

 private:
  void OnLoadStarted();
  void OnLoadFinished(bool ok);
  void MarkDone();

  int ready_state_ = kUninitialized;
  // Set by Navigate until the view reports the start of that load, so that
  // the end of an earlier, superseded load does not count as its end.
  bool awaiting_start_ = false;
  QPointer<QEventLoop> body_wait_;
};

}  // namespace stratlyn
