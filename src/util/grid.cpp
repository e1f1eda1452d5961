#include "util/grid.h"

#include <algorithm>

#include "util/zel_error.h"

namespace stratlyn {

Grid::Grid(int rows, int cols) : rows_(0), cols_(0) {
  Resize(std::max(rows, 0), std::max(cols, 0));
}

void Grid::Resize(int rows, int cols) {
  std::vector<std::string> cells(static_cast<size_t>(rows) * cols);
  std::vector<uint32_t> fore(static_cast<size_t>(rows) * cols, kDefaultColor);
  for (int r = 0; r < std::min(rows, rows_); ++r) {
    for (int c = 0; c < std::min(cols, cols_); ++c) {
      cells[static_cast<size_t>(r) * cols + c] =
          std::move(cells_[static_cast<size_t>(r) * cols_ + c]);
      fore[static_cast<size_t>(r) * cols + c] = fore_[static_cast<size_t>(r) * cols_ + c];
    }
  }
  cells_ = std::move(cells);
  fore_ = std::move(fore);
  col_widths_.resize(cols, 0);
  rows_ = rows;
  cols_ = cols;
  fixed_rows_ = std::min(fixed_rows_, rows_);
  fixed_cols_ = std::min(fixed_cols_, cols_);
  row_ = Clamp(row_, rows_);
  col_ = Clamp(col_, cols_);
  row_sel_ = Clamp(row_sel_, rows_);
  col_sel_ = Clamp(col_sel_, cols_);
}

void Grid::SetRows(int rows) {
  if (rows < 0) {
    throw zelError(err::kInvalidPropertyValue);
  }
  Resize(rows, cols_);
  Changed();
}

void Grid::SetCols(int cols) {
  if (cols < 0) {
    throw zelError(err::kInvalidPropertyValue);
  }
  Resize(rows_, cols);
  Changed();
}

void Grid::SetFixedRows(int n) {
  if (n < 0 || n > rows_) {
    throw zelError(err::kInvalidPropertyValue);
  }
  fixed_rows_ = n;
  Changed();
}

void Grid::SetFixedCols(int n) {
  if (n < 0 || n > cols_) {
    throw zelError(err::kInvalidPropertyValue);
  }
  fixed_cols_ = n;
  Changed();
}

void Grid::SetRow(int row) {
  CheckCell(row, 0 < cols_ ? 0 : -1);
  row_ = row_sel_ = row;
  Changed();
}

void Grid::SetCol(int col) {
  CheckCell(0 < rows_ ? 0 : -1, col);
  col_ = col_sel_ = col;
  Changed();
}

void Grid::SetRowSel(int row) {
  CheckCell(row, 0 < cols_ ? 0 : -1);
  row_sel_ = row;
  Changed();
}

void Grid::SetColSel(int col) {
  CheckCell(0 < rows_ ? 0 : -1, col);
  col_sel_ = col;
  Changed();
}

void Grid::CheckCell(int row, int col) const {
  if (row < 0 || row >= rows_ || col < 0 || col >= cols_) {
    throw zelError(err::kInvalidPropertyIndex, "Subscript out of range");
  }
}

const std::string& Grid::TextMatrix(int row, int col) const {
  CheckCell(row, col);
  return cells_[static_cast<size_t>(row) * cols_ + col];
}

void Grid::SetTextMatrix(int row, int col, const std::string& text) {
  CheckCell(row, col);
  cells_[static_cast<size_t>(row) * cols_ + col] = text;
  Changed();
}

uint32_t Grid::CellForeColorAt(int row, int col) const {
  CheckCell(row, col);
  return fore_[static_cast<size_t>(row) * cols_ + col];
}

void Grid::SetCellForeColor(uint32_t rgb) {
  CheckCell(row_, col_);
  fore_[static_cast<size_t>(row_) * cols_ + col_] = rgb;
  Changed();
}

std::string Grid::Clip() const {
  if (rows_ == 0 || cols_ == 0) {
    return {};
  }
  const int r0 = std::min(row_, row_sel_), r1 = std::max(row_, row_sel_);
  const int c0 = std::min(col_, col_sel_), c1 = std::max(col_, col_sel_);
  std::string out;
  for (int r = r0; r <= r1; ++r) {
    if (r > r0) {
      out.push_back('\r');
    }
    for (int c = c0; c <= c1; ++c) {
      if (c > c0) {
        out.push_back('\t');
      }
      out += cells_[static_cast<size_t>(r) * cols_ + c];
    }
  }
  return out;
}

void Grid::SetClip(const std::string& text) {
  if (rows_ == 0 || cols_ == 0) {
    return;
  }
  const int r0 = std::min(row_, row_sel_), c0 = std::min(col_, col_sel_);
  int r1 = std::max(row_, row_sel_), c1 = std::max(col_, col_sel_);
  // A single selected cell takes the text from there to the grid's edges.
  if (r0 == r1 && c0 == c1) {
    r1 = rows_ - 1;
    c1 = cols_ - 1;
  }
  int r = r0, c = c0;
  std::string cell;
  auto put = [&] {
    if (r <= r1 && c <= c1) {
      cells_[static_cast<size_t>(r) * cols_ + c] = cell;
    }
    cell.clear();
  };
  for (char ch : text) {
    if (ch == '\t') {
      put();
      ++c;
    } else if (ch == '\r') {
      put();
      ++r;
      c = c0;
    } else {
      cell.push_back(ch);
    }
  }
  put();
  Changed();
}

void Grid::Clear() {
  for (auto& cell : cells_) {
    cell.clear();
  }
  std::fill(fore_.begin(), fore_.end(), kDefaultColor);
  Changed();
}

void Grid::AddItem(const std::string& tab_text, int index) {
  if (index < 0) {
    index = rows_;
  }
  if (index > rows_) {
    throw zelError(err::kInvalidPropertyIndex, "Subscript out of range");
  }
  Resize(rows_ + 1, cols_);
  // Shift the rows below `index` down by one.
  for (int r = rows_ - 1; r > index; --r) {
    for (int c = 0; c < cols_; ++c) {
      cells_[static_cast<size_t>(r) * cols_ + c] =
          std::move(cells_[static_cast<size_t>(r - 1) * cols_ + c]);
      fore_[static_cast<size_t>(r) * cols_ + c] = fore_[static_cast<size_t>(r - 1) * cols_ + c];
    }
  }
  for (int k = 0; k < cols_; ++k) {
    cells_[static_cast<size_t>(index) * cols_ + k].clear();
    fore_[static_cast<size_t>(index) * cols_ + k] = kDefaultColor;
  }
  int c = 0;
  std::string cell;
  for (char ch : tab_text) {
    if (ch == '\t') {
      if (c < cols_) {
        cells_[static_cast<size_t>(index) * cols_ + c] = cell;
      }
      cell.clear();
      ++c;
    } else {
      cell.push_back(ch);
    }
  }
  if (c < cols_) {
    cells_[static_cast<size_t>(index) * cols_ + c] = cell;
  }
  Changed();
}

void Grid::RemoveItem(int row) {
  CheckCell(row, 0 < cols_ ? 0 : -1);
  cells_.erase(cells_.begin() + static_cast<long>(row) * cols_,
               cells_.begin() + static_cast<long>(row + 1) * cols_);
  fore_.erase(fore_.begin() + static_cast<long>(row) * cols_,
              fore_.begin() + static_cast<long>(row + 1) * cols_);
  --rows_;
  fixed_rows_ = std::min(fixed_rows_, rows_);
  row_ = Clamp(row_, rows_);
  row_sel_ = Clamp(row_sel_, rows_);
  Changed();
}

int Grid::ColWidth(int col) const {
  if (col < 0 || col >= cols_) {
    throw zelError(err::kInvalidPropertyIndex, "Subscript out of range");
  }
  return col_widths_[col];
}

void Grid::SetColWidth(int col, int twips) {
  if (col < 0 || col >= cols_) {
    throw zelError(err::kInvalidPropertyIndex, "Subscript out of range");
  }
  col_widths_[col] = twips;
  Changed();
}

void Grid::SetRedraw(bool on) {
  redraw_ = on;
  if (on) {
    Changed();
  }
}

void Grid::Changed() {
  if (redraw_ && listener_) {
    listener_();
  }
}

}  // namespace stratlyn
