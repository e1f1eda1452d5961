#include "tools/csv_batch.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstring>
#include <exception>
#include <new>
#include <string_view>
#include <thread>

#include "tools/csv_batch_records.h"
#include "tools/csv_parse.h"
#include "tools/csv_workbook.h"
#include "util/services.h"

namespace stratlyn {
namespace {

using namespace csv_batch;

using Note = std::pair<int, std::string>;

constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";

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
  MsgAnswer Show(const std::string& text, MsgButtons buttons, MsgIcon,
                 const std::string&) override {
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

// The work on one part of a chunk (on its own cache lines).
struct alignas(64) Slice {
  char* begin = nullptr;
  char* end = nullptr;
  bool awaiting_lf = false;
  bool at_eof = false;
  PartRecords records;
  ParseResult parse;
  std::string out;
  int priced = 0;
  int refused = 0;  // priced rows with a message
  size_t skipped = 0;
  std::vector<CellProblem> problems;
  std::vector<Note> notes;
  std::vector<Note> refusals;
  enum class Stop { kNone, kEnd, kError, kConflict } stop = Stop::kNone;
  size_t stop_record = 0;
  int conflict_col = 0;
  std::optional<zelError> error;

  // Ready for the next chunk, keeping the buffers' capacity.
  void Reset() {
    records.clear();
    out.clear();
    parse = {};
    priced = 0;
    refused = 0;
    skipped = 0;
    problems.clear();
    notes.clear();
    refusals.clear();
    stop = Stop::kNone;
    stop_record = 0;
    conflict_col = 0;
    error.reset();
  }
};

zelError AsZelError(const std::exception& e) {
  if (const auto* z = dynamic_cast<const zelError*>(&e)) {
    return *z;
  }
  if (dynamic_cast<const std::bad_alloc*>(&e)) {
    return zelError(err::kOutOfMemory);
  }
  return zelError(51, e.what());  // internal error
}

// Parses and prices one part of a chunk. Rows are counted from 0 within
// the part (the caller, which knows how many records the parts before it
// hold, turns them into sheet rows). Unless `after` is kPrice (the run has
// stopped in an earlier part) every record is copied as AppendStopped says.
void PriceSlice(Slice& s, const Layout& layout, RowPricer& pricer, After after,
                size_t keep_problems) {
  s.parse = ParsePart(s.begin, s.end, layout.sep, s.awaiting_lf, s.at_eof, s.records);
  if (!s.parse.ok || layout.stages == BatchOptions::Stages::kReadAndParse) {
    return;
  }
  const bool write = layout.stages == BatchOptions::Stages::kAll;
  const PartRecords& b = s.records;
  s.out.reserve(static_cast<size_t>(s.end - s.begin) * 5 / 2 + 64);
  NoteSink sink{&s.notes, 0};
  tls_sink = &sink;
  const bool has_price = layout.columns.HasPrice();
  bool stopped = after != After::kPrice;
  for (size_t r = 0; r < b.size(); ++r) {
    if (stopped) {
      AppendStopped(s.out, b, r, layout, after);
      continue;
    }
    const int row = static_cast<int>(r);
    const size_t fields = b.FieldCount(r);
    const auto field = [&](int col) -> std::string_view {
      return col >= 1 && static_cast<size_t>(col) <= fields ? b.Field(r, col - 1)
                                                            : std::string_view();
    };
    std::string_view bad;
    bool decimal_comma = false;  // the row's figures are written with decimal commas too
    const auto number_at = [&](int col, double& value, bool& blank) {
      const std::string_view f = field(col);
      blank = f.empty();
      if (blank) {
        value = 0.0;
        return true;
      }
      switch (ReadCsvNumber(f, layout.sep, value)) {
        case CsvNumber::kDecimalComma:
          decimal_comma = true;
          return true;
        case CsvNumber::kNumber:
          return true;
        case CsvNumber::kNotANumber:
        case CsvNumber::kAmbiguous:
          break;
      }
      bad = f;
      return false;
    };
    RowInputs in;
    int bad_col = 0;
    const RowKind kind = ReadRowInputs(layout.columns, number_at, field, in, bad_col);
    if (kind != RowKind::kEnd) {
      if (const int col = ResultColumnInUse(b, r, layout)) {
        s.stop = Slice::Stop::kConflict;
        s.stop_record = r;
        s.conflict_col = col;
        stopped = true;
        after = After::kCopy;
        AppendUntouched(s.out, b, r, layout);
        continue;
      }
    }
    switch (kind) {
      case RowKind::kEnd:
        s.stop = Slice::Stop::kEnd;
        s.stop_record = r;
        stopped = true;
        after = After::kClear;
        AppendAfterEnd(s.out, b, r, layout);
        break;
      case RowKind::kSkip: {
        ++s.skipped;
        const auto& headings = *layout.headings;
        CellProblem problem{
            row, bad_col, bad_col <= static_cast<int>(headings.size()) ? headings[bad_col - 1] : "",
            std::string(bad)};
        const std::string message = RowCellMessage(problem);
        if (s.problems.size() < keep_problems) {
          s.problems.push_back(std::move(problem));
        }
        AppendWithResults(s.out, b, r, layout, [&](int i) {
          if (i == layout.results) {
            AppendCsvField(s.out, message, layout.sep);
          }
        });
        break;
      }
      case RowKind::kPrice:
        try {
          sink.row = row;
          RowResults results{};
          const RowFigures figures = pricer.PriceRow(in, has_price, results);
          if (write) {
            AppendWithResults(s.out, b, r, layout, [&](int i) {
              if (i < figures.valid) {
                const size_t from = s.out.size();
                AppendCellNumber(s.out, results[i]);
                if (decimal_comma) {
                  std::replace(s.out.begin() + static_cast<long>(from), s.out.end(), '.', ',');
                }
              } else if (i == layout.results) {
                AppendCsvField(s.out, figures.message, layout.sep);
              }
            });
          }
          if (figures.Refused()) {
            ++s.refused;
            if (s.refusals.size() < keep_problems) {
              s.refusals.emplace_back(row, figures.message);
            }
          } else {
            ++s.priced;
          }
        } catch (const std::exception& e) {
          s.error = AsZelError(e);
          s.stop = Slice::Stop::kError;
          s.stop_record = r;
          stopped = true;
          after = After::kCopy;
          AppendUntouched(s.out, b, r, layout);
        }
        break;
    }
  }
  tls_sink = nullptr;
}

[[noreturn]] void ThrowWrite() {
  throw zelError(err::kDeviceIO, std::string("Cannot write the priced workbook: ") +
                                     std::strerror(errno ? errno : EIO));
}

void WriteOut(std::FILE* out, std::string_view text) {
  if (!text.empty() && std::fwrite(text.data(), 1, text.size(), out) != text.size()) {
    ThrowWrite();
  }
}

// The input, read in chunks that end at record boundaries.
class ChunkReader {
 public:
  ChunkReader(std::FILE* in, const std::string& name) : in_(in), name_(name) {}

  // Appends up to `bytes` more input after the kept tail; false at the end.
  bool Fill(std::vector<char>& buffer, size_t keep, size_t bytes) {
    buffer.resize(keep + bytes);
    size_t got = 0;
    while (got < bytes && !eof_) {
      const size_t n = std::fread(buffer.data() + keep + got, 1, bytes - got, in_);
      if (n == 0) {
        if (std::ferror(in_)) {
          const int e = errno ? errno : EIO;
          throw zelError(err::kDeviceIO, "Cannot read " + name_ + ": " + std::strerror(e));
        }
        eof_ = true;
      }
      got += n;
    }
    buffer.resize(keep + got);
    return got > 0;
  }
  bool AtEnd() const { return eof_; }

 private:
  std::FILE* in_;
  const std::string& name_;
  bool eof_ = false;
};

[[noreturn]] void Malformed(const std::string& name, size_t line) {
  throw zelError(err::kBadFile, CsvMalformedMessage(name, line));
}

}  // namespace

BatchReport PriceCsvStream(std::FILE* in, const std::string& name, std::FILE* out,
                           const BatchOptions& options) {
  BatchDialogs dialogs;
  BatchEvents events;
  ScopedServices services(&dialogs, &events);

  BatchReport report;
  ChunkReader reader(in, name);
  const size_t chunk_bytes = std::max<size_t>(options.chunk_bytes, 1);
  std::vector<char> buffers[2];
  int cur = 0;
  reader.Fill(buffers[cur], 0, chunk_bytes);

  // The byte-order mark, the separator and the heading record.
  size_t start = 0;
  const bool bom =
      std::string_view(buffers[cur].data(), buffers[cur].size()).starts_with(kByteOrderMark);
  if (bom) {
    start = kByteOrderMark.size();
  }
  const char* first_end = nullptr;
  for (;;) {
    const char* b = buffers[cur].data();
    const char* e = b + buffers[cur].size();
    first_end = NextBoundary(b + start, b + start, e);
    // A CR at the end of what was read may be the first half of a CR LF.
    const bool whole = first_end && !(first_end == e && first_end[-1] == '\r');
    if (whole || reader.AtEnd()) {
      break;
    }
    reader.Fill(buffers[cur], buffers[cur].size(), chunk_bytes);
  }
  char* const data = buffers[cur].data();
  char* const data_end = data + buffers[cur].size();
  char* const heading_end = first_end ? const_cast<char*>(first_end) : data_end;
  const char sep = DetectSeparator(std::string_view(data + start, heading_end - (data + start)));
  report.separator = sep;

  // The line end of the file, as its first record ends it.
  std::string line_end = "\n";
  if (first_end) {
    const char* p = first_end - 1;
    if (*p == '\n') {
      line_end = p > data + start && p[-1] == '\r' ? "\r\n" : "\n";
    } else if (p + 1 < data_end) {
      line_end = "\r";  // a CR not followed by LF
    }
    // A CR that is the last byte of the file leaves the default.
  }

  PartRecords heading_records;
  const bool heading_at_eof = !first_end && reader.AtEnd();
  std::vector<std::string> headings;
  if (heading_end > data + start || first_end) {
    const ParseResult parsed =
        ParsePart(data + start, heading_end, sep, false, heading_at_eof, heading_records);
    if (!parsed.ok) {
      Malformed(name, 1);
    }
    if (heading_records.size() > 0) {
      for (size_t i = 0; i < heading_records.FieldCount(0); ++i) {
        headings.emplace_back(heading_records.Field(0, i));
      }
    }
  }
  Layout layout;
  layout.columns = ScanHeadings(headings);
  if (const char* missing = MissingColumnMessage(layout.columns)) {
    report.outcome = BatchReport::Outcome::kMissingColumn;
    report.missing_column = missing;
    return report;
  }
  if (std::string problem = HeadingProblem(layout.columns, headings); !problem.empty()) {
    report.outcome = BatchReport::Outcome::kBadHeadings;
    report.missing_column = problem;
    return report;
  }
  layout.count = layout.columns.width;
  layout.results = layout.columns.ResultCount();
  report.headings = headings;
  layout.headings = &headings;
  layout.line_end = line_end;
  layout.sep = sep;
  layout.stages = options.stages;
  report.columns = layout.columns;

  std::string header;
  if (bom) {
    header.append(kByteOrderMark);
  }
  AppendWithResults(header, heading_records, 0, layout, [&](int i) {
    if (i < layout.results) {
      AppendCsvField(header, link_text::kResultHeadings[i], sep);
    } else if (i == layout.results) {
      AppendCsvField(header, link_text::kMessageHeading, sep);
    }
  });
  WriteOut(out, header);

  const unsigned threads =
      options.threads ? options.threads : std::max(1u, std::thread::hardware_concurrency());
  std::vector<RowPricer> pricers(threads);
  // Each chunk is cut into parts of about kPartBytes that the threads take
  // one after another, so that a thread held up by the machine's other work
  // leaves more parts to the others instead of keeping them all waiting.
  constexpr size_t kPartBytes = 32 << 10;
  std::vector<Slice> slice_sets[2];
  size_t part_counts[2] = {0, 0};
  bool stopped = false;
  After after = After::kPrice;  // how the records are copied once stopped
  size_t records_before = 1;    // the heading record
  report.last_row = 1;
  bool awaiting_lf = first_end && first_end[-1] == '\r';
  size_t begin = static_cast<size_t>(heading_end - data);
  bool pending_output = false;  // slice_sets[1 - cur] waits to be written

  const auto write_pending = [&] {
    if (!pending_output) {
      return;
    }
    for (size_t i = 0; i < part_counts[1 - cur]; ++i) {
      WriteOut(out, slice_sets[1 - cur][i].out);
    }
    pending_output = false;
  };

  for (;;) {
    std::vector<char>& buffer = buffers[cur];
    char* const base = buffer.data();
    char* const limit = base + buffer.size();
    const bool at_eof = reader.AtEnd();
    // The chunk ends at its last record boundary; the rest waits for more.
    char* chunk_end = limit;
    if (!at_eof) {
      const char* last = LastBoundary(base + begin, limit);
      if (!last) {
        // No whole record yet: read on (a record longer than a chunk).
        reader.Fill(buffer, buffer.size(), chunk_bytes);
        continue;
      }
      chunk_end = const_cast<char*>(last);
    }
    if (base + begin == chunk_end && at_eof) {
      break;
    }

    // Split the chunk into parts at record boundaries.
    std::vector<Slice>& slices = slice_sets[cur];
    char* part = base + begin;
    const size_t span = static_cast<size_t>(chunk_end - part);
    const size_t wanted = threads == 1 ? 1 : std::max<size_t>(threads, span / kPartBytes);
    if (slices.size() < wanted) {
      slices.resize(wanted);
    }
    size_t parts = 0;
    while (parts < wanted && (part < chunk_end || parts == 0)) {
      Slice& s = slices[parts];
      s.Reset();
      s.begin = part;
      char* part_end = chunk_end;
      if (parts + 1 < wanted) {
        const char* target = base + begin + span * (parts + 1) / wanted;
        if (target < part) {
          target = part;
        }
        const char* b = target < chunk_end ? NextBoundary(part, target, chunk_end) : nullptr;
        part_end = b ? const_cast<char*>(b) : chunk_end;
      }
      s.end = part_end;
      s.awaiting_lf = parts == 0 ? awaiting_lf : part[-1] == '\r';
      s.at_eof = at_eof && part_end == chunk_end;
      part = part_end;
      ++parts;
    }
    part_counts[cur] = parts;

    std::atomic<size_t> next_part{0};
    const auto work = [&slices, &next_part, &layout, parts, after,
                       keep = options.keep_problems](RowPricer& pricer) {
      for (size_t i; (i = next_part.fetch_add(1, std::memory_order_relaxed)) < parts;) {
        PriceSlice(slices[i], layout, pricer, after, keep);
      }
    };
    const unsigned worker_count = static_cast<unsigned>(std::min<size_t>(threads, parts));
    std::vector<std::thread> workers;
    workers.reserve(worker_count);
    const auto join = [&workers] {
      for (auto& w : workers) {
        if (w.joinable()) {
          w.join();
        }
      }
    };
    std::vector<char>& next = buffers[1 - cur];
    const size_t tail = static_cast<size_t>(limit - chunk_end);
    try {
      // The tail of this chunk starts the next one (the workers only read it).
      next.resize(tail);
      if (tail) {
        std::memcpy(next.data(), chunk_end, tail);
      }
      for (unsigned t = 0; t < worker_count; ++t) {
        workers.emplace_back(work, std::ref(pricers[t]));
      }
      // Write the previous chunk and read the next one while this is priced.
      write_pending();
      if (!at_eof) {
        reader.Fill(next, tail, chunk_bytes);
      }
    } catch (...) {
      // The parts no thread has taken yet are left alone.
      next_part.store(parts);
      join();
      throw;
    }
    join();

    size_t line = records_before + 1;
    for (size_t i = 0; i < parts; ++i) {
      if (!slices[i].parse.ok) {
        Malformed(name, line + slices[i].records.size());
      }
      line += slices[i].records.size();
    }
    size_t records = 0;
    for (size_t i = 0; i < parts; ++i) {
      Slice& s = slices[i];
      if (stopped) {
        // An earlier part ended the run: this one is copied as it stands.
        s.out.clear();
        for (size_t r = 0; r < s.records.size(); ++r) {
          AppendStopped(s.out, s.records, r, layout, after);
        }
        records += s.records.size();
        continue;
      }
      // The part's rows counted from 0 become the sheet's rows.
      const int first_row = static_cast<int>(records_before + records + 1);
      report.rows_priced += s.priced;
      report.rows_skipped += s.skipped;
      report.rows_refused += s.refused;
      for (auto& p : s.problems) {
        p.row += first_row;
        if (report.skipped.size() < options.keep_problems) {
          report.skipped.push_back(std::move(p));
        }
      }
      for (auto& n : s.notes) {
        n.first += first_row;
        report.notes.push_back(std::move(n));
      }
      for (auto& n : s.refusals) {
        if (report.refusals.size() >= options.keep_problems) {
          break;
        }
        n.first += first_row;
        report.refusals.push_back(std::move(n));
      }
      if (s.records.size()) {
        report.last_row = static_cast<int>(records_before + records + s.records.size());
      }
      if (s.stop != Slice::Stop::kNone) {
        stopped = true;
        after = s.stop == Slice::Stop::kEnd ? After::kClear : After::kCopy;
        report.last_row = static_cast<int>(records_before + records + s.stop_record + 1);
        if (s.stop == Slice::Stop::kError) {
          report.outcome = BatchReport::Outcome::kFailed;
          report.error = s.error;
        } else if (s.stop == Slice::Stop::kConflict) {
          report.outcome = BatchReport::Outcome::kResultsConflict;
          report.conflict_row = report.last_row;
          report.conflict_col = s.conflict_col;
          report.missing_column = ResultsConflictMessage(report.last_row, s.conflict_col);
        }
      }
      records += s.records.size();
    }
    awaiting_lf = slices[parts - 1].parse.awaiting_lf;
    records_before += records;
    pending_output = true;
    cur = 1 - cur;
    begin = 0;
    if (at_eof) {
      break;
    }
  }
  cur = 1 - cur;  // the set last priced
  if (pending_output) {
    for (size_t i = 0; i < part_counts[cur]; ++i) {
      WriteOut(out, slice_sets[cur][i].out);
    }
  }
  if (!stopped) {
    report.last_row = static_cast<int>(records_before + 1);
  }
  if (std::fflush(out) != 0) {
    ThrowWrite();
  }
  return report;
}

}  // namespace stratlyn
