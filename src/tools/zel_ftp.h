#pragma once
// Direct internet retrieval without the browser views: the text behind a web
// address, a file from the maker's file server (or another FTP server), and
// loading a fetched library. Nothing here throws or shows a message: every
// failure is an empty text or false, and lastFailure() says why. Connections
// give up after 15 s, a transfer after 30 s without a byte, and every request
// at its deadline for the whole answer (60 s for a text, 300 s for a file);
// a text is cut off at 64 MB and a file at 16 MB, so nothing hangs or grows
// for ever.
//
// A file arrives in a temporary file beside its destination,
// "NAME.partXXXXXX", locked while it is written. It is removed when the
// fetch fails, and when the program is ended by SIGINT, SIGTERM or SIGHUP
// meanwhile; one left by a program killed outright is removed by the next
// fetch to the same destination.

#include <cstddef>
#include <functional>
#include <memory>
#include <string>

namespace stratlyn {

class zelFTP {
 public:
  zelFTP();
  // Closes the connection; a library loaded by loadFile stays loaded.
  ~zelFTP();
  zelFTP(const zelFTP&) = delete;
  zelFTP& operator=(const zelFTP&) = delete;

  // The whole body behind an http:// or https:// address, byte for byte
  // (redirects followed, nothing cached); "" when it cannot be fetched or
  // the server answers with an error status.
  std::string GetUrlSource(const std::string& sURL);

  // Fetches strFileName from the maker's file server (sites::FtpUrl(), with
  // the maker's login) in binary mode and stores it at strStoreName,
  // replacing a file there only once the whole file has arrived (and passed
  // the commit check, when one is set). True when stored; storedFile() is
  // then strStoreName.
  bool getFile(const std::string& strFileName, const std::string& strStoreName);

  // The same from the FTP server strSiteName (a host, or an ftp:// address).
  bool getCases(const std::string& strFileName, const std::string& strStoreName,
                const std::string& strSiteName);

  // Loads the library at storedFile() (dlopen) when it is the pricing library
  // of this program (its SHA-256 checked first). True when it loaded.
  bool loadFile();
  // Releases the library loaded by loadFile.
  void freefile();

  // Local path of the last file fetched successfully ("" before one).
  const std::string& storedFile() const { return storedFile_; }
  // The dlopen handle of the loaded library, or nullptr.
  void* libraryHandle() const { return library_; }

  // Time limits in seconds: connecting, and a transfer that moves nothing.
  void SetTimeouts(long connect_seconds, long stall_seconds);
  // The deadline in seconds for a whole request (0: the defaults above).
  void SetDeadline(long seconds) { deadline_ = seconds; }
  // The largest file getFile/getCases accept, in bytes.
  void SetMaxFileBytes(std::size_t bytes) { max_file_bytes_ = bytes; }
  // A check of the complete temporary file before it takes the destination's
  // name; false (with the reason in `why`) deletes it instead.
  using CommitCheck = std::function<bool(const std::string& temporary_path, std::string& why)>;
  void SetCommitCheck(CommitCheck check) { commit_check_ = std::move(check); }
  // Why the last fetch or load failed, in words ("" after a success).
  const std::string& lastFailure() const { return failure_; }

  static constexpr long kTextDeadlineSeconds = 60;
  static constexpr long kFileDeadlineSeconds = 300;
  static constexpr std::size_t kMaxFileBytes = std::size_t{16} << 20;

 private:
  struct Session;
  bool Fetch(const std::string& url, const std::string& password, const std::string& strStoreName);

  std::unique_ptr<Session> session_;
  std::string storedFile_;
  void* library_ = nullptr;
  long connect_timeout_ = 15;
  long stall_timeout_ = 30;
  long deadline_ = 0;
  std::size_t max_file_bytes_ = kMaxFileBytes;
  CommitCheck commit_check_;
  std::string failure_;
};

// The maker's file-server login; the password is joined from its pieces at
// run time, its two words swapped for servers other than the maker's.
std::string MakersFtpUser();
std::string MakersFtpPassword(bool words_swapped = false);

}  // namespace stratlyn
