#include "util/grid_clipboard.h"

#include <algorithm>
#include <exception>
#include <limits>

#include "util/error_handler.h"
#include "util/grid.h"
#include "util/locale_info.h"
#include "util/services.h"
#include "util/zel_error.h"

namespace stratlyn {

namespace {

// The grid routines hand ErrorHandler the error number as a 16-bit integer
// (0 when it does not fit).
void Report(const std::exception& e) {
  if (const auto* z = dynamic_cast<const zelError*>(&e)) {
    const int n = z->Number();
    const bool fits =
        n >= std::numeric_limits<int16_t>::min() && n <= std::numeric_limits<int16_t>::max();
    ErrorHandler(zelError(fits ? n : 0, z->Description()));
  } else {
    ErrorHandler(e);
  }
}

void RemoveAll(std::string& text, const std::string& what) {
  if (what.empty()) {
    return;
  }
  for (size_t pos = text.find(what); pos != std::string::npos; pos = text.find(what, pos)) {
    text.erase(pos, what.size());
  }
}

}  // namespace

void ReplaceLineFeeds(std::string& text) { std::replace(text.begin(), text.end(), '\n', ' '); }

void StripCommas(std::string& text) {
  if (text.find(',') == std::string::npos) {
    return;
  }
  text.erase(std::remove(text.begin(), text.end(), ','), text.end());
}

void CopyGridToClipboard(Grid& grid) {
  try {
    Clipboard& clipboard = AppClipboard();
    clipboard.Clear();
    clipboard.SetText(grid.Clip());
  } catch (const std::exception& e) {
    Report(e);
  }
}

void PasteClipboardToGrid(Grid& grid) {
  try {
    std::string text = AppClipboard().Text();
    ReplaceLineFeeds(text);
    const EntryLocale& locale = CurrentEntryLocale();
    if (locale.decimal_point == ",") {
      // Here the comma is the decimal separator: removing it would turn 1,5
      // into 15. The locale's own grouping separator goes instead.
      RemoveAll(text, locale.thousands_sep);
    } else {
      StripCommas(text);
    }
    grid.SetClip(text);
  } catch (const std::exception& e) {
    Report(e);
  }
}

}  // namespace stratlyn
