#pragma once
// ucChain: the chain panel of the top pane. A ticker and "Load" (the rate
// curve and the feed's options file are fetched directly over HTTP; the
// bottom browser is pointed at the options file once the table is shown,
// where the page stays, and the table never waits for it to render), the expiries with their days
// to expiry, the table of calls left and puts right around the strikes, the
// smile of the chosen expiry and a heat map of implied volatility over strike
// and expiry. The pages are fetched and the chain read and solved on worker
// threads; "Stop" (the window's) ends the transfer and the solve. A double-click on a contract, or
// "Add to strategy", hands its terms to the window's sinks.

#include <QString>
#include <array>
#include <atomic>
#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "chain/chain_columns.h"
#include "charts/qt_scaled_panel.h"
#include "marketdata/zel_bloomberg_data.h"
#include "util/grid.h"

class QComboBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QMenu;
class QModelIndex;
class QPushButton;
class QSpinBox;
class QTableView;
class QTimer;

namespace stratlyn {

class BrowserView;
class ChainTableModel;
class HttpPageView;
class QtCanvas;
class QtLabelBox;
class zelDraw;

class ucChain : public ScaledPanel {
  Q_OBJECT

 public:
  explicit ucChain(QWidget* parent = nullptr);
  ~ucChain() override;

  // Registered (normal display) size in twips, as the other panels.
  static constexpr int kDesignWidth = 7200;
  static constexpr int kDesignHeight = 5700;

  // The view that shows the options file (the window's bottom browser; not owned).
  void SetBrowser(BrowserView* view) { browser_ = view; }
  // The window's data-use acceptance flag (not owned).
  void SetDisclaimerFlag(bool* flag) { disclaimer_ = flag; }
  // Where a double-clicked contract goes (the calculator), and "Add to
  // strategy"'s leg: the terms, and whether it starts a new position (the
  // first contract of a chain, or of another ticker) or joins the last one.
  void SetCalculatorSink(std::function<void(const ChainTerms&)> sink) {
    to_calculator_ = std::move(sink);
  }
  // The strategy sink answers false when it took nothing (it has said why).
  void SetStrategySink(std::function<bool(const ChainTerms&, bool new_position)> sink) {
    to_strategy_ = std::move(sink);
  }

  // "Load", and the window's "Stop".
  void cmdLoad_Click();
  void Stop();
  // True from "Load" until the chain is shown (or the load ended).
  bool Loading() const { return loading_; }
  // Double-click on a cell of the table; "Add to strategy" (the selected contract).
  void ContractActivated(const QModelIndex& index);
  void cmdAddStrategy_Click();
  // Chooses the expiry shown (a row of the list).
  void SetExpiry(int row);
  // The columns of each side (see the Columns menu).
  void SetColumns(const std::vector<ChainColumn>& columns);

  // The chain shown, nothing before the first load.
  std::shared_ptr<const OptionChain> Chain() const { return chain_; }
  // The rate-curve reader (its source can be chosen, e.g. for tests).
  zelBloombergData& Curve() { return curve_; }

  QLineEdit* txtTicker() const { return txt_ticker_; }
  QPushButton* cmdLoad() const { return cmd_load_; }
  QLabel* lblStatus() const { return lbl_status_; }
  QListWidget* lstExpiry() const { return lst_expiry_; }
  QTableView* tblChain() const { return tbl_chain_; }
  ChainTableModel* Model() const { return model_; }
  QSpinBox* spnStrikes() const { return spn_strikes_; }
  QPushButton* cmdColumns() const { return cmd_columns_; }
  QMenu* mnuColumns() const { return mnu_columns_; }
  QComboBox* cmbSmileAxis() const { return cmb_smile_axis_; }
  QPushButton* cmdAddStrategy() const { return cmd_add_strategy_; }
  QtCanvas* pboxSmile() const { return pbox_smile_; }
  QtCanvas* pboxSurface() const { return pbox_surface_; }
  // The points the smile plot shows: (x, own call, own put, feed call, feed
  // put) per strike with any of them; x is the strike or the moneyness.
  struct SmileRow {
    double x;
    std::optional<double> call, put, feed_call, feed_put;
  };
  const std::vector<SmileRow>& SmileShown() const { return smile_shown_; }
  // The heat map's cells: (expiry, strike index, implied volatility).
  struct SurfaceCell {
    std::size_t expiry;
    double x;
    double iv;
  };
  const std::vector<SurfaceCell>& SurfaceShown() const { return surface_shown_; }

