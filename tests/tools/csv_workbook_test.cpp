// CSV workbooks: reading and writing with libcsv, the one-sheet workbook,
// and the threaded batch that must write what the window writes.

#include "tools/csv_workbook.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <random>
#include <regex>
#include <sstream>

#include "support/fake_services.h"
#include "tools/csv_batch.h"
#include "tools/csv_parse.h"
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
  // Both streams and the output's buffer are released also when the batch
  // throws (the error tests).
  struct Buffer {
    char* data = nullptr;
    size_t size = 0;
    ~Buffer() { std::free(data); }
  } out_buf;
  std::string in_copy = csv;
  const std::unique_ptr<std::FILE, int (*)(std::FILE*)> in(
      fmemopen(in_copy.data(), in_copy.size(), "rb"), &std::fclose);
  std::unique_ptr<std::FILE, int (*)(std::FILE*)> out(open_memstream(&out_buf.data, &out_buf.size),
                                                      &std::fclose);
  BatchReport r = PriceCsvStream(in.get(), "in.csv", out.get(), options);
  out.reset();  // closing hands the written text to out_buf
  std::string result(out_buf.data, out_buf.size);
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
  EXPECT_EQ(window_report.rows_priced, 5);
  EXPECT_EQ(window_report.rows_refused, 2);
  EXPECT_NE(window.find("Implied Theta,Message\r\n"), std::string::npos);
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
      EXPECT_EQ(report.rows_priced, 5);
      EXPECT_EQ(report.rows_refused, 1u);
      EXPECT_EQ(report.last_row, 9);
      ASSERT_EQ(report.rows_skipped, 1u);
      EXPECT_EQ(DescribeProblem(report.skipped[0]),
                "Row 4, column 2 (Strike): \"n/a\" is not a number");
      EXPECT_TRUE(report.notes.empty()) << "the row's own message, no record's message box";
    }
  }
}

// A chunk of a big file is cut into many more parts than there are threads,
// taken by whichever thread is free: rows of skipped cells, messages and the
// row that ends the run are still told by their rows in the sheet, and what
// follows that row is copied as it stands.
TEST(CsvBatch, ManyPartsKeepTheirRows) {
  std::string book = "Underlying,Strike,Maturity,Vol,Yield,Risk,Type,Style\n";
  for (int row = 2; row <= 12000; ++row) {
    if (row == 3001) {
      book += "50,n/a,0.25,0.25,0,0.1,1,European\n";
    } else if (row == 7777) {
      book += "50,50,0,0.25,0,0.1,2,European\n";
    } else if (row == 9500) {
      book += "0,50,0.25,0.25,0,0.1,1,European\n";  // ends the run
    } else {
      book += "50," + std::to_string(40 + row % 20) + ",0.25,0.25,0.01,0.1," +
              std::to_string(1 + row % 2) + ",European\n";
    }
  }
  ASSERT_GT(book.size(), size_t{400} << 10);
  ExcelLink::Report window_report;
  const std::string window = ProcessInWindow(book, &window_report);
  ASSERT_EQ(window_report.last_row, 9500);
  for (const unsigned threads : {2u, 3u}) {
    for (const size_t chunk : {size_t{1} << 20, size_t{200} << 10}) {
      BatchOptions options;
      options.threads = threads;
      options.chunk_bytes = chunk;
      BatchReport report;
      EXPECT_TRUE(ProcessInBatch(book, options, &report) == window)
          << threads << " threads, chunks of " << chunk;
      EXPECT_EQ(report.outcome, BatchReport::Outcome::kDone);
      EXPECT_EQ(report.last_row, 9500);
      EXPECT_EQ(report.rows_priced, 9500 - 2 - 1 - 1);
      EXPECT_EQ(report.rows_refused, 1u);  // the zero maturity of row 7777
      ASSERT_EQ(report.skipped.size(), 1u);
      EXPECT_EQ(report.skipped[0].row, 3001);
      EXPECT_TRUE(report.notes.empty());
    }
  }
}

