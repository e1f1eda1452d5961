#include "shell/address_box.h"

#include <algorithm>

namespace stratlyn {

bool NavigateFromAddressBox(AddressBox& box, BrowserView& browser, Events& events,
                            std::string* scratch) {
  const std::string text = box.text;
  if (scratch != nullptr) {
    *scratch = text;
  }
  if (text.empty()) {
    return false;
  }
  if (browser.LocationURL() == text) {
    return false;
  }

  browser.Navigate(text);
  browser.SetTag("");
  events.SetBusy(true);
  while (browser.Tag() != kPageDone) {
    events.WaitPending();
  }
  events.SetBusy(false);

  const std::string shown = browser.LocationURL();
  if (std::find(box.entries.begin(), box.entries.end(), shown) == box.entries.end()) {
    box.entries.push_back(shown);
  }
  box.text = shown;
  events.ProcessPending();
  return true;
}

}  // namespace stratlyn
