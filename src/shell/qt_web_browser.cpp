#include "shell/qt_web_browser.h"

#include <QEventLoop>
#include <QRegularExpression>
#include <QTimer>
#include <QUrl>
#include <QWebEngineDownloadRequest>
#include <QWebEngineHistory>
#include <QWebEngineHttpRequest>
#include <QWebEngineLoadingInfo>
#include <QWebEnginePage>
#include <QWebEngineProfile>
#include <algorithm>
#include <functional>

#include "marketdata/http_fetch.h"

namespace stratlyn {
namespace {

// A page whose JavaScript dialogs and console noise are dropped while the
// view is silent, and which tells its view of redirects of the main frame.
class SilentPage : public QWebEnginePage {
 public:
  explicit SilentPage(QObject* parent) : QWebEnginePage(parent) {}
  bool silent = false;
  std::function<void(const QUrl&)> on_redirect;

 protected:
  void javaScriptAlert(const QUrl& origin, const QString& msg) override {
    if (!silent) {
      QWebEnginePage::javaScriptAlert(origin, msg);
    }
  }
  bool javaScriptConfirm(const QUrl& origin, const QString& msg) override {
    return silent ? false : QWebEnginePage::javaScriptConfirm(origin, msg);
  }
  bool javaScriptPrompt(const QUrl& origin, const QString& msg, const QString& def,
                        QString* result) override {
    return silent ? false : QWebEnginePage::javaScriptPrompt(origin, msg, def, result);
  }
  void javaScriptConsoleMessage(JavaScriptConsoleMessageLevel, const QString&, int,
                                const QString&) override {}
  bool acceptNavigationRequest(const QUrl& url, NavigationType type, bool main_frame) override {
    if (main_frame && type == NavigationTypeRedirect && on_redirect) {
      on_redirect(url);
    }
    return QWebEnginePage::acceptNavigationRequest(url, type, main_frame);
  }
};

// Addresses compared as loads report them (no fragment, no trailing slash).
QUrl Comparable(const QUrl& url) {
  return url.adjusted(QUrl::RemoveFragment | QUrl::StripTrailingSlash |
                      QUrl::NormalizePathSegments);
}

// The network's words for a failure: "net::ERR_CONNECTION_REFUSED" becomes
// "connection refused".
std::string NetworkText(const QString& error) {
  QString text = error;
  text.remove(QStringLiteral("net::"));
  text.remove(QRegularExpression(QStringLiteral("^ERR_")));
  text = text.toLower().replace('_', ' ').trimmed();
  return text.isEmpty() ? std::string("the page could not be loaded") : text.toStdString();
}

long WholeSeconds(std::chrono::milliseconds timeout) {
  return std::max<long>(1, static_cast<long>((timeout.count() + 500) / 1000));
}

// The time-out in the words of the command line's fetches ("no answer in 30 s").
std::string NoAnswerWords(std::chrono::milliseconds timeout) {
  return NoAnswerText(WholeSeconds(timeout));
}

// The body HTML, or false when it is longer than a page may be (counted in
// UTF-16 units, about its bytes): so much is not even copied out.
QString BodyScript(std::size_t max_bytes) {
  return QStringLiteral(
             "(function(){var h=document.body?document.body.innerHTML:'';"
             "return h.length>%1?false:h;})()")
      .arg(static_cast<qulonglong>(max_bytes));
}

}  // namespace

WebBrowser::WebBrowser(QWidget* parent) : QWebEngineView(parent) {
  auto* silent_page = new SilentPage(this);
  silent_page->on_redirect = [this](const QUrl& url) { OnRedirect(url); };
  setPage(silent_page);
  no_answer_.setSingleShot(true);
  aborted_grace_.setSingleShot(true);
  aborted_grace_.setInterval(kAbortedGraceMs);
  deadline_.setSingleShot(true);
  connect(&no_answer_, &QTimer::timeout, this, &WebBrowser::OnNoAnswer);
  connect(&deadline_, &QTimer::timeout, this, &WebBrowser::OnPageDeadline);
  connect(&aborted_grace_, &QTimer::timeout, this, [this] { Finish(kNoPageFailure); });
  connect(this, &QWebEngineView::loadStarted, this, &WebBrowser::OnLoadStarted);
  connect(this, &QWebEngineView::urlChanged, this, &WebBrowser::OnUrlChanged);
  connect(this, &QWebEngineView::loadProgress, this, &WebBrowser::OnProgress);
  connect(page(), &QWebEnginePage::loadingChanged, this, &WebBrowser::OnLoadingChanged);
  connect(page()->profile(), &QWebEngineProfile::downloadRequested, this,
          &WebBrowser::OnDownloadRequested);
}

WebBrowser::~WebBrowser() {
  if (body_wait_) {
    body_wait_->quit();
  }
}

void WebBrowser::Navigate(const std::string& url, int flags) {
  const QUrl target = QUrl::fromUserInput(QString::fromStdString(url));
  ready_state_ = kLoading;
  failure_.clear();
  aborted_grace_.stop();
  target_text_ = url;
  chain_.assign(1, Comparable(target));
  following_ = true;
  answered_ = false;
  user_load_ = false;
  if (!target.isValid() || target.isEmpty()) {
    // Nothing will load: count it as a finished (failed) load, after the
    // caller has had the chance to clear the Tag.
    QTimer::singleShot(0, this, [this] { Finish(kInvalidAddressFailure); });
    return;
  }
  no_answer_.start(no_answer_ms_);
  deadline_.start(deadline_ms_);
  if (flags & kNoReadFromCache) {
    QWebEngineHttpRequest request(target);
    request.setHeader("Cache-Control", "no-cache");
    request.setHeader("Pragma", "no-cache");
    load(request);
  } else {
    load(target);
  }
}

bool WebBrowser::GoBack() {
  if (!history()->canGoBack()) {
    return false;
  }
  back();
  return true;
}

bool WebBrowser::GoForward() {
  if (!history()->canGoForward()) {
    return false;
  }
  forward();
  return true;
}

void WebBrowser::Stop() {
  const bool was_loading = ready_state_ != kComplete;
  stop();
  if (body_wait_) {
    body_wait_->quit();
  }
  no_answer_.stop();
  aborted_grace_.stop();
  deadline_.stop();
  following_ = false;
  user_load_ = false;
  if (was_loading) {
    failure_ = kStoppedFailure;
  }
  ready_state_ = kComplete;
}

bool WebBrowser::LastNavigateLeadsTo(const QUrl& url) const {
  const QUrl u = Comparable(url);
  return std::find(chain_.begin(), chain_.end(), u) != chain_.end();
}

std::string WebBrowser::LocationURL() const {
  return url().toString(QUrl::FullyEncoded).toStdString();
}

std::string WebBrowser::BodyHtml() {
  if (url().isEmpty()) {
    return {};
  }
  QEventLoop loop;
  body_wait_ = &loop;
  QString html;
  bool answered = false;
  bool too_large = false;
  // The callback may come after this call has given up; it then must not
  // touch the local variables, hence the guard object.
  QPointer<QEventLoop> guard(&loop);
  page()->runJavaScript(BodyScript(body_max_bytes_),
                        [guard, &html, &answered, &too_large](const QVariant& result) {
                          if (!guard) {
                            return;
                          }
                          too_large = result.typeId() == QMetaType::Bool;
                          html = too_large ? QString() : result.toString();
                          answered = true;
                          guard->quit();
                        });
  QTimer::singleShot(kBodyHtmlTimeoutMs, &loop, &QEventLoop::quit);
  QPointer<WebBrowser> self(this);
  if (!answered) {
    loop.exec();
  }
  if (!self) {
    return {};  // the view went away while the page was asked
  }
  body_wait_ = nullptr;
  if (too_large) {
    failure_ = AnswerTooLargeText(url().host().toStdString(), body_max_bytes_);
  }
  return answered ? html.toStdString() : std::string();
}

void WebBrowser::SetSilent(bool silent) { static_cast<SilentPage*>(page())->silent = silent; }

bool WebBrowser::Silent() const { return static_cast<SilentPage*>(page())->silent; }

QWebEngineView* WebBrowser::createWindow(QWebEnginePage::WebWindowType) { return this; }

void WebBrowser::OnLoadStarted() {
  // A load of the user's own (a link, Back, Forward) when no Navigate is
  // followed; a Navigate's load has set its state already.
  if (!following_) {
    ready_state_ = kLoading;
    failure_.clear();
    user_load_ = true;
  }
  SetTag("");
}

void WebBrowser::OnRedirect(const QUrl& url) {
  if (following_) {
    chain_.push_back(Comparable(url));
  }
}

void WebBrowser::OnUrlChanged(const QUrl& url) {
  if (following_ && LastNavigateLeadsTo(url)) {
    answered_ = true;
    no_answer_.stop();
  }
}

void WebBrowser::OnProgress(int percent) {
  // A Navigate of the address already shown reports no new address, only
  // its progress.
  if (following_ && percent > 0 && LastNavigateLeadsTo(url())) {
    answered_ = true;
    no_answer_.stop();
  }
}

void WebBrowser::OnLoadingChanged(const QWebEngineLoadingInfo& info) {
  if (info.status() == QWebEngineLoadingInfo::LoadStartedStatus) {
    return;
  }
  if (following_ ? !LastNavigateLeadsTo(info.url()) : !user_load_) {
    // The end of an earlier load that the last Navigate replaced, or the
    // echo of Stop().
    return;
  }
  switch (info.status()) {
    case QWebEngineLoadingInfo::LoadSucceededStatus:
      Finish({});
      break;
    case QWebEngineLoadingInfo::LoadStoppedStatus:
      // Not stopped by Stop(): the server's answer was no page, most often
      // a file to download, which the profile reports a moment later.
      no_answer_.stop();
      if (following_) {
        aborted_grace_.start();
      } else {
        Finish(kNoPageFailure);
      }
      break;
    case QWebEngineLoadingInfo::LoadFailedStatus:
      Finish(info.errorDomain() == QWebEngineLoadingInfo::HttpStatusCodeDomain
                 ? HttpStatusText(info.errorCode())
                 : NetworkText(info.errorString()));
      break;
    default:
      break;
  }
}

void WebBrowser::OnDownloadRequested(QWebEngineDownloadRequest* download) {
  if (download->page() != page() || !following_ || !LastNavigateLeadsTo(download->url())) {
    return;
  }
  Finish(kDownloadFailure);
}

void WebBrowser::OnNoAnswer() {
  if (!following_ || answered_) {
    return;
  }
  const std::string failure = NoAnswerWords(no_answer_ms_);
  stop();
  Finish(failure);
}

void WebBrowser::OnPageDeadline() {
  if (!following_) {
    return;
  }
  const std::string host = chain_.empty() ? std::string() : chain_.back().host().toStdString();
  const std::string failure = NoCompleteAnswerText(host, WholeSeconds(deadline_ms_));
  stop();
  Finish(failure);
}

void WebBrowser::Finish(const std::string& failure) {
  no_answer_.stop();
  aborted_grace_.stop();
  deadline_.stop();
  following_ = false;
  user_load_ = false;
  failure_ = failure;
  ready_state_ = kComplete;
  SetTag(kPageDone);
  emit pageDone();
}

}  // namespace stratlyn
