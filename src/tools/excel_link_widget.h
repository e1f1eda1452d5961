#pragma once
// The spreadsheet link window frmExcelLink ("Excel Stratlyn"): lists the
// worksheets of the running LibreOffice Calc, or opens a CSV workbook, and
// prices every row of the chosen sheet.

class QWidget;

namespace stratlyn {

// Shows frmExcelLink modally over mainWindow (may be nullptr) and returns when
// the user closes it.
void ShowSpreadsheetLink(QWidget* mainWindow);

}  // namespace stratlyn
