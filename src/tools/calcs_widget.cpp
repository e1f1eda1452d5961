#include "tools/calcs_widget.h"

#include <QApplication>
#include <QButtonGroup>
#include <QComboBox>
#include <QDate>
#include <QFontMetrics>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QScrollBar>
#include <QVBoxLayout>
#include <chrono>
#include <cmath>

#include "util/error_handler.h"
#include "util/qt_grid_model.h"

namespace stratlyn {
namespace {

// Key positions are in twips, 15 to the pixel; the keypad is drawn half as
// large again so that its keys are comfortable to click.
constexpr double kKeypadScale = 1.5;
int Px(int twips) { return static_cast<int>(std::lround(twips * kKeypadScale / kTwipsPerPixel)); }

QString Q(const std::string& text) { return QString::fromStdString(text); }
std::string S(const QString& text) { return text.toStdString(); }

std::chrono::sys_days Today() {
  const QDate d = QDate::currentDate();
  return std::chrono::sys_days(std::chrono::year(d.year()) /
                               std::chrono::month(static_cast<unsigned>(d.month())) /
                               std::chrono::day(static_cast<unsigned>(d.day())));
}

// Windows key codes of the keys the table's key-down handler knows.
int KeyCode(int qt_key) {
  switch (qt_key) {
    case Qt::Key_Delete:
      return 46;
    case Qt::Key_Left:
      return 37;
    case Qt::Key_Up:
      return 38;
    case Qt::Key_Right:
      return 39;
    case Qt::Key_Down:
      return 40;
    default:
      return 0;
  }
}

QPushButton* Button(const QString& name, const QString& caption) {
  auto* button = new QPushButton(caption);
  button->setObjectName(name);
  button->setAutoDefault(false);
  return button;
}

QLabel* Label(const QString& name, const QString& caption) {
  auto* label = new QLabel(caption);
  label->setObjectName(name);
  return label;
}

QLineEdit* Edit(const QString& name) {
  auto* edit = new QLineEdit;
  edit->setObjectName(name);
  return edit;
}

QHBoxLayout* Row(std::initializer_list<QWidget*> widgets) {
  auto* row = new QHBoxLayout;
  for (QWidget* w : widgets) {
    row->addWidget(w);
  }
  return row;
}

}  // namespace

calcs::calcs(QWidget* parent) : QWidget(parent) {
  setObjectName("calcs");
  setWindowTitle("ZEL Calculators");

  auto* layout = new QGridLayout(this);
  layout->addWidget(BuildKeypad(), 0, 0);
  layout->addWidget(BuildPresentValue(), 0, 1, 2, 1);
  layout->addWidget(BuildRateQuote(), 0, 2);
  layout->addWidget(BuildDateToMaturity(), 1, 0);
  layout->addWidget(BuildDateFinder(), 1, 2);
  layout->addWidget(BuildLogs(), 2, 0, 1, 3);
  Form_Load();
}

calcs::~calcs() = default;

// ---------------------------------------------------------------------------
// Keypad

QPushButton* calcs::KeyButton(QWidget* frame, const QString& name, const QString& caption, int left,
                              int top, int width, int height) {
  auto* key = new QPushButton(caption, frame);
  key->setObjectName(name);
  key->setGeometry(Px(left), Px(top), Px(width), Px(height));
  key->setFocusPolicy(Qt::NoFocus);
  key->setAutoDefault(false);
  return key;
}

template <typename Key>
void calcs::PressKey(Key key) {
  keypad_frame_->setFocus();
  RunCommand([&] { key(); });
  ShowDisplay();
}

void calcs::ShowDisplay() {
  // Long numbers get a smaller font rather than being cut off.
  const QString text = Q(keypad_.Display());
  QFont font = readout_font_;
  const int room = Readout->contentsRect().width() - 4;
  while (font.pointSizeF() > 6.0 && QFontMetrics(font).horizontalAdvance(text) > room) {
    font.setPointSizeF(font.pointSizeF() - 0.5);
  }
  Readout->setFont(font);
  Readout->setText(text);
  bDecimal->setText(Q(keypad_.DecimalCaption()));
}

QGroupBox* calcs::BuildKeypad() {
  keypad_frame_ = new QGroupBox("Calculator");
  keypad_frame_->setObjectName("keypadFrame");
  keypad_frame_->setFocusPolicy(Qt::StrongFocus);
  keypad_frame_->installEventFilter(this);
  auto* keys = new QWidget;
  keys->setFixedSize(Px(2000), Px(2290));

  Readout = new QLabel(keys);
  Readout->setObjectName("Readout");
  Readout->setGeometry(Px(150), Px(75), Px(1725), Px(375));
  Readout->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
  Readout->setFrameStyle(QFrame::Panel | QFrame::Sunken);
  Readout->setAutoFillBackground(true);
  QPalette palette = Readout->palette();
  palette.setColor(QPalette::Window, Qt::white);
  palette.setColor(QPalette::WindowText, Qt::black);
  Readout->setPalette(palette);
  Readout->setTextInteractionFlags(Qt::TextSelectableByMouse);
  readout_font_ = Readout->font();
  readout_font_.setPointSizeF(readout_font_.pointSizeF() * 1.3);
  Readout->setFont(readout_font_);

  constexpr int kLefts[] = {135, 480, 840, 1185, 1530};
  constexpr int kTops[] = {495, 840, 1200, 1545, 1890};
  for (int d = 1; d <= 9; ++d) {
    const int row = (d - 1) / 3, col = (d - 1) % 3;
    QPushButton* key =
        KeyButton(keys, QString("Number%1").arg(d), QString::number(d), kLefts[col], kTops[row]);
    connect(key, &QPushButton::clicked, this,
            [this, d] { PressKey([&] { keypad_.Number_Click(d); }); });
  }
  QPushButton* zero = KeyButton(keys, "Number0", "0", 135, kTops[3], 650);
  connect(zero, &QPushButton::clicked, this,
          [this] { PressKey([&] { keypad_.Number_Click(0); }); });

  struct OperatorKey {
    int index;
    char caption;
    int left;
    int top;
  };
  const OperatorKey operators[] = {{1, '+', kLefts[3], kTops[1]},
                                   {3, '-', kLefts[4], kTops[1]},
                                   {2, 'X', kLefts[3], kTops[2]},
                                   {0, '/', kLefts[4], kTops[2]},
                                   {4, '=', kLefts[3], kTops[3]}};
  for (const OperatorKey& op : operators) {
    QPushButton* key = KeyButton(keys, QString("Operator%1").arg(op.index),
                                 QString(QChar(op.caption)), op.left, op.top);
    const char caption = op.caption;
    connect(key, &QPushButton::clicked, this,
            [this, caption] { PressKey([&] { keypad_.Operator_Click(caption); }); });
  }
  bDecimal = KeyButton(keys, "bDecimal", Q(keypad_.DecimalCaption()), 840, kTops[3]);
  connect(bDecimal, &QPushButton::clicked, this,
          [this] { PressKey([&] { keypad_.bDecimal_Click(); }); });
  QPushButton* percent = KeyButton(keys, "Percent", "%", kLefts[4], kTops[3]);
  connect(percent, &QPushButton::clicked, this,
          [this] { PressKey([&] { keypad_.Percent_Click(); }); });
  QPushButton* cancel = KeyButton(keys, "Cancel", "C", kLefts[3], kTops[0]);
  connect(cancel, &QPushButton::clicked, this,
          [this] { PressKey([&] { keypad_.Cancel_Click(); }); });
  QPushButton* cancel_entry = KeyButton(keys, "CancelEntry", "CE", kLefts[4], kTops[0]);
  connect(cancel_entry, &QPushButton::clicked, this,
          [this] { PressKey([&] { keypad_.CancelEntry_Click(); }); });
  QPushButton* copy = KeyButton(keys, "cpy", "Copy", 375, kTops[4], 650);
  connect(copy, &QPushButton::clicked, this, [this] { PressKey([&] { keypad_.cpy_Click(); }); });
  QPushButton* paste = KeyButton(keys, "pst", "Paste", 1050, kTops[4], 650);
  connect(paste, &QPushButton::clicked, this, [this] { PressKey([&] { keypad_.pst_Click(); }); });

  auto* box = new QVBoxLayout(keypad_frame_);
  box->addWidget(keys, 0, Qt::AlignCenter);
  box->addStretch();
  ShowDisplay();
  return keypad_frame_;
}

bool calcs::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() != QEvent::KeyPress) {
    return QWidget::eventFilter(watched, event);
  }
  auto* key = static_cast<QKeyEvent*>(event);
  if (watched == keypad_frame_) {
    char ch = 0;
    switch (key->key()) {
      case Qt::Key_Return:
      case Qt::Key_Enter:
        ch = '\r';
        break;
      case Qt::Key_Escape:
        ch = 27;
        break;
      case Qt::Key_Backspace:
        ch = 8;
        break;
      default:
        if (key->text().size() == 1 && key->text().at(0).unicode() < 127) {
          ch = static_cast<char>(key->text().at(0).unicode());
        }
        break;
    }
    if (ch != 0 && (key->modifiers() & Qt::ControlModifier) == 0) {
      bool used = false;
      PressKey([&] { used = keypad_.KeyboardInput(ch); });
      if (used) {
        return true;
      }
    }
    if (key->matches(QKeySequence::Copy)) {
      PressKey([&] { keypad_.cpy_Click(); });
      return true;
    }
    if (key->matches(QKeySequence::Paste)) {
      PressKey([&] { keypad_.pst_Click(); });
      return true;
    }
  } else if (watched == tdisc && (key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter)) {
    RunTool([&] { fin_->tdisc_KeyPress(13); });
    return true;
  }
  return QWidget::eventFilter(watched, event);
}

