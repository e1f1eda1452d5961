#pragma once
// The chain table's model: one row per strike of the chosen expiry, the
// calls' chosen columns left, the strike in the middle, the puts' columns
// right. It reads the chain it shares with the panel and makes no widget or
// copy per cell, so a chain of tens of thousands of contracts scrolls as
// fast as a small one.

#include <QAbstractTableModel>
#include <QFont>
#include <cstddef>
#include <memory>
#include <optional>
#include <vector>

#include "chain/chain_columns.h"

namespace stratlyn {

class ChainTableModel : public QAbstractTableModel {
  Q_OBJECT

 public:
  explicit ChainTableModel(QObject* parent = nullptr);

  // The chain shown (nothing: an empty table), its expiry and the filter to
  // the `n` strikes nearest the spot (0: every strike).
  void SetChain(std::shared_ptr<const OptionChain> chain, std::size_t expiry);
  void SetExpiry(std::size_t expiry);
  void SetStrikeCount(std::size_t n);
  // The columns of each side, in the order shown.
  void SetColumns(std::vector<ChainColumn> columns);
  const std::vector<ChainColumn>& Columns() const { return columns_; }
  const OptionChain* Chain() const { return chain_.get(); }
  // The table's font (the display size's), made bold or italic where a
  // cell needs it.
  void SetFont(const QFont& font);
  std::size_t Expiry() const { return expiry_; }

  // The column of the strikes; calls' columns lie left of it, puts' right.
  int StrikeColumn() const { return static_cast<int>(columns_.size()); }
  // The contract of a cell (the call left of the strike, the put right of
  // it), nothing for the strike column or a missing contract.
  std::optional<std::size_t> ContractAt(const QModelIndex& index) const;
  // The row of the strike nearest the spot, nothing when none is shown.
  std::optional<int> NearestRow() const;
  // The strike of a row.
  double StrikeAt(int row) const;

  int rowCount(const QModelIndex& parent = QModelIndex()) const override;
  int columnCount(const QModelIndex& parent = QModelIndex()) const override;
  QVariant data(const QModelIndex& index, int role) const override;
  QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
  void sort(int column, Qt::SortOrder order) override;

 private:
  const ChainExpiry* CurrentExpiry() const;
  const ChainContract* ContractOf(std::size_t strike_index, bool put) const;
  // Rebuilds the rows: the filter, then the order last asked for.
  void Rebuild();
  void Order();

  std::shared_ptr<const OptionChain> chain_;
  std::size_t expiry_ = 0;
  std::size_t strike_count_ = 0;
  std::vector<ChainColumn> columns_;
  std::vector<std::size_t> rows_;  // strike indexes of the expiry, in the order shown
  std::optional<std::size_t> nearest_;
  int sort_column_ = -1;  // -1: by strike, ascending
  Qt::SortOrder sort_order_ = Qt::AscendingOrder;
  char decimal_point_ = '.';
  QFont font_;
};

}  // namespace stratlyn
