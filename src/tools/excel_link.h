#pragma once
// The spreadsheet link (window frmExcelLink) without its window: finds the
// worksheets of the running spreadsheet application, recognises the input
// columns by the headings of row 1, and prices every row below them with one
// kept zelBSOP (European rows) and one kept zelBarr (American rows), writing
// value and Greeks, and with a market price column the implied volatility
// and the Greeks at it, into columns to the right of the inputs.

#include <array>
#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "pricing/option_terms.h"
#include "pricing/zel_barr.h"
#include "pricing/zel_bsop.h"
#include "tools/office_thread.h"
#include "tools/spreadsheet_app.h"

namespace stratlyn {

// Messages and captions of the spreadsheet link.
namespace link_text {
inline constexpr const char* kNoWorkbooks = "No workbooks are loaded into LibreOffice Calc";
inline constexpr const char* kAnalyzing = "Analyzing spreadsheet";
inline constexpr const char* kProcessingRow = "Processing row ";
inline constexpr const char* kDone = "Done";
inline constexpr const char* kCancelled = "Cancelled at row ";
inline constexpr const char* kStopped = "Stopped at row ";

inline constexpr const char* kMissingUnderlying =
    "Column heading Underlying Asset not found.  The heading must be in the first row of the "
    "spreadsheet";
inline constexpr const char* kMissingStrike =
    "Column heading Strike Price not found.  The heading must be in the first row of the "
    "spreadsheet";
inline constexpr const char* kMissingMaturity =
    "Column heading Maturity not found.  The heading must be in the first row of the spreadsheet";
inline constexpr const char* kMissingVolatility =
    "Column heading Volatility not found.  The heading must be in the first row of the "
    "spreadsheet";
inline constexpr const char* kMissingDividend =
    "Column heading Dividend Yield not found.  The heading must be in the first row of the "
    "spreadsheet";
inline constexpr const char* kMissingRiskFree =
    "Column heading Risk Free Rate not found.  The heading must be in the first row of the "
    "spreadsheet";
inline constexpr const char* kMissingType =
    "Column heading Type not found.  The heading must be in the first row of the spreadsheet.  "
    "The entries in this column must be 1 for Call or 2 for Put.";
inline constexpr const char* kMissingStyle =
    "Column heading Style not found.  The heading must be in the first row of the spreadsheet.  "
    "The entries in this column must be American or European";

inline constexpr const char* kAmbiguous1 = "Two columns could be the ";
inline constexpr const char* kAmbiguous2 =
    ".  Please rename one of them so that each input has one column.";
inline constexpr const char* kStray1 = "The heading of ";
inline constexpr const char* kStray2 = " is one of the results, but the results go from column ";
inline constexpr const char* kStray3 =
    ": figures of an earlier run there would stay beside new inputs.  Please rename or "
    "delete that column.";
inline constexpr const char* kBlocked1 = "The results of the earlier run would be written over ";
inline constexpr const char* kBlocked2 =
    ", which is not one of their columns.  Please move that column, or delete the earlier "
    "results.";

inline constexpr const char* kConnectionLost1 = "The connection to LibreOffice Calc was lost";
inline constexpr const char* kConnectionLost2 =
    ".  Start Calc again with your workbook (see the command above), then press Process: the "
    "sheet is found again by its name.";
inline constexpr const char* kSheetGone1 = "The sheet ";
inline constexpr const char* kSheetGone2 =
    " is not open in LibreOffice Calc any more.  Please load it and press Find Calc Sheet.";

inline constexpr const char* kSkippedRows =
    "These rows were skipped because an input cell does not hold a number:";

// The summary of a run: "12 rows priced, 2 refused (see the Message column)".
inline constexpr const char* kRowsPriced = " rows priced, ";
inline constexpr const char* kRowsRefused = " refused";
inline constexpr const char* kSeeMessages = " (see the Message column)";

// A row's own message, written into its Message cell (its result cells stay
// empty): "Volatility must be above 0", "Type must be 1 (call) or 2 (put)".
inline constexpr const char* kOutOfRange = " is out of range";
inline constexpr const char* kNotPositive = " must be above 0";
inline constexpr const char* kIsEmpty = " is empty";
inline constexpr const char* kAboveFive =
    " is above 500 %: a rate, yield or volatility is a decimal fraction, 40 % is 0.40";
inline constexpr const char* kNotANumber = " is not a number";
inline constexpr const char* kAmbiguousNumber =
    " may be read two ways, its dot or comma a decimal or a group separator: write 1000 for a "
    "thousand, 1 or 1,0 for one";
inline constexpr const char* kBadType = "Type must be 1 (call) or 2 (put)";
inline constexpr const char* kNoVolatility = "No volatility gives the market price";
inline constexpr const char* kCannotPrice = "Cannot be priced: ";

// A cell of the user's under the result columns.
inline constexpr const char* kConflict1 = "Row ";
inline constexpr const char* kConflict2 = " holds data in column ";
inline constexpr const char* kConflict3 =
    ", which has no heading and is where the results would go.  Give that column a heading "
    "(the results then go after it) or move its data.";
// What was written before the run stopped there: nothing (the window, a
// file), or the rows above it (the terminal tool's standard output).
inline constexpr const char* kNothingWritten = "  Nothing was written.";
inline constexpr const char* kRowsAboveWritten = "  The rows above it were written.";

// A call to the office that did not come back in time.
inline constexpr const char* kNoAnswer1 = "LibreOffice Calc did not answer within ";
inline constexpr const char* kNoAnswer2 = " seconds";
inline constexpr const char* kNoAnswer3 =
    ".  Please check that Calc is not waiting for you (an open dialog), then press Process: "
    "the sheet is found again by its name.";

// Headings of the result columns (five, then five more with a price column).
inline constexpr std::array<const char*, 10> kResultHeadings = {
    "Calculated Price",   "Delta",         "Gamma",         "Vega",         "Theta",
    "Implied Volatility", "Implied Delta", "Implied Gamma", "Implied Vega", "Implied Theta"};
// The column after the results that holds a row's message ("" when none).
inline constexpr const char* kMessageHeading = "Message";
}  // namespace link_text

// The most columns a run writes or empties: ten results and the message.
inline constexpr int kMaxResultBlock = 11;

// "Row 57 holds data in column 10, which has no heading ..."
// The message of a cell of the user's at (row, col) in the result block,
// with what was written before the run stopped (kNothingWritten or
// kRowsAboveWritten).
std::string ResultsConflictMessage(int row, int col,
                                   const char* written = link_text::kNothingWritten);
// "12 rows priced, 2 refused (see the Message column)"
std::string RunSummary(int priced, size_t refused);

// The error of a spreadsheet application that went away in the middle of a
// run (the classic "remote server machine does not exist or is unavailable").
inline constexpr int kOfficeConnectionLost = 462;
// "The connection to LibreOffice Calc was lost at row 7.  The results of the
// rows above it were written.  ..."
std::string ConnectionLostMessage(int row);
// "LibreOffice Calc did not answer within 30 seconds at row 7.  The results
// of the rows above it were written.  ..."
std::string NoAnswerMessage(std::chrono::milliseconds limit, int row);

// The message when the running spreadsheet application cannot be reached on
// the given port: the attach of a Connector throws zelError 429 with it.
std::string NotRunningMessage(int port);

// Where the inputs and results lie (columns from 1, 0 = not found).
struct LinkColumns {
  int underlying = 0;
  int strike = 0;
  int maturity = 0;
  int volatility = 0;
  int dividend = 0;
  int riskfree = 0;
  int type = 0;
  int style = 0;
  int price = 0;
  int last = 0;                  // L: the last recognised heading column
  int results = 0;               // the first result column ("Calculated Price")
  bool earlier_results = false;  // row 1 holds the results of an earlier run
  // Two columns whose headings name the same input (the first such pair).
  const char* ambiguous = nullptr;  // the input's name ("Strike Price")
  int ambiguous_first = 0, ambiguous_second = 0;
  // With earlier results: a column of the result block whose heading is not
  // one of the results (a user's column that the results would replace).
  int blocked = 0;
  // A column outside the block headed like one of its results (an earlier
  // run's column left behind when "Calculated Price" was deleted or moved).
  int stray_result = 0;
  // The columns from `results` that a run writes: its results, the message
  // column, and after them the rest of an earlier run's block (emptied, so
  // that no figure of that run stays beside the new ones).
  int width = 0;
  // guarded[i]: column results + i has no heading of this program above it;
  // a row holding anything there stops the run before anything is written.
  std::array<bool, kMaxResultBlock> guarded{};

