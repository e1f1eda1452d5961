#pragma once
// The spreadsheet link window frmExcelLink ("Spreadsheet Link Stratlyn (LibreOffice Calc and CSV
// files)"): lists the worksheets of the running LibreOffice Calc, or opens a CSV workbook, and
// prices every row of the chosen sheet, with a progress bar and "Cancel".

#include <QDialog>
#include <string>

#include "tools/excel_link.h"

class QComboBox;
class QLabel;
class QProgressBar;
class QPushButton;
class QWidget;

namespace stratlyn {

class CsvWorkbook;

// Shows frmExcelLink modally over mainWindow (may be nullptr) and returns when
// the user closes it.
void ShowSpreadsheetLink(QWidget* mainWindow);

class ExcelLinkWindow : public QDialog {
  Q_OBJECT

 public:
  // connector attaches to the running spreadsheet application (by default
  // LibreOffice Calc on 127.0.0.1 at CalcPort()).
  explicit ExcelLinkWindow(QWidget* parent = nullptr, ExcelLink::Connector connector = {});
  ~ExcelLinkWindow() override;

  // "Open File..." after the file has been chosen: loads the CSV workbook and
  // lists its sheet. False (after a message) when it cannot be read.
  bool OpenWorkbookFile(const std::string& path);
  // Where the priced copy of the open CSV workbook was last saved ("" if none).
  const std::string& SavedPath() const { return saved_path_; }
  bool Processing() const { return processing_; }

  QPushButton* cmdFindExcel;
  QPushButton* cmdOpenFile;
  QComboBox* cmbExcel;
  QPushButton* cmdProcess;
  QPushButton* cmdCancel;
  QLabel* Label1;
  QProgressBar* progress;

 public slots:
  void cmdFindExcel_Click();
  void cmdOpenFile_Click();
  void cmdProcess_Click();
  void cmdCancel_Click();
  // Closing while a run is going on cancels it first.
  void reject() override;

 private:
  void FillList(const std::vector<ExcelLink::SheetEntry>& list);
  void UpdateButtons();

  ExcelLink link_;
  CsvWorkbook* csv_ = nullptr;  // the open CSV workbook, owned by link_
  std::string saved_path_;
  bool processing_ = false;
  bool cancel_ = false;
  bool close_after_run_ = false;
};

}  // namespace stratlyn
