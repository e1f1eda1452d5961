// The output records of a batch run (see csv_batch_records.h).

#include "tools/csv_batch_records.h"

namespace stratlyn::csv_batch {

int ResultColumnInUse(const PartRecords& b, size_t r, const Layout& layout) {
  const int fields = static_cast<int>(b.FieldCount(r));
  const int first = layout.columns.results;
  const int last = std::min(fields, first + layout.count - 1);
  for (int col = first; col <= last; ++col) {
    if (layout.columns.guarded[col - first] && !b.Field(r, col - 1).empty()) {
      return col;
    }
  }
  return 0;
}

void AppendAfterEnd(std::string& out, const PartRecords& b, size_t r, const Layout& layout) {
  const int fields = static_cast<int>(b.FieldCount(r));
  const int first = layout.columns.results;
  const int last = std::min(fields, first + layout.count - 1);
  bool stale = false;
  for (int col = first; col <= last && !stale; ++col) {
    stale = !layout.columns.guarded[col - first] && !b.Field(r, col - 1).empty();
  }
  if (!stale) {
    AppendUntouched(out, b, r, layout);
    return;
  }
  AppendWithResults<PartRecords>(out, b, r, layout, [&](int i) {
    const int col = first + i;
    if (layout.columns.guarded[i] && col <= fields) {
      AppendCsvField(out, b.Field(r, col - 1), layout.sep);
    }
  });
}

void AppendStopped(std::string& out, const PartRecords& b, size_t r, const Layout& layout,
                   After after) {
  if (after == After::kClear) {
    AppendAfterEnd(out, b, r, layout);
  } else {
    AppendUntouched(out, b, r, layout);
  }
}

}  // namespace stratlyn::csv_batch
