#include "marketdata/page_figure.h"

#include <cctype>

#include "util/text.h"

namespace stratlyn {
namespace {

constexpr std::string_view kNbsp = "\xC2\xA0";
constexpr std::string_view kNarrowNbsp = "\xE2\x80\xAF";
constexpr std::string_view kUnicodeMinus = "\xE2\x88\x92";

bool IsDigit(char c) { return std::isdigit(static_cast<unsigned char>(c)) != 0; }

// Length of the blank at the start of `s` (ASCII blank or tab, NBSP, narrow NBSP).
size_t BlankAt(std::string_view s) {
  if (s.empty()) {
    return 0;
  }
  if (s[0] == ' ' || s[0] == '\t' || s[0] == '\r' || s[0] == '\n') {
    return 1;
  }
  if (s.substr(0, kNbsp.size()) == kNbsp) {
    return kNbsp.size();
  }
  if (s.substr(0, kNarrowNbsp.size()) == kNarrowNbsp) {
    return kNarrowNbsp.size();
  }
  return 0;
}

std::string_view TrimBlanks(std::string_view s) {
  while (size_t n = BlankAt(s)) {
    s.remove_prefix(n);
  }
  for (;;) {
    bool cut = false;
    for (std::string_view b :
         {std::string_view(" "), std::string_view("\t"), std::string_view("\r"),
          std::string_view("\n"), kNbsp, kNarrowNbsp}) {
      if (s.size() >= b.size() && s.substr(s.size() - b.size()) == b) {
        s.remove_suffix(b.size());
        cut = true;
      }
    }
    if (!cut) {
      return s;
    }
  }
}

// Length of the group separator at the start of `s`: ',' or a blank.
size_t SeparatorAt(std::string_view s) {
  if (!s.empty() && s[0] == ',') {
    return 1;
  }
  if (!s.empty() && (s[0] == '\t' || s[0] == '\r' || s[0] == '\n')) {
    return 0;
  }
  return BlankAt(s);
}

}  // namespace

std::optional<double> ReadFetchedFigure(std::string_view text, FigureKind kind) {
  std::string_view s = TrimBlanks(text);
  if (kind == FigureKind::kYield && !s.empty() && s.back() == '%') {
    s.remove_suffix(1);
    s = TrimBlanks(s);
  }
  bool negative = false;
  if (!s.empty() && (s[0] == '-' || s[0] == '+')) {
    negative = s[0] == '-';
    s.remove_prefix(1);
  } else if (s.substr(0, kUnicodeMinus.size()) == kUnicodeMinus) {
    negative = true;
    s.remove_prefix(kUnicodeMinus.size());
  }
  // The integer part: plain digits, or 1 to 3 digits then groups of three
  // after one and the same separator.
  std::string digits;
  size_t i = 0;
  while (i < s.size() && IsDigit(s[i])) {
    digits += s[i++];
  }
  if (digits.empty()) {
    // ".5" is read as 0.5; a sign or a dot alone is nothing.
    if (i >= s.size() || s[i] != '.') {
      return std::nullopt;
    }
  }
  std::string_view separator;
  while (i < s.size()) {
    const size_t n = SeparatorAt(s.substr(i));
    if (n == 0) {
      break;
    }
    const std::string_view sep = s.substr(i, n);
    if (!separator.empty() && sep != separator) {
      return std::nullopt;
    }
    if (separator.empty() && (digits.empty() || digits.size() > 3)) {
      return std::nullopt;
    }
    separator = sep;
    size_t j = i + n;
    size_t group = 0;
    while (j < s.size() && IsDigit(s[j]) && group < 4) {
      ++j;
      ++group;
    }
    if (group != 3) {
      return std::nullopt;
    }
    digits.append(s.substr(i + n, 3));
    i = j;
  }
  if (i < s.size() && s[i] == '.') {
    digits += '.';
    ++i;
    const size_t from = i;
    while (i < s.size() && IsDigit(s[i])) {
      digits += s[i++];
    }
    if (i == from) {
      return std::nullopt;
    }
  }
  if (i != s.size()) {
    return std::nullopt;
  }
  const auto value = ReadDotDecimal(digits);
  if (!value) {
    return std::nullopt;
  }
  return negative ? -*value : *value;
}

std::string NotAFigureMessage(const std::string& page, const std::string& text) {
  return "The text \"" + text + "\" on " + page + " is not a figure";
}

}  // namespace stratlyn