// ---------------------------------------------------------------------------
// Financial tools

template <typename Handler>
void calcs::RunTool(Handler handler) {
  ReadInputs();
  in_handler_ = true;
  RunCommand([&] { handler(); });
  in_handler_ = false;
  ShowResults();
  CheckCellChange();
}

void calcs::ReadInputs() {
  FinancialCalcs& f = *fin_;
  f.SetToday(Today());  // the window may stay open past midnight
  for (int i = 0; i < 4; ++i) {
    f.Text2[i] = S(Text2[i]->text());
  }
  f.tdisc = S(tdisc->text());
  for (int i = 0; i < 4; ++i) {
    f.Combo1[i] = Combo1[i]->currentIndex();
  }
  f.tDate = S(tDate->text());
  f.lgexpTxt = S(lgexpTxt->text());
}

void calcs::ShowResults() {
  const FinancialCalcs& f = *fin_;
  pvlab->setText(Q(f.pvlab));
  irtyp[f.irtyp]->setChecked(true);
  for (int i = 0; i < 4; ++i) {
    if (Text2[i]->text() != Q(f.Text2[i])) {
      Text2[i]->setText(Q(f.Text2[i]));
    }
  }
  if (tdisc->text() != Q(f.tdisc)) {
    tdisc->setText(Q(f.tdisc));
  }
  tblab->setText(Q(f.tblab));
  matlab->setText(Q(f.matlab));
  Label1_2->setText(Q(f.Label1_2));
  Label1_3->setEnabled(f.Label1_3_enabled);
  Text2[2]->setEnabled(f.Label1_3_enabled);
  Label1_4->setText(Q(f.Label1_4));
  for (int i = 0; i < 4; ++i) {
    Combo1[i]->setCurrentIndex(f.Combo1[i]);
  }
  if (tDate->text() != Q(f.tDate)) {
    tDate->setText(Q(f.tDate));
  }
  cxDate->setText(Q(f.cxDate));
  lgtyp[f.lgtyp]->setChecked(true);
  lgCap->setText(Q(f.lgCap));
  Label1_6->setText(Q(f.Label1_6));
}

