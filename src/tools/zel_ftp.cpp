#include "tools/zel_ftp.h"

#include <curl/curl.h>
#include <dlfcn.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <mutex>

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

size_t AppendToString(char* data, size_t size, size_t count, void* out) {
  static_cast<std::string*>(out)->append(data, size * count);
  return size * count;
}

size_t WriteToFile(char* data, size_t size, size_t count, void* out) {
  return std::fwrite(data, size, count, static_cast<std::FILE*>(out)) * size;
}

// Options every transfer shares: a direct connection, the time limits, no
// signals (the program may run other threads).
void CommonOptions(CURL* c, long connect_timeout, long stall_timeout) {
  curl_easy_setopt(c, CURLOPT_NOSIGNAL, 1L);
  curl_easy_setopt(c, CURLOPT_PROXY, "");
  curl_easy_setopt(c, CURLOPT_CONNECTTIMEOUT, connect_timeout);
  curl_easy_setopt(c, CURLOPT_LOW_SPEED_LIMIT, 1L);
  curl_easy_setopt(c, CURLOPT_LOW_SPEED_TIME, stall_timeout);
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

// A temporary file beside the target, removed unless committed.
class PartFile {
 public:
  explicit PartFile(const std::string& target) : target_(target), path_(target + ".partXXXXXX") {
    const int fd = ::mkstemp(path_.data());
    if (fd < 0) {
      path_.clear();
      return;
    }
    ::fchmod(fd, 0644);
    file_ = ::fdopen(fd, "wb");
    if (file_ == nullptr) {
      ::close(fd);
    }
  }
  ~PartFile() {
    if (file_ != nullptr) {
      std::fclose(file_);
    }
    if (!path_.empty()) {
      std::remove(path_.c_str());
    }
  }
  PartFile(const PartFile&) = delete;
  PartFile& operator=(const PartFile&) = delete;

  std::FILE* get() const { return file_; }
  // Closes the file and moves it over the target.
  bool Commit() {
    if (file_ == nullptr) {
      return false;
    }
    const bool flushed = std::fflush(file_) == 0 && ::fsync(::fileno(file_)) == 0;
    const bool closed = std::fclose(file_) == 0;
    file_ = nullptr;
    if (!flushed || !closed || std::rename(path_.c_str(), target_.c_str()) != 0) {
      return false;
    }
    path_.clear();
    return true;
  }

 private:
  std::string target_;
  std::string path_;
  std::FILE* file_ = nullptr;
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
  CurlHandle c = NewHandle();
  if (!c) {
    return {};
  }
  std::string body;
  CommonOptions(c.get(), connect_timeout_, stall_timeout_);
  curl_easy_setopt(c.get(), CURLOPT_URL, sURL.c_str());
  curl_easy_setopt(c.get(), CURLOPT_PROTOCOLS_STR, "http,https");
  curl_easy_setopt(c.get(), CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
  curl_easy_setopt(c.get(), CURLOPT_FOLLOWLOCATION, 1L);
  curl_easy_setopt(c.get(), CURLOPT_MAXREDIRS, 10L);
  curl_easy_setopt(c.get(), CURLOPT_USERAGENT, "vb wininet");
  curl_easy_setopt(c.get(), CURLOPT_FAILONERROR, 1L);
  curl_easy_setopt(c.get(), CURLOPT_WRITEFUNCTION, &AppendToString);
  curl_easy_setopt(c.get(), CURLOPT_WRITEDATA, &body);
  if (curl_easy_perform(c.get()) != CURLE_OK) {
    return {};
  }
  return body;
}

bool zelFTP::Fetch(const std::string& url, const std::string& password,
                   const std::string& strStoreName) {
  if (strStoreName.empty()) {
    return false;
  }
  if (!session_) {
    session_ = std::make_unique<Session>();
  }
  CURL* c = session_->handle.get();
  if (c == nullptr) {
    return false;
  }
  PartFile part(strStoreName);
  if (part.get() == nullptr) {
    return false;
  }
  curl_easy_reset(c);
  CommonOptions(c, connect_timeout_, stall_timeout_);
  curl_easy_setopt(c, CURLOPT_URL, url.c_str());
  curl_easy_setopt(c, CURLOPT_PROTOCOLS_STR, "ftp,ftps");
  curl_easy_setopt(c, CURLOPT_USERAGENT, "zelFTP");
  curl_easy_setopt(c, CURLOPT_USERNAME, MakersFtpUser().c_str());
  curl_easy_setopt(c, CURLOPT_PASSWORD, password.c_str());
  // A library must arrive byte for byte: image type, never ASCII.
  curl_easy_setopt(c, CURLOPT_TRANSFERTEXT, 0L);
  curl_easy_setopt(c, CURLOPT_WRITEFUNCTION, &WriteToFile);
  curl_easy_setopt(c, CURLOPT_WRITEDATA, part.get());
  if (curl_easy_perform(c) != CURLE_OK) {
    return false;
  }
  if (!part.Commit()) {
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
    return false;
  }
  // A bare name would make dlopen search the library path instead.
  const std::string path =
      storedFile_.find('/') == std::string::npos ? "./" + storedFile_ : storedFile_;
  void* handle = ::dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (handle == nullptr) {
    return false;
  }
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
