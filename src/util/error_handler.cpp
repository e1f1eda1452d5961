#include "util/error_handler.h"

#include <pwd.h>
#include <stdlib.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <filesystem>
#include <new>
#include <system_error>

#include "pricing/zelop_loader.h"
#include "tools/zel_ftp.h"
#include "tools/zelop_digest.h"
#include "util/services.h"

namespace stratlyn {
namespace {

namespace fs = std::filesystem;

constexpr const char* kSupportContact = "support@stratlyn.org";

constexpr const char* kUnknownFile =
    "An error has occurred, a necessary file could not be found.  Please contact ZEL for "
    "support.  The system error is: ";
constexpr const char* kOfferDownload1 = "A required file, ";
constexpr const char* kOfferDownload2 =
    ", could not be located.  Do you want to download it from the internet?";
constexpr const char* kFileNecessary1 = "The file ";
constexpr const char* kFileNecessary2 =
    " is necessary.  Please download it from the Help menu of this module";
constexpr const char* kStartDownload =
    "Click to start the download.  Please wait until you are notified that the download is "
    "complete.";
constexpr const char* kDownloadFailed1 = "The file ";
constexpr const char* kDownloadFailed2 =
    " could not be downloaded.  Please try to download it from the Help menu of this module";
constexpr const char* kDownloadDone =
    "File successfully loaded.  You can now continue with your analysis (you may have to click "
    "the button again)";
constexpr const char* kGeneric1 =
    "An error has occurred. If the program does not continue normally, please report this "
    "error, and the circumstances surrounding it, to ";
constexpr const char* kGeneric2 = ".  The system error is: ";

// The libraries of the program family, searched in this order: a key found
// in an error description (any case) names the file to fetch. Only the
// pricing library is ever loaded by this program.
struct LibraryRow {
  const char* key;
  const char* file;
};
constexpr LibraryRow kLibraries[] = {
    {"zelfut", "libzelfut32.so"},
    {"zelexo", "libzelexo32.so"},
    {"zelop", kZelopLibraryName},
    {"zelbond", "libzelbond32.so"},
};

std::string Lower(std::string s) {
  for (char& c : s) {
    c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  }
  return s;
}

std::string WithSlash(std::string dir) {
  if (dir.empty() || dir.back() != '/') {
    dir += '/';
  }
  return dir;
}

// True when this user can create files in `dir`.
bool Writable(const std::string& dir) {
  std::error_code ec;
  return !dir.empty() && fs::is_directory(dir, ec) && ::access(dir.c_str(), W_OK | X_OK) == 0;
}

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
  const std::string file = RequiredFileFor(error.Description());
  if (file.empty()) {
    Show(kUnknownFile + error.Description(), MsgButtons::Ok, MsgIcon::Critical);
    AppEvents().SetBusy(false);
    return;
  }
  const MsgAnswer answer = AppDialogs().Show(kOfferDownload1 + file + kOfferDownload2,
                                             MsgButtons::YesNo, MsgIcon::Question, kMessageTitle);
  if (answer != MsgAnswer::Yes) {
    Show(kFileNecessary1 + file + kFileNecessary2, MsgButtons::Ok, MsgIcon::Critical);
    AppEvents().SetBusy(false);
    return;
  }
  // The download starts whichever button is pressed.
  Show(kStartDownload, MsgButtons::OkCancel, MsgIcon::None);
  AppEvents().SetBusy(true);
  bool loaded = false;
  try {
    loaded = DownloadRequiredFile(file);
  } catch (...) {
    loaded = false;
  }
  AppEvents().SetBusy(false);
  if (!loaded) {
    Show(kDownloadFailed1 + file + kDownloadFailed2, MsgButtons::Ok, MsgIcon::Critical);
  } else {
    Show(kDownloadDone, MsgButtons::Ok, MsgIcon::None);
  }
}

}  // namespace

std::string RequiredFileFor(const std::string& description) {
  const std::string text = Lower(description);
  for (const LibraryRow& row : kLibraries) {
    if (text.find(row.key) != std::string::npos) {
      return row.file;
    }
  }
  return {};
}

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

std::string GetSystemDir() {
  fs::path base;
  const char* xdg = std::getenv("XDG_DATA_HOME");
  if (xdg != nullptr && xdg[0] == '/') {
    base = xdg;
  } else {
    const char* home = std::getenv("HOME");
    if (home == nullptr || home[0] == '\0') {
      const passwd* pw = ::getpwuid(::getuid());
      home = pw != nullptr ? pw->pw_dir : "/";
    }
    base = fs::path(home) / ".local" / "share";
  }
  const fs::path dir = base / "stratlyn" / "lib";
  std::error_code ec;
  fs::create_directories(dir, ec);
  return WithSlash(dir.string());
}

std::string GetTempDir() {
  const char* tmp = std::getenv("TMPDIR");
  return WithSlash(tmp != nullptr && tmp[0] != '\0' ? tmp : "/tmp");
}

bool DownloadRequiredFile(const std::string& file) {
  // Only a library whose digest this build knows can be checked, and an
  // unchecked file is never installed.
  if (file != kZelopLibraryName || BuiltZelopDigest().empty()) {
    return false;
  }

  std::string dir = GetSystemDir();
  if (!Writable(dir)) {
    const std::string tmp = GetTempDir();
    if (!Writable(tmp)) {
      return false;
    }
    // Never a fixed name in a shared folder: a private folder of our own.
    std::string private_dir = tmp + "stratlyn-lib-XXXXXX";
    if (::mkdtemp(private_dir.data()) == nullptr) {
      return false;
    }
    dir = WithSlash(private_dir);
  }

  const std::string target = dir + file;
  const std::string staged = target + ".download";
  zelFTP ftp;
  if (!ftp.getFile(file, staged)) {
    return false;
  }
  if (!MatchesBuiltZelop(staged)) {
    std::remove(staged.c_str());
    return false;
  }
  if (std::rename(staged.c_str(), target.c_str()) != 0) {
    std::remove(staged.c_str());
    return false;
  }
  return LoadZelopLibrary(target);
}

}  // namespace stratlyn
