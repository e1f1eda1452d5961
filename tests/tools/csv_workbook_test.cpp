// CSV workbooks: reading and writing with libcsv, the one-sheet workbook,
// and the threaded batch that must write what the window writes.

#include "tools/csv_workbook.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "support/fake_services.h"
#include "tools/csv_batch.h"
#include "tools/excel_link.h"
#include "util/zel_error.h"

namespace stratlyn {
namespace {

namespace fs = std::filesystem;

// A fresh folder for one test, removed afterwards.
struct TempDir {
  TempDir() {
    char name[] = "/tmp/stratlyn-csv-XXXXXX";
    path = mkdtemp(name);
  }
  ~TempDir() {
    std::error_code ec;
    fs::remove_all(path, ec);
  }
  std::string File(const std::string& name) const { return (path / name).string(); }
  fs::path path;
};

void WriteText(const std::string& path, const std::string& text) {
  std::ofstream(path, std::ios::binary) << text;
}

std::string ReadText(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream out;
  out << in.rdbuf();
  return out.str();
}

int ErrorNumber(const std::function<void()>& f) {
  try {
    f();
  } catch (const zelError& e) {
    return e.Number();
  }
  return 0;
}

TEST(CsvWorkbook, QuotedFieldsCommasQuotesAndLineBreaksSurvive) {
  // CRLF file with a byte-order mark, a blank line, a lone empty field,
  // blanks that belong to the data, and line breaks inside a quoted field.
  const std::string crlf =
      "\xEF\xBB\xBFname,note,value\r\n"
      "\"Smith, J.\",\"said \"\"hi\"\"\",1.5\r\n"
      "\r\n"
      "\"\"\r\n"
      "  padded  ,\"two\r\nlines\",\r\n"
      "last,\"a\nb\",x\r\n";
  auto book = CsvWorkbook::FromText(crlf, "people.csv");
  EXPECT_EQ(book->UsedRows(), 6);
  EXPECT_EQ(book->Text(2, 1), "Smith, J.");
  EXPECT_EQ(book->Text(2, 2), "said \"hi\"");
  EXPECT_EQ(book->Value(2, 3), CellValue::Number(1.5));
  EXPECT_EQ(book->Value(3, 1), CellValue::Empty());
  EXPECT_EQ(book->Text(5, 1), "  padded  ");
  EXPECT_EQ(book->Text(5, 2), "two\r\nlines");
  EXPECT_EQ(book->Text(6, 2), "a\nb");
  EXPECT_EQ(book->Value(6, 3), CellValue::Text("x"));
  EXPECT_EQ(book->ToCsv(), crlf);

  // An LF file without a final line break stays LF (and gains the break).
  const std::string lf = "a,b\n1,\"x,y\"";
  EXPECT_EQ(CsvWorkbook::FromText(lf, "lf.csv")->ToCsv(), lf + "\n");
  EXPECT_EQ(CsvWorkbook::FromText("", "empty.csv")->UsedRows(), 0);
}

TEST(CsvWorkbook, ReadsAcrossTheReaderBlocks) {
  // Over a megabyte, so that records, CRLF pairs and quoted fields straddle
  // the reader's blocks.
  std::string text = "Underlying,Comment\r\n";
  for (int i = 0; text.size() < (3u << 20); ++i) {
    text += std::to_string(i) + ",\"line " + std::to_string(i) +
            ", with \"\"quote\"\"\r\nand more\"\r\n";
  }
  TempDir dir;
  const std::string path = dir.File("big.csv");
  WriteText(path, text);
  auto book = CsvWorkbook::Load(path);
  const std::string back = book->ToCsv();
  const auto diff = std::mismatch(back.begin(), back.end(), text.begin(), text.end());
  EXPECT_TRUE(back == text) << "first difference at byte " << (diff.first - back.begin()) << ": "
                            << back.substr(diff.first - back.begin(), 40);
  const int rows = book->UsedRows();
  EXPECT_EQ(book->Text(rows, 1), std::to_string(rows - 2));
  EXPECT_EQ(book->Text(rows, 2),
            "line " + std::to_string(rows - 2) + ", with \"quote\"\r\nand more");
}

TEST(CsvWorkbook, MalformedAndMissingFilesAreErrors) {
  try {
    CsvWorkbook::FromText("a,b\n1,\"open\n2,3\n", "broken.csv");
    FAIL() << "an unterminated quote was accepted";
  } catch (const zelError& e) {
    EXPECT_EQ(e.Number(), err::kBadFile);
    EXPECT_NE(e.Description().find("broken.csv"), std::string::npos);
  }
  try {
    CsvWorkbook::FromText("a,b\n1,2\n3,x\"y\n", "stray.csv");
    FAIL() << "a stray quote was accepted";
  } catch (const zelError& e) {
    EXPECT_EQ(e.Number(), err::kBadFile);
    EXPECT_NE(e.Description().find("line 3"), std::string::npos) << e.Description();
  }
  TempDir dir;
  EXPECT_EQ(ErrorNumber([&] { CsvWorkbook::Load(dir.File("none.csv")); }), err::kFileNotFound);
  EXPECT_EQ(ErrorNumber([&] { CsvWorkbook::Load(dir.path.string()); }), err::kPathAccess);
}

TEST(CsvWorkbook, CellsAndSaving) {
  TempDir dir;
  const std::string input = dir.File("prices.csv");
  WriteText(input, "a,b\n1,2\n");
  auto book = CsvWorkbook::Load(input);
  EXPECT_EQ(book->WorkbookName(1), "prices.csv");
  EXPECT_EQ(book->WorksheetName(1, 1), "prices");
  EXPECT_EQ(ErrorNumber([&] { book->GetWorksheet(1, 2); }), err::kSubscript);
  Worksheet& sheet = book->GetWorksheet(1, 1);

  sheet.SetValue(2, 4, CellValue::Number(3.1273f));
  sheet.SetValue(1, 4, CellValue::Text("Calculated Price"));
  sheet.SetValue(5, 9, CellValue::Empty());  // clearing nothing adds nothing
  EXPECT_EQ(sheet.UsedRows(), 2);
  EXPECT_EQ(sheet.UsedColumns(), 4);
  EXPECT_EQ(sheet.Text(2, 4), "3.1273");
  EXPECT_EQ(book->ToCsv(), "a,b,,Calculated Price\n1,2,,3.1273\n");

  // Saved next to the input under its own name; the input is never replaced.
  const std::string priced = PricedPath(input);
  EXPECT_EQ(priced, dir.File("prices.priced.csv"));
  book->Save(priced);
  EXPECT_EQ(ReadText(priced), book->ToCsv());
  EXPECT_EQ(ErrorNumber([&] { book->Save(input); }), err::kPathAccess);
  EXPECT_EQ(ReadText(input), "a,b\n1,2\n");
  size_t files = 0;
  for (const auto& entry : fs::directory_iterator(dir.path)) files += entry.is_regular_file();
  EXPECT_EQ(files, 2u) << "no temporary file may be left behind";
  EXPECT_NE(ErrorNumber([&] { book->Save(dir.File("no/such/folder/x.csv")); }), 0);
}

// The window's "Process" on a CSV workbook, as text.
std::string ProcessInWindow(const std::string& csv, ExcelLink::Report* report = nullptr) {
  testing::FakeServices fakes;
  ExcelLink link(nullptr);
  std::vector<ExcelLink::SheetEntry> list;
  EXPECT_FALSE(link.UseWorkbook(CsvWorkbook::FromText(csv, "in.csv"), list));
  const ExcelLink::Report r = link.Process(list.at(0).item_data);
  if (report) *report = r;
  return static_cast<CsvWorkbook*>(link.App())->ToCsv();
}

// The batch over the same text.
std::string ProcessInBatch(const std::string& csv, const BatchOptions& options,
                           BatchReport* report = nullptr) {
  std::string in_copy = csv;
  std::FILE* in = fmemopen(in_copy.data(), in_copy.size(), "rb");
  char* out_buf = nullptr;
  size_t out_size = 0;
  std::FILE* out = open_memstream(&out_buf, &out_size);
  BatchReport r = PriceCsvStream(in, "in.csv", out, options);
  std::fclose(in);
  std::fclose(out);
  std::string result(out_buf, out_size);
  std::free(out_buf);
  if (report) *report = r;
  return result;
}

const char* const kSample =
    "Underlying,Strike,Maturity,Vol,Yield,Risk Free Rate,Type,Style,Market Price,Notes\r\n"
    "50,50,0.25,0.25,0,0.1,1,European,3.5,\"first, quoted\"\r\n"
    "50,50,0.25,0.25,0,0.1,2,American,2.1\r\n"
    "50,n/a,0.25,0.25,0,0.1,2,European,2,skipped\r\n"
    "50,50,0,0.25,0,0.1,2,European,2,invalid maturity\r\n"
    "100,95,0.5,0.2,0.01,0.05,1,europ,9.5\r\n"
    "100,105,1,0.3,0,0.05,2,AMERICAN,11\r\n"
    "40,45,0.75,0.35,0.02,0.03,1,European,1.2\r\n"
    ",,,,,,,,,end here\r\n"
    "60,50,0.25,0.25,0,0.1,1,European,11,below\r\n";

TEST(CsvBatch, WritesWhatTheWindowWrites) {
  ExcelLink::Report window_report;
  const std::string window = ProcessInWindow(kSample, &window_report);
  EXPECT_EQ(window_report.rows_priced, 6);
  EXPECT_NE(window.find("Implied Theta"), std::string::npos);
  EXPECT_NE(window.find("60,50,0.25,0.25,0,0.1,1,European,11,below\r\n"), std::string::npos);

  // One thread, several threads, blocks of every size: the same bytes.
  for (unsigned threads : {1u, 2u, 3u}) {
    for (size_t block : {1u, 7u, 64u, 100u, 4096u}) {
      BatchOptions options;
      options.threads = threads;
      options.chunk_bytes = block;
      BatchReport report;
      EXPECT_EQ(ProcessInBatch(kSample, options, &report), window)
          << threads << " threads, blocks of " << block;
      EXPECT_EQ(report.outcome, BatchReport::Outcome::kDone);
      EXPECT_EQ(report.rows_priced, 6);
      EXPECT_EQ(report.last_row, 9);
      ASSERT_EQ(report.rows_skipped, 1u);
      EXPECT_EQ(DescribeProblem(report.skipped[0]),
                "Row 4, column 2 (Strike): \"n/a\" is not a number");
      ASSERT_EQ(report.notes.size(), 1u) << "one message for the row, not one per result";
      EXPECT_EQ(report.notes[0], std::make_pair(5, std::string("Invalid maturity (0.0000)")));
    }
  }
}

TEST(CsvBatch, RunTimeErrorAndMissingColumns) {
  // The lattice fails on a zero strike: rows before it keep their results,
  // that row and the rest are copied untouched, in the window and the batch.
  const std::string failing =
      "Underlying,Strike,Maturity,Vol,Yield,Risk,Type,Style\n"
      "50,50,0.25,0.25,0,0.1,1,European\n"
      "50,50,0.25,0.25,0,0.1,2,European\n"
      "50,0,0.25,0.25,0,0.1,2,American\n"
      "50,50,0.25,0.25,0,0.1,1,European\n";
  ExcelLink::Report window_report;
  const std::string window = ProcessInWindow(failing, &window_report);
  EXPECT_EQ(window_report.outcome, ExcelLink::Outcome::kFailed);
  EXPECT_NE(window.find("50,0,0.25,0.25,0,0.1,2,American\n50,50,0.25,0.25,0,0.1,1,European\n"),
            std::string::npos);
  BatchOptions options;
  options.threads = 2;
  options.chunk_bytes = 40;
  BatchReport report;
  EXPECT_EQ(ProcessInBatch(failing, options, &report), window);
  EXPECT_EQ(report.outcome, BatchReport::Outcome::kFailed);
  EXPECT_EQ(report.last_row, 4);
  EXPECT_EQ(report.rows_priced, 2);
  ASSERT_TRUE(report.error.has_value());

  // A missing column writes nothing at all.
  const std::string no_style =
      "Underlying,Strike,Maturity,Vol,Yield,Risk,Type\n50,50,1,0.2,0,0.1,1\n";
  EXPECT_EQ(ProcessInBatch(no_style, {}, &report), "");
  EXPECT_EQ(report.outcome, BatchReport::Outcome::kMissingColumn);
  EXPECT_EQ(report.missing_column, link_text::kMissingStyle);
  EXPECT_EQ(ProcessInBatch("", {}, &report), "");
  EXPECT_EQ(report.missing_column, link_text::kMissingUnderlying);
}

}  // namespace
}  // namespace stratlyn
