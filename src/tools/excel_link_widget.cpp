#include "tools/excel_link_widget.h"

#include <QComboBox>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>
#include <algorithm>

#include "tools/csv_workbook.h"
#include "util/qt_file_dialogs.h"
#include "util/services.h"
#include "util/zel_error.h"

#if STRATLYN_HAVE_UNO
#include "tools/uno/calc_app.h"
#endif

namespace stratlyn {
namespace {

constexpr const char* kTitle = "Spreadsheet Link Stratlyn (LibreOffice Calc and CSV files)";
constexpr const char* kSaveFailed = "The priced workbook could not be saved.  ";
constexpr const char* kOpenFailed = "The workbook could not be opened.  ";

ExcelLink::Connector DefaultConnector() {
#if STRATLYN_HAVE_UNO
  return [] { return ConnectToCalc("127.0.0.1", CalcPort()); };
#else
  static constexpr const char* kNoCalcInBuild =
      "This copy of the program was built without the LibreOffice SDK and cannot reach "
      "LibreOffice Calc.  Please use Open File... to price a CSV workbook.";
  return []() -> std::unique_ptr<SpreadsheetApp> {
    throw zelError(err::kCannotCreateObject, kNoCalcInBuild);
  };
#endif
}

QString Q(const std::string& text) { return QString::fromStdString(text); }

// Reports a run into the window's status label and progress bar.
class WindowObserver : public ExcelLink::Observer {
 public:
  WindowObserver(QLabel* status, QProgressBar* progress, const bool& cancel)
      : status_(status), progress_(progress), cancel_(cancel) {}
  void Status(const std::string& text) override { status_->setText(Q(text)); }
  void Progress(int done, int total) override {
    if (progress_->maximum() != total) {
      progress_->setMaximum(total);
    }
    progress_->setValue(done);
  }
  bool CancelRequested() override { return cancel_; }

