// calcMain's downloads: only the file Help > Download asked for is offered
// for saving, and a file that could be loaded as the pricing library is kept
// only when its SHA-256 digest is that of this build's library.

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>
#include <QWebEngineDownloadRequest>

#include "pricing/zelop_digest.h"
#include "pricing/zelop_loader.h"
#include "shell/calc_main_widget.h"
#include "shell/qt_web_browser.h"
#include "tools/library_download.h"
#include "util/dates.h"
#include "util/net_limits.h"
#include "util/services.h"

namespace stratlyn {
namespace {

constexpr const char* kLibraryRejected =
    "The downloaded file is not the pricing library of this program (its SHA-256 digest does "
    "not match).  It was deleted, and nothing was saved as ";
constexpr const char* kDownloadNotSaved = "The file could not be saved as ";
// Marks a library download ended because it grew past the library's size.
constexpr const char* kTooLargeProperty = "stratlynTooLarge";

}  // namespace

bool calcMain::IsRequestedDownload(const QWebEngineDownloadRequest* download) const {
  // Only Help > Download asks for a file: the top browser's last navigation
  // went to the download address and the file comes from it (or from where
  // it was redirected).
  return download->page() == browser1_->page() && !addresses_.DownloadUrl.empty() &&
         browser1_->LastNavigateTarget() == addresses_.DownloadUrl &&
         browser1_->LastNavigateLeadsTo(download->url());
}

QString calcMain::SuggestedDownloadPath(const QString& file_name) {
  // The library folder is offered for the library only.
  if (file_name == QLatin1String(kZelopLibraryName)) {
    return QString::fromStdString(GetSystemDir()) + file_name;
  }
  QString folder = QStandardPaths::writableLocation(QStandardPaths::DownloadLocation);
  if (folder.isEmpty()) {
    folder = QDir::homePath();
  }
  return QDir(folder).filePath(file_name);
}

void calcMain::OnDownloadRequested(QWebEngineDownloadRequest* download) {
  if (download->page() != browser1_->page() && download->page() != browser2_->page()) {
    return;
  }
  // A page that turns out to be a file (a quote answered with a download)
  // is not offered for saving: the command that loaded it says it failed.
  if (!IsRequestedDownload(download)) {
    download->cancel();
    return;
  }
  const QString path = save_chooser_
                           ? save_chooser_(SuggestedDownloadPath(download->downloadFileName()))
                           : QString();
  if (path.isEmpty()) {
    download->cancel();
    return;
  }
  const QFileInfo target(path);
  download->setDownloadDirectory(target.absolutePath());
  // A file that could be loaded as the pricing library where it lands (by
  // its name or its folder; never by the name the server gave it) arrives
  // under a temporary name and takes the chosen one only when its SHA-256
  // is that of the library this build made.
  const bool library = IsLibraryDestination(path.toStdString());
  download->setDownloadFileName(target.fileName() + (library ? ".download" : ""));
  connect(download, &QWebEngineDownloadRequest::isFinishedChanged, this, [this, download, path] {
    if (download->isFinished()) {
      OnRequestedDownloadFinished(download, path);
    }
  });
  // No file over the library's size can be the library: such a download
  // (announced so, or growing so; an endless one would fill the disk) is
  // ended at once.
  const auto check_size = [download] {
    const auto cap = static_cast<qint64>(kZelopMaxBytes);
    if (!download->isFinished() &&
        (download->totalBytes() > cap || download->receivedBytes() > cap)) {
      download->setProperty(kTooLargeProperty, true);
      download->cancel();
    }
  };
  if (library) {
    connect(download, &QWebEngineDownloadRequest::totalBytesChanged, this, check_size);
    connect(download, &QWebEngineDownloadRequest::receivedBytesChanged, this, check_size);
  }
  download->accept();
  if (library) {
    check_size();
  }
}

void calcMain::OnRequestedDownloadFinished(QWebEngineDownloadRequest* download,
                                           const QString& path) {
  const bool staged = download->downloadFileName() == QFileInfo(path).fileName() + ".download";
  const QString saved = download->downloadDirectory() + "/" + download->downloadFileName();
  if (download->property(kTooLargeProperty).toBool()) {
    if (staged) {
      QFile::remove(saved);
    }
    AppDialogs().Critical(kDownloadNotSaved + path.toStdString() + ": " +
                          AnswerTooLargeText(download->url().host().toStdString(), kZelopMaxBytes));
    return;
  }
  if (download->state() == QWebEngineDownloadRequest::DownloadCompleted && staged &&
      !InstallVerifiedLibrary(saved.toStdString(), path.toStdString())) {
    AppDialogs().Critical(kLibraryRejected + path.toStdString());
    return;
  }
  if (staged && download->state() != QWebEngineDownloadRequest::DownloadCompleted) {
    QFile::remove(saved);  // an unfinished copy is never left behind
  }
  if (download->state() == QWebEngineDownloadRequest::DownloadCompleted) {
    AppDialogs().Show("The file was saved as " + path.toStdString(), MsgButtons::Ok,
                      MsgIcon::Information, kMessageTitle);
  } else {
    AppDialogs().Critical(kDownloadNotSaved + path.toStdString());
  }
}

}  // namespace stratlyn
