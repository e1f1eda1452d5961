// ucStrategy: the strategy panel's controls, the legs table and its
// templates, the chosen date, Calculate and the figures; the profit plot and
// its image are drawn in ucstrategy_plot_widget.cpp.

#include "strategy/ucstrategy_widget.h"

#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QComboBox>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPushButton>
#include <QSlider>
#include <QStyle>
#include <algorithm>
#include <chrono>
#include <cmath>
#include <exception>
#include <vector>

#include "charts/qt_canvas.h"
#include "charts/zel_draw.h"
#include "strategy/leg_text.h"
#include "strategy/strategy_plot_style.h"
#include "util/dates.h"
#include "util/error_handler.h"
#include "util/format.h"
#include "util/numeric_entry.h"
#include "util/qt_file_dialogs.h"
#include "util/qt_grid_model.h"
#include "util/services.h"

namespace stratlyn {

using namespace strategy_plot;

namespace {

// Geometry in twips (the panel is kDesignWidth x kDesignHeight).
constexpr int kLeft = 60;
constexpr int kColumnWidth = 3840;
constexpr int kRowHeight = 300;
constexpr int kLabelHeight = 285;
constexpr int kTableHeight = 1100;
constexpr int kPlotTop = 60;
constexpr int kPlotHeight = 4080;
constexpr int kYLabelLeft = 3990;
constexpr int kYLabelWidth = 660;
constexpr int kGap = 45;
// Between a label and the field beside it, so that the two stay apart after
// the large display has rounded both to pixels.
constexpr int kLabelGap = 40;
// The large display stretches positions more than the panel (the top 400
// twips are left out of its ratio): every control ends above this.
constexpr int kContentBottom = ucStrategy::kDesignHeight - 420;

// The date field's name in a message about its entry.
constexpr const char* kAtDateField = "At date";
constexpr const char* kBadWidthEntry = "The width must be a positive number";

QString Q(const std::string& s) { return QString::fromStdString(s); }

std::chrono::year_month_day Today() {
  return std::chrono::year_month_day{
      std::chrono::floor<std::chrono::days>(std::chrono::system_clock::now())};
}

}  // namespace

ucStrategy::ucStrategy(QWidget* parent)
    : ScaledPanel(parent, kDesignWidth, kDesignHeight), draw_(std::make_unique<zelDraw>()) {
  setObjectName("ucStrategy1");
  grid1_ = Place(new GridView(this), kLeft, 60, kColumnWidth, kTableHeight);
  grid1_->setObjectName("Grid1");
  core_ = std::make_unique<StrategyPanel>(grid1_->grid());
  grid1_->SetStretchLastColumn(true);

  int top = 60 + kTableHeight + kGap;
  const int button = 920;
  cmd_add_ = Place(new QPushButton(tr("Add"), this), kLeft, top, button, kRowHeight);
  cmd_remove_ = Place(new QPushButton(tr("Remove"), this), kLeft + 986, top, button, kRowHeight);
  cmd_copy_ = Place(new QPushButton(tr("Copy"), this), kLeft + 1972, top, button, kRowHeight);
  cmd_paste_ = Place(new QPushButton(tr("Paste"), this), kLeft + 2958, top, button, kRowHeight);
  cmd_add_->setToolTip(tr("Add a leg: one option of the calculator's type, strike and maturity"));
  cmd_remove_->setToolTip(tr("Remove the selected legs"));
  cmd_copy_->setToolTip(tr("Copy the selected cells as tab-separated rows"));
  cmd_paste_->setToolTip(tr("Paste tab-separated rows from the current cell on"));

  top += kRowHeight + kGap;
  Place(new QLabel(tr("Template"), this), kLeft, top, 800 - kLabelGap, kLabelHeight);
  cmb_template_ = Place(new QComboBox(this), kLeft + 800, top, 1560, kRowHeight);
  for (const TemplateInfo& info : kTemplates) {
    cmb_template_->addItem(tr(info.caption));
  }
  cmb_template_->setToolTip(tr("Fill the legs from the calculator's strike and maturity"));
  Place(new QLabel(tr("Width"), this), kLeft + 2440, top, 560 - kLabelGap, kLabelHeight);
  txt_width_ = Place(new QLineEdit(this), kLeft + 3000, top, 880, kRowHeight);
  txt_width_->setText(Q(FormatEntryNumber(kDefaultWidth, "0")));
  txt_width_->setToolTip(tr("Distance between the strikes of the spreads"));

  top += kRowHeight + kGap;
  Place(new QLabel(tr("Date"), this), kLeft, top, 450 - kLabelGap, kLabelHeight);
  txt_date_ = Place(new QLineEdit(this), kLeft + 450, top, 1300, kRowHeight);
  txt_date_->setToolTip(tr("Date"));
  Place(new QLabel(tr("At date"), this), kLeft + 1850, top, 730 - kLabelGap, kLabelHeight);
  txt_at_date_ = Place(new QLineEdit(this), kLeft + 2580, top, 1300, kRowHeight);
  txt_at_date_->setToolTip(tr("The date of the second curve, up to the first expiry"));

  top += kRowHeight + kGap;
  sld_date_ = Place(new QSlider(Qt::Horizontal, this), kLeft, top, 1600, kRowHeight);
  sld_date_->setRange(0, kSliderSteps);
  sld_date_->setValue(kSliderSteps / 2);
  sld_date_->setToolTip(tr("From the date to the first expiry"));
  chk_amer_ =
      Place(new QCheckBox(tr("American"), this), kLeft + 1680, top, 1100 - kLabelGap, kRowHeight);
  chk_amer_->setToolTip(tr("Templates fill American options"));
  cmd_calculate_ =
      Place(new QPushButton(tr("Calculate"), this), kLeft + 2780, top, 1100, kRowHeight);
  cmd_calculate_->setToolTip(tr("Click to calculate the position's profit and hedge parameters"));
  top += kRowHeight + kGap;
  grid2_ = Place(new GridView(this), kLeft, top, kColumnWidth, kContentBottom - top);
  grid2_->setObjectName("Grid2");
  grid2_->SetStretchLastColumn(true);
  {
    Grid& g = grid2_->grid();
    g.SetCols(3);
    g.SetRows(2);
    g.SetFixedRows(1);
    g.SetFixedCols(1);
    g.SetTextMatrix(0, 1, kAtExpiryLegend);
    g.SetTextMatrix(0, 2, kAtDateLegend);
  }

  // The figure draws its own ticks and captions: the plot takes the room of
  // the range-end label boxes, which the chart object still fills (hidden).
  const int plot_width = kDesignWidth - 60 - kYLabelLeft;
  const int plot_height = kPlotHeight + kLabelHeight + 30;
  pbox_ = Place(new QtCanvas(this), kYLabelLeft, kPlotTop, plot_width, plot_height);
  pbox_->SetBackColor(kPlotBack);
  for (auto& label : text1_) {
    label = Place(new QtLabelBox(this), kYLabelLeft, kPlotTop, kYLabelWidth, kLabelHeight);
    label->hide();
  }
  const int x_label_top = kPlotTop + kPlotHeight + 30;
  lbl_point_ = Place(new QLabel(this), kYLabelLeft, x_label_top + kLabelHeight + 30,
                     kDesignWidth - kYLabelLeft - 60, kRowHeight);
  lbl_point_->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
  const int image_top = kContentBottom - 330;
  cmd_copy_image_ =
      Place(new QPushButton(tr("Copy Image"), this), kYLabelLeft, image_top, 1540, 330);
  cmd_save_image_ =
      Place(new QPushButton(tr("Save Image"), this), kYLabelLeft + 1610, image_top, 1540, 330);

  RegisterDisplay();
  draw_->Initialize();
  draw_->InitializePictureBox(pbox_);
  for (int i = 0; i < 4; ++i) {
    draw_->InitializeTextBox(text1_[i], i);
  }
  draw_->SetDrawColors(pbox_->BackColor(), kExpiryColour, kExpiryColour, 2);
  txt_date_->setText(Q(FormatEntryDate(Today())));
  SizeColumns();

  const auto guarded = [](auto&& body) { RunCommand(body); };
  connect(cmd_calculate_, &QPushButton::clicked, this, [this] { cmdCalculate_Click(); });
  // Every change of the legs is drawn at once: Add and Paste say what is
  // wrong in a message, as Calculate does; Remove, Delete and leaving an
  // edited cell (the table is then often half filled in) say it in the line
  // under the plot and clear the figures.
  connect(cmd_add_, &QPushButton::clicked, this, [this, guarded] {
    guarded([this] { core_->AddLeg(); });
    grid1_->setFocus();
    Recalculate(false);
  });
  connect(cmd_remove_, &QPushButton::clicked, this, [this, guarded] {
    guarded([this] { core_->RemoveLeg(); });
    grid1_->setFocus();
    Recalculate(true);
  });
  connect(cmd_copy_, &QPushButton::clicked, this,
          [this, guarded] { guarded([this] { core_->KeyPress(3); }); });
  connect(cmd_paste_, &QPushButton::clicked, this, [this] { PasteLegs(); });
  connect(grid1_, &GridView::KeyPress, this, [this, guarded](int key) {
    if (key == 13) {
      core_->EndEdit();
      cmdCalculate_Click();
      return;
    }
    if (key == 22) {
      PasteLegs();
      return;
    }
    guarded([this, key] { core_->KeyPress(key); });
    FitLegColumns();
  });
  connect(grid1_, &GridView::KeyDown, this, [this, guarded](int key, Qt::KeyboardModifiers) {
    switch (key) {
      case Qt::Key_Delete:
        guarded([this] { core_->ClearCells(); });
        Recalculate(true);
        break;
      case Qt::Key_F2:
        core_->BeginEdit();
        break;
      case Qt::Key_Up:
      case Qt::Key_Down:
      case Qt::Key_Left:
      case Qt::Key_Right:
      case Qt::Key_Tab:
      case Qt::Key_Backtab:
      case Qt::Key_Home:
      case Qt::Key_End:
      case Qt::Key_PageUp:
      case Qt::Key_PageDown:
        if (core_->EndEdit()) {
          Recalculate(true);
        }
        break;
      default:
        break;
    }
  });
  connect(grid1_, &GridView::CellClicked, this, [this](int, int) {
    if (core_->EndEdit()) {
      Recalculate(true);
    }
  });
  connect(cmb_template_, &QComboBox::activated, this, [this](int i) { cmbTemplate_Click(i); });
  connect(sld_date_, &QSlider::valueChanged, this,
          [this] { sldDate_Change(!sld_date_->isSliderDown()); });
  connect(sld_date_, &QSlider::sliderReleased, this, [this] { sldDate_Change(true); });
  connect(txt_at_date_, &QLineEdit::returnPressed, this, [this] { txtAtDate_Change(); });
  connect(txt_date_, &QLineEdit::returnPressed, this, [this] { cmdCalculate_Click(); });
  // A date changed and left without Enter counts too.
  connect(txt_date_, &QLineEdit::editingFinished, this, [this] {
    if (txt_date_->isModified()) {
      cmdCalculate_Click();
    }
  });
  connect(txt_at_date_, &QLineEdit::editingFinished, this, [this] {
    if (txt_at_date_->isModified()) {
      txtAtDate_Change();
    }
  });
  connect(txt_width_, &QLineEdit::returnPressed, this,
          [this] { cmbTemplate_Click(cmb_template_->currentIndex()); });
  connect(cmd_copy_image_, &QPushButton::clicked, this, [this] {
    if (QClipboard* cb = QGuiApplication::clipboard()) {
      cb->setImage(FigureImage());
    }
  });
  connect(cmd_save_image_, &QPushButton::clicked, this, [this] { cmdSaveImage_Click(); });
  connect(pbox_, &QtCanvas::MouseMove, this,
          [this](Qt::MouseButtons, double x, double) { ShowPoint(x); });
  connect(pbox_, &QtCanvas::MouseDown, this,
          [this](Qt::MouseButton, double x, double) { ShowPoint(x); });
  connect(pbox_, &QtCanvas::MouseLeave, this, [this] { lbl_point_->clear(); });
}

ucStrategy::~ucStrategy() = default;

void ucStrategy::DisplayChanged() { SizeColumns(); }

namespace {

// Takes the first message of a calculation instead of showing it.
class FirstMessage : public Dialogs {
 public:
  MsgAnswer Show(const std::string& text, MsgButtons buttons, MsgIcon,
                 const std::string&) override {
    if (first.empty()) {
      first = text;
    }
    return CautiousAnswer(buttons);
  }
  std::string first;
};

}  // namespace

void ucStrategy::Recalculate(bool quiet) {
  if (!quiet) {
    cmdCalculate_Click();
    return;
  }
  FirstMessage message;
  {
    ScopedServices scope(&message);
    cmdCalculate_Click();
  }
  if (!message.first.empty()) {
    lbl_point_->setText(Q(message.first));
  }
}

void ucStrategy::PasteLegs() {
  RunCommand([&] { core_->KeyPress(22); });
  grid1_->setFocus();
  FitLegColumns();
  Recalculate(false);
}

namespace {

// Gives every column of a grid the width of its widest text in the grid's
// font (at least that of `samples[c]`), with the room a cell draws around
// its text, so that no figure is cut or elided.
void FitColumnsToTexts(GridView* view, const std::vector<QString>& samples) {
  Grid& g = view->grid();
  const QFontMetrics fm(view->font());
  const int margin = view->style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, view) + 1;
  const int pad = 2 * margin + 1 + fm.horizontalAdvance(QLatin1Char('0')) / 2;
  for (int c = 0; c < g.Cols(); ++c) {
    int px = c < static_cast<int>(samples.size()) ? fm.horizontalAdvance(samples[c]) : 0;
    for (int r = 0; r < g.Rows(); ++r) {
      px = std::max(px, fm.horizontalAdvance(Q(g.TextMatrix(r, c))));
    }
    g.SetColWidth(c, (px + pad) * kTwipsPerPixel);
  }
}

}  // namespace

