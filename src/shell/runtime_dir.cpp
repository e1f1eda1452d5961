#include "shell/runtime_dir.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>

#include "util/safe_folder.h"

namespace stratlyn {
namespace {

constexpr const char* kPrefix = "stratlyn-runtime-";
constexpr const char* kLockName = ".stratlyn-lock";

// Removes "stratlyn-runtime-XXXXXX" folders in `parent` that are private
// folders of this user and whose lock no running program holds.
void RemoveLeftFolders(const std::string& parent) {
  DIR* d = ::opendir(parent.c_str());
  if (d == nullptr) {
    return;
  }
  const std::string prefix = kPrefix;
  while (const dirent* e = ::readdir(d)) {
    const std::string name = e->d_name;
    if (name.size() != prefix.size() + 6 || name.compare(0, prefix.size(), prefix) != 0) {
      continue;
    }
    std::string folder = parent;
    folder += '/';
    folder += name;
    if (!IsPrivateFolder(folder)) {
      continue;
    }
    const int fd =
        ::open((folder + "/" + kLockName).c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK);
    if (fd < 0) {
      continue;  // no lock: not one of ours, or one still being made
    }
    if (::flock(fd, LOCK_EX | LOCK_NB) == 0) {
      std::error_code ec;
      std::filesystem::remove_all(folder, ec);  // links inside are not followed
    }
    ::close(fd);
  }
  ::closedir(d);
}

}  // namespace

bool IsPrivateFolder(const std::string& path) {
  struct stat st {};
  // lstat: a link is refused even when it points at a private folder, since
  // whoever owns the link can point it elsewhere later.
  return !path.empty() && path[0] == '/' && ::lstat(path.c_str(), &st) == 0 &&
         S_ISDIR(st.st_mode) && st.st_uid == ::geteuid() && (st.st_mode & 077) == 0;
}

MadeRuntimeDir PrepareRuntimeDir() {
  MadeRuntimeDir made;
  const char* given = std::getenv("XDG_RUNTIME_DIR");
  if (given != nullptr && IsPrivateFolder(given)) {
    return made;
  }
  const char* tmp = std::getenv("TMPDIR");
  std::string parent = tmp != nullptr && tmp[0] == '/' ? std::string(tmp) : std::string("/tmp");
  while (parent.size() > 1 && parent.back() == '/') {
    parent.pop_back();
  }
  // A TMPDIR that another user owns or may change (or that leads through
  // such a folder) could have our folder swapped for one of theirs while
  // the web engine uses it: /tmp is used instead.
  if (!UnsafeFolderReason(parent).empty()) {
    parent = "/tmp";
  }
  RemoveLeftFolders(parent);
  std::string pattern = parent + "/" + kPrefix + "XXXXXX";
  // mkdtemp makes a new folder with mode 0700 under a name nobody could
  // foresee, or fails; it never reuses what is there.
  if (::mkdtemp(pattern.data()) == nullptr) {
    ::unsetenv("XDG_RUNTIME_DIR");
    return made;
  }
  made.path = pattern;
  made.lock_fd = ::open((pattern + "/" + kLockName).c_str(),
                        O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0600);
  if (made.lock_fd >= 0) {
    ::flock(made.lock_fd, LOCK_EX | LOCK_NB);
  }
  ::setenv("XDG_RUNTIME_DIR", pattern.c_str(), 1);
  return made;
}

void RemoveRuntimeDir(MadeRuntimeDir& made) {
  if (!made.path.empty()) {
    std::error_code ec;
    std::filesystem::remove_all(made.path, ec);  // links inside are not followed
    made.path.clear();
  }
  if (made.lock_fd >= 0) {
    ::close(made.lock_fd);
    made.lock_fd = -1;
  }
}

}  // namespace stratlyn
