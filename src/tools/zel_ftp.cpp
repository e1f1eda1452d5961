#include "tools/zel_ftp.h"

#include <curl/curl.h>
#include <dirent.h>
#include <dlfcn.h>
#include <fcntl.h>
#include <limits.h>
#include <pthread.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>

#include "pricing/zelop_loader.h"
#include "util/net_limits.h"
#include "util/sites.h"

namespace stratlyn {
namespace {

struct CurlDeleter {
  void operator()(CURL* c) const { curl_easy_cleanup(c); }
};
using CurlHandle = std::unique_ptr<CURL, CurlDeleter>;

CurlHandle NewHandle() {
  static std::once_flag once;
  std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
  return CurlHandle(curl_easy_init());
}

// The pieces of the maker's password: a seven-letter word, a mark and a
// four-letter word.
constexpr char kWordA[] = {'l', 'a', 't', 't', 'i', 'c', 'e'};
constexpr char kMark[] = {'.'};
constexpr char kWordB[] = {'t', 'r', 'e', 'e'};

template <size_t N>
std::string Piece(const char (&p)[N]) {
  return std::string(p, N);
}

// The answer of one transfer, cut off at `max_bytes`.
struct Sink {
  std::string* text = nullptr;
  std::FILE* file = nullptr;
  std::size_t max_bytes = 0;
  std::size_t received = 0;
  bool too_large = false;
  bool write_failed = false;
};

size_t WriteToSink(char* data, size_t size, size_t count, void* out) {
  auto* sink = static_cast<Sink*>(out);
  const size_t n = size * count;
  if (n > sink->max_bytes - sink->received) {
    sink->too_large = true;
    return 0;  // ends the transfer
  }
  sink->received += n;
  if (sink->text != nullptr) {
    sink->text->append(data, n);
    return n;
  }
  if (std::fwrite(data, 1, n, sink->file) != n) {
    sink->write_failed = true;
    return 0;
  }
  return n;
}

// Options every transfer shares: a direct connection, the time limits, the
// size cap, no signals (the program may run other threads).
void CommonOptions(CURL* c, long connect_timeout, long stall_timeout, long deadline, Sink* sink) {
  curl_easy_setopt(c, CURLOPT_NOSIGNAL, 1L);
  curl_easy_setopt(c, CURLOPT_PROXY, "");
  curl_easy_setopt(c, CURLOPT_CONNECTTIMEOUT, std::min(connect_timeout, deadline));
  curl_easy_setopt(c, CURLOPT_LOW_SPEED_LIMIT, 1L);
  curl_easy_setopt(c, CURLOPT_LOW_SPEED_TIME, stall_timeout);
  curl_easy_setopt(c, CURLOPT_TIMEOUT, deadline);
  // A size the server announces is refused before the transfer starts.
  curl_easy_setopt(c, CURLOPT_MAXFILESIZE_LARGE, static_cast<curl_off_t>(sink->max_bytes));
  curl_easy_setopt(c, CURLOPT_WRITEFUNCTION, &WriteToSink);
  curl_easy_setopt(c, CURLOPT_WRITEDATA, sink);
}

// Why a transfer failed, in words.
std::string TransferFailure(CURL* c, CURLcode rc, const Sink& sink, const std::string& url,
                            long stall_timeout, long deadline, const char* error) {
  const std::string host = HostOfUrl(url);
  if (sink.too_large || rc == CURLE_FILESIZE_EXCEEDED) {
    return AnswerTooLargeText(host, sink.max_bytes);
  }
  if (sink.write_failed) {
    return "the file could not be written: " + std::string(std::strerror(errno));
  }
  if (rc == CURLE_OPERATION_TIMEDOUT) {
    double elapsed = 0;
    curl_easy_getinfo(c, CURLINFO_TOTAL_TIME, &elapsed);
    if (elapsed + 0.5 < static_cast<double>(deadline) && sink.received > 0) {
      return "nothing more from " + host + " for " + std::to_string(stall_timeout) + " s";
    }
    return NoCompleteAnswerText(host, deadline);
  }
  return error[0] != '\0' ? std::string(error) : std::string(curl_easy_strerror(rc));
}

// The host (and port) of an address, lower case: "ftp://Host:21/x" -> "host:21".
std::string HostOf(const std::string& url) {
  size_t b = url.find("://");
  b = b == std::string::npos ? 0 : b + 3;
  size_t e = url.find('/', b);
  std::string host = url.substr(b, e == std::string::npos ? std::string::npos : e - b);
  const size_t at = host.rfind('@');
  if (at != std::string::npos) {
    host.erase(0, at + 1);
  }
  for (char& ch : host) {
    ch = static_cast<char>(std::tolower(static_cast<unsigned char>(ch)));
  }
  return host;
}

// "dir/a b.so" -> "dir/a%20b.so": each path segment escaped.
std::string EscapePath(CURL* c, const std::string& path) {
  std::string out;
  size_t b = 0;
  while (b <= path.size()) {
    size_t e = path.find('/', b);
    if (e == std::string::npos) {
      e = path.size();
    }
    char* escaped = curl_easy_escape(c, path.data() + b, static_cast<int>(e - b));
    if (escaped != nullptr) {
      out += escaped;
      curl_free(escaped);
    }
    if (e < path.size()) {
      out += '/';
    }
    b = e + 1;
  }
  return out;
}

// A path that a signal handler may read: filled before `used` is set.
struct CleanupSlot {
  std::atomic<bool> used{false};
  char path[PATH_MAX] = {};
};

// Temporary files that a signal ending the program removes first. The
// handler does only what is safe in a signal handler: unlink the listed
// paths, put the earlier disposition back and raise the signal again, so
// that the program ends (or an earlier handler runs) as it would have.
class SignalCleanup {
 public:
  static constexpr int kSlots = 4;

