#include "util/qt_grid_model.h"

#include <QEvent>
#include <QGuiApplication>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPalette>
#include <algorithm>

namespace stratlyn {

namespace {
// Shade of the fixed rows and columns.
const QColor kFixedBackground(0xE4, 0xE4, 0xE4);

// The shade of the fixed rows and columns: light grey under a light palette,
// the palette's button colour under a dark one (where the light grey would
// leave light heading texts unreadable).
QColor FixedBackground() {
  const QPalette palette = QGuiApplication::palette();
  return palette.color(QPalette::Base).lightness() < 128 ? palette.color(QPalette::Button)
                                                         : kFixedBackground;
}
}  // namespace

// ---------------------------------------------------------------- GridModel

GridModel::GridModel(Grid* grid, QObject* parent)
    : QAbstractTableModel(parent),
      grid_(grid),
      shown_rows_(grid->Rows()),
      shown_cols_(grid->Cols()) {
  grid_->SetChangeListener([this] { Reload(); });
}

GridModel::~GridModel() { grid_->SetChangeListener(nullptr); }

int GridModel::rowCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : shown_rows_;
}

int GridModel::columnCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : shown_cols_;
}

QVariant GridModel::data(const QModelIndex& index, int role) const {
  const int r = index.row(), c = index.column();
  if (!index.isValid() || r >= grid_->Rows() || c >= grid_->Cols()) {
    return {};
  }
  const bool fixed = r < grid_->FixedRows() || c < grid_->FixedCols();
  switch (role) {
    case Qt::DisplayRole:
      return QString::fromStdString(grid_->TextMatrix(r, c));
    case Qt::BackgroundRole:
      if (fixed) {
        return FixedBackground();
      }
      return {};
    case Qt::ForegroundRole: {
      const uint32_t rgb = grid_->CellForeColorAt(r, c);
      if (rgb == Grid::kDefaultColor) {
        // Headings on their shade in the palette's button text colour.
        return fixed ? QVariant(QGuiApplication::palette().color(QPalette::ButtonText))
                     : QVariant();
      }
      return QColor(static_cast<QRgb>(rgb));
    }
    case Qt::TextAlignmentRole:
      if (fixed) {
        return QVariant::fromValue(Qt::AlignCenter);
      }
      return QVariant::fromValue(ColAlignment(c));
    default:
      return {};
  }
}

Qt::ItemFlags GridModel::flags(const QModelIndex& index) const {
  if (!index.isValid()) {
    return Qt::NoItemFlags;
  }
  return Qt::ItemIsEnabled | Qt::ItemIsSelectable;
}

void GridModel::SetColAlignment(int col, Qt::Alignment alignment) {
  alignments_[col] = alignment;
  if (shown_rows_ > 0 && col >= 0 && col < shown_cols_) {
    emit dataChanged(index(0, col), index(shown_rows_ - 1, col), {Qt::TextAlignmentRole});
  }
}

Qt::Alignment GridModel::ColAlignment(int col) const {
  const auto it = alignments_.find(col);
  return it == alignments_.end() ? (Qt::AlignLeft | Qt::AlignVCenter) : it->second;
}

void GridModel::Reload() {
  if (grid_->Rows() != shown_rows_ || grid_->Cols() != shown_cols_) {
    beginResetModel();
    shown_rows_ = grid_->Rows();
    shown_cols_ = grid_->Cols();
    endResetModel();
  } else if (shown_rows_ > 0 && shown_cols_ > 0) {
    emit dataChanged(index(0, 0), index(shown_rows_ - 1, shown_cols_ - 1));
  }
  emit gridChanged();
}

// ----------------------------------------------------------------- GridView

