#include "shell/qt_web_browser.h"

#include <QEventLoop>
#include <QTimer>
#include <QUrl>
#include <QWebEngineHistory>
#include <QWebEngineHttpRequest>
#include <QWebEnginePage>
#include <QWebEngineProfile>

namespace stratlyn {
namespace {

// A page whose JavaScript dialogs and console noise are dropped while the
// view is silent.
class SilentPage : public QWebEnginePage {
 public:
  explicit SilentPage(QObject* parent) : QWebEnginePage(parent) {}
  bool silent = false;

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
};

}  // namespace

WebBrowser::WebBrowser(QWidget* parent) : QWebEngineView(parent) {
  setPage(new SilentPage(this));
  connect(this, &QWebEngineView::loadStarted, this, &WebBrowser::OnLoadStarted);
  connect(this, &QWebEngineView::loadFinished, this, &WebBrowser::OnLoadFinished);
}

WebBrowser::~WebBrowser() {
  if (body_wait_) {
    body_wait_->quit();
  }
}

void WebBrowser::Navigate(const std::string& url, int flags) {
  const QUrl target = QUrl::fromUserInput(QString::fromStdString(url));
  ready_state_ = kLoading;
  awaiting_start_ = true;
  if (!target.isValid() || target.isEmpty()) {
    // Nothing will load: count it as a finished (failed) load, after the
    // caller has had the chance to clear the Tag.
    QTimer::singleShot(0, this, [this] {
      if (awaiting_start_) {
        awaiting_start_ = false;
        MarkDone();
      }
    });
    return;
  }
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
  stop();
  awaiting_start_ = false;
  if (body_wait_) {
    body_wait_->quit();
  }
  ready_state_ = kComplete;
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
  // The callback may come after this call has given up; it then must not
  // touch the local variables, hence the guard object.
  QPointer<QEventLoop> guard(&loop);
  page()->runJavaScript(QStringLiteral("document.body ? document.body.innerHTML : ''"),
                        [guard, &html, &answered](const QVariant& result) {
                          if (!guard) {
                            return;
                          }
                          html = result.toString();
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
  return answered ? html.toStdString() : std::string();
}

void WebBrowser::SetSilent(bool silent) { static_cast<SilentPage*>(page())->silent = silent; }

bool WebBrowser::Silent() const { return static_cast<SilentPage*>(page())->silent; }

QWebEngineView* WebBrowser::createWindow(QWebEnginePage::WebWindowType) { return this; }

void WebBrowser::OnLoadStarted() {
  awaiting_start_ = false;
  ready_state_ = kLoading;
  SetTag("");
}

void WebBrowser::OnLoadFinished(bool) {
  if (awaiting_start_) {
    return;  // the end of a load that Navigate replaced
  }
  MarkDone();
}

void WebBrowser::MarkDone() {
  ready_state_ = kComplete;
  SetTag(kPageDone);
  emit pageDone();
}

}  // namespace stratlyn