 private:
  QLabel* status_;
  QProgressBar* progress_;
  const bool& cancel_;
};

}  // namespace

void ShowSpreadsheetLink(QWidget* mainWindow) {
  ExcelLinkWindow window(mainWindow);
  window.exec();
}

ExcelLinkWindow::ExcelLinkWindow(QWidget* parent, ExcelLink::Connector connector)
    : QDialog(parent), link_(connector ? std::move(connector) : DefaultConnector()) {
  setObjectName("frmExcelLink");
  setWindowTitle(kTitle);
  setModal(true);

  cmdFindExcel = new QPushButton(tr("Find Calc Sheet"), this);
  cmdFindExcel->setObjectName("cmdFindExcel");
  cmdOpenFile = new QPushButton(tr("Open File..."), this);
  cmdOpenFile->setObjectName("cmdOpenFile");
  cmbExcel = new QComboBox(this);
  cmbExcel->setObjectName("cmbExcel");
  cmbExcel->setMinimumContentsLength(28);
  cmdProcess = new QPushButton(tr("Process"), this);
  cmdProcess->setObjectName("cmdProcess");
  cmdCancel = new QPushButton(tr("Cancel"), this);
  cmdCancel->setObjectName("cmdCancel");
  cmdCancel->setAutoDefault(false);
  Label1 = new QLabel(tr("Status"), this);
  Label1->setObjectName("Label1");
  Label1->setWordWrap(true);
  progress = new QProgressBar(this);
  progress->setObjectName("progress");
  progress->setRange(0, 1);
  progress->setValue(0);
  progress->setFormat("%v / %m");

  auto* find_row = new QHBoxLayout;
  find_row->addWidget(cmdFindExcel);
  find_row->addWidget(cmdOpenFile);
  auto* run_row = new QHBoxLayout;
  run_row->addWidget(cmdProcess);
  run_row->addWidget(cmdCancel);
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(find_row);
  layout->addWidget(cmbExcel);
  layout->addLayout(run_row);
  layout->addWidget(progress);
  layout->addWidget(Label1);

  // "Cancel" also gives up waiting for an office that does not answer.
  link_.SetCancelCheck([this] { return cancel_; });
  connect(cmdFindExcel, &QPushButton::clicked, this, &ExcelLinkWindow::cmdFindExcel_Click);
  connect(cmdOpenFile, &QPushButton::clicked, this, &ExcelLinkWindow::cmdOpenFile_Click);
  connect(cmdProcess, &QPushButton::clicked, this, &ExcelLinkWindow::cmdProcess_Click);
  connect(cmdCancel, &QPushButton::clicked, this, &ExcelLinkWindow::cmdCancel_Click);
  UpdateButtons();
}

ExcelLinkWindow::~ExcelLinkWindow() = default;

void ExcelLinkWindow::UpdateButtons() {
  cmdFindExcel->setEnabled(!processing_);
  cmdOpenFile->setEnabled(!processing_);
  cmbExcel->setEnabled(!processing_);
  cmdProcess->setEnabled(!processing_ && cmbExcel->count() > 0);
  cmdCancel->setEnabled(processing_);
}

void ExcelLinkWindow::FillList(const std::vector<ExcelLink::SheetEntry>& list) {
  cmbExcel->clear();
  for (const auto& entry : list) {
    cmbExcel->addItem(Q(entry.caption), entry.item_data);
  }
  if (cmbExcel->count() > 0) {
    cmbExcel->setCurrentIndex(0);
  }
  UpdateButtons();
}

void ExcelLinkWindow::cmdFindExcel_Click() {
  if (processing_) {
    return;
  }
  std::vector<ExcelLink::SheetEntry> list;
  // Events run while a slow office is waited for: no second command
  // meanwhile, and "Cancel" gives up the wait.
  processing_ = true;
  cancel_ = false;
  UpdateButtons();
  const bool failed = link_.FindExcelSheets(list);
  processing_ = false;
  UpdateButtons();
  if (close_after_run_) {
    close_after_run_ = false;
    QDialog::reject();
    return;
  }
  if (failed) {
    return;
  }
  csv_ = nullptr;  // the running application took the workbook's place
  saved_path_.clear();
  FillList(list);
}

void ExcelLinkWindow::cmdOpenFile_Click() {
  if (processing_) {
    return;
  }
  const QString path = ChooseOpenFile(this, tr("Open a CSV workbook"),
                                      tr("CSV workbooks (*.csv *.txt);;All files (*)"));
  if (!path.isEmpty()) {
    OpenWorkbookFile(path.toStdString());
  }
}

bool ExcelLinkWindow::OpenWorkbookFile(const std::string& path) {
  std::unique_ptr<CsvWorkbook> book;
  try {
    book = CsvWorkbook::Load(path);
  } catch (const zelError& e) {
    AppDialogs().Critical(kOpenFailed + e.Description());
    return false;
  }
  CsvWorkbook* raw = book.get();
  std::vector<ExcelLink::SheetEntry> list;
  if (link_.UseWorkbook(std::move(book), list)) {
    return false;
  }
  csv_ = raw;
  saved_path_.clear();
  FillList(list);
  Label1->setText(Q("Opened " + QFileInfo(Q(path)).fileName().toStdString()));
  return true;
}

void ExcelLinkWindow::cmdProcess_Click() {
  if (processing_ || cmbExcel->currentIndex() < 0) {
    return;
  }
  const int item_data = cmbExcel->currentData().toInt();
  processing_ = true;
  cancel_ = false;
  progress->setRange(0, 1);
  progress->setValue(0);
  UpdateButtons();
  WindowObserver observer(Label1, progress, cancel_);
  const ExcelLink::Report report = link_.Process(item_data, observer);
  // Attached again after a lost connection: the list shows the sheets open
  // now, the chosen one still chosen.
  if (std::vector<ExcelLink::SheetEntry> list; link_.TakeNewSheetList(list)) {
    const QString chosen = cmbExcel->currentText();
    FillList(list);
    if (const int index = cmbExcel->findText(chosen); index >= 0) {
      cmbExcel->setCurrentIndex(index);
    }
  }
  if (report.outcome == ExcelLink::Outcome::kDone) {
    // The used area may reach below the row that ended the run: show it full.
    const int handled = std::max(0, report.last_row - 2);
    progress->setRange(0, std::max(1, handled));
    progress->setValue(std::max(1, handled));
  }

  // A CSV workbook is saved next to its file whatever ended the run, unless
  // nothing was written at all; the input itself is never replaced.
  if (csv_ && report.outcome != ExcelLink::Outcome::kMissingColumn &&
      report.outcome != ExcelLink::Outcome::kConflict &&
      link_.App() == static_cast<SpreadsheetApp*>(csv_)) {
    const std::string target = PricedPath(csv_->Path());
    try {
      csv_->Save(target);
      saved_path_ = target;
      Label1->setText(Label1->text() +
                      Q(".  Saved as " + QFileInfo(Q(target)).fileName().toStdString()));
    } catch (const zelError& e) {
      AppDialogs().Critical(kSaveFailed + e.Description());
    }
  }
  // Which column was taken for each input stays in view below the outcome.
  if (!report.columns_taken.empty()) {
    Label1->setText(Label1->text() + "\n" + Q(report.columns_taken));
  }
  processing_ = false;
  UpdateButtons();
  if (close_after_run_) {
    close_after_run_ = false;
    QDialog::reject();
  }
}

void ExcelLinkWindow::cmdCancel_Click() {
  if (processing_) {
    cancel_ = true;
  }
}

void ExcelLinkWindow::reject() {
  if (processing_) {
    cancel_ = true;
    close_after_run_ = true;
    return;
  }
  QDialog::reject();
}

}  // namespace stratlyn
