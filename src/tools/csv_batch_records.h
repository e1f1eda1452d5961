#pragma once
// How a batch run writes one record of its output: copied as it stands, with
// its results filled in, or with the figures of an earlier run emptied. Only
// csv_batch.cpp and csv_batch_records.cpp include this.

#include <algorithm>
#include <string>
#include <string_view>
#include <vector>

#include "tools/csv_batch.h"
#include "tools/csv_parse.h"
#include "tools/csv_workbook.h"
#include "tools/excel_link.h"

namespace stratlyn::csv_batch {

// Where the results go and how the output is written.
struct Layout {
  LinkColumns columns;
  int count = 0;    // columns of the block written (results, message, emptied)
  int results = 0;  // of them figures
  const std::vector<std::string>* headings = nullptr;
  std::string_view line_end;
  char sep = ',';
  BatchOptions::Stages stages = BatchOptions::Stages::kAll;
};

template <typename Records>
void AppendUntouched(std::string& out, const Records& b, size_t r, const Layout& layout) {
  const size_t n = b.FieldCount(r);
  if (n == 1 && b.Field(r, 0).empty()) {
    out.append("\"\"");
  } else {
    for (size_t i = 0; i < n; ++i) {
      if (i) {
        out.push_back(layout.sep);
      }
      AppendCsvField(out, b.Field(r, i), layout.sep);
    }
  }
  out.append(layout.line_end);
}

// The record with `fill(col)` in the result columns, widened to hold them.
template <typename Records, typename Fill>
void AppendWithResults(std::string& out, const Records& b, size_t r, const Layout& layout,
                       Fill&& fill) {
  const int fields = static_cast<int>(b.FieldCount(r));
  const int first = layout.columns.results;
  const int last = first + layout.count - 1;
  const int n = std::max(fields, last);
  for (int col = 1; col <= n; ++col) {
    if (col > 1) {
      out.push_back(layout.sep);
    }
    if (col >= first && col <= last) {
      fill(col - first);
    } else if (col <= fields) {
      AppendCsvField(out, b.Field(r, col - 1), layout.sep);
    }
  }
  out.append(layout.line_end);
}

// The same for a record read in place: the fields before the results of a
// record without quotes are copied as the bytes they were read from (each
// would be written unquoted, exactly as it stands).
template <typename Fill>
void AppendWithResults(std::string& out, const PartRecords& b, size_t r, const Layout& layout,
                       Fill&& fill) {
  const int fields = static_cast<int>(b.FieldCount(r));
  const int first = layout.columns.results;
  if (!b.Plain(r) || fields < first - 1 || first < 2) {
    AppendWithResults<PartRecords>(out, b, r, layout, fill);
    return;
  }
  const int last = first + layout.count - 1;
  const std::string_view head = b.Field(r, 0), tail = b.Field(r, first - 2);
  out.append(head.data(), static_cast<size_t>(tail.data() + tail.size() - head.data()));
  for (int col = first; col <= last; ++col) {
    out.push_back(layout.sep);
    fill(col - first);
  }
  for (int col = last + 1; col <= fields; ++col) {
    out.push_back(layout.sep);
    AppendCsvField(out, b.Field(r, col - 1), layout.sep);
  }
  out.append(layout.line_end);
}

// The first column of the block without a result heading where the record
// holds something of its own (0 when none does).
int ResultColumnInUse(const PartRecords& b, size_t r, const Layout& layout);

// A record at or below the row that ends the run: copied as it stands, but
// for the cells under this program's result headings, which are emptied so
// that no figure of an earlier run stays beside inputs this run did not
// price. The cells of the block without a result heading keep their text.
void AppendAfterEnd(std::string& out, const PartRecords& b, size_t r, const Layout& layout);

// How a part copies its records once the run has stopped: as they stand
// (a conflict or a failure), or with the earlier results emptied (the row
// that ends the run was reached).
enum class After { kPrice, kCopy, kClear };

void AppendStopped(std::string& out, const PartRecords& b, size_t r, const Layout& layout,
                   After after);

}  // namespace stratlyn::csv_batch
