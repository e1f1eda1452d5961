// A probe for the package check: preloaded into the unmodified `stratlyn`
// (LD_PRELOAD), it waits STRATLYN_PROBE_DELAY_MS (default 3000) after the
// application object is created, then prints to standard output what a user
// would see: every visible top-level window's title, the text of every
// visible label and entry field, and the address of every web view (any
// widget with a "url" property), one line each, prefixed "probe: ", and
// whether the application icon draws.

#include <QApplication>
#include <QByteArray>
#include <QIcon>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QTimer>
#include <QUrl>
#include <QVariant>
#include <QWidget>
#include <cstdio>

namespace {

void PrintLine(const char* kind, const QWidget* widget, const QString& text) {
  const QByteArray name = widget->objectName().toUtf8();
  const QByteArray shown = text.simplified().toUtf8();
  std::printf("probe: %s %s: %s\n", kind, name.isEmpty() ? "-" : name.constData(),
              shown.constData());
}

// True when the icon draws at least one visible pixel at 64 px.
bool IconDraws(const QIcon& icon) {
  const QImage image = icon.pixmap(64, 64).toImage();
  for (int y = 0; y < image.height(); ++y) {
    for (int x = 0; x < image.width(); ++x) {
      if (qAlpha(image.pixel(x, y)) > 0) return true;
    }
  }
  return false;
}

void PrintVisibleTexts() {
  std::printf("probe: icon %s\n", IconDraws(QApplication::windowIcon()) ? "drawn" : "missing");
  for (QWidget* widget : QApplication::topLevelWidgets()) {
    if (widget->isVisible()) PrintLine("window", widget, widget->windowTitle());
  }
  for (QWidget* widget : QApplication::allWidgets()) {
    if (!widget->isVisible()) continue;
    const QVariant url = widget->property("url");
    if (url.typeId() == QMetaType::QUrl && !url.toUrl().isEmpty()) {
      PrintLine("page", widget, url.toUrl().toString());
    }
    if (const auto* label = qobject_cast<QLabel*>(widget)) {
      if (!label->text().isEmpty()) PrintLine("label", widget, label->text());
    } else if (const auto* edit = qobject_cast<QLineEdit*>(widget)) {
      if (!edit->text().isEmpty()) PrintLine("field", widget, edit->text());
    }
  }
  std::printf("probe: done\n");
  std::fflush(stdout);
}

void ScheduleProbe() {
  // Not for the web engine's helper processes, which inherit the preload.
  qunsetenv("LD_PRELOAD");
  if (qobject_cast<QApplication*>(QCoreApplication::instance()) == nullptr) return;
  bool ok = false;
  int delay_ms = qEnvironmentVariableIntValue("STRATLYN_PROBE_DELAY_MS", &ok);
  if (!ok || delay_ms < 0) delay_ms = 3000;
  QTimer::singleShot(delay_ms, QCoreApplication::instance(), &PrintVisibleTexts);
}

}  // namespace

Q_COREAPP_STARTUP_FUNCTION(ScheduleProbe)