TEST(CsvBatch, RefusedRowsAndMissingColumns) {
  // The lattice cannot take a zero strike: that row is refused with its
  // message and the rows after it are priced, in the window and the batch.
  const std::string failing =
      "Underlying,Strike,Maturity,Vol,Yield,Risk,Type,Style\n"
      "50,50,0.25,0.25,0,0.1,1,European\n"
      "50,50,0.25,0.25,0,0.1,2,European\n"
      "50,0,0.25,0.25,0,0.1,2,American\n"
      "50,50,0.25,0.25,0,0.1,1,European\n";
  ExcelLink::Report window_report;
  const std::string window = ProcessInWindow(failing, &window_report);
  EXPECT_EQ(window_report.outcome, ExcelLink::Outcome::kDone);
  EXPECT_NE(window.find("50,0,0.25,0.25,0,0.1,2,American,,,,,,Strike Price must be above 0\n"
                        "50,50,0.25,0.25,0,0.1,1,European,3.127"),
            std::string::npos)
      << window;
  BatchOptions options;
  options.threads = 2;
  options.chunk_bytes = 40;
  BatchReport report;
  EXPECT_EQ(ProcessInBatch(failing, options, &report), window);
  EXPECT_EQ(report.outcome, BatchReport::Outcome::kDone);
  EXPECT_EQ(report.last_row, 6);
  EXPECT_EQ(report.rows_priced, 3);
  EXPECT_EQ(report.rows_refused, 1u);
  EXPECT_FALSE(report.error.has_value());

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

namespace stratlyn {
namespace {

// A random workbook that exercises the reader and the number format: quoted
// fields with separators, quotes and line breaks, blank lines, numbers in
// every form the link reads, texts where numbers belong, rows short of the
// headings, the style in any case, and a run that ends at an empty underlying.
std::string RandomBook(std::mt19937& rng, int rows, char sep, const std::string& eol, bool bom) {
  std::uniform_real_distribution<double> u(0, 1);
  const auto pick = [&](std::initializer_list<const char*> items) {
    return std::string(items.begin()[rng() % items.size()]);
  };
  const auto number = [&](double lo, double hi) {
    char buf[64];
    const double v = lo + (hi - lo) * u(rng);
    switch (rng() % 6) {
      case 0:
        std::snprintf(buf, sizeof buf, "%.17g", v);
        break;
      case 1:
        std::snprintf(buf, sizeof buf, "%.2f", v);
        break;
      case 2:
        std::snprintf(buf, sizeof buf, "%.3e", v);
        break;
      case 3:
        std::snprintf(buf, sizeof buf, "%.4f%%", v * 100);
        break;
      case 4:
        std::snprintf(buf, sizeof buf, " +%.5g ", v);
        break;
      default:
        std::snprintf(buf, sizeof buf, "%.9g", v);
        break;
    }
    return std::string(buf);
  };
  const auto quoted = [&](std::string text) {
    std::string out = "\"";
    for (char c : text) {
      if (c == '"') out.push_back('"');
      out.push_back(c);
    }
    return out + "\"";
  };
  const std::string s(1, sep);
  const std::vector<std::string> notes = {
      "", "plain", "a \"quote\"", "two\nlines", "with" + s + "separator", "cr\r\nlf"};
  std::string book = bom ? "\xEF\xBB\xBF" : "";
  book += "Underlying" + s + "Strike" + s + "Maturity" + s + "Vol" + s + "Yield" + s +
          quoted("Risk" + s + " free") + s + "Type" + s + "Style" + s + "Market Price" + s +
          "Notes" + eol;
  for (int r = 0; r < rows; ++r) {
    if (rng() % 97 == 0) {
      book += eol;  // a blank line ends the run: only late in the book
      if (r < rows - 20) book.resize(book.size() - eol.size());
      continue;
    }
    std::vector<std::string> f = {number(20, 200),
                                  number(20, 200),
                                  number(0.01, 3),
                                  number(0.05, 0.9),
                                  number(0, 0.06),
                                  number(0, 0.1),
                                  pick({"1", "2", "1.0", "2"}),
                                  pick({"European", "american", "AMERICAN", "europ", ""}),
                                  number(0.5, 30),
                                  notes[rng() % notes.size()]};
    if (rng() % 50 == 0) f[1 + rng() % 5] = pick({"n/a", "abc", "1,5", "--1"});
    // Decimal commas in a semicolon or tab file, in some rows or some cells.
    if (sep != ',' && rng() % 3 == 0) {
      for (size_t i = 0; i < 6; ++i) {
        if (rng() % 2) std::replace(f[i].begin(), f[i].end(), '.', ',');
      }
    }
    if (rng() % 4 == 0) f[7] = "American";
    if (rng() % 3 == 0) f[0] = "50", f[1] = "50";  // at the money
    if (f[7] == "American" || f[7] == "american" || f[7] == "AMERICAN") {
      f[8] = "";  // no lattice search for the implied volatility: keeps the test quick
      if (rng() % 4) f[7] = "European";
    }
    const size_t keep = rng() % 20 == 0 ? 8 + rng() % 2 : f.size();
    for (size_t i = 0; i < keep; ++i) {
      if (i) book += s;
      const bool quote = f[i].find_first_of("\"\r\n" + s) != std::string::npos || rng() % 30 == 0;
      book += quote ? quoted(f[i]) : f[i];
    }
    book += eol;
  }
  return book;
}

// A European call's value and Greeks in double precision (closed form, no
// dividend): value, delta, gamma, vega per 1.0 of volatility, theta per year.
std::array<double, 5> ClosedFormCall(double s, double k, double t, double r, double v) {
  const auto cdf = [](double x) { return 0.5 * std::erfc(-x / std::sqrt(2.0)); };
  const double pdf_factor = 1.0 / std::sqrt(2.0 * M_PI);
  const double d1 = (std::log(s / k) + (r + v * v / 2) * t) / (v * std::sqrt(t));
  const double d2 = d1 - v * std::sqrt(t);
  const double n1 = pdf_factor * std::exp(-d1 * d1 / 2);
  const double disc = std::exp(-r * t);
  return {s * cdf(d1) - k * disc * cdf(d2), cdf(d1), n1 / (s * v * std::sqrt(t)),
          s * n1 * std::sqrt(t), -s * n1 * v / (2 * std::sqrt(t)) - r * k * disc * cdf(d2)};
}

TEST(CsvBatch, ByteForByteTheWindowsOutputOverRandomRows) {
  // One row checked against an independent reference: each result is the
  // shortest text of a single-precision number, and that number is the
  // closed form's (in double) to the records' single precision; the implied
  // Greeks are taken at the implied volatility written.
  BatchReport report;
  const std::string sample = ProcessInBatch(kSample, {}, &report);
  const std::string inputs = "50,50,0.25,0.25,0,0.1,1,European,3.5,\"first, quoted\",";
  const size_t at = sample.find(inputs);
  ASSERT_NE(at, std::string::npos) << sample;
  const size_t end = sample.find("\r\n", at);
  ASSERT_NE(end, std::string::npos);
  std::vector<std::string> cells;
  std::stringstream rest(sample.substr(at + inputs.size(), end - at - inputs.size()));
  for (std::string cell; std::getline(rest, cell, ',');) cells.push_back(cell);
  ASSERT_EQ(cells.size(), 10u) << sample.substr(at, end - at);
  std::vector<float> figures;
  for (const std::string& cell : cells) {
    float f = 0;
    const auto [ptr, ec] = std::from_chars(cell.data(), cell.data() + cell.size(), f);
    ASSERT_TRUE(ec == std::errc() && ptr == cell.data() + cell.size()) << cell;
    char shortest[32];
    const auto [last, ec2] = std::to_chars(shortest, shortest + sizeof shortest, f);
    ASSERT_TRUE(ec2 == std::errc());
    EXPECT_EQ(cell, std::string(shortest, last));
    figures.push_back(f);
  }
  const auto near = [](double got, double want) {
    return std::fabs(got - want) <= 5e-5 * std::fabs(want);
  };
  const auto at_input = ClosedFormCall(50, 50, 0.25, 0.1, 0.25);
  for (size_t i = 0; i < 5; ++i) {
    EXPECT_PRED2(near, figures[i], at_input[i]) << "result " << i;
  }
  // The implied volatility: the closed form at it gives the market price 3.5.
  double low = 0.01, high = 2.0;
  for (int i = 0; i < 200; ++i) {
    const double mid = (low + high) / 2;
    (ClosedFormCall(50, 50, 0.25, 0.1, mid)[0] < 3.5 ? low : high) = mid;
  }
  EXPECT_PRED2(near, figures[5], low);
  const auto at_implied = ClosedFormCall(50, 50, 0.25, 0.1, figures[5]);
  for (size_t i = 1; i < 5; ++i) {
    EXPECT_PRED2(near, figures[5 + i], at_implied[i]) << "implied result " << i;
  }

  // The window's path (CsvReader, the workbook's cells, the shortest number
  // texts) is the reference for every way of cutting the input.
  std::mt19937 rng(20261208);
  const std::pair<char, std::string> forms[] = {
      {',', "\r\n"}, {',', "\n"}, {';', "\n"}, {'\t', "\r\n"}, {',', "\r"}};
  int case_number = 0;
  for (const auto& [sep, eol] : forms) {
    const std::string book = RandomBook(rng, 800, sep, eol, case_number % 2 == 0);
    ExcelLink::Report window_report;
    const std::string window = ProcessInWindow(book, &window_report);
    ASSERT_NE(window_report.outcome, ExcelLink::Outcome::kMissingColumn) << book.substr(0, 200);
    EXPECT_GT(window_report.rows_priced, 10);
    for (const unsigned threads : {1u, 2u, 3u}) {
      for (const size_t chunk : {size_t{1} + rng() % 50, size_t{4096}, size_t{4} << 20}) {
        BatchOptions options;
        options.threads = threads;
        options.chunk_bytes = chunk;
        const std::string batch = ProcessInBatch(book, options, &report);
        EXPECT_EQ(report.separator, sep);
        EXPECT_EQ(report.rows_priced, window_report.rows_priced);
        ASSERT_EQ(batch.size(), window.size())
            << "case " << case_number << ", " << threads << " threads, chunks of " << chunk;
        EXPECT_TRUE(batch == window)
            << "case " << case_number << ", " << threads << " threads, chunks of " << chunk;
      }
    }
    ++case_number;
  }
}

TEST(CsvBatch, SemicolonAndTabFilesAreReadWithTheirSeparator) {
  const std::string semicolons =
      "Underlying;Strike;Maturity;Vol;Yield;Risk;Type;Style;Notes\n"
      "50;50;0.25;0.25;0;0.1;1;European;\"a, b; c\"\n";
  BatchReport report;
  const std::string out = ProcessInBatch(semicolons, {}, &report);
  EXPECT_EQ(report.separator, ';');
  EXPECT_EQ(report.rows_priced, 1);
  EXPECT_EQ(out.rfind("Underlying;Strike;Maturity;Vol;Yield;Risk;Type;Style;Notes;"
                      "Calculated Price;Delta;Gamma;Vega;Theta;Message\n",
                      0),
            0u)
      << out;
  EXPECT_NE(out.find("European;\"a, b; c\";3.127"), std::string::npos) << out;
  EXPECT_EQ(out, ProcessInWindow(semicolons));
  EXPECT_STREQ(SeparatorName(report.separator), "semicolon");

  std::string tabs = semicolons;
  std::replace(tabs.begin(), tabs.end(), ';', '\t');
  EXPECT_EQ(ProcessInBatch(tabs, {}, &report), ProcessInWindow(tabs));
  EXPECT_EQ(report.separator, '\t');
  EXPECT_EQ(report.rows_priced, 1);
  // Commas inside quotes do not count; a tie keeps the comma.
  EXPECT_EQ(DetectSeparator("\"a,b,c\";x;y\nmore,,,,"), ';');
  EXPECT_EQ(DetectSeparator("a;b,c\n"), ',');
  EXPECT_EQ(DetectSeparator("Underlying"), ',');
}

// A spreadsheet under a comma locale writes semicolons and decimal commas
// ("100,5;95;0,25"): each such row was refused. Now read, and its figures
// written back with decimal commas; a text that reads two ways is refused,
// and a comma-separated file reads as before.
TEST(CsvBatch, DecimalCommasOfSemicolonAndTabFiles) {
  const std::string head = "Underlying;Strike;Maturity;Vol;Yield;Risk;Type;Style\n";
  const std::string dots = head + "50;50;0.25;0.25;0;0.1;1;European\n";
  const std::string commas = head + "50;50;0,25;0,25;0;0,1;1;European\n";
  BatchReport report;
  const std::string with_dots = ProcessInBatch(dots, {}, &report);
  ASSERT_EQ(report.rows_priced, 1);
  const std::string with_commas = ProcessInBatch(commas, {}, &report);
  ASSERT_EQ(report.rows_priced, 1) << with_commas;
  EXPECT_EQ(report.rows_skipped, 0u);
  EXPECT_NE(with_dots.find("European;3.1272712;"), std::string::npos) << with_dots;
  EXPECT_NE(with_commas.find("European;3,1272712;"), std::string::npos) << with_commas;
  // The same figures, only the decimal separator differs.
  std::string back = with_commas.substr(head.size() - 1);
  std::replace(back.begin(), back.end(), ',', '.');
  EXPECT_EQ(back, with_dots.substr(head.size() - 1));
  EXPECT_EQ(with_commas, ProcessInWindow(commas));
  std::string tabs = commas;
  std::replace(tabs.begin(), tabs.end(), ';', '\t');
  EXPECT_EQ(ProcessInBatch(tabs, {}, &report), ProcessInWindow(tabs));
  EXPECT_EQ(report.rows_priced, 1);

  // How fields read, by separator.
  struct Case {
    const char* text;
    char sep;
    CsvNumber kind;
    double value;
  };
  const Case cases[] = {
      {"100,5", ';', CsvNumber::kDecimalComma, 100.5},
      {"0,25", '\t', CsvNumber::kDecimalComma, 0.25},
      {"-0,5", ';', CsvNumber::kDecimalComma, -0.5},
      {" 1.234,5 ", ';', CsvNumber::kDecimalComma, 1234.5},
      {"1.234.567,25", ';', CsvNumber::kDecimalComma, 1234567.25},
      {"0,250", ';', CsvNumber::kDecimalComma, 0.25},  // a group never starts with 0
      {"1,0001", ';', CsvNumber::kDecimalComma, 1.0001},
      {"12,5%", ';', CsvNumber::kDecimalComma, 0.125},
      {"2,5e-3", ';', CsvNumber::kDecimalComma, 0.0025},
      {"95", ';', CsvNumber::kNumber, 95},
      {"0.25", ';', CsvNumber::kNumber, 0.25},
      {"1.5", ';', CsvNumber::kNumber, 1.5},
      {"1234.125", ';', CsvNumber::kNumber, 1234.125},
      {"1,000", ';', CsvNumber::kAmbiguous, 0},
      {"1.500", ';', CsvNumber::kAmbiguous, 0},  // 1500 as a comma locale writes it
      {"-12,500", '\t', CsvNumber::kAmbiguous, 0},
      {"100.125", ';', CsvNumber::kAmbiguous, 0},
      {"1,2,3", ';', CsvNumber::kNotANumber, 0},
      {"3.234.000", ';', CsvNumber::kDecimalComma, 3234000},
      {"-3.234.000 %", ';', CsvNumber::kDecimalComma, -32340},
      {"3.234.00", ';', CsvNumber::kNotANumber, 0},
      {"1.2.3", ';', CsvNumber::kNotANumber, 0},
      {"1,234.5", ';', CsvNumber::kNotANumber, 0},
      {"12.34,5", ';', CsvNumber::kNotANumber, 0},
      {"1.2345,5", ';', CsvNumber::kNotANumber, 0},
      {",5", ';', CsvNumber::kDecimalComma, 0.5},  // as ".5" reads
      {",", ';', CsvNumber::kNotANumber, 0},
      {"1,5 x", ';', CsvNumber::kNotANumber, 0},
      // A comma-separated file as before: a quoted "0,25" is no number.
      {"0,25", ',', CsvNumber::kNotANumber, 0},
      {"1.500", ',', CsvNumber::kNumber, 1.5},
      {"100.125", ',', CsvNumber::kNumber, 100.125},
  };
  for (const Case& c : cases) {
    double v = -1;
    EXPECT_EQ(ReadCsvNumber(c.text, c.sep, v), c.kind) << c.text << " sep " << c.sep;
    if (c.kind == CsvNumber::kNumber || c.kind == CsvNumber::kDecimalComma) {
      EXPECT_DOUBLE_EQ(v, c.value) << c.text;
    }
  }

  // A field that reads two ways refuses its row, saying why; the next row
  // is priced.
  const std::string ambiguous =
      head + "1.500;50;0,25;0,25;0;0,1;1;European\n" + "50;50;0,25;0,25;0;0,1;1;European\n";
  const std::string out = ProcessInBatch(ambiguous, {}, &report);
  EXPECT_EQ(report.rows_priced, 1);
  ASSERT_EQ(report.rows_skipped, 1u);
  EXPECT_EQ(DescribeProblem(report.skipped[0]),
            std::string("Row 2, column 1 (Underlying): \"1.500\"") + link_text::kAmbiguousNumber);
  EXPECT_NE(out.find(std::string("Underlying: \"\"1.500\"\"") + link_text::kAmbiguousNumber),
            std::string::npos)
      << out;
  EXPECT_EQ(out, ProcessInWindow(ambiguous));
}

// Numbers as a comma locale writes them (decimal comma, dot groups or none,
// any number of decimals): each reads back as the number written, or is
// refused as ambiguous exactly when one dot or comma stands before three
// last digits of a one-to-three-digit whole part.
TEST(CsvBatch, DecimalCommaTextsReadAsWrittenOrAreAmbiguous) {
  std::mt19937 rng(20261209);
  const std::regex two_ways(R"(^-?[1-9][0-9]{0,2}[.,][0-9]{3}$)");
  int ambiguous = 0, read = 0;
  for (int i = 0; i < 4000; ++i) {
    const int decimals = static_cast<int>(rng() % 7);
    const double magnitude = std::pow(10.0, static_cast<double>(rng() % 9) - 2);
    const double v = (rng() % 2 ? -1 : 1) * magnitude * (rng() % 100000) / 1000.0;
    char c_form[64];
    std::snprintf(c_form, sizeof c_form, "%.*f", decimals, v);
    const double written = std::strtod(c_form, nullptr);
    std::string text = c_form;
    const size_t dot = text.find('.');
    std::string whole = text.substr(0, dot);
    const std::string fraction = dot == std::string::npos ? "" : text.substr(dot + 1);
    if (rng() % 2) {  // dot groups
      const size_t sign = whole[0] == '-' ? 1 : 0;
      for (int at = static_cast<int>(whole.size()) - 3; at > static_cast<int>(sign); at -= 3) {
        whole.insert(static_cast<size_t>(at), ".");
      }
    }
    text = whole + (dot == std::string::npos ? "" : "," + fraction);
    const char sep = rng() % 2 ? ';' : '\t';
    double got = 0;
    const CsvNumber kind = ReadCsvNumber(text, sep, got);
    if (std::regex_match(text, two_ways)) {
      EXPECT_EQ(kind, CsvNumber::kAmbiguous) << text;
      ++ambiguous;
    } else {
      ASSERT_TRUE(kind == CsvNumber::kNumber || kind == CsvNumber::kDecimalComma) << text;
      EXPECT_EQ(got, written) << text << " from " << c_form;
      ++read;
    }
  }
  EXPECT_GT(ambiguous, 100);
  EXPECT_GT(read, 3000);
}

TEST(CsvBatch, AUsersColumnWithoutHeadingIsNeverWrittenOver) {
  // Column 9 has no heading but data in row 3: the batch stops there with a
  // message naming the row and column; the window puts its results after it.
  const std::string book =
      "Underlying,Strike,Maturity,Vol,Yield,Risk,Type,Style\n"
      "50,50,0.25,0.25,0,0.1,1,European\n"
      "50,50,0.25,0.25,0,0.1,2,European,keep me\n";
  BatchReport report;
  ProcessInBatch(book, {}, &report);
  EXPECT_EQ(report.outcome, BatchReport::Outcome::kResultsConflict);
  EXPECT_EQ(report.last_row, 3);
  EXPECT_EQ(report.missing_column, ResultsConflictMessage(3, 9));
  EXPECT_NE(report.missing_column.find("column 9"), std::string::npos);

  const std::string window = ProcessInWindow(book);
  EXPECT_NE(window.find("European,keep me,1.8927667"), std::string::npos) << window;
  EXPECT_NE(window.find("Style,,Calculated Price"), std::string::npos) << window;

  // Results of an earlier run are written over, also beyond column 25.
  std::string wide = "Underlying,Strike,Maturity,Vol,Yield,Risk,Type,Style";
  for (int i = 9; i <= 30; ++i) wide += ",Note " + std::to_string(i);
  wide += ",Calculated Price,Delta,Gamma,Vega,Theta\n50,50,0.25,0.25,0,0.1,1,European";
  for (int i = 9; i <= 30; ++i) wide += ",n";
  wide += ",1,2,3,4,5\n";
  const std::string again = ProcessInBatch(wide, {}, &report);
  EXPECT_EQ(report.outcome, BatchReport::Outcome::kDone);
  EXPECT_EQ(report.columns.results, 31);
  EXPECT_EQ(again.find("Calculated Price", again.find("Calculated Price") + 1), std::string::npos)
      << "a second block of results: " << again;
  EXPECT_NE(again.find(",n,3.1272712,"), std::string::npos) << again;
}

}  // namespace
}  // namespace stratlyn

namespace stratlyn {
namespace {

// The message of a malformed text, or "" when it reads.
std::string WorkbookError(const std::string& text) {
  try {
    CsvWorkbook::FromText(text, "in.csv");
  } catch (const zelError& e) {
    return e.Description();
  }
  return {};
}

std::string BatchError(const std::string& text, size_t chunk) {
  BatchOptions options;
  options.threads = 2;
  options.chunk_bytes = chunk;
  try {
    ProcessInBatch(text, options);
  } catch (const zelError& e) {
    return e.Description();
  }
  return {};
}

TEST(CsvReading, TheWorkbookAndTheBatchReadWithTheSameRules) {
  // Random texts of the bytes that matter (quotes, separators, line ends)
  // under valid headings: both readers accept the same texts, refuse the
  // same ones with the same message naming the same line.
  std::mt19937 rng(4521);
  const std::string head = "Underlying,Strike,Maturity,Vol,Yield,Risk,Type,Style\n";
  const char* fields[] = {"50", "0.25", "1",       "European",   "a",        " ",
                          "",   "\"\"", "\"x,y\"", "\"q\"\"q\"", "\"l\nf\"", "\"cr\r\""};
  const char* ends[] = {",", ",", ",", ",", "\n", "\r\n", "\r"};
  int refused = 0, accepted = 0;
  for (int round = 0; round < 400; ++round) {
    std::string text = head;
    const int count = 5 + static_cast<int>(rng() % 40);
    for (int i = 0; i < count; ++i) {
      text += fields[rng() % std::size(fields)];
      // Now and then a stray quote, which makes the text malformed.
      if (rng() % 150 == 0) text += "\"";
      text += ends[rng() % std::size(ends)];
    }
    if (rng() % 2) text += "\n";
    const std::string window = WorkbookError(text);
    for (const size_t chunk : {size_t{3}, size_t{64}, size_t{1} << 20}) {
      EXPECT_EQ(BatchError(text, chunk), window) << "chunks of " << chunk << ":\n" << text;
    }
    if (window.empty()) {
      ++accepted;
    } else {
      ++refused;
      EXPECT_NE(window.find("is not a valid CSV file"), std::string::npos) << window;
    }
  }
  EXPECT_GT(refused, 40);
  EXPECT_GT(accepted, 40);
  // The rules themselves, once each.
  EXPECT_EQ(WorkbookError(head + "50,\"open\n"), "The file in.csv is not a valid CSV file: " +
                                                     std::string(kCsvMalformed) + " near line 2.");
  EXPECT_NE(WorkbookError(head + "50,a\"b\n"), "");
  EXPECT_NE(WorkbookError(head + "50,\"a\"b\n"), "");
  EXPECT_EQ(WorkbookError(head + "50,\"a\"\"b\",\"c\nd\"\r\n\n"), "");
}

}  // namespace
}  // namespace stratlyn
