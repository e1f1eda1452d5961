// ParseNumericEntry and its helpers on arbitrary text: no crash, no hang, and
// a successful read leaves a finite value.

#include <cmath>
#include <cstdlib>

#include "fuzz_support.h"
#include "util/numeric_entry.h"
#include "util/zel_error.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace stratlyn;
  fuzz::InstallQuietServices();
  const std::string input = fuzz::AsText(data, size);

  std::string text = input;
  double value = 0;
  if (!ParseNumericEntry(text, value) && !std::isfinite(value)) std::abort();

  std::string single_text = input;
  float single = 0;
  if (!ParseNumericEntry(single_text, single) && !std::isfinite(single)) std::abort();

  std::string stripped = input;
  StripToNumericChars(stripped);
  if (const auto v = NumericValue(input); v && !std::isfinite(*v)) std::abort();
  (void)VariantAsDouble(input);
  try {
    (void)TextToSingle(input);
  } catch (const zelError&) {
    // overflow beyond single precision is reported, not a crash
  }
  return 0;
}