  bool HasPrice() const { return price != 0; }
  int ResultCount() const { return HasPrice() ? 10 : 5; }
  // The offset of the message column within the block.
  int MessageOffset() const { return ResultCount(); }
};

// Recognises the input columns from the texts of row 1 (headings[0] is
// column 1; any number of columns), by whole words in any case:
// "underlying", "strike", "maturity", "vol" (or "vols", "vola",
// "volatility"), "yield", "risk" (or a word starting with it: "riskfree"),
// "type", "style"; a heading that names both ("Underlying Price") sets both.
// The market price column is a heading of only the words "price", "market"
// and "option" ("Price", "Market Price", "Option Price"): "Bid Price" or
// "Underlying Price" is not it. "Calculated Price" anywhere in the row marks
// an earlier run: the inputs are looked for left of it and the results
// replace it. Otherwise the results start after the last non-empty heading
// (recognised or not). Two columns for the same input are recorded as
// ambiguous (the first one is kept).
LinkColumns ScanHeadings(const std::vector<std::string>& headings);

// The message for ambiguous headings or a result block over a user's
// column (HeadingProblem), "" when the headings can be used.
std::string HeadingProblem(const LinkColumns& columns,
                           const std::vector<std::string>& headings = {});

// "Underlying Asset: column 1 (Underlying); Strike Price: column 2 (Strike);
// ...; results from column 9": which column was taken for each input.
std::string ColumnsTakenText(const LinkColumns& columns, const std::vector<std::string>& headings);

// The message for the first required column that is missing (underlying,
// strike, maturity, volatility, dividend yield, risk-free rate, type, style),
// or nullptr when all are there.
const char* MissingColumnMessage(const LinkColumns& columns);

// A row's inputs, read from its cells.
struct RowInputs {
  double underlying = 0, strike = 0, maturity = 0, volatility = 0, dividend = 0, riskfree = 0;
  double type = 0;
  double price = 0;
  bool volatility_blank = false;  // the volatility cell is empty
  bool price_blank = true;        // no market price: no implied figures, no message
  bool american = false;

