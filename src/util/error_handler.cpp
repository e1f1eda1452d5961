#include "util/error_handler.h"

#include <new>

#include "util/library_recovery.h"
#include "util/services.h"

namespace stratlyn {
namespace {

constexpr const char* kUnknownFile =
    "An error has occurred, a necessary file could not be found.  Please contact ZEL for "
    "support.  The system error is: ";
constexpr const char* kOfferDownload1 = "A required file, ";
constexpr const char* kOfferDownload2 =
    ", could not be located.  Do you want to download it from the internet?";
constexpr const char* kFileNecessary1 = "The file ";
constexpr const char* kFileNecessary2 = " is necessary.  Please download it ";
constexpr const char* kStartDownload =
    "Click to start the download.  Please wait until you are notified that the download is "
    "complete.";
constexpr const char* kDownloadFailed1 = "The file ";
constexpr const char* kDownloadFailed2 = " could not be downloaded.  Please try to download it ";
constexpr const char* kDownloadDone =
    "File successfully loaded.  You can now continue with your analysis (you may have to click "
    "the button again)";
constexpr const char* kGeneric1 =
    "An error has occurred. If the program does not continue normally, please report this "
    "error, and the circumstances surrounding it, to ";
constexpr const char* kGeneric2 = ".  The system error is: ";

void Show(const std::string& text, MsgButtons buttons, MsgIcon icon) {
  AppDialogs().Show(text, buttons, icon, kMessageTitle);
}

void Report(const zelError& error) {
  const int number = error.Number();
  if (number != err::kLibraryLoad && number != err::kFileNotFound) {
    Show(kGeneric1 + std::string(kSupportContact) + kGeneric2 + ErrorText(number), MsgButtons::Ok,
         MsgIcon::Critical);
    AppEvents().ProcessPending();
    AppEvents().SetBusy(false);
    return;
  }
  LibraryRecovery* recovery = AppLibraryRecovery();
  const std::string file = recovery ? recovery->RequiredFileFor(error.Description()) : "";
  // A file that was found but refused (its path follows the error text):
  // which one and why is said before the download is offered.
  const std::string refused_prefix = std::string(ErrorText(err::kLibraryLoad)) + ": /";
  if (!file.empty() && number == err::kLibraryLoad &&
      error.Description().compare(0, refused_prefix.size(), refused_prefix) == 0) {
    Show(error.Description(), MsgButtons::Ok, MsgIcon::Critical);
  }
  if (file.empty()) {
    Show(kUnknownFile + error.Description(), MsgButtons::Ok, MsgIcon::Critical);
    AppEvents().SetBusy(false);
    return;
  }
  const MsgAnswer answer = AppDialogs().Show(kOfferDownload1 + file + kOfferDownload2,
                                             MsgButtons::YesNo, MsgIcon::Question, kMessageTitle);
  if (answer != MsgAnswer::Yes) {
    Show(kFileNecessary1 + file + kFileNecessary2 + recovery->ByHand(), MsgButtons::Ok,
         MsgIcon::Critical);
    AppEvents().SetBusy(false);
    return;
  }
  // The download starts whichever button is pressed.
  Show(kStartDownload, MsgButtons::OkCancel, MsgIcon::None);
  AppEvents().SetBusy(true);
  bool loaded = false;
  try {
    loaded = recovery->DownloadRequiredFile(file);
  } catch (...) {
    loaded = false;
  }
  AppEvents().SetBusy(false);
  if (!loaded) {
    Show(kDownloadFailed1 + file + kDownloadFailed2 + recovery->ByHand(), MsgButtons::Ok,
         MsgIcon::Critical);
  } else {
    Show(kDownloadDone, MsgButtons::Ok, MsgIcon::None);
  }
}

}  // namespace

static LibraryRecovery*& InstalledRecovery() {
  static LibraryRecovery* recovery = nullptr;
  return recovery;
}

LibraryRecovery* AppLibraryRecovery() { return InstalledRecovery(); }
void SetLibraryRecovery(LibraryRecovery* recovery) { InstalledRecovery() = recovery; }

void ErrorHandler(const zelError& error) {
  try {
    Report(error);
  } catch (...) {
    // The reporter of last resort has nobody to report to.
  }
}

void ErrorHandler(const std::exception& error) {
  if (const auto* z = dynamic_cast<const zelError*>(&error)) {
    ErrorHandler(*z);
  } else if (dynamic_cast<const std::bad_alloc*>(&error) != nullptr) {
    ErrorHandler(zelError(err::kOutOfMemory));
  } else {
    ErrorHandler(zelError(51));
  }
}

}  // namespace stratlyn
