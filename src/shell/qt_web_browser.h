#pragma once
// A browser view of the main window: BrowserView on QWebEngineView.
// Each Navigate is followed until that very load ends: loaded, failed (with
// the cause in LoadFailure), turned into a download, stopped, or without an
// answer from the server for NoAnswerTimeout(), or not complete by
// PageDeadline() (however slowly the server sends it). A Navigate that
// replaces a load still running is followed in its place. The Tag is emptied when a
// load starts and becomes "alldone" when the load followed ends; the body
// HTML is read with runJavaScript, awaited in a nested event loop.

#include <QPointer>
#include <QTimer>
#include <QUrl>
#include <QWebEngineView>
#include <chrono>
#include <cstddef>
#include <string>
#include <vector>

#include "util/browser_view.h"
#include "util/net_limits.h"

class QEventLoop;
class QWebEngineDownloadRequest;
class QWebEngineLoadingInfo;

namespace stratlyn {

// LoadFailure texts of the view.
inline constexpr const char* kDownloadFailure = "the address gives a file to download, not a page";
inline constexpr const char* kNoPageFailure = "the server sent no page";
inline constexpr const char* kStoppedFailure = "stopped";
inline constexpr const char* kInvalidAddressFailure = "the address is not valid";

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
  std::string LoadFailure() const override { return failure_; }

  // Longest wait for the body HTML before BodyHtml gives up with "".
  static constexpr int kBodyHtmlTimeoutMs = 15000;
  // A body longer than this (64 MB) is not read: BodyHtml gives "" and
  // LoadFailure says the answer is too large. Settable for tests.
  void SetBodyMaxBytes(std::size_t bytes) { body_max_bytes_ = bytes; }
  // How long a server may take to answer a Navigate before the load is
  // stopped and fails with "no answer in N s".
  static constexpr std::chrono::milliseconds kNoAnswerTimeout{30000};
  void SetNoAnswerTimeout(std::chrono::milliseconds timeout) { no_answer_ms_ = timeout; }
  std::chrono::milliseconds NoAnswerTimeout() const { return no_answer_ms_; }
  // How long a Navigate may take as a whole before the load is stopped and
  // fails with "no complete answer from HOST in N s" (Stop ends it sooner).
  static constexpr std::chrono::milliseconds kPageDeadline{kPageDeadlineSeconds * 1000};
  void SetPageDeadline(std::chrono::milliseconds deadline) { deadline_ms_ = deadline; }
  std::chrono::milliseconds PageDeadline() const { return deadline_ms_; }

  // The address of the last Navigate ("" before the first).
  const std::string& LastNavigateTarget() const { return target_text_; }
  // True when `url` is the address of the last Navigate or one that its load
  // was redirected to (a download it turned into carries such an address).
  bool LastNavigateLeadsTo(const QUrl& url) const;

 signals:
  // The Tag has just become "alldone" (a load finished, failed or was stopped).
  void pageDone();

 protected:
  // Links that ask for a new window open in this view.
  QWebEngineView* createWindow(QWebEnginePage::WebWindowType type) override;

 private:
  void OnLoadStarted();
  void OnLoadingChanged(const QWebEngineLoadingInfo& info);
  void OnUrlChanged(const QUrl& url);
  void OnProgress(int percent);
  void OnDownloadRequested(QWebEngineDownloadRequest* download);
  void OnRedirect(const QUrl& url);
  void OnNoAnswer();
  void OnPageDeadline();
  // Ends the load followed (or the one the user started) with `failure`.
  void Finish(const std::string& failure);

  // How long an aborted load waits for the download it may have turned into.
  static constexpr int kAbortedGraceMs = 1000;

  int ready_state_ = kUninitialized;
  std::string failure_;
  // The load of the last Navigate, until it ends.
  bool following_ = false;
  bool answered_ = false;    // the server has answered it
  bool user_load_ = false;   // a load the user started (a link, Back) is running
  std::vector<QUrl> chain_;  // its address and the redirects it took
  std::string target_text_;
  QTimer no_answer_;      // runs from Navigate until the first answer
  QTimer aborted_grace_;  // an aborted load may be a download about to be reported
  QTimer deadline_;       // runs from Navigate until the load ends
  std::chrono::milliseconds no_answer_ms_ = kNoAnswerTimeout;
  std::chrono::milliseconds deadline_ms_ = kPageDeadline;
  std::size_t body_max_bytes_ = kPageMaxBytes;
  QPointer<QEventLoop> body_wait_;
};

}  // namespace stratlyn
