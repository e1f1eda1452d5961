#pragma once
// The window's face of the core Grid: a table model that shows a Grid's cells
// (fixed rows and columns shaded) and a small table widget that keeps the
// Grid's current cell and selection (Row/Col/RowSel/ColSel) in step with the
// mouse and the keyboard and hands key presses to its owner.

#include <QAbstractTableModel>
#include <QColor>
#include <QTableView>
#include <map>
#include <memory>

#include "util/grid.h"

namespace stratlyn {

// Screen units of the classic layout: 15 twips per pixel.
inline constexpr int kTwipsPerPixel = 15;

// Shows a Grid (not owned; it must outlive the model). The model listens to
// the Grid's changes and repaints; it never edits the cells itself.
class GridModel : public QAbstractTableModel {
  Q_OBJECT

 public:
  explicit GridModel(Grid* grid, QObject* parent = nullptr);
  ~GridModel() override;

  Grid* grid() const { return grid_; }

  int rowCount(const QModelIndex& parent = QModelIndex()) const override;
  int columnCount(const QModelIndex& parent = QModelIndex()) const override;
  QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
  Qt::ItemFlags flags(const QModelIndex& index) const override;

  // Alignment of the non-fixed cells of one column (default: left, centred
  // vertically). Fixed cells are always centred.
  void SetColAlignment(int col, Qt::Alignment alignment);
  Qt::Alignment ColAlignment(int col) const;

  // Re-reads the whole Grid (the change listener calls it).
  void Reload();

 signals:
  // After every reload: the view re-applies selection and column widths.
  void gridChanged();

 private:
  Grid* grid_;
  int shown_rows_ = 0;
  int shown_cols_ = 0;
  std::map<int, Qt::Alignment> alignments_;
};

// A grid control: owns its Grid and shows it without Qt's own headers (the
// fixed rows and columns are the headers, as in the classic grid). Clicking a
// cell makes it the current cell; dragging or Shift+click extends the
// selection; clicking a fixed row selects the column below it, a fixed column
// the row beside it. Arrow keys move the current cell, Shift+arrows extend.
// Cells are never edited by the view: owners edit the Grid from KeyPress.
class GridView : public QTableView {
  Q_OBJECT

 public:
  explicit GridView(QWidget* parent = nullptr);
  ~GridView() override;

  Grid& grid() { return grid_; }
  const Grid& grid() const { return grid_; }
  GridModel* gridModel() const { return model_.get(); }

  // The classic character code of a key event: 3 for Ctrl+C, 22 for Ctrl+V,
  // 1..26 for Ctrl+letter, 8 Backspace, 13 Enter, 27 Escape, else the typed
  // character's code; 0 when the key types nothing.
  static int KeyAscii(const QKeyEvent& event);

  // Height of one row in pixels for the current font.
  int RowHeightPixels() const;

  // When on, the last column also takes the room the others leave free
  // (never narrower than its ColWidth).
  void SetStretchLastColumn(bool on);

 signals:
  // A key that types a character (see KeyAscii), after the view's own handling
  // of navigation keys. Ctrl+C arrives here as 3.
  void KeyPress(int key_ascii);
  // Every key event, before KeyPress.
  void KeyDown(int key, Qt::KeyboardModifiers modifiers);
  // A click on a cell (after the current cell moved).
  void CellClicked(int row, int col);
  void CellDoubleClicked(int row, int col);

 protected:
  void keyPressEvent(QKeyEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void mouseDoubleClickEvent(QMouseEvent* event) override;
  void changeEvent(QEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;

 private:
  void SyncFromGrid();
  void ApplyGeometry();
  void SelectFromMouse(const QPoint& pos, bool extend);

  Grid grid_;
  std::unique_ptr<GridModel> model_;
  bool dragging_ = false;
  bool syncing_ = false;
  bool stretch_last_ = false;
};

}  // namespace stratlyn
