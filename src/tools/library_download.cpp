#include "tools/library_download.h"

#include <stdlib.h>
#include <unistd.h>

#include <cctype>
#include <cstdio>
#include <filesystem>
#include <system_error>

#include "pricing/zelop_digest.h"
#include "pricing/zelop_loader.h"
#include "tools/zel_ftp.h"

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

constexpr const char* kNoUserFolder =
    "no per-user library folder is known (neither XDG_DATA_HOME nor HOME is an absolute folder)";

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
  const std::string dir = ZelopUserLibraryDir();
  if (dir.empty()) {
    return {};
  }
  std::error_code ec;
  fs::create_directories(dir, ec);
  return WithSlash(dir);
}

std::string GetTempDir() {
  const char* tmp = std::getenv("TMPDIR");
  return WithSlash(tmp != nullptr && tmp[0] == '/' ? tmp : "/tmp");
}

std::string FolderNotWritableText(const std::string& dir) {
  return "the per-user library folder " + dir +
         " cannot be written, and no other folder is searched for the library";
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

bool IsLibraryDestination(const std::string& path) {
  const fs::path target(path);
  if (target.filename() == kZelopLibraryName) {
    return true;
  }
  std::error_code ec;
  const fs::path folder = fs::weakly_canonical(fs::absolute(target, ec).parent_path(), ec);
  for (const std::string& searched : ZelopSearchFolders()) {
    std::error_code ec2;
    if (fs::weakly_canonical(searched, ec2) == folder) {
      return true;
    }
  }
  return false;
}

namespace {

// Fetches the library into `dir` (which must exist) under its own name,
// keeping it only when its SHA-256 is right.
LibraryFetch FetchInto(const std::string& dir, const std::string& file, long deadline_seconds) {
  LibraryFetch result;
  const std::string target = WithSlash(dir) + file;
  zelFTP ftp;
  ftp.SetDeadline(deadline_seconds);
  ftp.SetMaxFileBytes(kZelopMaxBytes);
  ftp.SetCommitCheck([](const std::string& temporary, std::string& why) {
    if (MatchesBuiltZelop(temporary)) {
      return true;
    }
    why = std::string("the file on the server is refused: ") + kZelopWrongDigest;
    return false;
  });
  if (!ftp.getFile(file, target)) {
    result.failure = ftp.lastFailure();
    return result;
  }
  result.path = target;
  return result;
}

}  // namespace

LibraryFetch FetchVerifiedLibrary(const std::string& file, long deadline_seconds) {
  LibraryFetch result;
  // Only a library whose digest this build knows can be checked, and an
  // unchecked file is never installed.
  if (file != kZelopLibraryName || BuiltZelopDigest().empty()) {
    result.failure = "only the pricing library " + std::string(kZelopLibraryName) +
                     " of this build can be checked, so nothing else is fetched";
    return result;
  }
  const std::string dir = GetSystemDir();
  if (!Writable(dir)) {
    result.failure =
        dir.empty() ? std::string(kNoUserFolder) : FolderNotWritableText(ZelopUserLibraryDir());
    result.folder_not_writable = true;
    return result;
  }
  return FetchInto(dir, file, deadline_seconds);
}

bool DownloadRequiredFile(const std::string& file) {
  const LibraryFetch fetched = FetchVerifiedLibrary(file);
  if (!fetched.path.empty()) {
    return LoadZelopLibrary(fetched.path);
  }
  if (!fetched.folder_not_writable) {
    return false;
  }
  // For this run only: a private folder of our own (never a fixed name in
  // a shared one), gone again once the library is loaded from memory.
  const std::string tmp = GetTempDir();
  std::string private_dir = tmp + "stratlyn-lib-XXXXXX";
  if (!Writable(tmp) || ::mkdtemp(private_dir.data()) == nullptr) {
    return false;
  }
  const LibraryFetch session = FetchInto(private_dir, file, zelFTP::kFileDeadlineSeconds);
  const bool loaded = !session.path.empty() && LoadZelopLibrary(session.path);
  std::error_code ec;
  fs::remove_all(private_dir, ec);
  return loaded;
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