  // The terms as the records hold them (the market price apart), for a row
  // whose inputs have passed the row's checks.
  OptionTerms Terms() const;
};

// A row's results in the order of link_text::kResultHeadings (the first five
// without a price column).
using RowResults = std::array<float, 10>;

// What became of one row: the first `valid` results hold figures (0: the row
// was refused; 5: value and Greeks only), the rest stay empty; `message`
// says why ("" when nothing needs saying, as for a blank market price).
struct RowFigures {
  int valid = 0;
  std::string message;
  bool Refused() const { return !message.empty(); }
};

// An input cell that does not hold a number; its row is skipped.
struct CellProblem {
  int row = 0;
  int col = 0;
  std::string heading;  // the column's heading, as in row 1
  std::string text;     // what the cell holds
};
// "Row 4, column 2 (Strike): "abc" is not a number"
std::string DescribeProblem(const CellProblem& problem);
// The same for the row's Message cell: "Strike: "abc" is not a number"
std::string RowCellMessage(const CellProblem& problem);
// kSkippedRows followed by one line per problem (at most `limit`, then a count).
std::string SkippedRowsMessage(const std::vector<CellProblem>& problems, size_t limit = 12);

enum class RowKind { kEnd, kPrice, kSkip };

// True when the lower-case style text contains "americ".
bool IsAmericanStyle(std::string_view style_text);

// Reads the inputs of one data row through two accessors: number_at(col,
// double&, bool& blank) -> bool (false when the cell holds no number; an
// empty cell is 0 and blank) and style_at(col) -> the style cell's displayed
// text. With stop_at_zero, kEnd when the underlying is 0 (the run stops
// there); kSkip with bad_col set when an input cell holds no number. The
// price is read only with a price column.
template <typename NumberAt, typename StyleAt>
RowKind ReadRowInputs(const LinkColumns& c, NumberAt&& number_at, StyleAt&& style_at, RowInputs& in,
                      int& bad_col, bool stop_at_zero = true) {
  bool blank = false;
  if (!number_at(c.underlying, in.underlying, blank)) {
    bad_col = c.underlying;
    return RowKind::kSkip;
  }
  if (stop_at_zero && in.underlying == 0.0) {
    return RowKind::kEnd;
  }
  struct Input {
    int col;
    double* value;
    bool* blank;
  };
  const Input inputs[] = {{c.type, &in.type, &blank},
                          {c.riskfree, &in.riskfree, &blank},
                          {c.maturity, &in.maturity, &blank},
                          {c.strike, &in.strike, &blank},
                          {c.volatility, &in.volatility, &in.volatility_blank},
                          {c.dividend, &in.dividend, &blank}};
  for (const Input& input : inputs) {
    if (!number_at(input.col, *input.value, *input.blank)) {
      bad_col = input.col;
      return RowKind::kSkip;
    }
  }
  in.price = 0.0;
  in.price_blank = true;
  if (c.HasPrice()) {
    if (!number_at(c.price, in.price, in.price_blank)) {
      bad_col = c.price;
      return RowKind::kSkip;
    }
  }
  in.american = IsAmericanStyle(style_at(c.style));
  return RowKind::kPrice;
}

// Prices rows on one zelBSOP and one zelBarr, each created on first use and
// kept for every later row; every field keeps its value until set again.
// Rows are independent of each other, so one pricer per thread gives the
// same results as one pricer for all rows. A row whose inputs the records
// cannot take (a number beyond single precision, a type other than 1 or 2,
// an underlying, strike, maturity or volatility that is not above 0) is
// refused with a message before any record sees it; a fault inside a record
// refuses the row too. A market price no volatility reaches keeps the value
// and Greeks and refuses the implied figures; a blank one leaves them out.
class RowPricer {
 public:
  RowFigures PriceEuropeanRow(const RowInputs& in, bool hasPrice, RowResults& out);
  RowFigures PriceAmericanRow(const RowInputs& in, bool hasPrice, RowResults& out);
  RowFigures PriceRow(const RowInputs& in, bool hasPrice, RowResults& out) {
    return in.american ? PriceAmericanRow(in, hasPrice, out) : PriceEuropeanRow(in, hasPrice, out);
  }

