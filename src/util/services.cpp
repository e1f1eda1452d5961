#include "util/services.h"

#include "util/terminal_services.h"

namespace stratlyn {
namespace {

TerminalDialogs& DefaultDialogs() {
  static TerminalDialogs dialogs;
  return dialogs;
}
TerminalEvents& DefaultEvents() {
  static TerminalEvents events;
  return events;
}
MemoryClipboard& DefaultClipboard() {
  static MemoryClipboard clipboard;
  return clipboard;
}

Dialogs* g_dialogs = nullptr;
Events* g_events = nullptr;
Clipboard* g_clipboard = nullptr;

}  // namespace

Dialogs& AppDialogs() { return g_dialogs ? *g_dialogs : DefaultDialogs(); }
Events& AppEvents() { return g_events ? *g_events : DefaultEvents(); }
Clipboard& AppClipboard() { return g_clipboard ? *g_clipboard : DefaultClipboard(); }

void SetAppDialogs(Dialogs* dialogs) { g_dialogs = dialogs; }
void SetAppEvents(Events* events) { g_events = events; }
void SetAppClipboard(Clipboard* clipboard) { g_clipboard = clipboard; }

ScopedServices::ScopedServices(Dialogs* dialogs, Events* events, Clipboard* clipboard)
    : saved_dialogs_(g_dialogs), saved_events_(g_events), saved_clipboard_(g_clipboard) {
  if (dialogs) {
    g_dialogs = dialogs;
  }
  if (events) {
    g_events = events;
  }
  if (clipboard) {
    g_clipboard = clipboard;
  }
}

ScopedServices::~ScopedServices() {
  g_dialogs = saved_dialogs_;
  g_events = saved_events_;
  g_clipboard = saved_clipboard_;
}

}  // namespace stratlyn