void ucStrategy::FitLegColumns() {
  std::vector<QString> samples{"00"};
  for (int c = 0; c < kLegColumns; ++c) {
    samples.push_back(c == 4 ? "American" : c == 1 ? "underlying" : "-100.00");
  }
  FitColumnsToTexts(grid1_, samples);
}

void ucStrategy::FitResultColumns() {
  FitColumnsToTexts(grid2_, {"Probability of profit", "-000.000000", "-000.000000"});
}

void ucStrategy::SizeColumns() {
  FitLegColumns();
  FitResultColumns();
}

void ucStrategy::SetParameters(const OptionTerms& option) {
  core_->SetParameters(option);
  if (!filled_) {
    filled_ = true;
    try {
      const auto bull = static_cast<int>(StrategyTemplate::kBullCallSpread);
      cmb_template_->setCurrentIndex(bull);
      core_->ApplyTemplate(StrategyTemplate::kBullCallSpread, kDefaultWidth, false);
    } catch (const std::exception&) {
      // A strike the template cannot use leaves the table empty.
    }
  }
}

void ucStrategy::CalcIt() { cmdCalculate_Click(); }

void ucStrategy::AddLeg(const OptionTerms& market, const Leg& leg, bool new_position) {
  core_->SetParameters(market);
  filled_ = true;  // no template over the leg
  core_->AddLeg(leg, new_position);
  FitLegColumns();
  Recalculate(false);
}

