// The spreadsheet link against an in-memory workbook.

#include "tools/excel_link.h"

#include <gtest/gtest.h>

#include <atomic>
#include <charconv>
#include <chrono>
#include <cmath>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <mutex>
#include <thread>

#include "memory_workbook.h"
#include "support/fake_services.h"
#include "tools/csv_batch.h"

namespace stratlyn {
namespace {

using testing::AppView;
using testing::FakeServices;
using testing::MemoryApp;
using testing::MemorySheet;

const std::vector<std::string> kHeadings = {"Underlying", "Strike",           "Maturity", "Vol",
                                            "Yield",      "Rate (risk-free)", "Type",     "Style"};

// A workbook "options.ods" of one sheet whose first row holds kHeadings,
// with the fake services.
struct HeadedBook {
  explicit HeadedBook(const char* sheet_name = "Sheet1")
      : sheet(app.AddSheet("options.ods", sheet_name)) {
    sheet.SetRow(1, kHeadings);
  }
  FakeServices fakes;
  MemoryApp app;
  MemorySheet& sheet;
};

// A link attached to `app`, with its one sheet chosen.
struct Linked {
  explicit Linked(MemoryApp& app) : link([&app] { return std::make_unique<AppView>(app); }) {
    EXPECT_FALSE(link.FindExcelSheets(entries));
  }
  ExcelLink link;
  std::vector<ExcelLink::SheetEntry> entries;
};

float European(double s, double k, double t, double vol, double q, double r, int type) {
  zelBSOP o;
  o.SetOptionData(static_cast<float>(type), o.strType);
  o.SetOptionData(static_cast<float>(r), o.strRiskFree);
  o.SetOptionData(static_cast<float>(t), o.strMaturity);
  o.SetOptionData(static_cast<float>(k), o.strStrike);
  o.SetOptionData(static_cast<float>(s), o.strUnderlying);
  o.SetOptionData(static_cast<float>(vol), o.strVolatility);
  o.SetOptionData(static_cast<float>(q), o.strDvl);
  return o.GetOptionData(o.strOptionPrice, true);
}

TEST(ExcelLinkHeadings, RecognisesKeywordsAndPlacesResults) {
  // The headings of a first example sheet: results in 9 to 13.
  LinkColumns c = ScanHeadings(kHeadings);
  EXPECT_EQ(c.underlying, 1);
  EXPECT_EQ(c.strike, 2);
  EXPECT_EQ(c.maturity, 3);
  EXPECT_EQ(c.volatility, 4);
  EXPECT_EQ(c.dividend, 5);
  EXPECT_EQ(c.riskfree, 6);
  EXPECT_EQ(c.type, 7);
  EXPECT_EQ(c.style, 8);
  EXPECT_EQ(c.last, 8);
  EXPECT_EQ(c.results, 9);
  EXPECT_FALSE(c.HasPrice());
  EXPECT_EQ(MissingColumnMessage(c), nullptr);

  // Case does not matter; "Risk Free Rate" is found by "risk"; a market price
  // column turns on the implied results.
  c = ScanHeadings({"UNDERLYING", "strike", "Option Price", "Maturity", "Volatility",
                    "Dividend Yield", "Risk Free Rate", "Option Type", "Exercise Style"});
  EXPECT_EQ(c.riskfree, 7);
  EXPECT_EQ(c.price, 3);
  EXPECT_EQ(c.ResultCount(), 10);
  EXPECT_EQ(c.results, 10);

  // Unrecognised headings to the right keep their data: results start after
  // the last non-empty heading, even beyond the scanned 25 columns.
  std::vector<std::string> wide = kHeadings;
  wide.resize(30);
  wide[9] = "Notes";
  wide[29] = "Trader";
  c = ScanHeadings(wide);
  EXPECT_EQ(c.last, 8);
  EXPECT_EQ(c.results, 31);

  // "Underlying Price" and "Strike Price" are inputs, not the market price.
  c = ScanHeadings(
      {"Underlying Price", "Strike Price", "Maturity", "Vol", "Yield", "Risk", "Type", "Style"});
  EXPECT_EQ(c.underlying, 1);
  EXPECT_EQ(c.strike, 2);
  EXPECT_FALSE(c.HasPrice());

  // "Calculated Price" marks an earlier run: the scan ends and results go there.
  std::vector<std::string> again = kHeadings;
  again.insert(again.end(), {"Calculated Price", "Delta", "Gamma", "Vega", "Theta"});
  c = ScanHeadings(again);
  EXPECT_TRUE(c.earlier_results);
  EXPECT_EQ(c.last, 8);
  EXPECT_EQ(c.results, 9);
  EXPECT_FALSE(c.HasPrice());
}

TEST(ExcelLinkHeadings, RequiredColumnsAreReportedInOrder) {
  const std::vector<std::pair<int, const char*>> cases = {
      {0, link_text::kMissingUnderlying}, {1, link_text::kMissingStrike},
      {2, link_text::kMissingMaturity},   {3, link_text::kMissingVolatility},
      {4, link_text::kMissingDividend},   {5, link_text::kMissingRiskFree},
      {6, link_text::kMissingType},       {7, link_text::kMissingStyle}};
  for (const auto& [missing, message] : cases) {
    FakeServices fakes;
    MemoryApp app;
    MemorySheet& sheet = app.AddSheet("book.ods", "Sheet1");
    std::vector<std::string> headings = kHeadings;
    headings[missing] = "Comment";
    sheet.SetRow(1, headings);
    sheet.SetRow(2, {"50", "50", "0.25", "0.25", "0", "0.1", "1", "European"});
    Linked linked(app);
    const int writes = sheet.writes;
    const ExcelLink::Report report = linked.link.Process(linked.entries[0].item_data);
    EXPECT_EQ(report.outcome, ExcelLink::Outcome::kMissingColumn);
    ASSERT_EQ(fakes.dialogs.Count(), 1u);
    EXPECT_EQ(fakes.dialogs.LastText(), message);
    EXPECT_EQ(fakes.dialogs.Last().icon, MsgIcon::Information);
    EXPECT_EQ(fakes.dialogs.Last().title, "Quorvale");
    EXPECT_EQ(sheet.writes, writes) << "nothing may be written before the check";
  }
  // The risk-free column is checked before any row is priced.
  EXPECT_STREQ(link_text::kMissingRiskFree,
               "Column heading Risk Free Rate not found.  The heading must be in the first row "
               "of the spreadsheet");
}

TEST(ExcelLinkProcess, PricesEveryRowUntilTheFirstEmptyUnderlying) {
  HeadedBook book("Calls");
  auto& [fakes, app, sheet] = book;
  sheet.SetRow(2, {"50", "50", "0.25", "0.25", "0", "0.1", "1", "European"});
  sheet.SetRow(3, {"50", "50", "0.25", "0.25", "0", "0.1", "2", "European"});
  sheet.SetRow(4, {"50", "50", "0.25", "0.25", "0", "0.1", "2", "American"});
  sheet.SetRow(5, {"", "55", "0.5", "0.3", "0", "0.05", "1", "European"});
  sheet.SetRow(6, {"60", "55", "0.5", "0.3", "0", "0.05", "1", "European"});
  Linked linked(app);

  struct Statuses : ExcelLink::Observer {
    void Status(const std::string& text) override { seen.push_back(text); }
    std::vector<std::string> seen;
  } observer;
  const ExcelLink::Report report = linked.link.Process(linked.entries[0].item_data, observer);
  EXPECT_EQ(report.outcome, ExcelLink::Outcome::kDone);
  EXPECT_EQ(report.rows_priced, 3);
  EXPECT_EQ(report.last_row, 5);
  EXPECT_EQ(fakes.dialogs.Count(), 0u);
  EXPECT_EQ(observer.seen.front(), "Analyzing spreadsheet");
  // Which column was taken for each input, before the rows.
  EXPECT_EQ(observer.seen[1],
            "Underlying Asset: column 1 (Underlying); Strike Price: column 2 (Strike); "
            "Maturity: column 3 (Maturity); Volatility: column 4 (Vol); Dividend Yield: column 5 "
            "(Yield); Risk Free Rate: column 6 (Rate (risk-free)); Type: column 7 (Type); Style: "
            "column 8 (Style); results from column 9");
  EXPECT_EQ(report.columns_taken, observer.seen[1]);
  EXPECT_EQ(observer.seen[2], "Processing row 2");
  EXPECT_EQ(observer.seen.back(), "Done.  3 rows priced, 0 refused");
  EXPECT_EQ(fakes.events.busy_on, 1);
  EXPECT_FALSE(fakes.events.busy);

  // Headings in 9 to 13, no implied columns; only the result headings
  // wrap, the user's own headings keep their format.
  const char* expected[] = {"Calculated Price", "Delta", "Gamma", "Vega", "Theta"};
  for (int i = 0; i < 5; ++i) EXPECT_EQ(sheet.Text(1, 9 + i), expected[i]);
  EXPECT_EQ(sheet.Text(1, 14), "Message");
  EXPECT_FALSE(sheet.Has(1, 15));
  EXPECT_FALSE(sheet.Wrapped(1, 1));
  EXPECT_FALSE(sheet.Wrapped(1, 8));
  EXPECT_TRUE(sheet.Wrapped(1, 9));
  EXPECT_TRUE(sheet.Wrapped(1, 13));

  // The record's figures: call 3.1273, put 1.8928, American put on the lattice 2.0140.
  EXPECT_NEAR(sheet.Number(2, 9), 3.1273, 5e-5);
  EXPECT_NEAR(sheet.Number(3, 9), 1.8928, 5e-5);
  EXPECT_NEAR(sheet.Number(4, 9), 2.0140, 5e-5);
  EXPECT_GT(sheet.Number(2, 10), 0.5);  // call delta
  EXPECT_LT(sheet.Number(3, 10), 0.0);  // put delta
  EXPECT_GT(sheet.Number(2, 11), 0.0);  // gamma
  EXPECT_GT(sheet.Number(2, 12), 0.0);  // vega
  EXPECT_LT(sheet.Number(2, 13), 0.0);  // theta
  // Each cell holds the decimal the figure stands for, so that a live
  // spreadsheet shows 3.127271, not the float's 3.12727117538452.
  for (int col = 9; col <= 13; ++col) {
    const double v = sheet.Number(2, col);
    const std::string text = FormatCellNumber(v);
    double back = 0;
    std::from_chars(text.data(), text.data() + text.size(), back);
    EXPECT_EQ(back, v) << col << " " << text;
  }
  // Rows below the first empty underlying are not touched.
  EXPECT_FALSE(sheet.Has(5, 9));
  EXPECT_FALSE(sheet.Has(6, 9));
}

TEST(ExcelLinkProcess, SecondRunOverwritesInPlace) {
  FakeServices fakes;
  MemoryApp app;
  MemorySheet& sheet = app.AddSheet("options.ods", "Sheet1");
  std::vector<std::string> headings = kHeadings;
  headings.push_back("Market Price");
  sheet.SetRow(1, headings);
  sheet.SetRow(2, {"100", "95", "0.5", "0.2", "0.01", "0.05", "1", "European", "9.5"});
  sheet.SetRow(3, {"100", "105", "1", "0.3", "0", "0.05", "2", "American", "11"});
  Linked linked(app);
  linked.link.Process(linked.entries[0].item_data);
  std::vector<double> first;
  for (int row = 2; row <= 3; ++row) {
    for (int col = 10; col <= 19; ++col) first.push_back(sheet.Number(row, col));
  }
  const int used = sheet.UsedColumns();
  EXPECT_EQ(used, 20);  // with the Message column

  linked.link.Process(linked.entries[0].item_data);
  EXPECT_TRUE(linked.link.Columns().earlier_results);
  EXPECT_EQ(sheet.UsedColumns(), used);
  EXPECT_EQ(sheet.Text(1, 10), "Calculated Price");
  EXPECT_EQ(sheet.Text(1, 19), "Implied Theta");
  std::vector<double> second;
  for (int row = 2; row <= 3; ++row) {
    for (int col = 10; col <= 19; ++col) second.push_back(sheet.Number(row, col));
  }
  EXPECT_EQ(first, second);
  EXPECT_EQ(fakes.dialogs.Count(), 0u);
}

TEST(ExcelLinkProcess, ImpliedVolatilityReproducesTheMarketPrice) {
  FakeServices fakes;
  MemoryApp app;
  MemorySheet& sheet = app.AddSheet("options.ods", "Sheet1");
  sheet.SetRow(
      1, {"Price", "Underlying", "Strike", "Maturity", "Vol", "Yield", "Risk", "Type", "Style"});
  sheet.SetRow(2, {"5.25", "100", "100", "0.5", "0.2", "0.02", "0.05", "1", "European"});
  sheet.SetRow(3, {"7.9", "100", "110", "0.75", "0.3", "0", "0.04", "2", "european"});
  Linked linked(app);
  linked.link.Process(linked.entries[0].item_data);
  EXPECT_EQ(sheet.Text(1, 15), "Implied Volatility");
  EXPECT_EQ(sheet.Text(1, 19), "Implied Theta");

  const struct {
    int row;
    double price, s, k, t, q, r;
    int type;
    double sheet_vol;
  } rows[] = {{2, 5.25, 100, 100, 0.5, 0.02, 0.05, 1, 0.2},
              {3, 7.9, 100, 110, 0.75, 0, 0.04, 2, 0.3}};
  for (const auto& r : rows) {
    const double implied = sheet.Number(r.row, 15);
    EXPECT_GT(implied, 0.01);
    EXPECT_NE(implied, r.sheet_vol);
    EXPECT_NEAR(European(r.s, r.k, r.t, implied, r.q, r.r, r.type), r.price, 1e-3);
    // The Greeks at the implied volatility differ from those at the sheet's.
    EXPECT_NE(sheet.Number(r.row, 16), sheet.Number(r.row, 11));
    EXPECT_NEAR(sheet.Number(r.row, 10), European(r.s, r.k, r.t, r.sheet_vol, r.q, r.r, r.type),
                1e-6);
  }
}

TEST(ExcelLinkProcess, AmericanStyleIsRecognisedByAmeric) {
  HeadedBook book;
  auto& [fakes, app, sheet] = book;
  const char* styles[] = {"American", "AMERICAN", "Americ.", "European", "Bermudan", ""};
  for (int i = 0; i < 6; ++i) {
    sheet.SetRow(2 + i, {"50", "50", "0.25", "0.25", "0", "0.1", "2", styles[i]});
  }
  Linked linked(app);
  linked.link.Process(linked.entries[0].item_data);
  for (int row = 2; row <= 4; ++row) EXPECT_NEAR(sheet.Number(row, 9), 2.0140, 5e-5) << row;
  for (int row = 5; row <= 7; ++row) EXPECT_NEAR(sheet.Number(row, 9), 1.8928, 5e-5) << row;
}

TEST(ExcelLinkProcess, RowsWithTextInputsAreSkippedAndReported) {
  HeadedBook book;
  auto& [fakes, app, sheet] = book;
  sheet.SetRow(2, {"50", "50", "0.25", "0.25", "0", "0.1", "1", "European"});
  sheet.SetRow(3, {"50", "fifty", "0.25", "0.25", "0", "0.1", "1", "European"});
  sheet.SetRow(4, {"50", "50", "0.25", "0.25", "0", "10%", "1", "European"});
  sheet.SetRow(5, {"n/a", "50", "0.25", "0.25", "0", "0.1", "1", "European"});
  sheet.SetRow(6, {"50", "50", "0.25", "0.25", "0", "0.1", "2", "European"});
  Linked linked(app);
  ExcelLink::Report report = linked.link.Process(linked.entries[0].item_data);
  EXPECT_EQ(report.outcome, ExcelLink::Outcome::kDone);
  EXPECT_EQ(report.rows_priced, 3);
  ASSERT_EQ(report.skipped.size(), 2u);
  EXPECT_EQ(DescribeProblem(report.skipped[0]),
            "Row 3, column 2 (Strike): \"fifty\" is not a number");
  EXPECT_EQ(report.skipped[1].row, 5);
  EXPECT_EQ(report.skipped[1].col, 1);
  ASSERT_EQ(fakes.dialogs.Count(), 1u);
  EXPECT_EQ(fakes.dialogs.Last().icon, MsgIcon::Exclamation);
  EXPECT_NE(fakes.dialogs.LastText().find("Row 3, column 2 (Strike)"), std::string::npos);
  EXPECT_NE(fakes.dialogs.LastText().find("Row 5, column 1 (Underlying)"), std::string::npos);
  EXPECT_NEAR(sheet.Number(2, 9), 3.1273, 5e-5);
  EXPECT_FALSE(sheet.Has(3, 9));
  EXPECT_NEAR(sheet.Number(4, 9), 3.1273, 5e-5);  // "10%" reads as 0.1
  EXPECT_NEAR(sheet.Number(6, 9), 1.8928, 5e-5);  // processing goes on after a bad row

  // A row that turns bad on a later run loses its old results rather than
  // keeping figures that no longer belong to its inputs.
  sheet.SetRow(2, {"50", "50", "soon", "0.25", "0", "0.1", "1", "European"});
  report = linked.link.Process(linked.entries[0].item_data);
  EXPECT_EQ(report.skipped.size(), 3u);
  EXPECT_FALSE(sheet.Has(2, 9));
  EXPECT_FALSE(sheet.Has(2, 13));

  // Many bad rows: the message lists the first ones and counts the rest.
  std::vector<CellProblem> many(20, CellProblem{2, 3, "Maturity", "x"});
  const std::string text = SkippedRowsMessage(many, 12);
  EXPECT_NE(text.find("... and 8 more"), std::string::npos);
}

TEST(ExcelLinkProcess, ARowTheRecordsCannotTakeIsRefusedAndAFailingCellStopsTheRun) {
  HeadedBook book;
  auto& [fakes, app, sheet] = book;
  sheet.SetRow(2, {"50", "50", "0.25", "0.25", "0", "0.1", "1", "European"});
  // The lattice cannot work with a zero strike: that row is refused with a
  // message, and the run goes on.
  sheet.SetRow(3, {"50", "0", "0.25", "0.25", "0", "0.1", "1", "American"});
  sheet.SetRow(4, {"50", "50", "0.25", "0.25", "0", "0.1", "2", "European"});
  Linked linked(app);
  struct Statuses : ExcelLink::Observer {
    void Status(const std::string& text) override { last = text; }
    std::string last;
  } observer;
  const ExcelLink::Report report = linked.link.Process(linked.entries[0].item_data, observer);
  EXPECT_EQ(report.outcome, ExcelLink::Outcome::kDone);
  EXPECT_EQ(report.rows_priced, 2);
  EXPECT_EQ(report.rows_refused, 1);
  EXPECT_EQ(observer.last, "Done.  2 rows priced, 1 refused (see the Message column)");
  EXPECT_EQ(fakes.dialogs.Count(), 0u);
  EXPECT_NEAR(sheet.Number(2, 9), 3.1273, 5e-5);
  EXPECT_FALSE(sheet.Has(3, 9));
  EXPECT_EQ(sheet.Text(3, 14), "Strike Price must be above 0");
  EXPECT_NEAR(sheet.Number(4, 9), 1.8928, 5e-5);
  EXPECT_FALSE(fakes.events.busy);

  // A cell the application fails to read ends the run at its row.
  fakes.dialogs.Reset();
  sheet.SetRow(3, {"50", "50", "0.25", "0.25", "0", "0.1", "1", "American"});
  sheet.FailAt(4, 2, err::kDeviceIO);
  const ExcelLink::Report again = linked.link.Process(linked.entries[0].item_data);
  EXPECT_EQ(again.outcome, ExcelLink::Outcome::kFailed);
  EXPECT_EQ(again.rows_priced, 2);
  EXPECT_EQ(fakes.dialogs.Count(), 1u);
}

TEST(ExcelLinkProcess, CancelKeepsTheRowsAlreadyWritten) {
  HeadedBook book;
  auto& [fakes, app, sheet] = book;
  for (int row = 2; row <= 11; ++row) {
    sheet.SetRow(row, {"50", "50", "0.25", "0.25", "0", "0.1", "1", "European"});
  }
  Linked linked(app);
  struct CancelAtRow5 : ExcelLink::Observer {
    void Status(const std::string& text) override { last = text; }
    void Progress(int done, int total) override {
      this->done = done;
      this->total = total;
    }
    bool CancelRequested() override { return done >= 3; }
    std::string last;
    int done = 0, total = 0;
  } observer;
  const ExcelLink::Report report = linked.link.Process(linked.entries[0].item_data, observer);
  EXPECT_EQ(report.outcome, ExcelLink::Outcome::kCancelled);
  EXPECT_EQ(report.rows_priced, 3);
  EXPECT_EQ(observer.total, 10);
  EXPECT_EQ(observer.last, "Cancelled at row 5.  3 rows priced, 0 refused");
  for (int row = 2; row <= 4; ++row) EXPECT_TRUE(sheet.Has(row, 9));
  for (int row = 5; row <= 11; ++row) EXPECT_FALSE(sheet.Has(row, 9));
}

TEST(ExcelLinkFind, ListsEveryWorksheetOfEveryWorkbook) {
  FakeServices fakes;
  MemoryApp app;
  app.AddSheet("prices.ods", "Calls");
  app.AddSheet("prices.ods", "Puts");
  app.AddSheet("Untitled 2", "Sheet1");
  ExcelLink link([&app] { return std::make_unique<AppView>(app); });
  std::vector<ExcelLink::SheetEntry> list = {{"stale", 1}};
  EXPECT_FALSE(link.FindExcelSheets(list));
  ASSERT_EQ(list.size(), 3u);
  EXPECT_EQ(list[0].caption, "[prices.ods]Calls");
  EXPECT_EQ(list[0].item_data, 1001);
  EXPECT_EQ(list[1].caption, "[prices.ods]Puts");
  EXPECT_EQ(list[1].item_data, 1002);
  EXPECT_EQ(list[2].caption, "[Untitled 2]Sheet1");
  EXPECT_EQ(list[2].item_data, 2001);
  EXPECT_EQ(fakes.dialogs.Count(), 0u);
  EXPECT_GE(fakes.events.pending_calls, 1);
}

TEST(ExcelLinkFind, FailuresAreReportedAndLeaveTheListAlone) {
  FakeServices fakes;
  std::vector<ExcelLink::SheetEntry> list = {{"[kept]Sheet1", 1001}};

  ExcelLink not_running([]() -> std::unique_ptr<SpreadsheetApp> {
    throw zelError(err::kCannotCreateObject, NotRunningMessage(2002));
  });
  EXPECT_TRUE(not_running.FindExcelSheets(list));
  EXPECT_EQ(fakes.dialogs.Last().icon, MsgIcon::Critical);
  EXPECT_EQ(fakes.dialogs.Last().title, "Quorvale");
  const std::string text = fakes.dialogs.LastText();
  EXPECT_EQ(text.rfind("LibreOffice Calc is not running, or it cannot be reached.", 0), 0u);
  EXPECT_NE(text.find("soffice --calc --accept=\"socket,host=127.0.0.1,port=2002;urp;\""),
            std::string::npos);
  EXPECT_EQ(text.back(), ' ');

  MemoryApp empty;
  ExcelLink no_books([&empty] { return std::make_unique<AppView>(empty); });
  EXPECT_TRUE(no_books.FindExcelSheets(list));
  EXPECT_EQ(fakes.dialogs.LastText(), "No workbooks are loaded into LibreOffice Calc");

  ExcelLink broken([]() -> std::unique_ptr<SpreadsheetApp> { throw zelError(err::kDeviceIO); });
  EXPECT_TRUE(broken.FindExcelSheets(list));
  EXPECT_NE(fakes.dialogs.LastText().find("An error has occurred"), std::string::npos);

  EXPECT_EQ(fakes.dialogs.Count(), 3u);
  ASSERT_EQ(list.size(), 1u);
  EXPECT_EQ(list[0].caption, "[kept]Sheet1");

  // Process without a sheet ever found is a run-time error, not a crash.
  const ExcelLink::Report report = broken.Process(1001);
  EXPECT_EQ(report.outcome, ExcelLink::Outcome::kFailed);
  EXPECT_EQ(fakes.dialogs.Count(), 4u);
}

TEST(ExcelLinkNumbers, CellsReadAsTheLinkReadsThem) {
  double n = -1;
  EXPECT_TRUE(CellNumber(CellValue::Empty(), n));
  EXPECT_EQ(n, 0.0);
  EXPECT_TRUE(CellNumber(CellValue::Text(" 0.25 "), n));
  EXPECT_EQ(n, 0.25);
  EXPECT_TRUE(ReadNumber("+2", n));
  EXPECT_EQ(n, 2.0);
  EXPECT_TRUE(ReadNumber("1e-3", n));
  EXPECT_EQ(n, 0.001);
  EXPECT_TRUE(ReadNumber("5.5 %", n));
  EXPECT_DOUBLE_EQ(n, 0.055);
  for (const char* bad : {"", " ", "abc", "1,5", "nan", "inf", "1e999", "%", "+", "2x", "--1"}) {
    EXPECT_FALSE(ReadNumber(bad, n)) << bad;
  }
  EXPECT_EQ(FormatCellNumber(3.1273f), "3.1273");
  EXPECT_EQ(FormatCellNumber(-999.0f), "-999");
  EXPECT_EQ(FormatCellNumber(0.1), "0.1");
  double back = 0;
  ASSERT_TRUE(ReadNumber(FormatCellNumber(1.0 / 3.0), back));
  EXPECT_EQ(back, 1.0 / 3.0);
}

}  // namespace

TEST(ExcelLinkProcess, ALostConnectionIsNamedWithItsRowAndProcessFindsTheSheetAgain) {
  FakeServices fakes;
  MemoryApp app;
  app.AddSheet("other.ods", "Sheet1");
  MemorySheet& sheet = app.AddSheet("options.ods", "Calls");
  sheet.SetRow(1, kHeadings);
  for (int row = 2; row <= 5; ++row) {
    sheet.SetRow(row, {"50", "50", "0.25", "0.25", "0", "0.1", "1", "European"});
  }
  int connections = 0;
  ExcelLink link([&] {
    ++connections;
    return std::make_unique<AppView>(app);
  });
  std::vector<ExcelLink::SheetEntry> entries;
  ASSERT_FALSE(link.FindExcelSheets(entries));
  ASSERT_EQ(entries.size(), 2u);
  const int calls = entries[1].item_data;

  // The office goes away while row 4 is read.
  sheet.FailAt(4, 1, kOfficeConnectionLost);
  ExcelLink::Report report = link.Process(calls);
  EXPECT_EQ(report.outcome, ExcelLink::Outcome::kFailed);
  EXPECT_EQ(report.rows_priced, 2);
  ASSERT_EQ(fakes.dialogs.Count(), 1u);
  EXPECT_EQ(fakes.dialogs.LastText(), ConnectionLostMessage(4));
  EXPECT_NE(fakes.dialogs.LastText().find("lost at row 4.  The results of the rows above it were "
                                          "written"),
            std::string::npos);
  EXPECT_EQ(fakes.dialogs.LastText().find("Automation error"), std::string::npos);
  EXPECT_TRUE(sheet.Has(3, 9));
  EXPECT_FALSE(sheet.Has(4, 9));

  // Calc is back (a sheet more in the other workbook): "Process" attaches
  // again and finds the sheet by its name.
  sheet.Heal();
  app.AddSheet("other.ods", "Sheet2");
  report = link.Process(calls);
  EXPECT_EQ(connections, 2);
  EXPECT_EQ(report.outcome, ExcelLink::Outcome::kDone);
  EXPECT_EQ(report.rows_priced, 4);
  EXPECT_TRUE(sheet.Has(5, 9));
  EXPECT_EQ(fakes.dialogs.Count(), 1u);

  // The window's list becomes the sheets open now, once; their item data
  // name the same sheets.
  ASSERT_TRUE(link.TakeNewSheetList(entries));
  ASSERT_EQ(entries.size(), 3u);
  EXPECT_EQ(entries[1].caption, "[other.ods]Sheet2");
  EXPECT_EQ(entries[2].caption, "[options.ods]Calls");
  EXPECT_FALSE(link.TakeNewSheetList(entries));
  report = link.Process(entries[2].item_data);
  EXPECT_EQ(report.outcome, ExcelLink::Outcome::kDone);
  EXPECT_EQ(report.rows_priced, 4);
  EXPECT_EQ(connections, 2);
}

TEST(ExcelLinkHeadings, WholeWordsDuplicatesAndColumnsWithoutHeading) {
  // "Volume" and "Bid Price" right of the data are not inputs.
  std::vector<std::string> headings = kHeadings;
  headings.insert(headings.end(), {"Volume", "Bid Price", "Underlying Price"});
  LinkColumns c = ScanHeadings(headings);
  EXPECT_EQ(c.volatility, 4);
  EXPECT_FALSE(c.HasPrice());
  EXPECT_STREQ(c.ambiguous, "Underlying Asset");
  EXPECT_EQ(HeadingProblem(c, headings),
            "Two columns could be the Underlying Asset: column 1 (Underlying) and column 11 "
            "(Underlying Price).  Please rename one of them so that each input has one column.");
  headings.pop_back();
  c = ScanHeadings(headings);
  EXPECT_EQ(HeadingProblem(c, headings), "");
  EXPECT_EQ(c.results, 11);
  // Two "Strike" columns are refused, in the window with a message.
  FakeServices fakes;
  MemoryApp app;
  MemorySheet& sheet = app.AddSheet("options.ods", "Sheet1");
  headings = kHeadings;
  headings.push_back("Strike");
  sheet.SetRow(1, headings);
  sheet.SetRow(2, {"50", "50", "0.25", "0.25", "0", "0.1", "1", "European", "55"});
  Linked linked(app);
  const int writes = sheet.writes;
  EXPECT_EQ(linked.link.Process(linked.entries[0].item_data).outcome,
            ExcelLink::Outcome::kMissingColumn);
  EXPECT_EQ(fakes.dialogs.LastText(),
            "Two columns could be the Strike Price: column 2 (Strike) and column 9 (Strike).  "
            "Please rename one of them so that each input has one column.");
  EXPECT_EQ(sheet.writes, writes);

  // A user's column without heading (data in row 3 only) keeps its data:
  // the results start after the used area.
  MemorySheet& blank = app.AddSheet("notes.ods", "Sheet1");
  blank.SetRow(1, kHeadings);
  blank.SetRow(2, {"50", "50", "0.25", "0.25", "0", "0.1", "1", "European"});
  blank.SetRow(3, {"50", "50", "0.25", "0.25", "0", "0.1", "2", "European", "", "keep me"});
  Linked again(app);
  const ExcelLink::Report report = again.link.Process(again.entries[1].item_data);
  EXPECT_EQ(report.outcome, ExcelLink::Outcome::kDone);
  EXPECT_EQ(blank.Text(3, 10), "keep me");
  EXPECT_EQ(blank.Text(1, 11), "Calculated Price");
  EXPECT_EQ(again.link.Columns().results, 11);
}

}  // namespace stratlyn

