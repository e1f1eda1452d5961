#include "tools/excel_link_widget.h"

#include <QDialog>

namespace stratlyn {

void ShowSpreadsheetLink(QWidget* mainWindow) {
  QDialog dialog(mainWindow);
  dialog.setObjectName("frmExcelLink");
  dialog.setWindowTitle("Excel Stratlyn");
  dialog.setModal(true);
  dialog.exec();
}

}  // namespace stratlyn