void calcs::CheckCellChange() {
  if (in_handler_) {
    return;
  }
  const Grid& grid = Grid1->grid();
  if (grid.Row() != fin_->EditRow() || (grid.Row() >= 1 && grid.Col() != fin_->EditCol())) {
    fin_->Grid1_EnterCell();
  }
}

QGroupBox* calcs::BuildPresentValue() {
  auto* frame = new QGroupBox("Present Value Calculator");
  frame->setObjectName("pvFrame");
  Grid1 = new GridView;
  Grid1->setObjectName("Grid1");
  fin_ = std::make_unique<FinancialCalcs>(Grid1->grid());
  for (int c = 0; c < 3; ++c) {
    Grid1->gridModel()->SetColAlignment(c, Qt::AlignRight | Qt::AlignVCenter);
  }
  connect(Grid1, &GridView::KeyPress, this,
          [this](int ascii) { RunTool([&] { fin_->Grid1_KeyPress(ascii); }); });
  connect(Grid1, &GridView::KeyDown, this, [this](int key, Qt::KeyboardModifiers) {
    const int code = KeyCode(key);
    if (code != 0) {
      RunTool([&] { fin_->Grid1_KeyDown(code); });
    }
  });
  connect(Grid1, &GridView::CellDoubleClicked, this, [this](int, int) {
    CheckCellChange();
    RunTool([&] { fin_->Grid1_DblClick(); });
  });
  connect(Grid1, &GridView::CellClicked, this, [this](int, int) { CheckCellChange(); });
  connect(Grid1->gridModel(), &GridModel::gridChanged, this, [this] { CheckCellChange(); });

  QPushButton* calc = Button("pvcalc", "Calculate");
  QPushButton* copy = Button("pvcpy", "Copy");
  QPushButton* clear = Button("clrPV", "Clear");
  connect(calc, &QPushButton::clicked, this, [this] { RunTool([&] { fin_->pvcalc_Click(); }); });
  connect(copy, &QPushButton::clicked, this, [this] { RunTool([&] { fin_->pvcpy_Click(); }); });
  connect(clear, &QPushButton::clicked, this, [this] { RunTool([&] { fin_->clrPV_Click(); }); });
  pvlab = Label("pvlab", "");
  pvlab->setFrameStyle(QFrame::Panel | QFrame::Sunken);
  pvlab->setMinimumWidth(90);

  auto* box = new QVBoxLayout(frame);
  box->addWidget(Grid1, 1, Qt::AlignHCenter);
  auto* value_row = Row({Label("pvValue", "Value"), pvlab});
  value_row->setStretch(1, 1);
  box->addLayout(value_row);
  box->addLayout(Row({calc, copy, clear}));
  return frame;
}

