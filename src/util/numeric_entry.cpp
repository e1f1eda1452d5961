#include "util/numeric_entry.h"

#include <algorithm>
#include <cfloat>
#include <charconv>
#include <cmath>
#include <cstring>
#include <utility>
#include <vector>

#include "util/format.h"
#include "util/fp_checks.h"
#include "util/locale_info.h"
#include "util/services.h"
#include "util/text.h"

namespace stratlyn {
namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }
bool IsDigit(char c) { return c >= '0' && c <= '9'; }

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

std::string InvalidEntryMessage(const std::string& field, const std::string& text,
                                const std::string& problem) {
  // A long paste is cut: the message names it, it need not repeat it.
  constexpr size_t kShown = 40;
  std::string shown = Trim(text);
  if (shown.size() > kShown) {
    size_t cut = kShown;
    while (cut > 0 && (static_cast<unsigned char>(shown[cut]) & 0xC0) == 0x80) {
      --cut;
    }
    shown = shown.substr(0, cut) + "...";
  }
  std::string message = std::string(kInvalidNumericEntry) + "\n\n";
  if (!field.empty()) {
    message += field + ": ";
  }
  return message + "\"" + shown + "\" " + problem + ".";
}

bool ParseNumericEntry(std::string& text, float& value, const std::string& field, EntryKind kind) {
  const EntryLocale& loc = CurrentEntryLocale();
  const EntryReading r = ReadEntry(text, kind, loc);
  if (!r.value) {
    AppDialogs().Critical(InvalidEntryMessage(field, text, r.problem));
    return true;
  }
  value = static_cast<float>(*r.value);
  text = FourDecimals(value, loc);
  return false;
}

bool ParseNumericEntry(std::string& text, float& value) {
  return ParseNumericEntry(text, value, std::string(), EntryKind::kNumber);
}

bool ParseNumericEntry(std::string& text, double& value) {
  float single = 0;
  if (ParseNumericEntry(text, single)) {
    return true;
  }
  value = single;
  return false;
}

}  // namespace stratlyn