 private:
  std::unique_ptr<zelBSOP> bsop_;
  std::unique_ptr<zelBarr> barr_;
};

// The link itself: the state of frmExcelLink behind its controls.
class ExcelLink {
 public:
  // Attaches to the running spreadsheet application; throws zelError 429
  // with NotRunningMessage when none is reachable (other zelErrors for other
  // failures).
  using Connector = std::function<std::unique_ptr<SpreadsheetApp>()>;
  explicit ExcelLink(Connector connect);

  // One entry of cmbExcel: "[workbook]worksheet" and workbook * 1000 + sheet.
  struct SheetEntry {
    std::string caption;
    int item_data = 0;
  };

  // Attaches and lists every worksheet of every open workbook. False on
  // success; true on failure, after the message has been shown (the list and
  // the attached application are then left as they were).
  bool FindExcelSheets(std::vector<SheetEntry>& list);
  // Takes a workbook file in place of the running application and lists its
  // sheets (false on success, like FindExcelSheets).
  bool UseWorkbook(std::unique_ptr<SpreadsheetApp> workbook, std::vector<SheetEntry>& list);
  SpreadsheetApp* App() { return app_.get(); }

  // Reports of a run; all optional.
  class Observer {
   public:
    virtual ~Observer() = default;
    virtual void Status(const std::string& text) { (void)text; }
    // rows_done data rows handled of about rows_total (the used area).
    virtual void Progress(int rows_done, int rows_total) { (void)rows_done, (void)rows_total; }
    // Asked once per row, after pending events have run.
    virtual bool CancelRequested() { return false; }
  };

