// The entry readers on arbitrary text: no crash, no hang, and every text the
// reader of typed numbers accepts reads as exactly the value it writes: the
// value equals an independent reading of its normalised form, keeps every
// digit typed, is finite, fits a single and lies in its field's range.

#include <cfloat>
#include <cmath>
#include <cstdlib>
#include <string>

#include "fuzz_support.h"
#include "support/normalised_number.h"
#include "util/locale_info.h"
#include "util/numeric_entry.h"
#include "util/text.h"
#include "util/zel_error.h"

namespace {

using stratlyn::DotDecimal;
using stratlyn::EntryKind;
using stratlyn::EntryLocale;
using stratlyn::EntryReading;

// The digits before any exponent, without leading zeros.
std::string Significant(const std::string& s) {
  std::string d;
  for (const char c : s) {
    if (c == 'e' || c == 'E') break;
    if (c >= '0' && c <= '9' && !(d.empty() && c == '0')) d.push_back(c);
  }
  return d;
}

void CheckReading(const std::string& input, EntryKind kind, const EntryLocale& loc) {
  const EntryReading r = stratlyn::ReadEntry(input, kind, loc);
  if (!r.value) {
    if (r.problem.empty()) std::abort();  // a refusal always says why
    return;
  }
  const double v = *r.value;
  if (!std::isfinite(v) || std::fabs(v) > FLT_MAX) std::abort();
  if (v != 0 && std::fabs(v) < FLT_MIN) std::abort();
  if (kind == EntryKind::kVolatility && (v < 0 || v > 5)) std::abort();
  if (kind == EntryKind::kRate && std::fabs(v) > 5) std::abort();
  if (r.blank || r.normalised == "0") {
    if (v != 0) std::abort();
    return;
  }
  if (v != stratlyn::testing::EvaluateNormalised(r.normalised)) std::abort();
  // A percentage only where the field takes one.
  if (r.normalised.back() == '%' && kind != EntryKind::kRate && kind != EntryKind::kVolatility) {
    std::abort();
  }
  // No digit typed is dropped or added (a quoted sixteenth "/8" adds the 16,
  // and the exponent's digits are its own).
  if (r.normalised.find('/') == std::string::npos &&
      Significant(r.normalised) != Significant(input)) {
    std::abort();
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace stratlyn;
  fuzz::InstallQuietServices();
  const std::string input = fuzz::AsText(data, size);

  static const EntryLocale kDot = EntryLocale::FromName("C");
  static const EntryLocale kComma = [] {
    EntryLocale l;
    l.decimal_point = ",";
    l.thousands_sep = ".";
    l.currency_symbol = "\xE2\x82\xAC";
    l.currency_before = false;
    return l;
  }();
  for (const EntryLocale* loc : {&kDot, &kComma}) {
    for (const EntryKind kind :
         {EntryKind::kNumber, EntryKind::kPrice, EntryKind::kRate, EntryKind::kVolatility}) {
      CheckReading(input, kind, *loc);
    }
  }

  std::string text = input;
  float single = 0;
  if (!ParseNumericEntry(text, single, "Field", EntryKind::kPrice) && !std::isfinite(single)) {
    std::abort();
  }

  if (const auto v = NumericValue(input); v && !std::isfinite(*v)) std::abort();
  for (const DotDecimal form : {DotDecimal::kPlain, DotDecimal::kWithExponent}) {
    const auto v = stratlyn::ReadDotDecimal(input, form);
    if (v && (!std::isfinite(*v) || !stratlyn::IsDotDecimal(input, form))) std::abort();
  }
  (void)VariantAsDouble(input);
  try {
    (void)TextToSingle(input);
  } catch (const zelError&) {
    // overflow beyond single precision is reported, not a crash
  }
  return 0;
}
