#include "pricing/zelop_loader.h"

#include <dlfcn.h>
#include <fcntl.h>
#include <pwd.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "pricing/zelop_digest.h"
#include "util/sites.h"
#include "util/zel_error.h"

namespace stratlyn {
namespace {

namespace fs = std::filesystem;

struct LoadedLibrary {
  void* handle = nullptr;
  std::string path;  // the file the loaded, checked bytes were read from
  std::string search_override;
  bool override_set = false;
  // The handle stays open until UnloadZelopLibrary: function pointers handed
  // out may be in use until the program ends.
};

LoadedLibrary& State() {
  static LoadedLibrary state;
  return state;
}

class Descriptor {
 public:
  explicit Descriptor(int fd) : fd_(fd) {}
  ~Descriptor() {
    if (fd_ >= 0) {
      ::close(fd_);
    }
  }
  Descriptor(const Descriptor&) = delete;
  Descriptor& operator=(const Descriptor&) = delete;
  int get() const { return fd_; }

 private:
  int fd_;
};

bool IsAbsolute(const char* path) { return path != nullptr && path[0] == '/'; }

std::string SystemText(int error) { return std::strerror(error); }

// Reads the whole regular file at `path` (at most kZelopMaxBytes) into
// `bytes`; false with the reason in `why`.
bool ReadCandidate(const std::string& path, std::string& bytes, std::string& why) {
  // Non-blocking: a FIFO planted under the library's name must not hang the
  // open; it is refused below as no regular file.
  const Descriptor fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY));
  if (fd.get() < 0) {
    why = "it cannot be opened: " + SystemText(errno);
    return false;
  }
  struct stat st {};
  if (::fstat(fd.get(), &st) != 0 || !S_ISREG(st.st_mode)) {
    why = kZelopNotAFile;
    return false;
  }
  if (static_cast<std::size_t>(st.st_size) > kZelopMaxBytes) {
    why = kZelopTooLarge;
    return false;
  }
  bytes.clear();
  bytes.reserve(static_cast<std::size_t>(st.st_size));
  char buf[1 << 16];
  for (;;) {
    const ssize_t n = ::read(fd.get(), buf, sizeof buf);
    if (n < 0 && errno == EINTR) {
      continue;
    }
    if (n < 0) {
      why = "it cannot be read: " + SystemText(errno);
      return false;
    }
    if (n == 0) {
      break;
    }
    bytes.append(buf, static_cast<std::size_t>(n));
    if (bytes.size() > kZelopMaxBytes) {
      why = kZelopTooLarge;  // it grew while being read
      return false;
    }
  }
  return true;
}

// dlopen of checked bytes: a sealed in-memory file, so what is mapped is
// exactly what was checked and cannot shrink under the mapping.
void* OpenBytes(const std::string& bytes, std::string& why) {
  const Descriptor mem(::memfd_create(kZelopLibraryName, MFD_CLOEXEC | MFD_ALLOW_SEALING));
  if (mem.get() < 0) {
    why = "no in-memory copy can be made: " + SystemText(errno);
    return nullptr;
  }
  std::size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t n = ::write(mem.get(), bytes.data() + done, bytes.size() - done);
    if (n < 0 && errno == EINTR) {
      continue;
    }
    if (n <= 0) {
      why = "no in-memory copy can be made: " + SystemText(errno);
      return nullptr;
    }
    done += static_cast<std::size_t>(n);
  }
  if (::fcntl(mem.get(), F_ADD_SEALS, F_SEAL_SHRINK | F_SEAL_GROW | F_SEAL_WRITE | F_SEAL_SEAL) !=
      0) {
    why = "the in-memory copy cannot be sealed: " + SystemText(errno);
    return nullptr;
  }
  const std::string name = "/proc/self/fd/" + std::to_string(mem.get());
  dlerror();
  void* handle = ::dlopen(name.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (handle == nullptr) {
    const char* text = dlerror();
    why = std::string("it does not load: ") + (text != nullptr ? text : "unknown reason");
  }
  return handle;
}

std::vector<std::string> SplitFolders(const std::string& list) {
  std::vector<std::string> folders;
  size_t start = 0;
  while (start <= list.size()) {
    const size_t colon = list.find(':', start);
    const std::string part =
        list.substr(start, colon == std::string::npos ? std::string::npos : colon - start);
    if (!part.empty()) {
      folders.push_back(part);
    }
    if (colon == std::string::npos) {
      break;
    }
    start = colon + 1;
  }
  return folders;
}

std::string LoadErrorText(const std::string& what) {
  return std::string(ErrorText(err::kLibraryLoad)) + ": " + what;
}

