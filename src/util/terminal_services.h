#pragma once
// Terminal versions of the platform services, for stratlyn-cli and for a core
// used without a window.

#include <iosfwd>
#include <string>

#include "util/clipboard.h"
#include "util/dialogs.h"
#include "util/events.h"

namespace stratlyn {

// Writes every message to a stream (stderr by default). Questions are asked on
// the terminal when `interactive` is set and stdin is a terminal; otherwise
// they take the cautious answer (No, Cancel) and say so.
class TerminalDialogs : public Dialogs {
 public:
  explicit TerminalDialogs(bool interactive = false);
  TerminalDialogs(std::ostream& out, bool interactive);
  MsgAnswer Show(const std::string& text, MsgButtons buttons, MsgIcon icon,
                 const std::string& title) override;

 private:
  std::ostream& out_;
  bool interactive_;
};

// Nothing to process in a terminal; the busy pointer is ignored.
class TerminalEvents : public Events {
 public:
  void ProcessPending() override {}
  void SetBusy(bool) override {}
};

// A clipboard that lives in the process.
class MemoryClipboard : public Clipboard {
 public:
  void Clear() override { text_.clear(); }
  void SetText(const std::string& text) override { text_ = text; }
  std::string Text() const override { return text_; }

 private:
  std::string text_;
};

}  // namespace stratlyn
