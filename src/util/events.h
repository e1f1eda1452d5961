#pragma once
// Pending window events and the busy pointer, for long work on the one
// user-interface thread.

namespace stratlyn {

class Events {
 public:
  virtual ~Events() = default;
  // Lets pending window events run (clicks, repaints, page loads).
  virtual void ProcessPending() = 0;
  // For wait loops: lets pending events run, and when there are none waits a
  // little for the next one instead of spinning. Never blocks for long.
  virtual void WaitPending() { ProcessPending(); }
  // Shows the hourglass pointer (true) or restores the default one (false).
  virtual void SetBusy(bool busy) = 0;
};

}  // namespace stratlyn
