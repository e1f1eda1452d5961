#pragma once
// Test doubles of the platform services. ScriptedDialogs records every box
// and answers from a queue (OK, or the cautious answer, when the queue is
// empty); CountingEvents counts calls; the clipboard is MemoryClipboard.

#include <deque>
#include <functional>
#include <string>
#include <vector>

#include "util/dialogs.h"
#include "util/events.h"
#include "util/services.h"
#include "util/terminal_services.h"

namespace stratlyn::testing {

struct ShownMessage {
  std::string text;
  MsgButtons buttons;
  MsgIcon icon;
  std::string title;
};

class ScriptedDialogs : public Dialogs {
 public:
  // Answers given in order to the boxes that offer a choice; OK-only boxes
  // take no answer from the queue.
  void Answer(MsgAnswer answer) { answers_.push_back(answer); }

  MsgAnswer Show(const std::string& text, MsgButtons buttons, MsgIcon icon,
                 const std::string& title) override {
    shown_.push_back({text, buttons, icon, title});
    if (buttons == MsgButtons::Ok) return MsgAnswer::Ok;
    if (answers_.empty()) return CautiousAnswer(buttons);
    const MsgAnswer a = answers_.front();
    answers_.pop_front();
    return a;
  }

  const std::vector<ShownMessage>& Shown() const { return shown_; }
  size_t Count() const { return shown_.size(); }
  const ShownMessage& Last() const { return shown_.back(); }
  std::string LastText() const { return shown_.empty() ? std::string() : shown_.back().text; }
  size_t PendingAnswers() const { return answers_.size(); }
  void Reset() {
    shown_.clear();
    answers_.clear();
  }

 private:
  std::deque<MsgAnswer> answers_;
  std::vector<ShownMessage> shown_;
};

class CountingEvents : public Events {
 public:
  void ProcessPending() override {
    ++pending_calls;
    if (on_pending) on_pending();
  }
  void SetBusy(bool busy) override {
    this->busy = busy;
    busy ? ++busy_on : ++busy_off;
  }
  int pending_calls = 0;
  int busy_on = 0;
  int busy_off = 0;
  bool busy = false;
  // Runs at every ProcessPending (a test can press "Stop" from here).
  std::function<void()> on_pending;
};

// Installs fresh fakes for one test and restores the previous services after.
struct FakeServices {
  ScriptedDialogs dialogs;
  CountingEvents events;
  MemoryClipboard clipboard;
  ScopedServices scope{&dialogs, &events, &clipboard};
};

}  // namespace stratlyn::testing
