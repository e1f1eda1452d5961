#include "util/numeric_entry.h"

#include <cfloat>
#include <charconv>
#include <cmath>

#include "util/format.h"
#include "util/fp_checks.h"
#include "util/locale_info.h"
#include "util/services.h"

namespace stratlyn {
namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }
bool IsDigit(char c) { return c >= '0' && c <= '9'; }

std::string Trim(const std::string& s) {
  size_t b = 0;
  size_t e = s.size();
  while (b < e && IsBlank(s[b])) {
    ++b;
  }
  while (e > b && IsBlank(s[e - 1])) {
    --e;
  }
  return s.substr(b, e - b);
}

// A cursor over a text being read as a number.
struct Reader {
  const std::string& s;
  size_t i = 0;

  bool AtEnd() const { return i >= s.size(); }
  bool Take(const std::string& token) {
    if (token.empty() || s.compare(i, token.size(), token) != 0) {
      return false;
    }
    i += token.size();
    return true;
  }
  bool TakeChar(char c) {
    if (AtEnd() || s[i] != c) {
      return false;
    }
    ++i;
    return true;
  }
  void SkipBlanks() {
    while (!AtEnd() && IsBlank(s[i])) {
      ++i;
    }
  }
  // Appends a run of digits to `out`; returns how many.
  size_t Digits(std::string& out) {
    const size_t start = i;
    while (!AtEnd() && IsDigit(s[i])) {
      out.push_back(s[i++]);
    }
    return i - start;
  }
};

// Reads an optional sign; true when one was read.
bool TakeSign(Reader& r, bool& negative) {
  if (r.TakeChar('-')) {
    negative = true;
    return true;
  }
  return r.TakeChar('+');
}

// Reads the locale's group separator. Where the locale groups with a
// (no-break) space, people type any of the spaces, so all of them count.
bool TakeGroupSeparator(Reader& r, const std::string& sep) {
  static const std::string kSpaces[] = {" ", "\xC2\xA0", "\xE2\x80\xAF"};  // NBSP, NNBSP
  bool spacelike = false;
  for (const std::string& space : kSpaces) {
    spacelike = spacelike || sep == space;
  }
  if (!spacelike) {
    return r.Take(sep);
  }
  for (const std::string& space : kSpaces) {
    if (r.Take(space)) {
      return true;
    }
  }
  return false;
}

// The number written in `body` (no parentheses) by `loc`, as C-locale text.
std::optional<std::string> ReadBody(const std::string& body, const EntryLocale& loc) {
  Reader r{body};
  bool negative = false;
  bool signed_ = TakeSign(r, negative);
  if (loc.currency_before && r.Take(loc.currency_symbol)) {
    r.SkipBlanks();
    if (!signed_) {
      signed_ = TakeSign(r, negative);
    }
  }
  std::string mantissa;
  // Integer digits, grouped by the locale's separator in threes ("1,234,567").
  // A separator not followed by exactly three digits is left unread, which
  // makes the text non-numeric below.
  const size_t first = r.Digits(mantissa);
  size_t int_digits = first;
  if (first > 0 && !loc.thousands_sep.empty()) {
    while (true) {
      const size_t mark = r.i;
      if (!TakeGroupSeparator(r, loc.thousands_sep)) {
        break;
      }
      std::string group;
      if (r.Digits(group) != 3) {
        r.i = mark;
        break;
      }
      if (first > 3) {
        return std::nullopt;
      }
      mantissa += group;
      int_digits += 3;
    }
  }
  size_t frac_digits = 0;
  if (r.Take(loc.decimal_point)) {
    mantissa.push_back('.');
    frac_digits = r.Digits(mantissa);
  }
  if (int_digits + frac_digits == 0) {
    return std::nullopt;
  }
  if (!r.AtEnd() && (body[r.i] == 'e' || body[r.i] == 'E')) {
    ++r.i;
    mantissa.push_back('e');
    bool exp_negative = false;
    TakeSign(r, exp_negative);
    if (exp_negative) {
      mantissa.push_back('-');
    }
    if (r.Digits(mantissa) == 0) {
      return std::nullopt;
    }
  }
  if (!loc.currency_before && !loc.currency_symbol.empty()) {
    const size_t mark = r.i;
    r.SkipBlanks();
    if (!r.Take(loc.currency_symbol)) {
      r.i = mark;
    }
  }
  if (!r.AtEnd()) {
    return std::nullopt;
  }
  return (negative ? "-" : "") + mantissa;
}

