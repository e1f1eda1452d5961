#include "util/text.h"

#include <charconv>
#include <cmath>

namespace stratlyn {

namespace {

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

size_t SkipDigits(std::string_view s, size_t i) {
  while (i < s.size() && IsDigit(s[i])) {
    ++i;
  }
  return i;
}

}  // namespace

std::string_view TrimView(std::string_view text, std::string_view blanks) {
  const size_t first = text.find_first_not_of(blanks);
  if (first == std::string_view::npos) {
    return {};
  }
  return text.substr(first, text.find_last_not_of(blanks) - first + 1);
}

std::string Trim(std::string_view text, std::string_view blanks) {
  return std::string(TrimView(text, blanks));
}

std::string UpperAscii(std::string_view text) {
  std::string out(text);
  for (char& c : out) {
    if (c >= 'a' && c <= 'z') {
      c = static_cast<char>(c - 'a' + 'A');
    }
  }
  return out;
}

std::vector<std::string> Split(std::string_view text, char separator, EmptyParts empty) {
  std::vector<std::string> parts;
  size_t from = 0;
  for (;;) {
    const size_t at = text.find(separator, from);
    const std::string_view part =
        text.substr(from, at == std::string_view::npos ? std::string_view::npos : at - from);
    if (!part.empty() || empty == EmptyParts::kKeep) {
      parts.emplace_back(part);
    }
    if (at == std::string_view::npos) {
      return parts;
    }
    from = at + 1;
  }
}

bool IsDotDecimal(std::string_view s, DotDecimal form) {
  size_t i = (!s.empty() && (s[0] == '+' || s[0] == '-')) ? 1 : 0;
  const size_t int_end = SkipDigits(s, i);
  bool digits = int_end > i;
  i = int_end;
  if (i < s.size() && s[i] == '.') {
    const size_t frac_end = SkipDigits(s, i + 1);
    digits = digits || frac_end > i + 1;
    i = frac_end;
  }
  if (!digits) {
    return false;
  }
  if (form == DotDecimal::kWithExponent && i < s.size() && (s[i] == 'e' || s[i] == 'E')) {
    size_t j = i + 1;
    if (j < s.size() && (s[j] == '+' || s[j] == '-')) {
      ++j;
    }
    const size_t exp_end = SkipDigits(s, j);
    if (exp_end == j) {
      return false;
    }
    i = exp_end;
  }
  return i == s.size();
}

std::optional<double> ReadDotDecimal(std::string_view s, DotDecimal form) {
  if (!IsDotDecimal(s, form)) {
    return std::nullopt;
  }
  // from_chars reads a dot whatever the C library's locale, but no plus.
  const char* first = s.data() + (s[0] == '+' ? 1 : 0);
  const char* last = s.data() + s.size();
  double value = 0;
  const auto [ptr, ec] = std::from_chars(
      first, last, value,
      form == DotDecimal::kPlain ? std::chars_format::fixed : std::chars_format::general);
  if (ec != std::errc() || ptr != last || !std::isfinite(value)) {
    return std::nullopt;
  }
  return value;
}

}  // namespace stratlyn