GridView::GridView(QWidget* parent)
    : QTableView(parent), grid_(2, 2), model_(std::make_unique<GridModel>(&grid_)) {
  setModel(model_.get());
  horizontalHeader()->hide();
  verticalHeader()->hide();
  verticalHeader()->setMinimumSectionSize(8);
  horizontalHeader()->setMinimumSectionSize(4);
  setEditTriggers(QAbstractItemView::NoEditTriggers);
  setSelectionMode(QAbstractItemView::ExtendedSelection);
  setSelectionBehavior(QAbstractItemView::SelectItems);
  setTabKeyNavigation(false);
  setFocusPolicy(Qt::StrongFocus);
  setWordWrap(false);
  connect(model_.get(), &GridModel::gridChanged, this, [this] {
    ApplyGeometry();
    SyncFromGrid();
  });
  ApplyGeometry();
  SyncFromGrid();
}

GridView::~GridView() { setModel(nullptr); }

int GridView::RowHeightPixels() const { return fontMetrics().height() + 6; }

void GridView::SetStretchLastColumn(bool on) {
  stretch_last_ = on;
  ApplyGeometry();
}

void GridView::resizeEvent(QResizeEvent* event) {
  QTableView::resizeEvent(event);
  if (stretch_last_) {
    ApplyGeometry();
  }
}

void GridView::ApplyGeometry() {
  verticalHeader()->setDefaultSectionSize(RowHeightPixels());
  const int default_width =
      std::max(64, fontMetrics().horizontalAdvance(QStringLiteral("0000000000")));
  int used = 0;
  for (int c = 0; c < grid_.Cols(); ++c) {
    const int twips = grid_.ColWidth(c);
    int px = twips > 0 ? std::max(1, twips / kTwipsPerPixel) : default_width;
    if (stretch_last_ && c == grid_.Cols() - 1) {
      px = std::max(px, viewport()->width() - used);
    }
    setColumnWidth(c, px);
    used += px;
  }
}

void GridView::SyncFromGrid() {
  if (syncing_ || selectionModel() == nullptr) {
    return;
  }
  syncing_ = true;
  QItemSelectionModel* sel = selectionModel();
  if (grid_.Rows() == 0 || grid_.Cols() == 0) {
    sel->clear();
  } else {
    const int r0 = std::min(grid_.Row(), grid_.RowSel()),
              r1 = std::max(grid_.Row(), grid_.RowSel());
    const int c0 = std::min(grid_.Col(), grid_.ColSel()),
              c1 = std::max(grid_.Col(), grid_.ColSel());
    sel->setCurrentIndex(model_->index(grid_.Row(), grid_.Col()), QItemSelectionModel::NoUpdate);
    if (r0 == r1 && c0 == c1) {
      // A single cell shows as the focus frame only, as the classic grid does.
      sel->clearSelection();
    } else {
      sel->select(QItemSelection(model_->index(r0, c0), model_->index(r1, c1)),
                  QItemSelectionModel::ClearAndSelect);
    }
  }
  viewport()->update();
  syncing_ = false;
}

void GridView::SelectFromMouse(const QPoint& pos, bool extend) {
  const QModelIndex idx = indexAt(pos);
  if (!idx.isValid()) {
    return;
  }
  const int rows = grid_.Rows(), cols = grid_.Cols();
  const int fr = grid_.FixedRows(), fc = grid_.FixedCols();
  if (fr >= rows || fc >= cols) {
    return;  // nothing selectable
  }
  const int r = idx.row(), c = idx.column();
  if (extend) {
    grid_.SetRowSel(std::max(r, fr));
    grid_.SetColSel(std::max(c, fc));
    return;
  }
  if (r < fr && c < fc) {  // the corner: everything
    grid_.SetRow(fr);
    grid_.SetCol(fc);
    grid_.SetRowSel(rows - 1);
    grid_.SetColSel(cols - 1);
  } else if (r < fr) {  // a column heading: the column
    grid_.SetRow(fr);
    grid_.SetCol(c);
    grid_.SetRowSel(rows - 1);
  } else if (c < fc) {  // a row heading: the row
    grid_.SetRow(r);
    grid_.SetCol(fc);
    grid_.SetColSel(cols - 1);
  } else {
    grid_.SetRow(r);
    grid_.SetCol(c);
  }
}

