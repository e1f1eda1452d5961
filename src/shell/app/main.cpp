// stratlyn: the desktop program. Sets up what Qt WebEngine needs on this
// machine, installs the Qt services, and starts the main window.

#include <unistd.h>

#include <QApplication>
#include <QFile>
#include <QIcon>
#include <cstdlib>
#include <string>

#include "shell/calc_main_widget.h"
#include "shell/runtime_dir.h"
#include "tools/library_download.h"
#include "util/qt_services.h"
#include "util/services.h"
#include "util/sites.h"

namespace {

// WebEngine's renderer sandbox cannot run as root, and without a GPU the
// software path is the reliable one.
void PrepareWebEngineEnvironment() {
  if (geteuid() == 0 && std::getenv("QTWEBENGINE_CHROMIUM_FLAGS") == nullptr) {
    setenv("QTWEBENGINE_CHROMIUM_FLAGS", "--no-sandbox --disable-gpu", 1);
  }
}

// The runtime folder this run made, removed with what the web engine left in
// it when the program ends normally (the next run removes it otherwise).
class RuntimeFolder {
 public:
  RuntimeFolder() : made_(stratlyn::PrepareRuntimeDir()) {}
  ~RuntimeFolder() { stratlyn::RemoveRuntimeDir(made_); }
  RuntimeFolder(const RuntimeFolder&) = delete;
  RuntimeFolder& operator=(const RuntimeFolder&) = delete;

 private:
  stratlyn::MadeRuntimeDir made_;
};

QIcon ApplicationIcon() {
  QIcon icon = QIcon::fromTheme("stratlyn");
  if (!icon.isNull()) {
    return icon;
  }
  // Installed beside the program, or in the build folder it runs from.
  const QString exe_dir = QString::fromStdString(stratlyn::sites::ExecutableDir());
  for (const QString& path :
       {exe_dir + "/../share/icons/hicolor/scalable/apps/stratlyn.svg",
        exe_dir + "/packaging/stratlyn.svg", exe_dir + "/packaging/stratlyn.png"}) {
    if (QFile::exists(path)) {
      return QIcon(path);
    }
  }
  return {};
}

}  // namespace

int main(int argc, char** argv) {
  PrepareWebEngineEnvironment();
  const RuntimeFolder runtime_folder;
  QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
  QApplication app(argc, argv);
  QApplication::setApplicationName("stratlyn");
  // No display name: Qt would append " — <name>" to every window and message
  // box title, and the titles ("ZEL Stratlyn ", "Quorvale") stand alone.
  // Desktops name the program from its desktop file.
  QApplication::setDesktopFileName("stratlyn");
  QApplication::setWindowIcon(ApplicationIcon());

  stratlyn::QtDialogs dialogs;
  stratlyn::QtEvents events;
  stratlyn::QtClipboard clipboard;
  stratlyn::ScopedServices services(&dialogs, &events, &clipboard);
  stratlyn::ZelopLibraryRecovery recovery;
  stratlyn::ScopedLibraryRecovery library_recovery(&recovery);

  stratlyn::calcMain window;
  dialogs.SetParent(&window);
  window.Form_Load();
  if (window.Closing()) {
    // Closed during start-up, before the event loop ran: its request to
    // quit found no loop to end.
    return 0;
  }
  return QApplication::exec();
}
