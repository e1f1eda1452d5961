// ExtractHtmlTable on arbitrary pages: the first byte picks the table number,
// the next few the start text; the rest is the page.

#include <cstdlib>

#include "fuzz_support.h"
#include "marketdata/html_extract.h"
#include "util/grid.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace stratlyn;
  fuzz::InstallQuietServices();
  if (size < 2) return 0;
  const int n = data[0] % 4 + 1;
  const size_t start_len = data[1] % 6;
  if (size < 2 + start_len) return 0;
  const std::string start = fuzz::AsText(data + 2, start_len);
  const std::string page = fuzz::AsText(data + 2 + start_len, size - 2 - start_len);
  Grid grid;
  ExtractHtmlTable(page, grid, n, start);
  if (grid.Rows() < 1 || grid.Cols() < 1) std::abort();
  for (int r = 0; r < grid.Rows(); ++r) {
    for (int c = 0; c < grid.Cols(); ++c) (void)grid.TextMatrix(r, c);
  }
  return 0;
}