std::string ucStrategy::StartDate() const { return txt_date_->text().toStdString(); }

void ucStrategy::ShowAtDate() {
  // The chosen date as a date counted from the position's date.
  const auto start = ParseDateText(StartDate());
  if (!start) {
    txt_at_date_->setText(Q(FormatEntryNumber(at_years_, kEntryFormat)));
    return;
  }
  const auto days = std::chrono::days(static_cast<int>(std::lround(at_years_ * kDaysPerYear)));
  txt_at_date_->setText(Q(FormatEntryDate(std::chrono::sys_days(*start) + days)));
}

void ucStrategy::SliderDate(double horizon) {
  // The slider's share of the time to the first expiry, on a whole day when
  // the position's date is a date: the figures are then those of the date
  // shown in the field, to the day, as the terminal tool gives them for that
  // date. (Half a day of difference moves a break-even in the fourth
  // decimal.) The slider's end is the expiry itself.
  at_years_ = horizon * sld_date_->value() / kSliderSteps;
  ShowAtDate();
  const auto start = ParseDateText(StartDate());
  if (!start) {
    return;
  }
  std::string shown = txt_at_date_->text().toStdString();
  try {
    double years = YearsBetweenDates(StartDate(), shown);
    if (years > horizon) {
      // An expiry part way through a day, rounded up to the next day: the
      // last whole day before it is the date shown and priced, one the
      // date field (and the terminal tool) reads back.
      const auto day = std::chrono::days(static_cast<int>(std::floor(horizon * kDaysPerYear)));
      txt_at_date_->setText(Q(FormatEntryDate(std::chrono::sys_days(*start) + day)));
      shown = txt_at_date_->text().toStdString();
      years = YearsBetweenDates(StartDate(), shown);
    } else if (sld_date_->value() >= kSliderSteps) {
      return;  // the expiry itself, on the day shown
    }
    if (years >= 0 && years <= horizon) {
      at_years_ = years;
    }
  } catch (const std::exception&) {
    // Not a date after all: the share stands.
  }
}