QGroupBox* calcs::BuildRateQuote() {
  auto* frame = new QGroupBox("Convert Interest Rate Quote");
  frame->setObjectName("rateFrame");
  static const char* const kTypes[] = {"T-Bill", "LIBOR", "Zero", "Discrete"};
  static const char* const kTips[] = {
      "Select to convert a US Treasury Bill quote", "Select to convert an actual/360 interest rate",
      ("Select to determine the continuously compounded interest rate from a zero coupon bond "
       "price"),
      "Convert from discrete to continuous compounding"};
  auto* types = new QButtonGroup(frame);
  auto* type_row = new QHBoxLayout;
  for (int i = 0; i < 4; ++i) {
    irtyp[i] = new QRadioButton(kTypes[i]);
    irtyp[i]->setObjectName(QString("irtyp%1").arg(i));
    irtyp[i]->setToolTip(kTips[i]);
    types->addButton(irtyp[i], i);
    type_row->addWidget(irtyp[i]);
    connect(irtyp[i], &QRadioButton::clicked, this,
            [this, i] { RunTool([&] { fin_->irtyp_Click(i); }); });
  }
  for (int i = 0; i < 4; ++i) {
    Text2[i] = Edit(QString("Text2_%1").arg(i));
  }
  tdisc = Edit("tdisc");
  tdisc->installEventFilter(this);
  Label1_3 = Label("Label1_3", "Today");
  Label1_2 = Label("Label1_2", "Maturity");
  Label1_4 = Label("Label1_4", "T-Bill");
  tblab = Label("tblab", FinancialCalcs::kRateCaption);

  QPushButton* convert = Button("dateok1", "Convert");
  QPushButton* copy = Button("btrans", "Copy");
  QPushButton* clear = Button("clrRate", "Clear");
  connect(convert, &QPushButton::clicked, this,
          [this] { RunTool([&] { fin_->dateok_Click(1); }); });
  connect(copy, &QPushButton::clicked, this, [this] { RunTool([&] { fin_->btrans_Click(); }); });
  connect(clear, &QPushButton::clicked, this, [this] { RunTool([&] { fin_->clrRate_Click(); }); });

  auto* fields = new QGridLayout;
  fields->addWidget(Label1_3, 0, 0);
  fields->addWidget(Text2[2], 0, 1);
  fields->addWidget(Label1_2, 1, 0);
  fields->addWidget(Text2[3], 1, 1);
  fields->addWidget(Label1_4, 2, 0);
  fields->addWidget(tdisc, 2, 1);
  auto* box = new QVBoxLayout(frame);
  box->addLayout(type_row);
  box->addLayout(fields);
  box->addLayout(Row({convert, copy, clear}));
  box->addWidget(tblab);
  box->addStretch();
  return frame;
}

