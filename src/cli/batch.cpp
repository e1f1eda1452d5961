// stratlyn-cli batch IN.csv [-o OUT.csv]: prices every row of a CSV workbook
// as the spreadsheet link does, and writes the workbook with its results.

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <iostream>
#include <memory>
#include <string>
#include <vector>

#include "cli/command.h"
#include "cli/flags.h"
#include "tools/csv_batch.h"
#include "tools/csv_workbook.h"
#include "util/zel_error.h"

namespace stratlyn::cli {
namespace {

constexpr const char* kUsage =
    "Usage: stratlyn-cli batch IN.csv [-o OUT.csv] [--threads N]\n"
    "\n"
    "Prices every row of a CSV workbook, as the spreadsheet link of the window does.\n"
    "The fields are separated by commas, semicolons or tabs (whichever the heading\n"
    "row uses most; the output keeps it). Row 1 holds the headings; the columns are\n"
    "found by these words in them (whole words, any case): underlying, strike,\n"
    "maturity (years), vol or volatility, yield (dividend), risk (risk-free rate),\n"
    "type (1 call, 2 put), style (American or European), and optionally Price,\n"
    "Market Price or Option Price (the option's market price, for the implied\n"
    "volatility). Two columns for one input are refused. The columns taken are\n"
    "listed on stderr.\n"
    "Calculated Price, Delta, Gamma, Vega and Theta (and, with a price column,\n"
    "Implied Volatility and the Greeks at it) are written after the last heading,\n"
    "or over the results of an earlier run; a row with data of its own there stops\n"
    "the run before anything is written. A Message column after the results says\n"
    "why a row was refused (an input that is not a number or out of range, a\n"
    "volatility that is not above 0, a market price no volatility reaches); its\n"
    "result cells stay empty and the run goes on. The run ends at the first row\n"
    "whose underlying is empty or 0; the result cells of that row and the rows\n"
    "below it are emptied.\n"
    "\n"
    "Options:\n"
    "  -o OUT.csv     where to write (default IN.priced.csv next to IN; - for\n"
    "                 standard output). A file is replaced only once the whole\n"
    "                 workbook is written, keeping its mode; a symbolic link is\n"
    "                 followed; a device or FIFO is written into. A folder, a\n"
    "                 read-only file and the input itself (by any name, also as\n"
    "                 standard output) are refused, and so is a link or file of\n"
    "                 another user in a shared folder such as /tmp.\n"
    "  --threads N    pricing threads (default: one per processor)\n"
    "\n"
    "Exit status: 0 all rows priced; 2 invalid input (a required column is missing,\n"
    "the file is not CSV, or some rows were refused, the output being written all\n"
    "the same); 1 a run-time error, or the output cannot be written.\n";

struct FileCloser {
  void operator()(std::FILE* f) const { std::fclose(f); }
};

int BadInput(const std::string& message) {
  std::cerr << "stratlyn-cli batch: " << message << '\n';
  return kExitBadInput;
}

// True when the output (a path, or "-" for standard output) is the input
// file itself: the same inode, reached by any name, link or descriptor.
bool OutputIsInput(int input_fd, const std::string& output) {
  struct stat in {};
  if (::fstat(input_fd, &in) != 0) {
    return false;
  }
  struct stat out {};
  const int got = output == "-" ? ::fstat(STDOUT_FILENO, &out) : ::stat(output.c_str(), &out);
  return got == 0 && in.st_dev == out.st_dev && in.st_ino == out.st_ino;
}

int Run(const std::vector<std::string>& args) {
  std::string input;
  std::string output;
  unsigned threads = 0;
  if (WantsHelp(args)) {
    std::cout << kUsage;
    return kExitOk;
  }
  try {
    FlagCursor flags(args);
    while (flags.Next()) {
      const std::string& a = flags.Word();
      if (a == "-o" || a == "--output") {
        output = flags.Value("-o needs a file name");
      } else if (a == "--threads") {
        const std::string& n = flags.Value("--threads needs a number");
        if (n.empty() || n.size() > 3 || n.find_first_not_of("0123456789") != std::string::npos ||
            std::stoi(n) < 1) {
          throw UsageError{"--threads takes a number from 1 to 999, not '" + n + "'"};
        }
        threads = static_cast<unsigned>(std::stoi(n));
      } else if (flags.IsFlag()) {
        throw UsageError{UnknownFlag(a).message + "\n\n" + kUsage};
      } else if (input.empty()) {
        input = a;
      } else {
        throw UsageError{"one input file only ('" + a + "' is a second)"};
      }
    }
  } catch (const UsageError& e) {
    return BadInput(e.message);
  }
  if (input.empty()) {
    std::cerr << kUsage;
    return kExitBadInput;
  }
  if (output.empty()) {
    output = PricedPath(input);
  }

  std::unique_ptr<std::FILE, FileCloser> in(std::fopen(input.c_str(), "rb"));
  if (!in) {
    return BadInput("cannot open " + input + ": " + std::strerror(errno));
  }
  std::error_code ec;
  if (std::filesystem::is_directory(input, ec)) {
    return BadInput(input + " is a folder");
  }
  // Writing into the file being read would feed the output back in.
  if (OutputIsInput(fileno(in.get()), output)) {
    return BadInput(output == "-"
                        ? "standard output is the input " + input + "; write elsewhere with -o"
                        : "the output " + output +
                              " would replace the input; choose another with -o");
  }
  // A run cut short by a signal leaves no temporary file behind.
  InstallTempFileCleanup();

  BatchOptions options;
  options.threads = threads;
  std::unique_ptr<AtomicFile> file;
  if (output != "-") {
    // Not RunCommand here and below: a file that cannot be used is bad input
    // (exit 2, the reason on stderr); anything else goes up to main (exit 1).
    try {
      file = std::make_unique<AtomicFile>(output);
    } catch (const zelError& e) {
      return BadInput(e.Description());
    }
  }
  BatchReport report;
  try {
    report = PriceCsvStream(in.get(), input, file ? file->get() : stdout, options);
  } catch (const zelError& e) {
    if (e.Number() == err::kBadFile) {
      return BadInput(e.Description());
    }
    throw;
  }

  if (report.outcome == BatchReport::Outcome::kMissingColumn ||
      report.outcome == BatchReport::Outcome::kBadHeadings) {
    return BadInput(report.missing_column + "\nNothing was written.");
  }
  std::cerr << "stratlyn-cli batch: " << SeparatorName(report.separator) << "-separated; "
            << ColumnsTakenText(report.columns, report.headings) << '\n';
  if (report.outcome == BatchReport::Outcome::kResultsConflict) {
    // Nothing of the user's is written over: a file keeps what it held.
    const bool kept = file && !file->IsStream();
    return BadInput(
        ResultsConflictMessage(report.conflict_row, report.conflict_col,
                               kept ? link_text::kNothingWritten : link_text::kRowsAboveWritten));
  }
  if (file) {
    file->Commit();
  }

  for (const auto& [row, text] : report.notes) {
    std::cerr << "stratlyn-cli batch: row " << row << ": " << text << '\n';
  }
  for (const CellProblem& p : report.skipped) {
    std::cerr << "stratlyn-cli batch: " << DescribeProblem(p) << "; row refused\n";
  }
  for (const auto& [row, text] : report.refusals) {
    std::cerr << "stratlyn-cli batch: row " << row << ": " << text << "; row refused\n";
  }
  if (report.rows_refused > report.refusals.size()) {
    std::cerr << "stratlyn-cli batch: ... and " << report.rows_refused - report.refusals.size()
              << " more rows refused\n";
  }
  if (report.rows_skipped > report.skipped.size()) {
    std::cerr << "stratlyn-cli batch: ... and " << report.rows_skipped - report.skipped.size()
              << " more rows with a cell that is not a number\n";
  }
  const std::string where = output == "-" ? "standard output" : output;
  if (report.outcome == BatchReport::Outcome::kFailed) {
    const zelError& e = *report.error;
    std::cerr << "stratlyn-cli batch: run-time error " << e.Number() << " at row "
              << report.last_row << ": " << e.Description() << "\n"
              << "stratlyn-cli batch: " << report.rows_priced
              << " rows priced before it; written to " << where << '\n';
    return kExitRuntimeError;
  }
  const size_t refused = report.rows_skipped + report.rows_refused;
  std::cerr << "stratlyn-cli batch: " << RunSummary(report.rows_priced, refused) << "; written to "
            << where << '\n';
  return refused ? kExitBadInput : kExitOk;
}

static CliCommandRegistration reg{
    {"batch", "price every row of a CSV workbook (as the spreadsheet link)", &Run}};

}  // namespace
}  // namespace stratlyn::cli