  // Lists `path`; false when no slot is free (the file is then only removed
  // by the next fetch).
  static bool Add(const std::string& path) {
    if (path.size() >= sizeof(CleanupSlot::path)) {
      return false;
    }
    const std::lock_guard<std::mutex> lock(mutex_);
    for (CleanupSlot& slot : slots_) {
      if (!slot.used.load()) {
        std::memcpy(slot.path, path.c_str(), path.size() + 1);
        slot.used.store(true);
        if (users_++ == 0) {
          Install();
        }
        return true;
      }
    }
    return false;
  }
  static void Remove(const std::string& path) {
    const std::lock_guard<std::mutex> lock(mutex_);
    for (CleanupSlot& slot : slots_) {
      if (slot.used.load() && path == slot.path) {
        slot.used.store(false);
        if (--users_ == 0) {
          Uninstall();
        }
        return;
      }
    }
  }

 private:
  static constexpr int kSignals[] = {SIGINT, SIGTERM, SIGHUP};

  static void Install() {
    for (int i = 0; i < 3; ++i) {
      struct sigaction now {};
      now.sa_handler = &OnSignal;
      sigemptyset(&now.sa_mask);
      installed_[i] = false;
      if (::sigaction(kSignals[i], nullptr, &before_[i]) == 0 &&
          before_[i].sa_handler != SIG_IGN) {  // an ignored signal stays ignored
        installed_[i] = ::sigaction(kSignals[i], &now, nullptr) == 0;
      }
    }
  }
  static void Uninstall() {
    for (int i = 0; i < 3; ++i) {
      if (installed_[i]) {
        ::sigaction(kSignals[i], &before_[i], nullptr);
        installed_[i] = false;
      }
    }
  }
  static void OnSignal(int sig) {
    const int saved = errno;
    for (CleanupSlot& slot : slots_) {
      if (slot.used.load()) {
        ::unlink(slot.path);
      }
    }
    for (int i = 0; i < 3; ++i) {
      if (kSignals[i] == sig) {
        ::sigaction(sig, &before_[i], nullptr);
      }
    }
    ::raise(sig);  // delivered once this handler returns
    errno = saved;
  }

  static inline std::mutex mutex_;
  static inline CleanupSlot slots_[kSlots];
  static inline int users_ = 0;
  static inline struct sigaction before_[3] = {};
  static inline bool installed_[3] = {};
};

// Removes "TARGET.partXXXXXX" files that no running fetch holds: left by a
// program that was killed outright. A fetch holds a lock on its file.
void RemoveStaleParts(const std::string& target) {
  const size_t slash = target.rfind('/');
  const std::string dir = slash == std::string::npos ? "." : target.substr(0, slash + 1);
  const std::string prefix =
      (slash == std::string::npos ? target : target.substr(slash + 1)) + ".part";
  DIR* d = ::opendir(dir.c_str());
  if (d == nullptr) {
    return;
  }
  while (const dirent* e = ::readdir(d)) {
    const std::string name = e->d_name;
    if (name.size() != prefix.size() + 6 || name.compare(0, prefix.size(), prefix) != 0) {
      continue;
    }
    std::string path = dir;
    if (dir.back() != '/') {
      path += '/';
    }
    path += name;
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK);
    if (fd < 0) {
      continue;
    }
    struct stat st {};
    if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && st.st_uid == ::geteuid() &&
        ::flock(fd, LOCK_EX | LOCK_NB) == 0) {
      ::unlink(path.c_str());
    }
    ::close(fd);
  }
  ::closedir(d);
}