QGroupBox* calcs::BuildDateToMaturity() {
  auto* frame = new QGroupBox("Convert Date to Maturity");
  frame->setObjectName("dateFrame");
  matlab = Label("matlab", FinancialCalcs::kMaturityCaption);
  QPushButton* convert = Button("dateok0", "Convert");
  QPushButton* copy = Button("dtrans", "Copy");
  QPushButton* clear = Button("clrdate", "Clear");
  connect(convert, &QPushButton::clicked, this,
          [this] { RunTool([&] { fin_->dateok_Click(0); }); });
  connect(copy, &QPushButton::clicked, this, [this] { RunTool([&] { fin_->dtrans_Click(); }); });
  connect(clear, &QPushButton::clicked, this, [this] { RunTool([&] { fin_->clrdate_Click(); }); });
  auto* fields = new QGridLayout;
  fields->addWidget(new QLabel("Today"), 0, 0);
  fields->addWidget(Text2[0], 0, 1);
  fields->addWidget(new QLabel("Future Date"), 1, 0);
  fields->addWidget(Text2[1], 1, 1);
  auto* box = new QVBoxLayout(frame);
  box->addLayout(fields);
  box->addLayout(Row({convert, copy, clear}));
  box->addWidget(matlab);
  box->addStretch();
  return frame;
}

QGroupBox* calcs::BuildDateFinder() {
  auto* frame = new QGroupBox("Date Finder");
  frame->setObjectName("finderFrame");
  for (int i = 0; i < 4; ++i) {
    Combo1[i] = new QComboBox;
    Combo1[i]->setObjectName(QString("Combo1_%1").arg(i));
  }
  tDate = Edit("tDate");
  tDate->setMaximumWidth(60);
  cxDate = Label("cxDate", "");
  cxDate->setFrameStyle(QFrame::Panel | QFrame::Sunken);
  QPushButton* calc = Button("calcDate", "Calculate");
  QPushButton* copy = Button("cpDate", "Copy Date");
  QPushButton* transfer = Button("tfrDate", "Transfer above");
  connect(calc, &QPushButton::clicked, this, [this] { RunTool([&] { fin_->calcDate_Click(); }); });
  connect(copy, &QPushButton::clicked, this, [this] { RunTool([&] { fin_->cpDate_Click(); }); });
  connect(transfer, &QPushButton::clicked, this,
          [this] { RunTool([&] { fin_->tfrDate_Click(); }); });
  auto* box = new QVBoxLayout(frame);
  box->addLayout(Row({Combo1[0], Combo1[1]}));
  auto* third = Row({new QLabel("third"), Combo1[2]});
  box->addLayout(third);
  box->addLayout(Row({Combo1[3], tDate}));
  box->addLayout(Row({calc, copy, transfer}));
  box->addWidget(cxDate);
  box->addStretch();
  return frame;
}

