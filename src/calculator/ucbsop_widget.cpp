#include "calculator/ucbsop_widget.h"

#include <QAbstractButton>
#include <QCheckBox>
#include <QComboBox>
#include <QDate>
#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollBar>
#include <QStyle>
#include <algorithm>
#include <initializer_list>

#include "calculator/barrier_widget.h"
#include "charts/qt_scalable_control.h"
#include "marketdata/zel_bloomberg_data.h"
#include "util/locale_info.h"
#include "util/qt_grid_model.h"
#include "util/services.h"

namespace stratlyn {
namespace {

QString Q(const std::string& s) { return QString::fromStdString(s); }
std::string S(const QString& s) { return s.toStdString(); }

constexpr const char* kQuoteTypes[] = {"Stock or Index", "Mid-Month Currency",
                                       "Month-End Currency"};

// Tooltips of the panel's controls.
constexpr const char* kTipDate = "Date";
constexpr const char* kTipImpVol = "Select this to calculate the implied volatility";
constexpr const char* kTipCalculate =
    "Click to calculate the option value and the hedge parameters";
constexpr const char* kTipCopyData =
    "Click to copy the calculated values as well as the data for the calculation";
constexpr const char* kTipGetStkQuote =
    "Click to get a delayed quote for the underlying security from the CBOE";
constexpr const char* kTipGetOption =
    "Click to get a delayed quote for the option with the specified maturity and strike from the "
    "CBOE";
constexpr const char* kTipReparseStock =
    "If you have loaded the CBOE page with the underlying quote in the bottom window, click this "
    "button to extract the price from that page.";
constexpr const char* kTipReparseOption =
    "If you have loaded the CBOE page with the option quote in the bottom window, click this "
    "button to extract the price from that page.";
constexpr const char* kTipInterestRate =
    "Click to interpolate an interest rate from the Federal Reserve";
constexpr const char* kTipDivYield =
    "Click to get a  dividend yield CBOE if the underlying is a stock";

// The status label while the rate series load: series %1 of %2.
constexpr const char* kSeriesLoading = "Loading rate series %1 of %2";

// Geometry of the controls in twips.
constexpr int kRowPitch = 360;
constexpr int kRowHeight = 300;
constexpr int kMarketTop = 3400;
constexpr int kMarketPitch = 380;

}  // namespace

template <typename W>
W* ucBSOP::Place(W* widget, int left, int top, int width, int height) {
  auto control = std::make_unique<QtScalableControl>(widget);
  control->SetBox({left, top, width, height});
  scalables_.push_back(std::move(control));
  controls_.push_back(widget);
  return widget;
}

ucBSOP::ucBSOP(QWidget* parent) : QWidget(parent) {
  setObjectName("ucBSOP1");
  QFont font = this->font();
  font.setPointSize(8);
  setFont(font);
  setAutoFillBackground(true);
  resize(TwipsToPx(kDesignWidth), TwipsToPx(kDesignHeight));
  CreateControls();
  market_ = std::make_unique<MarketCommands>(grid1_->grid());
  FitCurveColumns();
  // The status label follows the rate series as they load; the bar counts
  // the same series ("6 of 10" in both while the sixth loads). Idle, the
  // label shows nothing.
  market_->SetProgress([this](int done, int total) {
    lbl_inet_->setText(total > 0 ? QString(kSeriesLoading).arg(done + 1).arg(total) : QString());
    series_progress_->setVisible(total > 0);
    if (total > 0) {
      series_progress_->setRange(0, total);
      series_progress_->setValue(done + 1);
    }
  });
  UserControl_Initialize();
}

ucBSOP::~ucBSOP() = default;

void ucBSOP::CreateControls() {
  // Option terms: the seven fields and the date.
  for (int i = 0; i < 7; ++i) {
    const int top = 120 + kRowPitch * i;
    aa_[i] = Place(new QLabel(bsop_text::kFieldCaptions[i], this), 60, top, 1650, kRowHeight);
    text1_[i] = Place(new QLineEdit(this), 1750, top, 1100, kRowHeight);
    text1_[i]->setObjectName(QString("Text1_%1").arg(i));
  }
  lbl_date_ = Place(new QLabel("Date", this), 60, 120 + kRowPitch * 7, 1650, kRowHeight);
  txt_date_ = Place(new QLineEdit(this), 1750, 120 + kRowPitch * 7, 1100, kRowHeight);
  txt_date_->setToolTip(kTipDate);
  for (QLabel* label : aa_) {
    label->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
  }

  // Exercise style and option type, each pair in its own frame.
  fra_exercise_ = Place(new QFrame(this), 3050, 100, 1950, 660);
  fra_type_ = Place(new QFrame(this), 5100, 100, 2040, 660);
  for (QFrame* frame : {fra_exercise_, fra_type_}) {
    frame->setFrameStyle(QFrame::StyledPanel | QFrame::Sunken);
  }
  chk_amer_ = Place(new QRadioButton("American", fra_exercise_), 90, 45, 1800, 270);
  chk_euro_ = Place(new QRadioButton("European", fra_exercise_), 90, 345, 1800, 270);
  chk_put_ = Place(new QRadioButton("Put Option", fra_type_), 90, 45, 1890, 270);
  chk_call_ = Place(new QRadioButton("Call Option", fra_type_), 90, 345, 1890, 270);
  chk_euro_->setChecked(true);
  chk_call_->setChecked(true);

  chk_imp_vol_ = Place(new QCheckBox("Implied Volatility", this), 3050, 860, 4090, kRowHeight);
  chk_imp_vol_->setToolTip(kTipImpVol);
  cmd_calculate_ = Place(new QPushButton("Calculate", this), 3050, 1220, 1950, 360);
  cmd_calculate_->setToolTip(kTipCalculate);
  cmd_calculate_->setDefault(true);
  cmd_copy_data_ = Place(new QPushButton("Copy All", this), 5100, 1220, 2040, 360);
  cmd_copy_data_->setToolTip(kTipCopyData);

  // Results.
  lbl_price_ = Place(new QLabel(bsop_text::kPriceCaption, this), 3050, 1700, 4090, kRowHeight);
  lbl_price_->setObjectName("lblPrice");
  QLabel** results[] = {&lbl_delta_, &lbl_gamma_, &lbl_vega_, &lbl_theta_};
  for (int i = 0; i < 4; ++i) {
    const int top = 2060 + 300 * i;
    // The captions say the unit (BsopPanel::GreekCaptions); the object names
    // stay the plain ones.
    grk_[i] = Place(new QLabel(Q(BsopPanel::GreekCaptions(GreekUnits::kPerUnit)[i]), this), 3050,
                    top, 1800, 280);
    *results[i] = Place(new QLabel(this), 4900, top, 2240, 280);
    (*results[i])->setObjectName(QString("lbl%1").arg(bsop_text::kGreekCaptions[i]));
    (*results[i])->setTextInteractionFlags(Qt::TextSelectableByMouse);
  }
  lbl_price_->setTextInteractionFlags(Qt::TextSelectableByMouse);

  // The market-data part, below a line across the panel.
  line_ = new LineControl(this);
  line_->SetEnds({60, kMarketTop - 120, kDesignWidth - 60, kMarketTop - 120});
  scalables_.push_back(std::make_unique<QtScalableLine>(line_));
  controls_.push_back(line_);

  const int r1 = kMarketTop, r2 = r1 + kMarketPitch, r3 = r2 + kMarketPitch;
  const int r4 = r3 + kMarketPitch, r5 = r4 + kMarketPitch;
  lbl_stock_ticker_ = Place(new QLabel("Underlying Ticker", this), 60, r1, 1480, kRowHeight);
  txt_stock_ticker_ = Place(new QLineEdit(this), 1560, r1, 860, kRowHeight);
  cmd_get_stk_quote_ =
      Place(new QPushButton("Get Underlying Price", this), 2500, r1 - 15, 2000, 330);
  cmd_get_stk_quote_->setToolTip(kTipGetStkQuote);
  cmd_reparse_stock_ = Place(new QPushButton("Parse", this), 4580, r1 - 15, 700, 330);
  cmd_reparse_stock_->setToolTip(kTipReparseStock);

  // An OCC option symbol ("AAPL270115C00150000") is nineteen characters:
  // the field takes the room its row's label and buttons leave.
  lbl_option_ticker_ = Place(new QLabel("Option Ticker", this), 60, r2, 1100, kRowHeight);
  txt_option_ticker_ = Place(new QLineEdit(this), 1170, r2, 2160, kRowHeight);
  cmd_get_option_ = Place(new QPushButton("Get Option Price", this), 3345, r2 - 15, 1470, 330);
  cmd_get_option_->setToolTip(kTipGetOption);
  cmd_reparse_option_ = Place(new QPushButton("Parse", this), 4830, r2 - 15, 555, 330);
  cmd_reparse_option_->setToolTip(kTipReparseOption);

  cmb_quote_type_ = Place(new QComboBox(this), 60, r3, 2340, kRowHeight);
  cmb_maturity_ = Place(new QComboBox(this), 2500, r3, 1400, kRowHeight);
  lbl_strike_ = Place(new QLabel("Strike", this), 3980, r3, 560, kRowHeight);
  cmb_strike_ = Place(new QComboBox(this), 4580, r3, 700, kRowHeight);

  cmb_exchange_ = Place(new QComboBox(this), 60, r4, 2340, kRowHeight);
  cmd_get_interest_rate_ =
      Place(new QPushButton("Get Interest Rate", this), 2500, r4 - 15, 2780, 330);
  cmd_get_interest_rate_->setToolTip(kTipInterestRate);
  cmd_div_yield_ = Place(new QPushButton("Get Dividend Yield", this), 60, r5 - 15, 2340, 330);
  cmd_div_yield_->setToolTip(kTipDivYield);
  cmd_histo_vol_ =
      Place(new QPushButton("CBOE Historical Volatilities", this), 2500, r5 - 15, 2780, 330);

  grid1_ = Place(new GridView(this), 5400, r1 - 15, 1740, r5 + 315 - r1);
  lbl_inet_ = Place(new QLabel(this), 60, r5 + 400, 3400, 280);
  lbl_inet_->setObjectName("lblInet");
  // Shown while the rate series load: series i of 10.
  series_progress_ = Place(new QProgressBar(this), 3550, r5 + 420, 3590, 240);
  series_progress_->setObjectName("seriesProgress");
  series_progress_->setFormat("%v of %m");
  series_progress_->hide();

  CreateBarrierControls();

  for (QWidget* w : controls_) {
    if (auto* button = qobject_cast<QPushButton*>(w)) {
      button->setAutoDefault(false);
    }
  }
  cmd_calculate_->setAutoDefault(true);

  connect(cmd_calculate_, &QPushButton::clicked, this, &ucBSOP::cmdCalculate_Click);
  connect(cmd_copy_data_, &QPushButton::clicked, this, &ucBSOP::cmdCopyData_Click);
  // Enter in an entry field calculates, as the default button does in a dialog.
  for (QLineEdit* field : text1_) {
    connect(field, &QLineEdit::returnPressed, this, &ucBSOP::cmdCalculate_Click);
  }
  // Any change of an input, typed, pasted, fetched or switched, takes the
  // value and Greeks of the inputs before off the screen.
  for (QLineEdit* field : text1_) {
    connect(field, &QLineEdit::textChanged, this, &ucBSOP::TermChanged);
  }
  connect(txt_date_, &QLineEdit::textChanged, this, &ucBSOP::TermChanged);
  for (QAbstractButton* choice :
       std::initializer_list<QAbstractButton*>{chk_amer_, chk_put_, chk_imp_vol_}) {
    connect(choice, &QAbstractButton::toggled, this, &ucBSOP::TermChanged);
  }
  connect(cmd_get_stk_quote_, &QPushButton::clicked, this,
          [this] { RunMarket(&MarketCommands::cmdGetStkQuote_Click); });
  connect(cmd_get_option_, &QPushButton::clicked, this,
          [this] { RunMarket(&MarketCommands::cmdGetOption_Click); });
  connect(cmd_reparse_stock_, &QPushButton::clicked, this,
          [this] { RunMarket(&MarketCommands::cmdReparseStock_Click); });
  connect(cmd_reparse_option_, &QPushButton::clicked, this,
          [this] { RunMarket(&MarketCommands::cmdReparseOption_Click); });
  connect(cmd_get_interest_rate_, &QPushButton::clicked, this, [this] {
    RunMarket(&MarketCommands::cmdGetInterestRate_Click);
    FitCurveColumns();
  });
  connect(cmd_div_yield_, &QPushButton::clicked, this,
          [this] { RunMarket(&MarketCommands::cmdDivYield_Click); });
  connect(cmd_histo_vol_, &QPushButton::clicked, this, [this] {
    RunMarket(
        static_cast<void (MarketCommands::*)(MarketFields&)>(&MarketCommands::cmdHistoVol_Click));
    FitCurveColumns();
  });
  // A click on a volatility row of the grid puts it into the volatility field.
  connect(grid1_, &GridView::CellClicked, this, [this](int row, int /*col*/) {
    MarketFields fields = ReadMarketFields();
    const MarketFields before = fields;
    market_->GridClicked(row, fields);
    WriteMarketFields(fields, before);
    if (!fields.status.empty()) {
      lbl_inet_->setText(Q(fields.status));
    }
  });
}

void ucBSOP::RegisterDisplay() {
  uc_width_ = kDesignWidth;
  uc_height_ = kDesignHeight;
  display_.Initialize(uc_width_, uc_height_, static_cast<int16_t>(scalables_.size()));
  for (size_t i = 0; i < scalables_.size(); ++i) {
    display_.SetUpDisplay(static_cast<int16_t>(i), *scalables_[i]);
  }
}

void ucBSOP::UserControl_Initialize() {
  RegisterDisplay();

  for (const char* type : kQuoteTypes) {
    cmb_quote_type_->addItem(type);
  }
  cmb_quote_type_->setCurrentIndex(0);

  const auto& names = CurrentEntryLocale().month_names;
  for (int m = 0; m < 12; ++m) {
    cmb_maturity_->addItem(names[m].empty() ? kEnglishMonthNames[m] : Q(names[m]));
  }
  // The month after the current one (January after December).
  const int month = QDate::currentDate().month();
  cmb_maturity_->setCurrentIndex(month == 12 ? 0 : month);

  cmb_exchange_->addItem(kExchangeCboe);
  cmb_exchange_->addItem(kExchangeCboeFeed);
  // The JSON feed is what the exchange serves today; its HTML page stays
  // selectable for mirrors that still serve it.
  cmb_exchange_->setCurrentIndex(1);

  logic_.InitializeFields();
  txt_date_->setText(Q(logic_.fields.txtDate));
  for (int i = 0; i < 7; ++i) {
    text1_[i]->setText(Q(logic_.fields.Text1[i]));
  }

  cmdCalculate_Click();
  AppEvents().ProcessPending();
}

void ucBSOP::ReadFields() {
  BsopFields& f = logic_.fields;
  for (int i = 0; i < 7; ++i) {
    f.Text1[i] = S(text1_[i]->text());
  }
  f.txtDate = S(txt_date_->text());
  f.chkEuro = chk_euro_->isChecked();
  f.chkPut = chk_put_->isChecked();
  f.chkImpVol = chk_imp_vol_->isChecked();
  f.lblPrice = S(lbl_price_->text());
  f.lblDelta = S(lbl_delta_->text());
  f.lblGamma = S(lbl_gamma_->text());
  f.lblVega = S(lbl_vega_->text());
  f.lblTheta = S(lbl_theta_->text());
}

void ucBSOP::WriteFields(const BsopFields& before) {
  // Only what the command changed: the user may have typed into other
  // fields while the command let events run.
  const BsopFields& f = logic_.fields;
  writing_ = true;
  struct Done {
    bool& flag;
    ~Done() { flag = false; }
  } done{writing_};
  for (int i = 0; i < 7; ++i) {
    if (f.Text1[i] != before.Text1[i]) {
      text1_[i]->setText(Q(f.Text1[i]));
    }
  }
  if (f.txtDate != before.txtDate) {
    txt_date_->setText(Q(f.txtDate));
  }
  if (f.lblPrice != before.lblPrice) {
    lbl_price_->setText(Q(f.lblPrice));
  }
  if (f.lblDelta != before.lblDelta) {
    lbl_delta_->setText(Q(f.lblDelta));
  }
  if (f.lblGamma != before.lblGamma) {
    lbl_gamma_->setText(Q(f.lblGamma));
  }
  if (f.lblVega != before.lblVega) {
    lbl_vega_->setText(Q(f.lblVega));
  }
  if (f.lblTheta != before.lblTheta) {
    lbl_theta_->setText(Q(f.lblTheta));
  }
}

void ucBSOP::SetGreekUnits(GreekUnits units) {
  ReadFields();
  const BsopFields before = logic_.fields;
  logic_.SetGreekUnits(units);
  WriteFields(before);
  const std::array<std::string, 4> captions = BsopPanel::GreekCaptions(units);
  for (int i = 0; i < 4; ++i) {
    grk_[i]->setText(Q(captions[i]));
  }
  barrier_->SetGreekUnits(units);
}

void ucBSOP::CreateBarrierControls() {
  BarrierControls::Panel panel;
  panel.price = lbl_price_;
  panel.greeks = {lbl_delta_, lbl_gamma_, lbl_vega_, lbl_theta_};
  panel.volatility = text1_[kVolatilityField];
  panel.inputs.assign(text1_.begin(), text1_.end());
  panel.inputs.push_back(txt_date_);
  panel.choices = {chk_amer_, chk_euro_, chk_put_, chk_call_, chk_imp_vol_};
  panel.read_option = [this](BarrierInputs& in) {
    if (!GetParameters(in.terms)) {
      return false;
    }
    in.implied = chk_imp_vol_->isChecked();
    return true;
  };
  barrier_ = std::make_unique<BarrierControls>(this, std::move(panel));
  // A barrier kind chosen or dropped: the plain option's figures go too.
  connect(barrier_->cmbBarrier(), &QComboBox::currentIndexChanged, this, &ucBSOP::InputChanged);
  // Under the Date row, above the market-data line.
  const int top = 120 + kRowPitch * 8 - 10;
  Place(barrier_->cmbBarrier(), 60, top, 1650, 270);
  Place(barrier_->txtBarrier(), 1750, top, 520, 270);
  Place(barrier_->txtRebate(), 2330, top, 520, 270);
}

void ucBSOP::ShowResults() {
  const BsopFields& f = logic_.fields;
  lbl_price_->setText(Q(f.lblPrice));
  lbl_delta_->setText(Q(f.lblDelta));
  lbl_gamma_->setText(Q(f.lblGamma));
  lbl_vega_->setText(Q(f.lblVega));
  lbl_theta_->setText(Q(f.lblTheta));
}

BsopFields ucBSOP::ScreenFields() const {
  BsopFields now = logic_.fields;
  for (int i = 0; i < 7; ++i) {
    now.Text1[i] = S(text1_[i]->text());
  }
  now.txtDate = S(txt_date_->text());
  now.chkEuro = chk_euro_->isChecked();
  now.chkPut = chk_put_->isChecked();
  now.chkImpVol = chk_imp_vol_->isChecked();
  return now;
}

void ucBSOP::TermChanged() {
  if (writing_) {
    return;  // the panel's own writing (the solved volatility)
  }
  // Figures stay only while the terms on screen are those they were
  // computed from: a signal that leaves them as they were (a field set to
  // its own text, from a handler run during the lattice's events) would
  // otherwise leave the value blank with no word why.
  // During a run the fields written at its end (the solved volatility) are
  // not on screen yet: the run's figures are checked against the screen
  // when it ends.
  if (logic_.Calculating() || logic_.ResultsBelongTo(ScreenFields())) {
    return;
  }
  InputChanged();
}

void ucBSOP::InputChanged() {
  if (writing_) {
    return;  // the panel's own writing (the solved volatility)
  }
  // During a run the run's inputs were taken already; its figures are
  // checked against the screen when it ends.
  logic_.ClearResults();
  ShowResults();
}

void ucBSOP::cmdCalculate_Click() {
  // A second Calculate or Enter while the lattice lets events run is
  // ignored: the fields stay those of the run in progress.
  if (logic_.Calculating()) {
    return;
  }
  if (barrier_->Chosen()) {
    barrier_->Calculate();
    return;
  }
  ReadFields();
  const BsopFields before = logic_.fields;
  // The labels are cleared before the pricing runs; show that at once.
  logic_.ClearResults();
  ShowResults();
  logic_.cmdCalculate_Click();
  WriteFields(before);
  // An input changed while the run let events run: its figures are not
  // those of the inputs on screen.
  logic_.DropStaleResults(ScreenFields());
  ShowResults();
}

void ucBSOP::cmdCopyData_Click() {
  if (logic_.Calculating()) {
    return;  // no figures yet; the fields belong to the run
  }
  if (barrier_->Chosen()) {
    std::array<std::string, 7> fields;
    for (int i = 0; i < 7; ++i) {
      fields[i] = text1_[i]->text().toStdString();
    }
    Clipboard& clipboard = AppClipboard();
    clipboard.Clear();
    clipboard.SetText(barrier_->CopyText(fields));
    return;
  }
  ReadFields();
  logic_.cmdCopyData_Click();
}

bool ucBSOP::GetParameters(OptionTerms& terms) {
  ReadFields();
  return logic_.GetParameters(terms);
}

bool ucBSOP::isPutOption() const { return chk_put_->isChecked(); }

void ucBSOP::SetStockQuote(const QString& txt) {
  text1_[kUnderlyingField]->setText(txt);
  AppEvents().ProcessPending();
}
void ucBSOP::SetOptionQuote(const QString& txt) { text1_[kOptionPriceField]->setText(txt); }
void ucBSOP::SetOptionStrike(const QString& txt) { text1_[kStrikeField]->setText(txt); }
void ucBSOP::SetOptionMaturity(const QString& txt) { text1_[kMaturityField]->setText(txt); }

void ucBSOP::setBrowsers(BrowserView* b1, BrowserView* b2) {
  browser1_ = b1;
  browser2_ = b2;
  market_->SetBrowser(b2);
  AppEvents().ProcessPending();
}

void ucBSOP::ClearAll() {
  browser1_ = nullptr;
  browser2_ = nullptr;
  market_->SetBrowser(nullptr);
}

void ucBSOP::EnlargeFont() {
  display_.EnlargeFont(uc_width_, uc_height_);
  resize(TwipsToPx(uc_width_), TwipsToPx(uc_height_));
  FitCurveColumns();
}

void ucBSOP::ReduceFont() {
  display_.ReduceFont(uc_width_, uc_height_);
  resize(TwipsToPx(uc_width_), TwipsToPx(uc_height_));
  FitCurveColumns();
}

void ucBSOP::FitCurveColumns() {
  Grid& grid = grid1_->grid();
  // An empty grid is a strip of blank cells without headings: it stays
  // hidden until a command has put something in it.
  bool filled = false;
  for (int r = 0; r < grid.Rows() && !filled; ++r) {
    for (int c = 0; c < grid.Cols() && !filled; ++c) {
      filled = !grid.TextMatrix(r, c).empty();
    }
  }
  grid1_->setVisible(filled);
  if (grid.Cols() <= zelBloombergData::colPrice) {
    return;  // no curve fetched
  }
  const QFontMetrics metrics(grid1_->font());
  // A cell draws its text inside the focus frame's margins and the grid line.
  const int padding =
      2 * (grid1_->style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, grid1_) + 1) + 1 +
      metrics.horizontalAdvance(QLatin1Char('0')) / 2;
  for (int c = 0; c < grid.Cols(); ++c) {
    int px = 0;
    for (int r = 0; r < grid.Rows(); ++r) {
      px = std::max(px, metrics.horizontalAdvance(Q(grid.TextMatrix(r, c))));
    }
    grid.SetColWidth(c, (px + padding) * kTwipsPerPixel);
  }
  // The label column is empty, so the term and its yield come first.
  grid1_->horizontalScrollBar()->setValue(0);
}

