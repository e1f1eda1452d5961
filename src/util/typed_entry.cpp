// ReadEntry: the reader of typed numbers behind every entry field (the rules
// are in numeric_entry.h), with its currency, unit and fraction forms.

#include <algorithm>
#include <cfloat>
#include <charconv>
#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include "util/locale_info.h"
#include "util/numeric_entry.h"
#include "util/text.h"

namespace stratlyn {
namespace {

// Currency signs taken before or after an amount, besides the locale's own.
const char* const kCurrencySigns[] = {"$", "\xE2\x82\xAC", "\xC2\xA3", "\xC2\xA5"};

bool HasDigit(const std::string& s) { return s.find_first_of("0123456789") != std::string::npos; }

bool AllDigits(const std::string& s) {
  return !s.empty() && s.find_first_not_of("0123456789") == std::string::npos;
}

// The length of the currency sign that starts at `i` (0 when none).
size_t CurrencyAt(const std::string& s, size_t i, const EntryLocale& loc) {
  for (const char* sign : kCurrencySigns) {
    if (s.compare(i, std::strlen(sign), sign) == 0) {
      return std::strlen(sign);
    }
  }
  const std::string& own = loc.currency_symbol;
  if (!own.empty() && !HasDigit(own) && s.compare(i, own.size(), own) == 0) {
    return own.size();
  }
  return 0;
}

// The length of the currency sign that ends just before `end` (0 when none).
size_t CurrencyBefore(const std::string& s, size_t end, const EntryLocale& loc) {
  const auto ends_with = [&](const std::string& sign) {
    return !sign.empty() && !HasDigit(sign) && sign.size() <= end &&
           s.compare(end - sign.size(), sign.size(), sign) == 0;
  };
  for (const char* sign : kCurrencySigns) {
    if (ends_with(sign)) {
      return std::strlen(sign);
    }
  }
  return ends_with(loc.currency_symbol) ? loc.currency_symbol.size() : 0;
}

bool IsCurrencyWord(const std::string& w, const EntryLocale& loc) {
  return !w.empty() && CurrencyAt(w, 0, loc) == w.size();
}

std::string Lower(const std::string& w) {
  std::string out = w;
  for (char& c : out) {
    if (c >= 'A' && c <= 'Z') {
      c = static_cast<char>(c - 'A' + 'a');
    }
  }
  return out;
}

// A currency code: one of the ISO 4217 codes, in one case ("USD", "eur";
// those that are English words only in capitals: "ALL", not "all"). Any
// other three letters ("DTE" after days to expiry, "mon", "trn", "pts") may
// well count or scale the number, so they are no unit.
bool IsCurrencyCode(const std::string& w) {
  static const char* const kCodes[] = {
      "aed", "afn", "all", "amd", "ang", "aoa", "ars", "aud", "awg", "azn", "bam", "bbd", "bdt",
      "bgn", "bhd", "bif", "bmd", "bnd", "bob", "brl", "bsd", "btn", "bwp", "byn", "bzd", "cad",
      "cdf", "chf", "clp", "cny", "cop", "crc", "cup", "cve", "czk", "djf", "dkk", "dop", "dzd",
      "egp", "ern", "etb", "eur", "fjd", "fkp", "gbp", "gel", "ghs", "gip", "gmd", "gnf", "gtq",
      "gyd", "hkd", "hnl", "htg", "huf", "idr", "ils", "inr", "iqd", "irr", "isk", "jmd", "jod",
      "jpy", "kes", "kgs", "khr", "kmf", "kpw", "krw", "kwd", "kyd", "kzt", "lak", "lbp", "lkr",
      "lrd", "lsl", "lyd", "mad", "mdl", "mga", "mkd", "mmk", "mnt", "mop", "mru", "mur", "mvr",
      "mwk", "mxn", "myr", "mzn", "nad", "ngn", "nio", "nok", "npr", "nzd", "omr", "pab", "pen",
      "pgk", "php", "pkr", "pln", "pyg", "qar", "ron", "rsd", "rub", "rwf", "sar", "sbd", "scr",
      "sdg", "sek", "sgd", "shp", "sle", "sll", "sos", "srd", "ssp", "stn", "svc", "syp", "szl",
      "thb", "tjs", "tmt", "tnd", "top", "try", "ttd", "twd", "tzs", "uah", "ugx", "usd", "uyu",
      "uzs", "ves", "vnd", "vuv", "wst", "xaf", "xcd", "xof", "xpf", "yer", "zar", "zmw", "zwl"};
  if (w.size() != 3) {
    return false;
  }
  const bool upper = std::all_of(w.begin(), w.end(), [](char c) { return c >= 'A' && c <= 'Z'; });
  const bool lower = std::all_of(w.begin(), w.end(), [](char c) { return c >= 'a' && c <= 'z'; });
  if (!upper && !lower) {
    return false;
  }
  static const char* const kWords[] = {"all", "bob", "cup", "gel", "mop",
                                       "pen", "sos", "top", "try"};
  const std::string l = Lower(w);
  const auto is = [&](const char* code) { return l == code; };
  return std::any_of(std::begin(kCodes), std::end(kCodes), is) &&
         (upper || std::none_of(std::begin(kWords), std::end(kWords), is));
}

// Words that say what the number counts without changing it.
bool IsPerWord(const std::string& w) {
  static const char* const kPerWords[] = {"p.a.", "pa",       "share",    "shares", "per",
                                          "each", "ea",       "year",     "years",  "yr",
                                          "yrs",  "contract", "contracts"};
  const std::string l = Lower(w);
  return std::any_of(std::begin(kPerWords), std::end(kPerWords),
                     [&](const char* per) { return l == per; });
}

// A unit written after the amount: a currency sign or code, a word that
// says what is counted ("p.a.", "shares"), or a currency per such a word
// ("USD/share"). A word that scales the number ("million", "bp", "percent",
// "cents", "months") is no unit: the text is refused rather than read as the
// bare number.
bool IsUnitWord(const std::string& w, const EntryLocale& loc) {
  if (IsCurrencyWord(w, loc) || IsCurrencyCode(w) || IsPerWord(w)) {
    return true;
  }
  const size_t slash = w.find('/');
  if (slash == std::string::npos || slash == 0 || w.find('/', slash + 1) != std::string::npos) {
    return false;
  }
  const std::string money = w.substr(0, slash);
  return (IsCurrencyWord(money, loc) || IsCurrencyCode(money)) && IsPerWord(w.substr(slash + 1));
}

// A word of letters only, as a unit is written.
bool IsWordOfLetters(const std::string& w) {
  return !w.empty() && std::all_of(w.begin(), w.end(), [](char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '.' || c == '/';
  });
}

// Pasted texts bring other blanks and the typographic minus: one of each.
std::string PlainBlanks(const std::string& text) {
  static const std::pair<std::string, std::string> kSwaps[] = {
      {"\xC2\xA0", " "}, {"\xE2\x80\xAF", " "}, {"\xE2\x80\x89", " "}, {"\t", " "},
      {"\r", " "},       {"\n", " "},           {"\xE2\x88\x92", "-"}};
  std::string out = text;
  for (const auto& [from, to] : kSwaps) {
    for (size_t i = 0; (i = out.find(from, i)) != std::string::npos; i += to.size()) {
      out.replace(i, from.size(), to);
    }
  }
  return out;
}

bool IsSpaceGrouping(const EntryLocale& loc) {
  const std::string& g = loc.thousands_sep;
  return g == " " || g == "\xC2\xA0" || g == "\xE2\x80\xAF";
}

// A body in C notation read as a double; false when it is out of range.
bool ReadC(const std::string& text, double& v) {
  const char* end = text.data() + text.size();
  const auto [ptr, ec] = std::from_chars(text.data(), end, v);
  return ec == std::errc() && ptr == end && std::isfinite(v);
}

// Digit groups split by `sep`: 1 to 3 digits not starting with 0, then
// groups of exactly three.
bool ValidGroups(const std::string& digits_and_seps, const std::string& seps) {
  size_t start = 0;
  bool first = true;
  while (true) {
    const size_t next = digits_and_seps.find_first_of(seps, start);
    const std::string group =
        digits_and_seps.substr(start, next == std::string::npos ? std::string::npos : next - start);
    if (!AllDigits(group)) {
      return false;
    }
    if (first ? (group.size() > 3 || group[0] == '0') : group.size() != 3) {
      return false;
    }
    if (next == std::string::npos) {
      return true;
    }
    first = false;
    start = next + 1;
  }
}

// A decimal body: digits, separators, an optional exponent. `dp` is the
// locale's decimal separator ('.' or ',').
const char* ReadDecimal(const std::string& b, char dp, double& magnitude, std::string& norm) {
  using namespace entry_problem;
  const size_t e = b.find_first_of("eE");
  const std::string mant = b.substr(0, e);
  std::string expo;
  if (e != std::string::npos) {
    expo = b.substr(e + 1);
    const size_t digits_at = (!expo.empty() && (expo[0] == '+' || expo[0] == '-')) ? 1 : 0;
    if (!AllDigits(expo.substr(digits_at))) {
      return kStray;
    }
  }
  if (mant.find_first_not_of("0123456789.,'") != std::string::npos || !HasDigit(mant)) {
    return kStray;
  }
  const auto count = [&](char c) { return std::count(mant.begin(), mant.end(), c); };
  const long dots = count('.'), commas = count(',');
  char decimal = 0;
  if (dots > 0 && commas > 0) {
    // Both: the last one is the decimal separator, the other groups digits.
    decimal = mant[mant.find_last_of(".,")];
    if (count(decimal) > 1) {
      return kSecondDecimal;
    }
  } else if (dots + commas == 1) {
    const char c = dots ? '.' : ',';
    // The locale's decimal separator is one; the other one groups digits
    // where it can ("1.000" under a comma locale), else it is the decimal
    // separator the writer meant ("0.05", "1.5").
    if (c == dp || !ValidGroups(mant, std::string(1, c) + "'")) {
      decimal = c;
    }
  } else if (dots + commas > 1) {
    const char c = dots ? '.' : ',';
    if (!ValidGroups(mant, std::string(1, c) + "'")) {
      return c == dp ? kSecondDecimal : kGroups;
    }
  }
  const size_t point = decimal ? mant.find(decimal) : std::string::npos;
  const std::string whole = mant.substr(0, point);
  const std::string frac = point == std::string::npos ? std::string() : mant.substr(point + 1);
  if (!frac.empty() && !AllDigits(frac)) {
    return kGroups;
  }
  std::string digits;
  if (!whole.empty()) {
    if (whole.find_first_of(".,'") != std::string::npos) {
      const bool mixed =
          whole.find('\'') != std::string::npos && whole.find_first_of(".,") != std::string::npos;
      if (mixed || !ValidGroups(whole, ".,'")) {
        return kGroups;
      }
    }
    for (const char c : whole) {
      if (c >= '0' && c <= '9') {
        digits.push_back(c);
      }
    }
  }
  norm = (digits.empty() ? "0" : digits) + (frac.empty() ? "" : "." + frac) +
         (expo.empty() ? "" : "e" + expo);
  if (!ReadC(norm, magnitude)) {
    return kOutOfRange;
  }
  return nullptr;
}

// The power-of-two denominators of quoted fractions (2413/16 is 24 13/16).
bool QuotedDenominator(const std::string& d) {
  if (d.size() > 3) {
    return false;
  }
  const int v = std::stoi(d);
  return v >= 2 && v <= 256 && (v & (v - 1)) == 0;
}

// A fraction body: "N/D", "/D" (sixteenths), "WNN/D" (glued whole part) or
// "W N/D" (mixed).
const char* ReadFraction(const std::string& b, double& magnitude, std::string& norm) {
  using namespace entry_problem;
  std::string w = "0", n, d;
  const size_t space = b.find(' ');
  const size_t slash = b.find('/');
  if (slash == std::string::npos || b.find('/', slash + 1) != std::string::npos) {
    return kStray;
  }
  d = b.substr(slash + 1);
  if (space != std::string::npos) {
    if (space > slash) {
      return kStray;
    }
    w = b.substr(0, space);
    n = b.substr(space + 1, slash - space - 1);
    if (!AllDigits(w) || !AllDigits(n)) {
      return kStray;
    }
  } else {
    const std::string left = b.substr(0, slash);
    if (!left.empty() && !AllDigits(left)) {
      return kStray;
    }
    if (!AllDigits(d)) {
      return kStray;
    }
    if (left.empty()) {
      n = d;
      d = "16";
    } else if (left.size() <= 2) {
      n = left;
    } else {
      const std::string nn = left.substr(left.size() - 2);
      // "2413/16" is 24 13/16; "1200/16" is no quote (nobody writes 12 00/16).
      if (QuotedDenominator(d) && nn != "00" && std::stoi(nn) < std::stoi(d)) {
        w = left.substr(0, left.size() - 2);
        n = nn;
      } else {
        n = left;
      }
    }
  }
  if (!AllDigits(d)) {
    return kStray;
  }
  double wv = 0, nv = 0, dv = 0;
  if (!ReadC(w, wv) || !ReadC(n, nv) || !ReadC(d, dv)) {
    return kOutOfRange;
  }
  if (dv == 0) {
    return kZeroDenominator;
  }
  magnitude = wv + nv / dv;
  if (!std::isfinite(magnitude)) {
    return kOutOfRange;
  }
  norm = w + "+" + n + "/" + d;
  return nullptr;
}

char DecimalChar(const EntryLocale& loc) { return loc.decimal_point == "," ? ',' : '.'; }

}  // namespace

EntryReading ReadEntry(const std::string& text, EntryKind kind) {
  return ReadEntry(text, kind, CurrentEntryLocale());
}

EntryReading ReadEntry(const std::string& text, EntryKind kind, const EntryLocale& loc) {
  using namespace entry_problem;
  EntryReading r;
  const auto refuse = [&r](const char* problem) {
    r.problem = problem;
    return r;
  };
  std::string t = Trim(PlainBlanks(text));
  if (t.empty()) {
    r.value = 0.0;
    r.blank = true;
    r.normalised = "0";
    return r;
  }
  if (t == "N/A" || t == "n/a") {
    r.value = 0.0;
    r.not_available = true;
    r.normalised = "0";
    return r;
  }
  if (!HasDigit(t)) {
    return refuse(kNoDigit);
  }

  bool paren = false, percent = false, currency = false;
  char sign = 0;
  if (t.size() >= 2 && t.front() == '(' && t.back() == ')') {
    paren = true;
    t = Trim(t.substr(1, t.size() - 2));
  }
  const std::vector<std::string> words = Split(t, ' ', EmptyParts::kDrop);
  size_t first = 0, last = words.size();
  // A currency sign written apart before the amount ("$ 12.50").
  while (first < last && !HasDigit(words[first])) {
    if (currency || !IsCurrencyWord(words[first], loc)) {
      return refuse(kStray);
    }
    currency = true;
    ++first;
  }
  // A percent sign or a unit after a blank ("5 %", "12.50 USD").
  while (last > first && !HasDigit(words[last - 1])) {
    const std::string& w = words[last - 1];
    if (w == "%" && !percent) {
      percent = true;
    } else if (!IsUnitWord(w, loc)) {
      return refuse(IsWordOfLetters(w) ? kUnknownWord : kStray);
    }
    --last;
  }
  std::string num;
  if (last - first == 1) {
    num = words[first];
  } else if (last - first == 2 && words[first].find('/') == std::string::npos &&
             words[first + 1].find('/') != std::string::npos) {
    num = words[first] + " " + words[first + 1];  // "24 3/8"
  } else if (IsSpaceGrouping(loc)) {
    for (size_t i = first; i < last; ++i) {
      num += (i > first ? "'" : "") + words[i];  // "1 234,5": groups apart
    }
  } else {
    return refuse(kStray);
  }

  // Signs, parentheses, currency and percent around the digits.
  size_t i = 0, j = num.size();
  bool open = false, close = false;
  while (i < j) {
    if (num[i] == '(' && i == 0 && !paren) {
      open = true;
      ++i;
    } else if ((num[i] == '-' || num[i] == '+') && !sign) {
      sign = num[i];
      ++i;
    } else if (const size_t n = currency ? 0 : CurrencyAt(num, i, loc); n > 0 && n <= j - i) {
      currency = true;
      i += n;
    } else {
      break;
    }
  }
  while (j > i) {
    if (num[j - 1] == ')' && open && !close && j == num.size()) {
      close = true;
      --j;
    } else if (num[j - 1] == '%' && !percent) {
      percent = true;
      --j;
    } else if (const size_t n = currency ? 0 : CurrencyBefore(num, j, loc); n > 0 && n <= j - i) {
      currency = true;
      j -= n;
    } else {
      break;
    }
  }
  if (open != close) {
    return refuse(kStray);
  }
  paren = paren || open;
  if (paren && sign) {
    return refuse(kStray);
  }
  const std::string body = num.substr(i, j - i);
  if (!HasDigit(body)) {
    return refuse(kStray);
  }

  double magnitude = 0;
  std::string norm;
  const char* problem = body.find('/') != std::string::npos
                            ? ReadFraction(body, magnitude, norm)
                            : (body.find(' ') != std::string::npos
                                   ? kStray
                                   : ReadDecimal(body, DecimalChar(loc), magnitude, norm));
  if (problem) {
    return refuse(problem);
  }
  if (percent) {
    if (kind != EntryKind::kRate && kind != EntryKind::kVolatility) {
      return refuse(kPercentNotTaken);
    }
    magnitude /= 100.0;
  }
  const bool negative = paren || sign == '-';
  double value = negative ? -magnitude : magnitude;
  if (value == 0) {
    value = 0.0;  // no negative zero
  }
  // Every typed figure is kept in single precision: one that does not fit,
  // or that a single holds only roughly (below its normal range), is not
  // what was typed.
  if (!(std::fabs(value) <= static_cast<double>(FLT_MAX)) ||
      (value != 0 && std::fabs(value) < static_cast<double>(FLT_MIN))) {
    return refuse(kOutOfRange);
  }
  if (kind == EntryKind::kVolatility && value < 0) {
    return refuse(kNegativeVolatility);
  }
  if ((kind == EntryKind::kRate || kind == EntryKind::kVolatility) && std::fabs(value) > 5.0) {
    return refuse(kAboveFive);
  }
  r.value = value;
  r.normalised = (negative ? "-" : "") + norm + (percent ? "%" : "");
  return r;
}

bool IsBareFraction(const EntryReading& r) {
  const std::string& n = r.normalised;
  const size_t start = !n.empty() && n[0] == '-' ? 1 : 0;
  return n.find('/') != std::string::npos && n.compare(start, 2, "0+") == 0;
}

}  // namespace stratlyn
