#include "tools/library_download.h"

#include <pwd.h>
#include <stdlib.h>
#include <unistd.h>

#include <cctype>
#include <cstdio>
#include <filesystem>
#include <system_error>

#include "pricing/zelop_loader.h"
#include "tools/zel_ftp.h"
#include "tools/zelop_digest.h"

namespace stratlyn {
namespace {

namespace fs = std::filesystem;

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

bool InstallVerifiedLibrary(const std::string& staged, const std::string& target) {
  if (!MatchesBuiltZelop(staged)) {
    std::remove(staged.c_str());
    return false;
  }
  if (std::rename(staged.c_str(), target.c_str()) != 0) {
    std::remove(staged.c_str());
    return false;
  }
  return true;
}

std::string FetchVerifiedLibrary(const std::string& file) {
  // Only a library whose digest this build knows can be checked, and an
  // unchecked file is never installed.
  if (file != kZelopLibraryName || BuiltZelopDigest().empty()) {
    return {};
  }

  std::string dir = GetSystemDir();
  if (!Writable(dir)) {
    const std::string tmp = GetTempDir();
    if (!Writable(tmp)) {
      return {};
    }
    // Never a fixed name in a shared folder: a private folder of our own.
    std::string private_dir = tmp + "stratlyn-lib-XXXXXX";
    if (::mkdtemp(private_dir.data()) == nullptr) {
      return {};
    }
    dir = WithSlash(private_dir);
  }

  const std::string target = dir + file;
  const std::string staged = target + ".download";
  zelFTP ftp;
  if (!ftp.getFile(file, staged)) {
    return {};
  }
  return InstallVerifiedLibrary(staged, target) ? target : std::string();
}

bool DownloadRequiredFile(const std::string& file) {
  const std::string target = FetchVerifiedLibrary(file);
  return !target.empty() && LoadZelopLibrary(target);
}

std::string ZelopLibraryRecovery::RequiredFileFor(const std::string& description) {
  return stratlyn::RequiredFileFor(description);
}

bool ZelopLibraryRecovery::DownloadRequiredFile(const std::string& file) {
  try {
    return stratlyn::DownloadRequiredFile(file);
  } catch (...) {
    return false;
  }
}

}  // namespace stratlyn
