#include "tools/calcs_widget.h"

#include <QGuiApplication>
#include <QPointer>
#include <QScreen>
#include <QWidget>

namespace stratlyn {
namespace {

QPointer<QWidget>& Instance() {
  static QPointer<QWidget> window;
  return window;
}

}  // namespace

QWidget* ShowCalculatorsWindow(QWidget* mainWindow) {
  QPointer<QWidget>& window = Instance();
  if (!window) {
    window = new QWidget(nullptr);
    window->setObjectName("calcs");
    window->setWindowTitle("ZEL Calculators");
    window->resize(520, 400);
    QScreen* screen = mainWindow ? mainWindow->screen() : QGuiApplication::primaryScreen();
    if (screen) {
      const QRect area = screen->availableGeometry();
      window->move(area.center() - window->rect().center());
    }
  }
  window->show();
  window->raise();
  window->activateWindow();
  return window;
}

void CloseCalculatorsWindow() {
  QPointer<QWidget>& window = Instance();
  if (window) {
    window->close();
    delete window.data();
  }
}

}  // namespace stratlyn
