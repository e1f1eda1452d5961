#pragma once
// The program's file dialogs. Each starts in the folder the user last chose a
// file in (during this run), and before that in the user's documents folder
// (the home folder where there is none), whatever the process's working
// folder is.

#include <QString>
#include <functional>

class QWidget;

namespace stratlyn {

// The folder the next file dialog starts in.
QString FileDialogFolder();

// Asks for a file to save, suggesting `file_name` in FileDialogFolder(); ""
// when cancelled. A chosen file's folder becomes the next start folder.
QString ChooseSaveFile(QWidget* parent, const QString& title, const QString& file_name,
                       const QString& filter);
// Asks for a file to open, starting in FileDialogFolder(); "" when cancelled.
QString ChooseOpenFile(QWidget* parent, const QString& title, const QString& filter);

// Replaces the dialog (tests): called with the start path (a folder, or a
// folder and file name when saving) and returns the chosen path or "".
using FileChooser = std::function<QString(const QString& start_path, bool save)>;
void SetFileChooser(FileChooser chooser);
// Forgets the last folder (tests).
void ResetFileDialogFolder();

}  // namespace stratlyn