void ucStrategy::sldDate_Change(bool compute) {
  if (updating_) {
    return;
  }
  const auto horizon = core_->Horizon(StartDate());
  if (!horizon) {
    return;
  }
  SliderDate(*horizon);
  if (compute) {
    cmdCalculate_Click();
  }
}

void ucStrategy::txtAtDate_Change() {
  std::string text = txt_at_date_->text().toStdString();
  double years = 0;
  // Years first unless the text is a bare fraction, whose slash a date may
  // have: "1 1/26" is years, not 1 January 2026.
  const EntryReading v = ReadEntry(text, EntryKind::kNumber);
  const bool number = v.value && !v.blank;
  if (!(number && !IsBareFraction(v)) && IsDateText(text) && IsDateText(StartDate())) {
    const std::string typed = text;
    if (!RunCommand([&] { years = YearsBetweenDates(StartDate(), text); })) {
      return;
    }
    if (text != typed && years >= 0) {
      // A past date read with day and month swapped: the field shows the
      // date the figures are for, not the one typed.
      txt_at_date_->setText(Q(text));
    }
  } else if (number) {
    years = *v.value;  // years from the position's date
  } else {
    AppDialogs().Critical(
        InvalidEntryMessage(kAtDateField, text, v.blank ? entry_problem::kNoDigit : v.problem));
    return;
  }
  at_years_ = years;
  if (const auto horizon = core_->Horizon(StartDate()); horizon && *horizon > 0) {
    updating_ = true;
    sld_date_->setValue(
        static_cast<int>(std::lround(std::clamp(years / *horizon, 0.0, 1.0) * kSliderSteps)));
    updating_ = false;
  }
  date_typed_ = true;
  cmdCalculate_Click();
}

