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
#include "charts/qt_canvas.h"
#include "charts/zel_draw.h"
#include "marketdata/exchange_time.h"
#include "marketdata/fetch_error.h"
#include "marketdata/occ_symbol.h"
#include "marketdata/page_wait.h"
#include "util/error_handler.h"
#include "util/format.h"
#include "util/services.h"
#include "util/zel_error.h"

namespace stratlyn {
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

constexpr uint32_t kPlotBack = 0xFFFFFF;
constexpr uint32_t kHeatMapBack = 0xFEFEFE;     // not the default white: never the theme's page
constexpr uint32_t kCallColour = 0x1F4E9A;      // dark blue
constexpr uint32_t kPutColour = 0xD02020;       // red
constexpr uint32_t kFeedCallColour = 0x7FA7D9;  // light blue
constexpr uint32_t kFeedPutColour = 0xF0A060;   // orange

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
constexpr const char* kSmileTitle = "Smile: implied volatility (%)";
constexpr const char* kSurfaceTitle = "IV %";
constexpr const char* kStrikeAxis = "Strike";
constexpr const char* kMoneynessAxis = "Moneyness (strike / spot)";
constexpr const char* kExpiryAxis = "Expiry";
constexpr const char* kNoSmile = "No contract of this expiry has an implied volatility";
constexpr const char* kAddedToStrategy = "Added to the strategy: ";
constexpr const char* kNewPosition = " (a new position on ";
constexpr const char* kSentToCalculator = "Priced in the calculator: ";

QString Q(const std::string& s) { return QString::fromStdString(s); }

std::string Upper(std::string s) {
  std::transform(s.begin(), s.end(), s.begin(),
                 [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
  return s;
}

std::string Trimmed(const QString& s) { return s.trimmed().toStdString(); }

// Blue (low) over green and yellow to red (high), for t in [0, 1].
uint32_t HeatColour(double t) {
  t = std::clamp(t, 0.0, 1.0);
  struct Stop {
    double at;
    int r, g, b;
  };
  static constexpr Stop kStops[] = {{0.0, 0x2C, 0x4B, 0xC8},
                                    {0.35, 0x2E, 0xA8, 0x6B},
                                    {0.7, 0xF2, 0xD0, 0x3B},
                                    {1.0, 0xD0, 0x20, 0x20}};
  for (std::size_t i = 1; i < std::size(kStops); ++i) {
    if (t <= kStops[i].at) {
      const Stop& a = kStops[i - 1];
      const Stop& b = kStops[i];
      const double u = (t - a.at) / (b.at - a.at);
      const auto mix = [u](int x, int y) {
        return static_cast<uint32_t>(std::lround(x + u * (y - x)));
      };
      return (mix(a.r, b.r) << 16) | (mix(a.g, b.g) << 8) | mix(a.b, b.b);
    }
  }
  return 0xD02020;
}

std::string Percent(double iv) { return FormatEntryNumber(iv * 100.0, "##0.0"); }

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
  if (page_stop_) *page_stop_ = true;
  if (solve_stop_) *solve_stop_ = true;
  for (Worker& w : workers_) {
    if (w.thread.joinable()) w.thread.join();
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
        if (a->isChecked()) shown.push_back(static_cast<ChainColumn>(a->data().toInt()));
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
  const std::string ticker = Upper(Trimmed(txt_ticker_->text()));
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
    if (!accepted) return;
  }
  // A solve still running belongs to the load before: it stops, and its
  // result is dropped.
  if (solve_stop_) *solve_stop_ = true;
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
    if (*stop) SetStatus(kStopped);
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
  if (!fetch_view_->LoadFailure().empty() && browser_ != nullptr) browser_->Navigate(url);
  CheckPageLoaded(*fetch_view_, url);
  browser_url_ = url;
  std::string page = fetch_view_->TakeBody();
  AppEvents().SetBusy(false);
  if (*stop || serial != serial_) return false;
  StartSolve(std::move(page), serial);
  return true;
}

void ucChain::StartSolve(std::string page, unsigned serial) {
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
  worker.thread = std::thread([this, page = std::move(page), serial, stop, solved, total, done,
                               curve, now] {
    std::string message;
    std::shared_ptr<OptionChain> result;
    bool stopped = false;
    try {
      std::optional<OptionChain> chain = ParseOptionChain(page, now, message);
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
  if (!solved_ || !total_ || total_->load() == 0) return;
  SetStatus(kSolving + std::to_string(solved_->load()) + " of " + std::to_string(total_->load()) +
            " contracts ...");
}

void ucChain::Stop() {
  if (page_stop_) *page_stop_ = true;
  if (in_pages_) fetch_view_->Stop();
  if (solve_stop_) *solve_stop_ = true;
  reload_ = false;
}

void ucChain::SolveDone(unsigned serial, std::shared_ptr<OptionChain> chain, std::string message,
                        bool stopped) {
  JoinFinishedWorkers();
  if (serial != serial_) return;  // a later load replaced this one
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
  if (browser_ != nullptr && !browser_url_.empty()) browser_->Navigate(browser_url_);
  browser_url_.clear();
  if (failed) AppDialogs().Critical(message);
}

std::string ucChain::ChainSummary(bool stopped) const {
  std::size_t own = 0;
  for (const ChainContract& c : chain_->contracts) own += c.iv ? 1 : 0;
  std::string text = chain_->symbol.empty() ? chain_->ticker : chain_->symbol;
  text += " " + FormatEntryNumber(chain_->spot, "#######0.00##");
  // The file's time to the minute ("2026-12-07 16:15").
  if (!chain_->timestamp.empty()) text += " (" + chain_->timestamp.substr(0, 16) + ")";
  text += ": " + std::to_string(chain_->contracts.size()) + " contracts, " + std::to_string(own) +
          " with own IV";
  if (stopped) text += std::string(" (") + kStopped + " before all were solved)";
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
    if (first_open < 0 && e.years > 0) first_open = static_cast<int>(i);
  }
  const int row = std::max(first_open, 0);
  model_->SetChain(chain_, static_cast<std::size_t>(row));
  tbl_chain_->horizontalHeader()->setSortIndicator(-1, Qt::AscendingOrder);
  if (!chain_->expiries.empty()) lst_expiry_->setCurrentRow(row);
  ShowExpiry();
  DrawSurface();
}

void ucChain::SetExpiry(int row) {
  if (!chain_ || row < 0 || row >= static_cast<int>(chain_->expiries.size())) return;
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

void ucChain::DrawSmile() {
  smile_shown_.clear();
  draw_smile_->Clear();
  if (!chain_ || chain_->expiries.empty()) return;
  const std::size_t e = model_->Expiry();
  const bool moneyness = cmb_smile_axis_->currentIndex() == 1;
  // The strikes the table shows (the filter applies to the smile too).
  std::vector<double> shown;
  for (int r = 0; r < model_->rowCount(); ++r) shown.push_back(model_->StrikeAt(r));
  double lo_x = 0, hi_x = 0, lo_y = 0, hi_y = 0;
  bool any = false;
  for (const SmilePoint& p : ExpirySmile(*chain_, e)) {
    if (std::find(shown.begin(), shown.end(), p.strike) == shown.end()) continue;
    SmileRow row{moneyness ? p.moneyness : p.strike, p.call_iv, p.put_iv, p.call_source_iv,
                 p.put_source_iv};
    if (!row.call && !row.put && !row.feed_call && !row.feed_put) continue;
    for (const auto& v : {row.call, row.put, row.feed_call, row.feed_put}) {
      if (!v || !std::isfinite(*v)) continue;
      if (!any) {
        lo_x = hi_x = row.x;
        lo_y = hi_y = *v;
        any = true;
      }
      lo_x = std::min(lo_x, row.x);
      hi_x = std::max(hi_x, row.x);
      lo_y = std::min(lo_y, *v);
      hi_y = std::max(hi_y, *v);
    }
    smile_shown_.push_back(row);
  }
  std::sort(smile_shown_.begin(), smile_shown_.end(),
            [](const SmileRow& a, const SmileRow& b) { return a.x < b.x; });
  draw_smile_->SetAxisCaptions(moneyness ? kMoneynessAxis : kStrikeAxis, "");
  if (!any) {
    draw_smile_->SetTitle(kNoSmile);
    return;
  }
  draw_smile_->SetTitle(kSmileTitle);
  if (!(hi_x > lo_x)) {
    lo_x -= 1;
    hi_x += 1;
  }
  lo_y *= 100;
  hi_y *= 100;
  // Room above the curves for the legend.
  const double pad = std::max(0.08 * (hi_y - lo_y), 0.5);
  const double y_top = hi_y + 5 * pad, y_bottom = std::max(0.0, lo_y - pad);
  draw_smile_->SetMinMax(static_cast<float>(y_top), zelDraw::kYMax);
  draw_smile_->SetMinMax(static_cast<float>(y_bottom), zelDraw::kYMin);
  draw_smile_->SetMinMax(static_cast<float>(lo_x), zelDraw::kXMin);
  draw_smile_->SetMinMax(static_cast<float>(hi_x), zelDraw::kXMax);
  draw_smile_->SetExternalScale();
  // Each series as a line through the strikes that have a figure, with a
  // dot at each; a strike without one is left out, never drawn as zero.
  const auto series = [&](std::optional<double> SmileRow::*field, uint32_t colour, int width) {
    pbox_smile_->SetForeColor(colour);
    pbox_smile_->SetDrawWidth(width);
    bool started = false;
    for (const SmileRow& r : smile_shown_) {
      const std::optional<double>& v = r.*field;
      if (!v || !std::isfinite(*v)) continue;
      if (started) {
        pbox_smile_->LineTo(r.x, *v * 100);
      } else {
        pbox_smile_->MoveTo(r.x, *v * 100);
        started = true;
      }
    }
    pbox_smile_->SetDrawWidth(width + 2);
    for (const SmileRow& r : smile_shown_) {
      const std::optional<double>& v = r.*field;
      if (v && std::isfinite(*v)) pbox_smile_->PSet(r.x, *v * 100);
    }
  };
  series(&SmileRow::feed_call, kFeedCallColour, 1);
  series(&SmileRow::feed_put, kFeedPutColour, 1);
  series(&SmileRow::call, kCallColour, 2);
  series(&SmileRow::put, kPutColour, 2);
  const double spot_x = moneyness ? 1.0 : chain_->spot;
  if (spot_x >= lo_x && spot_x <= hi_x) draw_smile_->SetMarker(spot_x, tr("spot").toStdString());
  // The legend, top left.
  const double step_x = 0.03 * (hi_x - lo_x);
  pbox_smile_->MoveTo(lo_x + step_x, y_top - 0.02 * (y_top - y_bottom));
  const std::pair<uint32_t, const char*> legend[] = {{kCallColour, "Calls (own)"},
                                                     {kPutColour, "Puts (own)"},
                                                     {kFeedCallColour, "Calls (feed)"},
                                                     {kFeedPutColour, "Puts (feed)"}};
  for (const auto& [colour, text] : legend) {
    pbox_smile_->SetForeColor(colour);
    pbox_smile_->MoveTo(lo_x + step_x, pbox_smile_->CurrentY());
    pbox_smile_->Print(tr(text).toStdString());
  }
  pbox_smile_->Refresh();
}

void ucChain::DrawSurface() {
  surface_shown_.clear();
  draw_surface_->Clear();
  if (!chain_) return;
  const bool moneyness = cmb_smile_axis_->currentIndex() == 1;
  // The volatility of each strike is that of its out-of-the-money side (the
  // put below the spot, the call above), or the other side's where that one
  // has none; a strike with neither is left blank.
  struct Row {
    std::size_t expiry;
    int days;
    std::vector<std::pair<double, double>> cells;  // (x, iv)
  };
  std::vector<Row> rows;
  double lo_x = 0, hi_x = 0, lo_v = 0, hi_v = 0;
  bool any = false;
  for (std::size_t i = 0; i < chain_->expiries.size(); ++i) {
    const ChainExpiry& e = chain_->expiries[i];
    if (!(e.years > 0)) continue;
    Row row{i, e.days, {}};
    for (const SmilePoint& p : ExpirySmile(*chain_, i)) {
      // Far wings (beyond half and twice the spot) would squeeze the money.
      if (p.moneyness < 0.5 || p.moneyness > 2.0) continue;
      const bool below = p.strike < chain_->spot;
      std::optional<double> iv = below ? p.put_iv : p.call_iv;
      if (!iv) iv = below ? p.call_iv : p.put_iv;
      if (!iv || !std::isfinite(*iv)) continue;
      const double x = moneyness ? p.moneyness : p.strike;
      row.cells.emplace_back(x, *iv);
      if (!any) {
        lo_x = hi_x = x;
        lo_v = hi_v = *iv;
        any = true;
      }
      lo_x = std::min(lo_x, x);
      hi_x = std::max(hi_x, x);
      lo_v = std::min(lo_v, *iv);
      hi_v = std::max(hi_v, *iv);
    }
    if (!row.cells.empty()) rows.push_back(std::move(row));
  }
  draw_surface_->SetAxisCaptions(moneyness ? kMoneynessAxis : kStrikeAxis, kExpiryAxis);
  if (!any) {
    draw_surface_->SetTitle(kNoSmile);
    return;
  }
  // The colours span the 5th to the 95th percentile, so that a few wing
  // figures of the nearest expiry do not wash out the rest; the title says
  // where the scale ends.
  std::vector<double> all;
  for (const Row& r : rows) {
    for (const auto& cell : r.cells) all.push_back(cell.second);
  }
  std::sort(all.begin(), all.end());
  const auto quantile = [&all](double q) {
    return all[static_cast<std::size_t>(std::lround(q * static_cast<double>(all.size() - 1)))];
  };
  lo_v = quantile(0.05);
  hi_v = quantile(0.95);
  draw_surface_->SetTitle(std::string(kSurfaceTitle) + ": blue \u2264 " + Percent(lo_v) +
                          ", red \u2265 " + Percent(hi_v));
  if (!(hi_x > lo_x)) {
    lo_x -= 1;
    hi_x += 1;
  }
  // One band per expiry, the nearest at the bottom: band r spans r + 0.5 to
  // r + 1.5, so that the tick "1" marks the first.
  draw_surface_->SetMinMax(static_cast<float>(rows.size() + 0.5), zelDraw::kYMax);
  draw_surface_->SetMinMax(0.5f, zelDraw::kYMin);
  draw_surface_->SetMinMax(static_cast<float>(lo_x), zelDraw::kXMin);
  draw_surface_->SetMinMax(static_cast<float>(hi_x), zelDraw::kXMax);
  draw_surface_->SetGridLines(false);
  draw_surface_->SetExternalScale();
  pbox_surface_->SetFillStyle(FillStyle::Solid);
  pbox_surface_->SetDrawWidth(1);
  const double span = hi_v > lo_v ? hi_v - lo_v : 1.0;
  for (std::size_t r = 0; r < rows.size(); ++r) {
    const auto& cells = rows[r].cells;
    const double bottom = static_cast<double>(r) + 0.5, top = bottom + 1.0;
    for (std::size_t c = 0; c < cells.size(); ++c) {
      const double x = cells[c].first;
      const double half = (hi_x - lo_x) / 400;
      const double left = c == 0 ? x - half : (cells[c - 1].first + x) / 2;
      const double right = c + 1 == cells.size() ? x + half : (x + cells[c + 1].first) / 2;
      const uint32_t colour = HeatColour((cells[c].second - lo_v) / span);
      pbox_surface_->SetForeColor(colour);
      pbox_surface_->SetFillColor(colour);
      pbox_surface_->Box(std::max(left, lo_x), bottom, std::min(right, hi_x), top);
      surface_shown_.push_back({rows[r].expiry, x, cells[c].second});
    }
  }
  // Each band's days to expiry, at its left end.
  pbox_surface_->SetForeColor(0x000000);
  for (std::size_t r = 0; r < rows.size(); ++r) {
    pbox_surface_->MoveTo(lo_x + (hi_x - lo_x) * 0.01, static_cast<double>(r) + 1.35);
    pbox_surface_->Print(std::to_string(rows[r].days) + " d");
  }
  pbox_surface_->SetFillStyle(FillStyle::Transparent);
  pbox_surface_->Refresh();
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
  if (!chain_) return;
  const std::optional<std::size_t> i = model_->ContractAt(index);
  if (!i) return;  // the strike column, or no contract at that strike
  std::string message;
  const std::optional<ChainTerms> terms = TermsOfContract(*chain_, *i, message);
  if (!terms) {
    AppDialogs().Critical(message);
    return;
  }
  SetStatus(kSentToCalculator + terms->symbol);
  if (to_calculator_) to_calculator_(*terms);
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
  if (!to_strategy_ || !to_strategy_(*terms, new_position)) return;
  strategy_ticker_ = chain_->ticker;
  std::string status = kAddedToStrategy + terms->symbol;
  if (new_position) {
    status += kNewPosition + (chain_->symbol.empty() ? chain_->ticker : chain_->symbol) + ")";
  }
  SetStatus(status);
}

}  // namespace stratlyn
