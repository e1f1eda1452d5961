#include "chain/qt_chain_model.h"

#include <QApplication>
#include <QColor>
#include <QFont>
#include <QPalette>
#include <algorithm>

#include "util/locale_info.h"

namespace stratlyn {
namespace {

QString Q(const std::string& s) { return QString::fromStdString(s); }

}  // namespace

ChainTableModel::ChainTableModel(QObject* parent) : QAbstractTableModel(parent) {
  for (const ChainColumnInfo& info : kChainColumns) {
    if (info.shown) {
      columns_.push_back(info.column);
    }
  }
  font_ = QApplication::font();
}

void ChainTableModel::SetFont(const QFont& font) {
  font_ = font;
  if (!rows_.empty()) {
    emit dataChanged(index(0, 0), index(rowCount() - 1, columnCount() - 1), {Qt::FontRole});
  }
}

void ChainTableModel::SetChain(std::shared_ptr<const OptionChain> chain, std::size_t expiry) {
  beginResetModel();
  chain_ = std::move(chain);
  expiry_ = expiry;
  Rebuild();
  endResetModel();
}

void ChainTableModel::SetExpiry(std::size_t expiry) {
  beginResetModel();
  expiry_ = expiry;
  Rebuild();
  endResetModel();
}

void ChainTableModel::SetStrikeCount(std::size_t n) {
  beginResetModel();
  strike_count_ = n;
  Rebuild();
  endResetModel();
}

void ChainTableModel::SetColumns(std::vector<ChainColumn> columns) {
  beginResetModel();
  columns_ = std::move(columns);
  sort_column_ = -1;  // the old column numbers mean other columns now
  sort_order_ = Qt::AscendingOrder;
  Rebuild();
  endResetModel();
}

const ChainExpiry* ChainTableModel::CurrentExpiry() const {
  if (!chain_ || expiry_ >= chain_->expiries.size()) {
    return nullptr;
  }
  return &chain_->expiries[expiry_];
}

const ChainContract* ChainTableModel::ContractOf(std::size_t strike_index, bool put) const {
  const ChainExpiry* e = CurrentExpiry();
  if (e == nullptr || strike_index >= e->strikes.size()) {
    return nullptr;
  }
  const std::optional<std::size_t>& i =
      put ? e->strikes[strike_index].put : e->strikes[strike_index].call;
  if (!i || *i >= chain_->contracts.size()) {
    return nullptr;
  }
  return &chain_->contracts[*i];
}

void ChainTableModel::Rebuild() {
  // Figures are written as the user's locale writes numbers.
  const std::string& dp = CurrentEntryLocale().decimal_point;
  decimal_point_ = dp.size() == 1 ? dp[0] : '.';
  rows_.clear();
  nearest_.reset();
  const ChainExpiry* e = CurrentExpiry();
  if (e == nullptr) {
    return;
  }
  rows_ = StrikesAroundMoney(*e, chain_->spot, strike_count_);
  nearest_ = NearestStrike(*e, chain_->spot);
  Order();
}

void ChainTableModel::Order() {
  const ChainExpiry* e = CurrentExpiry();
  if (e == nullptr) {
    return;
  }
  const auto by_strike = [e](std::size_t a, std::size_t b) {
    return e->strikes[a].strike < e->strikes[b].strike;
  };
  std::sort(rows_.begin(), rows_.end(), by_strike);
  const int strike_col = StrikeColumn();
  if (sort_column_ < 0 || sort_column_ == strike_col) {
    if (sort_column_ == strike_col && sort_order_ == Qt::DescendingOrder) {
      std::reverse(rows_.begin(), rows_.end());
    }
    return;
  }
  const bool put = sort_column_ > strike_col;
  const std::size_t side = put ? sort_column_ - strike_col - 1 : strike_col - 1 - sort_column_;
  if (side >= columns_.size()) {
    return;
  }
  const ChainColumn column = columns_[side];
  const bool descending = sort_order_ == Qt::DescendingOrder;
  // Cells without a figure sort last either way; ties keep the strike order.
  std::stable_sort(rows_.begin(), rows_.end(), [&](std::size_t a, std::size_t b) {
    const ChainContract* ca = ContractOf(a, put);
    const ChainContract* cb = ContractOf(b, put);
    if (column == ChainColumn::kLastTime) {
      const std::string ta = ca ? ca->last_trade_time : std::string();
      const std::string tb = cb ? cb->last_trade_time : std::string();
      if (ta.empty() || tb.empty()) {
        return !ta.empty() && tb.empty();
      }
      return descending ? tb < ta : ta < tb;
    }
    const std::optional<double> ka = ca ? ChainSortKey(*ca, column) : std::nullopt;
    const std::optional<double> kb = cb ? ChainSortKey(*cb, column) : std::nullopt;
    if (!ka || !kb) {
      return ka.has_value() && !kb.has_value();
    }
    return descending ? *kb < *ka : *ka < *kb;
  });
}

void ChainTableModel::sort(int column, Qt::SortOrder order) {
  if (column >= columnCount()) {
    return;
  }
  if (column < 0) {  // no sort column: by strike, ascending
    column = -1;
    order = Qt::AscendingOrder;
  }
  emit layoutAboutToBeChanged();
  sort_column_ = column;
  sort_order_ = order;
  Order();
  emit layoutChanged();
}

std::optional<std::size_t> ChainTableModel::ContractAt(const QModelIndex& index) const {
  if (!index.isValid() || index.row() >= static_cast<int>(rows_.size())) {
    return std::nullopt;
  }
  const int strike_col = StrikeColumn();
  if (index.column() == strike_col) {
    return std::nullopt;
  }
  const ChainExpiry* e = CurrentExpiry();
  if (e == nullptr) {
    return std::nullopt;
  }
  const ChainStrike& s = e->strikes[rows_[index.row()]];
  return index.column() < strike_col ? s.call : s.put;
}

std::optional<int> ChainTableModel::NearestRow() const {
  if (!nearest_) {
    return std::nullopt;
  }
  for (std::size_t r = 0; r < rows_.size(); ++r) {
    if (rows_[r] == *nearest_) {
      return static_cast<int>(r);
    }
  }
  return std::nullopt;
}

double ChainTableModel::StrikeAt(int row) const {
  const ChainExpiry* e = CurrentExpiry();
  if (e == nullptr || row < 0 || row >= static_cast<int>(rows_.size())) {
    return 0;
  }
  return e->strikes[rows_[row]].strike;
}

int ChainTableModel::rowCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : static_cast<int>(rows_.size());
}