void GridView::mousePressEvent(QMouseEvent* event) {
  setFocus(Qt::MouseFocusReason);
  if (event->button() != Qt::LeftButton) {
    event->accept();
    return;
  }
  SelectFromMouse(event->position().toPoint(), (event->modifiers() & Qt::ShiftModifier) != 0);
  dragging_ = true;
  event->accept();
  const QModelIndex idx = indexAt(event->position().toPoint());
  if (idx.isValid()) {
    emit CellClicked(idx.row(), idx.column());
  }
}

void GridView::mouseMoveEvent(QMouseEvent* event) {
  if (dragging_ && (event->buttons() & Qt::LeftButton)) {
    const QModelIndex idx = indexAt(event->position().toPoint());
    if (idx.isValid() && (idx.row() != grid_.RowSel() || idx.column() != grid_.ColSel())) {
      SelectFromMouse(event->position().toPoint(), true);
    }
  }
  event->accept();
}

void GridView::mouseReleaseEvent(QMouseEvent* event) {
  dragging_ = false;
  event->accept();
}

void GridView::mouseDoubleClickEvent(QMouseEvent* event) {
  const QModelIndex idx = indexAt(event->position().toPoint());
  if (idx.isValid()) {
    emit CellDoubleClicked(idx.row(), idx.column());
  }
  event->accept();
}

int GridView::KeyAscii(const QKeyEvent& event) {
  const int key = event.key();
  if ((event.modifiers() & Qt::ControlModifier) && key >= Qt::Key_A && key <= Qt::Key_Z) {
    return key - Qt::Key_A + 1;
  }
  switch (key) {
    case Qt::Key_Backspace:
      return 8;
    case Qt::Key_Return:
    case Qt::Key_Enter:
      return 13;
    case Qt::Key_Escape:
      return 27;
    default:
      break;
  }
  const QString text = event.text();
  if (text.isEmpty()) {
    return 0;
  }
  const int code = text.at(0).unicode();
  return code >= 32 && code != 127 ? code : 0;
}

void GridView::keyPressEvent(QKeyEvent* event) {
  emit KeyDown(event->key(), event->modifiers());
  const int rows = grid_.Rows(), cols = grid_.Cols();
  const int fr = grid_.FixedRows(), fc = grid_.FixedCols();
  const bool shift = (event->modifiers() & Qt::ShiftModifier) != 0;
  int dr = 0, dc = 0;
  bool navigation = true;
  switch (event->key()) {
    case Qt::Key_Up:
      dr = -1;
      break;
    case Qt::Key_Down:
      dr = 1;
      break;
    case Qt::Key_Left:
      dc = -1;
      break;
    case Qt::Key_Right:
      dc = 1;
      break;
    case Qt::Key_PageUp:
      dr = -std::max(1, viewport()->height() / RowHeightPixels());
      break;
    case Qt::Key_PageDown:
      dr = std::max(1, viewport()->height() / RowHeightPixels());
      break;
    case Qt::Key_Home:
      dc = -cols;
      break;
    case Qt::Key_End:
      dc = cols;
      break;
    default:
      navigation = false;
      break;
  }
  if (navigation) {
    if (fr < rows && fc < cols) {
      const int base_r = shift ? grid_.RowSel() : grid_.Row();
      const int base_c = shift ? grid_.ColSel() : grid_.Col();
      const int r = std::clamp(base_r + dr, fr, rows - 1);
      const int c = std::clamp(base_c + dc, fc, cols - 1);
      if (shift) {
        grid_.SetRowSel(r);
        grid_.SetColSel(c);
      } else {
        grid_.SetRow(r);
        grid_.SetCol(c);
      }
      scrollTo(model_->index(r, c));
    }
    event->accept();
    return;
  }
  const int ascii = KeyAscii(*event);
  if (ascii != 0) {
    emit KeyPress(ascii);
    event->accept();
    return;
  }
  QTableView::keyPressEvent(event);
}

void GridView::changeEvent(QEvent* event) {
  QTableView::changeEvent(event);
  if (event->type() == QEvent::FontChange) {
    ApplyGeometry();
  }
}

}  // namespace stratlyn
