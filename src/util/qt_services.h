#pragma once
// The platform services on Qt: message boxes on QMessageBox, pending events on
// QCoreApplication::processEvents with the override cursor as the busy
// pointer, and the system clipboard. The window installs one of each.

#include <string>

#include "util/clipboard.h"
#include "util/dialogs.h"
#include "util/events.h"

class QWidget;

namespace stratlyn {

class QtDialogs : public Dialogs {
 public:
  // parent: the window the boxes are centred on (may be nullptr; not owned).
  explicit QtDialogs(QWidget* parent = nullptr) : parent_(parent) {}
  void SetParent(QWidget* parent) { parent_ = parent; }
  // A modal QMessageBox; the busy pointer is lifted while it is open.
  MsgAnswer Show(const std::string& text, MsgButtons buttons, MsgIcon icon,
                 const std::string& title) override;

 private:
  QWidget* parent_;
};

class QtEvents : public Events {
 public:
  ~QtEvents() override;
  void ProcessPending() override;
  void WaitPending() override;
  // Nested SetBusy(true) calls are not counted: one SetBusy(false) restores
  // the default pointer, as the classic pointer property does.
  void SetBusy(bool busy) override;
  bool Busy() const { return busy_; }

 private:
  bool busy_ = false;
};

class QtClipboard : public Clipboard {
 public:
  void Clear() override;
  void SetText(const std::string& text) override;
  std::string Text() const override;
};

}  // namespace stratlyn