void ucStrategy::cmbTemplate_Click(int index) {
  if (index < 0 || index >= static_cast<int>(kTemplates.size())) {
    return;
  }
  const TemplateInfo& info = kTemplates[index];
  double width = kDefaultWidth;
  if (info.uses_width) {
    const EntryReading read = ReadEntry(txt_width_->text().toStdString(), EntryKind::kPrice);
    const std::optional<double> w = read.blank ? std::nullopt : read.value;
    if (!w || !(*w > 0)) {
      AppDialogs().Critical(kBadWidthEntry);
      return;
    }
    width = *w;
  }
  if (!RunCommand([&] { core_->ApplyTemplate(info.id, width, chk_amer_->isChecked()); }, [] {},
                  TellInputError)) {
    return;
  }
  cmdCalculate_Click();
}

void ucStrategy::cmdCalculate_Click() {
  Events& events = AppEvents();
  events.SetBusy(true);
  // The slider decides the date as a share of the time to the first expiry,
  // unless the date was just typed into its field.
  if (!date_typed_) {
    if (const auto horizon = core_->Horizon(StartDate())) {
      SliderDate(*horizon);
    }
  }
  date_typed_ = false;
  txt_date_->setModified(false);
  txt_at_date_->setModified(false);
  figures_ = core_->Compute(StartDate(), at_years_);
  events.SetBusy(false);
  lbl_point_->clear();
  if (!figures_) {
    draw_->Clear();
    ClearResults();
    return;
  }
  RunCommand([&] {
    DrawProfitPlot(*figures_);
    ShowResults();
  });
  events.ProcessPending();
}

void ucStrategy::SetGreekUnits(GreekUnits units) {
  units_ = units;
  if (figures_) {
    ShowResults();
  }
}

void ucStrategy::ClearResults() {
  Grid& g = grid2_->grid();
  g.SetRedraw(false);
  g.SetRows(2);
  for (int c = 0; c < 3; ++c) {
    g.SetTextMatrix(1, c, "");
  }
  for (int i = 0; i < 4; ++i) {
    text1_[i]->SetText("");
  }
  g.SetRedraw(true);
  FitResultColumns();
}

void ucStrategy::ShowResults() {
  const std::vector<ResultRow> rows = StrategyPanel::ResultRows(*figures_, units_);
  Grid& g = grid2_->grid();
  g.SetRedraw(false);
  g.SetRows(static_cast<int>(rows.size()));
  for (size_t i = 1; i < rows.size(); ++i) {
    const int r = static_cast<int>(i);
    g.SetTextMatrix(r, 0, rows[i].caption);
    g.SetTextMatrix(r, 1, rows[i].at_expiry);
    g.SetTextMatrix(r, 2, rows[i].at_date);
  }
  g.SetRedraw(true);
  FitResultColumns();
}

}  // namespace stratlyn
