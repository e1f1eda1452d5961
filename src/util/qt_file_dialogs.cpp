#include "util/qt_file_dialogs.h"

#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QStandardPaths>

namespace stratlyn {
namespace {

QString& LastFolder() {
  static QString folder;
  return folder;
}

FileChooser& Chooser() {
  static FileChooser chooser;
  return chooser;
}

QString Remember(const QString& path) {
  if (!path.isEmpty()) {
    LastFolder() = QFileInfo(path).absolutePath();
  }
  return path;
}

}  // namespace

QString FileDialogFolder() {
  if (!LastFolder().isEmpty() && QDir(LastFolder()).exists()) {
    return LastFolder();
  }
  QString documents = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
  if (!documents.isEmpty() && QDir(documents).exists()) {
    return documents;
  }
  return QDir::homePath();
}

QString ChooseSaveFile(QWidget* parent, const QString& title, const QString& file_name,
                       const QString& filter) {
  const QString start = QDir(FileDialogFolder()).filePath(file_name);
  if (Chooser()) {
    return Remember(Chooser()(start, true));
  }
  return Remember(QFileDialog::getSaveFileName(parent, title, start, filter));
}

QString ChooseOpenFile(QWidget* parent, const QString& title, const QString& filter) {
  const QString start = FileDialogFolder();
  if (Chooser()) {
    return Remember(Chooser()(start, false));
  }
  return Remember(QFileDialog::getOpenFileName(parent, title, start, filter));
}

void SetFileChooser(FileChooser chooser) { Chooser() = std::move(chooser); }

void ResetFileDialogFolder() { LastFolder().clear(); }

}  // namespace stratlyn