MarketFields ucBSOP::ReadMarketFields() const {
  MarketFields f;
  f.stock_ticker = S(txt_stock_ticker_->text());
  f.option_ticker = S(txt_option_ticker_->text());
  f.exchange = S(cmb_exchange_->currentText());
  f.maturity_month = cmb_maturity_->currentIndex();
  f.maturity_month_name = S(cmb_maturity_->currentText());
  f.date = S(txt_date_->text());
  f.underlying_price = S(text1_[kUnderlyingField]->text());
  f.interest_rate = S(text1_[kRateField]->text());
  f.maturity = S(text1_[kMaturityField]->text());
  f.strike = S(text1_[kStrikeField]->text());
  f.dividend_yield = S(text1_[kDividendField]->text());
  f.option_price = S(text1_[kOptionPriceField]->text());
  f.volatility = S(text1_[kVolatilityField]->text());
  return f;
}

void ucBSOP::WriteMarketFields(const MarketFields& f, const MarketFields& before) {
  auto put = [](QLineEdit* edit, const std::string& now, const std::string& was) {
    if (now != was) {
      edit->setText(Q(now));
    }
  };
  put(txt_stock_ticker_, f.stock_ticker, before.stock_ticker);
  put(txt_option_ticker_, f.option_ticker, before.option_ticker);
  put(txt_date_, f.date, before.date);
  put(text1_[kUnderlyingField], f.underlying_price, before.underlying_price);
  put(text1_[kRateField], f.interest_rate, before.interest_rate);
  put(text1_[kMaturityField], f.maturity, before.maturity);
  put(text1_[kStrikeField], f.strike, before.strike);
  put(text1_[kDividendField], f.dividend_yield, before.dividend_yield);
  put(text1_[kOptionPriceField], f.option_price, before.option_price);
  put(text1_[kVolatilityField], f.volatility, before.volatility);
  if (f.maturity_month != before.maturity_month && f.maturity_month >= 0 && f.maturity_month < 12) {
    cmb_maturity_->setCurrentIndex(f.maturity_month);
  }
}

void ucBSOP::RunMarket(void (MarketCommands::*command)(MarketFields&)) {
  MarketFields fields = ReadMarketFields();
  const MarketFields before = fields;
  (market_.get()->*command)(fields);
  WriteMarketFields(fields, before);
  FitCurveColumns();  // shows the grid once a command has filled it
  // What the command took (the price's source, the maturity counted).
  if (!fields.status.empty()) {
    lbl_inet_->setText(Q(fields.status));
  }
}

}  // namespace stratlyn