// Half-to-even rounding of a finite double to a whole number.
double RoundHalfEven(double x) {
  const double r = std::round(x);
  if (std::fabs(x - std::trunc(x)) == 0.5) {
    return 2.0 * std::round(x / 2.0);
  }
  return r;
}

bool FitsTarget(double v, bool single) {
  return std::isfinite(v) && (!single || std::fabs(v) <= static_cast<double>(FLT_MAX));
}

std::string FourDecimals(double v, const EntryLocale& loc) {
  const std::string& dp = loc.decimal_point;
  std::string text = FormatNumber(v, "0.0000", '.');
  if (dp != ".") {
    const size_t point = text.find('.');
    if (point != std::string::npos) {
      text.replace(point, 1, dp);
    }
  }
  return text;
}

bool StripToNumericChars(std::string& text, const EntryLocale& loc);

// How an entry is read: in which locale, and whether an unreadable entry is
// told to the user (fields) or only reported to the caller (page figures).
struct EntryMode {
  const EntryLocale& loc;
  bool quiet = false;
};

// The entry reader behind both ParseNumericEntry overloads and
// ReadPageFigure. Returns true for an invalid entry (message shown unless
// quiet). `set` receives the value to store.
template <typename Set>
bool ParseEntry(std::string& text, bool single, const EntryMode& mode, Set set) {
  const EntryLocale& loc = mode.loc;
  // A numeric text is taken as it stands.
  const auto invalid = [&]() {
    if (mode.quiet) {
      return true;
    }
    if (text == "." || text.empty()) {
      set(0.0);
      return false;
    }
    AppDialogs().Critical(kInvalidNumericEntry);
    return true;
  };
  if (const auto v = NumericValue(text, loc)) {
    // A number too large for its target is refused rather than overflowing.
    if (!FitsTarget(*v, single)) {
      return invalid();
    }
    const double stored = single ? static_cast<double>(static_cast<float>(*v)) : *v;
    set(stored);
    text = FourDecimals(stored, loc);
    return false;
  }

  double sign = 1.0;
  text = Trim(text);
  if (text.empty()) {
    return false;
  }
  // Everything after the first blank is ignored ("24 3/8" reads 24).
  const size_t blank = text.find(' ', 1);
  if (blank != std::string::npos) {
    text.erase(blank);
  }
  if (text[0] == '(') {
    sign = -1.0;
  }
  if (StripToNumericChars(text, loc)) {
    return invalid();
  }

  double value = 0.0;
  const size_t slash = text.find('/');
  if (slash == std::string::npos) {
    const auto v = NumericValue(text, loc);
    // A remainder that is no number (1.2.3) reads 0 in a field; a page
    // figure is then unreadable.
    if (!v && mode.quiet) {
      return invalid();
    }
    value = sign * v.value_or(0.0);
  } else if (slash == 0) {
    const auto n = NumericValue(text.substr(1), loc);
    if (!n) {
      return invalid();
    }
    value = sign * RoundHalfEven(*n) / 16.0;
  } else {
    // p is the slash's 1-based position: the numerator is the one or two
    // characters before it, the whole part everything before the numerator.
    const size_t p = slash + 1;
    const std::string numerator = p == 2 ? text.substr(0, 1) : text.substr(p - 3, 2);
    const std::string denominator = text.substr(p);
    const std::string whole = p >= 4 ? text.substr(0, p - 3) : std::string();
    text = whole;
    const auto as_double = [&](const std::string& part) {
      return NumericValue(part, loc).value_or(0.0);
    };
    const double d = as_double(denominator);
    if (d == 0.0) {
      return invalid();
    }
    value = sign * (as_double(whole) + as_double(numerator) / d);
  }
  if (!FitsTarget(value, single)) {
    return invalid();
  }
  const double stored = single ? static_cast<double>(static_cast<float>(value)) : value;
  set(stored);
  text = FourDecimals(stored, loc);
  return false;
}

}  // namespace