 protected:
  void DisplayChanged() override;
  // Enter on a contract of the table does what a double-click does.
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  struct Worker {
    std::thread thread;
    std::shared_ptr<std::atomic<bool>> done;
  };
  // The page part of a load: the curve (when not read in this hour) and the
  // options file, fetched by fetch_view_. False when stopped or replaced.
  bool LoadPages(const std::string& ticker, const std::shared_ptr<bool>& stop, unsigned serial);
  void StartSolve(std::string page, std::string ticker, unsigned serial);
  void SolveDone(unsigned serial, std::shared_ptr<OptionChain> chain, const std::string& message,
                 bool stopped);
  void JoinFinishedWorkers();
  void ShowProgress();
  void ShowChain();
  void ShowExpiry();
  void DrawSmile();
  void DrawSurface();
  void SizeColumns();
  void FillColumnsMenu();
  // The contract of the table's current cell (its selection).
  std::optional<std::size_t> SelectedContract() const;
  std::string ChainSummary(bool stopped) const;
  void SetStatus(const std::string& text);

  QLineEdit* txt_ticker_ = nullptr;
  QPushButton* cmd_load_ = nullptr;
  QLabel* lbl_status_ = nullptr;
  QListWidget* lst_expiry_ = nullptr;
  QTableView* tbl_chain_ = nullptr;
  ChainTableModel* model_ = nullptr;
  QSpinBox* spn_strikes_ = nullptr;
  QPushButton* cmd_columns_ = nullptr;
  QMenu* mnu_columns_ = nullptr;
  QComboBox* cmb_smile_axis_ = nullptr;
  QPushButton* cmd_add_strategy_ = nullptr;
  QtCanvas* pbox_smile_ = nullptr;
  QtCanvas* pbox_surface_ = nullptr;
  std::array<QtLabelBox*, 4> smile_labels_{};
  std::array<QtLabelBox*, 4> surface_labels_{};
  std::unique_ptr<zelDraw> draw_smile_;
  std::unique_ptr<zelDraw> draw_surface_;
  QTimer* progress_timer_ = nullptr;

  BrowserView* browser_ = nullptr;
  std::unique_ptr<HttpPageView> fetch_view_;  // the pages the load reads
  std::string browser_url_;  // the file the bottom browser shows once the load ends
  bool* disclaimer_ = nullptr;
  bool own_disclaimer_ = false;
  std::function<void(const ChainTerms&)> to_calculator_;
  std::function<bool(const ChainTerms&, bool)> to_strategy_;

  zelBloombergData curve_;
  Grid curve_grid_;
  std::optional<std::chrono::steady_clock::time_point> curve_read_;

  unsigned serial_ = 0;              // counts the loads; a result of an older one is dropped
  std::shared_ptr<bool> page_stop_;  // ends the page waits of the load in progress
  std::shared_ptr<std::atomic<bool>> solve_stop_;
  std::shared_ptr<std::atomic<std::size_t>> solved_, total_;
  bool in_pages_ = false;  // a load is waiting for its pages
  bool reload_ = false;    // a second "Load" came meanwhile: load again after it
  bool loading_ = false;
  std::vector<Worker> workers_;

  std::shared_ptr<const OptionChain> chain_;
  std::string strategy_ticker_;  // the chain the strategy's last added leg came from
  std::vector<SmileRow> smile_shown_;
  std::vector<SurfaceCell> surface_shown_;
};

}  // namespace stratlyn
