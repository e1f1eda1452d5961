#include "util/grid_clipboard.h"

#include <algorithm>
#include <exception>
#include <limits>

#include "util/error_handler.h"
#include "util/grid.h"
#include "util/locale_info.h"
#include "util/numeric_entry.h"
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

}  // namespace

void ReplaceLineFeeds(std::string& text) { std::replace(text.begin(), text.end(), '\n', ' '); }

void StripCommas(std::string& text) {
  if (text.find(',') == std::string::npos) {
    return;
  }
  text.erase(std::remove(text.begin(), text.end(), ','), text.end());
}

void StripGroupSeparators(std::string& text) {
  // Cell by cell, read as every entry field reads a number: a separator
  // that cannot group digits ("1.5" under a decimal comma, "1,5" under a
  // decimal point) is the decimal it must be, and stays one. Removing every
  // "," or "." made such a number ten times larger.
  const std::string& point = CurrentEntryLocale().decimal_point;
  std::string out;
  out.reserve(text.size());
  size_t start = 0;
  while (start <= text.size()) {
    const size_t end = std::min(text.find_first_of("\t\r", start), text.size());
    const std::string cell = text.substr(start, end - start);
    const EntryReading r = ReadEntry(cell, EntryKind::kNumber);
    const bool plain = r.value && !r.blank && !r.not_available && !r.normalised.empty() &&
                       r.normalised.find_first_not_of("+-0123456789.eE") == std::string::npos;
    if (plain) {
      std::string number = r.normalised;
      const size_t dot = number.find('.');
      if (dot != std::string::npos && !point.empty()) {
        number.replace(dot, 1, point);
      }
      out += number;
    } else {
      out += cell;
    }
    if (end < text.size()) {
      out.push_back(text[end]);
    }
    start = end + 1;
  }
  text = std::move(out);
}

void NormalizeRowEnds(std::string& text) {
  std::string out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') {
      out.push_back('\r');
      ++i;
    } else if (text[i] == '\n') {
      out.push_back('\r');
    } else {
      out.push_back(text[i]);
    }
  }
  // The row end after the last row would open an empty row below it.
  if (!out.empty() && out.back() == '\r') {
    out.pop_back();
  }
  text = std::move(out);
}

void CopyGridToClipboard(Grid& grid) {
  try {
    Clipboard& clipboard = AppClipboard();
    clipboard.Clear();
    std::string text = grid.Clip();
    std::string crlf;
    crlf.reserve(text.size() + text.size() / 8);
    for (const char c : text) {
      crlf.push_back(c);
      if (c == '\r') {
        crlf.push_back('\n');
      }
    }
    clipboard.SetText(crlf);
  } catch (const std::exception& e) {
    Report(e);
  }
}

void PasteClipboardToGrid(Grid& grid) {
  try {
    std::string text = AppClipboard().Text();
    NormalizeRowEnds(text);
    ReplaceLineFeeds(text);
    StripGroupSeparators(text);
    grid.SetClip(text);
  } catch (const std::exception& e) {
    Report(e);
  }
}

}  // namespace stratlyn
