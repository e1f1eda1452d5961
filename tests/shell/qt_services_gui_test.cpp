// The platform services on Qt: message boxes, busy pointer, clipboard.

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QGuiApplication>
#include <QMessageBox>
#include <QTimer>

#include "util/qt_services.h"

namespace stratlyn {
namespace {

// Presses the button of the open message box whose role is `role` once it shows.
void PressLater(QMessageBox::StandardButton button, QString* title, QString* text,
                QMessageBox::Icon* icon, int* buttons) {
  QTimer::singleShot(50, [=] {
    auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
    if (box == nullptr) return;
    *title = box->windowTitle();
    *text = box->text();
    *icon = box->icon();
    *buttons = static_cast<int>(box->standardButtons());
    box->button(button)->click();
  });
}

TEST(QtServices, MessageBoxesShowTextIconButtonsAndTitle) {
  QtDialogs dialogs;
  QString title, text;
  QMessageBox::Icon icon = QMessageBox::NoIcon;
  int buttons = 0;
  PressLater(QMessageBox::No, &title, &text, &icon, &buttons);
  EXPECT_EQ(dialogs.Show("Go on?", MsgButtons::YesNo, MsgIcon::Question, "Quorvale"),
            MsgAnswer::No);
  EXPECT_EQ(title, "Quorvale");
  EXPECT_EQ(text, "Go on?");
  EXPECT_EQ(icon, QMessageBox::Question);
  EXPECT_EQ(buttons, QMessageBox::Yes | QMessageBox::No);

  PressLater(QMessageBox::Cancel, &title, &text, &icon, &buttons);
  EXPECT_EQ(dialogs.Show("Start?", MsgButtons::OkCancel, MsgIcon::None, "Quorvale"),
            MsgAnswer::Cancel);
  EXPECT_EQ(icon, QMessageBox::NoIcon);

  // A box under the busy pointer shows the normal one and gives it back.
  QtEvents events;
  events.SetBusy(true);
  PressLater(QMessageBox::Ok, &title, &text, &icon, &buttons);
  dialogs.Critical("The strike price must be positive");
  EXPECT_EQ(icon, QMessageBox::Critical);
  EXPECT_EQ(buttons, QMessageBox::Ok);
  ASSERT_NE(QGuiApplication::overrideCursor(), nullptr);
  EXPECT_EQ(QGuiApplication::overrideCursor()->shape(), Qt::WaitCursor);
  events.SetBusy(false);
}

TEST(QtServices, BusyPointerAndClipboard) {
  QtEvents events;
  events.SetBusy(true);
  events.SetBusy(true);  // not counted twice
  EXPECT_TRUE(events.Busy());
  events.SetBusy(false);
  EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);
  events.ProcessPending();

  QtClipboard clipboard;
  clipboard.Clear();
  clipboard.SetText("7.48794\r0.70020");
  EXPECT_EQ(clipboard.Text(), "7.48794\r0.70020");
  clipboard.Clear();
  EXPECT_EQ(clipboard.Text(), "");
}

}  // namespace
}  // namespace stratlyn