QGroupBox* calcs::BuildLogs() {
  auto* frame = new QGroupBox("Logs and Exponentials");
  frame->setObjectName("logFrame");
  auto* kinds = new QButtonGroup(frame);
  lgtyp[0] = new QRadioButton("Log");
  lgtyp[1] = new QRadioButton("Exp");
  for (int i = 0; i < 2; ++i) {
    lgtyp[i]->setObjectName(QString("lgtyp%1").arg(i));
    kinds->addButton(lgtyp[i], i);
    connect(lgtyp[i], &QRadioButton::clicked, this,
            [this, i] { RunTool([&] { fin_->lgtyp_Click(i); }); });
  }
  lgexpTxt = Edit("lgexpTxt");
  Label1_6 = Label("Label1_6", "Logarithm");
  lgCap = Label("lgCap", "");
  lgCap->setFrameStyle(QFrame::Panel | QFrame::Sunken);
  lgCap->setMinimumWidth(120);
  QPushButton* calc = Button("logcalc", "Calculate");
  QPushButton* copy = Button("lgcopy", "Copy");
  connect(calc, &QPushButton::clicked, this, [this] { RunTool([&] { fin_->logcalc_Click(); }); });
  connect(copy, &QPushButton::clicked, this, [this] { RunTool([&] { fin_->lgcopy_Click(); }); });
  auto* row = new QHBoxLayout(frame);
  row->addWidget(lgtyp[0]);
  row->addWidget(lgtyp[1]);
  row->addSpacing(12);
  row->addWidget(new QLabel("Number"));
  row->addWidget(lgexpTxt);
  row->addWidget(calc);
  row->addWidget(copy);
  row->addSpacing(12);
  row->addWidget(Label1_6);
  row->addWidget(lgCap, 1);
  return frame;
}

void calcs::Form_Load() {
  for (const char* day : FinancialCalcs::kWeekdays) {
    Combo1[0]->addItem(day);
    Combo1[2]->addItem(day);
  }
  for (const char* when : FinancialCalcs::kBeforeAfter) {
    Combo1[1]->addItem(when);
  }
  for (const char* month : FinancialCalcs::kMonths) {
    Combo1[3]->addItem(month);
  }

  in_handler_ = true;
  RunCommand([&] { fin_->Form_Load(Today()); });
  // Column 0 as wide as "Maturity", the others as "Maturtys", in twips.
  const QFontMetrics metrics(Grid1->font());
  const int margin = 8;
  Grid1->grid().SetColWidth(0, (metrics.horizontalAdvance("Maturity") + margin) * kTwipsPerPixel);
  Grid1->grid().SetColWidth(1, (metrics.horizontalAdvance("Maturtys") + margin) * kTwipsPerPixel);
  Grid1->grid().SetColWidth(2, (metrics.horizontalAdvance("Maturtys") + margin) * kTwipsPerPixel);
  int table_width = 2 * Grid1->frameWidth() + Grid1->verticalScrollBar()->sizeHint().width();
  for (int c = 0; c < 3; ++c) {
    table_width += Grid1->grid().ColWidth(c) / kTwipsPerPixel;
  }
  Grid1->setFixedWidth(table_width);
  in_handler_ = false;
  ShowResults();
  fin_->Grid1_EnterCell();
}

// ---------------------------------------------------------------------------

namespace {

QPointer<QWidget>& Instance() {
  static QPointer<QWidget> window;
  return window;
}

}  // namespace

QWidget* ShowCalculatorsWindow(QWidget* mainWindow) {
  QPointer<QWidget>& window = Instance();
  if (!window) {
    // A tool window of the main window: it stays in front of it, also when
    // one of its own messages has closed and the main window is active again.
    window = new calcs(mainWindow);
    window->setWindowFlag(Qt::Tool, true);
    window->adjustSize();
    QScreen* screen = mainWindow ? mainWindow->screen() : QGuiApplication::primaryScreen();
    if (screen) {
      QRect frame = window->frameGeometry();
      frame.moveCenter(screen->availableGeometry().center());
      window->move(frame.topLeft());
    }
  }
  window->show();
  window->raise();
  window->activateWindow();
  return window;
}

void CloseCalculatorsWindow() {
  QPointer<QWidget>& window = Instance();
  if (window) {
    window->close();
    delete window.data();
  }
}

}  // namespace stratlyn
