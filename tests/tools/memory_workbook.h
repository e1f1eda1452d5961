#pragma once
// An in-memory spreadsheet application for the link's tests: workbooks of
// worksheets whose cells hold CellValues. Numbers display as their shortest
// text; every wrap switch is recorded; a cell can be made to fail.

#include <functional>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "tools/spreadsheet_app.h"
#include "util/zel_error.h"

namespace stratlyn::testing {

class MemorySheet : public Worksheet {
 public:
  explicit MemorySheet(std::string name) : name_(std::move(name)) {}

  const std::string& Name() const { return name_; }

  // Fills a row from column 1: numbers stay numbers, other texts are texts,
  // "" leaves the cell empty.
  void SetRow(int row, const std::vector<std::string>& texts) {
    for (size_t i = 0; i < texts.size(); ++i) {
      double number = 0;
      const int col = static_cast<int>(i) + 1;
      if (texts[i].empty()) {
        cells_.erase({row, col});
      } else if (ReadNumber(texts[i], number) && texts[i].find('%') == std::string::npos) {
        cells_[{row, col}] = CellValue::Number(number);
      } else {
        cells_[{row, col}] = CellValue::Text(texts[i]);
      }
    }
  }
  double Number(int row, int col) const {
    auto it = cells_.find({row, col});
    if (it == cells_.end() || it->second.kind != CellValue::Kind::kNumber) {
      throw zelError(err::kTypeMismatch,
                     "no number at row " + std::to_string(row) + " col " + std::to_string(col));
    }
    return it->second.number;
  }
  bool Has(int row, int col) const { return cells_.count({row, col}) > 0; }
  bool Wrapped(int row, int col) const { return wrapped_.count({row, col}) > 0; }
  // Reading this cell throws zelError(number) from then on.
  void FailAt(int row, int col, int number) { failing_[{row, col}] = number; }
  void Heal() { failing_.clear(); }
  int writes = 0;
  // Called at every read of a cell before it is read (to stall a call).
  std::function<void(int row, int col)> on_read;

  CellValue Value(int row, int col) override {
    if (on_read) on_read(row, col);
    Check(row, col);
    auto it = cells_.find({row, col});
    return it == cells_.end() ? CellValue::Empty() : it->second;
  }
  void SetValue(int row, int col, const CellValue& value) override {
    ++writes;
    if (value.IsEmpty()) {
      cells_.erase({row, col});
    } else {
      cells_[{row, col}] = value;
    }
  }
  std::string Text(int row, int col) override {
    const CellValue v = Value(row, col);
    if (v.kind == CellValue::Kind::kNumber) return FormatCellNumber(v.number);
    return v.text;
  }
  void SetWrapText(int row, int col, bool wrap) override {
    if (wrap) {
      wrapped_.insert({row, col});
    } else {
      wrapped_.erase({row, col});
    }
  }
  int UsedRows() override {
    int rows = 0;
    for (const auto& [key, value] : cells_) rows = std::max(rows, key.first);
    return rows;
  }
  int UsedColumns() override {
    int cols = 0;
    for (const auto& [key, value] : cells_) cols = std::max(cols, key.second);
    return cols;
  }

 private:
  void Check(int row, int col) const {
    auto it = failing_.find({row, col});
    if (it != failing_.end()) throw zelError(it->second);
  }

  std::string name_;
  std::map<std::pair<int, int>, CellValue> cells_;
  std::set<std::pair<int, int>> wrapped_;
  std::map<std::pair<int, int>, int> failing_;
};

class MemoryApp : public SpreadsheetApp {
 public:
  MemorySheet& AddSheet(const std::string& workbook, const std::string& sheet) {
    for (auto& book : books_) {
      if (book.name == workbook) {
        book.sheets.push_back(std::make_unique<MemorySheet>(sheet));
        return *book.sheets.back();
      }
    }
    books_.push_back({workbook, {}});
    books_.back().sheets.push_back(std::make_unique<MemorySheet>(sheet));
    return *books_.back().sheets.back();
  }

  // Moves a workbook's sheet to another position (both from 1).
  void MoveSheet(int workbook, int from, int to) {
    auto& sheets = BookAt(workbook).sheets;
    auto sheet = std::move(sheets[from - 1]);
    sheets.erase(sheets.begin() + (from - 1));
    sheets.insert(sheets.begin() + (to - 1), std::move(sheet));
  }

  int WorkbookCount() override { return static_cast<int>(books_.size()); }
  std::string WorkbookName(int w) override { return BookAt(w).name; }
  int WorksheetCount(int w) override { return static_cast<int>(BookAt(w).sheets.size()); }
  std::string WorksheetName(int w, int s) override { return SheetAt(w, s).Name(); }
  Worksheet& GetWorksheet(int w, int s) override { return SheetAt(w, s); }

 private:
  struct Book {
    std::string name;
    std::vector<std::unique_ptr<MemorySheet>> sheets;
  };
  Book& BookAt(int w) {
    if (w < 1 || w > static_cast<int>(books_.size())) throw zelError(err::kSubscript);
    return books_[w - 1];
  }
  MemorySheet& SheetAt(int w, int s) {
    auto& sheets = BookAt(w).sheets;
    if (s < 1 || s > static_cast<int>(sheets.size())) throw zelError(err::kSubscript);
    return *sheets[s - 1];
  }
  std::vector<Book> books_;
};

// Hands the link a view of an application the test keeps (each attach gets
// a new view of the same workbooks).
class AppView : public SpreadsheetApp {
 public:
  explicit AppView(SpreadsheetApp& app) : app_(app) {}
  int WorkbookCount() override { return app_.WorkbookCount(); }
  std::string WorkbookName(int w) override { return app_.WorkbookName(w); }
  int WorksheetCount(int w) override { return app_.WorksheetCount(w); }
  std::string WorksheetName(int w, int s) override { return app_.WorksheetName(w, s); }
  Worksheet& GetWorksheet(int w, int s) override { return app_.GetWorksheet(w, s); }

 private:
  SpreadsheetApp& app_;
};

}  // namespace stratlyn::testing
