#pragma once
// A grid of text cells with fixed rows and columns, a current cell and a
// selection: the model behind every table of the program. The window shows it
// through a Qt model adapter; the core and the tests use it directly.

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace stratlyn {

class Grid {
 public:
  Grid(int rows = 2, int cols = 2);

  int Rows() const { return rows_; }
  int Cols() const { return cols_; }
  // Resizing keeps the texts that still fit; new cells are empty. The current
  // cell and the selection are clamped into the new size.
  void SetRows(int rows);
  void SetCols(int cols);

  int FixedRows() const { return fixed_rows_; }
  int FixedCols() const { return fixed_cols_; }
  void SetFixedRows(int n);
  void SetFixedCols(int n);

  // The current cell; setting it also collapses the selection onto it.
  int Row() const { return row_; }
  int Col() const { return col_; }
  void SetRow(int row);
  void SetCol(int col);
  // The other corner of the selection (the current cell is the first).
  int RowSel() const { return row_sel_; }
  int ColSel() const { return col_sel_; }
  void SetRowSel(int row);
  void SetColSel(int col);

  // Text of the current cell.
  const std::string& Text() const { return TextMatrix(row_, col_); }
  void SetText(const std::string& text) { SetTextMatrix(row_, col_, text); }

  // Any cell; zelError 381 when the row or column is outside the grid.
  const std::string& TextMatrix(int row, int col) const;
  void SetTextMatrix(int row, int col, const std::string& text);

  // Text colour of a cell as 0xRRGGBB; kDefaultColor leaves it to the view.
  // Clear() resets every cell to kDefaultColor.
  static constexpr uint32_t kDefaultColor = 0xFFFFFFFFu;
  uint32_t CellForeColor() const { return CellForeColorAt(row_, col_); }
  void SetCellForeColor(uint32_t rgb);  // the current cell
  uint32_t CellForeColorAt(int row, int col) const;

  // The selected range as text: cells separated by tabs, rows by carriage
  // returns. Setting it fills the selection from its top-left cell; values
  // beyond the selection are dropped.
  std::string Clip() const;
  void SetClip(const std::string& text);

  // Empties every cell; size, fixed rows and columns stay.
  void Clear();
  // Appends a row (its cells from the tab-separated text) or inserts it at `index`.
  void AddItem(const std::string& tab_text, int index = -1);
  // Removes one row; zelError 381 outside the grid.
  void RemoveItem(int row);

  // Column width in twips (0 = the view's default).
  int ColWidth(int col) const;
  void SetColWidth(int col, int twips);

  // While false, changes are not announced (a batch of updates).
  void SetRedraw(bool on);
  bool Redraw() const { return redraw_; }

  // Called after every change while Redraw() is true (the Qt adapter listens).
  void SetChangeListener(std::function<void()> listener) { listener_ = std::move(listener); }

 private:
  void CheckCell(int row, int col) const;
  void Changed();
  void Resize(int rows, int cols);
  int Clamp(int v, int n) const { return v < 0 ? 0 : (v >= n ? n - 1 : v); }

  int rows_;
  int cols_;
  int fixed_rows_ = 1;
  int fixed_cols_ = 1;
  int row_ = 1;
  int col_ = 1;
  int row_sel_ = 1;
  int col_sel_ = 1;
  bool redraw_ = true;
  std::vector<std::string> cells_;  // row-major
  std::vector<uint32_t> fore_;      // row-major, parallel to cells_
  std::vector<int> col_widths_;
  std::function<void()> listener_;
};

}  // namespace stratlyn
