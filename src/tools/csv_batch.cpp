#include "tools/csv_batch.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <exception>
#include <new>
#include <string_view>
#include <thread>

#include "tools/csv_workbook.h"
#include "util/services.h"

namespace stratlyn {
namespace {

using Note = std::pair<int, std::string>;

// Where the pricing records' messages of the current row go, per thread.
struct NoteSink {
  std::vector<Note>* notes = nullptr;
  int row = 0;
};
thread_local NoteSink* tls_sink = nullptr;

// Message boxes of a batch run: collected with their row, answered
// cautiously, safe to call from every worker at once.
class BatchDialogs : public Dialogs {
 public:
  MsgAnswer Show(const std::string& text, MsgButtons buttons, MsgIcon, const std::string&) override {
    if (NoteSink* sink = tls_sink) {
      auto& notes = *sink->notes;
      if (notes.empty() || notes.back().first != sink->row || notes.back().second != text) {
        notes.emplace_back(sink->row, text);
      }
    }
    return CautiousAnswer(buttons);
  }
};

// Nothing to let run between lattice steps; safe from every thread.
class BatchEvents : public Events {
 public:
  void ProcessPending() override {}
  void SetBusy(bool) override {}
};

struct Layout {
  LinkColumns columns;
  int count = 0;  // result columns
  const std::vector<std::string>* headings = nullptr;
  std::string_view line_end;
};

// The work of one thread on a part of a block (on its own cache lines).
struct alignas(64) Slice {
  size_t begin = 0;
  size_t end = 0;
  std::string out;
  int priced = 0;
  size_t skipped = 0;
  std::vector<CellProblem> problems;
  std::vector<Note> notes;
  enum class Stop { kNone, kEnd, kError } stop = Stop::kNone;
  size_t stop_record = 0;
  std::optional<zelError> error;
};

void AppendUntouched(std::string& out, const CsvRecords& b, size_t r, std::string_view line_end) {
  const size_t n = b.FieldCount(r);
  if (n == 1 && b.Field(r, 0).empty()) {
    out.append("\"\"");
  } else {
    for (size_t i = 0; i < n; ++i) {
      if (i) out.push_back(',');
      AppendCsvField(out, b.Field(r, i));
    }
  }
  out.append(line_end);
}

// The record with `fill(col)` in the result columns, widened to hold them.
template <typename Fill>
void AppendWithResults(std::string& out, const CsvRecords& b, size_t r, const Layout& layout,
                       Fill&& fill) {
  const int fields = static_cast<int>(b.FieldCount(r));
  const int first = layout.columns.results;
  const int last = first + layout.count - 1;
  const int n = std::max(fields, last);
  for (int col = 1; col <= n; ++col) {
    if (col > 1) out.push_back(',');
    if (col >= first && col <= last) {
      fill(col - first);
    } else if (col <= fields) {
      AppendCsvField(out, b.Field(r, col - 1));
    }
  }
  out.append(layout.line_end);
}

// A skipped row: its result cells are emptied, nothing is added.
void AppendCleared(std::string& out, const CsvRecords& b, size_t r, const Layout& layout) {
  const int fields = static_cast<int>(b.FieldCount(r));
  const int first = layout.columns.results;
  const int last = first + layout.count - 1;
  if (fields == 1 && b.Field(r, 0).empty()) {
    out.append("\"\"");
  } else {
    for (int col = 1; col <= fields; ++col) {
      if (col > 1) out.push_back(',');
      if (col < first || col > last) AppendCsvField(out, b.Field(r, col - 1));
    }
  }
  out.append(layout.line_end);
}

zelError AsZelError(const std::exception& e) {
  if (const auto* z = dynamic_cast<const zelError*>(&e)) return *z;
  if (dynamic_cast<const std::bad_alloc*>(&e)) return zelError(err::kOutOfMemory);
  return zelError(51, e.what());  // internal error
}

void PriceSlice(const CsvRecords& b, Slice& s, const Layout& layout, RowPricer& pricer,
                size_t first_row, bool untouched, size_t keep_problems) {
  NoteSink sink{&s.notes, 0};
  tls_sink = &sink;
  const bool has_price = layout.columns.HasPrice();
  bool stopped = untouched;
  for (size_t r = s.begin; r < s.end; ++r) {
    if (stopped) {
      AppendUntouched(s.out, b, r, layout.line_end);
      continue;
    }
    const int row = static_cast<int>(first_row + r);
    const size_t fields = b.FieldCount(r);
    const auto field = [&](int col) -> std::string_view {
      return col >= 1 && static_cast<size_t>(col) <= fields ? b.Field(r, col - 1)
                                                            : std::string_view();
    };
    std::string_view bad;
    const auto number_at = [&](int col, double& value) {
      const std::string_view f = field(col);
      if (f.empty()) {
        value = 0.0;
        return true;
      }
      if (ReadNumber(f, value)) return true;
      bad = f;
      return false;
    };
    RowInputs in;
    int bad_col = 0;
    switch (ReadRowInputs(layout.columns, number_at, field, in, bad_col)) {
      case RowKind::kEnd:
        s.stop = Slice::Stop::kEnd;
        s.stop_record = r;
        stopped = true;
        AppendUntouched(s.out, b, r, layout.line_end);
        break;
      case RowKind::kSkip:
        ++s.skipped;
        if (s.problems.size() < keep_problems) {
          const auto& headings = *layout.headings;
          s.problems.push_back(
              {row, bad_col,
               bad_col <= static_cast<int>(headings.size()) ? headings[bad_col - 1] : "",
               std::string(bad)});
        }
        AppendCleared(s.out, b, r, layout);
        break;
      case RowKind::kPrice:
        try {
          sink.row = row;
          RowResults results{};
          pricer.PriceRow(in, has_price, results);
          AppendWithResults(s.out, b, r, layout,
                            [&](int i) { AppendCellNumber(s.out, results[i]); });
          ++s.priced;
        } catch (const std::exception& e) {
          s.error = AsZelError(e);
          s.stop = Slice::Stop::kError;
          s.stop_record = r;
          stopped = true;
          AppendUntouched(s.out, b, r, layout.line_end);
        }
        break;
    }
  }
  tls_sink = nullptr;
}

void WriteOut(std::FILE* out, std::string_view text) {
  if (!text.empty() && std::fwrite(text.data(), 1, text.size(), out) != text.size()) {
    throw zelError(err::kDeviceIO, std::string("Cannot write the priced workbook: ") +
                                       std::strerror(errno ? errno : EIO));
  }
}

}  // namespace

BatchReport PriceCsvStream(std::FILE* in, const std::string& name, std::FILE* out,
                           const BatchOptions& options) {
  BatchDialogs dialogs;
  BatchEvents events;
  ScopedServices services(&dialogs, &events);

  BatchReport report;
  CsvReader reader(in, name);
  CsvRecords blocks[2];
  const size_t block_records = std::max<size_t>(options.block_records, 1);
  bool more = reader.Read(blocks[0], block_records);

  std::vector<std::string> headings;
  if (more) {
    for (size_t i = 0; i < blocks[0].FieldCount(0); ++i) {
      headings.emplace_back(blocks[0].Field(0, i));
    }
  }
  Layout layout;
  layout.columns = ScanHeadings(headings);
  if (const char* missing = MissingColumnMessage(layout.columns)) {
    report.outcome = BatchReport::Outcome::kMissingColumn;
    report.missing_column = missing;
    return report;
  }
  layout.count = layout.columns.ResultCount();
  layout.headings = &headings;
  const std::string line_end = reader.LineEnd();
  layout.line_end = line_end;

  std::string header;
  if (reader.HasByteOrderMark()) header.append("\xEF\xBB\xBF");
  AppendWithResults(header, blocks[0], 0, layout,
                    [&](int i) { AppendCsvField(header, link_text::kResultHeadings[i]); });
  WriteOut(out, header);

  const unsigned threads =
      options.threads ? options.threads : std::max(1u, std::thread::hardware_concurrency());
  std::vector<RowPricer> pricers(threads);
  bool stopped = false;
  size_t rows_before = 0;  // records in earlier blocks
  size_t start = 1;        // the first block begins with the headings
  int cur = 0;
  report.last_row = 1;
  while (more) {
    const CsvRecords& block = blocks[cur];
    const size_t n = block.size();
    std::vector<Slice> slices(threads);
    const size_t per = (n - start + threads - 1) / threads;
    for (unsigned t = 0; t < threads; ++t) {
      slices[t].begin = std::min(n, start + t * per);
      slices[t].end = std::min(n, slices[t].begin + per);
      slices[t].out.reserve((slices[t].end - slices[t].begin) * 96);
    }
    std::vector<std::thread> workers;
    workers.reserve(threads);
    const auto join = [&workers] {
      for (auto& w : workers) {
        if (w.joinable()) w.join();
      }
    };
    try {
      for (unsigned t = 0; t < threads; ++t) {
        workers.emplace_back(PriceSlice, std::cref(block), std::ref(slices[t]), std::cref(layout),
                             std::ref(pricers[t]), rows_before + 1, stopped,
                             options.keep_problems);
      }
      // Read the next block while this one is priced.
      blocks[1 - cur].clear();
      more = reader.Read(blocks[1 - cur], block_records);
    } catch (...) {
      join();
      throw;
    }
    join();

    for (Slice& s : slices) {
      if (stopped) {
        // An earlier slice ended the run: this one is copied as it stands.
        s.out.clear();
        for (size_t r = s.begin; r < s.end; ++r) AppendUntouched(s.out, block, r, line_end);
        WriteOut(out, s.out);
        continue;
      }
      report.rows_priced += s.priced;
      report.rows_skipped += s.skipped;
      for (auto& p : s.problems) {
        if (report.skipped.size() < options.keep_problems) report.skipped.push_back(std::move(p));
      }
      report.notes.insert(report.notes.end(), std::make_move_iterator(s.notes.begin()),
                          std::make_move_iterator(s.notes.end()));
      if (s.end > s.begin) report.last_row = static_cast<int>(rows_before + s.end);
      if (s.stop != Slice::Stop::kNone) {
        stopped = true;
        report.last_row = static_cast<int>(rows_before + s.stop_record + 1);
        if (s.stop == Slice::Stop::kError) {
          report.outcome = BatchReport::Outcome::kFailed;
          report.error = s.error;
        }
      }
      WriteOut(out, s.out);
    }
    rows_before += n;
    cur = 1 - cur;
    start = 0;
  }
  if (!stopped) report.last_row = static_cast<int>(rows_before + 1);
  if (std::fflush(out) != 0) {
    throw zelError(err::kDeviceIO, std::string("Cannot write the priced workbook: ") +
                                       std::strerror(errno ? errno : EIO));
  }
  return report;
}

}  // namespace stratlyn
