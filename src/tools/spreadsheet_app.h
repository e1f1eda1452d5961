#pragma once
// What the spreadsheet link needs of a spreadsheet application: its open
// workbooks and their worksheets by number and name, and a worksheet's cells
// by row and column (value read and written, displayed text, text wrapping).
// Implemented over LibreOffice Calc (tools/uno), by CSV workbook files
// (tools/csv_workbook.h) and by an in-memory workbook in the tests.

#include <string>
#include <string_view>

namespace stratlyn {

// The value of one cell: empty, a number, or a text.
struct CellValue {
  enum class Kind { kEmpty, kNumber, kText };
  Kind kind = Kind::kEmpty;
  double number = 0.0;
  std::string text;

  static CellValue Empty() { return {}; }
  static CellValue Number(double value) { return {Kind::kNumber, value, {}}; }
  static CellValue Text(std::string value) { return {Kind::kText, 0.0, std::move(value)}; }

  bool IsEmpty() const { return kind == Kind::kEmpty; }
  friend bool operator==(const CellValue&, const CellValue&) = default;
};

// One worksheet. Rows and columns count from 1. Every operation may throw
// zelError when the application fails (a lost connection, a closed document).
class Worksheet {
 public:
  virtual ~Worksheet() = default;

  virtual CellValue Value(int row, int col) = 0;
  virtual void SetValue(int row, int col, const CellValue& value) = 0;
  // The cell's text as the application displays it ("" for an empty cell).
  virtual std::string Text(int row, int col) = 0;
  virtual void SetWrapText(int row, int col, bool wrap) = 0;
  // The last row and column of the used area (0 for an empty sheet).
  virtual int UsedRows() = 0;
  virtual int UsedColumns() = 0;
};

// A running spreadsheet application (or a workbook file standing in for one).
// Workbooks and worksheets count from 1 in the application's order.
class SpreadsheetApp {
 public:
  virtual ~SpreadsheetApp() = default;

  virtual int WorkbookCount() = 0;
  virtual std::string WorkbookName(int workbook) = 0;
  virtual int WorksheetCount(int workbook) = 0;
  virtual std::string WorksheetName(int workbook, int sheet) = 0;
  // The worksheet, owned by the application object and valid as long as it
  // lives. zelError 9 (subscript out of range) for a number that names none.
  virtual Worksheet& GetWorksheet(int workbook, int sheet) = 0;
};

// The number a cell holds, as the link reads it: an empty cell is 0, a
// number is itself, a text is a number when all of it (blanks around it
// aside) reads as one ("0.25", "-3", "1e-3", "+2", "10%" = 0.1). False for
// any other text, for "inf" or "nan", and (CellNumber) for a text that
// reads two ways (IsAmbiguousGrouping).
bool ReadNumber(std::string_view text, double& number);
bool CellNumber(const CellValue& cell, double& number);
// True for a text that reads two ways, the dot or comma a decimal or a group
// separator: "1,000", "1.500" (blanks, a sign and a percent sign aside).
bool IsAmbiguousGrouping(std::string_view text);

// The shortest text that reads back as the same number; a value that is
// exactly a 32-bit float is written with the float's shortest digits
// (3.1273 rather than 3.127300024032593).
std::string FormatCellNumber(double value);
// The same, appended to out (no allocation beyond out's growth).
void AppendCellNumber(std::string& out, double value);

}  // namespace stratlyn
