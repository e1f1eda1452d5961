#include "tools/excel_link.h"

#include <algorithm>
#include <exception>

#include "util/error_handler.h"
#include "util/fp_checks.h"
#include "util/services.h"
#include "util/zel_error.h"

namespace stratlyn {
namespace {

std::string Lower(std::string_view text) {
  std::string out(text);
  for (char& ch : out) {
    if (ch >= 'A' && ch <= 'Z') ch = static_cast<char>(ch - 'A' + 'a');
  }
  return out;
}

bool Contains(const std::string& text, std::string_view word) {
  return text.find(word) != std::string::npos;
}

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
         std::to_string(port) +
         ";urp;\"  Finally, load your data, and try again. ";
}

LinkColumns ScanHeadings(const std::vector<std::string>& headings) {
  LinkColumns c;
  const int scan_end = std::min<int>(kHeadingScanColumns, static_cast<int>(headings.size()));
  for (int col = 1; col <= scan_end; ++col) {
    const std::string text = Lower(headings[col - 1]);
    if (Contains(text, "calculated price")) {
      // The results of an earlier run start here and are overwritten in place.
      c.last = col - 1;
      c.results = col;
      c.earlier_results = true;
      return c;
    }
    bool recognised = false;
    const auto test = [&](std::string_view keyword, int& column) {
      if (Contains(text, keyword)) {
        column = col;
        recognised = true;
      }
    };
    test("underlying", c.underlying);
    test("strike", c.strike);
    test("maturity", c.maturity);
    test("vol", c.volatility);
    test("yield", c.dividend);
    test("risk", c.riskfree);
    test("type", c.type);
    test("style", c.style);
    if (Contains(text, "price")) {
      recognised = true;
      // "Underlying Price" and "Strike Price" name inputs, not the option's
      // market price.
      if (!Contains(text, "underlying") && !Contains(text, "strike")) c.price = col;
    }
    if (recognised) c.last = col;
  }
  // Never write over the user's columns: start after the last heading.
  int last_heading = 0;
  for (int col = static_cast<int>(headings.size()); col >= 1; --col) {
    if (!headings[col - 1].empty()) {
      last_heading = col;
      break;
    }
  }
  c.results = std::max(c.last, last_heading) + 1;
  return c;
}

const char* MissingColumnMessage(const LinkColumns& c) {
  const std::pair<int, const char*> required[] = {
      {c.underlying, link_text::kMissingUnderlying}, {c.strike, link_text::kMissingStrike},
      {c.maturity, link_text::kMissingMaturity},     {c.volatility, link_text::kMissingVolatility},
      {c.dividend, link_text::kMissingDividend},     {c.riskfree, link_text::kMissingRiskFree},
      {c.type, link_text::kMissingType},             {c.style, link_text::kMissingStyle}};
  for (const auto& [column, message] : required) {
    if (column == 0) return message;
  }
  return nullptr;
}

bool IsAmericanStyle(std::string_view style_text) {
  return Contains(Lower(style_text), "americ");
}

std::string DescribeProblem(const CellProblem& p) {
  std::string out = "Row " + std::to_string(p.row) + ", column " + std::to_string(p.col);
  if (!p.heading.empty()) out += " (" + p.heading + ")";
  out += ": \"" + p.text + "\" is not a number";
  return out;
}

std::string SkippedRowsMessage(const std::vector<CellProblem>& problems, size_t limit) {
  std::string out = link_text::kSkippedRows;
  for (size_t i = 0; i < problems.size() && i < limit; ++i) {
    out += "\n" + DescribeProblem(problems[i]);
  }
  if (problems.size() > limit) {
    out += "\n... and " + std::to_string(problems.size() - limit) + " more";
  }
  return out;
}

void RowPricer::PriceEuropeanRow(const RowInputs& in, bool hasPrice, RowResults& out) {
  if (!bsop_) bsop_ = std::make_unique<zelBSOP>();
  zelBSOP& o = *bsop_;
  o.SetOptionData(ToSingle(in.type), o.strType);
  o.SetOptionData(ToSingle(in.riskfree), o.strRiskFree);
  o.SetOptionData(ToSingle(in.maturity), o.strMaturity);
  o.SetOptionData(ToSingle(in.strike), o.strStrike);
  o.SetOptionData(ToSingle(in.underlying), o.strUnderlying);
  o.SetOptionData(ToSingle(in.volatility), o.strVolatility);
  o.SetOptionData(ToSingle(in.dividend), o.strDvl);
  // Every result of a row is validated the same way: the record's message
  // for invalid inputs is shown once per row, with the first result.
  out[0] = o.GetOptionData(o.strOptionPrice, false);
  out[1] = o.GetOptionData(o.strDelta, true);
  out[2] = o.GetOptionData(o.strGamma, true);
  out[3] = o.GetOptionData(o.strVega, true);
  out[4] = o.GetOptionData(o.strTheta, true);
  if (!hasPrice) return;
  o.SetOptionData(ToSingle(in.price), o.strOptionPrice);
  // The search leaves the record's volatility at the implied one, so the
  // Greeks below are those at the implied volatility.
  out[5] = o.GetOptionData(o.strImpliedVolatility, true);
  out[6] = o.GetOptionData(o.strDelta, true);
  out[7] = o.GetOptionData(o.strGamma, true);
  out[8] = o.GetOptionData(o.strVega, true);
  out[9] = o.GetOptionData(o.strTheta, true);
}

void RowPricer::PriceAmericanRow(const RowInputs& in, bool hasPrice, RowResults& out) {
  if (!barr_) barr_ = std::make_unique<zelBarr>();
  zelBarr& b = *barr_;
  b.SetOptionData(in.riskfree, b.strRiskFree);
  b.SetOptionData(in.maturity, b.strMaturity);
  b.SetOptionData(in.strike, b.strStrike);
  b.SetOptionData(in.underlying, b.strUnderlying);
  b.SetOptionData(in.volatility, b.strVolatility);
  b.SetOptionData(in.dividend, b.strDvl);
  b.SetOptionData(in.type == 2.0 ? b.FLAG : b.boolError, b.strType);
  b.CalcBarr(b.AMERVANILLA);
  out[0] = b.GetOptionData(b.strOptionPrice);
  out[1] = b.GetOptionData(b.strDelta);
  out[2] = b.GetOptionData(b.strGamma);
  out[3] = b.GetOptionData(b.strVega);
  out[4] = b.GetOptionData(b.strTheta);
  if (!hasPrice) return;
  b.SetOptionData(in.price, b.strOptionPrice);
  b.CalcBarr(b.AMERVANVOL);
  out[5] = b.GetOptionData(b.strImpliedVolatility);
  out[6] = b.GetOptionData(b.strDelta);
  out[7] = b.GetOptionData(b.strGamma);
  out[8] = b.GetOptionData(b.strVega);
  out[9] = b.GetOptionData(b.strTheta);
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
  try {
    std::unique_ptr<SpreadsheetApp> app = connect_ ? connect_() : nullptr;
    if (!app) throw zelError(err::kCannotCreateObject, NotRunningMessage(2002));
    if (app->WorkbookCount() == 0) {
      AppDialogs().Critical(link_text::kNoWorkbooks);
      return true;
    }
    ListSheets(*app, list);
    app_ = std::move(app);
    sheet_ = nullptr;
    AppEvents().ProcessPending();
    return false;
  } catch (const zelError& e) {
    if (e.Number() == err::kCannotCreateObject) {
      AppDialogs().Critical(e.Description());
    } else {
      ErrorHandler(e);
    }
  } catch (const std::exception& e) {
    ErrorHandler(e);
  }
  return true;
}

bool ExcelLink::UseWorkbook(std::unique_ptr<SpreadsheetApp> workbook,
                            std::vector<SheetEntry>& list) {
  if (!workbook) return true;
  try {
    ListSheets(*workbook, list);
    app_ = std::move(workbook);
    sheet_ = nullptr;
    return false;
  } catch (const std::exception& e) {
    ErrorHandler(e);
  }
  return true;
}

void ExcelLink::WriteHeadings() {
  const int count = columns_.ResultCount();
  for (int i = 0; i < count; ++i) {
    sheet_->SetValue(1, columns_.results + i, CellValue::Text(link_text::kResultHeadings[i]));
  }
  for (int col = 1; col <= columns_.last; ++col) sheet_->SetWrapText(1, col, true);
}

void ExcelLink::ClearResults(int row) {
  const int count = columns_.ResultCount();
  for (int i = 0; i < count; ++i) sheet_->SetValue(row, columns_.results + i, CellValue::Empty());
}

RowKind ExcelLink::HandleRow(int row, bool hasPrice, std::optional<bool> american,
                             bool stop_at_zero) {
  LinkColumns columns = columns_;
  if (!hasPrice) columns.price = 0;
  RowInputs in;
  int bad_col = 0;
  CellValue bad_cell;
  const auto number_at = [&](int col, double& value) {
    CellValue cell = sheet_->Value(row, col);
    if (CellNumber(cell, value)) return true;
    bad_cell = std::move(cell);
    return false;
  };
  const auto style_at = [&](int col) {
    return american ? std::string() : sheet_->Text(row, col);
  };
  const RowKind kind = ReadRowInputs(columns, number_at, style_at, in, bad_col, stop_at_zero);
  if (kind == RowKind::kEnd) return kind;
  if (kind == RowKind::kSkip) {
    const bool named = bad_col >= 1 && bad_col <= static_cast<int>(headings_.size());
    problems_.push_back({row, bad_col, named ? headings_[bad_col - 1] : std::string(),
                         bad_cell.kind == CellValue::Kind::kText ? bad_cell.text
                                                                 : FormatCellNumber(bad_cell.number)});
    ClearResults(row);
    return kind;
  }
  if (american) in.american = *american;
  RowResults results{};
  pricer_.PriceRow(in, hasPrice, results);
  const int count = hasPrice ? 10 : 5;
  for (int i = 0; i < count; ++i) {
    sheet_->SetValue(row, columns_.results + i, CellValue::Number(results[i]));
  }
  return kind;
}

bool ExcelLink::PriceEuropeanRow(int row, bool hasPrice) {
  return HandleRow(row, hasPrice, false, false) == RowKind::kPrice;
}

bool ExcelLink::PriceAmericanRow(int row, bool hasPrice) {
  return HandleRow(row, hasPrice, true, false) == RowKind::kPrice;
}

ExcelLink::Report ExcelLink::Process(int item_data, Observer& observer) {
  Report report;
  problems_.clear();
  BusyPointer busy;
  try {
    if (!app_) throw zelError(err::kObjectNotSet);
    const int workbook = item_data / 1000;
    sheet_ = &app_->GetWorksheet(workbook, item_data - 1000 * workbook);
    columns_ = LinkColumns{};
    observer.Status(link_text::kAnalyzing);
    AppEvents().ProcessPending();

    const int heading_count = std::max(kHeadingScanColumns, sheet_->UsedColumns());
    headings_.assign(heading_count, std::string());
    for (int col = 1; col <= heading_count; ++col) headings_[col - 1] = sheet_->Text(1, col);
    columns_ = ScanHeadings(headings_);
    if (const char* missing = MissingColumnMessage(columns_)) {
      AppDialogs().Show(missing, MsgButtons::Ok, MsgIcon::Information, kMessageTitle);
      report.outcome = Outcome::kMissingColumn;
      return report;
    }
    const bool hasPrice = columns_.HasPrice();
    WriteHeadings();

    const int rows_total = std::max(0, sheet_->UsedRows() - 1);
    report.outcome = Outcome::kDone;
    for (int row = 2;; ++row) {
      report.last_row = row;
      observer.Status(link_text::kProcessingRow + std::to_string(row));
      AppEvents().ProcessPending();
      if (observer.CancelRequested()) {
        observer.Status(link_text::kCancelled + std::to_string(row));
        report.outcome = Outcome::kCancelled;
        break;
      }
      const RowKind kind = HandleRow(row, hasPrice, std::nullopt, true);
      if (kind == RowKind::kEnd) break;
      if (kind == RowKind::kPrice) ++report.rows_priced;
      observer.Progress(row - 1, std::max(rows_total, row - 1));
    }
    if (report.outcome == Outcome::kDone) observer.Status(link_text::kDone);
  } catch (const std::exception& e) {
    report.outcome = Outcome::kFailed;
    if (report.last_row) observer.Status(link_text::kStopped + std::to_string(report.last_row));
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
