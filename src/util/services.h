#pragma once
// The platform services the core reaches: one current instance of each,
// installed by the window, the terminal tool or a test. Until one is
// installed the terminal versions serve.

#include "util/clipboard.h"
#include "util/dialogs.h"
#include "util/events.h"

namespace stratlyn {

Dialogs& AppDialogs();
Events& AppEvents();
Clipboard& AppClipboard();

// Install a service (not owned; it must outlive its use). nullptr restores the
// terminal version.
void SetAppDialogs(Dialogs* dialogs);
void SetAppEvents(Events* events);
void SetAppClipboard(Clipboard* clipboard);

// Installs the given services for the lifetime of the guard and restores the
// previous ones afterwards. Any argument may be nullptr to leave it alone.
class ScopedServices {
 public:
  ScopedServices(Dialogs* dialogs, Events* events = nullptr, Clipboard* clipboard = nullptr);
  ~ScopedServices();
  ScopedServices(const ScopedServices&) = delete;
  ScopedServices& operator=(const ScopedServices&) = delete;

 private:
  Dialogs* saved_dialogs_;
  Events* saved_events_;
  Clipboard* saved_clipboard_;
};

}  // namespace stratlyn
