// Files written whole or not at all (AtomicFile: a temporary beside the
// target, renamed over it on Commit), where an output may go
// (ResolveOutputTarget), and the removal of temporaries that a killed run
// left behind or a signal interrupts.

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <csignal>
#include <filesystem>
#include <random>
#include <utility>

#include "tools/csv_workbook.h"
#include "tools/file_errors.h"

namespace stratlyn {

namespace {

// True for the links that name an open descriptor of this process
// (/dev/stdout is one to /proc/self/fd/1): what they point at may be a pipe
// or a terminal, and a file behind one is the caller's to keep.
bool NamesOpenDescriptor(const std::string& path) {
  if (path.starts_with("/dev/fd/")) {
    return true;
  }
  if (!path.starts_with("/proc/")) {
    return false;
  }
  const size_t fd = path.find("/fd/", 6);
  return fd != std::string::npos && path.find('/', 6) == fd;
}

bool ReadOnlyFor(const struct stat& st, const std::string& path) {
  if (::access(path.c_str(), W_OK) != 0) {
    return errno == EACCES || errno == EROFS;
  }
  // access() lets root write anything: a file without any write bit is the
  // user's way to say "keep this", and is kept for root as well.
  return (st.st_mode & 0222) == 0;
}

// The temporary files open now, for the signal handler: fixed slots that it
// can read without taking a lock or allocating.
constexpr int kTempSlots = 16;
constexpr size_t kTempPathMax = 4096;
char g_temp_paths[kTempSlots][kTempPathMax];
std::atomic<bool> g_temp_used[kTempSlots];

std::atomic<bool> g_temp_taken[kTempSlots];  // the slot belongs to a file

int RegisterTemp(const std::string& path) {
  if (path.size() >= kTempPathMax) {
    return -1;
  }
  for (int i = 0; i < kTempSlots; ++i) {
    bool expected = false;
    if (!g_temp_taken[i].compare_exchange_strong(expected, true)) {
      continue;
    }
    // Marked used only once the path is whole: the handler reads it then.
    std::memcpy(g_temp_paths[i], path.c_str(), path.size() + 1);
    g_temp_used[i].store(true);
    return i;
  }
  return -1;
}

void UnregisterTemp(int slot) {
  if (slot < 0) {
    return;
  }
  g_temp_used[slot].store(false);
  g_temp_taken[slot].store(false);
}

extern "C" void RemoveTempsAndDie(int sig) {
  for (int i = 0; i < kTempSlots; ++i) {
    if (g_temp_used[i].load()) {
      ::unlink(g_temp_paths[i]);
    }
  }
  ::signal(sig, SIG_DFL);
  ::raise(sig);
}

constexpr std::string_view kTempMark = ".stratlyn-";

// ".NAME.stratlyn-PID." : the start of this process's temporary names for NAME.
std::string TempPrefix(const std::string& name, long pid) {
  return "." + name + std::string(kTempMark) + std::to_string(pid) + ".";
}

// Removes the temporary files for `name` in `dir` that processes which no
// longer run left behind (killed before they could remove them).
void RemoveStaleTemps(const std::filesystem::path& dir, const std::string& name) {
  namespace fs = std::filesystem;
  const std::string start = "." + name + std::string(kTempMark);
  std::error_code ec;
  for (fs::directory_iterator it(dir, ec), end; !ec && it != end; it.increment(ec)) {
    const std::string file = it->path().filename().string();
    if (!file.starts_with(start)) {
      continue;
    }
    const std::string rest = file.substr(start.size());
    const size_t dot = rest.find('.');
    if (dot == std::string::npos || dot == 0 || rest.size() - dot != 7) {
      continue;
    }
    char* stop = nullptr;
    const long pid = std::strtol(rest.c_str(), &stop, 10);
    if (stop != rest.c_str() + dot || pid <= 0) {
      continue;
    }
    struct stat st {};
    if (::lstat(it->path().c_str(), &st) != 0 || !S_ISREG(st.st_mode) || st.st_uid != ::geteuid()) {
      continue;
    }
    if (::kill(static_cast<pid_t>(pid), 0) == 0 || errno != ESRCH) {
      continue;  // still running
    }
    ::unlink(it->path().c_str());
  }
}

bool SharedFolder(const struct stat& dir) {
  return (dir.st_mode & S_ISVTX) && (dir.st_mode & S_IWOTH);
}

}  // namespace

void InstallTempFileCleanup() {
  struct sigaction action {};
  action.sa_handler = RemoveTempsAndDie;
  sigemptyset(&action.sa_mask);
  for (const int sig : {SIGINT, SIGTERM, SIGHUP}) {
    struct sigaction old {};
    // A signal ignored by whoever started us stays ignored.
    if (::sigaction(sig, nullptr, &old) == 0 && old.sa_handler == SIG_IGN) {
      continue;
    }
    ::sigaction(sig, &action, nullptr);
  }
}

std::string SharedFolderProblem(const std::string& path) {
  namespace fs = std::filesystem;
  struct stat lst {};
  if (::lstat(path.c_str(), &lst) != 0) {
    return {};
  }
  const fs::path p(path);
  const std::string dir = p.has_parent_path() ? p.parent_path().string() : ".";
  struct stat dst {};
  if (::stat(dir.c_str(), &dst) != 0 || !SharedFolder(dst)) {
    return {};
  }
  const uid_t me = ::geteuid();
  if (lst.st_uid == me || lst.st_uid == dst.st_uid) {
    return {};
  }
  return "Cannot write " + path + ": it is a " +
         (S_ISLNK(lst.st_mode) ? std::string("symbolic link") : std::string("file")) +
         " of another user in the shared folder " + dir +
         ", which is never followed or replaced; please choose another name";
}

OutputTarget ResolveOutputTarget(const std::string& path) {
  namespace fs = std::filesystem;
  OutputTarget target;
  std::string current = path;
  for (int hops = 0;; ++hops) {
    if (hops > 40) {
      throw zelError(err::kPathAccess, "Cannot write " + path + ": " + std::strerror(ELOOP));
    }
    if (NamesOpenDescriptor(current)) {
      target.stream = true;
      target.path = path;
      return target;
    }
    if (std::string problem = SharedFolderProblem(current); !problem.empty()) {
      throw zelError(err::kPathAccess, problem);
    }
    struct stat lst {};
    if (::lstat(current.c_str(), &lst) != 0 || !S_ISLNK(lst.st_mode)) {
      break;
    }
    std::string link(static_cast<size_t>(lst.st_size > 0 ? lst.st_size : 255) + 1, '\0');
    const ssize_t n = ::readlink(current.c_str(), link.data(), link.size());
    if (n < 0) {
      break;
    }
    link.resize(static_cast<size_t>(n));
    if (link.empty() || link[0] != '/') {
      link = (fs::path(current).parent_path() / link).string();
    }
    current = link;
  }
  target.path = current;
  struct stat st {};
  if (::stat(current.c_str(), &st) != 0) {
    return target;  // a new file
  }
  if (S_ISDIR(st.st_mode)) {
    throw zelError(err::kPathAccess, "Cannot write " + path + ": it is a folder");
  }
  if (!S_ISREG(st.st_mode)) {
    target.stream = true;  // a device, FIFO or socket
    return target;
  }
  if (ReadOnlyFor(st, current)) {
    throw zelError(err::kPathAccess, "Cannot write " + path + ": the file is read-only");
  }
  target.exists = true;
  target.mode = st.st_mode & 07777;
  target.uid = st.st_uid;
  target.gid = st.st_gid;
  return target;
}

AtomicFile::AtomicFile(std::string path)
    : path_(std::move(path)), target_(ResolveOutputTarget(path_)) {
  namespace fs = std::filesystem;
  if (target_.stream) {
    file_ = std::fopen(target_.path.c_str(), "wb");
    if (!file_) {
      ThrowSystem(errno, "Cannot write " + path_);
    }
    return;
  }
  const fs::path target(target_.path);
  const fs::path dir = target.has_parent_path() ? target.parent_path() : fs::path(".");
  const std::string name = target.filename().string();
  RemoveStaleTemps(dir, name);
  const std::string prefix = (dir / TempPrefix(name, static_cast<long>(::getpid()))).string();
  static constexpr char kLetters[] =
      "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
  std::random_device random;
  int fd = -1;
  for (int attempt = 0; fd < 0; ++attempt) {
    temp_ = prefix;
    for (int i = 0; i < 6; ++i) {
      temp_.push_back(kLetters[random() % (sizeof kLetters - 1)]);
    }
    // Registered before it exists, so that no signal can leave it behind.
    slot_ = RegisterTemp(temp_);
    fd = ::open(temp_.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (fd < 0) {
      const int e = errno;
      UnregisterTemp(slot_);
      slot_ = -1;
      if (e != EEXIST || attempt > 100) {
        ThrowSystem(e, "Cannot write " + path_);
      }
    }
  }
  if (target_.exists) {
    // The replacement is the same file to its owner: same mode, same owner
    // where we may give it (root), the mode again after a change of owner.
    if (::geteuid() == 0) {
      (void)!fchown(fd, target_.uid, target_.gid);
    }
    fchmod(fd, target_.mode);
  } else {
    // The file was made private; give it the usual permissions.
    const mode_t mask = umask(0);
    umask(mask);
    fchmod(fd, 0666 & ~mask);
  }
  file_ = fdopen(fd, "wb");
  if (!file_) {
    const int e = errno;
    ::close(fd);
    ::unlink(temp_.c_str());
    UnregisterTemp(slot_);
    ThrowSystem(e, "Cannot write " + path_);
  }
}

AtomicFile::~AtomicFile() {
  if (file_) {
    std::fclose(file_);
    if (!target_.stream) {
      ::unlink(temp_.c_str());
    }
  }
  UnregisterTemp(slot_);
}

void AtomicFile::Write(std::string_view text) {
  if (!text.empty() && std::fwrite(text.data(), 1, text.size(), file_) != text.size()) {
    ThrowSystem(errno ? errno : EIO, "Cannot write " + path_);
  }
}

void AtomicFile::Commit() {
  std::FILE* f = file_;
  file_ = nullptr;
  const bool flushed = std::fflush(f) == 0;
  const int e = errno;
  const int closed = std::fclose(f);
  const int ce = errno;
  if (closed != 0 || !flushed) {
    if (!target_.stream) {
      ::unlink(temp_.c_str());
    }
    UnregisterTemp(std::exchange(slot_, -1));
    ThrowSystem(flushed ? ce : e, "Cannot write " + path_);
  }
  if (target_.stream) {
    return;
  }
  if (std::rename(temp_.c_str(), target_.path.c_str()) != 0) {
    const int re = errno;
    ::unlink(temp_.c_str());
    UnregisterTemp(std::exchange(slot_, -1));
    ThrowSystem(re, "Cannot write " + path_);
  }
  UnregisterTemp(std::exchange(slot_, -1));
}

void WriteFileAtomically(const std::string& path, std::string_view text) {
  AtomicFile file(path);
  file.Write(text);
  file.Commit();
}

}  // namespace stratlyn
