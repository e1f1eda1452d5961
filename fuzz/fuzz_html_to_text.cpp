// HtmlToText and the page-text helpers on arbitrary fragments.

#include <cstdlib>

#include "fuzz_support.h"
#include "marketdata/html_extract.h"
#include "marketdata/quote_parser.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace stratlyn;
  fuzz::InstallQuietServices();
  const std::string input = fuzz::AsText(data, size);
  const std::string text = HtmlToText(input);
  // Markup and entities only ever shrink a fragment.
  if (text.size() > input.size()) std::abort();
  const std::string body = BodyText(input);
  if (body.size() > input.size()) std::abort();
  (void)JsonFromPage(input);
  std::string copy = input;
  BlankLineBreaks(copy);
  if (copy.size() != input.size()) std::abort();
  if (size > 2) (void)FindText(static_cast<size_t>(data[0]), input, input.substr(1, data[1] % 8));
  return 0;
}