// A temporary file beside the target, locked while written, removed unless
// committed (also when a signal ends the program).
class PartFile {
 public:
  explicit PartFile(const std::string& target) : target_(target), path_(target + ".partXXXXXX") {
    RemoveStaleParts(target);
    // The ending signals wait while the file is made and listed: one that
    // came in between would end the program before the file is listed.
    sigset_t ending, before;
    sigemptyset(&ending);
    sigaddset(&ending, SIGINT);
    sigaddset(&ending, SIGTERM);
    sigaddset(&ending, SIGHUP);
    ::pthread_sigmask(SIG_BLOCK, &ending, &before);
    const int fd = ::mkostemp(path_.data(), O_CLOEXEC);
    if (fd < 0) {
      error_ = errno;
      ::pthread_sigmask(SIG_SETMASK, &before, nullptr);
      path_.clear();
      return;
    }
    ::flock(fd, LOCK_EX | LOCK_NB);
    listed_ = SignalCleanup::Add(path_);
    ::pthread_sigmask(SIG_SETMASK, &before, nullptr);
    ::fchmod(fd, 0644);
    file_ = ::fdopen(fd, "wb");
    if (file_ == nullptr) {
      error_ = errno;
      ::close(fd);
    }
  }
  ~PartFile() {
    if (!path_.empty()) {
      std::remove(path_.c_str());
    }
    if (listed_) {
      SignalCleanup::Remove(path_);
    }
    if (file_ != nullptr) {
      std::fclose(file_);
    }
  }
  PartFile(const PartFile&) = delete;
  PartFile& operator=(const PartFile&) = delete;

  std::FILE* get() const { return file_; }
  const std::string& path() const { return path_; }
  // Why the file could not be made (errno), 0 when it was.
  int error() const { return error_; }
  // Writes the file out, lets `check` see it, and moves it over the target.
  bool Commit(const zelFTP::CommitCheck& check, std::string& why) {
    if (file_ == nullptr) {
      return false;
    }
    if (std::fflush(file_) != 0 || ::fsync(::fileno(file_)) != 0) {
      why = "the file could not be written: " + std::string(std::strerror(errno));
      return false;
    }
    if (check && !check(path_, why)) {
      return false;
    }
    if (std::rename(path_.c_str(), target_.c_str()) != 0) {
      why = "the file could not be stored as " + target_ + ": " + std::strerror(errno);
      return false;
    }
    if (listed_) {
      SignalCleanup::Remove(path_);
      listed_ = false;
    }
    path_.clear();
    std::fclose(file_);
    file_ = nullptr;
    return true;
  }

 private:
  std::string target_;
  std::string path_;
  std::FILE* file_ = nullptr;
  bool listed_ = false;
  int error_ = 0;
};

}  // namespace

// The file-server connection the object holds between fetches.
struct zelFTP::Session {
  CurlHandle handle = NewHandle();
};

zelFTP::zelFTP() = default;
zelFTP::~zelFTP() = default;

std::string MakersFtpUser() { return "riveva"; }

std::string MakersFtpPassword(bool words_swapped) {
  return words_swapped ? Piece(kWordB) + Piece(kMark) + Piece(kWordA)
                       : Piece(kWordA) + Piece(kMark) + Piece(kWordB);
}

void zelFTP::SetTimeouts(long connect_seconds, long stall_seconds) {
  connect_timeout_ = connect_seconds;
  stall_timeout_ = stall_seconds;
}