std::optional<double> NumericValue(const std::string& text) {
  return NumericValue(text, CurrentEntryLocale());
}

std::optional<double> NumericValue(const std::string& text, const EntryLocale& loc) {
  std::string body = Trim(text);
  bool parenthesised = false;
  if (body.size() >= 2 && body.front() == '(' && body.back() == ')') {
    body = Trim(body.substr(1, body.size() - 2));
    if (body.empty() || body[0] == '-' || body[0] == '+') {
      return std::nullopt;
    }
    parenthesised = true;
  }
  const auto plain = ReadBody(body, loc);
  if (!plain) {
    return std::nullopt;
  }
  double v = 0.0;
  const char* end = plain->data() + plain->size();
  const auto [ptr, ec] = std::from_chars(plain->data(), end, v);
  if (ec != std::errc() || ptr != end || !std::isfinite(v)) {
    return std::nullopt;
  }
  if (parenthesised) {
    v = -v;
  }
  return v == 0.0 ? 0.0 : v;
}

bool StripToNumericChars(std::string& text) {
  return StripToNumericChars(text, CurrentEntryLocale());
}

namespace {

bool StripToNumericChars(std::string& text, const EntryLocale& loc) {
  if (text.compare(0, 3, "N/A") == 0) {
    text = "0";
    return false;
  }
  if (text.empty()) {
    return true;
  }
  // The middle dot (U+00B7) separates a label from the amount on some pages.
  const size_t dot = text.find("\xC2\xB7");
  if (dot != std::string::npos) {
    text.erase(0, dot + 2);
  }
  const std::string& dp = loc.decimal_point;
  std::string kept;
  for (size_t i = 0; i < text.size();) {
    const char c = text[i];
    if (IsDigit(c) || c == '.' || c == '/' || c == '-' || c == '+' || c == ' ') {
      kept.push_back(c);
      ++i;
    } else if (dp != "." && text.compare(i, dp.size(), dp) == 0) {
      kept += dp;
      i += dp.size();
    } else {
      ++i;
    }
  }
  text = std::move(kept);
  return text.empty();
}

}  // namespace

double VariantAsDouble(const std::string& text) { return NumericValue(text).value_or(0.0); }

float TextToSingle(const std::string& text) {
  const auto v = NumericValue(text);
  if (!v) {
    return 0.0f;
  }
  if (std::fabs(*v) > static_cast<double>(FLT_MAX)) {
    throw zelError(err::kOverflow);
  }
  return ToSingle(*v);
}

bool ParseNumericEntry(std::string& text, float& value) {
  return ParseEntry(text, true, EntryMode{CurrentEntryLocale()},
                    [&](double v) { value = static_cast<float>(v); });
}

bool ParseNumericEntry(std::string& text, double& value) {
  return ParseEntry(text, false, EntryMode{CurrentEntryLocale()}, [&](double v) { value = v; });
}

std::optional<double> ReadPageFigure(const std::string& figure) {
  std::string text = Trim(figure);
  // "N/A" and texts without a digit show that the page has no figure there.
  if (text.compare(0, 3, "N/A") == 0 || text.find_first_of("0123456789") == std::string::npos) {
    return std::nullopt;
  }
  double value = 0.0;
  bool read = false;
  if (ParseEntry(text, false, EntryMode{PageLocale(), true}, [&](double v) {
        value = v;
        read = true;
      })) {
    return std::nullopt;
  }
  // Every figure fetched goes into a single-precision field or record.
  if (!read || !FitsTarget(value, true)) {
    return std::nullopt;
  }
  return value;
}

}  // namespace stratlyn
