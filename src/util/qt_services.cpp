#include "util/qt_services.h"

#include <QAbstractEventDispatcher>
#include <QApplication>
#include <QClipboard>
#include <QCursor>
#include <QGuiApplication>
#include <QMessageBox>
#include <QThread>
#include <QTimer>

namespace stratlyn {
namespace {

QMessageBox::Icon ToQtIcon(MsgIcon icon) {
  switch (icon) {
    case MsgIcon::Critical:
      return QMessageBox::Critical;
    case MsgIcon::Question:
      return QMessageBox::Question;
    case MsgIcon::Exclamation:
      return QMessageBox::Warning;
    case MsgIcon::Information:
      return QMessageBox::Information;
    case MsgIcon::None:
      break;
  }
  return QMessageBox::NoIcon;
}

}  // namespace

MsgAnswer QtDialogs::Show(const std::string& text, MsgButtons buttons, MsgIcon icon,
                          const std::string& title) {
  QMessageBox box(ToQtIcon(icon), QString::fromStdString(title), QString::fromStdString(text),
                  QMessageBox::NoButton, parent_);
  box.setTextFormat(Qt::PlainText);
  switch (buttons) {
    case MsgButtons::Ok:
      box.setStandardButtons(QMessageBox::Ok);
      break;
    case MsgButtons::OkCancel:
      box.setStandardButtons(QMessageBox::Ok | QMessageBox::Cancel);
      box.setDefaultButton(QMessageBox::Ok);
      break;
    case MsgButtons::YesNo:
      box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
      box.setDefaultButton(QMessageBox::Yes);
      break;
  }
  // A box asks for the user's attention: show the normal pointer over it.
  const bool busy = QGuiApplication::overrideCursor() != nullptr;
  if (busy) {
    QGuiApplication::setOverrideCursor(Qt::ArrowCursor);
  }
  const int pressed = box.exec();
  if (busy) {
    QGuiApplication::restoreOverrideCursor();
  }
  switch (pressed) {
    case QMessageBox::Yes:
      return MsgAnswer::Yes;
    case QMessageBox::No:
      return MsgAnswer::No;
    case QMessageBox::Cancel:
      return MsgAnswer::Cancel;
    case QMessageBox::Ok:
      return MsgAnswer::Ok;
    default:
      break;
  }
  // Closed with Escape or the window's close button: the cautious answer.
  return CautiousAnswer(buttons);
}

QtEvents::~QtEvents() {
  if (busy_ && QGuiApplication::instance() != nullptr) {
    QGuiApplication::restoreOverrideCursor();
  }
}

void QtEvents::ProcessPending() {
  QAbstractEventDispatcher* dispatcher = QAbstractEventDispatcher::instance();
  const bool handled = dispatcher != nullptr ? dispatcher->processEvents(QEventLoop::AllEvents)
                                             : (QCoreApplication::processEvents(), true);
  // Waits poll in a loop; with nothing to do, give the page renderers (other
  // processes on the same cores) their turn.
  if (!handled) {
    QThread::yieldCurrentThread();
  }
}

void QtEvents::WaitPending() {
  QAbstractEventDispatcher* dispatcher = QAbstractEventDispatcher::instance();
  if (dispatcher == nullptr) {
    ProcessPending();
    return;
  }
  // Sleep until the next event, or 20 ms at the most, so that a wait loop
  // leaves the cores to the page renderers.
  QTimer wake;
  wake.setSingleShot(true);
  wake.start(20);
  dispatcher->processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
}

void QtEvents::SetBusy(bool busy) {
  if (busy == busy_) {
    return;
  }
  busy_ = busy;
  if (busy) {
    QGuiApplication::setOverrideCursor(Qt::WaitCursor);
  } else {
    QGuiApplication::restoreOverrideCursor();
  }
}

void QtClipboard::Clear() { QGuiApplication::clipboard()->clear(); }

void QtClipboard::SetText(const std::string& text) {
  QGuiApplication::clipboard()->setText(QString::fromStdString(text));
}

std::string QtClipboard::Text() const { return QGuiApplication::clipboard()->text().toStdString(); }

}  // namespace stratlyn
