#include "shell/runtime_dir.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>

namespace stratlyn {

bool IsPrivateFolder(const std::string& path) {
  struct stat st {};
  // lstat: a link is refused even when it points at a private folder, since
  // whoever owns the link can point it elsewhere later.
  return !path.empty() && path[0] == '/' && ::lstat(path.c_str(), &st) == 0 &&
         S_ISDIR(st.st_mode) && st.st_uid == ::geteuid() && (st.st_mode & 077) == 0;
}

std::string PrepareRuntimeDir() {
  const char* given = std::getenv("XDG_RUNTIME_DIR");
  if (given != nullptr && IsPrivateFolder(given)) {
    return {};
  }
  const char* tmp = std::getenv("TMPDIR");
  std::string pattern = (tmp != nullptr && tmp[0] == '/' ? std::string(tmp) : std::string("/tmp"));
  if (pattern.back() != '/') {
    pattern += '/';
  }
  pattern += "stratlyn-runtime-XXXXXX";
  // mkdtemp makes a new folder with mode 0700 under a name nobody could
  // foresee, or fails; it never reuses what is there.
  if (::mkdtemp(pattern.data()) == nullptr) {
    ::unsetenv("XDG_RUNTIME_DIR");
    return {};
  }
  ::setenv("XDG_RUNTIME_DIR", pattern.c_str(), 1);
  return pattern;
}

}  // namespace stratlyn
