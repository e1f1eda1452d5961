#include "tools/spreadsheet_app.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <system_error>

namespace stratlyn {
namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

// The common plain decimal ("-12.375") of at most 15 digits: its digits as
// an integer m < 10^15 and its decimals k <= 15 are both exact doubles, so
// m / 10^k is the correctly rounded value, the same as from_chars gives.
// False (nothing set) for any other form, which from_chars then reads.
bool FastDecimal(std::string_view text, double& value) {
  static constexpr double kPow10[] = {1e0, 1e1, 1e2,  1e3,  1e4,  1e5,  1e6,  1e7,
                                      1e8, 1e9, 1e10, 1e11, 1e12, 1e13, 1e14, 1e15};
  const char* p = text.data();
  const char* const end = p + text.size();
  const bool negative = *p == '-';
  p += negative;
  const auto digit = [](char c) { return static_cast<unsigned char>(c - '0') <= 9; };
  uint64_t m = 0;
  const char* const whole = p;
  for (; p < end && digit(*p); ++p) {
    m = m * 10 + static_cast<uint64_t>(*p - '0');
  }
  const long whole_digits = p - whole;
  long decimals = 0;
  if (p < end) {
    // A point after at least one digit, and at least one digit after it.
    if (*p != '.' || whole_digits == 0) {
      return false;
    }
    const char* const fraction = ++p;
    for (; p < end && digit(*p); ++p) {
      m = m * 10 + static_cast<uint64_t>(*p - '0');
    }
    decimals = p - fraction;
    if (p != end || decimals == 0) {
      return false;
    }
  }
  const long digits = whole_digits + decimals;
  if (digits == 0 || digits > 15) {
    return false;
  }
  const double v = decimals ? static_cast<double>(m) / kPow10[decimals] : static_cast<double>(m);
  value = negative ? -v : v;
  return true;
}

}  // namespace

bool ReadNumber(std::string_view text, double& number) {
  while (!text.empty() && IsBlank(text.front())) {
    text.remove_prefix(1);
  }
  while (!text.empty() && IsBlank(text.back())) {
    text.remove_suffix(1);
  }
  bool percent = false;
  if (!text.empty() && text.back() == '%') {
    percent = true;
    text.remove_suffix(1);
    while (!text.empty() && IsBlank(text.back())) {
      text.remove_suffix(1);
    }
  }
  // from_chars takes a leading minus but no plus.
  if (text.size() > 1 && text.front() == '+' && text[1] != '-') {
    text.remove_prefix(1);
  }
  if (text.empty()) {
    return false;
  }
  double value = 0.0;
  if (!percent && FastDecimal(text, value)) {
    number = value;
    return true;
  }
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (ec != std::errc() || end != text.data() + text.size() || !std::isfinite(value)) {
    return false;
  }
  number = percent ? value / 100.0 : value;
  return true;
}

bool IsAmbiguousGrouping(std::string_view text) {
  const auto blank = [](char c) { return c == ' ' || c == '\t'; };
  while (!text.empty() && blank(text.front())) text.remove_prefix(1);
  while (!text.empty() && (blank(text.back()) || text.back() == '%')) text.remove_suffix(1);
  if (!text.empty() && (text.front() == '-' || text.front() == '+')) text.remove_prefix(1);
  const size_t mark = text.find_first_of(".,");
  if (mark == std::string_view::npos || mark == 0 || mark > 3 || text.size() != mark + 4 ||
      text.front() == '0') {
    return false;
  }
  return std::all_of(text.begin(), text.begin() + static_cast<long>(mark),
                     [](char c) { return c >= '0' && c <= '9'; }) &&
         std::all_of(text.begin() + static_cast<long>(mark) + 1, text.end(),
                     [](char c) { return c >= '0' && c <= '9'; });
}

bool CellNumber(const CellValue& cell, double& number) {
  switch (cell.kind) {
    case CellValue::Kind::kEmpty:
      number = 0.0;
      return true;
    case CellValue::Kind::kNumber:
      number = cell.number;
      return std::isfinite(cell.number);
    case CellValue::Kind::kText:
      // A number the sheet holds as text is read as written; one that reads
      // two ways ("1.500" under a comma locale is 1500) is not guessed.
      return !IsAmbiguousGrouping(cell.text) && ReadNumber(cell.text, number);
  }
  return false;
}

void AppendCellNumber(std::string& out, double value) {
  char buf[64];
  std::to_chars_result r;
  const float single = static_cast<float>(value);
  if (std::isfinite(value) && static_cast<double>(single) == value) {
    r = std::to_chars(buf, buf + sizeof buf, single);
  } else {
    r = std::to_chars(buf, buf + sizeof buf, value);
  }
  out.append(buf, r.ptr);
}

std::string FormatCellNumber(double value) {
  std::string out;
  AppendCellNumber(out, value);
  return out;
}

}  // namespace stratlyn