int ChainTableModel::columnCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : 2 * static_cast<int>(columns_.size()) + 1;
}

QVariant ChainTableModel::data(const QModelIndex& index, int role) const {
  if (!index.isValid() || index.row() >= static_cast<int>(rows_.size())) {
    return {};
  }
  const std::size_t strike_index = rows_[index.row()];
  const int strike_col = StrikeColumn();
  const bool nearest = nearest_ && *nearest_ == strike_index;
  if (role == Qt::FontRole) {
    QFont font = font_;
    font.setBold(nearest || index.column() == strike_col);
    if (index.column() != strike_col) {
      if (const auto i = ContractAt(index)) {
        const std::size_t side = index.column() < strike_col ? strike_col - 1 - index.column()
                                                             : index.column() - strike_col - 1;
        font.setItalic(ChainCellIsReason(chain_->contracts[*i], columns_[side]));
      }
    }
    return font;
  }
  if (role == Qt::BackgroundRole) {
    const QPalette pal = QApplication::palette();
    if (nearest) {
      QColor c = pal.color(QPalette::Highlight);
      c.setAlpha(70);
      return c;
    }
    if (index.column() == strike_col) {
      return pal.color(QPalette::AlternateBase);
    }
    return {};
  }
  if (role == Qt::TextAlignmentRole) {
    return QVariant::fromValue(Qt::AlignRight | Qt::AlignVCenter);
  }
  if (index.column() == strike_col) {
    if (role == Qt::DisplayRole) {
      return Q(StrikeText(CurrentExpiry()->strikes[strike_index].strike, decimal_point_));
    }
    if (role == Qt::ToolTipRole && nearest) {
      return tr("The strike nearest the spot");
    }
    return {};
  }
  const std::optional<std::size_t> i = ContractAt(index);
  if (!i) {
    return {};
  }
  const ChainContract& c = chain_->contracts[*i];
  const std::size_t side = index.column() < strike_col ? strike_col - 1 - index.column()
                                                       : index.column() - strike_col - 1;
  const ChainColumn column = columns_[side];
  if (role == Qt::DisplayRole) {
    return Q(ChainCellText(c, column, decimal_point_));
  }
  if (role == Qt::ForegroundRole && ChainCellIsReason(c, column)) {
    return QApplication::palette().color(QPalette::PlaceholderText);
  }
  if (role == Qt::ToolTipRole) {
    std::string tip = c.symbol;
    if (!c.iv) {
      tip += std::string(": ") + ChainRefusalText(c.refusal);
    }
    return Q(tip);
  }
  return {};
}

QVariant ChainTableModel::headerData(int section, Qt::Orientation orientation, int role) const {
  if (orientation != Qt::Horizontal) {
    return {};
  }
  const int strike_col = StrikeColumn();
  if (role == Qt::DisplayRole) {
    if (section == strike_col) {
      return tr(kStrikeCaption);
    }
    if (section < 0 || section >= columnCount()) {
      return {};
    }
    const std::size_t side =
        section < strike_col ? strike_col - 1 - section : section - strike_col - 1;
    for (const ChainColumnInfo& info : kChainColumns) {
      if (info.column == columns_[side]) {
        return tr(info.caption);
      }
    }
    return {};
  }
  if (role == Qt::ToolTipRole && section != strike_col) {
    return section < strike_col ? tr("Calls") : tr("Puts");
  }
  return {};
}

}  // namespace stratlyn
