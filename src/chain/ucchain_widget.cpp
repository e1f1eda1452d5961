#include "chain/ucchain_widget.h"

#include <QAction>
#include <QComboBox>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QMetaObject>
#include <QPushButton>
#include <QSpinBox>
#include <QTableView>
#include <QTimer>
#include <algorithm>
#include <cmath>
#include <exception>
#include <limits>

#include "chain/http_page_view.h"
#include "chain/qt_chain_model.h"
#include "chain/qt_chain_plot_style.h"
#include "charts/qt_canvas.h"
#include "charts/zel_draw.h"
#include "marketdata/exchange_time.h"
#include "marketdata/fetch_error.h"
#include "marketdata/occ_symbol.h"
#include "marketdata/page_wait.h"
#include "marketdata/quote_parser.h"
#include "util/error_handler.h"
#include "util/format.h"
#include "util/services.h"
#include "util/text.h"
#include "util/zel_error.h"

namespace stratlyn {
using namespace chain_plot;
namespace {

// Geometry in twips (the panel is kDesignWidth x kDesignHeight); every
// control ends above kContentBottom, as on the other panels.
constexpr int kLeft = 60;
constexpr int kRowHeight = 300;
constexpr int kLabelHeight = 285;
constexpr int kLabelGap = 40;
constexpr int kListWidth = 1740;
constexpr int kTableTop = 760;
constexpr int kTableHeight = 2300;
constexpr int kPlotTop = kTableTop + kTableHeight + 60;
constexpr int kContentBottom = ucChain::kDesignHeight - 420;
constexpr int kPlotWidth = 3520;

// Texts.
constexpr const char* kNoTickerMessage =
    "Please enter the ticker of an underlying (AAPL, SPX) to load its option chain";
constexpr const char* kDataTermsQuestion =
    "The quotes are delayed and for education only; they may not be redistributed.  Press OK "
    "to accept these terms for this session.";
constexpr const char* kNoContractMessage = "Choose a call or a put in the table first";
constexpr const char* kLoadingCurve = "Reading the interest rate curve ...";
constexpr const char* kLoadingPage = "Loading the option chain of ";
constexpr const char* kSolving = "Solving implied volatilities: ";
constexpr const char* kStopped = "Stopped";
constexpr const char* kAddedToStrategy = "Added to the strategy: ";
constexpr const char* kNewPosition = " (a new position on ";
constexpr const char* kSentToCalculator = "Priced in the calculator: ";

QString Q(const std::string& s) { return QString::fromStdString(s); }

std::string Trimmed(const QString& s) { return s.trimmed().toStdString(); }

}  // namespace

ucChain::ucChain(QWidget* parent)
    : ScaledPanel(parent, kDesignWidth, kDesignHeight),
      draw_smile_(std::make_unique<zelDraw>()),
      draw_surface_(std::make_unique<zelDraw>()),
      fetch_view_(std::make_unique<HttpPageView>()) {
  setObjectName("ucChain1");
  int top = 60;
  Place(new QLabel(tr("Ticker"), this), kLeft, top, 540 - kLabelGap, kLabelHeight);
  txt_ticker_ = Place(new QLineEdit(this), kLeft + 560, top, 900, kRowHeight);
  txt_ticker_->setObjectName("txtTicker");
  txt_ticker_->setToolTip(tr("The underlying's ticker: AAPL, SPY, SPX (with its weekly SPXW)"));
  cmd_load_ = Place(new QPushButton(tr("Load"), this), kLeft + 1520, top, 760, kRowHeight);
  cmd_load_->setToolTip(tr("Load the whole option chain and solve every implied volatility"));
  Place(new QLabel(tr("Strikes"), this), kLeft + 2360, top, 600 - kLabelGap, kLabelHeight);
  spn_strikes_ = Place(new QSpinBox(this), kLeft + 2960, top, 760, kRowHeight);
  spn_strikes_->setRange(0, 9999);
  spn_strikes_->setSpecialValueText(tr("All"));
  spn_strikes_->setValue(0);
  spn_strikes_->setToolTip(tr("Show the strikes nearest the spot only (All: every strike)"));
  cmd_columns_ = Place(new QPushButton(tr("Columns"), this), kLeft + 3800, top, 1000, kRowHeight);
  cmd_columns_->setToolTip(tr("Choose the columns shown for calls and puts"));
  mnu_columns_ = new QMenu(this);
  cmd_columns_->setMenu(mnu_columns_);
  cmd_add_strategy_ =
      Place(new QPushButton(tr("Add to strategy"), this), kLeft + 4880, top, 1460, kRowHeight);
  cmd_add_strategy_->setToolTip(
      tr("Append the selected contract to the strategy view, at its mid price"));

  top += kRowHeight + 60;
  lbl_status_ = Place(new QLabel(this), kLeft, top, 5880, kLabelHeight);
  lbl_status_->setObjectName("lblStatus");
  cmb_smile_axis_ = Place(new QComboBox(this), kLeft + 5940, top, 1140, kRowHeight);
  cmb_smile_axis_->addItem(tr("Strike"));
  cmb_smile_axis_->addItem(tr("Moneyness"));
  cmb_smile_axis_->setToolTip(tr("The smile's and the heat map's horizontal axis"));

  lst_expiry_ = Place(new QListWidget(this), kLeft, kTableTop, kListWidth, kTableHeight);
  lst_expiry_->setObjectName("lstExpiry");
  lst_expiry_->setToolTip(tr("Expiries, with the days left to each"));
  tbl_chain_ = Place(new QTableView(this), kLeft + kListWidth + 60, kTableTop,
                     kDesignWidth - 2 * kLeft - kListWidth - 60, kTableHeight);
  tbl_chain_->setObjectName("tblChain");
  model_ = new ChainTableModel(this);
  tbl_chain_->setModel(model_);
  tbl_chain_->setSortingEnabled(true);
  tbl_chain_->horizontalHeader()->setSortIndicatorShown(true);
  tbl_chain_->horizontalHeader()->setSortIndicator(-1, Qt::AscendingOrder);
  tbl_chain_->verticalHeader()->hide();
  tbl_chain_->setSelectionMode(QAbstractItemView::SingleSelection);
  tbl_chain_->setSelectionBehavior(QAbstractItemView::SelectItems);
  tbl_chain_->setEditTriggers(QAbstractItemView::NoEditTriggers);
  tbl_chain_->setToolTip(tr("Calls left, puts right; double-click a contract to price it"));

  pbox_smile_ = Place(new QtCanvas(this), kLeft, kPlotTop, kPlotWidth, kContentBottom - kPlotTop);
  pbox_smile_->setObjectName("pboxSmile");
  pbox_surface_ = Place(new QtCanvas(this), kDesignWidth - kLeft - kPlotWidth, kPlotTop, kPlotWidth,
                        kContentBottom - kPlotTop);
  pbox_surface_->setObjectName("pboxSurface");
  pbox_smile_->SetBackColor(kPlotBack);
  // The heat map keeps a light page under a dark theme too: the canvas shows
  // colours too close to a dark page lighter, which would change what a
  // colour of the map means.
  pbox_surface_->SetBackColor(kHeatMapBack);
  for (auto* labels : {&smile_labels_, &surface_labels_}) {
    for (auto& label : *labels) {
      label = Place(new QtLabelBox(this), kLeft, kPlotTop, 600, kLabelHeight);
      label->hide();
    }
  }
  RegisterDisplay();
  draw_smile_->Initialize();
  draw_smile_->InitializePictureBox(pbox_smile_);
  draw_surface_->Initialize();
  draw_surface_->InitializePictureBox(pbox_surface_);
  for (int i = 0; i < 4; ++i) {
    draw_smile_->InitializeTextBox(smile_labels_[i], i);
    draw_surface_->InitializeTextBox(surface_labels_[i], i);
  }
  draw_smile_->SetTitle(kSmileTitle);
  draw_surface_->SetTitle(kSurfaceTitle);
  FillColumnsMenu();
  SizeColumns();

  progress_timer_ = new QTimer(this);
  progress_timer_->setInterval(100);
  connect(progress_timer_, &QTimer::timeout, this, [this] { ShowProgress(); });
  connect(cmd_load_, &QPushButton::clicked, this, [this] { cmdLoad_Click(); });
  connect(txt_ticker_, &QLineEdit::returnPressed, this, [this] { cmdLoad_Click(); });
  connect(lst_expiry_, &QListWidget::currentRowChanged, this, [this](int row) { SetExpiry(row); });
  connect(spn_strikes_, &QSpinBox::valueChanged, this, [this](int n) {
    model_->SetStrikeCount(static_cast<std::size_t>(std::max(0, n)));
    ShowExpiry();
  });
  connect(cmb_smile_axis_, &QComboBox::currentIndexChanged, this, [this] {
    DrawSmile();
    DrawSurface();
  });
  tbl_chain_->installEventFilter(this);
  connect(tbl_chain_, &QTableView::doubleClicked, this,
          [this](const QModelIndex& index) { ContractActivated(index); });
  connect(cmd_add_strategy_, &QPushButton::clicked, this, [this] { cmdAddStrategy_Click(); });
  SetStatus(tr("Type a ticker and press Load").toStdString());
}

ucChain::~ucChain() {
  if (page_stop_) {
    *page_stop_ = true;
  }
  if (solve_stop_) {
    *solve_stop_ = true;
  }
  for (Worker& w : workers_) {
    if (w.thread.joinable()) {
      w.thread.join();
    }
  }
}

void ucChain::FillColumnsMenu() {
  for (const ChainColumnInfo& info : kChainColumns) {
    QAction* action = mnu_columns_->addAction(tr(info.caption));
    action->setCheckable(true);
    action->setChecked(info.shown);
    action->setData(static_cast<int>(info.column));
    connect(action, &QAction::toggled, this, [this] {
      std::vector<ChainColumn> shown;
      for (QAction* a : mnu_columns_->actions()) {
        if (a->isChecked()) {
          shown.push_back(static_cast<ChainColumn>(a->data().toInt()));
        }
      }
      model_->SetColumns(shown);
      tbl_chain_->horizontalHeader()->setSortIndicator(-1, Qt::AscendingOrder);
      ShowExpiry();
    });
  }
}

void ucChain::SetColumns(const std::vector<ChainColumn>& columns) {
  for (QAction* a : mnu_columns_->actions()) {
    const auto column = static_cast<ChainColumn>(a->data().toInt());
    const QSignalBlocker block(a);
    a->setChecked(std::find(columns.begin(), columns.end(), column) != columns.end());
  }
  model_->SetColumns(columns);
  tbl_chain_->horizontalHeader()->setSortIndicator(-1, Qt::AscendingOrder);
  ShowExpiry();
}

void ucChain::SetStatus(const std::string& text) {
  lbl_status_->setText(Q(text));
  lbl_status_->setToolTip(Q(text));
}

// --- loading -----------------------------------------------------------------

void ucChain::cmdLoad_Click() {
  const std::string ticker = UpperAscii(Trimmed(txt_ticker_->text()));
  if (ticker.empty()) {
    AppDialogs().Critical(kNoTickerMessage);
    return;
  }
  if (in_pages_) {
    // A load is waiting for its pages further down this call stack: it is
    // stopped, and loads again (with the ticker now typed) once it has ended.
    *page_stop_ = true;
    fetch_view_->Stop();
    reload_ = true;
    return;
  }
  bool& accepted = disclaimer_ ? *disclaimer_ : own_disclaimer_;
  if (!accepted) {
    accepted = AppDialogs().Show(kDataTermsQuestion, MsgButtons::OkCancel, MsgIcon::None,
                                 kMessageTitle) == MsgAnswer::Ok;
    if (!accepted) {
      return;
    }
  }
  // A solve still running belongs to the load before: it stops, and its
  // result is dropped.
  if (solve_stop_) {
    *solve_stop_ = true;
  }
  const unsigned serial = ++serial_;
  auto stop = std::make_shared<bool>(false);
  page_stop_ = stop;
  loading_ = true;
  in_pages_ = true;
  bool loaded = false;
  try {
    loaded = LoadPages(ticker, stop, serial);
  } catch (const FetchError& e) {
    AppEvents().SetBusy(false);
    SetStatus(e.Description());
    AppDialogs().Critical(e.Description());
  } catch (const zelError& e) {
    AppEvents().SetBusy(false);
    SetStatus(e.Description());
    ErrorHandler(e);
  } catch (const std::exception& e) {
    AppEvents().SetBusy(false);
    SetStatus(e.what());
    ErrorHandler(e);
  }
  in_pages_ = false;
  curve_.StopFlag = nullptr;
  if (!loaded && serial == serial_) {
    loading_ = false;
    if (*stop) {
      SetStatus(kStopped);
    }
  }
  if (reload_) {
    reload_ = false;
    QTimer::singleShot(0, this, [this] { cmdLoad_Click(); });
  }
}

bool ucChain::LoadPages(const std::string& ticker, const std::shared_ptr<bool>& stop,
                        unsigned serial) {
  AppEvents().SetBusy(true);
  // The rate of each expiry comes from the Treasury curve, read at most once an hour.
  const auto now = std::chrono::steady_clock::now();
  if (!curve_read_ || now - *curve_read_ > std::chrono::hours(1)) {
    SetStatus(kLoadingCurve);
    curve_.Browser = fetch_view_.get();
    curve_.StopFlag = stop.get();
    curve_read_.reset();
    if (!curve_.GrabFRBYieldCurve(zelBloombergData::cUS, curve_grid_) || *stop) {
      AppEvents().SetBusy(false);
      return false;
    }
    curve_read_ = now;
  }
  const std::string url = FeedOptionsUrl(ChainTickerOfRoot(ticker));
  if (url.empty()) {
    AppEvents().SetBusy(false);
    AppDialogs().Critical(kNoTickerMessage);
    return false;
  }
  SetStatus(kLoadingPage + ticker + " ...");
  // The chain is read from the direct fetch, never from the rendered page.
  // The bottom browser shows the file as every fetched page is shown, once
  // the table is (a 14 MB page keeps the web engine busy for seconds, which
  // the solve would otherwise share the cores with), or at once when the
  // fetch failed, so that the page says why.
  if (!LoadPage(*fetch_view_, url, *stop) || serial != serial_) {
    AppEvents().SetBusy(false);
    return false;
  }
  if (!fetch_view_->LoadFailure().empty() && browser_ != nullptr) {
    browser_->Navigate(url);
  }
  CheckPageLoaded(*fetch_view_, url);
  browser_url_ = url;
  std::string page = fetch_view_->TakeBody();
  AppEvents().SetBusy(false);
  if (*stop || serial != serial_) {
    return false;
  }
  StartSolve(std::move(page), ChainTickerOfRoot(ticker), serial);
  return true;
}

void ucChain::StartSolve(std::string page, std::string ticker, unsigned serial) {
  JoinFinishedWorkers();
  auto stop = std::make_shared<std::atomic<bool>>(false);
  auto solved = std::make_shared<std::atomic<std::size_t>>(0);
  auto total = std::make_shared<std::atomic<std::size_t>>(0);
  auto done = std::make_shared<std::atomic<bool>>(false);
  solve_stop_ = stop;
  solved_ = solved;
  total_ = total;
  SetStatus(kSolving + std::string("reading the chain ..."));
  progress_timer_->start();
  const Grid curve = curve_grid_;
  const auto now = std::chrono::system_clock::now();
  Worker worker;
  worker.done = done;
  worker.thread = std::thread([this, page = std::move(page), ticker = std::move(ticker), serial,
                               stop, solved, total, done, curve, now] {
    std::string message;
    std::shared_ptr<OptionChain> result;
    bool stopped = false;
    try {
      std::optional<OptionChain> chain = ParseOptionChain(page, now, message);
      if (chain && !chain->symbol.empty() && !SameTicker(chain->symbol, ticker)) {
        // Another underlying's file (a redirect, a cache): none of its figures.
        message = OtherSymbolMessage(FeedOptionsUrl(ticker), chain->symbol, ticker);
        chain.reset();
      }
      if (chain && !*stop) {
        const RateAt rate_at = [&curve, now](double years) {
          try {
            return ContinuousRateFromGrid(curve, static_cast<float>(years), now);
          } catch (...) {
            return std::numeric_limits<double>::quiet_NaN();  // refuses that expiry
          }
        };
        stopped = !SolveOptionChain(*chain, rate_at, [&](std::size_t n, std::size_t all) {
          solved->store(n);
          total->store(all);
          return !*stop;
        });
        result = std::make_shared<OptionChain>(std::move(*chain));
      } else if (chain) {
        stopped = true;
      }
    } catch (const std::exception& e) {
      message = e.what();
    }
    done->store(true);
    QMetaObject::invokeMethod(
        this,
        [this, serial, result, message, stopped] { SolveDone(serial, result, message, stopped); },
        Qt::QueuedConnection);
  });
  workers_.push_back(std::move(worker));
}

void ucChain::JoinFinishedWorkers() {
  for (auto it = workers_.begin(); it != workers_.end();) {
    if (it->done->load()) {
      it->thread.join();
      it = workers_.erase(it);
    } else {
      ++it;
    }
  }
}

void ucChain::ShowProgress() {
  if (!solved_ || !total_ || total_->load() == 0) {
    return;
  }
  SetStatus(kSolving + std::to_string(solved_->load()) + " of " + std::to_string(total_->load()) +
            " contracts ...");
}

void ucChain::Stop() {
  if (page_stop_) {
    *page_stop_ = true;
  }
  if (in_pages_) {
    fetch_view_->Stop();
  }
  if (solve_stop_) {
    *solve_stop_ = true;
  }
  reload_ = false;
}

void ucChain::SolveDone(unsigned serial, std::shared_ptr<OptionChain> chain,
                        const std::string& message, bool stopped) {
  JoinFinishedWorkers();
  if (serial != serial_) {
    return;  // a later load replaced this one
  }
  progress_timer_->stop();
  loading_ = false;
  const bool failed = !chain && !message.empty();
  if (!chain) {
    SetStatus(message.empty() ? std::string(kStopped) : message);
  } else {
    chain_ = std::move(chain);
    ShowChain();
    SetStatus(ChainSummary(stopped));
  }
  // The file goes to the bottom browser once the table is up (or the
  // message says what was wrong with the page it shows).
  if (browser_ != nullptr && !browser_url_.empty()) {
    browser_->Navigate(browser_url_);
  }
  browser_url_.clear();
  if (failed) {
    AppDialogs().Critical(message);
  }
}

std::string ucChain::ChainSummary(bool stopped) const {
  std::size_t own = 0;
  for (const ChainContract& c : chain_->contracts) {
    own += c.iv ? 1 : 0;
  }
  std::string text = chain_->symbol.empty() ? chain_->ticker : chain_->symbol;
  text += " " + FormatEntryNumber(chain_->spot, "#######0.00##");
  // The file's time to the minute ("2026-12-07 16:15").
  if (!chain_->timestamp.empty()) {
    text += " (" + chain_->timestamp.substr(0, 16) + ")";
  }
  text += ": " + std::to_string(chain_->contracts.size()) + " contracts, " + std::to_string(own) +
          " with own IV";
  if (stopped) {
    text += std::string(" (") + kStopped + " before all were solved)";
  }
  return text;
}

// --- showing -----------------------------------------------------------------

void ucChain::ShowChain() {
  const QSignalBlocker block(lst_expiry_);
  lst_expiry_->clear();
  int first_open = -1;
  for (std::size_t i = 0; i < chain_->expiries.size(); ++i) {
    const ChainExpiry& e = chain_->expiries[i];
    lst_expiry_->addItem(Q(ExpiryCaption(*chain_, e)));
    if (first_open < 0 && e.years > 0) {
      first_open = static_cast<int>(i);
    }
  }
  const int row = std::max(first_open, 0);
  model_->SetChain(chain_, static_cast<std::size_t>(row));
  tbl_chain_->horizontalHeader()->setSortIndicator(-1, Qt::AscendingOrder);
  if (!chain_->expiries.empty()) {
    lst_expiry_->setCurrentRow(row);
  }
  ShowExpiry();
  DrawSurface();
}

void ucChain::SetExpiry(int row) {
  if (!chain_ || row < 0 || row >= static_cast<int>(chain_->expiries.size())) {
    return;
  }
  if (lst_expiry_->currentRow() != row) {
    const QSignalBlocker block(lst_expiry_);
    lst_expiry_->setCurrentRow(row);
  }
  model_->SetExpiry(static_cast<std::size_t>(row));
  ShowExpiry();
}

void ucChain::ShowExpiry() {
  SizeColumns();
  if (const auto r = model_->NearestRow()) {
    tbl_chain_->scrollTo(model_->index(*r, model_->StrikeColumn()),
                         QAbstractItemView::PositionAtCenter);
  }
  DrawSmile();
}

void ucChain::SizeColumns() {
  model_->SetFont(tbl_chain_->font());
  tbl_chain_->resizeColumnsToContents();
  tbl_chain_->verticalHeader()->setDefaultSectionSize(tbl_chain_->fontMetrics().height() + 4);
}

void ucChain::DisplayChanged() {
  SizeColumns();
  DrawSmile();
  DrawSurface();
}

// --- handing contracts on -----------------------------------------------------

bool ucChain::eventFilter(QObject* watched, QEvent* event) {
  if (watched == tbl_chain_ && event->type() == QEvent::KeyPress) {
    const int key = static_cast<QKeyEvent*>(event)->key();
    if (key == Qt::Key_Return || key == Qt::Key_Enter) {
      ContractActivated(tbl_chain_->currentIndex());
      return true;
    }
  }
  return ScaledPanel::eventFilter(watched, event);
}

std::optional<std::size_t> ucChain::SelectedContract() const {
  return model_->ContractAt(tbl_chain_->currentIndex());
}

void ucChain::ContractActivated(const QModelIndex& index) {
  if (!chain_) {
    return;
  }
  const std::optional<std::size_t> i = model_->ContractAt(index);
  if (!i) {
    return;  // the strike column, or no contract at that strike
  }
  std::string message;
  const std::optional<ChainTerms> terms = TermsOfContract(*chain_, *i, message);
  if (!terms) {
    AppDialogs().Critical(message);
    return;
  }
  SetStatus(kSentToCalculator + terms->symbol);
  if (to_calculator_) {
    to_calculator_(*terms);
  }
}

void ucChain::cmdAddStrategy_Click() {
  const std::optional<std::size_t> i = chain_ ? SelectedContract() : std::optional<std::size_t>();
  if (!i) {
    AppDialogs().Critical(kNoContractMessage);
    return;
  }
  std::string message;
  const std::optional<ChainTerms> terms = TermsOfContract(*chain_, *i, message);
  if (!terms) {
    AppDialogs().Critical(message);
    return;
  }
  // The legs of one position share one underlying: the first contract of a
  // chain of another ticker starts a new position.
  const bool new_position = chain_->ticker != strategy_ticker_;
  if (!to_strategy_ || !to_strategy_(*terms, new_position)) {
    return;
  }
  strategy_ticker_ = chain_->ticker;
  std::string status = kAddedToStrategy + terms->symbol;
  if (new_position) {
    status += kNewPosition + (chain_->symbol.empty() ? chain_->ticker : chain_->symbol) + ")";
  }
  SetStatus(status);
}

}  // namespace stratlyn
