#pragma once
// The spreadsheet link over a CSV stream of any length, for
// `stratlyn-cli batch`: the same headings, row rules and results as the
// window's "Process" on a CSV workbook, with the rows priced on several
// threads (each with its own pricing records) and written in their order.

#include <cstdio>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "tools/excel_link.h"
#include "util/zel_error.h"

namespace stratlyn {

struct BatchOptions {
  unsigned threads = 0;          // 0: one per processor
  size_t chunk_bytes = 1 << 20;  // input read, split and priced together
  size_t keep_problems = 1000;   // skipped rows kept for the report
  // For measuring the parts of a run: stop after reading and parsing, or
  // after pricing (nothing is then written but the headings).
  enum class Stages { kAll, kReadAndParse, kReadParseAndPrice };
  Stages stages = Stages::kAll;
};

struct BatchReport {
  // kMissingColumn and kBadHeadings write nothing; kResultsConflict stops
  // at the first row with data of its own in a result column (the rows
  // before it are written), like kFailed.
  enum class Outcome { kDone, kMissingColumn, kBadHeadings, kResultsConflict, kFailed };
  Outcome outcome = Outcome::kDone;
  std::string missing_column;              // the message, with the three outcomes above
  int conflict_row = 0, conflict_col = 0;  // the cell of kResultsConflict
  char separator = ',';                    // the field separator of the file (and of the output)
  LinkColumns columns;                     // where the inputs were found
  std::vector<std::string> headings;       // the texts of row 1
  int rows_priced = 0;
  int last_row = 0;         // the row where the run ended (or failed)
  size_t rows_skipped = 0;  // refused: an input cell is not a number
  size_t rows_refused = 0;  // refused with another message (out of range, no volatility, ...)
  // The first keep_problems of those rows with their message, by row.
  std::vector<std::pair<int, std::string>> refusals;
  std::vector<CellProblem> skipped;  // the first keep_problems of them
  // Messages of the pricing records ("Invalid maturity (0.0000)"), with their row.
  std::vector<std::pair<int, std::string>> notes;
  std::optional<zelError> error;  // with kFailed: the run-time error at last_row
};

// Reads the CSV workbook from in (named `name` in messages) and writes it to
// out with the results. Nothing is written when a required column is
// missing or the headings are ambiguous. The separator (comma, semicolon or
// tab) is the one the heading row uses most; the output keeps it, the
// file's line end and byte-order mark. Number fields read as ReadCsvNumber
// reads them (decimal commas in a semicolon or tab file; a row read with
// them gets its results written with them). A row with data of its own under a
// result column without a result heading stops the run (kResultsConflict).
// A row the records cannot price gets its message in the Message column and
// the run goes on (rows_refused, refusals). Any other failure (out of
// memory) ends the pricing at its row: earlier rows keep their results,
// that row and the rest are copied as they are, and the report says
// kFailed. Throws zelError 52 for a malformed file and 57 for a read or
// write error. Installs its own dialogs and events for the run, so that the
// pricing records can be used from several threads.
BatchReport PriceCsvStream(std::FILE* in, const std::string& name, std::FILE* out,
                           const BatchOptions& options = {});

}  // namespace stratlyn