namespace stratlyn {
namespace {

using testing::AppView;
using testing::FakeServices;
using testing::MemoryApp;
using testing::MemorySheet;

std::vector<std::string> WithResults(std::vector<std::string> row, int count) {
  for (int i = 0; i < count; ++i) row.push_back(link_text::kResultHeadings[i]);
  return row;
}

TEST(ExcelLinkRules, AUserCellUnderNoResultHeadingStopsTheRunBeforeAnyWrite) {
  // The results of a run without a price column, then a "Market Price"
  // column inserted before them: the new block needs ten results and the
  // message, reaching past the old block into a note and a formula of the
  // user's in the first free column.
  FakeServices fakes;
  MemoryApp app;
  MemorySheet& sheet = app.AddSheet("book.ods", "Sheet1");
  std::vector<std::string> headings = kHeadings;
  headings.push_back("Market Price");
  sheet.SetRow(1, WithResults(headings, 5));  // results in 10 to 14
  sheet.SetRow(2, {"50", "50", "0.25", "0.25", "0", "0.1", "1", "European", "2.5", "2.9", "0.6",
                   "0.07", "9.6", "-6", "", "my note"});
  sheet.SetRow(3, {"50", "55", "0.25", "0.25", "0", "0.1", "1", "European", "1", "1", "0.3", "0.07",
                   "9.6", "-6", "", "0.333333"});
  Linked linked(app);
  const int writes = sheet.writes;
  const ExcelLink::Report report = linked.link.Process(linked.entries[0].item_data);
  EXPECT_EQ(report.outcome, ExcelLink::Outcome::kConflict);
  EXPECT_EQ(sheet.writes, writes) << "nothing may be written when a user's cell is in the way";
  ASSERT_EQ(fakes.dialogs.Count(), 1u);
  EXPECT_EQ(fakes.dialogs.LastText(), ResultsConflictMessage(2, 16));
  EXPECT_EQ(sheet.Text(2, 16), "my note");

  // The same sheet as a CSV file through the batch: the same refusal.
  std::string csv;
  for (int row = 1; row <= 3; ++row) {
    for (int col = 1; col <= 16; ++col) csv += (col > 1 ? "," : "") + sheet.Text(row, col);
    csv += "\n";
  }
  std::FILE* in = fmemopen(csv.data(), csv.size(), "rb");
  char* out_text = nullptr;
  size_t out_size = 0;
  std::FILE* out = open_memstream(&out_text, &out_size);
  const BatchReport batch = PriceCsvStream(in, "book.csv", out);
  std::fclose(in);
  std::fclose(out);
  std::free(out_text);
  EXPECT_EQ(batch.outcome, BatchReport::Outcome::kResultsConflict);
  EXPECT_EQ(batch.missing_column, ResultsConflictMessage(2, 16));
}

TEST(ExcelLinkRules, ResultsOfAnEarlierRunThatThisRunDoesNotFillAreEmptied) {
  // Ten results of a run with a price column; the price column deleted and
  // an input changed: the implied figures of the old inputs must go.
  FakeServices fakes;
  MemoryApp app;
  MemorySheet& sheet = app.AddSheet("book.ods", "Sheet1");
  sheet.SetRow(1, WithResults(kHeadings, 10));
  sheet.SetRow(2, {"50", "55", "0.25", "0.25", "0", "0.1", "1", "European", "2.5", "0.6", "0.07",
                   "9.6", "-6", "0.3", "0.55", "0.06", "9.7", "-6.5"});
  Linked linked(app);
  const ExcelLink::Report report = linked.link.Process(linked.entries[0].item_data);
  ASSERT_EQ(report.outcome, ExcelLink::Outcome::kDone);
  EXPECT_FLOAT_EQ(static_cast<float>(sheet.Number(2, 9)), European(50, 55, 0.25, 0.25, 0, 0.1, 1));
  EXPECT_EQ(sheet.Text(1, 14), link_text::kMessageHeading);
  EXPECT_FALSE(sheet.Has(2, 14));
  for (int col = 15; col <= 18; ++col) {
    EXPECT_FALSE(sheet.Has(1, col)) << "heading of column " << col;
    EXPECT_FALSE(sheet.Has(2, col)) << "figure of the earlier run in column " << col;
  }
  // Run again: the same block, nothing of the user's in the way.
  EXPECT_EQ(linked.link.Process(linked.entries[0].item_data).outcome, ExcelLink::Outcome::kDone);
  EXPECT_EQ(fakes.dialogs.Count(), 0u);
}

TEST(ExcelLinkRules, NoEarlierFigureStaysBelowTheRowThatEndsTheRun) {
  // Priced once; then row 3's underlying emptied (the run ends there) and
  // row 4's spot changed: the figures of the earlier run beside rows 3 and
  // 4 must go, the user's note beside them stays.
  FakeServices fakes;
  MemoryApp app;
  MemorySheet& sheet = app.AddSheet("book.ods", "Sheet1");
  std::vector<std::string> headings = kHeadings;
  headings.push_back("Notes");
  sheet.SetRow(1, headings);
  for (int row = 2; row <= 4; ++row) {
    sheet.SetRow(row, {"50", "55", "0.25", "0.25", "0", "0.1", "1", "European", "note"});
  }
  Linked linked(app);
  ASSERT_EQ(linked.link.Process(linked.entries[0].item_data).outcome, ExcelLink::Outcome::kDone);
  ASSERT_TRUE(sheet.Has(4, 10));
  sheet.SetRow(3, {""});
  sheet.SetRow(4, {"80"});
  const ExcelLink::Report report = linked.link.Process(linked.entries[0].item_data);
  ASSERT_EQ(report.outcome, ExcelLink::Outcome::kDone);
  EXPECT_EQ(report.rows_priced, 1);
  EXPECT_TRUE(sheet.Has(2, 10));
  for (int row = 3; row <= 4; ++row) {
    EXPECT_EQ(sheet.Text(row, 9), "note");
    for (int col = 10; col <= 15; ++col) {
      EXPECT_FALSE(sheet.Has(row, col)) << "row " << row << ", column " << col;
    }
  }
}

TEST(ExcelLinkRules, AResultColumnLeftOutsideTheResultsStopsTheRunBeforeAnyWrite) {
  // The earlier run's "Calculated Price" deleted: its Delta to Theta stay.
  FakeServices fakes;
  MemoryApp app;
  MemorySheet& sheet = app.AddSheet("book.ods", "Sheet1");
  std::vector<std::string> headings = kHeadings;
  for (const char* h : {"Delta", "Gamma", "Vega", "Theta"}) headings.push_back(h);
  sheet.SetRow(1, headings);
  sheet.SetRow(
      2, {"80", "55", "0.25", "0.25", "0", "0.1", "1", "European", "0.6", "0.07", "9.6", "-6"});
  Linked linked(app);
  const ExcelLink::Report report = linked.link.Process(linked.entries[0].item_data);
  EXPECT_EQ(report.outcome, ExcelLink::Outcome::kMissingColumn);
  EXPECT_NE(fakes.dialogs.LastText().find("column 9 (Delta) is one of the results"),
            std::string::npos)
      << fakes.dialogs.LastText();
  EXPECT_EQ(sheet.writes, 0);
  EXPECT_FALSE(sheet.Has(1, 13));
}

TEST(ExcelLinkRules, TheChosenSheetIsFoundByNameAtProcess) {
  FakeServices fakes;
  MemoryApp app;
  MemorySheet& first = app.AddSheet("book.ods", "Calls");
  MemorySheet& second = app.AddSheet("book.ods", "Puts");
  for (MemorySheet* sheet : {&first, &second}) {
    sheet->SetRow(1, kHeadings);
    sheet->SetRow(2, {"50", "50", "0.25", "0.25", "0", "0.1", "2", "European"});
  }
  Linked linked(app);
  ASSERT_EQ(linked.entries.size(), 2u);
  ASSERT_EQ(linked.entries[1].caption, "[book.ods]Puts");
  app.MoveSheet(1, 2, 1);  // "Puts" is now the first sheet
  const ExcelLink::Report report = linked.link.Process(linked.entries[1].item_data);
  EXPECT_EQ(report.outcome, ExcelLink::Outcome::kDone);
  EXPECT_TRUE(second.Has(2, 9)) << "the chosen sheet gets the results";
  EXPECT_FALSE(first.Has(2, 9)) << "the sheet now at the chosen position is left alone";
  std::vector<ExcelLink::SheetEntry> list;
  ASSERT_TRUE(linked.link.TakeNewSheetList(list));
  EXPECT_EQ(list[0].caption, "[book.ods]Puts");
}

// A sheet whose reading of one cell stalls until released (an office that
// stops answering).
struct Stall {
  std::mutex mutex;
  std::condition_variable cv;
  bool released = false;
  std::atomic<bool> stalled{false}, returned{false};
  void Arm(MemorySheet& sheet, int stall_row) {
    sheet.on_read = [this, stall_row](int row, int) {
      if (row != stall_row || returned) return;
      stalled = true;
      std::unique_lock lock(mutex);
      cv.wait_for(lock, std::chrono::seconds(20), [this] { return released; });
    };
  }
  ~Stall() {
    {
      std::lock_guard lock(mutex);
      released = true;
    }
    cv.notify_all();
    returned = true;
    // Let the office thread come back out of the sheet before it goes.
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
  }
};

TEST(ExcelLinkRules, AnOfficeThatDoesNotAnswerEndsTheRunAndCancelWorksWhileWaiting) {
  FakeServices fakes;
  MemoryApp app;
  MemorySheet& sheet = app.AddSheet("book.ods", "Sheet1");
  sheet.SetRow(1, kHeadings);
  for (int row = 2; row <= 4; ++row) {
    sheet.SetRow(row, {"50", "50", "0.25", "0.25", "0", "0.1", "1", "European"});
  }
  {
    Stall stall;
    stall.Arm(sheet, 3);
    Linked linked(app);
    linked.link.SetOfficeTimeLimit(std::chrono::milliseconds(300));
    int events_while_stalled = 0;
    fakes.events.on_pending = [&] { events_while_stalled += stall.stalled ? 1 : 0; };
    const auto start = std::chrono::steady_clock::now();
    const ExcelLink::Report report = linked.link.Process(linked.entries[0].item_data);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
    EXPECT_EQ(report.outcome, ExcelLink::Outcome::kFailed);
    EXPECT_EQ(report.last_row, 3);
    ASSERT_GE(fakes.dialogs.Count(), 1u);
    EXPECT_EQ(fakes.dialogs.LastText(), NoAnswerMessage(std::chrono::milliseconds(300), 3));
    EXPECT_TRUE(sheet.Has(2, 9)) << "the row above keeps its results";
    EXPECT_GT(events_while_stalled, 0) << "events ran while the call was waited for";
    fakes.events.on_pending = nullptr;
  }
  {
    // Cancel during a wait of the long default limit ends the run at once.
    Stall stall;
    stall.Arm(sheet, 4);
    Linked linked(app);
    struct CancelOnStall : ExcelLink::Observer {
      explicit CancelOnStall(Stall& s) : stall(s) {}
      bool CancelRequested() override { return stall.stalled; }
      Stall& stall;
    } observer(stall);
    const auto start = std::chrono::steady_clock::now();
    const ExcelLink::Report report = linked.link.Process(linked.entries[0].item_data, observer);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
    EXPECT_EQ(report.outcome, ExcelLink::Outcome::kCancelled);
    EXPECT_EQ(report.last_row, 4);
  }
}

TEST(ExcelLinkRows, EachBadRowGetsItsMessageAndEmptyCellsAndTheRunGoesOn) {
  FakeServices fakes;
  MemoryApp app;
  MemorySheet& sheet = app.AddSheet("book.ods", "Sheet1");
  std::vector<std::string> headings = kHeadings;
  headings.push_back("Market Price");
  sheet.SetRow(1, headings);
  const std::vector<std::vector<std::string>> rows = {
      {"50", "50", "0.25", "0.25", "0", "0.1", "1e9", "European", "2"},    // 2 type
      {"3.5e38", "50", "0.25", "0.25", "0", "0.1", "1", "European", "2"},  // 3 spot
      {"50", "50", "0.25", "0", "0", "0.1", "1", "European", "2"},         // 4 vol 0
      {"50", "50", "0.25", "-0.2", "0", "0.1", "2", "American", "2"},      // 5 vol < 0
      {"50", "50", "0.25", "", "0", "0.1", "1", "European", "2"},          // 6 vol empty
      {"50", "50", "0.25", "0.25", "0", "0.1", "1", "European", "60"},     // 7 no vol
      {"50", "50", "0.25", "0.25", "0", "0.1", "2", "American", "60"},     // 8 no vol
      {"50", "50", "0.25", "0.25", "0", "0.1", "1", "European", ""},       // 9 blank price
      {"50", "50", "0.25", "0.25", "0", "0.1", "2", "American", ""},       // 10 blank price
      {"50", "50", "0.25", "0.25", "0", "0.1", "1", "European", "3"},      // 11 good
      {"50", "50", "0.25", "0.25", "0", "0.1", "1", "European", "abc"},    // 12 text
      {"50", "50", "0.001", "20", "0", "0.1", "1", "European", ""},        // 13 vol 2000 %
      {"50", "50", "0.25", "0.25", "0", "40", "2", "American", ""},        // 14 rate 4000 %
  };
  for (size_t i = 0; i < rows.size(); ++i) sheet.SetRow(static_cast<int>(i) + 2, rows[i]);
  Linked linked(app);
  struct Statuses : ExcelLink::Observer {
    void Status(const std::string& text) override { last = text; }
    std::string last;
  } observer;
  const ExcelLink::Report report = linked.link.Process(linked.entries[0].item_data, observer);
  ASSERT_EQ(report.outcome, ExcelLink::Outcome::kDone);
  EXPECT_EQ(report.rows_priced, 3);
  EXPECT_EQ(report.rows_refused, 10);
  EXPECT_EQ(observer.last, std::string("Done.  ") + RunSummary(3, 10));
  const int first = 10, message = first + 10;
  EXPECT_EQ(sheet.Text(1, message), link_text::kMessageHeading);
  const std::map<int, std::string> refused = {
      {2, link_text::kBadType},
      {3, std::string("Underlying Asset 3.5e+38") + link_text::kOutOfRange},
      {4, std::string("Volatility") + link_text::kNotPositive},
      {5, std::string("Volatility") + link_text::kNotPositive},
      {6, std::string("Volatility") + link_text::kIsEmpty},
      {12, "Market Price: \"abc\"" + std::string(link_text::kNotANumber)},
      // A percentage typed as a number is no volatility or rate of 2000 %.
      {13, std::string("Volatility 20") + link_text::kAboveFive},
      {14, std::string("Risk Free Rate 40") + link_text::kAboveFive}};
  for (const auto& [row, text] : refused) {
    EXPECT_EQ(sheet.Text(row, message), text) << "row " << row;
    for (int col = first; col < message; ++col) {
      EXPECT_FALSE(sheet.Has(row, col)) << "row " << row << " column " << col;
    }
  }
  for (const int row : {7, 8}) {
    // Value and Greeks stand; no implied figure, and the message says why.
    EXPECT_EQ(sheet.Text(row, message), link_text::kNoVolatility) << "row " << row;
    for (int col = first; col < first + 5; ++col) EXPECT_TRUE(sheet.Has(row, col));
    for (int col = first + 5; col < message; ++col) {
      EXPECT_FALSE(sheet.Has(row, col)) << "row " << row << " column " << col;
    }
  }
  for (const int row : {9, 10}) {
    EXPECT_FALSE(sheet.Has(row, message)) << "a blank market price needs no message";
    for (int col = first; col < first + 5; ++col) EXPECT_TRUE(sheet.Has(row, col));
    for (int col = first + 5; col < message; ++col) EXPECT_FALSE(sheet.Has(row, col));
  }
  EXPECT_FALSE(sheet.Has(11, message));
  // The good row: the implied volatility reprices the market price.
  EXPECT_NEAR(European(50, 50, 0.25, sheet.Number(11, first + 5), 0, 0.1, 1), 3.0, 1e-3);
  // No sentinel anywhere, no record's message box.
  for (int row = 2; row <= 14; ++row) {
    for (int col = first; col < message; ++col) {
      if (sheet.Has(row, col)) {
        EXPECT_GT(sheet.Number(row, col), -900) << row << "," << col;
      }
    }
  }
  EXPECT_EQ(fakes.dialogs.Count(), 1u) << "only the list of rows with text in a number cell";
}

}  // namespace
}  // namespace stratlyn

