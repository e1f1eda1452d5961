// The spreadsheet link window, offscreen, with scripted message boxes.

#include <gtest/gtest.h>
#include <unistd.h>

#include <QComboBox>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <sstream>
#include <thread>

#include "memory_workbook.h"
#include "support/fake_services.h"
#include "tools/excel_link_widget.h"

namespace stratlyn {
namespace {

namespace fs = std::filesystem;
using testing::AppView;
using testing::FakeServices;
using testing::MemoryApp;
using testing::MemorySheet;

const std::vector<std::string> kHeadings = {"Underlying", "Strike", "Maturity", "Vol",
                                            "Yield",      "Risk",   "Type",     "Style"};

std::string ReadText(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream out;
  out << in.rdbuf();
  return out.str();
}

TEST(ExcelLinkWindow, FindsSheetsAndProcessesTheChosenOne) {
  FakeServices fakes;
  MemoryApp app;
  app.AddSheet("book.ods", "Notes").SetRow(1, {"nothing here"});
  MemorySheet& sheet = app.AddSheet("book.ods", "Options");
  sheet.SetRow(1, kHeadings);
  for (int row = 2; row <= 5; ++row) {
    sheet.SetRow(row, {"50", "50", "0.25", "0.25", "0", "0.1", "1", "European"});
  }
  ExcelLinkWindow window(nullptr, [&app] { return std::make_unique<AppView>(app); });
  EXPECT_EQ(window.objectName(), "frmExcelLink");
  EXPECT_EQ(window.windowTitle(), "Spreadsheet Link Stratlyn (LibreOffice Calc and CSV files)");
  EXPECT_TRUE(window.isModal());
  EXPECT_FALSE(window.cmdProcess->isEnabled()) << "nothing to process before a sheet is listed";
  EXPECT_FALSE(window.cmdCancel->isEnabled());

  window.cmdFindExcel->click();
  ASSERT_EQ(window.cmbExcel->count(), 2);
  EXPECT_EQ(window.cmbExcel->itemText(0), "[book.ods]Notes");
  EXPECT_EQ(window.cmbExcel->currentIndex(), 0);
  EXPECT_EQ(window.cmbExcel->itemData(1).toInt(), 1002);
  EXPECT_TRUE(window.cmdProcess->isEnabled());

  // The first sheet has no headings: the first required column is named.
  window.cmdProcess->click();
  ASSERT_EQ(fakes.dialogs.Count(), 1u);
  EXPECT_EQ(fakes.dialogs.LastText(), link_text::kMissingUnderlying);

  window.cmbExcel->setCurrentIndex(1);
  window.cmdProcess->click();
  EXPECT_EQ(fakes.dialogs.Count(), 1u);
  // The outcome, then which column was taken for each input.
  // The summary of the rows is in the status line.
  EXPECT_TRUE(
      window.Label1->text().startsWith("Done.  4 rows priced, 0 refused\nUnderlying Asset: "
                                       "column 1"))
      << window.Label1->text().toStdString();
  EXPECT_EQ(window.progress->value(), 4);
  EXPECT_EQ(window.progress->maximum(), 4);
  EXPECT_NEAR(sheet.Number(5, 9), 3.1273, 5e-5);
  EXPECT_FALSE(window.Processing());
  EXPECT_FALSE(window.cmdCancel->isEnabled());
  EXPECT_TRUE(window.cmdFindExcel->isEnabled());
}

TEST(ExcelLinkWindow, CancelAndCloseDuringARunKeepTheRowsDone) {
  FakeServices fakes;
  MemoryApp app;
  MemorySheet& sheet = app.AddSheet("book.ods", "Options");
  sheet.SetRow(1, kHeadings);
  for (int row = 2; row <= 21; ++row) {
    sheet.SetRow(row, {"50", "50", "0.25", "0.25", "0", "0.1", "2", "European"});
  }
  ExcelLinkWindow window(nullptr, [&app] { return std::make_unique<AppView>(app); });
  window.cmdFindExcel->click();
  window.show();

  // The user presses "Cancel" while row 6 is about to be priced.
  fakes.events.on_pending = [&] {
    if (window.Label1->text() == "Processing row 6") {
      EXPECT_TRUE(window.cmdCancel->isEnabled());
      EXPECT_FALSE(window.cmdProcess->isEnabled()) << "no second run inside a run";
      window.cmdCancel->click();
    }
  };
  window.cmdProcess->click();
  EXPECT_TRUE(window.Label1->text().startsWith("Cancelled at row 6.  4 rows priced, 0 refused\n"))
      << window.Label1->text().toStdString();
  EXPECT_EQ(window.progress->value(), 4);
  for (int row = 2; row <= 5; ++row) EXPECT_TRUE(sheet.Has(row, 9)) << row;
  EXPECT_FALSE(sheet.Has(6, 9));
  EXPECT_TRUE(window.isVisible());

  // Closing the window during a run cancels it and then closes.
  fakes.events.on_pending = [&] {
    if (window.Label1->text() == "Processing row 4") window.reject();
  };
  window.cmdProcess->click();
  EXPECT_FALSE(window.isVisible());
  EXPECT_FALSE(window.Processing());
}

TEST(ExcelLinkWindow, OpenFilePricesACsvWorkbookNextToIt) {
  FakeServices fakes;
  char name[] = "/tmp/stratlyn-linkgui-XXXXXX";
  const fs::path dir = mkdtemp(name);
  const fs::path input = dir / "options.csv";
  const std::string text =
      "Underlying,Strike,Maturity,Vol,Yield,Risk,Type,Style\r\n"
      "50,50,0.25,0.25,0,0.1,1,European\r\n"
      "50,x,0.25,0.25,0,0.1,1,European\r\n";
  std::ofstream(input, std::ios::binary) << text;

  ExcelLinkWindow window(nullptr, []() -> std::unique_ptr<SpreadsheetApp> {
    throw zelError(err::kCannotCreateObject, NotRunningMessage(2002));
  });
  EXPECT_FALSE(window.OpenWorkbookFile((dir / "missing.csv").string()));
  EXPECT_EQ(fakes.dialogs.Last().icon, MsgIcon::Critical);
  EXPECT_NE(fakes.dialogs.LastText().find("could not be opened"), std::string::npos);

  ASSERT_TRUE(window.OpenWorkbookFile(input.string()));
  ASSERT_EQ(window.cmbExcel->count(), 1);
  EXPECT_EQ(window.cmbExcel->itemText(0), "[options.csv]options");
  fakes.dialogs.Reset();
  window.cmdProcess->click();
  // One row priced, one skipped and named; saved beside the input.
  ASSERT_EQ(fakes.dialogs.Count(), 1u);
  EXPECT_NE(fakes.dialogs.LastText().find("Row 3, column 2 (Strike)"), std::string::npos);
  EXPECT_EQ(window.SavedPath(), (dir / "options.priced.csv").string());
  EXPECT_EQ(ReadText(input), text);
  const std::string priced = ReadText(dir / "options.priced.csv");
  EXPECT_NE(priced.find("Style,Calculated Price,Delta,Gamma,Vega,Theta,Message\r\n"),
            std::string::npos);
  EXPECT_NE(
      priced.find("50,x,0.25,0.25,0,0.1,1,European,,,,,,\"Strike: \"\"x\"\" is not a number\""),
      std::string::npos)
      << priced;
  EXPECT_NE(priced.find("European,3.127"), std::string::npos) << priced;
  EXPECT_NE(window.Label1->text().toStdString().find("Saved as options.priced.csv"),
            std::string::npos);

  // Find with no Calc running keeps the workbook listed.
  window.cmdFindExcel->click();
  EXPECT_EQ(window.cmbExcel->count(), 1);
  EXPECT_EQ(fakes.dialogs.LastText(), NotRunningMessage(2002));
  std::error_code ec;
  fs::remove_all(dir, ec);
}

TEST(ExcelLinkWindow, CancelWorksWhileTheOfficeDoesNotAnswer) {
  FakeServices fakes;
  MemoryApp app;
  MemorySheet& sheet = app.AddSheet("book.ods", "Options");
  sheet.SetRow(1, kHeadings);
  for (int row = 2; row <= 6; ++row) {
    sheet.SetRow(row, {"50", "50", "0.25", "0.25", "0", "0.1", "2", "European"});
  }
  ExcelLinkWindow window(nullptr, [&app] { return std::make_unique<AppView>(app); });
  window.cmdFindExcel->click();
  window.show();
  // Row 4's cells stop answering (until the test ends).
  std::mutex mutex;
  std::condition_variable wake;
  bool released = false;
  std::atomic<bool> stalled{false};
  sheet.on_read = [&](int row, int) {
    if (row != 4 || released) return;
    stalled = true;
    std::unique_lock lock(mutex);
    wake.wait_for(lock, std::chrono::seconds(20), [&] { return released; });
  };
  // The window keeps handling events: the user sees the button and presses it.
  int clicks = 0;
  fakes.events.on_pending = [&] {
    if (stalled && window.cmdCancel->isEnabled() && clicks == 0) {
      ++clicks;
      window.cmdCancel->click();
    }
  };
  const auto start = std::chrono::steady_clock::now();
  window.cmdProcess->click();
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(10));
  EXPECT_EQ(clicks, 1);
  EXPECT_TRUE(window.Label1->text().startsWith("Cancelled at row 4.  2 rows priced, 0 refused"))
      << window.Label1->text().toStdString();
  EXPECT_FALSE(window.Processing());
  EXPECT_TRUE(sheet.Has(3, 9));
  {
    std::lock_guard lock(mutex);
    released = true;
  }
  wake.notify_all();
  fakes.events.on_pending = nullptr;
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  sheet.on_read = nullptr;
}

}  // namespace
}  // namespace stratlyn
