#include "util/safe_folder.h"

#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <system_error>

namespace stratlyn {
namespace {

namespace fs = std::filesystem;

// Checks each existing part of the absolute path `path`, from the root
// down; the reason for the first unsafe one, "" when all are safe.
std::string UnsafePart(const fs::path& path) {
  const uid_t me = ::geteuid();
  fs::path part;
  for (const fs::path& name : path) {
    if (name.empty()) {
      continue;  // the end of "dir/"
    }
    part /= name;
    struct stat st {};
    if (::lstat(part.c_str(), &st) != 0) {
      return {};  // the rest does not exist yet: it will be this user's own
    }
    if (st.st_uid != me && st.st_uid != 0) {
      return part.string() + " belongs to another user";
    }
    if (S_ISLNK(st.st_mode)) {
      continue;  // what it leads to is checked on its own way
    }
    const bool others_write = (st.st_mode & S_IWOTH) != 0 && (st.st_mode & S_ISVTX) == 0;
    const bool group_write = (st.st_mode & S_IWGRP) != 0 && (st.st_mode & S_ISVTX) == 0 &&
                             st.st_gid != ::getegid() && st.st_uid == me;
    const bool root_group_write = (st.st_mode & S_IWGRP) != 0 && (st.st_mode & S_ISVTX) == 0 &&
                                  st.st_uid == 0 && st.st_gid != 0 && st.st_gid != ::getegid();
    if (others_write || group_write || root_group_write) {
      return part.string() + " may be changed by other users";
    }
  }
  return {};
}

}  // namespace

std::string UnsafeFolderReason(const std::string& dir) {
  if (dir.empty() || dir[0] != '/') {
    return {};
  }
  const fs::path given = fs::path(dir).lexically_normal();
  if (std::string why = UnsafePart(given); !why.empty()) {
    return why;
  }
  std::error_code ec;
  const fs::path resolved = fs::weakly_canonical(given, ec);
  return ec ? std::string() : UnsafePart(resolved);
}

}  // namespace stratlyn