namespace stratlyn {
namespace {

TEST(ExcelLinkRules, AColumnOfTheUsersNamedMessageAfterOldResultsIsNotTaken) {
  // Results of an earlier version (no Message column), then a column of
  // the user's that happens to be headed "Message" two columns on.
  testing::FakeServices fakes;
  testing::MemoryApp app;
  testing::MemorySheet& sheet = app.AddSheet("book.ods", "Sheet1");
  std::vector<std::string> headings = kHeadings;
  for (int i = 0; i < 5; ++i) headings.push_back(link_text::kResultHeadings[i]);
  headings.push_back("Message");
  sheet.SetRow(1, headings);
  sheet.SetRow(2, {"50", "50", "0.25", "0.25", "0", "0.1", "1", "European", "1", "1", "1", "1", "1",
                   "call the desk"});
  Linked linked(app);
  ExcelLink::Report report = linked.link.Process(linked.entries[0].item_data);
  // Right after five results "Message" is the run's own column.
  EXPECT_EQ(report.outcome, ExcelLink::Outcome::kDone);
  EXPECT_FALSE(sheet.Has(2, 14));

  // After ten results it would be too; after six it is the user's.
  headings = kHeadings;
  for (int i = 0; i < 6; ++i) headings.push_back(link_text::kResultHeadings[i]);
  headings.push_back("Message");
  sheet.SetRow(1, headings);
  sheet.SetRow(2, {"50", "50", "0.25", "0.25", "0", "0.1", "1", "European", "1", "1", "1", "1", "1",
                   "1", "call the desk"});
  report = linked.link.Process(linked.entries[0].item_data);
  EXPECT_EQ(report.outcome, ExcelLink::Outcome::kDone);
  EXPECT_EQ(sheet.Text(1, 14), "Message");  // the run's own, over its old column
  EXPECT_EQ(sheet.Text(1, 15), "Message");  // the user's, kept
  EXPECT_EQ(sheet.Text(2, 15), "call the desk");
  EXPECT_EQ(fakes.dialogs.Count(), 0u);
}

}  // namespace
}  // namespace stratlyn

