// The spreadsheet link over a running office or a CSV workbook: finding the
// sheets, connecting and reconnecting within the time limit, and running a
// sheet row by row (the layout rules and the row pricing have files of their
// own).

#include "tools/excel_link.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <exception>
#include <limits>

#include "tools/office_thread.h"
#include "util/error_handler.h"
#include "util/fp_checks.h"
#include "util/services.h"
#include "util/zel_error.h"

namespace stratlyn {
namespace {

// Keeps the hourglass up for the lifetime of a run.
class BusyPointer {
 public:
  BusyPointer() { AppEvents().SetBusy(true); }
  ~BusyPointer() { AppEvents().SetBusy(false); }
  BusyPointer(const BusyPointer&) = delete;
  BusyPointer& operator=(const BusyPointer&) = delete;
};

}  // namespace

std::string NotRunningMessage(int port) {
  return "LibreOffice Calc is not running, or it cannot be reached.  If it is running, it may "
         "have been started without accepting connections.  Please close all copies of "
         "LibreOffice and start it again with the command  soffice --calc "
         "--accept=\"socket,host=127.0.0.1,port=" +
         std::to_string(port) + ";urp;\"  Finally, load your data, and try again. ";
}

ExcelLink::ExcelLink(Connector connect) : connect_(std::move(connect)) {}

namespace {

void ListSheets(SpreadsheetApp& app, std::vector<ExcelLink::SheetEntry>& list) {
  std::vector<ExcelLink::SheetEntry> entries;
  const int workbooks = app.WorkbookCount();
  for (int w = 1; w <= workbooks; ++w) {
    const std::string book = app.WorkbookName(w);
    // The item data keeps the sheet number below 1000.
    const int sheets = std::min(app.WorksheetCount(w), 999);
    for (int s = 1; s <= sheets; ++s) {
      entries.push_back({"[" + book + "]" + app.WorksheetName(w, s), w * 1000 + s});
    }
  }
  list = std::move(entries);
}

}  // namespace

bool ExcelLink::FindExcelSheets(std::vector<SheetEntry>& list) {
  // The office's own failures (none running, no answer in time, the user
  // cancelling the wait) are told in the link's words.
  const auto office_error = [this](const std::exception& error) {
    const auto* e = dynamic_cast<const zelError*>(&error);
    if (e == nullptr) {
      return false;
    }
    if (e->Number() == err::kCannotCreateObject) {
      AppDialogs().Critical(e->Description());
      return true;
    }
    if (e->Number() == kOfficeConnectionLost && e->Description() == kOfficeTimedOut) {
      AppDialogs().Critical(NoAnswerMessage(office_limit_, 0));
      return true;
    }
    // The user gave up waiting: nothing to say.
    return e->Number() == kOfficeConnectionLost && e->Description() == kOfficeCallCancelled;
  };
  bool none = false;
  const bool ran = RunCommand(
      [&] {
        std::unique_ptr<SpreadsheetApp> app = Connect();
        if (app->WorkbookCount() == 0) {
          AppDialogs().Critical(link_text::kNoWorkbooks);
          none = true;
          return;
        }
        Adopt(std::move(app), list);
        AppEvents().ProcessPending();
      },
      [] {}, office_error);
  return !ran || none;
}

std::string NoAnswerMessage(std::chrono::milliseconds limit, int row) {
  const auto seconds = std::chrono::duration_cast<std::chrono::duration<double>>(limit).count();
  std::string text = link_text::kNoAnswer1 + FormatCellNumber(seconds) + link_text::kNoAnswer2;
  if (row > 1) {
    text += " at row " + std::to_string(row) + ".  The results of the rows above it were written";
  }
  return text + link_text::kNoAnswer3;
}

std::string ConnectionLostMessage(int row) {
  std::string text = link_text::kConnectionLost1;
  if (row > 1) {
    text += " at row " + std::to_string(row) + ".  The results of the rows above it were written";
  }
  return text + link_text::kConnectionLost2;
}

void ExcelLink::SetOfficeTimeLimit(std::chrono::milliseconds limit) {
  office_limit_ = limit;
  if (auto* timed = dynamic_cast<TimedApp*>(app_.get())) {
    timed->Thread().SetLimit(limit);
  }
}

std::unique_ptr<SpreadsheetApp> ExcelLink::Connect() {
  if (!connect_) {
    throw zelError(err::kCannotCreateObject, NotRunningMessage(2002));
  }
  return std::make_unique<TimedApp>(connect_, office_limit_, cancel_check_);
}

int ExcelLink::Reconnect(int item_data) {
  std::unique_ptr<SpreadsheetApp> app = Connect();
  std::vector<SheetEntry> list;
  ListSheets(*app, list);
  app_ = std::move(app);
  live_entries_ = std::move(list);
  new_list_ = true;
  lost_ = false;
  return item_data;
}

bool ExcelLink::TakeNewSheetList(std::vector<SheetEntry>& list) {
  if (!new_list_) {
    return false;
  }
  new_list_ = false;
  entries_ = live_entries_;
  list = live_entries_;
  return true;
}

int ExcelLink::LiveItemData(int item_data) {
  // The list shown was made when the sheets were found; sheets may have
  // been moved, added or closed since: the chosen one is looked up by its
  // name among those open now.
  if (app_) {
    std::vector<SheetEntry> now;
    ListSheets(*app_, now);
    if (!live_entries_.empty() && now.size() == live_entries_.size()) {
      for (size_t i = 0; i < now.size(); ++i) {
        if (now[i].caption != live_entries_[i].caption) {
          new_list_ = true;
          break;
        }
      }
    } else {
      new_list_ = true;
    }
    live_entries_ = std::move(now);
  }
  if (live_entries_.empty() && entries_.empty()) {
    return item_data;
  }
  for (const SheetEntry& e : entries_) {
    if (e.item_data != item_data) {
      continue;
    }
    for (const SheetEntry& live : live_entries_) {
      if (live.caption == e.caption) {
        return live.item_data;
      }
    }
    throw zelError(err::kSubscript, link_text::kSheetGone1 + e.caption + link_text::kSheetGone2);
  }
  return item_data;
}

bool ExcelLink::UseWorkbook(std::unique_ptr<SpreadsheetApp> workbook,
                            std::vector<SheetEntry>& list) {
  if (!workbook) {
    return true;
  }
  return !RunCommand([&] { Adopt(std::move(workbook), list); });
}

void ExcelLink::Adopt(std::unique_ptr<SpreadsheetApp> app, std::vector<SheetEntry>& list) {
  ListSheets(*app, list);
  app_ = std::move(app);
  sheet_ = nullptr;
  entries_ = list;
  live_entries_ = list;
  new_list_ = false;
  lost_ = false;
}

void ExcelLink::WriteHeadings() {
  const int count = columns_.ResultCount();
  for (int i = 0; i < columns_.width; ++i) {
    const char* heading = i < count    ? link_text::kResultHeadings[i]
                          : i == count ? link_text::kMessageHeading
                                       : nullptr;
    sheet_->SetValue(1, columns_.results + i,
                     heading ? CellValue::Text(heading) : CellValue::Empty());
  }
  // Only the result headings wrap: the user's own headings keep their format.
  for (int i = 0; i <= count; ++i) {
    sheet_->SetWrapText(1, columns_.results + i, true);
  }
}

namespace {
// A record's single-precision figure as the decimal it stands for (its
// shortest digits): a cell given the float's own binary value shows
// 3.12727117538452 for 3.127271, digits the figure does not have.
double DecimalFigure(float figure) {
  char buf[32];
  const std::to_chars_result r = std::to_chars(buf, buf + sizeof buf, figure);
  double value = figure;
  std::from_chars(buf, r.ptr, value);
  return value;
}
}  // namespace

void ExcelLink::WriteRow(int row, const RowResults& results, const RowFigures& figures) {
  const int message = columns_.MessageOffset();
  for (int i = 0; i < columns_.width; ++i) {
    CellValue value;
    if (i < figures.valid) {
      value = CellValue::Number(DecimalFigure(results[i]));
    } else if (i == message && !figures.message.empty()) {
      value = CellValue::Text(figures.message);
    }
    sheet_->SetValue(row, columns_.results + i, value);
  }
}

void ExcelLink::ClearResults(int row, const std::string& message) {
  RowFigures figures;
  figures.message = message;
  WriteRow(row, RowResults{}, figures);
}

void ExcelLink::ClearBelowTheEnd(int row) {
  const int last = sheet_->UsedRows();
  for (; row <= last; ++row) {
    for (int i = 0; i < columns_.width; ++i) {
      // A cell without a result heading above it is the user's.
      if (columns_.guarded[i]) {
        continue;
      }
      const int col = columns_.results + i;
      if (!sheet_->Value(row, col).IsEmpty()) {
        sheet_->SetValue(row, col, CellValue());
      }
    }
  }
}

RowKind ExcelLink::HandleRow(int row, bool hasPrice, std::optional<bool> american,
                             bool stop_at_zero, bool* refused) {
  LinkColumns columns = columns_;
  if (!hasPrice) {
    columns.price = 0;
  }
  RowInputs in;
  int bad_col = 0;
  CellValue bad_cell;
  const auto number_at = [&](int col, double& value, bool& blank) {
    CellValue cell = sheet_->Value(row, col);
    blank = cell.IsEmpty();
    if (CellNumber(cell, value)) {
      return true;
    }
    bad_cell = std::move(cell);
    return false;
  };
  const auto style_at = [&](int col) { return american ? std::string() : sheet_->Text(row, col); };
  const RowKind kind = ReadRowInputs(columns, number_at, style_at, in, bad_col, stop_at_zero);
  if (kind == RowKind::kEnd) {
    return kind;
  }
  if (kind == RowKind::kSkip) {
    const bool named = bad_col >= 1 && bad_col <= static_cast<int>(headings_.size());
    CellProblem problem{row, bad_col, named ? headings_[bad_col - 1] : std::string(),
                        bad_cell.kind == CellValue::Kind::kText
                            ? bad_cell.text
                            : FormatCellNumber(bad_cell.number)};
    ClearResults(row, RowCellMessage(problem));
    problems_.push_back(std::move(problem));
    if (refused) {
      *refused = true;
    }
    return kind;
  }
  if (american) {
    in.american = *american;
  }
  RowResults results{};
  const RowFigures figures = pricer_.PriceRow(in, hasPrice, results);
  WriteRow(row, results, figures);
  if (refused) {
    *refused = figures.Refused();
  }
  return kind;
}

bool ExcelLink::PriceEuropeanRow(int row, bool hasPrice) {
  bool refused = false;
  return HandleRow(row, hasPrice, false, false, &refused) == RowKind::kPrice && !refused;
}

bool ExcelLink::PriceAmericanRow(int row, bool hasPrice) {
  bool refused = false;
  return HandleRow(row, hasPrice, true, false, &refused) == RowKind::kPrice && !refused;
}

int ExcelLink::FindConflict(int used_columns) {
  std::vector<int> check;
  for (int i = 0; i < columns_.width; ++i) {
    const int col = columns_.results + i;
    if (columns_.guarded[i] && col <= used_columns) {
      check.push_back(col);
    }
  }
  if (check.empty()) {
    return 0;
  }
  // The rows the run will reach: up to the first whose underlying is 0.
  for (int row = 2;; ++row) {
    double underlying = 0;
    const CellValue cell = sheet_->Value(row, columns_.underlying);
    if (CellNumber(cell, underlying) && underlying == 0.0) {
      return 0;
    }
    for (const int col : check) {
      if (!sheet_->Value(row, col).IsEmpty()) {
        conflict_col_ = col;
        return row;
      }
    }
  }
}

ExcelLink::Report ExcelLink::Process(int item_data, Observer& observer) {
  Report report;
  problems_.clear();
  BusyPointer busy;
  // A call to the office that takes long may be given up by Cancel.
  struct CancelWhileWaiting {
    CancelWhileWaiting(SpreadsheetApp* app, Observer& observer)
        : timed(dynamic_cast<TimedApp*>(app)) {
      if (timed) {
        timed->Thread().SetCancel([&observer] { return observer.CancelRequested(); });
      }
    }
    ~CancelWhileWaiting() {
      if (timed) {
        timed->Thread().SetCancel(restore);
      }
    }
    TimedApp* timed;
    std::function<bool()> restore;
  };
  std::optional<CancelWhileWaiting> cancel_while_waiting;
  try {
    if (lost_) {
      item_data = Reconnect(item_data);
    }
    if (!app_) {
      throw zelError(err::kObjectNotSet);
    }
    cancel_while_waiting.emplace(app_.get(), observer);
    cancel_while_waiting->restore = cancel_check_;
    item_data = LiveItemData(item_data);
    const int workbook = item_data / 1000;
    sheet_ = &app_->GetWorksheet(workbook, item_data - 1000 * workbook);
    columns_ = LinkColumns{};
    observer.Status(link_text::kAnalyzing);
    AppEvents().ProcessPending();

    const int used_columns = sheet_->UsedColumns();
    headings_.assign(used_columns, std::string());
    for (int col = 1; col <= used_columns; ++col) {
      headings_[col - 1] = sheet_->Text(1, col);
    }
    columns_ = ScanHeadings(headings_);
    if (const char* missing = MissingColumnMessage(columns_)) {
      AppDialogs().Show(missing, MsgButtons::Ok, MsgIcon::Information, kMessageTitle);
      report.outcome = Outcome::kMissingColumn;
      return report;
    }
    // New results go after the last used column of any row, never over a
    // user's column whose heading is blank.
    if (!columns_.earlier_results) {
      columns_.results = std::max(columns_.results, used_columns + 1);
    }
    if (const std::string problem = HeadingProblem(columns_, headings_); !problem.empty()) {
      AppDialogs().Show(problem, MsgButtons::Ok, MsgIcon::Information, kMessageTitle);
      report.outcome = Outcome::kMissingColumn;
      return report;
    }
    // A cell of the user's under a column without a result heading: refuse
    // before anything is written.
    if (const int row = FindConflict(used_columns)) {
      const std::string message = ResultsConflictMessage(row, conflict_col_);
      observer.Status(message);
      AppDialogs().Show(message, MsgButtons::Ok, MsgIcon::Information, kMessageTitle);
      report.outcome = Outcome::kConflict;
      report.last_row = row;
      return report;
    }
    report.columns_taken = ColumnsTakenText(columns_, headings_);
    observer.Status(report.columns_taken);
    const bool hasPrice = columns_.HasPrice();
    WriteHeadings();

    const int rows_total = std::max(0, sheet_->UsedRows() - 1);
    report.outcome = Outcome::kDone;
    for (int row = 2;; ++row) {
      report.last_row = row;
      observer.Status(link_text::kProcessingRow + std::to_string(row));
      AppEvents().ProcessPending();
      if (observer.CancelRequested()) {
        observer.Status(link_text::kCancelled + std::to_string(row) + ".  " +
                        RunSummary(report.rows_priced, report.rows_refused));
        report.outcome = Outcome::kCancelled;
        break;
      }
      bool refused = false;
      const RowKind kind = HandleRow(row, hasPrice, std::nullopt, true, &refused);
      if (kind == RowKind::kEnd) {
        ClearBelowTheEnd(row);
        break;
      }
      ++(refused ? report.rows_refused : report.rows_priced);
      observer.Progress(row - 1, std::max(rows_total, row - 1));
    }
    if (report.outcome == Outcome::kDone) {
      observer.Status(std::string(link_text::kDone) + ".  " +
                      RunSummary(report.rows_priced, report.rows_refused));
    }
  } catch (const zelError& e) {
    report.outcome = Outcome::kFailed;
    if (e.Number() == kOfficeConnectionLost) {
      // The office is gone, or does not answer: say so plainly, and find
      // the sheets afresh on the next "Process".
      auto* timed = dynamic_cast<TimedApp*>(app_.get());
      const OfficeThread::State state =
          timed ? timed->Thread().state() : OfficeThread::State::kAnswering;
      const auto limit = timed ? timed->Thread().Limit() : office_limit_;
      cancel_while_waiting.reset();
      lost_ = true;
      sheet_ = nullptr;
      app_.reset();
      if (state == OfficeThread::State::kCancelled) {
        report.outcome = Outcome::kCancelled;
        observer.Status(link_text::kCancelled + std::to_string(report.last_row) + ".  " +
                        RunSummary(report.rows_priced, report.rows_refused));
      } else {
        const std::string message = state == OfficeThread::State::kTimedOut
                                        ? NoAnswerMessage(limit, report.last_row)
                                        : ConnectionLostMessage(report.last_row);
        observer.Status(message);
        AppDialogs().Critical(message);
      }
    } else {
      if (report.last_row) {
        observer.Status(link_text::kStopped + std::to_string(report.last_row));
      }
      ErrorHandler(e);
    }
  } catch (const std::exception& e) {
    report.outcome = Outcome::kFailed;
    if (report.last_row) {
      observer.Status(link_text::kStopped + std::to_string(report.last_row));
    }
    ErrorHandler(e);
  }
  report.skipped = problems_;
  if (!problems_.empty()) {
    AppDialogs().Show(SkippedRowsMessage(problems_), MsgButtons::Ok, MsgIcon::Exclamation,
                      kMessageTitle);
  }
  return report;
}

}  // namespace stratlyn
