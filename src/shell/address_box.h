#pragma once
// The bottom browser's address box: its list of addresses and the
// navigation that Enter or a list choice starts.

#include <string>
#include <vector>

#include "util/browser_view.h"
#include "util/events.h"

namespace stratlyn {

struct AddressBox {
  std::vector<std::string> entries;  // the drop-down list, never reordered
  std::string text;                  // the edit text
};

// Loads the box's text into `browser` and waits (letting events run, with the
// busy pointer) until the browser's Tag says the page is done, which a
// finished load or "Stop" brings. Then puts the browser's address (after any
// redirection) in the box, appending it to the list when it is new. An empty
// text, or the address the browser already shows, loads nothing.
// `scratch` receives the box's text first (the program's shared scratch
// string; may be nullptr). Returns true when it navigated.
bool NavigateFromAddressBox(AddressBox& box, BrowserView& browser, Events& events,
                            std::string* scratch = nullptr);

}  // namespace stratlyn