namespace stratlyn {
namespace {

TEST(ExcelLinkRules, AnAttachThatDoesNotAnswerEndsOrIsCancelled) {
  testing::FakeServices fakes;
  std::mutex mutex;
  std::condition_variable wake;
  bool released = false;
  std::atomic<int> returned{0};
  // An office that accepts the connection and then says nothing.
  const auto hang = [&]() -> std::unique_ptr<SpreadsheetApp> {
    std::unique_lock lock(mutex);
    wake.wait_for(lock, std::chrono::seconds(20), [&] { return released; });
    ++returned;
    return nullptr;
  };
  {
    ExcelLink link(hang);
    link.SetOfficeTimeLimit(std::chrono::milliseconds(300));
    std::vector<ExcelLink::SheetEntry> list;
    const auto start = std::chrono::steady_clock::now();
    EXPECT_TRUE(link.FindExcelSheets(list));
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
    ASSERT_EQ(fakes.dialogs.Count(), 1u);
    EXPECT_EQ(fakes.dialogs.LastText(), NoAnswerMessage(std::chrono::milliseconds(300), 0));
  }
  {
    ExcelLink link(hang);
    bool cancel = false;
    link.SetCancelCheck([&] { return cancel; });
    fakes.events.on_pending = [&] { cancel = true; };  // the user presses Cancel
    std::vector<ExcelLink::SheetEntry> list;
    const auto start = std::chrono::steady_clock::now();
    EXPECT_TRUE(link.FindExcelSheets(list));
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
    EXPECT_EQ(fakes.dialogs.Count(), 1u) << "giving up needs no message";
    fakes.events.on_pending = nullptr;
  }
  {
    std::lock_guard lock(mutex);
    released = true;
  }
  wake.notify_all();
  while (returned < 2) std::this_thread::sleep_for(std::chrono::milliseconds(10));
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
}

}  // namespace
}  // namespace stratlyn