std::string zelFTP::GetUrlSource(const std::string& sURL) {
  failure_.clear();
  CurlHandle c = NewHandle();
  if (!c) {
    failure_ = "the network library could not start";
    return {};
  }
  std::string body;
  Sink sink;
  sink.text = &body;
  sink.max_bytes = kPageMaxBytes;
  const long deadline = deadline_ > 0 ? deadline_ : kTextDeadlineSeconds;
  char error[CURL_ERROR_SIZE] = {};
  CommonOptions(c.get(), connect_timeout_, stall_timeout_, deadline, &sink);
  curl_easy_setopt(c.get(), CURLOPT_ERRORBUFFER, error);
  curl_easy_setopt(c.get(), CURLOPT_URL, sURL.c_str());
  curl_easy_setopt(c.get(), CURLOPT_PROTOCOLS_STR, "http,https");
  curl_easy_setopt(c.get(), CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
  curl_easy_setopt(c.get(), CURLOPT_FOLLOWLOCATION, 1L);
  curl_easy_setopt(c.get(), CURLOPT_MAXREDIRS, 10L);
  curl_easy_setopt(c.get(), CURLOPT_USERAGENT, "vb wininet");
  curl_easy_setopt(c.get(), CURLOPT_FAILONERROR, 1L);
  const CURLcode rc = curl_easy_perform(c.get());
  if (rc != CURLE_OK) {
    failure_ = TransferFailure(c.get(), rc, sink, sURL, stall_timeout_, deadline, error);
    return {};
  }
  return body;
}

bool zelFTP::Fetch(const std::string& url, const std::string& password,
                   const std::string& strStoreName) {
  failure_.clear();
  if (strStoreName.empty()) {
    failure_ = "no place to store the file";
    return false;
  }
  if (!session_) {
    session_ = std::make_unique<Session>();
  }
  CURL* c = session_->handle.get();
  if (c == nullptr) {
    failure_ = "the network library could not start";
    return false;
  }
  PartFile part(strStoreName);
  if (part.get() == nullptr) {
    failure_ =
        "no temporary file can be made beside " + strStoreName + ": " + std::strerror(part.error());
    return false;
  }
  Sink sink;
  sink.file = part.get();
  sink.max_bytes = max_file_bytes_;
  const long deadline = deadline_ > 0 ? deadline_ : kFileDeadlineSeconds;
  char error[CURL_ERROR_SIZE] = {};
  curl_easy_reset(c);
  CommonOptions(c, connect_timeout_, stall_timeout_, deadline, &sink);
  curl_easy_setopt(c, CURLOPT_ERRORBUFFER, error);
  curl_easy_setopt(c, CURLOPT_URL, url.c_str());
  curl_easy_setopt(c, CURLOPT_PROTOCOLS_STR, "ftp,ftps");
  curl_easy_setopt(c, CURLOPT_USERAGENT, "zelFTP");
  curl_easy_setopt(c, CURLOPT_USERNAME, MakersFtpUser().c_str());
  curl_easy_setopt(c, CURLOPT_PASSWORD, password.c_str());
  // A library must arrive byte for byte: image type, never ASCII.
  curl_easy_setopt(c, CURLOPT_TRANSFERTEXT, 0L);
  const CURLcode rc = curl_easy_perform(c);
  if (rc != CURLE_OK) {
    failure_ = TransferFailure(c, rc, sink, url, stall_timeout_, deadline, error);
    return false;
  }
  if (!part.Commit(commit_check_, failure_)) {
    return false;
  }
  storedFile_ = strStoreName;
  return true;
}

bool zelFTP::getFile(const std::string& strFileName, const std::string& strStoreName) {
  if (strFileName.empty()) {
    return false;
  }
  CurlHandle escaper = NewHandle();
  if (!escaper) {
    return false;
  }
  const std::string url = sites::FtpUrl() + "/" + EscapePath(escaper.get(), strFileName);
  return Fetch(url, MakersFtpPassword(false), strStoreName);
}

bool zelFTP::getCases(const std::string& strFileName, const std::string& strStoreName,
                      const std::string& strSiteName) {
  if (strFileName.empty() || strSiteName.empty()) {
    return false;
  }
  CurlHandle escaper = NewHandle();
  if (!escaper) {
    return false;
  }
  std::string base =
      strSiteName.find("://") == std::string::npos ? "ftp://" + strSiteName : strSiteName;
  while (!base.empty() && base.back() == '/') {
    base.pop_back();
  }
  const bool makers = HostOf(base) == HostOf(sites::FtpUrl());
  return Fetch(base + "/" + EscapePath(escaper.get(), strFileName), MakersFtpPassword(!makers),
               strStoreName);
}

bool zelFTP::loadFile() {
  if (storedFile_.empty()) {
    failure_ = "no file was fetched";
    return false;
  }
  void* handle = OpenVerifiedZelop(storedFile_, &failure_);
  if (handle == nullptr) {
    return false;
  }
  freefile();
  library_ = handle;
  return true;
}

void zelFTP::freefile() {
  if (library_ != nullptr) {
    ::dlclose(library_);
  }
  library_ = nullptr;
}

}  // namespace stratlyn