  // kConflict: a row holds data where the results would go; nothing written.
  enum class Outcome { kDone, kCancelled, kMissingColumn, kConflict, kFailed };
  struct Report {
    Outcome outcome = Outcome::kFailed;
    int rows_priced = 0;
    int rows_refused = 0;  // rows with a message (skipped ones included)
    int last_row = 0;      // the row where the run ended
    std::vector<CellProblem> skipped;
    std::string columns_taken;  // ColumnsTakenText of the run's headings
  };

  // cmdProcess_Click for the cmbExcel entry with this item data. Run-time
  // errors go to ErrorHandler and end the run (kFailed); what was written for
  // earlier rows stays. Shows the missing-column and skipped-row messages.
  Report Process(int item_data, Observer& observer);
  Report Process(int item_data) {
    Observer none;
    return Process(item_data, none);
  }

  // Price one row of the chosen worksheet with the columns of the last scan,
  // whatever its style cell says, and write its results. False (results
  // cleared, problem recorded) when an input cell holds no number.
  bool PriceEuropeanRow(int row, bool hasPrice);
  bool PriceAmericanRow(int row, bool hasPrice);

  const LinkColumns& Columns() const { return columns_; }

  // How long one call to the running application may take before the run
  // ends with NoAnswerMessage (the rows above keep their results).
  void SetOfficeTimeLimit(std::chrono::milliseconds limit);
  // Asked while a call to the office is waited for outside a run (Find, and
  // attaching again): true gives up the call, with no message.
  void SetCancelCheck(std::function<bool()> cancel) { cancel_check_ = std::move(cancel); }

  // After a Process that attached again (the connection had been lost):
  // the sheets of the application attached now, once, which then become the
  // list that item data refer to. False when nothing changed since.
  bool TakeNewSheetList(std::vector<SheetEntry>& list);

 private:
  // Lists the sheets of `app` into `list` and attaches it: the list becomes
  // the one that item data refer to, and no sheet is chosen yet.
  void Adopt(std::unique_ptr<SpreadsheetApp> app, std::vector<SheetEntry>& list);
  // Reads, prices and writes one row; `style` forces a style (the row's own
  // style cell decides when empty). kEnd only with stop_at_zero.
  // `refused` is set when the row got a message.
  RowKind HandleRow(int row, bool hasPrice, std::optional<bool> american, bool stop_at_zero,
                    bool* refused);
  // Writes the row's block: its valid figures, its message, the rest emptied.
  void WriteRow(int row, const RowResults& results, const RowFigures& figures);
  void ClearResults(int row, const std::string& message);
  // Empties the cells under the result headings from `row` (the one that
  // ended the run) to the last used row: no earlier figure stays there.
  void ClearBelowTheEnd(int row);
  void WriteHeadings();
  // The first row (and conflict_col_) with data of its own under a result
  // column without a result heading; 0 when there is none.
  int FindConflict(int used_columns);
  // Attaches through connect_, every call then made on a thread of its own.
  std::unique_ptr<SpreadsheetApp> Connect();
  // After a lost connection: attaches again and lists the sheets afresh.
  int Reconnect(int item_data);
  // The item data of the listed entry's sheet in the application now attached.
  int LiveItemData(int item_data);

  Connector connect_;
  std::unique_ptr<SpreadsheetApp> app_;
  Worksheet* sheet_ = nullptr;
  LinkColumns columns_;
  std::vector<std::string> headings_;
  RowPricer pricer_;
  std::vector<CellProblem> problems_;
  std::vector<SheetEntry> entries_;       // the list handed out by the last find
  std::vector<SheetEntry> live_entries_;  // the sheets of the application attached now
  bool new_list_ = false;                 // live_entries_ not yet handed out
  bool lost_ = false;                     // the connection was lost in the last run
  int conflict_col_ = 0;
  std::chrono::milliseconds office_limit_{kOfficeTimeLimit};
  std::function<bool()> cancel_check_;
};

}  // namespace stratlyn
