#include "marketdata/occ_symbol.h"

#include <array>
#include <cctype>
#include <chrono>
#include <string_view>

#include "util/sites.h"

namespace stratlyn {
namespace {

// Indexes the exchange quotes under an underscore name.
constexpr std::array<std::string_view, 12> kIndexTickers = {
    "SPX", "XSP", "VIX", "NDX", "RUT", "DJX", "OEX", "XEO", "MRUT", "XND", "VIX9D", "VXN"};

bool AllDigits(std::string_view s) {
  for (char c : s) {
    if (!std::isdigit(static_cast<unsigned char>(c))) {
      return false;
    }
  }
  return !s.empty();
}

int Digits(std::string_view s) {
  int v = 0;
  for (char c : s) {
    v = v * 10 + (c - '0');
  }
  return v;
}

std::string Canonical(const std::string& text) {
  std::string out;
  for (char c : text) {
    if (c != ' ' && c != '\t') {
      out += static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    }
  }
  return out;
}

}  // namespace

bool ParseOccSymbol(const std::string& text, OccSymbol& out) {
  const std::string s = Canonical(text);
  if (s.size() < 16 || s.size() > 21) {
    return false;
  }
  const std::string_view v = s;
  const size_t n = v.size();
  const std::string_view root = v.substr(0, n - 15);
  const std::string_view date = v.substr(n - 15, 6);
  const char kind = v[n - 9];
  const std::string_view strike = v.substr(n - 8);
  for (char c : root) {
    if (!std::isalnum(static_cast<unsigned char>(c))) {
      return false;
    }
  }
  if (!AllDigits(date) || !AllDigits(strike) || (kind != 'C' && kind != 'P')) {
    return false;
  }
  const int month = Digits(date.substr(2, 2));
  const int day = Digits(date.substr(4, 2));
  if (month < 1 || month > 12 || day < 1 || day > 31) {
    return false;
  }
  // A day the month does not have (261131) is no expiration date.
  const std::chrono::year_month_day expiry{std::chrono::year{2000 + Digits(date.substr(0, 2))},
                                           std::chrono::month{static_cast<unsigned>(month)},
                                           std::chrono::day{static_cast<unsigned>(day)}};
  if (!expiry.ok()) {
    return false;
  }
  out.root = std::string(root);
  out.year = 2000 + Digits(date.substr(0, 2));
  out.month = month;
  out.day = day;
  out.put = kind == 'P';
  out.strike = Digits(strike) / 1000.0;
  return true;
}

std::string FeedTicker(const std::string& ticker) {
  std::string t = Canonical(ticker);
  if (t.empty()) {
    return t;
  }
  if (t[0] == '^' || t[0] == '$' || t[0] == '.' || t[0] == '_') {
    return "_" + t.substr(1);
  }
  for (std::string_view index : kIndexTickers) {
    if (t == index) {
      return "_" + t;
    }
  }
  return t;
}

std::string EncodeUrlPart(const std::string& text) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string out;
  for (unsigned char c : text) {
    if (std::isalnum(c) || c == '-' || c == '.' || c == '_' || c == '~' || c == '^') {
      out += static_cast<char>(c);
    } else {
      out += '%';
      out += kHex[c >> 4];
      out += kHex[c & 15];
    }
  }
  return out;
}

std::string FeedQuoteUrl(const std::string& ticker) {
  const std::string t = FeedTicker(ticker);
  if (t.empty()) {
    return {};
  }
  return sites::FeedUrl() + "/api/global/delayed_quotes/quotes/" + EncodeUrlPart(t) + ".json";
}

std::string FeedOptionsUrl(const std::string& ticker) {
  const std::string t = FeedTicker(ticker);
  if (t.empty()) {
    return {};
  }
  return sites::FeedUrl() + "/api/global/delayed_quotes/options/" + EncodeUrlPart(t) + ".json";
}

std::string FeedHistoryUrl(const std::string& ticker) {
  const std::string t = FeedTicker(ticker);
  if (t.empty()) {
    return {};
  }
  return sites::FeedUrl() + "/api/global/delayed_quotes/charts/historical/" + EncodeUrlPart(t) +
         ".json";
}

}  // namespace stratlyn
