#pragma once
// Waiting for a page in a browser view on the user-interface thread.

#include <string>

#include "util/browser_view.h"

namespace stratlyn {

// Polls the view's ready state while letting pending window events run, until
// the page is complete (4: also after a failed load or "Stop") or `stop_flag`
// becomes true (set by a "Stop" handler that runs inside the wait). Lets
// events run once more at the end. False when it ended on the flag. The view
// bounds the wait: the window's view ends every load that is not complete
// within its deadline (60 s) with that failure, the terminal's fetches it at
// once within theirs.
bool WaitForPage(BrowserView& view, const bool& stop_flag);

// Clears the view's tag, navigates it to `url` and waits as above.
bool LoadPage(BrowserView& view, const std::string& url, const bool& stop_flag);

// Throws FetchError "The page URL could not be loaded: CAUSE" when the view
// reports why its last load failed (BrowserView::LoadFailure); does nothing
// otherwise. `url` names the page in the message.
void CheckPageLoaded(const BrowserView& view, const std::string& url);

}  // namespace stratlyn