// Searches, checks and loads the library; throws zelError 53/48.
void* EnsureLoaded() {
  LoadedLibrary& state = State();
  if (state.handle != nullptr) {
    return state.handle;
  }
  std::string refused;
  for (const std::string& folder : ZelopSearchFolders()) {
    const std::string candidate = (fs::path(folder) / kZelopLibraryName).string();
    std::error_code ec;
    if (!fs::exists(fs::symlink_status(candidate, ec)) && !fs::exists(candidate, ec)) {
      continue;
    }
    std::string why;
    if (void* handle = OpenVerifiedZelop(candidate, &why)) {
      state.handle = handle;
      state.path = candidate;
      return handle;
    }
    refused += refused.empty() ? "" : "; ";
    refused.append(candidate).append(" (").append(why).append(")");
  }
  if (!refused.empty()) {
    throw zelError(err::kLibraryLoad, LoadErrorText(refused));
  }
  throw zelError(err::kFileNotFound,
                 std::string(ErrorText(err::kFileNotFound)) + ": " + kZelopLibraryName);
}

}  // namespace

void* OpenVerifiedZelop(const std::string& path, std::string* why) {
  std::string reason;
  std::string bytes;
  void* handle = nullptr;
  const std::string expected = BuiltZelopDigest();
  if (expected.empty()) {
    reason = "this program knows no digest to check it against";
  } else if (ReadCandidate(path, bytes, reason)) {
    if (Sha256Hex(bytes.data(), bytes.size()) != expected) {
      reason = kZelopWrongDigest;
    } else {
      handle = OpenBytes(bytes, reason);
    }
  }
  if (why != nullptr) {
    *why = handle != nullptr ? std::string() : reason;
  }
  return handle;
}

void* ZelopSymbol(const char* name) {
  void* handle = EnsureLoaded();
  dlerror();
  void* symbol = dlsym(handle, name);
  if (symbol == nullptr) {
    throw zelError(err::kLibraryLoad,
                   LoadErrorText(std::string(kZelopLibraryName) + " (no function " + name + ")"));
  }
  return symbol;
}

bool LoadZelopLibrary(const std::string& path, std::string* why) {
  std::string reason;
  void* handle = OpenVerifiedZelop(path, &reason);
  if (handle != nullptr && dlsym(handle, "bsop") == nullptr) {
    dlclose(handle);
    handle = nullptr;
    reason = "it has no function bsop";
  }
  if (why != nullptr) {
    *why = reason;
  }
  if (handle == nullptr) {
    return false;
  }
  LoadedLibrary& state = State();
  if (state.handle != nullptr) {
    // The same library is loaded already; its functions may be in use.
    dlclose(handle);
    return true;
  }
  state.handle = handle;
  state.path = path;
  return true;
}

bool ZelopLibraryLoaded() { return State().handle != nullptr; }

std::string ZelopLoadedPath() { return State().handle != nullptr ? State().path : std::string(); }

void UnloadZelopLibrary() {
  LoadedLibrary& state = State();
  if (state.handle != nullptr) {
    dlclose(state.handle);
  }
  state.handle = nullptr;
  state.path.clear();
}

std::string ZelopUserLibraryDir() {
  const char* xdg = std::getenv("XDG_DATA_HOME");
  if (IsAbsolute(xdg)) {
    return (fs::path(xdg) / "stratlyn" / "lib").lexically_normal().string();
  }
  const char* home = std::getenv("HOME");
  if (!IsAbsolute(home)) {
    // Unset, empty or relative ("."): the account's own home directory.
    const passwd* pw = ::getpwuid(::geteuid());
    home = pw != nullptr ? pw->pw_dir : nullptr;
  }
  if (!IsAbsolute(home)) {
    return {};
  }
  return (fs::path(home) / ".local" / "share" / "stratlyn" / "lib").lexically_normal().string();
}

std::vector<std::string> ZelopSearchFolders() {
  LoadedLibrary& state = State();
  if (state.override_set) {
    return SplitFolders(state.search_override);
  }
  std::vector<std::string> folders;
  const std::string exe_dir = sites::ExecutableDir();
  if (IsAbsolute(exe_dir.c_str())) {
    folders.push_back(exe_dir);
    folders.push_back((fs::path(exe_dir) / ".." / "lib" / "stratlyn").lexically_normal().string());
  }
  const std::string user = ZelopUserLibraryDir();
  if (!user.empty()) {
    folders.push_back(user);
  }
  return folders;
}

void SetZelopSearchPathForTesting(const std::string& folders_colon_separated) {
  LoadedLibrary& state = State();
  state.search_override = folders_colon_separated;
  state.override_set = !folders_colon_separated.empty();
}

}  // namespace stratlyn
