#pragma once
// Pending window events and the busy pointer, for long work on the one
// user-interface thread.

namespace stratlyn {

class Events {
 public:
  virtual ~Events() = default;
  // Lets pending window events run (clicks, repaints, page loads).
  virtual void ProcessPending() = 0;
  // Shows the hourglass pointer (true) or restores the default one (false).
  virtual void SetBusy(bool busy) = 0;
};

}  // namespace stratlyn
