#include "util/format.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "util/locale_info.h"

namespace stratlyn {
namespace {

struct Pattern {
  int int_digits = 1;  // minimum integer digits
  int fixed_decimals = 0;
  int optional_decimals = 0;
};

Pattern ParsePattern(std::string_view pattern) {
  Pattern p;
  const auto point = pattern.find('.');
  const std::string_view int_part = pattern.substr(0, point);
  int zeros = 0;
  for (char c : int_part) {
    zeros += c == '0';
  }
  p.int_digits = zeros > 0 ? zeros : 1;
  if (point != std::string_view::npos) {
    for (char c : pattern.substr(point + 1)) {
      if (c == '0') {
        ++p.fixed_decimals;
      } else if (c == '#') {
        ++p.optional_decimals;
      }
    }
  }
  return p;
}

}  // namespace

std::string FormatNumber(double value, std::string_view pattern, char decimal_point) {
  if (std::isnan(value)) {
    return "NaN";
  }
  if (std::isinf(value)) {
    return value > 0 ? "Infinity" : "-Infinity";
  }

  const Pattern p = ParsePattern(pattern);
  const int decimals = p.fixed_decimals + p.optional_decimals;
  const bool negative = std::signbit(value);

  // The 15 significant decimal digits of |value|: d.dddddddddddddde+XX.
  char buf[40];
  std::snprintf(buf, sizeof buf, "%.14e", std::fabs(value));
  std::string digits;
  digits.reserve(16);
  const char* s = buf;
  for (; *s && *s != 'e'; ++s) {
    if (*s >= '0' && *s <= '9') {
      digits.push_back(*s);
    }
  }
  const int exp10 = *s == 'e' ? std::atoi(s + 1) : 0;
  // value = 0.digits * 10^(exp10 + 1); digits[k] has weight 10^(exp10 - k).
  // Position of the first dropped digit: weight 10^(-decimals-1).
  const int int_len = exp10 + 1;  // digits before the point (may be <= 0)
  std::string all;                // integer digits followed by exactly `decimals` decimals
  if (int_len > 0) {
    for (int i = 0; i < int_len; ++i) {
      all.push_back(i < (int)digits.size() ? digits[i] : '0');
    }
  } else {
    all.push_back('0');
  }
  // Decimal digits, one extra to round on.
  std::string frac;
  for (int i = 0; i < decimals + 1; ++i) {
    const int k = int_len + i;  // index into digits
    frac.push_back(k >= 0 && k < (int)digits.size() ? digits[k] : '0');
  }
  const bool round_up = frac.back() >= '5';
  frac.pop_back();
  all += frac;
  if (round_up) {
    int i = static_cast<int>(all.size()) - 1;
    while (i >= 0 && all[i] == '9') {
      all[i--] = '0';
    }
    if (i >= 0) {
      ++all[i];
    } else {
      all.insert(all.begin(), '1');
    }
  }
  std::string int_text = all.substr(0, all.size() - decimals);
  std::string dec_text = all.substr(all.size() - decimals);
  // Optional decimals are dropped while they are trailing zeros.
  while (static_cast<int>(dec_text.size()) > p.fixed_decimals && dec_text.back() == '0') {
    dec_text.pop_back();
  }
  const auto first = int_text.find_first_not_of('0');
  int_text = first == std::string::npos ? std::string() : int_text.substr(first);
  while (static_cast<int>(int_text.size()) < p.int_digits) {
    int_text.insert(int_text.begin(), '0');
  }

  const bool all_zero = all.find_first_not_of('0') == std::string::npos;
  std::string out;
  if (negative && !all_zero) {
    out.push_back('-');
  }
  out += int_text;
  if (!dec_text.empty() || pattern.find('.') != std::string_view::npos) {
    if (!dec_text.empty()) {
      out.push_back(decimal_point);
      out += dec_text;
    } else if (p.fixed_decimals == 0 && p.optional_decimals > 0) {
      // "#0.##" with no decimals left writes the point, as the classic formatter does.
      out.push_back(decimal_point);
    }
  }
  return out;
}

std::string FormatEntryNumber(double value, std::string_view pattern) {
  std::string text = FormatNumber(value, pattern, '.');
  const std::string& point = CurrentEntryLocale().decimal_point;
  if (point != ".") {
    const size_t p = text.find('.');
    if (p != std::string::npos) {
      text.replace(p, 1, point);
    }
  }
  return text;
}

}  // namespace stratlyn
